#include "refdata/self_update_installer.hpp"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <system_error>

#include "foundation/status_sink.hpp"
#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/program_id.hpp"
#include "foundation/run_state.hpp"
#include "foundation/safe_write.hpp"
#include "foundation/text.hpp"
#include "platform/zip_archive.hpp"
#include "refdata/downloads.hpp"
#include "refdata/self_update.hpp"

namespace fs = std::filesystem;

namespace {

std::mutex& lf_contextMutex()
{
    static std::mutex mutex;
    return mutex;
}

InstallerRightsContext& lf_context()
{
    static InstallerRightsContext context = gf_defaultInstallerRightsContext();
    return context;
}

std::string lf_text(const fs::path& path) { return gf_pathToUtf8(path); }

// Moves a file, copying it when the rename would cross file systems.
bool lf_moveFile(const fs::path& from, const fs::path& to, std::error_code& error)
{
    fs::rename(from, to, error);
    if (error != std::errc::cross_device_link)
        return !error;
    error.clear();
    if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, error))
        return false;
    std::error_code ignored;
    fs::remove(from, ignored);  // a copy that stays behind is removed after the move
    return true;
}

// Writes the content of every file entry of the release to install_new_version.exe. A damaged
// entry leaves no installer behind: half an installer must never be offered. True when the
// installer it wrote is there.
bool lf_unzipInstaller(const fs::path& zip)
{
    vald::ZipArchive archive(zip);
    if (!archive.open(vald::ZipArchive::OpenMode::ReadOnly)) {
        gf_logWarn(vald::format("Could not open {}", lf_text(zip)));
        return false;
    }
    const std::vector<vald::ZipEntry> entries = archive.getEntries();
    for (const vald::ZipEntry& entry : entries)
        if (!gf_isPlainFileName(entry.name)) {
            gf_logWarn(vald::format("Refused {}: entry name '{}' is not a plain file name", lf_text(zip), entry.name));
            return false;
        }
    const fs::path installer = INSTALL_NEW_VERSION_EXE;
    bool written = false;
    for (const vald::ZipEntry& entry : entries) {
        // Unpacked whole, then written once: a damaged entry never leaves half an installer.
        std::ostringstream out;
        const int code = archive.readContent(entry, out, vald::ZipArchive::DEFAULT_CHUNK_BYTES);
        if (code != 0) {
            gf_logWarn(vald::format("Unzipping error code: {}", code));
            std::error_code error;
            fs::remove(installer, error);
            written = false;
            continue;
        }
        std::string error;
        written = gf_writeFileSafely(installer, out.str(), error);
        if (written)
            gf_log(vald::format("{} unzipped to {}", lf_text(zip), lf_text(installer)));
        else
            gf_logWarn(error);
    }
    archive.discard();  // opened read-only: there is nothing to write back
    return written;
}

// new_version is created, or emptied when it exists.
void lf_prepareNewVersionFolder()
{
    std::error_code error;
    const fs::file_status status = fs::status(NEW_VERSION_FOLDER, error);
    if (status.type() == fs::file_type::not_found) {
        fs::create_directory(NEW_VERSION_FOLDER);
        return;
    }
    if (error)
        throw fs::filesystem_error("exists", NEW_VERSION_FOLDER, error);
    gf_removeFilesFromDirectory(NEW_VERSION_FOLDER);
}

// Moves install_new_version.exe into new_version, through a temporary name so that a size that
// changed on the way is noticed before the installer is offered.
bool lf_moveInstallerIntoPlace()
{
    const fs::path from = INSTALL_NEW_VERSION_EXE;
    const fs::path to = NEW_VERSION_FOLDER / INSTALL_NEW_VERSION_EXE;
    fs::path partial = to;
    partial += ".part";
    std::error_code error;
    fs::remove(partial, error);
    fs::remove(to, error);

    const std::uintmax_t size1 = fs::file_size(from, error);
    if (error) {
        gf_log(vald::format("file_size({}) failed: {}", lf_text(from), error.message()));
        return false;
    }
    if (!lf_moveFile(from, partial, error)) {
        gf_log(vald::format("could not rename {} => {}: {}", lf_text(from), lf_text(partial), error.message()));
        return false;
    }
    const std::uintmax_t size2 = fs::file_size(partial, error);
    if (error) {
        gf_log(vald::format("file_size({}) failed: {}", lf_text(partial), error.message()));
        return false;
    }
    if (size2 != size1) {
        gf_log(vald::format("rename {} => {} suspicious: size {} != {}", lf_text(from), lf_text(partial), size1, size2));
        return false;
    }
    if (!lf_moveFile(partial, to, error)) {
        gf_log(vald::format("could not finalize rename {} => {}: {}", lf_text(partial), lf_text(to), error.message()));
        return false;
    }
    fs::remove(from, error);
    if (error)
        gf_logWarn(vald::format("Warning: could not remove extracted: {}", error.message()));
    return true;
}

// Whether folder lies at or below base, compared part by part.
bool lf_isWithin(const fs::path& folder, const fs::path& base)
{
    const fs::path normalFolder = folder.lexically_normal();
    const fs::path normalBase = base.lexically_normal();
    auto f = normalFolder.begin();
    for (auto b = normalBase.begin(); b != normalBase.end(); ++b, ++f) {
        if (b->empty() && std::next(b) == normalBase.end())
            return true;  // the final separator of the base
        if (f == normalFolder.end() || *f != *b)
            return false;
    }
    return true;
}

// A file can be created in folder and written: the test file is gone again afterwards.
bool lf_canWriteIn(const fs::path& folder)
{
    const fs::path probe = folder / ".write_test.tmp";
    bool written = false;
    {
        std::ofstream out(probe, std::ios::binary | std::ios::trunc);
        if (out.is_open()) {
            out.put('\0');
            out.flush();
            written = static_cast<bool>(out);
        }
    }
    std::error_code ignored;
    fs::remove(probe, ignored);
    return written;
}

}  // namespace

bool gf_isPlainFileName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of("/\\:") == std::string::npos;
}

bool lf_downloadInstaller(const VersionData& published)
{
    const std::string versionText = gf_versionText(published);
    const fs::path zip = gf_pathFromUtf8(vald::format("setup_{}_d_v{}.zip", PROGRAM_ID, versionText));
    bool downloaded = false;
    bool unpacked = false;
    {
        DownloadHandle holder;
        if (!gf_downloadToFile(holder, gf_downloadBase() + "release/" + lf_text(zip), zip, DownloadKind::release)) {
            gf_showStatus(
                vald::format("Downloading program installer file version {} failed", versionText), true);
        } else {
            downloaded = true;
            gf_log(vald::format("Downloaded {}", lf_text(zip)));
            unpacked = lf_unzipInstaller(zip);
        }
    }
    // A close ended the download, or came while it was unpacked: the installer of an earlier
    // update stays in new_version, and nothing this one wrote is left in the program folder. A
    // file of those names that it did not write (a zip the user fetched by hand) is not its own.
    if (gf_stopPending()) {
        std::error_code ignored;
        if (downloaded)
            fs::remove(zip, ignored);
        if (unpacked)
            fs::remove(INSTALL_NEW_VERSION_EXE, ignored);
        return false;
    }
    lf_prepareNewVersionFolder();
    std::error_code error;
    fs::remove(zip, error);
    if (error)
        gf_logWarn(vald::format("Warning: could not remove downloaded zip: {}", error.message()));
    if (!fs::exists(INSTALL_NEW_VERSION_EXE, error)) {
        gf_logWarn(vald::format("{} does not exists?", lf_text(INSTALL_NEW_VERSION_EXE)));
        return false;
    }
    return lf_moveInstallerIntoPlace();
}

bool lf_downloadReleaseNotes(const fs::path& target)
{
    DownloadHandle holder;
    return gf_downloadToFile(holder, gf_downloadBase() + "docs/" + lf_text(RELEASE_NOTES_PDF), target, DownloadKind::releaseNotes);
}

bool lf_openExplorerAtNewVersion()
{
    const UpdateHooks hooks = gf_updateHooks();
    const fs::path installer = fs::current_path() / NEW_VERSION_FOLDER / INSTALL_NEW_VERSION_EXE;
    if (hooks.openContainingFolder(installer))
        return true;
    hooks.messageBox("Could not open File Explorer at new version", "Corv");
    return false;
}

InstallerRightsContext gf_defaultInstallerRightsContext()
{
    InstallerRightsContext context;
    context.protectedFolders = {"/opt", "/usr"};
    context.elevated = [] { return ::geteuid() == 0; };
    return context;
}

void gf_setInstallerRightsContext(InstallerRightsContext context)
{
    std::lock_guard<std::mutex> lock(lf_contextMutex());
    lf_context() = std::move(context);
}

std::string gf_installerRights(const fs::path& programFolder)
{
    InstallerRightsContext context;
    {
        std::lock_guard<std::mutex> lock(lf_contextMutex());
        context = lf_context();
    }
    bool inProtectedFolder = false;
    for (const fs::path& folder : context.protectedFolders)
        if (!folder.empty() && lf_isWithin(programFolder, folder))
            inProtectedFolder = true;
    if (inProtectedFolder && !lf_canWriteIn(programFolder) && !(context.elevated && context.elevated()))
        return "A new version is available. Run the installer as Administrator";
    return "A new version is available.\nThe installer can be executed normally (no Administrator rights required).";
}
