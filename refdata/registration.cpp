#include "refdata/registration.hpp"

std::vector<std::string> gf_registrationVariants(const std::string& registration)
{
    std::vector<std::string> variants;
    variants.reserve(3);
    if (registration.size() >= 5 && registration.front() != 'N' && registration.find('-') == std::string::npos) {
        variants.push_back(registration.substr(0, 2) + "-" + registration.substr(2));
        variants.push_back(registration.substr(0, 1) + "-" + registration.substr(1));
    }
    variants.push_back(registration);
    return variants;
}

bool gf_sameRegistration(const std::string& a, const std::string& b) { return !a.empty() && a == b; }

std::optional<DbaseRecord> gf_findRegcode(const std::string& registration)
{
    if (registration.empty())
        return std::nullopt;
    for (const std::string& variant : gf_registrationVariants(registration)) {
        const auto found = dbaseRecords.find(variant);
        if (found != dbaseRecords.end())
            return found->second;
    }
    return std::nullopt;
}

std::string gf_regcodeAirline(const std::string& registration)
{
    const std::optional<DbaseRecord> record = gf_findRegcode(registration);
    return record ? record->airl : std::string();
}

std::string gf_regcodeOperator(const std::string& registration)
{
    const std::optional<DbaseRecord> record = gf_findRegcode(registration);
    return record ? record->opr : std::string();
}

const std::string& gf_flyingAirline(const DbaseRecord& record)
{
    return record.opr.empty() ? record.airl : record.opr;
}

std::optional<std::string> gf_findShortRegcodeIn(const std::string& text)
{
    for (const auto& entry : dbaseRecords) {
        const std::string& key = entry.first;
        if (key.size() < 6 && key.size() <= text.size() && text.find(key) != std::string::npos)
            return key;
    }
    return std::nullopt;
}
