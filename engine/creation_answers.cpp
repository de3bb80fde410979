#include "engine/creation_answers.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>

#include "engine/engine_state.hpp"
#include "simlink/sim_records.hpp"

namespace {

// As long as the client remembers a creation given up: no answer comes later.
constexpr Tick ANSWER_MEMORY_TICKS =
    std::chrono::duration_cast<std::chrono::seconds>(GIVEN_UP_CREATION_MEMORY).count() * TICKS_PER_SECOND;
// Answers vary: past the slowest seen by half as long again and this, a creation is lost.
constexpr Tick ANSWER_SLACK_TICKS = 5 * TICKS_PER_SECOND;
// With no answer remembered, a creation given up may be answered for as long again as the client
// waited before it gave up.
constexpr Tick CLIENT_GIVE_UP_TICKS = CREATION_GIVE_UP_TIME.count() * TICKS_PER_SECOND;
constexpr std::uint64_t ANSWER_CAPACITY = CREATION_MEMORY_CAPACITY;

struct Answer {
    std::uint64_t number = 0;  // in the order learned
    Tick answeredAt = 0;
    Tick took = 0;
};

// The answers remembered that may yet be the slowest: each slower than every one learned after it,
// the oldest first. The front is the slowest remembered.
std::deque<Answer> slowest;
std::uint64_t answersLearned = 0;
Tick slowestOfRun = 0;  // 0 before any answer
AnswerAllowance allowance{0, CLIENT_GIVE_UP_TICKS};

void lf_forget(Tick now)
{
    while (!slowest.empty() && (now - slowest.front().answeredAt >= ANSWER_MEMORY_TICKS ||
                                answersLearned - slowest.front().number >= ANSWER_CAPACITY))
        slowest.pop_front();
}

Tick lf_withMargin(Tick took) { return took + took / 2 + ANSWER_SLACK_TICKS; }

void lf_learnAllowance()
{
    if (!slowest.empty()) {
        allowance = AnswerAllowance{std::min(ANSWER_MEMORY_TICKS, lf_withMargin(slowest.front().took)), 0};
        return;
    }
    const Tick slowestSeen = answersLearned > 0 ? lf_withMargin(slowestOfRun) : 0;
    allowance = AnswerAllowance{std::min(ANSWER_MEMORY_TICKS, slowestSeen), CLIENT_GIVE_UP_TICKS};
}

}  // namespace

void gf_learnAnswerTime(Tick took)
{
    const Tick now = tickCounter.load();
    while (!slowest.empty() && slowest.back().took <= took)
        slowest.pop_back();
    slowest.push_back(Answer{++answersLearned, now, took});
    slowestOfRun = std::max(slowestOfRun, took);
    lf_forget(now);
    lf_learnAllowance();
}

AnswerAllowance gf_answerAllowance() { return allowance; }

void gf_forgetOldAnswers()
{
    lf_forget(tickCounter.load());
    lf_learnAllowance();
}

void gf_resetCreationAnswers()
{
    slowest.clear();
    answersLearned = 0;
    slowestOfRun = 0;
    allowance = AnswerAllowance{0, CLIENT_GIVE_UP_TICKS};
}
