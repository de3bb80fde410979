#pragma once
// The offline-learning archive: after a scan, the park-position files generated for airports of
// other publishers are packed into tblo/tblo.zip, which the user mails in so that those airports
// can be learned offline.
#include <atomic>
#include <cstdint>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vald {
class ZipArchive;
}

// Files the scan placed in the tblo folder; the window shows its hint while not 0.
extern std::atomic<std::uint64_t> tbloFileCount;

// Where the archives are sent.
inline constexpr const char* TBLO_MAIL_ADDRESS = "tblo@corvalen.example";

// The step, on the names (airport codes) of the *.xml files of airports/my_thirdparty.
void lf_prepareTblo(const std::vector<std::string>& names);
// One file of the archive: its name there and its bytes.
struct TbloEntry {
    std::string name;
    std::string bytes;
};
// Packs entries into zipPath (an old one replaced); true when the zip exists afterwards, not empty.
bool lf_zipEntries(const std::filesystem::path& zipPath, const std::vector<TbloEntry>& entries);
bool lf_zipClose(vald::ZipArchive& archive, const std::filesystem::path& zipPath, std::size_t added);
// The zip of every generated park file; past this it is not taken in.
inline constexpr std::size_t TBLO_ZIP_MAX_BYTES = std::size_t{1} << 30;
// Reads a file of the tblo step whole through the bounded reader; nothing when it cannot.
std::optional<std::string> lf_readFileBytes(const std::filesystem::path& path, std::size_t maxBytes);
