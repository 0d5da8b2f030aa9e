#include "nav/nav_project.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

namespace velcora::nav {

// ------------------------------------------------------------------- items

CNavItem::CNavItem(CNavList* list) : list_(list) {
    if (!list_) {
        return;
    }
    prev_ = list_->last_;
    if (prev_) {
        prev_->next_ = this;
    } else {
        list_->first_ = this;
    }
    list_->last_ = this;
    if (CNavProject* map = list_->Map()) {
        id = map->TakeVersion();
        version = id;
    }
}

CNavItem::~CNavItem() {
    if (!list_) {
        return;
    }
    if (prev_) {
        prev_->next_ = next_;
    } else {
        list_->first_ = next_;
    }
    if (next_) {
        next_->prev_ = prev_;
    } else {
        list_->last_ = prev_;
    }
}

bool CNavItem::WriteBody(CStream&) const {
    return true;
}

bool CNavItem::ReadBody(CStream&, int32_t) {
    return true;
}

void CNavPointItem::MoveBy(double dx, double dy) {
    x += dx;
    y += dy;
}

CNavImage::~CNavImage() {
    FreePixels();
}

void CNavImage::FreePixels() {
    std::free(pixels_);
    pixels_ = nullptr;
}

bool CNavImage::SetImageSize(int32_t width, int32_t height) {
    if (width == width_ && height == height_ && pixels_) {
        return true;
    }
    FreePixels();
    width_ = 0;
    height_ = 0;
    if (width <= 0 || height <= 0) {
        return true;
    }
    if (width > 0xFFFF || height > 0xFFFF) {
        return false;
    }
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    pixels_ = static_cast<uint8_t*>(std::malloc(bytes));
    if (!pixels_) {
        return false;
    }
    width_ = static_cast<uint16_t>(width);
    height_ = static_cast<uint16_t>(height);
    return true;
}

CNavZone::~CNavZone() {
    std::free(vertices_);
}

bool CNavZone::SetVertexCount(int32_t count) {
    if (count < 0) {
        count = 0;
    }
    if (count == vertexCount_) {
        return true;
    }
    if (count == 0) {
        std::free(vertices_);
        vertices_ = nullptr;
        vertexCount_ = 0;
        return true;
    }
    void* block = std::realloc(vertices_, static_cast<std::size_t>(count) * sizeof(NavVertex));
    if (!block) {
        return false;
    }
    vertices_ = static_cast<NavVertex*>(block);
    for (int32_t i = vertexCount_; i < count; ++i) {
        vertices_[i] = {0, 0};
    }
    vertexCount_ = count;
    return true;
}

void CNavZone::MoveBy(double dx, double dy) {
    for (int32_t i = 0; i < vertexCount_; ++i) {
        vertices_[i].x += dx;
        vertices_[i].y += dy;
    }
}

void CNavFloorLine::DeriveTiltFromAngle() {
    constexpr double kPi = 3.14159265358979323846;
    const double quarter = kPi / 2;
    const double q = std::floor(angle / quarter + 0.5) * quarter;
    const double r = angle - q;
    tilt = r - 2 * kPi * std::floor((r + kPi) / (2 * kPi));
    angle = q;
}

// ------------------------------------------------------------------- route

CNavRoute::~CNavRoute() {
    std::free(points_);
}

int32_t CNavRoute::CapacityFor(int32_t count) {
    if (count <= 0) {
        return 0;
    }
    const int64_t rounded = (int64_t{count} + kCapacityStep - 1) / kCapacityStep * kCapacityStep;
    return static_cast<int32_t>(std::min<int64_t>(rounded, std::numeric_limits<int32_t>::max()));
}

bool CNavRoute::SetPointCount(int32_t count) {
    if (count < 0) {
        return false;
    }
    if (count == 0) {
        std::free(points_);
        points_ = nullptr;
        count_ = 0;
        return true;
    }
    const int32_t capacity = CapacityFor(count);
    if (!points_ || capacity != CapacityFor(count_)) {
        const auto bytes = static_cast<std::size_t>(capacity) * sizeof(NavRoutePoint);
        void* block = std::realloc(points_, bytes);
        if (!block) {
            return false;
        }
        points_ = static_cast<NavRoutePoint*>(block);
    }
    for (int32_t i = count_; i < count; ++i) {
        points_[i] = {0, 0, 0};
    }
    count_ = count;
    return true;
}

// ------------------------------------------------------------------- lists

CNavList::CNavList(CNavProject* map, bool replaceOnLoad)
    : replaceOnLoad_(replaceOnLoad), map_(map) {}

CNavList::~CNavList() {
    DeleteAll();
}

void CNavList::DeleteAll() {
    while (first_) {
        delete first_;
    }
}

int32_t CNavList::Count() const {
    int32_t n = 0;
    for (const CNavItem* it = first_; it; it = it->Next()) {
        ++n;
    }
    return n;
}

// --------------------------------------------------------------------- map

NavRandomSource DefaultNavRandomSource() {
    return [] {
        static std::minstd_rand generator = [] {
            std::random_device entropy;
            const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
            const auto calendar = std::chrono::system_clock::now().time_since_epoch().count();
            // Mixed in unsigned arithmetic: ten times a nanosecond count
            // since 1970 does not fit a signed 64-bit number.
            const uint64_t mixed =
                static_cast<uint64_t>(ticks) + 10u * static_cast<uint64_t>(calendar);
            return std::minstd_rand(static_cast<uint32_t>(mixed) ^ entropy());
        }();
        return static_cast<int32_t>((generator() >> 8) & 0x7FFF);
    };
}

CNavProject::CNavProject(NavRandomSource random) : random_(std::move(random)) {
    if (!random_) {
        random_ = DefaultNavRandomSource();
    }
    NewMapId();
}

CNavProject::~CNavProject() = default;

void CNavProject::NewMapId() {
    const uint32_t high = static_cast<uint32_t>(random_()) & 0x7FFF;
    const uint32_t low = static_cast<uint32_t>(random_()) & 0x7FFF;
    mapId = (high << 16) | low;
}

int32_t CNavProject::TakeVersion() {
    const int32_t taken = nextVersion;
    if (nextVersion < std::numeric_limits<int32_t>::max()) {
        ++nextVersion;
    }
    return taken;
}

void CNavProject::RaiseVersion(int32_t version) {
    if (version == std::numeric_limits<int32_t>::max()) {
        nextVersion = version;
    } else if (nextVersion < version + 1) {
        nextVersion = version + 1;
    }
}

void CNavProject::Clear() {
    for (CNavList* list : lists) {
        list->DeleteAll();
    }
    nextVersion = 0;
    NewMapId();
}

void CNavProject::Renumber() {
    nextVersion = 1;
    for (CNavList* list : lists) {
        for (CNavItem* it = list->First(); it; it = it->Next()) {
            it->id = TakeVersion();
            it->version = it->id;
        }
    }
}

void CNavProject::MoveSelection(double dx, double dy) {
    if (robot.selected) {
        robot.MoveBy(dx, dy);
    }
    for (CNavList* list : lists) {
        for (CNavItem* it = list->First(); it; it = it->Next()) {
            if (it->selected) {
                it->MoveBy(dx, dy);
            }
        }
    }
}

void CNavProject::SelectAll(bool flag) {
    robot.selected = flag;
    for (CNavList* list : lists) {
        for (CNavItem* it = list->First(); it; it = it->Next()) {
            it->selected = flag;
        }
    }
}

void CNavProject::DeleteSelection() {
    for (CNavList* list : lists) {
        CNavItem* it = list->First();
        while (it) {
            CNavItem* next = it->Next();
            if (it->selected) {
                delete it;
            }
            it = next;
        }
    }
}

bool CNavProject::HasSelection() const {
    for (const CNavList* list : lists) {
        for (const CNavItem* it = list->First(); it; it = it->Next()) {
            if (it->selected && it->version >= 0) {
                return true;
            }
        }
    }
    return false;
}

CNavPlace* CNavProject::FindPlaceByNumber(int32_t number, const CNavPlace* except) const {
    for (CNavPlace* p = places.First(); p; p = CNavPlaceList::Next(p)) {
        if (p->placeNumber == number && p != except) {
            return p;
        }
    }
    return nullptr;
}

CNavItem* CNavProject::FindById(const CNavList& list, int32_t id) {
    for (CNavItem* it = list.First(); it; it = it->Next()) {
        if (it->id == id) {
            return it;
        }
    }
    return nullptr;
}

int32_t CNavProject::CountWritable(const CNavList& list, bool selectionOnly) {
    int32_t n = 0;
    for (const CNavItem* it = list.First(); it; it = it->Next()) {
        if (it->version >= 0 && (!selectionOnly || it->selected)) {
            ++n;
        }
    }
    return n;
}

bool CNavProject::ZoneContains(const CNavZone& zone, double x, double y) {
    const int32_t n = zone.VertexCount();
    if (n < 3) {
        return false;
    }
    const NavVertex* v = zone.Vertices();
    bool inside = false;
    for (int32_t i = 0, j = n - 1; i < n; j = i++) {
        if ((y < v[i].y) != (y < v[j].y)) {
            const double xc = v[j].x + (y - v[j].y) * (v[i].x - v[j].x) / (v[i].y - v[j].y);
            if (xc < x) {
                inside = !inside;
            }
        }
    }
    return inside;
}

}  // namespace velcora::nav
