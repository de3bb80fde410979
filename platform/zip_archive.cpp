#include "platform/zip_archive.hpp"

#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace vald {

namespace {

std::string lf_errorText(zip_error_t* error)
{
    const char* text = zip_error_strerror(error);
    return text != nullptr ? text : "unknown libzip error";
}

struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

}  // namespace

ZipArchive::ZipArchive(std::filesystem::path path) : path_(std::move(path)) {}

ZipArchive::~ZipArchive() { discard(); }

void ZipArchive::lf_setError(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    error_ = lf_errorText(&error);
    zip_error_fini(&error);
}

bool ZipArchive::open(OpenMode mode)
{
    discard();
    error_.clear();
    int flags = ZIP_RDONLY;
    if (mode == OpenMode::Write)
        flags = ZIP_CREATE;
    else if (mode == OpenMode::New)
        flags = ZIP_CREATE | ZIP_TRUNCATE;
    int code = ZIP_ER_OK;
    archive_ = zip_open(path_.c_str(), flags, &code);
    if (archive_ == nullptr) {
        lf_setError(code);
        return false;
    }
    return true;
}

std::vector<ZipEntry> ZipArchive::getEntries() const
{
    std::vector<ZipEntry> entries;
    if (archive_ == nullptr)
        return entries;
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        // An entry deleted in this session has no stat and is no longer part of the archive.
        if (zip_stat_index(archive_, static_cast<zip_uint64_t>(i), 0, &stat) != 0 || (stat.valid & ZIP_STAT_NAME) == 0)
            continue;
        ZipEntry entry;
        entry.name = stat.name;
        entry.index = static_cast<std::uint64_t>(i);
        entry.size = (stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0;
        entries.push_back(std::move(entry));
    }
    return entries;
}

int ZipArchive::readContent(const ZipEntry& entry, std::ostream& out, std::size_t chunkBytes)
{
    if (archive_ == nullptr)
        return ZIP_ER_ZIPCLOSED;
    if (chunkBytes == 0)
        return ZIP_ER_INVAL;
    std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(archive_, entry.index, 0));
    if (!file) {
        zip_error_t* error = zip_get_error(archive_);
        const int code = zip_error_code_zip(error);
        error_ = lf_errorText(error);
        return code != ZIP_ER_OK ? code : ZIP_ER_INTERNAL;
    }
    std::unique_ptr<char[]> buffer(new char[chunkBytes]);
    for (;;) {
        const zip_int64_t read = zip_fread(file.get(), buffer.get(), chunkBytes);
        if (read < 0) {
            // Damaged data, including a wrong checksum at the end of the entry.
            zip_error_t* error = zip_file_get_error(file.get());
            const int code = zip_error_code_zip(error);
            error_ = lf_errorText(error);
            return code != ZIP_ER_OK ? code : ZIP_ER_READ;
        }
        if (read == 0) {
            out.flush();
            if (!out) {
                lf_setError(ZIP_ER_WRITE);
                return ZIP_ER_WRITE;
            }
            return ZIP_ER_OK;
        }
        out.write(buffer.get(), static_cast<std::streamsize>(read));
        if (!out) {
            lf_setError(ZIP_ER_WRITE);
            return ZIP_ER_WRITE;
        }
    }
}

bool ZipArchive::addData(const std::string& name, const std::string& data, Compression compression)
{
    if (archive_ == nullptr) {
        lf_setError(ZIP_ER_ZIPCLOSED);
        return false;
    }
    // libzip reads the bytes only when the archive is written: it gets its own copy, which it
    // frees itself (also when the source is freed below). An empty entry needs no buffer.
    void* copy = nullptr;
    if (!data.empty()) {
        copy = std::malloc(data.size());
        if (copy == nullptr) {
            lf_setError(ZIP_ER_MEMORY);
            return false;
        }
        std::memcpy(copy, data.data(), data.size());
    }
    zip_source_t* source = zip_source_buffer(archive_, copy, data.size(), copy != nullptr ? 1 : 0);
    if (source == nullptr) {
        std::free(copy);
        error_ = lf_errorText(zip_get_error(archive_));
        return false;
    }
    const zip_int64_t index = zip_file_add(archive_, name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        error_ = lf_errorText(zip_get_error(archive_));
        return false;
    }
    if (compression == Compression::Fast &&
        zip_set_file_compression(archive_, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1) != 0) {
        error_ = lf_errorText(zip_get_error(archive_));
        return false;
    }
    return true;
}

bool ZipArchive::close()
{
    if (archive_ == nullptr)
        return true;
    if (zip_close(archive_) != 0) {
        error_ = lf_errorText(zip_get_error(archive_));
        zip_discard(archive_);
        archive_ = nullptr;
        return false;
    }
    archive_ = nullptr;
    return true;
}

void ZipArchive::discard()
{
    if (archive_ != nullptr) {
        zip_discard(archive_);
        archive_ = nullptr;
    }
}

}  // namespace vald
