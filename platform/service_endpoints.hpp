#pragma once
// Where the program's two web peers live: the traffic service's API and the maker's download
// site. Both are fixed here and can be moved with an environment variable (CORV_API_BASE,
// CORV_DOWNLOAD_BASE), which is how the tests and the demo point them at the stand-ins on
// loopback. Read anew on every call.
#include <string>

namespace vald {

inline constexpr const char* DEFAULT_API_BASE = "https://rtw.flyrealtraffic.com";
inline constexpr const char* DEFAULT_DOWNLOAD_BASE = "https://downloads.corvalen.net";

// The base URL without a trailing "/", e.g. "https://host" or "http://127.0.0.1:8080".
// Throws std::invalid_argument when the configured value may not be used (not https, and plain
// http to a host that is not a loopback address; see gf_urlRefusal).
std::string gf_apiBaseUrl();
std::string gf_downloadBaseUrl();

}  // namespace vald
