// The download side of the transfer fed with arbitrary robot frames (the input
// is a sequence of [u16 length][payload] records, each delivered as one chunk
// message, with ticks in between), then the result decoded as a script.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "chatbot/chatbot_transfer.h"
#include "chatbot/script_text.h"
#include "support/fake_link.h"

namespace {

struct NullView : velcora::IChatBotTransferView {
    void OnProgress(int32_t done, int32_t total) override {
        if (done < 0 || done > total) {
            std::abort();
        }
    }
    void OnFinished(velcora::TransferResult) override { ++finished; }
    int finished = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    test::FakeLink link;
    NullView view;
    CChatBotDownload down(link, view);
    down.Start();
    std::size_t at = 0;
    while (at + 2 <= size && down.Result() == TransferResult::kRunning) {
        const std::size_t n = data[at] | (data[at + 1] << 8);
        at += 2;
        const std::size_t take = n < size - at ? n : size - at;
        down.Tick(50);
        link.Receive(msg::kChatBotDownloadChunk,
                     std::string(reinterpret_cast<const char*>(data + at), take));
        at += take;
        if (static_cast<int64_t>(down.Bytes().size()) != down.Total() || view.finished > 1) {
            std::abort();
        }
    }
    // Whatever came in decodes to some text.
    DecodedScript decoded = DecodeScriptBytes(down.Bytes());
    DecodeScriptBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    (void)decoded;
    return 0;
}
