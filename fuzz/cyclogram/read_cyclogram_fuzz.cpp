// Reads arbitrary bytes as a cyclogram record, then exercises what the editor
// does with whatever came out: curves, limits, a fragment copy and its paste.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cyclogram/cyclogram_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    CMemoryStream in;
    in.Assign(std::string_view(reinterpret_cast<const char*>(data), size));
    CCyclogram doc;
    const bool ok = readCyclogram(in, doc);
    volatile float sink = 0;
    for (int32_t i = 0; i < doc.trackCount() && i < 8; ++i) {
        const CCyclogramTrack& t = doc.track(i);
        for (int32_t k = 0; k < t.count() && k < 64; ++k) {
            const int32_t time = t.key(k).time;
            // Neighbouring times, kept inside the range of a time.
            const int32_t before = time > INT32_MIN ? time - 1 : time;
            const int32_t after = time < INT32_MAX - 7 ? time + 7 : time;
            sink = sink + t.valueAt(time) + t.valueAt(before) + t.valueAt(after);
            t.findKeyNear(time);
        }
    }
    (void)sink;
    doc.endTime();
    doc.selectAll(true);
    doc.selectionMoveRange();
    doc.rightPartMoveLimit();
    CMemoryStream fragment;
    writeCyclogram(doc, fragment, WriteScope::SelectedOnly);
    fragment.Seek(0, kSeekSet);
    CCyclogram clip;
    if (readCyclogram(fragment, clip)) {
        doc.selectAll(false);
        doc.paste(clip, doc.endTime());
    }
    if (ok) {
        CMemoryStream out;
        writeCyclogram(doc, out, WriteScope::Full);
    }
    doc.deleteSelected();
    return 0;
}
