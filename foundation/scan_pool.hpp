#pragma once
// The one task mechanism of the two scans (liveries and add-on airports): a small pool of threads,
// at most the shared scan worker limit, that run one file's task after the other. No thread per
// file. Every wait is bounded and gives way to a stop request:
// - submit waits for room in the queue, at most the task wait;
// - wait gives a task the task wait to end (a stalled network share must not hang the scan);
// - finish drops the tasks still queued (they never run), gives the tasks still running the task
//   wait to end (after a stop a short grace), joins every thread that did, and leaves a thread
//   still stuck in a read to end on its own (it holds only the pool's shared state and its task's,
//   and its worker slot until it returns, so the limit still holds).
// A task given up by its waiter (timed out, or a stop came first) or left running by finish is
// abandoned: whatever it still produces is no longer wanted, and a task that writes asks
// gf_scanTaskAbandoned before it does. A task's exception is caught on its thread and handed to
// the waiter as text. A task that has not started when a stop is requested does not run.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

// How long a scan waits for one task, and for room in the queue (default 10 seconds).
std::chrono::milliseconds gf_scanTaskWait();
// Tests: another task wait for every pool made afterwards.
void gf_setScanTaskWaitForTest(std::chrono::milliseconds wait);

// On a thread of a scan pool: whether the task it runs was given up (see above). False on any
// other thread.
[[nodiscard]] bool gf_scanTaskAbandoned();

// No room came free in the queue within the task wait: every worker is stuck.
struct ScanPoolStalled : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class ScanPool {
public:
    struct Core;
    struct Task;
    using Ticket = std::shared_ptr<Task>;

    enum class [[nodiscard]] Outcome {
        done,      // the task ended normally
        failed,    // it threw; the text is in failure
        timedOut,  // still running (or queued) after the task wait; it is given up
        stopped,   // a stop was requested first, or the task never ran for it
    };

    ScanPool();
    ~ScanPool();
    ScanPool(const ScanPool&) = delete;
    ScanPool& operator=(const ScanPool&) = delete;

    // Queues body. Nothing (an empty ticket) when a stop is requested while it waits for room;
    // throws ScanPoolStalled when no room came within the task wait (every worker stuck).
    [[nodiscard]] Ticket submit(std::function<void()> body);
    // Waits for the task, at most the task wait from now, checking for a stop. A task that did
    // not finish is abandoned.
    [[nodiscard]] Outcome wait(const Ticket& ticket, std::string& failure);
    // No more tasks: drops the queued ones, waits for the running ones (bounded as above) and ends
    // the threads. Called by the destructor; once is enough.
    void finish();

private:
    std::shared_ptr<Core> core_;
    std::vector<std::thread> threads_;
    std::vector<std::shared_ptr<bool>> ended_;  // per thread, guarded by the core's mutex
    std::size_t limit_;
    std::chrono::milliseconds taskWait_;
};
