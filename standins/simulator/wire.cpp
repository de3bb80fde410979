#include "standins/simulator/wire.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fmt/format.h>
#include <stdexcept>

namespace standin_sim {

namespace {

static_assert(std::endian::native == std::endian::little, "the wire is little-endian");

template <typename T>
T load(std::span<const std::uint8_t> bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

template <typename T>
void store(Bytes& bytes, T value) {
    std::uint8_t raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    bytes.insert(bytes.end(), raw, raw + sizeof(T));
}

}  // namespace

void ByteReader::check(std::size_t offset, std::size_t length) const {
    if (!has(offset, length)) {
        throw std::out_of_range(
            fmt::format("field at {} of {} bytes lies outside a packet of {} bytes", offset, length,
                        bytes_.size()));
    }
}

std::uint32_t ByteReader::u32(std::size_t offset) const {
    check(offset, 4);
    return load<std::uint32_t>(bytes_, offset);
}

std::int64_t ByteReader::i64(std::size_t offset) const {
    check(offset, 8);
    return load<std::int64_t>(bytes_, offset);
}

float ByteReader::f32(std::size_t offset) const {
    check(offset, 4);
    return load<float>(bytes_, offset);
}

double ByteReader::f64(std::size_t offset) const {
    check(offset, 8);
    return load<double>(bytes_, offset);
}

std::optional<std::string> ByteReader::text(std::size_t offset, std::size_t fieldSize) const {
    check(offset, fieldSize);
    const auto* start = reinterpret_cast<const char*>(bytes_.data() + offset);
    const void* end = std::memchr(start, 0, fieldSize);
    if (end == nullptr) return std::nullopt;
    return std::string(start, static_cast<const char*>(end));
}

std::span<const std::uint8_t> ByteReader::slice(std::size_t offset, std::size_t length) const {
    check(offset, length);
    return bytes_.subspan(offset, length);
}

ByteWriter& ByteWriter::u32(std::uint32_t value) {
    if (bytes_.empty()) bytes_.reserve(64);
    store(bytes_, value);
    return *this;
}

ByteWriter& ByteWriter::i64(std::int64_t value) {
    store(bytes_, value);
    return *this;
}

ByteWriter& ByteWriter::f32(float value) {
    store(bytes_, value);
    return *this;
}

ByteWriter& ByteWriter::f64(double value) {
    store(bytes_, value);
    return *this;
}

ByteWriter& ByteWriter::text(std::string_view value, std::size_t fieldSize) {
    if (fieldSize == 0) return *this;
    const std::size_t length = std::min(value.size(), fieldSize - 1);
    bytes_.insert(bytes_.end(), value.begin(), value.begin() + static_cast<std::ptrdiff_t>(length));
    bytes_.insert(bytes_.end(), fieldSize - length, 0);
    return *this;
}

ByteWriter& ByteWriter::bytes(std::span<const std::uint8_t> value) {
    bytes_.insert(bytes_.end(), value.begin(), value.end());
    return *this;
}

ByteWriter& ByteWriter::zeros(std::size_t count) {
    bytes_.insert(bytes_.end(), count, 0);
    return *this;
}

Bytes ByteWriter::finish() {
    if (bytes_.size() < 4) bytes_.resize(4, 0);
    const auto size = static_cast<std::uint32_t>(bytes_.size());
    std::memcpy(bytes_.data(), &size, sizeof size);
    return std::move(bytes_);
}

void PacketFramer::feed(std::span<const std::uint8_t> bytes) {
    if (broken()) return;
    // Consumed bytes are dropped before new ones are appended, so the buffer holds at most
    // one partial packet plus what has just arrived.
    if (readPos_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(readPos_));
        readPos_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

std::optional<Bytes> PacketFramer::next() {
    if (broken() || buffered() < 4) return std::nullopt;
    std::uint32_t size;
    std::memcpy(&size, buffer_.data() + readPos_, sizeof size);
    if (size < minSize_ || size > maxSize_) {
        error_ = fmt::format("packet size {} outside {}..{}", size, minSize_, maxSize_);
        return std::nullopt;
    }
    if (buffered() < size) return std::nullopt;
    const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(readPos_);
    Bytes packet(first, first + size);
    readPos_ += size;
    return packet;
}

}  // namespace standin_sim
