#include "simlink/simconnect/recv.hpp"

#include "foundation/format.hpp"
#include "foundation/log.hpp"

namespace vald::simconnect {

namespace {

constexpr std::uint32_t OPEN_NAME_BYTES = 256;
constexpr std::uint32_t OBJECT_DATA_OFFSET = 40;

// Nothing when the message does not reach end; warns once for the dropped message.
bool lf_long(const MessageView& message, std::uint32_t end, const char* what)
{
    if (message.has(0, end))
        return true;
    gf_logWarn(vald::format("SimConnect: {} message of {} bytes is too short (needs {}), dropped", what,
                            message.size(), end));
    return false;
}

}  // namespace

std::optional<RecvException> gf_readException(const MessageView& message)
{
    if (!lf_long(message, 24, "exception"))
        return std::nullopt;
    return RecvException{*message.u32(12), *message.u32(16), *message.u32(20)};
}

std::optional<RecvOpen> gf_readOpen(const MessageView& message)
{
    if (!lf_long(message, 12 + OPEN_NAME_BYTES + 16, "open"))
        return std::nullopt;
    return RecvOpen{*message.text(12, OPEN_NAME_BYTES), *message.u32(268), *message.u32(272), *message.u32(276),
                    *message.u32(280)};
}

std::optional<RecvEvent> gf_readEvent(const MessageView& message)
{
    if (!lf_long(message, 24, "event"))
        return std::nullopt;
    return RecvEvent{*message.u32(16), *message.u32(20)};
}

std::optional<RecvObjectAddRemove> gf_readObjectAddRemove(const MessageView& message)
{
    if (!lf_long(message, 28, "object added/removed"))
        return std::nullopt;
    return RecvObjectAddRemove{*message.u32(16), *message.u32(20), *message.u32(24)};
}

std::optional<float> gf_readFrameRate(const MessageView& message)
{
    if (!lf_long(message, 28, "frame"))
        return std::nullopt;
    return *message.f32(24);
}

std::optional<RecvObjectData> gf_readObjectData(const MessageView& message)
{
    if (!lf_long(message, OBJECT_DATA_OFFSET, "object data"))
        return std::nullopt;
    return RecvObjectData{*message.u32(12), *message.u32(16), *message.bytesFrom(OBJECT_DATA_OFFSET)};
}

}  // namespace vald::simconnect
