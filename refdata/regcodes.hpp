#pragma once
// Which livery title belongs to which registrations: the delivered AIG-regcodes.xml and the
// user's own text files in input/my_regcodes. Entries with registrations feed the registration
// index of the livery database; entries without name titles that are never to be used.
#include <filesystem>
#include <string>
#include <vector>

struct RegcodeEntry {
    std::string title;                  // as written, not trimmed
    std::vector<std::string> regcodes;  // trimmed, sorted, unique; may be empty
    bool special = false;               // the livery belongs to these registrations only
};

// Reads input/AIG-regcodes.xml (already decrypted) and appends its liveries. True when the file
// loaded and no title repeated the one before it. Does not delete the file after a good read;
// a file that fails to load is deleted.
[[nodiscard]] bool gf_readAigRegcodes(std::vector<RegcodeEntry>& entries);

// Reads every *.txt file (any case) directly in folder; each line is "title",
// "title;reg,reg" or "title;reg,reg;#". True when the folder was read and no line had a format
// or length error.
[[nodiscard]] bool gf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeEntry>& entries);
