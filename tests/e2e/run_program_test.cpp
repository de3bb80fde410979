// A run of the program Corv_P3D as a user starts it, headless, in a program folder with its
// encrypted data files and a simulator installation in the registry, but no simulator running
// and no reachable web peer: it prepares its data, waits for the simulator, and ends with exit
// code 0 soon after the close. Without docs/ it shows user error 41 and waits for the close.
// On a full disk the data is read without its plain copies, and input/ stays as it was.
// (Production mode and the restart are covered in-process by tests/app/worker_startup_test.cpp.)
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/program_folder.hpp"
#include "tests/refdata/sealed_files.hpp"
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

// input/ on a small file system of its own (a tmpfs: mounting it needs root), filled up so that a
// write there fails as on a full disk, beside plain copies that a killed run left: the program
// reads its data from memory, and neither replaces nor removes what it did not write.
TEST(RunProgramTest, OnAFullDiskTheDataIsReadWithoutItsPlainCopiesAndInputStaysAsItWas)
{
    const TempDir folder;
    const fs::path input = folder / "input";
    fs::create_directories(input);
    if (::mount("tmpfs", input.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k") != 0)
        GTEST_SKIP() << "no file system of its own for input/ (mounting needs root): " << std::strerror(errno);
    const std::shared_ptr<void> unmount(nullptr, [&input](void*) { ::umount2(input.c_str(), MNT_DETACH); });
    prepareProgramFolder(folder.path());
    std::vector<std::string> lines = {"21 dbase records read", "52 airports read", "13 liveries read from AIG-regcodes",
                                      "Exiting: USER CLOSED SIM"};
    for (const std::string name : {"dbase", "airports", "AIG-regcodes"}) {
        writeFile(input / (name + ".xml"), "a plain copy a killed run left");
        lines.push_back("==> could not write input/" + name + ".xml: No space left on device (the data is read all the same)");
    }
    writeSealed((input / "AIG-regcodes.enc").string(), readFile(sourceDir() / "standins/data/AIG-regcodes.xml"));
    std::ofstream(input / "filler") << std::string(256 * 1024, 'f');
    const auto files = [&input] {  // its files (the program may add a folder)
        std::map<fs::path, std::string> bytes;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(input))
            if (entry.is_regular_file())
                bytes[entry.path()] = readFile(entry.path());
        return bytes;
    };
    const std::map<fs::path, std::string> before = files();
    ASSERT_EQ(fs::space(input).available, 0u) << "input/ is not full";

    ChildProcess program(programOptions(folder.path(), folder.path()));
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(shows(program, "Waiting for Prepar3Dv5 ...")) << program.errorOutput();
    EXPECT_EQ(program.errorOutput().find("Error"), std::string::npos) << program.errorOutput();
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(CLOSE_LIMIT), 0) << program.errorOutput();
    const std::string log = readFile(folder / "Log.txt");
    for (const std::string& line : lines)
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_TRUE(files() == before) << "input/ changed";
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
