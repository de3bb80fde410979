#pragma once
// Helpers shared by all test executables: a private temporary folder (optionally the current
// directory while it lives), environment overrides, and small file helpers.
#include <filesystem>
#include <optional>
#include <string>

namespace corv_test {

class TempDir {
public:
    // Creates a fresh folder under the system's temporary folder. With enter = true the process's
    // current directory is that folder until destruction (the program works relative to it).
    explicit TempDir(bool enter = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
    std::optional<std::filesystem::path> previousCwd_;
};

// Sets (or with nullopt unsets) an environment variable; restores the old value on destruction.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Folders of the build and the source tree, for tests that start the program or stand-ins.
std::filesystem::path binaryDir();
std::filesystem::path sourceDir();

}  // namespace corv_test
