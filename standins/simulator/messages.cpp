#include "standins/simulator/messages.hpp"

#include "standins/simulator/requests.hpp"

namespace standin_sim {

namespace {

ByteWriter start(std::uint32_t messageId) {
    ByteWriter out;
    out.u32(0).u32(kProtocolVersion).u32(messageId);  // size patched by finish()
    return out;
}

}  // namespace

Bytes encodeException(std::uint32_t code, std::uint32_t sendId, std::uint32_t index) {
    return start(message::Exception).u32(code).u32(sendId).u32(index).finish();
}

Bytes encodeOpen(std::string_view applicationName, const VersionQuad& application, const VersionQuad& simConnect) {
    return start(message::Open)
        .text(applicationName, 256)
        .u32(application.major)
        .u32(application.minor)
        .u32(application.buildMajor)
        .u32(application.buildMinor)
        .u32(simConnect.major)
        .u32(simConnect.minor)
        .u32(simConnect.buildMajor)
        .u32(simConnect.buildMinor)
        .finish();
}

Bytes encodeQuit() {
    return start(message::Quit).finish();
}

Bytes encodeEvent(std::uint32_t groupId, std::uint32_t eventId, std::uint32_t data) {
    return start(message::Event).u32(groupId).u32(eventId).u32(data).finish();
}

Bytes encodeObjectAddRemove(std::uint32_t eventId, std::uint32_t objectId, std::uint32_t objectType) {
    return start(message::ObjectAddRemove).u32(kNoGroup).u32(eventId).u32(objectId).u32(objectType).finish();
}

Bytes encodeFileNameEvent(std::uint32_t eventId, std::string_view fileName) {
    return start(message::EventFileName).u32(kNoGroup).u32(eventId).u32(0).text(fileName, 260).u32(0).finish();
}

Bytes encodeFrame(std::uint32_t eventId, float frameRate, float simSpeed) {
    return start(message::EventFrame).u32(kNoGroup).u32(eventId).u32(0).f32(frameRate).f32(simSpeed).finish();
}

Bytes encodeObjectData(const ObjectDataHeader& header, std::span<const std::uint8_t> data) {
    return start(header.messageId)
        .u32(header.requestId)
        .u32(header.objectId)
        .u32(header.defineId)
        .u32(header.flags)
        .u32(header.entryNumber)
        .u32(header.outOf)
        .u32(header.defineCount)
        .bytes(data)
        .finish();
}

Bytes encodeAssignedObjectId(std::uint32_t requestId, std::uint32_t objectId) {
    return start(message::AssignedObjectId).u32(requestId).u32(objectId).finish();
}

}  // namespace standin_sim
