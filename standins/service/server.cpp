#include "standins/service/server.hpp"

#include <fstream>
#include <sstream>

#include <fmt/format.h>

#include "standins/http/server.hpp"
#include "standins/service/site.hpp"

namespace service_standin {
namespace {

using nlohmann::json;

constexpr const char* kJson = "application/json";

std::string dumpJson(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string contentTypeOf(const std::filesystem::path& file) {
    const std::string ext = file.extension().string();
    if (ext == ".json") return kJson;
    if (ext == ".xml") return "application/xml";
    if (ext == ".pdf") return "application/pdf";
    if (ext == ".zip") return "application/zip";
    if (ext == ".txt") return "text/plain";
    return "application/octet-stream";
}

std::optional<std::string> readWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

FormFields queryFields(const standin_http::Request& req) {
    FormFields fields;
    for (const auto& [name, value] : req.params) fields.emplace_back(name, value);
    return fields;
}

void controlError(standin_http::Response& res, int status, const std::string& message) {
    res.status = status;
    res.setContent(dumpJson({{"error", message}}), kJson);
}

}  // namespace

StandinServer::StandinServer(Scenario scenario, ServerSetup setup)
    : clock_(scenario.clockFrozen, setup.now),
      service_(scenario, clock_, setup.epochAtZero),
      siteDir_(std::move(setup.siteDir)),
      http_(std::make_unique<standin_http::Server>()) {
    for (const json& rule : scenario.faults) faults_.add(parseFaultRule(rule));
    routes();
}

StandinServer::~StandinServer() { stop(); }

int StandinServer::start() {
    const int port = http_->bindAnyPort("127.0.0.1");
    if (port <= 0) throw std::runtime_error("cannot bind a port on 127.0.0.1");
    thread_ = std::thread([this] { http_->listen(); });
    return port;
}

void StandinServer::stop() {
    {
        std::lock_guard lock(stopMutex_);
        stopping_ = true;
    }
    stopCv_.notify_all();
    http_->stop();
    if (thread_.joinable()) thread_.join();
}

void StandinServer::routes() {
    auto& s = *http_;
    for (const char* endpoint : {"auth", "deauth", "traffic", "nearestmetar", "weather"})
        s.post(std::string("/v4/") + endpoint,
               [this](const standin_http::Request& req, standin_http::Response& res) { handleService(req, res); });
    s.get("/downloads/*", [this](const standin_http::Request& req, standin_http::Response& res) { handleDownload(req, res); });

    s.get("/control/requests", [this](const standin_http::Request& req, standin_http::Response& res) {
        std::int64_t since = 0;
        if (req.hasParam("since")) since = std::atoll(req.param("since").c_str());
        res.setContent(dumpJson(requests_.toJson(since, req.param("path"))), kJson);
    });
    s.del("/control/requests", [this](const standin_http::Request&, standin_http::Response& res) {
        requests_.clear();
        res.setContent("{}", kJson);
    });
    s.post("/control/fault", [this](const standin_http::Request& req, standin_http::Response& res) {
        const json body = json::parse(req.body, nullptr, false);
        try {
            if (body.is_array()) {
                std::vector<FaultRule> rules;
                for (const json& r : body) rules.push_back(parseFaultRule(r));
                for (FaultRule& r : rules) faults_.add(std::move(r));
            } else {
                faults_.add(parseFaultRule(body));
            }
        } catch (const FaultError& e) {
            return controlError(res, 400, e.what());
        }
        res.setContent(dumpJson(faults_.toJson()), kJson);
    });
    s.get("/control/faults", [this](const standin_http::Request&, standin_http::Response& res) {
        res.setContent(dumpJson(faults_.toJson()), kJson);
    });
    s.del("/control/faults", [this](const standin_http::Request&, standin_http::Response& res) {
        faults_.clear();
        res.setContent("[]", kJson);
    });
    s.get("/control/clock", [this](const standin_http::Request& req, standin_http::Response& res) { handleClock(req, res); });
    s.post("/control/clock", [this](const standin_http::Request& req, standin_http::Response& res) { handleClock(req, res); });
    s.post("/control/qnh", [this](const standin_http::Request& req, standin_http::Response& res) {
        const json body = json::parse(req.body, nullptr, false);
        if (!body.is_object() || !body.contains("icao") || !body["icao"].is_string() || !body.contains("qnh"))
            return controlError(res, 400, "expected {\"icao\": text, \"qnh\": value}");
        if (!service_.setQnh(body["icao"].get<std::string>(), body["qnh"]))
            return controlError(res, 404, "no such station");
        res.setContent("{}", kJson);
    });

    s.get("*", [this](const standin_http::Request& req, standin_http::Response& res) { handleUnknown(req, res); });
    s.post("*", [this](const standin_http::Request& req, standin_http::Response& res) { handleUnknown(req, res); });
}

void StandinServer::handleClock(const standin_http::Request& req, standin_http::Response& res) {
    if (req.method == "POST") {
        const json body = json::parse(req.body, nullptr, false);
        if (!body.is_object()) return controlError(res, 400, "expected a JSON object");
        const auto number = [&](const char* key) -> std::optional<double> {
            if (!body.contains(key)) return std::nullopt;
            if (!body[key].is_number()) throw std::invalid_argument(key);
            return body[key].get<double>();
        };
        try {
            const auto seconds = number("seconds");
            const auto advance = number("advance");
            const bool hasRunning = body.contains("running");
            if (hasRunning && !body["running"].is_boolean()) throw std::invalid_argument("running");
            if (seconds)
                clock_.set(*seconds, hasRunning ? body["running"].get<bool>() : false);
            else if (hasRunning)
                body["running"].get<bool>() ? clock_.run() : clock_.freeze();
            if (advance) clock_.advance(*advance);
        } catch (const std::invalid_argument& e) {
            return controlError(res, 400, fmt::format("'{}' has the wrong type", e.what()));
        }
    }
    res.setContent(dumpJson({{"seconds", clock_.seconds()},
                              {"running", clock_.running()},
                              {"epochAtZero", service_.epochAtZero()}}),
                    kJson);
}

void StandinServer::record(const standin_http::Request& req, const std::string& endpoint, FormFields fields) {
    RecordedRequest r;
    r.method = req.method;
    r.path = req.path;
    r.endpoint = endpoint;
    r.fields = std::move(fields);
    r.body = req.body;
    r.userAgent = req.header("User-Agent");
    r.contentType = req.header("Content-Type");
    r.acceptEncoding = req.header("Accept-Encoding");
    r.scenarioTime = clock_.seconds();
    requests_.add(std::move(r));
}

bool StandinServer::stall(const std::optional<FaultRule>& fault) {
    std::unique_lock lock(stopMutex_);
    if (fault && fault->stallSeconds > 0)
        stopCv_.wait_for(lock, std::chrono::duration<double>(fault->stallSeconds), [this] { return stopping_; });
    return !stopping_;
}

void StandinServer::reply(standin_http::Response& res, int httpStatus, std::string body, const std::string& contentType,
                          const std::optional<FaultRule>& fault) {
    res.status = httpStatus;
    res.lengthByClose = fault && fault->noLength;
    if (!fault || !fault->cut) {
        res.setContent(std::move(body), contentType);
        return;
    }
    // The head promises more than is sent (or, without a length, the close looks like the end);
    // the server closes the connection there.
    const std::size_t full = body.size();
    const std::size_t sent = std::min<std::size_t>(fault->cutBytes ? static_cast<std::size_t>(*fault->cutBytes) : full / 2,
                                                   full > 0 ? full - 1 : 0);
    body.resize(sent);
    if (!res.lengthByClose) res.announcedLength = std::max(full, sent + 1);
    res.setContent(std::move(body), contentType);
}

void StandinServer::handleService(const standin_http::Request& req, standin_http::Response& res) {
    FormFields fields = decodeForm(req.body);
    const std::string endpoint = serviceEndpoint(req.path, fields);
    record(req, endpoint, fields);
    const auto fault = faults_.take(endpoint);
    if (!stall(fault)) return;
    std::string body;
    if (fault && fault->body) {
        body = *fault->body;
    } else if (fault && fault->status) {
        const std::string message = fault->message.empty() ? fmt::format("stand-in status {}", *fault->status) : fault->message;
        body = dumpJson({{"status", *fault->status}, {"message", message}});
    } else {
        body = dumpJson(service_.answer(endpoint, fields));
    }
    reply(res, fault && fault->httpStatus ? *fault->httpStatus : 200, std::move(body), kJson, fault);
}

void StandinServer::handleDownload(const standin_http::Request& req, standin_http::Response& res) {
    record(req, "download", queryFields(req));
    const auto fault = faults_.take(req.path);
    if (!stall(fault)) return;
    if (fault && fault->status && *fault->status != 200) {
        reply(res, *fault->status, fault->body.value_or(fmt::format("Error {}\n", *fault->status)), "text/plain", fault);
        return;
    }
    std::optional<std::filesystem::path> file;
    if (!siteDir_.empty()) file = siteFile(siteDir_, req.wildcard);
    std::optional<std::string> bytes = file ? readWhole(*file) : std::nullopt;
    if (fault && fault->body) bytes = *fault->body;
    if (!bytes) {
        reply(res, 404, "Not found\n", "text/plain", fault);
        return;
    }
    reply(res, 200, std::move(*bytes), file ? contentTypeOf(*file) : "application/octet-stream", fault);
    if (fault) res.paceBytesPerSecond = fault->paceBytesPerSecond;
}

void StandinServer::handleUnknown(const standin_http::Request& req, standin_http::Response& res) {
    record(req, "unknown", req.method == "POST" ? decodeForm(req.body) : queryFields(req));
    res.status = 404;
    res.setContent("Not found\n", "text/plain");
}

}  // namespace service_standin
