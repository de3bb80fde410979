#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/time_slots.hpp"
#include "tests/support/open_files.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_setUtcNowForTest([] { return UtcSeconds{1796569853}; });  // Sun 2026-12-06 15:10:53
    }
    void TearDown() override
    {
        gf_closeLogForTest();
        gf_resetClockForTest();
        stopRequested = false;
        userClosing = false;
    }
    static std::string secondLineOf(const char* file)
    {
        const std::string text = corv_test::readFile(file);
        const std::size_t start = text.find('\n') + 1;
        return text.substr(start, text.find('\n', start) - start);
    }

    corv_test::TempDir dir_{true};
};

TEST_F(LogTest, HeaderLineAndLineForms)
{
    gf_log("before the open");
    gf_openLog();
    gf_log("plain");
    gf_logIndented("indented");
    for (std::atomic<bool>* flag : {&stopRequested, &userClosing}) {
        *flag = true;
        gf_logUnlessStopping("while stopping");
        *flag = false;
    }
    gf_logUnlessStopping("running");
    gf_logWarn("careful");
    // Programs the user starts from us do not inherit the open log.
    const std::vector<int> descriptors = corv_test::openDescriptorsOf("Log.txt");
    ASSERT_EQ(descriptors.size(), 1u);
    EXPECT_TRUE(corv_test::closedOnExec(descriptors[0]));
    // The warning is flushed: everything so far is on disk while the log is still open.
    EXPECT_EQ(corv_test::readFile("Log.txt"),
              "Sun Dec 06 15:10:53 2026 (utc) Corv_P3D version 11.9.2 for Prepar3D v5/v6\n"
              "plain\n"
              "          indented\n"
              "running\n"
              "==> careful\n");
}

TEST_F(LogTest, EachStartKeepsThreeOlderGenerations)
{
    for (int start = 1; start <= 5; ++start) {
        gf_openLog();
        gf_log(vald::format("start {}", start));
    }
    gf_closeLogForTest();
    EXPECT_EQ(secondLineOf("Log.txt"), "start 5");
    EXPECT_EQ(secondLineOf("Log0.txt"), "start 4");
    EXPECT_EQ(secondLineOf("Log00.txt"), "start 3");
    EXPECT_EQ(secondLineOf("Log000.txt"), "start 2");
    const auto entries = std::filesystem::directory_iterator(dir_.path());
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 4);
}

TEST_F(LogTest, ConcurrentWritersNeverMixLines)
{
    gf_openLog();
    constexpr int threadCount = 8;
    constexpr int linesPerThread = 400;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&go, t] {
            const std::string line(200, static_cast<char>('a' + t));  // one letter per thread
            while (!go.load()) {
            }
            for (int i = 0; i < linesPerThread; ++i)
                i % 3 == 0 ? gf_logWarn(line) : gf_log(line);
        });
    }
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    gf_closeLogForTest();

    std::istringstream in(corv_test::readFile("Log.txt"));
    std::string line;
    std::getline(in, line);  // header
    std::map<char, int> linesOf;
    while (std::getline(in, line)) {
        const std::string body = line.starts_with("==> ") ? line.substr(4) : line;
        ASSERT_EQ(body, std::string(200, body.front())) << line;
        ++linesOf[body.front()];
    }
    ASSERT_EQ(linesOf.size(), static_cast<std::size_t>(threadCount));
    for (const auto& [letter, count] : linesOf)
        EXPECT_EQ(count, linesPerThread) << letter;
}

TEST_F(LogTest, UnwritableLogFailsWithTheFileName)
{
    std::filesystem::create_directory("Log.txt");
    try {
        gf_openLog();
        FAIL() << "gf_openLog did not throw";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to write file Log.txt");
    }
    EXPECT_FALSE(gf_logStream().is_open());
    gf_logWarn("dropped");  // must neither crash nor write anywhere
    EXPECT_TRUE(std::filesystem::is_empty("Log.txt"));
}

}  // namespace
