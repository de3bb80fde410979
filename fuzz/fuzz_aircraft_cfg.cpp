// The aircraft.cfg reader of the liveries scan: any bytes as an aircraft.cfg (ordinary tree when
// the first byte is even, IVAO tree otherwise), in a folder that has the usual model and texture
// folders and .air file, so that sections can reach every step of their evaluation.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "liveries/aircraft_cfg.hpp"
#include "liveries/scan_reports.hpp"
#include "refdata/dbase.hpp"

namespace fs = std::filesystem;

namespace {

struct Tree {
    fs::path root;
    fs::path ordinary;
    fs::path ivao;
};

void lf_makeAircraftFolder(const fs::path& folder)
{
    fs::create_directories(folder / "model");
    fs::create_directories(folder / "texture");
    fs::create_directories(folder / "texture.1");
    std::ofstream(folder / "plane.air") << "air";
}

const Tree& lf_tree()
{
    static const Tree tree = [] {
        std::string pattern = (fs::temp_directory_path() / "corv_fuzz_cfg_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        Tree made{pattern, fs::path(pattern) / "B738", fs::path(pattern) / "IVAO_MTL" / "IVAO_A320"};
        lf_makeAircraftFolder(made.ordinary);
        lf_makeAircraftFolder(made.ivao);
        aircraftTypes = {"A320", "B738", "B744"};
        heavyTypes = {"B744"};
        icaoAirlines = {"KLM", "DLH", "ZZZ"};
        modelFixes = {{"B74F", "B744"}};
        dbaseRecords = {{"PH-BXA", DbaseRecord{"KLM", "B738", "", false}}};
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(lf_tree().root, ignored);
        });
        return made;
    }();
    return tree;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const Tree& tree = lf_tree();
    const bool ivao = data[0] % 2 != 0;
    const fs::path file = (ivao ? tree.ivao : tree.ordinary) / "aircraft.cfg";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    FoundLiveries found;
    try {
        found = ivao ? lf_searchIvaoLiveriesinFile(1, file) : lf_searchLiveriesinFile(1, file);
    } catch (const std::filesystem::filesystem_error&) {
        // A file-system failure ends the file's task; the scan logs it and goes on.
    }
    for (const LiveryData& livery : lf_claimTitles(found)) {
        // Every livery names its airline, model and title.
        if (livery.airl.empty() || livery.type.empty() || livery.title.empty())
            std::abort();
    }
    lf_clearScanReports();
    return 0;
}
