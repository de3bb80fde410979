#pragma once
// Cuts the simulator's byte stream into messages. Each message starts with its u32 size (the
// size field included); zero words between messages are padding. Reads go into the free room at
// the end of the receive buffer; the buffer starts small and grows only when one message needs it.
#include <cstdint>
#include <span>
#include <vector>

namespace vald::simconnect {

constexpr std::uint32_t DEFAULT_MAX_RECEIVE_SIZE = 41088;
constexpr std::uint32_t RECEIVE_BUFFER_START_BYTES = 2048;
constexpr std::uint32_t RECEIVE_BUFFER_STEP_BYTES = 2048;
constexpr std::uint32_t RECEIVE_BUFFER_LIMIT_BYTES = 1048576;

// Failure kinds of a connection (0: none or a plain close).
enum class FailureKind : std::uint32_t {
    none = 0,
    messageTooLarge = 1,
    badMessageSize = 2,
    noMemory = 3,
    endOfStream = 4,
    disconnected = 5,
    cancelled = 8,
    ioError = 9,
};

class Framer {
public:
    enum class [[nodiscard]] Outcome { message, needMore, tooLarge, badSize, noMemory };

    explicit Framer(std::uint32_t maxReceiveSize = DEFAULT_MAX_RECEIVE_SIZE);

    // The free room for the next read; never empty while a message can still be received.
    std::span<std::uint8_t> freeRoom();
    // A read put count bytes into the free room.
    void commit(std::size_t count);

    // The next step of framing: with Outcome::message the message is in message() until the
    // next call. Call until it gives something other than a message.
    [[nodiscard]] Outcome extract();
    const std::vector<std::uint8_t>& message() const { return message_; }
    // Hands the message's bytes over; message() is empty afterwards.
    [[nodiscard]] std::vector<std::uint8_t> takeMessage();

    std::size_t capacity() const { return buffer_.size(); }

private:
    void makeRoom();

    std::vector<std::uint8_t> buffer_;
    std::size_t readPosition_ = 0;
    std::size_t writeEnd_ = 0;
    std::uint32_t maxReceiveSize_;
    std::size_t capacityLimit_;
    std::vector<std::uint8_t> message_;
};

}  // namespace vald::simconnect
