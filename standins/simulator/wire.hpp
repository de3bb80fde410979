#pragma once
// Little-endian byte access and stream framing for the simulator stand-in's side of the
// SimConnect wire: every packet, in both directions, starts with its u32 size (size included).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace standin_sim {

using Bytes = std::vector<std::uint8_t>;

// Reads fixed-offset fields of one packet; every read checks the packet's length first.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    bool has(std::size_t offset, std::size_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    // These throw std::out_of_range when the field lies outside the packet.
    std::uint32_t u32(std::size_t offset) const;
    std::int64_t i64(std::size_t offset) const;
    float f32(std::size_t offset) const;
    double f64(std::size_t offset) const;
    // A terminated text in a fixed field of fieldSize bytes: nothing when no terminator lies
    // inside the field (the peer overran it).
    [[nodiscard]] std::optional<std::string> text(std::size_t offset, std::size_t fieldSize) const;
    std::span<const std::uint8_t> slice(std::size_t offset, std::size_t length) const;

private:
    void check(std::size_t offset, std::size_t length) const;
    std::span<const std::uint8_t> bytes_;
};

// Builds one packet: fields are appended in order; the size field is patched by finish().
class ByteWriter {
public:
    ByteWriter& u32(std::uint32_t value);
    ByteWriter& i64(std::int64_t value);
    ByteWriter& f32(float value);
    ByteWriter& f64(double value);
    // The text, terminated and zero-padded to fieldSize bytes; a longer text is cut so that
    // the terminator still fits.
    ByteWriter& text(std::string_view value, std::size_t fieldSize);
    ByteWriter& bytes(std::span<const std::uint8_t> value);
    ByteWriter& zeros(std::size_t count);
    std::size_t size() const { return bytes_.size(); }
    // Writes the final size at offset 0 and hands the bytes over.
    Bytes finish();
    // Hands the bytes over as they stand (a block inside a packet, no size field).
    Bytes take() { return std::move(bytes_); }

private:
    Bytes bytes_;
};

// Cuts a received byte stream into whole packets. A size below minSize or above maxSize is a
// broken stream: the peer's framing cannot be trusted any more, so nothing after it is given.
class PacketFramer {
public:
    PacketFramer(std::size_t minSize, std::size_t maxSize) : minSize_(minSize), maxSize_(maxSize) {}

    void feed(std::span<const std::uint8_t> bytes);
    // The next whole packet, or nothing when more bytes are needed or the stream is broken.
    [[nodiscard]] std::optional<Bytes> next();
    bool broken() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    std::size_t buffered() const { return buffer_.size() - readPos_; }

private:
    std::size_t minSize_;
    std::size_t maxSize_;
    Bytes buffer_;
    std::size_t readPos_ = 0;
    std::string error_;
};

}  // namespace standin_sim
