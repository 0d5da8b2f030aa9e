// The transfer lists that arrive from the clipboard and from drops: any bytes
// decode without harm, and whatever decodes encodes back to the same items.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "files/transfer_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (auto items = DecodeFileDrop(bytes)) {
        const auto again = DecodeFileDrop(EncodeFileDrop(*items));
        if (!again || *again != *items) {
            std::abort();
        }
    }
    const auto files = DecodeUriList(bytes);
    if (DecodeUriList(EncodeUriList(files)) != files) {
        std::abort();
    }
    return 0;
}
