#include "standins/simulator/options.hpp"

#include <charconv>
#include <cmath>
#include <fmt/format.h>
#include <sstream>
#include <stdexcept>

namespace standin_sim {

namespace {

double parseNumber(const std::string& option, const std::string& text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        throw std::runtime_error(fmt::format("{} needs a number, not '{}'", option, text));
    }
    return value;
}

void parseTransports(const std::string& list, ServerOptions& server) {
    server.pipe = server.ipv4 = server.ipv6 = false;
    std::istringstream words(list);
    for (std::string word; std::getline(words, word, ',');) {
        if (word == "pipe") {
            server.pipe = true;
        } else if (word == "ipv4") {
            server.ipv4 = true;
        } else if (word == "ipv6") {
            server.ipv6 = true;
        } else {
            throw std::runtime_error(fmt::format("--transports: unknown transport '{}' (pipe, ipv4, ipv6)", word));
        }
    }
}

}  // namespace

const char* usageText() {
    return "usage: standin_simulator [options]\n"
           "  --journal <file>       append one JSON line per received packet and state change\n"
           "  --user <file.json>     the user aircraft's title, model, ATC id and track\n"
           "  --v6                   play Prepar3D v6 instead of v5\n"
           "  --app-name <text>      the application name of the open reply\n"
           "  --fps <30..60>         frame events per second (default 40)\n"
           "  --refuse <title>       refuse to create aircraft with this title (repeatable)\n"
           "  --liveries <folder>    installed aircraft: only the titles of their cfg files can be created\n"
           "                         (byte for byte; repeatable)\n"
           "  --creation-delay <s>   answer creations that many seconds after they arrive (0..600)\n"
           "  --foreign-every <s>    an aircraft of another program comes and goes every that many seconds\n"
           "  --utc <seconds>        the simulator's UTC at start, seconds since 1970 (default: now)\n"
           "  --port <n>             IPv4 port (default 0: any free port)\n"
           "  --transports <list>    comma list of pipe, ipv4, ipv6 (default all three)\n"
           "  --pipe-name <name>     the named pipe served (default the simulator's own)\n"
           "  --setup-path <folder>  publish the installation folder as SetupPath in the registry\n"
           "  --no-control           do not read commands from standard input\n";
}

Options parseOptions(const std::vector<std::string>& arguments) {
    Options options;
    std::optional<std::string> appName;
    std::optional<std::filesystem::path> userScript;
    std::vector<std::string> refused;
    std::vector<std::filesystem::path> liveryFolders;
    std::optional<double> fps;
    double creationDelay = 0;
    double foreignEvery = 0;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) throw std::runtime_error(option + " needs a value");
            return arguments[++i];
        };
        if (option == "--help" || option == "-h") {
            options.help = true;
        } else if (option == "--journal") {
            options.journal = value();
        } else if (option == "--user") {
            userScript = value();
        } else if (option == "--v6") {
            options.majorVersion = 6;
        } else if (option == "--app-name") {
            appName = value();
        } else if (option == "--fps") {
            fps = parseNumber(option, value());
            if (*fps < 30 || *fps > 60) throw std::runtime_error("--fps must lie between 30 and 60");
        } else if (option == "--refuse") {
            refused.push_back(value());
        } else if (option == "--liveries") {
            liveryFolders.emplace_back(value());
        } else if (option == "--creation-delay") {
            creationDelay = parseNumber(option, value());
            if (creationDelay < 0 || creationDelay > 600) throw std::runtime_error("--creation-delay must lie between 0 and 600");
        } else if (option == "--foreign-every") {
            foreignEvery = parseNumber(option, value());
            if (foreignEvery <= 0) throw std::runtime_error("--foreign-every must be above 0");
        } else if (option == "--utc") {
            options.startUtcSeconds = parseNumber(option, value());
        } else if (option == "--port") {
            const double port = parseNumber(option, value());
            if (port < 0 || port > 65535 || port != std::floor(port)) throw std::runtime_error("--port must be 0..65535");
            options.server.ipv4Port = static_cast<std::uint16_t>(port);
        } else if (option == "--transports") {
            parseTransports(value(), options.server);
        } else if (option == "--pipe-name") {
            options.server.pipeName = value();
        } else if (option == "--setup-path") {
            options.setupPath = value();
        } else if (option == "--no-control") {
            options.server.control = false;
        } else {
            throw std::runtime_error(fmt::format("unknown option '{}'", option));
        }
    }
    if (!options.server.pipe && !options.server.ipv4 && !options.server.ipv6) {
        throw std::runtime_error("--transports names no transport");
    }
    options.simulator = configForMajorVersion(options.majorVersion);
    if (appName) options.simulator.applicationName = *appName;
    if (userScript) options.simulator.user = loadUserScript(*userScript);
    options.simulator.refusedTitles = refused;
    options.simulator.liveryFolders = liveryFolders;
    options.simulator.creationDelaySeconds = creationDelay;
    options.simulator.foreignEverySeconds = foreignEvery;
    if (fps) {
        options.simulator.frameRate = static_cast<float>(*fps);
        options.server.frameRate = *fps;
    }
    return options;
}

}  // namespace standin_sim
