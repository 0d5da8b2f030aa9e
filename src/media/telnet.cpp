#include "media/telnet.h"

#include <algorithm>
#include <vector>

#include "link/text_codec.h"

namespace velcora::media {

// ------------------------------------------------------------------ decoder

void CTelnetDecoder::Reset() {
    telnet_ = Telnet::Data;
    terminal_ = Terminal::Data;
    command_ = 0;
    sequence_ = 0;
    answeredWill_.fill(false);
    answeredDo_.fill(false);
}

void CTelnetDecoder::Negotiate(uint8_t command, uint8_t option, std::string& replies) {
    // Each option is answered once: answering every repetition lets two
    // ends echo refusals at each other for ever.
    uint8_t answer = 0;
    if (command == kWill && !answeredWill_[option]) {
        answeredWill_[option] = true;
        answer = option == kEcho || option == kSuppressGoAhead ? kDo : kDont;
    } else if (command == kDo && !answeredDo_[option]) {
        answeredDo_[option] = true;
        answer = kWont;
    }
    if (answer != 0) {
        replies += static_cast<char>(kIac);
        replies += static_cast<char>(answer);
        replies += static_cast<char>(option);
    }
}

void CTelnetDecoder::TextByte(uint8_t b, std::u16string& text) {
    switch (terminal_) {
        case Terminal::AfterCr:
            terminal_ = Terminal::Data;
            if (b == '\n' || b == 0)
                return;  // CR LF and CR NUL are one break
            break;
        case Terminal::Esc:
            // Intermediate bytes continue the sequence; anything else ends it.
            if (b == '[') {
                terminal_ = Terminal::Csi;
                sequence_ = 0;
            } else if (b == ']') {
                terminal_ = Terminal::Osc;
                sequence_ = 0;
            } else if (b < 0x20 || b > 0x2F || ++sequence_ > kMaxSequence) {
                terminal_ = Terminal::Data;
            }
            return;
        case Terminal::Csi:
            if (b == 0x1B) {
                terminal_ = Terminal::Esc;
                sequence_ = 0;
            } else if ((b >= 0x40 && b <= 0x7E) || b == 0x18 || b == 0x1A ||
                       ++sequence_ > kMaxSequence) {
                terminal_ = Terminal::Data;
            }
            return;
        case Terminal::Osc:
            if (b == 0x1B)
                terminal_ = Terminal::OscEsc;
            else if (b == 0x07 || b == 0x18 || b == 0x1A || ++sequence_ > kMaxSequence)
                terminal_ = Terminal::Data;
            return;
        case Terminal::OscEsc:
            terminal_ = Terminal::Data;
            return;
        case Terminal::Data:
            break;
    }
    if (b == '\r') {
        text += u'\n';
        terminal_ = Terminal::AfterCr;
    } else if (b == '\n' || b == '\t') {
        text += static_cast<char16_t>(b);
    } else if (b == 0x1B) {
        terminal_ = Terminal::Esc;
        sequence_ = 0;
    } else if (b >= 0x80) {
        text += table_[b];
    } else if (b >= 0x20 && b != 0x7F) {
        text += static_cast<char16_t>(b);
    }
    // Other control bytes (bells, backspaces, NULs) have no place in the text.
}

void CTelnetDecoder::Feed(const uint8_t* data, size_t length, std::u16string& text,
                          std::string& replies) {
    if (!table_)
        table_ = Koi8rTable();
    for (size_t i = 0; i < length; ++i) {
        // Plain text, the bulk of any console, goes straight through the table.
        if (telnet_ == Telnet::Data && terminal_ == Terminal::Data) {
            size_t end = i;
            while (end < length) {
                const uint8_t c = data[end];
                if (c < 0x20 || c == 0x7F || c == kIac)
                    break;
                ++end;
            }
            if (end > i) {
                const size_t at = text.size();
                text.resize(at + (end - i));
                char16_t* out = text.data() + at;
                for (size_t k = i; k < end; ++k)
                    *out++ = table_[data[k]];
                i = end;
                if (i == length)
                    break;
            }
        }
        const uint8_t b = data[i];
        switch (telnet_) {
            case Telnet::Data:
                if (b == kIac)
                    telnet_ = Telnet::Iac;
                else
                    TextByte(b, text);
                break;
            case Telnet::Iac:
                if (b == kIac) {
                    telnet_ = Telnet::Data;
                    TextByte(b, text);
                } else if (b >= kWill && b <= kDont) {
                    command_ = b;
                    telnet_ = Telnet::Option;
                } else if (b == kSb) {
                    telnet_ = Telnet::Sub;
                } else {
                    telnet_ = Telnet::Data;  // NOP, GA and the other one-byte commands
                }
                break;
            case Telnet::Option:
                Negotiate(command_, b, replies);
                telnet_ = Telnet::Data;
                break;
            case Telnet::Sub:
                if (b == kIac)
                    telnet_ = Telnet::SubIac;
                break;
            case Telnet::SubIac:
                telnet_ = b == kSe ? Telnet::Data : Telnet::Sub;
                break;
        }
    }
}

// ------------------------------------------------------------------- helpers

size_t TelnetTrimCount(std::u16string_view text) {
    size_t drop = 0;
    while (text.size() - drop > kTelnetTextKeep) {
        const size_t limit = drop + kTelnetTrimStep;
        const size_t lineBreak = text.rfind(u'\n', limit);
        if (lineBreak != std::u16string_view::npos && lineBreak >= drop)
            drop = lineBreak + 1;
        else
            drop = limit;
    }
    return drop;
}

std::u16string PushedConsoleText(std::string_view payload) {
    const size_t zero = payload.find('\0');
    if (zero != std::string_view::npos)
        payload = payload.substr(0, zero);
    std::u16string wide = AnsiToWide(payload);
    std::u16string out;
    out.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        if (wide[i] == u'\r') {
            out += u'\n';
            if (i + 1 < wide.size() && wide[i + 1] == u'\n')
                ++i;
        } else {
            out += wide[i];
        }
    }
    return out;
}

std::string TelnetLine(std::u16string_view line) {
    std::string out;
    for (char c : WideToKoi8r(line)) {
        out += c;
        if (static_cast<uint8_t>(c) == CTelnetDecoder::kIac)
            out += c;
    }
    out += "\r\n";
    return out;
}

std::string TelnetStateText(TelnetState state, uint32_t address, int port) {
    std::string where;
    if (address != platform::kNoAddress) {
        where = std::to_string(address & 0xFF) + "." + std::to_string((address >> 8) & 0xFF) + "." +
                std::to_string((address >> 16) & 0xFF) + "." + std::to_string(address >> 24) + ":" +
                std::to_string(port);
    }
    switch (state) {
        case TelnetState::Off:
            if (port < 1 || port > 65535)
                return "Порт telnet не задан";
            return "Нет подключения";
        case TelnetState::Connecting:
            return "Подключение к " + where + "…";
        case TelnetState::Connected:
            return "Подключено к " + where;
        case TelnetState::ClosedByRobot:
            return "Робот закрыл подключение";
        case TelnetState::TakenOver:
            return "Консоль приходит через основное подключение";
    }
    return {};
}

// ------------------------------------------------------------------ console

CTelnetConsole::CTelnetConsole(platform::Reactor& reactor, ITelnetView* view, IRobotLink* link)
    : reactor_(reactor), view_(view) {
    if (link) {
        registration_ =
            link->Dispatcher().Register(msg::kTelnetText, [this](CStream& payload, int32_t length) {
                if (length >= 1)
                    HandlePush(ReadBytes(payload, length));
            });
    }
    timer_ = platform::ScopedTimer(reactor_, kTimerMs, [this] { TimerTick(); });
}

CTelnetConsole::~CTelnetConsole() {
    timer_.Stop();
    registration_.Reset();
    CloseSocket();
}

void CTelnetConsole::SetState(TelnetState state) {
    if (state == state_)
        return;
    state_ = state;
    if (view_)
        view_->TelnetStateChanged(state);
}

void CTelnetConsole::Open(int port, uint32_t address, bool linkActive) {
    // A port the settings cannot mean gives no connection rather than a
    // 16-bit wrap to some other port.
    port_ = port >= 1 && port <= 65535 ? port : -1;
    address_ = address;
    if (linkActive && address_ != platform::kNoAddress && port_ > 0)
        Connect();
    else
        SetState(TelnetState::Off);
}

void CTelnetConsole::OnRobotAddress(uint32_t address) {
    address_ = address;
    if (port_ > 0)
        Connect();
}

void CTelnetConsole::OnOperatorDisconnect() {
    CloseSocket();
    SetState(TelnetState::Off);
}

void CTelnetConsole::HandlePush(std::string_view payload) {
    if (payload.empty())
        return;
    CloseSocket();
    port_ = -1;
    SetState(TelnetState::TakenOver);
    Append(PushedConsoleText(payload));
}

void CTelnetConsole::Connect() {
    CloseSocket();
    if (port_ < 1 || address_ == platform::kNoAddress) {
        SetState(TelnetState::Off);
        return;
    }
    countdown_ = kReconnectMs;
    ++attempts_;
    decoder_.Reset();
    out_.clear();
    SetState(TelnetState::Connecting);
    socket_ = reactor_.OpenTcp([this](platform::SocketId socket, uint16_t event, int error) {
        OnSocketEvent(socket, event, error);
    });
    if (socket_ == platform::kNoSocket)
        return;  // the timer tries again
    reactor_.SetNoDelay(socket_);
    // A connect that fails at once is retried like a refused one.
    if (reactor_.Connect(socket_, address_, static_cast<uint16_t>(port_)) ==
        platform::IoResult::Failed)
        CloseSocket();
}

void CTelnetConsole::CloseSocket() {
    if (socket_ != platform::kNoSocket) {
        reactor_.Close(socket_);
        socket_ = platform::kNoSocket;
    }
    out_.clear();
}

void CTelnetConsole::TimerTick() {
    if (state_ != TelnetState::Connecting || port_ < 1)
        return;
    countdown_ -= static_cast<int32_t>(kTimerMs);
    if (countdown_ <= 0)
        Connect();
}

void CTelnetConsole::OnSocketEvent(platform::SocketId socket, uint16_t event, int error) {
    if (socket != socket_)
        return;
    switch (event) {
        case platform::kEventConnect:
            if (error != 0) {
                CloseSocket();  // refused: the countdown brings the next attempt
                return;
            }
            SetState(TelnetState::Connected);
            Flush();
            break;
        case platform::kEventRead:
            ReadAll();
            break;
        case platform::kEventWrite:
            Flush();
            break;
        case platform::kEventClose:
            RemoteClosed();
            break;
        default:
            break;
    }
}

void CTelnetConsole::RemoteClosed() {
    CloseSocket();
    if (state_ == TelnetState::Connected)
        SetState(TelnetState::ClosedByRobot);
}

void CTelnetConsole::ReadAll() {
    readBuffer_.resize(kReadChunk);
    std::vector<uint8_t>& buffer = readBuffer_;
    std::u16string& added = added_;
    added.clear();
    std::string replies;
    int32_t total = 0;
    bool closed = false;
    while (socket_ != platform::kNoSocket && total < kMaxReadPerEvent) {
        const int32_t got = reactor_.Receive(socket_, buffer.data(), kReadChunk);
        if (got == 0) {
            closed = true;
            break;
        }
        if (got < 0)
            break;
        total += got;
        received_ += static_cast<uint64_t>(got);
        decoder_.Feed(buffer.data(), static_cast<size_t>(got), added, replies);
    }
    if (!added.empty())
        Append(added);
    if (!replies.empty() && !closed && socket_ != platform::kNoSocket) {
        out_ += replies;
        Flush();
    }
    if (closed)
        RemoteClosed();
}

void CTelnetConsole::Flush() {
    while (socket_ != platform::kNoSocket && state_ == TelnetState::Connected && !out_.empty()) {
        const int32_t sent = reactor_.Send(
            socket_, out_.data(), static_cast<int32_t>(std::min<size_t>(out_.size(), 65536)));
        if (sent == 0)
            return;  // a write event follows
        if (sent < 0) {
            RemoteClosed();
            return;
        }
        out_.erase(0, static_cast<size_t>(sent));
    }
}

bool CTelnetConsole::SendLine(std::u16string_view line) {
    if (state_ != TelnetState::Connected || out_.size() > kMaxPendingSend)
        return false;
    out_ += TelnetLine(line);
    Flush();
    return true;
}

void CTelnetConsole::Append(std::u16string_view added) {
    if (added.empty())
        return;
    text_.append(added);
    const size_t dropped = TelnetTrimCount(Text());
    textStart_ += dropped;
    if (textStart_ > kTelnetTextKeep) {
        text_.erase(0, textStart_);
        textStart_ = 0;
    }
    if (view_)
        view_->TelnetTextChanged(added, dropped);
}

}  // namespace velcora::media
