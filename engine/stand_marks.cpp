#include "engine/stand_marks.hpp"

#include <algorithm>

#include "foundation/status_display.hpp"

Stand* gf_standByNumber(std::uint32_t standNumber)
{
    if (standNumber == 0)
        return nullptr;
    // Numbers are the 1-based places in the list as read; look further only when that fails.
    if (standNumber <= parkStands.size() && parkStands[standNumber - 1].number == standNumber)
        return &parkStands[standNumber - 1];
    const auto found = std::find_if(parkStands.begin(), parkStands.end(),
                                    [standNumber](const Stand& stand) { return stand.number == standNumber; });
    return found == parkStands.end() ? nullptr : &*found;
}

std::string lf_standIdText(std::uint32_t standNumber)
{
    if (standNumber == 0)
        return "sid==0?";
    const Stand* stand = gf_standByNumber(standNumber);
    return stand == nullptr ? "sid==?" : stand->id;
}

void lf_occupyStand(std::uint32_t standNumber)
{
    if (Stand* stand = gf_standByNumber(standNumber))
        stand->occupied = 1;
}

void lf_freeStand(std::uint32_t standNumber)
{
    if (Stand* stand = gf_standByNumber(standNumber))
        stand->occupied = 0;
}

void gf_countLearnedUpdate()
{
    ++learnedUpdateCount;
    const auto shown = static_cast<std::uint64_t>(std::max(learnedUpdateCount, 0));
    if (vald::gf_displaySnapshot().learnedUpdates != shown)
        vald::gf_updateDisplay([shown](vald::StatusDisplayValues& values) { values.learnedUpdates = shown; },
                               vald::LIVE_STATUS_BAND);
}
