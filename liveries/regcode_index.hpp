#pragma once
// The registration index: registrations bound to livery titles, so that an aircraft can get the
// livery of its own airframe. Filled from three sources, a later one overriding an earlier one:
// the registrations the scanned liveries carry, AIG-regcodes (delivered enciphered) and the
// user's text files in input/my_regcodes. The same sources mark special liveries and name the
// titles that the liveries scan must not use. Worker thread only.
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/constants.hpp"
#include "refdata/decrypt.hpp"
#include "refdata/regcodes.hpp"

// Registration -> a title held by the livery index (valid until the indexes are reset).
using RegcodeIndex = std::unordered_map<std::string, std::string_view>;
extern RegcodeIndex regcodeIndex;
// Registrations of special entries that list exactly one registration.
extern std::set<std::string> uniqueRegistrations;
// Titles of entries without registrations; filled at the start of a liveries scan and emptied
// when it ends.
extern std::vector<std::string> dontUseTitles;
// The lines of output/info/OfflineRegcodes.txt.
extern std::vector<std::string> offlineReportLines;

inline const std::filesystem::path OFFLINE_REGCODES_PATH{OUTPUT_INFO_FOLDER / "OfflineRegcodes.txt"};

// Binds the scanned liveries' own registrations; clashes go to output/errors/InlineRegcodes.txt.
void lf_processInlineRegcodes();
// Merges AIG-regcodes and then input/my_regcodes and writes output/info/OfflineRegcodes.txt.
void lf_processRegcodeFiles();
void lf_processAigRegcodeFile(DecryptedData& data);
void lf_processRegcodeFolder();
// Merges entries whose title is indexed; a later binding of a registration replaces an earlier.
void lf_mergeRegcodes(const std::vector<RegcodeEntry>& entries);

// The don't-use titles of the deciphered AIG-regcodes (its text is taken from data) and of
// input/my_regcodes.
void lf_readDontUseFile(DecryptedData& data);
void lf_readDontUseFolder();

// Empties the registration index, the unique registrations and the report lines.
void lf_resetRegcodeIndex();
