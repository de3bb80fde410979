#pragma once
// The simulator itself, without sockets: client sessions with their subscriptions, event maps,
// data definitions and standing requests; the object table; the clock that frames advance; and
// the commands of the control channel. The server feeds it bytes and takes its replies.
#include "standins/simulator/data_definitions.hpp"
#include "standins/simulator/journal.hpp"
#include "standins/simulator/messages.hpp"
#include "standins/simulator/object_table.hpp"
#include "standins/simulator/requests.hpp"
#include "standins/simulator/user_track.hpp"
#include "standins/simulator/wire.hpp"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace standin_sim {

struct SimulatorConfig {
    std::string applicationName = "Lockheed Martin Prepar3D v5";
    VersionQuad applicationVersion{5, 3, 17, 28160};
    VersionQuad simConnectVersion{5, 3, 0, 0};
    float frameRate = 40.0f;
    double startUtcSeconds = 0;  // the simulator's UTC at simulator time 0
    UserScript user = defaultUserScript();
    std::vector<std::string> refusedTitles;
    // Folders of installed aircraft: when any is given, only their titles can be created.
    std::vector<std::filesystem::path> liveryFolders;
    // A loaded simulator: creations are answered (made or refused) this many seconds after they
    // arrive, in their order.
    double creationDelaySeconds = 0;
    // Every this many seconds (0: never) an aircraft of another program appears and goes again
    // at once, before any client can ask for its data.
    double foreignEverySeconds = 0;
};

// The configuration of a v5 or a v6 simulator.
SimulatorConfig configForMajorVersion(int major);

struct StandingRequest {
    std::uint32_t requestId = 0, defineId = 0, objectId = 0, flags = 0;
};

struct Session {
    std::uint32_t id = 0;
    std::string transport;
    PacketFramer framer{kHeaderSize, kMaxRequestSize};
    bool opened = false;
    std::string clientName;
    std::map<std::string, std::uint32_t> systemEvents;  // upper-case name -> client event id
    std::map<std::uint32_t, std::string> clientEvents;  // client event id -> simulator event name
    std::map<std::uint32_t, std::uint32_t> eventGroups;  // client event id -> notification group
    std::map<std::uint32_t, std::uint32_t> groupPriorities;
    DefinitionTable definitions;
    std::map<std::uint32_t, StandingRequest> everySecond;  // by request id
    Bytes out;  // messages waiting to be written
};

class Simulator {
public:
    Simulator(SimulatorConfig config, Journal& journal);

    std::uint32_t openSession(const std::string& transport);
    // Takes received bytes; false when the stream is broken and the connection must close.
    [[nodiscard]] bool receive(std::uint32_t sessionId, std::span<const std::uint8_t> bytes);
    // The connection is gone: its AI objects go with it.
    void closeSession(std::uint32_t sessionId, const std::string& reason);
    Session* session(std::uint32_t sessionId);
    std::vector<std::uint32_t> sessionIds() const;

    // One simulator frame of the given length (seconds of the steady clock).
    void frame(double seconds);

    void pause();
    void unpause();
    // Puts the user aircraft at a new place; announce also sends "PositionChanged".
    void teleport(double latitudeDeg, double longitudeDeg, bool announce);
    void loadFlight(const std::string& fileName);
    void refuseTitle(const std::string& title);
    // From now on creations are answered that many seconds after they arrived; those that have
    // waited that long already are answered at the next frame.
    void setCreationDelay(double seconds);
    // An aircraft of another program appears and goes again before it can be described.
    void foreignComesAndGoes();
    // Sends the quit message to every client (the server then closes the connections).
    void quit();

    const ObjectTable& objects() const { return table_; }
    ObjectTable& objects() { return table_; }
    bool paused() const { return paused_; }
    double simTimeSeconds() const { return simTime_; }
    Journal& journal() { return journal_; }

private:
    void handlePacket(Session& session, const Bytes& packet);
    void handle(Session& s, const PacketHeader& h, const OpenRequest& r);
    void handle(Session& s, const PacketHeader& h, const MapClientEventRequest& r);
    void handle(Session& s, const PacketHeader& h, const TransmitClientEventRequest& r);
    void handle(Session& s, const PacketHeader& h, const AddEventToGroupRequest& r);
    void handle(Session& s, const PacketHeader& h, const SetGroupPriorityRequest& r);
    void handle(Session& s, const PacketHeader& h, const AddToDataDefinitionRequest& r);
    void handle(Session& s, const PacketHeader& h, const RequestDataRequest& r);
    void handle(Session& s, const PacketHeader& h, const RequestDataByTypeRequest& r);
    void handle(Session& s, const PacketHeader& h, const SetDataRequest& r);
    void handle(Session& s, const PacketHeader& h, const SubscribeSystemEventRequest& r);
    void handle(Session& s, const PacketHeader& h, const CreateAircraftRequest& r);
    void handle(Session& s, const PacketHeader& h, const ReleaseControlRequest& r);
    void handle(Session& s, const PacketHeader& h, const RemoveObjectRequest& r);
    void handle(Session& s, const PacketHeader& h, const SetFlightPlanRequest& r);

    void refuse(Session& session, const PacketHeader& header, const Refusal& refusal);
    // The AI object of an id for an AI call: refuses unknown ids and the user aircraft.
    SimObject* aiTarget(Session& session, const PacketHeader& header, std::uint32_t objectId);
    void sendObjectData(Session& session, const StandingRequest& request, std::uint32_t messageId,
                        const SimObject& object, std::uint32_t entry, std::uint32_t outOf);
    template <typename Encode>
    void toSubscribers(const std::string& systemEvent, Encode encode);
    void sendSystemEvent(const std::string& name, std::uint32_t data);
    void announceObject(const std::string& eventName, std::uint32_t objectId);
    void answerCreation(Session& s, const PacketHeader& h, const CreateAircraftRequest& r);
    void answerDueCreations();
    void removeObject(std::uint32_t objectId, const std::string& reason);
    void updateUser();
    DatumContext datumContext() const;

    SimulatorConfig config_;
    Journal& journal_;
    ObjectTable table_;
    std::map<std::uint32_t, Session> sessions_;
    std::uint32_t nextSessionId_ = 1;
    bool paused_ = false;
    double simTime_ = 0;
    double trackStart_ = 0;  // simulator time of the script's time 0
    std::vector<TrackPoint> track_;
    std::int64_t lastWholeSecond_ = 0;
    std::uint64_t frames_ = 0;  // sent so far
    // Seconds of frames since the start, paused or not: the clock of the creation delay and of
    // the foreign aircraft.
    double frameClock_ = 0;
    double nextForeignAt_ = 0;
    struct HeldCreation {
        std::uint32_t sessionId = 0;
        PacketHeader header;
        CreateAircraftRequest request;
        double arrivedAt = 0;  // frame clock
    };
    std::deque<HeldCreation> heldCreations_;
};

}  // namespace standin_sim
