#pragma once
// Reading the simulator's messages. Every field is read through MessageView, which checks it
// against the message's size: a message too short for what its id promises gives nothing (and a
// warning in the log) instead of reading past its end.
//
// Every message starts with u32 size, u32 version, u32 message id.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vald::simconnect {

enum class RecvId : std::uint32_t {
    exception = 1,
    open = 2,
    quit = 3,
    event = 4,
    objectAddRemove = 5,
    eventFileName = 6,
    frame = 7,
    objectData = 8,
    objectDataByType = 9,
};

class MessageView {
public:
    MessageView(const std::uint8_t* data, std::uint32_t size) : data_(data), size_(data == nullptr ? 0 : size) {}

    std::uint32_t size() const { return size_; }
    // Whether bytes [offset, offset + count) lie inside the message.
    bool has(std::uint32_t offset, std::uint32_t count) const
    {
        return offset <= size_ && count <= size_ - offset;
    }

    std::optional<std::uint32_t> id() const { return u32(8); }
    std::optional<std::uint32_t> u32(std::uint32_t offset) const;
    std::optional<std::int64_t> i64(std::uint32_t offset) const;
    std::optional<float> f32(std::uint32_t offset) const;
    std::optional<double> f64(std::uint32_t offset) const;
    // The terminated text of a field of fieldSize bytes (the field must lie inside the message;
    // a text without terminator ends with the field).
    std::optional<std::string> text(std::uint32_t offset, std::uint32_t fieldSize) const;
    // The bytes from offset to the end of the message.
    std::optional<std::span<const std::uint8_t>> bytesFrom(std::uint32_t offset) const;

private:
    const std::uint8_t* data_;
    std::uint32_t size_;
};

struct RecvException {
    std::uint32_t exception = 0;
    std::uint32_t sendId = 0;
    std::uint32_t index = 0;
};

struct RecvOpen {
    std::string applicationName;
    std::uint32_t versionMajor = 0;
    std::uint32_t versionMinor = 0;
    std::uint32_t buildMajor = 0;
    std::uint32_t buildMinor = 0;
};

struct RecvEvent {
    std::uint32_t eventId = 0;
    std::uint32_t data = 0;
};

struct RecvObjectAddRemove {
    std::uint32_t eventId = 0;
    std::uint32_t objectId = 0;
    std::uint32_t objectType = 0;
};

struct RecvObjectData {
    std::uint32_t requestId = 0;
    std::uint32_t objectId = 0;
    std::span<const std::uint8_t> data;  // the definition's data, to the end of the message
};

// Each gives nothing, with a warning, when the message is too short for its fields.
std::optional<RecvException> gf_readException(const MessageView& message);
std::optional<RecvOpen> gf_readOpen(const MessageView& message);
std::optional<RecvEvent> gf_readEvent(const MessageView& message);
std::optional<RecvObjectAddRemove> gf_readObjectAddRemove(const MessageView& message);
std::optional<float> gf_readFrameRate(const MessageView& message);
std::optional<RecvObjectData> gf_readObjectData(const MessageView& message);

}  // namespace vald::simconnect
