#pragma once
// Hand-built SimConnect bytes for the simulator stand-in's tests. Written straight from the
// packet tables with plain memcpy at fixed offsets, so they check the stand-in's codec instead
// of repeating it.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace sim_wire {

using Bytes = std::vector<std::uint8_t>;

// A zeroed request packet of the given size with its header filled in.
inline Bytes request(std::uint32_t packetId, std::uint32_t sendId, std::size_t size) {
    Bytes packet(size, 0);
    const std::uint32_t header[4] = {static_cast<std::uint32_t>(size), 35u, 0xF0000000u | packetId, sendId};
    std::memcpy(packet.data(), header, sizeof header);
    return packet;
}

inline void putU32(Bytes& packet, std::size_t offset, std::uint32_t value) {
    std::memcpy(packet.data() + offset, &value, 4);
}
inline void putF64(Bytes& packet, std::size_t offset, double value) {
    std::memcpy(packet.data() + offset, &value, 8);
}
inline void putText(Bytes& packet, std::size_t offset, const std::string& text) {
    std::memcpy(packet.data() + offset, text.data(), text.size());
}

inline std::uint32_t u32(const Bytes& bytes, std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}
inline std::int64_t i64(const Bytes& bytes, std::size_t offset) {
    std::int64_t value;
    std::memcpy(&value, bytes.data() + offset, 8);
    return value;
}
inline float f32(const Bytes& bytes, std::size_t offset) {
    float value;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}
inline double f64(const Bytes& bytes, std::size_t offset) {
    double value;
    std::memcpy(&value, bytes.data() + offset, 8);
    return value;
}
inline std::string text(const Bytes& bytes, std::size_t offset) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + offset));
}

// The received stream cut into messages by their u32 size field.
inline std::vector<Bytes> splitMessages(const Bytes& stream) {
    std::vector<Bytes> messages;
    std::size_t at = 0;
    while (at + 12 <= stream.size()) {
        const std::uint32_t size = u32(stream, at);
        if (size < 12 || at + size > stream.size()) break;
        messages.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                              stream.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
    }
    return messages;
}

inline std::uint32_t messageId(const Bytes& message) {
    return u32(message, 8);
}

// Packets of the calls the tests use, laid out as the request table gives them.
inline Bytes openPacket(std::uint32_t sendId, const std::string& clientName) {
    Bytes p = request(0x01, sendId, 296);
    putText(p, 16, clientName);
    putU32(p, 276, 0x50334400);
    putU32(p, 280, 5);
    putU32(p, 284, 3);
    return p;
}
inline Bytes subscribePacket(std::uint32_t sendId, std::uint32_t eventId, const std::string& name) {
    Bytes p = request(0x17, sendId, 276);
    putU32(p, 16, eventId);
    putText(p, 20, name);
    return p;
}
inline Bytes mapEventPacket(std::uint32_t sendId, std::uint32_t eventId, const std::string& name) {
    Bytes p = request(0x04, sendId, 276);
    putU32(p, 16, eventId);
    putText(p, 20, name);
    return p;
}
inline Bytes transmitPacket(std::uint32_t sendId, std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data) {
    Bytes p = request(0x05, sendId, 36);
    putU32(p, 16, objectId);
    putU32(p, 20, eventId);
    putU32(p, 24, data);
    putU32(p, 28, 301);
    return p;
}
inline Bytes addDatumPacket(std::uint32_t sendId, std::uint32_t defineId, const std::string& datum,
                            const std::string& units, std::uint32_t dataType) {
    Bytes p = request(0x0C, sendId, 544);
    putU32(p, 16, defineId);
    putText(p, 20, datum);
    putText(p, 276, units);
    putU32(p, 532, dataType);
    putU32(p, 540, 0xFFFFFFFF);
    return p;
}
inline Bytes requestDataPacket(std::uint32_t sendId, std::uint32_t requestId, std::uint32_t defineId,
                               std::uint32_t objectId, std::uint32_t period) {
    Bytes p = request(0x0E, sendId, 48);
    putU32(p, 16, requestId);
    putU32(p, 20, defineId);
    putU32(p, 24, objectId);
    putU32(p, 28, period);
    return p;
}
// Object types: 0 the user aircraft, 1 all objects, 2 aircraft, 4 boats.
inline Bytes requestByTypePacket(std::uint32_t sendId, std::uint32_t requestId, std::uint32_t defineId,
                                 std::uint32_t radiusMetres, std::uint32_t objectType = 2) {
    Bytes p = request(0x0F, sendId, 32);
    putU32(p, 16, requestId);
    putU32(p, 20, defineId);
    putU32(p, 24, radiusMetres);
    putU32(p, 28, objectType);
    return p;
}
inline Bytes setDataPacket(std::uint32_t sendId, std::uint32_t defineId, std::uint32_t objectId,
                           const std::vector<double>& values) {
    const std::uint32_t unitSize = static_cast<std::uint32_t>(values.size() * 8);
    Bytes p = request(0x10, sendId, 36 + unitSize);
    putU32(p, 16, defineId);
    putU32(p, 20, objectId);
    putU32(p, 28, 1);
    putU32(p, 32, unitSize);
    for (std::size_t i = 0; i < values.size(); ++i) putF64(p, 36 + i * 8, values[i]);
    return p;
}
inline Bytes createPacket(std::uint32_t sendId, const std::string& title, const std::string& tail, double lat,
                          double lon, double altFt, bool onGround) {
    Bytes p = request(0x29, sendId, 344);
    putText(p, 16, title);
    putText(p, 272, tail);
    putF64(p, 284, lat);
    putF64(p, 292, lon);
    putF64(p, 300, altFt);
    putF64(p, 324, 90.0);  // heading
    putU32(p, 332, onGround ? 1 : 0);
    putU32(p, 340, 104);
    return p;
}
inline Bytes objectCallPacket(std::uint32_t packetId, std::uint32_t sendId, std::uint32_t objectId, std::uint32_t requestId) {
    Bytes p = request(packetId, sendId, 24);
    putU32(p, 16, objectId);
    putU32(p, 20, requestId);
    return p;
}

}  // namespace sim_wire
