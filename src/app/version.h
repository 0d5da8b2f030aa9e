// The programs' version as they print it: the project's version, and the
// revision of the checkout they were built from when there was one.
#pragma once

namespace velcora {

const char* VersionText();

}  // namespace velcora
