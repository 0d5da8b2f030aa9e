// A recording stand-in for the robot connection: frames built on it are kept
// whole, and incoming frames can be fed to its dispatcher.
#pragma once

#include <string>
#include <vector>

#include "link/robot_link.h"

namespace velcora::test {

struct SentFrame {
    msg::Type type = 0;
    std::string payload;
};

class FakeLink : public IRobotLink {
  public:
    CStream& BeginFrame(msg::Type type) override {
        open_ = type;
        body_.Clear();
        return body_;
    }
    void EndFrame() override {
        sent.push_back({open_, std::string(body_.View())});
        body_.Clear();
    }
    int32_t State() const override { return state; }
    int32_t QueuedBytes() const override { return queued; }
    CMessageDispatcher& Dispatcher() override { return dispatcher; }

    // Feeds one incoming frame through the dispatcher; returns the handlers called.
    int Receive(msg::Type type, const std::string& payload) {
        CMemoryStream frame;
        WriteU16(frame, type);
        WriteI32(frame, static_cast<int32_t>(payload.size()));
        WriteBytes(frame, payload);
        frame.Seek(0, kSeekSet);
        return dispatcher.DispatchMessage(frame);
    }
    // Frames of one type, oldest first.
    std::vector<SentFrame> Of(msg::Type type) const {
        std::vector<SentFrame> out;
        for (const auto& f : sent) {
            if (f.type == type)
                out.push_back(f);
        }
        return out;
    }

    int32_t state = kStateAuthorised;
    int32_t queued = 0;
    std::vector<SentFrame> sent;
    CMessageDispatcher dispatcher;

  private:
    msg::Type open_ = 0;
    CMemoryStream body_;
};

}  // namespace velcora::test
