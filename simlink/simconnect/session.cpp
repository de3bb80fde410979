// Opening, dispatching and closing a connection.
#include <chrono>

#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "simlink/simconnect/connection.hpp"
#include "simlink/simconnect/simconnect.hpp"
#include "simlink/simconnect/transport.hpp"

using namespace vald::simconnect;

namespace {

constexpr std::uint32_t OPEN_PACKET_ID = 0x01;
constexpr std::uint32_t OPEN_PACKET_BYTES = 296;
constexpr std::uint32_t CLIENT_NAME_BYTES = 256;
// What the open packet tells the simulator about the client: its build family tag and version.
constexpr std::uint32_t OPEN_CLIENT_TAG = 0x50334400u;
constexpr std::uint32_t OPEN_CLIENT_MAJOR = 5;
constexpr std::uint32_t OPEN_CLIENT_MINOR = 3;
// How long a close waits for the packets still queued to leave.
constexpr std::chrono::milliseconds CLOSE_WRITE_WAIT{1000};

// Writes what the send buffer holds; false when it holds nothing. Packet lock held.
bool lf_flushSendBufferNow(SimConnection& connection)
{
    if (connection.sendBuffer.empty())
        return false;
    connection.queueWrite(connection.sendBuffer.take());
    return true;
}

// The open packet, written at once. Packet lock held.
HRESULT lf_sendOpenPacket(SimConnection& connection, const char* name)
{
    SendBuffer& buffer = connection.sendBuffer;
    const auto at = buffer.reserve(OPEN_PACKET_BYTES, OPEN_PACKET_ID);
    if (!at)
        return E_FAIL;
    if (!buffer.putText(*at + 16, name, CLIENT_NAME_BYTES)) {
        buffer.release(*at);
        return E_TEXT_TOO_LONG;
    }
    buffer.putU32(*at + 276, OPEN_CLIENT_TAG);
    buffer.putU32(*at + 280, OPEN_CLIENT_MAJOR);
    buffer.putU32(*at + 284, OPEN_CLIENT_MINOR);
    return lf_flushSendBufferNow(connection) ? S_OK : E_FAIL;
}

// Lets the queued packets leave, drops what was received, takes the connection out of the list
// and ends its I/O; the connection is freed with its last reference.
void lf_closeConnection(const std::shared_ptr<SimConnection>& connection)
{
    connection->waitForWrites(CLOSE_WRITE_WAIT);
    connection->dropMessages();
    gf_removeConnection(connection.get());
    connection->stop();
}

}  // namespace

HRESULT SimConnect_Open(HANDLE* handle, const char* name, HWND window, std::uint32_t userMessage, HANDLE event,
                        std::uint32_t configIndex)
{
    if (handle == nullptr || name == nullptr)
        return E_INVALIDARG;
    *handle = nullptr;
    std::shared_ptr<SimConnection> connection;
    const ConnectionNotification notification{window, userMessage, event};
    switch (gf_openTransport(configIndex, connection, notification)) {
    case OpenTransportResult::connected:
        break;
    case OpenTransportResult::sectionMissing:
        return E_INVALIDARG;
    case OpenTransportResult::failed:
        return E_FAIL;
    }
    HRESULT result = S_OK;
    {
        std::lock_guard<std::mutex> lock(gf_packetLock());
        result = lf_sendOpenPacket(*connection, name);
    }
    if (result != S_OK) {
        connection->stop();
        return result;
    }
    gf_addConnection(connection);
    *handle = connection.get();
    return S_OK;
}

HRESULT SimConnect_Close(HANDLE handle)
{
    const std::shared_ptr<SimConnection> connection = gf_findConnection(handle);
    if (connection == nullptr)
        return E_FAIL;
    {
        std::lock_guard<std::mutex> lock(gf_packetLock());
        lf_flushSendBufferNow(*connection);
    }
    lf_closeConnection(connection);
    return S_OK;
}

HRESULT SimConnect_CallDispatch(HANDLE handle, SimDispatchProc callback, void* context)
{
    const std::shared_ptr<SimConnection> connection = gf_findConnection(handle);
    if (connection == nullptr)
        return E_FAIL;
    {
        std::lock_guard<std::mutex> lock(connection->receiveLock());
        if (callback == nullptr)
            callback = connection->callback;
        if (callback == nullptr)
            return E_FAIL;
        connection->callback = callback;
        connection->callbackContext = context;
    }
    // Only what is queued now: a simulator that sends without pause cannot keep this call going.
    for (std::size_t left = connection->queuedMessages(); left > 0; --left) {
        const auto message = connection->takeMessage();
        if (!message)
            break;
        if (message->size() < 12) {
            gf_logWarn(vald::format("SimConnect: message of {} bytes dropped", message->size()));
            continue;
        }
        callback(message->data(), static_cast<std::uint32_t>(message->size()), context);
    }
    if (const auto failure = connection->failure(); failure && connection->queuedMessages() == 0)
        return failure->code;
    return S_OK;
}
