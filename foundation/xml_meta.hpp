#pragma once
// The "meta" block of the program's XML data files (park-position files, LiveriesScanned.xml):
// <meta><info name=".." value=".."/>...</meta> with author, version, date, copyright and the
// simulator entry.
#include <string>

#include <pugixml.hpp>

#include "foundation/parameters.hpp"

// Appends the block under parent; true only when the block and all five entries were added.
[[nodiscard]] bool gf_writeMetaInfo(pugi::xml_node parent);
// Appends one <info name value/>; true only when the element and both attributes were added.
[[nodiscard]] bool gf_appendMetaInfo(pugi::xml_node meta, const std::string& name, const std::string& value);
// Finds "/meta/info" with the parameter's name from node: its value becomes the parameter's
// current value (true); without such an entry the value becomes empty (false).
[[nodiscard]] bool gf_readMetaInfo(const pugi::xml_node& node, StringParameter& parameter);

// The simulator the written data files are meant for: "P3D" (the default) writes the "P3D"
// entry; any other text writes "MSFS" with "2020" for exactly "MSFS", else "2024".
void gf_setMetaSimulatorName(std::string name);
std::string gf_metaSimulatorName();
