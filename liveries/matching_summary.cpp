#include "liveries/matching_summary.hpp"

// No livery is matched until the livery choice is in place, so there is nothing to report.
void gf_logUnmatched() {}

void gf_liveryMatchingSummary() {}
