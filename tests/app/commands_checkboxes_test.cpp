// The check boxes: each click toggles the box and its parameter and saves it; the boxes with an
// effect of their own hand it to the run, restart it or change other controls.
#include "tests/app/commands_test_support.hpp"

#include "foundation/parameter_update.hpp"
#include "liveries/livery_index.hpp"

namespace {

class CheckBoxesTest : public corv_test::CommandsTest {};

TEST_F(CheckBoxesTest, EveryBoxTogglesItsParameterAndSavesIt)
{
    simConnectionPending = false;  // no restart in the middle of the walk
    int boxes = 0;
    for (const ControlRow& row : gf_controlTable()) {
        const auto* box = dynamic_cast<const CheckBoxParameter*>(row.parameter);
        if (box == nullptr)
            continue;
        ++boxes;
        enable(*box);  // LEARN_SOFT is out of use during a run
        const bool before = box->value();
        ASSERT_EQ(vald::gf_controls().checked(box->controlId()), before) << box->name();
        EXPECT_TRUE(click(*box)) << box->name();
        EXPECT_EQ(vald::gf_controls().checked(box->controlId()), !before) << box->name();
        EXPECT_EQ(box->value(), !before) << box->name();
        EXPECT_EQ(saved(box->name()), before ? "false" : "true") << box->name();
    }
    EXPECT_EQ(boxes, 22);
    // RT_PARKTRAFFIC_ONLY went on: the next parking adjustment is forced, the park options are
    // out of use.
    EXPECT_TRUE(parkingForce.load());
    EXPECT_FALSE(enabled(PARK_SOFT));
}

TEST_F(CheckBoxesTest, SavesOfTheWindowAndOfTheWorkerDoNotLoseEachOther)
{
    std::thread worker([] {
        for (std::int32_t halfHours = 1; halfHours <= 40; ++halfHours) {
            MAX_FIT.setValue(halfHours);
            gf_saveIntParameter(MAX_FIT);
        }
    });
    for (int clicks = 0; clicks < 41; ++clicks)
        click(WEEK);
    worker.join();
    EXPECT_EQ(saved("WEEK"), "true");
    EXPECT_EQ(saved("MAX_FIT"), "40");
}

TEST_F(CheckBoxesTest, AScanBoxRestartsTheRunOnlyWhileTheSimulatorIsNotYetConnected)
{
    click(SCAN_LIVERIES);  // on by default: off first
    liveriesProcessed = true;
    liveryIndex["KLM"]["B738"].push_back(LiveryEntry{"KLM 737", false});

    EXPECT_TRUE(click(SCAN_LIVERIES));
    EXPECT_EQ(status(), "Your liveries will be scanned");
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(gf_closingReason(), closing_reason::NEW_SETTINGS);
    EXPECT_EQ(restartDelaySeconds.load(), 2);
    // The worker may be building the indexes: the reset of the run empties them.
    EXPECT_FALSE(liveryIndex.empty());
    std::thread reset(lf_resetRunRequests);
    reset.join();
    EXPECT_TRUE(liveryIndex.empty());
    EXPECT_FALSE(liveriesProcessed.load());

    // Off: the restart already asked for stays.
    EXPECT_TRUE(click(SCAN_AIRPORTS));
    EXPECT_EQ(saved("SCAN_AIRPORTS"), "false");
    EXPECT_EQ(status(), "");
    EXPECT_TRUE(stopRequested.load());

    gf_resetRunStateForTest();
    simConnectionPending = false;
    EXPECT_TRUE(click(SCAN_AIRPORTS));
    EXPECT_EQ(status(), "Your airports will be scanned at the next start of Corv_P3D");
    EXPECT_EQ(saved("SCAN_AIRPORTS"), "true");
    EXPECT_FALSE(stopRequested.load());
}

TEST_F(CheckBoxesTest, AutoRangeOffPutsBackTheRangeThatStoodWhenItWasTicked)
{
    click(AUTO_RANGE);  // off: RANGE is the user's
    EXPECT_TRUE(select(RANGE, "65"));
    EXPECT_TRUE(click(AUTO_RANGE));
    EXPECT_FALSE(enabled(RANGE));
    EXPECT_TRUE(enabled(AR_ABOVE_HEIGHT));
    EXPECT_TRUE(autoRangeRequested.load()) << "the rule reads the worker's park airports";
    gf_setRangeNm(10);  // what the automatic rule chose meanwhile

    EXPECT_TRUE(click(AUTO_RANGE));
    EXPECT_EQ(RANGE.value(), 65);
    EXPECT_EQ(rangeNm.load(), 65.0);
    EXPECT_EQ(vald::gf_controls().selectedItem(RANGE.controlId()), "65");
    EXPECT_TRUE(enabled(RANGE));
    EXPECT_FALSE(enabled(AR_ABOVE_HEIGHT));
    EXPECT_FALSE(autoRangeRequested.load()) << "a rule still pending would overwrite the restored range";
}

TEST_F(CheckBoxesTest, NavLightsAreQueuedByTheWorkerForActiveStaticAndParkedLiveAircraft)
{
    addStatic(1, "S1*", SimState::active, 11);
    addStatic(2, "S2*", SimState::adding2sim, 12);
    addLive(20001, "KLM1", SimState::active, 21).phase = FlightPhase::parked;
    addLive(20002, "KLM2", SimState::active, 22).phase = FlightPhase::taxi;
    addLive(20003, "KLM3", SimState::removingfromsim, 23).phase = FlightPhase::parked;

    EXPECT_TRUE(click(NAV_LIGHTS_WHILE_PARKED));  // on by default: now off
    const auto events = [] { return sentToSimulator().clientEvents; };
    EXPECT_TRUE(events().empty()) << "the UI thread does not walk the aircraft";

    serveOnWorker();
    ASSERT_EQ(events().size(), 2U);
    EXPECT_EQ(events()[0].objectId, 11U);
    EXPECT_EQ(events()[1].objectId, 21U);
    EXPECT_EQ(events()[1].eventId, static_cast<std::uint32_t>(NAV_LIGHTS_SET));
    EXPECT_EQ(events()[1].data, 0U);

    EXPECT_TRUE(click(NAV_LIGHTS_WHILE_PARKED));
    serveOnWorker();
    EXPECT_EQ(events().back().data, 1U);
}

}  // namespace
