#pragma once
// A program folder of its own (the current directory) with Log.txt open, a private data folder,
// small reference data, and helpers that build livery folders by hand: an aircraft folder with
// its cfg file in a chosen encoding, the model and texture folders and the .air file.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/constants.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/run_state.hpp"
#include "liveries/scan_reports.hpp"
#include "foundation/scan_workers.hpp"
#include "platform/control_model.hpp"
#include "refdata/dbase.hpp"
#include "tests/support/log_lines.hpp"
#include "tests/support/temp_dir.hpp"

namespace corv_test {

enum class CfgEncoding { utf8, utf8Bom, utf16Bom, ansi };

class LiveryScanTest : public ::testing::Test {
protected:
    LiveryScanTest() : dir_(true), config_("XDG_CONFIG_HOME", (dir_ / "config").string())
    {
        gf_resetParametersForTest();
        vald::gf_controls().reset();
        stopRequested = false;
        userClosing = false;
        std::filesystem::create_directories(OUTPUT_INFO_FOLDER);
        gf_openLog();
        gf_clearDbaseTables();
        aircraftTypes = {"A320", "B738", "B744", "B77W", "C172"};
        heavyTypes = {"B744", "B77W"};
        largeTypes = {"A320", "B738"};
        icaoAirlines = {"KLM", "TRA", "DLH", "ZZZ", "BAW"};
        modelFixes = {{"B77F", "B77W"}};
        dbaseRecords = {{"PH-BXA", DbaseRecord{"KLM", "B738", "", false}},
                        {"PH-BFA", DbaseRecord{"MPH", "B744", "KLM", true}},
                        {"G-ABC", DbaseRecord{"BAW", "A320", "", false}}};
        gf_setScanWorkerLimit(4);
        lf_clearScanReports();
    }
    ~LiveryScanTest() override
    {
        lf_clearScanReports();
        gf_clearDbaseTables();
        gf_closeLogForTest();
        stopRequested = false;
        userClosing = false;
        gf_resetParametersForTest();
    }

    const std::filesystem::path& dir() const { return dir_.path(); }

    std::vector<std::string> logLines() const
    {
        gf_closeLogForTest();
        return logLinesAfterHeader(dir_ / "Log.txt");
    }

    // An aircraft folder: cfg file (name given), "model.<x>"/"texture.<x>" folders and "<sim>.air".
    static void writeCfg(const std::filesystem::path& file, const std::string& text,
                         CfgEncoding encoding = CfgEncoding::utf8)
    {
        std::filesystem::create_directories(file.parent_path());
        std::string bytes;
        switch (encoding) {
        case CfgEncoding::utf8:
            bytes = text;
            break;
        case CfgEncoding::utf8Bom:
            bytes = "\xEF\xBB\xBF" + text;
            break;
        case CfgEncoding::ansi:
            bytes = text;  // the caller writes Windows-1252 bytes
            break;
        case CfgEncoding::utf16Bom:
            bytes = "\xFF\xFE";
            for (const char c : text) {
                // ASCII only: one UTF-16 unit per byte.
                bytes += c;
                bytes += '\0';
            }
            break;
        }
        writeFile(file, bytes);
    }
    static void addParts(const std::filesystem::path& folder, const std::vector<std::string>& names)
    {
        for (const std::string& name : names) {
            if (name.ends_with(".air") || name.ends_with(".AIR") || name.ends_with(".Air"))
                writeFile(folder / name, "air");
            else
                std::filesystem::create_directories(folder / name);
        }
    }

    // A [fltsim.N] section with the usual keys; extra lines are appended as they are.
    static std::string section(int number, const std::string& title, const std::string& extra = "",
                               const std::string& texture = "1")
    {
        return "[fltsim." + std::to_string(number) + "]\ntitle=" + title + "\nsim=plane\nmodel=\ntexture=" + texture +
               "\n" + extra;
    }

private:
    TempDir dir_;
    ScopedEnv config_;
};

}  // namespace corv_test
