// velcoractl commands for chat-bot scripts.
#include "app/ctl/ctl.h"

namespace velcora::ctl {

void RegisterChatbotCommands(Registry& registry) {
    (void)registry;
}

}  // namespace velcora::ctl
