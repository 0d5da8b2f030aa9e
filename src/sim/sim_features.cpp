#include "sim/sim_features.h"

namespace velcora::sim {

void InstallFeatures(CSimRobot& robot) {
    InstallStatus(robot);
    InstallChatbot(robot);
}

}  // namespace velcora::sim
