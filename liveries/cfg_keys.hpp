#pragma once
// Line-level readers of aircraft.cfg and sim.cfg files: "key = value" lines and [fltsim.N]
// section headers. A line is read whole: blanks around the key, the '=' and the value are
// allowed, the key's letter case is not significant, and a key line with an empty value is no
// key line.
#include <string>
#include <string_view>

// The value of line when it is a line of key (given in lower case), without surrounding white
// space; empty otherwise.
std::string lf_cfgKeyValue(std::string_view line, std::string_view key);
// Sets target to the key's value when line is such a key line with a value; answers whether it did.
bool lf_readCfgKey(std::string_view line, std::string_view key, std::string& target);

// The number text of a section header line "[fltsim.N]" (any letter case, blanks around): the
// digits; "10000" for any other line that holds "[fltsim." or "[FLTSIM."; empty for a line that
// begins with "//" and for every other line.
std::string lf_fltsimNumberText(std::string_view line);

// The aircraft folder of a cfg file: its path text up to the last separator ('\\' or '/'); empty
// without one.
std::string lf_folderOfCfgPath(const std::string& file);
