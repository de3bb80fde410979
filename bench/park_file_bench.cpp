// Reading large park files on the worker: a 20,000-stand airport (numbering and the overlapping
// stands included), and a learned file with 16,000 uses of one stand merged over its park file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "engine/stand_records.hpp"
#include "foundation/format.hpp"
#include "parking/park_airport.hpp"
#include "parking/park_file.hpp"
#include "refdata/airports.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int STAND_COUNT = 20000;
constexpr int STANDS_PER_ROW = 150;
constexpr double STAND_SPACING_DEG = 0.0006;  // about 65 m: neighbours of wide stands overlap
constexpr int OPTION_COUNT = 16000;
const std::string PARK_FILE = "airports/my_thirdparty/EHAM.xml";
const fs::path LEARNED_FILE = "airports/learned/thirdparty/Bench/EHAM.xml";

std::string lf_header(const std::string& extra)
{
    return "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"b\"/><info name=\"date\" value=\"b\"/>"
           "<info name=\"version\" value=\"1\"/></meta>\n<parameters>"
           "<parameter name=\"airport_name\" value=\"Bench\"/><parameter name=\"publisher\" value=\"Bench\"/>"
           "<parameter name=\"altitude\" value=\"-11\"/>" +
           extra + "</parameters>\n<parkpositions>\n";
}

std::string lf_parkpos(int i, double lat, double lon, double radiusM)
{
    return vald::format("<parkpos id=\"S{}\" latitude=\"{:.6f}\" longitude=\"{:.6f}\" heading=\"90.0\" radius=\"{:.1f}\" "
                        "cargo=\"false\" ramp=\"false\"/>\n",
                        i, lat, lon, radiusM);
}

// A program folder with the airports table holding EHAM, entered while it lives.
class BenchFolder {
public:
    BenchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "corv-bench-park-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        previous_ = fs::current_path();
        fs::current_path(root_);
        fs::create_directories("airports/my_thirdparty");
        gf_resetAirports();
        airportRecords.push_back({"EHAM", "AMS", 52.31, 4.76, -11.0, 0});
        gf_buildAirportIndex();
        if (!lf_setParkAirport("EHAM"))
            throw std::runtime_error("no park airport");
    }
    ~BenchFolder()
    {
        gf_resetParkAirportForTest();
        gf_resetAirports();
        std::error_code ignored;
        fs::current_path(previous_, ignored);
        fs::remove_all(root_, ignored);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

private:
    fs::path root_;
    fs::path previous_;
};

void lf_readParkFile(benchmark::State& state)
{
    for (auto _ : state) {
        gf_resetStandRecords();
        ApfInfo info;
        std::pair<std::int32_t, std::int32_t> quality;
        const std::string error = gf_readApf(PARK_FILE, info, quality);
        if (!error.empty())
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(parkStands.data());
    }
    state.counters["stands"] = static_cast<double>(parkStands.size());
    std::size_t options = 0;
    for (const Stand& stand : parkStands)
        options += stand.options.size();
    state.counters["options"] = static_cast<double>(options);
    gf_resetStandRecords();
}

void BM_ReadParkFile20kStands(benchmark::State& state)
{
    BenchFolder folder;
    std::ofstream file(PARK_FILE);
    file << lf_header("");
    for (int i = 0; i < STAND_COUNT; ++i)
        file << lf_parkpos(i, 52.28 + (i / STANDS_PER_ROW) * STAND_SPACING_DEG,
                           4.70 + (i % STANDS_PER_ROW) * STAND_SPACING_DEG, 20.0 + (i % 4) * 10.0);
    file << "</parkpositions>\n";
    file.close();
    lf_readParkFile(state);
}

void BM_ReadLearnedFile16kOptionsOnOneStand(benchmark::State& state)
{
    BenchFolder folder;
    std::ofstream(PARK_FILE) << lf_header("") << lf_parkpos(1, 52.3, 4.76, 30.0) << "</parkpositions>\n";
    fs::create_directories(LEARNED_FILE.parent_path());
    std::ofstream learned(LEARNED_FILE);
    learned << lf_header("") << "<parkpos id=\"S1\">";
    for (int i = 0; i < OPTION_COUNT; ++i)
        learned << vald::format("<opt reg=\"PH-{:05}\" airl=\"KLM\" type=\"B738\" day=\"{}\" hh=\"{},{}\"/>", i,
                                i % 7 + 1, i % 47, i % 47 + 1);
    learned << "</parkpos>\n</parkpositions>\n";
    learned.close();
    lf_readParkFile(state);
}

}  // namespace

BENCHMARK(BM_ReadParkFile20kStands)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLearnedFile16kOptionsOnOneStand)->Unit(benchmark::kMillisecond);
