// The traffic-service and download-site stand-in over real HTTP on 127.0.0.1: sessions,
// traffic at the scenario clock, fault rules (status, cut, stall), downloads and the request log.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include <nlohmann/json.hpp>

#include "standins/service/form.hpp"
#include "standins/http/client.hpp"
#include "standins/service/server.hpp"
#include "tests/support/temp_dir.hpp"

namespace service_standin {
namespace {

using nlohmann::json;

constexpr double kEpoch = 1700000000.0;
constexpr const char* kForm = "application/x-www-form-urlencoded";

Scenario testScenario() {
    return parseScenario({
        {"clock", "frozen"},
        {"license", {{"keys", {"KEY-1"}}, {"rrl", 1500}, {"wrrl", 2500}, {"server", "rt-test"}}},
        {"stations", {{{"icao", "EHAM"}, {"lat", 52.3086}, {"lon", 4.7639}, {"qnh", 1021}, {"metar", "EHAM Q1021"}},
                      {{"icao", "EHRD"}, {"lat", 51.9569}, {"lon", 4.4372}, {"qnh", "1019"}}}},
        {"flights",
         {{{"hex", "4840d6"},
           {"callsign", "KLM1776"},
           {"type", "B738"},
           {"track", {{{"t", 0}, {"lat", 52.20}, {"lon", 4.76}, {"altFt", 3000}}, {{"t", 100}, {"lat", 52.40}, {"lon", 4.76}, {"altFt", 3000}}}}}}},
        {"parked", {{{"hex", "484161"}, {"stand", "D2"}, {"type", "B738"}, {"lat", 52.312}, {"lon", 4.7614}}}},
    });
}

class ServiceHttp : public ::testing::Test {
protected:
    void SetUp() override {
        corv_test::writeFile(site / "11/dbase.enc", std::string("\x01\x02\x03\x04", 4) + std::string(4000, 'e'));
        port = server.start();
        client = std::make_unique<standin_http::Client>("127.0.0.1", port);
        client->setReadTimeout(std::chrono::seconds(10));
    }

    json post(const std::string& path, const std::string& body) {
        auto res = client->post(path, body, kForm);
        EXPECT_TRUE(res) << path << ": " << standin_http::describe(res.error());
        if (!res) return nullptr;
        EXPECT_EQ(res->status, 200) << path;
        return json::parse(res->body, nullptr, false);
    }

    std::string login() { return post("/v4/auth", "license=KEY-1&software=Corv_P3D_11.9.2").value("GUID", ""); }

    std::string liveBody(const std::string& guid) {
        return "GUID=" + guid + "&top=52.60&bottom=52.00&left=4.50&right=5.00&querytype=locationtraffic&toffset=0";
    }

    json control(const std::string& path, const json& body) {
        auto res = client->post(path, body.dump(), "application/json");
        EXPECT_TRUE(res && res->status == 200) << path;
        return res ? json::parse(res->body, nullptr, false) : json();
    }

    corv_test::TempDir site;
    StandinServer server{testScenario(), ServerSetup{site.path(), kEpoch}};
    int port = 0;
    std::unique_ptr<standin_http::Client> client;

    void TearDown() override { server.stop(); }
};

TEST_F(ServiceHttp, SessionTrafficAndWeatherFollowTheScenarioClock) {
    standin_http::Client c("127.0.0.1", port);
    auto call = [&](const std::string& path, const std::string& body) {
        auto res = c.post(path, body, kForm);
        EXPECT_TRUE(res) << path;
        return res ? json::parse(res->body) : json();
    };

    EXPECT_EQ(call("/v4/auth", "license=WRONG&software=x")["status"], 400);
    const json auth = call("/v4/auth", "license=KEY-1&software=Corv_P3D_11.9.2");
    ASSERT_EQ(auth["status"], 200);
    const std::string guid = auth["GUID"];
    EXPECT_FALSE(guid.empty());
    EXPECT_EQ(auth["rrl"], 1500);
    EXPECT_EQ(auth["wrrl"], 2500);
    EXPECT_EQ(auth["server"], "rt-test");

    const std::string box = "&top=52.60&bottom=52.00&left=4.50&right=5.00&querytype=locationtraffic&toffset=0";
    EXPECT_EQ(call("/v4/traffic", "GUID=other" + box)["status"], 401);
    EXPECT_EQ(call("/v4/traffic", "GUID=" + guid + "&top=x&bottom=52&left=4&right=5&querytype=locationtraffic")["status"], 400);

    server.clock().set(25, false);
    json live = call("/v4/traffic", "GUID=" + guid + box);
    ASSERT_EQ(live["status"], 200);
    EXPECT_EQ(live["rrl"], 1500);
    ASSERT_EQ(live["data"].size(), 1u);
    const json& a = live["data"]["4840d6"];
    EXPECT_DOUBLE_EQ(a[1].get<double>(), 52.25);
    EXPECT_DOUBLE_EQ(a[10].get<double>(), kEpoch + 25);
    EXPECT_EQ(a[4].get<int>(), 3000 - 209);  // QNH 1021 of the nearest station

    // Ten minutes back the flight does not exist yet; the history holds older snapshots.
    EXPECT_TRUE(call("/v4/traffic", "GUID=" + guid + box.substr(0, box.size() - 1) + "10")["data"].empty());
    server.clock().set(50, false);
    const json history = call("/v4/traffic", "GUID=" + guid + box + "&buffercount=5&buffertime=6");
    ASSERT_EQ(history["data"].size(), 5u);
    EXPECT_DOUBLE_EQ(history["data"]["buffer_0"]["4840d6"][10].get<double>(), kEpoch + 50);
    EXPECT_DOUBLE_EQ(history["data"]["buffer_4"]["4840d6"][10].get<double>(), kEpoch + 26);

    const json parked = call("/v4/traffic", "GUID=" + guid +
                                                "&top=52.36&bottom=52.26&left=4.68&right=4.84&querytype=parkedtraffic&toffset=0");
    EXPECT_EQ(parked["data"]["484161"][2], "D2");

    const json metar = call("/v4/nearestmetar", "GUID=" + guid + "&toffset=0&lat=52.0000&lon=4.4000");
    EXPECT_EQ(metar["data"][0]["ICAO"], "EHRD");
    const json wx = call("/v4/weather", "GUID=" + guid + "&querytype=locwx&toffset=0&lat=52.0&lon=4.4&alt=0&airports=EHAM");
    EXPECT_EQ(wx["data"]["QNH"], 1021);
    EXPECT_EQ(wx["wrrl"], 2500);

    EXPECT_EQ(call("/v4/deauth", "GUID=" + guid)["status"], 200);
    EXPECT_EQ(call("/v4/traffic", "GUID=" + guid + box)["status"], 401);
}

TEST_F(ServiceHttp, StatusOverridesApplyForTheirCountThenTheServiceAnswersAgain) {
    const std::string guid = login();
    control("/control/fault", {{"endpoint", "live"}, {"status", 500}, {"message", "down"}, {"times", 1}});
    control("/control/fault", {{"endpoint", "weather"}, {"httpStatus", 503}, {"body", ""}});

    const json refused = post("/v4/traffic", liveBody(guid));
    EXPECT_EQ(refused["status"], 500);
    EXPECT_EQ(refused["message"], "down");
    EXPECT_EQ(post("/v4/traffic", liveBody(guid))["status"], 200);

    for (int i = 0; i < 2; ++i) {  // without a count the rule stays until cleared
        auto res = client->post("/v4/weather", "GUID=" + guid + "&querytype=locwx&lat=52&lon=4", kForm);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 503);
        EXPECT_TRUE(res->body.empty());
    }
    ASSERT_TRUE(client->del("/control/faults"));
    EXPECT_EQ(post("/v4/weather", "GUID=" + guid + "&querytype=locwx&toffset=0&lat=52&lon=4")["status"], 200);

    auto bad = client->post("/control/fault", R"({"endpoint":"nowhere","status":500})", "application/json");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
}

TEST_F(ServiceHttp, CutRepliesAnnounceMoreThanTheySendAndClose) {
    const std::string guid = login();
    control("/control/fault", {{"endpoint", "live"}, {"cutBytes", 20}, {"times", 1}});
    control("/control/fault", {{"endpoint", "/downloads/11/dbase.enc"}, {"cut", true}, {"times", 1}});

    auto res = client->post("/v4/traffic", liveBody(guid), kForm);
    EXPECT_FALSE(res);
    EXPECT_EQ(post("/v4/traffic", liveBody(guid))["status"], 200);

    // A raw read shows what a client receives: the full length promised, half of it sent.
    standin_http::Client raw("127.0.0.1", port);
    std::string received;
    std::size_t announced = 0;
    auto download = raw.get(
        "/downloads/11/dbase.enc",
        [&](const standin_http::Response& r) {
            announced = std::stoul(r.header("Content-Length"));
            return true;
        },
        [&](const char* data, std::size_t n) {
            received.append(data, n);
            return true;
        });
    EXPECT_FALSE(download);
    EXPECT_EQ(announced, 4004u);
    EXPECT_EQ(received.size(), 2002u);
    EXPECT_EQ(received.substr(0, 4), std::string("\x01\x02\x03\x04", 4));
}

TEST_F(ServiceHttp, StalledReplyHoldsTheClientAndEndsWhenTheServerStops) {
    control("/control/fault", {{"endpoint", "auth"}, {"stallSeconds", 60}});
    standin_http::Client slow("127.0.0.1", port);
    slow.setReadTimeout(std::chrono::milliseconds(300));
    auto res = slow.post("/v4/auth", "license=KEY-1", kForm);
    EXPECT_FALSE(res);  // still waiting when the client gave up

    standin_http::Client waiting("127.0.0.1", port);
    // Only the end of the call is awaited: the stop cuts the stalled reply.
    std::thread caller([&] { static_cast<void>(waiting.post("/v4/auth", "license=KEY-1", kForm)); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (server.requests().snapshot().size() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(server.requests().snapshot().size(), 2u);
    const auto before = std::chrono::steady_clock::now();
    server.stop();
    caller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));
}

TEST_F(ServiceHttp, DownloadsAndEveryRequestAreRecordedDecoded) {
    auto file = client->get("/downloads/11/dbase.enc", standin_http::Headers{{"User-Agent", "Corv"}});
    ASSERT_TRUE(file);
    EXPECT_EQ(file->status, 200);
    EXPECT_EQ(file->body.size(), 4004u);
    auto missing = client->get("/downloads/11/airports.enc");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
    auto escape = client->get("/downloads/%2e%2e/x");
    ASSERT_TRUE(escape);
    EXPECT_EQ(escape->status, 404);
    control("/control/fault", {{"endpoint", "/downloads/versions*"}, {"status", 500}});
    auto failing = client->get("/downloads/versions.json");
    ASSERT_TRUE(failing);
    EXPECT_EQ(failing->status, 500);

    ASSERT_TRUE(client->post("/v4/auth", "license=KEY%2D1+x%26y&software=Corv_P3D_11.9.2", kForm));
    ASSERT_TRUE(client->post("/v3/elsewhere", "a=1", kForm));

    auto res = client->get("/control/requests");
    ASSERT_TRUE(res);
    const json log = json::parse(res->body);
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0]["path"], "/downloads/11/dbase.enc");
    EXPECT_EQ(log[0]["endpoint"], "download");
    EXPECT_EQ(log[0]["userAgent"], "Corv");
    EXPECT_EQ(log[4]["endpoint"], "auth");
    EXPECT_EQ(log[4]["fields"]["license"], "KEY-1 x&y");
    EXPECT_EQ(log[4]["body"], "license=KEY%2D1+x%26y&software=Corv_P3D_11.9.2");
    EXPECT_EQ(log[4]["contentType"], kForm);
    EXPECT_EQ(log[5]["endpoint"], "unknown");

    auto later = client->get("/control/requests?since=4&path=/v4/auth");
    ASSERT_TRUE(later);
    EXPECT_EQ(json::parse(later->body).size(), 1u);
}

TEST(ServiceForm, DecodesFieldsAndKeepsMalformedEscapes) {
    const FormFields f = decodeForm("GUID=a%2Fb%3d&empty=&flag&&x=%G1%4+y%");
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(*formValue(f, "GUID"), "a/b=");
    EXPECT_EQ(*formValue(f, "empty"), "");
    EXPECT_EQ(*formValue(f, "flag"), "");
    EXPECT_EQ(*formValue(f, "x"), "%G1%4 y%");
    EXPECT_EQ(formValue(f, "missing"), nullptr);
    EXPECT_EQ(serviceEndpoint("/v4/traffic", decodeForm("querytype=parkedtraffic&buffercount=5")), "parked");
    EXPECT_EQ(serviceEndpoint("/v4/traffic", decodeForm("querytype=locationtraffic&buffercount=5")), "history");
    EXPECT_EQ(serviceEndpoint("/v4/traffic", decodeForm("querytype=locationtraffic")), "live");
}

}  // namespace
}  // namespace service_standin
