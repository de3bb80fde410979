#pragma once
// Reading the simulator's messages. Every field is read through MessageView (the foundation's
// byte reader), which checks it against the message's size: a message too short for what its id promises gives nothing (and a
// warning in the log) instead of reading past its end.
//
// Every message starts with u32 size, u32 version, u32 message id.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "foundation/byte_reader.hpp"

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

// A received message: the byte reader with the message id (at byte 8).
class MessageView : public vald::ByteReader {
public:
    using ByteReader::ByteReader;

    [[nodiscard]] std::optional<std::uint32_t> id() const { return u32(8); }
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
[[nodiscard]] std::optional<RecvException> gf_readException(const MessageView& message);
[[nodiscard]] std::optional<RecvOpen> gf_readOpen(const MessageView& message);
[[nodiscard]] std::optional<RecvEvent> gf_readEvent(const MessageView& message);
[[nodiscard]] std::optional<RecvObjectAddRemove> gf_readObjectAddRemove(const MessageView& message);
[[nodiscard]] std::optional<float> gf_readFrameRate(const MessageView& message);
[[nodiscard]] std::optional<RecvObjectData> gf_readObjectData(const MessageView& message);

}  // namespace vald::simconnect
