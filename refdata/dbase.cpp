#include "refdata/dbase.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>

#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/strings.hpp"
#include "foundation/user_error.hpp"
#include "refdata/decrypt.hpp"
#include "refdata/type_queries.hpp"

StringSet aircraftTypes;
StringSet highPerfTypes;
StringSet heavyTypes;
StringSet largeTypes;
StringSet buzjetTypes;
StringSet rotorcraftTypes;
StringSet cargoTypes;
StringSet icaoAirlines;
StringSet cargoOperators;
StringSet simaddonAirports;
std::vector<TypeGroup> similarGroups;
std::vector<std::vector<std::string>> publisherGroups;
std::map<std::string, double, std::less<>> halfWingspans;
double maxHalfWingspan = 0.0;
std::array<double, 6> meanHalfWingspan{};
std::unordered_map<std::string, std::string> modelFixes;
std::vector<ThirdpartyRecord> thirdpartyRecords;
std::unordered_map<std::string, DbaseRecord> dbaseRecords;

namespace {

constexpr double NM_PER_METRE = 0.0005399568034557236;

// The plain file must not outlive the read, whichever way the read ends.
class PlainFileRemover {
public:
    explicit PlainFileRemover(std::filesystem::path path) : path_(std::move(path)) {}
    ~PlainFileRemover()
    {
        try {
            gf_removeFileWarn(path_);
        } catch (...) {
        }
    }
    PlainFileRemover(const PlainFileRemover&) = delete;
    PlainFileRemover& operator=(const PlainFileRemover&) = delete;

private:
    std::filesystem::path path_;
};

void lf_readAttributeList(const pugi::xml_node& document, const char* section, StringSet& destination,
                          const char* element, const char* attribute)
{
    for (const pugi::xml_node node : document.child(section).children(element)) {
        for (std::string& piece : gf_split(node.attribute(attribute).as_string(), ','))
            destination.insert(std::move(piece));
    }
    if (destination.empty())
        throw vald::UserErrorException(
            61, vald::format("In XML file section [{}], element [{}], attribute [{}] is empty.", section, element,
                             attribute));
}

void lf_readTypeSection(const pugi::xml_node& document, const char* section, StringSet& destination,
                        const char* element)
{
    StringSet types;
    lf_readAttributeList(document, section, types, element, "types");
    destination = std::move(types);
}

void lf_readCodeSection(const pugi::xml_node& document, const char* section, StringSet& destination)
{
    StringSet codes;
    lf_readAttributeList(document, section, codes, "ICAO", "codes");
    destination = std::move(codes);
}

void lf_readSimilarTypes(const pugi::xml_node& document)
{
    similarGroups.reserve(64);
    for (const pugi::xml_node node : document.child("similar_types").children("similar")) {
        TypeGroup group = gf_split(node.attribute("types").as_string(), ',');
        std::sort(group.begin(), group.end());
        similarGroups.push_back(std::move(group));
    }
    similarGroups.shrink_to_fit();
}

void lf_readPublishers(const pugi::xml_node& document)
{
    publisherGroups.reserve(640);
    std::vector<std::string> texts;
    for (const pugi::xml_node node : document.child("publishers").children("pub"))
        texts.emplace_back(node.attribute("names").as_string());
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    for (const std::string& text : texts) {
        std::vector<std::string> names = gf_split(text, ',');
        names.shrink_to_fit();
        publisherGroups.push_back(std::move(names));
    }
    publisherGroups.shrink_to_fit();
    gf_log(vald::format("{} publishers read", publisherGroups.size()));
}

void lf_readWingspans(const pugi::xml_node& document)
{
    bool anyValid = false;
    for (const pugi::xml_node node : document.child("wingspans").children("wingspan")) {
        const std::string type = node.attribute("type").as_string();
        if (type.empty() || !aircraftTypes.contains(type)) {
            gf_logWarn(vald::format("wingspan model {} is not valid, skipped", type));
            continue;
        }
        const double half = node.attribute("meters").as_double(0.0) * 0.5 * NM_PER_METRE;
        halfWingspans.emplace(type, half);  // the first entry of a type stays
        maxHalfWingspan = std::max(maxHalfWingspan, half);
        anyValid = true;
    }
    if (!anyValid)
        return;

    std::array<double, 6> sum{};
    std::array<int, 6> count{};
    double allSum = 0.0;
    for (const auto& [type, half] : halfWingspans) {
        const auto category = static_cast<std::size_t>(gf_typeCategory(type));
        sum[category] += half;
        ++count[category];
        allSum += half;
    }
    // A category without a single wingspan entry takes the mean of all types, so that every
    // category answers a usable span.
    const double allMean = allSum / static_cast<double>(halfWingspans.size());
    for (std::size_t c = 0; c < meanHalfWingspan.size(); ++c)
        meanHalfWingspan[c] = count[c] > 0 ? sum[c] / count[c] : allMean;
}

void lf_readFixes(const pugi::xml_node& document)
{
    for (const pugi::xml_node node : document.child("fixes").children("fx")) {
        const std::string wrong = node.attribute("wro").as_string();
        const std::string correct = node.attribute("cor").as_string();
        // A fix without a wrong code would rewrite every aircraft whose type is unknown.
        if (wrong.empty() || correct.empty() || !aircraftTypes.contains(correct)) {
            gf_logWarn(vald::format("wrong fix {} -> {}, the latter is not valid", wrong, correct));
            continue;
        }
        if (!modelFixes.emplace(wrong, correct).second)
            gf_logWarn(vald::format("wrong part of fix: '{}', already exists, skipped", wrong));
    }
}

void lf_readThirdparties(const pugi::xml_node& document)
{
    for (const pugi::xml_node node : document.child("thirdpartiesP3D").children("thirdpartieP3D"))
        thirdpartyRecords.push_back({node.attribute("pub").as_string(), gf_split(node.attribute("arpts").as_string(), ',')});
}

void lf_readRegistrations(const pugi::xml_node& document)
{
    dbaseRecords.clear();
    std::size_t withoutRegistration = 0;
    for (const pugi::xml_node node : document.child("dbase").children("db")) {
        std::string reg = node.attribute("reg").as_string();
        // The empty registration would be found inside every livery title.
        if (reg.empty()) {
            ++withoutRegistration;
            continue;
        }
        DbaseRecord record{node.attribute("airl").as_string(), node.attribute("type").as_string(),
                           node.attribute("opr").as_string(), node.attribute("cargo").as_bool(false)};
        if (!dbaseRecords.emplace(reg, std::move(record)).second)
            gf_logWarn(vald::format("regcode {} already exists", reg));
    }
    if (withoutRegistration > 0)
        gf_logWarn(vald::format("{} dbase records without registration skipped", withoutRegistration));
}

void lf_readAllSections(const pugi::xml_node& document)
{
    lf_readTypeSection(document, "aircrafts", aircraftTypes, "aircraft");
    lf_readTypeSection(document, "high_performance", highPerfTypes, "hpf");
    lf_readTypeSection(document, "heavy", heavyTypes, "hvy");
    lf_readTypeSection(document, "large", largeTypes, "lar");
    lf_readTypeSection(document, "buzjet", buzjetTypes, "bzj");
    lf_readTypeSection(document, "rotorcraft", rotorcraftTypes, "rot");
    lf_readTypeSection(document, "cargo_types", cargoTypes, "cargo_type");
    lf_readSimilarTypes(document);
    lf_readCodeSection(document, "ICAO_airlines", icaoAirlines);
    lf_readCodeSection(document, "cargo_operators", cargoOperators);
    lf_readPublishers(document);
    lf_readWingspans(document);
    lf_readFixes(document);
    lf_readAttributeList(document, "simaddonsP3D", simaddonAirports, "simaddonP3D", "arpts");
    if (thirdpartyRecords.capacity() < 200)
        thirdpartyRecords.reserve(200);
    lf_readThirdparties(document);
    lf_readRegistrations(document);
}

}  // namespace

void gf_clearDbaseTables()
{
    for (StringSet* set : {&aircraftTypes, &highPerfTypes, &heavyTypes, &largeTypes, &buzjetTypes, &rotorcraftTypes,
                           &cargoTypes, &icaoAirlines, &cargoOperators, &simaddonAirports})
        set->clear();
    similarGroups.clear();
    publisherGroups.clear();
    halfWingspans.clear();
    maxHalfWingspan = 0.0;
    meanHalfWingspan.fill(0.0);
    modelFixes.clear();
    thirdpartyRecords.clear();
    dbaseRecords.clear();
}

bool gf_readDbase()
{
    const std::filesystem::path encrypted = DBASE_ENC_PATH;
    const std::filesystem::path plain = DBASE_XML_PATH;
    if (!std::filesystem::exists(encrypted))
        throw std::runtime_error(vald::format("{} not available", encrypted.string()));
    if (!gf_streamDecrypt(encrypted, plain))
        throw std::runtime_error(vald::format("{} stream decrypt failed", encrypted.string()));
    const PlainFileRemover remover(plain);

    pugi::xml_document document;
    const pugi::xml_parse_result loaded = document.load_file(plain.c_str());
    if (!loaded) {
        gf_logWarn(vald::format("'{}' not read because of {}", plain.string(), loaded.description()));
        return false;
    }

    // Either every table is read or none holds anything: a half-read database is never left.
    gf_clearDbaseTables();
    try {
        lf_readAllSections(document);
    } catch (...) {
        gf_clearDbaseTables();
        throw;
    }
    gf_logAndFlush(vald::format("{} dbase records read", dbaseRecords.size()));
    return true;
}

bool gf_containsNoCase(const std::string& text, const std::string& part)
{
    const auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    const auto found = std::search(text.begin(), text.end(), part.begin(), part.end(),
                                   [&](char a, char b) { return lower(a) == lower(b); });
    return part.empty() || found != text.end();
}
