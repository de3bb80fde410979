#include "foundation/log.hpp"

#include <filesystem>
#include <stdexcept>

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/program_id.hpp"
#include "foundation/run_state.hpp"
#include "foundation/time_slots.hpp"
#include "platform/process_setup.hpp"

namespace {

const char* const LOG_FILE_NAME = "Log.txt";
constexpr std::string_view WARN_PREFIX = "==> ";
constexpr std::string_view INDENT = "          ";

void lf_writeLine(std::string_view prefix, std::string_view text, bool flush)
{
    std::lock_guard<std::mutex> lock(gf_logMutex());
    std::ofstream& stream = gf_logStream();
    if (!stream.is_open())
        return;
    stream << prefix << text << '\n';
    if (flush)
        stream.flush();
}

void lf_closeStream()
{
    std::lock_guard<std::mutex> lock(gf_logMutex());
    std::ofstream& stream = gf_logStream();
    if (stream.is_open())
        stream.close();
    stream.clear();
}

}  // namespace

std::mutex& gf_logMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::ofstream& gf_logStream()
{
    static std::ofstream stream;
    return stream;
}

void gf_openLog()
{
    const std::filesystem::path path(LOG_FILE_NAME);
    // An open log is closed first, so its generation holds every line written to it.
    lf_closeStream();
    // A failed copy of an older generation must not keep the program from logging.
    (void)gf_saveUpto3GenerationsOf(path);
    {
        std::lock_guard<std::mutex> lock(gf_logMutex());
        std::ofstream& stream = gf_logStream();
        stream.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
        if (!stream.is_open()) {
            stream.setstate(std::ios::failbit);
            throw std::runtime_error(std::string("Failed to write file ") + path.string());
        }
        // Programs we start (the file browser, the installer) must not hold the log open; should
        // that fail, a child only keeps the file open a while: no reason to go without a log.
        static_cast<void>(vald::gf_keepFromChildren(*stream.rdbuf()));
    }
    const VersionData& version = gf_programVersion();
    gf_log(vald::format("{} (utc) {} version {}.{}.{} for {}", gf_timeText(gf_utcNow()), PROGRAM_ID,
                        version.major, version.minor, version.patch, SIMULATOR_TEXT));
}

void gf_log(std::string_view text) { lf_writeLine({}, text, false); }
void gf_logWarn(std::string_view text) { lf_writeLine(WARN_PREFIX, text, true); }
void gf_logAndFlush(std::string_view text) { lf_writeLine({}, text, true); }
void gf_logIndented(std::string_view text) { lf_writeLine(INDENT, text, false); }

void gf_logUnlessStopping(std::string_view text)
{
    if (gf_stopPending())
        return;
    lf_writeLine({}, text, false);
}

void gf_closeLogForTest() { lf_closeStream(); }
