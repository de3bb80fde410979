#include "standins/service/clock.hpp"

#include <utility>

namespace service_standin {

ScenarioClock::ScenarioClock(bool frozen, Now now) : now_(std::move(now)), since_(now_()), running_(!frozen) {}

double ScenarioClock::secondsLocked() const {
    if (!running_) return base_;
    return base_ + std::chrono::duration<double>(now_() - since_).count();
}

double ScenarioClock::seconds() const {
    std::lock_guard lock(mutex_);
    return secondsLocked();
}

bool ScenarioClock::running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

void ScenarioClock::set(double t, bool keepRunning) {
    std::lock_guard lock(mutex_);
    base_ = t;
    since_ = now_();
    running_ = keepRunning;
}

void ScenarioClock::advance(double dt) {
    std::lock_guard lock(mutex_);
    base_ = secondsLocked() + dt;
    since_ = now_();
}

void ScenarioClock::run() {
    std::lock_guard lock(mutex_);
    base_ = secondsLocked();
    since_ = now_();
    running_ = true;
}

void ScenarioClock::freeze() {
    std::lock_guard lock(mutex_);
    base_ = secondsLocked();
    running_ = false;
}

}  // namespace service_standin
