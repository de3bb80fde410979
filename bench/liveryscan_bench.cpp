// The liveries scan whole (gf_scanLiveries: the walk, the file tasks on the scan pool, the sort,
// LiveriesScanned.xml saved and the scan's reports written) of a generated tree of 10,000
// aircraft.cfg files (two liveries each, with their model and texture folders and .air files),
// against reading the same files' bytes on as many threads as the scan may use. Goal: the scan
// within twice the plain reads.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "bench/plain_reads.hpp"
#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/parameters.hpp"
#include "foundation/run_state.hpp"
#include "foundation/text.hpp"
#include "foundation/xml_meta.hpp"
#include "liveries/livery_scan.hpp"
#include "foundation/scan_workers.hpp"
#include "refdata/dbase.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int CFG_FILE_COUNT = 10000;
constexpr int FOLDERS_PER_GROUP = 100;

// A program folder holding the tree of liveries (under "Liveries").
class CfgTree {
public:
    CfgTree()
    {
        std::string pattern = (fs::temp_directory_path() / "corv-bench-cfg-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        program_ = pattern;
        root_ = program_ / "Liveries";
        aircraftTypes = {"A320", "B738"};
        icaoAirlines = {"KLM", "DLH"};
        for (int i = 0; i < CFG_FILE_COUNT; ++i) {
            const fs::path folder = root_ / vald::format("group{}", i / FOLDERS_PER_GROUP) / vald::format("ac{}", i);
            fs::create_directories(folder / "model");
            fs::create_directories(folder / "texture.1");
            fs::create_directories(folder / "texture.2");
            std::ofstream(folder / "plane.air") << "air";
            std::ofstream(folder / "aircraft.cfg")
                << vald::format("[General]\natc_type=Boeing\natc_model={}\n\n", i % 2 == 0 ? "B738" : "A320")
                << vald::format("[fltsim.0]\ntitle=Bench {} KLM\nsim=plane\nmodel=\ntexture=1\natc_parking_codes=KLM\n"
                                "atc_id=PH-{:04}\natc_parking_types=GATE\nui_type=Bench\n\n",
                                i, i)
                << vald::format("[fltsim.1]\ntitle=Bench {} DLH\nsim=plane\nmodel=\ntexture=2\natc_parking_codes=DLH\n"
                                "atc_parking_types=GATE,CARGO\n\n[Views]\neyepoint=1,2,3\n[Lights]\nlight.0=1\n",
                                i);
        }
    }
    ~CfgTree()
    {
        std::error_code ignored;
        fs::remove_all(program_, ignored);
    }
    const fs::path& program() const { return program_; }
    const fs::path& root() const { return root_; }

private:
    fs::path program_;
    fs::path root_;
};

const CfgTree& lf_tree()
{
    static const CfgTree tree;
    return tree;
}

void BM_LiveryScanOfTenThousandCfgFiles(benchmark::State& state)
{
    const CfgTree& tree = lf_tree();
    const fs::path previous = fs::current_path();
    fs::current_path(tree.program());
    setenv("XDG_CONFIG_HOME", (tree.program() / "config").c_str(), 1);
    const int threads = gf_usableCpus();
    lfolder0.setValue(gf_pathToUtf8(tree.root()));
    gf_setMetaSimulatorName("P3D");
    stopRequested = false;
    userClosing = false;
    for (auto _ : state) {
        gf_setScanWorkerLimit(threads);
        SCAN_LIVERIES.setValue(true);
        gf_scanLiveries();
    }
    std::error_code ignored;
    state.counters["saved_bytes"] = static_cast<double>(fs::file_size(LIVERIES_SCANNED_PATH, ignored));
    state.counters["threads"] = threads;
    lfolder0.setValue("");
    fs::current_path(previous, ignored);
}
BENCHMARK(BM_LiveryScanOfTenThousandCfgFiles)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadingTheSameCfgBytes(benchmark::State& state)
{
    const fs::path& root = lf_tree().root();
    const int threads = gf_usableCpus();
    std::uintmax_t bytes = 0;
    for (auto _ : state) {
        bytes = gf_readTreeOnThreads(root, threads, [](const fs::path& file) { return file.filename() == "aircraft.cfg"; });
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["threads"] = threads;
}
BENCHMARK(BM_ReadingTheSameCfgBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
