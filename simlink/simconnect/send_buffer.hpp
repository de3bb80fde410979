#pragma once
// The per-connection send buffer: one request packet is built in it at a time and leaves it as
// soon as it is complete. Not locked itself: the library's packet lock guards every use.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vald::simconnect {

constexpr std::uint32_t SEND_BUFFER_BYTES = 41088;
constexpr std::uint32_t PROTOCOL_VERSION = 35;
constexpr std::uint32_t PACKET_HEADER_BYTES = 16;
constexpr std::uint32_t PACKET_ID_FLAGS = 0xF0000000u;

class SendBuffer {
public:
    explicit SendBuffer(std::uint32_t lastSendId = 0);

    // Reserves a zeroed packet of size bytes with the next send id (0 is never used) and writes
    // the header; the packet's offset, or nothing when it does not fit the free room.
    [[nodiscard]] std::optional<std::uint32_t> reserve(std::uint32_t size, std::uint32_t packetId);

    // Gives the packet at offset back: the write position returns to it, its bytes are zeroed.
    void release(std::uint32_t offset);

    void putU32(std::uint32_t offset, std::uint32_t value);
    void putF32(std::uint32_t offset, float value);
    void putF64(std::uint32_t offset, double value);
    void putBytes(std::uint32_t offset, const void* data, std::uint32_t size);
    // Copies text and its terminator into a field of fieldSize bytes; false when it does not fit.
    [[nodiscard]] bool putText(std::uint32_t offset, std::string_view text, std::uint32_t fieldSize);

    // The bytes from the start to the write position; the buffer is empty afterwards.
    [[nodiscard]] std::vector<std::uint8_t> take();
    // The same bytes appended to out; the buffer is empty afterwards.
    void appendTo(std::vector<std::uint8_t>& out);

    bool empty() const { return writePosition_ == 0; }
    std::uint32_t lastSendId() const { return sendId_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint32_t writePosition_ = 0;
    std::uint32_t sendId_ = 0;
};

}  // namespace vald::simconnect
