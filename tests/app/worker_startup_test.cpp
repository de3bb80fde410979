// The worker of a run from its start to its closing, on a simulated clock, in a program folder
// of its own: the data start-up with the real encrypted data files, the update check only on
// the first run, production mode, the service's two-second revisit rule, and a run that waits
// for the simulator until the user closes. (User error 41 is seen end to end in
// tests/e2e/run_program_test.cpp.)
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "foundation/clock.hpp"
#include "app/data_startup.hpp"
#include "app/message_lines.hpp"
#include "app/sim_detection.hpp"
#include "app/sim_client_thread.hpp"
#include "app/worker.hpp"
#include "refdata/dbase.hpp"
#include "tests/app/run_test_support.hpp"
#include "tests/support/program_parameters.hpp"
#include "tests/refdata/sealed_files.hpp"
#include "standins/http/server.hpp"

namespace corv_test {
namespace {

using namespace std::chrono_literals;
using vald::UiMessage;

// The download site on loopback: it has nothing, and counts who asks for versions.json.
class EmptyDownloadSite {
public:
    EmptyDownloadSite()
    {
        server_.get("*", [this](const standin_http::Request& request, standin_http::Response& response) {
            if (request.path.find("versions.json") != std::string::npos)
                ++versionRequests_;
            response.status = 404;
        });
        port_ = server_.bindAnyPort("127.0.0.1");
        // Bound and listening already: a request made before the loop runs waits for it.
        thread_ = std::thread([this] { server_.listen(); });
    }
    ~EmptyDownloadSite()
    {
        while (!server_.running())
            std::this_thread::yield();
        server_.stop();
        thread_.join();
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    int versionRequests() const { return versionRequests_.load(); }

private:
    standin_http::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::atomic<int> versionRequests_{0};
};

class WorkerStartupTest : public RunTest {
protected:
    void SetUp() override
    {
        RunTest::SetUp();
        std::filesystem::create_directories("docs");
        writeSealed((INPUT_FOLDER / DBASE_ENC_NAME).string(), readFile(sourceDir() / "standins/data/dbase.xml"));
        writeSealed((INPUT_FOLDER / AIRPORTS_ENC_NAME).string(), readFile(sourceDir() / "standins/data/airports.xml"));
        writeFile(LIVERIES_SCANNED_PATH, readFile(sourceDir() / "standins/data/LiveriesScanned.xml"));
        std::filesystem::create_directories(simulator_.path() / "Scenery");
        // The demo's livery tree is the user's livery folder, scanned at the first start.
        writeScanFolderParameters(config_.path() / "Corv_P3D" / "parameters.xml", registry_.path() / "Addons",
                                  sourceDir() / "standins/data/liveries");
        writeFile(registry_.path() / "registry.txt",
                  "HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5\\SetupPath=" +
                      simulator_.path().string() + "\n");
        // Read once per process; each test has its own registry.
        gf_detectInstalledSimulators();
        gf_setSimClientProcedureForTest([this](std::stop_token token) {
            ++simClientStarts_;
            std::mutex mutex;
            std::condition_variable_any stopRequested;
            std::unique_lock<std::mutex> lock(mutex);
            stopRequested.wait(lock, token, [] { return false; });
        });
        dataFilesRead = false;
    }
    void TearDown() override
    {
        gf_setSimClientProcedureForTest(nullptr);
        gf_clearDbaseTables();
        RunTest::TearDown();
    }

    // The user closes the window once the run has waited this long and its simulator client
    // (the starts-th of the process) has begun, which the run starts on a thread of its own.
    void closeAfter(SteadyDuration waited, int starts)
    {
        clock_.onSleep = [this, waited, starts] {
            if (clock_.slept() < waited || userClosing.load())
                return;
            for (int i = 0; i < 6000 && simClientStarts_.load() < starts; ++i)
                std::this_thread::sleep_for(10ms);
            gf_requestUserClose();
        };
    }

    EmptyDownloadSite site_;
    ScopedEnv downloads_{"CORV_DOWNLOAD_BASE", site_.base()};
    ScopedEnv api_{"CORV_API_BASE", "http://127.0.0.1:1"};
    TempDir simulator_;
    TempDir registry_;
    ScopedEnv registryFile_{"CORV_REGISTRY_FILE", (registry_.path() / "registry.txt").string()};
    SimulatedRunClock clock_;
    std::atomic<int> simClientStarts_{0};
};

TEST_F(WorkerStartupTest, InProductionModeTheProgramEndsOnceTheDataIsPrepared)
{
    productionMode = true;
    lf_workerThread();
    EXPECT_EQ(gf_messageLines().errorText, "");
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit});
    EXPECT_EQ(exitCode.load(), 0);
    EXPECT_EQ(closingReason.load(), closing_reason::USER_CLOSED_SIM);
    EXPECT_EQ(simClientStarts_.load(), 0) << "no run";
    EXPECT_EQ(site_.versionRequests(), 1);
    EXPECT_TRUE(dataFilesRead.load());
    EXPECT_FALSE(aircraftTypes.empty()) << "dbase.enc was read";
    EXPECT_TRUE(std::filesystem::is_directory(LEARNED_THIRDPARTY_FOLDER));
    EXPECT_TRUE(std::filesystem::is_directory(MY_REGCODES_FOLDER));
    EXPECT_EQ(saved(SIM_INSTALL_PATH.name()), simulator_.path().string()) << "found in the registry";
    EXPECT_EQ(gf_stockSceneryPath(), simulator_.path() / "Scenery");
}

TEST_F(WorkerStartupTest, ARunWaitsForTheSimulatorAndARestartSkipsTheUpdateCheckAndTheDataFiles)
{
    writeFile(INPUT_FOLDER / "AIG-regcodes0.xml", "old");
    closeAfter(2s, 1);
    lf_workerThread();
    EXPECT_EQ(gf_messageLines().errorText, "");
    EXPECT_EQ(simClientStarts_.load(), 1);
    EXPECT_EQ(closingReason.load(), closing_reason::USER_CLOSED_SIM);
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit});
    EXPECT_EQ(site_.versionRequests(), 1);
    EXPECT_FALSE(std::filesystem::exists(INPUT_FOLDER / "AIG-regcodes0.xml")) << "left over from older versions";

    // The same process restarts: the data files are not read again, the site not asked again.
    std::filesystem::remove(INPUT_FOLDER / DBASE_ENC_NAME);
    gf_resetRunStateForTest();
    dataFilesRead = true;
    restartPending = true;
    port_.clear();
    closeAfter(clock_.slept() + 2s, 2);
    lf_workerThread();
    EXPECT_EQ(gf_messageLines().errorText, "");
    EXPECT_EQ(simClientStarts_.load(), 2);
    EXPECT_EQ(site_.versionRequests(), 1);
    EXPECT_EQ(port_.posted(), std::vector<UiMessage>{UiMessage::Quit});
}

TEST_F(WorkerStartupTest, TheServiceIsNotVisitedAgainWithinTwoSeconds)
{
    EXPECT_EQ(lf_holdForServiceRevisit(1), 1);
    EXPECT_EQ(gf_messageLines().statusText, "Holding for 1 seconds... (RT API cannot be revisited within 2 seconds)");
    EXPECT_EQ(clock_.slept(), 1s);
    EXPECT_EQ(lf_holdForServiceRevisit(2), 0);
    EXPECT_EQ(clock_.slept(), 1s);
    // A last visit in the future (the clock was set back) holds no longer than the rule.
    EXPECT_EQ(lf_holdForServiceRevisit(-86400), 2);
    EXPECT_EQ(clock_.slept(), 3s);

    gf_setUtcNowForTest([] { return UtcSeconds{1'700'000'000}; });
    LAST_EPOCH_TIME.setValue(1'700'000'000 - 1);
    EXPECT_EQ(lf_secondsSinceLastVisit(), 1);
}

}  // namespace
}  // namespace corv_test
