// The map body: one byte layout for .navm files, the clipboard, maps sent by
// the robot and maps uploaded to it. Reading merges into an existing map.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/stream.h"
#include "nav/nav_project.h"

struct z_stream_s;

namespace velcora::nav {

enum class MapScope { Whole, SelectionOnly };

// Writes a body at the stream's position. False when the stream refused a write.
bool WriteBody(const CNavProject& map, CStream& stream, MapScope scope = MapScope::Whole);
// How a record whose id the map does not hold becomes an item: with a fresh
// id from the map's counter (files, which are renumbered after loading, and
// pasted selections, which must not collide with the map's own items), or
// keeping the stored id (the robot's map, whose items must be found again by
// their ids when the robot sends the map the next time).
enum class MergeIds { Fresh, Stored };

// Merges a body read from the stream's position into the map. A failure
// leaves whatever was merged before it.
bool ReadBody(CNavProject& map, CStream& stream, MergeIds ids = MergeIds::Fresh);

// "NA2M" then a whole body.
bool SaveFile(const CNavProject& map, const std::string& path);
// Clears the map first; a loaded map is renumbered from 1.
bool LoadFile(CNavProject& map, const std::string& path);

// The whole body as one zlib stream; `target` is emptied first.
bool PackMap(const CNavProject& map, CMemoryStream& target);
// The most an unpacked map may hold.
inline constexpr int64_t kMaxUnpackedMap = int64_t{256} << 20;
// Inflates the zlib stream at `source`'s position, appending to `target`;
// false for a damaged or truncated stream or one that inflates past
// `maxBytes` (then `target` is left as it was).
bool UnpackMap(CStream& source, CMemoryStream& target, int64_t maxBytes = kMaxUnpackedMap);

// A packed map inflated in steps, so that a big one can be finished away
// from the thread that received it. One object is used by one thread at a
// time.
class CMapInflater {
  public:
    enum class Step { Done, Failed, More };

    explicit CMapInflater(std::vector<uint8_t> packed, int64_t maxBytes = kMaxUnpackedMap);
    ~CMapInflater();
    CMapInflater(const CMapInflater&) = delete;
    CMapInflater& operator=(const CMapInflater&) = delete;

    // Inflates until the stream ends (Done), turns out damaged, truncated or
    // over the limit (Failed), or `budget` more bytes came out (More). A set
    // `stop` ends it between steps as Failed.
    Step Run(int64_t budget, const std::atomic<bool>* stop = nullptr);
    // What came out so far; the whole body once Run said Done.
    const uint8_t* Data() const { return out_.data(); }
    int64_t Size() const { return produced_; }

  private:
    std::vector<uint8_t> packed_;
    std::vector<uint8_t> out_;
    int64_t produced_ = 0;
    int64_t maxBytes_;
    std::unique_ptr<::z_stream_s> z_;
    Step state_ = Step::More;
};

}  // namespace velcora::nav
