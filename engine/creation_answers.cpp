#include "engine/creation_answers.hpp"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <optional>
#include <vector>

#include "engine/engine_state.hpp"
#include "simlink/sim_records.hpp"

namespace {

// As long as the client remembers a creation given up: no answer comes later.
constexpr Tick ANSWER_MEMORY_TICKS =
    std::chrono::duration_cast<std::chrono::seconds>(GIVEN_UP_CREATION_MEMORY).count() * TICKS_PER_SECOND;
// Answers vary: past the slowest seen by half as long again and this, a creation is lost.
constexpr Tick ANSWER_SLACK_TICKS = 5 * TICKS_PER_SECOND;
constexpr std::size_t SENT_CAPACITY = CREATION_MEMORY_CAPACITY;

struct SentCreation {
    std::uint32_t hexid = 0;
    std::uint32_t sendId = 0;  // known once given up
    Tick sentAt = 0;
};
struct Answer {
    Tick answeredAt = 0;
    Tick took = 0;
};

std::vector<SentCreation> handedOn;  // not answered, not given up; oldest first
std::vector<SentCreation> givenUp;   // given up, not answered
std::vector<Answer> answers;         // within the memory, oldest first

void lf_add(std::vector<SentCreation>& list, SentCreation creation)
{
    if (list.size() >= SENT_CAPACITY)
        list.erase(list.begin());
    list.push_back(creation);
}

// The oldest creation of the list that matches, taken out.
template <typename Match>
std::optional<SentCreation> lf_take(std::vector<SentCreation>& list, Match match)
{
    const auto found = std::find_if(list.begin(), list.end(), match);
    if (found == list.end())
        return std::nullopt;
    const SentCreation taken = *found;
    list.erase(found);
    return taken;
}

void lf_forgetOld(Tick now)
{
    const auto old = [now](Tick at) { return now - at >= ANSWER_MEMORY_TICKS; };
    std::erase_if(answers, [&old](const Answer& answer) { return old(answer.answeredAt); });
    std::erase_if(givenUp, [&old](const SentCreation& creation) { return old(creation.sentAt); });
    std::erase_if(handedOn, [&old](const SentCreation& creation) { return old(creation.sentAt); });
}

void lf_learn(Tick sentAt)
{
    const Tick now = tickCounter.load();
    lf_forgetOld(now);
    if (answers.size() >= SENT_CAPACITY)
        answers.erase(answers.begin());
    answers.push_back(Answer{now, now - sentAt});
}

// How long a creation given up may still be answered, from its sending.
Tick lf_answerAllowance()
{
    if (answers.empty())
        return ANSWER_MEMORY_TICKS;
    Tick slowest = 0;
    for (const Answer& answer : answers)
        slowest = std::max(slowest, answer.took);
    return slowest + slowest / 2 + ANSWER_SLACK_TICKS;
}

}  // namespace

void gf_noteCreationHandedOn(std::uint32_t hexid)
{
    lf_add(handedOn, SentCreation{hexid, 0, tickCounter.load()});
}

void gf_noteCreationAnswered(std::uint32_t hexid, bool timed)
{
    const std::optional<SentCreation> answered =
        lf_take(handedOn, [hexid](const SentCreation& creation) { return creation.hexid == hexid; });
    if (answered && timed)
        lf_learn(answered->sentAt);
}

void gf_noteCreationGivenUp(std::uint32_t hexid, std::uint32_t sendId)
{
    std::optional<SentCreation> creation =
        lf_take(handedOn, [hexid](const SentCreation& sent) { return sent.hexid == hexid; });
    if (!creation)
        return;
    creation->sendId = sendId;
    lf_add(givenUp, *creation);
}

void gf_noteLateAnswer(std::uint32_t hexid, std::uint32_t sendId, bool timed)
{
    const std::optional<SentCreation> answered = lf_take(givenUp, [hexid, sendId](const SentCreation& creation) {
        return creation.hexid == hexid && creation.sendId == sendId;
    });
    if (answered && timed)
        lf_learn(answered->sentAt);
}

bool gf_givenUpMayBeAnswered(std::uint32_t hexid)
{
    const Tick now = tickCounter.load();
    lf_forgetOld(now);
    const Tick allowance = lf_answerAllowance();
    return std::any_of(givenUp.begin(), givenUp.end(), [hexid, now, allowance](const SentCreation& creation) {
        return creation.hexid == hexid && now - creation.sentAt < allowance;
    });
}

void gf_resetCreationAnswers()
{
    handedOn.clear();
    givenUp.clear();
    answers.clear();
}
