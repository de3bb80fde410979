// Login, logout and the transport rules, against the traffic-service stand-in over real HTTP.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "foundation/run_state.hpp"
#include "foundation/user_error.hpp"
#include "tests/support/service_standin.hpp"
#include "tests/traffic/traffic_test_support.hpp"
#include "traffic/login.hpp"

using nlohmann::json;

namespace {

constexpr const char* KEY = "k&y=1+2%";

bool logged(const std::vector<std::string>& lines, const std::string& part)
{
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

class Login : public ::testing::Test {
protected:
    Login() : api_("CORV_API_BASE", standin.baseUrl()), key_("CORV_SERVICE_KEY_FILE", (log.dir() / "key.txt").string())
    {
        corv_test::writeFile(log.dir() / "key.txt", std::string(KEY) + "\n");
    }
    json sent(const std::string& endpoint) const
    {
        json found = json::array();
        for (const json& r : standin.requests())
            if (r["endpoint"] == endpoint)
                found.push_back(r);
        return found;
    }
    void fault(const json& rule) const { standin.addFault(rule); }

    corv_test::TrafficLog log;
    corv_test::ServiceStandin standin{
        {{"license", {{"keys", {KEY}}, {"guid", "g&1"}, {"server", "standin-rt"}, {"rrl", 0}, {"wrrl", 123456789}}}}};
    corv_test::RecordingHooks hooks;
    WeatherReader weather;
    TrafficReader traffic;
    corv_test::SleepRecorder sleeps;

private:
    corv_test::ScopedEnv api_;
    corv_test::ScopedEnv key_;
};

TEST_F(Login, OpensTheSessionForBothReaders)
{
    gf_runAuthenticater(weather, traffic);
    const json auth = sent("auth");
    ASSERT_EQ(auth.size(), 1u);
    EXPECT_EQ(auth[0]["body"], "license=k%26y%3D1%2B2%25&software=Corv_P3D_11.9.2");
    EXPECT_EQ(auth[0]["fields"], (json{{"license", KEY}, {"software", "Corv_P3D_11.9.2"}}));
    EXPECT_EQ(auth[0]["userAgent"], "Corv_P3D/11.9.2");
    EXPECT_NE(auth[0]["acceptEncoding"].get<std::string>().find("gzip"), std::string::npos);

    EXPECT_EQ(weather.guid + traffic.guid, "g&1g&1");
    // The service's intervals of 0 and 123456789 ms are held within limits.
    EXPECT_EQ(weather.rrl.load(), MIN_REQUEST_INTERVAL_MS);
    EXPECT_EQ(weather.wrrl.load(), MAX_REQUEST_INTERVAL_MS);
    EXPECT_EQ(sleeps.slept(), std::vector<long>{MAX_REQUEST_INTERVAL_MS});
    EXPECT_EQ(hooks.authenticated, std::vector<bool>{true});
    EXPECT_EQ(hooks.statuses, (std::vector<std::string>{"Waiting for authentication at RT server ...", "<clear>"}));
    EXPECT_TRUE(hooks.stops().empty());
    EXPECT_TRUE(logged(log.lines(), "Authenticated at RT server 'standin-rt'"));
}

TEST_F(Login, RepliesWithoutGuidOrWithOtherStatusesAreAccepted)
{
    std::uint32_t status = 0;
    fault({{"endpoint", "auth"}, {"body", R"({"status":200})"}, {"times", 1}});
    EXPECT_TRUE(weather.authenticate(status, KEY));
    EXPECT_EQ(weather.guid, "empty GUID?");
    EXPECT_EQ(sleeps.slept(), std::vector<long>{DEFAULT_REQUEST_INTERVAL_MS});
    EXPECT_TRUE(logged(log.lines(), "Authenticated at RT server '?'"));
    for (const char* body : {R"({"status":401,"GUID":"a"})", R"({"status":"400","GUID":"b"})", R"({"GUID":"c"})"}) {
        fault({{"endpoint", "auth"}, {"body", body}, {"times", 1}});
        EXPECT_TRUE(weather.authenticate(status, KEY)) << body;
    }
    EXPECT_EQ(weather.guid, "c");
    EXPECT_EQ(status, 0u);

    // A broken reply that echoes the key: the parser's message is logged without it.
    fault({{"endpoint", "auth"}, {"body", std::string(R"({"GUID":")") + KEY}});
    EXPECT_FALSE(weather.authenticate(status, KEY));
    const std::vector<std::string> lines = log.lines();
    EXPECT_TRUE(logged(lines, "==> authenticate: ") && logged(lines, "***"));
    EXPECT_FALSE(logged(lines, KEY));
}

TEST_F(Login, RefusalsEndTheRunByStatus)
{
    fault({{"endpoint", "auth"}, {"status", 405}, {"times", 1}});
    EXPECT_THROW(gf_runAuthenticater(weather, traffic), vald::UserErrorException);
    EXPECT_EQ(sleeps.slept(), std::vector<long>{10000});
    EXPECT_EQ(hooks.statuses.back(), "More than one RealTraffic session is not possible, do not run the RealTraffic app");

    fault({{"endpoint", "auth"}, {"status", 500}, {"times", 1}});
    try {
        gf_runAuthenticater(weather, traffic);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No RT database connection");
    }
    EXPECT_TRUE(hooks.stops().empty());
    EXPECT_TRUE(traffic.guid.empty());

    // A refused key (400) and an unreachable service both ask for a restart after 15 s.
    corv_test::writeFile(log.dir() / "key.txt", "wrong\n");
    const corv_test::Stops restart{{closing_reason::READER_ERROR, 15}};
    gf_runAuthenticater(weather, traffic);
    EXPECT_EQ(hooks.stops(), restart);
    gf_clearStopRequest();
    const std::string refusedHost = "http://127.0.0.1:" + std::to_string(corv_test::closedLoopbackPort());
    {
        corv_test::ScopedEnv unreachable("CORV_API_BASE", refusedHost);
        gf_runAuthenticater(weather, traffic);
    }
    EXPECT_EQ(hooks.stops(), restart);
    EXPECT_EQ(hooks.statuses.back(), "<clear>");
    EXPECT_EQ(hooks.statuses[hooks.statuses.size() - 2], "The Authenticater has stopped with an error");
    EXPECT_TRUE(traffic.guid.empty());
    EXPECT_TRUE(hooks.authenticated.empty());
    EXPECT_TRUE(logged(log.lines(), "Authentication failed: Couldn't connect to server"));
}

TEST_F(Login, MissingKeyIsAUserErrorBeforeAnyRequest)
{
    std::filesystem::remove(log.dir() / "key.txt");
    try {
        gf_runAuthenticater(weather, traffic);
        ADD_FAILURE() << "no user error";
    } catch (const vald::UserErrorException& e) {
        EXPECT_NE(std::string(e.what()).find((log.dir() / "key.txt").string()), std::string::npos);
    }
    EXPECT_TRUE(sent("auth").empty());
}

TEST_F(Login, LogoutEndsTheSessionEvenWhileTheReadersStop)
{
    gf_runAuthenticater(weather, traffic);
    traffic.stop.store(true);  // closing has stopped the readers before it logs out
    traffic.deauthenticate();
    EXPECT_EQ(sent("deauth")[0]["body"], "GUID=g%261");
    EXPECT_TRUE(traffic.guid.empty());
    EXPECT_EQ(hooks.authenticated, (std::vector<bool>{true, false}));

    traffic.guid = "unknown";
    traffic.deauthenticate();
    EXPECT_EQ(traffic.guid, "unknown");
    fault({{"endpoint", "deauth"}, {"body", "not json"}});
    traffic.deauthenticate();
    const std::vector<std::string> lines = log.lines();
    EXPECT_TRUE(logged(lines, "Deauthenticated RT server 'standin-rt'"));
    EXPECT_TRUE(logged(lines, "==> Deauthentication failed, status: 401"));
    EXPECT_TRUE(logged(lines, "Deauthentication: invalid JSON"));
}

// A peer that accepts the connection and then says nothing must hang neither a login nor a
// reader that is asked to stop.
TEST_F(Login, StalledServiceTimesOutOrIsAbandonedOnStop)
{
    vald::HttpLimits limits;
    limits.lowSpeedBytesPerSecond = 1000;  // libcurl averages over seconds: see the stall at once
    limits.lowSpeedTime = std::chrono::seconds(1);
    weather.setHttpLimits(limits);
    fault({{"endpoint", "auth"}, {"stallSeconds", 300}});
    fault({{"endpoint", "live"}, {"stallSeconds", 300}});
    std::uint32_t status = 0;
    EXPECT_FALSE(weather.authenticate(status, KEY));
    EXPECT_TRUE(logged(log.lines(), "Authentication failed: Timeout was reached"));

    // The stop comes once the service holds the request; the stall would last 300 s.
    std::thread stopper([&] {
        for (int i = 0; i < 6000 && sent("live").empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        traffic.stop.store(true);
    });
    const vald::HttpOutcome outcome =
        traffic.postRequest(traffic.trcurl_, API_TRAFFIC_PATH, gf_liveTrafficBody("g", QueryBox{}, 0), traffic.readerReply);
    stopper.join();
    EXPECT_EQ(sent("live").size(), 1u);
    EXPECT_EQ(outcome.code, CURLE_ABORTED_BY_CALLBACK);
}

TEST_F(Login, DownloadKeepsTheBodyOnlyWhenComplete)
{
    vald::HttpHandle handle("dlcurl_");
    const std::string url = standin.downloadUrl("versions.json");
    const std::filesystem::path file = log.dir() / "versions.json.download";
    const int descriptor = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(descriptor, 0);
    fault({{"endpoint", "/downloads/versions.json"}, {"status", 404}, {"times", 1}});
    fault({{"endpoint", "/downloads/versions.json"}, {"cut", true}, {"times", 1}});
    EXPECT_EQ(handle.download(url, descriptor).responseCode, 404);
    EXPECT_FALSE(handle.download(url, descriptor).ok());
    EXPECT_EQ(std::filesystem::file_size(file), 0u);  // nothing of an answer that was not the whole file

    const vald::HttpOutcome outcome = handle.download(url, descriptor);
    ASSERT_TRUE(outcome.ok()) << outcome.errorText;
    EXPECT_TRUE(json::accept(corv_test::readFile(file)));
    EXPECT_EQ(handle.download("http://10.1.2.3/downloads/versions.json", descriptor).code, CURLE_UNSUPPORTED_PROTOCOL);
    ::close(descriptor);
}

}  // namespace
