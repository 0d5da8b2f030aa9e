// velcoractl commands for cyclograms, sounds and the environment.
#include "app/ctl/ctl.h"

namespace velcora::ctl {

void RegisterCyclogramCommands(Registry& registry) {
    (void)registry;
}

}  // namespace velcora::ctl
