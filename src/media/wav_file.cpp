#include "media/wav_file.h"

#include <cstring>

namespace velcora::media {
namespace {

void WriteHeader(CStream& s, int32_t rate, int32_t bits, int64_t dataBytes) {
    const int32_t data = static_cast<int32_t>(dataBytes);
    const int32_t bytesPerSample = bits / 8;
    s.Seek(0, kSeekSet);
    WriteText(s, "RIFF");
    WriteI32(s, 36 + data);
    WriteText(s, "WAVEfmt ");
    WriteI32(s, 16);
    WriteU16(s, 1);  // PCM
    WriteU16(s, 1);  // mono
    WriteI32(s, rate);
    WriteI32(s, rate * bytesPerSample);
    WriteU16(s, static_cast<uint16_t>(bytesPerSample));
    WriteU16(s, static_cast<uint16_t>(bits));
    WriteText(s, "data");
    WriteI32(s, data);
}

}  // namespace

CWavFileOutput::CWavFileOutput(std::string path) : path_(std::move(path)) {}

CWavFileOutput::~CWavFileOutput() {
    Finish();
}

bool CWavFileOutput::Open(int32_t rate, int32_t bits, Completion done) {
    if (file_) {
        if (rate != rate_ || bits != bits_) {
            return false;
        }
    } else {
        file_ = std::make_unique<CFileStream>(path_, CFileStream::Mode::Write);
        if (!file_->IsOpen()) {
            file_.reset();
            return false;
        }
        rate_ = rate;
        bits_ = bits;
        dataBytes_ = 0;
        WriteHeader(*file_, rate_, bits_, 0);
    }
    done_ = std::move(done);
    open_ = true;
    return true;
}

bool CWavFileOutput::Write(const uint8_t* data, int32_t size, uintptr_t tag) {
    if (!open_ || size < 0) {
        return false;
    }
    // Wave files stop at 4 GB; stay well inside a signed 32-bit size.
    if (dataBytes_ + size > 0x7FFFFF00LL) {
        return false;
    }
    if (size > 0) {
        file_->Seek(0, kSeekEnd);
        if (file_->Write(data, size) != size) {
            return false;
        }
        dataBytes_ += size;
        WriteHeader(*file_, rate_, bits_, dataBytes_);
    }
    if (done_) {
        done_(tag);
    }
    return true;
}

void CWavFileOutput::Close() {
    open_ = false;
    done_ = nullptr;
}

bool CWavFileOutput::Finish() {
    open_ = false;
    if (!file_) {
        return true;
    }
    WriteHeader(*file_, rate_, bits_, dataBytes_);
    const bool ok = file_->Close();
    file_.reset();
    return ok;
}

bool ReadWavFile(const std::string& path, WavData& out) {
    CMemoryStream s;
    if (!s.LoadFromFile(path) || s.Size() < 12) {
        return false;
    }
    const std::string_view all = s.View();
    if (all.substr(0, 4) != "RIFF" || all.substr(8, 4) != "WAVE") {
        return false;
    }
    s.Seek(12, kSeekSet);
    bool haveFormat = false;
    while (s.Size() - s.Position() >= 8) {
        const std::string id = ReadBytes(s, 4);
        const uint32_t size = ReadU32(s);
        const int64_t left = s.Size() - s.Position();
        if (size > left) {
            return false;
        }
        if (id == "fmt " && size >= 16) {
            const int32_t start = s.Position();
            const uint16_t tag = ReadU16(s);
            out.channels = ReadU16(s);
            out.rate = ReadI32(s);
            ReadI32(s);
            ReadU16(s);
            out.bits = ReadU16(s);
            // A rate far outside what sound cards use is a damaged header:
            // resampling from 1 Hz would multiply the samples by the
            // target rate and exhaust memory.
            if (tag != 1 || out.channels < 1 || out.rate < kMinWavRate || out.rate > kMaxWavRate ||
                (out.bits != 8 && out.bits != 16)) {
                return false;
            }
            haveFormat = true;
            s.Seek(start + static_cast<int32_t>(size), kSeekSet);
        } else if (id == "data") {
            if (!haveFormat) {
                return false;
            }
            const uint8_t* p = s.Data() + s.Position();
            out.samples.assign(p, p + size);
            return true;
        } else {
            s.Seek(static_cast<int32_t>(size), kSeekCur);
        }
        if (size & 1) {
            s.Seek(1, kSeekCur);  // chunks are padded to even sizes
        }
    }
    return false;
}

std::vector<int16_t> ToMono16(const WavData& wav) {
    std::vector<int16_t> mono;
    if (wav.channels < 1) {
        return mono;
    }
    const size_t bytes = wav.bits / 8;
    const size_t frames = wav.samples.size() / (bytes * wav.channels);
    mono.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        int32_t sum = 0;
        for (int c = 0; c < wav.channels; ++c) {
            const uint8_t* p = &wav.samples[(i * wav.channels + c) * bytes];
            if (bytes == 2) {
                int16_t v;
                std::memcpy(&v, p, 2);
                sum += v;
            } else {
                sum += (static_cast<int32_t>(*p) - 128) * 256;
            }
        }
        mono[i] = static_cast<int16_t>(sum / wav.channels);
    }
    return mono;
}

std::vector<int16_t> Resample16(const std::vector<int16_t>& in, int32_t fromRate, int32_t toRate) {
    if (fromRate <= 0 || toRate <= 0) {
        return {};
    }
    if (fromRate == toRate || in.empty()) {
        return in;
    }
    const size_t n = static_cast<size_t>(static_cast<uint64_t>(in.size()) * toRate / fromRate);
    std::vector<int16_t> out(n);
    for (size_t i = 0; i < n; ++i) {
        // Position in the input in 1/toRate steps, kept exact in integers.
        const uint64_t num = static_cast<uint64_t>(i) * static_cast<uint64_t>(fromRate);
        const size_t j = static_cast<size_t>(num / static_cast<uint64_t>(toRate));
        const int64_t frac = static_cast<int64_t>(num % static_cast<uint64_t>(toRate));
        const int64_t a = in[j];
        const int64_t b = j + 1 < in.size() ? in[j + 1] : in[j];
        out[i] = static_cast<int16_t>(a + (b - a) * frac / toRate);
    }
    return out;
}

}  // namespace velcora::media
