#include "link/session_recording.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

namespace velcora {

bool CSessionRecording::Start(RecorderOptions options, uint32_t now, std::string& error) {
    Stop();
    auto recorder = std::make_unique<CSessionRecorder>(std::move(options));
    if (!recorder->Open(error)) {
        lastError_ = error;
        return false;
    }
    lastError_.clear();
    recorder_ = std::move(recorder);
    connection_.SetFrameTap(recorder_.get());
    // Already connected: the recording begins now, with the link's state,
    // rather than waiting for a connection that is already there.
    const int32_t state = connection_.State();
    if (state >= kStateConnecting) {
        recorder_->OnLinkState(now, state, connection_.Host(), connection_.Port(),
                               connection_.Tunnel());
    }
    return true;
}

bool CSessionRecording::Stop() {
    if (!recorder_) {
        return true;
    }
    connection_.SetFrameTap(nullptr);
    const bool ok = recorder_->Close();
    if (!ok) {
        lastError_ = recorder_->ErrorText();
    }
    recorder_.reset();
    return ok;
}

void CSessionRecording::StopSoon() {
    if (!recorder_) {
        return;
    }
    connection_.SetFrameTap(nullptr);
    Closer& c = closing_.emplace_back();
    c.recorder = std::move(recorder_);
    c.thread = std::thread([&c] {
        c.ok = c.recorder->Close();
        c.done = true;
    });
}

bool CSessionRecording::PollClosed(std::string& error) {
    bool ok = true;
    for (auto it = closing_.begin(); it != closing_.end();) {
        if (!it->done) {
            ++it;
            continue;
        }
        it->thread.join();
        if (!it->ok) {
            ok = false;
            lastError_ = error = it->recorder->ErrorText();
        }
        it = closing_.erase(it);
    }
    return ok;
}

void CSessionRecording::WaitClosed() {
    for (Closer& c : closing_) {
        c.thread.join();
        if (!c.ok) {
            lastError_ = c.recorder->ErrorText();
        }
    }
    closing_.clear();
}

std::string RecordingTimeText(uint32_t ms) {
    const uint32_t s = ms / 1000;
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%u:%02u:%02u", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%02u:%02u", s / 60, s % 60);
    }
    return text;
}

std::string RecordingSizeText(int64_t bytes) {
    char text[32];
    if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%lld КБ", static_cast<long long>(bytes / 1024));
    } else {
        std::snprintf(text, sizeof text, "%.1f МБ", static_cast<double>(bytes) / (1024 * 1024));
    }
    return text;
}

std::string CSessionRecording::StatusText(uint32_t now) const {
    if (!recorder_) {
        return closing_.empty() ? std::string() : std::string("Запись сохраняется...");
    }
    switch (recorder_->GetState()) {
        case CSessionRecorder::State::kWaiting:
            return "Запись: ожидание подключения";
        case CSessionRecorder::State::kFailed:
            return "Запись прервана: " + recorder_->ErrorText();
        default:
            break;
    }
    std::string text = "Запись " + RecordingTimeText(recorder_->ElapsedMs(now)) + ", " +
                       RecordingSizeText(recorder_->BytesWritten());
    if (recorder_->Dropped().Total() > 0) {
        text += ", пропущено " + std::to_string(recorder_->Dropped().Total());
    }
    return text;
}

std::string NewRecordingPath(const std::string& folder, int64_t utcSeconds) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::time_t t = static_cast<std::time_t>(utcSeconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    const std::string stem =
        (std::filesystem::path(folder) / ("session-" + std::string(stamp))).string();
    std::string name = stem + ".vrec";
    for (int n = 2; std::filesystem::exists(name, ec); ++n)
        name = stem + "-" + std::to_string(n) + ".vrec";
    return name;
}

}  // namespace velcora
