#pragma once
// Finding and connecting the simulator.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "simlink/simconnect/config.hpp"
#include "simlink/simconnect/connection.hpp"

namespace vald::simconnect {

enum class [[nodiscard]] OpenTransportResult { connected = 0, failed = 1, sectionMissing = 3 };

// The simulator's pipe name for an address (the pipe server, "." when empty) and a port (the
// pipe's own name; empty for the simulator's default pipe).
std::string gf_simPipeName(const std::string& address, const std::string& port);

// Reads the SimConnect.cfg section of configIndex (none for SIM_CONFIG_INDEX_NONE), then tries,
// starting at the step of the protocol: the pipe; "::1" with the registry's IPv6 port;
// "127.0.0.1" with the registry's IPv4 port; the local default pipe once more. A pipe step with a
// remote address, or a TCP step with an address other than the loopback one, ends the search.
// Every connect polls in short slices and gives up as soon as the calling thread's abandon test
// (ConnectAbandon) answers true.
OpenTransportResult gf_openTransport(std::uint32_t configIndex, std::shared_ptr<SimConnection>& connection,
                                     const ConnectionNotification& notification = {});

// While it lives, the connects of this thread (SimConnect_Open) give up once abandon answers
// true. Scopes nest; the innermost holds.
class ConnectAbandon {
public:
    explicit ConnectAbandon(std::function<bool()> abandon);
    ~ConnectAbandon();
    ConnectAbandon(const ConnectAbandon&) = delete;
    ConnectAbandon& operator=(const ConnectAbandon&) = delete;

    // The abandon test of the calling thread (never true without a scope).
    static bool abandoned();

private:
    std::function<bool()> abandon_;
    const ConnectAbandon* outer_;
};

}  // namespace vald::simconnect
