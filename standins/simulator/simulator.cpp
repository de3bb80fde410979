#include "standins/simulator/simulator.hpp"

#include "standins/simulator/client_events.hpp"
#include "standins/simulator/installed_titles.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <numbers>

namespace standin_sim {

namespace {

using nlohmann::json;

// Object type of by-type requests for the user aircraft alone (aircraft: kObjectTypeAircraft).
constexpr std::uint32_t kObjectTypeUser = 0;

namespace period {
constexpr std::uint32_t Never = 0;
constexpr std::uint32_t Once = 1;
constexpr std::uint32_t Second = 4;
}  // namespace period

const char* const kSystemEvents[] = {"SIM", "OBJECTADDED", "OBJECTREMOVED", "FRAME", "POSITIONCHANGED", "FLIGHTLOADED"};

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

double radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

void queue(Session& session, const Bytes& message) {
    session.out.insert(session.out.end(), message.begin(), message.end());
}

bool flightPlanExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) || std::filesystem::is_regular_file(path + ".pln", ec);
}

}  // namespace

SimulatorConfig configForMajorVersion(int major) {
    SimulatorConfig config;
    if (major == 6) {
        config.applicationName = "Lockheed Martin Prepar3D v6";
        config.applicationVersion = {6, 0, 34, 31011};
        config.simConnectVersion = {6, 0, 0, 0};
    }
    return config;
}

Simulator::Simulator(SimulatorConfig config, Journal& journal)
    : config_(std::move(config)), journal_(journal), track_(config_.user.track) {
    SimObject& user = table_.user();
    user.title = config_.user.title;
    user.atcModel = config_.user.model;
    user.atcId = config_.user.atcId;
    user.lightMask = config_.user.lightMask;
    for (const auto& title : config_.refusedTitles) table_.refuseTitle(title);
    nextForeignAt_ = config_.foreignEverySeconds;
    if (!config_.liveryFolders.empty()) table_.setInstalledTitles(readInstalledTitles(config_.liveryFolders));
    updateUser();
}

std::uint32_t Simulator::openSession(const std::string& transport) {
    const std::uint32_t id = nextSessionId_++;
    Session& session = sessions_[id];
    session.id = id;
    session.transport = transport;
    journal_.write("connect", {{"conn", id}, {"transport", transport}});
    return id;
}

Session* Simulator::session(std::uint32_t sessionId) {
    auto it = sessions_.find(sessionId);
    return it == sessions_.end() ? nullptr : &it->second;
}

std::vector<std::uint32_t> Simulator::sessionIds() const {
    std::vector<std::uint32_t> ids;
    for (const auto& [id, session] : sessions_) ids.push_back(id);
    return ids;
}

bool Simulator::receive(std::uint32_t sessionId, std::span<const std::uint8_t> bytes) {
    Session* s = session(sessionId);
    if (s == nullptr) return false;
    s->framer.feed(bytes);
    while (auto packet = s->framer.next()) handlePacket(*s, *packet);
    if (s->framer.broken()) {
        journal_.write("brokenStream", {{"conn", sessionId}, {"reason", s->framer.error()}});
        return false;
    }
    return true;
}

void Simulator::closeSession(std::uint32_t sessionId, const std::string& reason) {
    if (sessions_.erase(sessionId) == 0) return;
    journal_.write("disconnect", {{"conn", sessionId}, {"reason", reason}});
    for (std::uint32_t id : table_.ownedBy(sessionId)) removeObject(id, "ownerClosed");
}

void Simulator::handlePacket(Session& s, const Bytes& packet) {
    auto decoded = decodeRequest(packet);
    if (const auto* bad = std::get_if<MalformedPacket>(&decoded)) {
        journal_.write("malformed", {{"conn", s.id},
                                     {"packet", packetName(bad->header.packetId)},
                                     {"packetId", bad->header.packetId},
                                     {"sendId", bad->header.sendId},
                                     {"size", packet.size()},
                                     {"reason", bad->reason}});
        refuse(s, bad->header, Refusal{exception::Error, bad->index, bad->reason});
        return;
    }
    const Request& request = std::get<Request>(decoded);
    json line = describeRequest(request);
    line["conn"] = s.id;
    // What the request leads to is journalled after the packet itself.
    if (const auto* set = std::get_if<SetDataRequest>(&request.body)) {
        const auto* datums = s.definitions.find(set->defineId);
        const auto unitSize = datums ? fixedUnitSize(*datums) : std::nullopt;
        if (unitSize && *unitSize == set->unitSize) {
            SimObject scratch;
            line["values"] = applyDatums(*datums, std::span(set->data).first(*unitSize), scratch);
        }
    } else if (const auto* event = std::get_if<TransmitClientEventRequest>(&request.body)) {
        auto mapped = s.clientEvents.find(event->eventId);
        if (mapped != s.clientEvents.end()) line["eventName"] = mapped->second;
    }
    journal_.write("packet", std::move(line));
    if (request.header.version != kProtocolVersion) {
        refuse(s, request.header, Refusal{exception::VersionMismatch, 0, "protocol version"});
        return;
    }
    if (!s.opened && request.header.packetId != packet::Open) {
        refuse(s, request.header, Refusal{exception::Unopened, 0, "request before open"});
        return;
    }
    std::visit([&](const auto& body) { handle(s, request.header, body); }, request.body);
}

void Simulator::refuse(Session& session, const PacketHeader& header, const Refusal& refusal) {
    journal_.write("exception", {{"conn", session.id},
                                 {"code", refusal.code},
                                 {"sendId", header.sendId},
                                 {"index", refusal.index},
                                 {"reason", refusal.reason}});
    queue(session, encodeException(refusal.code, header.sendId, refusal.index));
}

void Simulator::handle(Session& s, const PacketHeader&, const OpenRequest& r) {
    s.opened = true;
    s.clientName = r.clientName;
    queue(s, encodeOpen(config_.applicationName, config_.applicationVersion, config_.simConnectVersion));
}

void Simulator::handle(Session& s, const PacketHeader& h, const SubscribeSystemEventRequest& r) {
    const std::string name = upper(r.eventName);
    if (std::find(std::begin(kSystemEvents), std::end(kSystemEvents), name) == std::end(kSystemEvents)) {
        refuse(s, h, Refusal{exception::NameUnrecognized, 2, "unknown system event " + r.eventName});
        return;
    }
    s.systemEvents[name] = r.eventId;
    // "Sim" answers at once with the state of the flight.
    if (name == "SIM") queue(s, encodeEvent(kNoGroup, r.eventId, paused_ ? 0 : 1));
}

void Simulator::handle(Session& s, const PacketHeader& h, const MapClientEventRequest& r) {
    std::string name = knownSimEvent(r.eventName);
    if (name.empty()) {
        refuse(s, h, Refusal{exception::NameUnrecognized, 2, "unknown simulator event " + r.eventName});
        return;
    }
    s.clientEvents[r.eventId] = std::move(name);
}

void Simulator::handle(Session& s, const PacketHeader& h, const AddEventToGroupRequest& r) {
    if (s.clientEvents.count(r.eventId) == 0) {
        refuse(s, h, Refusal{exception::UnrecognizedId, 2, "client event not mapped"});
        return;
    }
    s.eventGroups[r.eventId] = r.groupId;
}

void Simulator::handle(Session& s, const PacketHeader&, const SetGroupPriorityRequest& r) {
    s.groupPriorities[r.groupId] = r.priority;
}

void Simulator::handle(Session& s, const PacketHeader& h, const TransmitClientEventRequest& r) {
    SimObject* object = table_.find(r.objectId);
    if (object == nullptr) {
        refuse(s, h, Refusal{exception::UnrecognizedId, 1, "unknown object"});
        return;
    }
    auto mapped = s.clientEvents.find(r.eventId);
    if (mapped == s.clientEvents.end()) {
        refuse(s, h, Refusal{exception::UnrecognizedId, 2, "client event not mapped"});
        return;
    }
    applySimEvent(mapped->second, r.data, *object);
}

void Simulator::handle(Session& s, const PacketHeader& h, const AddToDataDefinitionRequest& r) {
    if (auto refusal = s.definitions.add(r)) refuse(s, h, *refusal);
}

void Simulator::handle(Session& s, const PacketHeader& h, const RequestDataRequest& r) {
    if (s.definitions.find(r.defineId) == nullptr) {
        refuse(s, h, Refusal{exception::UnrecognizedId, 2, "unknown define id"});
        return;
    }
    const SimObject* object = table_.find(r.objectId);
    if (object == nullptr) {
        refuse(s, h, Refusal{exception::UnrecognizedId, 3, "unknown object"});
        return;
    }
    const StandingRequest request{r.requestId, r.defineId, r.objectId, r.flags};
    // A request id names one request: a new one replaces what stood under it.
    s.everySecond.erase(r.requestId);
    switch (r.period) {
    case period::Never:
        break;
    case period::Once:
        sendObjectData(s, request, message::ObjectData, *object, 1, 1);
        break;
    case period::Second:
        s.everySecond[r.requestId] = request;
        break;
    default:
        refuse(s, h, Refusal{exception::Error, 4, "period not served (never, once or second)"});
    }
}

void Simulator::handle(Session& s, const PacketHeader& h, const RequestDataByTypeRequest& r) {
    if (s.definitions.find(r.defineId) == nullptr) {
        refuse(s, h, Refusal{exception::UnrecognizedId, 2, "unknown define id"});
        return;
    }
    std::vector<const SimObject*> found;
    // Every object here is an aircraft. The simulator would answer "all objects" with its boats,
    // vehicles and buildings mixed in, which this one does not hold; so only a request for aircraft
    // gets them, and a client that asks for another type sees no aircraft.
    if (r.objectType == kObjectTypeUser) {
        found.push_back(&table_.user());
    } else if (r.objectType == kObjectTypeAircraft) {
        found = table_.withinRadius(r.radiusMetres);
    }
    const StandingRequest request{r.requestId, r.defineId, 0, 0};
    for (std::size_t i = 0; i < found.size(); ++i) {
        sendObjectData(s, request, message::ObjectDataByType, *found[i], static_cast<std::uint32_t>(i + 1),
                       static_cast<std::uint32_t>(found.size()));
    }
}

void Simulator::handle(Session& s, const PacketHeader& h, const SetDataRequest& r) {
    const auto* datums = s.definitions.find(r.defineId);
    if (datums == nullptr) {
        refuse(s, h, Refusal{exception::UnrecognizedId, 1, "unknown define id"});
        return;
    }
    SimObject* object = table_.find(r.objectId);
    if (object == nullptr) {
        refuse(s, h, Refusal{exception::UnrecognizedId, 2, "unknown object"});
        return;
    }
    const auto unitSize = fixedUnitSize(*datums);
    if (!unitSize || *unitSize != r.unitSize) {
        refuse(s, h, Refusal{exception::InvalidDataSize, 5, "unit size differs from the definition"});
        return;
    }
    applyDatums(*datums, std::span(r.data).first(*unitSize), *object);
    table_.refreshOnGround(*object);
}

void Simulator::handle(Session& s, const PacketHeader& h, const CreateAircraftRequest& r) {
    // A creation waits behind those held before it: the simulator answers them in order.
    if (config_.creationDelaySeconds > 0 || !heldCreations_.empty()) {
        heldCreations_.push_back(HeldCreation{s.id, h, r, frameClock_});
        return;
    }
    answerCreation(s, h, r);
}

void Simulator::answerDueCreations() {
    while (!heldCreations_.empty() &&
           heldCreations_.front().arrivedAt + config_.creationDelaySeconds <= frameClock_) {
        const HeldCreation held = std::move(heldCreations_.front());
        heldCreations_.pop_front();
        // A client that has gone meanwhile gets nothing.
        if (Session* s = session(held.sessionId)) answerCreation(*s, held.header, held.request);
    }
}

void Simulator::answerCreation(Session& s, const PacketHeader& h, const CreateAircraftRequest& r) {
    const CreationOutcome outcome = table_.createAircraft(r, s.id, h.sendId);
    if (outcome.objectId == 0) {
        journal_.write("refused", {{"conn", s.id}, {"title", r.containerTitle}, {"tailNumber", r.tailNumber},
                                   {"sendId", h.sendId}, {"reason", outcome.refusal}});
        refuse(s, h, Refusal{exception::CreateObjectFailed, 1, outcome.refusal});
        return;
    }
    const SimObject& object = table_.aiObjects().at(outcome.objectId);
    journal_.write("created", {{"conn", s.id},
                               {"objectId", object.id},
                               {"title", object.title},
                               {"atcId", object.atcId},
                               {"sendId", h.sendId},
                               {"lat", object.latitudeDeg},
                               {"lon", object.longitudeDeg},
                               {"altFt", object.altitudeFt},
                               {"onGround", object.onGround}});
    announceObject("OBJECTADDED", object.id);
    queue(s, encodeAssignedObjectId(r.requestId, object.id));
}

SimObject* Simulator::aiTarget(Session& s, const PacketHeader& h, std::uint32_t objectId) {
    SimObject* object = table_.find(objectId);
    if (object == nullptr) {
        refuse(s, h, Refusal{exception::UnrecognizedId, 1, "unknown object"});
        return nullptr;
    }
    if (object->isUser) {
        refuse(s, h, Refusal{exception::InvalidForObjectType, 1, "the user aircraft is not an AI object"});
        return nullptr;
    }
    return object;
}

void Simulator::handle(Session& s, const PacketHeader& h, const ReleaseControlRequest& r) {
    SimObject* object = aiTarget(s, h, r.objectId);
    if (object == nullptr || object->released) return;
    object->released = true;
    journal_.write("released", {{"objectId", object->id}});
}

void Simulator::handle(Session& s, const PacketHeader& h, const RemoveObjectRequest& r) {
    if (aiTarget(s, h, r.objectId) != nullptr) removeObject(r.objectId, "request");
}

void Simulator::handle(Session& s, const PacketHeader& h, const SetFlightPlanRequest& r) {
    SimObject* object = aiTarget(s, h, r.objectId);
    if (object == nullptr) return;
    if (!flightPlanExists(r.path)) {
        refuse(s, h, Refusal{exception::LoadFlightPlanFailed, 2, "no flight plan at " + r.path});
        return;
    }
    object->flightPlanPath = r.path;
    journal_.write("flightPlan", {{"objectId", object->id}, {"path", r.path}});
}

void Simulator::sendObjectData(Session& session, const StandingRequest& request, std::uint32_t messageId,
                               const SimObject& object, std::uint32_t entry, std::uint32_t outOf) {
    const auto* datums = session.definitions.find(request.defineId);
    if (datums == nullptr) return;
    const Bytes data = encodeDatums(*datums, object, datumContext());
    ObjectDataHeader header;
    header.messageId = messageId;
    header.requestId = request.requestId;
    header.objectId = object.id;
    header.defineId = request.defineId;
    header.flags = request.flags;
    header.entryNumber = entry;
    header.outOf = outOf;
    header.defineCount = static_cast<std::uint32_t>(datums->size());
    queue(session, encodeObjectData(header, data));
}

template <typename Encode>
void Simulator::toSubscribers(const std::string& systemEvent, Encode encode) {
    for (auto& [id, session] : sessions_) {
        auto it = session.systemEvents.find(systemEvent);
        if (it != session.systemEvents.end()) queue(session, encode(it->second));
    }
}

void Simulator::sendSystemEvent(const std::string& name, std::uint32_t data) {
    toSubscribers(name, [data](std::uint32_t eventId) { return encodeEvent(kNoGroup, eventId, data); });
}

void Simulator::announceObject(const std::string& eventName, std::uint32_t objectId) {
    toSubscribers(eventName, [objectId](std::uint32_t eventId) {
        return encodeObjectAddRemove(eventId, objectId, kObjectTypeAircraft);
    });
}

void Simulator::removeObject(std::uint32_t objectId, const std::string& reason) {
    if (!table_.remove(objectId)) return;
    journal_.write("removed", {{"objectId", objectId}, {"reason", reason}});
    for (auto& [id, session] : sessions_) {
        std::erase_if(session.everySecond, [objectId](const auto& entry) { return entry.second.objectId == objectId; });
    }
    announceObject("OBJECTREMOVED", objectId);
}

DatumContext Simulator::datumContext() const {
    return DatumContext{table_.groundElevationFt(), zuluFromUnixSeconds(config_.startUtcSeconds + simTime_)};
}

void Simulator::updateUser() {
    const UserPose pose = poseAt(track_, simTime_ - trackStart_);
    SimObject& user = table_.user();
    user.latitudeDeg = pose.point.latitudeDeg;
    user.longitudeDeg = pose.point.longitudeDeg;
    user.altitudeFt = pose.point.altitudeFt;
    user.headingRad = radians(pose.point.headingDeg);
    user.pitchRad = radians(pose.point.pitchDeg);
    user.bankRad = radians(pose.point.bankDeg);
    user.groundSpeedKt = pose.point.groundSpeedKt;
    user.trueAirspeedKt = pose.point.groundSpeedKt;
    user.verticalSpeedFps = pose.verticalSpeedFps;
    user.onGround = pose.point.onGround;
    table_.setGroundElevationFt(pose.point.groundAltitudeFt);
}

void Simulator::frame(double seconds) {
    journal_.setFrames(++frames_);
    frameClock_ += std::max(seconds, 0.0);
    answerDueCreations();
    if (config_.foreignEverySeconds > 0 && frameClock_ >= nextForeignAt_) {
        nextForeignAt_ = frameClock_ + config_.foreignEverySeconds;
        foreignComesAndGoes();
    }
    if (!paused_ && seconds > 0) {
        simTime_ += seconds;
        updateUser();
        table_.advanceAi(seconds);
    }
    const float frameRate = config_.frameRate;
    toSubscribers("FRAME", [frameRate](std::uint32_t eventId) { return encodeFrame(eventId, frameRate, 1.0f); });
    const auto wholeSecond = static_cast<std::int64_t>(std::floor(simTime_));
    if (wholeSecond == lastWholeSecond_) return;
    lastWholeSecond_ = wholeSecond;
    for (auto& [id, session] : sessions_) {
        for (const auto& [requestId, request] : session.everySecond) {
            if (const SimObject* object = table_.find(request.objectId)) {
                sendObjectData(session, request, message::ObjectData, *object, 1, 1);
            }
        }
    }
}

void Simulator::pause() {
    if (paused_) return;
    paused_ = true;
    journal_.write("paused");
    sendSystemEvent("SIM", 0);
}

void Simulator::unpause() {
    if (!paused_) return;
    paused_ = false;
    journal_.write("unpaused");
    sendSystemEvent("SIM", 1);
}

void Simulator::teleport(double latitudeDeg, double longitudeDeg, bool announce) {
    TrackPoint point = poseAt(track_, simTime_ - trackStart_).point;
    point.timeSeconds = 0;
    point.latitudeDeg = latitudeDeg;
    point.longitudeDeg = longitudeDeg;
    point.groundSpeedKt = 0;
    track_ = {point};
    trackStart_ = simTime_;
    updateUser();
    journal_.write("teleport", {{"lat", latitudeDeg}, {"lon", longitudeDeg}, {"announced", announce}});
    if (announce) sendSystemEvent("POSITIONCHANGED", 0);
}

void Simulator::loadFlight(const std::string& fileName) {
    journal_.write("flightLoaded", {{"fileName", fileName}});
    toSubscribers("FLIGHTLOADED", [&fileName](std::uint32_t eventId) { return encodeFileNameEvent(eventId, fileName); });
}

void Simulator::refuseTitle(const std::string& title) {
    table_.refuseTitle(title);
    journal_.write("refuseTitle", {{"title", title}});
}

void Simulator::setCreationDelay(double seconds) {
    config_.creationDelaySeconds = std::max(seconds, 0.0);
    journal_.write("creationDelay", {{"seconds", config_.creationDelaySeconds}});
}

void Simulator::foreignComesAndGoes() {
    const std::uint32_t id = table_.takeForeignId();
    journal_.write("foreign", {{"objectId", id}});
    announceObject("OBJECTADDED", id);
    announceObject("OBJECTREMOVED", id);
}

void Simulator::quit() {
    journal_.write("quit");
    for (auto& [id, session] : sessions_) queue(session, encodeQuit());
}

}  // namespace standin_sim
