// velcoractl commands for navigation maps.
#include "app/ctl/ctl.h"

namespace velcora::ctl {

void RegisterNavCommands(Registry& registry) {
    (void)registry;
}

}  // namespace velcora::ctl
