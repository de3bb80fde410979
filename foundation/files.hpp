#pragma once
// Older generations of rewritten files ("X.ext" keeps "X0.ext", "X00.ext", "X000.ext"), and
// counting, listing and removing files of a folder. Failures go to the log, not to the caller,
// except where a result is named.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// Sane sizes of the files the program reads from outside: a file past its limit is no file the
// program or a user made for it, so it is reported and skipped, never half-read.
inline constexpr std::size_t KIB = 1024;
inline constexpr std::size_t MIB = 1024 * KIB;
inline constexpr std::size_t MAX_PARAMETERS_FILE_BYTES = 4 * MIB;
inline constexpr std::size_t MAX_PARK_FILE_BYTES = 64 * MIB;     // 65,535 stands with their options
inline constexpr std::size_t MAX_LEARNED_FILE_BYTES = 64 * MIB;
inline constexpr std::size_t MAX_PARK_AIRPORT_LIST_BYTES = 4 * MIB;
inline constexpr std::size_t MAX_REDIRECT_FILE_BYTES = 64 * KIB;  // one line naming a park file

enum class [[nodiscard]] FileRead {
    ok,
    missing,     // no such file
    tooLarge,    // past the limit: nothing of it was taken
    unreadable,  // it exists but could not be read whole
    malformed,   // read, but its content could not be parsed (the XML loader's answer)
};

// Reads the whole file into bytes when it holds at most maxBytes (a file that grows past the limit
// while it is read counts as too large). Anything but ok leaves bytes empty and sets error to a
// line naming the file and the reason ("... is larger than ... bytes, skipped").
FileRead gf_readFileLimited(const std::filesystem::path& path, std::size_t maxBytes, std::string& bytes,
                            std::string& error);

// Before file is rewritten: copies it to its first generation. False (logged) when the copy
// failed: the file is then all there is of its content.
[[nodiscard]] bool gf_save1GenerationOf(const std::filesystem::path& file);
// Shifts the three generations of file by one (the oldest is dropped); true when no step failed.
// A missing file is no failure.
[[nodiscard]] bool gf_saveUpto3GenerationsOf(const std::filesystem::path& file);
// Copies from to to, overwriting; a missing from is skipped. A failure is logged and clears ok.
void gf_copyFile(const std::filesystem::path& from, const std::filesystem::path& to, bool& ok);

// Deletes file when it exists. A failed deletion is only a warning for the log ("Warning: could
// not remove {}, errorcode: {}"); a file that is not there writes nothing.
void gf_removeFileWarn(const std::filesystem::path& file);

// Regular files directly in folder; 0 when folder does not exist. Lets iteration errors pass.
std::size_t gf_countFilesIn(const std::filesystem::path& folder);
// Four-character names (airport codes) of the *.xml files (any case) of airports/my_thirdparty.
std::vector<std::string> gf_collectXmlFiles();
// Removes every entry directly in folder but one named keep (when given); the first failure is
// logged and ends the removal.
void gf_removeFilesFromDirectory(const std::filesystem::path& folder, const std::filesystem::path& keep = {});
// Removes the *.xml files (any case) of the folder tblo, likewise.
void gf_removeXMLFilesFromDirectory();
