#pragma once
// How long the simulator takes to answer a creation, learned from the answers that come, and so
// how long a creation the simulator client gave up may still be answered: the allowance.
//
// The client gives a creation up when it stays unanswered past its time-out, so that a lost answer
// does not keep a flight out of the simulator for the whole run; a slow simulator answers it all
// the same, later. A creation given up may still be answered while it is younger, from its sending,
// than the slowest answer remembered, half as long again plus ANSWER_SLACK_TICKS: the answers
// remembered are those of the client's memory of creations given up (GIVEN_UP_CREATION_MEMORY),
// the last CREATION_MEMORY_CAPACITY of them at most. A simulator that answers at once has its
// creations given up only when they are lost: the allowance is then the slack. With no answer
// remembered, before the first one or after a quiet spell as long as the memory, the allowance is
// the client's own give-up time (CREATION_GIVE_UP_TIME) from the give-up, so that an answer as
// slow again as the client's wait still counts, or the slowest answer seen in the run with the
// same margin from the sending where that is longer: a creation lost then keeps its aircraft out no
// longer than that, not for the whole memory. Never longer than the memory, since the client
// answers nothing it has forgotten.
//
// What it keeps: the answer times, each with the tick it came at, and the slowest of the run. The creations
// themselves, handed on and given up, are engine/creation_queue's, which tells this unit the time
// of each answer that measures the simulator (gf_learnAnswerTime; an answer that only passes an
// object on measures nothing) and asks it the allowance (gf_answerAllowance) when it decides
// whether a creation given up may still be answered. The allowance is learned as an answer comes,
// and again when an answer time is forgotten, in the once-a-tick step of creation_queue
// (gf_forgetOldAnswers); asking it changes nothing. Worker thread only; everything forgotten at a
// new run.
#include "engine/aircraft_records.hpp"

// A creation was answered, made or refused, this many ticks after it was handed on.
void gf_learnAnswerTime(Tick took);
// How long a creation given up may still be answered: while it is younger, from its sending, than
// afterSending, or from its give-up than afterGivingUp (only with no answer remembered, else 0).
struct AnswerAllowance {
    Tick afterSending = 0;
    Tick afterGivingUp = 0;
};
[[nodiscard]] AnswerAllowance gf_answerAllowance();
// The answer times that have left the memory are forgotten and the allowance learned again (once
// a tick).
void gf_forgetOldAnswers();

// Nothing learned: a new run.
void gf_resetCreationAnswers();
