#pragma once
// The exception for conditions the user must act on, and the three-number version value.
#include <stdexcept>
#include <string>

namespace vald {

// Carries a number (one per throw site) inside its text "number: message". The number 99 marks
// a message that is shown as it is.
class UserErrorException : public std::runtime_error {
public:
    UserErrorException(int errorNumber, const std::string& message);
};

}  // namespace vald

// major.minor.patch. Reads "a.b.c" (any single character between the numbers) or a JSON object
// with "major", "minor" and "patch"; never throws: what cannot be read stays 0 and is logged.
struct VersionData {
    int major = 0;
    int minor = 0;
    int patch = 0;

    explicit VersionData(const std::string& text);
    VersionData(int majorNumber, int minorNumber, int patchNumber)
        : major(majorNumber), minor(minorNumber), patch(patchNumber) {}
};
