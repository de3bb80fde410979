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
Tick allowance = ANSWER_MEMORY_TICKS;

void lf_forget(Tick now)
{
    while (!slowest.empty() && (now - slowest.front().answeredAt >= ANSWER_MEMORY_TICKS ||
                                answersLearned - slowest.front().number >= ANSWER_CAPACITY))
        slowest.pop_front();
}

void lf_learnAllowance()
{
    if (slowest.empty()) {
        allowance = ANSWER_MEMORY_TICKS;
        return;
    }
    const Tick took = slowest.front().took;
    allowance = std::min(ANSWER_MEMORY_TICKS, took + took / 2 + ANSWER_SLACK_TICKS);
}

}  // namespace

void gf_learnAnswerTime(Tick took)
{
    const Tick now = tickCounter.load();
    while (!slowest.empty() && slowest.back().took <= took)
        slowest.pop_back();
    slowest.push_back(Answer{++answersLearned, now, took});
    lf_forget(now);
    lf_learnAllowance();
}

Tick gf_answerAllowance() { return allowance; }

void gf_forgetOldAnswers()
{
    lf_forget(tickCounter.load());
    lf_learnAllowance();
}

void gf_resetCreationAnswers()
{
    slowest.clear();
    answersLearned = 0;
    allowance = ANSWER_MEMORY_TICKS;
}
