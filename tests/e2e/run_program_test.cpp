// A run of the program Corv_P3D as a user starts it, headless, in a program folder with its
// encrypted data files and a simulator installation in the registry, but no simulator running
// and no reachable web peer: it prepares its data, waits for the simulator, and ends with exit
// code 0 soon after the close. Without docs/ it shows user error 41 and waits for the close.
// On a full disk the data is read without its plain copies, and input/ stays as it was.
// (Production mode and the restart are covered in-process by tests/app/worker_startup_test.cpp.)
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>

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

// A folder on a small file system of its own (a tmpfs, which needs the right to mount: root has
// it) that the test fills up, so that a write there fails as on a full disk. Unmounted when it goes.
class SmallDisk {
public:
    explicit SmallDisk(fs::path folder) : folder_(std::move(folder))
    {
        fs::create_directories(folder_);
        if (::mount("tmpfs", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k") != 0)
            refusal_ = std::string("a file system cannot be mounted here (it needs root): ") + std::strerror(errno);
    }
    ~SmallDisk()
    {
        if (refusal_.empty())
            ::umount2(folder_.c_str(), MNT_DETACH);  // detached: an open file there does not hold it
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    // Why the folder is not on a disk of its own; empty when it is.
    const std::string& refusal() const { return refusal_; }
    // Fills what is left with a file of its own; true once a write says that the disk is full.
    bool fill() const
    {
        const int descriptor = ::open((folder_ / "filler").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        const std::string block(4096, 'f');
        while (descriptor >= 0 && ::write(descriptor, block.data(), block.size()) > 0) {
        }
        const bool full = errno == ENOSPC;
        ::close(descriptor);
        return full;
    }

private:
    fs::path folder_;
    std::string refusal_;
};

// Every file below folder with its bytes.
std::map<std::string, std::string> filesBelow(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = readFile(entry.path());
    return files;
}

TEST(RunProgramTest, OnAFullDiskTheDataIsReadWithoutItsPlainCopiesAndInputStaysAsItWas)
{
    const TempDir folder;
    const fs::path input = folder / "input";
    const SmallDisk disk(input);
    if (!disk.refusal().empty())
        GTEST_SKIP() << disk.refusal();
    prepareProgramFolder(folder.path());
    writeSealed((input / "AIG-regcodes.enc").string(), readFile(sourceDir() / "standins/data/AIG-regcodes.xml"));
    ASSERT_TRUE(disk.fill());
    const std::map<std::string, std::string> before = filesBelow(input);

    ChildProcess program(programOptions(folder.path(), folder.path()));
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(shows(program, "Waiting for Prepar3Dv5 ...")) << program.errorOutput();
    EXPECT_EQ(program.errorOutput().find("Error"), std::string::npos) << program.errorOutput();
    program.signal(SIGTERM);
    EXPECT_EQ(program.waitForExit(CLOSE_LIMIT), 0) << program.errorOutput();

    const std::string log = readFile(folder / "Log.txt");
    for (const char* name : {"dbase", "airports", "AIG-regcodes"})
        EXPECT_NE(log.find(std::string("==> could not write input/") + name +
                           ".xml: No space left on device (the data is read all the same)"),
                  std::string::npos)
            << name << "\n" << log;
    for (const char* line : {"21 dbase records read", "52 airports read", "13 liveries read from AIG-regcodes",
                             "Exiting: USER CLOSED SIM"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    const std::map<std::string, std::string> after = filesBelow(input);
    EXPECT_TRUE(after == before) << "input/ changed; it holds " << after.size() << " files, " << before.size()
                                 << " before";
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
