// The robot's navigation status that accompanies every map status message,
// and the texts the map window's status bar shows for it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/stream.h"

namespace velcora::nav {

enum class NavMode : uint8_t { Off = 0, Navigation = 1, Recording = 2 };

// Recording permissions, one toggle each in the map window.
enum NavPermission : uint8_t {
    kPermitLongitudinalLines = 1 << 0,
    kPermitTransverseLines = 1 << 1,
    kPermitWallsFront = 1 << 2,
    kPermitWallsLeft = 1 << 3,
    kPermitWallsRight = 1 << 4,
    kPermitImages = 1 << 5,
};
inline constexpr uint8_t kNavPermissionMask = 0x3F;

// The flags byte of the status messages: bits 0 and 1 belong to the main
// window (automatic mode, following the QR code), bits 2 to 7 are the
// permissions.
inline constexpr uint8_t kFlagAutoMode = 1 << 0;
inline constexpr uint8_t kFlagFollowQr = 1 << 1;
inline uint8_t PermissionsFromFlags(uint8_t flags) {
    return static_cast<uint8_t>(flags >> 2);
}

struct RobotNavStatus {
    static constexpr int32_t kSize = 44;
    static constexpr int kSensors = 8;

    int32_t difference = 0;
    uint8_t differenceMarked = 0;
    std::array<int32_t, kSensors> ranges{};
    // Bits 0 to 7: a marker per sensor; bits 8 to 23: two bits of kind per sensor.
    uint32_t sensorFlags = 0;

    bool SensorMarked(int sensor) const { return (sensorFlags >> sensor) & 1u; }
    int SensorKind(int sensor) const {
        return static_cast<int>((sensorFlags >> (8 + 2 * sensor)) & 3u);
    }
};

// Reads the 44 bytes (zeros beyond the end of the stream).
RobotNavStatus ReadRobotNavStatus(CStream& stream);
bool WriteRobotNavStatus(CStream& stream, const RobotNavStatus& status);

// The sensors the status bar shows, in its order.
inline constexpr std::array<int, 7> kShownSensors{0, 1, 2, 3, 4, 6, 7};

// "%c%d%c": an asterisk or a blank, the value, then "П" while the map holds an
// image without pixels, else a blank.
std::u16string FormatDifference(const RobotNavStatus& status, bool emptyImage);
// "%c%d": an asterisk when the sensor's marker is set, else a blank, then the reading.
std::u16string FormatSensor(const RobotNavStatus& status, int sensor);

}  // namespace velcora::nav
