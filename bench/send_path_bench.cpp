// The positions of one frame on their way to the simulator: 500 or 2,000 position packets through
// the client library to a peer that reads them off a Unix-domain socket, one by one (each packet
// its own write), as one batch of calls, and as one call (the frame's flush: one hold of the
// library's lock, one write). CPU time of the whole process, the I/O thread and the reading peer
// included, per frame; per_position is that time per packet.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "simlink/simconnect/connection.hpp"
#include "simlink/simconnect/simconnect.hpp"

namespace {

using vald::simconnect::SimConnection;
using vald::simconnect::TransportKind;

constexpr std::uint32_t POSITION_DEFINITION = 402;
constexpr std::uint32_t POSITION_BYTES = 100;

enum class FrameSend { oneByOne, batched, oneCall };

void lf_sendFrame(benchmark::State& state, FrameSend how)
{
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        state.SkipWithError("socketpair failed");
        return;
    }
    auto connection = std::make_shared<SimConnection>(TransportKind::pipe, vald::Socket(ends[0]), 65536);
    if (!connection->start()) {
        ::close(ends[1]);
        state.SkipWithError("the connection did not start");
        return;
    }
    vald::simconnect::gf_addConnection(connection);
    const HANDLE handle = connection.get();
    std::atomic<std::uint64_t> received{0};
    std::thread peer([&received, fd = ends[1]] {
        std::vector<char> room(1 << 16);
        for (;;) {
            const ssize_t got = ::recv(fd, room.data(), room.size(), 0);
            if (got <= 0)
                return;
            received += static_cast<std::uint64_t>(got);
        }
    });
    const auto positions = static_cast<std::uint32_t>(state.range(0));
    const double position[8] = {52.3, 4.76, 0.01, -0.02, 1.5, 1200.0, -3.0, 140.0};
    std::vector<SimObjectDatum> items;
    for (std::uint32_t i = 0; i < positions; ++i)
        items.push_back(SimObjectDatum{100 + i, position});
    const bool batched = how == FrameSend::batched;
    std::uint64_t sent = 0;
    for (auto _ : state) {
        // A request that failed would leave the wait below without an end.
        bool ok = !batched || SimConnect_BeginPacketBatch(handle) == S_OK;
        if (how == FrameSend::oneCall)
            ok = SimConnect_SetDataOnSimObjects(handle, POSITION_DEFINITION, 0, 64, items.data(), items.size()) == S_OK;
        else
            for (std::uint32_t i = 0; i < positions; ++i)
                ok = SimConnect_SetDataOnSimObject(handle, POSITION_DEFINITION, 100 + i, 0, 1, 64, position) == S_OK &&
                     ok;
        if (batched)
            ok = SimConnect_EndPacketBatch(handle) == S_OK && ok;
        if (!ok) {
            state.SkipWithError("a request failed");
            break;
        }
        sent += std::uint64_t{positions} * POSITION_BYTES;
        // The frame has reached the peer before the next one starts.
        while (received.load() < sent)
            std::this_thread::yield();
    }
    vald::simconnect::gf_removeConnection(handle);
    connection->stop();
    ::shutdown(ends[1], SHUT_RDWR);
    peer.join();
    ::close(ends[1]);
    state.counters["per_position"] = benchmark::Counter(static_cast<double>(state.iterations() * positions),
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_SendFrameOneByOne(benchmark::State& state)
{
    lf_sendFrame(state, FrameSend::oneByOne);
}
void BM_SendFrameBatched(benchmark::State& state)
{
    lf_sendFrame(state, FrameSend::batched);
}
void BM_SendFrameOneCall(benchmark::State& state)
{
    lf_sendFrame(state, FrameSend::oneCall);
}
BENCHMARK(BM_SendFrameOneByOne)->Arg(500)->Arg(2000)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SendFrameBatched)->Arg(500)->Arg(2000)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SendFrameOneCall)->Arg(500)->Arg(2000)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

}  // namespace
