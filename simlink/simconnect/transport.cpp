#include "simlink/simconnect/transport.hpp"

#include <sys/socket.h>

#include <chrono>

#include "foundation/format.hpp"
#include "platform/socket.hpp"

namespace vald::simconnect {

namespace {

constexpr std::chrono::milliseconds PIPE_BUSY_WAIT{5000};
// A simulator that has not answered a TCP connect by then is not there.
constexpr std::chrono::milliseconds TCP_CONNECT_LIMIT{10000};

thread_local const ConnectAbandon* innermostAbandon = nullptr;

const std::function<bool()> abandonTest = [] { return ConnectAbandon::abandoned(); };

std::shared_ptr<SimConnection> lf_started(TransportKind kind, SocketConnectResult result,
                                          const ConnectSettings& settings, const ConnectionNotification& notification)
{
    if (!result.socket.valid())
        return nullptr;
    auto connection =
        std::make_shared<SimConnection>(kind, std::move(result.socket), settings.maxReceiveSize, notification);
    if (!connection->start())
        return nullptr;
    return connection;
}

std::shared_ptr<SimConnection> lf_connectPipe(const ConnectSettings& settings,
                                              const ConnectionNotification& notification)
{
    const std::string name = gf_simPipeName(settings.address, settings.port);
    return lf_started(TransportKind::pipe, gf_connectUnix(gf_pipeSocketPath(name), PIPE_BUSY_WAIT, abandonTest),
                      settings, notification);
}

std::shared_ptr<SimConnection> lf_connectTcp(int family, const ConnectSettings& settings,
                                             const ConnectionNotification& notification)
{
    return lf_started(
        TransportKind::socket,
        gf_connectTcp(family, settings.address, settings.port, settings.disableNagle, TCP_CONNECT_LIMIT, abandonTest),
        settings, notification);
}

}  // namespace

ConnectAbandon::ConnectAbandon(std::function<bool()> abandon) : abandon_(std::move(abandon)), outer_(innermostAbandon)
{
    innermostAbandon = this;
}

ConnectAbandon::~ConnectAbandon() { innermostAbandon = outer_; }

bool ConnectAbandon::abandoned()
{
    const ConnectAbandon* scope = innermostAbandon;
    return scope != nullptr && scope->abandon_ && scope->abandon_();
}

std::string gf_simPipeName(const std::string& address, const std::string& port)
{
    const std::string server = address.empty() ? std::string(".") : address;
    if (port.empty())
        return vald::format("\\\\{}\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect", server);
    return vald::format("\\\\{}\\pipe\\{}", server, port);
}

OpenTransportResult gf_openTransport(std::uint32_t configIndex, std::shared_ptr<SimConnection>& connection,
                                     const ConnectionNotification& notification)
{
    connection.reset();
    ConnectSettings settings;
    if (configIndex != 0 && configIndex != SIM_CONFIG_INDEX_NONE && !gf_configSectionExists(configIndex))
        return OpenTransportResult::sectionMissing;
    if (configIndex != SIM_CONFIG_INDEX_NONE)
        gf_readConfigSection(configIndex, settings);

    enum class Step { pipe, ipv6, ipv4, lastPipe };
    Step step = settings.protocol == Protocol::ipv6   ? Step::ipv6
                : settings.protocol == Protocol::ipv4 ? Step::ipv4
                                                      : Step::pipe;
    for (;;) {
        switch (step) {
        case Step::pipe:
            if (ConnectAbandon::abandoned())
                return OpenTransportResult::failed;
            connection = lf_connectPipe(settings, notification);
            if (connection)
                return OpenTransportResult::connected;
            if (!settings.address.empty() && settings.address != ".")
                return OpenTransportResult::failed;
            settings.address = "::1";
            settings.port = gf_readPortFromRegistry(AF_INET6);
            step = Step::ipv6;
            break;
        case Step::ipv6:
        case Step::ipv4: {
            const bool v6 = step == Step::ipv6;
            if (ConnectAbandon::abandoned())
                return OpenTransportResult::failed;
            if (!settings.port.empty() && (connection = lf_connectTcp(v6 ? AF_INET6 : AF_INET, settings, notification)))
                return OpenTransportResult::connected;
            if (settings.address != (v6 ? "::1" : "127.0.0.1"))
                return OpenTransportResult::failed;
            settings.address = v6 ? "127.0.0.1" : ".";
            settings.port = v6 ? gf_readPortFromRegistry(AF_INET) : std::string();
            step = v6 ? Step::ipv4 : Step::lastPipe;
            break;
        }
        case Step::lastPipe:
            connection = lf_connectPipe(settings, notification);
            return connection ? OpenTransportResult::connected : OpenTransportResult::failed;
        }
    }
}

}  // namespace vald::simconnect
