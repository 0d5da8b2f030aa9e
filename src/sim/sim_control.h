// The robot's body as the control commands move it: where it stands, where
// its head looks, its lift and tray, its modes. Other features (maps, the
// status) read and change it through these accessors.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "sim/sim_robot.h"

namespace velcora::sim {

struct SimPose {
    double x = 0.0;      // cm
    double y = 0.0;      // cm
    double angle = 0.0;  // radians, 0 along +x, counter-clockwise
};

struct SimBody {
    // Drive as last commanded, each -1..1; it lapses when not repeated.
    double forward = 0.0, turn = 0.0, strafe = 0.0;
    uint32_t driveAge = 0;                              // ms since the last drive command
    double headPan = 0.0, headTilt = 0.0, headZ = 0.0;  // -1..1
    double relPan = 0.0, relTilt = 0.0;                 // relative head speed, -1..1
    int liftSpeed = 0;                                  // signed byte as commanded
    float targetHeight = -1.0f;                         // < 0: none
    int traySpeed = 0;
    double tray = 0.0;  // 0..100 %
    bool autobalance = false;
    bool autoMode = false;
    bool qrMode = false;
    bool parking = false;
    int volume = 75;
    std::string avatar;
    std::string language;
    uint32_t gesturesRecorded = 0;
    // The gestures the robot knows (seeded with the demo's 0 and 1).
    std::set<uint32_t> gestures{0, 1};
};

// Motors moved by the service window: the speed each was last given, the
// raw value it is at (shared with the cyclogram feature's motors), and a
// calibration under way.
struct SimManualMotors {
    std::map<int32_t, int> speed;             // -128..127 as commanded
    std::map<int32_t, double> raw;            // exact position between ticks
    std::map<int32_t, uint32_t> calibrating;  // ms left
};

// A calibration takes this long and ends at the motor's default raw value.
inline constexpr uint32_t kCalibrationMs = 3000;

// Moves the motors the service window drives (at full speed half their
// tracker's range a second, within it) and ends calibrations.
void TickManualMotors(CSimRobot& robot, uint32_t elapsedMs);

// The robot's pose lives with its map (which the pose changes); this is the
// same pose.
SimPose& RobotPose(CSimRobot& robot);
SimBody& RobotBody(CSimRobot& robot);

// Full-speed rates of the simulated chassis.
inline constexpr double kFullSpeedCmPerS = 50.0;
inline constexpr double kFullTurnRadPerS = 1.5707963267948966;  // 90 degrees
// A drive command is obeyed this long unless repeated (the console repeats
// held values every 260 ms at most).
inline constexpr uint32_t kDriveLapseMs = 600;

// Integrates the chassis over `elapsedMs`.
void IntegratePose(SimPose& pose, const SimBody& body, uint32_t elapsedMs);

}  // namespace velcora::sim
