#pragma once
// A deterministic stage for the engine: it owns the tick loop, feeds traffic reports through
// lf_scheduleReceived as the traffic reader would (five history batches before the first tick,
// then a live poll every few seconds), calls lf_handleAddingStack every tick and a per-second
// step every 100 ticks, and plays the simulator client and the simulator behind the send and
// result queues. Everything the engine sends is recorded per object.
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/aircraft_records.hpp"
#include "simlink/sim_records.hpp"
#include "traffic/traffic_records.hpp"

namespace corv_test {

struct HarnessOptions {
    double startDataTime = 1'700'000'000.0;  // data time at the first tick; also the program clock
    LatLon user{52.3, 4.76};
    double userAltitudeFt = 0.0;
    bool userOnGround = true;
    std::uint32_t userObjectId = 1;
    double terrainElevationFt = 0.0;  // flat terrain everywhere
    double staticCgHeightFt = 8.0;    // the answer to every centre-of-gravity request
    double pollSeconds = 2.0;         // live polls
    std::uint32_t seed = 7;           // creation delays and the engine's random draws
    std::set<std::string> refusedTitles;
    bool flightPlansTaken = true;  // the simulator's answer to a flight plan
    Tick creationAnswerTicks = 0;  // a loaded simulator answers each creation that late; 0: 1 to 3 ticks
    // The simulator client gives a creation up when unanswered this long (0: never); its answer
    // then reaches the engine as a late one, for the creation's send id.
    Tick creationGiveUpTicks = 0;
    // Flights whose first creation the simulator never answers (an answer lost).
    std::set<std::uint32_t> firstCreationLost;
};

// One object of the simulated simulator.
struct SimObject {
    std::uint32_t objectId = 0;
    std::uint32_t hexid = 0;
    std::string title;
    std::string tailNumber;
    SimInitPosition created;
    Tick createdTick = 0;   // the tick whose step queued the creation
    Tick madeTick = -1;     // from the answer on it is in the simulator; -1 before
    Tick removedTick = -1;  // -1 while it exists
    std::vector<std::pair<Tick, SimPosition>> positions;
    std::vector<std::pair<Tick, QueuedClientEvent>> events;  // queued, and the light toggles sent at once
    std::string flightPlan;  // the path of the plan handed over; empty without one
};

// One thing the simulator client took from the send queues.
struct SentRecord {
    Tick tick = 0;  // the tick whose step queued it
    enum Kind { creation, removal } kind = creation;
    std::uint32_t hexid = 0;     // creations
    std::string tailNumber;      // creations
    std::uint32_t objectId = 0;  // removals
};

class EngineHarness {
public:
    explicit EngineHarness(HarnessOptions options = {});
    ~EngineHarness();
    EngineHarness(const EngineHarness&) = delete;
    EngineHarness& operator=(const EngineHarness&) = delete;

    // Reports to play, any order; those before the start go into the history batches.
    void addReports(const std::vector<LiveTrafficRecord>& reports);
    // Runs ticks of the main loop (the history goes in before the first one).
    void run(Tick ticks);
    Tick tick() const;

    // The run's per-second step (every 100 ticks, after the tick's step). Nothing by default.
    std::function<void()> perSecondStep;

    // An object the simulator already has (an aircraft a test placed as active): from now on its
    // positions and events are recorded like those of created ones.
    void adoptObject(std::uint32_t objectId, std::uint32_t hexid);

    const std::map<std::uint32_t, SimObject>& objects() const { return objects_; }
    const SimObject* objectOf(std::uint32_t hexid) const;
    const std::vector<SentRecord>& sent() const { return sent_; }
    std::size_t inRangeRequests() const { return inRangeRequests_; }

private:
    struct Pending {
        Tick dueTick = 0;
        SimResult result;
        std::uint32_t sendId = 0;  // of a creation: its answer
    };
    struct Unanswered {
        std::uint32_t sendId = 0;
        std::uint32_t hexid = 0;
        Tick sentTick = 0;
        bool givenUp = false;
    };
    void giveUpCreations(Tick now);
    void feedHistory();
    void feedLive();
    void frame();
    void createObject(const CreationRequest& request);
    void answerInRange(std::uint32_t radiusMetres);
    void answerStaticCg(std::uint32_t objectId);

    HarnessOptions options_;
    std::mt19937 random_;
    std::vector<LiveTrafficRecord> reports_;  // by data time
    std::size_t nextReport_ = 0;
    Tick stepTick_ = 0;  // the tick being played
    bool historyFed_ = false;
    double lastPollSeconds_ = 0.0;
    std::uint32_t nextObjectId_ = 0;
    std::map<std::uint32_t, SimObject> objects_;
    std::vector<SentRecord> sent_;
    std::vector<Pending> pending_;
    std::vector<Unanswered> unanswered_;
    std::uint32_t nextSendId_ = 1;
    std::size_t inRangeRequests_ = 0;
};

}  // namespace corv_test
