#include "simlink/simconnect/connection.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>

#include "foundation/format.hpp"
#include "foundation/log.hpp"

// ---- the notification event ----

struct SimNotifyEvent::Impl {
    std::mutex mutex;
    std::condition_variable changed;
    bool set = false;
};

SimNotifyEvent::SimNotifyEvent() : impl_(new Impl) {}

SimNotifyEvent::~SimNotifyEvent()
{
    delete impl_;
}

void SimNotifyEvent::set()
{
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->set = true;
    }
    impl_->changed.notify_all();
}

bool SimNotifyEvent::waitMs(std::uint32_t milliseconds)
{
    std::unique_lock<std::mutex> lock(impl_->mutex);
    const bool wasSet =
        impl_->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return impl_->set; });
    impl_->set = false;
    return wasSet;
}

namespace vald::simconnect {

namespace {

std::atomic<std::uint32_t> connectionCounter{0};

std::uint32_t lf_nextConnectionNumber()
{
    std::uint32_t number = ++connectionCounter;
    while (number == 0)
        number = ++connectionCounter;
    return number;
}

std::vector<std::shared_ptr<SimConnection>>& lf_connections()
{
    static std::vector<std::shared_ptr<SimConnection>> connections;
    return connections;
}

}  // namespace

FailureRecord gf_failureOfErrno(int error, TransportKind kind)
{
    FailureRecord record;
    record.systemError = static_cast<std::uint32_t>(error);
    switch (error) {
    case ECONNRESET:
        record.kind = FailureKind::disconnected;
        record.code = kind == TransportKind::pipe ? SIM_STATUS_PIPE_BROKEN : SIM_STATUS_CONNECTION_RESET;
        break;
    case EPIPE:
        record.kind = FailureKind::disconnected;
        record.code = kind == TransportKind::pipe ? SIM_STATUS_PIPE_BROKEN : SIM_STATUS_REMOTE_DISCONNECT;
        break;
    case ECONNABORTED:
        record.kind = FailureKind::disconnected;
        record.code = SIM_STATUS_REMOTE_DISCONNECT;
        break;
    case ECANCELED:
        record.kind = FailureKind::cancelled;
        record.code = SIM_STATUS_CANCELLED;
        break;
    default:
        record.kind = FailureKind::ioError;
        record.code = SIM_STATUS_UNSUCCESSFUL;
        break;
    }
    return record;
}

SimConnection::SimConnection(TransportKind kind, Socket socket, std::uint32_t maxReceiveSize,
                             const ConnectionNotification& notification)
    : kind_(kind),
      socket_(std::move(socket)),
      framer_(maxReceiveSize),
      window_(notification.window),
      userMessage_(notification.userMessage),
      event_(static_cast<SimNotifyEvent*>(notification.event))
{
}

SimConnection::~SimConnection()
{
    stop();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

bool SimConnection::start()
{
    number_ = lf_nextConnectionNumber();
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0 || !gf_setNonBlocking(socket_.fd(), true))
        return false;
    ready_ = true;
    try {
        ioThread_ = std::thread([this] { ioThread(); });
    } catch (const std::system_error&) {
        ready_ = false;
        return false;
    }
    return true;
}

void SimConnection::shutdown(FailureKind kind, HRESULT code, int systemError)
{
    {
        std::lock_guard<std::mutex> lock(transportMutex_);
        const bool wasReady = ready_.exchange(false);
        if (wasReady && kind != FailureKind::none) {
            failure_ = FailureRecord{kind, static_cast<std::uint32_t>(systemError), code};
            gf_logWarn(vald::format("SimConnect connection {} failed: kind {}, code 0x{:08X}, system error {}",
                                    number_, static_cast<std::uint32_t>(kind), static_cast<std::uint32_t>(code),
                                    systemError));
        }
    }
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof(one));
    }
    {
        // Taken so that a waiter between its test and its wait cannot miss the wake-up.
        std::lock_guard<std::mutex> lock(writeMutex_);
    }
    writesDone_.notify_all();
    if (kind != FailureKind::none)
        notify();
}

void SimConnection::stop()
{
    shutdown(FailureKind::none, S_OK, 0);
    if (ioThread_.joinable())
        ioThread_.join();
    socket_.close();
}

void SimConnection::queueWrite(std::vector<std::uint8_t> bytes)
{
    {
        std::lock_guard<std::mutex> lock(writeMutex_);
        if (!ready_)
            return;
        writeQueue_.push_back(std::move(bytes));
    }
    ++writesQueued_;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof(one));
}

void SimConnection::waitForWrites(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(writeMutex_);
    writesDone_.wait_for(lock, timeout, [this] { return writeQueue_.empty() || !ready_; });
}

std::optional<FailureRecord> SimConnection::failure() const
{
    std::lock_guard<std::mutex> lock(transportMutex_);
    if (failure_.kind == FailureKind::none)
        return std::nullopt;
    return failure_;
}

std::optional<std::vector<std::uint8_t>> SimConnection::takeMessage()
{
    std::lock_guard<std::mutex> lock(receiveMutex_);
    if (received_.empty())
        return std::nullopt;
    std::vector<std::uint8_t> message = std::move(received_.front());
    received_.pop_front();
    return message;
}

std::size_t SimConnection::queuedMessages() const
{
    std::lock_guard<std::mutex> lock(receiveMutex_);
    return received_.size();
}

void SimConnection::dropMessages()
{
    std::lock_guard<std::mutex> lock(receiveMutex_);
    received_.clear();
}

void SimConnection::deliver(std::vector<std::uint8_t> message)
{
    {
        std::lock_guard<std::mutex> lock(receiveMutex_);
        received_.push_back(std::move(message));
    }
    notify();
}

void SimConnection::notify()
{
    if (event_ != nullptr)
        event_->set();
}

// Nothing may leave the thread (that would end the process): a failure inside it ends the
// connection as failed instead.
void SimConnection::ioThread()
{
    try {
        ioLoop();
        return;
    } catch (const std::bad_alloc&) {
        shutdown(FailureKind::noMemory, E_OUTOFMEMORY, ENOMEM);
    } catch (...) {
        shutdown(FailureKind::endOfStream, SIM_STATUS_LINK_FAILED, 0);
    }
    ::shutdown(socket_.fd(), SHUT_RDWR);
}

// Waits on the socket and the wake-up descriptor: reads whatever arrives, and writes the queued
// packets whenever the socket takes them, until the connection closes or fails.
void SimConnection::ioLoop()
{
    while (ready_) {
        if (!writeQueued())
            break;
        bool writesWaiting = false;
        {
            std::lock_guard<std::mutex> lock(writeMutex_);
            writesWaiting = !writeQueue_.empty();
        }
        pollfd fds[2] = {{socket_.fd(), static_cast<short>(POLLIN | (writesWaiting ? POLLOUT : 0)), 0},
                         {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            const FailureRecord failure = gf_failureOfErrno(errno, kind_);
            shutdown(failure.kind, failure.code, errno);
            break;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &count, sizeof(count));
        }
        if (ready_ && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !readOnce())
            break;
    }
    ::shutdown(socket_.fd(), SHUT_RDWR);
}

// One read into the free room, then every complete message is queued. False once the
// connection has failed.
bool SimConnection::readOnce()
{
    const std::span<std::uint8_t> room = framer_.freeRoom();
    if (room.empty()) {
        shutdown(FailureKind::messageTooLarge, E_ABORT, 0);
        return false;
    }
    const ssize_t count = ::recv(socket_.fd(), room.data(), room.size(), 0);
    if (count < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return true;
        const int error = errno;
        const FailureRecord failure = gf_failureOfErrno(error, kind_);
        shutdown(failure.kind, failure.code, error);
        return false;
    }
    if (count == 0) {
        shutdown(FailureKind::endOfStream, SIM_STATUS_LINK_FAILED, 0);
        return false;
    }
    framer_.commit(static_cast<std::size_t>(count));
    for (;;) {
        switch (framer_.extract()) {
        case Framer::Outcome::message:
            deliver(framer_.takeMessage());
            continue;
        case Framer::Outcome::needMore:
            return true;
        case Framer::Outcome::tooLarge:
            shutdown(FailureKind::messageTooLarge, E_ABORT, 0);
            return false;
        case Framer::Outcome::badSize:
            shutdown(FailureKind::badMessageSize, E_ABORT, 0);
            return false;
        case Framer::Outcome::noMemory:
            shutdown(FailureKind::noMemory, E_OUTOFMEMORY, ENOMEM);
            return false;
        }
    }
}

// Writes queued packets in order until the queue is empty or the socket takes no more.
// False once the connection has failed.
bool SimConnection::writeQueued()
{
    for (;;) {
        const std::vector<std::uint8_t>* packet = nullptr;
        {
            std::lock_guard<std::mutex> lock(writeMutex_);
            if (writeQueue_.empty()) {
                writesDone_.notify_all();
                return true;
            }
            packet = &writeQueue_.front();
        }
        const ssize_t count = ::send(socket_.fd(), packet->data() + writeOffset_, packet->size() - writeOffset_,
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return true;
            if (errno == EINTR)
                continue;
            const int error = errno;
            const FailureRecord failure = gf_failureOfErrno(error, kind_);
            shutdown(failure.kind, failure.code, error);
            return false;
        }
        writeOffset_ += static_cast<std::size_t>(count);
        if (writeOffset_ == packet->size()) {
            std::lock_guard<std::mutex> lock(writeMutex_);
            writeQueue_.pop_front();
            writeOffset_ = 0;
        }
    }
}

std::mutex& gf_packetLock()
{
    static std::mutex lock;
    return lock;
}

void gf_addConnection(std::shared_ptr<SimConnection> connection)
{
    std::lock_guard<std::mutex> lock(gf_packetLock());
    lf_connections().push_back(std::move(connection));
}

SimConnection* gf_findConnectionLocked(HANDLE handle)
{
    for (const auto& connection : lf_connections()) {
        if (connection.get() == handle)
            return connection.get();
    }
    return nullptr;
}

std::shared_ptr<SimConnection> gf_findConnection(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(gf_packetLock());
    for (const auto& connection : lf_connections()) {
        if (connection.get() == handle)
            return connection;
    }
    return nullptr;
}

std::shared_ptr<SimConnection> gf_removeConnection(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(gf_packetLock());
    auto& connections = lf_connections();
    const auto it = std::find_if(connections.begin(), connections.end(),
                                 [handle](const auto& connection) { return connection.get() == handle; });
    if (it == connections.end())
        return nullptr;
    std::shared_ptr<SimConnection> connection = std::move(*it);
    connections.erase(it);
    return connection;
}

}  // namespace vald::simconnect
