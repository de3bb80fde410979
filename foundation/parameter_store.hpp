#pragma once
// parameters.xml: one element <parameter name=".." value=".."/> per parameter under the root
// <parameters>, looked up by name (the first of equal names counts). This loads the whole file
// into the parameter objects at the start of each run (creating it with every default when it
// cannot be loaded), saves single parameters, and holds gf_saveXml, the save of every XML
// document the program writes.
//
// Every read-modify-write of parameters.xml holds one mutex, and every save replaces the file
// atomically (a temporary file in the same folder renamed over it), so a reader never sees a
// half-written file. A file that exists but does not parse is kept as its older generation
// (parameters0.xml, ...) before anything replaces it; one that cannot be kept is not replaced.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <pugixml.hpp>

#include "foundation/files.hpp"
#include "foundation/parameters.hpp"
#include "foundation/safe_write.hpp"

// The lock over parameters.xml. Held only for file work; it may take the log mutex inside.
std::mutex& gf_parametersFileMutex();

// Loads parameters.xml under the lock, for readers outside this module (the window position at
// start). The document may then be read without the lock.
[[nodiscard]] pugi::xml_parse_result gf_loadParametersDocument(pugi::xml_document& document);

// One read-modify-write of parameters.xml under the lock: loads it (an unreadable file is kept
// as a generation and replaced by an empty document; one that cannot be kept is left alone and
// nothing is saved), hands edit the "parameters" element (appended when missing) and saves the
// result. Answers whether the save succeeded.
[[nodiscard]] bool gf_editParametersFile(const std::function<void(pugi::xml_node parameters)>& edit);

// Start-up load of every parameter (the lists of gf_startupParameterLists), then either the
// first-start settings (new file) or the version update, then the values derived from MAX_FIT
// and RANGE. Shows the values in the window's controls when they exist.
void gf_loadAllParameters();
// Answers true when the file did not load and a new file with every default was written.
[[nodiscard]] bool gf_loadParameters(const ParameterLists& lists);

// Readers of one entry of a loaded document (the first entry of that name); a missing entry
// gives the default. Numbers are clamped to the limits. They never change the document.
bool gf_readBoolParameter(BoolParameter& parameter, const pugi::xml_node& document);
bool gf_readIntParameter(IntParameter& parameter, const pugi::xml_node& document, bool log);
bool gf_readStringParameter(StringParameter& parameter, const pugi::xml_node& document);
// As gf_readStringParameter, but logs the value only when it is not empty.
bool gf_readFolderParameter(StringParameter& parameter, const pugi::xml_node& document);

// Appends <element name=".." value=".."/> to parent; true only when the element and both
// attributes were added (the element may stay without them otherwise).
[[nodiscard]] bool gf_appendNamedValue(pugi::xml_node parent, const char* element, const std::string& name,
                                       const std::string& value);
// Append one <parameter name value/> to parent; true only when the element and both attributes
// were added.
[[nodiscard]] bool gf_appendParameterNode(pugi::xml_node parent, const std::string& name, const std::string& value);
[[nodiscard]] bool gf_appendBoolParameter(pugi::xml_node parent, const std::string& name, bool value);
[[nodiscard]] bool gf_appendIntParameter(pugi::xml_node parent, const std::string& name, std::int32_t value);

// Within gf_editParametersFile: set the value of the first entry of that name (an entry without
// a "value" attribute is left alone) or append the entry; remove the first entry of that name
// (logs "Parameter '{}' removed" when there was one).
void gf_setParameterEntry(pugi::xml_node parameters, const std::string& name, const std::string& value);
bool gf_removeParameterEntry(const pugi::xml_node& document, const std::string& name);

// Removes the parameter's entry from the file; false (and no write) when the file does not
// load, has no root "parameters" or holds no such entry, and false when the save failed.
[[nodiscard]] bool gf_removeParameter(const Parameter& parameter);

// Single-parameter saves: the current value replaces the entry's value (an entry without a
// "value" attribute is left alone) or is appended; the value line is logged.
void gf_setStringParameter(StringParameter& parameter, std::string value);  // assigns, then saves
void gf_writeParameter(StringParameter& parameter);
void gf_saveBoolParameter(BoolParameter& parameter);
void gf_saveIntParameter(IntParameter& parameter);

// The first element at elementPath (an XPath such as "/parameters/parameter") whose "name"
// attribute equals name, searched from node; a null node when there is none.
pugi::xml_node gf_selectByName(const pugi::xml_node& node, const char* elementPath, const std::string& name);

// Typed look-up in a parameters-style document (the root element must be "parameters"): empty
// when no entry has the name; false, 0 or "" when the entry has no "value" attribute.
[[nodiscard]] std::optional<bool> gf_paramAsBool(const pugi::xml_node& node, const std::string& name);
[[nodiscard]] std::optional<std::int32_t> gf_paramAsInt(const pugi::xml_node& node, const std::string& name);
[[nodiscard]] std::optional<std::string> gf_paramAsString(const pugi::xml_node& node, const std::string& name);

// For MAIN_WINDOW_X with x and MAIN_WINDOW_Y with y, each on its own: when the parameter sits
// at a limit, it takes the coordinate (clamped) and is saved.
void gf_saveMainWindowPos(std::int32_t x, std::int32_t y);

// The text of any of the program's XML documents as it is saved: UTF-8, indented by two spaces,
// with the declaration version "1.0" and encoding "UTF-8" (added or completed when missing).
std::string gf_xmlText(pugi::xml_document& document);
// Saves that text through gf_writeFileSafely; on failure the old file stays, the reason is logged
// and the answer is false.
[[nodiscard]] bool gf_saveXml(pugi::xml_document& document, const std::filesystem::path& path,
                              WriteDurability durability = WriteDurability::Synced);
// Loads an XML file read from outside, at most maxBytes (see gf_readFileLimited). Anything but ok
// leaves the document empty and sets error to a line naming the file and the reason.
FileRead gf_loadXmlLimited(pugi::xml_document& document, const std::filesystem::path& path, std::size_t maxBytes,
                           std::string& error);
