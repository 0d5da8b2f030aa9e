// The session recording file (".vrec"): a header, then one record per frame
// that crossed the link, per change of the link's state, and per run of
// frames the recorder had to drop. Every number is little-endian.
//
//   header   8  mark "VELCOREC"
//            2  format version
//            8  start, milliseconds since 1970-01-01 UTC
//            2  port
//            1  flags (bit 0: through the relay)
//            1  host length, then the host
//            1  console version length, then the version text
//   record   4  milliseconds since the start
//            1  kind (0 incoming, 1 outgoing, 2 link state, 3 dropped)
//            1  flags (bit 0: the payload is withheld, only its length is kept)
//            2  message type (link state: the state)
//            4  length (dropped: how many frames)
//            n  the payload, unless withheld
//
// Records are appended whole, so a recording cut by a crash or a full disk
// ends in at most one partial record and everything before it reads back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/catalogue.h"

namespace velcora {

inline constexpr char kSessionMark[8] = {'V', 'E', 'L', 'C', 'O', 'R', 'E', 'C'};
inline constexpr uint16_t kSessionFormat = 1;
inline constexpr int32_t kRecordHeaderSize = 12;
// The same bound the link puts on a frame.
inline constexpr uint32_t kMaxRecordPayload = 20000000;

enum class RecordKind : uint8_t {
    kIncoming = 0,
    kOutgoing = 1,
    kLinkState = 2,
    kDropped = 3,
};
inline constexpr uint8_t kRecordWithheld = 0x01;

struct SessionHeader {
    uint16_t format = kSessionFormat;
    int64_t startUtcMs = 0;
    std::string host;
    uint16_t port = 0;
    bool tunnel = false;
    std::string consoleVersion;
};

struct SessionRecord {
    uint32_t ms = 0;
    RecordKind kind = RecordKind::kIncoming;
    bool withheld = false;
    msg::Type type = 0;  // the link state for kLinkState
    uint32_t length = 0;
    std::string payload;  // empty when withheld (or not asked for)
    int64_t offset = 0;   // of the record in the file
};

// The header's bytes (host and version cut to 255 bytes).
std::string EncodeSessionHeader(const SessionHeader& header);
// One record's bytes: its header and, unless withheld, the payload.
std::string EncodeRecordHead(uint32_t ms, RecordKind kind, bool withheld, msg::Type type,
                             uint32_t length);

// The handshake's frames: their payloads never reach a recording.
inline bool IsHandshakeType(msg::Type type) {
    return type == msg::kAuth || type == msg::kAuthResult;
}
// Pictures and sound: the first to go when the disk cannot keep up.
bool IsMediaType(msg::Type type);

// Reads a recording front to back. Every fault stops the reading at the
// record where it was found, with a text that says what and where; the
// records before it were returned intact.
class CSessionReader {
  public:
    enum class Result { kRecord, kEnd, kError };

    CSessionReader() = default;
    ~CSessionReader();
    CSessionReader(const CSessionReader&) = delete;
    CSessionReader& operator=(const CSessionReader&) = delete;

    // Opens the file and reads its header; false with Error() set.
    bool Open(const std::string& path);
    // The same over a stream already open for reading (the reader closes it).
    bool Attach(std::FILE* file, std::string name);
    const SessionHeader& Header() const { return header_; }

    // The next record; with `payload` false the payload is skipped.
    Result Next(SessionRecord& record, bool payload = true);
    // The next record's head alone: its payload can be read with Payload
    // before the next call, which otherwise skips it.
    Result NextHead(SessionRecord& record);
    // Up to `upTo` bytes of the payload of the record NextHead returned, into
    // record.payload; false (and the reading stops) when the file ends first.
    bool Payload(SessionRecord& record, uint32_t upTo = kMaxRecordPayload);
    // Skips what is left of that payload now (a cut shows at this record).
    bool SkipPayload();
    // Back to the first record (for replaying in a loop).
    bool Rewind();
    const std::string& Error() const { return error_; }
    // Where the records start and where reading stands.
    int64_t Position() const { return position_; }
    int64_t FirstRecord() const { return firstRecord_; }

  private:
    bool Fail(std::string text);
    bool ReadExact(void* data, std::size_t count, std::size_t& got);
    bool Skip(std::size_t count);
    bool CutShort();

    std::FILE* file_ = nullptr;
    std::string name_;
    SessionHeader header_;
    std::string error_;
    int64_t position_ = 0;
    int64_t firstRecord_ = 0;
    bool failed_ = false;
    int64_t recordAt_ = 0;    // where the last record began
    std::size_t unread_ = 0;  // of its payload
};

// What a recording holds, in one pass over its record heads.
struct SessionSummary {
    struct Count {
        uint64_t frames = 0;
        uint64_t bytes = 0;  // payload bytes
        bool withheld = false;
    };
    uint32_t durationMs = 0;
    // By (0 incoming / 1 outgoing, type).
    std::map<std::pair<int, msg::Type>, Count> types;
    std::map<int, uint64_t> pictures;  // picture messages per camera
    // When the authorised link broke, and into which state.
    std::vector<std::pair<uint32_t, int32_t>> linkDrops;
    // Where frames were left out, and how many.
    std::vector<std::pair<uint32_t, uint32_t>> dropped;
    uint64_t droppedTotal = 0;
    uint64_t framesIn = 0;
    uint64_t framesOut = 0;
    uint64_t bytesIn = 0;
    uint64_t bytesOut = 0;
};

// Reads the rest of the recording into `summary`; kEnd when it read to the
// end, kError (with the reader's Error) at a fault, the records before it
// counted.
CSessionReader::Result SummariseRecording(CSessionReader& reader, SessionSummary& summary);

}  // namespace velcora
