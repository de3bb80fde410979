// The liveries scan of a generated tree of 10,000 aircraft.cfg files (two liveries each, with
// their model and texture folders and .air files), against only reading the same files' bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "foundation/format.hpp"
#include "liveries/livery_scan.hpp"
#include "liveries/livery_records.hpp"
#include "liveries/scan_reports.hpp"
#include "liveries/scan_workers.hpp"
#include "refdata/dbase.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int CFG_FILE_COUNT = 10000;
constexpr int FOLDERS_PER_GROUP = 100;

class CfgTree {
public:
    CfgTree()
    {
        std::string pattern = (fs::temp_directory_path() / "corv-bench-cfg-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
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
        fs::remove_all(root_, ignored);
    }
    const fs::path& root() const { return root_; }

private:
    fs::path root_;
};

const CfgTree& lf_tree()
{
    static const CfgTree tree;
    return tree;
}

void BM_LiveryScanOfTenThousandCfgFiles(benchmark::State& state)
{
    const fs::path& root = lf_tree().root();
    gf_setScanWorkerLimit(static_cast<std::int32_t>(std::thread::hardware_concurrency()));
    std::size_t liveries = 0;
    for (auto _ : state) {
        scannedLiveries.clear();
        lf_scanLiveryFolder(1, root);
        liveries = scannedLiveries.size();
        lf_clearScanReports();
    }
    scannedLiveries.clear();
    state.counters["liveries"] = static_cast<double>(liveries);
}
BENCHMARK(BM_LiveryScanOfTenThousandCfgFiles)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadingTheSameCfgBytes(benchmark::State& state)
{
    const fs::path& root = lf_tree().root();
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
            if (entry.path().filename() != "aircraft.cfg")
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            bytes += text.size();
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ReadingTheSameCfgBytes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
