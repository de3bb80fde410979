#pragma once
// The owning thread of a container that only one thread may touch (the engine's aircraft lists,
// the park airports, the simulator client's lists). In debug and sanitizer builds a call from
// another thread fails at once; in release builds the check costs nothing.
//
// The owner is the first thread that asks after construction or after release(); a run that ends
// releases its lists so that the next run's worker (a new thread) may take them.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#if !defined(NDEBUG) || defined(CORV_CHECK_OWNERS)
#define CORV_OWNER_CHECKS 1
#else
#define CORV_OWNER_CHECKS 0
#endif

class ThreadOwner {
public:
    explicit ThreadOwner(const char* what) : what_(what) {}

    // Fails (abort with a message) when another thread owns the container.
    void assertOwner() const
    {
#if CORV_OWNER_CHECKS
        const std::thread::id self = std::this_thread::get_id();
        std::thread::id expected{};
        if (owner_.compare_exchange_strong(expected, self) || expected == self)
            return;
        std::fprintf(stderr, "%s touched from a thread that does not own it\n", what_);
        std::abort();
#endif
    }

    // The next thread that asks becomes the owner.
    void release() { owner_.store(std::thread::id{}); }

private:
    [[maybe_unused]] const char* what_;
    mutable std::atomic<std::thread::id> owner_{};
};
