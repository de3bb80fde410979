#pragma once
// The files an airport scan writes into airports/my_ORBX and airports/my_thirdparty, and the
// record that tells them from the user's own files there (which file is the scan's: see the top
// of scan_outputs.cpp). The worker opens and closes a scan; its tasks write through here.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "foundation/constants.hpp"
#include "foundation/safe_write.hpp"

// The record: a header line, then one line per file the scan wrote whole: its size, the hash of
// what the scan wrote, its path.
inline const std::filesystem::path SCAN_OUTPUTS_LIST_PATH{AIRPORTS_FOLDER / "ScanGenerated.txt"};
// The lines of the files a scan under way is about to write, each on the disk before its file is
// made; taken into the record when the scan ends with its files on the disk, or by the next scan
// after a crash. The lines of a scan that did not end so stay here until their files are written
// again: a crash may have cut those writes short.
inline const std::filesystem::path SCAN_OUTPUTS_JOURNAL_PATH{AIRPORTS_FOLDER / "ScanGenerated.pending"};

// Before the tasks: takes in the record (and the journal an interrupted scan left) and opens the
// writes of a new scan.
void gf_openScanOutputs();
// The scan whose tasks are started now.
std::uint64_t gf_scanOutputGeneration();
// For the run of one task: its writes belong to the scan of generation; once that scan has
// closed, or the pool gave the task up, they are dropped.
class ScanOutputTask {
public:
    explicit ScanOutputTask(std::uint64_t generation);
    ~ScanOutputTask();
    ScanOutputTask(const ScanOutputTask&) = delete;
    ScanOutputTask& operator=(const ScanOutputTask&) = delete;
};

enum class [[nodiscard]] ScanWrite {
    written,
    kept,    // the user's file stands there: left as it is (said in the scan log)
    failed,  // the write failed (logged): the earlier file stays and the scan does not complete
    late,    // the task's scan has ended or gave it up: nothing is written
};
// Where a file of the scan is to stand (directly in one of the two output folders), looked at once
// before it is written: the write replaces only what this look found there.
struct ScanPlace {
    std::filesystem::path path;
    // The user's file stands at path, or a file there would hide one of the user's (said in the
    // scan log): nothing is written.
    bool usersFile = false;
    std::optional<FileIdentity> identity;  // what stood at path
    // Why a file there that may be the scan's, or one it would hide, could not be read whole.
    std::string unreadable;
};
// Looks at path, where the scan is about to write bytes (nothing: its text could not be made), and,
// of lookedFor (where a reader looks for such a file, in order), at the places after path: a file
// at path hides what stands there.
[[nodiscard]] ScanPlace gf_lookAtScanPlace(const std::filesystem::path& path,
                                           std::span<const std::filesystem::path> lookedFor,
                                           const std::optional<std::string>& bytes);
// Writes bytes as the whole file at the place looked at. No bytes (its text could not be made),
// or a place that could not be read whole, is a failed write.
ScanWrite gf_writeScanOutput(const ScanPlace& place, const std::optional<std::string>& bytes);

// The scan did not see all its scenery (a folder walk ended early, a file was given up): it takes
// no earlier file for stale.
void gf_noteScanIncomplete();
// No more writes; waits (bounded) for those under way.
void gf_closeScanOutputs();
// Writes of this scan that failed.
[[nodiscard]] std::size_t gf_failedScanWrites();
// After a scan that completed and saw all its scenery, and whose record is saved: removes the files
// of earlier scans that it did not write again, where they still hold what a scan wrote. True when
// it removed one.
bool gf_removeStaleScanOutputs();
// The names (airport codes) of the *.xml files this scan wrote in airports/my_thirdparty.
std::vector<std::string> gf_generatedThirdpartyNames();
// The scan writes its files without a sync each; this pushes them all to the disk at once, before
// the record is saved and the scan counts as done. False (logged) when a sync failed.
[[nodiscard]] bool gf_syncScanOutputs();
// Saves the record (also after a stop or a failed write, for the files written so far; called
// only once they are synced) and then drops the journal, but for the lines of earlier scans that
// did not end, whose files no scan wrote again since; false (logged) when the record could not be
// saved: the journal then stays. A record that was missing or damaged when the scan began is
// replaced only when the scan completed and saw all its scenery.
[[nodiscard]] bool gf_saveScanOutputList(bool completed);
