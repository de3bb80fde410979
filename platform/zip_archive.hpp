#pragma once
// A zip archive on disk, through libzip: open it, list its entries, stream an entry's content out,
// add entries and write the result. Changes reach the file only through close(): an archive that
// is destroyed without it (an exception on the way) leaves the file as it was.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

struct zip;

namespace vald {

struct ZipEntry {
    std::string name;         // as stored in the archive ("folder/" for a folder)
    std::uint64_t index = 0;  // position in the archive
    std::uint64_t size = 0;   // uncompressed bytes

    bool isDirectory() const { return !name.empty() && name.back() == '/'; }
};

class ZipArchive {
public:
    enum class OpenMode {
        ReadOnly,  // an existing archive, not changed
        Write,     // an existing archive extended, or a new one
        New,       // a new archive that replaces whatever was there
    };

    // The default chunk in which readContent hands content on (512 KiB).
    static constexpr std::size_t DEFAULT_CHUNK_BYTES = 512u * 1024u;

    explicit ZipArchive(std::filesystem::path path);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // False when the archive cannot be opened in that mode (errorText tells why); an archive that
    // is already open is closed without saving first.
    [[nodiscard]] bool open(OpenMode mode);
    bool isOpen() const { return archive_ != nullptr; }
    // libzip's text of the last failure; empty when none.
    const std::string& errorText() const { return error_; }

    // Every entry in archive order; empty when the archive is not open.
    std::vector<ZipEntry> getEntries() const;

    // Streams the entry's uncompressed content into out, chunkBytes at a time. 0 on success, else a
    // libzip error code (ZIP_ER_CRC for damaged content, ZIP_ER_WRITE when out fails, ...).
    [[nodiscard]] int readContent(const ZipEntry& entry, std::ostream& out,
                                  std::size_t chunkBytes = DEFAULT_CHUNK_BYTES);

    // How hard an added entry is compressed: libzip's default, or the fastest deflate (a larger
    // archive, packed in a fraction of the time; still a standard deflated entry).
    enum class Compression { Default, Fast };

    // Adds the entry name (replacing one of that name) with a copy of data; written by close().
    [[nodiscard]] bool addData(const std::string& name, const std::string& data,
                               Compression compression = Compression::Default);

    // Writes the changes and closes the archive. True when nothing was lost (also for a read-only
    // archive and for one that was not open). On failure the file keeps its previous content.
    [[nodiscard]] bool close();
    // Closes without writing any change.
    void discard();

private:
    void lf_setError(int code);

    std::filesystem::path path_;
    zip* archive_ = nullptr;
    std::string error_;
};

}  // namespace vald
