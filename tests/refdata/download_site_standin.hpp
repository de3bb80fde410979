#pragma once
// A program folder (the current directory, Log.txt open, parameters at their start state) and
// its download site: the service stand-in as a child process serving the test's own folder under
// /downloads/. The update hooks record what the update asks of the window; the closing reason
// is the test's own.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "foundation/run_state.hpp"
#include "refdata/downloads.hpp"
#include "refdata/self_update.hpp"
#include "refdata/self_update_installer.hpp"
#include "tests/foundation/param_fixture.hpp"

namespace corv_test {

class DownloadSiteTest : public ParamTest {
protected:
    // siteVersions: the versions the stand-in publishes ("p3d": "11.9.2", ...); others 1.0.0.
    explicit DownloadSiteTest(const nlohmann::json& siteVersions = nlohmann::json::object())
    {
        writeFile(work_ / "scenario.json", nlohmann::json({{"site", {{"versions", siteVersions}}}}).dump());
        std::vector<std::string> args = {(binaryDir() / "standins" / "standin_service").string(), "--scenario",
                                         (work_ / "scenario.json").string(), "--site", site().string(), "--data",
                                         (sourceDir() / "standins" / "data").string(), "--quit-on-eof"};
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        for (int fd : {in[0], in[1], out[0], out[1]})
            posix_spawn_file_actions_addclose(&actions, fd);
        const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        holdOpen_ = in[1];  // the stand-in ends when this closes
        std::string line;
        char c = 0;
        pollfd wait{out[0], POLLIN, 0};
        while (spawned == 0 && ::poll(&wait, 1, 10000) == 1 && ::read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(out[0]);
        if (line.rfind("PORT ", 0) != 0)
            ADD_FAILURE() << "standin_service did not tell its port: " << line;
        else
            port_ = std::stoi(line.substr(5));
        base_.emplace("CORV_DOWNLOAD_BASE", "http://127.0.0.1:" + std::to_string(port_));

        std::filesystem::create_directories("input");
        std::filesystem::create_directories("output");
        gf_setClosingReasonStore(&closingReason_);
        restartDelaySeconds = -1;
        UpdateHooks hooks;
        hooks.showStatus = [this](const std::string& text, bool) { statusTexts_.push_back(text); };
        hooks.openContainingFolder = [this](const std::filesystem::path& file) {
            openedFor_.push_back(file);
            return folderOpens_;
        };
        hooks.messageBox = [this](const std::string& text, const std::string& caption) {
            messageBoxes_.push_back(caption + ": " + text);
        };
        gf_registerUpdateHooks(std::move(hooks));
    }
    ~DownloadSiteTest() override
    {
        gf_resetUpdateHooks();
        gf_resetDownloadLimitsForTest();
        gf_setInstallerRightsContext(gf_defaultInstallerRightsContext());
        gf_setClosingReasonStore(nullptr);
        restartDelaySeconds = 0;
        ::close(holdOpen_);
        int status = 0;
        for (int i = 0; i < 100 && pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
            ::usleep(50000);
        if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0)
            ::waitpid(pid_, &status, 0);
    }

    const std::filesystem::path& site() const { return site_.path(); }
    std::string url(const std::string& relative) const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + "/downloads/" + relative;
    }
    void publish(const nlohmann::json& versions) const { writeFile(site() / "versions.json", versions.dump()); }

    // The paths of the download requests the site received, in order.
    std::vector<std::string> downloads() const
    {
        std::vector<std::string> paths;
        const httplib::Result result = httplib::Client("127.0.0.1", port_).Get("/control/requests");
        for (const nlohmann::json& request : nlohmann::json::parse(result ? result->body : "[]"))
            if (request["endpoint"] == "download")
                paths.push_back(request["path"].get<std::string>() + " " + request["userAgent"].get<std::string>());
        return paths;
    }
    void addFault(const nlohmann::json& rule) const
    {
        const httplib::Result result =
            httplib::Client("127.0.0.1", port_).Post("/control/fault", rule.dump(), "application/json");
        ASSERT_TRUE(result && result->status == 200) << rule.dump();
    }

    TempDir work_;
    TempDir site_;
    pid_t pid_ = -1;
    int holdOpen_ = -1;
    int port_ = 0;
    std::optional<ScopedEnv> base_;
    std::atomic<std::uint32_t> closingReason_{closing_reason::NOT_YET_SET};
    std::vector<std::string> statusTexts_;
    std::vector<std::filesystem::path> openedFor_;
    std::vector<std::string> messageBoxes_;
    bool folderOpens_ = true;
};

inline nlohmann::json versionObject(int major, int minor, int patch)
{
    return {{"major", major}, {"minor", minor}, {"patch", patch}};
}

}  // namespace corv_test
