// The request packets: each call reserves its packet in the connection's send buffer, fills it
// and queues it for writing at once, all under the packet lock, so packets leave in call order.
// Inside a packet batch the packets stay in the send buffer (and, when it is full, in the batch's
// own block) and leave together at its end, so a frame's many positions cost one write and one
// wake-up.
#include <cstdint>
#include <utility>
#include <vector>

#include "simlink/simconnect/connection.hpp"
#include "simlink/simconnect/send_buffer.hpp"
#include "simlink/simconnect/simconnect.hpp"

using vald::simconnect::gf_findConnectionLocked;
using vald::simconnect::gf_packetLock;
using vald::simconnect::SEND_BUFFER_BYTES;
using vald::simconnect::SendBuffer;
using vald::simconnect::SimConnection;

namespace {

constexpr std::uint32_t NAME_BYTES = 256;
constexpr std::uint32_t TAIL_NUMBER_BYTES = 12;
constexpr std::uint32_t PATH_BYTES = 260;

enum PacketId : std::uint32_t {
    MAP_CLIENT_EVENT = 0x04,
    TRANSMIT_CLIENT_EVENT = 0x05,
    ADD_TO_NOTIFICATION_GROUP = 0x07,
    SET_GROUP_PRIORITY = 0x09,
    ADD_TO_DATA_DEFINITION = 0x0C,
    REQUEST_DATA_ON_OBJECT = 0x0E,
    REQUEST_DATA_ON_OBJECT_TYPE = 0x0F,
    SET_DATA_ON_OBJECT = 0x10,
    SUBSCRIBE_TO_SYSTEM_EVENT = 0x17,
    AI_CREATE_NON_ATC_AIRCRAFT = 0x29,
    AI_RELEASE_CONTROL = 0x2B,
    AI_REMOVE_OBJECT = 0x2C,
    AI_SET_FLIGHT_PLAN = 0x2D,
};

// Builds one packet of size bytes with fill (which answers S_OK or the reason to give the packet
// back) and, outside a batch, sends it. Packet lock held, the connection not failed.
template <typename Fill>
HRESULT lf_putPacket(SimConnection& connection, std::uint64_t size, std::uint32_t packetId, Fill fill,
                     std::uint32_t* sendId)
{
    SendBuffer& buffer = connection.sendBuffer;
    // A packet larger than the send buffer is refused as an invalid argument.
    if (size > UINT32_MAX)
        return E_INVALIDARG;
    auto offset = buffer.reserve(static_cast<std::uint32_t>(size), packetId);
    if (!offset && !buffer.empty()) {
        // A batch that fills the buffer: what it holds waits for the batch's end, so that the
        // batch still leaves in one write.
        if (connection.batchBytes.empty())
            connection.batchBytes.reserve(2 * SEND_BUFFER_BYTES);
        buffer.appendTo(connection.batchBytes);
        offset = buffer.reserve(static_cast<std::uint32_t>(size), packetId);
    }
    if (!offset)
        return E_INVALIDARG;
    if (const HRESULT result = fill(buffer, *offset); result != S_OK) {
        buffer.release(*offset);
        return result;
    }
    if (sendId != nullptr)
        *sendId = buffer.lastSendId();
    if (connection.batchDepth == 0)
        connection.queueWrite(buffer.take());
    return S_OK;
}

// The connection of handle, once the packet lock is held; the result to answer when there is
// none to send on (unknown, or failed with its stored code).
SimConnection* lf_usableConnection(HANDLE handle, HRESULT& result)
{
    SimConnection* connection = gf_findConnectionLocked(handle);
    result = E_FAIL;
    if (connection == nullptr)
        return nullptr;
    if (const auto failure = connection->failure()) {
        result = failure->code;
        return nullptr;
    }
    result = S_OK;
    return connection;
}

// One packet under the packet lock. A connection that has failed answers its failure code and
// sends nothing.
template <typename Fill>
HRESULT lf_request(HANDLE handle, std::uint64_t size, std::uint32_t packetId, Fill fill,
                   std::uint32_t* sendId = nullptr)
{
    std::lock_guard<std::mutex> lock(gf_packetLock());
    HRESULT result = S_OK;
    SimConnection* connection = lf_usableConnection(handle, result);
    if (connection == nullptr)
        return result;
    return lf_putPacket(*connection, size, packetId, fill, sendId);
}

// Ends one batch level; the outermost end writes the batch. Packet lock held.
void lf_endBatch(SimConnection& connection)
{
    if (--connection.batchDepth != 0)
        return;
    if (connection.batchBytes.empty()) {
        if (!connection.sendBuffer.empty())
            connection.queueWrite(connection.sendBuffer.take());
        return;
    }
    connection.sendBuffer.appendTo(connection.batchBytes);
    connection.queueWrite(std::exchange(connection.batchBytes, {}));
}

HRESULT lf_textResult(bool fits)
{
    return fits ? S_OK : E_TEXT_TOO_LONG;
}

const char* lf_orEmpty(const char* text)
{
    return text == nullptr ? "" : text;
}

// The 24-byte packets of two u32 fields.
HRESULT lf_twoFieldRequest(HANDLE handle, std::uint32_t packetId, std::uint32_t first, std::uint32_t second)
{
    return lf_request(handle, 24, packetId, [&](SendBuffer& b, std::uint32_t at) {
        b.putU32(at + 16, first);
        b.putU32(at + 20, second);
        return S_OK;
    });
}

}  // namespace

HRESULT SimConnect_BeginPacketBatch(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(gf_packetLock());
    SimConnection* connection = gf_findConnectionLocked(handle);
    if (connection == nullptr)
        return E_FAIL;
    ++connection->batchDepth;
    return S_OK;
}

HRESULT SimConnect_EndPacketBatch(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(gf_packetLock());
    SimConnection* connection = gf_findConnectionLocked(handle);
    if (connection == nullptr || connection->batchDepth == 0)
        return E_FAIL;
    lf_endBatch(*connection);
    return S_OK;
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE handle, std::uint32_t clientEventId, const char* simEventName)
{
    return lf_request(handle, 276, MAP_CLIENT_EVENT, [&](SendBuffer& b, std::uint32_t at) {
        b.putU32(at + 16, clientEventId);
        return lf_textResult(b.putText(at + 20, lf_orEmpty(simEventName), NAME_BYTES));
    });
}

HRESULT SimConnect_TransmitClientEvent(HANDLE handle, std::uint32_t objectId, std::uint32_t clientEventId,
                                       std::uint32_t data, std::uint32_t groupId, std::uint32_t flags)
{
    return lf_request(handle, 36, TRANSMIT_CLIENT_EVENT, [&](SendBuffer& b, std::uint32_t at) {
        b.putU32(at + 16, objectId);
        b.putU32(at + 20, clientEventId);
        b.putU32(at + 24, data);
        b.putU32(at + 28, groupId);
        b.putU32(at + 32, flags);
        return S_OK;
    });
}

HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE handle, std::uint32_t groupId,
                                                     std::uint32_t clientEventId, bool maskable)
{
    return lf_request(handle, 28, ADD_TO_NOTIFICATION_GROUP, [&](SendBuffer& b, std::uint32_t at) {
        b.putU32(at + 16, groupId);
        b.putU32(at + 20, clientEventId);
        b.putU32(at + 24, maskable ? 1 : 0);
        return S_OK;
    });
}

HRESULT SimConnect_SetNotificationGroupPriority(HANDLE handle, std::uint32_t groupId, std::uint32_t priority)
{
    return lf_twoFieldRequest(handle, SET_GROUP_PRIORITY, groupId, priority);
}

HRESULT SimConnect_AddToDataDefinition(HANDLE handle, std::uint32_t defineId, const char* datumName,
                                       const char* unitsName, std::uint32_t dataType, float epsilon,
                                       std::uint32_t datumId)
{
    return lf_request(handle, 544, ADD_TO_DATA_DEFINITION, [&](SendBuffer& b, std::uint32_t at) {
        b.putU32(at + 16, defineId);
        if (!b.putText(at + 20, lf_orEmpty(datumName), NAME_BYTES) ||
            !b.putText(at + 276, lf_orEmpty(unitsName), NAME_BYTES))
            return E_TEXT_TOO_LONG;
        b.putU32(at + 532, dataType);
        b.putF32(at + 536, epsilon);
        b.putU32(at + 540, datumId);
        return S_OK;
    });
}

HRESULT SimConnect_RequestDataOnSimObject(HANDLE handle, std::uint32_t requestId, std::uint32_t defineId,
                                          std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                          std::uint32_t origin, std::uint32_t interval, std::uint32_t limit)
{
    return lf_request(handle, 48, REQUEST_DATA_ON_OBJECT, [&](SendBuffer& b, std::uint32_t at) {
        const std::uint32_t fields[] = {requestId, defineId, objectId, period, flags, origin, interval, limit};
        for (std::uint32_t i = 0; i < 8; ++i)
            b.putU32(at + 16 + 4 * i, fields[i]);
        return S_OK;
    });
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE handle, std::uint32_t requestId, std::uint32_t defineId,
                                              std::uint32_t radiusMetres, std::uint32_t objectType)
{
    return lf_request(handle, 32, REQUEST_DATA_ON_OBJECT_TYPE, [&](SendBuffer& b, std::uint32_t at) {
        b.putU32(at + 16, requestId);
        b.putU32(at + 20, defineId);
        b.putU32(at + 24, radiusMetres);
        b.putU32(at + 28, objectType);
        return S_OK;
    });
}

HRESULT SimConnect_SetDataOnSimObject(HANDLE handle, std::uint32_t defineId, std::uint32_t objectId,
                                      std::uint32_t flags, std::uint32_t count, std::uint32_t unitSize,
                                      const void* data)
{
    if (count == 0)
        count = 1;
    const std::uint64_t dataBytes = static_cast<std::uint64_t>(count) * unitSize;
    if (data == nullptr && dataBytes > 0)
        return E_INVALIDARG;
    return lf_request(handle, 36 + dataBytes, SET_DATA_ON_OBJECT, [&](SendBuffer& b, std::uint32_t at) {
        b.putU32(at + 16, defineId);
        b.putU32(at + 20, objectId);
        b.putU32(at + 24, flags);
        b.putU32(at + 28, count);
        b.putU32(at + 32, unitSize);
        b.putBytes(at + 36, data, static_cast<std::uint32_t>(dataBytes));
        return S_OK;
    });
}

HRESULT SimConnect_SetDataOnSimObjects(HANDLE handle, std::uint32_t defineId, std::uint32_t flags,
                                       std::uint32_t unitSize, const SimObjectDatum* items, std::size_t count)
{
    if (items == nullptr && count > 0)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(gf_packetLock());
    HRESULT result = S_OK;
    SimConnection* connection = lf_usableConnection(handle, result);
    if (connection == nullptr)
        return result;
    ++connection->batchDepth;
    for (std::size_t i = 0; i < count && result == S_OK; ++i) {
        const SimObjectDatum& item = items[i];
        if (item.data == nullptr && unitSize > 0) {
            result = E_INVALIDARG;
            break;
        }
        result = lf_putPacket(
            *connection, 36 + std::uint64_t{unitSize}, SET_DATA_ON_OBJECT,
            [&](SendBuffer& b, std::uint32_t at) {
                b.putU32(at + 16, defineId);
                b.putU32(at + 20, item.objectId);
                b.putU32(at + 24, flags);
                b.putU32(at + 28, 1);
                b.putU32(at + 32, unitSize);
                b.putBytes(at + 36, item.data, unitSize);
                return S_OK;
            },
            nullptr);
    }
    lf_endBatch(*connection);
    return result;
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE handle, std::uint32_t clientEventId, const char* systemEventName)
{
    return lf_request(handle, 276, SUBSCRIBE_TO_SYSTEM_EVENT, [&](SendBuffer& b, std::uint32_t at) {
        b.putU32(at + 16, clientEventId);
        return lf_textResult(b.putText(at + 20, lf_orEmpty(systemEventName), NAME_BYTES));
    });
}

HRESULT SimConnect_AICreateNonATCAircraft(HANDLE handle, const char* containerTitle, const char* tailNumber,
                                          const SimInitPosition& position, std::uint32_t requestId,
                                          std::uint32_t* sendId)
{
    return lf_request(
        handle, 344, AI_CREATE_NON_ATC_AIRCRAFT,
        [&](SendBuffer& b, std::uint32_t at) {
            if (!b.putText(at + 16, lf_orEmpty(containerTitle), NAME_BYTES) ||
                !b.putText(at + 272, lf_orEmpty(tailNumber), TAIL_NUMBER_BYTES))
                return E_TEXT_TOO_LONG;
            const double angles[] = {position.latitude, position.longitude, position.altitude,
                                     position.pitch,    position.bank,      position.heading};
            for (std::uint32_t i = 0; i < 6; ++i)
                b.putF64(at + 284 + 8 * i, angles[i]);
            b.putU32(at + 332, position.onGround);
            b.putU32(at + 336, position.airspeed);
            b.putU32(at + 340, requestId);
            return S_OK;
        },
        sendId);
}

HRESULT SimConnect_AIReleaseControl(HANDLE handle, std::uint32_t objectId, std::uint32_t requestId)
{
    return lf_twoFieldRequest(handle, AI_RELEASE_CONTROL, objectId, requestId);
}

HRESULT SimConnect_AIRemoveObject(HANDLE handle, std::uint32_t objectId, std::uint32_t requestId)
{
    return lf_twoFieldRequest(handle, AI_REMOVE_OBJECT, objectId, requestId);
}

HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE handle, std::uint32_t objectId, const char* flightPlanPath,
                                           std::uint32_t requestId)
{
    return lf_request(handle, 284, AI_SET_FLIGHT_PLAN, [&](SendBuffer& b, std::uint32_t at) {
        b.putU32(at + 16, objectId);
        if (!b.putText(at + 20, lf_orEmpty(flightPlanPath), PATH_BYTES))
            return E_TEXT_TOO_LONG;
        b.putU32(at + 280, requestId);
        return S_OK;
    });
}

HRESULT SimConnect_GetLastSentPacketID(HANDLE handle, std::uint32_t* sendId)
{
    if (sendId == nullptr)
        return E_FAIL;
    std::lock_guard<std::mutex> lock(gf_packetLock());
    SimConnection* connection = gf_findConnectionLocked(handle);
    if (connection == nullptr)
        return E_FAIL;
    *sendId = connection->sendBuffer.lastSendId();
    return S_OK;
}
