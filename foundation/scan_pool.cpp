#include "foundation/scan_pool.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/scan_workers.hpp"

namespace {

constexpr std::chrono::milliseconds STOP_CHECK_INTERVAL{50};
// After a stop the tasks still running get this long to end before they are left on their own.
constexpr std::chrono::milliseconds STOP_GRACE{2000};
// A thread whose queue ran empty looks for the next task this long before it sleeps: a scan's
// tasks are short and come one by one from the walk, and waking a sleeping thread for each costs
// more than the task itself.
constexpr std::chrono::microseconds IDLE_LOOK{100};
std::atomic<std::int64_t> taskWaitMs{10000};

}  // namespace

std::chrono::milliseconds gf_scanTaskWait() { return std::chrono::milliseconds(taskWaitMs.load()); }

void gf_setScanTaskWaitForTest(std::chrono::milliseconds wait) { taskWaitMs.store(wait.count()); }

struct ScanPool::Task {
    std::function<void()> body;
    std::atomic<bool> abandoned{false};  // given up: what it still makes is not wanted
    bool finished = false;   // guarded by Core::mutex
    bool ran = false;        // guarded by Core::mutex
    std::string failure;     // guarded by Core::mutex
};

// What the threads share with the pool; kept alive by every thread, so that a thread the pool
// left behind ends safely after the pool is gone.
struct ScanPool::Core {
    std::mutex mutex;
    std::condition_variable work;    // a task was queued, or the pool closed
    std::condition_variable change;  // a task finished, or room came free in the queue
    std::deque<Ticket> queue;        // guarded by mutex
    std::atomic<std::size_t> queued{0};  // queue.size(), written under mutex, read without it
    std::size_t idle = 0;            // threads waiting for work; guarded by mutex
    std::size_t looking = 0;         // threads looking for work before they sleep; guarded by mutex
    std::vector<Ticket> running;     // tasks being run; guarded by mutex
    bool closed = false;             // guarded by mutex
    std::uint64_t finishedCount = 0; // tasks finished so far: progress; guarded by mutex
};

namespace {

// The task the pool thread runs now; null on every other thread.
thread_local const ScanPool::Task* runningTask = nullptr;

// Marks a task given up: it is not run, or what it still makes is dropped.
void lf_abandon(ScanPool::Task& task) { task.abandoned.store(true); }

// One pool thread: takes the queued tasks in order, each under a worker slot of the shared limit.
void lf_runPoolThread(const std::shared_ptr<ScanPool::Core>& core, const std::shared_ptr<bool>& ended)
{
    std::unique_lock<std::mutex> lock(core->mutex);
    while (true) {
        if (core->queue.empty() && !core->closed) {
            ++core->looking;
            lock.unlock();
            const auto until = std::chrono::steady_clock::now() + IDLE_LOOK;
            while (core->queued.load(std::memory_order_relaxed) == 0 && std::chrono::steady_clock::now() < until)
                std::this_thread::yield();
            lock.lock();
            --core->looking;
        }
        ++core->idle;
        core->work.wait(lock, [&core] { return core->closed || !core->queue.empty(); });
        --core->idle;
        if (core->queue.empty())
            break;
        ScanPool::Ticket task = std::move(core->queue.front());
        core->queue.pop_front();
        core->queued.store(core->queue.size(), std::memory_order_relaxed);
        core->running.push_back(task);
        lock.unlock();
        core->change.notify_all();  // room in the queue
        std::string failure;
        bool ran = false;
        // A task given up before it started is not run at all.
        if (!gf_stopPending() && !task->abandoned.load()) {
            if (std::optional<ScanWorkerSlot> slot = gf_waitForWorkerSlot()) {
                ran = true;
                runningTask = task.get();
                try {
                    task->body();
                } catch (const std::exception& e) {
                    failure = e.what();
                } catch (...) {
                    failure = "unknown exception";
                }
                runningTask = nullptr;
            }  // the slot is given back here, whatever the task did
        }
        task->body = nullptr;  // what the task holds goes with it, not with the ticket
        lock.lock();
        std::erase(core->running, task);
        task->finished = true;
        task->ran = ran;
        task->failure = std::move(failure);
        ++core->finishedCount;
        core->change.notify_all();
    }
    *ended = true;
    lock.unlock();
    core->change.notify_all();
}

}  // namespace

bool gf_scanTaskAbandoned() { return runningTask != nullptr && runningTask->abandoned.load(); }

ScanPool::ScanPool()
    : core_(std::make_shared<Core>()),
      limit_(static_cast<std::size_t>(std::max(1, scanWorkerLimit.load()))),
      taskWait_(gf_scanTaskWait())
{
}

ScanPool::~ScanPool() { finish(); }

ScanPool::Ticket ScanPool::submit(std::function<void()> body)
{
    auto task = std::make_shared<Task>();
    task->body = std::move(body);
    bool startThread = false;
    bool wake = true;
    {
        std::unique_lock<std::mutex> lock(core_->mutex);
        const auto deadline = std::chrono::steady_clock::now() + taskWait_;
        // Room: fewer tasks waiting in the queue than there are threads to take them.
        while (core_->queue.size() >= limit_) {
            if (gf_stopPending())
                return nullptr;
            if (std::chrono::steady_clock::now() >= deadline)
                throw ScanPoolStalled(vald::format("no scan worker came free within {} ms", taskWait_.count()));
            core_->change.wait_for(lock, STOP_CHECK_INTERVAL);
        }
        if (gf_stopPending())
            return nullptr;
        core_->queue.push_back(task);
        core_->queued.store(core_->queue.size(), std::memory_order_relaxed);
        startThread = core_->idle == 0 && threads_.size() < limit_;
        if (startThread)
            ended_.push_back(std::make_shared<bool>(false));
        // A thread still looking takes the task without being woken; a sleeping one is woken only
        // for tasks beyond those (one stuck in a read never holds up the next).
        wake = core_->queue.size() > core_->looking;
    }
    if (wake)
        core_->work.notify_one();
    if (startThread)
        threads_.emplace_back(lf_runPoolThread, core_, ended_.back());
    return task;
}

ScanPool::Outcome ScanPool::wait(const Ticket& ticket, std::string& failure)
{
    failure.clear();
    std::unique_lock<std::mutex> lock(core_->mutex);
    const auto deadline = std::chrono::steady_clock::now() + taskWait_;
    while (!ticket->finished) {
        if (gf_stopPending()) {
            lf_abandon(*ticket);
            return Outcome::stopped;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            lf_abandon(*ticket);
            return Outcome::timedOut;
        }
        core_->change.wait_for(lock, STOP_CHECK_INTERVAL);
    }
    if (!ticket->ran)
        return Outcome::stopped;
    if (ticket->failure.empty())
        return Outcome::done;
    failure = ticket->failure;
    return Outcome::failed;
}

void ScanPool::finish()
{
    std::vector<bool> done;
    {
        std::unique_lock<std::mutex> lock(core_->mutex);
        core_->closed = true;
        // What is still queued was given up by its waiter, or nobody waits for it any more.
        for (const Ticket& task : core_->queue) {
            lf_abandon(*task);
            task->body = nullptr;
            task->finished = true;
        }
        core_->queue.clear();
        core_->queued.store(0, std::memory_order_relaxed);
        core_->work.notify_all();
        // The tasks left may be many; the wait ends when none of them has finished for a task wait.
        auto deadline = std::chrono::steady_clock::now() + taskWait_;
        std::uint64_t seen = core_->finishedCount;
        const auto allEnded = [this] {
            return std::all_of(ended_.begin(), ended_.end(), [](const std::shared_ptr<bool>& e) { return *e; });
        };
        bool stopSeen = false;
        while (!allEnded() && std::chrono::steady_clock::now() < deadline) {
            // After a stop the queued tasks are not run: the threads only drop them.
            if (!stopSeen && gf_stopPending()) {
                stopSeen = true;
                deadline = std::min(deadline, std::chrono::steady_clock::now() + STOP_GRACE);
            }
            core_->change.wait_for(lock, STOP_CHECK_INTERVAL);
            if (core_->finishedCount != seen && !stopSeen) {
                seen = core_->finishedCount;
                deadline = std::chrono::steady_clock::now() + taskWait_;
            }
        }
        for (const std::shared_ptr<bool>& e : ended_)
            done.push_back(*e);
        // Left to end on their own: nothing they still make is wanted.
        for (const Ticket& task : core_->running)
            lf_abandon(*task);
    }
    std::size_t left = 0;
    for (std::size_t i = 0; i < threads_.size(); ++i) {
        if (done[i]) {
            threads_[i].join();
        } else {
            threads_[i].detach();
            ++left;
        }
    }
    threads_.clear();
    ended_.clear();
    if (left > 0)
        gf_logWarn(vald::format("{} scan task{} still reading after {} ms, left to end on {} own", left,
                                left == 1 ? "" : "s", taskWait_.count(), left == 1 ? "its" : "their"));
}
