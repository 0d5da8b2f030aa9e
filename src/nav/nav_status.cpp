#include "nav/nav_status.h"

#include <string_view>

namespace velcora::nav {

namespace {

void AppendNumber(std::u16string& out, int32_t value) {
    const std::string digits = std::to_string(value);
    out.append(digits.begin(), digits.end());
}

}  // namespace

RobotNavStatus ReadRobotNavStatus(CStream& stream) {
    RobotNavStatus status;
    status.difference = ReadI32(stream);
    status.differenceMarked = ReadU8(stream);
    uint8_t unused[3];
    stream.Read(unused, 3);
    for (int32_t& range : status.ranges) {
        range = ReadI32(stream);
    }
    status.sensorFlags = ReadU32(stream);
    return status;
}

bool WriteRobotNavStatus(CStream& stream, const RobotNavStatus& status) {
    bool ok = WriteI32(stream, status.difference) == 4;
    ok &= WriteU8(stream, status.differenceMarked) == 1;
    const uint8_t unused[3] = {};
    ok &= stream.Write(unused, 3) == 3;
    for (int32_t range : status.ranges) {
        ok &= WriteI32(stream, range) == 4;
    }
    ok &= WriteU32(stream, status.sensorFlags) == 4;
    return ok;
}

std::u16string FormatDifference(const RobotNavStatus& status, bool emptyImage) {
    std::u16string text(1, status.differenceMarked ? u'*' : u' ');
    AppendNumber(text, status.difference);
    text += emptyImage ? u'\u041F' : u' ';
    return text;
}

std::u16string FormatSensor(const RobotNavStatus& status, int sensor) {
    if (sensor < 0 || sensor >= RobotNavStatus::kSensors) {
        return {};
    }
    std::u16string text(1, status.SensorMarked(sensor) ? u'*' : u' ');
    AppendNumber(text, status.ranges[sensor]);
    return text;
}

}  // namespace velcora::nav
