// The robot's replies to file requests: the input's first byte picks the
// request that waits, the rest is split into replies of the five types that
// arrive while it waits. Whatever arrives, a read never writes outside its
// buffer and a listing never hands over a name that leaves its folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "../sink_link.h"
#include "files/remote_file_system.h"

namespace {

using namespace velcora;
using Link = fuzz::SinkLink;

class Pump : public IEventPump {
  public:
    Pump(Link& link, std::vector<std::pair<msg::Type, std::string>> replies)
        : link_(link), replies_(std::move(replies)) {}
    uint32_t Now() override { return now_; }
    void RunOnce(uint32_t maxWaitMs) override {
        if (next_ < replies_.size()) {
            const auto& r = replies_[next_++];
            link_.Receive(r.first, r.second);
            now_ += 1;
        } else {
            now_ += maxWaitMs;
        }
    }

  private:
    Link& link_;
    std::vector<std::pair<msg::Type, std::string>> replies_;
    std::size_t next_ = 0;
    uint32_t now_ = 0;
};

constexpr msg::Type kTypes[] = {msg::kStatusReply, msg::kWriteBeginReply, msg::kReadChunkReply,
                                msg::kDriveList, msg::kDirectoryListing};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    // Replies separated by the byte sequence "|#|"; each starts with its type.
    std::vector<std::pair<msg::Type, std::string>> replies;
    std::size_t pos = 0;
    while (pos < input.size() && replies.size() < 16) {
        std::size_t end = input.find("|#|", pos);
        if (end == std::string_view::npos) {
            end = input.size();
        }
        std::string_view part = input.substr(pos, end - pos);
        if (!part.empty()) {
            replies.push_back(
                {kTypes[static_cast<uint8_t>(part[0]) % 5], std::string(part.substr(1))});
        }
        pos = end + 3;
    }
    Link link;
    Pump pump(link, std::move(replies));
    CRemoteFileSystem fs(link, pump, RemoteTiming{10, 10, 3});
    switch (data[0] % 4) {
        case 0: {
            const int32_t count = data[0] >> 2;
            std::vector<uint8_t> buffer(static_cast<std::size_t>(count));
            fs.ReadAt(0, buffer.data(), count);
            break;
        }
        case 1:
            fs.EnumDir(u"C:\\", [](const CDirEntry& e) {
                if (e.name != u"." && e.name != u".." && !IsPlainEntryName(e.name)) {
                    std::abort();
                }
            });
            break;
        case 2:
            fs.EnumDrives([](const std::u16string&) {});
            break;
        default:
            fs.OpenRead(u"C:\\a");
            break;
    }
    ParseDirectoryListing(input);
    ParseDriveList(input);
    return 0;
}
