// The built-in key table of the password scrambling.
#pragma once

#include <cstddef>

namespace velcora {

inline constexpr std::size_t kKeyLength = 353;
extern const char kBuiltInKeyText[];

}  // namespace velcora
