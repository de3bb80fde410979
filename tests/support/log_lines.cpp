#include "tests/support/log_lines.hpp"

#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.hpp"

namespace corv_test {

std::vector<std::string> fileLines(const std::filesystem::path& file)
{
    std::istringstream in(readFile(file));
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

std::vector<std::string> logLinesAfterHeader(const std::filesystem::path& logFile)
{
    std::vector<std::string> result = fileLines(logFile);
    if (result.empty()) {
        ADD_FAILURE() << logFile << " has no header line";
        return result;
    }
    result.erase(result.begin());
    return result;
}

}  // namespace corv_test
