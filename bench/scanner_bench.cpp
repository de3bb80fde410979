// The add-on airport scan whole (gf_scanAirports) over a generated scenery tree of 1,000 BGL files
// whose airports are all in the airports table, so that every airport is decoded and its park
// file written; against reading the same files' bytes on as many threads as the scan may use (the
// floor any scan has to stand on). Goal: the scan within twice the plain reads. Each on the disk
// (Arg 0) and in memory (Arg 1).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "bench/plain_reads.hpp"
#include "foundation/byte_reader.hpp"
#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/parameters.hpp"
#include "foundation/run_state.hpp"
#include "foundation/text.hpp"
#include "foundation/xml_meta.hpp"
#include "foundation/scan_workers.hpp"
#include "refdata/airports.hpp"
#include "refdata/dbase.hpp"
#include "scanner/airport_scan.hpp"
#include "scanner/bgl_records.hpp"
#include "tests/scanner/bgl_writer.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int BGL_FILES = 1000;
constexpr int AIRPORTS_PER_FILE = 4;
constexpr int FILES_PER_FOLDER = 100;
constexpr std::size_t OTHER_CONTENT_BYTES = 64 * 1024;

// A four-letter code from a number: "K" and three letters.
std::string lf_code(int n)
{
    std::string code = "K";
    code += static_cast<char>('A' + n / 676 % 26);
    code += static_cast<char>('A' + n / 26 % 26);
    code += static_cast<char>('A' + n % 26);
    return code;
}

// A program folder with an add-on folder of 1,000 files of about 80 KB (some 80 MB): each an
// airport section of four airports with their names, a helipad and 40 parkings, behind another
// section, followed by bytes of other content that a scenery file carries. Every code is in the
// airports table, none is a simulator add-on or a publisher's, so each airport gets a park file of
// its own in airports/my_thirdparty. Made under base: the disk's temporary folder, or /dev/shm,
// where a sync costs nothing, to tell the scan's own work from the disk's.
class SceneryTree {
public:
    explicit SceneryTree(const fs::path& base)
    {
        std::string pattern = (base / "corv-scan-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        addons_ = root_ / "Addons";
        for (int i = 0; i < BGL_FILES; ++i) {
            std::vector<bgl_test::Airport> airports;
            for (int a = 0; a < AIRPORTS_PER_FILE; ++a) {
                bgl_test::Airport airport;
                airport.icao = lf_code(i * AIRPORTS_PER_FILE + a);
                airport.names = {airport.icao + " field"};
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
            const fs::path file = addons_ / vald::format("folder{}", i / FILES_PER_FOLDER) / vald::format("AP{}.bgl", i);
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
    const fs::path& addons() const { return addons_; }
    const std::vector<fs::path>& files() const { return files_; }

private:
    fs::path root_;
    fs::path addons_;
    std::vector<fs::path> files_;
};

// Arg 0: the tree on the disk; 1: in memory.
const SceneryTree& lf_tree(std::int64_t where)
{
    static const SceneryTree onDisk(fs::temp_directory_path());
    static const SceneryTree inMemory("/dev/shm");
    return where == 0 ? onDisk : inMemory;
}

// Every airport of the trees in the airports table, sorted by code as the table is.
void lf_knowEveryAirport()
{
    gf_resetAirports();
    for (int n = 0; n < BGL_FILES * AIRPORTS_PER_FILE; ++n)
        airportRecords.push_back(AirportRecord{lf_code(n), "", 50.0, 4.0, 0.0, 40});
    std::sort(airportRecords.begin(), airportRecords.end(),
              [](const AirportRecord& a, const AirportRecord& b) { return a.code < b.code; });
    gf_buildAirportIndex();
    gf_clearDbaseTables();
}

// The tree's root is the program folder (the current directory) while it lives.
class InProgramFolder {
public:
    explicit InProgramFolder(const fs::path& root) : previous_(fs::current_path())
    {
        fs::current_path(root);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    }
    ~InProgramFolder()
    {
        std::error_code ec;
        fs::current_path(previous_, ec);
    }
    InProgramFolder(const InProgramFolder&) = delete;
    InProgramFolder& operator=(const InProgramFolder&) = delete;

private:
    fs::path previous_;
};

// The tree walked for its BGL files, then each file read whole with plain reads by a pool of
// threads of the scan's size, each taking the next file.
void BM_PlainReadOfTheTree(benchmark::State& state)
{
    const fs::path& addons = lf_tree(state.range(0)).addons();
    const int threads = gf_usableCpus();
    std::uintmax_t bytes = 0;
    for (auto _ : state) {
        bytes = gf_readTreeOnThreads(addons, threads, [](const fs::path& file) {
            return lf_isBglFile(file.extension().string());
        });
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["threads"] = threads;
}
BENCHMARK(BM_PlainReadOfTheTree)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole scan as a start-up runs it: earlier outputs removed, every file decoded on the scan
// pool, 4,000 park files written, the list of generated files, the scan log and the archive of
// third-party files saved.
void BM_AirportScanOfTheTree(benchmark::State& state)
{
    const SceneryTree& scenery = lf_tree(state.range(0));
    const InProgramFolder folder(scenery.root());
    lf_knowEveryAirport();
    const int threads = gf_usableCpus();
    SIM_INSTALL_PATH.setValue(gf_pathToUtf8(fs::current_path() / "Sim5"));
    afolder0.setValue(gf_pathToUtf8(scenery.addons()));
    gf_setMetaSimulatorName("P3D");
    stopRequested = false;
    userClosing = false;
    std::size_t written = 0;
    for (auto _ : state) {
        gf_setScanWorkerLimit(threads);
        SCAN_AIRPORTS.setValue(true);
        gf_scanAirports();
        state.PauseTiming();
        written = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(MY_THIRDPARTY_FOLDER))
            written += entry.path().extension() == ".xml" ? 1 : 0;
        state.ResumeTiming();
    }
    state.counters["park_files"] = static_cast<double>(written);
    state.counters["threads"] = threads;
    gf_resetAirports();
}
BENCHMARK(BM_AirportScanOfTheTree)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The decoding alone, every airport taken as known, on files already in memory.
void BM_DecodeInMemory(benchmark::State& state)
{
    std::vector<std::vector<std::uint8_t>> images;
    for (std::size_t i = 0; i < 200; ++i)
        images.push_back(*lf_readDwords(lf_tree(1).files()[i]));
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
