#pragma once
// How long the simulator takes to answer a creation, learned from the answers that come, and
// whether a creation the simulator client gave up may still be answered.
//
// The client gives a creation up when it stays unanswered past its time-out, so that a lost answer
// does not keep a flight out of the simulator for the whole run; a slow simulator answers it all
// the same, later. A creation given up may still be answered while it is younger than the slowest
// answer seen within the client's memory of creations given up (GIVEN_UP_CREATION_MEMORY), half as
// long again plus ANSWER_SLACK_TICKS; before any answer has come, for as long as the client
// remembers it. While a creation of a flight or a static given up may still be answered, no other
// creation of that aircraft is handed to the client (gf_handOnCreation holds it back in its queue):
// the late answer, when it comes, is the aircraft's object, and the creation held back is withdrawn
// for it. A creation not answered by then is lost, and the next one of the aircraft goes. A
// simulator that answers at once has its creations given up only when they are lost: nothing is
// held back for longer than the slack.
//
// Who tells it: the creation queue, of each creation handed on; the results drain, of each answer
// in time (made or refused), each creation given up (with its send id) and each late answer (by that
// send id). An answer that only passes an object on is no measure of the time taken. Worker thread
// only; everything forgotten at a new run.
#include <cstdint>

void gf_noteCreationHandedOn(std::uint32_t hexid);
// The oldest creation of the aircraft handed on and not given up was answered; timed: the answer
// measures the simulator's time.
void gf_noteCreationAnswered(std::uint32_t hexid, bool timed);
// The client gave the oldest creation of the aircraft handed on up; its answer will name sendId.
void gf_noteCreationGivenUp(std::uint32_t hexid, std::uint32_t sendId);
// The creation given up with that send id was answered after all (made or refused).
void gf_noteLateAnswer(std::uint32_t hexid, std::uint32_t sendId, bool timed);
// A creation of the aircraft given up may still be answered: no other creation of it goes now.
[[nodiscard]] bool gf_givenUpMayBeAnswered(std::uint32_t hexid);

// Nothing sent, nothing learned: a new run.
void gf_resetCreationAnswers();
