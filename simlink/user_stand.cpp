#include "simlink/user_stand.hpp"

#include <mutex>
#include <optional>
#include <utility>

#include "foundation/geodesy.hpp"
#include "foundation/status_display.hpp"
#include "simlink/sim_state.hpp"
#include "simlink/simlink_hooks.hpp"

namespace {

// A user aircraft slower than this stands at its stand.
constexpr double STANDING_STILL_KT = 2.0;

std::mutex userStandMutex;
// All guarded by userStandMutex.
bool lookupPending = false;
std::optional<LatLon> learnPosition;
std::string publishedStand;

}  // namespace

void lf_postUserStandLookup()
{
    std::lock_guard<std::mutex> lock(userStandMutex);
    lookupPending = true;
}

void lf_postLearnUserStand()
{
    if (!userOnGroundKnown.load())
        return;
    const UserAircraftSnapshot user = gf_userSnapshot();
    if (user.groundSpeed > STANDING_STILL_KT)
        return;
    std::lock_guard<std::mutex> lock(userStandMutex);
    learnPosition = LatLon{user.latitude, user.longitude};
}

void gf_serveUserStand()
{
    bool lookup = false;
    std::optional<LatLon> learn;
    {
        std::lock_guard<std::mutex> lock(userStandMutex);
        lookup = std::exchange(lookupPending, false);
        learn = std::exchange(learnPosition, std::nullopt);
    }
    const auto hooks = gf_simlinkHooks();
    if (lookup) {
        const UserAircraftSnapshot user = gf_userSnapshot();
        std::string name = hooks->standNameAt(LatLon{user.latitude, user.longitude});
        bool changed = false;
        {
            std::lock_guard<std::mutex> lock(userStandMutex);
            changed = name != publishedStand;
            publishedStand = name;
        }
        // An empty name puts back the window's text for "no stand".
        if (changed)
            vald::gf_updateDisplay([&name](vald::StatusDisplayValues& values) { values.userStand = name; },
                                   vald::COUNTS_BAND);
    }
    if (learn) {
        const std::string stand = hooks->standNameAt(*learn);
        if (!stand.empty())
            hooks->rememberUserStand(stand);
    }
}

std::string gf_userStandName()
{
    // An aircraft that left the ground stands nowhere, whatever the last lookup found.
    if (!userOnGround.load())
        return std::string();
    std::lock_guard<std::mutex> lock(userStandMutex);
    return publishedStand;
}

void gf_resetUserStand()
{
    std::lock_guard<std::mutex> lock(userStandMutex);
    lookupPending = false;
    learnPosition.reset();
    publishedStand.clear();
}
