// standin_simulator: plays the flight simulator's SimConnect server on loopback for tests and
// the demo. See README.md in this folder.
#include "standins/simulator/endpoints.hpp"
#include "standins/simulator/options.hpp"

#include <chrono>
#include <cstdio>
#include <exception>
#include <nlohmann/json.hpp>

namespace {

using namespace standin_sim;

std::vector<RegistryValue> publishedValues(const Options& options, const Server& server) {
    std::vector<RegistryValue> values;
    if (server.ipv4Port()) values.push_back({kPortsKey, kPortIPv4Value, std::to_string(*server.ipv4Port())});
    if (server.ipv6Port()) values.push_back({kPortsKey, kPortIPv6Value, std::to_string(*server.ipv6Port())});
    if (options.setupPath) values.push_back({installKey(options.majorVersion), kSetupPathValue, *options.setupPath});
    return values;
}

int serve(Options options) {
    const auto started = std::chrono::steady_clock::now();
    Journal journal;
    if (options.journal) {
        journal = Journal(*options.journal, [started] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        });
    }
    options.simulator.startUtcSeconds =
        options.startUtcSeconds.value_or(std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count());
    Simulator simulator(options.simulator, journal);
    Server::installSignalHandlers();
    Server server(simulator, options.server);

    const auto registryFile = registryFilePath();
    const auto values = publishedValues(options, server);
    if (registryFile && !values.empty()) {
        publishRegistryValues(*registryFile, values);
    } else if (!registryFile) {
        std::fprintf(stderr, "standin_simulator: no registry file (set CORV_REGISTRY_FILE); ports not published\n");
    }
    nlohmann::json start{{"applicationName", options.simulator.applicationName},
                         {"registryFile", registryFile ? registryFile->string() : std::string()}};
    if (server.ipv4Port()) start["port"] = *server.ipv4Port();
    if (server.ipv6Port()) start["port6"] = *server.ipv6Port();
    if (server.pipePath()) start["pipe"] = server.pipePath()->string();
    journal.write("start", start);

    if (server.ipv4Port()) std::printf("PORT %u\n", static_cast<unsigned>(*server.ipv4Port()));
    if (server.ipv6Port()) std::printf("PORT6 %u\n", static_cast<unsigned>(*server.ipv6Port()));
    if (server.pipePath()) std::printf("PIPE %s\n", server.pipePath()->c_str());
    std::printf("READY\n");
    std::fflush(stdout);
    return server.run(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        Options options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(usageText(), stdout);
            return 0;
        }
        return serve(std::move(options));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "standin_simulator: %s\n", e.what());
        return 2;
    }
}
