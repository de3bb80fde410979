#include "engine/stand_marks.hpp"

// Until the park airport's stands are loaded into the engine no number names a stand.
std::string lf_standIdText(std::uint32_t standNumber) { return standNumber == 0 ? "sid==0?" : "sid==?"; }

void lf_freeStand(std::uint32_t) {}
