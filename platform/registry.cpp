#include "platform/registry.hpp"

#include "platform/known_folders.hpp"

#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

struct RegLine {
    std::string keyPath;
    std::string valueName;
    std::string value;
};

char lf_lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool lf_equalNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lf_lower(a[i]) != lf_lower(b[i]))
            return false;
    }
    return true;
}

std::string_view lf_withoutTrailingBackslash(std::string_view keyPath)
{
    while (!keyPath.empty() && keyPath.back() == '\\')
        keyPath.remove_suffix(1);
    return keyPath;
}

// A line that is not of the form key\name=value is skipped.
std::optional<RegLine> lf_parseLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.empty() || line.front() == '#' || line.front() == ';')
        return std::nullopt;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    const std::string_view path = line.substr(0, equals);
    const size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos || slash == 0)
        return std::nullopt;
    return RegLine{std::string(path.substr(0, slash)), std::string(path.substr(slash + 1)),
                   std::string(line.substr(equals + 1))};
}

std::vector<RegLine> lf_readAll()
{
    std::vector<RegLine> lines;
    std::ifstream in(gf_registryFile(), std::ios::binary);
    std::string text;
    while (std::getline(in, text)) {
        if (auto parsed = lf_parseLine(text))
            lines.push_back(std::move(*parsed));
    }
    return lines;
}

}  // namespace

std::filesystem::path gf_registryFile()
{
    if (const char* file = std::getenv("CORV_REGISTRY_FILE"); file != nullptr && *file != '\0')
        return file;
    const auto roaming = vald::gf_roamingAppDataFolder();
    return roaming.value_or(std::filesystem::temp_directory_path()) / "Corv_P3D" / "registry.txt";
}

std::optional<std::string> gf_regReadString(std::string_view keyPath, std::string_view valueName)
{
    keyPath = lf_withoutTrailingBackslash(keyPath);
    std::optional<std::string> found;
    for (RegLine& line : lf_readAll()) {
        if (lf_equalNoCase(line.keyPath, keyPath) && lf_equalNoCase(line.valueName, valueName))
            found = std::move(line.value);
    }
    return found;
}

bool gf_regKeyExists(std::string_view keyPath)
{
    keyPath = lf_withoutTrailingBackslash(keyPath);
    if (keyPath.empty())
        return false;
    for (const RegLine& line : lf_readAll()) {
        const std::string_view path = line.keyPath;
        if (lf_equalNoCase(path, keyPath))
            return true;
        if (path.size() > keyPath.size() && path[keyPath.size()] == '\\' &&
            lf_equalNoCase(path.substr(0, keyPath.size()), keyPath))
            return true;
    }
    return false;
}

bool gf_regWriteString(std::string_view keyPath, std::string_view valueName, std::string_view value)
{
    keyPath = lf_withoutTrailingBackslash(keyPath);
    const std::filesystem::path file = gf_registryFile();
    std::vector<std::string> kept;
    {
        std::ifstream in(file, std::ios::binary);
        std::string text;
        while (std::getline(in, text)) {
            const auto parsed = lf_parseLine(text);
            if (parsed && lf_equalNoCase(parsed->keyPath, keyPath) && lf_equalNoCase(parsed->valueName, valueName))
                continue;
            kept.push_back(std::move(text));
        }
    }
    std::error_code ec;
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path(), ec);
    // Written beside the file and renamed over it: a failed write keeps every earlier value, and
    // a reader (the simulator stand-in publishes here too) never sees half a file.
    std::filesystem::path temporary = file;
    temporary += ".write.tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        for (const std::string& line : kept)
            out << line << '\n';
        out << keyPath << '\\' << valueName << '=' << value << '\n';
        out.close();
        if (out.fail()) {
            std::filesystem::remove(temporary, ec);
            return false;
        }
    }
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}
