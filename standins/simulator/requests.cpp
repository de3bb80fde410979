#include "standins/simulator/requests.hpp"

#include <fmt/format.h>

namespace standin_sim {

namespace {

struct Layout {
    std::uint32_t id;
    const char* name;
    std::size_t size;  // fixed size; SetDataOnSimObject gives its minimum
};

constexpr Layout kLayouts[] = {
    {packet::Open, "Open", 296},
    {packet::MapClientEventToSimEvent, "MapClientEventToSimEvent", 276},
    {packet::TransmitClientEvent, "TransmitClientEvent", 36},
    {packet::AddClientEventToNotificationGroup, "AddClientEventToNotificationGroup", 28},
    {packet::SetNotificationGroupPriority, "SetNotificationGroupPriority", 24},
    {packet::AddToDataDefinition, "AddToDataDefinition", 544},
    {packet::RequestDataOnSimObject, "RequestDataOnSimObject", 48},
    {packet::RequestDataOnSimObjectType, "RequestDataOnSimObjectType", 32},
    {packet::SetDataOnSimObject, "SetDataOnSimObject", 36},
    {packet::SubscribeToSystemEvent, "SubscribeToSystemEvent", 276},
    {packet::AICreateNonATCAircraft, "AICreateNonATCAircraft", 344},
    {packet::AIReleaseControl, "AIReleaseControl", 24},
    {packet::AIRemoveObject, "AIRemoveObject", 24},
    {packet::AISetAircraftFlightPlan, "AISetAircraftFlightPlan", 284},
};

const Layout* findLayout(std::uint32_t id) {
    for (const auto& layout : kLayouts) {
        if (layout.id == id) return &layout;
    }
    return nullptr;
}

// A text field missing its terminator is reported as the field at fault.
struct UnterminatedText {
    std::uint32_t index;
};

std::string textField(const ByteReader& in, std::size_t offset, std::size_t fieldSize, std::uint32_t index) {
    auto value = in.text(offset, fieldSize);
    if (!value) throw UnterminatedText{index};
    return *value;
}

RequestBody decodeBody(std::uint32_t id, const ByteReader& in) {
    switch (id) {
    case packet::Open:
        return OpenRequest{textField(in, 16, 256, 1), in.u32(272), in.u32(276), in.u32(280),
                           in.u32(284), in.u32(288), in.u32(292)};
    case packet::MapClientEventToSimEvent:
        return MapClientEventRequest{in.u32(16), textField(in, 20, 256, 2)};
    case packet::TransmitClientEvent:
        return TransmitClientEventRequest{in.u32(16), in.u32(20), in.u32(24), in.u32(28), in.u32(32)};
    case packet::AddClientEventToNotificationGroup:
        return AddEventToGroupRequest{in.u32(16), in.u32(20), in.u32(24)};
    case packet::SetNotificationGroupPriority:
        return SetGroupPriorityRequest{in.u32(16), in.u32(20)};
    case packet::AddToDataDefinition:
        return AddToDataDefinitionRequest{in.u32(16),  textField(in, 20, 256, 2), textField(in, 276, 256, 3),
                                          in.u32(532), in.f32(536),               in.u32(540)};
    case packet::RequestDataOnSimObject:
        return RequestDataRequest{in.u32(16), in.u32(20), in.u32(24), in.u32(28),
                                  in.u32(32), in.u32(36), in.u32(40), in.u32(44)};
    case packet::RequestDataOnSimObjectType:
        return RequestDataByTypeRequest{in.u32(16), in.u32(20), in.u32(24), in.u32(28)};
    case packet::SetDataOnSimObject: {
        SetDataRequest body{in.u32(16), in.u32(20), in.u32(24), in.u32(28), in.u32(32), {}};
        const auto data = in.slice(36, in.size() - 36);
        body.data.assign(data.begin(), data.end());
        return body;
    }
    case packet::SubscribeToSystemEvent:
        return SubscribeSystemEventRequest{in.u32(16), textField(in, 20, 256, 2)};
    case packet::AICreateNonATCAircraft: {
        CreateAircraftRequest body;
        body.containerTitle = textField(in, 16, 256, 1);
        body.tailNumber = textField(in, 272, 12, 2);
        body.position = InitPosition{in.f64(284), in.f64(292), in.f64(300), in.f64(308),
                                     in.f64(316), in.f64(324), in.u32(332), in.u32(336)};
        body.requestId = in.u32(340);
        return body;
    }
    case packet::AIReleaseControl:
        return ReleaseControlRequest{in.u32(16), in.u32(20)};
    case packet::AIRemoveObject:
        return RemoveObjectRequest{in.u32(16), in.u32(20)};
    case packet::AISetAircraftFlightPlan:
        return SetFlightPlanRequest{in.u32(16), textField(in, 20, 260, 2), in.u32(280)};
    default:
        throw std::logic_error("no layout");
    }
}

// Set-data packets carry count x unit size bytes after a 36-byte head.
std::optional<std::string> setDataSizeFault(const ByteReader& in) {
    const std::uint64_t count = in.u32(28);
    const std::uint64_t unitSize = in.u32(32);
    const std::uint64_t expected = 36 + count * unitSize;
    if (count == 0) return std::string("count 0 (the client sends at least 1)");
    if (expected != in.size()) {
        return fmt::format("size {} but count {} x unit size {} needs {}", in.size(), count, unitSize, expected);
    }
    return std::nullopt;
}

}  // namespace

const char* packetName(std::uint32_t packetId) {
    const Layout* layout = findLayout(packetId);
    return layout ? layout->name : "Unknown";
}

PacketHeader decodeHeader(const Bytes& packet) {
    const ByteReader in(packet);
    const std::uint32_t rawId = in.u32(8);
    return PacketHeader{in.u32(0), in.u32(4), rawId & ~kPacketIdMarker, in.u32(12)};
}

std::variant<Request, MalformedPacket> decodeRequest(const Bytes& packet) {
    const ByteReader in(packet);
    PacketHeader header = decodeHeader(packet);
    if ((in.u32(8) & kPacketIdMarker) != kPacketIdMarker) {
        return MalformedPacket{header, fmt::format("packet id {:#010x} lacks the marker bits", in.u32(8)), 0};
    }
    const Layout* layout = findLayout(header.packetId);
    if (layout == nullptr) {
        return MalformedPacket{header, fmt::format("unknown packet id {:#x}", header.packetId), 0};
    }
    if (header.packetId == packet::SetDataOnSimObject) {
        if (packet.size() < layout->size) {
            return MalformedPacket{header, fmt::format("size {} below {}", packet.size(), layout->size), 0};
        }
        if (auto fault = setDataSizeFault(in)) return MalformedPacket{header, *fault, 4};
    } else if (packet.size() != layout->size) {
        return MalformedPacket{header, fmt::format("size {} instead of {}", packet.size(), layout->size), 0};
    }
    try {
        return Request{header, decodeBody(header.packetId, in)};
    } catch (const UnterminatedText& fault) {
        return MalformedPacket{header, "text field without terminator", fault.index};
    }
}

// The journal names each field as the request structs do.
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(OpenRequest, clientName, reserved, magic, versionMajor, versionMinor, buildMajor,
                                   buildMinor)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(MapClientEventRequest, eventId, eventName)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(TransmitClientEventRequest, objectId, eventId, data, groupId, flags)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(AddEventToGroupRequest, groupId, eventId, maskable)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(SetGroupPriorityRequest, groupId, priority)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(AddToDataDefinitionRequest, defineId, datumName, unitsName, dataType, epsilon,
                                   datumId)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(RequestDataRequest, requestId, defineId, objectId, period, flags, origin, interval,
                                   limit)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(RequestDataByTypeRequest, requestId, defineId, radiusMetres, objectType)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(SetDataRequest, defineId, objectId, flags, count, unitSize)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(SubscribeSystemEventRequest, eventId, eventName)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(InitPosition, latitude, longitude, altitude, pitch, bank, heading, onGround,
                                   airspeed)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(CreateAircraftRequest, containerTitle, tailNumber, position, requestId)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(ReleaseControlRequest, objectId, requestId)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(RemoveObjectRequest, objectId, requestId)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(SetFlightPlanRequest, objectId, path, requestId)

nlohmann::json describeRequest(const Request& request) {
    nlohmann::json out{{"packet", packetName(request.header.packetId)}, {"sendId", request.header.sendId}};
    std::visit([&out](const auto& body) { out.update(nlohmann::json(body)); }, request.body);
    return out;
}

}  // namespace standin_sim
