// The robot's side of the chat-bot script transfer.
//
// Download: a request for -1 opens (or closes) a download; a request for an
// offset is answered with one chunk of at most --chatbot-chunk bytes from
// there. Upload: chunks are stored in order; each one is acknowledged with the
// offset expected next, and the script is replaced once the declared total is
// in. --drop-ack N loses the N-th acknowledgement.
#include "sim/sim_chatbot.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "chatbot/chatbot_transfer.h"
#include "chatbot/demo_script.h"
#include "sim/sim_features.h"

namespace velcora::sim {

namespace fs = std::filesystem;

namespace {

bool ReadFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    // A chunk header counts in 32 bits; no script of the robot's is larger.
    if (size < 0 || size > INT32_MAX) {
        return false;
    }
    in.seekg(0, std::ios::beg);
    bytes.resize(static_cast<std::size_t>(size));
    in.read(bytes.data(), size);
    return in.gcount() == size;
}

// Written beside the script first, so that a failed write leaves the old one.
bool WriteFileReplacing(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush()) {
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

bool StoreChatBotScript(CSimRobot& robot, const std::string& bytes) {
    const std::string path = ChatBotScriptPath(robot);
    if (path.empty()) {
        robot.Feature<SimChatBot>().memory = bytes;
        return true;
    }
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    return WriteFileReplacing(path, bytes);
}

void Seed(CSimRobot& robot) {
    const std::string path = ChatBotScriptPath(robot);
    if (path.empty()) {
        robot.Feature<SimChatBot>().memory = std::string(DemoScriptBytes());
        return;
    }
    std::error_code ec;
    const fs::path folder = fs::path(path).parent_path();
    if (fs::exists(folder, ec)) {
        return;
    }
    if (!fs::create_directories(folder, ec) ||
        !WriteFileReplacing(path, std::string(DemoScriptBytes()))) {
        robot.Log("chat-bot: cannot seed %s", path.c_str());
    }
}

void OnDownloadRequest(CSimRobot& robot, CStream& payload, int32_t length) {
    SimChatBot& state = robot.Feature<SimChatBot>();
    if (length < 4) {
        robot.Log("chat-bot: download request of %d bytes ignored", length);
        return;
    }
    const int32_t offset = ReadI32(payload);
    if (offset == -1) {
        state.snapshot.clear();
        state.snapshot.shrink_to_fit();
        state.haveSnapshot = false;
        robot.Log("chat-bot: download opened or closed");
        return;
    }
    if (!state.haveSnapshot) {
        if (!LoadChatBotScript(robot, state.snapshot)) {
            robot.Log("chat-bot: cannot read %s", ChatBotScriptPath(robot).c_str());
            return;
        }
        state.haveSnapshot = true;
    }
    const auto total = static_cast<int32_t>(state.snapshot.size());
    if (offset < 0 || offset > total) {
        robot.Log("chat-bot: download offset %d outside the script (%d bytes)", offset, total);
        return;
    }
    const int32_t count = std::min(robot.Options().chatbotChunk, total - offset);
    CMemoryStream chunk;
    WriteChatBotChunk(
        chunk, offset, total,
        std::string_view(state.snapshot)
            .substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(count)));
    robot.Send(msg::kChatBotDownloadChunk, chunk.View());
    robot.Log("chat-bot: sent %d bytes at %d of %d", count, offset, total);
}

void Acknowledge(CSimRobot& robot, int32_t next) {
    SimChatBot& state = robot.Feature<SimChatBot>();
    ++state.acknowledgements;
    if (state.acknowledgements == robot.Options().dropAck) {
        robot.Log("chat-bot: acknowledgement %d (offset %d) lost on purpose",
                  state.acknowledgements, next);
        return;
    }
    CMemoryStream ack;
    WriteI32(ack, next);
    robot.Send(msg::kChatBotUpload, ack.View());
}

void OnUploadChunk(CSimRobot& robot, CStream& payload, int32_t length) {
    SimChatBot& state = robot.Feature<SimChatBot>();
    ChatBotChunk chunk;
    if (!ReadChatBotChunk(payload, length, chunk)) {
        robot.Log("chat-bot: upload chunk of %d bytes ignored", length);
        return;
    }
    const int64_t end = int64_t{chunk.offset} + static_cast<int64_t>(chunk.bytes.size());
    if (chunk.total < 0 || chunk.total > kChatBotMaxScript || chunk.offset < 0 ||
        end > chunk.total) {
        robot.Log("chat-bot: upload chunk at %d (%zu bytes) of %d refused", chunk.offset,
                  chunk.bytes.size(), chunk.total);
        return;
    }
    if (chunk.offset == 0) {
        // The first chunk (or its resend) starts the upload over.
        state.upload.clear();
        state.uploadTotal = chunk.total;
    } else if (chunk.total != state.uploadTotal) {
        // Not the upload the robot has in hand (a new session, say): ask for
        // the script from its start.
        robot.Log("chat-bot: upload chunk at %d belongs to no open upload", chunk.offset);
        Acknowledge(robot, 0);
        return;
    }
    const auto received = static_cast<int32_t>(state.upload.size());
    if (chunk.offset > received) {
        // A gap: ask again for what is missing.
        Acknowledge(robot, received);
        return;
    }
    state.upload.replace(static_cast<std::size_t>(chunk.offset), chunk.bytes.size(), chunk.bytes);
    const auto next = static_cast<int32_t>(state.upload.size());
    robot.Log("chat-bot: received %d of %d bytes", next, state.uploadTotal);
    if (next == state.uploadTotal) {
        // A resent last chunk stores the script again, which changes nothing.
        if (!StoreChatBotScript(robot, state.upload)) {
            robot.Log("chat-bot: cannot store the script in %s", ChatBotScriptPath(robot).c_str());
            return;
        }
        robot.Log("chat-bot: script of %d bytes stored", next);
    }
    Acknowledge(robot, next);
}

}  // namespace

std::string ChatBotScriptPath(const CSimRobot& robot) {
    if (robot.Root().empty()) {
        return {};
    }
    return (fs::path(robot.Root()) / "chatbot" / "script.txt").string();
}

bool LoadChatBotScript(CSimRobot& robot, std::string& bytes) {
    const std::string path = ChatBotScriptPath(robot);
    if (path.empty()) {
        bytes = robot.Feature<SimChatBot>().memory;
        return true;
    }
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        // Removed by hand: the robot has an empty script.
        bytes.clear();
        return true;
    }
    return ReadFile(path, bytes);
}

void InstallChatbot(CSimRobot& robot) {
    Seed(robot);
    robot.OnSession([&robot] {
        SimChatBot& state = robot.Feature<SimChatBot>();
        state.snapshot.clear();
        state.haveSnapshot = false;
        state.upload.clear();
        state.uploadTotal = -1;
    });
    robot.On(msg::kChatBotDownloadRequest, [&robot](CStream& payload, int32_t length) {
        OnDownloadRequest(robot, payload, length);
    });
    robot.On(msg::kChatBotUpload,
             [&robot](CStream& payload, int32_t length) { OnUploadChunk(robot, payload, length); });
}

}  // namespace velcora::sim
