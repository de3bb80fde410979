#pragma once
// Text is UTF-8 inside the program and UTF-16 at the Windows-style interfaces. This holds the
// strict conversions, the detection of a text file's character set, the reading of a text file
// as lines according to it, and the writing of strings and line lists to files.
#include <cstdint>
#include <filesystem>
#include <istream>
#include <list>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/files.hpp"

enum class Charset : std::int32_t {
    ANSI = 0,                // bytes that are not valid UTF-8, taken as they are
    Unicode = 1,             // UTF-16 little-endian
    Unicode_big_endian = 2,  // UTF-16 big-endian
    UTF8_with_BOM = 3,
    UTF8_without_BOM = 4,    // valid UTF-8, plain ASCII or an empty file
    none_found = 5,          // the file cannot be opened
};

struct TextFile {
    std::filesystem::path path;
    std::vector<std::string> lines;  // UTF-8, without line terminators
};

// Strict conversions; invalid input throws std::runtime_error ("utf8_to_wide: invalid UTF-8",
// "wide_to_utf8: invalid UTF-16"; an unpaired surrogate is invalid).
std::u16string utf8_to_wide(std::string_view text);
std::string wide_to_utf8(std::u16string_view text);

std::string gf_pathToUtf8(const std::filesystem::path& path);
std::filesystem::path gf_pathFromUtf8(std::string_view text);

Charset gf_detectCharset(const std::filesystem::path& path);
// The enumerator's own name; a value outside the enumeration throws std::out_of_range.
std::string_view gf_charsetName(Charset charset);

// Appends the file's lines as UTF-8; false when the file cannot be opened or its UTF-16 content
// cannot be decoded (then the status line tells the user). none_found throws std::runtime_error.
[[nodiscard]] bool gf_readTextByCharset(Charset charset, const std::filesystem::path& path,
                                        std::vector<std::string>& lines);
// Replaces file.lines with the lines of file.path (none when it cannot be opened).
std::vector<std::string>& gf_readFileLines(TextFile& file, std::size_t reserve);
void gf_readStreamLines(std::istream& stream, std::vector<std::string>& lines);
// Appends the lines of a UTF-8 text: a leading byte-order mark is dropped, one '\r' before each
// '\n' is cut, a final '\n' adds no empty line.
void gf_splitLines(std::string_view text, std::vector<std::string>& lines);

enum class Utf16Order { littleEndian, bigEndian };
// Reads a whole UTF-16 stream and appends its lines as UTF-8. A byte-order mark decides the
// order and is dropped; without one the stream is read in orderWithoutMark. Throws
// std::runtime_error for an odd number of bytes or invalid UTF-16.
void gf_readUtf16File(std::istream& stream, std::vector<std::string>& lines, Utf16Order orderWithoutMark);

// A text file read from outside, at most maxBytes (see gf_readFileLimited), its lines appended as
// UTF-8: UTF-16 with or without a byte-order mark (as Notepad saves) is decoded, any other text
// is split as it is. UTF-16 that cannot be decoded answers malformed; error tells why.
FileRead gf_readTextFileLimited(const std::filesystem::path& path, std::size_t maxBytes,
                                std::vector<std::string>& lines, std::string& error);

// The writers go through gf_writeFileSafely: the old file stays whole unless the new one is
// written entirely. They answer false on failure and log the reason.
[[nodiscard]] bool gf_writeFile(const std::string& text, const std::filesystem::path& path, bool addNewline);
[[nodiscard]] bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path);
[[nodiscard]] bool gf_writeLineList(const std::list<std::string>& lines, const std::filesystem::path& path);

