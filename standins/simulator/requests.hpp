#pragma once
// The request packets a SimConnect client sends to the simulator, decoded from their fixed
// layouts. Each packet starts with a 16-byte header: size, protocol version, packet id (the
// call's number with the four top bits set), send id.
#include "standins/simulator/wire.hpp"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <variant>

namespace standin_sim {

inline constexpr std::uint32_t kProtocolVersion = 35;
inline constexpr std::uint32_t kPacketIdMarker = 0xF0000000u;
inline constexpr std::size_t kHeaderSize = 16;
// The client's send buffer: no single packet can be larger.
inline constexpr std::size_t kMaxRequestSize = 41088;

namespace packet {
inline constexpr std::uint32_t Open = 0x01;
inline constexpr std::uint32_t MapClientEventToSimEvent = 0x04;
inline constexpr std::uint32_t TransmitClientEvent = 0x05;
inline constexpr std::uint32_t AddClientEventToNotificationGroup = 0x07;
inline constexpr std::uint32_t SetNotificationGroupPriority = 0x09;
inline constexpr std::uint32_t AddToDataDefinition = 0x0C;
inline constexpr std::uint32_t RequestDataOnSimObject = 0x0E;
inline constexpr std::uint32_t RequestDataOnSimObjectType = 0x0F;
inline constexpr std::uint32_t SetDataOnSimObject = 0x10;
inline constexpr std::uint32_t SubscribeToSystemEvent = 0x17;
inline constexpr std::uint32_t AICreateNonATCAircraft = 0x29;
inline constexpr std::uint32_t AIReleaseControl = 0x2B;
inline constexpr std::uint32_t AIRemoveObject = 0x2C;
inline constexpr std::uint32_t AISetAircraftFlightPlan = 0x2D;
}  // namespace packet

// The packet's name for the journal ("Unknown" for ids this simulator does not serve).
const char* packetName(std::uint32_t packetId);

struct PacketHeader {
    std::uint32_t size = 0;
    std::uint32_t version = 0;
    std::uint32_t packetId = 0;  // without the marker bits
    std::uint32_t sendId = 0;
};

struct OpenRequest {
    std::string clientName;
    std::uint32_t reserved = 0;
    std::uint32_t magic = 0;  // 0x50334400
    std::uint32_t versionMajor = 0, versionMinor = 0, buildMajor = 0, buildMinor = 0;
};
struct MapClientEventRequest {
    std::uint32_t eventId = 0;
    std::string eventName;
};
struct TransmitClientEventRequest {
    std::uint32_t objectId = 0, eventId = 0, data = 0, groupId = 0, flags = 0;
};
struct AddEventToGroupRequest {
    std::uint32_t groupId = 0, eventId = 0, maskable = 0;
};
struct SetGroupPriorityRequest {
    std::uint32_t groupId = 0, priority = 0;
};
struct AddToDataDefinitionRequest {
    std::uint32_t defineId = 0;
    std::string datumName;
    std::string unitsName;
    std::uint32_t dataType = 0;
    float epsilon = 0.0f;
    std::uint32_t datumId = 0;
};
struct RequestDataRequest {
    std::uint32_t requestId = 0, defineId = 0, objectId = 0, period = 0, flags = 0, origin = 0,
                  interval = 0, limit = 0;
};
struct RequestDataByTypeRequest {
    std::uint32_t requestId = 0, defineId = 0, radiusMetres = 0, objectType = 0;
};
struct SetDataRequest {
    std::uint32_t defineId = 0, objectId = 0, flags = 0, count = 0, unitSize = 0;
    Bytes data;  // count x unitSize bytes
};
struct SubscribeSystemEventRequest {
    std::uint32_t eventId = 0;
    std::string eventName;
};
struct InitPosition {
    double latitude = 0, longitude = 0, altitude = 0, pitch = 0, bank = 0, heading = 0;
    std::uint32_t onGround = 0, airspeed = 0;
};
struct CreateAircraftRequest {
    std::string containerTitle;
    std::string tailNumber;
    InitPosition position;
    std::uint32_t requestId = 0;
};
struct ReleaseControlRequest {
    std::uint32_t objectId = 0, requestId = 0;
};
struct RemoveObjectRequest {
    std::uint32_t objectId = 0, requestId = 0;
};
struct SetFlightPlanRequest {
    std::uint32_t objectId = 0;
    std::string path;
    std::uint32_t requestId = 0;
};

using RequestBody =
    std::variant<OpenRequest, MapClientEventRequest, TransmitClientEventRequest, AddEventToGroupRequest,
                 SetGroupPriorityRequest, AddToDataDefinitionRequest, RequestDataRequest,
                 RequestDataByTypeRequest, SetDataRequest, SubscribeSystemEventRequest,
                 CreateAircraftRequest, ReleaseControlRequest, RemoveObjectRequest, SetFlightPlanRequest>;

struct Request {
    PacketHeader header;
    RequestBody body;
};

// A packet that does not follow its layout: wrong size, unknown id, a text without terminator.
// index is the 1-based number of the field at fault after the header, 0 when no one field is.
struct MalformedPacket {
    PacketHeader header;
    std::string reason;
    std::uint32_t index = 0;
};

// The header of a framed packet (at least kHeaderSize bytes).
PacketHeader decodeHeader(const Bytes& packet);
[[nodiscard]] std::variant<Request, MalformedPacket> decodeRequest(const Bytes& packet);

// The decoded fields for the journal: {"packet": name, "sendId": n, ...the body's fields}.
nlohmann::json describeRequest(const Request& request);

}  // namespace standin_sim
