#pragma once
// A test's own working folder with Log.txt open in it, for tests that check what was logged.
#include <string>
#include <vector>

#include "foundation/log.hpp"
#include "tests/support/log_lines.hpp"
#include "tests/support/temp_dir.hpp"

namespace corv_test {

class LogCapture {
public:
    LogCapture() : dir_(true) { gf_openLog(); }
    ~LogCapture() { gf_closeLogForTest(); }

    // Closes the log and answers its lines after the header line.
    std::vector<std::string> lines() const
    {
        gf_closeLogForTest();
        return logLinesAfterHeader(dir_ / "Log.txt");
    }

private:
    TempDir dir_;
};

}  // namespace corv_test
