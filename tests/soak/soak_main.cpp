// The soak: the console's own controllers, without windows, in one process
// against the simulated robot behind the fault relay, doing everything an
// operator does at once for as long as asked: both cameras, robot sound
// played, the microphone sending a tone, status polling, drive commands, map
// pulls and pushes, cyclogram and chat-bot uploads and downloads, and file
// copies of a folder tree both ways. Every finished transfer is compared byte
// for byte. At the end the link is made good again and the console must still
// work: a status, a map pull and a file copy. It prints one table and exits 1
// when something that must hold did not.
//
// The robot and the relay run on a thread of their own, as a robot would; the
// console runs on the main thread exactly as in the console (one reactor, one
// 20 ms tick, file copies pumping the loop while they wait).
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "chatbot/chatbot_transfer.h"
#include "console/main_controller.h"
#include "cyclogram/cyclogram.h"
#include "cyclogram/cyclogram_format.h"
#include "cyclogram/cyclogram_transfer.h"
#include "files/copy_engine.h"
#include "files/local_file_system.h"
#include "files/policy_prompts.h"
#include "files/reactor_pump.h"
#include "files/remote_file_system.h"
#include "link/catalogue.h"
#include "link/ini_file.h"
#include "link/robot_connection.h"
#include "link/settings.h"
#include "link/text_codec.h"
#include "media/audio_player.h"
#include "media/microphone_switch.h"
#include "media/pcm_feed_input.h"
#include "media/recorder.h"
#include "media/video_panel.h"
#include "nav/map_json.h"
#include "nav/map_transfer.h"
#include "nav/nav_project.h"
#include "platform/audio_output.h"
#include "platform/posix_reactor.h"
#include "sim/relay/fault_relay.h"
#include "sim/sim_features.h"
#include "sim/sim_media.h"
#include "sim/sim_robot.h"

#if defined(__SANITIZE_ADDRESS__)
#define SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_ASAN 1
#endif
#endif

namespace velcora::soak {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Milliseconds since the program started, the same on both threads.
const Clock::time_point kStart = Clock::now();
int64_t Ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - kStart).count();
}

// A transfer with no progress for this long is a hang.
constexpr int64_t kHangMs = 30000;
// Every reconnect must reach state 7 within this of the robot being
// reachable again: the link's time-out plus its retry delay.
constexpr int64_t kReconnectLimitMs = 4200;
// RSS may grow this much from minute 1 to the end.
constexpr int64_t kRssGrowthLimit = 20ll << 20;

struct Options {
    int seconds = 1800;
    uint64_t seed = 1;
    bool corrupt = false;
    bool light = false;  // small pictures and tree, for the short form
    bool verbose = false;
    int treeMb = 20;
    std::string work;
};

int64_t Rss() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<int64_t>(resident) * sysconf(_SC_PAGESIZE);
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint64_t Fnv(const std::string& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes)
        h = (h ^ c) * 1099511628211ull;
    return h;
}

// ------------------------------------------------------------ the robot side

// What the relay did, with times on the shared clock, for tying a slow
// reconnect to the fault that caused it.
class FaultLog {
  public:
    void Add(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex_);
        const int64_t now = Ms();
        if (what.find("closed: cut") != std::string::npos)
            cuts_.push_back(now);
        else if (what.find("robot silent") != std::string::npos)
            stallStarts_.push_back(now);
        else if (what.find("speaks again") != std::string::npos)
            stallEnds_.push_back(now);
        else if (what.find("corrupted") != std::string::npos)
            ++corrupted_;
        if (verbose)
            std::fprintf(stderr, "[%8.3f] relay: %s\n", now / 1000.0, what.c_str());
    }
    // When the robot could be reached and heard again after a loss at
    // `lost`: after the last cut and the end of the last stall that touched
    // the time since.
    int64_t ReachableAfter(int64_t lost, int64_t now) {
        std::lock_guard<std::mutex> lock(mutex_);
        int64_t at = lost;
        for (int64_t c : cuts_)
            if (c >= lost && c <= now)
                at = std::max(at, c);
        for (std::size_t i = 0; i < stallStarts_.size(); ++i) {
            const int64_t start = stallStarts_[i];
            const int64_t end = i < stallEnds_.size() ? stallEnds_[i] : INT64_MAX;
            if (start <= now && end >= lost && end <= now)
                at = std::max(at, end);
        }
        return at;
    }
    bool StalledNow() {
        std::lock_guard<std::mutex> lock(mutex_);
        return stallStarts_.size() > stallEnds_.size();
    }
    int Corrupted() {
        std::lock_guard<std::mutex> lock(mutex_);
        return corrupted_;
    }
    std::atomic<bool> verbose{false};

  private:
    std::mutex mutex_;
    std::vector<int64_t> cuts_, stallStarts_, stallEnds_;
    int corrupted_ = 0;
};

// The simulated robot and the relay in front of it, on their own thread.
// Calm() swaps the faulty relay for a clean one (a new port).
class RobotSide {
  public:
    RobotSide(sim::SimOptions sim, sim::RelayOptions relay, FaultLog& log)
        : log_(log), thread_([this, sim, relay] { Run(sim, relay); }) {
        while (port_ == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~RobotSide() {
        stop_ = true;
        thread_.join();
    }
    uint16_t Port() const { return port_; }
    bool Started() const { return port_ > 1; }
    void Calm() { calm_ = true; }
    bool Calmed() const { return calmed_; }
    int Cuts() const { return cuts_; }
    int Stalls() const { return stalls_; }
    int Connections() const { return connections_; }
    uint64_t MicBlocks() const { return micBlocks_; }

  private:
    void Run(sim::SimOptions simOptions, sim::RelayOptions relayOptions) {
        platform::PollReactor reactor;
        sim::CSimRobot robot(reactor, simOptions);
        sim::InstallFeatures(robot);
        if (!robot.Start()) {
            port_ = 1;
            return;
        }
        relayOptions.targetPort = robot.Port();
        auto relay = std::make_unique<sim::CFaultRelay>(
            reactor, relayOptions, [this](uint32_t, const std::string& what) { log_.Add(what); });
        if (!relay->Start()) {
            port_ = 1;
            return;
        }
        port_ = relay->Port();
        int cutsBefore = 0, stallsBefore = 0, connectionsBefore = 0;
        while (!stop_) {
            reactor.RunUntil([this] { return stop_.load() || (calm_ && !calmed_); }, 50);
            cuts_ = cutsBefore + relay->Stats().cuts;
            stalls_ = stallsBefore + relay->Stats().stalls;
            connections_ = connectionsBefore + relay->Stats().connections;
            micBlocks_ = robot.Feature<sim::SimMedia>().micBlocks;
            if (calm_ && !calmed_) {
                cutsBefore = cuts_;
                stallsBefore = stalls_;
                connectionsBefore = connections_;
                relay->Stop();
                sim::RelayOptions clean;
                clean.targetPort = robot.Port();
                relay = std::make_unique<sim::CFaultRelay>(
                    reactor, clean, [this](uint32_t, const std::string& w) { log_.Add(w); });
                if (relay->Start())
                    port_ = relay->Port();
                calmed_ = true;
            }
        }
        relay->Stop();
    }

    FaultLog& log_;
    std::atomic<uint16_t> port_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> calm_{false};
    std::atomic<bool> calmed_{false};
    std::atomic<int> cuts_{0}, stalls_{0}, connections_{0};
    std::atomic<uint64_t> micBlocks_{0};
    std::thread thread_;
};

// ------------------------------------------------------------ accounting

struct TransferStats {
    int started = 0;
    int completed = 0;
    int failed = 0;
    int hung = 0;
    int mismatched = 0;  // reported success with other bytes
    int64_t bytesCompared = 0;
    std::map<std::string, int> reasons;
};

class Ledger {
  public:
    TransferStats& Of(const std::string& kind) { return stats_[kind]; }
    void Started(const std::string& kind) { ++stats_[kind].started; }
    void Completed(const std::string& kind, int64_t bytes) {
        ++stats_[kind].completed;
        stats_[kind].bytesCompared += bytes;
    }
    void Failed(const std::string& kind, const std::string& reason) {
        ++stats_[kind].failed;
        ++stats_[kind].reasons[reason];
        Note(kind + " failed: " + reason);
    }
    void Hung(const std::string& kind, const std::string& what) {
        ++stats_[kind].hung;
        Problem(kind + " made no progress for 30 s: " + what);
    }
    void Mismatch(const std::string& kind, const std::string& what) {
        ++stats_[kind].mismatched;
        if (!corruptMode)
            Problem(kind + " reported success with other bytes: " + what);
        else
            Note(kind + " reported success with other bytes: " + what);
    }
    void Problem(const std::string& text) {
        problems.push_back(text);
        std::fprintf(stderr, "[%8.3f] PROBLEM: %s\n", Ms() / 1000.0, text.c_str());
    }
    void Note(const std::string& text) {
        if (verbose)
            std::fprintf(stderr, "[%8.3f] %s\n", Ms() / 1000.0, text.c_str());
    }
    const std::map<std::string, TransferStats>& All() const { return stats_; }

    std::vector<std::string> problems;
    bool verbose = false;
    bool corruptMode = false;

  private:
    std::map<std::string, TransferStats> stats_;
};

// ------------------------------------------------------------ the console's view

// The main window reduced to what the soak watches.
class SoakView : public IMainView {
  public:
    void ShowLiftButtons(bool, bool) override {}
    void ShowTrayButtons(bool, bool) override {}
    void ShowAutobalance(bool) override {}
    void ShowEmotion(int) override {}
    void ShowDrive(float, float) override {}
    void ShowSmoothRide(bool) override {}
    void ShowMoveMode(MoveMode) override {}
    void ShowHead(float, float, float) override {}
    void ShowHeadSlider(int16_t) override {}
    void ShowConnectionStatus(const std::string&) override {}
    void ShowIncomingRate(const std::string&) override {}
    void ShowBattery(const std::u16string&) override {}
    void ShowHeight(const std::u16string&) override { ++statuses; }
    void ShowRandomWalk(bool) override {}
    void ShowAutoMode(bool) override {}
    void ShowQrMode(bool) override {}
    void ApplyEnabling(const MainEnabling&) override {}
    void ShowErrorBox(const std::string& text) override { lastError = text; }
    void FocusDriveJoystick() override {}
    void ShowStick(float, float, float) override {}

    int statuses = 0;
    std::string lastError;
};

class OwnerRelay : public IRobotConnectionOwner {
  public:
    void OnConnectionStateChanged() override {
        if (target)
            target->OnConnectionStateChanged();
        if (after)
            after();
    }
    IRobotConnectionOwner* target = nullptr;
    std::function<void()> after;
};

// ------------------------------------------------------------ transfers

// Map: pull, push an edited copy, pull again and compare.
class MapJob : public nav::IMapTransferView {
  public:
    enum class Step { Idle, Pull, Push, Verify };

    MapJob(IRobotLink& link, Ledger& ledger) : transfer(link, map, *this), ledger_(ledger) {}

    void ShowError(const std::u16string& text, int32_t) override {
        if (step_ == Step::Idle)
            return;
        Fail(WideToUtf8(text));
    }
    void UploadProgress(uint32_t) override { progressAt_ = Ms(); }
    // Reactions wait for Poll: the transfer is in the middle of its own call.
    void UploadComplete() override {
        progressAt_ = Ms();
        uploaded_ = true;
    }
    void DownloadOpened(uint32_t) override { progressAt_ = Ms(); }
    void DownloadProgress(uint32_t) override { progressAt_ = Ms(); }
    void DownloadClosed(nav::DownloadEnd end) override {
        progressAt_ = Ms();
        if (end != nav::DownloadEnd::Complete && step_ != Step::Idle)
            ledger_.Note("map download abandoned; the robot offers it again");
    }
    void MapReceived(nav::MapArrival, bool ok) override {
        progressAt_ = Ms();
        arrived_ = ok;
    }

    void Poll() {
        if (uploaded_) {
            uploaded_ = false;
            if (step_ == Step::Push) {
                ledger_.Completed("map push", static_cast<int64_t>(pushed_.size()));
                // The pushed map is checked by pulling it back.
                StartPull(Step::Verify);
            }
        }
        if (!arrived_)
            return;
        const bool ok = *arrived_;
        arrived_.reset();
        if (step_ != Step::Pull && step_ != Step::Verify)
            return;
        transfer.SetLoadFromRobot(false);
        const char* kind = step_ == Step::Pull ? "map pull" : "map verify";
        if (!ok) {
            Fail("the robot's map could not be read");
            return;
        }
        const std::string json = Comparable(nav::MapToJson(map));
        if (step_ == Step::Verify) {
            if (json != pushed_) {
                ledger_.Mismatch("map push", "the map pulled back differs from the one pushed");
                if (!dumpDir.empty()) {
                    std::ofstream(dumpDir + "/map_pushed.json") << pushed_;
                    std::ofstream(dumpDir + "/map_pulled.json") << json;
                }
            } else
                ledger_.Completed(kind, static_cast<int64_t>(json.size()));
            ++rounds;
            step_ = Step::Idle;
            return;
        }
        ledger_.Completed(kind, static_cast<int64_t>(json.size()));
        if (!push_) {
            step_ = Step::Idle;
            ++rounds;
            return;
        }
        // An edit the robot must keep: the first place moves.
        if (auto* place = map.places.First())
            place->x += 1.25;
        pushed_ = Comparable(nav::MapToJson(map));
        ledger_.Started("map push");
        step_ = Step::Push;
        if (!transfer.StartUpload())
            Fail("the upload could not start");
    }

    // A pull, followed by a push and a second pull when `push`.
    void Start(bool push) {
        push_ = push;
        StartPull(Step::Pull);
    }
    bool Idle() const { return step_ == Step::Idle; }
    void CheckHang() {
        if (step_ != Step::Idle && Ms() - progressAt_ > kHangMs) {
            ledger_.Hung(Kind(), "waiting since " + std::to_string(progressAt_ / 1000) + " s");
            transfer.CancelUpload();
            transfer.CancelDownload();
            transfer.SetLoadFromRobot(false);
            step_ = Step::Idle;
        }
    }

    nav::CNavProject map;
    nav::CMapTransfer transfer;
    int rounds = 0;
    std::string dumpDir;  // where a mismatch leaves both maps

  private:
    // The map as the robot keeps it, without what changes by itself: the
    // map's id, and the robot's pose with the version stamp the robot takes
    // whenever it publishes a new pose (it drives meanwhile).
    static std::string Comparable(const std::string& json) {
        static const std::regex id("\"(mapId|nextVersion)\":[0-9]+,?");
        static const std::regex robot("\"robot\":\\{[^}]*\\},?");
        return std::regex_replace(std::regex_replace(json, id, ""), robot, "");
    }
    const char* Kind() const {
        return step_ == Step::Pull ? "map pull" : step_ == Step::Push ? "map push" : "map verify";
    }
    void StartPull(Step step) {
        step_ = step;
        arrived_.reset();
        progressAt_ = Ms();
        ledger_.Started(Kind());
        transfer.SetLoadFromRobot(false);
        transfer.SetLoadFromRobot(true);
    }
    void Fail(const std::string& reason) {
        ledger_.Failed(Kind(), reason);
        transfer.SetLoadFromRobot(false);
        step_ = Step::Idle;
    }

    Ledger& ledger_;
    Step step_ = Step::Idle;
    bool push_ = false;
    bool uploaded_ = false;
    std::optional<bool> arrived_;
    int64_t progressAt_ = 0;
    std::string pushed_;
};

// Cyclograms: upload one under a name of the soak's own, load it back, compare.
class CyclogramJob : public ICyclogramTransferView {
  public:
    CyclogramJob(IRobotLink& link, Ledger& ledger, uint64_t seed)
        : transfer(link, *this), ledger_(ledger), random_(seed) {}

    void OnCyclogramList(const std::vector<std::string>&) override {}
    void OnCyclogramLoaded(std::unique_ptr<CCyclogram> doc) override {
        if (step_ != Step::Load)
            return;
        CMemoryStream got;
        writeCyclogram(*doc, got, WriteScope::Full);
        if (std::string(got.View()) != sent_)
            ledger_.Mismatch("cyclogram download",
                             "the cyclogram loaded differs from the one sent");
        else
            ledger_.Completed("cyclogram download", static_cast<int64_t>(sent_.size()));
        step_ = Step::Idle;
    }
    void OnCyclogramUploaded(const std::string&) override {
        if (step_ == Step::Upload)
            uploaded_ = true;
    }
    // The load goes out from here, outside the transfer's own call.
    void Poll() {
        if (!uploaded_ || step_ != Step::Upload)
            return;
        uploaded_ = false;
        ledger_.Completed("cyclogram upload", 0);
        ledger_.Started("cyclogram download");
        step_ = Step::Load;
        startedAt_ = Ms();
        if (!transfer.requestLoad(kName)) {
            ledger_.Failed("cyclogram download", "not connected");
            step_ = Step::Idle;
        }
    }
    void OnRequestFailed(CyclogramRequest which, const std::string& text) override {
        if (step_ == Step::Idle)
            return;
        ledger_.Failed(
            which == CyclogramRequest::Upload ? "cyclogram upload" : "cyclogram download", text);
        step_ = Step::Idle;
    }

    void Start() {
        CCyclogram doc;
        std::uniform_int_distribution<int> keys(2, 40);
        for (int32_t motor = 1; motor <= 3; ++motor) {
            CCyclogramTrack& t = doc.track(doc.addTrack());
            t.motor = motor;
            const int n = keys(random_);
            for (int i = 0; i < n; ++i) {
                CyclogramKey k;
                k.time = i * 250;
                k.value = static_cast<float>(random_() % 1000) / 1000.0f;
                t.appendKey(k);
            }
        }
        CMemoryStream bytes;
        writeCyclogram(doc, bytes, WriteScope::Full);
        sent_ = std::string(bytes.View());
        if (!transfer.upload(kName, doc))
            return;  // not connected: nothing started
        ledger_.Started("cyclogram upload");
        uploaded_ = false;
        step_ = Step::Upload;
        startedAt_ = Ms();
    }
    bool Idle() const { return step_ == Step::Idle; }
    void CheckHang() {
        if (step_ != Step::Idle && Ms() - startedAt_ > kHangMs) {
            ledger_.Hung(step_ == Step::Upload ? "cyclogram upload" : "cyclogram download",
                         "no answer and no failure");
            step_ = Step::Idle;
        }
    }

    CCyclogramTransfer transfer;

  private:
    enum class Step { Idle, Upload, Load };
    static constexpr const char* kName = "soak";
    Ledger& ledger_;
    std::mt19937_64 random_;
    Step step_ = Step::Idle;
    bool uploaded_ = false;
    int64_t startedAt_ = 0;
    std::string sent_;
};

// Chat-bot: upload a script, download it, compare.
class ChatBotJob : public IChatBotTransferView {
  public:
    ChatBotJob(IRobotLink& link, Ledger& ledger, uint64_t seed)
        : link_(link), ledger_(ledger), random_(seed) {}

    void OnProgress(int32_t, int32_t) override { progressAt_ = Ms(); }
    void OnFinished(TransferResult result) override { finished_ = result; }

    void Start() {
        // A script of a size that changes from round to round.
        std::string script = "\xEF\xBB\xBF";
        const int lines = 200 + static_cast<int>(random_() % 3000);
        for (int i = 0; i < lines; ++i)
            script +=
                "вопрос " + std::to_string(random_()) + " = ответ " + std::to_string(i) + "\r\n";
        sent_ = script;
        upload_ = std::make_unique<CChatBotUpload>(link_, *this, script);
        finished_.reset();
        progressAt_ = Ms();
        ledger_.Started("chat-bot upload");
        upload_->Start();
    }
    void Tick(int32_t elapsedMs) {
        if (upload_) {
            upload_->Tick(elapsedMs);
            if (finished_) {
                upload_.reset();
                if (*finished_ != TransferResult::kSucceeded) {
                    ledger_.Failed("chat-bot upload", "ended without success");
                    return;
                }
                ledger_.Completed("chat-bot upload", 0);
                finished_.reset();
                download_ = std::make_unique<CChatBotDownload>(link_, *this);
                progressAt_ = Ms();
                ledger_.Started("chat-bot download");
                download_->Start();
            }
        } else if (download_) {
            download_->Tick(elapsedMs);
            if (finished_) {
                if (*finished_ != TransferResult::kSucceeded)
                    ledger_.Failed("chat-bot download", "the robot's script is too large");
                else if (download_->Bytes() != sent_)
                    ledger_.Mismatch("chat-bot download",
                                     "the script downloaded differs from the one uploaded");
                else
                    ledger_.Completed("chat-bot download", static_cast<int64_t>(sent_.size()));
                download_.reset();
            }
        }
    }
    bool Idle() const { return !upload_ && !download_; }
    void CheckHang() {
        if (Idle() || Ms() - progressAt_ <= kHangMs)
            return;
        ledger_.Hung(upload_ ? "chat-bot upload" : "chat-bot download",
                     "offset " + std::to_string(upload_ ? upload_->Offset() : download_->Offset()));
        if (upload_)
            upload_->Cancel();
        if (download_)
            download_->Cancel();
        upload_.reset();
        download_.reset();
    }

  private:
    IRobotLink& link_;
    Ledger& ledger_;
    std::mt19937_64 random_;
    std::unique_ptr<CChatBotUpload> upload_;
    std::unique_ptr<CChatBotDownload> download_;
    std::optional<TransferResult> finished_;
    int64_t progressAt_ = 0;
    std::string sent_;
};

// Progress of one file copy, with the 30 s watchdog: a copy that stops
// moving is cancelled and counted as hung.
class CopyWatch : public ICopyProgress {
  public:
    void Begin(int32_t) override { at_ = Ms(); }
    void ItemsDone(int32_t) override { at_ = Ms(); }
    void FileStarted(const std::u16string&, int32_t) override { at_ = Ms(); }
    void FileProgress(int32_t) override { at_ = Ms(); }
    bool CancelRequested() override {
        if (Ms() - at_ > kHangMs)
            hung = true;
        return hung;
    }
    void End() override {}
    void Reset() {
        at_ = Ms();
        hung = false;
    }
    bool hung = false;

  private:
    int64_t at_ = 0;
};

// ------------------------------------------------------------ the tree

struct TreeFile {
    std::string rel;  // with '/'
    std::string bytes;
};

// A tree of about `totalBytes`: empty and one-byte files, files at and around
// the copy block size, large ones, a Cyrillic name and nested folders.
std::vector<TreeFile> MakeTree(uint64_t seed, int64_t totalBytes) {
    std::mt19937_64 r(seed);
    std::vector<TreeFile> out;
    auto bytes = [&](int64_t n) {
        std::string s(static_cast<std::size_t>(n), '\0');
        uint64_t x = r();
        for (auto& c : s) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            c = static_cast<char>(x);
        }
        return s;
    };
    const int64_t block = CCopyEngine::kBlockSize;
    out.push_back({"empty.bin", ""});
    out.push_back({"one.bin", bytes(1)});
    out.push_back({"a/block.bin", bytes(block)});
    out.push_back({"a/block+1.bin", bytes(block + 1)});
    out.push_back({"a/b/block-1.bin", bytes(block - 1)});
    out.push_back({"a/b/Отчёт.txt", "Отчёт о работе робота.\r\n"});
    int64_t left = totalBytes;
    for (const auto& f : out)
        left -= static_cast<int64_t>(f.bytes.size());
    int i = 0;
    while (left > 0) {
        const int64_t n = std::min<int64_t>(left, 1 + static_cast<int64_t>(r() % (3 << 20)));
        out.push_back({(i % 3 == 0   ? "c/"
                        : i % 3 == 1 ? "a/b/"
                                     : "") +
                           std::string("part") + std::to_string(i) + ".dat",
                       bytes(n)});
        left -= n;
        ++i;
    }
    return out;
}

std::u16string RobotPath(const std::string& folder, const std::string& rel = {}) {
    std::string p = "D:\\" + folder;
    if (!rel.empty())
        p += "\\" + rel;
    std::replace(p.begin(), p.end(), '/', '\\');
    return Utf8ToWide(p);
}

std::string Parent(const std::string& rel) {
    const auto slash = rel.rfind('/');
    return slash == std::string::npos ? std::string() : rel.substr(0, slash);
}

// ------------------------------------------------------------ the soak

class Soak {
  public:
    explicit Soak(const Options& o) : o_(o) {
        ledger_.verbose = o.verbose;
        ledger_.corruptMode = o.corrupt;
        faults_.verbose = o.verbose;
    }

    int Run();

  private:
    bool Prepare();
    void StartConsole();
    void OnState();
    void PanelTick(int32_t elapsedMs);
    void Schedule();
    // One copy of the whole tree in one direction, file by file.
    void FileRound(bool down, const std::string& kind);
    bool Authorised() const { return link_->State() == kStateAuthorised; }
    bool WaitFor(const std::function<bool()>& done, uint32_t ms) {
        return reactor_.RunUntil(done, ms);
    }
    void Finish();
    void PrintTable();

    Options o_;
    int damagedNames_ = 0;  // robot-side files named by a damaged request
    Ledger ledger_;
    FaultLog faults_;
    fs::path work_, robotRoot_, localTree_, localDown_;
    std::vector<TreeFile> tree_;
    std::unique_ptr<RobotSide> robot_;

    platform::PollReactor reactor_;
    CMessageDispatcher dispatcher_;
    OwnerRelay owner_;
    std::unique_ptr<CRobotConnection> link_;
    std::unique_ptr<CConnectionControl> control_;
    CSettings settings_;
    std::unique_ptr<IniFile> ini_;
    SoakView view_;
    std::unique_ptr<CMainController> controller_;
    std::unique_ptr<platform::ScopedTimer> tick_, scheduler_;

    std::unique_ptr<media::CVideoPanelControl> video_[2];
    std::unique_ptr<media::CVideoReception> reception_;
    platform::AudioOutput speaker_;
    std::unique_ptr<media::CAudioPlayer> player_;
    std::unique_ptr<media::CRobotSoundControl> sound_;
    media::CPcmFeedInput microphone_;
    std::unique_ptr<media::CRecorder> recorder_;
    std::unique_ptr<media::CMicrophoneSwitch> micSwitch_;
    double tonePhase_ = 0;

    std::unique_ptr<MapJob> map_;
    std::unique_ptr<CyclogramJob> cyclogram_;
    std::unique_ptr<ChatBotJob> chatbot_;
    std::unique_ptr<CReactorPump> pump_;
    std::unique_ptr<CRemoteFileSystem> remote_;
    CLocalFileSystem local_;
    CRegistrationSet counters_;
    HookSubscription lateTick_;

    // Connection history.
    int64_t lostAt_ = -1;
    bool everAuthorised_ = false;
    int reconnects_ = 0;
    int64_t longestReconnect_ = 0;
    int slowReconnects_ = 0;
    int gaveUp_ = 0;  // the link reached state 1 and the operator pressed connect again
    int64_t pressedAt_ = -1;
    bool calm_ = false;

    // Media.
    int64_t shown_[2] = {0, 0};
    std::vector<std::array<int64_t, 2>> shownPerMinute_;
    int64_t soundBlocks_ = 0;
    int64_t statusReplies_ = 0;

    // Schedule.
    int64_t nextMap_ = 0, nextCyclogram_ = 0, nextChatBot_ = 0, nextFiles_ = 0;
    int mapRounds_ = 0;
    bool filesDown_ = true;
    int64_t rssMinute1_ = 0;
    int64_t endAt_ = 0;
};

bool Soak::Prepare() {
    work_ = o_.work.empty()
                ? fs::temp_directory_path() / ("velcora_soak_" + std::to_string(getpid()))
                : fs::path(o_.work);
    std::error_code ec;
    fs::remove_all(work_, ec);
    robotRoot_ = work_ / "robot";
    localTree_ = work_ / "local" / "tree";
    localDown_ = work_ / "local" / "down";
    const int64_t bytes = static_cast<int64_t>(o_.treeMb) << 20;
    tree_ = MakeTree(o_.seed, bytes);
    // The same tree on both sides: the console's disk and the robot's D:.
    for (const fs::path& base : {localTree_, robotRoot_ / "files" / "D" / "soak" / "tree"}) {
        for (const auto& f : tree_) {
            const fs::path p = base / fs::u8path(f.rel);
            fs::create_directories(p.parent_path(), ec);
            std::ofstream(p, std::ios::binary) << f.bytes;
        }
    }
    fs::create_directories(robotRoot_ / "files" / "C", ec);
    fs::create_directories(localDown_, ec);
    for (const auto& f : tree_) {
        if (ReadAll(localTree_ / fs::u8path(f.rel)) != f.bytes) {
            std::fprintf(stderr, "soak: cannot write the tree under %s\n", work_.c_str());
            return false;
        }
    }
    return true;
}

void Soak::StartConsole() {
    link_ = std::make_unique<CRobotConnection>(reactor_, dispatcher_, &owner_);
    control_ = std::make_unique<CConnectionControl>(*link_);
    ini_ = std::make_unique<IniFile>((work_ / "soak.ini").string());
    controller_ = std::make_unique<CMainController>(*link_, *control_, settings_, *ini_, view_,
                                                    reactor_.Now());
    owner_.target = controller_.get();
    owner_.after = [this] { OnState(); };

    const int32_t bitRate = o_.light ? 50000 : 240000;
    for (int i = 0; i < 2; ++i) {
        video_[i] = std::make_unique<media::CVideoPanelControl>(i, bitRate, false);
        video_[i]->SetVideoOn(true);
    }
    reception_ = std::make_unique<media::CVideoReception>(
        *link_, std::vector<media::CVideoPanelControl*>{video_[0].get(), video_[1].get()});
    player_ = std::make_unique<media::CAudioPlayer>(speaker_);
    sound_ = std::make_unique<media::CRobotSoundControl>(*link_, *player_);
    sound_->SetRequest(0, 64000);
    sound_->SetEnabled(true);
    recorder_ = std::make_unique<media::CRecorder>(microphone_);
    micSwitch_ = std::make_unique<media::CMicrophoneSwitch>(*recorder_);
    micSwitch_->SetFormat(0, 64000);
    if (!micSwitch_->PressButton())
        ledger_.Problem("the microphone would not open");
    controller_->SetPanelTick([this](int32_t elapsed) { PanelTick(elapsed); });

    map_ = std::make_unique<MapJob>(*link_, ledger_);
    map_->dumpDir = work_.string();
    cyclogram_ = std::make_unique<CyclogramJob>(*link_, ledger_, o_.seed + 1);
    chatbot_ = std::make_unique<ChatBotJob>(*link_, ledger_, o_.seed + 2);
    lateTick_ = controller_->OnTick(TickStage::Late, [this](uint32_t now, int32_t elapsed) {
        map_->transfer.Tick(now);
        cyclogram_->transfer.Tick(elapsed);
        chatbot_->Tick(elapsed);
    });
    counters_.Add(
        dispatcher_.Register(msg::kSoundBlock, [this](CStream&, int32_t) { ++soundBlocks_; }));
    counters_.Add(
        dispatcher_.Register(msg::kStatus, [this](CStream&, int32_t) { ++statusReplies_; }));

    pump_ = std::make_unique<CReactorPump>(reactor_);
    remote_ = std::make_unique<CRemoteFileSystem>(*link_, *pump_);

    tick_ = std::make_unique<platform::ScopedTimer>(reactor_, CMainController::kTickMs,
                                                    [this] { controller_->Tick(reactor_.Now()); });
    scheduler_ = std::make_unique<platform::ScopedTimer>(reactor_, 100, [this] { Schedule(); });
}

void Soak::OnState() {
    const int32_t state = link_->State();
    const int64_t now = Ms();
    if (state == kStateAuthorised) {
        if (everAuthorised_ && lostAt_ >= 0) {
            ++reconnects_;
            int64_t from = faults_.ReachableAfter(lostAt_, now);
            if (pressedAt_ >= 0)
                from = std::max(from, pressedAt_);
            const int64_t took = now - from;
            longestReconnect_ = std::max(longestReconnect_, took);
            if (took > kReconnectLimitMs) {
                ++slowReconnects_;
                ledger_.Problem("state 7 came " + std::to_string(took) +
                                " ms after the robot was reachable again");
            }
            ledger_.Note("reconnected in " + std::to_string(took) + " ms");
        }
        everAuthorised_ = true;
        lostAt_ = -1;
        pressedAt_ = -1;
        return;
    }
    if (lostAt_ < 0 && everAuthorised_)
        lostAt_ = now;
    if (state == kStateFailed || state == kStateRefused) {
        if (state == kStateRefused)
            ledger_.Problem("the robot refused the password");
        // The operator presses the button again (after the box is closed).
        ++gaveUp_;
        ledger_.Note("the link gave up (" + view_.lastError + "); connecting again");
        reactor_.Post([this] {
            pressedAt_ = Ms();
            controller_->ReleaseConnect();
            controller_->PressConnect({0, "127.0.0.1", robot_->Port(), "soak"});
        });
    }
}

void Soak::PanelTick(int32_t elapsedMs) {
    for (int i = 0; i < 2; ++i) {
        video_[i]->Tick(*link_, elapsedMs);
        if (video_[i]->Stream().TakeOver()) {
            ++shown_[i];
            const auto minute = static_cast<std::size_t>(Ms() / 60000);
            if (shownPerMinute_.size() <= minute)
                shownPerMinute_.resize(minute + 1, {0, 0});
            ++shownPerMinute_[minute][i];
        }
    }
    sound_->Tick(elapsedMs);
    player_->Tick(elapsedMs);
    // The microphone hears a 500 Hz tone in real time.
    if (microphone_.IsOpen() && microphone_.Rate() > 0) {
        const int32_t rate = microphone_.Rate();
        const int bytesPerSample = microphone_.Bits() / 8;
        const int64_t samples = static_cast<int64_t>(rate) * elapsedMs / 1000;
        std::vector<uint8_t> pcm(static_cast<std::size_t>(samples * bytesPerSample));
        for (int64_t i = 0; i < samples; ++i) {
            const double v = std::sin(tonePhase_) * 8000;
            tonePhase_ += 2 * M_PI * 500 / rate;
            if (bytesPerSample == 2) {
                const auto s = static_cast<int16_t>(v);
                std::memcpy(&pcm[static_cast<std::size_t>(i) * 2], &s, 2);
            } else {
                pcm[static_cast<std::size_t>(i)] = static_cast<uint8_t>(128 + v / 256);
            }
        }
        microphone_.Feed(pcm.data(), pcm.size());
    }
    recorder_->SendPending(*link_);
}

void Soak::Schedule() {
    const int64_t now = Ms();
    if (now > 60000 && rssMinute1_ == 0)
        rssMinute1_ = Rss();
    // The scripted operator drives in slow circles and looks around.
    const double t = now / 1000.0;
    controller_->Keys().SetDriveFromJoystick(static_cast<float>(0.5 * std::sin(t / 7)),
                                             static_cast<float>(0.4 * std::cos(t / 5)));
    if (static_cast<int64_t>(t) % 20 == 0)
        controller_->MoveHead(static_cast<float>(std::sin(t)), 0.2f, 0.0f);

    map_->Poll();
    cyclogram_->Poll();
    map_->CheckHang();
    cyclogram_->CheckHang();
    chatbot_->CheckHang();
    if (calm_ || !Authorised())
        return;
    const int64_t mapEvery = o_.light ? 20000 : 150000;
    if (map_->Idle() && now >= nextMap_) {
        // A pull every time, and a push with it every other time.
        map_->Start(mapRounds_++ % 2 == 1);
        nextMap_ = now + mapEvery;
    }
    if (cyclogram_->Idle() && now >= nextCyclogram_) {
        cyclogram_->Start();
        nextCyclogram_ = now + (o_.light ? 7000 : 20000);
    }
    if (chatbot_->Idle() && now >= nextChatBot_) {
        chatbot_->Start();
        nextChatBot_ = now + (o_.light ? 9000 : 25000);
    }
}

void Soak::FileRound(bool down, const std::string& kind) {
    std::error_code ec;
    const std::string upFolder = "soak\\up";
    if (down) {
        fs::remove_all(localDown_, ec);
        fs::create_directories(localDown_, ec);
    } else {
        remote_->CreateDirectory(RobotPath("soak\\up"));
    }
    std::set<std::string> folders;
    for (const auto& f : tree_) {
        if (calm_ == false && Ms() >= endAt_)
            return;
        const std::string parent = Parent(f.rel);
        // Folders first, as the file manager would; a failure shows in the
        // copies that need them.
        std::string part;
        for (std::size_t at = 0; !parent.empty() && at != std::string::npos;) {
            const auto slash = parent.find('/', at);
            part = parent.substr(0, slash);
            at = slash == std::string::npos ? slash : slash + 1;
            if (folders.insert(part).second) {
                if (down)
                    fs::create_directories(localDown_ / fs::u8path(part), ec);
                else
                    remote_->CreateDirectory(RobotPath(upFolder, part));
            }
        }
        CPolicyPrompts prompts(OnError::Retry, 2);
        CopyWatch watch;
        CCopyEngine engine(prompts, watch);
        ledger_.Started(kind);
        Outcome outcome;
        fs::path result;
        if (down) {
            const fs::path dest = localDown_ / fs::u8path(parent);
            outcome = engine.CopyFile(*remote_, RobotPath("soak\\tree", f.rel), local_,
                                      Utf8ToWide(dest.string()));
            result = localDown_ / fs::u8path(f.rel);
        } else {
            outcome = engine.CopyFile(local_, Utf8ToWide((localTree_ / fs::u8path(f.rel)).string()),
                                      *remote_, RobotPath(upFolder, parent));
            result = robotRoot_ / "files" / "D" / "soak" / "up" / fs::u8path(f.rel);
        }
        if (watch.hung) {
            ledger_.Hung(kind, f.rel);
            continue;
        }
        if (outcome != Outcome::GoOn || prompts.HadFailures()) {
            std::string reason = prompts.Messages().empty() ? std::string("stopped")
                                                            : WideToUtf8(prompts.Messages().back());
            // The reason without the file's name, so that reasons add up.
            if (const auto quote = reason.find('"'); quote != std::string::npos)
                reason = reason.substr(0, quote) + "…";
            ledger_.Failed(kind, reason);
            ledger_.Note(kind + ": " + f.rel);
            continue;
        }
        if (ReadAll(result) != f.bytes)
            ledger_.Mismatch(kind, f.rel);
        else
            ledger_.Completed(kind, static_cast<int64_t>(f.bytes.size()));
    }
}

// The link made good again: the console must still do its work.
void Soak::Finish() {
    calm_ = true;
    robot_->Calm();
    while (!robot_->Calmed())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // The old relay has gone; the operator connects to the clean one.
    pressedAt_ = Ms();
    controller_->ReleaseConnect();
    controller_->PressConnect({0, "127.0.0.1", robot_->Port(), "soak"});
    if (!WaitFor([this] { return Authorised(); }, 15000)) {
        ledger_.Problem("no state 7 on the clean link within 15 s");
        return;
    }
    // What runs ends, one way or the other.
    WaitFor([this] { return map_->Idle() && cyclogram_->Idle() && chatbot_->Idle(); },
            static_cast<uint32_t>(kHangMs + 5000));
    const int statuses = statusReplies_;
    if (!WaitFor([&] { return statusReplies_ > statuses + 1; }, 10000))
        ledger_.Problem("no fresh status on the clean link");
    const int completed = ledger_.Of("map pull").completed;
    map_->Start(false);
    if (!WaitFor([&] { return map_->Idle(); }, 60000) ||
        ledger_.Of("map pull").completed == completed)
        ledger_.Problem("the map pull on the clean link did not succeed");
    for (bool down : {true, false}) {
        const char* kind = down ? "final copy down" : "final copy up";
        FileRound(down, kind);
        const auto& s = ledger_.Of(kind);
        if (s.completed != static_cast<int>(tree_.size()))
            ledger_.Problem(std::string(kind) + ": " + std::to_string(s.completed) + " of " +
                            std::to_string(tree_.size()) + " files");
    }
    // Every file on both sides by checksum, and nothing written elsewhere.
    std::set<std::string> expected;
    for (const auto& f : tree_) {
        expected.insert(f.rel);
        for (const fs::path& p :
             {localDown_ / fs::u8path(f.rel),
              robotRoot_ / "files" / "D" / "soak" / "up" / fs::u8path(f.rel),
              robotRoot_ / "files" / "D" / "soak" / "tree" / fs::u8path(f.rel)}) {
            if (Fnv(ReadAll(p)) != Fnv(f.bytes))
                ledger_.Problem("checksum differs: " + p.string());
        }
    }
    for (const fs::path& base : {localDown_, robotRoot_ / "files" / "D" / "soak" / "up"}) {
        for (const auto& e : fs::recursive_directory_iterator(base)) {
            const std::string rel = fs::relative(e.path(), base).generic_string();
            if (!e.is_regular_file() || expected.count(rel))
                continue;
            // With damaged payloads the robot may be told a damaged name and
            // write the file under it: the robot's doing, counted. The
            // console's own side must still hold nothing else.
            if (o_.corrupt && base != localDown_) {
                ++damagedNames_;
                continue;
            }
            ledger_.Problem("a file nobody asked for: " + e.path().string());
        }
    }
}

int Soak::Run() {
    if (!Prepare())
        return 2;
    sim::SimOptions sim;
    sim.port = 0;
    sim.password = "soak";
    sim.root = robotRoot_.string();
    sim.videoWidth = o_.light ? 160 : 320;
    sim.videoHeight = o_.light ? 120 : 240;
    sim.videoFps = o_.light ? 10 : 25;
    sim::RelayOptions relay;
    relay.seed = o_.seed;
    relay.up = {.delayMs = 10, .jitterMs = 30};
    relay.down = {.delayMs = 10, .jitterMs = 30};
    if (o_.light) {
        relay.cutEvery = {10000, 20000};
        relay.stallEvery = {15000, 25000};
        relay.stallFor = {5000, 8000};
    } else {
        relay.cutEvery = {10000, 60000};
        relay.stallEvery = {30000, 120000};
        relay.stallFor = {5000, 15000};
    }
    if (o_.corrupt) {
        relay.up.corrupt = 0.01;
        relay.down.corrupt = 0.01;
    }
    robot_ = std::make_unique<RobotSide>(sim, relay, faults_);
    if (!robot_->Started()) {
        std::fprintf(stderr, "soak: the simulated robot or the relay would not start\n");
        return 2;
    }
    StartConsole();
    controller_->PressConnect({0, "127.0.0.1", robot_->Port(), "soak"});
    if (!WaitFor([this] { return Authorised(); }, 20000)) {
        std::fprintf(stderr, "soak: never authorised\n");
        return 1;
    }
    const int64_t begin = Ms();
    endAt_ = begin + int64_t{o_.seconds} * 1000;
    nextFiles_ = begin + 2000;
    while (Ms() < endAt_) {
        if (Authorised() && Ms() >= nextFiles_) {
            FileRound(filesDown_, filesDown_ ? "files robot→console" : "files console→robot");
            filesDown_ = !filesDown_;
            nextFiles_ = Ms() + (o_.light ? 3000 : 15000);
            continue;
        }
        WaitFor([this] { return Ms() >= endAt_ || (Authorised() && Ms() >= nextFiles_); }, 200);
    }
    Finish();
    const int64_t rssEnd = Rss();
    if (rssMinute1_ == 0)
        rssMinute1_ = rssEnd;  // a run shorter than a minute
    PrintTable();
    // Tear down in the window's order: what uses the link first.
    lateTick_.Reset();
    micSwitch_->ReleaseButton();
    controller_->SetPanelTick(nullptr);
    reception_.reset();
    for (auto& v : video_)
        v.reset();
    sound_->SetEnabled(false);
    player_->Close();
    link_->Disconnect();
    scheduler_.reset();
    tick_.reset();
    return ledger_.problems.empty() ? 0 : 1;
}

void Soak::PrintTable() {
    const double minutes = (Ms() - (endAt_ - int64_t{o_.seconds} * 1000)) / 60000.0;
    std::printf("\n== soak%s: seed %" PRIu64 ", %d MB tree\n", o_.corrupt ? " (corruption)" : "",
                o_.seed, o_.treeMb);
    std::printf("%-34s %.1f\n", "minutes run", minutes);
    std::printf("%-34s %d (stalls %d, connections %d)\n", "connections cut", robot_->Cuts(),
                robot_->Stalls(), robot_->Connections());
    if (o_.corrupt) {
        std::printf("%-34s %d\n", "payload bytes corrupted", faults_.Corrupted());
        std::printf("%-34s %d\n", "robot files under damaged names", damagedNames_);
    }
    std::printf("%-34s %d (link gave up %d times)\n", "reconnects", reconnects_, gaveUp_);
    std::printf("%-34s %" PRId64 " ms (limit %" PRId64 ", over it %d)\n",
                "longest reachable-to-state-7", longestReconnect_, kReconnectLimitMs,
                slowReconnects_);
    std::printf("%-34s %8s %9s %6s %4s %8s %12s\n", "transfers", "started", "completed", "failed",
                "hung", "mismatch", "bytes cmp");
    int64_t compared = 0;
    for (const auto& [kind, s] : ledger_.All()) {
        std::printf("  %-32s %8d %9d %6d %4d %8d %12" PRId64 "\n", kind.c_str(), s.started,
                    s.completed, s.failed, s.hung, s.mismatched, s.bytesCompared);
        compared += s.bytesCompared;
        for (const auto& [reason, n] : s.reasons)
            std::printf("      %4d× %s\n", n, reason.c_str());
    }
    std::printf("%-34s %" PRId64 "\n", "bytes compared", compared);
    for (int i = 0; i < 2; ++i) {
        int64_t least = INT64_MAX, most = 0;
        // Whole minutes only: the first and the last are partial.
        for (std::size_t m = 1; m + 1 < shownPerMinute_.size(); ++m) {
            least = std::min(least, shownPerMinute_[m][i]);
            most = std::max(most, shownPerMinute_[m][i]);
        }
        const double perMinute = minutes > 0 ? shown_[i] / minutes : 0;
        std::printf("camera %d frames shown per minute  %.0f (whole minutes: %s)\n", i, perMinute,
                    least == INT64_MAX
                        ? "none"
                        : (std::to_string(least) + ".." + std::to_string(most)).c_str());
    }
    std::printf("%-34s %" PRId64 " blocks, player %s\n", "robot sound", soundBlocks_,
                player_->DeviceOpen() ? "open" : "closed");
    std::printf("%-34s %" PRIu64 " blocks decoded by the robot\n", "microphone",
                robot_->MicBlocks());
    std::printf("%-34s %" PRId64 "\n", "status replies", statusReplies_);
    std::printf("%-34s %.1f MB at minute 1, %.1f MB at the end\n", "RSS", rssMinute1_ / 1048576.0,
                Rss() / 1048576.0);
#ifdef SOAK_ASAN
    std::printf("%-34s %s\n", "sanitizers",
                "AddressSanitizer+UBSan on: no report (a report aborts the run; leaks at exit)");
#else
    std::printf("%-34s %s\n", "sanitizers", "off (release build: the RSS line is the one to read)");
    if (Rss() - rssMinute1_ > kRssGrowthLimit && minutes >= 2)
        ledger_.Problem("RSS grew by more than 20 MB after minute 1");
#endif
    if (ledger_.problems.empty()) {
        std::printf("verdict: PASS\n");
    } else {
        std::printf("verdict: FAIL (%zu problems)\n", ledger_.problems.size());
        for (const auto& p : ledger_.problems)
            std::printf("  - %s\n", p.c_str());
    }
    std::fflush(stdout);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: velcora_soak [--seconds N] [--minutes N] [--seed N] [--corrupt] "
                 "[--light] [--tree-mb N] [--work DIR] [-v]\n");
    return 2;
}

}  // namespace
}  // namespace velcora::soak

int main(int argc, char** argv) {
    using velcora::soak::Options;
    Options o;
    bool treeGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--seconds" || a == "--minutes") {
            const char* v = value();
            if (!v || std::atoi(v) <= 0)
                return velcora::soak::Usage();
            o.seconds = std::atoi(v) * (a == "--minutes" ? 60 : 1);
        } else if (a == "--seed") {
            const char* v = value();
            if (!v)
                return velcora::soak::Usage();
            o.seed = std::strtoull(v, nullptr, 10);
        } else if (a == "--tree-mb") {
            const char* v = value();
            if (!v || std::atoi(v) <= 0)
                return velcora::soak::Usage();
            o.treeMb = std::atoi(v);
            treeGiven = true;
        } else if (a == "--work") {
            const char* v = value();
            if (!v)
                return velcora::soak::Usage();
            o.work = v;
        } else if (a == "--corrupt") {
            o.corrupt = true;
        } else if (a == "--light") {
            o.light = true;
        } else if (a == "-v") {
            o.verbose = true;
        } else {
            return velcora::soak::Usage();
        }
    }
    if (o.light && !treeGiven)
        o.treeMb = 3;
    velcora::soak::Soak soak(o);
    return soak.Run();
}
