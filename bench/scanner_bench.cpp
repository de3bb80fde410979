// The add-on airport scan over a generated scenery tree of 2,000 BGL files, against reading the
// same files with one plain read each (the floor any scan has to stand on). Goal: the scan within
// twice the plain reads.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <thread>

#include "foundation/byte_reader.hpp"
#include "foundation/format.hpp"
#include "foundation/parameters.hpp"
#include "liveries/scan_workers.hpp"
#include "scanner/airport_scan.hpp"
#include "scanner/airports_scan_log.hpp"
#include "scanner/bgl_records.hpp"
#include "tests/scanner/bgl_writer.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int BGL_FILES = 2000;
constexpr int FILES_PER_FOLDER = 100;
constexpr std::size_t OTHER_CONTENT_BYTES = 64 * 1024;

// 2,000 files of about 80 KB (some 160 MB): each an airport section of eight airports with their
// names, helipads and 40 parkings, behind another section, followed by bytes of other content
// that a scenery file carries. None of the codes is a known airport, so the scan reads and walks
// every file and writes no park file.
class SceneryTree {
public:
    SceneryTree()
    {
        std::string pattern = (fs::temp_directory_path() / "corv-scan-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        for (int i = 0; i < BGL_FILES; ++i) {
            std::vector<bgl_test::Airport> airports;
            for (int a = 0; a < 8; ++a) {
                bgl_test::Airport airport;
                // Formatted, not "literal" + std::string: GCC 12 at -O3 reports a false -Wrestrict on that.
                airport.icao = vald::format("Z{}", 100 + (i * 8 + a) % 900);
                airport.abKind = a % 2 == 1;
                airport.helipads = {bgl_test::Helipad{}};
                for (std::uint32_t p = 1; p <= 40; ++p) {
                    bgl_test::Parking parking;
                    parking.number = p;
                    parking.lat = 50.0 + p * 0.0003;
                    airport.parkings.push_back(parking);
                }
                airports.push_back(airport);
            }
            const fs::path file = root_ / ("folder" + std::to_string(i / FILES_PER_FOLDER)) / ("AP" + std::to_string(i) + ".bgl");
            std::vector<std::uint8_t> bytes = bgl_test::bglFile(airports, true);
            bytes.resize(bytes.size() + OTHER_CONTENT_BYTES, 0);
            bgl_test::writeBytes(file, bytes);
            files_.push_back(file);
        }
    }
    ~SceneryTree()
    {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const fs::path& root() const { return root_; }
    const std::vector<fs::path>& files() const { return files_; }

private:
    fs::path root_;
    std::vector<fs::path> files_;
};

const SceneryTree& tree()
{
    static const SceneryTree instance;
    return instance;
}

void BM_PlainReadOfTheTree(benchmark::State& state)
{
    const SceneryTree& scenery = tree();
    std::vector<char> buffer;
    for (auto _ : state) {
        std::uintmax_t bytes = 0;
        for (const fs::path& file : scenery.files()) {
            std::ifstream in(file, std::ios::binary);
            buffer.resize(static_cast<std::size_t>(fs::file_size(file)));
            in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            bytes += static_cast<std::uintmax_t>(in.gcount());
        }
        benchmark::DoNotOptimize(bytes);
        state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    }
}
BENCHMARK(BM_PlainReadOfTheTree)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AirportScanOfTheTree(benchmark::State& state)
{
    const SceneryTree& scenery = tree();
    SIM_INSTALL_PATH.setValue("");
    gf_setScanWorkerLimit(static_cast<std::int32_t>(std::thread::hardware_concurrency()));
    for (auto _ : state) {
        gf_startAirportsScanLog();
        lf_scanAirportFolder(scenery.root());
        benchmark::DoNotOptimize(gf_takeAirportsScanLog());
    }
}
BENCHMARK(BM_AirportScanOfTheTree)->Unit(benchmark::kMillisecond)->UseRealTime();

// The decoding alone, every airport taken as known, on files already in memory.
void BM_DecodeInMemory(benchmark::State& state)
{
    std::vector<std::vector<std::uint8_t>> images;
    for (std::size_t i = 0; i < 200; ++i)
        images.push_back(*lf_readDwords(tree().files()[i]));
    const AirportFilter all = [](const std::string&) { return true; };
    for (auto _ : state) {
        std::size_t stands = 0;
        for (const auto& image : images)
            for (const ApfAirport& airport : gf_decodeBglAirports(vald::ByteReader(image.data(), image.size()), "b", all))
                stands += airport.stands.size();
        benchmark::DoNotOptimize(stands);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(images.size()));
}
BENCHMARK(BM_DecodeInMemory)->Unit(benchmark::kMillisecond);

}  // namespace
