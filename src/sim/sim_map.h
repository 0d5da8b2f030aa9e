// The simulated robot's navigation map: the map it keeps (seeded with a demo
// map of a few rooms), the world it drives in, its pose, mode and recording
// permissions, and its side of the map exchange with the console.
#pragma once

#include <cstdint>
#include <vector>

#include "nav/nav_project.h"
#include "nav/nav_status.h"
#include "sim/sim_control.h"
#include "sim/sim_robot.h"

namespace velcora::sim {

// The robot's pose. Whatever moves the robot (the drive commands, a go-to)
// changes it here; the map picks the change up on its next tick.
SimPose& MapPose(CSimRobot& robot);
// Bits 0 and 1 of the navigation report (automatic mode, following the QR
// code), which the control commands keep.
void SetMapModeBits(CSimRobot& robot, uint8_t bits);
// Sends the navigation report (0xBA85) now, as on every change.
void SendMapNavStatus(CSimRobot& robot);
// The map the robot keeps and serves.
nav::CNavProject& RobotMap(CSimRobot& robot);
nav::NavMode MapMode(CSimRobot& robot);
uint8_t MapPermissions(CSimRobot& robot);
// True while a go-to is under way.
bool MapDriving(CSimRobot& robot);

// The console's map messages the robot handles, and the handling itself
// (what InstallMap registers); false for a type the map does not handle.
const std::vector<msg::Type>& MapMessageTypes();
bool HandleMapMessage(CSimRobot& robot, msg::Type type, CStream& payload, int32_t length);
// The map's share of the robot's tick.
void AdvanceMap(CSimRobot& robot, uint32_t elapsedMs);

// One straight piece of the world's walls.
struct SimSegment {
    double x0, y0, x1, y1;
};
// The demo world: three rooms joined by doorways.
const std::vector<SimSegment>& DemoWorld();
// Fills `map` (cleared first) with the demo map of that world.
void BuildDemoMap(nav::CNavProject& map);

// Distance from the pose along `angle` to the first wall, capped at `maxRange`.
double CastRay(const std::vector<SimSegment>& world, double x, double y, double angle,
               double maxRange);
// The rangefinder readings at a pose: eight sensors, 45 degrees apart
// counter-clockwise from straight ahead.
nav::RobotNavStatus RangefinderStatus(const std::vector<SimSegment>& world, const SimPose& pose);

// A drivable path from one point to another that keeps clear of the walls,
// as points no further apart than `spacing`; starts at `from`, ends at `to`.
// A straight line when no path exists.
std::vector<nav::NavVertex> PlanRoute(const std::vector<SimSegment>& world, nav::NavVertex from,
                                      nav::NavVertex to, double spacing);

}  // namespace velcora::sim
