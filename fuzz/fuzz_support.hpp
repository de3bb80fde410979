#pragma once
// Shared by the fuzz targets (one program per fuzz/*.cpp): the input as text, and a scratch
// folder that is the process's current directory, for the readers that take their input from
// files in the program's folders.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace corv_fuzz {

inline std::string textOf(const std::uint8_t* data, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

// A fresh folder with input/ in it, made the current directory on the first call and removed
// when the fuzzer ends normally. The user's configuration folder points into it too.
inline const std::filesystem::path& scratchFolder()
{
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "corv_fuzz_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        const std::filesystem::path made(pattern);
        std::filesystem::create_directories(made / "input");
        std::filesystem::current_path(made);
        setenv("XDG_CONFIG_HOME", (made / "config").c_str(), 1);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchFolder(), ignored);
        });
        return made;
    }();
    return folder;
}

inline void writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// The fuzzer found a fault that does not crash by itself.
inline void fail() { std::abort(); }

}  // namespace corv_fuzz
