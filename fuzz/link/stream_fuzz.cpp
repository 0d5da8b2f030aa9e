// Typed reads, ReadString and CopyStream over arbitrary bytes, driven by the
// input itself so that every mix of operations is reachable.
#include <cstddef>
#include <cstdint>

#include "link/stream.h"
#include "link/text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    if (size == 0) {
        return 0;
    }
    const uint8_t program = data[0];
    CMemoryStream s(16 << (program & 7));
    s.Assign(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    CMemoryStream sink;
    for (int step = 0; step < 64 && s.Position() < s.Size(); ++step) {
        switch (ReadU8(s) % 9) {
            case 0:
                ReadU16(s);
                break;
            case 1:
                ReadU32(s);
                break;
            case 2:
                ReadDouble(s);
                break;
            case 3: {
                auto text = ReadString(s);
                if (text) {
                    WideToAnsi(AnsiToWide(*text));
                    Utf8UnitsToWide(*text);
                    Koi8rToAnsi(*text);
                }
                break;
            }
            case 4:
                CopyStream(static_cast<int8_t>(ReadU8(s)), s, sink);
                break;
            case 5:
                s.Seek(static_cast<int16_t>(ReadU16(s)), ReadU8(s) % 4);
                break;
            case 6:
                s.DiscardConsumed();
                break;
            case 7:
                sink.SetSize(static_cast<int16_t>(ReadU16(s)));
                break;
            default:
                WriteU32(sink, ReadU32(s));
                break;
        }
    }
    return 0;
}
