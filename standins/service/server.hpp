#pragma once
// The stand-in's HTTP server on 127.0.0.1: the traffic service under /v4/, the download site
// under /downloads/ and the test controls under /control/.
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "standins/service/clock.hpp"
#include "standins/service/faults.hpp"
#include "standins/service/request_log.hpp"
#include "standins/service/scenario.hpp"
#include "standins/service/traffic_service.hpp"

namespace standin_http {
class Server;
struct Request;
struct Response;
}  // namespace standin_http

namespace service_standin {

struct ServerSetup {
    std::filesystem::path siteDir;  // served under /downloads/; empty = no download site
    double epochAtZero = 0;         // epoch second of scenario time 0
    ScenarioClock::Now now = std::chrono::steady_clock::now;
};

class StandinServer {
public:
    // Throws FaultError when a fault rule of the scenario is malformed.
    StandinServer(Scenario scenario, ServerSetup setup);
    ~StandinServer();
    StandinServer(const StandinServer&) = delete;
    StandinServer& operator=(const StandinServer&) = delete;

    // Binds an ephemeral port on 127.0.0.1 and serves on a thread of its own; returns the port.
    // Throws std::runtime_error when no port can be bound.
    [[nodiscard]] int start();
    // Ends stalled replies at once and waits for the server thread.
    void stop();

    ScenarioClock& clock() { return clock_; }
    RequestLog& requests() { return requests_; }
    FaultBook& faults() { return faults_; }

private:
    void routes();
    void handleService(const standin_http::Request& req, standin_http::Response& res);
    void handleDownload(const standin_http::Request& req, standin_http::Response& res);
    void handleUnknown(const standin_http::Request& req, standin_http::Response& res);
    void handleClock(const standin_http::Request& req, standin_http::Response& res);
    void record(const standin_http::Request& req, const std::string& endpoint, FormFields fields);
    // Waits the rule's stall; false when the server is stopping meanwhile.
    [[nodiscard]] bool stall(const std::optional<FaultRule>& fault);
    void reply(standin_http::Response& res, int httpStatus, std::string body, const std::string& contentType,
               const std::optional<FaultRule>& fault);

    ScenarioClock clock_;
    TrafficService service_;
    FaultBook faults_;
    RequestLog requests_;
    std::filesystem::path siteDir_;
    std::unique_ptr<standin_http::Server> http_;
    std::thread thread_;
    std::mutex stopMutex_;
    std::condition_variable stopCv_;
    bool stopping_ = false;
};

}  // namespace service_standin
