// velcoractl commands for video and sound: pictures of a camera into files,
// the robot's sound into a wave file or the sound card, and a wave file sent
// to the robot as if spoken into the microphone. Each runs the console's own
// media code (video panel, player, recorder) over a velcoractl session.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/ctl/ctl.h"
#include "app/ctl/session.h"
#include "media/audio_format.h"
#include "media/audio_player.h"
#include "media/frame_stamp.h"
#include "media/pcm_feed_input.h"
#include "media/recorder.h"
#include "media/video_panel.h"
#include "media/wav_file.h"
#include "platform/audio_output.h"

namespace velcora::ctl {

namespace {

// Give up when the robot sends no picture or sound for this long.
constexpr uint32_t kSilenceLimitMs = 10000;
constexpr int kWaitDecodeMs = 2000;

// A format code as a number, decimal or 0x hexadecimal.
bool ParseCode(const std::string& text, uint8_t& code) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || v < 0 || v > 255) {
        return false;
    }
    code = static_cast<uint8_t>(v);
    return true;
}

bool ParseRange(const std::optional<std::string>& text, long long lo, long long hi,
                long long& value) {
    return text && ParseInt(*text, value) && value >= lo && value <= hi;
}

// Binary PPM, red-green-blue, top row first.
bool WritePpm(const std::string& path, const media::Picture& p) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    std::fprintf(f, "P6\n%d %d\n255\n", p.width, p.height);
    std::vector<uint8_t> row(static_cast<size_t>(p.width) * 3);
    bool ok = true;
    for (int32_t y = 0; y < p.height && ok; ++y) {
        const uint8_t* src = p.bgr.get() + static_cast<size_t>(y) * static_cast<size_t>(p.pitch);
        for (int32_t x = 0; x < p.width; ++x) {
            row[3 * x] = src[3 * x + 2];
            row[3 * x + 1] = src[3 * x + 1];
            row[3 * x + 2] = src[3 * x];
        }
        ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    return std::fclose(f) == 0 && ok;
}

// ------------------------------------------------------------------ video

int Video(Args& args) {
    ConnectionOptions options;
    std::string error;
    if (!TakeConnectionOptions(args, options, error)) {
        return UsageError(error);
    }
    long long camera = 0;
    long long frames = 0;
    long long bitRate = -1;
    const auto cameraText = args.Option("--camera");
    const auto framesText = args.Option("--frames");
    const auto bitRateText = args.Option("--bitrate");
    const auto out = args.Option("--out");
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    if (!ParseRange(cameraText, 0, media::kCameraCount - 1, camera)) {
        return UsageError("video needs --camera 0..3");
    }
    if (!ParseRange(framesText, 1, 1000000, frames)) {
        return UsageError("video needs --frames K (1..1000000)");
    }
    if (bitRateText && !ParseRange(bitRateText, 1000, 100000000, bitRate)) {
        return UsageError("--bitrate needs a number of bit/s");
    }
    if (!out || out->empty()) {
        return UsageError("video needs --out DIR");
    }
    if (!args.Rest().empty()) {
        return UsageError("video takes no other arguments");
    }
    std::error_code ec;
    std::filesystem::create_directories(*out, ec);
    if (!std::filesystem::is_directory(*out, ec)) {
        std::fprintf(stderr, "velcoractl: cannot create %s\n", out->c_str());
        return kExitFailed;
    }

    Session session(options);
    if (const int rc = session.Open(); rc != kExitDone) {
        return rc;
    }
    if (bitRate < 0) {
        bitRate = session.Settings().bitrate[0];
    }
    media::CVideoPanelControl panel(static_cast<int>(camera), static_cast<int32_t>(bitRate), false);
    media::CVideoReception reception(session.Link(), {&panel});
    if (!panel.SetVideoOn(true)) {
        std::fprintf(stderr, "velcoractl: cannot start the decoder\n");
        return kExitFailed;
    }

    long long written = 0;
    bool failed = false;
    uint32_t quiet = 0;
    uint32_t delayMin = UINT32_MAX;
    uint32_t delayMax = 0;
    uint64_t delaySum = 0;
    long long stamped = 0;
    int32_t width = 0;
    int32_t height = 0;
    Ticker ticker(session.Reactor(), [&](int32_t elapsed) {
        panel.Tick(session.Link(), elapsed);
        quiet += static_cast<uint32_t>(std::max(elapsed, 0));
        if (written >= frames || failed || !panel.Stream().TakeOver()) {
            return;
        }
        const uint32_t now = media::WallClockMsOfDay();
        quiet = 0;
        media::Picture copy;
        panel.Stream().WithCurrent([&](const media::VideoFrame* f) {
            if (!f || !f->picture.bgr) {
                return;
            }
            const media::Picture& p = f->picture;
            const size_t bytes = static_cast<size_t>(p.pitch) * static_cast<size_t>(p.height);
            copy = {p.width, p.height, p.pitch, std::make_unique<uint8_t[]>(bytes)};
            std::copy_n(p.bgr.get(), bytes, copy.bgr.get());
        });
        if (!copy.bgr) {
            return;
        }
        ++written;
        char name[32];
        std::snprintf(name, sizeof name, "frame%05lld.ppm", written);
        const std::string path = (std::filesystem::path(*out) / name).string();
        if (!WritePpm(path, copy)) {
            std::fprintf(stderr, "velcoractl: cannot write %s\n", path.c_str());
            failed = true;
            return;
        }
        width = copy.width;
        height = copy.height;
        const auto stamp =
            media::ReadFrameStamp(copy.bgr.get(), copy.width, copy.height, copy.pitch);
        if (stamp) {
            const uint32_t delay = media::StampDelayMs(stamp->clockMs, now);
            delayMin = std::min(delayMin, delay);
            delayMax = std::max(delayMax, delay);
            delaySum += delay;
            ++stamped;
            std::fprintf(stderr, "%s: %dx%d, robot frame %u, delay %u ms\n", name, copy.width,
                         copy.height, stamp->frame, delay);
        } else {
            std::fprintf(stderr, "%s: %dx%d, no clock stamp\n", name, copy.width, copy.height);
        }
    });
    const auto outcome = session.RunUntil(
        [&] { return written >= frames || failed || quiet > kSilenceLimitMs; }, UINT32_MAX);
    panel.SetVideoOn(false);
    if (outcome != Session::Outcome::Done) {
        return session.ExitFor(outcome);
    }
    if (failed) {
        return kExitFailed;
    }
    if (written < frames) {
        std::fprintf(stderr, "velcoractl: no pictures from the robot for %u ms\n", kSilenceLimitMs);
        return kExitFailed;
    }
    std::printf("%lld pictures %dx%d written to %s", written, width, height, out->c_str());
    if (stamped > 0) {
        std::printf("; delay min %u, mean %llu, max %u ms", delayMin,
                    static_cast<unsigned long long>(delaySum / static_cast<uint64_t>(stamped)),
                    delayMax);
    }
    std::printf("\n");
    return kExitDone;
}

// ------------------------------------------------------------------ listen

// The sound format options of listen and talk. Absent ones leave `code` 0 and
// `bitRate` -1 (the settings then decide); kExitDone, or the usage error's code.
int ParseSoundFormat(const std::optional<std::string>& formatText,
                     const std::optional<std::string>& bitRateText, uint8_t& code,
                     long long& bitRate) {
    if (formatText && !ParseCode(*formatText, code)) {
        return UsageError("--format needs a format code 0..255");
    }
    if (bitRateText && !ParseRange(bitRateText, 1000, 1000000, bitRate)) {
        return UsageError("--bitrate needs a number of bit/s");
    }
    return kExitDone;
}

int Listen(Args& args) {
    ConnectionOptions options;
    std::string error;
    if (!TakeConnectionOptions(args, options, error)) {
        return UsageError(error);
    }
    const auto secondsText = args.Option("--seconds");
    const auto out = args.Option("--out");
    const auto formatText = args.Option("--format");
    const auto bitRateText = args.Option("--bitrate");
    const bool play = args.Flag("--play");
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    double seconds = 0;
    if (!secondsText || !ParseDouble(*secondsText, seconds) || !(seconds > 0 && seconds <= 86400)) {
        return UsageError("listen needs --seconds S");
    }
    if (play == (out.has_value() && !out->empty())) {
        return UsageError("listen needs --out FILE.wav or --play");
    }
    uint8_t code = 0;
    long long bitRate = -1;
    if (const int rc = ParseSoundFormat(formatText, bitRateText, code, bitRate); rc != kExitDone) {
        return rc;
    }
    if (!args.Rest().empty()) {
        return UsageError("listen takes no other arguments");
    }

    Session session(options);
    if (const int rc = session.Open(); rc != kExitDone) {
        return rc;
    }
    if (!formatText) {
        code = static_cast<uint8_t>(session.Settings().inAudioParamCode);
    }
    if (bitRate < 0) {
        bitRate = session.Settings().inBitRate;
    }
    std::unique_ptr<media::CWavFileOutput> file;
    std::unique_ptr<platform::AudioOutput> card;
    platform::IAudioOutput* device = nullptr;
    if (play) {
        card = std::make_unique<platform::AudioOutput>();
        // The player retries a failing device with every block, silently; a
        // missing sound card is better said once, up front.
        if (!card->Open(media::FormatRate(code), media::FormatBits(code), nullptr)) {
            std::fprintf(stderr, "velcoractl: cannot open the sound card\n");
            return kExitFailed;
        }
        card->Close();
        device = card.get();
    } else {
        file = std::make_unique<media::CWavFileOutput>(*out);
        device = file.get();
    }
    media::CAudioPlayer player(*device);
    media::CRobotSoundControl control(session.Link(), player);
    control.SetRequest(code, static_cast<int32_t>(bitRate));
    control.SetEnabled(true);

    uint32_t elapsedTotal = 0;
    const uint32_t limit = static_cast<uint32_t>(seconds * 1000);
    bool heard = false;
    {
        Ticker ticker(session.Reactor(), [&](int32_t elapsed) {
            elapsedTotal += static_cast<uint32_t>(std::max(elapsed, 0));
            control.Tick(elapsed);
            player.Tick(elapsed);
            heard = heard || player.DeviceOpen();
        });
        const auto outcome =
            session.RunUntil([&] { return elapsedTotal >= limit; }, limit + kSilenceLimitMs);
        if (outcome != Session::Outcome::Done) {
            player.Close();
            return session.ExitFor(outcome, "velcoractl: the clock stalled");
        }
    }
    control.SetEnabled(false);
    // What has arrived still plays (or goes into the file).
    player.WaitDecoded(kWaitDecodeMs);
    for (int i = 0; i < 2 * media::CAudioPlayer::kMaxBlocks && player.BlockCount() > 0; ++i) {
        player.Tick(0);
        if (play) {
            session.RunUntil([] { return false; }, kControllerTickMs);
        }
    }
    player.Close();
    if (file) {
        const int32_t rate = file->Rate();
        const int64_t bytes = file->DataBytes();
        if (!file->Finish()) {
            std::fprintf(stderr, "velcoractl: cannot write %s\n", out->c_str());
            return kExitFailed;
        }
        if (bytes == 0) {
            std::fprintf(stderr, "velcoractl: no sound from the robot\n");
            return kExitFailed;
        }
        const int32_t bits = media::FormatBits(code);
        std::printf("%.2f s of sound at %d Hz, %d bits, written to %s\n",
                    static_cast<double>(bytes) / (rate * (bits / 8)), rate, bits, out->c_str());
        return kExitDone;
    }
    if (!heard) {
        std::fprintf(stderr, "velcoractl: no sound from the robot\n");
        return kExitFailed;
    }
    return kExitDone;
}

// ------------------------------------------------------------------ talk

int Talk(Args& args) {
    ConnectionOptions options;
    std::string error;
    if (!TakeConnectionOptions(args, options, error)) {
        return UsageError(error);
    }
    const auto formatText = args.Option("--format");
    const auto bitRateText = args.Option("--bitrate");
    const bool voice = args.Flag("--voice-changer");
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    if (args.Rest().size() != 1) {
        return UsageError("talk needs one wave file");
    }
    uint8_t code = 0;
    long long bitRate = -1;
    if (const int rc = ParseSoundFormat(formatText, bitRateText, code, bitRate); rc != kExitDone) {
        return rc;
    }
    const std::string path = args.Rest()[0];
    media::WavData wav;
    if (!media::ReadWavFile(path, wav)) {
        std::fprintf(stderr, "velcoractl: %s is not a PCM wave file\n", path.c_str());
        return kExitFailed;
    }

    Session session(options);
    if (const int rc = session.Open(); rc != kExitDone) {
        return rc;
    }
    const CSettings& settings = session.Settings();
    if (!formatText) {
        code = static_cast<uint8_t>(settings.outAudioParamCode);
    }
    if (bitRate < 0) {
        bitRate = settings.outBitRate;
    }
    // The file is spoken at the rate the microphone records.
    const int32_t rate = media::FormatRate(code);
    const std::vector<int16_t> samples = media::Resample16(media::ToMono16(wav), wav.rate, rate);

    media::CPcmFeedInput input;
    media::CRecorder recorder(input, {settings.audioInDevice, settings.speechSpeed,
                                      settings.speechBlockCount, settings.audioMinLevel});
    recorder.SetVoiceChanger(voice);
    if (!recorder.Open(code, static_cast<int32_t>(bitRate))) {
        std::fprintf(stderr,
                     "velcoractl: the microphone path refuses format 0x%02x at %lld bit/s\n", code,
                     bitRate);
        return kExitFailed;
    }
    // Silence after the sound completes the last buffer (and, with the voice
    // changer, ends the utterance).
    const size_t bufferSamples = static_cast<size_t>(recorder.BufferSize()) / 2;
    size_t total = samples.size();
    total += (bufferSamples - total % bufferSamples) % bufferSamples;
    if (voice) {
        total += bufferSamples;
    }
    std::vector<int16_t> padded(samples);
    padded.resize(total, 0);

    size_t fed = 0;
    uint64_t elapsedTotal = 0;
    int sent = 0;
    const auto sendPending = [&] {
        for (const std::string& payload : recorder.TakePending()) {
            session.Send(msg::kMicrophoneBlock, payload);
            ++sent;
        }
    };
    {
        // Fed as fast as it would be spoken.
        Ticker ticker(session.Reactor(), [&](int32_t elapsed) {
            elapsedTotal += static_cast<uint64_t>(std::max(elapsed, 0));
            const size_t due =
                std::min<size_t>(total, static_cast<size_t>(elapsedTotal * rate / 1000));
            if (due > fed) {
                input.Feed(reinterpret_cast<const uint8_t*>(padded.data() + fed), (due - fed) * 2);
                fed = due;
            }
            sendPending();
        });
        const uint32_t limit = static_cast<uint32_t>(total * 1000 / rate) + kSilenceLimitMs;
        const auto outcome = session.RunUntil([&] { return fed >= total; }, limit);
        if (outcome != Session::Outcome::Done) {
            recorder.Close();
            return session.ExitFor(outcome, "velcoractl: the clock stalled");
        }
    }
    recorder.WaitProcessed(kWaitDecodeMs);
    sendPending();
    const auto outcome =
        session.RunUntil([&] { return session.Link().QueuedBytes() == 0; }, kSilenceLimitMs);
    recorder.Close();
    if (outcome != Session::Outcome::Done) {
        return session.ExitFor(outcome, "velcoractl: the sound could not be sent");
    }
    std::printf("%.2f s of sound sent in %d messages\n", static_cast<double>(samples.size()) / rate,
                sent);
    return sent > 0 ? kExitDone : kExitFailed;
}

}  // namespace

void RegisterMediaCommands(Registry& registry) {
    registry.Add(
        {"video",
         std::string("video --camera N [--bitrate B] --frames K --out DIR ") + kConnectionSynopsis,
         "receive K pictures of a camera as PPM files; each picture's delay on stderr", Video});
    registry.Add({"listen",
                  std::string("listen --seconds S (--out FILE.wav | --play) [--format CODE] "
                              "[--bitrate B] ") +
                      kConnectionSynopsis,
                  "record the robot's sound into a wave file or play it", Listen});
    registry.Add({"talk",
                  std::string("talk FILE.wav [--format CODE] [--bitrate B] [--voice-changer] ") +
                      kConnectionSynopsis,
                  "send a wave file to the robot as if spoken into the microphone", Talk});
}

}  // namespace velcora::ctl
