#pragma once
// A program folder (the current directory, Log.txt open, parameters at their start state) and
// its download site: the service stand-in as a child process serving the test's own folder under
// /downloads/. The update hooks record what the update asks of the window; the closing reason
// is the test's own.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "foundation/status_sink.hpp"
#include "foundation/run_state.hpp"
#include "foundation/safe_write.hpp"
#include "refdata/downloads.hpp"
#include "refdata/self_update.hpp"
#include "refdata/self_update_installer.hpp"
#include "tests/foundation/param_fixture.hpp"
#include "tests/support/service_standin.hpp"

namespace corv_test {

class DownloadSiteTest : public ParamTest {
protected:
    // siteVersions: the versions the stand-in publishes ("p3d": "11.9.2", ...); others 1.0.0.
    explicit DownloadSiteTest(const nlohmann::json& siteVersions = nlohmann::json::object())
        : standin_({{"site", {{"versions", siteVersions}}}}, site_.path()),
          base_("CORV_DOWNLOAD_BASE", standin_.baseUrl())
    {
        std::filesystem::create_directories("input");
        std::filesystem::create_directories("output");
        closingReason = closing_reason::NOT_YET_SET;
        restartDelaySeconds = -1;
        UpdateHooks hooks;
        hooks.openContainingFolder = [this](const std::filesystem::path& file) {
            openedFor_.push_back(file);
            return folderOpens_;
        };
        hooks.messageBox = [this](const std::string& text, const std::string& caption) {
            messageBoxes_.push_back(caption + ": " + text);
        };
        gf_registerUpdateHooks(std::move(hooks));
        StatusSink sink;
        sink.show = [this](const std::string& text, bool) { statusTexts_.push_back(text); };
        gf_setStatusSink(std::move(sink));
    }
    ~DownloadSiteTest() override
    {
        gf_resetUpdateHooks();
        gf_resetStatusSink();
        gf_resetDownloadLimitsForTest();
        gf_setInstallerRightsContext(gf_defaultInstallerRightsContext());
        closingReason = closing_reason::NOT_YET_SET;
        restartDelaySeconds = 0;
    }

    const std::filesystem::path& site() const { return site_.path(); }
    std::string url(const std::string& relative) const { return standin_.downloadUrl(relative); }
    void publish(const nlohmann::json& versions) const { writeFile(site() / "versions.json", versions.dump()); }

    // The paths of the download requests the site received, in order.
    std::vector<std::string> downloads() const
    {
        std::vector<std::string> paths;
        for (const nlohmann::json& request : standin_.requests())
            if (request["endpoint"] == "download")
                paths.push_back(request["path"].get<std::string>() + " " + request["userAgent"].get<std::string>());
        return paths;
    }
    void addFault(const nlohmann::json& rule) const { ASSERT_NO_THROW(standin_.addFault(rule)) << rule.dump(); }

    TempDir site_;
    ServiceStandin standin_;
    ScopedEnv base_;
    std::atomic<std::uint32_t>& closingReason_ = closingReason;
    std::vector<std::string> statusTexts_;
    std::vector<std::filesystem::path> openedFor_;
    std::vector<std::string> messageBoxes_;
    bool folderOpens_ = true;
};

inline nlohmann::json versionObject(int major, int minor, int patch)
{
    return {{"major", major}, {"minor", minor}, {"patch", patch}};
}

// The program's temporary files in `folder` named `prefix`... that hold at least `bytes` bytes.
inline std::size_t temporariesIn(const std::filesystem::path& folder, const std::string& prefix = "",
                                 std::uintmax_t bytes = 0)
{
    return std::ranges::count_if(std::filesystem::directory_iterator(folder), [&](const auto& entry) {
        std::error_code gone;
        const std::string name = entry.path().filename().string();
        return name.starts_with(prefix) && gf_isSafeWriteTempName(name) && entry.file_size(gone) >= bytes && !gone;
    });
}

// Closes the program, as the user would, once a download into `folder` named `prefix`... has begun.
inline std::thread closeOnceADownloadHasBegun(std::filesystem::path folder, std::string prefix)
{
    return std::thread([folder = std::move(folder), prefix = std::move(prefix)] {
        for (int i = 0; i < 6000 && temporariesIn(folder, prefix, 1) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        gf_requestStop(closing_reason::USER_CLOSED_SIM, 0);
    });
}

}  // namespace corv_test
