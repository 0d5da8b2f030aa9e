// SHA-256 of a byte block, for fingerprints in map dumps.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace velcora::nav {

std::array<uint8_t, 32> Sha256(const void* data, std::size_t size);
// Lower-case hexadecimal.
std::string Sha256Hex(const void* data, std::size_t size);

}  // namespace velcora::nav
