#include "platform/service_endpoints.hpp"

#include <cstdlib>
#include <stdexcept>

#include "platform/http.hpp"

namespace vald {

namespace {

std::string lf_baseUrl(const char* variable, const char* fallback)
{
    const char* configured = std::getenv(variable);
    std::string base = configured != nullptr && *configured != '\0' ? configured : fallback;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    if (std::optional<std::string> refusal = gf_urlRefusal(base))
        throw std::invalid_argument(std::string(variable) + ": " + *refusal);
    return base;
}

}  // namespace

std::string gf_apiBaseUrl() { return lf_baseUrl("CORV_API_BASE", DEFAULT_API_BASE); }

std::string gf_downloadBaseUrl() { return lf_baseUrl("CORV_DOWNLOAD_BASE", DEFAULT_DOWNLOAD_BASE); }

}  // namespace vald
