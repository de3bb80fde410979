#include "refdata/dbase.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/strings.hpp"
#include "foundation/user_error.hpp"
#include "refdata/decrypt.hpp"
#include "refdata/type_queries.hpp"

DbaseTables dbaseTables;
StringSet& aircraftTypes = dbaseTables.aircraftTypes;
StringSet& highPerfTypes = dbaseTables.highPerfTypes;
StringSet& heavyTypes = dbaseTables.heavyTypes;
StringSet& largeTypes = dbaseTables.largeTypes;
StringSet& buzjetTypes = dbaseTables.buzjetTypes;
StringSet& rotorcraftTypes = dbaseTables.rotorcraftTypes;
StringSet& cargoTypes = dbaseTables.cargoTypes;
StringSet& icaoAirlines = dbaseTables.icaoAirlines;
StringSet& cargoOperators = dbaseTables.cargoOperators;
StringSet& simaddonAirports = dbaseTables.simaddonAirports;
std::vector<TypeGroup>& similarGroups = dbaseTables.similarGroups;
std::vector<std::vector<std::string>>& publisherGroups = dbaseTables.publisherGroups;
std::map<std::string, double, std::less<>>& halfWingspans = dbaseTables.halfWingspans;
double& maxHalfWingspan = dbaseTables.maxHalfWingspan;
std::array<double, 6>& meanHalfWingspan = dbaseTables.meanHalfWingspan;
std::unordered_map<std::string, std::string>& modelFixes = dbaseTables.modelFixes;
std::vector<ThirdpartyRecord>& thirdpartyRecords = dbaseTables.thirdpartyRecords;
std::unordered_map<std::string, DbaseRecord>& dbaseRecords = dbaseTables.dbaseRecords;

namespace {

constexpr double NM_PER_METRE = 0.0005399568034557236;

// The plain copy must not outlive the read, whichever way the read ends.
class PlainCopyRemover {
public:
    explicit PlainCopyRemover(const DecryptedData& data) : data_(data) {}
    ~PlainCopyRemover()
    {
        try {
            data_.removeCopy();
        } catch (...) {
        }
    }
    PlainCopyRemover(const PlainCopyRemover&) = delete;
    PlainCopyRemover& operator=(const PlainCopyRemover&) = delete;

private:
    const DecryptedData& data_;
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

void lf_readSimilarTypes(const pugi::xml_node& document, std::vector<TypeGroup>& groups)
{
    groups.reserve(64);
    for (const pugi::xml_node node : document.child("similar_types").children("similar")) {
        TypeGroup group = gf_split(node.attribute("types").as_string(), ',');
        std::sort(group.begin(), group.end());
        groups.push_back(std::move(group));
    }
    groups.shrink_to_fit();
}

void lf_readPublishers(const pugi::xml_node& document, std::vector<std::vector<std::string>>& groups,
                       const ReaderLog& log)
{
    groups.reserve(640);
    std::vector<std::string> texts;
    for (const pugi::xml_node node : document.child("publishers").children("pub"))
        texts.emplace_back(node.attribute("names").as_string());
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    for (const std::string& text : texts) {
        std::vector<std::string> names = gf_split(text, ',');
        names.shrink_to_fit();
        groups.push_back(std::move(names));
    }
    groups.shrink_to_fit();
    log.line(vald::format("{} publishers read", groups.size()));
}

void lf_readWingspans(const pugi::xml_node& document, DbaseTables& tables, const ReaderLog& log)
{
    bool anyValid = false;
    for (const pugi::xml_node node : document.child("wingspans").children("wingspan")) {
        const std::string type = node.attribute("type").as_string();
        if (type.empty() || !tables.aircraftTypes.contains(type)) {
            log.warn(vald::format("wingspan model {} is not valid, skipped", type));
            continue;
        }
        const double half = node.attribute("meters").as_double(0.0) * 0.5 * NM_PER_METRE;
        tables.halfWingspans.emplace(type, half);  // the first entry of a type stays
        tables.maxHalfWingspan = std::max(tables.maxHalfWingspan, half);
        anyValid = true;
    }
    if (!anyValid)
        return;

    std::array<double, 6> sum{};
    std::array<int, 6> count{};
    double allSum = 0.0;
    for (const auto& [type, half] : tables.halfWingspans) {
        const auto category = static_cast<std::size_t>(gf_typeCategoryIn(tables, type));
        sum[category] += half;
        ++count[category];
        allSum += half;
    }
    // A category without a single wingspan entry takes the mean of all types, so that every
    // category answers a usable span.
    const double allMean = allSum / static_cast<double>(tables.halfWingspans.size());
    for (std::size_t c = 0; c < tables.meanHalfWingspan.size(); ++c)
        tables.meanHalfWingspan[c] = count[c] > 0 ? sum[c] / count[c] : allMean;
}

void lf_readFixes(const pugi::xml_node& document, DbaseTables& tables, const ReaderLog& log)
{
    for (const pugi::xml_node node : document.child("fixes").children("fx")) {
        const std::string wrong = node.attribute("wro").as_string();
        const std::string correct = node.attribute("cor").as_string();
        // A fix without a wrong code would rewrite every aircraft whose type is unknown.
        if (wrong.empty() || correct.empty() || !tables.aircraftTypes.contains(correct)) {
            log.warn(vald::format("wrong fix {} -> {}, the latter is not valid", wrong, correct));
            continue;
        }
        if (!tables.modelFixes.emplace(wrong, correct).second)
            log.warn(vald::format("wrong part of fix: '{}', already exists, skipped", wrong));
    }
}

void lf_readThirdparties(const pugi::xml_node& document, std::vector<ThirdpartyRecord>& records)
{
    for (const pugi::xml_node node : document.child("thirdpartiesP3D").children("thirdpartieP3D"))
        records.push_back({node.attribute("pub").as_string(), gf_split(node.attribute("arpts").as_string(), ',')});
}

void lf_readRegistrations(const pugi::xml_node& document, std::unordered_map<std::string, DbaseRecord>& records,
                          const ReaderLog& log)
{
    records.clear();
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
        if (!records.emplace(reg, std::move(record)).second)
            log.warn(vald::format("regcode {} already exists", reg));
    }
    if (withoutRegistration > 0)
        log.warn(vald::format("{} dbase records without registration skipped", withoutRegistration));
}

void lf_readAllSections(const pugi::xml_node& document, DbaseTables& tables, const ReaderLog& log)
{
    lf_readTypeSection(document, "aircrafts", tables.aircraftTypes, "aircraft");
    lf_readTypeSection(document, "high_performance", tables.highPerfTypes, "hpf");
    lf_readTypeSection(document, "heavy", tables.heavyTypes, "hvy");
    lf_readTypeSection(document, "large", tables.largeTypes, "lar");
    lf_readTypeSection(document, "buzjet", tables.buzjetTypes, "bzj");
    lf_readTypeSection(document, "rotorcraft", tables.rotorcraftTypes, "rot");
    lf_readTypeSection(document, "cargo_types", tables.cargoTypes, "cargo_type");
    lf_readSimilarTypes(document, tables.similarGroups);
    lf_readCodeSection(document, "ICAO_airlines", tables.icaoAirlines);
    lf_readCodeSection(document, "cargo_operators", tables.cargoOperators);
    lf_readPublishers(document, tables.publisherGroups, log);
    lf_readWingspans(document, tables, log);
    lf_readFixes(document, tables, log);
    lf_readAttributeList(document, "simaddonsP3D", tables.simaddonAirports, "simaddonP3D", "arpts");
    tables.thirdpartyRecords.reserve(200);
    lf_readThirdparties(document, tables.thirdpartyRecords);
    lf_readRegistrations(document, tables.dbaseRecords, log);
}

}  // namespace

std::optional<std::string> gf_readDbaseText(std::string text, DbaseTables& tables, const ReaderLog& log)
{
    if (std::optional<std::string> fault = gf_nulByteFault(text))
        return fault;
    pugi::xml_document document;
    const pugi::xml_parse_result loaded = document.load_buffer_inplace(text.data(), text.size());
    if (!loaded)
        return std::string(loaded.description());
    tables = DbaseTables{};
    lf_readAllSections(document, tables, log);
    return std::nullopt;
}

std::optional<std::string> gf_dbaseFault(std::string text)
{
    DbaseTables tables;
    try {
        if (std::optional<std::string> fault = gf_readDbaseText(std::move(text), tables, ReaderLog{false}))
            return "its XML does not parse: " + *fault;
    } catch (const vald::UserErrorException& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

void gf_clearDbaseTables() { dbaseTables = DbaseTables{}; }

bool gf_readDbase()
{
    const std::filesystem::path encrypted = DBASE_ENC_PATH;
    const std::filesystem::path plain = DBASE_XML_PATH;
    if (!std::filesystem::exists(encrypted))
        throw std::runtime_error(vald::format("{} not available", encrypted.string()));
    std::optional<DecryptedData> data = gf_streamDecrypt(encrypted, plain);
    if (!data)
        throw std::runtime_error(vald::format("{} stream decrypt failed", encrypted.string()));
    const PlainCopyRemover remover(*data);

    std::optional<std::string> unread;
    DbaseTables read;
    try {
        unread = gf_plainDataSizeFault(data->text);
        if (!unread)
            unread = gf_readDbaseText(std::move(data->text), read, ReaderLog{});
    } catch (...) {
        // A half-read database is never left: after a failed read none of the tables holds anything.
        gf_clearDbaseTables();
        throw;
    }
    if (unread) {
        gf_logWarn(vald::format("'{}' not read because of {}", plain.string(), *unread));
        return false;  // a file that does not parse changes nothing
    }
    dbaseTables = std::move(read);
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
