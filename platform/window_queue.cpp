#include "platform/window_queue.hpp"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <future>
#include <pthread.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace vald {

namespace {

std::atomic<int> closeSignalRead{-1};
std::atomic<int> closeSignalWrite{-1};

void lf_onCloseSignal(int)
{
    const int saved = errno;
    const int fd = closeSignalWrite.load();
    if (fd >= 0) {
        const char byte = 1;
        // A full pipe already holds a close that the loop has not read: nothing is lost.
        (void)!write(fd, &byte, 1);
    }
    errno = saved;
}

sigset_t lf_closeSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

PixelRect lf_union(const PixelRect& a, const PixelRect& b)
{
    return PixelRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                     std::max(a.bottom, b.bottom)};
}

}  // namespace

int gf_closeSignalFd() { return closeSignalRead.load(); }

void gf_installCloseSignals()
{
    if (closeSignalRead.load() >= 0)
        return;
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    closeSignalRead = fds[0];
    closeSignalWrite = fds[1];
    // The handler covers a thread that started before this call and still takes the signals.
    struct sigaction action {};
    action.sa_handler = lf_onCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // Every later thread inherits the block, so the signals stay pending until one thread takes
    // them in sigwait. A handler run on whichever thread the kernel picks can be held back for
    // as long as that thread waits (sanitizer runtimes defer it to the thread's next library
    // call), and the close would be lost for that time.
    const sigset_t closeSet = lf_closeSignalSet();
    if (pthread_sigmask(SIG_BLOCK, &closeSet, nullptr) != 0)
        return;
    try {
        std::thread([closeSet] {
            for (;;) {
                int signal = 0;
                if (sigwait(&closeSet, &signal) == 0)
                    lf_onCloseSignal(signal);
            }
        }).detach();
    } catch (const std::system_error&) {
        // Without the thread the handler must take them after all.
        pthread_sigmask(SIG_UNBLOCK, &closeSet, nullptr);
    }
}

void gf_unblockCloseSignalsInChild()
{
    const sigset_t closeSet = lf_closeSignalSet();
    sigprocmask(SIG_UNBLOCK, &closeSet, nullptr);
}

QueuedUiPort::QueuedUiPort() : uiThread_(std::this_thread::get_id()), link_(std::make_shared<ListenerLink>()) {}

QueuedUiPort::~QueuedUiPort() { stopListening(); }

void QueuedUiPort::startListening()
{
    {
        std::lock_guard<std::mutex> lock(link_->mutex);
        link_->port = this;
    }
    // Control changes may come from any thread; the UI thread mirrors them when it wakes. The
    // link outlives the port, so a late notification finds it gone instead of a dead object.
    std::shared_ptr<ListenerLink> link = link_;
    listener_ = gf_controls().addListener([link](ControlId, ControlAspect) {
        std::lock_guard<std::mutex> lock(link->mutex);
        if (link->port != nullptr)
            link->port->controlsChanged();
    });
}

void QueuedUiPort::stopListening()
{
    if (listener_ != 0)
        gf_controls().removeListener(listener_);
    listener_ = 0;
    std::lock_guard<std::mutex> lock(link_->mutex);
    link_->port = nullptr;
}

void QueuedUiPort::controlsChanged()
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wake = !controlsChanged_;
        controlsChanged_ = true;
    }
    if (wake)
        wakeUiThread();
}

void QueuedUiPort::beginLoop()
{
    uiThread_ = std::this_thread::get_id();
    // Whatever changed before the loop ran is mirrored by the first dispatch.
    std::lock_guard<std::mutex> lock(mutex_);
    controlsChanged_ = true;
}

void QueuedUiPort::endLoop(int exitCode)
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        exitCode_ = exitCode;
        ended_ = true;
        // Dropping the queued boxes releases the threads that wait for them.
        dropped.swap(tasks_);
    }
    wakeUiThread();
}

void QueuedUiPort::queueTask(std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (ended_)
            return;
        tasks_.push_back(std::move(task));
    }
    wakeUiThread();
}

void QueuedUiPort::post(UiMessage message)
{
    queueTask([this, message] {
        WindowEvents* handler = events_;
        if (handler == nullptr)
            return;
        if (message == UiMessage::StartRun)
            guarded([handler] { handler->onStartRun(); });
        else
            guarded([handler] { handler->onQuit(); });
    });
}

void QueuedUiPort::invalidate(const PixelRect& rect)
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wake = !damage_.has_value();
        damage_ = damage_ ? lf_union(*damage_, rect) : rect;
    }
    if (wake)
        wakeUiThread();
}

void QueuedUiPort::setAlwaysOnTop(bool onTop)
{
    if (onUiThread()) {
        applyAlwaysOnTop(onTop);
        return;
    }
    queueTask([this, onTop] { applyAlwaysOnTop(onTop); });
}

void QueuedUiPort::messageBox(const std::string& text, const std::string& caption)
{
    if (onUiThread()) {
        guarded([&] { showBox(text, caption); });
        return;
    }
    auto shown = std::make_shared<std::promise<void>>();
    std::future<void> done = shown->get_future();
    queueTask([this, text, caption, shown] {
        guarded([&] { showBox(text, caption); });
        shown->set_value();
    });
    // Ready when the box was closed, or at once when the task was dropped (loop ended).
    done.wait();
}

void QueuedUiPort::guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "window handler exception: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "window handler exception\n");
    }
}

void QueuedUiPort::dispatchPending()
{
    std::deque<std::function<void()>> tasks;
    std::optional<PixelRect> damage;
    bool controlsChanged = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks.swap(tasks_);
        damage.swap(damage_);
        controlsChanged = controlsChanged_;
        controlsChanged_ = false;
    }
    if (controlsChanged)
        guarded([this] { syncControls(); });
    for (auto& task : tasks) {
        if (ended_)
            break;
        task();
    }
    if (damage)
        guarded([&] { repaint(*damage); });
}

void QueuedUiPort::dispatchCloseSignals()
{
    const int fd = gf_closeSignalFd();
    if (fd < 0)
        return;
    char buffer[64];
    bool any = false;
    while (read(fd, buffer, sizeof buffer) > 0)
        any = true;
    if (any && events_ != nullptr && !ended_)
        guarded([this] { events_->onClose(); });
}

}  // namespace vald
