// velcoractl commands for connection options and status.
#include "app/ctl/ctl.h"

namespace velcora::ctl {

void RegisterLinkCommands(Registry& registry) {
    (void)registry;
}

}  // namespace velcora::ctl
