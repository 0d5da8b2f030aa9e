#include "link/robot_status.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "link/control_commands.h"
#include "link/text_codec.h"

namespace velcora {

RobotStatus DecodeRobotStatus(CStream& payload, int32_t length) {
    RobotStatus s;
    s.battery = ReadU32(payload);
    s.charging = ReadU8(payload) != 0;
    s.height = ReadFloat(payload);
    if (length >= 10) {
        s.randomWalk = ReadU8(payload) != 0;
    }
    if (length >= 11) {
        s.emotion = ReadU8(payload);
    }
    return s;
}

std::u16string FormatBattery(const RobotStatus& status) {
    char text[32];
    // The battery is a u32 on the wire; shown as the signed number it means.
    std::snprintf(text, sizeof text, "%d%%", static_cast<int32_t>(status.battery));
    std::u16string out = status.charging ? u"±" : u"";
    return out + Utf8ToWide(text);
}

std::u16string FormatHeight(float height) {
    char text[64];
    if (!std::isfinite(height)) {
        return u"-";
    }
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(height));
    return Utf8ToWide(text);
}

RobotModeFlags DecodeRobotModeFlags(CStream& payload, int32_t length) {
    RobotModeFlags f;
    f.navMode = ReadU8(payload);
    f.flags = ReadU8(payload);
    // A short record leaves the rest zero rather than reading into the next frame.
    const int32_t recordBytes = std::max<int32_t>(0, std::min(length - 2, kNavStatusRecordSize));
    if (recordBytes > 0) {
        payload.Read(f.navStatus.data(), recordBytes);
    }
    return f;
}

void SendMapSubscription(IRobotLink& link, const std::optional<MapSubscription>& map) {
    CStream& s = link.BeginFrame(msg::kMapSubscribe);
    if (map) {
        WriteU32(s, map->mapId);
        WriteI32(s, map->version);
        WriteU8(s, 1);
    }
    link.EndFrame();
}

void CStatusPoller::Tick(IRobotLink& link, int32_t elapsedMs) {
    if (!link.Authorised()) {
        return;
    }
    counter_ += elapsedMs;
    if (counter_ > kIntervalMs && link.CanSendPeriodic()) {
        SendStatusRequest(link);
        counter_ = 0;
    }
}

}  // namespace velcora
