#pragma once
// The traffic-service stand-in (standin_service) as a child process for one test: started with a
// scenario and optionally a download site, its port read from its "PORT <n>" line, its control
// endpoints at hand, and ended with the test. It also ends by itself when the test program goes.
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/support/child_process.hpp"
#include "tests/support/temp_dir.hpp"

namespace corv_test {

class ServiceStandin {
public:
    // site: the folder served under /downloads/, built from the sample data in standins/data;
    // empty: a temporary folder of the stand-in's own. Throws when the stand-in does not start.
    explicit ServiceStandin(const nlohmann::json& scenario, const std::filesystem::path& site = {});
    ServiceStandin(const ServiceStandin&) = delete;
    ServiceStandin& operator=(const ServiceStandin&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>"
    const std::string& baseUrl() const { return baseUrl_; }
    // "http://127.0.0.1:<port>/downloads/<relative>"
    std::string downloadUrl(const std::string& relative) const { return baseUrl_ + "/downloads/" + relative; }
    // Every request received so far (GET /control/requests).
    nlohmann::json requests() const;
    // Adds a fault rule (POST /control/fault).
    void addFault(const nlohmann::json& rule) const;

private:
    TempDir dir_;
    ChildProcess child_;
    int port_ = 0;
    std::string baseUrl_;
};

// A loopback port on which nothing listens (bound once, then released).
int closedLoopbackPort();

}  // namespace corv_test
