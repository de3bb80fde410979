#pragma once
// The stand-in's sockets: listeners on loopback TCP (IPv4 and, when the machine has it, IPv6)
// and on the Unix-domain socket of the pipe; one connection per client; the frame clock; the
// control commands read from standard input. Everything runs on one thread around poll().
#include "standins/simulator/endpoints.hpp"
#include "standins/simulator/simulator.hpp"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace standin_sim {

struct ServerOptions {
    bool pipe = true;
    bool ipv4 = true;
    bool ipv6 = true;
    std::uint16_t ipv4Port = 0;  // 0: an ephemeral port
    std::string pipeName = kDefaultPipeName;
    bool control = true;  // read commands from standard input
    double frameRate = 40.0;
};

class Server {
public:
    // Opens the listeners; throws std::runtime_error when one that must exist cannot.
    Server(Simulator& simulator, const ServerOptions& options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    std::optional<std::uint16_t> ipv4Port() const { return ipv4Port_; }
    std::optional<std::uint16_t> ipv6Port() const { return ipv6Port_; }
    std::optional<std::filesystem::path> pipePath() const { return pipePath_; }

    // Serves until "quit", the end of standard input, SIGINT or SIGTERM; answers the exit code.
    // Command answers ("OK <command>", "ERROR <why>") go to the given stream.
    [[nodiscard]] int run(std::FILE* answers);

    // Makes SIGINT and SIGTERM end run() and ignores SIGPIPE; call once before run().
    static void installSignalHandlers();

private:
    struct Client {
        int fd = -1;
        std::uint32_t sessionId = 0;
    };
    struct Listener {
        int fd = -1;
        std::string transport;
    };

    void acceptClients(const Listener& listener);
    // A client that is gone or fails is closed here (its descriptor becomes -1).
    void readClient(Client& client);
    void writeClient(Client& client);
    void flushAll();
    void closeClient(Client& client, const std::string& reason);
    void dropAll();
    // false when the command ends the run
    [[nodiscard]] bool execute(const std::string& line, std::FILE* answers);
    void finalFlush();

    Simulator& sim_;
    ServerOptions options_;
    std::vector<Listener> listeners_;
    std::vector<Client> clients_;
    std::optional<std::uint16_t> ipv4Port_;
    std::optional<std::uint16_t> ipv6Port_;
    std::optional<std::filesystem::path> pipePath_;
    std::string commandBuffer_;
};

}  // namespace standin_sim
