// The robot's side of cyclograms: it keeps the cyclograms (".cyg" files),
// the wave files the sound blocks name, one environment project with its
// background picture, and the raw values of its motors; it plays a cyclogram
// by moving the motors along the curves.
//
// Folder layout under robot.Root()/cyclogram/: NAME.cyg, waves/NAME,
// env.cenv, cycbg.jpg. File names on disk are the UTF-8 form of the ANSI
// names on the wire.
#include "sim/sim_cyclogram.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "cyclogram/cyclogram_transfer.h"
#include "link/stream.h"
#include "link/text_codec.h"
#include "sim/sim_features.h"

namespace velcora::sim {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFeatureFolder = "cyclogram";
constexpr const char* kWaveFolder = "waves/";
constexpr const char* kEnvironmentFile = "env.cenv";
constexpr const char* kBackgroundFile = "cycbg.jpg";
constexpr const char* kIncoming = ".incoming";
constexpr std::size_t kMaxNameBytes = 255;
// Unpacked wave files larger than this are refused.
constexpr std::size_t kMaxWaveBytes = 64u << 20;
constexpr int32_t kMaxPacked = CSimRobot::kMaxFrameLength;
constexpr int32_t kDefaultRaw = 32768;

std::string DiskName(const std::string& ansi, const char* extension) {
    return AnsiToUtf8(ansi) + extension;
}

bool FitsOnDisk(const std::string& ansi, const char* extension) {
    return DiskName(ansi, extension).size() <= kMaxNameBytes;
}

// ----------------------------------------------------------------- storage

bool ReadStored(const SimCyclogram& s, const std::string& rel, std::string& out) {
    if (s.folder.empty()) {
        auto it = s.memory.find(rel);
        if (it == s.memory.end())
            return false;
        out = it->second;
        return true;
    }
    CMemoryStream m;
    if (!m.LoadFromFile(s.folder + "/" + rel))
        return false;
    out.assign(m.View());
    return true;
}

bool ExistsStored(const SimCyclogram& s, const std::string& rel) {
    if (s.folder.empty())
        return s.memory.count(rel) != 0;
    std::error_code ec;
    return fs::is_regular_file(s.folder + "/" + rel, ec);
}

// Writes through a temporary file so that a failed write leaves the old file.
bool WriteStored(SimCyclogram& s, const std::string& rel, std::string_view bytes) {
    if (s.folder.empty()) {
        s.memory[rel] = std::string(bytes);
        return true;
    }
    const std::string temporary = s.folder + "/" + kIncoming;
    CMemoryStream m;
    WriteBytes(m, bytes);
    if (!m.SaveToFile(temporary))
        return false;
    std::error_code ec;
    fs::rename(temporary, s.folder + "/" + rel, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

bool RemoveStored(SimCyclogram& s, const std::string& rel) {
    if (s.folder.empty())
        return s.memory.erase(rel) != 0;
    std::error_code ec;
    return fs::remove(s.folder + "/" + rel, ec);
}

bool RenameStored(SimCyclogram& s, const std::string& from, const std::string& to) {
    if (s.folder.empty()) {
        auto it = s.memory.find(from);
        if (it == s.memory.end())
            return false;
        std::string bytes = std::move(it->second);
        s.memory.erase(it);
        s.memory[to] = std::move(bytes);
        return true;
    }
    std::error_code ec;
    fs::rename(s.folder + "/" + from, s.folder + "/" + to, ec);
    return !ec;
}

// ANSI names of the stored files in `prefix` ("" or "waves/") ending in
// `extension`, without it, in byte order.
std::vector<std::string> ListStored(const SimCyclogram& s, const std::string& prefix,
                                    const std::string& extension) {
    std::vector<std::string> utf8;
    if (s.folder.empty()) {
        for (const auto& [rel, bytes] : s.memory) {
            if (rel.compare(0, prefix.size(), prefix) != 0)
                continue;
            const std::string name = rel.substr(prefix.size());
            if (name.find('/') == std::string::npos)
                utf8.push_back(name);
        }
    } else {
        std::error_code ec;
        for (fs::directory_iterator it(s.folder + "/" + prefix, ec), end; !ec && it != end;
             it.increment(ec)) {
            if (it->is_regular_file(ec))
                utf8.push_back(it->path().filename().string());
        }
    }
    std::vector<std::string> names;
    for (const auto& file : utf8) {
        if (file.size() <= extension.size() ||
            file.compare(file.size() - extension.size(), extension.size(), extension) != 0)
            continue;
        std::string ansi = Utf8ToAnsi(file.substr(0, file.size() - extension.size()));
        if (SafeRobotName(ansi))
            names.push_back(std::move(ansi));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string CyclogramFile(const std::string& ansi) {
    return DiskName(ansi, kCyclogramFileExtension);
}

std::string WaveFile(const std::string& ansi) {
    return kWaveFolder + DiskName(ansi, "");
}

// ------------------------------------------------------------------ demo content

CyclogramKey Key(int32_t time, float value) {
    CyclogramKey k;
    k.time = time;
    k.value = value;
    return k;
}

void AddTrack(CCyclogram& doc, int32_t motor, std::initializer_list<CyclogramKey> keys) {
    CCyclogramTrack& t = doc.track(doc.addTrack());
    t.motor = motor;
    for (const auto& k : keys)
        t.appendKey(k);
}

std::string Record(const CCyclogram& doc) {
    CMemoryStream m;
    writeCyclogram(doc, m, WriteScope::Full);
    return std::string(m.View());
}

std::string GreetingRecord() {
    CCyclogram doc;
    AddTrack(doc, 1, {Key(0, 0.5f), Key(1500, 0.5f)});
    AddTrack(doc, 2, {Key(0, 0.5f), Key(600, 0.8f), Key(1200, 0.5f)});
    CyclogramKey up = Key(400, 0.9f);
    up.inMode = kInterpolationLinear;
    CyclogramKey hold = Key(1400, 0.9f);
    hold.inMode = kInterpolationStep;
    hold.outMode = kInterpolationStep;
    AddTrack(doc, 4, {Key(0, 0.1f), up, Key(900, 0.6f), hold, Key(2500, 0.1f)});
    doc.audio = std::make_unique<CCyclogramAudioTrack>();
    AudioBlock speech;
    speech.start = 200;
    speech.text = Utf8ToAnsi("Здравствуйте!");
    speech.length = SpeechLengthMs(static_cast<int32_t>(Utf8ToWide("Здравствуйте!").size()));
    doc.audio->appendBlock(speech);
    AudioBlock tone;
    tone.start = 2000;
    tone.length = 500;
    tone.text = "tone.wav";
    doc.audio->appendBlock(tone);
    return Record(doc);
}

std::string LookAroundRecord() {
    CCyclogram doc;
    doc.loop = 1;
    AddTrack(doc, 1, {Key(0, 0.5f), Key(1000, 0.1f), Key(3000, 0.9f), Key(4000, 0.5f)});
    AddTrack(doc, 5, {Key(0, 0.5f), Key(2000, 0.6f), Key(4000, 0.5f)});
    return Record(doc);
}

std::string DemoEnvironment(BackgroundIdentity picture) {
    CCyclogramEnv env;
    struct Demo {
        int32_t motor, kind, left, right, def, x, y;
    };
    // Head turn and nod, both shoulders, the waist, and the gripper (reversed range).
    const Demo demo[] = {{1, 0, 0, 1023, 512, 0, -120},   {2, 1, 200, 800, 500, 40, -120},
                         {3, 1, 0, 4095, 2048, -90, -40}, {4, 1, 0, 4095, 2048, 90, -40},
                         {5, 0, 1000, 3000, 2000, 0, 40}, {6, 0, 900, 100, 500, 0, 110}};
    for (const Demo& d : demo) {
        EnvTracker t;
        t.motor = d.motor;
        t.kind = d.kind;
        t.leftRaw = d.left;
        t.rightRaw = d.right;
        t.defaultRaw = d.def;
        t.x = d.x;
        t.y = d.y;
        t.position = PositionOfRaw(t, d.def);
        env.addTracker(t);
    }
    env.backgroundSize = picture.size;
    env.backgroundChecksum = picture.checksum;
    CMemoryStream m;
    writeEnvironment(env, m);
    return std::string(m.View());
}

void Seed(SimCyclogram& s) {
    const std::string picture = DemoBackgroundJpeg();
    WriteStored(s, CyclogramFile(Utf8ToAnsi("Приветствие")), GreetingRecord());
    WriteStored(s, CyclogramFile(Utf8ToAnsi("Осмотр")), LookAroundRecord());
    WriteStored(s, kBackgroundFile, picture);
    WriteStored(s, kEnvironmentFile, DemoEnvironment(backgroundIdentityOf(picture)));
    WriteStored(s, WaveFile("tone.wav"), ToneWave(500, 440));
}

SimCyclogram& State(CSimRobot& robot) {
    SimCyclogram& s = robot.Feature<SimCyclogram>();
    if (s.ready)
        return s;
    s.ready = true;
    if (robot.Root().empty()) {
        Seed(s);
        return s;
    }
    s.folder = robot.Root() + "/" + kFeatureFolder;
    std::error_code ec;
    const bool fresh = !fs::exists(s.folder, ec);
    fs::create_directories(s.folder + "/" + kWaveFolder, ec);
    if (fresh)
        Seed(s);
    return s;
}

CCyclogramEnv LoadEnvironment(const SimCyclogram& s) {
    CCyclogramEnv env;
    std::string bytes;
    if (ReadStored(s, kEnvironmentFile, bytes)) {
        CMemoryStream m;
        WriteBytes(m, bytes);
        m.Seek(0, kSeekSet);
        CCyclogramEnv read;
        if (readEnvironment(m, read))
            env = std::move(read);
    }
    return env;
}

BackgroundIdentity StoredBackground(const SimCyclogram& s) {
    std::string bytes;
    if (!ReadStored(s, kBackgroundFile, bytes))
        return {};
    return backgroundIdentityOf(bytes);
}

int32_t RawNow(const SimCyclogram& s, const CCyclogramEnv& env, int32_t motor) {
    if (auto it = s.motors.find(motor); it != s.motors.end())
        return it->second;
    const int32_t t = env.findTracker(motor);
    return t < 0 ? kDefaultRaw : env.trackers[static_cast<std::size_t>(t)].defaultRaw;
}

// A record is taken only when writing it back gives the very same bytes: that
// rejects wrong magics and counts as well as truncated or padded records.
template <typename Doc, typename Read, typename Write>
bool ReadExact(const std::string& bytes, Doc& doc, Read read, Write write) {
    CMemoryStream in;
    WriteBytes(in, bytes);
    in.Seek(0, kSeekSet);
    if (!read(in, doc))
        return false;
    CMemoryStream out;
    return write(doc, out) && out.View() == bytes;
}

// ------------------------------------------------------------------ handlers

void SendNames(CSimRobot& robot, SimCyclogram& s) {
    CStream& out = robot.BeginFrame(msg::kCyclogramList);
    const auto names = ListStored(s, "", kCyclogramFileExtension);
    for (const auto& n : names)
        WriteString(out, std::string_view(n));
    robot.EndFrame();
    robot.Log("cyclogram list: %zu names", names.size());
}

void OnLoad(CSimRobot& robot, SimCyclogram& s, CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    const std::string name = ReadString(p).value_or("");
    std::string bytes;
    if (!SafeRobotName(name) || !ReadStored(s, CyclogramFile(name), bytes)) {
        // An empty record is unreadable: the console reports the failure at once.
        robot.Send(msg::kCyclogram, {});
        robot.Log("load cyclogram \"%s\": not found", AnsiToUtf8(name).c_str());
        return;
    }
    robot.Send(msg::kCyclogram, bytes);
    robot.Log("load cyclogram \"%s\": %zu bytes", AnsiToUtf8(name).c_str(), bytes.size());
}

void OnUpload(CSimRobot& robot, SimCyclogram& s, CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    const std::string name = ReadString(p).value_or("");
    const std::string record = ReadBytes(p, p.Size() - p.Position());
    CCyclogram doc;
    const bool ok = SafeRobotName(name) && FitsOnDisk(name, kCyclogramFileExtension) &&
                    ReadExact(record, doc, readCyclogram,
                              [](const CCyclogram& d, CStream& out) {
                                  return writeCyclogram(d, out, WriteScope::Full);
                              }) &&
                    WriteStored(s, CyclogramFile(name), record);
    robot.Send(msg::kCyclogramUploadResult, std::string(1, ok ? '\0' : '\1'));
    robot.Log("upload cyclogram \"%s\" (%zu bytes): %s", AnsiToUtf8(name).c_str(), record.size(),
              ok ? "stored" : "refused");
}

void OnDelete(CSimRobot& robot, SimCyclogram& s, CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    const std::string name = ReadString(p).value_or("");
    const bool ok = SafeRobotName(name) && RemoveStored(s, CyclogramFile(name));
    robot.Log("delete cyclogram \"%s\": %s", AnsiToUtf8(name).c_str(), ok ? "done" : "not found");
}

void OnRename(CSimRobot& robot, SimCyclogram& s, CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    const std::string from = ReadString(p).value_or("");
    const std::string to = ReadString(p).value_or("");
    // Never over an existing cyclogram: that one would be lost.
    const bool ok = SafeRobotName(from) && SafeRobotName(to) &&
                    FitsOnDisk(to, kCyclogramFileExtension) &&
                    ExistsStored(s, CyclogramFile(from)) && !ExistsStored(s, CyclogramFile(to)) &&
                    RenameStored(s, CyclogramFile(from), CyclogramFile(to));
    robot.Log("rename cyclogram \"%s\" to \"%s\": %s", AnsiToUtf8(from).c_str(),
              AnsiToUtf8(to).c_str(), ok ? "done" : "refused");
}

void OnRun(CSimRobot& robot, SimCyclogram& s, CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    const std::string name = ReadString(p).value_or("");
    const int32_t start = ReadI32(p);
    const int32_t end = ReadI32(p);
    s.runs.push_back({name, start, end});
    robot.Log("run cyclogram \"%s\", fragment %d..%d", AnsiToUtf8(name).c_str(), start, end);
    std::string bytes;
    auto doc = std::make_unique<CCyclogram>();
    if (!SafeRobotName(name) || !ReadStored(s, CyclogramFile(name), bytes)) {
        robot.Log("run: no cyclogram \"%s\"", AnsiToUtf8(name).c_str());
        return;
    }
    CMemoryStream m;
    WriteBytes(m, bytes);
    m.Seek(0, kSeekSet);
    if (!readCyclogram(m, *doc)) {
        robot.Log("run: \"%s\" is damaged", AnsiToUtf8(name).c_str());
        return;
    }
    int32_t from = 0;
    int32_t to = doc->endTime();
    if (start != 0 || end != 0) {
        if (start < 0 || end <= start) {
            robot.Log("run: fragment %d..%d refused", start, end);
            return;
        }
        from = start;
        to = end;
    }
    s.playback.doc = std::move(doc);
    s.playback.env = LoadEnvironment(s);
    s.playback.name = name;
    s.playback.from = from;
    s.playback.to = to;
    s.playback.t = from;
    // The pose at the fragment's start is taken at once.
    AdvancePlayback(s, 0, [&robot](const std::string& text) {
        robot.Log("play: %s", AnsiToUtf8(text).c_str());
    });
}

void OnPoll(CSimRobot& robot, SimCyclogram& s, CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    const int32_t asked = ReadU16(p);
    const int32_t n = std::min(asked, (p.Size() - p.Position()) / 4);
    const CCyclogramEnv env = LoadEnvironment(s);
    const int32_t noValue = robot.Options().noValueMotor;
    CStream& out = robot.BeginFrame(msg::kMotorValues);
    WriteU16(out, static_cast<uint16_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        const int32_t motor = ReadI32(p);
        WriteI32(out, motor);
        WriteI32(out, motor == noValue ? -1 : RawNow(s, env, motor));
    }
    robot.EndFrame();
}

void OnSetMotor(CSimRobot& robot, SimCyclogram& s, CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    if (p.Size() < 8)
        return;
    const int32_t motor = ReadI32(p);
    int32_t raw = ReadI32(p);
    const CCyclogramEnv env = LoadEnvironment(s);
    if (const int32_t t = env.findTracker(motor); t >= 0) {
        const EnvTracker& tr = env.trackers[static_cast<std::size_t>(t)];
        raw = std::clamp(raw, std::min(tr.leftRaw, tr.rightRaw), std::max(tr.leftRaw, tr.rightRaw));
    }
    s.motors[motor] = raw;
    robot.Log("motor %d set to %d", motor, raw);
}

void OnRequestEnvironment(CSimRobot& robot, SimCyclogram& s) {
    CCyclogramEnv env = LoadEnvironment(s);
    // The identity always describes the picture actually kept.
    const BackgroundIdentity picture = StoredBackground(s);
    env.backgroundSize = picture.size;
    env.backgroundChecksum = picture.checksum;
    CMemoryStream m;
    writeEnvironment(env, m);
    robot.Send(msg::kEnvironmentProject, m.View());
    robot.Log("environment: %d trackers, background %u bytes", env.count(), picture.size);
}

void OnRequestBackground(CSimRobot& robot, SimCyclogram& s) {
    std::string bytes;
    if (!ReadStored(s, kBackgroundFile, bytes) || bytes.empty()) {
        robot.Log("background requested: there is none");
        return;
    }
    robot.Send(msg::kBackgroundPicture, bytes);
    robot.Log("background sent: %zu bytes", bytes.size());
}

void OnUploadEnvironment(CSimRobot& robot, SimCyclogram& s, CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    const std::string record(p.View());
    CCyclogramEnv env;
    s.backgroundWanted = false;
    if (!ReadExact(record, env, readEnvironment, writeEnvironment) ||
        !WriteStored(s, kEnvironmentFile, record)) {
        robot.Send(msg::kEnvironmentUploadResult, std::string(1, '\1'));
        robot.Log("environment upload refused");
        return;
    }
    const BackgroundIdentity announced{env.backgroundChecksum, env.backgroundSize};
    if (announced.size == 0)
        RemoveStored(s, kBackgroundFile);
    const bool want = announced.size != 0 && !(announced == StoredBackground(s));
    s.backgroundWanted = want;
    s.backgroundExpected = announced;
    std::string reply(1, '\0');
    reply += want ? '\1' : '\0';
    robot.Send(msg::kEnvironmentUploadResult, reply);
    robot.Log("environment stored: %d trackers%s", env.count(), want ? ", background wanted" : "");
}

void OnBackgroundPicture(CSimRobot& robot, SimCyclogram& s, CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    // Only the picture the environment announced is taken.
    const bool ok = s.backgroundWanted && backgroundIdentityOf(p.View()) == s.backgroundExpected &&
                    WriteStored(s, kBackgroundFile, p.View());
    s.backgroundWanted = false;
    robot.Send(msg::kBackgroundUploadResult, std::string(1, ok ? '\0' : '\1'));
    robot.Log("background picture (%d bytes): %s", p.Size(), ok ? "stored" : "refused");
}

void SendWaveList(CSimRobot& robot, SimCyclogram& s) {
    CStream& out = robot.BeginFrame(msg::kWaveFileList);
    const auto names = ListStored(s, kWaveFolder, "");
    for (const auto& n : names) {
        std::string bytes;
        ReadStored(s, WaveFile(n), bytes);
        WriteString(out, std::string_view(n));
        WriteU32(out, WaveLengthMs(bytes));
    }
    robot.EndFrame();
    robot.Log("wave list: %zu files", names.size());
}

void ChunkReply(CSimRobot& robot, int32_t offset) {
    CMemoryStream m;
    WriteI32(m, offset);
    robot.Send(msg::kWaveChunkReply, m.View());
}

void OnBeginWave(CSimRobot& robot, SimCyclogram& s, CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    const std::string name = ReadString(p).value_or("");
    const uint32_t size = ReadU32(p);
    s.waveUploading = false;
    s.wavePacked.clear();
    if (!SafeRobotName(name) || !FitsOnDisk(name, "") || size == 0 ||
        size > static_cast<uint32_t>(kMaxPacked)) {
        ChunkReply(robot, -1);
        robot.Log("wave upload \"%s\" (%u bytes) refused", AnsiToUtf8(name).c_str(), size);
        return;
    }
    s.waveUploading = true;
    s.waveName = name;
    s.wavePackedSize = size;
    ChunkReply(robot, 0);
    robot.Log("wave upload \"%s\": %u packed bytes", AnsiToUtf8(name).c_str(), size);
}

void OnWaveChunk(CSimRobot& robot, SimCyclogram& s, CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    if (!s.waveUploading || p.Size() < 4) {
        ChunkReply(robot, -1);
        return;
    }
    const int32_t offset = ReadI32(p);
    const auto have = static_cast<int32_t>(s.wavePacked.size());
    const int32_t count = p.Size() - 4;
    if (offset != have) {
        ChunkReply(robot, have);  // a repeat or a gap: ask for what comes next
        return;
    }
    if (count <= 0 || static_cast<int64_t>(have) + count > s.wavePackedSize) {
        s.waveUploading = false;
        ChunkReply(robot, -1);
        robot.Log("wave upload: chunk at %d does not fit", offset);
        return;
    }
    s.wavePacked.append(p.View().substr(4));
    const auto now = static_cast<int32_t>(s.wavePacked.size());
    if (static_cast<uint32_t>(now) < s.wavePackedSize) {
        ChunkReply(robot, now);
        return;
    }
    s.waveUploading = false;
    std::string wave;
    const bool ok = unpackWaveFile(s.wavePacked, wave, kMaxWaveBytes) &&
                    WriteStored(s, WaveFile(s.waveName), wave);
    s.wavePacked.clear();
    ChunkReply(robot, ok ? now : -1);
    robot.Log("wave \"%s\": %s (%zu bytes, %u ms)", AnsiToUtf8(s.waveName).c_str(),
              ok ? "stored" : "damaged", wave.size(), WaveLengthMs(wave));
}

void OnDeleteWave(CSimRobot& robot, SimCyclogram& s, CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    const std::string name = ReadString(p).value_or("");
    const bool ok = SafeRobotName(name) && RemoveStored(s, WaveFile(name));
    robot.Log("delete wave \"%s\": %s", AnsiToUtf8(name).c_str(), ok ? "done" : "not found");
}

// --------------------------------------------------------------- demo picture

class BitWriter {
  public:
    explicit BitWriter(std::string& out) : out_(out) {}
    void Put(uint32_t bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            byte_ = static_cast<uint8_t>((byte_ << 1) | ((bits >> i) & 1u));
            if (++filled_ == 8)
                Emit();
        }
    }
    // Pads the last byte with one-bits.
    void Finish() {
        while (filled_ != 0)
            Put(1, 1);
    }

  private:
    void Emit() {
        out_ += static_cast<char>(byte_);
        if (byte_ == 0xFF)
            out_ += '\0';  // a data byte 0xFF is followed by 0 so it is no marker
        byte_ = 0;
        filled_ = 0;
    }
    std::string& out_;
    uint8_t byte_ = 0;
    int filled_ = 0;
};

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>((v >> 8) & 0xFF);
    out += static_cast<char>(v & 0xFF);
}

}  // namespace

bool SafeRobotName(std::string_view ansi) {
    if (ansi.empty() || ansi.size() > kMaxNameBytes || ansi == "." || ansi == "..")
        return false;
    for (const char ch : ansi) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\')
            return false;
    }
    return true;
}

uint32_t WaveLengthMs(std::string_view wav) {
    auto u32 = [&](std::size_t at) {
        return static_cast<uint32_t>(static_cast<unsigned char>(wav[at])) |
               static_cast<uint32_t>(static_cast<unsigned char>(wav[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<unsigned char>(wav[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<unsigned char>(wav[at + 3])) << 24;
    };
    if (wav.size() < 12 || wav.substr(0, 4) != "RIFF" || wav.substr(8, 4) != "WAVE")
        return 0;
    uint32_t byteRate = 0;
    uint64_t dataSize = 0;
    bool haveData = false;
    std::size_t at = 12;
    while (at + 8 <= wav.size()) {
        const std::string_view id = wav.substr(at, 4);
        const uint64_t size = u32(at + 4);
        const std::size_t body = at + 8;
        if (id == "fmt " && size >= 12 && body + 12 <= wav.size())
            byteRate = u32(body + 8);
        if (id == "data") {
            dataSize = std::min<uint64_t>(size, wav.size() - body);
            haveData = true;
            break;
        }
        const uint64_t next = body + size + (size & 1);  // chunks are padded to even sizes
        if (next > wav.size())
            break;
        at = static_cast<std::size_t>(next);
    }
    if (!haveData || byteRate == 0)
        return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(dataSize * 1000 / byteRate, UINT32_MAX));
}

std::string ToneWave(uint32_t ms, uint32_t hz) {
    constexpr uint32_t kRate = 8000;
    const uint32_t samples = static_cast<uint32_t>(static_cast<uint64_t>(ms) * kRate / 1000);
    CMemoryStream m;
    WriteBytes(m, "RIFF");
    WriteU32(m, 36 + samples);
    WriteBytes(m, "WAVEfmt ");
    WriteU32(m, 16);
    WriteU16(m, 1);  // PCM
    WriteU16(m, 1);  // mono
    WriteU32(m, kRate);
    WriteU32(m, kRate);  // bytes per second
    WriteU16(m, 1);      // bytes per sample
    WriteU16(m, 8);
    WriteBytes(m, "data");
    WriteU32(m, samples);
    for (uint32_t i = 0; i < samples; ++i) {
        const double phase = 2.0 * M_PI * hz * i / kRate;
        WriteU8(m, static_cast<uint8_t>(128 + std::lround(90.0 * std::sin(phase))));
    }
    return std::string(m.View());
}

std::string DemoBackgroundJpeg() {
    // Flat 8x8 blocks only: every block is its DC coefficient and an end of block.
    constexpr int kWidth = 160;
    constexpr int kHeight = 120;
    std::string out;
    out += "\xFF\xD8";  // start of image
    out += std::string("\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 18);
    out += "\xFF\xDB";  // quantisation table 0: all ones
    Put16(out, 67);
    out += '\0';
    out += std::string(64, '\1');
    out += "\xFF\xC0";  // baseline frame, one grey component
    Put16(out, 11);
    out += '\x08';
    Put16(out, kHeight);
    Put16(out, kWidth);
    out += std::string("\x01\x01\x11\x00", 4);
    // The usual DC table (categories 0..11) and an AC table holding only the end of block.
    out += "\xFF\xC4";
    Put16(out, 31);
    out += std::string("\x00\x00\x01\x05\x01\x01\x01\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00", 17);
    for (char v = 0; v < 12; ++v)
        out += v;
    out += "\xFF\xC4";
    Put16(out, 20);
    out += std::string("\x10\x01", 2);
    out += std::string(15, '\0');
    out += '\0';
    out += "\xFF\xDA";  // scan
    Put16(out, 8);
    out += std::string("\x01\x01\x00\x00\x3F\x00", 6);
    static const uint16_t kDcCode[12] = {0x0, 0x2,  0x3,  0x4,  0x5,  0x6,
                                         0xE, 0x1E, 0x3E, 0x7E, 0xFE, 0x1FE};
    static const int kDcLength[12] = {2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9};
    BitWriter bits(out);
    int previous = 0;
    for (int by = 0; by < kHeight / 8; ++by) {
        for (int bx = 0; bx < kWidth / 8; ++bx) {
            int grey;
            if (by < 8) {
                grey = 200 - by * 4 + (bx % 5 == 0 ? -12 : 0);  // a wall with panels
            } else {
                grey = ((bx + by) % 2 ? 110 : 140) - (by - 8) * 5;  // a tiled floor
            }
            const int dc = 8 * (grey - 128);
            const int diff = dc - previous;
            previous = dc;
            int category = 0;
            for (int a = diff < 0 ? -diff : diff; a; a >>= 1)
                ++category;
            bits.Put(kDcCode[category], kDcLength[category]);
            if (category) {
                const int value = diff < 0 ? diff + (1 << category) - 1 : diff;
                bits.Put(static_cast<uint32_t>(value), category);
            }
            bits.Put(0, 1);  // end of block
        }
    }
    bits.Finish();
    out += "\xFF\xD9";
    return out;
}

void AdvancePlayback(SimCyclogram& s, uint32_t elapsedMs,
                     const std::function<void(const std::string&)>& say) {
    SimPlayback& p = s.playback;
    if (!p.doc)
        return;
    const int64_t before = p.t;
    int64_t t = p.t + elapsedMs;
    bool finished = false;
    bool wrapped = false;
    const int64_t span = static_cast<int64_t>(p.to) - p.from;
    if (t > p.to) {
        if (p.doc->loop && span > 0) {
            t = p.from + (t - p.from) % span;
            wrapped = true;
        } else {
            t = p.to;
            finished = true;
        }
    }
    p.t = t;
    const auto at = static_cast<int32_t>(t);
    for (int32_t i = 0; i < p.doc->trackCount(); ++i) {
        const CCyclogramTrack& track = p.doc->track(i);
        if (track.disabled || track.count() == 0)
            continue;
        EnvTracker range;
        if (const int32_t k = p.env.findTracker(track.motor); k >= 0)
            range = p.env.trackers[static_cast<std::size_t>(k)];
        s.motors[track.motor] = RawOfPosition(range, track.valueAt(at));
    }
    if (p.doc->audio && !p.doc->audio->disabled && say) {
        // A start counts once it is passed; after a wrap both ends of the loop count.
        auto passed = [&](int64_t start) {
            if (elapsedMs == 0)
                return start == before;
            if (!wrapped)
                return start > before && start <= t;
            return start > before || (start >= p.from && start <= t);
        };
        for (const AudioBlock& b : p.doc->audio->blocks()) {
            if (b.text && b.start >= p.from && b.start <= p.to && passed(b.start))
                say(*b.text);
        }
    }
    if (finished)
        p.doc.reset();
}

SimCyclogram& RobotCyclograms(CSimRobot& robot) {
    return State(robot);
}

CCyclogramEnv RobotEnvironment(CSimRobot& robot) {
    return LoadEnvironment(State(robot));
}

void InstallCyclogram(CSimRobot& robot) {
    State(robot);
    using Handler = void (*)(CSimRobot&, SimCyclogram&, CStream&, int32_t);
    auto on = [&robot](msg::Type type, Handler handler) {
        robot.On(type,
                 [&robot, handler](CStream& p, int32_t n) { handler(robot, State(robot), p, n); });
    };
    on(msg::kListCyclograms,
       [](CSimRobot& r, SimCyclogram& s, CStream&, int32_t) { SendNames(r, s); });
    on(msg::kLoadCyclogram, OnLoad);
    on(msg::kUploadCyclogram, OnUpload);
    on(msg::kDeleteCyclogram, OnDelete);
    on(msg::kRenameCyclogram, OnRename);
    on(msg::kRunCyclogram, OnRun);
    on(msg::kPollMotorValues, OnPoll);
    on(msg::kSetMotor, OnSetMotor);
    on(msg::kRequestEnvironmentProject,
       [](CSimRobot& r, SimCyclogram& s, CStream&, int32_t) { OnRequestEnvironment(r, s); });
    on(msg::kRequestBackgroundPicture,
       [](CSimRobot& r, SimCyclogram& s, CStream&, int32_t) { OnRequestBackground(r, s); });
    on(msg::kUploadEnvironmentProject, OnUploadEnvironment);
    on(msg::kSendBackgroundPicture, OnBackgroundPicture);
    on(msg::kListWaveFiles,
       [](CSimRobot& r, SimCyclogram& s, CStream&, int32_t) { SendWaveList(r, s); });
    on(msg::kBeginWaveUpload, OnBeginWave);
    on(msg::kWaveChunk, OnWaveChunk);
    on(msg::kDeleteWaveFile, OnDeleteWave);
    robot.OnTick([&robot](uint32_t elapsedMs) {
        AdvancePlayback(State(robot), elapsedMs, [&robot](const std::string& text) {
            robot.Log("play: %s", AnsiToUtf8(text).c_str());
        });
    });
}

}  // namespace velcora::sim
