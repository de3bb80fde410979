#include "standins/service/app.hpp"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <random>
#include <thread>

#include <fmt/format.h>
#include <pthread.h>
#include <unistd.h>

#include "standins/service/data_crypt.hpp"
#include "standins/service/server.hpp"
#include "standins/service/site.hpp"

namespace service_standin {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: standin_service --scenario <file.json> [--site <dir>] [--data <dir>] [--key-hex <64 hex digits>]\n"
    "                       [--epoch <seconds>] [--frozen] [--quit-on-eof]\n";

fs::path makeTempSite() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path dir = fs::temp_directory_path() / fmt::format("standin-site-{:08x}", rd());
        if (fs::create_directory(dir)) return dir;
    }
    throw std::runtime_error("cannot create a temporary site folder");
}

std::optional<DataKey> findKey(const Options& o, const fs::path& dataDir) {
    if (o.keyHex) return parseKeyHex(*o.keyHex);
    const fs::path keyFile = dataDir / "data-key.txt";
    if (fs::is_regular_file(keyFile)) return readKeyFile(keyFile);
    return std::nullopt;
}

}  // namespace

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(fmt::format("{} needs a value", a));
            return args[++i];
        };
        if (a == "--scenario") {
            o.scenario = value();
        } else if (a == "--site") {
            o.siteDir = value();
        } else if (a == "--data") {
            o.dataDir = value();
        } else if (a == "--key-hex") {
            o.keyHex = value();
        } else if (a == "--epoch") {
            const std::string& v = value();
            try {
                std::size_t used = 0;
                o.epoch = std::stoll(v, &used);
                if (used != v.size()) throw std::invalid_argument(v);
            } catch (const std::logic_error&) {
                throw UsageError(fmt::format("--epoch needs whole seconds, not '{}'", v));
            }
        } else if (a == "--frozen") {
            o.frozen = true;
        } else if (a == "--quit-on-eof") {
            o.quitOnEof = true;
        } else {
            throw UsageError(fmt::format("unknown option '{}'", a));
        }
    }
    if (o.scenario.empty()) throw UsageError("--scenario is required");
    return o;
}

int runServiceMain(int argc, char** argv) {
    // Termination signals are taken by sigwait below; every thread started later inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    Options options;
    try {
        options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::cerr << "standin_service: " << e.what() << "\n" << kUsage;
        return 2;
    }

    bool tempSite = false;
    SiteSetup site;
    auto removeTempSite = [&] {
        std::error_code ignored;
        if (tempSite && !site.siteDir.empty()) fs::remove_all(site.siteDir, ignored);
    };
    try {
        Scenario scenario = loadScenario(options.scenario);
        if (options.frozen) scenario.clockFrozen = true;
        const fs::path dataDir = options.dataDir.empty() ? options.scenario.parent_path() : options.dataDir;
        tempSite = options.siteDir.empty();
        site.siteDir = tempSite ? makeTempSite() : options.siteDir;
        site.dataDir = dataDir;
        site.key = findKey(options, dataDir);
        buildSite(scenario, site, std::cerr);
        std::cerr << "standin_service: site folder " << site.siteDir.string() << "\n";

        const double epoch = static_cast<double>(options.epoch.value_or(
            scenario.startEpoch.value_or(static_cast<std::int64_t>(std::time(nullptr)))));
        StandinServer server(std::move(scenario), ServerSetup{site.siteDir, epoch});
        const int port = server.start();
        std::printf("PORT %d\n", port);
        std::fflush(stdout);

        if (options.quitOnEof) {
            std::thread([] {
                char buffer[256];
                while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
                }
                ::kill(::getpid(), SIGTERM);
            }).detach();
        }
        int received = 0;
        sigwait(&signals, &received);
        server.stop();
        removeTempSite();
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "standin_service: " << e.what() << "\n";
        removeTempSite();
        return 1;
    }
}

}  // namespace service_standin
