#include "standins/simulator/endpoints.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fmt/format.h>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace standin_sim {

namespace {

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The "<key>\<name>" part of a line, lower case; empty for comments and blank lines.
std::string lineIdentity(const std::string& line) {
    if (line.empty() || line[0] == '#' || line[0] == ';') return {};
    const auto equals = line.find('=');
    if (equals == std::string::npos) return {};
    return lowered(line.substr(0, equals));
}

}  // namespace

std::string installKey(int majorVersion) {
    return fmt::format("HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v{}", majorVersion);
}

std::string pipeSocketFileName(const std::string& pipeName) {
    std::string name = pipeName;
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        const bool safe = (u < 0x80 && std::isalnum(u)) || c == '.' || c == '-' || c == '_';
        if (!safe) c = '_';
    }
    return name + ".sock";
}

std::filesystem::path runtimeFolder() {
    if (auto folder = environment("XDG_RUNTIME_DIR")) return *folder;
    return std::filesystem::temp_directory_path();
}

std::filesystem::path pipeSocketPath(const std::string& pipeName) {
    return runtimeFolder() / pipeSocketFileName(pipeName);
}

std::optional<std::filesystem::path> registryFilePath() {
    if (auto file = environment("CORV_REGISTRY_FILE")) return std::filesystem::path(*file);
    std::filesystem::path config;
    if (auto folder = environment("XDG_CONFIG_HOME")) {
        config = *folder;
    } else if (auto home = environment("HOME")) {
        config = std::filesystem::path(*home) / ".config";
    } else {
        return std::nullopt;
    }
    return config / "Corv_P3D" / "registry.txt";
}

void publishRegistryValues(const std::filesystem::path& file, const std::vector<RegistryValue>& values) {
    std::vector<std::string> replaced;
    for (const auto& value : values) replaced.push_back(lowered(value.key + "\\" + value.name));

    std::vector<std::string> kept;
    if (std::ifstream in(file); in) {
        for (std::string line; std::getline(in, line);) {
            const std::string identity = lineIdentity(line);
            if (std::find(replaced.begin(), replaced.end(), identity) == replaced.end()) kept.push_back(line);
        }
    }
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    const std::filesystem::path temporary = file.string() + fmt::format(".{}.tmp", ::getpid());
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const auto& line : kept) out << line << '\n';
        for (const auto& value : values) out << value.key << '\\' << value.name << '=' << value.value << '\n';
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(temporary, ec);
            throw std::runtime_error(fmt::format("cannot write the registry file {}", file.string()));
        }
    }
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        throw std::runtime_error(fmt::format("cannot replace the registry file {}", file.string()));
    }
}

}  // namespace standin_sim
