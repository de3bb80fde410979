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
// Packs the regular files of tblo into zipPath, built beside it and put in its place only when
// whole; true when the new zip stands there afterwards, not empty. packed (when given) then holds
// the names of its entries.
[[nodiscard]] bool lf_zipFolder(const std::filesystem::path& zipPath, std::vector<std::string>* packed = nullptr);
// Closes the archive being built and puts it in zipPath's place; one that is not whole is
// discarded and the old zip stays.
[[nodiscard]] bool lf_zipClose(vald::ZipArchive& archive, const std::filesystem::path& zipPath, std::size_t added,
                               bool whole = true);
// Reads a file of the tblo step whole through the bounded reader; nothing when it cannot.
[[nodiscard]] std::optional<std::string> lf_readFileBytes(const std::filesystem::path& path, std::size_t maxBytes);
