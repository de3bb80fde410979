#pragma once
// The program's own SimConnect client: plain functions that take a connection handle, pack one
// request into a binary packet and hand it to the connection's transport (the simulator's pipe,
// a Unix-domain socket on this platform, or local TCP). Every call returns an HRESULT.
//
// Threads: every request call may be made from any thread; packets leave in the order of the
// calls. Received messages are read, framed and queued by the connection's own I/O thread and
// handed to the caller's callback by SimConnect_CallDispatch, on the caller's thread.
#include <cstddef>
#include <cstdint>

using HRESULT = std::int32_t;
using HANDLE = void*;
using HWND = void*;

// Results.
constexpr HRESULT S_OK = 0;
// No connection, no dispatch callback, the open packet not written, nothing to close.
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
// SimConnect_Open without a handle pointer or client name, or a configuration index whose
// section no SimConnect.cfg holds.
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
// A text does not fit its field (terminator included). The request was refused here, nothing was
// sent, and the connection is unaffected: a failure of that one request, not of the link.
constexpr HRESULT E_TEXT_TOO_LONG = static_cast<HRESULT>(0x8007007Au);
// Failure codes of a failed connection: every later request and dispatch returns the one stored.
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);         // framing: bad message size
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);   // no memory for a message
constexpr HRESULT SIM_STATUS_UNSUCCESSFUL = static_cast<HRESULT>(0xC0000001u);    // other I/O error
constexpr HRESULT SIM_STATUS_CANCELLED = static_cast<HRESULT>(0xC0000120u);
constexpr HRESULT SIM_STATUS_REMOTE_DISCONNECT = static_cast<HRESULT>(0xC000013Cu);
constexpr HRESULT SIM_STATUS_LINK_FAILED = static_cast<HRESULT>(0xC000013Eu);     // end of stream
constexpr HRESULT SIM_STATUS_PIPE_BROKEN = static_cast<HRESULT>(0xC000014Bu);
constexpr HRESULT SIM_STATUS_CONNECTION_RESET = static_cast<HRESULT>(0xC000020Du);

// True for the results that only refuse the one request (the connection is still usable).
constexpr bool gf_simRequestRefusedLocally(HRESULT result)
{
    return result == E_TEXT_TOO_LONG || result == E_INVALIDARG;
}

// The configuration index that reads no SimConnect.cfg at all.
constexpr std::uint32_t SIM_CONFIG_INDEX_NONE = 0xFFFFFFFFu;

// The object id of the user aircraft and the datum id "none".
constexpr std::uint32_t SIM_OBJECT_ID_USER = 0;
constexpr std::uint32_t SIM_UNUSED_DATUM_ID = 0xFFFFFFFFu;

// The simulator's kinds of object, as a request by type names them and the reports of added and
// removed objects carry them. Aircraft are their own kind; "all" also takes boats, ground
// vehicles and every other object the simulator holds.
constexpr std::uint32_t SIM_OBJECT_TYPE_USER = 0;
constexpr std::uint32_t SIM_OBJECT_TYPE_ALL = 1;
constexpr std::uint32_t SIM_OBJECT_TYPE_AIRCRAFT = 2;
constexpr std::uint32_t SIM_OBJECT_TYPE_HELICOPTER = 3;
constexpr std::uint32_t SIM_OBJECT_TYPE_BOAT = 4;
constexpr std::uint32_t SIM_OBJECT_TYPE_GROUND = 5;

// The initial position of a created aircraft, as it goes into the creation packet (56 bytes).
struct SimInitPosition {
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    double altitude = 0.0;   // feet
    double pitch = 0.0;      // degrees
    double bank = 0.0;       // degrees
    double heading = 0.0;    // degrees
    std::uint32_t onGround = 0;
    std::uint32_t airspeed = 0;  // knots
};

// Called by SimConnect_CallDispatch for each received message (size bytes, at least 12: size,
// version, message id). The bytes are valid during the call only.
using SimDispatchProc = void (*)(const std::uint8_t* message, std::uint32_t size, void* context);

// The event that a connection signals whenever a message has been queued or the connection has
// failed (pass its address as the event handle of SimConnect_Open). Auto-resetting.
class SimNotifyEvent {
public:
    SimNotifyEvent();
    ~SimNotifyEvent();
    SimNotifyEvent(const SimNotifyEvent&) = delete;
    SimNotifyEvent& operator=(const SimNotifyEvent&) = delete;

    void set();
    // Waits until set (or the time has passed); true when it was set. Resets it.
    bool waitMs(std::uint32_t milliseconds);

private:
    struct Impl;
    Impl* impl_;
};

// Finds the simulator (SimConnect.cfg section of configIndex, then pipe, ::1, 127.0.0.1, pipe),
// connects and sends the open packet. On success *handle is the connection. There are no window
// messages on this platform: window and userMessage are kept but only the event is signalled.
[[nodiscard]] HRESULT SimConnect_Open(HANDLE* handle, const char* name, HWND window, std::uint32_t userMessage,
                                      HANDLE event, std::uint32_t configIndex);

// Writes what is left, then closes the connection and frees it; E_FAIL for an unknown handle.
[[nodiscard]] HRESULT SimConnect_Close(HANDLE handle);

// Hands every message queued at the call to callback (or, when null, the one given before), in
// the order received. S_OK when the queue is empty, or the connection's failure code once it
// has failed. An exception thrown by the callback leaves this call.
[[nodiscard]] HRESULT SimConnect_CallDispatch(HANDLE handle, SimDispatchProc callback, void* context);

// Between a begin and its end the requests' packets are held back and leave together at the
// end: the same bytes in the same order, one write instead of one per packet, however many they
// are. Batches nest; E_FAIL for an unknown handle or an end without a begin.
[[nodiscard]] HRESULT SimConnect_BeginPacketBatch(HANDLE handle);
[[nodiscard]] HRESULT SimConnect_EndPacketBatch(HANDLE handle);

// The send id of the last packet of the connection.
[[nodiscard]] HRESULT SimConnect_GetLastSentPacketID(HANDLE handle, std::uint32_t* sendId);

[[nodiscard]] HRESULT SimConnect_MapClientEventToSimEvent(HANDLE handle, std::uint32_t clientEventId,
                                                          const char* simEventName);
[[nodiscard]] HRESULT SimConnect_TransmitClientEvent(HANDLE handle, std::uint32_t objectId, std::uint32_t clientEventId,
                                                     std::uint32_t data, std::uint32_t groupId, std::uint32_t flags);
[[nodiscard]] HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE handle, std::uint32_t groupId,
                                                                   std::uint32_t clientEventId, bool maskable);
[[nodiscard]] HRESULT SimConnect_SetNotificationGroupPriority(HANDLE handle, std::uint32_t groupId,
                                                              std::uint32_t priority);
[[nodiscard]] HRESULT SimConnect_AddToDataDefinition(HANDLE handle, std::uint32_t defineId, const char* datumName,
                                                     const char* unitsName, std::uint32_t dataType, float epsilon,
                                                     std::uint32_t datumId);
[[nodiscard]] HRESULT SimConnect_RequestDataOnSimObject(HANDLE handle, std::uint32_t requestId, std::uint32_t defineId,
                                                        std::uint32_t objectId, std::uint32_t period,
                                                        std::uint32_t flags, std::uint32_t origin,
                                                        std::uint32_t interval, std::uint32_t limit);
[[nodiscard]] HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE handle, std::uint32_t requestId,
                                                            std::uint32_t defineId, std::uint32_t radiusMetres,
                                                            std::uint32_t objectType);
// Sends count × unitSize bytes of data; a count of 0 is sent as 1 (one unit of data is read).
[[nodiscard]] HRESULT SimConnect_SetDataOnSimObject(HANDLE handle, std::uint32_t defineId, std::uint32_t objectId,
                                                    std::uint32_t flags, std::uint32_t count, std::uint32_t unitSize,
                                                    const void* data);
// One object's data for SimConnect_SetDataOnSimObjects: unitSize bytes at data.
struct SimObjectDatum {
    std::uint32_t objectId = 0;
    const void* data = nullptr;
};
// For each item in order the packet of SimConnect_SetDataOnSimObject with a count of 1, all built
// under one hold of the library's lock and written in one write (with the open batch, if any):
// the same bytes as one call per item. Stops at the first item refused (E_INVALIDARG for one
// without data); the items before it are sent.
[[nodiscard]] HRESULT SimConnect_SetDataOnSimObjects(HANDLE handle, std::uint32_t defineId, std::uint32_t flags,
                                                     std::uint32_t unitSize, const SimObjectDatum* items,
                                                     std::size_t count);
[[nodiscard]] HRESULT SimConnect_SubscribeToSystemEvent(HANDLE handle, std::uint32_t clientEventId,
                                                        const char* systemEventName);
// The creation's own send id goes to *sendId (when given) on success, taken as the packet was
// built: a refusal by the simulator names that id, whatever other packets were sent meanwhile.
[[nodiscard]] HRESULT SimConnect_AICreateNonATCAircraft(HANDLE handle, const char* containerTitle,
                                                        const char* tailNumber, const SimInitPosition& position,
                                                        std::uint32_t requestId, std::uint32_t* sendId = nullptr);
[[nodiscard]] HRESULT SimConnect_AIReleaseControl(HANDLE handle, std::uint32_t objectId, std::uint32_t requestId);
[[nodiscard]] HRESULT SimConnect_AIRemoveObject(HANDLE handle, std::uint32_t objectId, std::uint32_t requestId);
[[nodiscard]] HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE handle, std::uint32_t objectId,
                                                         const char* flightPlanPath, std::uint32_t requestId);
