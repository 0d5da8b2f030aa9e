// A hand-driven event loop for the remote file system: each step answers the
// frames sent since the last one through a scripted peer, and time moves only
// when the loop waits. MemoryRobot is such a peer with a small disk.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "files/event_pump.h"
#include "link/catalogue.h"
#include "link/stream.h"
#include "support/fake_link.h"

namespace velcora::test {

struct Reply {
    msg::Type type = 0;
    std::string payload;
};

class ScriptedPump : public IEventPump {
  public:
    explicit ScriptedPump(FakeLink& link) : link_(link) {}

    uint32_t Now() override { return now; }
    void RunOnce(uint32_t maxWaitMs) override {
        ++steps;
        while (seen_ < link_.sent.size()) {
            const SentFrame frame = link_.sent[seen_++];
            if (peer) {
                for (auto& r : peer(frame)) {
                    queue_.push_back({now + latencyMs, std::move(r)});
                }
            }
        }
        uint32_t next = now + maxWaitMs;
        if (!queue_.empty() && queue_.front().due - now <= maxWaitMs) {
            next = queue_.front().due;
        }
        if (onAdvance) {
            onAdvance(now, next);
        }
        now = next;
        while (!queue_.empty() && queue_.front().due == now) {
            Reply r = std::move(queue_.front().reply);
            queue_.pop_front();
            link_.Receive(r.type, r.payload);
        }
    }

    uint32_t now = 1000;
    uint32_t latencyMs = 10;
    int steps = 0;
    // Answers one frame; the replies arrive `latencyMs` later.
    std::function<std::vector<Reply>(const SentFrame&)> peer;
    // Called as time moves from `from` to `to` (to change the link's state).
    std::function<void(uint32_t from, uint32_t to)> onAdvance;

  private:
    struct Due {
        uint32_t due;
        Reply reply;
    };
    FakeLink& link_;
    std::size_t seen_ = 0;
    std::deque<Due> queue_;
};

inline std::string Status(bool ok, int32_t value = 0) {
    CMemoryStream s;
    WriteU8(s, ok ? 1 : 0);
    if (ok) {
        WriteI32(s, value);
    }
    return std::string(s.View());
}

inline std::string ListingEntry(const std::string& name, bool dir, uint64_t size) {
    CMemoryStream s;
    WriteString(s, name);
    WriteU8(s, dir ? 1 : 0);
    WriteU64(s, size);
    return std::string(s.View());
}

// A robot disk with drives "C:" and "D:" and backslash paths; "/" in a
// request path is taken as "\" as the robot's own system would.
class MemoryRobot {
  public:
    MemoryRobot() {
        dirs.insert("C:");
        dirs.insert("D:");
    }

    static std::string Normal(std::string p) {
        for (char& c : p) {
            if (c == '/') {
                c = '\\';
            }
        }
        while (p.size() > 2 && p.back() == '\\') {
            p.pop_back();
        }
        return p;
    }
    static std::string Parent(const std::string& p) {
        const auto at = p.rfind('\\');
        return at == std::string::npos ? std::string() : p.substr(0, at);
    }

    std::vector<Reply> operator()(const SentFrame& f) {
        CMemoryStream s;
        s.Assign(f.payload);
        auto path = [&] { return Normal(ReadString(s).value_or("")); };
        auto status = [](bool ok, int32_t v = 0) {
            return std::vector<Reply>{{msg::kStatusReply, Status(ok, v)}};
        };
        switch (f.type) {
            case msg::kDriveListRequest:
                return {{msg::kDriveList, std::string("\x01"
                                                      "C:\0D:\0",
                                                      8)}};
            case msg::kDirectoryRequest: {
                const std::string p = path();
                if (!dirs.count(p)) {
                    return {{msg::kDirectoryListing, std::string(1, '\0')}};
                }
                std::string out(1, '\x01');
                out += ListingEntry(".", true, 0) + ListingEntry("..", true, 0);
                for (const auto& d : dirs) {
                    if (Parent(d) == p) {
                        out += ListingEntry(d.substr(p.size() + 1), true, 0);
                    }
                }
                for (const auto& [name, data] : files) {
                    if (Parent(name) == p) {
                        out += ListingEntry(name.substr(p.size() + 1), false, data.size());
                    }
                }
                for (const auto& extra : extraEntries[p]) {
                    out += extra;
                }
                return {{msg::kDirectoryListing, out}};
            }
            case msg::kWriteBegin: {
                writing = path();
                buffer.clear();
                return {{msg::kWriteBeginReply,
                         std::string(1, writing.empty() || dirs.count(Parent(writing)) ? 1 : 0)}};
            }
            case msg::kWriteChunk: {
                const uint32_t offset = ReadU32(s);
                const std::string bytes = f.payload.substr(4);
                if (buffer.size() < offset + bytes.size()) {
                    buffer.resize(offset + bytes.size());
                }
                buffer.replace(offset, bytes.size(), bytes);
                return status(!writing.empty());
            }
            case msg::kWriteEnd:
                if (writing.empty()) {
                    return status(false);
                }
                files[writing] = buffer;
                writing.clear();
                return status(true);
            case msg::kReadOpen: {
                const auto it = files.find(path());
                reading = it == files.end() ? std::string() : it->first;
                return it == files.end() ? status(false)
                                         : status(true, static_cast<int32_t>(it->second.size()));
            }
            case msg::kReadChunk: {
                const uint32_t offset = ReadU32(s);
                const uint32_t count = ReadU32(s);
                const std::string& data = files[reading];
                if (unreadable.count(reading) || offset + count > data.size()) {
                    return {{msg::kReadChunkReply, std::string(1, '\0')}};
                }
                return {{msg::kReadChunkReply, "\x01" + data.substr(offset, count)}};
            }
            case msg::kReadClose:
                return status(true);
            case msg::kMakeDirectory: {
                const std::string p = path();
                const bool ok = dirs.count(Parent(p)) && !files.count(p);
                if (ok) {
                    dirs.insert(p);
                }
                return status(ok);
            }
            case msg::kDeleteFile: {
                const std::string p = path();
                return status(!undeletable.count(p) && files.erase(p) == 1);
            }
            case msg::kRemoveDirectory:
                return status(dirs.erase(path()) == 1);
            case msg::kRename: {
                const std::string from = path();
                const std::string to = path();
                auto node = files.extract(from);
                if (node.empty() || files.count(to)) {
                    return status(false);
                }
                node.key() = to;
                files.insert(std::move(node));
                return status(true);
            }
            case msg::kExecute: {
                const std::string p = path();
                if (!files.count(p)) {
                    return status(false);
                }
                executed.push_back(p);
                return status(true);
            }
            default:
                return {};
        }
    }

    std::set<std::string> dirs;
    std::map<std::string, std::string> files;
    std::set<std::string> unreadable;
    std::set<std::string> undeletable;
    std::map<std::string, std::vector<std::string>> extraEntries;  // raw listing entries
    std::vector<std::string> executed;
    std::string writing, buffer, reading;
};

}  // namespace velcora::test
