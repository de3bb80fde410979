#pragma once
// Every request the stand-in received, in arrival order, for tests to inspect.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "standins/service/form.hpp"

namespace service_standin {

struct RecordedRequest {
    std::int64_t seq = 0;
    std::string method;
    std::string path;
    std::string endpoint;     // service endpoint name, "download" or "unknown"
    FormFields fields;        // decoded form body (POST) or query (GET)
    std::string body;         // raw body as received
    std::string userAgent;
    std::string contentType;
    std::string acceptEncoding;
    double scenarioTime = 0;
};

class RequestLog {
public:
    // Assigns the sequence number (1, 2, ...) and returns it.
    std::int64_t add(RecordedRequest request);
    // Requests with seq > since, optionally only those of one path.
    nlohmann::json toJson(std::int64_t since = 0, const std::string& path = {}) const;
    std::vector<RecordedRequest> snapshot() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<RecordedRequest> requests_;
    std::int64_t next_ = 1;
};

}  // namespace service_standin
