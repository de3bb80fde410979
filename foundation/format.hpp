#pragma once
// Brace-style formatting ("{}", "{:8}", "{:.1F}") for the whole program. Everything formats
// through these names, so a later move to std::format changes only this header.
#include <fmt/format.h>

namespace vald {
using fmt::format;
using fmt::format_string;
using fmt::format_to;
using fmt::vformat;
using fmt::make_format_args;
}  // namespace vald
