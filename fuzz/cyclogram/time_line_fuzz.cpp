// The time-line editor under arbitrary input: the first bytes are put on the
// clipboard as if another program had copied them, the rest is read as a
// stream of mouse events, keys, commands, paste times and recorded keys on a
// document that starts from the clipboard bytes as well.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cyclogram/cyclogram_format.h"
#include "cyclogram/time_line.h"

namespace {

using namespace velcora;

struct QuietView : ITimeLineView {
    void Invalidate() override {}
    bool Confirm(const std::string&, const std::string&) override { return answer = !answer; }
    void ShowError(const std::string&) override {}
    bool EditTrackProperties(TrackProperties& p) override {
        p.motor = (p.motor + 1) % 4;
        p.locked = !p.locked;
        return answer;
    }
    bool EditAudioBlock(AudioBlock& b) override {
        b.length = b.length * 3;
        b.text = "x.wav";
        return answer;
    }
    bool answer = false;
};

class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool More() const { return at_ < size_; }
    uint8_t U8() { return at_ < size_ ? data_[at_++] : 0; }
    int16_t I16() { return static_cast<int16_t>(U8() | (U8() << 8)); }
    std::string_view Bytes(size_t n) {
        n = std::min(n, size_ - at_);
        std::string_view s(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return s;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const size_t clipSize = static_cast<size_t>(static_cast<uint16_t>(in.I16()));
    const std::string clip(in.Bytes(clipSize));

    QuietView view;
    CMemoryClipboard clipboard;
    clipboard.SetCyclogram(clip);
    CTimeLine line(view, clipboard);
    // The document: the clipboard bytes read as a record, whatever came of it.
    auto doc = std::make_unique<CCyclogram>();
    CMemoryStream record;
    record.Assign(clip);
    readCyclogram(record, *doc);
    if (doc->trackCount() == 0) {
        doc->addTrack();
    }
    line.SetDocument(std::move(doc));
    line.SetVisible(true);
    line.SetClientSize(900, 500);

    TimeLinePaintList paint;
    for (int steps = 0; in.More() && steps < 2000; ++steps) {
        const uint8_t op = in.U8();
        const InputMods mods{(op & 0x40) != 0, (op & 0x80) != 0};
        switch (op & 0x0F) {
            case 0:
                line.MouseDown(in.I16() % 1200, in.I16() % 800, mods);
                break;
            case 1:
                line.MouseMove(in.I16(), in.I16(), mods);
                break;
            case 2:
                line.MouseUp(in.I16() % 1200, in.I16() % 800, mods);
                break;
            case 3:
                line.DoubleClick(in.I16() % 1200, in.I16() % 800, mods);
                break;
            case 4:
                line.Wheel(static_cast<int8_t>(in.U8()), mods);
                break;
            case 5:
                line.KeyDown(static_cast<TimeLineKey>(in.U8() % 11), mods);
                break;
            case 6:
                line.PreparePopup(in.I16() % 1200, in.I16() % 800);
                break;
            case 7:
                line.Run(static_cast<TimeLineCommand>(in.U8() % 31), mods);
                break;
            case 8:
                line.SetCurrentTime(static_cast<int64_t>(in.I16()) * 100);
                line.Run(TimeLineCommand::Paste);
                break;
            case 9:
                line.RecordKey(in.U8() % 4, static_cast<float>(in.U8()) / 200.0f);
                break;
            case 10:
                line.SetScale(static_cast<double>(in.I16()) / 1000.0);
                break;
            case 11:
                line.SetHScroll(static_cast<int64_t>(in.I16()) * 1000);
                line.SetVScroll(in.I16());
                break;
            case 12:
                line.SetClientSize(in.U8() * 8, in.U8() * 4);
                break;
            case 13:
                line.BuildPaintList(paint);
                break;
            case 14:
                line.SetTool(static_cast<TimeLineTool>(in.U8() % 4));
                break;
            default:
                line.BeginGesture();
                line.RecordKey(in.U8() % 4, 0.5f);
                line.EndGesture();
                break;
        }
    }
    line.BuildPaintList(paint);
    CMemoryStream out;
    writeCyclogram(line.Document(), out, WriteScope::Full);
    return 0;
}
