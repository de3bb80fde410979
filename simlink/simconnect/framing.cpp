#include "simlink/simconnect/framing.hpp"

#include <algorithm>
#include <new>

namespace vald::simconnect {

namespace {

std::size_t lf_roundUpToStep(std::size_t bytes)
{
    return (bytes + RECEIVE_BUFFER_STEP_BYTES - 1) / RECEIVE_BUFFER_STEP_BYTES * RECEIVE_BUFFER_STEP_BYTES;
}

}  // namespace

// The buffer may grow to the largest accepted message even past 1 MiB, so that every message
// the size check lets through can be received.
Framer::Framer(std::uint32_t maxReceiveSize)
    : buffer_(RECEIVE_BUFFER_START_BYTES, 0),
      maxReceiveSize_(maxReceiveSize),
      capacityLimit_(std::max<std::size_t>(RECEIVE_BUFFER_LIMIT_BYTES, lf_roundUpToStep(maxReceiveSize)))
{
}

std::span<std::uint8_t> Framer::freeRoom()
{
    return std::span<std::uint8_t>(buffer_).subspan(writeEnd_);
}

void Framer::commit(std::size_t count)
{
    writeEnd_ = std::min(buffer_.size(), writeEnd_ + count);
}

Framer::Outcome Framer::extract()
{
    message_.clear();
    for (;;) {
        const std::size_t unread = writeEnd_ - readPosition_;
        if (unread < 4) {
            makeRoom();
            return Outcome::needMore;
        }
        const std::uint8_t* at = buffer_.data() + readPosition_;
        const std::uint32_t size = static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
                                   (static_cast<std::uint32_t>(at[2]) << 16) |
                                   (static_cast<std::uint32_t>(at[3]) << 24);
        if (size == 0) {
            // Padding is skipped a whole size word at a time, so that a message whose size has a
            // zero low byte is never cut into after padding.
            readPosition_ += 4;
            if (readPosition_ == writeEnd_)
                readPosition_ = writeEnd_ = 0;
            continue;
        }
        if (static_cast<std::int32_t>(size) < 4)
            return Outcome::badSize;
        if (size > maxReceiveSize_)
            return Outcome::tooLarge;
        if (unread < size) {
            makeRoom();
            return Outcome::needMore;
        }
        try {
            message_.assign(at, at + size);
        } catch (const std::bad_alloc&) {
            return Outcome::noMemory;
        }
        readPosition_ += size;
        if (readPosition_ == writeEnd_)
            readPosition_ = writeEnd_ = 0;
        return Outcome::message;
    }
}

std::vector<std::uint8_t> Framer::takeMessage()
{
    return std::move(message_);
}

void Framer::makeRoom()
{
    if (writeEnd_ < buffer_.size())
        return;
    if (readPosition_ > 0) {
        std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(readPosition_),
                  buffer_.begin() + static_cast<std::ptrdiff_t>(writeEnd_), buffer_.begin());
        writeEnd_ -= readPosition_;
        readPosition_ = 0;
    } else if (buffer_.size() < capacityLimit_) {
        buffer_.resize(buffer_.size() + RECEIVE_BUFFER_STEP_BYTES, 0);
    }
}

}  // namespace vald::simconnect
