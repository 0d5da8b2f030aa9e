#include "sim/sim_features.h"

namespace velcora::sim {

void InstallFeatures(CSimRobot& robot) {
    InstallFrameRecord(robot);
    InstallStatus(robot);
    InstallControl(robot);
    InstallCyclogram(robot);
    InstallChatbot(robot);
    InstallMedia(robot);
    InstallMap(robot);
    InstallFiles(robot);
    InstallDesktop(robot);
    InstallTelnet(robot);
}

}  // namespace velcora::sim
