#include "sim/sim_telnet.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "link/text_codec.h"
#include "sim/sim_control.h"
#include "sim/sim_features.h"
#include "sim/sim_files.h"
#include "sim/sim_status.h"

namespace velcora::sim {

namespace {

constexpr uint8_t kIac = 255;
constexpr uint8_t kWill = 251;
constexpr uint8_t kDont = 254;
constexpr uint8_t kSb = 250;
constexpr uint8_t kSe = 240;
constexpr uint8_t kEcho = 1;
constexpr uint8_t kSuppressGoAhead = 3;

// UTF-8 text as the console gets it: KOI8-R, CR LF breaks, 0xFF doubled.
std::string ToWire(std::string_view utf8) {
    std::string out;
    for (char c : WideToKoi8r(Utf8ToWide(utf8))) {
        if (c == '\n')
            out += '\r';
        out += c;
        if (static_cast<uint8_t>(c) == kIac)
            out += c;
    }
    return out;
}

std::string Trim(std::string_view s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return {};
    const size_t e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

std::string HelpText() {
    return "Команды:\n"
           "  help          этот список\n"
           "  status        состояние робота\n"
           "  echo ТЕКСТ    повторить текст\n"
           "  dir [ПУТЬ]    папка на диске робота (C:\\ без пути)\n"
           "  type ПУТЬ     содержимое файла\n"
           "  charset       таблица KOI8-R\n"
           "  flood N       N строк подряд\n"
           "  push ТЕКСТ    текст через основное подключение\n"
           "  exit          закрыть консоль\n";
}

std::string StatusText(CSimRobot& robot) {
    const SimStatus& s = robot.Feature<SimStatus>();
    const SimPose& pose = RobotPose(robot);
    char text[512];
    std::snprintf(text, sizeof text,
                  "Батарея: %u%%%s\n"
                  "Высота корпуса: %.1f\n"
                  "Случайная прогулка: %s\n"
                  "Эмоция: %u\n"
                  "Положение: x %.1f см, y %.1f см, угол %.2f рад\n"
                  "Консоль оператора: %s\n",
                  s.battery, s.charging ? " (заряжается)" : "", static_cast<double>(s.height),
                  s.randomWalk ? "вкл" : "выкл", s.emotion, pose.x, pose.y, pose.angle,
                  robot.Authorised() ? "подключена" : "не подключена");
    return text;
}

CSimDisk* DiskOf(CSimRobot& robot) {
    CSimDisk* disk = robot.Feature<SimFiles>().disk.get();
    return disk && disk->Usable() ? disk : nullptr;
}

std::string DirText(CSimRobot& robot, std::string path) {
    CSimDisk* disk = DiskOf(robot);
    if (!disk)
        return "Диск недоступен\n";
    if (path.empty())
        path = "C:\\";
    const auto entries = disk->List(Utf8ToAnsi(path));
    if (!entries)
        return "Папка не найдена: " + path + "\n";
    std::string out = "Папка " + path + "\n";
    for (const auto& e : *entries) {
        char size[32];
        std::snprintf(size, sizeof size, "%12llu", static_cast<unsigned long long>(e.size));
        out += (e.isDirectory ? std::string("       <DIR>") : std::string(size)) + "  " +
               WideToUtf8(e.name) + "\n";
    }
    return out;
}

std::string TypeText(CSimRobot& robot, const std::string& path) {
    CSimDisk* disk = DiskOf(robot);
    if (!disk)
        return "Диск недоступен\n";
    if (path.empty())
        return "Укажите файл: type ПУТЬ\n";
    // Read on its own, past the disk's one read handle, which belongs to the
    // console's file transfers.
    const auto host = disk->Resolve(Utf8ToAnsi(path), true);
    std::ifstream in;
    if (host)
        in.open(*host, std::ios::binary);
    if (!host || !in)
        return "Файл не найден: " + path + "\n";
    std::string bytes(kTelnetMaxType, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    const bool more = in.peek() != std::char_traits<char>::eof();
    // Files on the robot's disk are in its ANSI code page.
    std::string out = AnsiToUtf8(bytes);
    if (out.empty() || out.back() != '\n')
        out += '\n';
    if (more)
        out += "... (показаны первые 65536 байт)\n";
    return out;
}

std::string CharsetText() {
    std::u16string table;
    const char16_t* koi = Koi8rTable();
    for (int row = 0x80; row < 0x100; row += 16) {
        char head[8];
        std::snprintf(head, sizeof head, "%02X: ", row);
        table += Utf8ToWide(head);
        for (int i = 0; i < 16; ++i)
            table += koi[row + i];
        table += u'\n';
    }
    return WideToUtf8(table);
}

std::string FloodText(long long n) {
    std::string out;
    for (long long i = 1; i <= n; ++i)
        out += "строка " + std::to_string(i) + " из " + std::to_string(n) +
               ": 0123456789 абвгдеёжзий ABCDEF\n";
    return out;
}

void Flush(CSimRobot& robot, SimTelnet& t, platform::SocketId socket);

void CloseSession(CSimRobot& robot, SimTelnet& t, platform::SocketId socket) {
    robot.Reactor().Close(socket);
    t.sessions.erase(socket);
    robot.Log("telnet: session %d closed", socket);
}

void Flush(CSimRobot& robot, SimTelnet& t, platform::SocketId socket) {
    auto it = t.sessions.find(socket);
    if (it == t.sessions.end())
        return;
    SimTelnetSession& s = it->second;
    while (!s.out.empty()) {
        const int32_t sent = robot.Reactor().Send(
            socket, s.out.data(), static_cast<int32_t>(std::min<size_t>(s.out.size(), 65536)));
        if (sent == 0)
            return;  // the write event brings the rest
        if (sent < 0) {
            CloseSession(robot, t, socket);
            return;
        }
        s.out.erase(0, static_cast<size_t>(sent));
    }
    if (s.closing)
        CloseSession(robot, t, socket);
}

void EndLine(CSimRobot& robot, SimTelnet& t, SimTelnetSession& s) {
    s.out += "\r\n";
    if (s.tooLong) {
        ++t.refusedLines;
        s.out += ToWire("Строка длиннее " + std::to_string(kTelnetMaxLine) + " байт отклонена\n");
    } else {
        const std::string utf8 = WideToUtf8([&] {
            std::u16string w;
            const char16_t* koi = Koi8rTable();
            for (char c : s.line)
                w += koi[static_cast<uint8_t>(c)];
            return w;
        }());
        t.commands.push_back(utf8);
        if (t.commands.size() > 100)
            t.commands.erase(t.commands.begin());
        const ShellReply reply = RunShellLine(robot, utf8);
        s.out += ToWire(reply.text);
        if (reply.exit) {
            s.closing = true;
            s.line.clear();
            return;
        }
    }
    s.line.clear();
    s.tooLong = false;
    s.out += ToWire(kTelnetPrompt);
}

void DataByte(CSimRobot& robot, SimTelnet& t, SimTelnetSession& s, uint8_t b) {
    if (s.afterCr) {
        s.afterCr = false;
        if (b == '\n' || b == 0)
            return;
    }
    if (b == '\r' || b == '\n') {
        s.afterCr = b == '\r';
        EndLine(robot, t, s);
        return;
    }
    if (b < 0x20 && b != '\t')
        return;
    if (s.line.size() >= kTelnetMaxLine) {
        s.tooLong = true;
        return;
    }
    s.line += static_cast<char>(b);
    // The robot echoes what it is sent, as it told the console it would.
    s.out += static_cast<char>(b);
    if (b == kIac)
        s.out += static_cast<char>(b);
}

void OnSessionRead(CSimRobot& robot, SimTelnet& t, platform::SocketId socket) {
    uint8_t buffer[4096];
    for (;;) {
        auto it = t.sessions.find(socket);
        if (it == t.sessions.end())
            return;
        const int32_t got = robot.Reactor().Receive(socket, buffer, sizeof buffer);
        if (got == 0) {
            CloseSession(robot, t, socket);
            return;
        }
        if (got < 0)
            break;
        SimTelnetSession& s = it->second;
        for (int32_t i = 0; i < got && !s.closing; ++i) {
            const uint8_t b = buffer[i];
            switch (s.in) {
                case SimTelnetSession::In::Data:
                    if (b == kIac)
                        s.in = SimTelnetSession::In::Iac;
                    else
                        DataByte(robot, t, s, b);
                    break;
                case SimTelnetSession::In::Iac:
                    if (b == kIac) {
                        s.in = SimTelnetSession::In::Data;
                        DataByte(robot, t, s, b);
                    } else if (b >= kWill && b <= kDont) {
                        s.in = SimTelnetSession::In::Option;
                    } else if (b == kSb) {
                        s.in = SimTelnetSession::In::Sub;
                    } else {
                        s.in = SimTelnetSession::In::Data;
                    }
                    break;
                case SimTelnetSession::In::Option:
                    // The console's answers need no answer.
                    s.in = SimTelnetSession::In::Data;
                    break;
                case SimTelnetSession::In::Sub:
                    if (b == kIac)
                        s.in = SimTelnetSession::In::SubIac;
                    break;
                case SimTelnetSession::In::SubIac:
                    s.in = b == kSe ? SimTelnetSession::In::Data : SimTelnetSession::In::Sub;
                    break;
            }
        }
        Flush(robot, t, socket);
    }
}

void OnAccept(CSimRobot& robot, SimTelnet& t) {
    const platform::SocketId socket = robot.Reactor().Accept(
        t.listener,
        [&robot, &t](platform::SocketId id, uint16_t event, int) {
            if (event == platform::kEventRead)
                OnSessionRead(robot, t, id);
            else if (event == platform::kEventWrite)
                Flush(robot, t, id);
            else if (event == platform::kEventClose && t.sessions.count(id))
                CloseSession(robot, t, id);
        },
        nullptr);
    if (socket == platform::kNoSocket)
        return;
    if (t.sessions.size() >= 8) {
        robot.Reactor().Close(socket);
        return;
    }
    robot.Reactor().SetNoDelay(socket);
    ++t.connections;
    SimTelnetSession& s = t.sessions[socket];
    const char offer[] = {static_cast<char>(kIac),  static_cast<char>(kWill),
                          static_cast<char>(kEcho), static_cast<char>(kIac),
                          static_cast<char>(kWill), static_cast<char>(kSuppressGoAhead)};
    s.out.assign(offer, sizeof offer);
    s.out += ToWire(
        "Консоль робота (симулятор). Ничего из набранного не выполняется на компьютере.\n"
        "Наберите help для списка команд.\n");
    s.out += ToWire(kTelnetPrompt);
    robot.Log("telnet: session %d opened", socket);
    Flush(robot, t, socket);
}

}  // namespace

ShellReply RunShellLine(CSimRobot& robot, std::string_view utf8Line) {
    const std::string line = Trim(utf8Line);
    const size_t space = line.find(' ');
    const std::string command = line.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : Trim(line.substr(space));
    if (command.empty())
        return {};
    if (command == "help")
        return {HelpText()};
    if (command == "status")
        return {StatusText(robot)};
    if (command == "echo")
        return {rest + "\n"};
    if (command == "dir")
        return {DirText(robot, rest)};
    if (command == "type")
        return {TypeText(robot, rest)};
    if (command == "charset")
        return {CharsetText()};
    if (command == "flood") {
        char* end = nullptr;
        const long long n = std::strtoll(rest.c_str(), &end, 10);
        if (rest.empty() || *end != '\0' || n < 1 || n > kTelnetMaxFlood)
            return {"Укажите число строк 1.." + std::to_string(kTelnetMaxFlood) + "\n"};
        return {FloodText(n)};
    }
    if (command == "push") {
        if (!robot.Authorised())
            return {"Консоль оператора не подключена\n"};
        robot.Send(msg::kTelnetText, Utf8ToAnsi(rest + "\n") + std::string(1, '\0'));
        return {"Отправлено через основное подключение\n"};
    }
    if (command == "exit")
        return {"До свидания!\n", true};
    return {"Неизвестная команда: " + command + " (help - список команд)\n"};
}

SimTelnet::~SimTelnet() {
    if (!reactor)
        return;
    for (const auto& [socket, session] : sessions)
        reactor->Close(socket);
    if (listener != platform::kNoSocket)
        reactor->Close(listener);
}

uint16_t TelnetPort(CSimRobot& robot) {
    return robot.Feature<SimTelnet>().port;
}

void InstallTelnet(CSimRobot& robot) {
    SimTelnet& t = robot.Feature<SimTelnet>();
    if (robot.Options().telnetPort < 0)
        return;
    t.reactor = &robot.Reactor();
    t.listener = robot.Reactor().Listen(robot.Options().listenAddress,
                                        static_cast<uint16_t>(robot.Options().telnetPort),
                                        [&robot, &t](platform::SocketId, uint16_t event, int) {
                                            if (event == platform::kEventAccept)
                                                OnAccept(robot, t);
                                        });
    if (t.listener == platform::kNoSocket) {
        robot.Log("telnet: cannot listen on port %d", robot.Options().telnetPort);
        return;
    }
    t.port = robot.Reactor().LocalPort(t.listener);
    robot.Log("telnet: listening on port %u", t.port);
}

}  // namespace velcora::sim
