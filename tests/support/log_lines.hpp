#pragma once
// Reading a log back as lines, for tests that check what was logged.
#include <filesystem>
#include <string>
#include <vector>

namespace corv_test {

// The lines of a text file, without their line ends.
std::vector<std::string> fileLines(const std::filesystem::path& file);

// The lines of a log file after its header line. A file without one is a failure of the test.
std::vector<std::string> logLinesAfterHeader(const std::filesystem::path& logFile);

}  // namespace corv_test
