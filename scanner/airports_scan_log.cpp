#include "scanner/airports_scan_log.hpp"

#include <mutex>
#include <utility>

namespace {

constexpr std::size_t SCAN_LOG_RESERVE = 2048;

std::mutex airportsScanLogMutex;
std::vector<std::string> airportsScanLog;  // guarded by airportsScanLogMutex

}  // namespace

void gf_addToAirportsScanLog(const std::string& text)
{
    std::lock_guard<std::mutex> lock(airportsScanLogMutex);
    airportsScanLog.push_back(text);
}

void gf_startAirportsScanLog()
{
    std::lock_guard<std::mutex> lock(airportsScanLogMutex);
    airportsScanLog.clear();
    airportsScanLog.reserve(SCAN_LOG_RESERVE);
}

std::vector<std::string> gf_takeAirportsScanLog()
{
    std::lock_guard<std::mutex> lock(airportsScanLogMutex);
    return std::exchange(airportsScanLog, {});
}
