#include "standins/service/faults.hpp"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

namespace service_standin {
namespace {

using nlohmann::json;

const std::vector<std::string>& serviceEndpoints() {
    static const std::vector<std::string> names{"auth", "deauth", "history", "live", "parked", "nearestmetar", "weather"};
    return names;
}

std::optional<int> optInt(const json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end() || it->is_null()) return std::nullopt;
    if (!it->is_number_integer()) throw FaultError(fmt::format("'{}' must be an integer", key));
    return it->get<int>();
}

}  // namespace

bool FaultRule::matches(const std::string& endpointOrPath) const {
    if (!endpoint.empty() && endpoint.back() == '*')
        return endpointOrPath.compare(0, endpoint.size() - 1, endpoint, 0, endpoint.size() - 1) == 0;
    return endpoint == endpointOrPath;
}

json FaultRule::toJson() const {
    json j{{"endpoint", endpoint}, {"stallSeconds", stallSeconds}, {"cut", cut}, {"times", times}};
    if (status) j["status"] = *status;
    if (httpStatus) j["httpStatus"] = *httpStatus;
    if (!message.empty()) j["message"] = message;
    if (body) j["body"] = *body;
    if (cutBytes) j["cutBytes"] = *cutBytes;
    if (noLength) j["noLength"] = true;
    if (paceBytesPerSecond > 0) j["paceBytesPerSecond"] = paceBytesPerSecond;
    return j;
}

FaultRule parseFaultRule(const json& j) {
    if (!j.is_object()) throw FaultError("a fault rule must be a JSON object");
    FaultRule r;
    const auto ep = j.find("endpoint");
    if (ep == j.end() || !ep->is_string()) throw FaultError("'endpoint' is missing");
    r.endpoint = ep->get<std::string>();
    const auto& names = serviceEndpoints();
    if (r.endpoint.rfind("/downloads/", 0) != 0 && std::find(names.begin(), names.end(), r.endpoint) == names.end())
        throw FaultError(fmt::format("unknown endpoint '{}'", r.endpoint));
    r.status = optInt(j, "status");
    r.httpStatus = optInt(j, "httpStatus");
    if (r.httpStatus && (*r.httpStatus < 100 || *r.httpStatus > 599)) throw FaultError("'httpStatus' must be 100..599");
    if (const auto m = j.find("message"); m != j.end() && m->is_string()) r.message = m->get<std::string>();
    if (const auto b = j.find("body"); b != j.end() && !b->is_null()) {
        if (!b->is_string()) throw FaultError("'body' must be a text");
        r.body = b->get<std::string>();
    }
    if (const auto s = j.find("stallSeconds"); s != j.end() && !s->is_null()) {
        if (!s->is_number()) throw FaultError("'stallSeconds' must be a number");
        const double v = s->get<double>();
        if (!std::isfinite(v) || v < 0) throw FaultError("'stallSeconds' must be 0 or more");
        r.stallSeconds = std::min(v, kMaxStallSeconds);
    }
    if (const auto c = j.find("cut"); c != j.end() && !c->is_null()) {
        if (!c->is_boolean()) throw FaultError("'cut' must be true or false");
        r.cut = c->get<bool>();
    }
    if (const auto n = optInt(j, "cutBytes")) {
        if (*n < 0) throw FaultError("'cutBytes' must be 0 or more");
        r.cut = true;
        r.cutBytes = *n;
    }
    if (const auto n = j.find("noLength"); n != j.end() && !n->is_null()) {
        if (!n->is_boolean()) throw FaultError("'noLength' must be true or false");
        r.noLength = n->get<bool>();
    }
    if (const auto p = j.find("paceBytesPerSecond"); p != j.end() && !p->is_null()) {
        if (!p->is_number()) throw FaultError("'paceBytesPerSecond' must be a number");
        const double v = p->get<double>();
        if (!std::isfinite(v) || v < 0) throw FaultError("'paceBytesPerSecond' must be 0 or more");
        r.paceBytesPerSecond = v;
    }
    r.times = optInt(j, "times").value_or(0);
    if (r.times < 0) throw FaultError("'times' must be 0 or more");
    if (r.endpoint.rfind("/downloads/", 0) == 0 && r.status && (*r.status < 100 || *r.status > 599))
        throw FaultError("a download status must be 100..599");
    return r;
}

void FaultBook::add(FaultRule rule) {
    std::lock_guard lock(mutex_);
    rules_.push_back(std::move(rule));
}

void FaultBook::clear() {
    std::lock_guard lock(mutex_);
    rules_.clear();
}

std::optional<FaultRule> FaultBook::take(const std::string& endpointOrPath) {
    std::lock_guard lock(mutex_);
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        if (!it->matches(endpointOrPath)) continue;
        FaultRule rule = *it;
        if (it->times > 0 && --it->times == 0) rules_.erase(it);
        return rule;
    }
    return std::nullopt;
}

json FaultBook::toJson() const {
    std::lock_guard lock(mutex_);
    json list = json::array();
    for (const FaultRule& r : rules_) list.push_back(r.toJson());
    return list;
}

}  // namespace service_standin
