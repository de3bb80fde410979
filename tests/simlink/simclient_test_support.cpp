#include "foundation/status_sink.hpp"
#include "tests/simlink/simclient_test_support.hpp"

#include <algorithm>

#include "foundation/parameters.hpp"
#include "foundation/run_state.hpp"
#include "platform/control_model.hpp"
#include "foundation/status_display.hpp"
#include "simlink/sim_dispatch.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"
#include "simlink/simlink_hooks.hpp"
#include "simlink/user_stand.hpp"

namespace corv_test {

namespace {

constexpr auto PATIENCE = std::chrono::seconds(30);

}  // namespace

std::function<bool(const nlohmann::json&)> isPacket(const std::string& name)
{
    return [name](const nlohmann::json& line) { return line.value("kind", "") == "packet" && line["packet"] == name; };
}

bool packetHas(const nlohmann::json& line, const std::string& name, const nlohmann::json& fields)
{
    if (line.value("kind", "") != "packet" || line.value("packet", "") != name)
        return false;
    for (const auto& [key, value] : fields.items())
        if (!line.contains(key) || line[key] != value)
            return false;
    return true;
}

std::vector<SimResult> drainResults()
{
    std::vector<SimResult> results;
    gf_drainSimResults([&results](const SimResult& result) { results.push_back(result); });
    return results;
}

bool eventually(const std::function<bool()>& done)
{
    return waitUntil(done, PATIENCE);
}

bool WindowLines::hasStatus(const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex);
    return std::find(status.begin(), status.end(), text) != status.end();
}

bool WindowLines::hasError(const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex);
    return std::find(errors.begin(), errors.end(), text) != errors.end();
}

SimClientTest::SimClientTest()
{
    resetSimClient();
    // The hooks may outlive the test on a thread that ends late: they hold the lines weakly.
    const auto into = [lines = std::weak_ptr<WindowLines>(window)](std::vector<std::string> WindowLines::*list) {
        return [lines, list](const std::string& text, auto...) {
            if (const auto target = lines.lock()) {
                std::lock_guard<std::mutex> lock(target->mutex);
                ((*target).*list).push_back(text);
            }
        };
    };
    StatusSink sink;
    sink.show = into(&WindowLines::status);
    sink.error = into(&WindowLines::errors);
    sink.clear = [lines = std::weak_ptr<WindowLines>(window)] {
        if (const auto target = lines.lock()) {
            std::lock_guard<std::mutex> lock(target->mutex);
            ++target->clears;
        }
    };
    gf_setStatusSink(std::move(sink));
}

SimClientTest::~SimClientTest()
{
    resetSimClient();
}

void SimClientTest::resetSimClient()
{
    stopRequested.store(false);
    userClosing.store(false);
    restartDelaySeconds.store(0);
    closingReason.store(closing_reason::NOT_YET_SET);
    gf_resetSimClientState();
    gf_resetSimDispatchState();
    gf_clearSimResults();
    gf_resetUserStand();
    simRequestErrorFlag.store(false);
    simMajorVersion.store(5);
    SIM_INSTALL_PATH.setValue("");
    gf_resetStatusSink();
    gf_resetSimlinkHooks();
    vald::gf_resetDisplayForTest();
    vald::gf_controls().reset();
}

Bytes objectData(std::uint32_t messageId, std::uint32_t requestId, std::uint32_t objectId,
                                const Bytes& data)
{
    ByteWriter body;
    // request, object, define, flags, entry, out of, count: the data starts at byte 40.
    body.u32(requestId).u32(objectId).u32(0).u32(0).u32(1).u32(1).u32(1);
    Bytes bytes = body.bytes();
    bytes.insert(bytes.end(), data.begin(), data.end());
    return simMessage(messageId, bytes);
}

void dispatch(const Bytes& message)
{
    lf_simDispatch(message.data(), static_cast<std::uint32_t>(message.size()), nullptr);
}

}  // namespace corv_test
