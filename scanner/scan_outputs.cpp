// Which files in airports/my_ORBX and airports/my_thirdparty are the scan's: the user keeps park
// files and links of their own there, and those must come through every scan byte for byte.
//
// A file is the scan's only when the scan wrote down its name and the hash of what it wrote, on
// the disk, before it made the file (the journal), and the file still holds exactly that: a
// regular file, not a link, not write-protected. Anything else (not listed, changed since, a
// link) is the user's: never written over, never removed, and said in the scan log. A line names a
// file only by the very path the scan writes (an output folder, "/", the file's name). Where the
// record is missing or damaged (its header, a line that names no file, a last line cut short), the
// files it does not name may still be the scan's: the scan takes one as its own only when it holds
// exactly what the scan is about to write there, but for the day and version in its meta block;
// anything else stays the user's, and such a record is replaced only by that of a scan that
// completed and saw all its scenery. The record names only files whose writes reached the disk
// whole; the journal's lines that no saved record took in are those of scans that did not end so,
// and stay in the journal. An empty file that only the record names was emptied by the user; one
// that the journal names counts as the scan's: a crash cut its write short. A listed file that
// cannot be read whole may be either's: it is left as it is and stays listed, and the scan counts
// it as a failed write. Nothing is removed on a stop or after a failed write; a completed scan that
// saw all its scenery removes the files of earlier scans it did not write again.
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

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameters.hpp"
#include "foundation/safe_write.hpp"
#include "foundation/scan_pool.hpp"
#include "foundation/text.hpp"
#include "scanner/airports_scan_log.hpp"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view RECORD_HEADER = "Corv_P3D scan outputs 1";
// A record longer than this is no record of ours: it is not followed.
constexpr std::size_t MAX_RECORD_BYTES = 64 * MIB;
constexpr std::size_t HASH_BYTES = 16;
// How much longer than the scan's own text a file of an earlier day or version may be.
constexpr std::size_t STAMP_ROOM = 256;
// Goes before the journal's lines where the journal may end in a line cut short (a crash, a full
// disk): the carriage return makes that line damage, which no line end of a later append mends.
constexpr std::string_view CUT_LINE_END = "\r\n";

// What the scan wrote into one file.
struct Written {
    std::uintmax_t size = 0;
    std::string hash;
    bool operator==(const Written&) const = default;
};
using Record = std::map<std::string, std::vector<Written>, std::less<>>;

// Guarded by outputsMutex.
struct ScanState {
    Record earlier;            // the record and an interrupted scan's journal: any of these is the scan's
    Record journaled;          // of these, the journal's: a write there may have been cut short
    bool wholeRecord = false;  // the record named every file of the scan when it was read
    Record written;            // this scan's files, each after its journal line
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

// A file directly in one of the output folders (a name that ends in "." or ".." names a folder).
bool lf_inOutputFolder(const fs::path& path)
{
    const fs::path normal = path.lexically_normal();
    const fs::path folder = normal.parent_path();
    return !normal.filename().empty() &&
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

// One line of the record or the journal: "<size> <hash> <path>" of a file in the output folders,
// its path written as the scan writes it. Anything else names no file: a path that holds a NUL
// byte or a carriage return (the system would read a shorter name; a line cut short, or a line end
// taken off, would make one) is damage, as is a folder or any other spelling of a path ("..", "//").
std::optional<std::pair<std::string, Written>> lf_entry(std::string_view line)
{
    const std::size_t a = line.find(' ');
    const std::size_t b = a + 1 + 2 * HASH_BYTES;
    if (a == std::string_view::npos || line.size() <= b + 1 || line[b] != ' ')
        return std::nullopt;
    std::uintmax_t size = 0;
    const auto [end, failure] = std::from_chars(line.data(), line.data() + a, size);
    const std::string_view hash = line.substr(a + 1, 2 * HASH_BYTES);
    const std::string_view text = line.substr(b + 1);
    if (failure != std::errc{} || end != line.data() + a ||
        hash.find_first_not_of("0123456789abcdef") != std::string_view::npos ||
        text.find_first_of(std::string_view("\0\r", 2)) != std::string_view::npos)
        return std::nullopt;
    const fs::path path = gf_pathFromUtf8(std::string(text));
    if (!lf_inOutputFolder(path) || lf_key(path) != text)
        return std::nullopt;
    return std::pair{std::string(text), Written{size, std::string(hash)}};
}

// Takes the entries of text; true when every line was one and the last one ended. A last line
// without its end was cut short and names nothing: in the journal, no file was made after it.
bool lf_takeEntries(std::string_view text, Record& record)
{
    bool whole = true;
    for (std::size_t end = text.find('\n'); !text.empty(); end = text.find('\n')) {
        if (end == std::string_view::npos)
            return false;
        const auto entry = lf_entry(text.substr(0, end));
        text.remove_prefix(end + 1);
        if (!entry) {
            whole = false;
            continue;
        }
        std::vector<Written>& contents = record[entry->first];
        if (std::find(contents.begin(), contents.end(), entry->second) == contents.end())
            contents.push_back(entry->second);
    }
    return whole;
}

// A file of ours; nothing when it is missing or cannot be read (logged).
std::optional<std::string> lf_readRecordFile(const fs::path& path)
{
    std::string bytes;
    std::string error;
    const FileRead read = gf_readFileLimited(path, MAX_RECORD_BYTES, bytes, error);
    if (read == FileRead::ok)
        return bytes;
    if (read != FileRead::missing)
        gf_logWarn(error + ": the scan's files are told by their form");
    return std::nullopt;
}

// The text without the values of the meta block's version and date entries (as the writer puts
// them: <info name=".." value=".."/>): a park file the scan wrote on another day, or with an earlier
// version, has the same stands as the one it writes now when the rest is the same, byte for byte.
std::string lf_withoutStamp(std::string text)
{
    for (const StringParameter* entry : {&META_VERSION, &META_DATE}) {
        const std::string mark = vald::format("<info name=\"{}\" value=\"", entry->name());
        const std::size_t start = text.find(mark);
        const std::size_t end = start == std::string::npos ? start : text.find('"', start + mark.size());
        if (end != std::string::npos)
            text.erase(start + mark.size(), end - start - mark.size());
    }
    return text;
}

// Who owns what stands at path now.
enum class Owner {
    none,     // nothing stands there
    scan,     // a file of the scan, as it wrote it
    user,     // anything else
    unknown,  // maybe the scan's, but it could not be read whole: neither written over nor the user's
};
struct Look {
    Owner owner = Owner::none;
    std::optional<FileIdentity> identity;  // what stands there
    std::string why;                       // for the scan log (the user's) or the log (unknown)
};

// What the record and the journal say of one path.
struct Named {
    std::vector<Written> recorded;  // what the scan wrote there
    bool mayBeLost = false;         // named nowhere, by a record that was not whole
    bool mayBeCutShort = false;     // named by the journal of a scan that did not end, not written since
};

// A file that no whole record names, where the scan is about to write mine: the scan's only when
// it holds what the scan writes there, but for the stamp.
void lf_judgeUnnamed(const fs::path& path, const std::optional<std::string>& mine, Look& look)
{
    std::string bytes;
    const FileRead read =
        mine ? gf_readFileLimited(path, mine->size() + STAMP_ROOM, bytes, look.why) : FileRead::unreadable;
    if (read != FileRead::ok && read != FileRead::tooLarge) {
        look.owner = Owner::unknown;  // what it should hold is not known, or it could not be read
        if (!mine)
            look.why = "its text could not be made";
        return;
    }
    look.why.clear();
    if (read == FileRead::tooLarge || (bytes != *mine && lf_withoutStamp(bytes) != lf_withoutStamp(*mine))) {
        look.owner = Owner::user;
        look.why = "no record names it and it is not what the scan writes";
    }
}

// mine: what the scan is about to write at path (nothing: no write there).
Look lf_look(const fs::path& path, const Named& named, const std::optional<std::string>* mine = nullptr)
{
    Look look;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return look;
    look.identity = gf_identityOf(info);
    look.owner = Owner::user;
    const std::vector<Written>& recorded = named.recorded;
    if (S_ISLNK(info.st_mode))
        look.why = "a link";
    else if (!S_ISREG(info.st_mode))
        look.why = "not a plain file";
    else if (gf_isWriteProtected(path, info))
        look.why = "write-protected";
    else if (recorded.empty() && (!named.mayBeLost || mine == nullptr))
        look.why = "not written by the scan";
    if (!look.why.empty())
        return look;
    look.owner = Owner::scan;
    if (recorded.empty()) {
        lf_judgeUnnamed(path, *mine, look);
        return look;
    }
    if (info.st_size == 0 && named.mayBeCutShort)
        return look;  // a crash cut the scan's write short
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
Named lf_recorded(const std::string& key)
{
    std::lock_guard<std::mutex> lock(outputsMutex);
    Named named;
    for (const Record* record : {&state.earlier, &state.written})
        if (const auto it = record->find(key); it != record->end())
            named.recorded.insert(named.recorded.end(), it->second.begin(), it->second.end());
    named.mayBeLost = named.recorded.empty() && !state.wholeRecord;
    named.mayBeCutShort = state.journaled.count(key) > 0 && state.written.count(key) == 0;
    return named;
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
        pending_.insert(0, CUT_LINE_END);  // after a line that a crash may have cut short
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
                // Not on the disk (perhaps in part): the lines wait for the next sync.
                pending_.insert(0, std::string(CUT_LINE_END) + batch);
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
    bool whole = false;
    if (const std::optional<std::string> text = lf_readRecordFile(SCAN_OUTPUTS_LIST_PATH)) {
        const std::string header = std::string(RECORD_HEADER) + '\n';
        // Of a record whose header is damaged nothing is taken.
        if (text->starts_with(header))
            whole = lf_takeEntries(std::string_view(*text).substr(header.size()), earlier);
    }
    // The journal's damaged lines are those a crash cut short: they say nothing of the record.
    Record journaled;
    if (const std::optional<std::string> text = lf_readRecordFile(SCAN_OUTPUTS_JOURNAL_PATH)) {
        (void)lf_takeEntries(*text, earlier);
        (void)lf_takeEntries(*text, journaled);
    }
    journal.start();
    std::lock_guard<std::mutex> lock(outputsMutex);
    const std::uint64_t generation = state.generation + 1;
    const std::size_t writing = state.writing;  // a write an earlier scan left stuck still ends here
    state = ScanState{};
    state.earlier = std::move(earlier);
    state.journaled = std::move(journaled);
    state.wholeRecord = whole;
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

ScanPlace gf_lookAtScanPlace(const fs::path& path, std::span<const fs::path> lookedFor,
                             const std::optional<std::string>& bytes)
{
    ScanPlace place;
    place.path = path;
    const std::string key = lf_key(path);
    const Look look = lf_look(path, lf_recorded(key), &bytes);
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

bool gf_removeStaleScanOutputs()
{
    std::map<std::string, Named, std::less<>> candidates;
    {
        std::lock_guard<std::mutex> lock(outputsMutex);
        if (state.incomplete || state.failed > 0)
            return false;
        for (const auto& [key, contents] : state.earlier)
            if (state.written.count(key) == 0 && state.users.count(key) == 0)
                candidates.emplace(key, Named{contents, false, state.journaled.count(key) > 0});
    }
    Record kept;
    bool removed = false;
    for (const auto& [key, named] : candidates) {
        const std::vector<Written>& contents = named.recorded;
        const fs::path path = gf_pathFromUtf8(key);
        const Look look = lf_look(path, named);
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
        } else {
            removed = true;
        }
    }
    std::lock_guard<std::mutex> lock(outputsMutex);
    state.earlier = std::move(kept);
    return removed;
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

bool gf_saveScanOutputList(bool completed)
{
    std::string text = std::string(RECORD_HEADER) + "\n";
    std::string journaled;
    bool stuck = false;
    {
        std::lock_guard<std::mutex> lock(outputsMutex);
        // A record that was not whole may miss files the scan has not reached again: only a scan
        // that completed and saw all its scenery replaces it. Until then the journal names what
        // the scan wrote.
        if (!state.wholeRecord && (!completed || state.incomplete))
            return true;
        stuck = state.stuck;
        for (const auto& [key, contents] : state.written)
            for (const Written& written : contents)
                text += lf_line(key, written);
        // A file of an earlier scan that this one did not write again is still the scan's; one
        // whose write a crash may have cut short stays named by the journal.
        for (const auto& [key, contents] : state.earlier)
            if (state.written.count(key) == 0 && state.users.count(key) == 0)
                for (const Written& written : contents)
                    (state.journaled.count(key) > 0 ? journaled : text) += lf_line(key, written);
    }
    std::error_code error;
    fs::create_directories(SCAN_OUTPUTS_LIST_PATH.parent_path(), error);
    std::string failure;
    if (!gf_writeFileSafely(SCAN_OUTPUTS_LIST_PATH, text, failure)) {
        gf_logWarn(failure);
        return false;
    }
    // A write that outlasted the close leaves the journal as it is: its line stays.
    if (!stuck && journaled.empty()) {
        fs::remove(SCAN_OUTPUTS_JOURNAL_PATH, error);
        if (error)
            gf_logWarn(vald::format("{} could not be removed: {}", gf_pathToUtf8(SCAN_OUTPUTS_JOURNAL_PATH),
                                    error.message()));
    } else if (!stuck && !gf_writeFileSafely(SCAN_OUTPUTS_JOURNAL_PATH, journaled, failure)) {
        gf_logWarn(failure);  // the journal stays as it was: it names more, which loses nothing
    }
    return true;
}
