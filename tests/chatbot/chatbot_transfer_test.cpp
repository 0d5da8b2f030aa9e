#include "chatbot/chatbot_transfer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_link.h"

namespace velcora {

void PrintTo(TransferResult r, std::ostream* os) {
    static const char* const kNames[] = {"running", "succeeded", "cancelled", "too large"};
    *os << kNames[static_cast<int>(r)];
}

namespace {

using test::FakeLink;

struct RecordingView : IChatBotTransferView {
    void OnProgress(int32_t done, int32_t total) override { progress.push_back({done, total}); }
    void OnFinished(TransferResult result) override { finished.push_back(result); }
    std::vector<std::pair<int32_t, int32_t>> progress;
    std::vector<TransferResult> finished;
};

std::string I32(int32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
    }
    return out;
}

std::string Chunk(int32_t offset, int32_t total, std::string_view bytes) {
    return I32(offset) + I32(total) + std::string(bytes);
}

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>('a' + i % 23);
    }
    return s;
}

// ------------------------------------------------------------------ upload

struct UploadSplit {
    std::size_t size;
    std::vector<std::size_t> chunks;
};
void PrintTo(const UploadSplit& c, std::ostream* os) {
    *os << c.size << " bytes";
}
class UploadChunks : public testing::TestWithParam<UploadSplit> {};

TEST_P(UploadChunks, SplitAtTheChunkSize) {
    FakeLink link;
    RecordingView view;
    const std::string bytes = Pattern(GetParam().size);
    CChatBotUpload up(link, view, bytes);
    up.Start();
    std::string received;
    int32_t expectOffset = 0;
    for (std::size_t n : GetParam().chunks) {
        up.Tick(50);
        const auto sent = link.Of(msg::kChatBotUpload);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back().payload, Chunk(expectOffset, static_cast<int32_t>(bytes.size()),
                                             std::string_view(bytes).substr(expectOffset, n)));
        received += sent.back().payload.substr(8);
        expectOffset += static_cast<int32_t>(n);
        EXPECT_EQ(up.Result(), TransferResult::kRunning);
        link.Receive(msg::kChatBotUpload, I32(expectOffset));
    }
    EXPECT_EQ(link.Of(msg::kChatBotUpload).size(), GetParam().chunks.size());
    EXPECT_EQ(received, bytes);
    EXPECT_EQ(up.Result(), TransferResult::kSucceeded);
    EXPECT_EQ(view.finished, std::vector<TransferResult>{TransferResult::kSucceeded});
    EXPECT_EQ(view.progress.back(), std::make_pair(expectOffset, expectOffset));
    // Done: no more chunks, acknowledgements are no longer listened to.
    up.Tick(10000);
    EXPECT_EQ(link.Of(msg::kChatBotUpload).size(), GetParam().chunks.size());
    EXPECT_EQ(link.Receive(msg::kChatBotUpload, I32(0)), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, UploadChunks,
                         testing::Values(UploadSplit{8192, {8192}}, UploadSplit{8193, {8192, 1}},
                                         UploadSplit{20000, {8192, 8192, 3616}},
                                         UploadSplit{0, {0}}));

TEST(Upload, LostAcknowledgementResendsAfterFourSeconds) {
    FakeLink link;
    RecordingView view;
    CChatBotUpload up(link, view, Pattern(10000));
    up.Start();
    up.Tick(50);
    ASSERT_EQ(link.Of(msg::kChatBotUpload).size(), 1u);
    for (int t = 50; t < kChatBotRetryMs; t += 50) {
        up.Tick(50);
    }
    EXPECT_EQ(link.Of(msg::kChatBotUpload).size(), 1u);
    up.Tick(50);
    const auto sent = link.Of(msg::kChatBotUpload);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].payload, sent[0].payload);
    // The acknowledgement then moves on at once.
    link.Receive(msg::kChatBotUpload, I32(8192));
    up.Tick(50);
    EXPECT_EQ(link.Of(msg::kChatBotUpload).back().payload.substr(0, 4), I32(8192));
}

TEST(Upload, AcknowledgementsOutsideTheScriptAreIgnored) {
    FakeLink link;
    RecordingView view;
    CChatBotUpload up(link, view, Pattern(100));
    up.Start();
    up.Tick(50);
    for (const std::string& bad : {I32(-1), I32(101), I32(INT32_MIN), std::string("\x10\0", 2)}) {
        link.Receive(msg::kChatBotUpload, bad);
        EXPECT_EQ(up.Offset(), 0);
        EXPECT_EQ(up.Result(), TransferResult::kRunning);
    }
    // The robot may ask for an earlier part again.
    link.Receive(msg::kChatBotUpload, I32(50));
    link.Receive(msg::kChatBotUpload, I32(10));
    up.Tick(50);
    EXPECT_EQ(link.Of(msg::kChatBotUpload).back().payload, Chunk(10, 100, Pattern(100).substr(10)));
}

TEST(Upload, CancelStopsEverything) {
    FakeLink link;
    RecordingView view;
    CChatBotUpload up(link, view, Pattern(100));
    up.Start();
    up.Cancel();
    up.Tick(50);
    EXPECT_TRUE(link.sent.empty());
    EXPECT_EQ(link.Receive(msg::kChatBotUpload, I32(100)), 0);
    EXPECT_EQ(up.Result(), TransferResult::kCancelled);
    EXPECT_TRUE(view.finished.empty());
}

// ---------------------------------------------------------------- download

std::vector<int32_t> Requests(const FakeLink& link) {
    std::vector<int32_t> out;
    for (const auto& f : link.Of(msg::kChatBotDownloadRequest)) {
        EXPECT_EQ(f.payload.size(), 4u);
        int32_t v = 0;
        for (int i = 3; i >= 0; --i) {
            v = static_cast<int32_t>((static_cast<uint32_t>(v) << 8) |
                                     static_cast<uint8_t>(f.payload[i]));
        }
        out.push_back(v);
    }
    return out;
}

// A download on a recording link; most cases begin with its first request out.
class Download : public testing::Test {
  protected:
    void Begin() {
        down.Start();
        down.Tick(50);
    }

    FakeLink link;
    RecordingView view;
    CChatBotDownload down{link, view};
};

TEST_F(Download, UnevenChunks) {
    down.Start();
    EXPECT_EQ(Requests(link), std::vector<int32_t>{-1});
    const std::string script = Pattern(10000);
    const std::size_t sizes[] = {1, 4096, 3000, 2903};
    std::size_t at = 0;
    std::vector<int32_t> expected{-1};
    for (std::size_t n : sizes) {
        down.Tick(50);
        expected.push_back(static_cast<int32_t>(at));
        EXPECT_EQ(Requests(link), expected);
        link.Receive(msg::kChatBotDownloadChunk,
                     Chunk(static_cast<int32_t>(at), 10000, script.substr(at, n)));
        at += n;
    }
    expected.push_back(-1);
    EXPECT_EQ(Requests(link), expected);
    EXPECT_EQ(down.Result(), TransferResult::kSucceeded);
    EXPECT_EQ(down.Bytes(), script);
    EXPECT_EQ(view.finished, std::vector<TransferResult>{TransferResult::kSucceeded});
    EXPECT_EQ(view.progress.back(), std::make_pair(10000, 10000));
    // Finished: the registration is gone and nothing more is requested.
    EXPECT_EQ(link.Receive(msg::kChatBotDownloadChunk, Chunk(0, 10, "0123456789")), 0);
    down.Tick(10000);
    EXPECT_EQ(Requests(link), expected);
}

TEST_F(Download, SilentRobotIsAskedAgainEveryFourSeconds) {
    Begin();
    down.Tick(kChatBotRetryMs - 50);
    EXPECT_EQ(Requests(link), (std::vector<int32_t>{-1, 0}));
    down.Tick(50);
    EXPECT_EQ(Requests(link), (std::vector<int32_t>{-1, 0, 0}));
}

TEST_F(Download, EmptyScript) {
    Begin();
    link.Receive(msg::kChatBotDownloadChunk, Chunk(0, 0, ""));
    EXPECT_EQ(down.Result(), TransferResult::kSucceeded);
    EXPECT_TRUE(down.Bytes().empty());
}

TEST_F(Download, ChunksOutsideTheDeclaredTotalAreIgnored) {
    Begin();
    const std::string bad[] = {
        Chunk(-1, 10, "ab"),
        Chunk(9, 10, "ab"),
        Chunk(INT32_MAX, 10, "a"),
        Chunk(0, -5, ""),
        Chunk(0, 1, "ab"),
        std::string("\0\0\0\0\x0a\0\0", 7),
        Chunk(INT32_MAX - 1, 100, "abc"),
    };
    for (const std::string& payload : bad) {
        link.Receive(msg::kChatBotDownloadChunk, payload);
        EXPECT_EQ(down.Result(), TransferResult::kRunning);
        EXPECT_EQ(down.Offset(), 0);
        EXPECT_TRUE(down.Bytes().empty());
    }
    link.Receive(msg::kChatBotDownloadChunk, Chunk(0, 4, "abcd"));
    EXPECT_EQ(down.Result(), TransferResult::kSucceeded);
    EXPECT_EQ(down.Bytes(), "abcd");
}

// A chunk that does not continue what has come in would leave a hole of
// zeros in a download that still completes.
TEST_F(Download, ChunkBeyondWhatCameInIsNotStored) {
    Begin();
    link.Receive(msg::kChatBotDownloadChunk, Chunk(6, 10, "ghij"));
    EXPECT_EQ(down.Result(), TransferResult::kRunning);
    EXPECT_EQ(down.Offset(), 0);
    link.Receive(msg::kChatBotDownloadChunk, Chunk(0, 10, "abc"));
    link.Receive(msg::kChatBotDownloadChunk, Chunk(6, 10, "ghij"));
    EXPECT_EQ(down.Offset(), 3);
    down.Tick(50);
    EXPECT_EQ(Requests(link).back(), 3);
    link.Receive(msg::kChatBotDownloadChunk, Chunk(3, 10, "def"));
    link.Receive(msg::kChatBotDownloadChunk, Chunk(6, 10, "ghij"));
    EXPECT_EQ(down.Result(), TransferResult::kSucceeded);
    EXPECT_EQ(down.Bytes(), "abcdefghij");
}

// The script replaced on the robot mid-download: the download starts over
// instead of joining the head of one script to the tail of the other.
TEST_F(Download, ChangedTotalStartsOver) {
    Begin();
    link.Receive(msg::kChatBotDownloadChunk, Chunk(0, 8, "old-"));
    link.Receive(msg::kChatBotDownloadChunk, Chunk(4, 6, "ne"));
    EXPECT_EQ(down.Result(), TransferResult::kRunning);
    EXPECT_EQ(down.Offset(), 0);
    // Nothing of the old script is left, its size included.
    EXPECT_EQ(down.Total(), 0);
    EXPECT_TRUE(down.Bytes().empty());
    down.Tick(50);
    EXPECT_EQ(Requests(link).back(), 0);
    link.Receive(msg::kChatBotDownloadChunk, Chunk(0, 6, "new-"));
    link.Receive(msg::kChatBotDownloadChunk, Chunk(4, 6, "ok"));
    EXPECT_EQ(down.Result(), TransferResult::kSucceeded);
    EXPECT_EQ(down.Bytes(), "new-ok");
}

// A robot that answers every request with a well-formed chunk that brings
// nothing new (at the start, and after part of the script) must not be asked
// again at once: the requests keep to the retry time, no progress is
// reported, and the idle time grows so that the owner can give up.
struct NoProgressCase {
    const char* name;
    std::string first;  // what came in before the robot got stuck ("" = nothing)
    int32_t stuckAt;
};
class DownloadNoProgress : public testing::TestWithParam<NoProgressCase> {};

TEST_P(DownloadNoProgress, RequestsKeepToTheRetryTimeAndIdleTimeGrows) {
    FakeLink link;
    RecordingView view;
    CChatBotDownload down{link, view};
    down.Start();
    down.Tick(50);
    if (!GetParam().first.empty()) {
        link.Receive(msg::kChatBotDownloadChunk, Chunk(0, 170, GetParam().first));
    }
    ASSERT_EQ(down.Offset(), GetParam().stuckAt);
    const std::size_t progressBefore = view.progress.size();
    std::size_t answered = Requests(link).size();
    for (int ms = 0; ms < 20000; ms += 50) {
        down.Tick(50);
        // Every new request gets the same empty answer straight away.
        for (const auto requests = Requests(link); answered < requests.size(); ++answered) {
            link.Receive(msg::kChatBotDownloadChunk, Chunk(GetParam().stuckAt, 170, ""));
        }
    }
    const auto requests = Requests(link);
    // Without the fix this is one request per tick: about 400.
    EXPECT_LE(requests.size(), 2u + 20000 / kChatBotRetryMs + 2) << requests.size();
    EXPECT_EQ(down.Result(), TransferResult::kRunning);
    EXPECT_LE(view.progress.size(), progressBefore + 1);
    EXPECT_GE(down.IdleMs(), 20000 - kChatBotRetryMs);
    // Real bytes still finish it, and the idle time starts again.
    link.Receive(msg::kChatBotDownloadChunk,
                 Chunk(GetParam().stuckAt, 170, std::string(170 - GetParam().stuckAt, 'x')));
    EXPECT_EQ(down.Result(), TransferResult::kSucceeded);
    EXPECT_EQ(down.IdleMs(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, DownloadNoProgress,
                         testing::Values(NoProgressCase{"AtTheStart", "", 0},
                                         NoProgressCase{"Midway", "abcdef", 6}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Download, OversizedTotalIsRefused) {
    Begin();
    link.Receive(msg::kChatBotDownloadChunk, Chunk(0, kChatBotMaxScript + 1, "abc"));
    EXPECT_EQ(down.Result(), TransferResult::kTooLarge);
    EXPECT_EQ(view.finished, std::vector<TransferResult>{TransferResult::kTooLarge});
    EXPECT_TRUE(down.Bytes().empty());
    EXPECT_EQ(Requests(link), (std::vector<int32_t>{-1, 0, -1}));
}

TEST_F(Download, CancelSendsTheClosingRequestOnce) {
    Begin();
    down.Cancel();
    down.Cancel();
    EXPECT_EQ(Requests(link), (std::vector<int32_t>{-1, 0, -1}));
    EXPECT_EQ(link.Receive(msg::kChatBotDownloadChunk, Chunk(0, 1, "a")), 0);
    EXPECT_EQ(down.Result(), TransferResult::kCancelled);
}

// Upload and download through a robot stand-in that stores what it is sent
// and serves it back in its own chunk size.
TEST(Transfer, UploadThenDownloadGivesTheSameBytes) {
    FakeLink link;
    RecordingView view;
    const std::string script = Pattern(30001);
    CChatBotUpload up(link, view, script);
    up.Start();
    std::string stored;
    for (int guard = 0; up.Result() == TransferResult::kRunning && guard < 100; ++guard) {
        const std::size_t before = link.sent.size();
        up.Tick(50);
        if (link.sent.size() == before) {
            continue;
        }
        CMemoryStream s;
        s.Assign(link.sent.back().payload);
        ChatBotChunk c;
        ASSERT_TRUE(ReadChatBotChunk(s, static_cast<int32_t>(s.Size()), c));
        stored.resize(static_cast<std::size_t>(c.total));
        stored.replace(static_cast<std::size_t>(c.offset), c.bytes.size(), c.bytes);
        link.Receive(msg::kChatBotUpload, I32(c.offset + static_cast<int32_t>(c.bytes.size())));
    }
    ASSERT_EQ(up.Result(), TransferResult::kSucceeded);

    CChatBotDownload down(link, view);
    down.Start();
    for (int guard = 0; down.Result() == TransferResult::kRunning && guard < 100; ++guard) {
        const std::size_t before = link.sent.size();
        down.Tick(50);
        if (link.sent.size() == before) {
            continue;
        }
        const int32_t offset = Requests(link).back();
        link.Receive(msg::kChatBotDownloadChunk,
                     Chunk(offset, static_cast<int32_t>(stored.size()),
                           stored.substr(static_cast<std::size_t>(offset), 7000)));
    }
    EXPECT_EQ(down.Result(), TransferResult::kSucceeded);
    EXPECT_EQ(down.Bytes(), script);
}

}  // namespace
}  // namespace velcora
