// What the main window offers the tool windows it opens: the connection, the
// settings, and hooks into its state reports and its 20 ms tick. Every hook is
// a subscription that ends when the window holding it closes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/hook_list.h"

namespace velcora {

namespace platform {
class Reactor;
}
class CRobotConnection;
struct CSettings;
class IniFile;

// Where in the 20 ms tick a hook runs.
enum class TickStage {
    // After the video panels' and the microphone's periodic work.
    Panels,
    // Only while authorised, before the drive and head commands (the remote
    // desktop's keep-alive).
    Authorised,
    // After the status request, before the connection's own tick (the map's
    // periodic work).
    Late,
};

class IConsoleHooks {
  public:
    virtual ~IConsoleHooks() = default;
    // States 0, 1, 2 and 7, after the main window refreshed its controls.
    virtual HookSubscription OnStateChanged(std::function<void(int32_t state)> hook) = 0;
    // Every authorisation report (at authorisation and when the robot is
    // first heard).
    virtual HookSubscription OnAuthorised(std::function<void()> hook) = 0;
    virtual HookSubscription OnTick(TickStage stage,
                                    std::function<void(uint32_t now, int32_t elapsedMs)> hook) = 0;
};

// What a tool window gets from the main window when it opens.
struct ToolContext {
    platform::Reactor& reactor;
    CRobotConnection& connection;
    CSettings& settings;
    IniFile& ini;
    IConsoleHooks& hooks;
    // Writes the settings file now.
    std::function<bool()> saveSettings;
    // The folder of the settings file in use.
    std::string settingsDir;
};

}  // namespace velcora
