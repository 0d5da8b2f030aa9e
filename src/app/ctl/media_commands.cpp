// velcoractl commands for video and sound.
#include "app/ctl/ctl.h"

namespace velcora::ctl {

void RegisterMediaCommands(Registry& registry) {
    (void)registry;
}

}  // namespace velcora::ctl
