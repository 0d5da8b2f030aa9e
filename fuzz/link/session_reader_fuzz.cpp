// The recording reader over arbitrary bytes: it never reads past what it was
// given, never keeps a payload longer than a link frame, and a fault stops it
// for good with a text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/session_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    if (size == 0)
        return 0;
    std::string copy(reinterpret_cast<const char*>(data), size);
    std::FILE* f = fmemopen(copy.data(), copy.size(), "rb");
    if (!f)
        return 0;
    CSessionReader reader;
    if (!reader.Attach(f, "input")) {
        if (reader.Error().empty())
            std::abort();
        return 0;
    }
    SessionRecord record;
    int64_t total = 0;
    // Three ways through the file in turn: whole payloads, skipped payloads,
    // and a head with a few bytes of its payload.
    for (unsigned turn = 0;; ++turn) {
        CSessionReader::Result result;
        if (turn % 3 == 2) {
            result = reader.NextHead(record);
            if (result == CSessionReader::Result::kRecord && !reader.Payload(record, turn % 7))
                result = CSessionReader::Result::kError;
            if (record.payload.size() > turn % 7)
                std::abort();
        } else {
            result = reader.Next(record, turn % 3 == 0);
        }
        if (result == CSessionReader::Result::kEnd)
            break;
        if (result == CSessionReader::Result::kError) {
            if (reader.Error().empty() || reader.Next(record) != CSessionReader::Result::kError)
                std::abort();
            break;
        }
        const bool frame =
            record.kind == RecordKind::kIncoming || record.kind == RecordKind::kOutgoing;
        if ((frame && record.length > kMaxRecordPayload) || record.payload.size() > record.length ||
            (record.withheld && !record.payload.empty()))
            std::abort();
        total += kRecordHeaderSize + static_cast<int64_t>(record.payload.size());
        if (total > static_cast<int64_t>(size) || reader.Position() > static_cast<int64_t>(size))
            std::abort();
    }
    return 0;
}
