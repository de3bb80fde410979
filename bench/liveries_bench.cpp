// Building the livery indexes from a LiveriesScanned.xml of 10,000 liveries (time and the bytes
// the indexes hold), and the livery choice for 100,000 flights over those indexes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/format.hpp"
#include "foundation/parameters.hpp"
#include "liveries/liveries_scanned_xml.hpp"
#include "liveries/livery_choice.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/regcode_index.hpp"
#include "refdata/dbase.hpp"
#include "refdata/type_queries.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int LIVERY_COUNT = 10000;
constexpr int AIRLINE_COUNT = 300;
constexpr int FLIGHT_COUNT = 100000;

const std::vector<std::string> LARGE{"A318", "A319", "A320", "A321", "A20N", "A21N", "B737", "B738", "B739", "B38M",
                                     "E170", "E175", "E190", "E195", "CRJ9", "DH8D", "AT76", "BCS3"};
const std::vector<std::string> HEAVY{"A332", "A333", "A359", "A388", "B744", "B748", "B763", "B772", "B77L", "B77W",
                                     "B788", "B789", "MD11"};
const std::vector<std::string> BUZJETS{"C56X", "CL35", "GLF5", "GLEX", "FA7X", "E55P"};
const std::vector<std::string> ROTORCRAFT{"EC35", "EC45", "AS50", "R44"};
const std::vector<std::string> LIGHT{"C172", "C182", "PA28", "SR22", "DA40", "C208", "PC12", "BE20"};

std::vector<std::string> lf_allTypes()
{
    std::vector<std::string> types;
    for (const auto* list : {&LARGE, &HEAVY, &BUZJETS, &ROTORCRAFT, &LIGHT})
        types.insert(types.end(), list->begin(), list->end());
    return types;
}

std::string lf_airline(std::uint32_t n)
{
    return {static_cast<char>('A' + n % 26), static_cast<char>('A' + n / 26 % 26), static_cast<char>('A' + n / 676 % 26)};
}

// A private program folder (and data folder) with the generated LiveriesScanned.xml and the
// category tables of the reference data filled in.
class LiveryBenchFolder {
public:
    LiveryBenchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "corv-liveries-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        previous_ = fs::current_path();
        fs::current_path(path_);
        setenv("XDG_CONFIG_HOME", (path_ / "config").c_str(), 1);

        gf_clearDbaseTables();
        largeTypes.insert(LARGE.begin(), LARGE.end());
        heavyTypes.insert(HEAVY.begin(), HEAVY.end());
        buzjetTypes.insert(BUZJETS.begin(), BUZJETS.end());
        rotorcraftTypes.insert(ROTORCRAFT.begin(), ROTORCRAFT.end());
        similarGroups = {{"A318", "A319", "A320", "A321"}, {"B737", "B738", "B739"}, {"E170", "E175"},
                         {"B772", "B77L", "B77W"}, {"B788", "B789"}, {"A332", "A333"}};

        const std::vector<std::string> types = lf_allTypes();
        std::mt19937 random(42);
        LiveryList liveries;
        for (int i = 0; i < LIVERY_COUNT; ++i) {
            LiveryData livery;
            livery.airl = i % 50 == 0 ? "ZZZ" : lf_airline(random() % AIRLINE_COUNT);
            livery.type = types[random() % types.size()];
            livery.title = vald::format("AIG {} {} livery number {}", livery.type, livery.airl, i);
            if (random() % 3 == 0) {
                livery.atcid = vald::format("PH-{}", i);
                registrations_.push_back(livery.atcid);
            }
            livery.cargo = random() % 10 == 0;
            liveries.push_back(std::move(livery));
        }
        gf_sortLiveries(liveries);
        if (!lf_writeLiveriesScanned(liveries))
            throw std::runtime_error("LiveriesScanned.xml not written");

        for (int i = 0; i < FLIGHT_COUNT; ++i) {
            FlightIdentity flight;
            flight.airline = random() % 10 == 0 ? "XYZ" : lf_airline(random() % AIRLINE_COUNT);
            flight.type = types[random() % types.size()];
            flight.callsign = vald::format("{}{}", flight.airline, i % 10000);
            if (random() % 4 == 0)
                flight.registration = registrations_[random() % registrations_.size()];
            flights_.push_back(std::move(flight));
        }
    }
    ~LiveryBenchFolder()
    {
        std::error_code ec;
        fs::current_path(previous_, ec);
        fs::remove_all(path_, ec);
        gf_clearDbaseTables();
    }

    const std::vector<FlightIdentity>& flights() const { return flights_; }

private:
    fs::path path_;
    fs::path previous_;
    std::vector<std::string> registrations_;
    std::vector<FlightIdentity> flights_;
};

LiveryBenchFolder& lf_folder()
{
    static LiveryBenchFolder folder;
    return folder;
}

void lf_resetIndexes()
{
    gf_resetLiveryIndexes();
    liveriesProcessed.store(false);
    gf_resetSimilarModels();
}

// Heap bytes of a string beyond its own object (short strings live inside it).
std::size_t lf_heap(const std::string& text) { return text.capacity() > 15 ? text.capacity() + 1 : 0; }

template <typename Map>
std::size_t lf_mapOverhead(const Map& map)
{
    // Buckets, plus per node the link, the cached hash and the value.
    return map.bucket_count() * sizeof(void*) +
           map.size() * (sizeof(void*) + sizeof(std::size_t) + sizeof(typename Map::value_type));
}

std::size_t lf_viewsBytes(const TitleViews& views) { return views.capacity() * sizeof(std::string_view); }

// What the indexes hold on the heap, counted container by container.
std::size_t lf_indexBytes()
{
    std::size_t bytes = lf_mapOverhead(liveryIndex);
    for (const auto& [airline, models] : liveryIndex) {
        bytes += lf_heap(airline) + lf_mapOverhead(models);
        for (const auto& [model, entries] : models) {
            bytes += lf_heap(model) + entries.capacity() * sizeof(LiveryEntry);
            for (const LiveryEntry& entry : entries)
                bytes += lf_heap(entry.title);
        }
    }
    for (int kind = 0; kind < 2; ++kind) {
        bytes += lf_mapOverhead(airlineModelIndexes[kind]) + lf_mapOverhead(modelIndexes[kind]);
        for (const auto& [airline, models] : airlineModelIndexes[kind]) {
            bytes += lf_heap(airline) + lf_mapOverhead(models);
            for (const auto& [model, views] : models)
                bytes += lf_heap(model) + lf_viewsBytes(views);
        }
        for (const auto& [model, views] : modelIndexes[kind])
            bytes += lf_heap(model) + lf_viewsBytes(views);
    }
    bytes += lf_mapOverhead(regcodeIndex);
    for (const auto& [registration, title] : regcodeIndex)
        bytes += lf_heap(registration);
    // The set of stored titles used while binding registrations: one node per title.
    bytes += liveryCount.load() * (2 * sizeof(void*) + sizeof(std::size_t) + sizeof(std::string_view));
    return bytes;
}

void BM_BuildLiveryIndexes(benchmark::State& state)
{
    lf_folder();
    for (auto _ : state) {
        state.PauseTiming();
        lf_resetIndexes();
        state.ResumeTiming();
        gf_processScannedLiveries();
    }
    state.counters["liveries"] = static_cast<double>(liveryCount.load());
    state.counters["index_bytes"] = static_cast<double>(lf_indexBytes());
    state.counters["bytes_per_livery"] = static_cast<double>(lf_indexBytes()) / LIVERY_COUNT;
}
BENCHMARK(BM_BuildLiveryIndexes)->Unit(benchmark::kMillisecond);

void BM_ChooseLiveryForSpawn(benchmark::State& state)
{
    const std::vector<FlightIdentity>& flights = lf_folder().flights();
    lf_resetIndexes();
    gf_processScannedLiveries();
    MATCHING_DEPTH.setValue(4);
    std::size_t next = 0;
    std::size_t matched = 0;
    for (auto _ : state) {
        LiveryPick pick{flights[next], gf_typeCategory(flights[next].type), false, flights[next].callsign, {}, false};
        gf_chooseLiveryForSpawn(pick);
        matched += pick.title.empty() ? 0 : 1;
        benchmark::DoNotOptimize(pick.title.data());
        next = (next + 1) % flights.size();
    }
    state.counters["matched_share"] = static_cast<double>(matched) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ChooseLiveryForSpawn)->Iterations(FLIGHT_COUNT)->Unit(benchmark::kMicrosecond);

}  // namespace
