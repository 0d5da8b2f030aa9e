#include "media/sound_block.h"

namespace velcora::media {

void WriteSoundChunk(CStream& out, const uint8_t* packet, int32_t size) {
    WriteI32(out, size);
    if (size > 0) {
        out.Write(packet, size);
    }
}

std::string MakeSoundBlock(uint8_t code, const std::vector<Packet>& packets) {
    CMemoryStream s;
    WriteU8(s, code);
    for (const auto& p : packets) {
        WriteSoundChunk(s, p.data(), static_cast<int32_t>(p.size()));
    }
    return std::string(s.View());
}

}  // namespace velcora::media
