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
    bool skip = false;
    for (;;) {
        const auto result = reader.Next(record, skip);
        skip = !skip;
        if (result == CSessionReader::Result::kEnd)
            break;
        if (result == CSessionReader::Result::kError) {
            if (reader.Error().empty() || reader.Next(record) != CSessionReader::Result::kError)
                std::abort();
            break;
        }
        if (record.length > kMaxRecordPayload || record.payload.size() > record.length)
            std::abort();
        total += kRecordHeaderSize + static_cast<int64_t>(record.payload.size());
        if (total > static_cast<int64_t>(size) || reader.Position() > static_cast<int64_t>(size))
            std::abort();
    }
    return 0;
}
