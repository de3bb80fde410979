#pragma once
// The user's key for the traffic service. It lies in the first line of "license.txt" in the
// data folder, or in the file that CORV_SERVICE_KEY_FILE names. The key is a secret: it goes
// into the login request and nowhere else (never into the log, a report or an error text).
#include <filesystem>
#include <optional>
#include <string>

std::filesystem::path gf_serviceKeyPath();

// The key: the first line of the file without surrounding white space (and without a UTF-8 byte
// order mark). None when the file is missing or unreadable or that line is empty.
[[nodiscard]] std::optional<std::string> gf_readServiceKey();
