// A run of the program Corv_P3D as a user starts it, headless, in a program folder with its
// encrypted data files and a simulator installation in the registry, but no simulator running
// and no reachable web peer: it prepares its data, waits for the simulator, and ends with exit
// code 0 soon after the close. Without docs/ it shows user error 41 and waits for the close.
// (Production mode and the restart are covered in-process by tests/app/worker_startup_test.cpp.)
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/refdata/sealed_files.hpp"
#include "tests/support/temp_dir.hpp"

extern char** environ;

namespace corv_test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous: things that happen at once on a healthy machine; no test waits for the bound itself.
constexpr auto EVENT_LIMIT = 30s;
// A close must end the program within this time.
constexpr auto CLOSE_LIMIT = 5s;
constexpr auto POLL_STEP = 20ms;
// Nothing listens on port 1 of the loopback address: every web request fails at once.
const char* const NO_PEER = "http://127.0.0.1:1";

class ProgramFolder {
public:
    explicit ProgramFolder(bool withDocs)
    {
        if (withDocs)
            fs::create_directories(folder_ / "docs");
        writeSealed((folder_ / "input" / "dbase.enc").string(), readFile(sourceDir() / "standins/data/dbase.xml"));
        writeSealed((folder_ / "input" / "airports.enc").string(),
                    readFile(sourceDir() / "standins/data/airports.xml"));
        fs::create_directories(folder_ / "P3Dv5" / "Scenery");
        writeFile(folder_ / "registry.txt", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5\\SetupPath=" +
                                                (folder_ / "P3Dv5").string() + "\n");
    }
    const fs::path& path() const { return folder_.path(); }
    std::string log() const { return readFile(folder_ / "Log.txt"); }

private:
    TempDir folder_;
};

class Program {
public:
    Program(const ProgramFolder& folder, std::vector<std::string> arguments = {}) : folder_(folder.path())
    {
        std::map<std::string, std::string> env;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text(*entry);
            const auto equals = text.find('=');
            env[text.substr(0, equals)] = text.substr(equals + 1);
        }
        env.erase("DISPLAY");
        env["XDG_CONFIG_HOME"] = (folder_ / "config").string();
        env["XDG_RUNTIME_DIR"] = folder_.string();
        env["CORV_REGISTRY_FILE"] = (folder_ / "registry.txt").string();
        env["CORV_DOWNLOAD_BASE"] = NO_PEER;
        env["CORV_API_BASE"] = NO_PEER;
        std::vector<std::string> envText;
        for (const auto& [name, value] : env)
            envText.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (std::string& text : envText)
            envp.push_back(text.data());
        envp.push_back(nullptr);

        std::string program = (binaryDir() / "Corv_P3D").string();
        std::vector<char*> argv{program.data()};
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, folder_.c_str());
        const std::string errPath = (folder_ / "stderr.txt").string();
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program()
    {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return pid_ > 0; }
    void signal(int number) const { kill(pid_, number); }
    std::string errorOutput() const { return readFile(folder_ / "stderr.txt"); }

    // The standard error output holds text within the limit.
    bool shows(const std::string& text) const
    {
        for (auto waited = 0ms; waited < EVENT_LIMIT; waited += POLL_STEP) {
            if (errorOutput().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(POLL_STEP);
        }
        return false;
    }
    // The exit code when the program ends by itself within limit; nullopt otherwise.
    std::optional<int> exitCodeWithin(std::chrono::milliseconds limit)
    {
        for (auto waited = 0ms; waited <= limit; waited += POLL_STEP) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = status;
                return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
            }
            std::this_thread::sleep_for(POLL_STEP);
        }
        return std::nullopt;
    }

private:
    fs::path folder_;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

TEST(RunProgramTest, WithoutASimulatorTheRunWaitsForItAndACloseEndsTheProgramWithCodeZero)
{
    ProgramFolder folder(true);
    Program program(folder);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.shows("Waiting for Prepar3Dv5 ...")) << program.errorOutput();
    EXPECT_TRUE(fs::exists(folder.path() / "config" / "Corv_P3D" / "parameters.xml"));
    EXPECT_TRUE(fs::is_directory(folder.path() / "airports" / "learned" / "thirdparty"));
    EXPECT_EQ(program.errorOutput().find("Error"), std::string::npos) << program.errorOutput();

    program.signal(SIGTERM);
    EXPECT_EQ(program.exitCodeWithin(CLOSE_LIMIT), 0) << program.errorOutput();
    const std::string log = folder.log();
    EXPECT_NE(log.find("Exiting: USER CLOSED SIM"), std::string::npos) << log;
    EXPECT_FALSE(fs::exists(folder.path() / "input" / "dbase.xml")) << "the plain data never stays";
}

TEST(RunProgramTest, OutsideItsFolderTheProgramShowsUserError41AndEndsWhenClosed)
{
    ProgramFolder folder(false);
    Program program(folder);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.shows("Corv_P3D must be run from the Corv_P3D folder!")) << program.errorOutput();
    EXPECT_EQ(program.exitCodeWithin(500ms), std::nullopt) << "the error stays until the user closes";

    program.signal(SIGINT);
    EXPECT_EQ(program.exitCodeWithin(CLOSE_LIMIT), 0) << program.errorOutput();
    EXPECT_NE(folder.log().find("Exiting: SYSTEM ERROR"), std::string::npos) << folder.log();
}

}  // namespace
}  // namespace corv_test
