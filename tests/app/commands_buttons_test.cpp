// The push buttons and the locking of the parking controls, driven through the control model.
#include "tests/app/commands_test_support.hpp"

namespace {

class ButtonsTest : public corv_test::CommandsTest {};

TEST_F(ButtonsTest, RequestButtonsHandTheirWorkToTheRunAndWaitDisabled)
{
    for (const ButtonControl* button : {&BUTTON_REREAD, &BUTTON_FLUSH_STATIC, &BUTTON_CS_OID})
        enable(*button);
    EXPECT_TRUE(click(BUTTON_REREAD));
    EXPECT_TRUE(reReadRequested.load());
    EXPECT_FALSE(enabled(BUTTON_REREAD));
    EXPECT_FALSE(enabled(DESTINATION));

    addStatic(1, "S1*", SimState::active, 77);
    EXPECT_TRUE(click(BUTTON_FLUSH_STATIC));
    EXPECT_TRUE(flushStaticRequested.exchange(false));
    EXPECT_EQ(status(), "All static parked aircraft will be removed ...");
    EXPECT_EQ(staticAircraft.front().state, SimState::active) << "the UI thread never touches the aircraft";
    EXPECT_FALSE(click(BUTTON_FLUSH_STATIC)) << "a disabled button is not acted on";
    EXPECT_FALSE(flushStaticRequested.load());

    // An emptying of the list still pending would wipe the list that cs->oid: asks for.
    clearCallsignListRequested = true;
    EXPECT_TRUE(click(BUTTON_CS_OID));
    EXPECT_TRUE(callsignToObjectIdRequested.load());
    EXPECT_FALSE(clearCallsignListRequested.load());
}

TEST_F(ButtonsTest, BlockTakesTheChosenCallsignAndUnblockGivesItBack)
{
    gf_callsignList()->assign({"AFR1", "KLM123"});
    gf_fillCallsignCombo();
    enable(CALLSIGN_2_OBJECTID);
    EXPECT_TRUE(select(CALLSIGN_2_OBJECTID, "KLM123"));
    EXPECT_TRUE(enabled(BUTTON_BLOCK)) << "Block is usable while nothing is blocked";

    EXPECT_TRUE(click(BUTTON_BLOCK));
    EXPECT_EQ(saved("BLOCK_CALLSIGN"), "KLM123");
    EXPECT_EQ(vald::gf_controls().text(BLOCK_CALLSIGN.controlId()), "KLM123");
    EXPECT_TRUE(blockRequested.exchange(false));
    EXPECT_TRUE(enabled(BUTTON_UNBLOCK));
    EXPECT_FALSE(enabled(BUTTON_BLOCK));
    EXPECT_FALSE(enabled(CALLSIGN_2_OBJECTID));
    EXPECT_EQ(gf_callsignList()->snapshot().size(), 2U) << "the list is the worker's";
    serveOnWorker();
    EXPECT_EQ(gf_callsignList()->snapshot(), std::vector<std::string>{""});
    EXPECT_EQ(CALLSIGN_2_OBJECTID.value(), "");

    EXPECT_TRUE(click(BUTTON_UNBLOCK));
    EXPECT_EQ(saved("BLOCK_CALLSIGN"), "");
    EXPECT_EQ(status(), "no more blocking of live aircraft 'KLM123'");
    EXPECT_TRUE(blockRequested.load());
    EXPECT_FALSE(enabled(BUTTON_BLOCK)) << "no callsign is chosen any more";
}

TEST_F(ButtonsTest, NowAnnouncesTheUpdateAtTheNextQuarterMinuteWithAnOpenParkAirportOnly)
{
    enable(BUTTON_NOW);
    EXPECT_TRUE(click(BUTTON_NOW));
    EXPECT_FALSE(parkingUpdateRequested.load());

    parkAirportOpen = true;
    parkingCountdownMinutes = 3;
    secondCounter = 30;
    EXPECT_TRUE(click(BUTTON_NOW));
    EXPECT_EQ(status(), "Corv_P3D will update static parking in 15 seconds ...");
    EXPECT_TRUE(parkingUpdateRequested.load());
    EXPECT_TRUE(controlsLocked.load());
    EXPECT_EQ(parkingCountdownMinutes.load(), 20);
    EXPECT_EQ(vald::gf_displaySnapshot().paintedCountdown, 20);

    gf_unlockParkingControls();
    secondCounter = 44;
    EXPECT_TRUE(click(BUTTON_NOW));
    EXPECT_EQ(status(), "Corv_P3D will update static parking in 1 second ...");
}

TEST_F(ButtonsTest, UnlockGivesTheTimeControlsTheStatesTheyHadBeforeTheFirstLock)
{
    // SIM_TIME rules the time: the shift combos are out of use, the two boxes usable.
    vald::gf_controls().setEnabled(TIME_SHIFT_DAYS.controlId(), false);
    vald::gf_controls().setEnabled(TIME_SHIFT_MINS.controlId(), false);
    enable(SIM_TIME);

    gf_lockParkingControls();
    for (const ParameterControl* control : std::initializer_list<const ParameterControl*>{
             &SIM_TIME, &TIME_SHIFT_HOURS, &RT_PARKTRAFFIC_ONLY, &MAX_LIVE_SEL, &BUTTON_REREAD, &WEEK})
        EXPECT_FALSE(enabled(*control)) << control->controlId();
    gf_lockParkingControls();  // a second announcement while the first update is pending

    gf_unlockParkingControls();
    EXPECT_FALSE(controlsLocked.load());
    EXPECT_TRUE(enabled(SIM_TIME));
    EXPECT_TRUE(enabled(TIME_SHIFT_HOURS));
    EXPECT_FALSE(enabled(TIME_SHIFT_DAYS));
    EXPECT_FALSE(enabled(TIME_SHIFT_MINS));
    for (const ParameterControl* control : std::initializer_list<const ParameterControl*>{
             &RT_PARKTRAFFIC_ONLY, &MAX_LIVE_SEL, &BUTTON_FLUSH_STATIC, &BUTTON_REREAD, &BUTTON_NOW, &WEEK})
        EXPECT_TRUE(enabled(*control)) << control->controlId();
    EXPECT_EQ(vald::gf_displaySnapshot().paintedCountdown, 19);
}

}  // namespace
