#include "sim/sim_features.h"

namespace velcora::sim {

void InstallFeatures(CSimRobot& robot) {
    InstallStatus(robot);
    InstallMap(robot);
}

}  // namespace velcora::sim
