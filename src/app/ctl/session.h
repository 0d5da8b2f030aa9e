// One online velcoractl command's connection to the robot: the shared
// connection options, connect and authorise with the console's own link
// code, run the event loop until the command is done, and the exit codes and
// operator texts every online command shares.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/ctl/ctl.h"
#include "link/dispatcher.h"
#include "link/robot_connection.h"
#include "link/session_recorder.h"
#include "link/settings.h"
#include "platform/reactor.h"

namespace velcora::ctl {

struct ConnectionOptions {
    std::string host;                   // --host; empty = from the settings
    int port = -1;                      // --port; -1 = from the settings
    bool tunnel = false;                // --tunnel: the relay pair of the settings
    std::string ini;                    // --ini PATH
    std::string passwordFile;           // --password-file F
    bool verbose = false;               // -v: status texts on stderr
    uint32_t connectTimeoutMs = 30000;  // --connect-timeout MS
    std::string record;                 // --record FILE: the session into a recording
};

// The option synopsis for usage lines.
inline constexpr const char* kConnectionSynopsis =
    "[--host H] [--port P] [--tunnel] [--ini PATH] [--password-file F] [--connect-timeout MS] "
    "[-v] [--record FILE]";

// Takes the connection options out of `args`. False (with `error` set) on a
// malformed value.
bool TakeConnectionOptions(Args& args, ConnectionOptions& options, std::string& error);

// The program and version written into recordings (--record); main sets it.
void SetRecordedVersion(std::string text);
const std::string& RecordedVersion();

// The console drives its controllers every 20 ms; commands do the same.
inline constexpr uint32_t kControllerTickMs = 20;

// Runs `tick` on the reactor every `periodMs` with the milliseconds that
// really passed, for controllers driven by Tick(elapsedMs).
class Ticker {
  public:
    Ticker(platform::Reactor& reactor, std::function<void(int32_t)> tick,
           uint32_t periodMs = kControllerTickMs);
    Ticker(const Ticker&) = delete;
    Ticker& operator=(const Ticker&) = delete;
    // No more ticks.
    void Stop() { timer_.Stop(); }

  private:
    platform::Reactor& reactor_;
    std::function<void(int32_t)> tick_;
    uint32_t last_;
    platform::ScopedTimer timer_;
};

class Session : public IRobotConnectionOwner {
  public:
    enum class Outcome { Done, Lost, TimedOut };

    // Runs on its own poll reactor, or on `reactor` when given (tests run a
    // simulated robot on the same one).
    explicit Session(ConnectionOptions options, platform::Reactor* reactor = nullptr);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Reads the settings, connects and waits for authorisation. Returns
    // kExitDone when authorised; otherwise prints the reason to stderr
    // ("Ошибка подключения!", "Неверный пароль!", or a usage text) and returns
    // kExitNoConnection, kExitWrongPassword, kExitUsage or kExitFailed.
    int Open();

    // Handles events until `done` holds, the link is lost, or `timeoutMs` passes.
    // With a reconnect handler a link that breaks is not lost while the
    // connection retries on its own: the wait goes on, and the handler runs at
    // each new authorisation (to ask again); lost means the retries gave up.
    Outcome RunUntil(const std::function<bool()>& done, uint32_t timeoutMs);
    void SetReconnectHandler(std::function<void()> again) { again_ = std::move(again); }
    int Reconnects() const { return reconnects_; }
    // The exit code for an outcome; a lost link prints "Ошибка подключения!",
    // a time-out prints `timeoutText` (when given).
    int ExitFor(Outcome outcome, const char* timeoutText = nullptr);
    // Waits for a controller's answer: handles events until `done` holds or a
    // failure text arrives in `failure`. kExitDone when `done` came; a failure
    // is printed and gives kExitFailed; a lost link or `timeoutMs` passing give
    // ExitFor's code ("velcoractl: the robot did not answer").
    int WaitForReply(const std::function<bool()>& done, const std::optional<std::string>& failure,
                     uint32_t timeoutMs);

    // Registers a handler for an incoming type for the session's life.
    void On(msg::Type type, CMessageDispatcher::Handler handler);
    // Sends one frame.
    void Send(msg::Type type, std::string_view payload = {});

    IRobotLink& Link() { return *connection_; }
    CRobotConnection& Connection() { return *connection_; }
    platform::Reactor& Reactor() { return *reactor_; }
    const CSettings& Settings() const { return settings_; }
    const ConnectionOptions& Options() const { return options_; }

  private:
    void OnConnectionStateChanged() override;

    ConnectionOptions options_;
    CSettings settings_;
    std::unique_ptr<platform::Reactor> ownReactor_;
    platform::Reactor* reactor_;
    CMessageDispatcher dispatcher_;
    std::unique_ptr<CRobotConnection> connection_;
    std::unique_ptr<CSessionRecorder> recorder_;
    platform::ScopedTimer tick_;
    CRegistrationSet registrations_;
    std::string lastText_;
    std::function<void()> again_;
    int authorisations_ = 0;
    int32_t lastState_ = kStateIdle;
    int reconnects_ = 0;
};

}  // namespace velcora::ctl
