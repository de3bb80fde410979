#pragma once
// A bounds-checked view over bytes received from outside (simulator messages, scenery files):
// every read checks offset and length against the view's size first and gives nothing when the
// field does not lie wholly inside. Offsets are 64-bit and the check cannot overflow. Values are
// little-endian, as on every machine the program runs on. The view does not own its bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>

namespace vald {

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(data == nullptr ? 0 : size) {}
    explicit ByteReader(std::span<const std::uint8_t> bytes) : ByteReader(bytes.data(), bytes.size()) {}

    std::size_t size() const { return size_; }
    const std::uint8_t* data() const { return data_; }
    // Whether bytes [offset, offset + count) lie inside the view.
    bool has(std::uint64_t offset, std::uint64_t count) const { return offset <= size_ && count <= size_ - offset; }

    [[nodiscard]] std::optional<std::uint8_t> u8(std::uint64_t offset) const { return lf_read<std::uint8_t>(offset); }
    [[nodiscard]] std::optional<std::uint16_t> u16(std::uint64_t offset) const { return lf_read<std::uint16_t>(offset); }
    [[nodiscard]] std::optional<std::uint32_t> u32(std::uint64_t offset) const { return lf_read<std::uint32_t>(offset); }
    [[nodiscard]] std::optional<std::int32_t> i32(std::uint64_t offset) const { return lf_read<std::int32_t>(offset); }
    [[nodiscard]] std::optional<std::int64_t> i64(std::uint64_t offset) const { return lf_read<std::int64_t>(offset); }
    [[nodiscard]] std::optional<float> f32(std::uint64_t offset) const { return lf_read<float>(offset); }
    [[nodiscard]] std::optional<double> f64(std::uint64_t offset) const { return lf_read<double>(offset); }

    // The text of a field of fieldSize bytes, up to its first NUL (the whole field without one).
    [[nodiscard]] std::optional<std::string> text(std::uint64_t offset, std::uint64_t fieldSize) const
    {
        if (!has(offset, fieldSize))
            return std::nullopt;
        const char* start = reinterpret_cast<const char*>(data_ + offset);
        return std::string(start, strnlen(start, static_cast<std::size_t>(fieldSize)));
    }
    // The bytes [offset, offset + count) as a view of their own; nothing when they do not fit.
    [[nodiscard]] std::optional<ByteReader> sub(std::uint64_t offset, std::uint64_t count) const
    {
        if (!has(offset, count))
            return std::nullopt;
        return ByteReader(data_ + offset, static_cast<std::size_t>(count));
    }
    // The bytes from offset to the end.
    [[nodiscard]] std::optional<std::span<const std::uint8_t>> bytesFrom(std::uint64_t offset) const
    {
        if (offset > size_)
            return std::nullopt;
        return std::span<const std::uint8_t>(data_ + offset, size_ - static_cast<std::size_t>(offset));
    }

private:
    template <typename T>
    std::optional<T> lf_read(std::uint64_t offset) const
    {
        if (!has(offset, sizeof(T)))
            return std::nullopt;
        T value;
        std::memcpy(&value, data_ + offset, sizeof(T));
        return value;
    }

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace vald
