// The demo chat-bot script (UTF-8 with its mark, CR LF lines, in the exact
// form the generator writes), seeded into the simulated robot.
#pragma once

#include <string_view>

namespace velcora {

std::string_view DemoScriptBytes();

}  // namespace velcora
