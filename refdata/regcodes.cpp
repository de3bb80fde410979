#include "refdata/regcodes.hpp"

#include <pugixml.hpp>

#include <list>
#include <optional>
#include <stdexcept>
#include <utility>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/strings.hpp"
#include "foundation/text.hpp"
#include "refdata/decrypt.hpp"

namespace {

constexpr std::size_t MIN_REGCODE_LENGTH = 3;
constexpr std::size_t MAX_REGCODE_LENGTH = 12;

// The comma list's registrations, trimmed, sorted and without duplicates.
std::vector<std::string> lf_regcodeList(const std::string& text)
{
    const std::list<std::string> tokens = gf_commaListToTokens(text);
    return {tokens.begin(), tokens.end()};
}

std::string_view lf_liveries(std::size_t count) { return count == 1 ? "livery" : "liveries"; }

bool lf_validLength(const std::string& reg)
{
    return reg.size() >= MIN_REGCODE_LENGTH && reg.size() <= MAX_REGCODE_LENGTH;
}

// One line of a regcode text file; false when the line has a format or length error.
bool lf_readRegcodeLine(const std::string& line, const std::string& file, std::vector<RegcodeEntry>& entries)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t semicolon = line.find(';'); semicolon != std::string::npos; semicolon = line.find(';', start)) {
        fields.push_back(line.substr(start, semicolon - start));
        start = semicolon + 1;
    }
    fields.push_back(line.substr(start));

    if (fields.size() == 1) {
        entries.push_back({line, {}, false});
        return true;
    }
    if (fields.size() > 3) {
        gf_logWarn(vald::format("{}: wrong format '{}'", file, line));
        return false;
    }
    const std::vector<std::string> regs = lf_regcodeList(fields[1]);
    if (regs.empty())
        return true;
    if (regs.size() == 1) {
        if (!lf_validLength(regs.front())) {
            gf_logWarn(vald::format("wrong regcode length '{}' in {}", regs.front(), file));
            return false;
        }
        entries.push_back({fields[0], regs, true});
        return true;
    }

    bool ok = true;
    std::vector<std::string> kept;
    for (const std::string& reg : regs) {
        if (lf_validLength(reg)) {
            kept.push_back(reg);
        } else {
            gf_logWarn(vald::format("wrong regcode length '{}' in {}", reg, file));
            ok = false;
        }
    }
    if (kept.empty()) {
        gf_logWarn(vald::format("{} ; regs empty?", file));
        return ok;
    }
    const bool special = fields.size() == 3 && fields[2] == "#";
    entries.push_back({fields[0], std::move(kept), special});
    return ok;
}

}  // namespace

AigRegcodesRead gf_readAigRegcodesText(std::string text, std::vector<RegcodeEntry>& entries, const ReaderLog& log)
{
    AigRegcodesRead read;
    if (std::optional<std::string> fault = gf_nulByteFault(text)) {
        read.refused = std::move(*fault);
        return read;
    }
    pugi::xml_document document;
    if (!document.load_buffer_inplace(text.data(), text.size()))
        return read;
    read.loaded = true;
    const pugi::xml_node root = document.child("AIG-regcodes");
    read.rootFound = static_cast<bool>(root);
    std::string previous;
    for (const pugi::xml_node livery : root.children("livery")) {
        std::string title = livery.attribute("title").as_string();
        if (title.empty())
            continue;
        if (title == previous) {
            log.warn(vald::format("SAME AS PREVIOUS title '{}'", title));
            read.noRepeatedTitle = false;
            continue;
        }
        previous = title;
        entries.push_back({std::move(title), lf_regcodeList(livery.attribute("reg").as_string()),
                           livery.attribute("special").as_bool(false)});
        ++read.liveries;
    }
    log.line(vald::format("{} {} read from AIG-regcodes", entries.size(), lf_liveries(entries.size())));
    return read;
}

std::optional<std::string> gf_aigRegcodesFault(std::string text)
{
    std::vector<RegcodeEntry> entries;
    const AigRegcodesRead read = gf_readAigRegcodesText(std::move(text), entries, ReaderLog{false});
    if (!read.refused.empty())
        return "its XML does not parse: " + read.refused;
    if (!read.loaded)
        return std::string("its XML does not parse");
    if (!read.rootFound)
        return std::string("it has no <AIG-regcodes> root");
    if (read.liveries == 0)
        return std::string("it names no livery");
    return std::nullopt;
}

bool gf_readAigRegcodes(std::string text, const std::filesystem::path& copy, std::vector<RegcodeEntry>& entries)
{
    const std::filesystem::path path = AIG_REGCODES_XML_PATH;
    AigRegcodesRead read;
    if (!gf_plainDataSizeFault(text))
        read = gf_readAigRegcodesText(std::move(text), entries, ReaderLog{});
    if (!read.loaded) {
        gf_logWarn(read.refused.empty() ? vald::format("Failed to load {}", path.string())
                                        : vald::format("Failed to load {}: {}", path.string(), read.refused));
        if (!copy.empty() && std::filesystem::exists(copy))
            std::filesystem::remove(copy);
        return false;
    }
    return read.noRepeatedTitle;
}

bool gf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeEntry>& entries)
{
    bool result = true;
    try {
        for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file() || !gf_upperEquals(".TXT", entry.path().extension().string()))
                continue;
            const std::string file = entry.path().string();
            gf_log(vald::format("Processing regcodes file '{}'", file));
            TextFile text{entry.path(), {}};
            for (const std::string& line : gf_readFileLines(text, 512)) {
                if (!line.empty() && !lf_readRegcodeLine(line, file, entries))
                    result = false;
            }
        }
        gf_log(vald::format("{} {}", entries.size(), lf_liveries(entries.size())));
        return result;
    } catch (const std::exception& e) {
        gf_logWarn(vald::format("Error reading regcode files in {}, what: {}", folder.string(), e.what()));
        return false;
    }
}
