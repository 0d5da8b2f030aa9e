// velcoractl screen and telnet: the robot computer's desktop (a picture to a
// PNG file, the picture rate and delay, clicks, drags, keys and typing) and
// the robot's telnet console, both over the console's own controllers.
#include "app/ctl/desktop_commands.h"

#include <poll.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "link/text_codec.h"
#include "media/frame_stamp.h"
#include "media/remote_desktop.h"
#include "media/telnet.h"

namespace velcora::ctl {

namespace {

// Give up when the robot sends no desktop picture for this long.
constexpr uint32_t kPictureWaitMs = 10000;
// How long the robot gets to take input before the link closes.
constexpr uint32_t kFlushWaitMs = 5000;
constexpr uint32_t kLingerMs = 250;
constexpr uint32_t kTelnetLingerMs = 500;
constexpr int kDragSteps = 10;

void PutU32(std::string& out, uint32_t v) {
    out += static_cast<char>(v >> 24);
    out += static_cast<char>(v >> 16);
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
    PutU32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.append(type, 4);
    out += data;
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(out.data() + start),
                            static_cast<uInt>(out.size() - start));
    PutU32(out, static_cast<uint32_t>(crc));
}

// The desktop's controller with the picture, keep-alive and input of one
// velcoractl session.
class DesktopSession {
  public:
    explicit DesktopSession(Session& session)
        : session_(session),
          desktop_(session.Link(), nullptr),
          ticker_(session.Reactor(), [this](int32_t elapsed) { desktop_.Tick(elapsed); }) {}

    media::CRemoteDesktop& Desktop() { return desktop_; }

    // Waits for the robot's first picture; kExitDone or the exit code.
    int WaitForPicture() {
        const auto outcome =
            session_.RunUntil([this] { return desktop_.HasPicture(); }, kPictureWaitMs);
        if (outcome == Session::Outcome::TimedOut) {
            std::fprintf(stderr, "velcoractl: the robot sent no desktop picture in %u ms\n",
                         kPictureWaitMs);
            return kExitFailed;
        }
        return session_.ExitFor(outcome);
    }

    // Lets the input reach the robot before the link closes.
    int Finish() {
        const auto outcome =
            session_.RunUntil([this] { return session_.Link().QueuedBytes() == 0; }, kFlushWaitMs);
        if (outcome == Session::Outcome::Done)
            session_.RunUntil([] { return false; }, kLingerMs);
        return session_.ExitFor(outcome, "velcoractl: the input could not be sent");
    }

  private:
    Session& session_;
    media::CRemoteDesktop desktop_;
    Ticker ticker_;
};

bool ParseCoordinate(const std::string& text, int32_t& value) {
    long long v = 0;
    if (!ParseInt(text, v) || v < 0 || v >= media::CRemoteDesktop::kMaxSide)
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

int Grab(Session& session, const std::string& out) {
    DesktopSession d(session);
    if (const int rc = d.WaitForPicture(); rc != kExitDone)
        return rc;
    const media::PictureView pic = d.Desktop().Current();
    const std::vector<uint8_t> upright = media::UprightRows(pic);
    if (!WritePng(out, upright.data(), pic.width, pic.height, pic.pitch)) {
        std::fprintf(stderr, "velcoractl: cannot write %s\n", out.c_str());
        return kExitFailed;
    }
    std::printf("%dx%d written to %s\n", pic.width, pic.height, out.c_str());
    return kExitDone;
}

uint32_t Percentile(std::vector<uint32_t> values, int percent) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = (values.size() - 1) * static_cast<size_t>(percent) / 100;
    return values[index];
}

int Watch(Session& session, long long seconds) {
    DesktopSession d(session);
    std::vector<uint32_t> delays;
    uint64_t seen = 0;
    uint64_t pictures = 0;
    const uint32_t start = session.Reactor().Now();
    uint32_t first = 0;
    Ticker reader(
        session.Reactor(),
        [&](int32_t) {
            if (d.Desktop().Pictures() == seen)
                return;
            seen = d.Desktop().Pictures();
            if (pictures++ == 0)
                first = session.Reactor().Now();
            const media::PictureView pic = d.Desktop().Current();
            const std::vector<uint8_t> upright = media::UprightRows(pic);
            if (const auto stamp =
                    media::ReadFrameStamp(upright.data(), pic.width, pic.height, pic.pitch)) {
                const uint32_t delay =
                    media::StampDelayMs(stamp->clockMs, media::WallClockMsOfDay());
                delays.push_back(delay);
                std::fprintf(stderr, "picture %llu: robot frame %u, delay %u ms\n",
                             static_cast<unsigned long long>(pictures), stamp->frame, delay);
            }
        },
        5);
    const auto outcome =
        session.RunUntil([] { return false; }, static_cast<uint32_t>(seconds * 1000));
    if (outcome == Session::Outcome::Lost)
        return session.ExitFor(outcome);
    const uint32_t end = session.Reactor().Now();
    // The rate over the time pictures were arriving, from the first one on.
    const double span = pictures > 1 ? (end - first) / 1000.0 : (end - start) / 1000.0;
    const double fps = span > 0 ? (pictures > 1 ? pictures - 1 : pictures) / span : 0;
    std::printf(
        "{\"seconds\": %lld, \"pictures\": %llu, \"fps\": %.2f, \"stamped\": %zu, "
        "\"delay_median_ms\": %u, \"delay_p95_ms\": %u, \"delays_ms\": [",
        seconds, static_cast<unsigned long long>(pictures), fps, delays.size(),
        Percentile(delays, 50), Percentile(delays, 95));
    for (size_t i = 0; i < delays.size(); ++i)
        std::printf("%s%u", i ? ", " : "", delays[i]);
    std::printf("]}\n");
    if (pictures == 0) {
        std::fprintf(stderr, "velcoractl: the robot sent no desktop picture\n");
        return kExitFailed;
    }
    return kExitDone;
}

int Click(Session& session, int32_t x, int32_t y, bool right) {
    DesktopSession d(session);
    if (const int rc = d.WaitForPicture(); rc != kExitDone)
        return rc;
    media::CRemoteDesktop& desktop = d.Desktop();
    if (x >= desktop.Width() || y >= desktop.Height()) {
        std::fprintf(stderr, "velcoractl: %d %d is outside the %dx%d picture\n", x, y,
                     desktop.Width(), desktop.Height());
        return kExitFailed;
    }
    const media::MouseButton button = right ? media::MouseButton::Right : media::MouseButton::Left;
    desktop.MouseDown(button, x, y);
    desktop.MouseUp(button, x, y);
    return d.Finish();
}

int Drag(Session& session, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    DesktopSession d(session);
    if (const int rc = d.WaitForPicture(); rc != kExitDone)
        return rc;
    media::CRemoteDesktop& desktop = d.Desktop();
    if (x1 >= desktop.Width() || y1 >= desktop.Height()) {
        std::fprintf(stderr, "velcoractl: %d %d is outside the %dx%d picture\n", x1, y1,
                     desktop.Width(), desktop.Height());
        return kExitFailed;
    }
    desktop.MouseDown(media::MouseButton::Left, x1, y1);
    for (int i = 1; i <= kDragSteps; ++i) {
        desktop.MouseMove(x1 + (x2 - x1) * i / kDragSteps, y1 + (y2 - y1) * i / kDragSteps);
        session.RunUntil([] { return false; }, 20);
    }
    desktop.MouseUp(media::MouseButton::Left, x2, y2);
    return d.Finish();
}

int Keys(Session& session, const std::vector<std::vector<media::DesktopKey>>& combos) {
    DesktopSession d(session);
    for (const auto& combo : combos)
        d.Desktop().SendCombo(combo);
    return d.Finish();
}

int Type(Session& session, const std::vector<media::TypedKey>& keys) {
    DesktopSession d(session);
    for (const media::TypedKey& k : keys) {
        if (k.shift)
            d.Desktop().SendCombo({media::kShiftKey, k.key});
        else
            d.Desktop().SendCombo({k.key});
    }
    return d.Finish();
}

int Screen(Args& args) {
    ConnectionOptions options;
    std::string error;
    if (!TakeConnectionOptions(args, options, error))
        return UsageError(error);
    const bool right = args.Flag("--right");
    const auto secondsText = args.Option("--seconds");
    if (auto e = args.Error())
        return UsageError(*e);
    const std::vector<std::string>& rest = args.Rest();
    if (rest.empty())
        return UsageError("screen needs grab, watch, click, drag, key or type");
    const std::string& what = rest[0];
    const size_t count = rest.size() - 1;

    // Everything is checked before connecting.
    std::vector<int32_t> at;
    std::vector<std::vector<media::DesktopKey>> combos;
    std::vector<media::TypedKey> typed;
    long long seconds = 5;
    if (what == "grab") {
        if (count != 1 || rest[1].empty())
            return UsageError("screen grab needs OUT.png");
    } else if (what == "watch") {
        if (count != 0)
            return UsageError("screen watch takes --seconds S only");
        if (secondsText && (!ParseInt(*secondsText, seconds) || seconds < 1 || seconds > 3600))
            return UsageError("--seconds needs 1..3600");
    } else if (what == "click" || what == "drag") {
        const size_t need = what == "click" ? 2 : 4;
        if (count != need)
            return UsageError(what == "click" ? "screen click needs X Y"
                                              : "screen drag needs X1 Y1 X2 Y2");
        for (size_t i = 1; i <= need; ++i) {
            int32_t v = 0;
            if (!ParseCoordinate(rest[i], v))
                return UsageError("coordinates are picture pixels, 0..4095");
            at.push_back(v);
        }
    } else if (what == "key") {
        if (count == 0)
            return UsageError("screen key needs keys such as alt+f4");
        for (size_t i = 1; i <= count; ++i) {
            auto combo = media::ParseKeyCombo(rest[i]);
            if (combo.empty())
                return UsageError("unknown key in " + rest[i]);
            combos.push_back(std::move(combo));
        }
    } else if (what == "type") {
        if (count != 1)
            return UsageError("screen type needs one TEXT (quote it)");
        for (char32_t ch : Utf8ToWide(rest[1])) {
            const auto key = media::KeyForCharacter(ch);
            if (!key)
                return UsageError("screen type cannot type " +
                                  WideToUtf8(std::u16string(1, static_cast<char16_t>(ch))) +
                                  " (letters, digits, space and US punctuation only)");
            typed.push_back(*key);
        }
    } else {
        return UsageError("unknown screen command " + what);
    }
    if (right && what != "click")
        return UsageError("--right goes with screen click");

    Session session(options);
    if (const int rc = session.Open(); rc != kExitDone)
        return rc;
    if (what == "grab")
        return Grab(session, rest[1]);
    if (what == "watch")
        return Watch(session, seconds);
    if (what == "click")
        return Click(session, at[0], at[1], right);
    if (what == "drag")
        return Drag(session, at[0], at[1], at[2], at[3]);
    if (what == "key")
        return Keys(session, combos);
    return Type(session, typed);
}

// Prints the console's text as it arrives.
class TelnetPrinter : public media::ITelnetView {
  public:
    explicit TelnetPrinter(std::FILE* out) : out_(out) {}
    void TelnetTextChanged(std::u16string_view added, size_t) override {
        const std::string utf8 = WideToUtf8(added);
        std::fwrite(utf8.data(), 1, utf8.size(), out_);
        std::fflush(out_);
    }
    void TelnetStateChanged(media::TelnetState) override {}

  private:
    std::FILE* out_;
};

int Telnet(Args& args) {
    ConnectionOptions options;
    std::string error;
    if (!TakeConnectionOptions(args, options, error))
        return UsageError(error);
    const auto portText = args.Option("--telnet-port");
    if (auto e = args.Error())
        return UsageError(*e);
    if (!args.Rest().empty())
        return UsageError("telnet takes no other arguments");
    long long port = -1;
    if (portText && (!ParseInt(*portText, port) || port < 1 || port > 65535))
        return UsageError("--telnet-port needs 1..65535");
    Session session(options);
    if (const int rc = session.Open(); rc != kExitDone)
        return rc;
    if (port < 0)
        port = session.Settings().telnetPort;
    return RunTelnetConsole(session, static_cast<int>(port), STDIN_FILENO, stdout);
}

}  // namespace

bool WritePng(const std::string& path, const uint8_t* bgr, int32_t width, int32_t height,
              int32_t pitch) {
    if (!bgr || width <= 0 || height <= 0 || pitch < width * 3)
        return false;
    // Each row: filter 0, then red, green, blue.
    const size_t rowBytes = static_cast<size_t>(width) * 3 + 1;
    std::string raw(rowBytes * static_cast<size_t>(height), '\0');
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = bgr + static_cast<size_t>(y) * static_cast<size_t>(pitch);
        char* dst = raw.data() + static_cast<size_t>(y) * rowBytes + 1;
        for (int32_t x = 0; x < width; ++x) {
            dst[3 * x] = static_cast<char>(src[3 * x + 2]);
            dst[3 * x + 1] = static_cast<char>(src[3 * x + 1]);
            dst[3 * x + 2] = static_cast<char>(src[3 * x]);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        return false;
    packed.resize(packedSize);
    std::string file("\x89PNG\r\n\x1A\n", 8);
    std::string header;
    PutU32(header, static_cast<uint32_t>(width));
    PutU32(header, static_cast<uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, no interlace
    PutChunk(file, "IHDR", header);
    PutChunk(file, "IDAT", packed);
    PutChunk(file, "IEND", {});
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && written;
}

int RunTelnetConsole(Session& session, int port, int inputFd, std::FILE* out) {
    TelnetPrinter printer(out);
    media::CTelnetConsole console(session.Reactor(), &printer, &session.Link());
    console.Open(port, session.Connection().Address(), true);
    if (console.State() == media::TelnetState::Off) {
        std::fprintf(stderr, "velcoractl: no telnet port (%d) or robot address\n", port);
        return kExitNoConnection;
    }
    // One connect attempt decides whether the console is there.
    const auto reached = session.RunUntil(
        [&] {
            // A refused or failed connect closes its socket at once.
            return console.State() != media::TelnetState::Connecting ||
                   console.Socket() == platform::kNoSocket || console.Attempts() > 1;
        },
        UINT32_MAX);
    if (reached == Session::Outcome::Lost)
        return session.ExitFor(reached);
    if (console.State() == media::TelnetState::Connecting) {
        std::fprintf(stderr, "velcoractl: the robot's telnet console on port %d is unreachable\n",
                     port);
        return kExitNoConnection;
    }

    std::string pending;
    bool inputEnded = false;
    uint32_t endedAt = 0;
    auto readInput = [&] {
        if (inputEnded)
            return;
        pollfd p{inputFd, POLLIN, 0};
        while (::poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP))) {
            char buffer[4096];
            const ssize_t got = ::read(inputFd, buffer, sizeof buffer);
            if (got <= 0) {
                inputEnded = true;
                endedAt = session.Reactor().Now();
                break;
            }
            pending.append(buffer, static_cast<size_t>(got));
        }
        size_t lineEnd;
        while ((lineEnd = pending.find('\n')) != std::string::npos ||
               (inputEnded && !pending.empty())) {
            std::string line = pending.substr(0, lineEnd);
            pending.erase(0, lineEnd == std::string::npos ? pending.size() : lineEnd + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            console.SendLine(Utf8ToWide(line));
        }
    };
    Ticker input(session.Reactor(), [&](int32_t) { readInput(); });
    const auto outcome = session.RunUntil(
        [&] {
            if (console.State() != media::TelnetState::Connected &&
                console.State() != media::TelnetState::TakenOver)
                return true;
            return inputEnded && session.Reactor().Now() - endedAt >= kTelnetLingerMs;
        },
        UINT32_MAX);
    if (outcome == Session::Outcome::Lost)
        return session.ExitFor(outcome);
    return kExitDone;
}

void RegisterDesktopCommands(Registry& registry) {
    registry.Add({"screen",
                  std::string("screen grab OUT.png | watch [--seconds S] | click X Y [--right] | "
                              "drag X1 Y1 X2 Y2 | key KEYS... | type TEXT ") +
                      kConnectionSynopsis,
                  "the robot computer's desktop: save it upright as PNG, measure its picture "
                  "rate and delay, click, drag, press keys (alt+f4) and type (picture "
                  "coordinates)",
                  Screen});
    registry.Add({"telnet", std::string("telnet [--telnet-port P] ") + kConnectionSynopsis,
                  "the robot's telnet console: its text on stdout, lines from stdin sent", Telnet});
}

}  // namespace velcora::ctl
