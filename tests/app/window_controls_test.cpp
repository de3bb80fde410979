// The main window's controls: the control table against the parameter definitions, their state
// at creation and at the start of a run, drop-down lists that show the real value, and opening
// folders through the shell.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sys/stat.h>

#include "app/control_table.hpp"
#include "app/window_controls.hpp"
#include "foundation/parameter_controls.hpp"
#include "platform/window_headless.hpp"
#include "tests/app/app_test_support.hpp"
#include "tests/support/temp_dir.hpp"

using vald::ControlKind;

namespace {

vald::ControlModel& controls() { return vald::gf_controls(); }

class WindowControlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        corv_test::resetWindowState();
        specs_ = lf_createControls();
    }
    void TearDown() override
    {
        for (ComboParameter* combo : {&RANGE, &MAX_LIVE_SEL, &parking_percentage})
            combo->setValue(combo->defaultValue());
        AUTO_RANGE.setValue(AUTO_RANGE.defaultValue());
        MAX_FIT.setValue(MAX_FIT.defaultValue());
        BLOCK_CALLSIGN.setValue(BLOCK_CALLSIGN.defaultValue());
        corv_test::resetWindowState();
    }

    std::vector<vald::ControlSpec> specs_;
};

TEST(ControlTableTest, EveryBoundParameterHasOneControlWithAUniqueIdOnItsRow)
{
    const std::vector<ControlRow>& table = gf_controlTable();
    EXPECT_EQ(table.size(), 45U);

    std::set<vald::ControlId> ids;
    std::set<const ParameterControl*> bindings;
    for (const ControlRow& row : table) {
        EXPECT_TRUE(ids.insert(row.binding->controlId()).second) << "id " << row.binding->controlId();
        bindings.insert(row.binding);
        EXPECT_GE(row.binding->controlId(), 32771);
        EXPECT_LE(row.binding->controlId(), 32862);
        // Rows lie 28 pixels apart from 119 to 371; some buttons sit two pixels above theirs.
        const std::set<int> rows{119, 147, 175, 203, 231, 259, 287, 315, 343, 371, 257, 313, 341, 369};
        EXPECT_EQ(rows.count(row.binding->y()), 1U) << row.parameter->name() << " at " << row.binding->y();
        // The kind follows the parameter's class.
        switch (row.kind) {
        case ControlKind::CheckBox:
            EXPECT_NE(dynamic_cast<const CheckBoxParameter*>(row.parameter), nullptr) << row.parameter->name();
            break;
        case ControlKind::Edit:
            EXPECT_NE(dynamic_cast<const EditStringParameter*>(row.parameter), nullptr);
            EXPECT_EQ(dynamic_cast<const CallsignComboParameter*>(row.parameter), nullptr);
            break;
        case ControlKind::Combo:
            EXPECT_TRUE(dynamic_cast<const ComboParameter*>(row.parameter) != nullptr ||
                        dynamic_cast<const FloatComboParameter*>(row.parameter) != nullptr ||
                        dynamic_cast<const CallsignComboParameter*>(row.parameter) != nullptr)
                << row.parameter->name();
            break;
        case ControlKind::Button:
            EXPECT_NE(dynamic_cast<const ButtonControl*>(row.parameter), nullptr);
            break;
        }
    }
    // Every binding of the definitions has its control (a binding without one would be dead).
    // AFG_AUTOMATIC's binding (32803) never had a control.
    std::size_t bound = 0;
    for (const ParameterControl* binding : gf_allControlBindings()) {
        if (binding->controlId() == 32803)
            continue;
        ++bound;
        EXPECT_EQ(bindings.count(binding), 1U) << "control id " << binding->controlId();
    }
    EXPECT_EQ(bindings.size(), bound);
}

TEST_F(WindowControlsTest, CreatedControlsStartAsTheWindowShowsThemBeforeARun)
{
    ASSERT_EQ(specs_.size(), 45U);
    EXPECT_EQ(specs_[0].id, ALL_INSTALL_PATH.controlId()) << "the tab order starts at the install path";
    EXPECT_EQ(specs_[0].rect, (vald::PixelRect{111, 119, 1311, 135})) << "reaching past the window's edge";
    EXPECT_EQ(specs_[1].rect, (vald::PixelRect{5, 149, 17, 161})) << "a check box two pixels below its row";
    EXPECT_EQ(specs_[13].rect.top, RANGE.y() - 5) << "a drop-down list five pixels above its row";
    EXPECT_EQ(specs_[5].label, "tblo");
    EXPECT_FALSE(controls().enabled(BUTTON_TBLO.controlId()));
    EXPECT_FALSE(controls().enabled(ALL_INSTALL_PATH.controlId()));
    EXPECT_TRUE(controls().enabled(RANGE.controlId()));
    EXPECT_TRUE(controls().state(RANGE.controlId())->items.empty());
    EXPECT_EQ(controls().checked(GUID_CHANGES.controlId()), GUID_CHANGES.value());
    EXPECT_TRUE(controls().checked(COLLISION_USER_AIR.controlId()));
    EXPECT_FALSE(controls().checked(ALWAYS_ON_TOP.controlId()));
}

TEST_F(WindowControlsTest, ADropDownListShowsTheValueThatTheProgramSetsAsText)
{
    (void)gf_installComboTextRule();
    gf_fillIntOptionCombo(RANGE);
    RANGE.setValue(65);
    gf_setIntParamText(RANGE);
    EXPECT_EQ(controls().selectedItem(RANGE.controlId()), std::optional<std::string>("65"));
    EXPECT_EQ(lf_getTextFromId(RANGE.controlId()), "65");

    // A text that is no entry leaves no stale entry selected.
    controls().setText(RANGE.controlId(), "7");
    EXPECT_EQ(controls().selection(RANGE.controlId()), -1);
}

TEST_F(WindowControlsTest, AComboSelectionIsReadOnlyForItsOwnSelectionChange)
{
    gf_fillIntOptionCombo(MAX_LIVE_SEL);
    controls().setSelection(MAX_LIVE_SEL.controlId(), 2);
    const auto selected = lf_getComboText(MAX_LIVE_SEL.controlId(), MAX_LIVE_SEL.controlId(),
                                          vald::ControlEvent::SelectionChanged);
    ASSERT_TRUE(selected.has_value());
    EXPECT_EQ(*selected, std::make_pair(2, std::string("25")));
    EXPECT_FALSE(lf_getComboText(MAX_LIVE_SEL.controlId(), MAX_LIVE_SEL.controlId(), vald::ControlEvent::Clicked));
    EXPECT_FALSE(lf_getComboText(MAX_PARK_SEL.controlId(), MAX_LIVE_SEL.controlId(),
                                 vald::ControlEvent::SelectionChanged));
    controls().setSelection(MAX_LIVE_SEL.controlId(), -1);
    EXPECT_FALSE(lf_getComboText(MAX_LIVE_SEL.controlId(), MAX_LIVE_SEL.controlId(),
                                 vald::ControlEvent::SelectionChanged));
}

TEST_F(WindowControlsTest, TheStartOfARunEnablesByAutoRangeAndFillsTheLists)
{
    AUTO_RANGE.setValue(true);
    MAX_FIT.setValue(23);
    BLOCK_CALLSIGN.setValue("KLM123");
    parking_percentage.setValue(55);
    lf_fillCombos();
    EXPECT_FALSE(controls().enabled(RANGE.controlId()));
    EXPECT_TRUE(controls().enabled(AR_ABOVE_HEIGHT.controlId()));
    EXPECT_EQ(controls().selectedItem(RANGE.controlId()), std::optional<std::string>("40"));
    EXPECT_TRUE(controls().enabled(BUTTON_UNBLOCK.controlId()));
    EXPECT_TRUE(controls().enabled(BLOCK_CALLSIGN.controlId()));
    EXPECT_FALSE(controls().enabled(DESTINATION.controlId()));
    EXPECT_EQ(parking_percentage.value(), 30) << "each run begins with 30";
    EXPECT_EQ(controls().selectedItem(parking_percentage.controlId()), std::optional<std::string>("30"));
    const vald::ControlState maxFit = *controls().state(MAX_FIT_FL.controlId());
    EXPECT_EQ(maxFit.items.front(), "0.5");
    EXPECT_EQ(maxFit.items.back(), "24.0");
    EXPECT_EQ(controls().selectedItem(MAX_FIT_FL.controlId()), std::optional<std::string>("12.0"));
    EXPECT_EQ(maxFit.enabled, !RT_PARKTRAFFIC_ONLY.value()) << "the park options follow RT_PARKTRAFFIC_ONLY";

    AUTO_RANGE.setValue(false);
    BLOCK_CALLSIGN.setValue("");
    lf_fillCombos();
    EXPECT_TRUE(controls().enabled(RANGE.controlId()));
    EXPECT_FALSE(controls().enabled(AR_ABOVE_HEIGHT.controlId()));
    EXPECT_FALSE(controls().enabled(BUTTON_UNBLOCK.controlId()));
}

// A stand-in for the desktop's opener: records its argument and ends with the given status.
void lf_fakeOpener(const corv_test::TempDir& bin, int status)
{
    const auto script = bin / "xdg-open";
    corv_test::writeFile(script, "#!/bin/sh\nprintf '%s' \"$1\" > '" + (bin / "opened").string() + "'\nexit " +
                                     std::to_string(status) + "\n");
    chmod(script.c_str(), 0755);
}

TEST(ShellOpenTest, TheContainingFolderIsHandedToTheOpenerAndARefusalIsFalse)
{
    corv_test::TempDir bin;
    corv_test::TempDir data;
    corv_test::ScopedEnv path("PATH", bin.path().string());
    corv_test::writeFile(data / "tblo" / "tblo.zip", "zip");

    EXPECT_FALSE(gf_openContainingFolder(data / "tblo" / "tblo.zip")) << "no opener on the PATH";
    lf_fakeOpener(bin, 0);
    EXPECT_FALSE(gf_openContainingFolder(data / "missing.pdf"));
    EXPECT_FALSE(std::filesystem::exists(bin / "opened")) << "a missing file opens nothing";
    EXPECT_TRUE(gf_openContainingFolder(data / "tblo" / "tblo.zip"));
    EXPECT_EQ(corv_test::readFile(bin / "opened"), (data / "tblo").string());
    lf_fakeOpener(bin, 4);
    EXPECT_FALSE(gf_openContainingFolder(data / "tblo" / "tblo.zip"));
}

TEST(ShellOpenTest, ARefusedManualFolderIsToldInAMessageBox)
{
    corv_test::resetWindowState();
    corv_test::TempDir bin;
    corv_test::TempDir program(true);
    corv_test::ScopedEnv path("PATH", bin.path().string());
    corv_test::writeFile(program / "docs" / "Manual.pdf", "pdf");
    lf_fakeOpener(bin, 1);
    vald::HeadlessUiPort port;
    vald::gf_setWindowPort(&port);

    EXPECT_FALSE(gf_openManual());
    EXPECT_EQ(corv_test::readFile(bin / "opened"), (program / "docs").string());
    using Box = std::pair<std::string, std::string>;
    EXPECT_EQ(port.boxes(), std::vector<Box>{Box("Corv", "Could not open local folder with Manual")});
    lf_fakeOpener(bin, 0);
    EXPECT_TRUE(gf_openManual());
    EXPECT_EQ(port.boxes().size(), 1U);
    vald::gf_setWindowPort(nullptr);
}

}  // namespace
