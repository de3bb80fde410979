#include "tests/engine/engine_harness.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

#include "engine/engine_hooks.hpp"
#include "engine/engine_state.hpp"
#include "engine/sim_requests.hpp"
#include "engine/traffic_driver.hpp"
#include "foundation/strings.hpp"
#include "foundation/time_slots.hpp"
#include "simlink/sim_queues.hpp"
#include "simlink/sim_state.hpp"

namespace corv_test {

namespace {

constexpr double HISTORY_SECONDS = 30.0;
constexpr int HISTORY_BATCHES = 5;
constexpr double HISTORY_BATCH_SECONDS = 6.0;
constexpr std::uint32_t HISTORY_DELAY_STEP_SECONDS = 6;
constexpr std::uint32_t LIVE_DELAY_SECONDS = 30;
constexpr double STATIC_PITCH_RAD = 0.0122;
constexpr double ON_GROUND_MARGIN_FT = 1.0;
constexpr std::uint32_t FIRST_AI_OBJECT_ID = 3;

// The program clock follows the harness's ticks (whole seconds).
std::atomic<double> harnessClockSeconds{0.0};

UtcSeconds lf_harnessClock() { return static_cast<UtcSeconds>(std::floor(harnessClockSeconds.load())); }

}  // namespace

EngineHarness::EngineHarness(HarnessOptions options) : options_(std::move(options)), random_(options_.seed)
{
    gf_resetSimClientState();
    lf_resetTraffic();
    gf_resetEngineHooks();
    lf_reserveTraffic();
    userObjectId.store(options_.userObjectId);
    // The simulator numbers its AI objects from 3 on, above the user aircraft.
    nextObjectId_ = std::max(options_.userObjectId + 1, FIRST_AI_OBJECT_ID);
    UserAircraftSnapshot user;
    user.latitude = options_.user.lat;
    user.longitude = options_.user.lon;
    user.altitude = options_.userAltitudeFt;
    gf_setUserSnapshot(user);
    gf_setUserOnGround(options_.userOnGround);
    harnessClockSeconds.store(options_.startDataTime);
    gf_setUtcNowForTest(&lf_harnessClock);
    gf_seedThreadRandomEngineForTest(options_.seed);
    gf_setEngineSimRequests(EngineSimRequests{
        [this](std::uint32_t radiusMetres) {
            answerInRange(radiusMetres);
            return true;
        },
        [this](std::uint32_t objectId) {
            answerStaticCg(objectId);
            return true;
        },
        [this](std::uint32_t objectId) {
            const auto object = objects_.find(objectId);
            if (object != objects_.end())
                object->second.events.emplace_back(stepTick_, QueuedClientEvent{objectId, ALL_LIGHTS_TOGGLE, 0});
            return true;
        },
        [this](std::uint32_t objectId, const std::string& path) {
            const auto object = objects_.find(objectId);
            if (object != objects_.end())
                object->second.flightPlan = path;
            return options_.flightPlansTaken;
        }});
    lf_setBufferedIntake(true);
}

EngineHarness::~EngineHarness()
{
    lf_setBufferedIntake(false);
    lf_resetTraffic();
    gf_resetEngineSimRequests();
    gf_resetEngineHooks();
    gf_resetClockForTest();
    gf_resetSimClientState();
}

void EngineHarness::addReports(const std::vector<LiveTrafficRecord>& reports)
{
    reports_.insert(reports_.end(), reports.begin(), reports.end());
    std::stable_sort(reports_.begin() + static_cast<std::ptrdiff_t>(nextReport_), reports_.end(),
                     [](const LiveTrafficRecord& a, const LiveTrafficRecord& b) { return a.dataTime < b.dataTime; });
}

Tick EngineHarness::tick() const { return tickCounter.load(); }

const SimObject* EngineHarness::objectOf(std::uint32_t hexid) const
{
    const SimObject* found = nullptr;
    for (const auto& [objectId, object] : objects_)
        if (object.hexid == hexid)
            found = &object;
    return found;
}

void EngineHarness::adoptObject(std::uint32_t objectId, std::uint32_t hexid)
{
    SimObject object;
    object.objectId = objectId;
    object.hexid = hexid;
    object.createdTick = tick();
    object.madeTick = tick();
    objects_.emplace(objectId, std::move(object));
    nextObjectId_ = std::max(nextObjectId_, objectId + 1);
}

void EngineHarness::run(Tick ticks)
{
    for (Tick i = 0; i < ticks; ++i) {
        const double seconds = static_cast<double>(tick()) / static_cast<double>(TICKS_PER_SECOND);
        harnessClockSeconds.store(options_.startDataTime + seconds);
        if (!historyFed_)
            feedHistory();
        if (seconds - lastPollSeconds_ >= options_.pollSeconds) {
            lastPollSeconds_ = seconds;
            feedLive();
        }
        stepTick_ = tick();
        lf_handleAddingStack();
        if (tick() % TICKS_PER_SECOND == 0 && perSecondStep)
            perSecondStep();
        frame();
    }
}

// Oldest batch first, the oldest playing soonest, as the reader replays its buffers.
void EngineHarness::feedHistory()
{
    historyFed_ = true;
    const double historyStart = options_.startDataTime - HISTORY_SECONDS;
    while (nextReport_ < reports_.size() && reports_[nextReport_].dataTime < historyStart)
        ++nextReport_;
    for (int batch = 0; batch < HISTORY_BATCHES; ++batch) {
        const double end = historyStart + HISTORY_BATCH_SECONDS * (batch + 1);
        std::vector<LiveTrafficRecord> records;
        while (nextReport_ < reports_.size() && reports_[nextReport_].dataTime < end)
            records.push_back(reports_[nextReport_++]);
        lf_scheduleReceived(records, TrafficBatchKind::history,
                            static_cast<std::uint32_t>(batch) * HISTORY_DELAY_STEP_SECONDS);
    }
}

void EngineHarness::feedLive()
{
    const double now = harnessClockSeconds.load();
    std::vector<LiveTrafficRecord> records;
    while (nextReport_ < reports_.size() && reports_[nextReport_].dataTime <= now)
        records.push_back(reports_[nextReport_++]);
    lf_scheduleReceived(records, TrafficBatchKind::live, LIVE_DELAY_SECONDS);
}

// One simulator frame, flushing the send queues as the simulator client does, then the reports
// that have come due.
void EngineHarness::frame()
{
    const Tick now = stepTick_;
    std::vector<CreationRequest> creations;
    {
        std::lock_guard<std::mutex> lock(simSendMutex);
        SimSendQueues& queues = gf_simSendQueues();
        const std::uint32_t user = userObjectId.load();
        for (const PositionSetRecord& record : queues.flushBuffer()) {
            const auto object = objects_.find(record.objectId);
            if (record.objectId > user && object != objects_.end() && object->second.removedTick < 0)
                object->second.positions.emplace_back(now, record.position);
        }
        queues.flushBuffer().clear();
        for (const QueuedClientEvent& event : queues.clientEvents) {
            const auto object = objects_.find(event.objectId);
            if (object != objects_.end())
                object->second.events.emplace_back(now, event);
        }
        queues.clientEvents.clear();
        creations.swap(queues.creations);
        for (const std::uint32_t objectId : queues.removals) {
            const auto object = objects_.find(objectId);
            if (objectId <= user || object == objects_.end() || object->second.removedTick >= 0)
                continue;
            sent_.push_back(SentRecord{now, SentRecord::removal, object->second.hexid, {}, objectId});
            object->second.removedTick = now;
            SimResult removed;
            removed.objectId = objectId;
            removed.kind = SIM_RESULT_OBJECT_REMOVED;
            pending_.push_back(Pending{now + 1, removed});
        }
        queues.removals.clear();
    }
    for (const CreationRequest& request : creations)
        createObject(request);
    giveUpCreations(now);

    std::vector<Pending> due;
    std::erase_if(pending_, [&due, now](const Pending& pending) {
        if (pending.dueTick > now)
            return false;
        due.push_back(pending);
        return true;
    });
    for (Pending& pending : due) {
        SimResult& result = pending.result;
        if (pending.sendId != 0) {
            const auto answered = std::find_if(unanswered_.begin(), unanswered_.end(), [&pending](const Unanswered& u) {
                return u.sendId == pending.sendId;
            });
            const bool late = answered != unanswered_.end() && answered->givenUp;
            if (answered != unanswered_.end())
                unanswered_.erase(answered);
            if (result.objectId != 0)
                objects_.at(result.objectId).madeTick = now;
            if (late && result.kind == SIM_RESULT_CREATION_FAILED) {
                result.kind = SIM_RESULT_LATE_REFUSED;
                result.value2 = pending.sendId;
            } else if (late) {
                result.kind = SIM_RESULT_LATE_CREATED;
                result.value1 = pending.sendId;
            }
        }
        if (result.kind == SIM_RESULT_LIVE_CREATED || result.kind == SIM_RESULT_STATIC_CREATED ||
            result.kind == SIM_RESULT_LATE_CREATED) {
            // The client releases a new aircraft from the simulator's AI and freezes it.
            std::lock_guard<std::mutex> lock(simSendMutex);
            for (const std::uint32_t freeze : {FREEZE_LATITUDE_LONGITUDE_SET, FREEZE_ALTITUDE_SET, FREEZE_ATTITUDE_SET})
                lf_pushClientEvent(QueuedClientEvent{result.objectId, freeze, 1});
        }
        gf_pushSimResult(result);
    }
}

void EngineHarness::createObject(const CreationRequest& request)
{
    const Tick now = stepTick_;
    sent_.push_back(SentRecord{now, SentRecord::creation, request.hexid, request.tailNumber, 0});
    const Tick reportTick = now + (options_.creationAnswerTicks > 0 ? options_.creationAnswerTicks
                                                                    : std::uniform_int_distribution<Tick>(1, 3)(random_));
    SimResult result;
    result.hexid = request.hexid;
    const std::uint32_t sendId = nextSendId_++;
    unanswered_.push_back(Unanswered{sendId, request.hexid, now, false});
    if (options_.firstCreationLost.erase(request.hexid) != 0)
        return;
    const std::string title(request.liveryTitle);
    if (options_.refusedTitles.contains(title)) {
        result.kind = SIM_RESULT_CREATION_FAILED;
        result.value1 = CREATION_TITLE_REFUSED;
        pending_.push_back(Pending{reportTick, result, sendId});
        return;
    }
    SimObject object;
    object.objectId = nextObjectId_++;
    object.hexid = request.hexid;
    object.title = title;
    object.tailNumber = request.tailNumber;
    object.created = request.position;
    object.createdTick = now;
    result.objectId = object.objectId;
    result.kind = request.hexid > LAST_STATIC_HEXID ? SIM_RESULT_LIVE_CREATED : SIM_RESULT_STATIC_CREATED;
    if (result.kind == SIM_RESULT_LIVE_CREATED)
        result.value2 = std::max(0.0, request.position.altitude - options_.terrainElevationFt);
    objects_.emplace(object.objectId, std::move(object));
    pending_.push_back(Pending{reportTick, result, sendId});
}

// The client forgets a creation unanswered too long and tells the engine, naming its send id.
void EngineHarness::giveUpCreations(Tick now)
{
    if (options_.creationGiveUpTicks <= 0)
        return;
    for (Unanswered& creation : unanswered_) {
        if (creation.givenUp || now - creation.sentTick < options_.creationGiveUpTicks)
            continue;
        creation.givenUp = true;
        SimResult failed;
        failed.hexid = creation.hexid;
        failed.kind = SIM_RESULT_CREATION_FAILED;
        failed.value1 = CREATION_NOT_ANSWERED;
        failed.value2 = creation.sendId;
        gf_pushSimResult(failed);
    }
}

// Flat terrain: every object of the program near the user reports its ground and height.
void EngineHarness::answerInRange(std::uint32_t radiusMetres)
{
    ++inRangeRequests_;
    const LatLon user = options_.user;
    for (const auto& [objectId, object] : objects_) {
        if (object.madeTick < 0 || object.removedTick >= 0)
            continue;
        const LatLon at = object.positions.empty()
                              ? LatLon{object.created.latitude, object.created.longitude}
                              : LatLon{object.positions.back().second.lat, object.positions.back().second.lon};
        const double altitude =
            object.positions.empty() ? object.created.altitude : object.positions.back().second.altitude;
        if (gf_distanceNm(user, at) * METRES_PER_NM > radiusMetres)
            continue;
        const double height = std::max(0.0, altitude - options_.terrainElevationFt);
        SimResult near;
        near.objectId = objectId;
        near.kind = SIM_RESULT_FOREIGN_NEAR_GROUND;
        near.hexid = height <= options_.staticCgHeightFt + ON_GROUND_MARGIN_FT ? 1 : 0;
        near.value1 = options_.terrainElevationFt;
        near.value2 = height;
        pending_.push_back(Pending{stepTick_ + 1, near});
    }
}

void EngineHarness::answerStaticCg(std::uint32_t objectId)
{
    SimResult cg;
    cg.objectId = objectId;
    cg.kind = SIM_RESULT_STATIC_CG;
    cg.value1 = options_.staticCgHeightFt;
    cg.value2 = STATIC_PITCH_RAD;
    pending_.push_back(Pending{stepTick_ + 1, cg});
}

}  // namespace corv_test
