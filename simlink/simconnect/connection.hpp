#pragma once
// One connection to the simulator: its socket (TCP, or the Unix-domain socket of a pipe), the
// I/O thread that reads, frames and queues the received messages and writes the queued packets
// in order, one at a time, the received-message queue, the send buffer and the failure record.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/socket.hpp"
#include "simlink/simconnect/framing.hpp"
#include "simlink/simconnect/send_buffer.hpp"
#include "simlink/simconnect/simconnect.hpp"

namespace vald::simconnect {

enum class TransportKind : std::uint32_t { socket = 0, pipe = 1 };

struct FailureRecord {
    FailureKind kind = FailureKind::none;
    std::uint32_t systemError = 0;  // errno of the moment
    HRESULT code = S_OK;
};

// The failure kind and code of an errno from a read or write.
FailureRecord gf_failureOfErrno(int error, TransportKind kind);

// Where a connection signals a received message or its failure; fixed before its I/O thread
// starts.
struct ConnectionNotification {
    HWND window = nullptr;
    std::uint32_t userMessage = 0;
    HANDLE event = nullptr;
};

class SimConnection {
public:
    SimConnection(TransportKind kind, Socket socket, std::uint32_t maxReceiveSize,
                  const ConnectionNotification& notification = {});
    ~SimConnection();
    SimConnection(const SimConnection&) = delete;
    SimConnection& operator=(const SimConnection&) = delete;

    // Takes a new connection number and starts the I/O thread; false when it cannot.
    [[nodiscard]] bool start();

    // Marks the connection closed and records the failure (kind none: a plain close, nothing is
    // recorded). Any thread; the I/O thread ends soon after.
    void shutdown(FailureKind kind, HRESULT code, int systemError);
    // shutdown with kind none, then waits for the I/O thread to end. Not on the I/O thread.
    void stop();

    // Queues one write; dropped when the connection is not ready.
    void queueWrite(std::vector<std::uint8_t> bytes);
    // The writes queued so far: a batch leaves as one, however many packets it holds.
    std::uint64_t writesQueued() const { return writesQueued_.load(); }
    // Waits until every queued write has left (or the connection closed), at most timeout.
    void waitForWrites(std::chrono::milliseconds timeout);

    // The stored failure once the connection has failed.
    [[nodiscard]] std::optional<FailureRecord> failure() const;

    // The first received message, if any.
    [[nodiscard]] std::optional<std::vector<std::uint8_t>> takeMessage();
    std::size_t queuedMessages() const;
    void dropMessages();

    std::uint32_t number() const { return number_; }
    TransportKind kind() const { return kind_; }

    // Guarded by the library's packet lock.
    SendBuffer sendBuffer;
    std::uint32_t batchDepth = 0;  // open packet batches
    std::vector<std::uint8_t> batchBytes;  // an open batch's packets that filled the send buffer
    // The dispatch target, guarded by receiveLock().
    SimDispatchProc callback = nullptr;
    void* callbackContext = nullptr;
    std::mutex& receiveLock() { return receiveMutex_; }

private:
    void ioThread();
    void ioLoop();
    [[nodiscard]] bool readOnce();
    [[nodiscard]] bool writeQueued();
    void deliver(std::vector<std::uint8_t> message);
    void notify();

    const TransportKind kind_;
    Socket socket_;
    Framer framer_;
    std::uint32_t number_ = 0;
    std::atomic<bool> ready_{false};
    int wakeFd_ = -1;
    std::thread ioThread_;

    mutable std::mutex transportMutex_;
    FailureRecord failure_;

    std::mutex writeMutex_;
    std::condition_variable writesDone_;
    std::deque<std::vector<std::uint8_t>> writeQueue_;
    std::atomic<std::uint64_t> writesQueued_{0};
    std::size_t writeOffset_ = 0;  // I/O thread only

    mutable std::mutex receiveMutex_;
    std::deque<std::vector<std::uint8_t>> received_;

    [[maybe_unused]] const HWND window_ = nullptr;
    [[maybe_unused]] const std::uint32_t userMessage_ = 0;
    SimNotifyEvent* const event_ = nullptr;
};

// The library's one lock over packet building, sending and the list of connections.
std::mutex& gf_packetLock();

// The process-wide list of open connections; a handle is a connection's address.
void gf_addConnection(std::shared_ptr<SimConnection> connection);
// The connection of the handle, or null; the packet lock must be held.
SimConnection* gf_findConnectionLocked(HANDLE handle);
// The connection of the handle (taking the packet lock), or null.
std::shared_ptr<SimConnection> gf_findConnection(HANDLE handle);
// Takes the connection out of the list.
std::shared_ptr<SimConnection> gf_removeConnection(HANDLE handle);

}  // namespace vald::simconnect
