// Feeds robot replies to the cyclogram, environment and wave controllers with
// every request outstanding: the first byte picks the message, the rest is its
// payload; several messages may follow one another, separated by ticks.
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "../sink_link.h"
#include "cyclogram/cyclogram_transfer.h"

namespace {

using namespace velcora;
using Link = fuzz::SinkLink;

struct Views : ICyclogramTransferView, IEnvironmentTransferView, IWaveTransferView {
    void OnCyclogramList(const std::vector<std::string>&) override {}
    void OnCyclogramLoaded(std::unique_ptr<CCyclogram> doc) override { doc->endTime(); }
    void OnCyclogramUploaded(const std::string&) override {}
    void OnRequestFailed(CyclogramRequest, const std::string&) override {}
    bool Confirm(const std::string&, const std::string&) override { return true; }
    void OnRequestFailed(EnvironmentRequest, const std::string&) override {}
    void OnEnvironmentReplaced() override {}
    void OnBackgroundChanged() override {}
    void OnChangedFlag(bool) override {}
    void OnEnvironmentUploaded() override {}
    void OnMotorValues(bool) override {}
    void OnRequestFailed(WaveRequest, const std::string&) override {}
    void OnWaveListChanged() override {}
    void OnUploadStarted(const std::string&, int32_t) override {}
    void OnUploadProgress(int32_t, int32_t) override {}
    void OnUploadFinished(bool) override {}
};

const msg::Type kReplies[] = {
    msg::kCyclogramList,          msg::kCyclogram,
    msg::kCyclogramUploadResult,  msg::kWaveFileList,
    msg::kWaveChunkReply,         msg::kEnvironmentProject,
    msg::kBackgroundPicture,      msg::kEnvironmentUploadResult,
    msg::kBackgroundUploadResult, msg::kMotorValues,
};

// A scratch folder with one wave file to upload, removed at exit.
struct Scratch {
    Scratch() {
        dir = std::filesystem::temp_directory_path() /
              ("cyc_fuzz_" + std::to_string(static_cast<long>(getpid())));
        std::filesystem::create_directories(dir);
        CMemoryStream wave;
        wave.Assign(std::string(70000, 'w'));
        wave.SaveToFile((dir / "w.wav").string());
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::filesystem::path dir;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Scratch scratch;
    const std::string dir = scratch.dir.string();
    Link link;
    Views views;
    CCyclogramEnv env;
    env.addTracker({.motor = 1});
    env.addTracker({.motor = 2, .leftRaw = 5, .rightRaw = 5});
    CWaveList waves;
    CCyclogramTransfer cyclograms(link, views);
    CEnvironmentTransfer environment(link, views, env, {dir + "/env.cenv", dir + "/cycbg.jpg"});
    CWaveTransfer wave(link, views, waves);

    size_t at = 0;
    while (at < size) {
        cyclograms.requestList();
        cyclograms.requestLoad("a");
        cyclograms.upload("a", CCyclogram(), AfterUpload::Run);
        environment.requestEnvironment();
        environment.uploadEnvironment();
        environment.requestBackground();
        if (!wave.uploading()) {
            wave.uploadWaveFile(dir + "/w.wav");
        }
        const uint8_t pick = data[at++];
        // The next byte gives this message's length, so messages can be chained.
        size_t length = at < size ? data[at++] : 0;
        if (pick & 0x80) {
            length = size - at;  // the rest of the input
        }
        length = std::min(length, size - at);
        link.Receive(kReplies[pick % (sizeof kReplies / sizeof kReplies[0])],
                     std::string_view(reinterpret_cast<const char*>(data + at), length));
        at += length;
        cyclograms.Tick(100);
        environment.Tick(100);
        wave.Tick(100);
    }
    return 0;
}
