// Every feature of the simulated robot installs itself through one function;
// InstallFeatures calls them all. A new feature is one new file with its
// Install function, declared here and called from sim_features.cpp.
//
// A feature that keeps data does so under its own subfolder of robot.Root()
// (the program always has a root: --root DIR or a fresh temporary folder) and
// seeds that subfolder with its demo content when it does not exist yet. With
// an empty root (some in-process tests) a feature keeps its data in memory or
// does without.
#pragma once

#include "sim/sim_robot.h"

namespace velcora::sim {

void InstallFeatures(CSimRobot& robot);

// Battery, charging, body height, random walk and emotion (0xCC04).
void InstallStatus(CSimRobot& robot);
// Driving, head, lift, tray, modes, parking, volume, speech, emotions, gestures.
void InstallControl(CSimRobot& robot);
// The frame log of --record FILE.
void InstallFrameRecord(CSimRobot& robot);
// Cyclograms, wave files, the environment project and the motors (0xE200..., 0x521C, ...).
void InstallCyclogram(CSimRobot& robot);
// The chat-bot script: downloads in chunks, acknowledged uploads (0x0012, 0x0013, 0x0015).
void InstallChatbot(CSimRobot& robot);
// Camera streams, robot sound and the operator's microphone.
void InstallMedia(CSimRobot& robot);
// The navigation map, pose, navigation mode and go-to-place (sim_map.h).
void InstallMap(CSimRobot& robot);
void InstallFiles(CSimRobot& robot);  // the robot's disk, C: and D: under <root>/files
// The robot computer's desktop, streamed while the console keeps it alive.
void InstallDesktop(CSimRobot& robot);
// The robot's telnet console on its own port (with --telnet-port).
void InstallTelnet(CSimRobot& robot);

}  // namespace velcora::sim
