#pragma once
// Which livery title belongs to which registrations: the delivered AIG-regcodes.xml and the
// user's own text files in input/my_regcodes. Entries with registrations feed the registration
// index of the livery database; entries without name titles that are never to be used.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "refdata/decrypt.hpp"

struct RegcodeEntry {
    std::string title;                  // as written, not trimmed
    std::vector<std::string> regcodes;  // trimmed, sorted, unique; may be empty
    bool special = false;               // the livery belongs to these registrations only
};

// What one reading of AIG-regcodes.xml found.
struct AigRegcodesRead {
    bool loaded = false;           // the text parsed as XML
    std::string refused;           // why it was not parsed at all (gf_nulByteFault), or empty
    bool rootFound = false;        // it has the root AIG-regcodes
    bool noRepeatedTitle = true;   // no livery title repeated the one before it
    std::size_t liveries = 0;      // entries appended
};

// The one reading of AIG-regcodes.xml, of its plain text: appends its liveries to entries,
// saying through log what it skipped and how many entries there are. gf_readAigRegcodes loads the
// file with it; a downloaded copy is checked with it.
[[nodiscard]] AigRegcodesRead gf_readAigRegcodesText(std::string text, std::vector<RegcodeEntry>& entries,
                                                     const ReaderLog& log);

// Why the plain text is no AIG-regcodes.xml the program could use (it does not parse, holds a
// NUL byte, has no root or names no livery); nothing when it is one. A title repeated in a row is
// skipped as the start-up read skips it, not refused. Logs nothing.
[[nodiscard]] std::optional<std::string> gf_aigRegcodesFault(std::string text);

// Reads the decrypted text of AIG-regcodes and appends its liveries. True when it loaded and no
// title repeated the one before it. A text that fails to load is told as input/AIG-regcodes.xml
// ("Failed to load {path}", with ": {why}" when the reader refused the text unparsed) and its
// plain copy (DecryptedData::copy: empty when none was written) is deleted; after a good read
// the caller deletes it.
[[nodiscard]] bool gf_readAigRegcodes(std::string text, const std::filesystem::path& copy,
                                      std::vector<RegcodeEntry>& entries);

// Reads every *.txt file (any case) directly in folder; each line is "title",
// "title;reg,reg" or "title;reg,reg;#". True when the folder was read and no line had a format
// or length error.
[[nodiscard]] bool gf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeEntry>& entries);
