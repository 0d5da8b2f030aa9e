// Synthetic pictures and sounds for the media tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "media/codec.h"
#include "media/color_convert.h"

namespace velcora::media::testutil {

// A BGR picture with a pattern that moves with `n`.
inline std::vector<uint8_t> Pattern(int w, int h, int n) {
    const int pitch = BgrPitch(w);
    std::vector<uint8_t> bgr(static_cast<size_t>(pitch) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &bgr[y * pitch + 3 * x];
            p[0] = static_cast<uint8_t>(x * 2 + n * 4);
            p[1] = static_cast<uint8_t>(y * 3 + n);
            p[2] = static_cast<uint8_t>(((x / 8 + y / 8 + n) & 1) ? 220 : 30);
        }
    }
    return bgr;
}

// Every packet of a short MPEG-4 stream, drained at the end.
inline std::vector<Packet> EncodeStream(int w, int h, int frames, int bitRate = 400000,
                                        int maxBFrames = 1) {
    CVideoEncoder enc;
    std::vector<Packet> packets;
    if (!enc.Open(w, h, 25.0, bitRate, maxBFrames)) {
        return packets;
    }
    for (int i = 0; i < frames; ++i) {
        const auto pic = Pattern(w, h, i);
        enc.Encode(pic.data(), w, h, BgrPitch(w), packets);
    }
    while (enc.Encode(nullptr, 0, 0, 0, packets) == 1) {
    }
    return packets;
}

// Mono 16-bit sine samples.
inline std::vector<int16_t> Sine(int rate, double hz, int samples, double amplitude = 8000) {
    std::vector<int16_t> out(samples);
    for (int i = 0; i < samples; ++i) {
        out[i] = static_cast<int16_t>(amplitude * std::sin(2 * M_PI * hz * i / rate));
    }
    return out;
}

// MP2 packets of a sine, 1152 samples each.
inline std::vector<Packet> EncodeTone(int rate, double hz, int packets, int bitRate = 64000) {
    CAudioEncoder enc;
    std::vector<Packet> out;
    if (!enc.Open(rate, 16, bitRate)) {
        return out;
    }
    const auto pcm = Sine(rate, hz, 1152 * packets);
    for (int i = 0; i < packets; ++i) {
        enc.Encode(reinterpret_cast<const uint8_t*>(pcm.data() + 1152 * i), out);
    }
    return out;
}

// Estimated frequency of 16-bit mono samples from their zero crossings.
inline double ZeroCrossingHz(const int16_t* s, size_t n, int rate) {
    int crossings = 0;
    for (size_t i = 1; i < n; ++i) {
        if ((s[i - 1] < 0) != (s[i] < 0)) {
            ++crossings;
        }
    }
    return n > 1 ? crossings / 2.0 * rate / static_cast<double>(n) : 0;
}

}  // namespace velcora::media::testutil
