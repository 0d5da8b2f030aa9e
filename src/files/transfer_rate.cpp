#include "files/transfer_rate.h"

#include <cmath>
#include <cstdio>

namespace velcora {
namespace {

std::u16string Ascii(const char* text) {
    std::u16string out;
    for (; *text; ++text) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
    }
    return out;
}

}  // namespace

void CTransferRate::BeginList(uint32_t now, std::optional<int64_t> listBytes) {
    samples_.clear();
    listBytes_ = listBytes;
    doneBytes_ = 0;
    fileSize_ = -1;
    fileCopied_ = 0;
    AddSample(now);
}

void CTransferRate::BeginFile(uint32_t now, int64_t size) {
    // The engine announces each file twice (before and after opening it):
    // only a file that copied something adds it to the done bytes.
    doneBytes_ += fileCopied_;
    fileCopied_ = 0;
    fileSize_ = size;
    AddSample(now);
}

void CTransferRate::FileProgress(uint32_t now, int64_t copied) {
    fileCopied_ = copied < 0 ? 0 : copied;
    AddSample(now);
}

void CTransferRate::AddSample(uint32_t now) {
    const int64_t bytes = TotalCopied();
    if (!samples_.empty() && samples_.back().at == now) {
        samples_.back().bytes = bytes;
    } else {
        samples_.push_back({now, bytes});
    }
    // Keep the newest sample at or before the window's start as its base, so
    // a slow trickle still spans the whole window. Differences of the tick
    // wrap correctly.
    while (samples_.size() > 2 && now - samples_[1].at >= kWindowMs) {
        samples_.pop_front();
    }
}

std::optional<double> CTransferRate::BytesPerSecond() const {
    if (samples_.size() < 2) {
        return std::nullopt;
    }
    const Sample& first = samples_.front();
    const Sample& last = samples_.back();
    const uint32_t span = last.at - first.at;
    if (span < kMinSpanMs) {
        return std::nullopt;
    }
    const int64_t bytes = last.bytes - first.bytes;
    return bytes <= 0 ? 0.0 : static_cast<double>(bytes) * 1000.0 / span;
}

std::optional<int64_t> CTransferRate::SecondsFor(int64_t bytes) const {
    const auto speed = BytesPerSecond();
    if (!speed || *speed <= 0.0) {
        return std::nullopt;
    }
    if (bytes <= 0) {
        return 0;
    }
    // A small tolerance keeps an exact quotient from rounding up a second.
    return static_cast<int64_t>(std::ceil(static_cast<double>(bytes) / *speed - 1e-9));
}

std::optional<int64_t> CTransferRate::FileSecondsLeft() const {
    if (fileSize_ < 0) {
        return std::nullopt;
    }
    return SecondsFor(fileSize_ - fileCopied_);
}

std::optional<int64_t> CTransferRate::ListSecondsLeft() const {
    if (!listBytes_) {
        return std::nullopt;
    }
    return SecondsFor(*listBytes_ - TotalCopied());
}

std::u16string CTransferRate::SpeedText(double bps) {
    if (!(bps >= 0.0)) {
        bps = 0.0;
    }
    if (bps < 1024.0) {
        return Ascii(std::to_string(static_cast<int64_t>(bps)).c_str()) + u" Б/с";
    }
    static const char16_t* const kUnits[] = {u" КБ/с", u" МБ/с", u" ГБ/с"};
    double value = bps / 1024.0;
    int unit = 0;
    // 1023.97 KB/s would print as "1024,0 КБ/с": the next unit reads better.
    while (unit < 2 && value >= 1023.95) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    std::u16string out = Ascii(text);
    for (auto& c : out) {
        if (c == u'.') {
            c = u',';
        }
    }
    return out + kUnits[unit];
}

std::u16string CTransferRate::DurationText(int64_t seconds) {
    if (seconds < 0) {
        seconds = 0;
    }
    char text[48];
    const long long h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", h, m, s);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", m, s);
    }
    return Ascii(text);
}

std::u16string CTransferRate::Text() const {
    const auto speed = BytesPerSecond();
    if (!speed) {
        return {};
    }
    std::u16string out = u"Скорость: " + SpeedText(*speed);
    const auto file = FileSecondsLeft();
    const auto list = ListSecondsLeft();
    if (file) {
        out += u"  Осталось: " + DurationText(*file);
        if (list && *list > *file) {
            out += u", всего " + DurationText(*list);
        }
    } else if (list) {
        out += u"  Осталось: " + DurationText(*list);
    }
    return out;
}

}  // namespace velcora
