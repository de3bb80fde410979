// The drop-down lists: the chosen entry becomes the parameter's value at once and is saved; the
// lists with an effect on the run hand it to the worker.
#include "tests/app/commands_test_support.hpp"

namespace {

class CombosTest : public corv_test::CommandsTest {};

TEST_F(CombosTest, TheChosenOptionBecomesTheValueAndIsSaved)
{
    for (ComboParameter* combo : {&MATCHING_DEPTH, &MAX_PARK_SEL, &parking_percentage, &RANGE, &AIRP_RANGE,
                                  &AR_ABOVE_HEIGHT, &AIRP_HEIGHT, &MAX_LIVE_SEL}) {
        enable(*combo);
        const std::int32_t option = combo->options()[1];  // the default of none of them
        ASSERT_NE(option, combo->value()) << combo->name();
        EXPECT_TRUE(select(*combo, std::to_string(option))) << combo->name();
        EXPECT_EQ(combo->value(), option) << combo->name();
        EXPECT_EQ(saved(combo->name()), std::to_string(option)) << combo->name();
    }
    EXPECT_EQ(rangeNm.load(), 3.0) << "the traffic range follows RANGE";

    enable(MAX_FIT_FL);
    EXPECT_TRUE(select(MAX_FIT_FL, "12.0"));
    EXPECT_EQ(saved("MAX_FIT"), "23");
    EXPECT_EQ(saved("MAX_FIT_FL"), std::nullopt);
    EXPECT_TRUE(select(MAX_FIT_FL, "0.5"));
    EXPECT_EQ(saved("MAX_FIT"), "0");
}

TEST_F(CombosTest, MaxLiveLimitsTheLiveAircraftOnTheWorker)
{
    maxLiveSelection = 500;
    addLive(20001, "NEAR", SimState::active).simPosition = SimPosition{52.0, 4.0};
    addLive(20002, "FAR", SimState::active).simPosition = SimPosition{54.0, 4.0};
    engineUserSnapshot.latitude = 52.0;
    engineUserSnapshot.longitude = 4.0;

    EXPECT_TRUE(select(MAX_LIVE_SEL, "0"));
    EXPECT_EQ(maxLiveSelection.load(), 0) << "no park airport is open: the user's choice is kept";
    EXPECT_EQ(liveAircraft[1].state, SimState::active) << "the UI thread does not touch the list";

    MAX_LIVE_SEL.setValue(1);  // one aircraft too many
    serveOnWorker();
    EXPECT_EQ(liveAircraft[0].state, SimState::active);
    EXPECT_EQ(liveAircraft[1].state, SimState::removingfromsim) << "the farthest goes";

    parkAirportOpen = true;
    EXPECT_TRUE(select(MAX_LIVE_SEL, "25"));
    EXPECT_EQ(maxLiveSelection.load(), 0) << "an open park airport may have lowered MAX_LIVE_SEL";
}

TEST_F(CombosTest, TheThreeTimeShiftPartsMakeOneShiftInMinutes)
{
    EXPECT_TRUE(select(TIME_SHIFT_DAYS, "1"));
    EXPECT_TRUE(select(TIME_SHIFT_HOURS, "2"));
    EXPECT_TRUE(select(TIME_SHIFT_MINS, "3"));
    EXPECT_EQ(trafficReader.toffset.load(), (24 + 2) * 60 + 3);
    EXPECT_EQ(weatherReader.toffset.load(), 1563);
    EXPECT_EQ(saved("TIME_SHIFT_HOURS"), "2");
    EXPECT_TRUE(timeShiftRemovalRequested.load());
}

}  // namespace
