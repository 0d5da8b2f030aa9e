#include "media/recorder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "media/audio_format.h"
#include "media/sound_block.h"

namespace velcora::media {

int32_t CaptureBufferSize(int32_t encoderBlock, int32_t bytesPerSample, int32_t rate) {
    if (encoderBlock <= 0 || bytesPerSample <= 0 || rate <= 0) {
        return 0;
    }
    const int64_t d = static_cast<int64_t>(encoderBlock) * 1000 / (bytesPerSample * int64_t{rate});
    if (d <= 0) {
        return encoderBlock;  // blocks shorter than a millisecond: one per buffer
    }
    const int64_t n = (d / 2 + 120) / d;
    return static_cast<int32_t>(encoderBlock * std::max<int64_t>(n, 1));
}

CRecorder::CRecorder(platform::IAudioInput& device, RecorderSettings settings)
    : device_(device), settings_(settings) {}

CRecorder::~CRecorder() {
    Close();
}

bool CRecorder::Open(uint8_t code, int32_t bitRate) {
    Close();
    code_ = code;
    bitRate_ = bitRate;
    const int32_t rate = FormatRate(code);
    const int32_t bits = FormatBits(code);
    if (!device_.Open(settings_.device, rate, bits,
                      [this](uintptr_t tag, int32_t recorded) { Completed(tag, recorded); })) {
        return false;
    }
    if (!encoder_.Open(rate, bits, bitRate)) {
        device_.Close();
        return false;
    }
    voiceRunning_ = voiceChanger_;
    const int32_t blocks = voiceRunning_ ? std::max(settings_.speechBlockCount, 1) : 1;
    bufferSize_ = CaptureBufferSize(encoder_.InputBlockSize() * blocks, bits / 8, rate);
    {
        Lock lock(mutex_);
        stopping_ = false;
    }
    try {
        worker_ = std::thread(&CRecorder::Run, this);
    } catch (const std::system_error&) {
        encoder_.Close();
        device_.Close();
        return false;
    }
    open_ = true;
    bool queued = true;
    {
        Lock lock(mutex_);
        for (int i = 0; i < kQueuedBuffers && queued; ++i) {
            queued = QueueBuffer();
        }
    }
    if (!queued || !device_.Start()) {
        Close();
        return false;
    }
    std::printf("Record ON at playrate %d %d bits\n", rate, bits);
    std::fflush(stdout);
    return true;
}

bool CRecorder::QueueBuffer() {
    auto b = std::make_unique<Buffer>();
    b->size = bufferSize_;
    b->samples.reset(new uint8_t[static_cast<size_t>(bufferSize_)]);
    Buffer* raw = b.get();
    buffers_.push_back(std::move(b));
    if (!device_.AddBuffer(raw->samples.get(), raw->size, reinterpret_cast<uintptr_t>(raw))) {
        buffers_.pop_back();
        return false;
    }
    return true;
}

void CRecorder::Completed(uintptr_t tag, int32_t recorded) {
    // The device's thread.
    Lock lock(mutex_);
    for (auto& b : buffers_) {
        if (reinterpret_cast<uintptr_t>(b.get()) == tag) {
            b->recorded = std::clamp(recorded, 0, b->size);
            b->returned = true;
            break;
        }
    }
    if (!stopping_) {
        QueueBuffer();
    }
    wake_.notify_one();
}

CRecorder::Buffer* CRecorder::OldestReturned() {
    for (auto& b : buffers_) {
        if (b->returned && b->state == 0) {
            return b.get();
        }
    }
    return nullptr;
}

void CRecorder::Run() {
    CVoiceChanger changer(settings_.audioMinLevel, settings_.speechSpeed);
    for (;;) {
        Buffer* b = nullptr;
        {
            Lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || (b = OldestReturned()) != nullptr; });
            if (stopping_) {
                return;
            }
        }
        // The buffer is out of the device and only this thread writes its
        // output until it is marked processed.
        if (voiceRunning_) {
            ProcessVoice(*b, changer);
        } else {
            ProcessPlain(*b);
        }
        {
            Lock lock(mutex_);
            b->state = 1;
        }
        processed_.notify_all();
    }
}

void CRecorder::EncodeInto(const uint8_t* pcm, size_t bytes, CMemoryStream& out) {
    const size_t block = static_cast<size_t>(encoder_.InputBlockSize());
    if (block == 0) {
        return;
    }
    std::vector<uint8_t> last;
    std::vector<Packet> packets;
    for (size_t at = 0; at < bytes; at += block) {
        const uint8_t* p = pcm + at;
        if (bytes - at < block) {
            // A final partial block is completed with silence.
            last.assign(block, 0);
            std::memcpy(last.data(), p, bytes - at);
            p = last.data();
        }
        packets.clear();
        if (encoder_.Encode(p, packets) < 0) {
            continue;  // that block only is lost
        }
        for (const auto& packet : packets) {
            WriteSoundChunk(out, packet.data(), static_cast<int32_t>(packet.size()));
        }
    }
}

void CRecorder::ProcessPlain(Buffer& b) {
    b.output.Clear();
    if (b.recorded <= 0) {
        return;
    }
    WriteU8(b.output, code_);
    EncodeInto(b.samples.get(), static_cast<size_t>(b.recorded), b.output);
}

void CRecorder::ProcessVoice(Buffer& b, CVoiceChanger& changer) {
    b.output.Clear();
    std::vector<int16_t> samples(static_cast<size_t>(b.recorded) / 2);
    std::memcpy(samples.data(), b.samples.get(), samples.size() * 2);
    std::vector<int16_t> utterance;
    if (!changer.Process(samples.data(), samples.size(), utterance) || utterance.empty()) {
        return;
    }
    WriteU8(b.output, code_);
    EncodeInto(reinterpret_cast<const uint8_t*>(utterance.data()), utterance.size() * 2, b.output);
}

std::vector<std::string> CRecorder::TakePending() {
    std::vector<std::string> payloads;
    Lock lock(mutex_);
    for (auto it = buffers_.begin(); it != buffers_.end();) {
        if ((*it)->state == 1) {
            if ((*it)->output.Size() > 0) {
                payloads.emplace_back((*it)->output.View());
            }
            it = buffers_.erase(it);
        } else {
            ++it;
        }
    }
    return payloads;
}

void CRecorder::SendPending(IRobotLink& link) {
    for (const std::string& payload : TakePending()) {
        CStream& s = link.BeginFrame(msg::kMicrophoneBlock);
        WriteBytes(s, payload);
        link.EndFrame();
    }
}

bool CRecorder::SetVoiceChanger(bool on) {
    const bool wasOpen = open_;
    if (wasOpen) {
        Close();
    }
    voiceChanger_ = on;
    return wasOpen ? Open(code_, bitRate_) : true;
}

bool CRecorder::WaitProcessed(int limitMs) {
    Lock lock(mutex_);
    return processed_.wait_for(lock, std::chrono::milliseconds(limitMs),
                               [&] { return !worker_.joinable() || OldestReturned() == nullptr; });
}

void CRecorder::Close() {
    if (!open_) {
        return;
    }
    {
        Lock lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
    // Every queued buffer comes back through the completion before Reset
    // returns; with the stop flag set none is queued again.
    device_.Reset();
    device_.Close();
    {
        Lock lock(mutex_);
        buffers_.clear();
    }
    encoder_.Close();
    open_ = false;
    bufferSize_ = 0;
    processed_.notify_all();
    std::printf("Record OFF\n");
    std::fflush(stdout);
}

}  // namespace velcora::media
