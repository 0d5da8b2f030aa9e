#include "cyclogram/cyclogram_format.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <new>
#include <vector>

namespace velcora {

namespace {

constexpr char kCyclogramMagic[4] = {'C', 'y', 'g', 'm'};
constexpr char kTrackMagic[2] = {'C', 'T'};
constexpr char kAudioMagic[2] = {'A', 'T'};
constexpr char kEnvironmentMagic[4] = {'C', 'y', 'E', 'v'};
constexpr int32_t kPackStep = 16384;

bool WriteMagic(CStream& s, const char* magic, int32_t n) {
    return s.Write(magic, n) == n;
}

bool ReadMagic(CStream& s, const char* magic, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        if (ReadU8(s) != static_cast<uint8_t>(magic[i])) {
            return false;
        }
    }
    return true;
}

bool WriteKey(CStream& s, const CyclogramKey& k, int32_t offset) {
    // Shifted times are formed wide; a fragment base never exceeds a key's time.
    const auto time = static_cast<int32_t>(static_cast<int64_t>(k.time) - offset);
    bool ok = WriteI32(s, time) == 4;
    ok = WriteFloat(s, k.value) == 4 && ok;
    ok = WriteU8(s, static_cast<uint8_t>(k.inMode & 0xFF)) == 1 && ok;
    ok = WriteI32(s, k.inLength) == 4 && ok;
    ok = WriteFloat(s, k.inDelta) == 4 && ok;
    ok = WriteU8(s, static_cast<uint8_t>(k.outMode & 0xFF)) == 1 && ok;
    ok = WriteI32(s, k.outLength) == 4 && ok;
    ok = WriteFloat(s, k.outDelta) == 4 && ok;
    return ok;
}

// The first selected key or block of a track, or nullptr.
template <typename Item>
const Item* FirstSelectedOf(const std::vector<Item>& items) {
    for (const Item& item : items) {
        if (item.selected) {
            return &item;
        }
    }
    return nullptr;
}

const CyclogramKey* FirstSelected(const CCyclogramTrack& t) {
    return FirstSelectedOf(t.keys());
}

const AudioBlock* FirstSelected(const CCyclogramAudioTrack& t) {
    return FirstSelectedOf(t.blocks());
}

// How many of the items a record of this scope holds.
template <typename Item>
int32_t CountWritten(const std::vector<Item>& items, bool selectedOnly) {
    int32_t n = 0;
    for (const Item& item : items) {
        n += (!selectedOnly || item.selected) ? 1 : 0;
    }
    return n;
}

// Tracks that take part in a selected-only record.
bool CopiedTrack(const CCyclogramTrack& t) {
    if (t.locked) {
        return false;
    }
    const CyclogramKey* first = FirstSelected(t);
    return first && first->time >= 0;
}

bool CopiedAudio(const CCyclogramAudioTrack* a) {
    if (!a || a->locked) {
        return false;
    }
    const AudioBlock* first = FirstSelected(*a);
    return first && first->start >= 0;
}

}  // namespace

bool writeTrack(const CCyclogramTrack& track, CStream& stream, WriteScope scope, int32_t offset) {
    const bool selectedOnly = scope == WriteScope::SelectedOnly;
    const int32_t n = CountWritten(track.keys(), selectedOnly);
    bool ok = WriteMagic(stream, kTrackMagic, 2);
    ok = WriteI32(stream, track.motor) == 4 && ok;
    ok = WriteU8(stream, track.disabled) == 1 && ok;
    ok = WriteU8(stream, track.locked) == 1 && ok;
    ok = WriteI32(stream, n) == 4 && ok;
    for (const auto& k : track.keys()) {
        if (!selectedOnly || k.selected) {
            ok = WriteKey(stream, k, offset) && ok;
        }
    }
    return ok;
}

bool writeAudioTrack(const CCyclogramAudioTrack& track, CStream& stream, WriteScope scope,
                     int32_t offset) {
    const bool selectedOnly = scope == WriteScope::SelectedOnly;
    const int32_t n = CountWritten(track.blocks(), selectedOnly);
    bool ok = WriteMagic(stream, kAudioMagic, 2);
    ok = WriteU8(stream, track.disabled) == 1 && ok;
    ok = WriteU8(stream, track.locked) == 1 && ok;
    ok = WriteI32(stream, n) == 4 && ok;
    for (const auto& b : track.blocks()) {
        if (selectedOnly && !b.selected) {
            continue;
        }
        const auto start = static_cast<int32_t>(static_cast<int64_t>(b.start) - offset);
        if (b.text) {
            ok = WriteString(stream, std::string_view(*b.text)) > 0 && ok;
        } else {
            ok = WriteString(stream, static_cast<const char*>(nullptr)) > 0 && ok;
        }
        ok = WriteI32(stream, start) == 4 && ok;
        ok = WriteI32(stream, b.length) == 4 && ok;
    }
    return ok;
}

bool writeCyclogram(const CCyclogram& doc, CStream& stream, WriteScope scope) {
    bool ok = WriteMagic(stream, kCyclogramMagic, 4);
    ok = WriteU8(stream, doc.loop) == 1 && ok;
    if (scope == WriteScope::Full) {
        ok = WriteI32(stream, doc.trackCount()) == 4 && ok;
        for (int32_t i = 0; i < doc.trackCount(); ++i) {
            ok = writeTrack(doc.track(i), stream, scope, 0) && ok;
        }
        ok = WriteU8(stream, doc.audio ? 1 : 0) == 1 && ok;
        if (doc.audio) {
            ok = writeAudioTrack(*doc.audio, stream, scope, 0) && ok;
        }
        return ok;
    }

    // A fragment's earliest item lands at 0, so pasting puts it at the paste time.
    int32_t base = std::numeric_limits<int32_t>::max();
    int32_t copied = 0;
    for (int32_t i = 0; i < doc.trackCount(); ++i) {
        if (CopiedTrack(doc.track(i))) {
            base = std::min(base, FirstSelected(doc.track(i))->time);
            ++copied;
        }
    }
    const bool audio = CopiedAudio(doc.audio.get());
    if (audio) {
        base = std::min(base, FirstSelected(*doc.audio)->start);
    }
    if (copied == 0 && !audio) {
        base = 0;
    }
    ok = WriteI32(stream, copied) == 4 && ok;
    for (int32_t i = 0; i < doc.trackCount(); ++i) {
        if (CopiedTrack(doc.track(i))) {
            ok = writeTrack(doc.track(i), stream, scope, base) && ok;
        }
    }
    ok = WriteU8(stream, audio ? 1 : 0) == 1 && ok;
    if (audio) {
        ok = writeAudioTrack(*doc.audio, stream, scope, base) && ok;
    }
    return ok;
}

bool readTrack(CStream& stream, CCyclogramTrack& track) {
    if (!ReadMagic(stream, kTrackMagic, 2)) {
        return false;
    }
    track.motor = ReadI32(stream);
    track.disabled = ReadU8(stream);
    track.locked = ReadU8(stream);
    const int32_t n = ReadI32(stream);
    if (n < 0 || n > kMaxRecordCount || !track.resetKeys(n)) {
        return false;
    }
    for (int32_t i = 0; i < n; ++i) {
        CyclogramKey k;
        k.time = ReadI32(stream);
        k.value = ReadFloat(stream);
        k.inMode = ReadU8(stream);
        k.inLength = ReadI32(stream);
        k.inDelta = ReadFloat(stream);
        k.outMode = ReadU8(stream);
        k.outLength = ReadI32(stream);
        k.outDelta = ReadFloat(stream);
        k.selected = 0;
        track.appendKey(k);  // room was reserved above
    }
    return true;
}

bool readAudioTrack(CStream& stream, CCyclogramAudioTrack& track) {
    if (!ReadMagic(stream, kAudioMagic, 2)) {
        return false;
    }
    track.disabled = ReadU8(stream);
    track.locked = ReadU8(stream);
    const int32_t n = ReadI32(stream);
    if (n < 0 || n > kMaxRecordCount || !track.resetBlocks(n)) {
        return false;
    }
    for (int32_t i = 0; i < n; ++i) {
        AudioBlock b;
        b.text = ReadString(stream);
        b.start = ReadI32(stream);
        b.length = ReadI32(stream);
        b.selected = 0;
        if (!track.appendBlock(std::move(b))) {
            return false;
        }
    }
    return true;
}

bool readCyclogram(CStream& stream, CCyclogram& doc) {
    if (!ReadMagic(stream, kCyclogramMagic, 4)) {
        return false;
    }
    doc.loop = ReadU8(stream);
    doc.clear();
    const int32_t n = ReadI32(stream);
    if (n < 0 || n > kMaxRecordCount) {
        return false;
    }
    for (int32_t i = 0; i < n; ++i) {
        const int32_t t = doc.addTrack();
        if (t < 0 || !readTrack(stream, doc.track(t))) {
            return false;
        }
    }
    if (ReadU8(stream) == 0) {
        return true;
    }
    try {
        doc.audio = std::make_unique<CCyclogramAudioTrack>();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return readAudioTrack(stream, *doc.audio);
}

bool writeEnvironment(const CCyclogramEnv& env, CStream& stream) {
    bool ok = WriteMagic(stream, kEnvironmentMagic, 4);
    ok = WriteI32(stream, env.count()) == 4 && ok;
    for (const auto& t : env.trackers) {
        for (int32_t v : {t.motor, t.kind, t.leftRaw, t.rightRaw, t.defaultRaw, t.x, t.y}) {
            ok = WriteI32(stream, v) == 4 && ok;
        }
    }
    ok = WriteU32(stream, env.backgroundSize) == 4 && ok;
    ok = WriteU8(stream, env.backgroundChecksum) == 1 && ok;
    return ok;
}

bool readEnvironment(CStream& stream, CCyclogramEnv& env) {
    if (!ReadMagic(stream, kEnvironmentMagic, 4)) {
        return false;
    }
    const int32_t n = ReadI32(stream);
    if (n < 0 || n > kMaxTrackerCount) {
        return false;
    }
    env.trackers.clear();
    try {
        env.trackers.reserve(static_cast<std::size_t>(n) + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int32_t i = 0; i < n; ++i) {
        EnvTracker t;
        t.motor = ReadI32(stream);
        t.kind = ReadI32(stream);
        t.leftRaw = ReadI32(stream);
        t.rightRaw = ReadI32(stream);
        t.defaultRaw = ReadI32(stream);
        t.x = ReadI32(stream);
        t.y = ReadI32(stream);
        t.position = PositionOfRaw(t, t.defaultRaw);
        t.noValue = 0;
        env.trackers.push_back(t);
    }
    env.backgroundSize = ReadU32(stream);
    env.backgroundChecksum = ReadU8(stream);
    return true;
}

BackgroundIdentity computeBackgroundChecksum(const std::string& path) {
    CFileStream file(path, CFileStream::Mode::Read);
    if (!file.IsOpen()) {
        return {};
    }
    const int32_t size = file.GetSize();
    if (size <= 0) {
        return {};
    }
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return {};
    }
    file.Seek(0, kSeekSet);
    if (file.Read(bytes.data(), size) != size) {
        return {};
    }
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
        sum ^= b;
    }
    return {sum, static_cast<uint32_t>(size)};
}

bool packWaveFile(const std::string& path, CMemoryStream& packed) {
    packed.Clear();
    CFileStream file(path, CFileStream::Mode::Read);
    if (!file.IsOpen()) {
        return false;
    }
    const int32_t length = file.GetSize();
    if (length < 0) {
        return false;
    }
    file.Seek(0, kSeekSet);
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) {
        return false;
    }
    std::vector<unsigned char> in(kPackStep);
    std::vector<unsigned char> out(kPackStep);
    bool ok = true;
    for (;;) {
        const int32_t got = file.Read(in.data(), kPackStep);
        if (got < 0) {
            ok = false;
            break;
        }
        const int32_t position = file.GetPosition();
        // A short read before the end would otherwise never reach Z_FINISH.
        const int flush = (position >= length || got == 0) ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = in.data();
        z.avail_in = static_cast<uInt>(got);
        do {
            z.next_out = out.data();
            z.avail_out = kPackStep;
            if (deflate(&z, flush) == Z_STREAM_ERROR) {
                ok = false;
                break;
            }
            const auto produced = static_cast<int32_t>(kPackStep - z.avail_out);
            if (produced > 0 && packed.Write(out.data(), produced) != produced) {
                ok = false;
                break;
            }
        } while (z.avail_out == 0);
        if (!ok || flush == Z_FINISH) {
            break;
        }
    }
    deflateEnd(&z);
    if (!ok) {
        packed.Clear();
    }
    packed.Seek(0, kSeekSet);
    return ok;
}

BackgroundIdentity backgroundIdentityOf(std::string_view bytes) {
    uint8_t sum = 0;
    for (const char b : bytes) {
        sum ^= static_cast<uint8_t>(b);
    }
    return {sum, static_cast<uint32_t>(bytes.size())};
}

bool unpackWaveFile(std::string_view packed, std::string& out, std::size_t maxSize) {
    out.clear();
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) {
        return false;
    }
    // zlib counts in uInt; feed the input in pieces so that any size is safe.
    std::vector<unsigned char> buffer(kPackStep);
    std::size_t used = 0;
    int rc = Z_OK;
    bool ok = true;
    while (rc != Z_STREAM_END) {
        if (z.avail_in == 0) {
            if (used >= packed.size()) {
                ok = false;  // the data ended inside the stream
                break;
            }
            const std::size_t piece = std::min<std::size_t>(packed.size() - used, kPackStep);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data() + used));
            z.avail_in = static_cast<uInt>(piece);
            used += piece;
        }
        z.next_out = buffer.data();
        z.avail_out = kPackStep;
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            ok = false;
            break;
        }
        const std::size_t produced = kPackStep - z.avail_out;
        if (out.size() + produced > maxSize) {
            ok = false;
            break;
        }
        try {
            out.append(reinterpret_cast<const char*>(buffer.data()), produced);
        } catch (const std::bad_alloc&) {
            ok = false;
            break;
        }
    }
    // Bytes after the stream's end mean the sender and receiver disagree on the size.
    if (ok && (z.avail_in != 0 || used != packed.size())) {
        ok = false;
    }
    inflateEnd(&z);
    if (!ok) {
        out.clear();
    }
    return ok;
}

bool saveCyclogramFile(const std::string& path, const CCyclogram& doc) {
    CMemoryStream record;
    if (!writeCyclogram(doc, record, WriteScope::Full)) {
        return false;
    }
    return ReplaceFile(path, record.View());
}

bool loadCyclogramFile(const std::string& path, CCyclogram& doc) {
    CMemoryStream record;
    if (!record.LoadFromFile(path)) {
        return false;
    }
    return readCyclogram(record, doc);
}

bool saveEnvironmentFile(const std::string& path, const CCyclogramEnv& env) {
    CMemoryStream record;
    if (!writeEnvironment(env, record)) {
        return false;
    }
    return ReplaceFile(path, record.View());
}

bool loadEnvironmentFile(const std::string& path, CCyclogramEnv& env) {
    CMemoryStream record;
    if (!record.LoadFromFile(path)) {
        return false;
    }
    return readEnvironment(record, env);
}

}  // namespace velcora
