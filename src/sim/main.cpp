// velcora-robot-sim: a robot to connect the console to, with fault switches
// for tests.
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/version.h"
#include "link/handshake.h"
#include "link/text_codec.h"
#include "platform/posix_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_replay.h"
#include "sim/sim_robot.h"
#include "sim/sim_telnet.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

int Usage(const char* error) {
    if (error)
        std::fprintf(stderr, "velcora-robot-sim: %s\n\n", error);
    std::fprintf(error ? stderr : stdout,
                 "usage: velcora-robot-sim [--listen ADDR] [--port P] [--password TEXT |\n"
                 "       --password-file F] [--root DIR] [-v] [fault switches]\n\n"
                 "  --version           print the version and exit\n"
                 "  --listen ADDR       IPv4 address to listen on (default 127.0.0.1)\n"
                 "  --port P            TCP port (default 5554; 0 picks a free one)\n"
                 "  --password TEXT     the robot's password (default: none)\n"
                 "  --password-file F   read the password from F (first line)\n"
                 "  --root DIR          the robot's data folder\n"
                 "  -v                  print what the robot does\n"
                 "  --record FILE       log every frame received as JSON lines\n"
                 "Fault switches:\n"
                 "  --refuse-password   refuse every password\n"
                 "  --zero-challenge    send the challenge 0\n"
                 "  --silent            accept connections and never send anything\n"
                 "  --drop-after MS     close each connection MS ms after accepting it\n"
                 "  --bad-length        after authorising, send a frame header with length "
                 "20000001\n"
                 "Cyclograms:\n"
                 "  --no-value-motor N  motor N reports no value (-1) to polls and servo\n"
                 "                      range reads (default 6)\n"
                 "Gestures:\n"
                 "  --gesture-reply ok|other|none\n"
                 "                      answer a recording with its number (default), another\n"
                 "                      number, or not at all\n"
                 "Chat-bot scripts:\n"
                 "  --chatbot-chunk N   serve script downloads in chunks of N bytes (default "
                 "8192)\n"
                 "  --drop-ack N        lose the N-th script upload acknowledgement\n"
                 "Media:\n"
                 "  --video-size WxH    camera picture size (default 640x480)\n"
                 "  --video-fps N       camera pictures per second (default 25)\n"
                 "  --mic-out FILE      write the operator's decoded microphone to a wave file\n"
                 "  --desktop-size WxH  the robot computer's screen (default 1280x960, sent at\n"
                 "                      half size)\n"
                 "  --desktop-fps N     desktop pictures per second (default 10)\n"
                 "Telnet:\n"
                 "  --telnet-port P     the robot's telnet console on port P (0 picks a free "
                 "one)\n"
                 "Navigation maps:\n"
                 "  --inline-maps       answer map polls with the packed map itself\n"
                 "  --map-chunk BYTES   bytes per map chunk served (default 16384)\n"
                 "  --blank-images      record map pictures without pixels\n"
                 "Files:\n"
                 "  --unreadable NAME   reads of this file fail (a robot path or a name;\n"
                 "                      may be given again)\n"
                 "  --file-rate KBPS    file chunks move no faster than KBPS kilobytes a second\n"
                 "                      (32..1048576)\n"
                 "Replay:\n"
                 "  --replay FILE       after the handshake, send what the robot sent in a\n"
                 "                      session recording, at its times; nothing else answers\n"
                 "  --speed X           replay X times as fast (0.1..100, default 1)\n"
                 "  --loop              start the recording again at its end\n"
                 "Video:\n"
                 "  --b-frames 0|1      B-frames in the camera streams (default 1); 0 sends\n"
                 "                      every picture without reordering delay\n");
    return error ? 2 : 0;
}

bool ReadPasswordFile(const std::string& path, std::string& password) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::getline(in, password);
    while (!password.empty() && (password.back() == '\r' || password.back() == '\n'))
        password.pop_back();
    return true;
}

bool ParseNumber(const char* text, unsigned long max, unsigned long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text, &end, 10);
    return *text && *end == '\0' && errno == 0 && value <= max && text[0] != '-';
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    using velcora::sim::SimOptions;
    SimOptions options;
    std::string listen = "127.0.0.1";
    std::string password;
    velcora::sim::ReplayOptions replay;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char*& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        unsigned long n = 0;
        if (arg == "--help" || arg == "-h") {
            return Usage(nullptr);
        } else if (arg == "--version") {
            std::printf("velcora-robot-sim %s\n", velcora::VersionText());
            return 0;
        } else if (arg == "--listen") {
            if (!value(v))
                return Usage("--listen needs an address");
            listen = v;
        } else if (arg == "--port") {
            if (!value(v) || !ParseNumber(v, 65535, n))
                return Usage("--port needs a number 0..65535");
            options.port = static_cast<uint16_t>(n);
        } else if (arg == "--password") {
            if (!value(v))
                return Usage("--password needs a text");
            password = v;
        } else if (arg == "--password-file") {
            if (!value(v))
                return Usage("--password-file needs a file");
            if (!ReadPasswordFile(v, password)) {
                std::fprintf(stderr, "velcora-robot-sim: cannot read %s\n", v);
                return 1;
            }
        } else if (arg == "--root") {
            if (!value(v))
                return Usage("--root needs a folder");
            options.root = v;
        } else if (arg == "-v" || arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--refuse-password") {
            options.refusePassword = true;
        } else if (arg == "--zero-challenge") {
            options.zeroChallenge = true;
        } else if (arg == "--silent") {
            options.silent = true;
        } else if (arg == "--drop-after") {
            if (!value(v) || !ParseNumber(v, 0xFFFFFFFFul, n) || n == 0)
                return Usage("--drop-after needs a number of milliseconds");
            options.dropAfterMs = static_cast<uint32_t>(n);
        } else if (arg == "--bad-length") {
            options.badLength = true;
        } else if (arg == "--record") {
            if (!value(v))
                return Usage("--record needs a file");
            options.recordPath = v;
        } else if (arg == "--no-value-motor") {
            long long motor = 0;
            char* end = nullptr;
            if (!value(v) || (motor = std::strtoll(v, &end, 10), *v == '\0' || *end != '\0') ||
                motor < INT32_MIN || motor > INT32_MAX)
                return Usage("--no-value-motor needs a motor number");
            options.noValueMotor = static_cast<int32_t>(motor);
        } else if (arg == "--gesture-reply") {
            const std::string_view reply = value(v) ? std::string_view(v) : std::string_view();
            if (reply == "ok")
                options.gestureReply = SimOptions::GestureReply::Ok;
            else if (reply == "other")
                options.gestureReply = SimOptions::GestureReply::Other;
            else if (reply == "none")
                options.gestureReply = SimOptions::GestureReply::None;
            else
                return Usage("--gesture-reply needs ok, other or none");
        } else if (arg == "--chatbot-chunk") {
            if (!value(v) || !ParseNumber(v, 1048576, n) || n == 0)
                return Usage("--chatbot-chunk needs a number of bytes 1..1048576");
            options.chatbotChunk = static_cast<int32_t>(n);
        } else if (arg == "--drop-ack") {
            if (!value(v) || !ParseNumber(v, 1000000, n) || n == 0)
                return Usage("--drop-ack needs a number 1..1000000");
            options.dropAck = static_cast<int>(n);
        } else if (arg == "--video-size") {
            unsigned w = 0, h = 0;
            char tail = 0;
            if (!value(v) || std::sscanf(v, "%ux%u%c", &w, &h, &tail) != 2 || w < 64 || h < 64 ||
                w > 4096 || h > 4096 || (w | h) & 1)
                return Usage("--video-size needs WIDTHxHEIGHT, even, 64..4096");
            options.videoWidth = static_cast<int32_t>(w);
            options.videoHeight = static_cast<int32_t>(h);
        } else if (arg == "--video-fps") {
            if (!value(v) || !ParseNumber(v, 60, n) || n == 0)
                return Usage("--video-fps needs a number 1..60");
            options.videoFps = static_cast<int32_t>(n);
        } else if (arg == "--mic-out") {
            if (!value(v))
                return Usage("--mic-out needs a file");
            options.micOut = v;
        } else if (arg == "--desktop-size") {
            unsigned w = 0, h = 0;
            char tail = 0;
            if (!value(v) || std::sscanf(v, "%ux%u%c", &w, &h, &tail) != 2 || w < 128 || h < 128 ||
                w > 8192 || h > 8192 || (w | h) & 3)
                return Usage("--desktop-size needs WIDTHxHEIGHT, multiples of 4, 128..8192");
            options.desktopWidth = static_cast<int32_t>(w);
            options.desktopHeight = static_cast<int32_t>(h);
        } else if (arg == "--desktop-fps") {
            if (!value(v) || !ParseNumber(v, 60, n) || n == 0)
                return Usage("--desktop-fps needs a number 1..60");
            options.desktopFps = static_cast<int32_t>(n);
        } else if (arg == "--telnet-port") {
            if (!value(v) || !ParseNumber(v, 65535, n))
                return Usage("--telnet-port needs a number 0..65535");
            options.telnetPort = static_cast<int32_t>(n);
        } else if (arg == "--inline-maps") {
            options.inlineMaps = true;
        } else if (arg == "--blank-images") {
            options.blankImages = true;
        } else if (arg == "--map-chunk") {
            if (!value(v) || !ParseNumber(v, 1u << 24, n) || n == 0)
                return Usage("--map-chunk needs a number of bytes 1..16777216");
            options.mapChunkSize = static_cast<int32_t>(n);
        } else if (arg == "--unreadable") {
            if (!value(v) || *v == '\0')
                return Usage("--unreadable needs a file name");
            options.unreadable.push_back(velcora::Utf8ToAnsi(v));
        } else if (arg == "--file-rate") {
            // Below 32 KB/s one 64 KB chunk would outlast the console's wait.
            if (!value(v) || !ParseNumber(v, 1048576, n) || n < 32)
                return Usage("--file-rate needs kilobytes a second, 32..1048576");
            options.fileRateKbps = static_cast<uint32_t>(n);
        } else if (arg == "--replay") {
            if (!value(v) || *v == '\0')
                return Usage("--replay needs a recording");
            replay.path = v;
        } else if (arg == "--speed") {
            char* end = nullptr;
            if (!value(v) || (replay.speed = std::strtod(v, &end), *v == '\0' || *end != '\0') ||
                !(replay.speed >= 0.1 && replay.speed <= 100))
                return Usage("--speed needs a factor 0.1..100");
        } else if (arg == "--loop") {
            replay.loop = true;
        } else if (arg == "--b-frames") {
            if (!value(v) || !ParseNumber(v, 1, n))
                return Usage("--b-frames needs 0 or 1");
            options.videoBFrames = static_cast<int32_t>(n);
        } else {
            return Usage(("unknown option " + arg).c_str());
        }
    }
    if (!velcora::platform::ParseIpv4(listen, options.listenAddress))
        return Usage("--listen needs a dotted IPv4 address");
    if (!velcora::HandshakeKeyError().empty()) {
        std::fprintf(stderr, "velcora-robot-sim: %s\n", velcora::HandshakeKeyError().c_str());
        return 1;
    }
    // Without --root the robot keeps its data in a fresh temporary folder that
    // each feature seeds with its demo content; it is removed at exit.
    std::string temporaryRoot;
    if (options.root.empty()) {
        char pattern[] = "/tmp/velcora-sim-XXXXXX";
        if (!mkdtemp(pattern)) {
            std::fprintf(stderr, "velcora-robot-sim: cannot create a temporary folder: %s\n",
                         std::strerror(errno));
            return 1;
        }
        temporaryRoot = pattern;
        options.root = temporaryRoot;
    }
    {
        std::error_code ec;
        std::filesystem::create_directories(options.root, ec);
        if (!std::filesystem::is_directory(options.root, ec)) {
            std::fprintf(stderr, "velcora-robot-sim: --root %s is not a folder\n",
                         options.root.c_str());
            return 1;
        }
    }
    // The password travels in the console's code page.
    options.password = velcora::Utf8ToAnsi(password);

    velcora::platform::PollReactor reactor;
    velcora::sim::CSimRobot robot(reactor, options);
    std::shared_ptr<velcora::sim::CSessionReplay> player;
    if (replay.path.empty()) {
        velcora::sim::InstallFeatures(robot);
    } else {
        player = std::make_shared<velcora::sim::CSessionReplay>(replay);
        std::string error;
        if (!player->Open(error)) {
            std::fprintf(stderr, "velcora-robot-sim: %s\n", error.c_str());
            if (!temporaryRoot.empty()) {
                std::error_code ec;
                std::filesystem::remove_all(temporaryRoot, ec);
            }
            return 1;
        }
        velcora::sim::InstallReplay(robot, player);
    }
    if (!robot.Start()) {
        std::fprintf(stderr, "velcora-robot-sim: cannot listen on %s:%u: %s\n", listen.c_str(),
                     options.port, std::strerror(errno));
        return 1;
    }
    if (options.telnetPort >= 0) {
        if (velcora::sim::TelnetPort(robot) == 0) {
            std::fprintf(stderr, "velcora-robot-sim: cannot listen for telnet on %s:%d: %s\n",
                         listen.c_str(), options.telnetPort, std::strerror(errno));
            return 1;
        }
        // Before the link's line: whoever waits for that one has both.
        std::printf("velcora-robot-sim: telnet on %s:%u\n", listen.c_str(),
                    velcora::sim::TelnetPort(robot));
    }
    std::printf("velcora-robot-sim: listening on %s:%u\n", listen.c_str(), robot.Port());
    std::fflush(stdout);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    while (!g_stop) {
        reactor.RunUntil([] { return g_stop != 0; }, 1000);
    }
    robot.Stop();
    if (!temporaryRoot.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(temporaryRoot, ec);
    }
    return 0;
}
