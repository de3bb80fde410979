// The process-wide set-up at start: a closed socket gives an error instead of a signal, files we
// open are not inherited by the programs we start, and SIGINT / SIGTERM reach the window loop
// whatever the other threads are doing.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <future>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "platform/process_setup.hpp"
#include "platform/window.hpp"
#include "platform/window_queue.hpp"
#include "tests/support/open_files.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

TEST(ProcessSetup, AClosedPeerIsAWriteErrorNotTheEndOfTheProcess)
{
    ASSERT_TRUE(vald::gf_prepareProcess());
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    close(ends[1]);
    errno = 0;
    EXPECT_EQ(write(ends[0], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    close(ends[0]);
}

TEST(ProcessSetup, AFileKeptFromChildrenIsClosedOnExec)
{
    corv_test::TempDir folder;
    const std::filesystem::path path = folder.path() / "kept.txt";
    std::ofstream stream(path);
    ASSERT_TRUE(stream.is_open());
    const std::vector<int> before = corv_test::openDescriptorsOf(path);
    ASSERT_EQ(before.size(), 1u);
    EXPECT_FALSE(corv_test::closedOnExec(before[0]));
    EXPECT_TRUE(vald::gf_keepFromChildren(*stream.rdbuf()));
    EXPECT_TRUE(corv_test::closedOnExec(before[0]));
    stream.close();
    EXPECT_FALSE(vald::gf_keepFromChildren(*stream.rdbuf()));
}

// Runs in a child of the test: the signal set-up is for the whole process.
[[noreturn]] void lf_closeTwiceWhileAWorkerWaits()
{
    vald::gf_installCloseSignals();
    std::promise<void> release;
    std::future<void> released = release.get_future();
    bool workerBlocked = false;  // read after the join
    // A worker that waits without a library call to break the wait must not be the
    // thread that takes the signal: its handler could be held back until the wait ends.
    std::thread worker([&] {
        sigset_t mask;
        pthread_sigmask(SIG_BLOCK, nullptr, &mask);
        workerBlocked = sigismember(&mask, SIGINT) == 1 && sigismember(&mask, SIGTERM) == 1;
        released.wait();
    });
    int closes = 0;
    for (const int signal : {SIGTERM, SIGINT}) {
        kill(getpid(), signal);
        pollfd fd{vald::gf_closeSignalFd(), POLLIN, 0};
        char byte = 0;
        // The bound only keeps a broken build from hanging the suite.
        if (poll(&fd, 1, 60'000) == 1 && read(fd.fd, &byte, 1) == 1)
            ++closes;
    }
    release.set_value();
    worker.join();
    std::_Exit(workerBlocked && closes == 2 ? 0 : 1);
}

TEST(ProcessSetup, EachCloseSignalReachesTheLoopWhileAnotherThreadWaitsOnAFuture)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(lf_closeTwiceWhileAWorkerWaits(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
