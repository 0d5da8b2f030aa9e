#include "sim/sim_features.h"

namespace velcora::sim {

void InstallFeatures(CSimRobot& robot) {
    InstallStatus(robot);
    InstallMedia(robot);
}

}  // namespace velcora::sim
