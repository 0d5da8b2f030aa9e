// A robot link for fuzz targets: every frame a controller builds is accepted
// and forgotten, and the input's frames are fed to its dispatcher.
#pragma once

#include <cstdint>
#include <string_view>

#include "link/robot_link.h"

namespace velcora::fuzz {

class SinkLink : public IRobotLink {
  public:
    CStream& BeginFrame(msg::Type) override {
        body_.Clear();
        return body_;
    }
    void EndFrame() override { body_.Clear(); }
    int32_t State() const override { return kStateAuthorised; }
    int32_t QueuedBytes() const override { return 0; }
    CMessageDispatcher& Dispatcher() override { return dispatcher_; }

    // Dispatches one incoming frame as the connection would.
    void Receive(msg::Type type, std::string_view payload) {
        CMemoryStream frame;
        WriteU16(frame, type);
        WriteI32(frame, static_cast<int32_t>(payload.size()));
        WriteBytes(frame, payload);
        frame.Seek(0, kSeekSet);
        dispatcher_.DispatchMessage(frame);
    }

  private:
    CMemoryStream body_;
    CMessageDispatcher dispatcher_;
};

}  // namespace velcora::fuzz
