#include "liveries/liveries_scanned_xml.hpp"

#include <optional>
#include <string_view>

#include <pugixml.hpp>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameters.hpp"
#include "foundation/text.hpp"
#include "foundation/user_error.hpp"
#include "foundation/xml_meta.hpp"

namespace {

constexpr const char* LIVERIES_ELEMENT = "liveries";
constexpr const char* LIVERY_ELEMENT = "liv";
constexpr const char* ATTR_AIRLINE = "airl";
constexpr const char* ATTR_TYPE = "type";
constexpr const char* ATTR_CARGO = "cargo";
constexpr const char* ATTR_TITLE = "title";
constexpr const char* ATTR_ATCID = "atcid";
// Written by an earlier version for a title in a Windows code page, beside a title of '?' marks:
// the title's bytes as hexadecimal digits. Still read; no longer written, as the title attribute
// itself holds the bytes.
constexpr const char* ATTR_TITLE_BYTES = "titlebytes";

constexpr int ERROR_NOT_FOUND = 51;
constexpr int ERROR_NO_LIVERIES_SECTION = 52;
constexpr int ERROR_NO_LIVERIES = 533;
constexpr int ERROR_MISSING_ATTRIBUTE = 999;

std::string lf_requiredAttribute(const pugi::xml_node& node, const char* name)
{
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute)
        throw vald::UserErrorException(ERROR_MISSING_ATTRIBUTE,
                                       vald::format("Missing required attribute '{}' in <{}>", name, node.name()));
    return attribute.value();
}

int lf_hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The bytes of a titlebytes value; nothing when it is no even run of hexadecimal digits.
std::optional<std::string> lf_bytesOfHex(std::string_view hex)
{
    if (hex.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = lf_hexDigit(hex[i]);
        const int low = lf_hexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

std::string lf_readTitle(const pugi::xml_node& liv)
{
    std::string title = lf_requiredAttribute(liv, ATTR_TITLE);
    const pugi::xml_attribute bytes = liv.attribute(ATTR_TITLE_BYTES);
    if (!bytes)
        return title;
    if (std::optional<std::string> exact = lf_bytesOfHex(bytes.value()))
        return std::move(*exact);
    gf_logWarn(vald::format("titlebytes of '{}' are no hexadecimal digits; the title is taken as written", title));
    return title;
}

}  // namespace

bool lf_writeLiveriesScanned(const LiveryList& liveries, const std::filesystem::path& path)
{
    if (liveries.empty())
        return false;
    pugi::xml_document document;
    if (!gf_writeMetaInfo(document)) {
        gf_logWarn(vald::format("{} not written: its meta block could not be built", gf_pathToUtf8(path)));
        return false;
    }
    pugi::xml_node list = document.append_child(LIVERIES_ELEMENT);
    for (const LiveryData& livery : liveries) {
        pugi::xml_node liv = list.append_child(LIVERY_ELEMENT);
        liv.append_attribute(ATTR_AIRLINE) = livery.airl.c_str();
        liv.append_attribute(ATTR_TYPE) = livery.type.c_str();
        if (livery.cargo)
            liv.append_attribute(ATTR_CARGO) = "true";
        liv.append_attribute(ATTR_TITLE) = livery.title.c_str();
        if (!livery.atcid.empty())
            liv.append_attribute(ATTR_ATCID) = livery.atcid.c_str();
    }
    std::error_code ignored;
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path(), ignored);
    if (!gf_saveXml(document, path))
        return false;
    gf_log(vald::format("{} liveries in {}", liveries.size(), gf_pathToUtf8(path)));
    return true;
}

void lf_readLiveriesScanned(LiveryList& liveries, const std::filesystem::path& path)
{
    liveries.clear();  // a failed read leaves no half-read list behind
    LiveryList read;
    const std::string pathText = gf_pathToUtf8(path);
    pugi::xml_document document;
    std::string error;
    switch (gf_loadXmlLimited(document, path, LIVERIES_SCANNED_MAX_BYTES, error)) {
    case FileRead::ok:
        break;
    case FileRead::tooLarge:
        gf_logWarn(error);
        throw vald::UserErrorException(ERROR_NOT_FOUND,
                                       vald::format("File {} is too large to be read; scan the liveries again", pathText));
    case FileRead::missing:
    case FileRead::unreadable:
    case FileRead::malformed:
        throw vald::UserErrorException(ERROR_NOT_FOUND, vald::format("File {} not found", pathText));
    }
    // The meta entries are only shown: a file without them is read all the same.
    if (gf_readMetaInfo(document, META_AUTHOR) && gf_readMetaInfo(document, META_DATE))
        static_cast<void>(gf_readMetaInfo(document, META_VERSION));

    const pugi::xml_node list = document.child(LIVERIES_ELEMENT);
    if (!list)
        throw vald::UserErrorException(ERROR_NO_LIVERIES_SECTION,
                                       vald::format("{} does not contain a <liveries> section", pathText));
    for (const pugi::xml_node& liv : list.children(LIVERY_ELEMENT)) {
        LiveryData livery;
        livery.airl = lf_requiredAttribute(liv, ATTR_AIRLINE);
        livery.type = lf_requiredAttribute(liv, ATTR_TYPE);
        livery.title = lf_readTitle(liv);
        livery.atcid = liv.attribute(ATTR_ATCID).as_string("");
        livery.cargo = liv.attribute(ATTR_CARGO).as_bool(false);
        read.push_back(std::move(livery));
    }
    if (read.empty())
        throw vald::UserErrorException(ERROR_NO_LIVERIES, pathText + " does not contain liveries");
    gf_sortLiveries(read);
    liveries.splice(liveries.end(), read);
    gf_log(vald::format("{} liveries read from {}", liveries.size(), pathText));
}
