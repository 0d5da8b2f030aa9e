// The console's preferences in velcora.ini: every section the main window
// reads at start-up, with its defaults, and the subset it writes back. Tool
// windows read and write their own sections (command buttons "DBUTTON%d",
// "GESTURES", "FILE MANAGER") through the IniFile directly.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/control_commands.h"
#include "link/ini_file.h"

namespace velcora {

// Section names.
inline constexpr const char* kSectionRobot = "ROBOT";
inline constexpr const char* kSectionPipe = "PIPE";
inline constexpr const char* kSectionInterface = "INTERFACE";
inline constexpr const char* kSectionJoystick = "JOYSTICK";
inline constexpr const char* kSectionCameras = "CAMERAS";
inline constexpr const char* kSectionVideo = "VIDEO";
inline constexpr const char* kSectionHistory = "HISTORY";
inline constexpr const char* kSectionAudio = "AUDIO";
inline constexpr const char* kSectionControls = "CONTROLS";
inline constexpr const char* kSectionRobotDraw = "ROBOT DRAW";
inline constexpr const char* kSectionRangefinders = "RANGEFINDERS";
inline constexpr const char* kSectionPutty = "PuTTY";
inline constexpr const char* kSectionAvatars = "AVATARS";
inline constexpr const char* kSectionLanguages = "LANGUAGES";
inline constexpr const char* kSectionMainWindow = "MAIN WINDOW";
inline constexpr const char* kSectionGestures = "GESTURES";
inline constexpr const char* kSectionFileManager = "FILE MANAGER";
// Command button sections: "DBUTTON%d", %d = 0..kCommandButtonSlots-1.
inline constexpr const char* kCommandButtonSectionFormat = "DBUTTON%d";
inline constexpr int kCommandButtonSlots = 30;

struct Avatar {
    std::string name;   // shown in the menu
    std::string model;  // sent to the robot (UTF-8 here; ANSI on the wire)
};

struct HistoryItem {
    std::string text;
    bool locked = false;
    int hotkey = 0;  // 'A'..'Z', '0'..'9', or 0
};

// Texts are UTF-8.
struct CSettings {
    // ROBOT
    int connectionType = 0;  // 0 direct, 1 through the relay
    std::string host;
    int port = 5554;
    std::string password;  // plain; stored scrambled
    int telnetPort = 23;
    // PIPE
    std::string pipeHost;
    int pipePort = 8081;
    // INTERFACE
    bool locked = false;
    bool cyclogramLocked = false;
    // JOYSTICK
    int joystickNumber = -1;
    int wheelModeBtn[3] = {0, 0, 0};
    int liftUpBtn = 0, liftDownBtn = 0, trayUpBtn = 0, trayDownBtn = 0;
    double smoothIncX = 0.5, smoothIncY = 0.5;
    // CAMERAS, VIDEO
    int camera[2] = {0, 1};
    int bitrate[2] = {400000, 400000};
    // HISTORY
    int maxHistoryItems = 20;
    std::vector<HistoryItem> history;
    // AUDIO
    int inAudioParamCode = 0;
    int inBitRate = 64000;
    int outAudioParamCode = 0;
    int outBitRate = 64000;
    int audioInDevice = -1;
    int speechSpeed = 130;
    int speechBlockCount = 5;
    int audioMinLevel = -1;
    // CONTROLS
    bool cyclograms = false;
    bool wheelPanel = true;
    bool mapPanel = true;
    bool joyAutoFocus = true;
    bool wheelMode = false;
    bool head = true;
    bool lift = false;
    bool tray = false;
    bool battery = false;
    bool park = false;
    bool rotDebugger = false, liftCalib = false, trayCalib = false;
    int wheelCalib = 0, armCalib = 0, headCalib = 0;
    int headAxis = 1;
    bool remoteDesktop = false;
    int headDeltas = 0;  // 0 absolute; otherwise the step (a stored 1 means 32)
    int liftSpeed = 0;
    int traySpeed = 0;
    bool autobalans = false;
    bool gestures = false;
    bool liftFixedMode = true;
    bool trayFixedMode = false;
    double liftMinHeight = 0.0;
    double liftMaxHeight = 30.0;
    RobotStandard standard = RobotStandard::Vel;
    // ROBOT DRAW
    double halfWidth = 27.5, frontSize = 16.0, backSize = 42.0;
    // RANGEFINDERS
    int rangeNear = 100, rangeFar = 300, forwardNear = 600, forwardFar = 400;
    // PuTTY
    std::string putty;
    // AVATARS, LANGUAGES
    std::vector<Avatar> avatars;
    std::vector<std::string> languages;
    // MAIN WINDOW: absent values keep the window's own default rectangle.
    std::optional<int> windowLeft, windowTop, windowWidth, windowHeight;
    bool windowMaximised = false;

    // Whether the service button ("Сервисное обслуживание") is shown: any
    // motor group the service window would list, or the rotation debugger.
    bool ServiceButton() const {
        return rotDebugger || liftCalib || trayCalib || wheelCalib != 0 || armCalib > 0 ||
               headCalib > 0;
    }
};

// Reads every section into `settings` (defaults for whatever is missing).
void LoadSettings(const IniFile& ini, CSettings& settings);
// Writes the persisted subset into `ini` (in memory; call ini.Save()).
// GESTURES belong to the gestures panel and are written by it.
void SaveSettings(IniFile& ini, const CSettings& settings);
// The settings file's history part on its own (edits and limit changes).
void SaveHistory(IniFile& ini, const CSettings& settings);

}  // namespace velcora
