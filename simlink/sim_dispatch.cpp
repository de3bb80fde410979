#include "simlink/sim_dispatch.hpp"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "foundation/clock.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/program_id.hpp"
#include "foundation/run_state.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/thread_owner.hpp"
#include "foundation/user_error.hpp"
#include "platform/control_model.hpp"
#include "foundation/status_display.hpp"
#include "simlink/sim_flush.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"
#include "simlink/user_stand.hpp"

using vald::simconnect::RecvId;

namespace {

constexpr std::uint32_t FRAMES_PER_RATE_SAMPLE = 30;
constexpr std::int32_t NEW_FLIGHT_RESTART_SECONDS = 30;
constexpr double FOREIGN_NEAR_GROUND_FT = 2500.0;
constexpr std::size_t CLIENT_QUEUE_CAPACITY = 256;
// Message ids that need no handling (assigned object ids, reserved).
constexpr std::uint32_t RECV_ASSIGNED_OBJECT_ID = 12;
constexpr std::uint32_t RECV_RESERVED = 16;

// Exception codes of the simulator.
enum SimExceptionCode : std::uint32_t {
    EXCEPTION_UNRECOGNIZED_ID = 3,
    EXCEPTION_VERSION_MISMATCH = 5,
    EXCEPTION_TOO_MANY_OBJECTS = 11,
    EXCEPTION_INVALID_DATA_SIZE = 19,
    EXCEPTION_CREATE_OBJECT_FAILED = 22,
    EXCEPTION_LOAD_FLIGHTPLAN_FAILED = 23,
    EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE = 24,
};

// The aircraft-in-range data block: height above ground, ground altitude, SIM ON GROUND, ATC ID.
constexpr std::uint32_t IN_RANGE_ATC_ID_OFFSET = 24;
constexpr std::uint32_t ATC_ID_BYTES = 32;

// More new objects than the simulator can hold at once means descriptions are being lost.
constexpr std::size_t ADDED_OBJECT_CAPACITY = 1000;

// Objects the simulator announced as new and has not described yet, with when they were
// announced (client thread only).
struct AddedObject {
    std::uint32_t objectId = 0;
    SteadyTime announcedAt{};
};
ThreadOwner addedOwner("addedObjects");
std::vector<AddedObject> addedObjects;
std::uint32_t frameCounter = 0;

template <typename T>
void lf_takeOutAt(std::vector<T>& items, std::size_t index)
{
    // Order does not matter here: the last entry moves into the gap.
    items[index] = std::move(items.back());
    items.pop_back();
}

void lf_pushResult(std::uint32_t objectId, std::uint32_t hexid, std::uint32_t kind, double value1 = 0.0,
                   double value2 = 0.0)
{
    SimResult result;
    result.objectId = objectId;
    result.hexid = hexid;
    result.kind = kind;
    result.value1 = value1;
    result.value2 = value2;
    gf_pushSimResult(result);
}

bool lf_containsText(const std::string& text, const char* needle) { return text.find(needle) != std::string::npos; }

// The simulator refused a creation: its title, or for now (no room for another object). One no
// longer pending reaches the engine all the same, as refused late when it had been given up: the
// refusal still stands for its title. When an object had been taken as it, that object was
// another creation's with its tail number: the next one unanswered, which the engine is told of
// by the same key the client matched it with, unless the simulator has removed it since.
void lf_onCreationRefused(std::uint32_t sendId, double why)
{
    std::vector<PendingCreation>& pending = gf_pendingCreations();
    const auto found = std::find_if(pending.begin(), pending.end(),
                                    [sendId](const PendingCreation& entry) { return entry.sendId == sendId; });
    if (found == pending.end()) {
        const std::optional<ForgottenCreation> answered = gf_takeForgottenBySendId(sendId);
        if (!answered)
            return;
        const std::uint32_t hexid = answered->creation.hexid;
        if (hexid != 0 && answered->givenUp)
            lf_pushResult(0, hexid, SIM_RESULT_LATE_REFUSED, why, sendId);
        else if (hexid != 0)
            gf_pushSimResult(gf_creationFailedResult(hexid, why, sendId));
        if (answered->objectId == 0 || hexid <= LAST_STATIC_HEXID)
            return;
        const std::optional<ObjectAnswer> next = gf_creationAnsweredBy(answered->creation.callsign, answered->objectId);
        if (next && next->creation.hexid > LAST_STATIC_HEXID)
            lf_pushResult(answered->objectId, next->creation.hexid, SIM_RESULT_OBJECT_PASSED_ON, next->creation.sendId,
                          next->late ? 1.0 : 0.0);
        return;
    }
    const std::uint32_t hexid = found->hexid;
    lf_takeOutAt(pending, static_cast<std::size_t>(found - pending.begin()));
    if (hexid != 0)
        gf_pushSimResult(gf_creationFailedResult(hexid, why));
}

// When the object was announced, taken out of the list; nothing when it is not listed.
std::optional<SteadyTime> lf_takeAddedObject(std::uint32_t objectId)
{
    addedOwner.assertOwner();
    const auto found = std::find_if(addedObjects.begin(), addedObjects.end(),
                                    [objectId](const AddedObject& added) { return added.objectId == objectId; });
    if (found == addedObjects.end())
        return std::nullopt;
    const SteadyTime announcedAt = found->announcedAt;
    lf_takeOutAt(addedObjects, static_cast<std::size_t>(found - addedObjects.begin()));
    return announcedAt;
}

// A new aircraft is described at once, not by the next look around the user a second later: a
// creation of ours that the simulator removes again at once is then known as ours, and its
// removal hands it back to the engine. Not asked (the link is going): the look around the user
// still describes it.
void lf_askDescription(std::uint32_t objectId)
{
    std::lock_guard<std::mutex> lock(simSendMutex);
    const HANDLE connection = simConnection.load();
    if (connection != nullptr && !simRequestErrorFlag.load())
        (void)SimConnect_RequestDataOnSimObject(connection, SIM_REQUEST_NEW_AIRCRAFT, SIM_DEFINE_AIRCRAFT_IN_RANGE,
                                                objectId, SIM_PERIOD_ONCE, 0, 0, 0, 0);
}

// The data of an aircraft (define 404) from the look around the user or from its description at
// its announcement.
void lf_describeAircraft(std::uint32_t objectId, const SimMessage& data)
{
    const auto heightAboveGround = data.f64(0);
    const auto groundAltitude = data.f64(8);
    const auto onGround = data.i64(16);
    const auto atcId = data.text(IN_RANGE_ATC_ID_OFFSET, ATC_ID_BYTES);
    if (!heightAboveGround || !groundAltitude || !onGround || !atcId) {
        gf_logWarn(vald::format("SimConnect: aircraft data of {} bytes is too short, dropped", data.size()));
        return;
    }
    const auto onGroundFlag = static_cast<std::uint32_t>(*onGround);
    if (lf_takeAddedObject(objectId)) {
        const std::optional<ObjectAnswer> answer = gf_creationAnsweredBy(*atcId, objectId);
        const std::uint32_t hexid = answer ? answer->creation.hexid : 0;
        if (hexid != 0 && answer->late) {
            // Its creation was given up and the flight may have been made again: only the engine
            // knows whether this is still the flight's aircraft or one too many (it logs which).
            lf_releaseAndFreeze(objectId);
            lf_pushResult(objectId, hexid, SIM_RESULT_LATE_CREATED, answer->creation.sendId, *heightAboveGround);
            return;
        }
        if (hexid == 0) {
            gf_log(vald::format("just spawned, but not by {}, oid: {}, callsign '{}', altaboveGnd:{:.0f} ft, "
                                "onground:{}, gnd_alt:{:.0f} ft",
                                PROGRAM_ID, objectId, *atcId, *heightAboveGround, *onGround, *groundAltitude));
            return;
        }
        lf_releaseAndFreeze(objectId);
        if (hexid <= LAST_STATIC_HEXID)
            lf_pushResult(objectId, hexid, SIM_RESULT_STATIC_CREATED);
        else
            lf_pushResult(objectId, hexid, SIM_RESULT_LIVE_CREATED, 0.0, *heightAboveGround);
        return;
    }
    if (*heightAboveGround <= FOREIGN_NEAR_GROUND_FT && !atcId->empty() && atcId->back() != '*')
        lf_pushResult(objectId, onGroundFlag, SIM_RESULT_FOREIGN_NEAR_GROUND, *groundAltitude, *heightAboveGround);
}

bool lf_acceptedVersion(const std::string& versionText)
{
    const std::string installPath = SIM_INSTALL_PATH.value();
    const std::uint32_t major = simMajorVersion.load();
    if (lf_containsText(versionText, "v5") &&
        (lf_containsText(installPath, "v5") || lf_containsText(installPath, "V5") || major == 5))
        return true;
    return lf_containsText(versionText, "v6") &&
           (lf_containsText(installPath, "v6") || lf_containsText(installPath, "V6") || major == 6);
}

}  // namespace

void lf_newFlightStop() { gf_requestStop(closing_reason::NEW_FLIGHT, NEW_FLIGHT_RESTART_SECONDS); }

std::string gf_filteredSimName(const std::string& name)
{
    std::string filtered;
    for (const char c : name) {
        // The character classes are defined for unsigned char values only ("®" is two bytes
        // above 127 in UTF-8).
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) != 0 || std::isspace(u) != 0)
            filtered.push_back(c);
    }
    return filtered;
}

void lf_simDispatch(const std::uint8_t* data, std::uint32_t size, void* /*context*/)
{
    const SimMessage message(data, size);
    const std::optional<std::uint32_t> id = message.id();
    if (!id)
        return;
    switch (static_cast<RecvId>(*id)) {
    case RecvId::exception:
        lf_onSimException(message);
        return;
    case RecvId::open:
        lf_onSimOpen(message);
        return;
    case RecvId::quit:
        simConnected.store(false);
        return;
    case RecvId::event:
        lf_onSimEvent(message);
        return;
    case RecvId::objectAddRemove:
        lf_onSimObjectAddRemove(message);
        return;
    case RecvId::eventFileName:
        gf_logWarn("SimConnect: New file event");
        lf_postLearnUserStand();
        lf_newFlightStop();
        return;
    case RecvId::frame:
        lf_onSimFrame(message);
        return;
    case RecvId::objectData:
        lf_onSimObjectData(message);
        return;
    case RecvId::objectDataByType:
        lf_onSimObjectDataByType(message);
        return;
    }
    if (*id == RECV_ASSIGNED_OBJECT_ID || *id == RECV_RESERVED)
        return;
    gf_log(vald::format("! Unknown Dispatch dwID {}", *id));
}

void lf_onSimException(const SimMessage& message)
{
    const auto exception = vald::simconnect::gf_readException(message);
    if (!exception)
        return;
    switch (exception->exception) {
    case EXCEPTION_UNRECOGNIZED_ID:
        // Expected while a flight loads and at the end of a run; worth a warning otherwise.
        if (gf_userPositionKnown(gf_userSnapshot()) && !stopRequested.load() && !userClosing.load())
            gf_logWarn("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
        return;
    case EXCEPTION_VERSION_MISMATCH:
        throw vald::UserErrorException(95, vald::format("SimConnect Version Mismatch, dwIndex: {}", exception->index));
    case EXCEPTION_TOO_MANY_OBJECTS:
        gf_showStatus("SimConnect: too many objects (max 1000)", true);
        lf_onCreationRefused(exception->sendId, CREATION_SIMULATOR_FULL);
        return;
    case EXCEPTION_INVALID_DATA_SIZE:
        gf_log("SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE");
        return;
    case EXCEPTION_CREATE_OBJECT_FAILED:
        lf_onCreationRefused(exception->sendId, CREATION_TITLE_REFUSED);
        return;
    case EXCEPTION_LOAD_FLIGHTPLAN_FAILED:
        gf_logWarn("SimConnect exception: load flight plan failed");
        return;
    case EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE:
        gf_log("SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE");
        return;
    default:
        gf_logWarn(vald::format("SIMCONNECT_EXCEPTION #{}", exception->exception));
        return;
    }
}

void lf_onSimOpen(const SimMessage& message)
{
    const auto open = vald::simconnect::gf_readOpen(message);
    if (!open)
        return;
    if (open->applicationName.empty()) {
        gf_log("! Simulator name empty?");
        return;
    }
    vald::gf_updateDisplay([](vald::StatusDisplayValues& values) { values.simConnected = true; }, vald::COUNTS_BAND);
    const std::string name = gf_filteredSimName(open->applicationName);
    if (name == "KittyHawk" || name == "SunRise")
        throw vald::UserErrorException(78, name + ", (MSFS) not being P3D connects ... ?");
    const std::string versionText = vald::format("{} ({}.{}.{}.{})", name, open->versionMajor, open->versionMinor,
                                                 open->buildMajor, open->buildMinor);
    gf_log(vald::format("{} connected", versionText));
    vald::gf_updateDisplay([&versionText](vald::StatusDisplayValues& values) { values.simText = versionText; },
                           vald::COUNTS_BAND);
    if (lf_acceptedVersion(versionText)) {
        gf_clearStatus();
        return;
    }
    vald::gf_controls().setEnabled(ALL_INSTALL_PATH.controlId(), true);
    throw vald::UserErrorException(78, vald::format("wrong P3D version '{}' connects ... ?)", versionText));
}

void lf_onSimEvent(const SimMessage& message)
{
    const auto event = vald::simconnect::gf_readEvent(message);
    if (!event)
        return;
    switch (event->eventId) {
    case SIM_EVENT_SIM: {
        const bool running = event->data == 1;
        simConnected.store(running);
        vald::gf_updateDisplay([running](vald::StatusDisplayValues& values) { values.flightRunning = running; },
                               vald::COUNTS_BAND);
        return;
    }
    case SIM_EVENT_POSITION_CHANGED:
        gf_logWarn("User ac position changed");
        lf_newFlightStop();
        return;
    case SIM_EVENT_FLIGHT_LOADED:
        gf_log("SimConnect: flight loaded event");
        lf_postLearnUserStand();
        lf_newFlightStop();
        return;
    default:
        return;
    }
}

void lf_onSimObjectAddRemove(const SimMessage& message)
{
    const auto change = vald::simconnect::gf_readObjectAddRemove(message);
    if (!change || change->objectType != SIM_OBJECT_TYPE_AIRCRAFT)
        return;
    if (change->eventId == SIM_EVENT_OBJECT_ADDED) {
        if (change->objectId <= userObjectId.load())
            return;
        addedOwner.assertOwner();
        if (addedObjects.size() >= ADDED_OBJECT_CAPACITY)
            addedObjects.erase(addedObjects.begin());
        addedObjects.push_back(AddedObject{change->objectId, gf_steadyNow()});
        lf_askDescription(change->objectId);
    } else if (change->eventId == SIM_EVENT_OBJECT_REMOVED) {
        // An object gone before it was described is never described: were it a creation of ours,
        // the flight would wait for an answer that does not come.
        if (const std::optional<SteadyTime> announcedAt = lf_takeAddedObject(change->objectId))
            gf_doubtPendingCreations(*announcedAt, gf_steadyNow());
        gf_forgetRemovedObject(change->objectId);
        lf_pushResult(change->objectId, 0, SIM_RESULT_OBJECT_REMOVED);
    }
}

void lf_onSimFrame(const SimMessage& message)
{
    lf_flushSendQueues();
    gf_ageOutPendingCreations(gf_steadyNow());
    if (++frameCounter < FRAMES_PER_RATE_SAMPLE)
        return;
    frameCounter = 0;
    if (const auto rate = vald::simconnect::gf_readFrameRate(message))
        simFrameRate.store(*rate);
}

void lf_onSimObjectData(const SimMessage& message)
{
    const auto reply = vald::simconnect::gf_readObjectData(message);
    if (!reply)
        return;
    const SimMessage data(reply->data.data(), static_cast<std::uint32_t>(reply->data.size()));
    switch (reply->requestId) {
    case SIM_REQUEST_STATIC_CG: {
        const auto cgHeight = data.f64(0);
        const auto pitch = data.f64(8);
        if (cgHeight && pitch)
            lf_pushResult(reply->objectId, 0, SIM_RESULT_STATIC_CG, *cgHeight, *pitch);
        return;
    }
    case SIM_REQUEST_USER_TITLE:
        lf_onUserTitle(data);
        return;
    case SIM_REQUEST_USER_MODEL:
        lf_onUserModel(data);
        return;
    case SIM_REQUEST_USER_ON_GROUND:
        if (const auto onGround = data.i64(0); onGround && gf_userPositionKnown(gf_userSnapshot()))
            gf_setUserOnGround(*onGround != 0);
        newUserDatum.store(true);
        return;
    case SIM_REQUEST_USER_POSITION:
        lf_onUserPosition(data, reply->objectId);
        return;
    case SIM_REQUEST_NEW_AIRCRAFT:
        if (reply->objectId > userObjectId.load())
            lf_describeAircraft(reply->objectId, data);
        return;
    default:
        return;
    }
}

void lf_onSimObjectDataByType(const SimMessage& message)
{
    const auto reply = vald::simconnect::gf_readObjectData(message);
    if (!reply || reply->requestId != SIM_REQUEST_AIRCRAFT_IN_RANGE || reply->objectId <= userObjectId.load())
        return;
    lf_describeAircraft(reply->objectId, SimMessage(reply->data.data(), static_cast<std::uint32_t>(reply->data.size())));
}

void gf_resetSimDispatchState()
{
    addedOwner.release();
    addedObjects.clear();
    addedObjects.reserve(CLIENT_QUEUE_CAPACITY);
    gf_releasePendingCreations();
    frameCounter = 0;
    gf_resetUserDataState();
}
