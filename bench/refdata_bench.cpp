// Reading the reference data files (decryption and parsing) and the closest-airport query.
#include <benchmark/benchmark.h>
#include <sodium.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "foundation/format.hpp"
#include "refdata/airports.hpp"
#include "refdata/data_key.hpp"
#include "refdata/dbase.hpp"

namespace fs = std::filesystem;

namespace {

// The encrypted files as the program receives them, in a private working folder.
class BenchFolder {
public:
    BenchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "corv-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        previous_ = fs::current_path();
        fs::current_path(path_);
        fs::create_directories("input");
        const fs::path samples = fs::path(CORV_SOURCE_DIR) / "standins/data";
        seal(samples / "dbase.xml", "input/dbase.enc");
        seal(samples / "airports.xml", "input/airports.enc");
    }
    ~BenchFolder()
    {
        std::error_code ec;
        fs::current_path(previous_, ec);
        fs::remove_all(path_, ec);
    }

private:
    static void seal(const fs::path& from, const fs::path& to)
    {
        std::ifstream in(from, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const std::string plain = text.str();
        if (sodium_init() < 0)
            throw std::runtime_error("sodium_init failed");
        crypto_secretstream_xchacha20poly1305_state state;
        unsigned char header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
        crypto_secretstream_xchacha20poly1305_init_push(&state, header, DATA_FILE_KEY.data());
        std::ofstream out(to, std::ios::binary);
        out.write(reinterpret_cast<const char*>(header), sizeof header);
        unsigned char cipher[4096 + crypto_secretstream_xchacha20poly1305_ABYTES];
        std::size_t offset = 0;
        do {
            const std::size_t length = std::min<std::size_t>(4096, plain.size() - offset);
            const unsigned char tag = offset + length == plain.size() ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0;
            unsigned long long cipherLength = 0;
            crypto_secretstream_xchacha20poly1305_push(&state, cipher, &cipherLength,
                                                       reinterpret_cast<const unsigned char*>(plain.data()) + offset,
                                                       length, nullptr, 0, tag);
            out.write(reinterpret_cast<const char*>(cipher), static_cast<std::streamsize>(cipherLength));
            offset += length;
        } while (offset < plain.size());
    }

    fs::path path_;
    fs::path previous_;
};

void BM_ReadDbase(benchmark::State& state)
{
    const BenchFolder folder;
    for (auto _ : state)
        benchmark::DoNotOptimize(gf_readDbase());
    state.counters["records"] = static_cast<double>(dbaseRecords.size());
    gf_clearDbaseTables();
}
BENCHMARK(BM_ReadDbase)->Unit(benchmark::kMicrosecond);

void BM_ReadAirports(benchmark::State& state)
{
    const BenchFolder folder;
    for (auto _ : state) {
        gf_resetAirports();
        benchmark::DoNotOptimize(gf_readAirports());
    }
    state.counters["airports"] = static_cast<double>(airportRecords.size());
    gf_resetAirports();
}
BENCHMARK(BM_ReadAirports)->Unit(benchmark::kMicrosecond);

void BM_ClosestAirport(benchmark::State& state)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> lat(35.0, 70.0);
    std::uniform_real_distribution<double> lon(-10.0, 30.0);
    gf_resetAirports();
    for (int i = 0; i < 10000; ++i)
        airportRecords.push_back({vald::format("X{:04}", i), "", lat(random), lon(random), 0.0, 0});
    // As reading the table does: the search answers from the index, not by a scan.
    gf_buildAirportIndex();
    std::vector<LatLon> positions;
    for (int i = 0; i < 64; ++i)
        positions.push_back({lat(random), lon(random)});
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(gf_closestAirport(positions[next]));
        next = (next + 1) % positions.size();
    }
    gf_resetAirports();
}
BENCHMARK(BM_ClosestAirport)->Unit(benchmark::kMicrosecond);

}  // namespace
