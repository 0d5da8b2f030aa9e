#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/robot_connection.h"
#include "link/session_file.h"
#include "link/session_recorder.h"
#include "platform/posix_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_robot.h"
#include "support/temp_folder.h"

namespace velcora {
namespace {

// Sees what the recorder sees, so the file can be compared with it.
class Witness : public IFrameTap {
  public:
    explicit Witness(IFrameTap& next) : next_(next) {}
    void OnFrame(uint32_t now, FrameDirection d, msg::Type type, std::string_view p) override {
        frames.push_back({d, type, std::string(p)});
        next_.OnFrame(now, d, type, p);
    }
    void OnLinkState(uint32_t now, int32_t state, std::string_view host, uint16_t port,
                     bool tunnel) override {
        next_.OnLinkState(now, state, host, port, tunnel);
    }
    struct Frame {
        FrameDirection direction;
        msg::Type type;
        std::string payload;
    };
    std::vector<Frame> frames;

  private:
    IFrameTap& next_;
};

class Owner : public IRobotConnectionOwner {
  public:
    void OnConnectionStateChanged() override {}
};

TEST(SessionRecordE2E, SessionThroughTheSimulatorReadsBackFrameForFrame) {
    test::TempFolder dir;
    platform::PollReactor reactor;
    sim::SimOptions options;
    options.port = 0;
    options.password = "pass-word-42";
    options.root = dir.File("robot");
    sim::CSimRobot robot(reactor, options);
    sim::InstallFeatures(robot);
    ASSERT_TRUE(robot.Start());

    RecorderOptions ro;
    ro.path = dir.File("s.vrec");
    ro.consoleVersion = "test";
    CSessionRecorder recorder(ro);
    Witness witness(recorder);
    std::string error;
    ASSERT_TRUE(recorder.Open(error)) << error;

    CMessageDispatcher dispatcher;
    Owner owner;
    {
        CRobotConnection link(reactor, dispatcher, &owner);
        platform::ScopedTimer tick(reactor, 20, [&] { link.Tick(); });
        link.SetFrameTap(&witness);
        link.SetPasswordAnsi("pass-word-42");
        ASSERT_TRUE(link.ConnectAnsi("127.0.0.1", robot.Port(), false));
        ASSERT_TRUE(reactor.RunUntil([&] { return link.State() == kStateAuthorised; }, 5000));
        int replies = 0;
        auto reg = dispatcher.Register(msg::kStatus, [&](CStream&, int32_t) { ++replies; });
        for (int i = 0; i < 3; ++i) {
            link.BeginFrame(msg::kStatus);
            link.EndFrame();
            // A frame with a payload leaves whole, too.
            WriteBytes(link.BeginFrame(msg::kTextCommand), std::string("\0\0\0\0hello", 9));
            link.EndFrame();
        }
        ASSERT_TRUE(reactor.RunUntil([&] { return replies == 3; }, 5000));
        link.Disconnect();
        link.SetFrameTap(nullptr);
    }
    ASSERT_TRUE(recorder.Close()) << recorder.ErrorText();

    CSessionReader reader;
    ASSERT_TRUE(reader.Open(ro.path)) << reader.Error();
    EXPECT_EQ(reader.Header().host, "127.0.0.1");
    EXPECT_EQ(reader.Header().port, robot.Port());
    std::vector<SessionRecord> records;
    std::vector<int32_t> states;
    SessionRecord r;
    CSessionReader::Result result;
    while ((result = reader.Next(r)) == CSessionReader::Result::kRecord) {
        if (r.kind == RecordKind::kLinkState)
            states.push_back(r.type);
        else
            records.push_back(r);
    }
    ASSERT_EQ(result, CSessionReader::Result::kEnd) << reader.Error();
    ASSERT_EQ(records.size(), witness.frames.size());
    int handshake = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& w = witness.frames[i];
        EXPECT_EQ(records[i].kind, w.direction == FrameDirection::kIncoming
                                       ? RecordKind::kIncoming
                                       : RecordKind::kOutgoing);
        EXPECT_EQ(records[i].type, w.type);
        EXPECT_EQ(records[i].length, w.payload.size());
        if (IsHandshakeType(w.type)) {
            ++handshake;
            EXPECT_TRUE(records[i].withheld);
            EXPECT_TRUE(records[i].payload.empty());
        } else {
            EXPECT_EQ(records[i].payload, w.payload);
        }
    }
    // Challenge, answer and result; nothing of them in the file.
    EXPECT_EQ(handshake, 3);
    EXPECT_EQ(dir.Read("s.vrec").find("pass-word-42"), std::string::npos);
    // Connecting, authorising, authorised, and the operator's disconnect.
    EXPECT_EQ(states, (std::vector<int32_t>{kStateConnecting, kStateAuthorising, kStateAuthorised,
                                            kStateIdle}));
    int statusOut = 0;
    for (const auto& w : witness.frames)
        statusOut += w.direction == FrameDirection::kOutgoing && w.type == msg::kStatus;
    EXPECT_EQ(statusOut, 3);
}

}  // namespace
}  // namespace velcora
