// The static table of parameters: consistent limits, options, names and control bindings.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/parameters.hpp"

namespace {

std::vector<const Parameter*> allStoredParameters()
{
    const ParameterLists& lists = gf_startupParameterLists();
    std::vector<const Parameter*> all;
    all.insert(all.end(), lists.bools.begin(), lists.bools.end());
    all.insert(all.end(), lists.checkBoxes.begin(), lists.checkBoxes.end());
    all.insert(all.end(), lists.ints.begin(), lists.ints.end());
    all.insert(all.end(), lists.combos.begin(), lists.combos.end());
    all.insert(all.end(), lists.strings.begin(), lists.strings.end());
    all.insert(all.end(), lists.editStrings.begin(), lists.editStrings.end());
    all.push_back(&parking_percentage);
    return all;
}

template <typename T>
void expectSoundCombo(const BasicComboParameter<T>& combo)
{
    SCOPED_TRACE(combo.name());
    ASSERT_FALSE(combo.options().empty());
    EXPECT_TRUE(std::is_sorted(combo.options().begin(), combo.options().end()));
    EXPECT_EQ(std::adjacent_find(combo.options().begin(), combo.options().end()), combo.options().end());
    EXPECT_EQ(combo.minimum(), combo.options().front());
    EXPECT_EQ(combo.maximum(), combo.options().back());
    EXPECT_TRUE(combo.optionIndex(combo.defaultValue()).has_value());
    EXPECT_EQ(combo.value(), combo.defaultValue());
}

}  // namespace

TEST(ParameterDefinitions, StartupListsHoldTheExpectedKindsAndCounts)
{
    const ParameterLists& lists = gf_startupParameterLists();
    EXPECT_TRUE(lists.bools.empty());
    EXPECT_EQ(lists.checkBoxes.size(), 22u);
    EXPECT_EQ(lists.ints.size(), 14u);
    EXPECT_EQ(lists.combos.size(), 10u);
    EXPECT_EQ(lists.strings.size(), 28u);
    ASSERT_EQ(lists.editStrings.size(), 1u);
    EXPECT_EQ(lists.editStrings[0], &BLOCK_CALLSIGN);
    // Never read back at start: each start begins with 30.
    EXPECT_EQ(std::count(lists.combos.begin(), lists.combos.end(), &parking_percentage), 0);
}

TEST(ParameterDefinitions, NamesAreUniqueKeysAndTheEpochTimeKeepsItsColon)
{
    std::set<std::string> names;
    for (const Parameter* p : allStoredParameters())
        EXPECT_TRUE(names.insert(p->name()).second) << "duplicate key " << p->name();
    EXPECT_EQ(LAST_EPOCH_TIME.name(), "LAST_EPOCH_TIME:");
    EXPECT_EQ(names.count("LAST_EPOCH_TIME"), 0u);
    for (const Parameter* p : allStoredParameters())
        EXPECT_EQ(p->name().find('\''), std::string::npos) << p->name();
}

TEST(ParameterDefinitions, DefaultsLieInsideLimitsAndAmongOptions)
{
    const ParameterLists& lists = gf_startupParameterLists();
    for (const IntParameter* p : lists.ints) {
        SCOPED_TRACE(p->name());
        EXPECT_LE(p->minimum(), p->defaultValue());
        EXPECT_LE(p->defaultValue(), p->maximum());
        EXPECT_EQ(p->value(), p->defaultValue());
    }
    for (const ComboParameter* combo : lists.combos)
        expectSoundCombo(*combo);
    expectSoundCombo(parking_percentage);
    expectSoundCombo(MAX_FIT_FL);
    EXPECT_EQ(MAX_FIT_FL.options().size(), 20u);
    for (const StringParameter* p : lists.strings)
        EXPECT_EQ(p->value(), "") << p->name();
}

TEST(ParameterDefinitions, MaxCountCombosOfferTheSameValuesFromSeparateLists)
{
    EXPECT_EQ(MAX_LIVE_SEL.options(), MAX_PARK_SEL.options());
    EXPECT_EQ(MAX_LIVE_SEL.options(), (std::vector<std::int32_t>{0, 10, 25, 50, 75, 100, 500}));
    EXPECT_NE(MAX_LIVE_SEL.options().data(), MAX_PARK_SEL.options().data());
}

TEST(ParameterDefinitions, ControlBindingsAreUniqueAndOnTheWindowRows)
{
    const std::vector<const ParameterControl*> bindings = gf_allControlBindings();
    EXPECT_EQ(bindings.size(), 45u);
    const std::set<std::int32_t> rows = {119, 147, 175, 203, 231, 259, 287, 315, 343, 371, 257, 313, 341, 369};
    std::set<vald::ControlId> ids;
    for (const ParameterControl* binding : bindings) {
        EXPECT_TRUE(ids.insert(binding->controlId()).second) << "duplicate id " << binding->controlId();
        EXPECT_GE(binding->controlId(), 32771);
        EXPECT_LE(binding->controlId(), 32862);
        EXPECT_EQ(rows.count(binding->y()), 1u) << binding->controlId();
    }
}

TEST(ParameterObjects, NumbersAreClampedToTheirLimits)
{
    ComboParameter combo("TEST_COMBO", 99, {5, 10, 15, 20, 25, 30}, 1, 0);
    EXPECT_EQ(combo.minimum(), 5);
    EXPECT_EQ(combo.maximum(), 30);
    EXPECT_EQ(combo.setValue(2), 5);
    EXPECT_EQ(combo.setValue(31), 30);
    EXPECT_EQ(combo.setValue(12), 12);
    EXPECT_EQ(combo.value(), 12);
    EXPECT_FALSE(combo.optionIndex(12).has_value());
    EXPECT_EQ(combo.optionIndex(25), 4u);

    IntParameter epoch("E", 0, 0, 2147483647);
    EXPECT_EQ(epoch.setValue(-5), 0);
    EXPECT_EQ(epoch.setValue(2147483647), 2147483647);

    EXPECT_THROW(ComboParameter("EMPTY", 0, {}, 1, 0), std::invalid_argument);
}
