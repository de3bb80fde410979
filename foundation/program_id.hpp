#pragma once
// Who we are: the identifier used as window title, client name and log header, our version and
// the simulator we serve.
#include "foundation/user_error.hpp"

inline constexpr const char* PROGRAM_ID = "Corv_P3D";
inline constexpr const char* PROGRAM_VERSION_TEXT = "11.9.2";
inline constexpr const char* SIMULATOR_TEXT = "Prepar3D v5/v6";

// The program's own version, parsed once from PROGRAM_VERSION_TEXT.
const VersionData& gf_programVersion();
