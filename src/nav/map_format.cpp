#include "nav/map_format.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace velcora::nav {

namespace {

constexpr int32_t kPackStep = 16384;

// Collects the results of a run of writes so that one check covers them.
class Writer {
  public:
    explicit Writer(CStream& s) : s_(s) {}
    void U8(uint8_t v) { ok_ &= WriteU8(s_, v) == 1; }
    void U16(uint16_t v) { ok_ &= WriteU16(s_, v) == 2; }
    void U32(uint32_t v) { ok_ &= WriteU32(s_, v) == 4; }
    void I32(int32_t v) { ok_ &= WriteI32(s_, v) == 4; }
    void F32(float v) { ok_ &= WriteFloat(s_, v) == 4; }
    void F64(double v) { ok_ &= WriteDouble(s_, v) == 8; }
    void Bytes(const void* data, int32_t count) {
        if (count > 0) {
            ok_ &= s_.Write(data, count) == count;
        }
    }
    // The position and heading every point item starts with.
    void Pose(const CNavPointItem& item) {
        F64(item.x);
        F64(item.y);
        F64(item.angle);
    }
    bool Ok() const { return ok_; }

  private:
    CStream& s_;
    bool ok_ = true;
};

int64_t Remaining(CStream& s, int32_t size) {
    return int64_t{size} - s.GetPosition();
}

// [length][version][body]; the length is patched once the body is written.
bool WriteItemRecord(CStream& s, const CNavItem& item) {
    const int32_t start = s.GetPosition();
    Writer w(s);
    w.I32(0);
    w.I32(item.version);
    if (!w.Ok() || !item.WriteBody(s)) {
        return false;
    }
    const int32_t end = s.GetPosition();
    s.Seek(start, kSeekSet);
    const bool patched = WriteI32(s, end - start - 4) == 4;
    s.Seek(end, kSeekSet);
    return patched;
}

bool ReadItemRecord(CStream& s, int32_t size, CNavItem& item) {
    if (Remaining(s, size) < 4) {
        return false;
    }
    const int32_t length = ReadI32(s);
    const int32_t start = s.GetPosition();
    // Every record holds at least its version; a shorter or negative length
    // would make the reader walk backwards over bytes it has already taken.
    if (length < 4 || int64_t{start} + length > size) {
        return false;
    }
    item.version = ReadI32(s);
    if (!item.ReadBody(s, length)) {
        return false;
    }
    s.Seek(start + length, kSeekSet);
    return true;
}

bool WriteListBlock(CStream& s, const CNavList& list, MapScope scope) {
    const bool selectionOnly = scope == MapScope::SelectionOnly;
    auto written = [&](const CNavItem& it) {
        return list.ReplaceOnLoad() || (it.version >= 0 && (!selectionOnly || it.selected));
    };
    int32_t count = 0;
    for (const CNavItem* it = list.First(); it; it = it->Next()) {
        count += written(*it) ? 1 : 0;
    }
    if (WriteI32(s, count) != 4) {
        return false;
    }
    for (const CNavItem* it = list.First(); it; it = it->Next()) {
        if (!written(*it)) {
            continue;
        }
        if (WriteI32(s, it->id) != 4 || !WriteItemRecord(s, *it)) {
            return false;
        }
    }
    return true;
}

bool ReadListBlock(CStream& s, int32_t size, CNavList& list, MergeIds ids) {
    CNavProject& map = *list.Map();
    if (list.ReplaceOnLoad()) {
        list.DeleteAll();
    }
    if (Remaining(s, size) < 4) {
        return false;
    }
    const int32_t count = ReadI32(s);
    // The first item of each id, as FindById would find it; items appended
    // below join it so that later entries see them too. Keeps merging a large
    // list linear.
    std::unordered_map<int32_t, CNavItem*> byId;
    if (count > 0 && !list.ReplaceOnLoad()) {
        for (CNavItem* it = list.First(); it; it = it->Next()) {
            byId.emplace(it->id, it);
        }
    }
    for (int32_t i = 0; i < count; ++i) {
        // An entry needs its id and its length; a count larger than the bytes
        // behind it must not conjure up items out of the end of the stream.
        if (Remaining(s, size) < 8) {
            return false;
        }
        const int32_t id = ReadI32(s);
        // A replaced list starts empty, so whatever a lookup found there would
        // be an entry of this same block whose fresh id happens to equal this
        // stored one, and it would be overwritten and lost.
        CNavItem* item = nullptr;
        if (!list.ReplaceOnLoad()) {
            const auto found = byId.find(id);
            item = found == byId.end() ? nullptr : found->second;
        }
        if (!item) {
            item = list.NewItem();
            if (ids == MergeIds::Stored) {
                item->id = id;
            }
            byId.emplace(item->id, item);
        }
        if (!ReadItemRecord(s, size, *item)) {
            delete item;
            return false;
        }
        map.RaiseVersion(item->version);
        item->selected = false;
    }
    return true;
}

bool WriteRoute(CStream& s, const CNavRoute& route) {
    const int32_t start = s.GetPosition();
    Writer w(s);
    w.I32(0);
    w.I32(route.id);
    w.I32(route.PointCount());
    w.I32(route.progress);
    for (int32_t i = 0; i < route.PointCount(); ++i) {
        w.F64(route.Points()[i].x);
        w.F64(route.Points()[i].y);
    }
    if (!w.Ok()) {
        return false;
    }
    const int32_t end = s.GetPosition();
    s.Seek(start, kSeekSet);
    const bool patched = WriteI32(s, end - start - 4) == 4;
    s.Seek(end, kSeekSet);
    return patched;
}

bool ReadRoute(CStream& s, int32_t size, CNavRoute& route) {
    const int32_t length = ReadI32(s);
    if (length < 0 || length > Remaining(s, size)) {
        return false;
    }
    const int32_t end = s.GetPosition() + length;
    route.id = ReadI32(s);
    const int32_t count = ReadI32(s);
    route.progress = ReadI32(s);
    if (count < 0 || Remaining(s, size) < int64_t{count} * 16) {
        return false;
    }
    if (!route.SetPointCount(count)) {
        return false;
    }
    NavRoutePoint* points = route.Points();
    for (int32_t i = 0; i < count; ++i) {
        points[i].x = ReadDouble(s);
        points[i].y = ReadDouble(s);
        points[i].extra = 0;
    }
    s.Seek(end, kSeekSet);
    return true;
}

bool ReadPose(CStream& s, CNavPointItem& item) {
    item.x = ReadDouble(s);
    item.y = ReadDouble(s);
    item.angle = ReadDouble(s);
    return true;
}

bool WritePose(CStream& s, const CNavPointItem& item) {
    Writer w(s);
    w.Pose(item);
    return w.Ok();
}

}  // namespace

// ------------------------------------------------------ kind-specific bodies
//
// The length given to the readers counts the version (4 bytes) and the body.

bool CNavPointItem::WriteBody(CStream& stream) const {
    return WritePose(stream, *this);
}

bool CNavPointItem::ReadBody(CStream& stream, int32_t) {
    return ReadPose(stream, *this);
}

bool CNavImage::WriteBody(CStream& stream) const {
    Writer w(stream);
    w.Pose(*this);
    w.U16(width_);
    w.U16(height_);
    if (pixels_) {
        w.Bytes(pixels_, PixelCount());
    }
    w.U8(noGo ? 1 : 0);
    w.F32(bodyHeight);
    return w.Ok();
}

bool CNavImage::ReadBody(CStream& stream, int32_t length) {
    ReadPose(stream, *this);
    const int32_t width = ReadU16(stream);
    const int32_t height = ReadU16(stream);
    const int64_t pixels = int64_t{width} * height;
    if (width > 0 && height > 0) {
        // The pixels must lie inside the record before anything is allocated
        // for them: the sizes come from the robot or from a file.
        if (pixels > int64_t{length} - 32) {
            return false;
        }
        if (!SetImageSize(width, height)) {
            return false;
        }
        if (stream.Read(pixels_, static_cast<int32_t>(pixels)) != pixels) {
            return false;
        }
    } else {
        SetImageSize(0, 0);
    }
    if (width == 0 && List() && List()->Map()) {
        List()->Map()->emptyImageRead = true;
    }
    if (length > 36 + pixels) {
        noGo = ReadU8(stream) != 0;
        bodyHeight = ReadFloat(stream);
    }
    return true;
}

bool CNavWall::WriteBody(CStream& stream) const {
    return WritePose(stream, *this) && WriteU8(stream, side) == 1;
}

bool CNavWall::ReadBody(CStream& stream, int32_t) {
    ReadPose(stream, *this);
    side = ReadU8(stream);
    return true;
}

bool CNavPlace::WriteBody(CStream& stream) const {
    Writer w(stream);
    w.Pose(*this);
    w.I32(placeNumber);
    w.F32(bodyHeight);
    return w.Ok();
}

bool CNavPlace::ReadBody(CStream& stream, int32_t length) {
    ReadPose(stream, *this);
    placeNumber = ReadI32(stream);
    if (length >= 36) {
        bodyHeight = ReadFloat(stream);
    }
    return true;
}

bool CNavObstacle::WriteBody(CStream& stream) const {
    return WriteI32(stream, obstacleValue) == 4;
}

bool CNavObstacle::ReadBody(CStream& stream, int32_t) {
    obstacleValue = ReadI32(stream);
    return true;
}

bool CNavFloorLine::WriteBody(CStream& stream) const {
    Writer w(stream);
    w.Pose(*this);
    w.U8(kind);
    w.F64(position);
    w.F32(lift);
    w.F64(tilt);
    return w.Ok();
}

bool CNavFloorLine::ReadBody(CStream& stream, int32_t length) {
    ReadPose(stream, *this);
    kind = ReadU8(stream);
    position = ReadDouble(stream);
    lift = ReadFloat(stream);
    if (length > 41) {
        tilt = ReadDouble(stream);
    } else {
        DeriveTiltFromAngle();
    }
    return true;
}

bool CNavZone::WriteBody(CStream& stream) const {
    Writer w(stream);
    w.I32(vertexCount_);
    for (int32_t i = 0; i < vertexCount_; ++i) {
        w.F64(vertices_[i].x);
        w.F64(vertices_[i].y);
    }
    w.I32(parameter);
    w.I32(zoneNumber);
    w.U8(static_cast<uint8_t>(zoneType));
    return w.Ok();
}

bool CNavZone::ReadBody(CStream& stream, int32_t length) {
    int32_t count = ReadI32(stream);
    if (count < 0) {
        count = 0;
    }
    // As for image pixels: the vertices must fit in the record before the
    // array is sized for them.
    if (int64_t{count} * 16 > int64_t{length} - 8) {
        return false;
    }
    if (!SetVertexCount(count)) {
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        vertices_[i].x = ReadDouble(stream);
        vertices_[i].y = ReadDouble(stream);
    }
    parameter = 0;
    if (length > 8 + 16 * count) {
        parameter = ReadI32(stream);
        zoneNumber = ReadI32(stream);
        zoneType = ReadU8(stream);
    }
    return true;
}

// ------------------------------------------------------------------ the map

bool WriteBody(const CNavProject& map, CStream& stream, MapScope scope) {
    const bool selectionOnly = scope == MapScope::SelectionOnly;
    if (!selectionOnly || map.robot.selected) {
        if (WriteU32(stream, 1) != 4 || !WriteItemRecord(stream, map.robot)) {
            return false;
        }
    } else if (WriteU32(stream, 0) != 4) {
        return false;
    }
    for (int i = 0; i < 5; ++i) {
        if (!WriteListBlock(stream, *map.lists[i], scope)) {
            return false;
        }
    }
    if (selectionOnly || map.route.id < 0) {
        if (WriteU32(stream, 0) != 4) {
            return false;
        }
    } else if (WriteU32(stream, 1) != 4 || !WriteRoute(stream, map.route)) {
        return false;
    }
    return WriteListBlock(stream, *map.lists[5], scope);
}

bool ReadBody(CNavProject& map, CStream& stream, MergeIds ids) {
    const int32_t size = stream.GetSize();
    const uint32_t robotFlag = ReadU32(stream);
    if (robotFlag == 1) {
        if (!ReadItemRecord(stream, size, map.robot)) {
            return false;
        }
    } else if (robotFlag != 0) {
        return false;
    }
    for (int i = 0; i < 5; ++i) {
        if (!ReadListBlock(stream, size, *map.lists[i], ids)) {
            return false;
        }
    }
    const uint32_t routeFlag = ReadU32(stream);
    if (routeFlag == 1) {
        if (!ReadRoute(stream, size, map.route)) {
            return false;
        }
    } else if (routeFlag != 0) {
        return false;
    }
    // Bodies written before floor lines existed end here.
    if (stream.GetPosition() < size) {
        return ReadListBlock(stream, size, *map.lists[5], ids);
    }
    return true;
}

// Maps are written and read through a window of the file rather than built
// or read whole in memory first: a large map's pictures then go between the
// file and the items without a file-sized block of fresh memory in between.
bool SaveFile(const CNavProject& map, const std::string& path) {
    CFileWriter file(path);
    if (!file.IsOpen()) {
        return false;
    }
    for (char c : {'N', 'A', '2', 'M'}) {
        if (file.Write(&c, 1) != 1) {
            return false;
        }
    }
    if (!WriteBody(map, file, MapScope::Whole)) {
        return false;
    }
    return file.Close();
}

bool LoadFile(CNavProject& map, const std::string& path) {
    map.Clear();
    CFileReader file(path);
    if (!file.IsOpen() || file.Size() <= 3) {
        return false;
    }
    for (char expected : {'N', 'A', '2', 'M'}) {
        char c = 0;
        if (file.Read(&c, 1) != 1 || c != expected) {
            return false;
        }
    }
    if (!ReadBody(map, file)) {
        return false;
    }
    map.Renumber();
    return true;
}

bool PackMap(const CNavProject& map, CMemoryStream& target) {
    CMemoryStream body(1024);
    if (!WriteBody(map, body, MapScope::Whole)) {
        return false;
    }
    body.Seek(0, kSeekSet);
    target.Clear();

    z_stream z{};
    if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) {
        return false;
    }
    std::vector<uint8_t> out(kPackStep);
    const uint8_t* data = body.Data();
    const int32_t size = body.Size();
    int32_t taken = 0;
    bool finished = false;
    while (!finished) {
        const int32_t piece = std::min(kPackStep, size - taken);
        const int flush = taken + piece >= size ? Z_FINISH : Z_NO_FLUSH;
        z.next_in = const_cast<Bytef*>(data ? data + taken : nullptr);
        z.avail_in = static_cast<uInt>(piece);
        taken += piece;
        do {
            z.next_out = out.data();
            z.avail_out = kPackStep;
            if (deflate(&z, flush) == Z_STREAM_ERROR) {
                deflateEnd(&z);
                return false;
            }
            const int32_t produced = kPackStep - static_cast<int32_t>(z.avail_out);
            if (produced > 0 && target.Write(out.data(), produced) != produced) {
                deflateEnd(&z);
                return false;
            }
        } while (z.avail_out == 0);
        finished = flush == Z_FINISH;
    }
    deflateEnd(&z);
    return true;
}

CMapInflater::CMapInflater(std::vector<uint8_t> packed, int64_t maxBytes)
    : packed_(std::move(packed)), maxBytes_(std::max<int64_t>(0, maxBytes)) {
    z_ = std::make_unique<z_stream>();
    if (inflateInit(z_.get()) != Z_OK) {
        z_.reset();
        state_ = Step::Failed;
        return;
    }
    z_->next_in = packed_.data();
    z_->avail_in = 0;
}

CMapInflater::~CMapInflater() {
    if (z_) {
        inflateEnd(z_.get());
    }
}

CMapInflater::Step CMapInflater::Run(int64_t budget, const std::atomic<bool>* stop) {
    if (state_ != Step::More) {
        return state_;
    }
    // Inflated into a buffer that doubles as it fills, so that a large map
    // costs time in proportion to its size. A stream that would inflate past
    // the limit is refused there: a few hundred kilobytes of zeros must not
    // become gigabytes.
    z_stream& z = *z_;
    const int64_t until = budget >= INT64_MAX - produced_ ? INT64_MAX : produced_ + budget;
    uint8_t probe = 0;
    for (;;) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return state_ = Step::Failed;
        }
        if (produced_ >= until && produced_ < maxBytes_) {
            return Step::More;
        }
        if (z.avail_in == 0) {
            const std::size_t at = static_cast<std::size_t>(z.next_in - packed_.data());
            const std::size_t left = packed_.size() - at;
            z.avail_in = static_cast<uInt>(std::min<std::size_t>(left, kPackStep));
        }
        if (produced_ == static_cast<int64_t>(out_.size()) && produced_ < maxBytes_) {
            out_.resize(static_cast<std::size_t>(
                std::min<int64_t>(maxBytes_, std::max<int64_t>(4 * kPackStep, produced_ * 2))));
        }
        // At the limit only the end of the stream may follow: one byte of
        // room tells whether anything else comes. Steps are bounded so that
        // the budget and `stop` are looked at often.
        const bool full = produced_ >= maxBytes_;
        z.next_out = full ? &probe : out_.data() + produced_;
        z.avail_out = full ? 1u
                           : static_cast<uInt>(std::min<int64_t>(
                                 static_cast<int64_t>(out_.size()) - produced_, int64_t{1} << 22));
        const uInt room = z.avail_out;
        const int result = inflate(&z, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END) {
            return state_ = Step::Failed;  // damaged, or the data ended before the stream did
        }
        if (full) {
            if (z.avail_out == 0) {
                return state_ = Step::Failed;  // more than the limit
            }
        } else {
            produced_ += room - z.avail_out;
        }
        if (result == Z_STREAM_END) {
            return state_ = Step::Done;
        }
    }
}

bool UnpackMap(CStream& source, CMemoryStream& target, int64_t maxBytes) {
    std::vector<uint8_t> packed;
    uint8_t piece[kPackStep];
    for (;;) {
        const int32_t got = source.Read(piece, kPackStep);
        if (got <= 0) {
            break;
        }
        packed.insert(packed.end(), piece, piece + got);
    }
    CMapInflater inflater(std::move(packed), maxBytes);
    if (inflater.Run(INT64_MAX) != CMapInflater::Step::Done) {
        return false;
    }
    const int64_t produced = inflater.Size();
    const int64_t at = target.Size();
    if (at + produced > INT32_MAX || !target.SetSize(static_cast<int32_t>(at + produced))) {
        return false;
    }
    if (produced > 0) {
        std::memcpy(target.Data() + at, inflater.Data(), static_cast<std::size_t>(produced));
    }
    target.Seek(0, kSeekEnd);
    return true;
}

}  // namespace velcora::nav
