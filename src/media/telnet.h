// The robot's console over its own TCP connection: the telnet byte stream
// decoded to text (commands answered, terminal controls dropped, KOI8-R to
// UTF-16), a bounded text kept for the window, the reconnecting socket, and
// console text the robot pushes through the link instead. UI-free; the telnet
// window and the command-line client are views over it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/dispatcher.h"
#include "link/robot_link.h"
#include "platform/reactor.h"

namespace velcora::media {

// Interface texts (UTF-8).
inline constexpr std::string_view kTelnetTitle = "Telnet";
inline constexpr std::string_view kTelnetCommand = "Открыть telnet на робота";

// Telnet bytes to text, kept across chunks: any split of a stream gives the
// same text and the same answers.
class CTelnetDecoder {
  public:
    static constexpr uint8_t kIac = 255;
    static constexpr uint8_t kDont = 254;
    static constexpr uint8_t kDo = 253;
    static constexpr uint8_t kWont = 252;
    static constexpr uint8_t kWill = 251;
    static constexpr uint8_t kSb = 250;
    static constexpr uint8_t kSe = 240;
    static constexpr uint8_t kEcho = 1;
    static constexpr uint8_t kSuppressGoAhead = 3;
    // A control sequence longer than this is not one: text resumes.
    static constexpr int32_t kMaxSequence = 256;

    // Appends the text in `data` to `text` and the negotiation answers owed
    // to `replies`.
    void Feed(const uint8_t* data, size_t length, std::u16string& text, std::string& replies);
    void Reset();

  private:
    enum class Telnet : uint8_t { Data, Iac, Option, Sub, SubIac };
    enum class Terminal : uint8_t { Data, AfterCr, Esc, Csi, Osc, OscEsc };

    void Negotiate(uint8_t command, uint8_t option, std::string& replies);
    void TextByte(uint8_t b, std::u16string& text);

    Telnet telnet_ = Telnet::Data;
    Terminal terminal_ = Terminal::Data;
    uint8_t command_ = 0;
    int32_t sequence_ = 0;
    std::array<bool, 256> answeredWill_{};
    std::array<bool, 256> answeredDo_{};
    const char16_t* table_ = nullptr;
};

// How many characters to drop from the front of `text` so that at most
// kTelnetTextKeep remain: each step drops through the last line break at or
// before character 10000 of what is left, or the first 10000 characters
// when there is none, so a text without breaks cannot freeze full.
inline constexpr size_t kTelnetTextKeep = 60000;
inline constexpr size_t kTelnetTrimStep = 10000;
size_t TelnetTrimCount(std::u16string_view text);

// Text the robot pushes through the link: Windows-1251 up to the first zero,
// with CR LF as one line break.
std::u16string PushedConsoleText(std::string_view payload);

// A line to send: KOI8-R, 0xFF doubled, CR LF at the end.
std::string TelnetLine(std::u16string_view line);

enum class TelnetState {
    Off,            // no address, no valid port, or the operator disconnected
    Connecting,     // a connect is under way or waits for its retry
    Connected,      // reading
    ClosedByRobot,  // the robot closed the console: quiet until reopened
    TakenOver,      // the robot sends its console through the link now
};

class ITelnetView {
  public:
    virtual ~ITelnetView() = default;
    // `added` went to the end of the text, then `dropped` characters left its
    // front.
    virtual void TelnetTextChanged(std::u16string_view added, size_t dropped) = 0;
    virtual void TelnetStateChanged(TelnetState state) = 0;
};

class CTelnetConsole {
  public:
    static constexpr int32_t kReconnectMs = 4000;
    static constexpr uint32_t kTimerMs = 100;
    static constexpr int32_t kReadChunk = 16384;
    // Reading stops after this much per event, so a flood cannot starve the
    // link; the rest is reported again.
    static constexpr int32_t kMaxReadPerEvent = 1 << 20;
    // Bytes the robot has not taken yet beyond which typed lines are refused.
    static constexpr size_t kMaxPendingSend = 65536;

    // With a link, registers for pushed console text for as long as it lives.
    CTelnetConsole(platform::Reactor& reactor, ITelnetView* view, IRobotLink* link = nullptr);
    ~CTelnetConsole();
    CTelnetConsole(const CTelnetConsole&) = delete;
    CTelnetConsole& operator=(const CTelnetConsole&) = delete;

    // The window opened: `port` as the settings hold it now (outside
    // 1..65535: no connection), the address the link resolved (kNoAddress
    // when none), and whether the link is doing anything.
    void Open(int port, uint32_t address, bool linkActive);
    // The link opened a socket to the robot: connect to the same address.
    void OnRobotAddress(uint32_t address);
    // The operator disconnected the link: the console ends too.
    void OnOperatorDisconnect();
    // Console text through the link: ends the socket for good and shows it.
    void HandlePush(std::string_view payload);
    // Sends a typed line; false when not connected or too much waits.
    bool SendLine(std::u16string_view line);

    TelnetState State() const { return state_; }
    int Port() const { return port_; }
    uint32_t Address() const { return address_; }
    // The text as the window holds it (at most kTelnetTextKeep characters).
    std::u16string_view Text() const { return std::u16string_view(text_).substr(textStart_); }
    int32_t Countdown() const { return countdown_; }
    platform::SocketId Socket() const { return socket_; }
    // Connects started so far.
    int Attempts() const { return attempts_; }
    // Bytes received over the socket so far.
    uint64_t BytesReceived() const { return received_; }

    // The 100 ms timer (public for callers that drive time themselves).
    void TimerTick();

  private:
    void Connect();
    void CloseSocket();
    void SetState(TelnetState state);
    void OnSocketEvent(platform::SocketId socket, uint16_t event, int error);
    void ReadAll();
    void RemoteClosed();
    void Flush();
    void Append(std::u16string_view added);

    platform::Reactor& reactor_;
    ITelnetView* view_;
    CMessageDispatcher::Registration registration_;
    platform::ScopedTimer timer_;
    TelnetState state_ = TelnetState::Off;
    int port_ = -1;
    uint32_t address_ = platform::kNoAddress;
    platform::SocketId socket_ = platform::kNoSocket;
    int32_t countdown_ = 0;
    int attempts_ = 0;
    uint64_t received_ = 0;
    CTelnetDecoder decoder_;
    std::string out_;
    // The text starts at textStart_: dropping from the front moves the start,
    // and the storage is compacted once the dropped part outgrows the kept one.
    std::u16string text_;
    size_t textStart_ = 0;
    std::vector<uint8_t> readBuffer_;
    std::u16string added_;
};

// The strip under the console: what the connection is doing (UTF-8).
std::string TelnetStateText(TelnetState state, uint32_t address, int port);

}  // namespace velcora::media
