#include "app/ctl/session.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "link/handshake.h"
#include "link/text_codec.h"
#include "platform/posix_reactor.h"

namespace velcora::ctl {

namespace {

bool ReadPasswordFile(const std::string& path, std::string& password) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::getline(in, password);
    while (!password.empty() && (password.back() == '\r' || password.back() == '\n'))
        password.pop_back();
    return true;
}

std::string& RecordedVersionText() {
    static std::string text = "velcoractl";
    return text;
}

}  // namespace

void SetRecordedVersion(std::string text) {
    RecordedVersionText() = std::move(text);
}

const std::string& RecordedVersion() {
    return RecordedVersionText();
}

bool TakeConnectionOptions(Args& args, ConnectionOptions& options, std::string& error) {
    if (auto host = args.Option("--host"))
        options.host = *host;
    if (auto port = args.Option("--port")) {
        long long value = 0;
        if (!ParseInt(*port, value) || value < 1 || value > 65535) {
            error = "--port needs a number 1..65535";
            return false;
        }
        options.port = static_cast<int>(value);
    }
    options.tunnel = args.Flag("--tunnel") || options.tunnel;
    if (auto ini = args.Option("--ini"))
        options.ini = *ini;
    if (auto file = args.Option("--password-file"))
        options.passwordFile = *file;
    if (auto timeout = args.Option("--connect-timeout")) {
        long long value = 0;
        if (!ParseInt(*timeout, value) || value < 1 || value > 3600000) {
            error = "--connect-timeout needs a number of milliseconds";
            return false;
        }
        options.connectTimeoutMs = static_cast<uint32_t>(value);
    }
    options.verbose = args.Flag("-v") || args.Flag("--verbose") || options.verbose;
    if (auto record = args.Option("--record")) {
        if (record->empty()) {
            error = "--record needs a file";
            return false;
        }
        options.record = *record;
    }
    return true;
}

Ticker::Ticker(platform::Reactor& reactor, std::function<void(int32_t)> tick, uint32_t periodMs)
    : reactor_(reactor),
      tick_(std::move(tick)),
      last_(reactor.Now()),
      timer_(reactor, periodMs, [this] {
          const uint32_t now = reactor_.Now();
          const auto elapsed = static_cast<int32_t>(now - last_);
          last_ = now;
          tick_(elapsed);
      }) {}

Session::Session(ConnectionOptions options, platform::Reactor* reactor)
    : options_(std::move(options)),
      ownReactor_(reactor ? nullptr : std::make_unique<platform::PollReactor>()),
      reactor_(reactor ? reactor : ownReactor_.get()) {
    connection_ = std::make_unique<CRobotConnection>(*reactor_, dispatcher_, this);
}

Session::~Session() {
    tick_.Stop();
    registrations_.Clear();
    // The operator's end of the session is part of the recording.
    if (recorder_ && connection_->State() != kStateIdle) {
        connection_->Disconnect();
    }
    connection_.reset();
    if (recorder_) {
        const auto drops = recorder_->Dropped();
        if (!recorder_->Close()) {
            std::fprintf(stderr, "velcoractl: the recording is incomplete: %s\n",
                         recorder_->ErrorText().c_str());
        } else if (drops.Total() > 0) {
            std::fprintf(stderr,
                         "velcoractl: the disk fell behind; %llu frames were left out of %s\n",
                         static_cast<unsigned long long>(drops.Total()), options_.record.c_str());
        }
    }
}

int Session::Open() {
    if (!HandshakeKeyError().empty()) {
        std::fprintf(stderr, "velcoractl: %s\n", HandshakeKeyError().c_str());
        return kExitFailed;
    }
    IniFile ini(SettingsFilePath(options_.ini));
    if (!ini.Load()) {
        std::fprintf(stderr, "velcoractl: cannot read %s\n", ini.Path().c_str());
        return kExitFailed;
    }
    LoadSettings(ini, settings_);

    // The password: a file named on the command line, else the environment,
    // else the settings file.
    std::string password = settings_.password;
    if (const char* env = std::getenv("VELCORA_PASSWORD"))
        password = env;
    if (!options_.passwordFile.empty() && !ReadPasswordFile(options_.passwordFile, password)) {
        std::fprintf(stderr, "velcoractl: cannot read %s\n", options_.passwordFile.c_str());
        return kExitUsage;
    }
    connection_->SetPassword(Utf8ToWide(password));

    const bool tunnel = options_.tunnel || (options_.host.empty() && settings_.connectionType == 1);
    std::string host = options_.host;
    if (host.empty())
        host = tunnel ? settings_.pipeHost : settings_.host;
    int port = options_.port;
    if (port < 0)
        port = tunnel ? settings_.pipePort : settings_.port;
    if (host.empty()) {
        return UsageError("no robot host: give --host or set it in " + ini.Path());
    }
    if (port < 1 || port > 65535) {
        return UsageError("the port in " + ini.Path() + " is out of range");
    }

    if (!options_.record.empty() && !recorder_) {
        RecorderOptions ro;
        ro.path = options_.record;
        ro.consoleVersion = RecordedVersion();
        recorder_ = std::make_unique<CSessionRecorder>(std::move(ro));
        std::string error;
        if (!recorder_->Open(error)) {
            recorder_.reset();
            std::fprintf(stderr, "velcoractl: %s\n", error.c_str());
            return kExitFailed;
        }
        connection_->SetFrameTap(recorder_.get());
    }
    tick_ = platform::ScopedTimer(*reactor_, kControllerTickMs, [this] { connection_->Tick(); });
    const bool started =
        connection_->Connect(Utf8ToWide(host), static_cast<uint16_t>(port), tunnel);
    if (!started && connection_->State() == kStateIdle) {
        std::fprintf(stderr, "Ошибка подключения!\n");
        return kExitNoConnection;
    }
    const int32_t state = [&] {
        reactor_->RunUntil(
            [&] {
                const int32_t s = connection_->State();
                return s == kStateAuthorised || s == kStateRefused || s == kStateFailed;
            },
            options_.connectTimeoutMs);
        return connection_->State();
    }();
    if (state == kStateAuthorised)
        return kExitDone;
    if (state == kStateRefused) {
        std::fprintf(stderr, "Неверный пароль!\n");
        return kExitWrongPassword;
    }
    connection_->Disconnect();
    std::fprintf(stderr, "Ошибка подключения!\n");
    return kExitNoConnection;
}

Session::Outcome Session::RunUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    bool lost = false;
    const bool finished = reactor_->RunUntil(
        [&] {
            if (done())
                return true;
            const int32_t state = connection_->State();
            const bool retrying = state >= kStateRetryWait && state <= kStateAuthorising;
            lost = state != kStateAuthorised && !(again_ && retrying);
            return lost;
        },
        timeoutMs);
    if (finished && !lost)
        return Outcome::Done;
    return lost ? Outcome::Lost : Outcome::TimedOut;
}

int Session::ExitFor(Outcome outcome, const char* timeoutText) {
    switch (outcome) {
        case Outcome::Done:
            return kExitDone;
        case Outcome::Lost:
            std::fprintf(stderr, "Ошибка подключения!\n");
            return kExitNoConnection;
        case Outcome::TimedOut:
            if (timeoutText)
                std::fprintf(stderr, "%s\n", timeoutText);
            return kExitFailed;
    }
    return kExitFailed;
}

int Session::WaitForReply(const std::function<bool()>& done,
                          const std::optional<std::string>& failure, uint32_t timeoutMs) {
    const Outcome outcome = RunUntil([&] { return done() || failure.has_value(); }, timeoutMs);
    if (outcome != Outcome::Done)
        return ExitFor(outcome, "velcoractl: the robot did not answer");
    if (failure) {
        std::fprintf(stderr, "%s\n", failure->c_str());
        return kExitFailed;
    }
    return kExitDone;
}

void Session::On(msg::Type type, CMessageDispatcher::Handler handler) {
    registrations_.Add(dispatcher_.Register(type, std::move(handler)));
}

void Session::Send(msg::Type type, std::string_view payload) {
    WriteBytes(connection_->BeginFrame(type), payload);
    connection_->EndFrame();
}

void Session::OnConnectionStateChanged() {
    // The connection reports state 7 again when the robot is first heard:
    // only a change into it is a new authorisation.
    const int32_t now = connection_->State();
    const bool fresh = now == kStateAuthorised && lastState_ != kStateAuthorised;
    lastState_ = now;
    if (fresh && ++authorisations_ > 1) {
        ++reconnects_;
        if (again_)
            again_();
    }
    if (!options_.verbose)
        return;
    // The texts of the final states are printed by Open in any case.
    const int32_t state = connection_->State();
    const std::string text(state == kStateFailed || state == kStateRefused
                               ? std::string_view()
                               : connection_->StatusText());
    if (text != lastText_ && !text.empty())
        std::fprintf(stderr, "%s\n", text.c_str());
    lastText_ = text;
}

}  // namespace velcora::ctl
