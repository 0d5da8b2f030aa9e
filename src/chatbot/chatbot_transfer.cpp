#include "chatbot/chatbot_transfer.h"

#include <algorithm>

namespace velcora {

void WriteChatBotChunk(CStream& s, int32_t offset, int32_t total, std::string_view bytes) {
    WriteI32(s, offset);
    WriteI32(s, total);
    WriteBytes(s, bytes);
}

bool ReadChatBotChunk(CStream& s, int32_t length, ChatBotChunk& out) {
    if (length < 8) {
        return false;
    }
    out.offset = ReadI32(s);
    out.total = ReadI32(s);
    out.bytes = ReadBytes(s, length - 8);
    // A frame cut short in the buffer must not pass for a shorter chunk.
    return static_cast<int32_t>(out.bytes.size()) == length - 8;
}

// ------------------------------------------------------------------ upload

CChatBotUpload::CChatBotUpload(IRobotLink& link, IChatBotTransferView& view, std::string bytes)
    : link_(link), view_(view), bytes_(std::move(bytes)) {}

void CChatBotUpload::Start() {
    offset_ = 0;
    countdown_ = 0;
    result_ = TransferResult::kRunning;
    ack_ = link_.Dispatcher().Register(
        msg::kChatBotUpload, [this](CStream& payload, int32_t length) { OnAck(payload, length); });
    view_.OnProgress(0, Total());
}

void CChatBotUpload::Tick(int32_t elapsedMs) {
    if (result_ != TransferResult::kRunning || !ack_.Active()) {
        return;
    }
    countdown_ -= elapsedMs;
    if (countdown_ <= 0) {
        SendChunk();
        countdown_ = kChatBotRetryMs;
    }
}

void CChatBotUpload::SendChunk() {
    const int32_t count = std::min(kChatBotChunkSize, Total() - offset_);
    CStream& s = link_.BeginFrame(msg::kChatBotUpload);
    WriteChatBotChunk(s, offset_, Total(),
                      std::string_view(bytes_).substr(static_cast<std::size_t>(offset_),
                                                      static_cast<std::size_t>(count)));
    link_.EndFrame();
}

void CChatBotUpload::OnAck(CStream& payload, int32_t length) {
    if (result_ != TransferResult::kRunning || length < 4) {
        return;
    }
    const int32_t next = ReadI32(payload);
    // The robot may ask for any part again, but nothing outside the script.
    if (next < 0 || next > Total()) {
        return;
    }
    offset_ = next;
    countdown_ = 0;
    view_.OnProgress(offset_, Total());
    if (offset_ == Total()) {
        result_ = TransferResult::kSucceeded;
        ack_.Reset();
        view_.OnFinished(result_);
    }
}

void CChatBotUpload::Cancel() {
    if (result_ == TransferResult::kRunning) {
        result_ = TransferResult::kCancelled;
    }
    ack_.Reset();
}

void CChatBotUpload::Resend() {
    if (result_ != TransferResult::kRunning || !ack_.Active()) {
        return;
    }
    SendChunk();
    countdown_ = kChatBotRetryMs;
}

// ---------------------------------------------------------------- download

CChatBotDownload::CChatBotDownload(IRobotLink& link, IChatBotTransferView& view)
    : link_(link), view_(view) {}

void CChatBotDownload::Start() {
    buffer_.clear();
    total_ = 0;
    sized_ = false;
    offset_ = 0;
    countdown_ = 0;
    idle_ = 0;
    result_ = TransferResult::kRunning;
    chunk_ = link_.Dispatcher().Register(
        msg::kChatBotDownloadChunk,
        [this](CStream& payload, int32_t length) { OnChunk(payload, length); });
    SendRequest(-1);
    view_.OnProgress(0, 0);
}

void CChatBotDownload::Restart() {
    if (result_ != TransferResult::kRunning || !chunk_.Active()) {
        return;
    }
    buffer_.clear();
    total_ = 0;
    sized_ = false;
    offset_ = 0;
    countdown_ = 0;
    SendRequest(-1);
    view_.OnProgress(0, 0);
}

void CChatBotDownload::Tick(int32_t elapsedMs) {
    if (result_ != TransferResult::kRunning || !chunk_.Active()) {
        return;
    }
    idle_ += elapsedMs;
    countdown_ -= elapsedMs;
    if (countdown_ <= 0) {
        SendRequest(offset_);
        countdown_ = kChatBotRetryMs;
    }
}

void CChatBotDownload::SendRequest(int32_t offset) {
    WriteI32(link_.BeginFrame(msg::kChatBotDownloadRequest), offset);
    link_.EndFrame();
}

void CChatBotDownload::OnChunk(CStream& payload, int32_t length) {
    if (result_ != TransferResult::kRunning) {
        return;
    }
    ChatBotChunk chunk;
    if (!ReadChatBotChunk(payload, length, chunk) || chunk.total < 0) {
        return;
    }
    if (chunk.total > kChatBotMaxScript) {
        Finish(TransferResult::kTooLarge);
        return;
    }
    // Only what lies inside the declared total is stored.
    const int64_t end = int64_t{chunk.offset} + static_cast<int64_t>(chunk.bytes.size());
    if (chunk.offset < 0 || end > chunk.total) {
        return;
    }
    if (sized_ && chunk.total != total_) {
        // The script changed on the robot under the download: start again
        // rather than piece two scripts together.
        buffer_.clear();
        offset_ = 0;
        total_ = 0;
        sized_ = false;
        countdown_ = 0;
    }
    // A chunk beyond what has come in would leave a hole that passes for a
    // complete script; the next request asks for the missing part again.
    if (chunk.offset > offset_) {
        return;
    }
    // A chunk that brings nothing new (a robot answering every request with
    // the same empty reply) is no progress: asking again at once would flood
    // the link for ever, so the next request waits for the retry time.
    const bool advances = end > offset_;
    if (sized_ && !advances && offset_ < total_) {
        return;
    }
    sized_ = true;
    total_ = chunk.total;
    buffer_.resize(static_cast<std::size_t>(total_));
    std::copy(chunk.bytes.begin(), chunk.bytes.end(),
              buffer_.begin() + static_cast<std::ptrdiff_t>(chunk.offset));
    offset_ = static_cast<int32_t>(end);
    if (advances) {
        countdown_ = 0;
        idle_ = 0;
    }
    view_.OnProgress(offset_, total_);
    if (offset_ == total_) {
        Finish(TransferResult::kSucceeded);
    }
}

void CChatBotDownload::Finish(TransferResult result) {
    result_ = result;
    chunk_.Reset();
    SendRequest(-1);
    view_.OnFinished(result);
}

void CChatBotDownload::Cancel() {
    if (result_ != TransferResult::kRunning) {
        return;
    }
    result_ = TransferResult::kCancelled;
    chunk_.Reset();
    SendRequest(-1);
}

}  // namespace velcora
