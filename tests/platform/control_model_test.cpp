// The control model: what a write does to a control, what it tells listeners, and that writers
// on several threads neither lose changes nor deadlock with a listener that reads back.
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/control_model.hpp"

using vald::ControlAspect;
using vald::ControlId;
using vald::ControlKind;
using vald::ControlModel;

TEST(ControlModel, ControlsExistOnlyOnceCreatedAndStartAsTheWindowMakesThem)
{
    ControlModel model;
    int calls = 0;
    model.addListener([&](ControlId, ControlAspect) { ++calls; });
    EXPECT_FALSE(model.setText(2, "x"));  // not created yet: ignored, unannounced
    EXPECT_EQ(model.version(), 0u);
    EXPECT_EQ(calls, 0);

    model.create(1, ControlKind::Button);
    model.create(2, ControlKind::Edit);
    model.create(3, ControlKind::CheckBox);
    EXPECT_FALSE(model.enabled(1));
    EXPECT_FALSE(model.enabled(2));
    EXPECT_TRUE(model.enabled(3));
    model.setText(2, "typed");
    model.create(2, ControlKind::Edit);  // a second creation keeps the control as it is
    EXPECT_EQ(model.text(2), "typed");
    EXPECT_EQ(calls, 4);
}

TEST(ControlModel, ComboSelectionFollowsItsEntries)
{
    ControlModel model;
    model.create(7, ControlKind::Combo);
    model.setItems(7, {"5", "10", "KLM123", "klm9"});
    EXPECT_EQ(model.selection(7), -1);
    EXPECT_TRUE(model.setSelection(7, 1));
    EXPECT_EQ(model.selectedItem(7), "10");
    EXPECT_FALSE(model.setSelection(7, 4));
    EXPECT_EQ(model.selection(7), -1);

    EXPECT_EQ(model.selectPrefix(7, "Klm"), 2);
    EXPECT_EQ(model.selectPrefix(7, "zz"), -1);
    EXPECT_EQ(model.selectedItem(7), "KLM123");

    model.setItems(7, {"a"});  // new entries: nothing selected
    EXPECT_FALSE(model.selectedItem(7).has_value());
}

TEST(ControlModel, ChangesAreCountedMarkedAndAnnouncedOnce)
{
    ControlModel model;
    model.create(1, ControlKind::CheckBox);
    model.create(2, ControlKind::Edit);
    EXPECT_EQ(model.takeDirty(), (std::set<ControlId>{1, 2}));

    std::vector<std::pair<ControlId, ControlAspect>> seen;
    const auto token = model.addListener([&](ControlId id, ControlAspect aspect) {
        seen.emplace_back(id, aspect);
        if (id == 1) {
            EXPECT_TRUE(model.checked(1));  // already visible, and readable: called outside the lock
        }
    });
    const std::uint64_t before = model.version();
    model.setChecked(1, true);
    model.setChecked(1, true);  // no change: no announcement
    model.setEnabled(2, true);
    EXPECT_EQ(model.version(), before + 2);
    EXPECT_EQ(seen, (std::vector<std::pair<ControlId, ControlAspect>>{{1, ControlAspect::Checked},
                                                                       {2, ControlAspect::Enabled}}));
    EXPECT_EQ(model.takeDirty(), (std::set<ControlId>{1, 2}));
    EXPECT_TRUE(model.takeDirty().empty());

    model.removeListener(token);
    model.setText(2, "x");
    EXPECT_EQ(seen.size(), 2u);
}

TEST(ControlModel, ConcurrentWritersLoseNoChange)
{
    ControlModel model;
    constexpr int threads = 8;
    constexpr int toggles = 2000;
    constexpr ControlId shared = 100;
    model.create(shared, ControlKind::Edit);
    for (int t = 0; t < threads; ++t)
        model.create(static_cast<ControlId>(t), ControlKind::CheckBox);
    model.takeDirty();
    const std::uint64_t start = model.version();

    std::atomic<int> announced{0};
    model.addListener([&](ControlId id, ControlAspect) {
        (void)model.state(id);  // a painter reading back must not deadlock the writer
        ++announced;
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([&model, t] {
            const auto own = static_cast<ControlId>(t);
            for (int i = 0; i < toggles; ++i) {
                model.setChecked(own, i % 2 == 0);
                model.setText(shared, "writer " + std::to_string(t) + " round " + std::to_string(i));
            }
        });
    for (std::thread& writer : writers)
        writer.join();

    // Every toggle changes its own control; the shared text changes on every write except when
    // a writer happens to repeat itself, which it never does.
    EXPECT_EQ(model.version() - start, static_cast<std::uint64_t>(2 * threads * toggles));
    EXPECT_EQ(announced.load(), 2 * threads * toggles);
    for (int t = 0; t < threads; ++t)
        EXPECT_FALSE(model.checked(static_cast<ControlId>(t)));  // the last toggle (odd) clears it
    EXPECT_EQ(model.text(shared).rfind("writer ", 0), 0u);
    EXPECT_EQ(model.takeDirty().size(), static_cast<std::size_t>(threads + 1));
}
