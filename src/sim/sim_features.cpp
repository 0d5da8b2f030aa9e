#include "sim/sim_features.h"

namespace velcora::sim {

void InstallFeatures(CSimRobot& robot) {
    InstallStatus(robot);
    InstallFiles(robot);
}

}  // namespace velcora::sim
