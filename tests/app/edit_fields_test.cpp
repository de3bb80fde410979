// The three edit fields: what each accepts on Enter, what it rejects, and what it then changes.
#include "tests/app/commands_test_support.hpp"

#include "app/edit_fields.hpp"
#include "refdata/airports.hpp"

namespace {

class EditFieldsTest : public corv_test::CommandsTest {
protected:
    void TearDown() override
    {
        airportRecords.clear();
        CommandsTest::TearDown();
    }
    static std::string fieldText(const EditStringParameter& field)
    {
        return vald::gf_controls().text(field.controlId());
    }
};

TEST_F(EditFieldsTest, ABlockedCallsignHasFourToEightBytesAndIsTakenInUpperCase)
{
    gf_callsignList()->assign({"KLM123"});
    CALLSIGN_2_OBJECTID.setValue("KLM123");
    EXPECT_TRUE(enter(BLOCK_CALLSIGN, "klm123"));
    EXPECT_EQ(saved("BLOCK_CALLSIGN"), "KLM123");
    EXPECT_EQ(fieldText(BLOCK_CALLSIGN), "KLM123");
    EXPECT_TRUE(enabled(BUTTON_UNBLOCK));
    EXPECT_TRUE(blockRequested.exchange(false));
    // It was the callsign chosen in the combo box: the worker empties that list.
    EXPECT_TRUE(clearCallsignListRequested.load());
    EXPECT_EQ(gf_callsignList()->snapshot(), std::vector<std::string>{"KLM123"});

    for (const std::string rejected : {"AB", "ABCDEFGHI"}) {
        EXPECT_TRUE(enter(BLOCK_CALLSIGN, rejected));
        EXPECT_EQ(status(), "callsign '" + rejected + "' is not valid");
        EXPECT_EQ(fieldText(BLOCK_CALLSIGN), "KLM123") << "the field shows the blocked callsign again";
    }
    EXPECT_TRUE(enter(BLOCK_CALLSIGN, "Klm123"));
    EXPECT_EQ(status(), "callsign 'KLM123' was already set ...");
    EXPECT_FALSE(blockRequested.load()) << "rejected entries ask the run for nothing";

    EXPECT_TRUE(enter(BLOCK_CALLSIGN, ""));
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "");
    EXPECT_EQ(status(), "no more blocking of live aircraft 'KLM123'");
    EXPECT_TRUE(blockRequested.load());

    // Bytes of a UTF-8 sequence are never changed by the upper-casing.
    EXPECT_EQ(gf_upperAscii("\xc3\xa4" "bc\xff" "z9"), "\xc3\xa4" "BC\xff" "Z9");
    EXPECT_TRUE(enter(BLOCK_CALLSIGN, "\xc3\xa4kl1"));
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "\xc3\xa4KL1");
}

TEST_F(EditFieldsTest, ADestinationMustBeAKnownFourLetterCode)
{
    airportRecords = {AirportRecord{"EHAM", "AMS", 52.31, 4.76, -11.0, 200}};
    EXPECT_TRUE(enter(DESTINATION, "EHA"));
    EXPECT_EQ(status(), "destination 'EHA' is not valid");
    EXPECT_TRUE(enter(DESTINATION, "zzzz"));
    EXPECT_EQ(status(), "destination 'ZZZZ' is unknown ...");
    EXPECT_EQ(fieldText(DESTINATION), "");

    enable(BUTTON_REREAD);
    EXPECT_TRUE(enter(DESTINATION, "eham"));
    EXPECT_EQ(saved("DESTINATION"), "EHAM");
    EXPECT_EQ(status(), "New destination: EHAM");
    EXPECT_FALSE(enabled(BUTTON_REREAD));
    EXPECT_TRUE(gf_parkAirports().empty()) << "the park-airport list is the worker's";
    serveOnWorker();
    ASSERT_EQ(gf_parkAirports().size(), 1U);
    EXPECT_EQ(gf_parkAirports().front().icao, "EHAM");
    EXPECT_DOUBLE_EQ(gf_parkAirports().front().lat, 52.31);

    EXPECT_TRUE(enter(DESTINATION, "EHAM"));
    EXPECT_EQ(status(), "destination 'EHAM' was already set ...");
    EXPECT_EQ(gf_pendingParkAirportCount(), 0U);

    EXPECT_TRUE(enter(DESTINATION, ""));
    EXPECT_EQ(DESTINATION.value(), "");
    EXPECT_EQ(saved("DESTINATION"), "EHAM") << "an empty destination is forgotten for this run only";
    EXPECT_TRUE(enabled(BUTTON_REREAD));
}

TEST_F(EditFieldsTest, AnExistingInstallPathIsSavedAndRestartsTheRun)
{
    const std::string missing = (programFolder_ / "no such sim").string();
    EXPECT_TRUE(enter(ALL_INSTALL_PATH, missing));
    EXPECT_EQ(status(), "This install path does not exist: " + missing);
    EXPECT_FALSE(stopRequested.load());

    // A name longer than any file system allows: the query itself fails, nothing changes.
    EXPECT_FALSE(enter(ALL_INSTALL_PATH, "/" + std::string(300, 'x')));
    EXPECT_NE(status().find("exists"), std::string::npos) << status();
    EXPECT_EQ(SIM_INSTALL_PATH.value(), "");
    EXPECT_FALSE(stopRequested.load());

    const std::string existing = programFolder_.path().string();
    EXPECT_TRUE(enter(ALL_INSTALL_PATH, existing));
    EXPECT_EQ(saved("SIM_INSTALL_PATH"), existing);
    EXPECT_EQ(status(), "Install path exists, Corv_P3D will restart");
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(gf_closingReason(), closing_reason::NEW_SETTINGS);
    EXPECT_EQ(restartDelaySeconds.load(), 3);

    EXPECT_TRUE(enter(ALL_INSTALL_PATH, ""));
    EXPECT_EQ(saved("SIM_INSTALL_PATH"), "");
}

}  // namespace
