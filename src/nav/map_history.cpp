#include "nav/map_history.h"

#include <algorithm>

namespace velcora::nav {

namespace {

constexpr uint32_t kSnapshotMagic = 0x4D48534E;  // "NSHM"

// Per item: id, version, selected, pose (point items; an obstacle's pose does
// not travel in its record), then its record body with its length.
bool WriteItem(CStream& s, const CNavItem& item) {
    bool ok = WriteI32(s, item.id) == 4 && WriteI32(s, item.version) == 4 &&
              WriteU8(s, item.selected ? 1 : 0) == 1;
    if (const auto* point = dynamic_cast<const CNavPointItem*>(&item)) {
        ok = ok && WriteDouble(s, point->x) == 8 && WriteDouble(s, point->y) == 8 &&
             WriteDouble(s, point->angle) == 8;
    }
    const int32_t lengthAt = s.GetPosition();
    ok = ok && WriteI32(s, 0) == 4 && item.WriteBody(s);
    if (!ok) {
        return false;
    }
    const int32_t end = s.GetPosition();
    s.Seek(lengthAt, kSeekSet);
    ok = WriteI32(s, end - lengthAt - 4) == 4;
    s.Seek(end, kSeekSet);
    return ok;
}

bool ReadItem(CStream& s, CNavItem& item) {
    const int32_t size = s.GetSize();
    if (size - s.GetPosition() < 9) {
        return false;
    }
    item.id = ReadI32(s);
    item.version = ReadI32(s);
    item.selected = ReadU8(s) != 0;
    double x = 0;
    double y = 0;
    double angle = 0;
    auto* point = dynamic_cast<CNavPointItem*>(&item);
    if (point) {
        x = ReadDouble(s);
        y = ReadDouble(s);
        angle = ReadDouble(s);
    }
    const int32_t length = ReadI32(s);
    const int32_t start = s.GetPosition();
    if (length < 0 || int64_t{start} + length > size) {
        return false;
    }
    // Record readers count the version field in their length.
    if (!item.ReadBody(s, length + 4)) {
        return false;
    }
    s.Seek(start + length, kSeekSet);
    if (point) {
        point->x = x;
        point->y = y;
        point->angle = angle;
    }
    return true;
}

}  // namespace

std::string CMapHistory::Snapshot(const CNavProject& map) {
    CMemoryStream s(1 << 16);
    bool ok = WriteU32(s, kSnapshotMagic) == 4 && WriteI32(s, map.nextVersion) == 4;
    for (const CNavList* list : map.lists) {
        if (!ok) {
            break;
        }
        ok = WriteI32(s, list->Count()) == 4;
        for (const CNavItem* it = list->First(); ok && it; it = it->Next()) {
            ok = WriteItem(s, *it);
        }
    }
    return ok ? std::string(s.View()) : std::string();
}

bool CMapHistory::Restore(CNavProject& map, const std::string& snapshot) {
    CMemoryStream s(1024);
    if (snapshot.size() < 8 || !s.Assign(snapshot) || ReadU32(s) != kSnapshotMagic) {
        return false;
    }
    const int32_t nextVersion = ReadI32(s);
    for (CNavList* list : map.lists) {
        list->DeleteAll();
    }
    bool ok = true;
    for (CNavList* list : map.lists) {
        ok = ok && s.Size() - s.Position() >= 4;
        const int32_t count = ok ? ReadI32(s) : 0;
        for (int32_t i = 0; ok && i < count; ++i) {
            CNavItem* item = list->NewItem();
            ok = ReadItem(s, *item);
            if (!ok) {
                delete item;
            }
        }
    }
    map.nextVersion = std::max(map.nextVersion, nextVersion);
    return ok && s.Position() == s.Size();
}

bool CMapHistory::Record(const CNavProject& map) {
    std::string snapshot = Snapshot(map);
    if (snapshot.empty()) {
        return false;
    }
    Push(std::move(snapshot));
    return !undo_.empty();
}

void CMapHistory::Push(std::string snapshot) {
    if (snapshot.empty()) {
        return;
    }
    for (const auto& step : redo_) {
        bytes_ -= static_cast<int64_t>(step.size());
    }
    redo_.clear();
    bytes_ += static_cast<int64_t>(snapshot.size());
    undo_.push_back(std::move(snapshot));
    Trim();
}

bool CMapHistory::Undo(CNavProject& map) {
    if (undo_.empty()) {
        return false;
    }
    std::string present = Snapshot(map);
    if (present.empty()) {
        return false;
    }
    std::string step = std::move(undo_.back());
    undo_.pop_back();
    bytes_ += static_cast<int64_t>(present.size()) - static_cast<int64_t>(step.size());
    const bool ok = Restore(map, step);
    redo_.push_back(std::move(present));
    Trim();
    return ok;
}

bool CMapHistory::Redo(CNavProject& map) {
    if (redo_.empty()) {
        return false;
    }
    std::string present = Snapshot(map);
    if (present.empty()) {
        return false;
    }
    std::string step = std::move(redo_.back());
    redo_.pop_back();
    bytes_ += static_cast<int64_t>(present.size()) - static_cast<int64_t>(step.size());
    const bool ok = Restore(map, step);
    undo_.push_back(std::move(present));
    Trim();
    return ok;
}

void CMapHistory::Clear() {
    undo_.clear();
    redo_.clear();
    bytes_ = 0;
}

void CMapHistory::Trim() {
    // The oldest undo steps go first; the redo side only when nothing else is left.
    auto total = [this] { return static_cast<int32_t>(undo_.size() + redo_.size()); };
    while (!undo_.empty() && (total() > kMaxSteps || bytes_ > kMaxBytes)) {
        bytes_ -= static_cast<int64_t>(undo_.front().size());
        undo_.pop_front();
    }
    while (!redo_.empty() && (total() > kMaxSteps || bytes_ > kMaxBytes)) {
        bytes_ -= static_cast<int64_t>(redo_.front().size());
        redo_.pop_front();
    }
}

}  // namespace velcora::nav
