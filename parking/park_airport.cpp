#include "parking/park_airport.hpp"

#include <cmath>
#include <exception>
#include <filesystem>
#include <mutex>

#include "engine/engine_state.hpp"
#include "engine/removal.hpp"
#include "engine/stand_records.hpp"
#include "engine/stand_search.hpp"
#include "engine/static_neighbours.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameters.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/time_slots.hpp"
#include "parking/learned_file.hpp"
#include "parking/park_download.hpp"
#include "parking/park_file.hpp"
#include "parking/parking_window.hpp"
#include "parking/static_planning.hpp"
#include "simlink/sim_state.hpp"
#include "simlink/user_stand.hpp"
#include "traffic/service_client.hpp"

std::string parkIcao;
AirportRecord parkAirportRecord;
bool softLearningAllowed = false;
std::atomic<bool> parkAirportOpen{false};
std::atomic<bool> parkingBusy{false};
std::atomic<std::int32_t> parkingCountdownMinutes{20};
std::atomic<std::int32_t> maxLiveSelection{0};

namespace {

constexpr std::int32_t PARKING_PERIOD_MINUTES = 20;
constexpr std::int32_t QF_SOFT_LEARNING = 45;
constexpr std::size_t FEW_STANDS = 20;

std::mutex parkAirportMutex;
ParkAirportSnapshot parkAirport;  // guarded by parkAirportMutex
std::string reservedStand;        // guarded by parkAirportMutex

// Worker thread.
bool rebuildRequested = false;
// The park file of the park airport on its way from the download site, and the file it went to
// once it arrived (empty until then).
ParkDownload parkDownload;
std::filesystem::path fetchedParkFile;
LatLon lastUserPosition{0.0, 0.0};
std::string lastAirportWithoutSource;

void lf_setReservedStand(const std::string& stand)
{
    std::lock_guard<std::mutex> lock(parkAirportMutex);
    reservedStand = stand;
}

bool lf_firstIsParkAirport() { return !parkAirports.empty() && !parkIcao.empty() && parkAirports.front().icao == parkIcao; }

LatLon lf_firstPosition() { return LatLon{parkAirports.front().lat, parkAirports.front().lon}; }

double lf_heightAboveGround() { return gf_userSnapshot().altAboveGround; }

bool lf_inSight(double distanceNm)
{
    return distanceNm <= static_cast<double>(AIRP_RANGE.value()) &&
           lf_heightAboveGround() <= static_cast<double>(AIRP_HEIGHT.value());
}

void lf_updateDistances(const LatLon& user)
{
    if (!gf_samePlace(user, lastUserPosition)) {
        lastUserPosition = user;
        if (DESTINATION.value().empty()) {
            for (ParkAirport& airport : parkAirports)
                airport.distance = gf_distanceNm(user, LatLon{airport.lat, airport.lon});
            parkAirports.sort([](const ParkAirport& a, const ParkAirport& b) { return a.distance < b.distance; });
            return;
        }
    }
    parkAirports.front().distance = gf_distanceNm(user, lf_firstPosition());
}

// The user's stand at the park airport goes first into the list and the file.
void lf_rememberStandOfUser()
{
    if (!userOnGroundKnown.load())
        return;
    const std::string name = gf_userStandName();
    if (lf_firstIsParkAirport()) {
        if (name.empty() || name == parkAirports.front().stand)
            return;
        parkAirports.front().stand = name;
    } else {
        parkAirports.push_front({parkIcao, name, parkAirportRecord.lat, parkAirportRecord.lon, 0.0});
    }
    // A failed write is warned by the writer; the list in memory keeps the stand for this session.
    static_cast<void>(lf_writeMyParkAirports());
}

// Planned static aircraft not yet created.
std::size_t lf_plannedPositionsLeft() { return parkPositions.size(); }

// The stands go with the airport: live aircraft at or near them leave with their stand.
void lf_releaseLiveStands()
{
    for (LiveAircraft& live : liveAircraft) {
        const FlightPhase phase = live.phase;
        if (phase != FlightPhase::parked && phase != FlightPhase::pushing_back && phase != FlightPhase::pushed_back &&
            phase != FlightPhase::taxi && phase != FlightPhase::take_off)
            continue;
        live.standLat = 0.0;
        live.standLon = 0.0;
        live.standHeading = 0.0;
        live.standNumber = 0;
        live.cargoStand = false;
        if (live.state == SimState::active || live.state == SimState::adding2sim)
            removeAircraftFromSim(live);
    }
    std::erase_if(liveAircraft, [](const LiveAircraft& live) { return live.dequeued; });
}

enum class ParkFileState { ready, waiting, failed };

// A park file on the download site is fetched beside the worker before it is read: waiting while
// that runs; failed (with the reason) when it failed now or a short while ago.
ParkFileState lf_fetchParkFile(std::string& error)
{
    const std::string name = gf_locateApf(parkIcao);
    if (name.empty() || lf_isLocalApfName(name) || !fetchedParkFile.empty())
        return ParkFileState::ready;  // at hand, or fetched and not read yet
    if (parkDownload.busy() && parkDownload.icao() != parkIcao)
        parkDownload.cancel();
    if (parkDownload.busy()) {
        const std::optional<std::string> outcome = parkDownload.take();
        if (!outcome)
            return ParkFileState::waiting;
        if (outcome->empty()) {
            fetchedParkFile = PARK_AIRPORT_FILE;
            return ParkFileState::ready;
        }
        gf_rememberFailedParkDownload(parkIcao);
        error = *outcome;
        return ParkFileState::failed;
    }
    if (gf_parkDownloadFailedRecently(parkIcao)) {
        error = vald::format("{}: the park file could not be downloaded, next try within {} minutes", parkIcao,
                             FAILED_PARK_DOWNLOAD_MEMORY.count());
        return ParkFileState::failed;
    }
    fetchedParkFile.clear();
    static_cast<void>(parkDownload.start(parkIcao, name, PARK_AIRPORT_FILE));  // not busy here: it starts
    return ParkFileState::waiting;
}

}  // namespace

ParkAirportSnapshot gf_parkAirport()
{
    std::lock_guard<std::mutex> lock(parkAirportMutex);
    return parkAirport;
}

std::string gf_parkAirportIcao()
{
    std::lock_guard<std::mutex> lock(parkAirportMutex);
    return parkAirport.icao;
}

std::string gf_reservedStandName()
{
    std::lock_guard<std::mutex> lock(parkAirportMutex);
    return reservedStand;
}

void lf_forgetParkAirport()
{
    parkIcao.clear();
    parkAirportRecord = AirportRecord{};
    std::lock_guard<std::mutex> lock(parkAirportMutex);
    parkAirport = ParkAirportSnapshot{};
    reservedStand.clear();
}

bool lf_setParkAirport(const std::string& icao)
{
    const AirportRecord* airport = gf_findAirport(icao);
    if (airport == nullptr)
        return false;
    parkAirportRecord = *airport;
    parkIcao = airport->code;
    {
        std::lock_guard<std::mutex> lock(parkAirportMutex);
        parkAirport = ParkAirportSnapshot{airport->code, airport->position(), airport->alt};
    }
    gf_log(vald::format("\nThe park airport is {}", gf_airportLabel(*airport)));
    lf_publishParkBand();
    return true;
}

void lf_startStaticCalculation()
{
    gf_parkLockControls();
    parkingBusy.store(true);
    // The live flights seen meanwhile keep their stands free of statics.
    trafficReader.startCollectingSeen();
    gf_showStatus("Calculating static parked aircraft ...", false);
}

void lf_checkParkAirport(bool immediate)
{
    parkAirportsOwner.assertOwner();
    if (gf_parkControlsLocked() && lf_plannedPositionsLeft() == 0) {
        gf_parkUnlockControls();
        gf_clearStatus();
        gf_staticParkedStats(true);
        lf_parkedStats(true);
    }
    if (rebuildRequested) {
        if (parkDownload.busy() && !parkDownload.ended())
            return;  // the park file is still on its way
        gf_clearStatus();
        rebuildRequested = false;
        lf_rebuildParkedTraffic();
        return;
    }
    const UserAircraftSnapshot snapshot = gf_userSnapshot();
    if (!gf_userPositionKnown(snapshot))
        return;
    const LatLon user{snapshot.latitude, snapshot.longitude};
    if (!parkAirports.empty())
        lf_updateDistances(user);
    if (!parkIcao.empty())
        lf_checkInSight(user);
    else
        lf_checkUserOnGround(user, immediate);
}

void lf_checkUserOnGround(const LatLon& user, bool immediate)
{
    if (!userOnGround.load()) {
        gf_parkEnableControl(DESTINATION, true);
        if (parkAirports.empty())
            return;
        const double d = gf_distanceNm(user, lf_firstPosition());
        if (!lf_inSight(d) || gf_parkSourceFailedRecently(parkAirports.front().icao) ||
            !lf_setParkAirport(parkAirports.front().icao))
            return;
        gf_showStatus(vald::format("{} in sight at {:.1F} nm", parkIcao, d), true);
        rebuildRequested = true;
        lf_startStaticCalculation();
        return;
    }
    const AirportRecord* closest = gf_closestAirport(user);
    if (gf_closestStandsPending())
        return;  // the stands that decide between two airports are on their way: a second later
    if (closest == nullptr) {
        gf_showStatus("User aircraft on the ground, no RT supported airport in sight", true);
        return;
    }
    const std::string icao = closest->code;
    const bool noSource = !gf_hasParkSource(icao);
    if (noSource || gf_parkSourceFailedRecently(icao)) {
        // Said once per airport: the user may wait here for a long time.
        const bool first = icao != lastAirportWithoutSource;
        lastAirportWithoutSource = icao;
        gf_showStatus(noSource ? vald::format("User aircraft on the ground at {}, no airport file found", icao)
                               : vald::format("User aircraft on the ground at {}, its airport file could not be "
                                              "downloaded, next try within {} minutes",
                                              icao, FAILED_PARK_DOWNLOAD_MEMORY.count()),
                      first);
        return;
    }
    lastAirportWithoutSource.clear();
    gf_log(vald::format("User aircraft on the ground at {}", icao));
    if (!lf_setParkAirport(icao))
        return;
    if (immediate) {
        rebuildRequested = false;
        lf_rebuildParkedTraffic();
    } else {
        rebuildRequested = true;
        lf_startStaticCalculation();
    }
}

void lf_checkInSight(const LatLon& user)
{
    if (userOnGround.load())
        return;
    const double d0 = gf_distanceNm(user, parkAirportRecord.position());
    const std::string label = gf_airportLabel(parkAirportRecord);
    if (!lf_inSight(d0)) {
        gf_log(vald::format("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed", gf_clockText(),
                            label, d0));
        lf_resetParkAirport();
        return;
    }
    if (parkAirports.empty() || lf_firstIsParkAirport())
        return;
    const double d1 = gf_distanceNm(user, lf_firstPosition());
    if (lf_inSight(d1) && !(d0 < d1)) {
        gf_log(vald::format("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first",
                            gf_clockText(), parkAirports.front().icao, d1, label));
        lf_resetParkAirport();
    }
}

bool lf_checkReservedStand(bool apply, std::string& message)
{
    parkAirportsOwner.assertOwner();
    if (!lf_readMyParkAirports())
        return false;
    const std::string old = gf_reservedStandName();
    if (apply && userOnGroundKnown.load() && !gf_parkControlsLocked() && lf_firstIsParkAirport() &&
        gf_userStandName().empty() && !parkAirports.front().stand.empty() && parkAirports.front().stand != old) {
        const std::string stand = parkAirports.front().stand;
        message = vald::format("reserved stand changed from '{}' to '{}'", old, stand);
        if (Stand* previous = old.empty() ? nullptr : gf_findStandByName(old))
            previous->reserved = 0;
        lf_setReservedStand(stand);
        lf_clearReservedStand();
        if (Stand* now = gf_findStandByName(stand))
            now->reserved = 1;
        lf_publishParkBand();
    }
    if (message.empty())
        message = "park airports and stands are okay";
    return true;
}

void lf_rememberUserStand(const std::string& stand)
{
    parkAirportsOwner.assertOwner();
    if (stand.empty() || !lf_firstIsParkAirport() || parkAirports.front().stand == stand)
        return;
    parkAirports.front().stand = stand;
    static_cast<void>(lf_writeMyParkAirports());  // as above: a failure is warned by the writer
}

std::string lf_readParkedFile()
{
    parkAirportsOwner.assertOwner();
    parkStands.clear();
    const std::string name = gf_locateApf(parkIcao);
    if (name.empty())
        return vald::format("{} {} not found", "lf_readParkedFile", parkIcao);
    parkApfInfo = ApfInfo{};
    const std::string error = gf_readApf(name, parkApfInfo, parkQuality, fetchedParkFile);
    fetchedParkFile.clear();
    if (error.empty()) {
        softLearningAllowed = parkQuality.first < QF_SOFT_LEARNING || parkStands.size() < FEW_STANDS;
        if (!softLearningAllowed && LEARN_SOFT.value())
            gf_parkSetCheckBox(LEARN_SOFT, false);
        gf_parkEnableControl(LEARN_SOFT, softLearningAllowed);
        lf_rememberStandOfUser();
        parkStands.shrink_to_fit();
        const bool listed = lf_firstIsParkAirport() && !parkAirports.front().stand.empty();
        Stand* reserved = listed ? gf_findStandByName(parkAirports.front().stand) : nullptr;
        lf_setReservedStand(reserved != nullptr ? reserved->id : std::string());
    }
    learnedUpdateCount = 0;
    lf_publishParkBand();
    return error;
}

bool gf_parkRebuildPending() { return rebuildRequested || gf_closestStandsPending(); }

void lf_rebuildParkedTraffic()
{
    // The parked traffic that the plan starts from is asked for beside the park file.
    const bool parkedIn = MAX_PARK_SEL.value() <= 0 || lf_parkedTrafficIn();
    std::string error;
    const ParkFileState state = lf_fetchParkFile(error);
    if (state == ParkFileState::waiting || (state == ParkFileState::ready && !parkedIn)) {
        rebuildRequested = true;  // looked at again each second until both are here
        return;
    }
    if (state == ParkFileState::ready) {
        try {
            error = lf_readParkedFile();
        } catch (const std::exception& e) {
            // A park file the user must mend (a repeated stand, no altitude) closes this airport only.
            error = e.what();
        }
    }
    if (!error.empty()) {
        gf_parkUnlockControls();
        gf_showStatus(error, true);
        lf_closeParkAirport();
    } else {
        parkingCountdownMinutes.store(PARKING_PERIOD_MINUTES);
        lf_buildParkPositions();
    }
    gf_parkEnableControl(DESTINATION, true);
}

void lf_stopParkFileDownload()
{
    parkDownload.cancel();
    fetchedParkFile.clear();
    lf_stopParkedTrafficFetch();
}

void lf_closeParkAirport()
{
    lf_stopParkFileDownload();
    if (parkAirportOpen.load()) {
        try {
            // A save that fails or is refused says so on the status line itself.
            static_cast<void>(lf_saveLearnedApf());
        } catch (const std::exception& e) {
            gf_showStatus(vald::format("Learned stands of {} not saved: {}", parkIcao, e.what()), true);
        }
    }
    parkAirportOpen.store(false);
    if (!INITIAL_LOAD_ONLY.value())
        gf_parkEnableControl(BUTTON_NOW, false);
    rtTrafficWeek = 0;
    gf_parkEnableControl(BUTTON_FLUSH_STATIC, false);
    gf_parkEnableControl(parking_percentage, false);
    trafficReader.setParkElevationFt(std::nullopt);
    lf_forgetParkAirport();
    parkRemovals.clear();
    parkPositions.clear();
    gf_resetStandRecords();
    lf_publishParkBand();
}

void lf_resetParkAirport()
{
    parkPositions.clear();
    lf_sweepStaticAircraft();
    lf_releaseLiveStands();
    lf_closeParkAirport();
    const std::int32_t chosen = maxLiveSelection.load();
    if (MAX_LIVE_SEL.value() != chosen) {
        MAX_LIVE_SEL.setValue(chosen);
        gf_setIntParamText(MAX_LIVE_SEL);
        lf_limitLiveCount();
    }
}

void gf_resetParkAirportForTest()
{
    lf_stopParkFileDownload();
    gf_stopClosestStandDownload();
    gf_forgetFailedParkDownloads();
    lf_forgetParkAirport();
    parkAirportOpen.store(false);
    parkingBusy.store(false);
    rebuildRequested = false;
    lastUserPosition = LatLon{0.0, 0.0};
    lastAirportWithoutSource.clear();
    softLearningAllowed = false;
    parkAirports.clear();
    parkAirportsOwner.release();
    gf_resetStaticPlanningForTest();
    gf_resetStaticParking();
    gf_resetStandRecords();
}
