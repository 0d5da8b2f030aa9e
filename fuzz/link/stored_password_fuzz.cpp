// The stored-password loader over arbitrary settings values: whatever loads
// must store and load back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "link/handshake.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string password = velcora::LoadStoredPassword(text);
    if (password.size() > 127 || password.find('\0') != std::string::npos)
        std::abort();
    if (!password.empty() &&
        velcora::LoadStoredPassword(velcora::StorePassword(password)) != password)
        std::abort();
    // The raw inverse on the same bytes, with a room smaller than the input.
    velcora::Unscramble(text, static_cast<int>(size / 2));
    return 0;
}
