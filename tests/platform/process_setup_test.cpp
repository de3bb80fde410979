// The process-wide set-up at start: a closed socket gives an error instead of a signal, and files
// we open are not inherited by the programs we start.
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/process_setup.hpp"
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

}  // namespace
