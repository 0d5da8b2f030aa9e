// velcoractl commands for live control commands.
#include "app/ctl/ctl.h"

namespace velcora::ctl {

void RegisterControlCommands(Registry& registry) {
    (void)registry;
}

}  // namespace velcora::ctl
