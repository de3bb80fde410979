#include "simlink/sim_state.hpp"

#include <cmath>
#include <limits>
#include <mutex>

#include "simlink/sim_queues.hpp"
#include "simlink/user_stand.hpp"

std::atomic<bool> simConnected{false};
std::atomic<bool> simPaused{false};
std::atomic<bool> newUserDatum{false};
std::atomic<bool> simConnectionPending{true};
std::atomic<bool> simRequestErrorFlag{false};
std::atomic<HANDLE> simConnection{nullptr};
std::atomic<std::uint32_t> simMajorVersion{5};
std::atomic<float> simFrameRate{0.0F};
std::atomic<std::int64_t> simUtcSeconds{0};
std::atomic<std::uint32_t> userObjectId{0};
std::atomic<bool> userOnGround{false};
std::atomic<bool> userOnGroundKnown{false};
std::atomic<bool> userWingSpanKnown{false};

namespace {

constexpr std::size_t SIM_RESULT_CAPACITY = 256;

// NaN: the half span is not known.
std::atomic<double> userHalfSpan{std::numeric_limits<double>::quiet_NaN()};

// The snapshot has a mutex of its own: the client thread must not wait for the worker's send
// queues to store a report, and any thread may read it.
std::mutex userSnapshotMutex;
UserAircraftSnapshot userSnapshot;  // guarded by userSnapshotMutex

}  // namespace

std::optional<double> gf_userHalfSpanNm()
{
    const double value = userHalfSpan.load();
    if (std::isnan(value))
        return std::nullopt;
    return value;
}

void gf_setUserHalfSpanNm(std::optional<double> halfSpanNm)
{
    userHalfSpan.store(halfSpanNm.value_or(std::numeric_limits<double>::quiet_NaN()));
}

UserAircraftSnapshot gf_userSnapshot()
{
    std::lock_guard<std::mutex> lock(userSnapshotMutex);
    return userSnapshot;
}

void gf_setUserSnapshot(const UserAircraftSnapshot& snapshot)
{
    std::lock_guard<std::mutex> lock(userSnapshotMutex);
    userSnapshot = snapshot;
    if (userSnapshot.altitude < 0.0)
        userSnapshot.altitude = 0.0;
}

void gf_setUserOnGround(bool onGround)
{
    userOnGround.store(onGround);
    userOnGroundKnown.store(true);
}

void gf_initSimClient(std::uint32_t simMajor)
{
    simMajorVersion.store(simMajor);
    gf_reserveSimSendQueues();
    gf_reserveSimResults(SIM_RESULT_CAPACITY);
    simRequestErrorFlag.store(false);
}

void gf_resetSimClientState()
{
    gf_resetSimSendQueues();
    gf_clearSimResults();
    gf_resetUserStand();
    simConnected.store(false);
    simPaused.store(false);
    newUserDatum.store(false);
    simConnectionPending.store(true);
    simConnection.store(nullptr);
    simFrameRate.store(0.0F);
    simUtcSeconds.store(0);
    userObjectId.store(0);
    userOnGround.store(false);
    userOnGroundKnown.store(false);
    userWingSpanKnown.store(false);
    gf_setUserHalfSpanNm(std::nullopt);
    gf_setUserSnapshot(UserAircraftSnapshot{});
}
