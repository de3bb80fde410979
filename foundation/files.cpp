#include "foundation/files.hpp"

#include <fstream>
#include <system_error>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/safe_write.hpp"
#include "foundation/strings.hpp"
#include "foundation/text.hpp"

namespace fs = std::filesystem;

namespace {

// Generation g of a file: g zeros inserted before the last '.' of its text.
fs::path lf_generationPath(const std::string& text, std::size_t dot, int generation)
{
    std::string name = text;
    name.insert(dot, static_cast<std::size_t>(generation), '0');
    return gf_pathFromUtf8(name);
}

bool lf_isXmlExtension(const fs::path& file)
{
    return gf_upperEquals(".XML", gf_pathToUtf8(file.extension()));
}

// Removes the entries of folder that pass wanted; the first failure is logged and ends it.
template <typename Filter>
void lf_removeEntries(const fs::path& folder, const char* functionName, Filter wanted)
{
    try {
        if (!fs::exists(folder) || !fs::is_directory(folder))
            return;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            if (wanted(entry.path()))
                fs::remove(entry.path());
        }
    } catch (const fs::filesystem_error& e) {
        gf_logWarn(vald::format("{} exception: {}", functionName, e.what()));
    }
}

}  // namespace

FileRead gf_readFileLimited(const fs::path& path, std::size_t maxBytes, std::string& bytes, std::string& error)
{
    bytes.clear();
    error.clear();
    std::error_code code;
    const fs::file_status status = fs::status(path, code);
    if (status.type() == fs::file_type::not_found) {
        error = vald::format("{} not found", gf_pathToUtf8(path));
        return FileRead::missing;
    }
    if (code || !fs::is_regular_file(status)) {
        error = vald::format("{} cannot be read: {}", gf_pathToUtf8(path),
                             code ? code.message() : std::string("not a regular file"));
        return FileRead::unreadable;
    }
    const auto tooLarge = [&] {
        bytes.clear();
        error = vald::format("{} is larger than {} bytes, skipped", gf_pathToUtf8(path), maxBytes);
        return FileRead::tooLarge;
    };
    const std::uintmax_t size = fs::file_size(path, code);
    if (!code && size > maxBytes)
        return tooLarge();
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        error = vald::format("{} cannot be opened", gf_pathToUtf8(path));
        return FileRead::unreadable;
    }
    // Read in pieces up to one byte past the limit: the size seen before may have changed.
    constexpr std::size_t pieceBytes = 64 * KIB;
    std::string piece(pieceBytes, '\0');
    while (in) {
        in.read(piece.data(), static_cast<std::streamsize>(pieceBytes));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (bytes.size() + got > maxBytes)
            return tooLarge();
        bytes.append(piece.data(), got);
    }
    if (in.bad()) {
        bytes.clear();
        error = vald::format("{} could not be read whole", gf_pathToUtf8(path));
        return FileRead::unreadable;
    }
    return FileRead::ok;
}

void gf_copyFile(const fs::path& from, const fs::path& to, bool& ok)
{
    std::error_code error;
    const fs::file_status status = fs::status(from, error);
    if (error && status.type() != fs::file_type::not_found) {
        gf_logWarn(vald::format("exists({}): {}", gf_pathToUtf8(from), error.message()));
        ok = false;
        return;
    }
    if (!fs::exists(status))
        return;
    // Through the one writer: the old copy stays whole until the new one is complete.
    std::string failure;
    if (!gf_copyFileSafely(from, to, failure)) {
        gf_logWarn(vald::format("copy {} -> {} failed: {}", gf_pathToUtf8(from), gf_pathToUtf8(to), failure));
        ok = false;
    }
}

bool gf_save1GenerationOf(const fs::path& file)
{
    const std::string text = gf_pathToUtf8(file);
    const std::size_t dot = text.rfind('.');
    if (dot == std::string::npos) {
        gf_logWarn(vald::format("gf_save1GenerationOf: no dot in filename: {}", text));
        return false;
    }
    bool ok = true;
    gf_copyFile(file, lf_generationPath(text, dot, 1), ok);
    return ok;
}

bool gf_saveUpto3GenerationsOf(const fs::path& file)
{
    const std::string text = gf_pathToUtf8(file);
    const std::size_t dot = text.rfind('.');
    if (dot == std::string::npos) {
        gf_logWarn(vald::format("gf_saveUpto3GenerationsOf: no dot in filename: {}", text));
        return false;
    }
    bool ok = true;
    // Oldest first, so each copy reads a generation before it is overwritten; every step is
    // tried even after a failure.
    gf_copyFile(lf_generationPath(text, dot, 2), lf_generationPath(text, dot, 3), ok);
    gf_copyFile(lf_generationPath(text, dot, 1), lf_generationPath(text, dot, 2), ok);
    gf_copyFile(file, lf_generationPath(text, dot, 1), ok);
    return ok;
}

std::size_t gf_countFilesIn(const fs::path& folder)
{
    if (!fs::exists(folder))
        return 0;
    std::size_t count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file())
            ++count;
    }
    return count;
}

std::vector<std::string> gf_collectXmlFiles()
{
    std::vector<std::string> names;
    if (!fs::exists(MY_THIRDPARTY_FOLDER))
        return names;
    names.reserve(512);
    constexpr std::size_t airportCodeLength = 4;
    for (const fs::directory_entry& entry : fs::directory_iterator(MY_THIRDPARTY_FOLDER)) {
        if (!entry.is_regular_file() || !lf_isXmlExtension(entry.path()))
            continue;
        std::string stem = gf_pathToUtf8(entry.path().stem());
        if (stem.size() == airportCodeLength)
            names.push_back(std::move(stem));
    }
    return names;
}

void gf_removeFilesFromDirectory(const fs::path& folder, const fs::path& keep)
{
    lf_removeEntries(folder, "gf_removeFilesFromDirectory",
                     [&keep](const fs::path& entry) { return keep.empty() || entry.filename() != keep; });
}

void gf_removeXMLFilesFromDirectory()
{
    lf_removeEntries(TBLO_FOLDER_PATH, "gf_removeXMLFilesFromDirectory", lf_isXmlExtension);
}

void gf_removeFileWarn(const fs::path& file)
{
    std::error_code ec;
    if (fs::remove(file, ec) || !ec)
        return;
    if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory ||
        ec == std::errc::filename_too_long || ec == std::errc::invalid_argument)
        return;
    gf_logWarn(vald::format("Warning: could not remove {}, errorcode: {}", gf_pathToUtf8(file), ec.value()));
}
