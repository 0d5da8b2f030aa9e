// velcoractl commands for the robot's file system.
#include "app/ctl/ctl.h"

namespace velcora::ctl {

void RegisterFilesCommands(Registry& registry) {
    (void)registry;
}

}  // namespace velcora::ctl
