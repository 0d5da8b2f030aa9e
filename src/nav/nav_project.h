// The navigation map document: images, walls, places, zones, obstacles and
// floor lines in six linked lists, the robot's pose and one route. Positions
// are centimetres, angles radians. Items are matched by id when a stream is
// merged into the map; versions stamp every record.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "link/stream.h"

namespace velcora::nav {

class CNavProject;
class CNavList;

class CNavItem {
  public:
    // With a list the item is appended to it and takes the map's next version
    // as both id and version; without one both stay 0.
    explicit CNavItem(CNavList* list);
    // Unlinks the item from its list.
    virtual ~CNavItem();
    CNavItem(const CNavItem&) = delete;
    CNavItem& operator=(const CNavItem&) = delete;

    // The kind-specific fields of the item's record (see map_format.cpp).
    virtual bool WriteBody(CStream& stream) const;
    // `length` is the record's length field; older writers produced shorter
    // records, which the kinds recognise by it.
    virtual bool ReadBody(CStream& stream, int32_t length);
    virtual void MoveBy(double dx, double dy) = 0;

    CNavItem* Next() const { return next_; }
    CNavItem* Prev() const { return prev_; }
    CNavList* List() const { return list_; }

    int32_t id = 0;
    int32_t version = 0;
    bool selected = false;

  private:
    friend class CNavList;
    CNavItem* next_ = nullptr;
    CNavItem* prev_ = nullptr;
    CNavList* list_ = nullptr;
};

class CNavPointItem : public CNavItem {
  public:
    using CNavItem::CNavItem;
    bool WriteBody(CStream& stream) const override;
    bool ReadBody(CStream& stream, int32_t length) override;
    void MoveBy(double dx, double dy) override;

    double x = 0;
    double y = 0;
    double angle = 0;
};

class CNavImage : public CNavPointItem {
  public:
    using CNavPointItem::CNavPointItem;
    ~CNavImage() override;
    bool WriteBody(CStream& stream) const override;
    bool ReadBody(CStream& stream, int32_t length) override;

    // Keeps the block when the sizes are unchanged; otherwise frees it and
    // allocates width x height bytes. False only when that allocation fails,
    // and the image is then empty.
    bool SetImageSize(int32_t width, int32_t height);
    uint16_t Width() const { return width_; }
    uint16_t Height() const { return height_; }
    // 8-bit grey, rows one after another without padding; null when empty.
    uint8_t* Pixels() { return pixels_; }
    const uint8_t* Pixels() const { return pixels_; }
    int32_t PixelCount() const { return int32_t{width_} * height_; }

    bool noGo = false;
    float bodyHeight = 0;

  private:
    void FreePixels();
    uint16_t width_ = 0;
    uint16_t height_ = 0;
    uint8_t* pixels_ = nullptr;
};

class CNavWall : public CNavPointItem {
  public:
    using CNavPointItem::CNavPointItem;
    bool WriteBody(CStream& stream) const override;
    bool ReadBody(CStream& stream, int32_t length) override;

    uint8_t side = 0;
};

class CNavPlace : public CNavPointItem {
  public:
    using CNavPointItem::CNavPointItem;
    bool WriteBody(CStream& stream) const override;
    bool ReadBody(CStream& stream, int32_t length) override;

    int32_t placeNumber = 0;
    float bodyHeight = 0;
};

class CNavObstacle : public CNavPointItem {
  public:
    using CNavPointItem::CNavPointItem;
    // Only the value travels; the pose stays in the console.
    bool WriteBody(CStream& stream) const override;
    bool ReadBody(CStream& stream, int32_t length) override;

    int32_t obstacleValue = 120000;
};

enum class FloorLineKind : uint8_t { Longitudinal = 0, Transverse = 1 };

class CNavFloorLine : public CNavPointItem {
  public:
    using CNavPointItem::CNavPointItem;
    bool WriteBody(CStream& stream) const override;
    bool ReadBody(CStream& stream, int32_t length) override;

    // Records written before the tilt existed folded it into the angle: the
    // angle is snapped to the nearest right angle and the rest becomes tilt.
    void DeriveTiltFromAngle();

    uint8_t kind = 0;
    double position = 0;
    double tilt = 0;
    float lift = 0;
};

class CNavRobot : public CNavPointItem {
  public:
    CNavRobot() : CNavPointItem(nullptr) {}
};

struct NavVertex {
    double x;
    double y;
};

enum ZoneType : int32_t {
    kZoneNarrowPlace = 1,
    kZoneTrafficLight = 2,
    kZoneThree = 3,
};

class CNavZone : public CNavItem {
  public:
    using CNavItem::CNavItem;
    ~CNavZone() override;
    bool WriteBody(CStream& stream) const override;
    bool ReadBody(CStream& stream, int32_t length) override;
    void MoveBy(double dx, double dy) override;

    // A negative count is taken as 0. False (old array and count kept) when
    // the allocation fails. New vertices start at 0, 0.
    bool SetVertexCount(int32_t count);
    int32_t VertexCount() const { return vertexCount_; }
    NavVertex* Vertices() { return vertices_; }
    const NavVertex* Vertices() const { return vertices_; }

    int32_t zoneType = kZoneNarrowPlace;
    int32_t parameter = 0;
    int32_t zoneNumber = 0;

  private:
    int32_t vertexCount_ = 0;
    NavVertex* vertices_ = nullptr;
};

struct NavRoutePoint {
    double x;
    double y;
    // Carried in memory only; zeroed whenever points are read.
    double extra;
};

// The route the robot sends with its map. Its point array grows in steps of
// 64 points and is only reallocated when that rounded capacity changes.
class CNavRoute {
  public:
    static constexpr int32_t kCapacityStep = 64;

    explicit CNavRoute(CNavProject* owner) : owner_(owner) {}
    ~CNavRoute();
    CNavRoute(const CNavRoute&) = delete;
    CNavRoute& operator=(const CNavRoute&) = delete;

    // False (points and count unchanged) when the allocation fails or the
    // count is negative.
    bool SetPointCount(int32_t count);
    int32_t PointCount() const { return count_; }
    int32_t Capacity() const { return points_ ? CapacityFor(count_) : 0; }
    NavRoutePoint* Points() { return points_; }
    const NavRoutePoint* Points() const { return points_; }
    CNavProject* Owner() const { return owner_; }

    int32_t id = 0;
    // Index of the last point already passed.
    int32_t progress = 0;

  private:
    static int32_t CapacityFor(int32_t count);
    CNavProject* owner_;
    int32_t count_ = 0;
    NavRoutePoint* points_ = nullptr;
};

class CNavList {
  public:
    CNavList(CNavProject* map, bool replaceOnLoad);
    virtual CNavItem* NewItem() = 0;
    virtual ~CNavList();
    CNavList(const CNavList&) = delete;
    CNavList& operator=(const CNavList&) = delete;

    CNavItem* First() const { return first_; }
    CNavItem* Last() const { return last_; }
    bool ReplaceOnLoad() const { return replaceOnLoad_; }
    CNavProject* Map() const { return map_; }
    void DeleteAll();
    int32_t Count() const;

  private:
    friend class CNavItem;
    CNavItem* first_ = nullptr;
    CNavItem* last_ = nullptr;
    bool replaceOnLoad_ = false;
    CNavProject* map_ = nullptr;
};

// A list of one item kind, with typed access for the code that knows it.
template <typename T>
class CNavListOf : public CNavList {
  public:
    explicit CNavListOf(CNavProject* map, bool replaceOnLoad = false)
        : CNavList(map, replaceOnLoad) {}
    T* NewItem() override { return new T(this); }
    T* First() const { return static_cast<T*>(CNavList::First()); }
    T* Last() const { return static_cast<T*>(CNavList::Last()); }
    static T* Next(const T* item) { return static_cast<T*>(item->Next()); }
};

class CNavImageList final : public CNavListOf<CNavImage> {
    using CNavListOf::CNavListOf;
};
class CNavWallList final : public CNavListOf<CNavWall> {
    using CNavListOf::CNavListOf;
};
class CNavPlaceList final : public CNavListOf<CNavPlace> {
    using CNavListOf::CNavListOf;
};
class CNavZoneList final : public CNavListOf<CNavZone> {
    using CNavListOf::CNavListOf;
};
class CNavObstacleList final : public CNavListOf<CNavObstacle> {
    using CNavListOf::CNavListOf;
};
class CNavFloorLineList final : public CNavListOf<CNavFloorLine> {
    using CNavListOf::CNavListOf;
};

// Yields 0 to 32767 per call, like the C library's generator.
using NavRandomSource = std::function<int32_t()>;
// A process-wide generator seeded once from the clock and the system's entropy.
NavRandomSource DefaultNavRandomSource();

class CNavProject {
  public:
    explicit CNavProject(NavRandomSource random = DefaultNavRandomSource());
    virtual ~CNavProject();
    CNavProject(const CNavProject&) = delete;
    CNavProject& operator=(const CNavProject&) = delete;

    // Deletes every item, restarts the versions at 0 and gives the map a new
    // stamp; the robot's pose and the route stay.
    void Clear();
    // Numbers every item from 1 across the six lists in list order.
    void Renumber();
    void MoveSelection(double dx, double dy);
    void SelectAll(bool flag);
    void DeleteSelection();
    // Some item of the lists (not the robot) is selected and writable.
    bool HasSelection() const;
    CNavPlace* FindPlaceByNumber(int32_t number, const CNavPlace* except = nullptr) const;
    static CNavItem* FindById(const CNavList& list, int32_t id);
    static int32_t CountWritable(const CNavList& list, bool selectionOnly);
    // Even-odd crossing test; fewer than 3 vertices contain nothing.
    static bool ZoneContains(const CNavZone& zone, double x, double y);

    // Two draws, the first in the high half: bits 15 and 31 are always 0.
    void NewMapId();
    // Hands out the next id/version; saturates rather than wrapping negative,
    // which would hide every later item from the writers.
    int32_t TakeVersion();
    // Makes sure later items are stamped above `version`.
    void RaiseVersion(int32_t version);

    CNavImageList images{this};
    CNavWallList walls{this};
    CNavPlaceList places{this};
    CNavZoneList zones{this};
    CNavObstacleList obstacles{this, true};
    CNavFloorLineList floorLines{this};
    // The six lists in the order every loop over all of them uses.
    const std::array<CNavList*, 6> lists{&images, &walls, &places, &zones, &obstacles, &floorLines};

    uint32_t mapId = 0;
    int32_t nextVersion = 0;
    CNavRobot robot;
    CNavRoute route{this};

    // Set whenever an image record without pixels is read into the map; the
    // window shows it and clears it.
    bool emptyImageRead = false;

  private:
    NavRandomSource random_;
};

}  // namespace velcora::nav
