#pragma once
// Older generations of rewritten files ("X.ext" keeps "X0.ext", "X00.ext", "X000.ext"), and
// counting, listing and removing files of a folder. Failures go to the log, not to the caller,
// except where a result is named.
#include <filesystem>
#include <string>
#include <vector>

// Before file is rewritten: copies it to its first generation.
void gf_save1GenerationOf(const std::filesystem::path& file);
// Shifts the three generations of file by one (the oldest is dropped); true when no step failed.
// A missing file is no failure.
bool gf_saveUpto3GenerationsOf(const std::filesystem::path& file);
// Copies from to to, overwriting; a missing from is skipped. A failure is logged and clears ok.
void gf_copyFile(const std::filesystem::path& from, const std::filesystem::path& to, bool& ok);

// Deletes file when it exists. A failed deletion is only a warning for the log ("Warning: could
// not remove {}, errorcode: {}"); a file that is not there writes nothing.
void gf_removeFileWarn(const std::filesystem::path& file);

// Regular files directly in folder; 0 when folder does not exist. Lets iteration errors pass.
std::size_t gf_countFilesIn(const std::filesystem::path& folder);
// Four-character names (airport codes) of the *.xml files (any case) of airports/my_thirdparty.
std::vector<std::string> gf_collectXmlFiles();
// Removes every entry directly in folder; the first failure is logged and ends the removal.
void gf_removeFilesFromDirectory(const std::filesystem::path& folder);
// Removes the *.xml files (any case) of the folder tblo, likewise.
void gf_removeXMLFilesFromDirectory();
