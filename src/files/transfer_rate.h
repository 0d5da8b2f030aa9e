// Speed and time left of a copy, from progress samples. Time is given by the
// caller (a millisecond tick that wraps at 2^32), so the same figures show in
// the copy dialog and in velcoractl, and tests drive them by hand.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace velcora {

class CTransferRate {
  public:
    // The speed is measured over this much of the latest progress ...
    static constexpr uint32_t kWindowMs = 3000;
    // ... and shown once the samples span at least this much.
    static constexpr uint32_t kMinSpanMs = 1000;

    // A new transfer list; `listBytes` is its total when every item is a file
    // of known size.
    void BeginList(uint32_t now, std::optional<int64_t> listBytes);
    // The next file, `size` bytes (negative: not known yet).
    void BeginFile(uint32_t now, int64_t size);
    // `copied` bytes of the current file are done.
    void FileProgress(uint32_t now, int64_t copied);

    // Bytes per second over the last kWindowMs; nothing before kMinSpanMs of
    // samples.
    std::optional<double> BytesPerSecond() const;
    // Seconds left (rounded up) for the current file and for the whole list.
    std::optional<int64_t> FileSecondsLeft() const;
    std::optional<int64_t> ListSecondsLeft() const;

    // "Скорость: 12,3 МБ/с  Осталось: 0:42"; with a known list total also the
    // time for the whole list. Empty until a speed is known.
    std::u16string Text() const;

    // "812 Б/с", "12,3 КБ/с", "1,0 МБ/с", "2,1 ГБ/с" (binary units).
    static std::u16string SpeedText(double bytesPerSecond);
    // "0:42", "12:05", "1:02:03".
    static std::u16string DurationText(int64_t seconds);

    int64_t TotalCopied() const { return doneBytes_ + fileCopied_; }

  private:
    struct Sample {
        uint32_t at;
        int64_t bytes;  // of the whole list so far
    };
    void AddSample(uint32_t now);
    std::optional<int64_t> SecondsFor(int64_t bytes) const;

    std::deque<Sample> samples_;
    std::optional<int64_t> listBytes_;
    int64_t doneBytes_ = 0;  // of the finished files
    int64_t fileSize_ = -1;
    int64_t fileCopied_ = 0;
};

}  // namespace velcora
