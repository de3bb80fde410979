// Which files in airports/my_ORBX and airports/my_thirdparty are the scan's: the user keeps park
// files and links of their own there, and those must come through every scan byte for byte.
//
// A file is the scan's only when the scan wrote down its name and the hash of what it wrote, on
// the disk, before it made the file (the journal), and the file still holds exactly that: a
// regular file, not a link, not write-protected. Anything else (not listed, changed since, a
// link) is the user's: never written over, never removed, and said in the scan log. The one
// exception is an installation without a record yet (an upgrade): there a park file that carries
// the program's meta block of a generated file is the scan's. A listed file left empty counts as
// the scan's: a crash cut its write short. A listed file that cannot be read whole may be either's:
// it is left as it is and stays listed, and the scan counts it as a failed write. Nothing is
// removed on a stop or after a failed write; a completed scan that saw all its scenery removes the
// files of earlier scans it did not write again.
#include "scanner/scan_outputs.hpp"

#include <sodium.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>

#include <pugixml.hpp>

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/program_id.hpp"
#include "foundation/safe_write.hpp"
#include "foundation/scan_pool.hpp"
#include "foundation/strings.hpp"
#include "foundation/text.hpp"
#include "scanner/airports_scan_log.hpp"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view RECORD_HEADER = "Corv_P3D scan outputs 1";
// A record longer than this is no record of ours: it is not followed.
constexpr std::size_t MAX_RECORD_BYTES = 64 * MIB;
constexpr std::size_t HASH_BYTES = 16;

// What the scan wrote into one file.
struct Written {
    std::uintmax_t size = 0;
    std::string hash;
    bool operator==(const Written&) const = default;
};
using Record = std::map<std::string, std::vector<Written>, std::less<>>;

// Guarded by outputsMutex.
struct ScanState {
    Record earlier;        // the record and an interrupted scan's journal: any of these is the scan's
    Record written;        // this scan's files, each after its journal line
    std::set<std::string, std::less<>> users;  // found to be the user's: left out of the record
    std::uint64_t generation = 0;
    bool open = false;
    std::size_t writing = 0;  // writes under way
    bool stuck = false;       // a write outlasted the close: its journal line must stay
    std::size_t failed = 0;
    bool incomplete = false;
};
std::mutex outputsMutex;
std::condition_variable writesDone;
ScanState state;

thread_local std::uint64_t taskGeneration = 0;

std::string lf_key(const fs::path& path) { return gf_pathToUtf8(path.lexically_normal()); }

bool lf_inOutputFolder(const fs::path& path)
{
    const fs::path folder = path.lexically_normal().parent_path();
    return !path.filename().empty() &&
           (folder == MY_ORBX_FOLDER.lexically_normal() || folder == MY_THIRDPARTY_FOLDER.lexically_normal());
}

Written lf_written(std::string_view bytes)
{
    unsigned char hash[HASH_BYTES];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), nullptr,
                       0);
    std::string hex;
    for (const unsigned char b : hash)
        hex += vald::format("{:02x}", b);
    return Written{bytes.size(), hex};
}

std::string lf_line(const std::string& key, const Written& written)
{
    return vald::format("{} {} {}\n", written.size, written.hash, key);
}

// "<size> <hash> <path>" of a file in the output folders; other lines are passed over.
void lf_takeLines(const std::vector<std::string>& lines, std::size_t first, Record& record)
{
    for (std::size_t i = first; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t a = line.find(' ');
        const std::size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
        if (b == std::string::npos || b - a - 1 != 2 * HASH_BYTES)
            continue;
        std::uintmax_t size = 0;
        const auto [end, failure] = std::from_chars(line.data(), line.data() + a, size);
        const fs::path path = gf_pathFromUtf8(line.substr(b + 1));
        if (failure != std::errc{} || end != line.data() + a || !lf_inOutputFolder(path))
            continue;
        std::vector<Written>& contents = record[lf_key(path)];
        const Written written{size, line.substr(a + 1, b - a - 1)};
        if (std::find(contents.begin(), contents.end(), written) == contents.end())
            contents.push_back(written);
    }
}

// The lines of a file of ours; nothing when it is missing or cannot be read (logged).
std::optional<std::vector<std::string>> lf_readLines(const fs::path& path)
{
    std::string bytes;
    std::string error;
    const FileRead read = gf_readFileLimited(path, MAX_RECORD_BYTES, bytes, error);
    if (read != FileRead::ok) {
        if (read != FileRead::missing)
            gf_logWarn(error + ": the scan's files are told by their form");
        return std::nullopt;
    }
    std::vector<std::string> lines;
    gf_splitLines(bytes, lines);
    return lines;
}

// The form a scan gives its park files: the program's meta block and the stand count of a
// generated file. A link file has no such mark: a user's link and one of an earlier version read
// alike, so links stay the user's.
bool lf_carriesGeneratedForm(const fs::path& path, const std::string& bytes)
{
    pugi::xml_document document;
    if (path.extension() != ".xml" || !document.load_buffer(bytes.data(), bytes.size()))
        return false;
    const pugi::xml_node author =
        document.child("meta").find_child_by_attribute("info", "name", META_AUTHOR.name().c_str());
    const pugi::xml_node count =
        document.child("parameters").find_child_by_attribute("parameter", "name", ATTR_NUM_PARKPOS.data());
    return std::string_view(author.attribute("value").as_string()) == PROGRAM_ID && count;
}

// Without a record yet (an upgrade): the files of the two output folders that carry the form the
// scan writes are taken into the record as they are.
void lf_adoptGeneratedFiles(Record& record)
{
    for (const fs::path& folder : {MY_ORBX_FOLDER, MY_THIRDPARTY_FOLDER}) {
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            struct stat info {};
            std::string bytes;
            std::string failure;
            if (::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
                gf_isWriteProtected(it->path(), info) ||
                gf_readFileLimited(it->path(), MAX_PARK_FILE_BYTES, bytes, failure) != FileRead::ok ||
                !lf_carriesGeneratedForm(it->path(), bytes))
                continue;
            std::vector<Written>& contents = record[lf_key(it->path())];
            if (contents.empty())
                contents.push_back(lf_written(bytes));
        }
    }
}

// Who owns what stands at path now.
enum class Owner {
    none,     // nothing stands there
    scan,     // a file of the scan, as it wrote it
    user,     // anything else
    unknown,  // listed, but it could not be read whole: maybe the scan's, so neither written over nor the user's
};
struct Look {
    Owner owner = Owner::none;
    std::optional<FileIdentity> identity;  // what stands there
    std::string why;                       // for the scan log (the user's) or the log (unknown)
};

Look lf_look(const fs::path& path, const std::vector<Written>& recorded)
{
    Look look;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return look;
    look.identity = gf_identityOf(info);
    look.owner = Owner::user;
    if (S_ISLNK(info.st_mode))
        look.why = "a link";
    else if (!S_ISREG(info.st_mode))
        look.why = "not a plain file";
    else if (gf_isWriteProtected(path, info))
        look.why = "write-protected";
    else if (recorded.empty())
        look.why = "not written by the scan";
    if (!look.why.empty())
        return look;
    look.owner = Owner::scan;
    if (info.st_size == 0)
        return look;  // listed and empty: a crash cut the scan's write short
    std::string bytes;
    if (gf_readFileLimited(path, MAX_PARK_FILE_BYTES, bytes, look.why) != FileRead::ok ||
        bytes.size() != static_cast<std::uintmax_t>(info.st_size)) {
        look.owner = Owner::unknown;  // a read error, or it changed while it was read
        if (look.why.empty())
            look.why = vald::format("{} changed while it was read", gf_pathToUtf8(path));
        return look;
    }
    look.why.clear();
    if (std::find(recorded.begin(), recorded.end(), lf_written(bytes)) == recorded.end()) {
        look.owner = Owner::user;
        look.why = "changed since the scan wrote it";
    }
    return look;
}

void lf_reportUsers(const std::string& key, const std::string& why)
{
    {
        std::lock_guard<std::mutex> lock(outputsMutex);
        if (!state.users.insert(key).second)
            return;  // said once per scan
    }
    gf_addToAirportsScanLog(vald::format("{}{} is not a file of the scan ({}): kept as it is", "===> ", key, why));
}

// Everything recorded for key. Takes outputsMutex.
std::vector<Written> lf_recorded(const std::string& key)
{
    std::lock_guard<std::mutex> lock(outputsMutex);
    std::vector<Written> contents;
    for (const Record* record : {&state.earlier, &state.written})
        if (const auto it = record->find(key); it != record->end())
            contents.insert(contents.end(), it->second.begin(), it->second.end());
    return contents;
}

// The journal: lines reach the disk before the files they name are made. The tasks' lines are
// gathered: whichever task finds no sync under way syncs every line waiting, so that the tasks
// share the syncs. After a failed sync nothing more is written for the scan. The line numbers run
// on across scans, and a line stays waiting until it is on the disk: a sync of an earlier scan
// that is still under way when the next one starts tells only its own lines durable, and its
// failure fails neither the new scan nor the lines it did not hold.
class Journal {
public:
    void start()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++scan_;
        pending_.insert(0, 1, '\n');  // ends a line that a crash may have cut short
        broken_ = false;
    }

    bool record(const std::string& line)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        pending_ += line;
        const std::uint64_t mine = ++appended_;
        while (durable_ < mine && !broken_) {
            if (flushing_) {
                synced_.wait(lock);
                continue;
            }
            flushing_ = true;
            const std::string batch = std::exchange(pending_, {});
            const std::uint64_t upto = appended_;
            const std::uint64_t scan = scan_;
            lock.unlock();
            std::string error;
            const bool ok = gf_appendDurably(SCAN_OUTPUTS_JOURNAL_PATH, batch, error);
            if (!ok)
                gf_logWarn(error);
            lock.lock();
            flushing_ = false;
            if (ok) {
                durable_ = upto;
            } else {
                // Not on the disk (perhaps in part): the lines wait for the next sync, after a line end.
                pending_.insert(0, "\n" + batch);
                broken_ = broken_ || scan == scan_;
            }
            synced_.notify_all();
        }
        return durable_ >= mine;
    }

private:
    std::mutex mutex_;  // a leaf: the sync runs without it
    std::condition_variable synced_;
    std::string pending_;
    std::uint64_t appended_ = 0;
    std::uint64_t durable_ = 0;
    std::uint64_t scan_ = 0;
    bool flushing_ = false;
    bool broken_ = false;
};
Journal journal;

void lf_countFailure()
{
    std::lock_guard<std::mutex> lock(outputsMutex);
    ++state.failed;
}

}  // namespace

void gf_openScanOutputs()
{
    // The hash is the library's own; it works uninitialised too, only slower.
    if (sodium_init() < 0)
        gf_logWarn("libsodium could not be initialised");
    Record earlier;
    bool recorded = false;
    if (const std::optional<std::vector<std::string>> lines = lf_readLines(SCAN_OUTPUTS_LIST_PATH)) {
        recorded = !lines->empty() && lines->front() == RECORD_HEADER;
        if (recorded)
            lf_takeLines(*lines, 1, earlier);
    }
    if (const std::optional<std::vector<std::string>> lines = lf_readLines(SCAN_OUTPUTS_JOURNAL_PATH))
        lf_takeLines(*lines, 0, earlier);
    if (!recorded)
        lf_adoptGeneratedFiles(earlier);
    journal.start();
    std::lock_guard<std::mutex> lock(outputsMutex);
    const std::uint64_t generation = state.generation + 1;
    const std::size_t writing = state.writing;  // a write an earlier scan left stuck still ends here
    state = ScanState{};
    state.earlier = std::move(earlier);
    state.generation = generation;
    state.writing = writing;
    state.open = true;
}

std::uint64_t gf_scanOutputGeneration()
{
    std::lock_guard<std::mutex> lock(outputsMutex);
    return state.generation;
}

ScanOutputTask::ScanOutputTask(std::uint64_t generation) { taskGeneration = generation; }

ScanOutputTask::~ScanOutputTask() { taskGeneration = 0; }

ScanPlace gf_lookAtScanPlace(const fs::path& path, std::span<const fs::path> lookedFor)
{
    ScanPlace place;
    place.path = path;
    const std::string key = lf_key(path);
    const Look look = lf_look(path, lf_recorded(key));
    place.identity = look.identity;
    if (look.owner == Owner::user) {
        lf_reportUsers(key, look.why);
        place.usersFile = true;
        return place;
    }
    if (look.owner == Owner::unknown)
        place.unreadable = look.why;
    const auto self = std::find(lookedFor.begin(), lookedFor.end(), path);
    for (auto later = self == lookedFor.end() ? self : self + 1; later != lookedFor.end(); ++later) {
        const Look hidden = lf_look(*later, lf_recorded(lf_key(*later)));
        if (hidden.owner == Owner::user) {
            gf_addToAirportsScanLog(vald::format("{}{} not written: it would hide the user's {}", "===> ", key,
                                                 gf_pathToUtf8(*later)));
            place.usersFile = true;
            return place;
        }
        if (hidden.owner == Owner::unknown && place.unreadable.empty())
            place.unreadable = hidden.why;
    }
    return place;
}

ScanWrite gf_writeScanOutput(const ScanPlace& place, const std::optional<std::string>& bytes)
{
    const fs::path& path = place.path;
    const std::string key = lf_key(path);
    const std::uint64_t generation = taskGeneration;
    {
        std::lock_guard<std::mutex> lock(outputsMutex);
        if (!state.open || generation != state.generation || gf_scanTaskAbandoned())
            return ScanWrite::late;
        ++state.writing;
    }
    struct Done {
        ~Done()
        {
            {
                std::lock_guard<std::mutex> lock(outputsMutex);
                --state.writing;
            }
            writesDone.notify_all();
        }
    } done;
    if (!lf_inOutputFolder(path)) {
        gf_logWarn(vald::format("{} is no file of the scan's output folders", key));
        lf_countFailure();
        return ScanWrite::failed;
    }
    if (place.usersFile)
        return ScanWrite::kept;
    if (!bytes || !place.unreadable.empty()) {
        // What may be a file of the scan is neither written over nor given to the user: the scan
        // does not complete, and its record keeps the file.
        gf_logWarn(bytes ? vald::format("{} not written: {}", key, place.unreadable)
                         : vald::format("{} not written: its text could not be made", key));
        lf_countFailure();
        return ScanWrite::failed;
    }
    const Written mine = lf_written(*bytes);
    if (!journal.record(lf_line(key, mine))) {
        lf_countFailure();
        return ScanWrite::failed;
    }
    GuardedWrite rules;
    rules.durability = WriteDurability::Scratch;  // synced once at the scan's end
    rules.mayReplace = [&place](const std::optional<FileIdentity>& now) { return now == place.identity; };
    std::string error;
    switch (gf_writeFileGuarded(path, *bytes, rules, error)) {
    case WriteOutcome::written: {
        std::lock_guard<std::mutex> lock(outputsMutex);
        if (generation == state.generation)  // a write stuck past its scan's end: its journal line stays
            state.written[key] = {mine};
        return ScanWrite::written;
    }
    case WriteOutcome::refused:
        lf_reportUsers(key, error);
        return ScanWrite::kept;
    case WriteOutcome::failed:
        break;
    }
    gf_logWarn(error);
    lf_countFailure();
    return ScanWrite::failed;
}

void gf_noteScanIncomplete()
{
    std::lock_guard<std::mutex> lock(outputsMutex);
    state.incomplete = true;
}

void gf_closeScanOutputs()
{
    std::unique_lock<std::mutex> lock(outputsMutex);
    state.open = false;
    // A write on a stalled disk is waited for as long as a task; its journal line then stays.
    state.stuck = !writesDone.wait_for(lock, gf_scanTaskWait(), [] { return state.writing == 0; });
}

std::size_t gf_failedScanWrites()
{
    std::lock_guard<std::mutex> lock(outputsMutex);
    return state.failed;
}

void gf_removeStaleScanOutputs()
{
    Record candidates;
    {
        std::lock_guard<std::mutex> lock(outputsMutex);
        if (state.incomplete || state.failed > 0)
            return;
        for (const auto& [key, contents] : state.earlier)
            if (state.written.count(key) == 0 && state.users.count(key) == 0)
                candidates.emplace(key, contents);
    }
    Record kept;
    for (const auto& [key, contents] : candidates) {
        const fs::path path = gf_pathFromUtf8(key);
        const Look look = lf_look(path, contents);
        if (look.owner == Owner::none)
            continue;
        if (look.owner == Owner::user) {
            lf_reportUsers(key, look.why);
            continue;
        }
        if (look.owner == Owner::unknown) {
            gf_logWarn(look.why);
            kept.emplace(key, contents);  // perhaps still the scan's
            continue;
        }
        std::error_code error;
        fs::remove(path, error);
        if (error) {
            gf_log(vald::format("problems with removing previous files (maybe still open?): {}: {}", key,
                                error.message()));
            kept.emplace(key, contents);  // still the scan's
        }
    }
    std::lock_guard<std::mutex> lock(outputsMutex);
    state.earlier = std::move(kept);
}

std::vector<std::string> gf_generatedThirdpartyNames()
{
    std::vector<std::string> names;
    const std::string folder = lf_key(MY_THIRDPARTY_FOLDER);
    std::lock_guard<std::mutex> lock(outputsMutex);
    for (const auto& [key, contents] : state.written) {
        const fs::path path = gf_pathFromUtf8(key);
        if (lf_key(path.parent_path()) == folder && path.extension() == ".xml" && path.stem().native().size() == 4)
            names.push_back(gf_pathToUtf8(path.stem()));
    }
    return names;
}

bool gf_syncScanOutputs()
{
    // One sync per file system: the output folders usually share one.
    std::set<dev_t> synced;
    bool ok = true;
    for (const fs::path& folder : {MY_ORBX_FOLDER, MY_THIRDPARTY_FOLDER, TBLO_FOLDER_PATH}) {
        struct stat info {};
        // What is not there, or is no folder, holds nothing of this scan.
        if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || !synced.insert(info.st_dev).second)
            continue;
        std::string error;
        if (!gf_syncFileSystemOf(folder, error)) {
            gf_logWarn(error);
            ok = false;
        }
    }
    return ok;
}

bool gf_saveScanOutputList()
{
    std::string text = std::string(RECORD_HEADER) + "\n";
    bool stuck = false;
    {
        std::lock_guard<std::mutex> lock(outputsMutex);
        stuck = state.stuck;
        for (const auto& [key, contents] : state.written)
            for (const Written& written : contents)
                text += lf_line(key, written);
        // A file of an earlier scan that this one did not write again is still the scan's.
        for (const auto& [key, contents] : state.earlier)
            if (state.written.count(key) == 0 && state.users.count(key) == 0)
                for (const Written& written : contents)
                    text += lf_line(key, written);
    }
    std::error_code error;
    fs::create_directories(SCAN_OUTPUTS_LIST_PATH.parent_path(), error);
    std::string failure;
    if (!gf_writeFileSafely(SCAN_OUTPUTS_LIST_PATH, text, failure)) {
        gf_logWarn(failure);
        return false;
    }
    if (!stuck) {
        fs::remove(SCAN_OUTPUTS_JOURNAL_PATH, error);
        if (error)
            gf_logWarn(vald::format("{} could not be removed: {}", gf_pathToUtf8(SCAN_OUTPUTS_JOURNAL_PATH),
                                    error.message()));
    }
    return true;
}
