#pragma once
// The limit on concurrently running scan tasks, shared by the liveries scan and the airport scan:
// at most one task per hardware thread, never fewer than one. The worker thread sets the limit at
// every start of a run, before any scan; a thread of the scan pool takes a slot before it runs a
// task and gives it back when the task ends (the slot's destructor), so a slot can be neither
// lost nor taken twice. Setting the limit leaves the count alone: a task an earlier scan left
// running still holds its slot until it ends, so the count never drops below zero and the limit
// still holds.
#include <atomic>
#include <cstdint>
#include <optional>

// Read by the window's scan display; written only through gf_setScanWorkerLimit and the slots.
extern std::atomic<std::int32_t> scanWorkerLimit;
extern std::atomic<std::int32_t> scanWorkerCount;

// A counted-in task; gives its slot back when destroyed. Movable, not copyable.
class ScanWorkerSlot {
public:
    ScanWorkerSlot() = default;
    ScanWorkerSlot(ScanWorkerSlot&& other) noexcept : held_(other.held_) { other.held_ = false; }
    ScanWorkerSlot& operator=(ScanWorkerSlot&& other) noexcept;
    ScanWorkerSlot(const ScanWorkerSlot&) = delete;
    ScanWorkerSlot& operator=(const ScanWorkerSlot&) = delete;
    ~ScanWorkerSlot();

private:
    friend std::optional<ScanWorkerSlot> gf_waitForWorkerSlot();
    explicit ScanWorkerSlot(bool held) : held_(held) {}
    bool held_ = false;
};

// The limit (at least 1); before a scan.
void gf_setScanWorkerLimit(std::int32_t limit);
// Waits until fewer tasks run than the limit allows and counts one in; nothing when a stop of the
// run or the user's closing comes while waiting (checked at least every 50 ms).
[[nodiscard]] std::optional<ScanWorkerSlot> gf_waitForWorkerSlot();
// A task has ended (what a slot's destructor calls).
void gf_workerDone();
