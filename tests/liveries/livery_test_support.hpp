#pragma once
// A program folder for the livery database: Log.txt open, the sample dbase read, parameters.xml
// in a private data folder, and every livery table of the process emptied.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/parameters.hpp"
#include "foundation/run_state.hpp"
#include "liveries/liveries_scanned_xml.hpp"
#include "liveries/livery_choice.hpp"
#include "liveries/livery_index.hpp"
#include "liveries/matching_summary.hpp"
#include "liveries/regcode_index.hpp"
#include "platform/control_model.hpp"
#include "refdata/dbase.hpp"
#include "refdata/type_queries.hpp"
#include "tests/foundation/log_capture.hpp"
#include "tests/refdata/sealed_files.hpp"

namespace corv_test {

inline LiveryData livery(std::string airl, std::string type, std::string title, std::string atcid = "",
                         bool cargo = false)
{
    return LiveryData{std::move(airl), std::move(type), std::move(title), std::move(atcid), 1, cargo};
}

inline FlightIdentity flight(std::string airline, std::string type, std::string registration = "",
                             std::string callsign = "CS1")
{
    FlightIdentity identity;
    identity.airline = std::move(airline);
    identity.type = std::move(type);
    identity.registration = std::move(registration);
    identity.callsign = std::move(callsign);
    return identity;
}

// The pick of an aircraft of that flight, named by its callsign in the log.
inline LiveryPick pickFor(const FlightIdentity& identity, bool cargo = false)
{
    return LiveryPick{identity, gf_typeCategory(identity.type), cargo, identity.callsign, {}, false};
}

class LiveryDatabaseTest : public testing::Test {
protected:
    void SetUp() override
    {
        writeSealed((INPUT_FOLDER / DBASE_ENC_NAME).string(), readFile(sourceDir() / "standins/data/dbase.xml"));
        ASSERT_TRUE(gf_readDbase());
        writeFile(gf_parametersPath(), "<?xml version=\"1.0\"?>\n<parameters/>\n");
        resetLiveryTables();
        for (CheckBoxParameter* box : {&LIGHT_AIRCRAFT, &HIGH_PERF_AIRCRAFT, &HELICOPTERS}) {
            box->setValue(true);
            if (!vald::gf_controls().exists(box->controlId()))
                vald::gf_controls().create(box->controlId(), vald::ControlKind::CheckBox);
            vald::gf_controls().setEnabled(box->controlId(), true);
        }
        MATCHING_DEPTH.setValue(4);
    }

    void TearDown() override
    {
        resetLiveryTables();
        gf_clearDbaseTables();
        stopRequested.store(false);
        userClosing.store(false);
    }

    static void resetLiveryTables()
    {
        gf_resetLiveryIndexes();
        liveriesProcessed.store(false);
        gf_resetSimilarModels();
        gf_resetMatchingSummaryForTest();
        gf_resetLiveryChoiceForTest();
        scannedLiveries.clear();
    }

    // LiveriesScanned.xml with these liveries, AIG-regcodes.enc with this XML body (none when
    // empty), then the build of every index.
    void process(const std::vector<LiveryData>& liveries, const std::string& aigBody = "")
    {
        ASSERT_TRUE(lf_writeLiveriesScanned(LiveryList(liveries.begin(), liveries.end())));
        if (!aigBody.empty())
            writeSealed(AIG_REGCODES_ENC_PATH.string(), "<AIG-regcodes>" + aigBody + "</AIG-regcodes>");
        gf_processScannedLiveries();
    }

    LogCapture log_;  // first: the test's folder is the current directory from here on
    ScopedEnv config_{"XDG_CONFIG_HOME", (std::filesystem::current_path() / "config").string()};
};

}  // namespace corv_test
