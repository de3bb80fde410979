#pragma once
// A program folder for the park-file and park-airport tests: the airports table of the test, the
// status lines as shown, and the park airport, its stands and its window hooks back at their
// start values before and after each test.
#include <map>
#include <string>
#include <vector>

#include "engine/stand_records.hpp"
#include "foundation/status_sink.hpp"
#include "parking/park_airport.hpp"
#include "parking/park_file.hpp"
#include "parking/parking_window.hpp"
#include "refdata/airports.hpp"
#include "tests/support/temp_dir.hpp"

namespace corv_test {

// A park-position file: the meta block without the entries named in missingMeta, the parameters
// given, and the <parkpos> elements as written.
inline std::string apfXml(const std::map<std::string, std::string>& parameters, const std::string& parkpos,
                          const std::vector<std::string>& missingMeta = {})
{
    std::string text = "<?xml version=\"1.0\"?>\n<meta>\n";
    for (const char* name : {"author", "date", "version"})
        if (std::find(missingMeta.begin(), missingMeta.end(), name) == missingMeta.end())
            text += std::string("<info name=\"") + name + "\" value=\"x\"/>\n";
    text += "</meta>\n<parameters>\n";
    for (const auto& [name, value] : parameters)
        text += "<parameter name=\"" + name + "\" value=\"" + value + "\"/>\n";
    return text + "</parameters>\n<parkpositions>\n" + parkpos + "</parkpositions>\n";
}

// A hand-placed park file of EHAM from the publisher Acme, and where it learns.
inline const std::string ACME_PARK_FILE = "airports/my_thirdparty/EHAM.xml";
inline const std::map<std::string, std::string> ACME_PARK_PARAMS{
    {"airport_name", "Schiphol"}, {"publisher", "Acme"}, {"altitude", "-11"}};
inline const std::filesystem::path ACME_LEARNED_FILE = "airports/learned/thirdparty/Acme/EHAM.xml";

// A full <parkpos>; more are further attributes, inner its <opt> elements.
inline std::string parkpos(const std::string& id, double lat, double lon, double radiusM, const std::string& more = "",
                           const std::string& inner = "")
{
    const std::string open = "<parkpos id=\"" + id + "\" latitude=\"" + std::to_string(lat) + "\" longitude=\"" +
                             std::to_string(lon) + "\" heading=\"90.0\" radius=\"" + std::to_string(radiusM) +
                             "\" cargo=\"false\" ramp=\"false\"" + more;
    return inner.empty() ? open + "/>\n" : open + ">" + inner + "</parkpos>\n";
}

// Resets what the park code keeps between calls; the status lines are collected.
class ParkState {
public:
    explicit ParkState(std::vector<AirportRecord> airports)
    {
        lf_reset();
        airportRecords = std::move(airports);
        gf_buildAirportIndex();
        StatusSink sink;
        sink.show = [this](const std::string& text, bool) { statuses.push_back(text); };
        sink.clear = [] {};
        gf_setStatusSink(std::move(sink));
    }
    ~ParkState()
    {
        lf_reset();
        gf_resetStatusSink();
    }
    ParkState(const ParkState&) = delete;
    ParkState& operator=(const ParkState&) = delete;

    bool shown(const std::string& text) const
    {
        return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
    }

    std::vector<std::string> statuses;

private:
    static void lf_reset()
    {
        gf_resetParkAirportForTest();
        gf_forgetClosestStands();
        gf_resetParkingWindowHooks();
        gf_resetClosestStandQueryForTest();
        gf_resetAirports();
        rtTrafficWeek = 0;
    }
};

}  // namespace corv_test
