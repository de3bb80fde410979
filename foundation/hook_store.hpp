#pragma once
// A set of callbacks that a higher layer registers into a lower one, published as an immutable
// snapshot: registration may happen on any thread at any time, and every caller works on the
// snapshot it took, so a call never sees a half-replaced set.
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

template <typename Hooks>
class HookStore {
public:
    using Defaults = Hooks (*)();

    explicit HookStore(Defaults defaults) : defaults_(defaults) {}

    std::shared_ptr<const Hooks> get()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!current_)
            current_ = std::make_shared<const Hooks>(defaults_());
        return current_;
    }

    // merge receives a copy of the current set and changes what it replaces.
    void update(const std::function<void(Hooks&)>& merge)
    {
        std::lock_guard<std::mutex> updating(updateMutex_);
        auto next = std::make_shared<Hooks>(*get());
        merge(*next);
        std::lock_guard<std::mutex> lock(mutex_);
        current_ = std::move(next);
    }

    void reset()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        current_ = std::make_shared<const Hooks>(defaults_());
    }

private:
    Defaults defaults_;
    std::mutex updateMutex_;  // one registration at a time, so none is lost
    std::mutex mutex_;
    std::shared_ptr<const Hooks> current_;
};

// Takes an offered callback when it is set; an empty one keeps the current.
template <typename Hook>
void gf_takeHook(Hook& target, Hook& offered)
{
    if (offered)
        target = std::move(offered);
}
