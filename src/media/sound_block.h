// The payload shared by robot sound blocks and microphone messages: the
// format code, then chunks of a 32-bit length and one MP2 packet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/stream.h"
#include "media/codec.h"

namespace velcora::media {

void WriteSoundChunk(CStream& out, const uint8_t* packet, int32_t size);
std::string MakeSoundBlock(uint8_t code, const std::vector<Packet>& packets);

}  // namespace velcora::media
