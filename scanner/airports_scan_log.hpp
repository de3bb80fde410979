#pragma once
// The airport scan's own report (output/info/AirportsScanLog.txt): lines gathered from every scan
// task under one mutex and written once at the end of the scan.
#include <string>
#include <vector>

// Any thread.
void gf_addToAirportsScanLog(const std::string& text);
// Empties the report and reserves room for a scan.
void gf_startAirportsScanLog();
// Takes the lines gathered so far, leaving the report empty.
[[nodiscard]] std::vector<std::string> gf_takeAirportsScanLog();
