#pragma once
// The scenario clock: seconds since the scenario started, running with a steady clock or
// frozen, and set or advanced by tests through the control endpoints.
#include <chrono>
#include <functional>
#include <mutex>

namespace service_standin {

class ScenarioClock {
public:
    using Now = std::function<std::chrono::steady_clock::time_point()>;

    explicit ScenarioClock(bool frozen = false, Now now = std::chrono::steady_clock::now);

    double seconds() const;
    bool running() const;
    // Jumps to t and freezes there, or keeps running from t.
    void set(double t, bool keepRunning);
    void advance(double dt);
    void run();
    void freeze();

private:
    double secondsLocked() const;

    Now now_;
    mutable std::mutex mutex_;
    double base_ = 0;  // scenario seconds at since_ (running) or the frozen value
    std::chrono::steady_clock::time_point since_;
    bool running_ = true;
};

}  // namespace service_standin
