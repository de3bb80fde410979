#pragma once
// The traffic service's answers: login and logout with sessions, history, live and parked
// traffic from the scenario at the scenario clock's time, nearest station and local weather.
#include <cstdint>
#include <map>
#include <mutex>
#include <random>
#include <string>

#include <nlohmann/json.hpp>

#include "standins/service/clock.hpp"
#include "standins/service/form.hpp"
#include "standins/service/scenario.hpp"

namespace service_standin {

// "auth", "deauth", "history", "live", "parked", "nearestmetar", "weather"; "" for another path.
std::string serviceEndpoint(const std::string& path, const FormFields& fields);

class TrafficService {
public:
    TrafficService(Scenario scenario, const ScenarioClock& clock, double epochAtZero);

    // The reply object for one request of a service endpoint.
    nlohmann::json answer(const std::string& endpoint, const FormFields& fields);

    // Changes the QNH of a station; false when the scenario has no such station.
    [[nodiscard]] bool setQnh(const std::string& icao, const nlohmann::json& qnh);
    double epochAtZero() const { return epochAtZero_; }

private:
    nlohmann::json auth(const FormFields& fields);
    nlohmann::json deauth(const FormFields& fields);
    nlohmann::json traffic(const std::string& endpoint, const FormFields& fields);
    nlohmann::json nearestMetar(const FormFields& fields);
    nlohmann::json weather(const FormFields& fields);
    bool sessionKnown(const FormFields& fields) const;
    std::string newGuid();

    Scenario scenario_;
    const ScenarioClock& clock_;
    double epochAtZero_;
    mutable std::mutex mutex_;                 // sessions, station QNH, random engine
    std::map<std::string, std::string> sessions_;  // GUID -> licence key
    std::mt19937_64 random_{std::random_device{}()};
};

}  // namespace service_standin
