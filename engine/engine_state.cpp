#include "engine/engine_state.hpp"

std::atomic<std::int32_t> tickCounter{0};
std::vector<LiveAircraft> liveAircraft;
std::vector<StaticAircraft> staticAircraft;
std::vector<std::uint32_t> addingStack;
CreationQueue liveCreationQueue;
CreationQueue staticCreationQueue;
std::deque<std::uint32_t> removalQueue;
std::mutex intakeMutex;
std::vector<LiveTrafficRecord> intake;
bool intakeOpen = false;
std::atomic<std::int32_t> engineQnh{STANDARD_QNH};
std::vector<std::string> ghostList;
std::list<std::uint32_t> coupledCallsignQueue;
UserAircraftSnapshot engineUserSnapshot;
