// velcoractl commands for cyclograms, sounds and the environment.
//
//   cyclogram ls | pull NAME OUT.cyg | push NAME IN.cyg | rm NAME | mv OLD NEW
//   cyclogram run NAME [--from MS --to MS]
//   cyclogram dump FILE              the cyclogram file as JSON
//   cyclogram value FILE MOTOR MS... the first MOTOR track's value at each time
//   wave ls | push FILE.wav | rm NAME
//   env pull OUT.cenv [--background FILE.jpg] | push IN.cenv [--background FILE.jpg]
//   env dump FILE                    the environment project as JSON
//   cyclogram pose FILE MS [--env FILE.cenv]   set the robot's motors to the pose at MS
//   env motors                       the robot's motor values as JSON
//   env set MOTOR POSITION           move a tracker's motor to a position 0..1
//
// Names on the command line and in the output are UTF-8; they travel in the
// ANSI code page.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/ctl/ctl.h"
#include "app/ctl/session.h"
#include "cyclogram/cyclogram.h"
#include "cyclogram/cyclogram_format.h"
#include "cyclogram/cyclogram_transfer.h"
#include "cyclogram/time_line.h"
#include "link/text_codec.h"

namespace velcora::ctl {

namespace {

std::string Json(bool v) {
    return v ? "true" : "false";
}

std::string Json(long long v) {
    return std::to_string(v);
}

std::string Json(float v) {
    if (!std::isfinite(v)) {
        return "null";  // JSON has no NaN or infinity
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(v));
    return buffer;
}

std::string CyclogramJson(const CCyclogram& doc) {
    std::string out = "{\"loop\":" + Json(doc.loop != 0) + ",\"tracks\":[";
    for (int32_t i = 0; i < doc.trackCount(); ++i) {
        const CCyclogramTrack& t = doc.track(i);
        out += i ? ",{" : "{";
        out += "\"motor\":" + Json(static_cast<long long>(t.motor)) +
               ",\"disabled\":" + Json(t.disabled != 0) + ",\"locked\":" + Json(t.locked != 0) +
               ",\"keys\":[";
        bool first = true;
        for (const CyclogramKey& k : t.keys()) {
            out += first ? "{" : ",{";
            first = false;
            out += "\"time\":" + Json(static_cast<long long>(k.time)) +
                   ",\"value\":" + Json(k.value) +
                   ",\"inMode\":" + Json(static_cast<long long>(k.inMode)) +
                   ",\"inLength\":" + Json(static_cast<long long>(k.inLength)) +
                   ",\"inDelta\":" + Json(k.inDelta) +
                   ",\"outMode\":" + Json(static_cast<long long>(k.outMode)) +
                   ",\"outLength\":" + Json(static_cast<long long>(k.outLength)) +
                   ",\"outDelta\":" + Json(k.outDelta) + "}";
        }
        out += "]}";
    }
    out += "],\"audio\":";
    if (!doc.audio) {
        return out + "null}";
    }
    out += "{\"disabled\":" + Json(doc.audio->disabled != 0) +
           ",\"locked\":" + Json(doc.audio->locked != 0) + ",\"blocks\":[";
    bool first = true;
    for (const AudioBlock& b : doc.audio->blocks()) {
        out += first ? "{" : ",{";
        first = false;
        out += "\"start\":" + Json(static_cast<long long>(b.start)) +
               ",\"length\":" + Json(static_cast<long long>(b.length)) +
               ",\"text\":" + (b.text ? JsonString(AnsiToUtf8(*b.text)) : std::string("null")) +
               "}";
    }
    return out + "]}}";
}

std::string EnvironmentJson(const CCyclogramEnv& env) {
    std::string out = "{\"trackers\":[";
    bool first = true;
    for (const EnvTracker& t : env.trackers) {
        out += first ? "{" : ",{";
        first = false;
        out += "\"motor\":" + Json(static_cast<long long>(t.motor)) +
               ",\"kind\":" + Json(static_cast<long long>(t.kind)) +
               ",\"leftRaw\":" + Json(static_cast<long long>(t.leftRaw)) +
               ",\"rightRaw\":" + Json(static_cast<long long>(t.rightRaw)) +
               ",\"defaultRaw\":" + Json(static_cast<long long>(t.defaultRaw)) +
               ",\"x\":" + Json(static_cast<long long>(t.x)) +
               ",\"y\":" + Json(static_cast<long long>(t.y)) + ",\"position\":" + Json(t.position) +
               "}";
    }
    out += "],\"backgroundSize\":" + Json(static_cast<long long>(env.backgroundSize)) +
           ",\"backgroundChecksum\":" + Json(static_cast<long long>(env.backgroundChecksum)) + "}";
    return out;
}

int ReadFailed(const std::string& path) {
    return Failed("Невозможно прочитать файл \"" + path + "\"!");
}

// "dump FILE": reads the one file named and prints it as JSON.
template <typename Document>
int DumpAsJson(const std::vector<std::string>& rest, const char* usage,
               bool (*load)(const std::string&, Document&), std::string (*json)(const Document&)) {
    if (rest.size() != 1) {
        return UsageError(usage);
    }
    Document document;
    if (!load(rest[0], document)) {
        return ReadFailed(rest[0]);
    }
    std::printf("%s\n", json(document).c_str());
    return kExitDone;
}

int CyclogramDump(const std::vector<std::string>& rest) {
    return DumpAsJson(rest, "cyclogram dump needs one FILE", loadCyclogramFile, CyclogramJson);
}

int CyclogramValue(const std::vector<std::string>& rest) {
    if (rest.size() < 3) {
        return UsageError("cyclogram value needs FILE MOTOR MS...");
    }
    long long motor = 0;
    if (!ParseInt(rest[1], motor) || motor < INT32_MIN || motor > INT32_MAX) {
        return UsageError("MOTOR must be a whole number");
    }
    std::vector<int32_t> times;
    for (std::size_t i = 2; i < rest.size(); ++i) {
        long long ms = 0;
        if (!ParseInt(rest[i], ms) || ms < INT32_MIN || ms > INT32_MAX) {
            return UsageError("MS must be a whole number: " + rest[i]);
        }
        times.push_back(static_cast<int32_t>(ms));
    }
    CCyclogram doc;
    if (!loadCyclogramFile(rest[0], doc)) {
        return ReadFailed(rest[0]);
    }
    const int32_t track = doc.findTrack(static_cast<int32_t>(motor));
    if (track < 0) {
        return Failed("no track drives motor " + rest[1]);
    }
    for (int32_t t : times) {
        std::printf("%.9g\n", static_cast<double>(doc.track(track).valueAt(t)));
    }
    return kExitDone;
}

int EnvDump(const std::vector<std::string>& rest) {
    return DumpAsJson(rest, "env dump needs one FILE", loadEnvironmentFile, EnvironmentJson);
}

// ------------------------------------------------------------------ online

// What a subcommand gets: the connection options and the options some
// subcommands take, already taken out of the arguments.
struct Context {
    ConnectionOptions connection;
    std::optional<std::string> from, to, background, env;
};

constexpr uint32_t kReplyWaitMs = 20000;     // beyond every request's own time-out
constexpr uint32_t kUploadWaitMs = 3600000;  // a wave upload ends by itself on failure

void Progress(const std::string& text) {
    std::fprintf(stderr, "velcoractl: %s\n", text.c_str());
}

int WriteFailed(const std::string& path) {
    return Failed("Невозможно записать файл \"" + path + "\"!");
}

// A temporary folder for the files the environment controller keeps.
class TempFolder {
  public:
    TempFolder() {
        char pattern[] = "/tmp/velcoractl-XXXXXX";
        if (mkdtemp(pattern))
            path_ = pattern;
    }
    ~TempFolder() {
        if (!path_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(path_, ec);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    bool Ok() const { return !path_.empty(); }
    std::string File(const char* name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Opens the session and, once the robot has let the console in, makes the
// command's controller on its link and drives it from the session's reactor.
template <typename Transfer, typename... Parts>
int OpenController(Session& session, std::unique_ptr<Transfer>& transfer,
                   std::unique_ptr<Ticker>& ticker, Parts&... parts) {
    const int rc = session.Open();
    if (rc == kExitDone) {
        transfer = std::make_unique<Transfer>(session.Link(), parts...);
        Transfer* driven = transfer.get();
        ticker =
            std::make_unique<Ticker>(session.Reactor(), [driven](int32_t ms) { driven->Tick(ms); });
    }
    return rc;
}

struct CyclogramView : ICyclogramTransferView {
    std::optional<std::vector<std::string>> names;
    std::unique_ptr<CCyclogram> loaded;
    bool uploaded = false;
    std::optional<std::string> error;

    void OnCyclogramList(const std::vector<std::string>& list) override { names = list; }
    void OnCyclogramLoaded(std::unique_ptr<CCyclogram> doc) override { loaded = std::move(doc); }
    void OnCyclogramUploaded(const std::string&) override { uploaded = true; }
    void OnRequestFailed(CyclogramRequest, const std::string& text) override { error = text; }
};

// One online cyclogram command: the session, the controller and its ticks.
struct CyclogramSession {
    explicit CyclogramSession(const ConnectionOptions& options) : session(options) {}
    int Open() { return OpenController(session, transfer, ticker, view); }
    // Waits for `done` or a failure text; kExitDone when `done` came.
    int Wait(const std::function<bool()>& done) {
        return session.WaitForReply(done, view.error, kReplyWaitMs);
    }
    // Opens the session and lists the robot's cyclograms.
    int OpenAndList(std::vector<std::string>& names) {
        const int rc = Open();
        return rc == kExitDone ? List(names) : rc;
    }
    // The robot's cyclogram names; also tells that every earlier request was handled.
    int List(std::vector<std::string>& names) {
        view.names.reset();
        view.error.reset();
        transfer->requestList();
        if (const int rc = Wait([this] { return view.names.has_value(); }); rc != kExitDone)
            return rc;
        names = *view.names;
        return kExitDone;
    }

    Session session;
    CyclogramView view;
    std::unique_ptr<CCyclogramTransfer> transfer;
    std::unique_ptr<Ticker> ticker;
};

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

int CyclogramList(const Context& c, const std::vector<std::string>& rest) {
    if (!rest.empty())
        return UsageError("cyclogram ls takes no arguments");
    CyclogramSession s(c.connection);
    std::vector<std::string> names;
    if (int rc = s.OpenAndList(names); rc != kExitDone)
        return rc;
    for (const auto& n : names)
        std::printf("%s\n", Printable(AnsiToUtf8(n)).c_str());
    return kExitDone;
}

int CyclogramPull(const Context& c, const std::vector<std::string>& rest) {
    if (rest.size() != 2)
        return UsageError("cyclogram pull needs NAME OUT.cyg");
    CyclogramSession s(c.connection);
    if (int rc = s.Open(); rc != kExitDone)
        return rc;
    s.transfer->requestLoad(Utf8ToAnsi(rest[0]));
    if (int rc = s.Wait([&] { return s.view.loaded != nullptr; }); rc != kExitDone)
        return rc;
    if (!saveCyclogramFile(rest[1], *s.view.loaded))
        return WriteFailed(rest[1]);
    Progress(rest[0] + ": " + std::to_string(s.view.loaded->trackCount()) + " tracks written to " +
             rest[1]);
    return kExitDone;
}

int CyclogramPush(const Context& c, const std::vector<std::string>& rest) {
    if (rest.size() != 2)
        return UsageError("cyclogram push needs NAME IN.cyg");
    CCyclogram doc;
    if (!loadCyclogramFile(rest[1], doc))
        return ReadFailed(rest[1]);
    CyclogramSession s(c.connection);
    if (int rc = s.Open(); rc != kExitDone)
        return rc;
    Progress("sending " + rest[0] + " (" + std::to_string(doc.trackCount()) + " tracks)");
    s.transfer->upload(Utf8ToAnsi(rest[0]), doc);
    if (int rc = s.Wait([&] { return s.view.uploaded; }); rc != kExitDone)
        return rc;
    Progress(rest[0] + ": stored on the robot");
    return kExitDone;
}

// Delete and rename have no reply: the list before tells that the request
// makes sense, the list after that the robot carried it out.
int CyclogramRemove(const Context& c, const std::vector<std::string>& rest) {
    if (rest.size() != 1)
        return UsageError("cyclogram rm needs NAME");
    const std::string name = Utf8ToAnsi(rest[0]);
    CyclogramSession s(c.connection);
    std::vector<std::string> names;
    if (int rc = s.OpenAndList(names); rc != kExitDone)
        return rc;
    if (!Contains(names, name))
        return Failed("the robot has no cyclogram \"" + rest[0] + "\"");
    s.transfer->deleteCyclogram(name);
    if (int rc = s.List(names); rc != kExitDone)
        return rc;
    if (Contains(names, name))
        return Failed("the robot kept \"" + rest[0] + "\"");
    return kExitDone;
}

int CyclogramRename(const Context& c, const std::vector<std::string>& rest) {
    if (rest.size() != 2)
        return UsageError("cyclogram mv needs OLD NEW");
    const std::string from = Utf8ToAnsi(rest[0]);
    const std::string to = Utf8ToAnsi(rest[1]);
    CyclogramSession s(c.connection);
    std::vector<std::string> names;
    if (int rc = s.OpenAndList(names); rc != kExitDone)
        return rc;
    if (!Contains(names, from))
        return Failed("the robot has no cyclogram \"" + rest[0] + "\"");
    if (Contains(names, to))
        return Failed("the robot already has a cyclogram \"" + rest[1] + "\"");
    s.transfer->renameCyclogram(from, to);
    if (int rc = s.List(names); rc != kExitDone)
        return rc;
    if (!Contains(names, to) || Contains(names, from))
        return Failed("the robot did not rename \"" + rest[0] + "\"");
    return kExitDone;
}

int CyclogramRun(const Context& c, const std::vector<std::string>& rest) {
    if (rest.size() != 1)
        return UsageError("cyclogram run needs NAME");
    FragmentMarks marks;
    if (c.from || c.to) {
        long long from = 0;
        long long to = 0;
        if (!c.from || !c.to || !ParseInt(*c.from, from) || !ParseInt(*c.to, to) || from < 0 ||
            to <= from || to > INT32_MAX)
            return UsageError("--from MS and --to MS go together, 0 <= from < to");
        marks = {static_cast<int32_t>(from), static_cast<int32_t>(to)};
    }
    const std::string name = Utf8ToAnsi(rest[0]);
    CyclogramSession s(c.connection);
    std::vector<std::string> names;
    if (int rc = s.OpenAndList(names); rc != kExitDone)
        return rc;
    if (!Contains(names, name))
        return Failed("the robot has no cyclogram \"" + rest[0] + "\"");
    s.transfer->run(name, marks);
    if (int rc = s.List(names); rc != kExitDone)
        return rc;
    Progress(marks.end ? "running " + rest[0] + " from " + std::to_string(marks.start) + " to " +
                             std::to_string(marks.end) + " ms"
                       : "running " + rest[0]);
    return kExitDone;
}

struct WaveView : IWaveTransferView {
    bool listed = false;
    std::optional<bool> finished;
    std::optional<std::string> error;

    bool Confirm(const std::string&, const std::string&) override { return true; }
    void OnRequestFailed(WaveRequest, const std::string& text) override { error = text; }
    void OnWaveListChanged() override { listed = true; }
    void OnUploadStarted(const std::string&, int32_t total) override {
        Progress("sending " + std::to_string(total) + " packed bytes");
    }
    // One line per tenth of the file, not one per chunk.
    void OnUploadProgress(int32_t done, int32_t total) override {
        const int tenth = total > 0 ? static_cast<int>(int64_t{done} * 10 / total) : 10;
        if (tenth == lastTenth)
            return;
        lastTenth = tenth;
        Progress("sent " + std::to_string(done) + " of " + std::to_string(total) + " bytes");
    }
    int lastTenth = -1;
    void OnUploadFinished(bool ok) override { finished = ok; }
};

struct WaveSession {
    explicit WaveSession(const ConnectionOptions& options) : session(options) {}
    int Open() { return OpenController(session, transfer, ticker, view, list); }
    int Wait(const std::function<bool()>& done, uint32_t ms = kReplyWaitMs) {
        return session.WaitForReply(done, view.error, ms);
    }
    // Opens the session and lists the robot's wave files.
    int OpenAndList() {
        const int rc = Open();
        return rc == kExitDone ? List() : rc;
    }
    int List() {
        view.listed = false;
        view.error.reset();
        transfer->requestWaveList();
        return Wait([this] { return view.listed; });
    }
    bool Has(const std::string& name) const {
        return std::any_of(list.entries.begin(), list.entries.end(),
                           [&](const WaveFileEntry& e) { return e.name == name; });
    }

    Session session;
    WaveView view;
    CWaveList list;
    std::unique_ptr<CWaveTransfer> transfer;
    std::unique_ptr<Ticker> ticker;
};

int WaveList(const Context& c, const std::vector<std::string>& rest) {
    if (!rest.empty())
        return UsageError("wave ls takes no arguments");
    WaveSession s(c.connection);
    if (int rc = s.OpenAndList(); rc != kExitDone)
        return rc;
    for (const auto& e : s.list.entries)
        std::printf("%s\t%u\n", Printable(AnsiToUtf8(e.name)).c_str(), e.lengthMs);
    return kExitDone;
}

int WavePush(const Context& c, const std::vector<std::string>& rest) {
    if (rest.size() != 1)
        return UsageError("wave push needs FILE.wav");
    WaveSession s(c.connection);
    if (int rc = s.Open(); rc != kExitDone)
        return rc;
    if (!s.transfer->uploadWaveFile(rest[0])) {
        std::fprintf(stderr, "%s\n", s.view.error.value_or("velcoractl: nothing sent").c_str());
        return kExitFailed;
    }
    if (int rc = s.Wait([&] { return s.view.finished.has_value(); }, kUploadWaitMs);
        rc != kExitDone)
        return rc;
    Progress(WaveFileNameOf(rest[0]) + ": stored on the robot");
    return kExitDone;
}

int WaveRemove(const Context& c, const std::vector<std::string>& rest) {
    if (rest.size() != 1)
        return UsageError("wave rm needs NAME");
    const std::string name = Utf8ToAnsi(rest[0]);
    WaveSession s(c.connection);
    if (int rc = s.OpenAndList(); rc != kExitDone)
        return rc;
    if (!s.Has(name))
        return Failed("the robot has no wave file \"" + rest[0] + "\"");
    s.transfer->deleteWaveFile(name);
    if (int rc = s.List(); rc != kExitDone)
        return rc;
    if (s.Has(name))
        return Failed("the robot kept \"" + rest[0] + "\"");
    return kExitDone;
}

struct EnvironmentView : IEnvironmentTransferView {
    bool replaced = false;
    bool uploaded = false;
    std::optional<std::string> error;

    bool Confirm(const std::string&, const std::string&) override { return true; }
    void OnRequestFailed(EnvironmentRequest, const std::string& text) override { error = text; }
    void OnEnvironmentReplaced() override { replaced = true; }
    void OnBackgroundChanged() override {}
    void OnChangedFlag(bool) override {}
    void OnEnvironmentUploaded() override { uploaded = true; }
    void OnMotorValues(bool) override { motorValues = true; }
    bool motorValues = false;
};

struct EnvironmentSession {
    EnvironmentSession(const ConnectionOptions& options, EnvironmentFiles files)
        : session(options), files(std::move(files)) {}
    int Open() {
        const int rc = OpenController(session, transfer, ticker, view, env, files);
        if (rc == kExitDone) {
            transfer->setOnlineMode(false);  // no motor polls
        }
        return rc;
    }
    int Wait(const std::function<bool()>& done) {
        return session.WaitForReply(done, view.error, kReplyWaitMs);
    }

    Session session;
    EnvironmentFiles files;
    EnvironmentView view;
    CCyclogramEnv env;
    std::unique_ptr<CEnvironmentTransfer> transfer;
    std::unique_ptr<Ticker> ticker;
};

int EnvPull(const Context& c, const std::vector<std::string>& rest) {
    if (rest.size() != 1)
        return UsageError("env pull needs OUT.cenv");
    // The controller's own files go to a scratch folder; only what was asked
    // for is written where the operator said.
    TempFolder scratch;
    if (!scratch.Ok())
        return Failed("cannot create a temporary folder");
    EnvironmentSession s(c.connection, {scratch.File("env.cenv"), scratch.File("cycbg.jpg")});
    if (int rc = s.Open(); rc != kExitDone)
        return rc;
    s.transfer->requestEnvironment();
    // The download's countdown stops when a record arrives, usable or not; the
    // picture's runs while it is on its way.
    const auto& project = s.transfer->countdown(EnvironmentRequest::Download);
    const auto& picture = s.transfer->countdown(EnvironmentRequest::BackgroundDownload);
    if (int rc = s.Wait([&] { return !project.Running() && !picture.Running(); }); rc != kExitDone)
        return rc;
    if (!s.view.replaced)
        return Failed("the robot's environment project is malformed");
    if (!saveEnvironmentFile(rest[0], s.env))
        return WriteFailed(rest[0]);
    Progress(std::to_string(s.env.count()) + " trackers written to " + rest[0]);
    if (!c.background)
        return kExitDone;
    if (s.env.backgroundSize == 0) {
        Progress("the robot's project has no background picture");
        return kExitDone;
    }
    CMemoryStream bytes;
    if (!bytes.LoadFromFile(s.files.background))
        return Failed("the background picture did not arrive");
    if (!bytes.SaveToFile(*c.background))
        return WriteFailed(*c.background);
    Progress("background picture (" + std::to_string(bytes.Size()) + " bytes) written to " +
             *c.background);
    return kExitDone;
}

int EnvPush(const Context& c, const std::vector<std::string>& rest) {
    if (rest.size() != 1)
        return UsageError("env push needs IN.cenv");
    CCyclogramEnv env;
    if (!loadEnvironmentFile(rest[0], env))
        return ReadFailed(rest[0]);
    TempFolder scratch;
    if (!scratch.Ok())
        return Failed("cannot create a temporary folder");
    // Without a picture the project goes without one, and the robot drops its own.
    std::string background = scratch.File("none.jpg");
    if (c.background) {
        background = *c.background;
        if (computeBackgroundChecksum(background).size == 0)
            return ReadFailed(background);
    }
    EnvironmentSession s(c.connection, {scratch.File("env.cenv"), background});
    s.env = std::move(env);
    if (int rc = s.Open(); rc != kExitDone)
        return rc;
    Progress("sending " + std::to_string(s.env.count()) + " trackers" +
             (c.background ? " and the background picture if the robot wants it" : ""));
    s.transfer->uploadEnvironment();
    if (int rc = s.Wait([&] { return s.view.uploaded; }); rc != kExitDone)
        return rc;
    Progress("the robot holds the environment project");
    return kExitDone;
}

// The robot's environment project into the session (its files in a scratch folder).
int PullEnvironment(EnvironmentSession& s) {
    s.transfer->requestEnvironment();
    const auto& project = s.transfer->countdown(EnvironmentRequest::Download);
    if (int rc = s.Wait([&] { return !project.Running(); }); rc != kExitDone)
        return rc;
    if (!s.view.replaced)
        return Failed("the robot's environment project is malformed");
    return kExitDone;
}

// Asks for the values of every tracker's motor and waits for them. The robot
// answers in order, so this also tells that earlier motor settings arrived.
int PollMotors(EnvironmentSession& s) {
    s.view.motorValues = false;
    s.transfer->setMouseDown(true);  // take the reply although on-line mode is off
    if (!s.transfer->pollMotorValues())
        return Failed("the environment project has no trackers");
    return s.Wait([&] { return s.view.motorValues; });
}

// The raw value shown for a tracker: -1 when the robot has none.
long long ShownRaw(const EnvTracker& t) {
    if (t.noValue)
        return -1;
    const double raw = t.leftRaw + (static_cast<double>(t.rightRaw) - t.leftRaw) * t.position;
    return std::llround(raw);
}

std::string MotorsJson(const CCyclogramEnv& env) {
    std::string out = "[";
    for (const EnvTracker& t : env.trackers) {
        out += out.size() > 1 ? ",{" : "{";
        out += "\"motor\":" + Json(static_cast<long long>(t.motor)) +
               ",\"raw\":" + Json(ShownRaw(t)) + ",\"position\":" + Json(t.position) +
               ",\"noValue\":" + Json(t.noValue != 0) + "}";
    }
    return out + "]";
}

int CyclogramPose(const Context& c, const std::vector<std::string>& rest) {
    if (rest.size() != 2)
        return UsageError("cyclogram pose needs FILE MS");
    long long ms = 0;
    if (!ParseInt(rest[1], ms) || ms < 0 || ms > INT32_MAX)
        return UsageError("MS must be a whole number of milliseconds, 0 or more");
    CCyclogram doc;
    if (!loadCyclogramFile(rest[0], doc))
        return ReadFailed(rest[0]);
    CCyclogramEnv given;
    if (c.env && !loadEnvironmentFile(*c.env, given))
        return ReadFailed(*c.env);
    TempFolder scratch;
    if (!scratch.Ok())
        return Failed("cannot create a temporary folder");
    EnvironmentSession s(c.connection, {scratch.File("env.cenv"), scratch.File("cycbg.jpg")});
    if (int rc = s.Open(); rc != kExitDone)
        return rc;
    if (c.env) {
        s.env = std::move(given);
    } else if (int rc = PullEnvironment(s); rc != kExitDone) {
        return rc;
    }
    // The same pose the time line's "Применить позу" gives the trackers.
    const std::vector<PoseEntry> pose = PoseAt(doc, s.env, static_cast<int32_t>(ms));
    if (pose.empty())
        return Failed("no enabled track of " + rest[0] + " has a tracker in the environment");
    std::string out = "[";
    for (const PoseEntry& p : pose) {
        EnvTracker& t = s.env.trackers[static_cast<std::size_t>(p.tracker)];
        t.position = p.position;
        const int32_t raw = RawOfPosition(t, p.position);
        s.transfer->setMotor(p.motor, raw);
        out += out.size() > 1 ? ",{" : "{";
        out += "\"motor\":" + Json(static_cast<long long>(p.motor)) +
               ",\"position\":" + Json(p.position) +
               ",\"raw\":" + Json(static_cast<long long>(raw)) + "}";
    }
    if (int rc = PollMotors(s); rc != kExitDone)
        return rc;
    std::printf("%s]\n", out.c_str());
    return kExitDone;
}

int EnvMotors(const Context& c, const std::vector<std::string>& rest) {
    if (!rest.empty())
        return UsageError("env motors takes no arguments");
    TempFolder scratch;
    if (!scratch.Ok())
        return Failed("cannot create a temporary folder");
    EnvironmentSession s(c.connection, {scratch.File("env.cenv"), scratch.File("cycbg.jpg")});
    if (int rc = s.Open(); rc != kExitDone)
        return rc;
    if (int rc = PullEnvironment(s); rc != kExitDone)
        return rc;
    if (int rc = PollMotors(s); rc != kExitDone)
        return rc;
    std::printf("%s\n", MotorsJson(s.env).c_str());
    return kExitDone;
}

int EnvSet(const Context& c, const std::vector<std::string>& rest) {
    if (rest.size() != 2)
        return UsageError("env set needs MOTOR POSITION");
    long long motor = 0;
    if (!ParseInt(rest[0], motor) || motor < INT32_MIN || motor > INT32_MAX)
        return UsageError("MOTOR must be a whole number");
    char* end = nullptr;
    const double position = std::strtod(rest[1].c_str(), &end);
    if (rest[1].empty() || *end != '\0' || !(position >= 0.0 && position <= 1.0))
        return UsageError("POSITION must be a number from 0 to 1");
    TempFolder scratch;
    if (!scratch.Ok())
        return Failed("cannot create a temporary folder");
    EnvironmentSession s(c.connection, {scratch.File("env.cenv"), scratch.File("cycbg.jpg")});
    if (int rc = s.Open(); rc != kExitDone)
        return rc;
    if (int rc = PullEnvironment(s); rc != kExitDone)
        return rc;
    const int32_t i = s.env.findTracker(static_cast<int32_t>(motor));
    if (i < 0)
        return Failed("the environment project has no tracker for motor " + rest[0]);
    const int32_t raw =
        RawOfPosition(s.env.trackers[static_cast<std::size_t>(i)], static_cast<float>(position));
    s.transfer->setMotor(static_cast<int32_t>(motor), raw);
    if (int rc = PollMotors(s); rc != kExitDone)
        return rc;
    Progress("motor " + rest[0] + " set to " + std::to_string(raw));
    std::printf("%s\n", MotorsJson(s.env).c_str());
    return kExitDone;
}

// ------------------------------------------------------------- dispatching

enum : unsigned { kTakesFragment = 1, kTakesBackground = 2, kTakesEnv = 4 };

struct Subcommand {
    const char* name;
    std::function<int(const Context&, const std::vector<std::string>&)> run;
    unsigned options = 0;
};

template <typename Offline>
std::function<int(const Context&, const std::vector<std::string>&)> Plain(Offline run) {
    return [run](const Context&, const std::vector<std::string>& rest) { return run(rest); };
}

// Runs the subcommand named by the first positional argument.
int RunSubcommand(const char* group, Args& args, const std::vector<Subcommand>& table) {
    Context c;
    std::string error;
    if (!TakeConnectionOptions(args, c.connection, error))
        return UsageError(error);
    c.from = args.Option("--from");
    c.to = args.Option("--to");
    c.background = args.Option("--background");
    c.env = args.Option("--env");
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    const auto& rest = args.Rest();
    if (rest.empty()) {
        return UsageError(std::string(group) + " needs a subcommand");
    }
    for (const auto& sub : table) {
        if (rest[0] != sub.name)
            continue;
        const std::string what = std::string(group) + " " + sub.name;
        if ((c.from || c.to) && !(sub.options & kTakesFragment))
            return UsageError(what + " takes no --from or --to");
        if (c.background && !(sub.options & kTakesBackground))
            return UsageError(what + " takes no --background");
        if (c.env && !(sub.options & kTakesEnv))
            return UsageError(what + " takes no --env");
        return sub.run(c, std::vector<std::string>(rest.begin() + 1, rest.end()));
    }
    return UsageError(std::string("unknown ") + group + " subcommand " + rest[0]);
}

int Cyclogram(Args& args) {
    static const std::vector<Subcommand> table = {
        {"dump", Plain(CyclogramDump)},
        {"value", Plain(CyclogramValue)},
        {"ls", CyclogramList},
        {"pull", CyclogramPull},
        {"push", CyclogramPush},
        {"rm", CyclogramRemove},
        {"mv", CyclogramRename},
        {"run", CyclogramRun, kTakesFragment},
        {"pose", CyclogramPose, kTakesEnv},
    };
    return RunSubcommand("cyclogram", args, table);
}

int Wave(Args& args) {
    static const std::vector<Subcommand> table = {
        {"ls", WaveList},
        {"push", WavePush},
        {"rm", WaveRemove},
    };
    return RunSubcommand("wave", args, table);
}

int Env(Args& args) {
    static const std::vector<Subcommand> table = {
        {"dump", Plain(EnvDump)},
        {"pull", EnvPull, kTakesBackground},
        {"push", EnvPush, kTakesBackground},
        {"motors", EnvMotors},
        {"set", EnvSet},
    };
    return RunSubcommand("env", args, table);
}

}  // namespace

void RegisterCyclogramCommands(Registry& registry) {
    registry.Add({"cyclogram",
                  std::string("cyclogram ls | pull NAME OUT.cyg | push NAME IN.cyg | rm NAME | "
                              "mv OLD NEW | run NAME [--from MS --to MS] | pose FILE MS "
                              "[--env FILE.cenv] ") +
                      kConnectionSynopsis + " | dump FILE | value FILE MOTOR MS...",
                  "the robot's cyclograms, the pose of a .cyg file at a time; offline: print a "
                  ".cyg file as JSON or a motor track's values at given times",
                  Cyclogram});
    registry.Add({"wave", std::string("wave ls | push FILE.wav | rm NAME ") + kConnectionSynopsis,
                  "the robot's wave files", Wave});
    registry.Add({"env",
                  std::string("env pull OUT.cenv [--background FILE.jpg] | push IN.cenv "
                              "[--background FILE.jpg] | motors | set MOTOR POSITION ") +
                      kConnectionSynopsis + " | dump FILE",
                  "the robot's environment project and motor values; offline: print a .cenv "
                  "file as JSON",
                  Env});
}

}  // namespace velcora::ctl
