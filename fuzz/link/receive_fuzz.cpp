// The connection's receive loop over arbitrary bytes cut at arbitrary points:
// the first byte of every step says how many of the following bytes arrive
// in one read. Handlers read their payloads in several ways, as the tool
// windows do, and one of them sends a reply from inside the loop.
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/robot_connection.h"
#include "platform/manual_reactor.h"

namespace {

class Owner : public velcora::IRobotConnectionOwner {
  public:
    void OnConnectionStateChanged() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    platform::ManualReactor reactor;
    CMessageDispatcher dispatcher;
    Owner owner;
    CRobotConnection link(reactor, dispatcher, &owner);
    link.SetPasswordAnsi("fuzz");
    auto a = dispatcher.Register(0xCC04, [](CStream& s, int32_t length) {
        ReadU32(s);
        ReadU8(s);
        ReadFloat(s);
        if (length >= 11)
            ReadU8(s);
    });
    auto b = dispatcher.Register(0x4100, [](CStream& s, int32_t length) { ReadBytes(s, length); });
    auto c = dispatcher.Register(0x4107, [](CStream& s, int32_t) { ReadString(s); });
    auto d = dispatcher.Register(0x66FF, [&](CStream& s, int32_t length) {
        const std::string text = ReadBytes(s, length > 64 ? 64 : length);
        WriteBytes(link.BeginFrame(0x66FF), text);
        link.EndFrame();
    });
    if (!link.ConnectAnsi("10.0.0.1", 5554, false))
        return 0;
    reactor.Fire(link.Socket(), platform::kEventConnect);
    std::size_t at = 0;
    while (at < size) {
        const std::size_t chunk = std::min<std::size_t>(1 + data[at] * 4, size - at - 1);
        ++at;
        if (link.Socket() == platform::kNoSocket) {
            // Failed: let the retry reconnect and go on feeding the new socket.
            reactor.Advance(250);
            link.Tick();
            if (link.Socket() == platform::kNoSocket)
                break;
            reactor.Fire(link.Socket(), platform::kEventConnect);
        }
        reactor.Push(link.Socket(), std::string(reinterpret_cast<const char*>(data + at), chunk));
        reactor.Fire(link.Socket(), platform::kEventRead);
        at += chunk;
        reactor.Advance(20);
        link.Tick();
    }
    return 0;
}
