#include "standins/service/request_log.hpp"

namespace service_standin {

std::int64_t RequestLog::add(RecordedRequest request) {
    std::lock_guard lock(mutex_);
    request.seq = next_++;
    requests_.push_back(std::move(request));
    return requests_.back().seq;
}

nlohmann::json RequestLog::toJson(std::int64_t since, const std::string& path) const {
    std::lock_guard lock(mutex_);
    nlohmann::json list = nlohmann::json::array();
    for (const RecordedRequest& r : requests_) {
        if (r.seq <= since || (!path.empty() && r.path != path)) continue;
        nlohmann::json fields = nlohmann::json::object();
        for (const auto& [name, value] : r.fields)
            if (!fields.contains(name)) fields[name] = value;  // the first of a repeated name
        list.push_back({{"seq", r.seq},
                        {"method", r.method},
                        {"path", r.path},
                        {"endpoint", r.endpoint},
                        {"fields", fields},
                        {"body", r.body},
                        {"userAgent", r.userAgent},
                        {"contentType", r.contentType},
                        {"acceptEncoding", r.acceptEncoding},
                        {"scenarioTime", r.scenarioTime}});
    }
    return list;
}

std::vector<RecordedRequest> RequestLog::snapshot() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void RequestLog::clear() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

}  // namespace service_standin
