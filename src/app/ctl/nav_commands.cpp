// velcoractl commands for navigation maps: inspecting and converting .navm
// files and packed maps offline, and exchanging the map, the navigation mode,
// the recording permissions, go-to-place and the robot's pose with the robot.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
#include <string>

#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <optional>

#include "app/ctl/ctl.h"
#include "app/ctl/session.h"
#include "link/ini_file.h"
#include "link/settings.h"
#include "link/stream.h"
#include "nav/gui/map_painter.h"
#include "nav/map_format.h"
#include "nav/map_json.h"
#include "nav/map_transfer.h"
#include "nav/nav_project.h"

namespace velcora::ctl {

namespace {

using nav::CNavProject;

bool Load(CNavProject& map, const std::string& path) {
    if (!nav::LoadFile(map, path)) {
        Failed("cannot read the map file " + path);
        return false;
    }
    return true;
}

int Info(const std::vector<std::string>& files) {
    CNavProject map;
    if (!Load(map, files[0])) {
        return kExitFailed;
    }
    std::printf("mapId: %u\n", map.mapId);
    std::printf("nextVersion: %d\n", map.nextVersion);
    std::printf("images: %d\n", map.images.Count());
    std::printf("walls: %d\n", map.walls.Count());
    std::printf("places: %d\n", map.places.Count());
    std::printf("zones: %d\n", map.zones.Count());
    std::printf("obstacles: %d\n", map.obstacles.Count());
    std::printf("floorLines: %d\n", map.floorLines.Count());
    std::printf("routePoints: %d\n", map.route.PointCount());
    return kExitDone;
}

int Dump(const std::vector<std::string>& files) {
    CNavProject map;
    if (!Load(map, files[0])) {
        return kExitFailed;
    }
    std::printf("%s\n", nav::MapToJson(map).c_str());
    return kExitDone;
}

int Resave(const std::vector<std::string>& files) {
    CNavProject map;
    if (!Load(map, files[0])) {
        return kExitFailed;
    }
    if (!nav::SaveFile(map, files[1])) {
        return Failed("cannot write the map file " + files[1]);
    }
    return kExitDone;
}

int Pack(const std::vector<std::string>& files) {
    CNavProject map;
    if (!Load(map, files[0])) {
        return kExitFailed;
    }
    CMemoryStream packed;
    if (!nav::PackMap(map, packed)) {
        return Failed("cannot pack the map");
    }
    if (!packed.SaveToFile(files[1])) {
        return Failed("cannot write " + files[1]);
    }
    return kExitDone;
}

int Unpack(const std::vector<std::string>& files) {
    CMemoryStream packed;
    if (!packed.LoadFromFile(files[0])) {
        return Failed("cannot read " + files[0]);
    }
    CMemoryStream body;
    if (!nav::UnpackMap(packed, body)) {
        return Failed(files[0] + " is not a packed map");
    }
    body.Seek(0, kSeekSet);
    CNavProject map;
    map.Clear();
    if (!nav::ReadBody(map, body)) {
        return Failed(files[0] + " does not hold a valid map body");
    }
    if (!nav::SaveFile(map, files[1])) {
        return Failed("cannot write the map file " + files[1]);
    }
    return kExitDone;
}

// "WxH", each side 1..16384.
bool ParseSize(const std::string& text, int& w, int& h) {
    const auto x = text.find('x');
    long long a = 0;
    long long b = 0;
    if (x == std::string::npos || !ParseInt(text.substr(0, x), a) ||
        !ParseInt(text.substr(x + 1), b) || a < 1 || b < 1 || a > 16384 || b > 16384) {
        return false;
    }
    w = static_cast<int>(a);
    h = static_cast<int>(b);
    return true;
}

// navm render FILE.navm OUT.png [--size WxH] [--scale S --centre X Y] [--ini PATH]:
// the map window's painter into a picture, on the offscreen platform.
int Render(const std::vector<std::string>& words) {
    std::vector<std::string> files;
    int width = 1280;
    int height = 800;
    std::optional<double> scale;
    std::optional<nav::MapPoint> centre;
    std::string iniPath;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= words.size()) {
                return false;
            }
            out = words[++i];
            return true;
        };
        std::string v;
        if (w == "--size") {
            if (!value(v) || !ParseSize(v, width, height)) {
                return UsageError("--size needs WxH (1..16384 each)");
            }
        } else if (w == "--scale") {
            double sc = 0;
            if (!value(v) || !ParseDouble(v, sc) || !(sc >= nav::CMapTransform::kMinScale) ||
                !(sc <= nav::CMapTransform::kMaxScale)) {
                return UsageError("--scale needs a number from 0.001 to 1000");
            }
            scale = sc;
        } else if (w == "--centre" || w == "--center") {
            std::string y;
            nav::MapPoint c;
            if (!value(v) || !value(y) || !ParseDouble(v, c.x) || !ParseDouble(y, c.y) ||
                !nav::Finite(c.x, c.y)) {
                return UsageError("--centre needs X Y in cm");
            }
            centre = c;
        } else if (w == "--ini") {
            if (!value(iniPath)) {
                return UsageError("--ini needs a path");
            }
        } else if (w.size() > 1 && w[0] == '-') {
            return UsageError("unknown option " + w);
        } else {
            files.push_back(w);
        }
    }
    if (files.size() != 2) {
        return UsageError("navm render needs FILE.navm OUT.png");
    }
    // The robot's outline comes from the settings, as in the console.
    IniFile ini(SettingsFilePath(iniPath));
    ini.Load();
    CSettings settings;
    LoadSettings(ini, settings);
    const nav::RobotShape shape{settings.halfWidth, settings.frontSize, settings.backSize};

    CNavProject map;
    if (!Load(map, files[0])) {
        return kExitFailed;
    }
    // Only this command needs Qt, and only its painting: no display.
    std::unique_ptr<QGuiApplication> app;
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "velcoractl";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    std::optional<nav::MapView> view;
    if (scale || centre) {
        const nav::CMapTransform fitted = nav::FitMap(map, shape, {0, 0, width, height});
        view = nav::MapView{scale.value_or(fitted.Scale()), centre.value_or(fitted.Centre())};
    }
    const QImage image = nav::RenderMap(map, shape, width, height, view);
    if (image.isNull() || !image.save(QString::fromStdString(files[1]), "PNG")) {
        return Failed("cannot write the picture " + files[1]);
    }
    return kExitDone;
}

int Navm(Args& args) {
    if (!args.Rest().empty() && args.Rest()[0] == "render") {
        return Render({args.Rest().begin() + 1, args.Rest().end()});
    }
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    const auto& rest = args.Rest();
    if (rest.empty()) {
        return UsageError("navm needs a subcommand: info, dump, resave, pack, unpack or render");
    }
    const std::string& sub = rest[0];
    const std::vector<std::string> files(rest.begin() + 1, rest.end());
    struct Sub {
        const char* name;
        std::size_t files;
        int (*run)(const std::vector<std::string>&);
    };
    static const Sub kSubs[] = {{"info", 1, Info},
                                {"dump", 1, Dump},
                                {"resave", 2, Resave},
                                {"pack", 2, Pack},
                                {"unpack", 2, Unpack}};
    for (const Sub& s : kSubs) {
        if (sub == s.name) {
            if (files.size() != s.files) {
                return UsageError("navm " + sub + (s.files == 1 ? " needs FILE" : " needs IN OUT"));
            }
            return s.run(files);
        }
    }
    return UsageError("unknown navm subcommand " + sub);
}

// ------------------------------------------------------------------ online

constexpr uint32_t kDefaultTransferMs = 120000;
constexpr uint32_t kConfirmMs = 10000;

// What the map transfer shows, reduced to a terminal: progress on stderr and
// the facts the commands wait for.
class CtlMapView : public nav::IMapTransferView {
  public:
    void ShowNavMode(nav::NavMode mode) override {
        mode_ = mode;
        ++statuses;
    }
    void ShowRobotFlags(uint8_t flags) override { flags_ = flags; }
    void ShowError(const std::u16string&, int32_t) override { error = true; }
    void UploadOpened(uint32_t size) override {
        total_ = size;
        std::fprintf(stderr, "uploading %u bytes\n", size);
    }
    void UploadProgress(uint32_t value) override { Progress("uploaded", value); }
    void UploadComplete() override {
        uploaded = true;
        std::fprintf(stderr, "upload complete\n");
    }
    void DownloadOpened(uint32_t size) override {
        total_ = size;
        std::fprintf(stderr, "downloading %u bytes\n", size);
    }
    void DownloadProgress(uint32_t value) override { Progress("downloaded", value); }
    void DownloadClosed(nav::DownloadEnd end) override {
        if (end != nav::DownloadEnd::Complete) {
            std::fprintf(stderr, "download abandoned; waiting for the robot to offer it again\n");
        }
    }
    void MapReceived(nav::MapArrival arrival, bool ok) override {
        received = true;
        receivedOk = ok;
        std::fprintf(stderr, "%s map %s\n",
                     arrival == nav::MapArrival::Inline ? "inline" : "downloaded",
                     ok ? "read" : "could not be read");
    }

    nav::NavMode Mode() const { return mode_; }
    uint8_t Permissions() const { return nav::PermissionsFromFlags(flags_); }

    int statuses = 0;
    bool error = false;
    bool uploaded = false;
    bool received = false;
    bool receivedOk = false;

  private:
    void Progress(const char* what, uint32_t value) {
        std::fprintf(stderr, "%s %u of %u bytes\n", what, value, total_);
    }
    nav::NavMode mode_ = nav::NavMode::Off;
    uint8_t flags_ = 0;
    uint32_t total_ = 0;
};

// One online map command: the session, the map, the transfer driven by the
// session's reactor.
struct MapSession {
    explicit MapSession(const ConnectionOptions& options) : session(options) {}

    int Open() {
        if (const int rc = session.Open(); rc != kExitDone) {
            return rc;
        }
        transfer = std::make_unique<nav::CMapTransfer>(session.Link(), map, view);
        platform::Reactor& reactor = session.Reactor();
        tick = platform::ScopedTimer(reactor, kControllerTickMs,
                                     [this, &reactor] { transfer->Tick(reactor.Now()); });
        return kExitDone;
    }
    // Waits until the queued frames have gone out.
    Session::Outcome Flush() {
        return session.RunUntil([this] { return session.Link().QueuedBytes() == 0; }, kConfirmMs);
    }

    Session session;
    nav::CNavProject map;
    CtlMapView view;
    std::unique_ptr<nav::CMapTransfer> transfer;
    platform::ScopedTimer tick;
};

// One map subcommand with its arguments checked before connecting.
struct MapRequest {
    enum class Kind { Pull, Push, Mode, Permissions, GoTo, Pose } kind = Kind::Pull;
    std::string path;
    nav::NavMode mode = nav::NavMode::Off;
    uint8_t permissions = 0;
    int32_t place = 0;
    double x = 0, y = 0, degrees = 0;
};

// Empty when the arguments are fine, else the usage text.
std::string ParseMapRequest(const std::vector<std::string>& all, MapRequest& r) {
    using Kind = MapRequest::Kind;
    if (all.empty()) {
        return "map needs a subcommand: pull, push, mode, permissions, goto or pose";
    }
    const std::string& sub = all[0];
    const std::vector<std::string> rest(all.begin() + 1, all.end());
    if (sub == "pull" || sub == "push") {
        r.kind = sub == "pull" ? Kind::Pull : Kind::Push;
        if (rest.size() != 1) {
            return sub == "pull" ? "map pull needs OUT.navm" : "map push needs IN.navm";
        }
        r.path = rest[0];
        return {};
    }
    if (sub == "mode") {
        r.kind = Kind::Mode;
        static const struct {
            const char* name;
            nav::NavMode mode;
        } kModes[] = {{"off", nav::NavMode::Off},
                      {"nav", nav::NavMode::Navigation},
                      {"record", nav::NavMode::Recording}};
        for (const auto& entry : kModes) {
            if (rest.size() == 1 && rest[0] == entry.name) {
                r.mode = entry.mode;
                return {};
            }
        }
        return "map mode needs off, nav or record";
    }
    if (sub == "permissions") {
        r.kind = Kind::Permissions;
        long long bits = 0;
        if (rest.size() != 1 || !ParseInt(rest[0], bits) || bits < 0 ||
            bits > nav::kNavPermissionMask) {
            return "map permissions needs a number 0..63";
        }
        r.permissions = static_cast<uint8_t>(bits);
        return {};
    }
    if (sub == "goto") {
        r.kind = Kind::GoTo;
        long long place = 0;
        if (rest.size() != 1 || !ParseInt(rest[0], place) || place < INT32_MIN ||
            place > INT32_MAX) {
            return "map goto needs a place number";
        }
        r.place = static_cast<int32_t>(place);
        return {};
    }
    if (sub == "pose") {
        r.kind = Kind::Pose;
        if (rest.size() != 3 || !ParseDouble(rest[0], r.x) || !ParseDouble(rest[1], r.y) ||
            !ParseDouble(rest[2], r.degrees) || !std::isfinite(r.x) || !std::isfinite(r.y) ||
            !std::isfinite(r.degrees)) {
            return "map pose needs X Y DEGREES";
        }
        return {};
    }
    return "unknown map subcommand " + sub;
}

int Pull(MapSession& m, const std::string& path, uint32_t timeoutMs) {
    m.transfer->SetLoadFromRobot(true);
    const auto outcome = m.session.RunUntil([&] { return m.view.received; }, timeoutMs);
    if (outcome != Session::Outcome::Done) {
        return m.session.ExitFor(outcome, "velcoractl: the robot did not send its map");
    }
    if (!m.view.receivedOk) {
        return Failed("the robot's map could not be read");
    }
    if (!nav::SaveFile(m.map, path)) {
        return Failed("cannot write the map file " + path);
    }
    return kExitDone;
}

int Push(MapSession& m, uint32_t timeoutMs) {
    if (!m.transfer->StartUpload()) {
        return Failed(m.view.error ? "cannot pack the map" : "cannot start the upload");
    }
    const auto outcome = m.session.RunUntil([&] { return m.view.uploaded; }, timeoutMs);
    if (outcome != Session::Outcome::Done) {
        m.transfer->CancelUpload();
        return m.session.ExitFor(outcome, "velcoractl: the robot did not take the whole map");
    }
    return kExitDone;
}

// Sends the new setting and waits for the robot's next status to show it.
int Confirm(MapSession& m, const std::function<void()>& send, const std::function<bool()>& shown,
            const char* timeoutText) {
    const int before = m.view.statuses;
    send();
    const auto outcome =
        m.session.RunUntil([&] { return m.view.statuses > before && shown(); }, kConfirmMs);
    return m.session.ExitFor(outcome, timeoutText);
}

int Map(Args& args) {
    ConnectionOptions options;
    std::string error;
    if (!TakeConnectionOptions(args, options, error)) {
        return UsageError(error);
    }
    uint32_t timeoutMs = kDefaultTransferMs;
    if (auto t = args.Option("--timeout")) {
        long long value = 0;
        if (!ParseInt(*t, value) || value <= 0 || value > 86400000) {
            return UsageError("--timeout needs a number of milliseconds");
        }
        timeoutMs = static_cast<uint32_t>(value);
    }
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    MapRequest r;
    if (const std::string usage = ParseMapRequest(args.Rest(), r); !usage.empty()) {
        return UsageError(usage);
    }
    using Kind = MapRequest::Kind;
    MapSession m(options);
    if (r.kind == Kind::Push && !Load(m.map, r.path)) {
        return kExitFailed;
    }
    if (const int rc = m.Open(); rc != kExitDone) {
        return rc;
    }
    switch (r.kind) {
        case Kind::Pull:
            return Pull(m, r.path, timeoutMs);
        case Kind::Push:
            return Push(m, timeoutMs);
        case Kind::Mode:
            return Confirm(
                m, [&] { m.transfer->SendNavMode(r.mode); },
                [&] { return m.view.Mode() == r.mode; },
                "velcoractl: the robot did not report the new mode");
        case Kind::Permissions:
            return Confirm(
                m, [&] { m.transfer->SetPermissions(r.permissions); },
                [&] { return m.view.Permissions() == r.permissions; },
                "velcoractl: the robot did not report the new permissions");
        case Kind::GoTo:
            m.transfer->SendGoToPlace(r.place);
            return m.session.ExitFor(m.Flush());
        case Kind::Pose:
            m.transfer->SendRobotPose(r.x, r.y, r.degrees * std::numbers::pi / 180);
            return m.session.ExitFor(m.Flush());
    }
    return kExitFailed;
}

}  // namespace

void RegisterNavCommands(Registry& registry) {
    registry.Add({"navm",
                  "navm info FILE | dump FILE | resave IN OUT | pack IN OUT | unpack IN OUT | "
                  "render FILE OUT.png [--size WxH] [--scale S --centre X Y] [--ini PATH]",
                  "inspect a .navm map file, convert it to and from a packed map, or draw it",
                  Navm});
    registry.Add({"map",
                  std::string("map pull OUT.navm | push IN.navm | mode off|nav|record | "
                              "permissions N | goto PLACE | pose X Y DEGREES [--timeout MS] ") +
                      kConnectionSynopsis,
                  "exchange the navigation map with the robot, set its navigation mode, "
                  "recording permissions or pose, or send it to a place",
                  Map});
}

}  // namespace velcora::ctl
