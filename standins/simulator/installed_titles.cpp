#include "standins/simulator/installed_titles.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

namespace standin_sim {

namespace {

namespace fs = std::filesystem;

// No cfg file of an aircraft comes near this; a larger one is not read.
constexpr std::uintmax_t kMaxCfgBytes = 8U * 1024U * 1024U;

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool isCfgFile(const fs::path& file) {
    const std::string name = upper(file.filename().string());
    return name == "AIRCRAFT.CFG" || name == "SIM.CFG";
}

void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-16 (after its byte-order mark) as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(const std::string& bytes, bool bigEndian) {
    std::string out;
    auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        unsigned code = static_cast<unsigned>(unit(i));
        if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size()) {
            const unsigned low = static_cast<unsigned>(unit(i + 2));
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            } else {
                code = 0xFFFD;
            }
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;
        }
        appendUtf8(out, code);
    }
    return out;
}

std::string fileText(const fs::path& file) {
    std::error_code error;
    if (fs::file_size(file, error) > kMaxCfgBytes || error) return {};
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return utf16ToUtf8(bytes, false);
    if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') return utf16ToUtf8(bytes, true);
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
    return bytes;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string trimmed(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// The titles of the [fltsim.N] sections of one file.
void collectTitles(const std::string& text, std::set<std::string>& titles) {
    bool inFltsim = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line.front() == '[') {
            inFltsim = upper(line).rfind("[FLTSIM.", 0) == 0;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inFltsim || equals == std::string::npos) continue;
        if (upper(trimmed(line.substr(0, equals))) != "TITLE") continue;
        const std::string title = trimmed(line.substr(equals + 1));
        if (!title.empty()) titles.insert(title);
    }
}

}  // namespace

std::set<std::string> readInstalledTitles(const std::vector<std::filesystem::path>& folders) {
    std::set<std::string> titles;
    for (const fs::path& folder : folders) {
        std::error_code error;
        for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end;
             !error && it != end; it.increment(error)) {
            std::error_code kind;
            if (it->is_regular_file(kind) && isCfgFile(it->path())) collectTitles(fileText(it->path()), titles);
        }
    }
    return titles;
}

}  // namespace standin_sim
