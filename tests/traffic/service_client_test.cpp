#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "platform/http.hpp"
#include "platform/service_endpoints.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/traffic/traffic_test_support.hpp"
#include "traffic/service_client.hpp"
#include "traffic/service_key.hpp"

using nlohmann::json;

namespace {

TEST(ReplyEnvelope, MissingStatusIsNoSuccessAndIntervalsStayInLimits)
{
    EXPECT_EQ(gf_replyStatus(json::parse(R"({"data":[]})")), 100);
    EXPECT_EQ(gf_replyStatus(json::parse(R"({"status":"200"})")), 100);
    EXPECT_EQ(gf_replyStatus(json::parse(R"([200])")), 100);
    EXPECT_EQ(gf_replyInterval(json::parse(R"({"rrl":3000})"), "rrl"), 3000);
    EXPECT_EQ(gf_replyInterval(json::parse(R"({"rrl":-4000})"), "rrl"), MIN_REQUEST_INTERVAL_MS);
    EXPECT_EQ(gf_replyInterval(json::parse(R"({"wrrl":99999999999})"), "wrrl"), MAX_REQUEST_INTERVAL_MS);
    EXPECT_EQ(gf_replyInterval(json::parse(R"({"wrrl":"3000"})"), "wrrl"), DEFAULT_REQUEST_INTERVAL_MS);
}

TEST(ClientState, InterruptibleSleepWaitsTwoHalvesUnlessStopped)
{
    TrafficReader reader;
    int halves = 0;
    corv_test::SleepRecorder sleeps([&] { reader.stop.store(++halves == 3); });  // a stop arrives during the third half
    reader.sleepInterruptible(2001);
    reader.sleepInterruptible(1);
    reader.sleepInterruptible(4000);
    EXPECT_EQ(sleeps.slept(), (std::vector<long>{1000, 1000, 2000}));
}

TEST(ClientState, InterruptibleSleepOnTheRealClockEndsSoonAfterAStop)
{
    TrafficReader reader;
    std::atomic<bool> woke{false};
    std::thread sleeper([&] {
        reader.sleepInterruptible(600000);  // halves of five minutes
        woke.store(true);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // well into the first half
    reader.stop.store(true);
    for (int i = 0; i < 6000 && !woke.load(); ++i)  // up to 60 s
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(woke.load());
    sleeper.join();
}

TEST(ClientState, ResetReadersKeepsParkedRecordsAndIntervals)
{
    trafficReader.guid = weatherReader.guid = "g";
    trafficReader.stop.store(true);
    trafficReader.rrl.store(3000);
    trafficReader.qnh.store(990);
    trafficReader.announceBlocked.store(false);
    trafficReader.parkedRecords.resize(2);
    weatherReader.station = "EHAM";
    gf_resetReaders();
    EXPECT_TRUE(trafficReader.guid.empty() && weatherReader.guid.empty() && weatherReader.station.empty());
    EXPECT_FALSE(trafficReader.stop.load());
    EXPECT_EQ(trafficReader.qnh.load(), STANDARD_QNH_HPA);
    EXPECT_TRUE(trafficReader.announceBlocked.load());
    EXPECT_EQ(trafficReader.rrl.load(), 3000);
    EXPECT_EQ(trafficReader.parkedRecords.size(), 2u);
    trafficReader.parkedRecords.clear();
    trafficReader.rrl.store(DEFAULT_REQUEST_INTERVAL_MS);
}

TEST(Endpoints, PlainHttpOnlyToLoopback)
{
    for (const char* allowed : {"https://rt.example.com/v4", "http://127.9.8.7:8080", "http://localhost:99",
                                "http://[::1]:4000", "HTTP://LOCALHOST"})
        EXPECT_FALSE(vald::gf_urlRefusal(allowed)) << allowed;
    for (const char* refused : {"http://10.0.0.1", "http://example.com", "http://128.0.0.1", "http://[::2]",
                                "ftp://127.0.0.1/x", "file:///etc/passwd", "no url"})
        EXPECT_TRUE(vald::gf_urlRefusal(refused)) << refused;
    {
        corv_test::ScopedEnv api("CORV_API_BASE", "http://127.0.0.1:4321/");
        EXPECT_EQ(vald::gf_apiBaseUrl(), "http://127.0.0.1:4321");
    }
    corv_test::ScopedEnv api("CORV_API_BASE", "http://rt.example.com");
    EXPECT_THROW(vald::gf_apiBaseUrl(), std::invalid_argument);
}

TEST(ServiceKey, FirstLineOfTheKeyFile)
{
    corv_test::TempDir dir;
    corv_test::ScopedEnv config("XDG_CONFIG_HOME", dir.path().string());
    corv_test::ScopedEnv keyFile("CORV_SERVICE_KEY_FILE", std::nullopt);
    EXPECT_FALSE(gf_readServiceKey());
    corv_test::writeFile(dir / "Corv_P3D" / "license.txt", "\xEF\xBB\xBF  KEY-1 \r\nsecond line\n");
    EXPECT_EQ(gf_readServiceKey(), "KEY-1");
    corv_test::writeFile(dir / "Corv_P3D" / "license.txt", " \n");
    EXPECT_FALSE(gf_readServiceKey());
}

}  // namespace
