#include "console/main_controller.h"

#include <algorithm>
#include <cstdio>

#include "link/control_commands.h"
#include "link/text_codec.h"

namespace velcora {

namespace {

int8_t ClampSpeed(int v) {
    return static_cast<int8_t>(std::clamp(v, -127, 127));
}

DriveControlOptions DriveOptionsFrom(const CSettings& s) {
    DriveControlOptions o;
    o.standard = s.standard;
    o.headJoystick = s.headAxis != 0;
    o.headDeltas = s.headDeltas;
    o.liftSpeed = ClampSpeed(s.liftSpeed);
    o.traySpeed = ClampSpeed(s.traySpeed);
    o.liftFixedMode = s.liftFixedMode;
    o.trayFixedMode = s.trayFixedMode;
    return o;
}

DriveKeyOptions KeyOptionsFrom(const CSettings& s) {
    DriveKeyOptions o;
    // Only the absolute head joystick has a third axis.
    o.headHasZ = s.headAxis != 0 && s.headDeltas == 0;
    o.smoothIncX = static_cast<float>(s.smoothIncX);
    o.smoothIncY = static_cast<float>(s.smoothIncY);
    return o;
}

// The test point of one corner: 100 pixels inside, or a third of the side
// for a window smaller than that.
int Inset(int side) {
    return side > 100 ? 100 : side / 3;
}

}  // namespace

WindowRect DefaultWindowRect(const WindowRect& screen, const WindowRect& small) {
    // A screen with room for the tool windows beside the panels gets nearly
    // all of it; a small one the window's own size.
    if (screen.width < 1400 || screen.height < 900)
        return small;
    return {screen.left + 20, screen.top + 20, std::min(screen.width - 40, 1880),
            std::min(screen.height - 80, 1000)};
}

std::optional<WindowRect> StoredWindowRect(const CSettings& settings, const WindowRect& fallback,
                                           const std::vector<WindowRect>& screens) {
    WindowRect r;
    r.left = settings.windowLeft.value_or(fallback.left);
    r.top = settings.windowTop.value_or(fallback.top);
    r.width = std::max(settings.windowWidth.value_or(fallback.width), 320);
    r.height = std::max(settings.windowHeight.value_or(fallback.height), 240);
    const int dx = Inset(r.width);
    const int dy = Inset(r.height);
    const int points[2][2] = {{r.left + dx, r.top + dy}, {r.Right() - dx, r.Bottom() - dy}};
    for (const auto& screen : screens) {
        for (const auto& p : points) {
            if (screen.Contains(p[0], p[1]))
                return r;
        }
    }
    return std::nullopt;
}

CMainController::CMainController(IRobotLink& link, IConnectionControl& connection,
                                 CSettings& settings, IniFile& ini, IMainView& view, uint32_t now)
    : link_(link),
      connection_(connection),
      settings_(settings),
      ini_(ini),
      view_(view),
      drive_(link, DriveOptionsFrom(settings), &view),
      keys_(drive_, KeyOptionsFrom(settings), &keysRelay_),
      mapping_(link, drive_, keys_, JoystickMappingFromSettings(settings), &mappingRelay_),
      lastTick_(now),
      rateStart_(now) {
    joystick_.SetListener(&mapping_);
    joystick_.SetNumber(settings_.joystickNumber);
    registrations_.Add(link_.Dispatcher().Register(
        msg::kStatus, [this](CStream& s, int32_t n) { OnStatus(s, n); }));
    registrations_.Add(link_.Dispatcher().Register(
        msg::kModeFlags, [this](CStream& s, int32_t n) { OnModeFlags(s, n); }));
}

CMainController::~CMainController() {
    joystick_.SetListener(nullptr);
}

void CMainController::KeysRelay::ShowHead(float x, float y, float z) {
    c_.mapping_.SyncHead(x, y, z);
    c_.view_.ShowHead(x, y, z);
}

void CMainController::KeysRelay::ShowHeadSlider(int16_t value) {
    c_.mapping_.SyncHeadSlider(value);
    c_.view_.ShowHeadSlider(value);
}

void CMainController::MappingRelay::ShowHead(float x, float y) {
    // The hat has no third axis; the keys' one stays.
    const float z = c_.keys_.HeadZ();
    c_.keys_.SetHead(x, y, z);
    c_.view_.ShowHead(x, y, z);
}

void CMainController::MappingRelay::ShowHeadSlider(int16_t value) {
    c_.keys_.SetHeadSlider(value);
    c_.view_.ShowHeadSlider(value);
}

void CMainController::MoveHead(float x, float y, float z) {
    drive_.SetHead(x, y, z);
    keys_.SetHead(x, y, z);
    mapping_.SyncHead(x, y, z);
}

void CMainController::MoveHeadSlider(int16_t value) {
    drive_.SetHeadSlider(value);
    keys_.SetHeadSlider(value);
    mapping_.SyncHeadSlider(value);
}

std::vector<std::string> CMainController::JoystickEntries() {
    std::vector<std::string> entries{std::string(kNoJoystickEntry)};
    for (auto& name : joystick_.DeviceNames())
        entries.push_back(std::move(name));
    return entries;
}

int CMainController::JoystickEntry(std::size_t entryCount) const {
    const int entry = joystick_.Number() + 1;
    return static_cast<std::size_t>(entry) < entryCount ? entry : -1;
}

void CMainController::ChooseJoystick(int entry) {
    const int number = entry > 0 ? entry - 1 : -1;
    joystick_.SetNumber(number);
    settings_.joystickNumber = number;
    SaveSettingsNow();
}

void CMainController::Tick(uint32_t now) {
    // Unsigned difference: the millisecond counter may wrap.
    const uint32_t since = now - lastTick_;
    const int32_t elapsed = static_cast<int32_t>(std::min<uint32_t>(since, kMaxElapsedMs));
    lastTick_ = now;
    lastElapsed_ = elapsed;

    // The game controller first, so that its stick counts in this tick.
    joystick_.Tick(elapsed);
    keys_.Tick();

    if (focusCountdown_ > 0) {
        focusCountdown_ -= kTickMs;
        if (focusCountdown_ <= 0) {
            focusCountdown_ = 0;
            view_.FocusDriveJoystick();
        }
    }

    const uint32_t window = now - rateStart_;
    if (window >= static_cast<uint32_t>(kRateWindowMs)) {
        const double bytes = connection_.TakeReceivedBytes();
        const double rate = bytes * 8000.0 / static_cast<double>(window) / 1024.0;
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", rate);
        view_.ShowIncomingRate(text);
        rateStart_ = now;
    }

    if (panelTick_)
        panelTick_(elapsed);
    panelTickHooks_.Call(now, elapsed);

    if (link_.Authorised())
        authorisedTickHooks_.Call(now, elapsed);
    // Drive, head joystick and head slider (they send only while authorised).
    drive_.Tick(elapsed);
    poller_.Tick(link_, elapsed);
    lateTickHooks_.Call(now, elapsed);
    connection_.Tick();
}

HookSubscription CMainController::OnTick(TickStage stage,
                                         std::function<void(uint32_t, int32_t)> hook) {
    switch (stage) {
        case TickStage::Panels:
            return panelTickHooks_.Add(std::move(hook));
        case TickStage::Authorised:
            return authorisedTickHooks_.Add(std::move(hook));
        case TickStage::Late:
            break;
    }
    return lateTickHooks_.Add(std::move(hook));
}

MainEnabling CMainController::Enabling() const {
    MainEnabling e;
    const int32_t state = link_.State();
    const bool connected = state == kStateAuthorised;
    const bool disconnected =
        state == kStateIdle || state == kStateFailed || state == kStateRefused;
    e.connectionFields = disconnected && !settings_.locked;
    e.connectDown = connected;
    e.robotControls = connected;
    return e;
}

void CMainController::Refresh() {
    const MainEnabling e = Enabling();
    connectDown_ = e.connectDown;
    view_.ApplyEnabling(e);
}

void CMainController::OnConnectionStateChanged() {
    const int32_t state = link_.State();
    view_.ShowConnectionStatus(connection_.StatusText());
    if (state == kStateIdle || state == kStateFailed || state == kStateRefused ||
        state == kStateAuthorised) {
        Refresh();
        stateHooks_.Call(state);
    }
    if (state == kStateAuthorised) {
        // No map window is open here, so the subscription is the empty one.
        SendMapSubscription(link_, std::nullopt);
        authorisedHooks_.Call();
    }
    if (state == kStateFailed || state == kStateRefused)
        view_.ShowErrorBox(connection_.StatusText());
}

void CMainController::PressConnect(const ConnectionFields& fields) {
    connectDown_ = true;
    connection_.SetPassword(Utf8ToWide(fields.password));
    settings_.password = fields.password;
    settings_.connectionType = fields.connectionType == 1 ? 1 : 0;
    const bool tunnel = settings_.connectionType == 1;
    if (tunnel) {
        settings_.pipeHost = fields.host;
        settings_.pipePort = fields.port;
    } else {
        settings_.host = fields.host;
        settings_.port = fields.port;
    }
    SaveSettingsNow();
    const bool valid = fields.port > 0 && fields.port <= 65535;
    if (valid &&
        connection_.Connect(Utf8ToWide(fields.host), static_cast<uint16_t>(fields.port), tunnel)) {
        MainEnabling e = Enabling();
        e.connectionFields = false;
        e.connectDown = true;
        view_.ApplyEnabling(e);
        focusCountdown_ = kFocusAfterConnectMs;
    } else {
        connectDown_ = false;
        MainEnabling e;
        e.connectionFields = !settings_.locked;
        view_.ApplyEnabling(e);
    }
}

void CMainController::ReleaseConnect() {
    connectDown_ = false;
    connection_.Disconnect();
    // The connection reports state 0 itself; refresh in case it was idle.
    Refresh();
}

void CMainController::ToggleConnect(const ConnectionFields& fields) {
    if (connectDown_)
        ReleaseConnect();
    else
        PressConnect(fields);
}

void CMainController::OnStatus(CStream& payload, int32_t length) {
    const RobotStatus status = DecodeRobotStatus(payload, length);
    if (settings_.battery)
        view_.ShowBattery(FormatBattery(status));
    view_.ShowHeight(FormatHeight(status.height));
    if (status.randomWalk)
        view_.ShowRandomWalk(*status.randomWalk);
    if (status.emotion && *status.emotion < kEmotionCount)
        view_.ShowEmotion(*status.emotion);
}

void CMainController::OnModeFlags(CStream& payload, int32_t length) {
    const RobotModeFlags flags = DecodeRobotModeFlags(payload, length);
    view_.ShowAutoMode(flags.AutoMode());
    view_.ShowQrMode(flags.QrMode());
}

void CMainController::SetAutoMode(bool on) {
    if (link_.Authorised())
        SendAutoMode(link_, on);
}

void CMainController::SetRandomWalk(bool on) {
    if (link_.Authorised())
        SendRandomWalk(link_, on);
}

void CMainController::SetQrMode(bool on) {
    if (link_.Authorised())
        SendQrMode(link_, on);
}

void CMainController::Parking(bool start) {
    if (link_.Authorised())
        SendParking(link_, start);
}

void CMainController::SetVolume(int volume) {
    if (link_.Authorised())
        SendVolume(link_, static_cast<uint8_t>(std::clamp(volume, 0, 100)));
}

void CMainController::SendHeight(double height) {
    if (!link_.Authorised())
        return;
    const double h = std::clamp(height, settings_.liftMinHeight,
                                std::max(settings_.liftMinHeight, settings_.liftMaxHeight));
    SendBodyHeight(link_, static_cast<float>(h));
}

void CMainController::ChooseAvatar(std::size_t index) {
    if (!link_.Authorised() || index >= settings_.avatars.size())
        return;
    SendAvatar(link_, Utf8ToAnsi(settings_.avatars[index].model));
}

bool CMainController::SaveSettingsNow() {
    SaveSettings(ini_, settings_);
    return ini_.Save();
}

bool CMainController::Close(const WindowRect& restored, bool maximised) {
    settings_.windowLeft = restored.left;
    settings_.windowTop = restored.top;
    settings_.windowWidth = restored.width;
    settings_.windowHeight = restored.height;
    settings_.windowMaximised = maximised;
    return SaveSettingsNow();
}

}  // namespace velcora
