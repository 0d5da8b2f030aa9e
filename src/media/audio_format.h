// The one-byte audio format code shared by robot sound and the microphone:
// bits 0-2 select the rate (bit 2 alone means 44100 Hz), bit 6 selects 8-bit
// samples; always one channel.
#pragma once

#include <array>
#include <cstdint>

namespace velcora::media {

inline constexpr std::array<int32_t, 4> kFormatRates = {44100, 22050, 11025, 8000};
inline constexpr uint8_t kFormat8Bit = 0x40;

inline int32_t FormatRate(uint8_t code) {
    return (code & 4) ? 44100 : kFormatRates[code & 3];
}
inline int32_t FormatBits(uint8_t code) {
    return (code & kFormat8Bit) ? 8 : 16;
}
inline int32_t FormatBytesPerSample(uint8_t code) {
    return FormatBits(code) / 8;
}
// `rateIndex` into kFormatRates.
inline uint8_t MakeFormatCode(int rateIndex, bool eightBit) {
    return static_cast<uint8_t>((rateIndex & 3) | (eightBit ? kFormat8Bit : 0));
}

}  // namespace velcora::media
