#pragma once
// The messages the simulator sends to a SimConnect client. Every message begins with u32 size,
// u32 version and u32 message id; the layouts below put each field the client reads at the
// offset it reads it from.
#include "standins/simulator/wire.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace standin_sim {

namespace message {
inline constexpr std::uint32_t Exception = 1;
inline constexpr std::uint32_t Open = 2;
inline constexpr std::uint32_t Quit = 3;
inline constexpr std::uint32_t Event = 4;
inline constexpr std::uint32_t ObjectAddRemove = 5;
inline constexpr std::uint32_t EventFileName = 6;
inline constexpr std::uint32_t EventFrame = 7;
inline constexpr std::uint32_t ObjectData = 8;
inline constexpr std::uint32_t ObjectDataByType = 9;
inline constexpr std::uint32_t AssignedObjectId = 12;
}  // namespace message

// Exception codes this simulator raises.
namespace exception {
inline constexpr std::uint32_t Error = 1;  // a packet that breaks its layout, a period not served
inline constexpr std::uint32_t UnrecognizedId = 3;     // unknown object, define, event id
inline constexpr std::uint32_t Unopened = 4;           // a request before the open packet
inline constexpr std::uint32_t VersionMismatch = 5;    // protocol version other than 35
inline constexpr std::uint32_t NameUnrecognized = 7;   // unknown event, datum or units name
inline constexpr std::uint32_t InvalidDataSize = 19;   // set-data unit size differs from the definition
inline constexpr std::uint32_t CreateObjectFailed = 22;
inline constexpr std::uint32_t LoadFlightPlanFailed = 23;
inline constexpr std::uint32_t InvalidForObjectType = 24;  // an AI call on the user aircraft
}  // namespace exception

// Group id of events that belong to no notification group (system events).
inline constexpr std::uint32_t kNoGroup = 0xFFFFFFFFu;
inline constexpr std::uint32_t kObjectTypeAircraft = 2;

struct VersionQuad {
    std::uint32_t major = 0, minor = 0, buildMajor = 0, buildMinor = 0;
};

Bytes encodeException(std::uint32_t code, std::uint32_t sendId, std::uint32_t index);
// 12 application name[256]; 268..280 application version; 284..296 SimConnect version.
Bytes encodeOpen(std::string_view applicationName, const VersionQuad& application, const VersionQuad& simConnect);
Bytes encodeQuit();
Bytes encodeEvent(std::uint32_t groupId, std::uint32_t eventId, std::uint32_t data);
Bytes encodeObjectAddRemove(std::uint32_t eventId, std::uint32_t objectId, std::uint32_t objectType);
Bytes encodeFileNameEvent(std::uint32_t eventId, std::string_view fileName);
Bytes encodeFrame(std::uint32_t eventId, float frameRate, float simSpeed);

struct ObjectDataHeader {
    std::uint32_t messageId = message::ObjectData;  // or ObjectDataByType
    std::uint32_t requestId = 0;
    std::uint32_t objectId = 0;
    std::uint32_t defineId = 0;
    std::uint32_t flags = 0;
    std::uint32_t entryNumber = 1;  // 1-based, for replies by type
    std::uint32_t outOf = 1;
    std::uint32_t defineCount = 0;  // number of datums in the data
};
// 12 request id, 16 object id, 20 define id, 24 flags, 28 entry, 32 out of, 36 datum count,
// 40 the data.
Bytes encodeObjectData(const ObjectDataHeader& header, std::span<const std::uint8_t> data);
Bytes encodeAssignedObjectId(std::uint32_t requestId, std::uint32_t objectId);

}  // namespace standin_sim
