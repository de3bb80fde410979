#include "engine/static_parking_step.hpp"

bool lf_plannedParkPositionsRemain() { return false; }

void lf_parkStaticNext() {}

std::int64_t wantedParkCount = 0;
