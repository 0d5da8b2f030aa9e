#include "link/session_file.h"

#include <algorithm>
#include <cstring>

#include "link/robot_link.h"

namespace velcora {

namespace {

void Put(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

uint64_t Get(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = v << 8 | p[i];
    }
    return v;
}

void PutShortText(std::string& out, std::string_view text) {
    const std::size_t n = std::min<std::size_t>(text.size(), 255);
    out.push_back(static_cast<char>(n));
    out.append(text.substr(0, n));
}

// Payloads are read in steps, so that a length promising megabytes in a file
// that holds a few bytes costs no more memory than the file has.
constexpr std::size_t kReadStep = 1 << 20;

}  // namespace

std::string EncodeSessionHeader(const SessionHeader& header) {
    std::string out(kSessionMark, sizeof kSessionMark);
    Put(out, header.format, 2);
    Put(out, static_cast<uint64_t>(header.startUtcMs), 8);
    Put(out, header.port, 2);
    out.push_back(header.tunnel ? 1 : 0);
    PutShortText(out, header.host);
    PutShortText(out, header.consoleVersion);
    return out;
}

std::string EncodeRecordHead(uint32_t ms, RecordKind kind, bool withheld, msg::Type type,
                             uint32_t length) {
    std::string out;
    out.reserve(kRecordHeaderSize);
    Put(out, ms, 4);
    out.push_back(static_cast<char>(kind));
    out.push_back(static_cast<char>(withheld ? kRecordWithheld : 0));
    Put(out, type, 2);
    Put(out, length, 4);
    return out;
}

bool IsMediaType(msg::Type type) {
    switch (type) {
        case msg::kVideoFrame:
        case msg::kVideoFrameRanges:
        case msg::kVideoFrameRangesLines:
        case msg::kSoundBlock:
        case msg::kMicrophoneBlock:
            return true;
        default:
            return false;
    }
}

CSessionReader::~CSessionReader() {
    if (file_) {
        std::fclose(file_);
    }
}

bool CSessionReader::Open(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        name_ = path;
        return Fail("cannot open " + path + ": " + std::strerror(errno));
    }
    return Attach(f, path);
}

bool CSessionReader::Fail(std::string text) {
    error_ = std::move(text);
    failed_ = true;
    return false;
}

bool CSessionReader::ReadExact(void* data, std::size_t count, std::size_t& got) {
    got = std::fread(data, 1, count, file_);
    position_ += static_cast<int64_t>(got);
    return got == count;
}

bool CSessionReader::Attach(std::FILE* file, std::string name) {
    if (file_) {
        std::fclose(file_);
    }
    file_ = file;
    name_ = std::move(name);
    position_ = 0;
    unread_ = 0;
    failed_ = false;
    error_.clear();
    header_ = {};
    if (!file_) {
        return Fail("cannot read " + name_);
    }
    // Large sequential reads: the whole file goes past once.
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 18);
    uint8_t fixed[21];
    std::size_t got = 0;
    const bool whole = ReadExact(fixed, sizeof fixed, got);
    const std::size_t markBytes = std::min(got, sizeof kSessionMark);
    if (std::memcmp(fixed, kSessionMark, markBytes) != 0 || got == 0) {
        return Fail(name_ + " is not a session recording");
    }
    if (got >= 10) {
        header_.format = static_cast<uint16_t>(Get(fixed + 8, 2));
        if (header_.format > kSessionFormat) {
            return Fail(name_ + " was recorded in format " + std::to_string(header_.format) +
                        " by a newer console; this one reads format " +
                        std::to_string(kSessionFormat) + " and older");
        }
        if (header_.format == 0) {
            return Fail(name_ + " is not a session recording (format 0)");
        }
    }
    if (!whole) {
        return Fail(name_ + ": the recording's header is cut short");
    }
    header_.startUtcMs = static_cast<int64_t>(Get(fixed + 10, 8));
    header_.port = static_cast<uint16_t>(Get(fixed + 18, 2));
    header_.tunnel = (fixed[20] & 1) != 0;
    for (std::string* text : {&header_.host, &header_.consoleVersion}) {
        uint8_t n = 0;
        if (!ReadExact(&n, 1, got)) {
            return Fail(name_ + ": the recording's header is cut short");
        }
        text->assign(n, '\0');
        if (n > 0 && !ReadExact(text->data(), n, got)) {
            return Fail(name_ + ": the recording's header is cut short");
        }
    }
    firstRecord_ = position_;
    return true;
}

bool CSessionReader::CutShort() {
    return Fail(name_ + ": the record at byte " + std::to_string(recordAt_) +
                " is cut short (the recording ended abruptly); the records before it are "
                "intact");
}

bool CSessionReader::Skip(std::size_t count) {
    if (count == 0) {
        return true;
    }
    // A seek within what the stream has buffered costs no copy; the last
    // byte is read to know the payload is all there.
    if (std::fseek(file_, static_cast<long>(count) - 1, SEEK_CUR) != 0 ||
        std::fgetc(file_) == EOF) {
        return CutShort();
    }
    position_ += static_cast<int64_t>(count);
    return true;
}

CSessionReader::Result CSessionReader::NextHead(SessionRecord& record) {
    if (!file_ || failed_) {
        return Result::kError;
    }
    if (unread_ > 0) {
        const std::size_t left = unread_;
        unread_ = 0;
        if (!Skip(left)) {
            return Result::kError;
        }
    }
    recordAt_ = position_;
    uint8_t head[kRecordHeaderSize];
    std::size_t got = 0;
    if (!ReadExact(head, sizeof head, got)) {
        if (got == 0 && !std::ferror(file_)) {
            return Result::kEnd;
        }
        CutShort();
        return Result::kError;
    }
    const int64_t at = recordAt_;
    record.offset = at;
    record.ms = static_cast<uint32_t>(Get(head, 4));
    const uint8_t kind = head[4];
    record.withheld = (head[5] & kRecordWithheld) != 0;
    record.type = static_cast<msg::Type>(Get(head + 6, 2));
    record.length = static_cast<uint32_t>(Get(head + 8, 4));
    record.payload.clear();
    if (kind > static_cast<uint8_t>(RecordKind::kDropped) || (head[5] & ~kRecordWithheld) != 0) {
        Fail(name_ + ": the record at byte " + std::to_string(at) + " is damaged (kind " +
             std::to_string(kind) + ", flags " + std::to_string(head[5]) + ")");
        return Result::kError;
    }
    record.kind = static_cast<RecordKind>(kind);
    const bool frame = record.kind == RecordKind::kIncoming || record.kind == RecordKind::kOutgoing;
    // No frame crossed the link longer than this, kept or withheld.
    if (frame && record.length > kMaxRecordPayload) {
        Fail(name_ + ": the record at byte " + std::to_string(at) + " claims " +
             std::to_string(record.length) + " bytes, more than a link frame may carry");
        return Result::kError;
    }
    const bool carries = frame && !record.withheld;
    if (!carries) {
        if (!record.withheld && record.length != 0 && record.kind != RecordKind::kDropped) {
            Fail(name_ + ": the record at byte " + std::to_string(at) + " is damaged");
            return Result::kError;
        }
        return Result::kRecord;
    }
    unread_ = record.length;
    return Result::kRecord;
}

bool CSessionReader::Payload(SessionRecord& record, uint32_t upTo) {
    if (failed_) {
        return false;
    }
    std::size_t want = std::min<std::size_t>(unread_, upTo);
    std::size_t got = 0;
    while (want > 0) {
        // In steps: a length promising megabytes in a file that holds a few
        // bytes costs no more memory than the file has.
        const std::size_t step = std::min(want, kReadStep);
        const std::size_t old = record.payload.size();
        record.payload.resize(old + step);
        if (!ReadExact(record.payload.data() + old, step, got)) {
            record.payload.clear();
            unread_ = 0;
            return CutShort();
        }
        want -= step;
        unread_ -= step;
    }
    return true;
}

CSessionReader::Result CSessionReader::Next(SessionRecord& record, bool payload) {
    const Result result = NextHead(record);
    if (result != Result::kRecord) {
        return result;
    }
    // The payload is read or skipped now, so that a cut is found at the
    // record it cuts.
    if (payload) {
        return Payload(record) ? Result::kRecord : Result::kError;
    }
    return SkipPayload() ? Result::kRecord : Result::kError;
}

bool CSessionReader::SkipPayload() {
    if (failed_) {
        return false;
    }
    const std::size_t left = unread_;
    unread_ = 0;
    return Skip(left);
}

bool CSessionReader::Rewind() {
    if (!file_ || firstRecord_ == 0) {
        return false;
    }
    if (std::fseek(file_, static_cast<long>(firstRecord_), SEEK_SET) != 0) {
        return Fail(name_ + ": cannot seek");
    }
    position_ = firstRecord_;
    unread_ = 0;
    failed_ = false;
    error_.clear();
    return true;
}

CSessionReader::Result SummariseRecording(CSessionReader& reader, SessionSummary& s) {
    int32_t state = kStateIdle;
    SessionRecord record;
    for (;;) {
        // Of the payloads only a picture's first byte (its camera) is read;
        // the rest is skipped, so this costs about one read of the file.
        const auto result = reader.NextHead(record);
        if (result != CSessionReader::Result::kRecord) {
            return result;
        }
        s.durationMs = std::max(s.durationMs, record.ms);
        switch (record.kind) {
            case RecordKind::kLinkState: {
                const int32_t next = record.type;
                // The operator's own disconnect (idle) is no drop.
                if (state == kStateAuthorised && next != kStateAuthorised && next != kStateIdle) {
                    s.linkDrops.push_back({record.ms, next});
                }
                state = next;
                break;
            }
            case RecordKind::kDropped:
                s.dropped.push_back({record.ms, record.length});
                s.droppedTotal += record.length;
                break;
            case RecordKind::kIncoming:
            case RecordKind::kOutgoing: {
                const bool in = record.kind == RecordKind::kIncoming;
                // A picture message is at least 6 bytes, the camera first.
                const bool picture =
                    in && !record.withheld && record.length >= 6 &&
                    (record.type == msg::kVideoFrame || record.type == msg::kVideoFrameRanges ||
                     record.type == msg::kVideoFrameRangesLines);
                if ((picture && !reader.Payload(record, 1)) || !reader.SkipPayload()) {
                    return CSessionReader::Result::kError;
                }
                if (picture) {
                    ++s.pictures[static_cast<uint8_t>(record.payload[0])];
                }
                SessionSummary::Count& c = s.types[{in ? 0 : 1, record.type}];
                ++c.frames;
                c.bytes += record.length;
                c.withheld = c.withheld || record.withheld;
                (in ? s.framesIn : s.framesOut) += 1;
                (in ? s.bytesIn : s.bytesOut) += record.length;
                break;
            }
        }
    }
}

}  // namespace velcora
