// The app's tests see the window's message lines as the program does: the status sink reaches
// them from the start.
#include <gtest/gtest.h>

#include "app/message_lines.hpp"

namespace {

class MessageLineSink : public ::testing::Environment {
public:
    void SetUp() override { gf_registerMessageLineHooks(); }
};

[[maybe_unused]] ::testing::Environment* const sinkEnvironment =
    ::testing::AddGlobalTestEnvironment(new MessageLineSink);

}  // namespace
