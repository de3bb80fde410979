#include "liveries/liveries_scanned_xml.hpp"

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

}  // namespace

void lf_writeLiveriesScanned(const LiveryList& liveries, const std::filesystem::path& path)
{
    if (liveries.empty())
        return;
    pugi::xml_document document;
    gf_writeMetaInfo(document);
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
    gf_saveXml(document, path);
    gf_log(vald::format("{} liveries in {}", liveries.size(), gf_pathToUtf8(path)));
}

void lf_readLiveriesScanned(LiveryList& liveries, const std::filesystem::path& path)
{
    liveries.clear();  // a failed read leaves no half-read list behind
    LiveryList read;
    const std::string pathText = gf_pathToUtf8(path);
    pugi::xml_document document;
    if (!document.load_file(path.c_str()))
        throw vald::UserErrorException(ERROR_NOT_FOUND, vald::format("File {} not found", pathText));
    if (gf_readMetaInfo(document, META_AUTHOR) && gf_readMetaInfo(document, META_DATE))
        gf_readMetaInfo(document, META_VERSION);

    const pugi::xml_node list = document.child(LIVERIES_ELEMENT);
    if (!list)
        throw vald::UserErrorException(ERROR_NO_LIVERIES_SECTION,
                                       vald::format("{} does not contain a <liveries> section", pathText));
    for (const pugi::xml_node& liv : list.children(LIVERY_ELEMENT)) {
        LiveryData livery;
        livery.airl = lf_requiredAttribute(liv, ATTR_AIRLINE);
        livery.type = lf_requiredAttribute(liv, ATTR_TYPE);
        livery.title = lf_requiredAttribute(liv, ATTR_TITLE);
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
