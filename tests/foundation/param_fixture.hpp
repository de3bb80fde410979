#pragma once
// A fresh program folder (the current directory), a private data folder, Log.txt open, every
// parameter and control at its start state. Helpers read parameters.xml back as entries.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "foundation/constants.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/run_state.hpp"
#include "foundation/xml_meta.hpp"
#include "platform/control_model.hpp"
#include "tests/support/log_lines.hpp"
#include "tests/support/temp_dir.hpp"

namespace corv_test {

using Entry = std::pair<std::string, std::string>;  // name, value

class ParamTest : public ::testing::Test {
protected:
    ParamTest() : dir_(true), config_("XDG_CONFIG_HOME", (dir_ / "config").string())
    {
        gf_resetParametersForTest();
        vald::gf_controls().reset();
        gf_setMetaSimulatorName("P3D");
        stopRequested = false;
        userClosing = false;
        gf_openLog();
    }
    ~ParamTest() override
    {
        gf_closeLogForTest();
        stopRequested = false;
        userClosing = false;
        vald::gf_controls().reset();
        gf_resetParametersForTest();
    }

    std::filesystem::path paramsPath() const { return dir_ / "config" / "Corv_P3D" / "parameters.xml"; }

    void writeParams(const std::string& body) const
    {
        writeFile(paramsPath(), "<?xml version=\"1.0\"?>\n<parameters>\n" + body + "</parameters>\n");
    }

    static std::string entry(const std::string& name, const std::string& value)
    {
        return "<parameter name=\"" + name + "\" value=\"" + value + "\"/>\n";
    }

    // Every <parameter> of the file, in file order, across all top-level "parameters" elements.
    std::vector<Entry> entries() const
    {
        pugi::xml_document document;
        EXPECT_TRUE(document.load_file(paramsPath().c_str())) << readFile(paramsPath());
        std::vector<Entry> result;
        for (const pugi::xpath_node& node : document.select_nodes("/parameters/parameter"))
            result.emplace_back(node.node().attribute("name").value(), node.node().attribute("value").value());
        return result;
    }

    std::string valueInFile(const std::string& name) const
    {
        for (const Entry& e : entries())
            if (e.first == name)
                return e.second;
        return "<missing>";
    }

    std::vector<std::string> logLines() const
    {
        gf_closeLogForTest();
        return fileLines(dir_ / "Log.txt");
    }

    std::size_t countLog(const std::string& text) const
    {
        std::size_t count = 0;
        for (const std::string& line : logLines())
            if (line.find(text) != std::string::npos)
                ++count;
        return count;
    }

    TempDir dir_;
    ScopedEnv config_;
};

}  // namespace corv_test
