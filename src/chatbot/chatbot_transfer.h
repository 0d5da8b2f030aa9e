// Moving a chat-bot script between the console and the robot's memory. Both
// directions are UI-free state machines over the robot link, driven by the
// owner's timer with the elapsed time, reporting to a small progress view.
//
// Wire format (integers little-endian, 32-bit):
//   kChatBotDownloadRequest  out  offset; -1 starts and ends a download
//   kChatBotDownloadChunk    in   offset, total size, chunk bytes
//   kChatBotUpload           out  offset, total size, at most kChatBotChunkSize bytes
//   kChatBotUpload           in   the offset the robot expects next
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/robot_link.h"

namespace velcora {

inline constexpr int32_t kChatBotChunkSize = 8192;
// An unanswered chunk or request goes out again after this long.
inline constexpr int32_t kChatBotRetryMs = 4000;
// The largest script a download accepts; the robot's word is not taken for more.
inline constexpr int32_t kChatBotMaxScript = 64 * 1024 * 1024;

// Payload helpers, shared with whoever plays the robot's side.
struct ChatBotChunk {
    int32_t offset = 0;
    int32_t total = 0;
    std::string bytes;
};
void WriteChatBotChunk(CStream& s, int32_t offset, int32_t total, std::string_view bytes);
// False when the payload is too short for its header.
bool ReadChatBotChunk(CStream& s, int32_t length, ChatBotChunk& out);

enum class TransferResult {
    kRunning,
    kSucceeded,
    kCancelled,
    kTooLarge,  // download only: the robot declared more than kChatBotMaxScript
};

class IChatBotTransferView {
  public:
    virtual ~IChatBotTransferView() = default;
    // `done` of `total` bytes; total is 0 until a download learns it.
    virtual void OnProgress(int32_t done, int32_t total) = 0;
    // Called once, when the transfer ends by itself (not on Cancel).
    virtual void OnFinished(TransferResult result) = 0;
};

// Sends `bytes` (the encoded script) in chunks; each acknowledgement names the
// next offset. A chunk not acknowledged within kChatBotRetryMs goes out again.
class CChatBotUpload {
  public:
    CChatBotUpload(IRobotLink& link, IChatBotTransferView& view, std::string bytes);
    CChatBotUpload(const CChatBotUpload&) = delete;
    CChatBotUpload& operator=(const CChatBotUpload&) = delete;

    // Listens for acknowledgements; the first chunk goes out on the next Tick.
    void Start();
    // The owner's periodic timer (50 ms in the editor).
    void Tick(int32_t elapsedMs);
    // Stops listening and sending; nothing is sent.
    void Cancel();
    // The link was authorised again: what it held may be lost, so the chunk at
    // the current offset goes out now rather than after the retry time.
    void Resend();

    TransferResult Result() const { return result_; }
    int32_t Offset() const { return offset_; }
    int32_t Total() const { return static_cast<int32_t>(bytes_.size()); }

  private:
    void OnAck(CStream& payload, int32_t length);
    void SendChunk();

    IRobotLink& link_;
    IChatBotTransferView& view_;
    std::string bytes_;
    int32_t offset_ = 0;
    int32_t countdown_ = 0;
    TransferResult result_ = TransferResult::kRunning;
    CMessageDispatcher::Registration ack_;
};

// Fetches the robot's script: a start request (-1), then requests for the
// next offset until the declared total is in, and a closing request (-1).
// Chunks are taken only where they continue what has come in, and a changed
// total starts the download over, so that a finished download never holds a
// hole or two scripts pieced together.
class CChatBotDownload {
  public:
    CChatBotDownload(IRobotLink& link, IChatBotTransferView& view);
    CChatBotDownload(const CChatBotDownload&) = delete;
    CChatBotDownload& operator=(const CChatBotDownload&) = delete;

    // Listens for chunks and sends the start request; the request for offset 0
    // goes out on the next Tick.
    void Start();
    void Tick(int32_t elapsedMs);
    // Sends the closing request and stops.
    void Cancel();
    // The link was authorised again: the robot has forgotten the download, so
    // it starts over with the start request; what came in is dropped.
    void Restart();

    TransferResult Result() const { return result_; }
    int32_t Offset() const { return offset_; }
    int32_t Total() const { return total_; }
    // The script's bytes; complete once Result() is kSucceeded.
    const std::string& Bytes() const { return buffer_; }
    // Milliseconds of ticks since a chunk last brought new bytes (or since
    // Start): the owner's measure of a download that has stalled.
    int32_t IdleMs() const { return idle_; }

  private:
    void OnChunk(CStream& payload, int32_t length);
    void SendRequest(int32_t offset);
    void Finish(TransferResult result);

    IRobotLink& link_;
    IChatBotTransferView& view_;
    std::string buffer_;
    int32_t total_ = 0;
    bool sized_ = false;  // a chunk has declared the total
    int32_t offset_ = 0;
    int32_t countdown_ = 0;
    int32_t idle_ = 0;
    TransferResult result_ = TransferResult::kRunning;
    CMessageDispatcher::Registration chunk_;
};

}  // namespace velcora
