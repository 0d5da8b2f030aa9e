// The simulated robot: listens for the console, runs the robot's side of the
// handshake and keep-alive, and hands every other message to the feature that
// registered for its type. Each feature (status, maps, cyclograms, ...) lives
// in its own file with one Install function that registers handlers, a tick
// and its own state here; sim_features.cpp calls them all.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>
#include <vector>

#include "link/catalogue.h"
#include "link/stream.h"
#include "platform/reactor.h"

namespace velcora::sim {

struct SimOptions {
    uint32_t listenAddress = platform::kLoopback;  // network order
    uint16_t port = 5554;                          // 0 picks a free port
    std::string password;                          // ANSI; empty accepts an empty answer
    std::string root;                              // the robot's data folder ("" = none)
    bool verbose = false;
    // Fault switches.
    bool refusePassword = false;  // answer every handshake with "refused"
    bool zeroChallenge = false;   // challenge with 0
    bool silent = false;          // accept the connection and never send anything
    uint32_t dropAfterMs = 0;     // close the connection this long after accepting it
    bool badLength = false;       // after authorising, send a header with length 20000001
    // Control commands: the frame log (JSON lines) of --record FILE.
    std::string recordPath;
    // Gestures: how a recording is answered (the number asked for, another
    // number, or not at all).
    enum class GestureReply { Ok, Other, None };
    GestureReply gestureReply = GestureReply::Ok;
    // Cyclograms.
    int32_t noValueMotor = 6;  // this motor answers every poll with -1 (no value)
    // Chat-bot scripts.
    int32_t chatbotChunk = 8192;  // largest download chunk
    int dropAck = 0;              // lose the N-th upload acknowledgement (0: none)
    // Media: picture size and rate of the cameras, the decoded microphone's wave file.
    int32_t videoWidth = 640;
    int32_t videoHeight = 480;
    int32_t videoFps = 25;
    // B-frames in the camera streams (0 or 1): with 0 every picture leaves at
    // once, without the decoder's one-picture reordering delay.
    int32_t videoBFrames = 1;
    std::string micOut;
    // Navigation maps.
    bool inlineMaps = false;       // answer polls with the packed map itself
    int32_t mapChunkSize = 16384;  // bytes per map chunk served
    bool blankImages = false;      // record pictures without pixels
    // Files: reads of these files fail (a robot path, or a name in any folder).
    std::vector<std::string> unreadable;
    uint32_t fileRateKbps = 0;  // file chunks move no faster than this (0: no limit)
    // The robot computer's desktop: screen size (sent at half size) and rate.
    int32_t desktopWidth = 1280;
    int32_t desktopHeight = 960;
    int32_t desktopFps = 10;
    // The robot's telnet console: -1 none, 0 a free port.
    int32_t telnetPort = -1;
};

class CSimRobot {
  public:
    // The stream holds the payload alone, at its start; `length` is its length.
    using Handler = std::function<void(CStream& payload, int32_t length)>;
    // Called every kTickMs with the milliseconds elapsed since the last call.
    using TickHandler = std::function<void(uint32_t elapsedMs)>;
    static constexpr uint32_t kTickMs = 20;
    static constexpr int32_t kMaxFrameLength = 20000000;

    CSimRobot(platform::Reactor& reactor, SimOptions options);
    ~CSimRobot();
    CSimRobot(const CSimRobot&) = delete;
    CSimRobot& operator=(const CSimRobot&) = delete;

    // Starts listening (and the tick); false when the port cannot be had.
    bool Start();
    void Stop();
    uint16_t Port() const { return port_; }

    // --- for features
    // One handler per type (a later On for the same type replaces it). Only
    // called once the console is authorised.
    void On(msg::Type type, Handler handler);
    void OnTick(TickHandler handler);
    // Sees every frame received, handshake and keep-alive included, before it
    // is handled (the frame log of --record).
    using FrameObserver = std::function<void(msg::Type type, std::string_view payload)>;
    void OnFrame(FrameObserver observer);
    // Called when a console is authorised (a fresh session starts).
    void OnSession(std::function<void()> handler);
    // Sends one frame to the connected console; false when none is connected.
    bool Send(msg::Type type, std::string_view payload);
    // Streams a frame's payload: BeginFrame, write to the stream, EndFrame.
    CStream& BeginFrame(msg::Type type);
    bool EndFrame();
    // Per-feature state, created on first use and kept for the robot's life.
    template <typename T>
    T& Feature() {
        auto& slot = features_[std::type_index(typeid(T))];
        if (!slot)
            slot = std::make_shared<T>();
        return *static_cast<T*>(slot.get());
    }
    const std::string& Root() const { return options_.root; }
    const SimOptions& Options() const { return options_; }
    platform::Reactor& Reactor() { return reactor_; }
    // Prints to stderr with -v.
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    bool Connected() const { return client_ != platform::kNoSocket; }
    bool Authorised() const { return authorised_; }
    // Frames received of each type (handled or not), for tests and the log.
    int Received(msg::Type type) const;
    int Sessions() const { return sessions_; }
    // Connections accepted so far.
    int Connections() const { return connections_; }

  private:
    void OnAccept();
    void OnClientEvent(platform::SocketId socket, uint16_t event, int error);
    void ReceiveAll();
    void Parse();
    void OnResponse(const std::string& response);
    void Flush();
    void Drop(const char* why);
    void Tick();

    platform::Reactor& reactor_;
    SimOptions options_;
    platform::SocketId listener_ = platform::kNoSocket;
    platform::SocketId client_ = platform::kNoSocket;
    uint16_t port_ = 0;
    platform::ScopedTimer timer_;
    uint32_t lastTick_ = 0;
    uint32_t acceptedAt_ = 0;
    uint32_t lastSend_ = 0;
    uint32_t challenge_ = 0;
    bool authorised_ = false;
    int sessions_ = 0;
    int connections_ = 0;
    CMemoryStream in_;
    CMemoryStream out_;
    int32_t openFrame_ = -1;
    std::map<msg::Type, Handler> handlers_;
    std::vector<TickHandler> ticks_;
    std::vector<FrameObserver> frameObservers_;
    std::vector<std::function<void()>> sessionHandlers_;
    std::map<std::type_index, std::shared_ptr<void>> features_;
    std::map<msg::Type, int> received_;
    uint64_t random_;
};

}  // namespace velcora::sim
