// Every feature of the simulated robot installs itself through one function;
// InstallFeatures calls them all. A new feature is one new file with its
// Install function, declared here and called from sim_features.cpp.
#pragma once

#include "sim/sim_robot.h"

namespace velcora::sim {

void InstallFeatures(CSimRobot& robot);

// Battery, charging, body height, random walk and emotion (0xCC04).
void InstallStatus(CSimRobot& robot);

}  // namespace velcora::sim
