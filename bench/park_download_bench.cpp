// The park-airport step, once a second inside a 10 ms tick, while the user waits on the ground at
// an airport whose park file lives on a download site that accepts the connection and then says
// nothing (a hung site: the transfer only ends at the low-speed limit). A neighbour airport lies
// within range, so the closest-stand question fetches both airports' files too. Counter: the
// longest step, which must stay far below the tick however long the site keeps silent.
#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "foundation/status_sink.hpp"
#include "parking/park_airport.hpp"
#include "parking/park_file.hpp"
#include "parking/static_planning.hpp"
#include "refdata/airports.hpp"
#include "refdata/downloads.hpp"
#include "simlink/sim_state.hpp"

namespace {

namespace fs = std::filesystem;

// A loopback port that takes connections into its backlog and never answers; its descriptor.
int lf_silentSite(int& port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener, 16) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    port = ntohs(address.sin_port);
    return listener;
}

void BM_ParkAirportStepWhileTheSiteIsSilent(benchmark::State& state)
{
    const fs::path previous = fs::current_path();
    std::string folder = (fs::temp_directory_path() / "corv-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    fs::current_path(folder);
    int port = 0;
    const int site = lf_silentSite(port);
    if (site < 0) {
        state.SkipWithError("no loopback port");
        return;
    }
    ::setenv("CORV_DOWNLOAD_BASE", ("http://127.0.0.1:" + std::to_string(port) + "/downloads/").c_str(), 1);
    vald::HttpLimits limits;
    limits.lowSpeedTime = std::chrono::seconds(2);  // the silence lasts this long per try
    gf_setDownloadLimitsForTest(limits);
    StatusSink quiet;
    quiet.show = [](const std::string&, bool) {};
    quiet.clear = [] {};
    gf_setStatusSink(std::move(quiet));
    gf_resetParkAirportForTest();
    gf_resetAirports();
    airportRecords = {AirportRecord{"EHAA", "", 52.05, 4.0, 0.0, 1}, AirportRecord{"EHAM", "AMS", 52.0, 4.0, -11.0, 1}};
    gf_buildAirportIndex();
    gf_setClosestStandQuery([](const AirportRecord& airport, const LatLon& position, std::string& standId) {
        return gf_readDestApfForClosestStand(airport.code, position, standId);
    });
    UserAircraftSnapshot user;
    user.latitude = 52.0;
    user.longitude = 4.0;
    gf_setUserSnapshot(user);
    gf_setUserOnGround(true);
    gf_setParkedTrafficSource([](std::vector<ParkedTrafficRecord>& records) {
        records.clear();
        return true;
    });

    double longestMs = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        lf_checkParkAirport(false);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        longestMs = std::max(longestMs, took.count());
        state.SetIterationTime(took.count() / 1000.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the rest of the tick
    }
    state.counters["longest_step_ms"] = longestMs;

    gf_resetParkAirportForTest();  // the fetches still under way are abandoned and joined
    gf_forgetClosestStands();
    gf_setClosestStandQuery(nullptr);
    gf_resetAirports();
    gf_resetStatusSink();
    gf_resetDownloadLimitsForTest();
    ::unsetenv("CORV_DOWNLOAD_BASE");
    ::close(site);
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

}  // namespace

// 800 steps of 10 ms: longer than the silent tries of both airports' files one after the other,
// so the step meets each fetch's start, its wait and its failure, and then the remembered failure.
BENCHMARK(BM_ParkAirportStepWhileTheSiteIsSilent)->UseManualTime()->Iterations(800)->Unit(benchmark::kMicrosecond);
