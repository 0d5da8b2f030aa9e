// velcoractl's remote desktop and telnet commands, and the pieces of them
// that tests drive directly.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/ctl/session.h"

namespace velcora::ctl {

// A 24-bit picture (B, G, R, top row first, rows at `pitch`) as a PNG file.
bool WritePng(const std::string& path, const uint8_t* bgr, int32_t width, int32_t height,
              int32_t pitch);

// The telnet console over an open session: robot text to `out` as UTF-8,
// lines read from `inputFd` sent to the robot. Returns 0 when the robot
// closed the console or the input ended (after a 500 ms linger), 3 when the
// console cannot be reached or the link is lost.
int RunTelnetConsole(Session& session, int port, int inputFd, std::FILE* out);

}  // namespace velcora::ctl
