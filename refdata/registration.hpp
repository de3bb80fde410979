#pragma once
// Registrations arrive with or without the dash after the nationality prefix (DABCD for D-ABCD),
// while the database holds them as written in dbase.xml. These look-ups try the written forms in
// a fixed order.
#include <optional>
#include <string>
#include <vector>

#include "refdata/dbase.hpp"

// For 5 or more characters, not starting with 'N' and without '-': first two characters + "-" +
// rest, first character + "-" + rest; always last: the registration itself.
std::vector<std::string> gf_registrationVariants(const std::string& registration);
// Two registrations name the same aircraft: equal and not empty. Aircraft without a registration
// are not thereby the same aircraft.
bool gf_sameRegistration(const std::string& a, const std::string& b);
// The record of the first variant held by the database; none for the empty registration.
[[nodiscard]] std::optional<DbaseRecord> gf_findRegcode(const std::string& registration);
std::string gf_regcodeAirline(const std::string& registration);
std::string gf_regcodeOperator(const std::string& registration);
// The airline that flies the airframe: the record's operator when it names one, else its airline.
// Every user of a registration record takes its airline through this one rule.
const std::string& gf_flyingAirline(const DbaseRecord& record);
// A registration of the database shorter than 6 characters that occurs inside text (for example
// a livery title). Walks the whole database: meant for the one-time livery scan.
[[nodiscard]] std::optional<std::string> gf_findShortRegcodeIn(const std::string& text);
