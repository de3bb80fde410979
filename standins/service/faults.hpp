#pragma once
// Fault rules: what the stand-in does wrong on purpose for one endpoint (a status, a stall, a
// reply cut short), set by the scenario or through /control/fault.
#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace service_standin {

inline constexpr double kMaxStallSeconds = 60.0;

struct FaultError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct FaultRule {
    // Service endpoints: "auth", "deauth", "history", "live", "parked", "nearestmetar",
    // "weather"; download paths: "/downloads/..." exactly, or a prefix ending in "*".
    std::string endpoint;
    std::optional<int> status;      // service: the reply's "status"; downloads: the HTTP status
    std::optional<int> httpStatus;  // service: the HTTP status of the reply (200 otherwise)
    std::string message;            // the reply's "message" with a status
    std::optional<std::string> body;  // replaces the whole reply body
    double stallSeconds = 0;        // wait before answering, bounded to kMaxStallSeconds
    bool cut = false;               // announce the full length, send only part, close
    std::optional<std::int64_t> cutBytes;  // bytes sent of a cut reply; half when absent
    bool noLength = false;          // no Content-Length: the reply (cut or whole) ends at the close
    double paceBytesPerSecond = 0;  // downloads: the body trickles in at this pace (0: at once)
    int times = 0;                  // requests it applies to; 0 = until cleared

    bool matches(const std::string& endpointOrPath) const;
    nlohmann::json toJson() const;
};

// Throws FaultError on a malformed rule.
FaultRule parseFaultRule(const nlohmann::json& j);

class FaultBook {
public:
    void add(FaultRule rule);
    void clear();
    // The first rule for the endpoint; counts one use of it (a used-up rule is removed).
    [[nodiscard]] std::optional<FaultRule> take(const std::string& endpointOrPath);
    nlohmann::json toJson() const;

private:
    mutable std::mutex mutex_;
    std::vector<FaultRule> rules_;
};

}  // namespace service_standin
