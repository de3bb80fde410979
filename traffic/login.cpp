#include "traffic/login.hpp"

#include <stdexcept>

#include "foundation/status_sink.hpp"
#include "foundation/format.hpp"
#include "foundation/run_state.hpp"
#include "foundation/json_input.hpp"
#include "foundation/log.hpp"
#include "foundation/program_id.hpp"
#include "foundation/time_slots.hpp"
#include "foundation/user_error.hpp"
#include "traffic/service_key.hpp"
#include "traffic/traffic_hooks.hpp"

using nlohmann::json;

namespace {

constexpr const char* SECOND_SESSION_TEXT =
    "More than one RealTraffic session is not possible, do not run the RealTraffic app";
constexpr std::int32_t SECOND_SESSION_WAIT_MS = 10000;

// The key must never reach the log, not even inside a parser's message about the reply.
std::string lf_withoutKey(std::string text, std::string_view key)
{
    if (key.empty())
        return text;
    for (const std::string& form : {std::string(key), vald::gf_formEscape(key)}) {
        for (std::size_t at = text.find(form); at != std::string::npos; at = text.find(form, at + 3))
            text.replace(at, form.size(), "***");
    }
    return text;
}

}  // namespace

bool RtApiClient::takeLoginReply(std::uint32_t& status)
{
    if (vald::gf_jsonNestsDeeperThan(replyBuffer, vald::MAX_JSON_DEPTH))
        throw std::runtime_error("the reply nests too deeply");
    const json reply = json::parse(replyBuffer);
    if (!reply.is_object())
        throw std::runtime_error("the reply is no JSON object");
    // Only an integer status can refuse the login; any other status, or none, is accepted.
    const auto statusMember = reply.find("status");
    if (statusMember != reply.end() && statusMember->is_number_integer()) {
        const std::int64_t value = statusMember->get<std::int64_t>();
        if (value == 400 || value == 405 || value == 500) {
            status = static_cast<std::uint32_t>(value);
            return false;
        }
    }
    rrl.store(gf_replyInterval(reply, "rrl"));
    wrrl.store(gf_replyInterval(reply, "wrrl"));
    const auto server = reply.find("server");
    const bool serverNamed = server != reply.end() && server->is_string();
    gf_log(vald::format("\nAuthenticated at RT server '{}'",
                        serverNamed ? vald::gf_quoted(server->get_ref<const std::string&>()) : "?"));
    const auto session = reply.find("GUID");
    guid = session != reply.end() && session->is_string() ? session->get<std::string>() : "empty GUID?";
    gf_trafficHooks()->setAuthenticated(true);
    sleepPlain(wrrl.load());
    return true;
}

bool RtApiClient::authenticate(std::uint32_t& status, std::string_view serviceKey)
{
    try {
        replyBuffer.clear();
        const std::string body = gf_loginBody(serviceKey);
        const vald::HttpOutcome outcome = postRequest(aucurl_, API_AUTH_PATH, body, replyBuffer);
        if (!outcome.ok()) {
            gf_log(vald::format("{} Authentication failed: {}", gf_timeText(gf_utcNow()), outcome.errorText));
            return false;
        }
        if (replyBuffer.empty()) {
            gf_log("Authentication: empty response");
            return false;
        }
        return takeLoginReply(status);
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{}: {}", "authenticate", vald::gf_quoted(lf_withoutKey(e.what(), serviceKey))));
        sleepPlain(wrrl.load());
        return false;
    }
}

void RtApiClient::deauthenticate()
{
    try {
        replyBuffer.clear();
        const std::string body = gf_logoutBody(guid);
        const vald::HttpOutcome outcome = postRequest(aucurl_, API_DEAUTH_PATH, body, replyBuffer);
        if (!outcome.ok()) {
            gf_log(vald::format("{} Deauthentication failed: {}", gf_timeText(gf_utcNow()), outcome.errorText));
            return;
        }
        if (replyBuffer.empty()) {
            gf_log("Deauthentication: empty response");
            return;
        }
        const json reply = vald::gf_parseJsonOrDiscarded(replyBuffer);
        if (reply.is_discarded()) {
            gf_log("Deauthentication: invalid JSON");
            return;
        }
        const std::int32_t status = gf_replyStatus(reply);
        if (status != 200) {
            gf_logWarn(vald::format("Deauthentication failed, status: {}", status));
            return;
        }
        gf_trafficHooks()->setAuthenticated(false);
        guid.clear();
        gf_log(vald::format("{} RT server '{}'", gf_replyText(reply, "message"), gf_replyText(reply, "server")));
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("{}: {}", "deauthenticate", e.what()));
    }
}

void gf_runAuthenticater(WeatherReader& weather, TrafficReader& traffic)
{
    const std::optional<std::string> serviceKey = gf_readServiceKey();
    if (!serviceKey)
        throw vald::UserErrorException(
            USER_ERROR_NO_SERVICE_KEY,
            vald::format("No RealTraffic license key found: write your key into {} and restart {}",
                         gf_serviceKeyPath().string(), PROGRAM_ID));

    gf_showStatus("Waiting for authentication at RT server ...", true);
    gf_log("\n");

    std::uint32_t status = 0;
    if (weather.authenticate(status, *serviceKey)) {
        gf_clearStatus();
        traffic.guid = weather.guid;
        return;
    }
    if (status == 405) {
        gf_showStatus(SECOND_SESSION_TEXT, true);
        weather.sleepPlain(SECOND_SESSION_WAIT_MS);
        throw vald::UserErrorException(405, SECOND_SESSION_TEXT);
    }
    if (status == 500)
        throw std::runtime_error("No RT database connection");
    gf_showStatus(vald::format("The {} has stopped with an error", "Authenticater"), true);
    gf_requestStop(closing_reason::READER_ERROR, READER_ERROR_RESTART_SECONDS);
    gf_clearStatus();
    traffic.guid = weather.guid;
}
