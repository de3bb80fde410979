#include "simlink/simconnect/send_buffer.hpp"

#include <algorithm>
#include <cstring>

namespace vald::simconnect {

SendBuffer::SendBuffer(std::uint32_t lastSendId) : bytes_(SEND_BUFFER_BYTES, 0), sendId_(lastSendId) {}

std::optional<std::uint32_t> SendBuffer::reserve(std::uint32_t size, std::uint32_t packetId)
{
    if (size < PACKET_HEADER_BYTES || size > SEND_BUFFER_BYTES - writePosition_)
        return std::nullopt;
    const std::uint32_t offset = writePosition_;
    std::fill_n(bytes_.begin() + offset, size, std::uint8_t{0});
    writePosition_ += size;
    ++sendId_;
    if (sendId_ == 0)
        sendId_ = 1;
    putU32(offset, size);
    putU32(offset + 4, PROTOCOL_VERSION);
    putU32(offset + 8, PACKET_ID_FLAGS | packetId);
    putU32(offset + 12, sendId_);
    return offset;
}

void SendBuffer::release(std::uint32_t offset)
{
    std::fill(bytes_.begin() + offset, bytes_.begin() + writePosition_, std::uint8_t{0});
    writePosition_ = offset;
}

void SendBuffer::putU32(std::uint32_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes_[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void SendBuffer::putF32(std::uint32_t offset, float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    putU32(offset, bits);
}

void SendBuffer::putF64(std::uint32_t offset, double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    putU32(offset, static_cast<std::uint32_t>(bits));
    putU32(offset + 4, static_cast<std::uint32_t>(bits >> 32));
}

void SendBuffer::putBytes(std::uint32_t offset, const void* data, std::uint32_t size)
{
    if (size > 0)
        std::memcpy(bytes_.data() + offset, data, size);
}

bool SendBuffer::putText(std::uint32_t offset, std::string_view text, std::uint32_t fieldSize)
{
    // The terminator must fit too.
    if (text.size() >= fieldSize)
        return false;
    putBytes(offset, text.data(), static_cast<std::uint32_t>(text.size()));
    return true;
}

std::vector<std::uint8_t> SendBuffer::take()
{
    std::vector<std::uint8_t> packet;
    appendTo(packet);
    return packet;
}

void SendBuffer::appendTo(std::vector<std::uint8_t>& out)
{
    out.insert(out.end(), bytes_.begin(), bytes_.begin() + writePosition_);
    std::fill_n(bytes_.begin(), writePosition_, std::uint8_t{0});
    writePosition_ = 0;
}

}  // namespace vald::simconnect
