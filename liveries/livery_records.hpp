#pragma once
// One usable livery ([fltsim.N] section of an aircraft.cfg or sim.cfg in the user's livery
// folders) and the livery list that the scan fills, LiveriesScanned.xml stores and the index build
// reads. The list belongs to the worker thread; scan tasks hand their records over by splicing.
#include <cstdint>
#include <list>
#include <string>

struct LiveryData {
    std::string airl;   // airline code; "PVT" private aircraft, "ZZZ" generic livery
    std::string type;   // aircraft model code (ICAO type designator)
    std::string title;  // the title under which the simulator creates the aircraft
    std::string atcid;  // the one registration named by the section, else empty
    std::int32_t priority = 0;  // 1..10 by livery folder; 0 when read back from the file
    bool cargo = false;
};

// Equal when title, airline, type, registration and cargo flag agree; priority is not compared.
bool operator==(const LiveryData& a, const LiveryData& b);
// Airline, then type, then title, byte-wise.
bool operator<(const LiveryData& a, const LiveryData& b);
// Same airline and same model.
bool gf_sameAirlineModel(const LiveryData& a, const LiveryData& b);

using LiveryList = std::list<LiveryData>;
// The scanned liveries; worker thread only.
extern LiveryList scannedLiveries;

// Stable sort by airline, type, title.
void gf_sortLiveries(LiveryList& liveries);
