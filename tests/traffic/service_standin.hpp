#pragma once
// The traffic-service stand-in as a child process for one test: started with a scenario, its
// port read from its "PORT <n>" line, its control endpoints at hand, and ended with the test.
#include <string>
#include <sys/types.h>

#include <nlohmann/json.hpp>

#include "tests/support/temp_dir.hpp"

namespace corv_test {

class ServiceStandin {
public:
    explicit ServiceStandin(const nlohmann::json& scenario);
    ~ServiceStandin();
    ServiceStandin(const ServiceStandin&) = delete;
    ServiceStandin& operator=(const ServiceStandin&) = delete;

    // "http://127.0.0.1:<port>"
    const std::string& baseUrl() const { return baseUrl_; }
    // Every request received so far (GET /control/requests).
    nlohmann::json requests() const;
    // Adds a fault rule (POST /control/fault).
    void addFault(const nlohmann::json& rule) const;

private:
    void end();

    TempDir dir_;
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int port_ = 0;
    std::string baseUrl_;
};

// A loopback port on which nothing listens (bound once, then released).
int closedLoopbackPort();

}  // namespace corv_test
