// A run of the program Corv_P3D as a user starts it, headless, in a program folder with its
// encrypted data files and a simulator installation in the registry, but no simulator running
// and no reachable web peer: it prepares its data, waits for the simulator, and ends with exit
// code 0 soon after the close. Without docs/ it shows user error 41 and waits for the close.
// (Production mode and the restart are covered in-process by tests/app/worker_startup_test.cpp.)
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>

#include "tests/e2e/program_folder.hpp"
#include "tests/support/child_process.hpp"
#include "tests/support/temp_dir.hpp"

namespace corv_test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous: things that happen at once on a healthy machine; no test waits for the bound itself.
constexpr auto EVENT_LIMIT = 30s;
// A close ends the program; the bound only keeps a hang from holding the suite.
constexpr auto CLOSE_LIMIT = 60s;

class ProgramFolder {
public:
    explicit ProgramFolder(bool withDocs) { prepareProgramFolder(folder_.path(), withDocs); }
    const fs::path& path() const { return folder_.path(); }
    std::string log() const { return readFile(folder_ / "Log.txt"); }

private:
    TempDir folder_;
};

// The program's standard error output holds text within the limit.
bool shows(const ChildProcess& program, const std::string& text)
{
    return waitUntil([&] { return program.errorOutput().find(text) != std::string::npos; }, EVENT_LIMIT);
}

TEST(RunProgramTest, WithoutASimulatorTheRunWaitsForItAndACloseEndsTheProgramWithCodeZero)
{
    ProgramFolder folder(true);
    ChildProcess program(programOptions(folder.path(), folder.path()));
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(shows(program, "Waiting for Prepar3Dv5 ...")) << program.errorOutput();
    EXPECT_TRUE(fs::exists(folder.path() / "config" / "Corv_P3D" / "parameters.xml"));
    EXPECT_TRUE(fs::is_directory(folder.path() / "airports" / "learned" / "thirdparty"));
    EXPECT_EQ(program.errorOutput().find("Error"), std::string::npos) << program.errorOutput();

    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(CLOSE_LIMIT), 0) << program.errorOutput();
    const std::string log = folder.log();
    EXPECT_NE(log.find("Exiting: USER CLOSED SIM"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(folder.path() / "input" / "dbase.xml")) << "the plain data never stays";
}

TEST(RunProgramTest, OutsideItsFolderTheProgramShowsUserError41AndEndsWhenClosed)
{
    ProgramFolder folder(false);
    ChildProcess program(programOptions(folder.path(), folder.path()));
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(shows(program, "Corv_P3D must be run from the Corv_P3D folder!")) << program.errorOutput();
    EXPECT_EQ(program.waitForExit(500ms), std::nullopt) << "the error stays until the user closes";

    program.signal(SIGINT);
    EXPECT_EQ(program.waitForExit(CLOSE_LIMIT), 0) << program.errorOutput();
    EXPECT_NE(folder.log().find("Exiting: SYSTEM ERROR"), std::string::npos) << folder.log();
}

}  // namespace
}  // namespace corv_test
