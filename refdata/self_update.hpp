#pragma once
// The start-up check against the download site's versions.json (first run of each process only):
// a newer program release is downloaded, unpacked into the folder new_version and offered to the
// user, and the run ends with the closing reason NEW VERSION; newer encrypted data files are
// downloaded into input; a newer liveries or add-on scan version ticks the flag that makes the
// next start-up rescan; the version parameters record what is installed now. Every step logs
// what it did; the user is never asked to decide anything.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/user_error.hpp"

// What the update needs of the window, registered by the application at start. A member left
// empty keeps its current value. Defaults: openContainingFolder opens the file's folder in the desktop's file browser; messageBox logs
// "caption: text" as a warning.
struct UpdateHooks {
    std::function<bool(const std::filesystem::path& file)> openContainingFolder;
    std::function<void(const std::string& text, const std::string& caption)> messageBox;
};

void gf_registerUpdateHooks(UpdateHooks hooks);
// A copy of the current hooks; every member is callable.
UpdateHooks gf_updateHooks();
// Back to the defaults (tests).
void gf_resetUpdateHooks();

// "major.minor.patch", e.g. 11.9.2.
std::string gf_versionText(const VersionData& version);
// a is newer than b: major decides, then minor, then patch (numerically).
bool gf_versionGreater(const VersionData& a, const VersionData& b);

// The whole check, run in the program folder (the current directory). False only when a program
// update was prepared and the stop with NEW VERSION requested; true in every other case, failed
// downloads included. Throws for a versions.json that is no valid JSON or whose version members
// are not objects of three 32-bit integers, when versions.json cannot be removed, and when the
// folder new_version cannot be examined or created.
[[nodiscard]] bool gf_checkVersions();

// The log lines of the check; key is the versions.json member ("aig updated to 1.4.0").
void lf_logUpdated(std::string_view key, const VersionData& version);
void lf_logUpToDate(std::string_view key);
void lf_logVersionNotFound(std::string_view key);
