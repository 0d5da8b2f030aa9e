#include "link/settings.h"

#include <strings.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/handshake.h"
#include "link/text_codec.h"

namespace velcora {

namespace {

std::string Indexed(const char* format, int i) {
    char name[64];
    std::snprintf(name, sizeof(name), format, i);
    return name;
}

bool Flag(const IniFile& ini, const char* section, const char* key, bool fallback) {
    return ini.GetInt(section, key, fallback ? 1 : 0) != 0;
}

}  // namespace

void LoadSettings(const IniFile& ini, CSettings& s) {
    s = CSettings{};
    s.connectionType = ini.GetInt(kSectionRobot, "connectionType", 0);
    s.host = ini.GetString(kSectionRobot, "host");
    s.port = ini.GetInt(kSectionRobot, "port", 5554);
    s.telnetPort = ini.GetInt(kSectionRobot, "telnet_port", 23);
    // The password is scrambled over its ANSI bytes, as the robot sees them.
    s.password = AnsiToUtf8(LoadStoredPassword(ini.GetString(kSectionRobot, "password")));
    s.pipeHost = ini.GetString(kSectionPipe, "host");
    s.pipePort = ini.GetInt(kSectionPipe, "port", 8081);

    s.locked = Flag(ini, kSectionInterface, "locked", false);
    s.cyclogramLocked = Flag(ini, kSectionInterface, "cyclogramLocked", false);

    s.joystickNumber = ini.GetInt(kSectionJoystick, "number", -1);
    for (int i = 0; i < 3; ++i)
        s.wheelModeBtn[i] = ini.GetInt(kSectionJoystick, Indexed("wheelMode%dBtn", i), 0);
    s.liftUpBtn = ini.GetInt(kSectionJoystick, "liftUpBtn", 0);
    s.liftDownBtn = ini.GetInt(kSectionJoystick, "liftDownBtn", 0);
    s.trayUpBtn = ini.GetInt(kSectionJoystick, "trayUpBtn", 0);
    s.trayDownBtn = ini.GetInt(kSectionJoystick, "trayDownBtn", 0);
    s.smoothIncX = ini.GetDouble(kSectionJoystick, "smoothIncX", 0.5);
    s.smoothIncY = ini.GetDouble(kSectionJoystick, "smoothIncY", 0.5);

    s.camera[0] = ini.GetInt(kSectionCameras, "camera1", 0);
    s.camera[1] = ini.GetInt(kSectionCameras, "camera2", 1);
    for (int i = 0; i < 2; ++i)
        s.bitrate[i] = ini.GetInt(kSectionVideo, Indexed("bitrate%d", i + 1), 400000);

    s.maxHistoryItems = ini.GetInt(kSectionHistory, "max_history_item_count", 20);
    const int count = ini.GetInt(kSectionHistory, "count", 0);
    // Exactly `count` phrases; a count far beyond the keys present cannot make
    // the loop run away.
    for (int i = 0; i < count && i < 100000; ++i) {
        const auto text = ini.Find(kSectionHistory, Indexed("item%d", i), 4095);
        if (!text && !ini.Find(kSectionHistory, Indexed("locked%d", i)))
            break;
        HistoryItem item;
        item.text = text.value_or("");
        item.locked = ini.GetInt(kSectionHistory, Indexed("locked%d", i), 0) != 0;
        item.hotkey = ini.GetInt(kSectionHistory, Indexed("hotkey%d", i), 0);
        s.history.push_back(std::move(item));
    }

    s.inAudioParamCode = ini.GetInt(kSectionAudio, "inAudioParamCode", 0);
    s.inBitRate = ini.GetInt(kSectionAudio, "inBitRate", 64000);
    s.outAudioParamCode = ini.GetInt(kSectionAudio, "outAudioParamCode", 0);
    s.outBitRate = ini.GetInt(kSectionAudio, "outBitRate", 64000);
    s.audioInDevice = ini.GetInt(kSectionAudio, "AUDIO_IN_DEVICE", -1);
    s.speechSpeed = ini.GetInt(kSectionAudio, "speech_speed", 130);
    s.speechBlockCount = ini.GetInt(kSectionAudio, "speechBlockCount", 5);
    s.audioMinLevel = ini.GetInt(kSectionAudio, "audioMinLevel", -1);

    const char* c = kSectionControls;
    s.cyclograms = Flag(ini, c, "cyclograms", false);
    s.wheelPanel = Flag(ini, c, "wheelPanel", true);
    s.mapPanel = Flag(ini, c, "mapPanel", true);
    s.joyAutoFocus = Flag(ini, c, "joyAutoFocus", true);
    s.wheelMode = Flag(ini, c, "wheelMode", false);
    s.head = Flag(ini, c, "head", true);
    s.lift = Flag(ini, c, "lift", false);
    s.tray = Flag(ini, c, "tray", false);
    s.battery = Flag(ini, c, "battery", false);
    s.park = Flag(ini, c, "park", false);
    s.rotDebugger = Flag(ini, c, "rot_debugger", false);
    s.liftCalib = Flag(ini, c, "liftCalib", false);
    s.trayCalib = Flag(ini, c, "trayCalib", false);
    s.wheelCalib = ini.GetInt(c, "wheelCalib", 0);
    s.armCalib = ini.GetInt(c, "armCalib", 0);
    s.headCalib = ini.GetInt(c, "headCalib", 0);
    s.headAxis = ini.GetInt(c, "headAxis", 1);
    s.remoteDesktop = Flag(ini, c, "remoteDesktop", false);
    s.headDeltas = ini.GetInt(c, "headDeltas", 0);
    if (s.headDeltas == 1)
        s.headDeltas = 32;
    s.liftSpeed = ini.GetInt(c, "liftSpeed", 0);
    s.traySpeed = ini.GetInt(c, "traySpeed", 0);
    s.autobalans = Flag(ini, c, "autobalans", false);
    s.gestures = Flag(ini, c, "gestures", false);
    s.liftFixedMode = Flag(ini, c, "liftFixedMode", true);
    s.trayFixedMode = Flag(ini, c, "trayFixedMode", false);
    s.liftMinHeight = ini.GetDouble(c, "lift_min_height", 0.0);
    s.liftMaxHeight = ini.GetDouble(c, "lift_max_height", 30.0);
    s.standard = ParseRobotStandard(ini.GetString(c, "standard", "vel"));

    s.halfWidth = ini.GetDouble(kSectionRobotDraw, "half_width", 27.5);
    s.frontSize = ini.GetDouble(kSectionRobotDraw, "front_size", 16.0);
    s.backSize = ini.GetDouble(kSectionRobotDraw, "back_size", 42.0);

    s.rangeNear = ini.GetIntStrict(kSectionRangefinders, "near", 100);
    s.rangeFar = ini.GetIntStrict(kSectionRangefinders, "far", 300);
    s.forwardNear = ini.GetIntStrict(kSectionRangefinders, "forward_near", 600);
    s.forwardFar = ini.GetIntStrict(kSectionRangefinders, "forward_far", 400);

    s.putty = ini.GetString(kSectionPutty, "putty");

    // Avatars in section order: every "avatarN" names one, "modelN" is what it sends.
    for (const auto& [key, value] : ini.GetSection(kSectionAvatars)) {
        if (key.size() <= 6 || strncasecmp(key.c_str(), "avatar", 6) != 0)
            continue;
        char* end = nullptr;
        const long n = std::strtol(key.c_str() + 6, &end, 10);
        if (end == key.c_str() + 6)
            continue;
        std::string name = value;
        name.erase(0, name.find_first_not_of(" \t"));
        s.avatars.push_back(
            {name, ini.GetString(kSectionAvatars, Indexed("model%d", static_cast<int>(n)))});
    }
    for (int i = 0; i < 10; ++i) {
        std::string lang = ini.GetString(kSectionLanguages, Indexed("lang%d", i), {}, 63);
        if (!lang.empty())
            s.languages.push_back(std::move(lang));
    }

    const char* w = kSectionMainWindow;
    if (auto v = ini.Find(w, "left"); v && !v->empty())
        s.windowLeft = ini.GetInt(w, "left", 0);
    if (auto v = ini.Find(w, "top"); v && !v->empty())
        s.windowTop = ini.GetInt(w, "top", 0);
    if (auto v = ini.Find(w, "width"); v && !v->empty())
        s.windowWidth = ini.GetInt(w, "width", 0);
    if (auto v = ini.Find(w, "height"); v && !v->empty())
        s.windowHeight = ini.GetInt(w, "height", 0);
    s.windowMaximised = ini.GetInt(w, "windowState", 0) != 0;
}

void SaveHistory(IniFile& ini, const CSettings& s) {
    ini.WriteInt(kSectionHistory, "max_history_item_count", s.maxHistoryItems);
    ini.WriteInt(kSectionHistory, "count", static_cast<long long>(s.history.size()));
    for (std::size_t i = 0; i < s.history.size(); ++i) {
        const int n = static_cast<int>(i);
        ini.WriteInt(kSectionHistory, Indexed("locked%d", n), s.history[i].locked ? 1 : 0);
        ini.WriteString(kSectionHistory, Indexed("item%d", n), s.history[i].text);
        ini.WriteInt(kSectionHistory, Indexed("hotkey%d", n), s.history[i].hotkey);
    }
}

void SaveSettings(IniFile& ini, const CSettings& s) {
    ini.WriteInt(kSectionRobot, "connectionType", s.connectionType);
    ini.WriteString(kSectionRobot, "host", s.host);
    ini.WriteInt(kSectionRobot, "port", s.port);
    ini.WriteString(kSectionRobot, "password", StorePassword(Utf8ToAnsi(s.password)));
    ini.WriteString(kSectionPipe, "host", s.pipeHost);
    ini.WriteInt(kSectionPipe, "port", s.pipePort);
    ini.WriteInt(kSectionInterface, "locked", s.locked ? 1 : 0);
    ini.WriteInt(kSectionJoystick, "number", s.joystickNumber);
    ini.WriteInt(kSectionCameras, "camera1", s.camera[0]);
    ini.WriteInt(kSectionCameras, "camera2", s.camera[1]);
    ini.WriteInt(kSectionVideo, "bitrate1", s.bitrate[0]);
    ini.WriteInt(kSectionVideo, "bitrate2", s.bitrate[1]);
    SaveHistory(ini, s);
    // The incoming sound's choice in the sound dialog is kept too, so that it
    // survives a restart like the outgoing one.
    ini.WriteInt(kSectionAudio, "inAudioParamCode", s.inAudioParamCode);
    ini.WriteInt(kSectionAudio, "inBitRate", s.inBitRate);
    ini.WriteInt(kSectionAudio, "outAudioParamCode", s.outAudioParamCode);
    ini.WriteInt(kSectionAudio, "outBitRate", s.outBitRate);
    ini.WriteInt(kSectionAudio, "AUDIO_IN_DEVICE", s.audioInDevice);
    if (s.windowLeft)
        ini.WriteInt(kSectionMainWindow, "left", *s.windowLeft);
    if (s.windowTop)
        ini.WriteInt(kSectionMainWindow, "top", *s.windowTop);
    if (s.windowWidth)
        ini.WriteInt(kSectionMainWindow, "width", *s.windowWidth);
    if (s.windowHeight)
        ini.WriteInt(kSectionMainWindow, "height", *s.windowHeight);
    ini.WriteInt(kSectionMainWindow, "windowState", s.windowMaximised ? 1 : 0);
    ini.WriteString(kSectionPutty, "putty", s.putty);
}

}  // namespace velcora
