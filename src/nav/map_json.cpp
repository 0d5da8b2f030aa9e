#include "nav/map_json.h"

#include <charconv>
#include <cmath>

#include "nav/sha256.h"

namespace velcora::nav {

namespace {

class Json {
  public:
    void Raw(std::string_view text) { out_ += text; }
    void Key(std::string_view key) {
        Separate();
        out_ += '"';
        out_ += key;
        out_ += "\":";
        first_ = true;  // the value follows without a comma
    }
    void Open(char bracket) {
        Separate();
        out_ += bracket;
        first_ = true;
    }
    void Close(char bracket) {
        out_ += bracket;
        first_ = false;
    }
    template <typename T>
    void Number(T value) {
        Separate();
        if constexpr (std::is_floating_point_v<T>) {
            if (!std::isfinite(value)) {
                out_ += "null";
                first_ = false;
                return;
            }
        }
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, value);
        out_.append(buf, r.ptr);
        first_ = false;
    }
    void Bool(bool value) {
        Separate();
        out_ += value ? "true" : "false";
        first_ = false;
    }
    void String(std::string_view text) {
        Separate();
        out_ += '"';
        out_ += text;  // only hex digits are ever written here
        out_ += '"';
        first_ = false;
    }
    void Null() {
        Separate();
        out_ += "null";
        first_ = false;
    }
    template <typename T>
    void Field(std::string_view key, T value) {
        Key(key);
        Number(value);
    }
    std::string Take() { return std::move(out_); }

  private:
    void Separate() {
        if (!first_) {
            out_ += ',';
        }
        first_ = false;
    }
    std::string out_;
    bool first_ = true;
};

void Identity(Json& j, const CNavItem& item) {
    j.Field("id", item.id);
    j.Field("version", item.version);
}

void Pose(Json& j, const CNavPointItem& item) {
    j.Field("x", item.x);
    j.Field("y", item.y);
    j.Field("angle", item.angle);
}

template <typename List, typename Fn>
void Array(Json& j, std::string_view key, const List& list, Fn fields) {
    j.Key(key);
    j.Open('[');
    for (auto* item = list.First(); item; item = List::Next(item)) {
        j.Open('{');
        Identity(j, *item);
        fields(*item);
        j.Close('}');
    }
    j.Close(']');
}

}  // namespace

std::string MapToJson(const CNavProject& map) {
    Json j;
    j.Open('{');
    j.Field("mapId", map.mapId);
    j.Field("nextVersion", map.nextVersion);
    j.Key("robot");
    j.Open('{');
    Pose(j, map.robot);
    j.Close('}');

    Array(j, "images", map.images, [&](const CNavImage& i) {
        Pose(j, i);
        j.Field("width", i.Width());
        j.Field("height", i.Height());
        j.Key("noGo");
        j.Bool(i.noGo);
        j.Field("bodyHeight", i.bodyHeight);
        j.Key("pixelsSha256");
        if (i.Pixels()) {
            j.String(Sha256Hex(i.Pixels(), static_cast<std::size_t>(i.PixelCount())));
        } else {
            j.Null();
        }
    });
    Array(j, "walls", map.walls, [&](const CNavWall& w) {
        Pose(j, w);
        j.Field("side", int{w.side});
    });
    Array(j, "places", map.places, [&](const CNavPlace& p) {
        Pose(j, p);
        j.Field("placeNumber", p.placeNumber);
        j.Field("bodyHeight", p.bodyHeight);
    });
    Array(j, "zones", map.zones, [&](const CNavZone& z) {
        j.Key("vertices");
        j.Open('[');
        for (int32_t v = 0; v < z.VertexCount(); ++v) {
            j.Open('[');
            j.Number(z.Vertices()[v].x);
            j.Number(z.Vertices()[v].y);
            j.Close(']');
        }
        j.Close(']');
        j.Field("zoneType", z.zoneType);
        j.Field("parameter", z.parameter);
        j.Field("zoneNumber", z.zoneNumber);
    });
    Array(j, "obstacles", map.obstacles,
          [&](const CNavObstacle& o) { j.Field("obstacleValue", o.obstacleValue); });
    Array(j, "floorLines", map.floorLines, [&](const CNavFloorLine& f) {
        Pose(j, f);
        j.Field("kind", int{f.kind});
        j.Field("position", f.position);
        j.Field("lift", f.lift);
        j.Field("tilt", f.tilt);
    });

    j.Key("route");
    j.Open('{');
    j.Field("id", map.route.id);
    j.Field("progress", map.route.progress);
    j.Key("points");
    j.Open('[');
    for (int32_t p = 0; p < map.route.PointCount(); ++p) {
        j.Open('[');
        j.Number(map.route.Points()[p].x);
        j.Number(map.route.Points()[p].y);
        j.Close(']');
    }
    j.Close(']');
    j.Close('}');
    j.Close('}');
    return j.Take();
}

}  // namespace velcora::nav
