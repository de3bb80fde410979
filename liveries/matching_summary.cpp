#include "liveries/matching_summary.hpp"

#include <algorithm>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/status_sink.hpp"
#include "foundation/strings.hpp"
#include "foundation/user_error.hpp"
#include "liveries/livery_choice.hpp"

std::vector<std::string> failedLiveryTitles;
std::unordered_set<std::string> failedLiveryKeys;
std::unordered_set<std::string> unmatchedLiveryKeys;

namespace {

constexpr int ERROR_TOO_MANY_REFUSED = 81;
constexpr const char* SIM_SHORT_NAME = "P3D";
constexpr std::int64_t BANNER_WIDTH = 100;

struct TitleHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
// The refused titles as a set, for the choice's look-ups by view.
std::unordered_set<std::string, TitleHash, std::equal_to<>> refusedTitles;

}  // namespace

void gf_liveryNotCreated(const FlightIdentity& flight, const std::string& title)
{
    if (gf_stopPending())
        return;
    gf_showStatus(vald::format("{} '{}' could not be created by your Sim!", flight.callsign, title), true);
    failedLiveryTitles.push_back(title);
    refusedTitles.insert(title);
    failedLiveryKeys.insert(flight.type + " " + flight.airline);
    if (failedLiveryTitles.size() < MAX_REFUSED_LIVERIES)
        return;
    const std::string message =
        vald::format("There are too many liveries that could not be created by {}!", SIM_SHORT_NAME);
    gf_log(vald::format("\n{}Error 81, {}\n", "===> ", message));
    throw vald::UserErrorException(ERROR_TOO_MANY_REFUSED, vald::format("{}, see Log.txt", message));
}

bool gf_isRefusedLivery(std::string_view title)
{
    return !refusedTitles.empty() && refusedTitles.find(title) != refusedTitles.end();
}

std::vector<std::string> lf_failedLiveryLines()
{
    std::vector<std::string> lines;
    lines.reserve(failedLiveryKeys.size());
    for (const std::string& key : failedLiveryKeys)
        lines.push_back("  " + key);
    return lines;
}

void gf_logUnmatched()
{
    if (unmatchedLiveryKeys.empty())
        return;
    gf_log("\nNo match found for:");
    for (const std::string& key : unmatchedLiveryKeys)
        gf_log(key);
    gf_log("");
}

void gf_liveryMatchingSummary()
{
    if (std::all_of(matchStepCounters.begin(), matchStepCounters.end(), [](std::int32_t n) { return n == 0; }))
        return;
    std::vector<std::string> lines;
    lines.push_back(gf_bannerLine(BANNER_WIDTH, 0, true, false, "live traffic livery matching summary"));
    lines.push_back("Matches at step: ");
    for (std::size_t step = 0; step < matchStepCounters.size(); ++step)
        lines.push_back(vald::format("  {}: {}", step, matchStepCounters[step]));
    if (!failedLiveryKeys.empty()) {
        lines.push_back(vald::format("\nCould not be created by {}:", SIM_SHORT_NAME));
        for (std::string& line : lf_failedLiveryLines())
            lines.push_back(std::move(line));
    }
    lines.push_back(gf_bannerLine(BANNER_WIDTH, 0, false, false, ""));
    for (const std::string& line : lines)
        gf_log(line);
}

void gf_resetMatchingSummaryForTest()
{
    failedLiveryTitles.clear();
    failedLiveryKeys.clear();
    unmatchedLiveryKeys.clear();
    refusedTitles.clear();
}
