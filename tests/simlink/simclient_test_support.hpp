#pragma once
// Shared pieces of the simulator client's tests: predicates on the simulator stand-in's journal,
// messages built by hand, and a fixture that starts every test from a clean run state with the
// window's lines captured.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "simlink/sim_records.hpp"
#include "simlink/simconnect/simconnect.hpp"
#include "tests/simlink/simconnect_test_peer.hpp"
#include "tests/support/simulator_standin.hpp"

namespace corv_test {

// A predicate for waitForJournal: a packet line of that call.
std::function<bool(const nlohmann::json&)> isPacket(const std::string& name);
// Whether line is a packet of that call with each of the given fields.
bool packetHas(const nlohmann::json& line, const std::string& name, const nlohmann::json& fields);

// One reply to a data request with the definition's data, as message 8 (or 9 for by type).
Bytes objectData(std::uint32_t messageId, std::uint32_t requestId, std::uint32_t objectId, const Bytes& data);
// Hands a message to the dispatch, as the client thread does.
void dispatch(const Bytes& message);

// Every result queued for the engine, in order; the queue is emptied.
std::vector<SimResult> drainResults();

// Waits until done() holds, checking every 10 ms, at most 10 s; whether it held.
bool eventually(const std::function<bool()>& done);

// The window's status and error lines as the simulator link shows them.
struct WindowLines {
    std::mutex mutex;
    std::vector<std::string> status;
    std::vector<std::string> errors;
    int clears = 0;

    bool hasStatus(const std::string& text);
    bool hasError(const std::string& text);
};

// Every test starts from a clean run: no stop requested, the simulator state, queues and
// results of a new run, the window lines captured, folders and registry in a temp folder.
class SimClientTest : public ::testing::Test {
protected:
    SimClientTest();
    ~SimClientTest() override;

    static void resetSimClient();

    SimFolders folders;
    std::shared_ptr<WindowLines> window = std::make_shared<WindowLines>();
};

}  // namespace corv_test
