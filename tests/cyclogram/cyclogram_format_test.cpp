#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "cyclogram/cyclogram_format.h"
#include "support/temp_folder.h"

namespace velcora {
namespace {

std::string Bytes(const CCyclogram& doc, WriteScope scope) {
    CMemoryStream s;
    EXPECT_TRUE(writeCyclogram(doc, s, scope));
    return std::string(s.View());
}

CyclogramKey Key(int32_t time, float value) {
    CyclogramKey k;
    k.time = time;
    k.value = value;
    return k;
}

using TempDir = test::TempFolder;

void WriteFile(const std::string& path, const std::string& bytes) {
    CMemoryStream s;
    s.Assign(bytes);
    ASSERT_TRUE(s.SaveToFile(path));
}

TEST(CyclogramRecord, SizesOfTheParts) {
    CCyclogram doc;
    EXPECT_EQ(Bytes(doc, WriteScope::Full), std::string("Cygm\0\0\0\0\0\0", 10));

    CCyclogramTrack track;
    for (int n = 0; n < 3; ++n) {
        CMemoryStream s;
        ASSERT_TRUE(writeTrack(track, s, WriteScope::Full, 0));
        EXPECT_EQ(s.Size(), 12 + 26 * n);
        track.appendKey(Key(n * 100, 0.5f));
    }

    CCyclogramAudioTrack audio;
    audio.appendBlock({0, 500, 0, std::nullopt});
    audio.appendBlock({600, 500, 0, std::string("abc")});
    CMemoryStream s;
    ASSERT_TRUE(writeAudioTrack(audio, s, WriteScope::Full, 0));
    EXPECT_EQ(s.Size(), 8 + 9 + 12);
}

TEST(CyclogramRecord, RoundTripKeepsEveryField) {
    CCyclogram doc;
    doc.loop = 1;
    const int32_t t = doc.addTrack();
    doc.track(t).motor = -3;
    doc.track(t).disabled = 1;
    CyclogramKey k{1, 250, 0.75f, 7, -0.5f, 120, 2, 0.125f, 40};
    doc.track(t).appendKey(k);
    doc.track(doc.addTrack()).locked = 1;
    doc.audio = std::make_unique<CCyclogramAudioTrack>();
    doc.audio->locked = 1;
    doc.audio->appendBlock({100, 900, 1, std::string("\xcf\xf0\xe8\xe2\xe5\xf2")});
    doc.audio->appendBlock({1000, 50, 0, std::nullopt});

    const std::string bytes = Bytes(doc, WriteScope::Full);
    CMemoryStream s;
    s.Assign(bytes);
    CCyclogram back;
    back.addTrack();
    ASSERT_TRUE(readCyclogram(s, back));
    EXPECT_EQ(back.loop, 1);
    ASSERT_EQ(back.trackCount(), 2);
    const CyclogramKey& r = back.track(0).key(0);
    EXPECT_EQ(r.selected, 0);
    EXPECT_EQ(r.time, 250);
    EXPECT_EQ(r.value, 0.75f);
    EXPECT_EQ(r.inMode, 7);
    EXPECT_EQ(r.inDelta, -0.5f);
    EXPECT_EQ(r.inLength, 120);
    EXPECT_EQ(r.outMode, 2);
    EXPECT_EQ(r.outDelta, 0.125f);
    EXPECT_EQ(r.outLength, 40);
    EXPECT_EQ(back.track(0).motor, -3);
    EXPECT_EQ(back.track(0).disabled, 1);
    EXPECT_EQ(back.track(1).locked, 1);
    ASSERT_TRUE(back.audio);
    EXPECT_EQ(back.audio->locked, 1);
    EXPECT_EQ(*back.audio->block(0).text, "\xcf\xf0\xe8\xe2\xe5\xf2");
    EXPECT_EQ(back.audio->block(0).selected, 0);
    EXPECT_FALSE(back.audio->block(1).text);
    EXPECT_EQ(Bytes(back, WriteScope::Full), bytes);
    // The handle length precedes the handle offset on both sides.
    EXPECT_EQ(bytes.substr(5 + 4 + 12, 26), std::string("\xfa\x00\x00\x00"
                                                        "\x00\x00\x40\x3f"
                                                        "\x07"
                                                        "\x78\x00\x00\x00"
                                                        "\x00\x00\x00\xbf"
                                                        "\x02"
                                                        "\x28\x00\x00\x00"
                                                        "\x00\x00\x00\x3e",
                                                        26));
}

TEST(CyclogramRecord, FragmentStartsAtZero) {
    CCyclogram doc;
    const int32_t a = doc.addTrack();
    for (int32_t time : {1000, 2000, 2600, 3000}) {
        doc.track(a).appendKey(Key(time, 0));
    }
    doc.track(a).key(1).selected = 1;
    doc.track(a).key(2).selected = 1;
    const int32_t locked = doc.addTrack();  // locked tracks are never copied
    doc.track(locked).locked = 1;
    doc.track(locked).appendKey(Key(500, 0));
    doc.track(locked).key(0).selected = 1;
    doc.track(doc.addTrack()).appendKey(Key(0, 0));  // nothing selected: left out

    CMemoryStream s;
    s.Assign(Bytes(doc, WriteScope::SelectedOnly));
    CCyclogram clip;
    ASSERT_TRUE(readCyclogram(s, clip));
    ASSERT_EQ(clip.trackCount(), 1);
    ASSERT_EQ(clip.track(0).count(), 2);
    EXPECT_EQ(clip.track(0).key(0).time, 0);
    EXPECT_EQ(clip.track(0).key(1).time, 600);
    EXPECT_FALSE(clip.audio);

    // A selected block earlier than every key sets the base.
    doc.audio = std::make_unique<CCyclogramAudioTrack>();
    doc.audio->appendBlock({1500, 100, 1, std::string("a")});
    s.Assign(Bytes(doc, WriteScope::SelectedOnly));
    CCyclogram clip2;
    ASSERT_TRUE(readCyclogram(s, clip2));
    EXPECT_EQ(clip2.track(0).key(0).time, 500);
    ASSERT_TRUE(clip2.audio);
    EXPECT_EQ(clip2.audio->block(0).start, 0);

    // Nothing selected: no tracks, no sound, base 0.
    doc.selectAll(false);
    EXPECT_EQ(Bytes(doc, WriteScope::SelectedOnly), std::string("Cygm\0\0\0\0\0\0", 10));
}

std::string TrackCountRecord(int32_t count) {
    CMemoryStream s;
    s.Write("Cygm", 4);
    WriteU8(s, 0);
    WriteI32(s, count);
    for (int32_t i = 0; i < std::min(count, 20000); ++i) {
        s.Write("CT", 2);
        WriteI32(s, i);
        WriteU8(s, 0);
        WriteU8(s, 0);
        WriteI32(s, 0);
    }
    WriteU8(s, 0);
    return std::string(s.View());
}

TEST(CyclogramRecord, ReadingChecks) {
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
        int32_t tracks;
    };
    std::string badAudio = TrackCountRecord(2);
    badAudio.back() = 1;
    badAudio += "AX";
    std::string tooManyKeys("Cygm\0\x01\0\0\0CT\0\0\0\0\0\0\x21\x4e\0\0", 20);
    const Case cases[] = {
        {"wrong magic", std::string("Cygn\0\0\0\0\0\0", 10), false, 0},
        {"negative count", std::string("Cygm\0\xff\xff\xff\xff\0", 10), false, 0},
        {"20000 tracks", TrackCountRecord(20000), true, 20000},
        {"20001 tracks", TrackCountRecord(20001), false, 0},
        {"sound magic after good tracks", badAudio, false, 2},
        {"20001 keys", tooManyKeys, false, 1},
        {"truncated", std::string("Cygm\0\x01\0\0\0", 9), false, 1},
    };
    for (const Case& c : cases) {
        CMemoryStream s;
        s.Assign(c.bytes);
        CCyclogram doc;
        EXPECT_EQ(readCyclogram(s, doc), c.ok) << c.name;
        EXPECT_EQ(doc.trackCount(), c.tracks) << c.name;
    }
}

TEST(EnvironmentRecord, RoundTripAndChecks) {
    CCyclogramEnv env;
    env.addTracker({3, 1, 100, 300, 250, 0.1f, -7, 12, 1});
    env.backgroundSize = 123456;
    env.backgroundChecksum = 0xA5;
    CMemoryStream s;
    ASSERT_TRUE(writeEnvironment(env, s));
    EXPECT_EQ(s.Size(), 4 + 4 + 28 + 5);
    s.Seek(0, kSeekSet);
    CCyclogramEnv back;
    ASSERT_TRUE(readEnvironment(s, back));
    ASSERT_EQ(back.count(), 1);
    const EnvTracker& t = back.trackers[0];
    EXPECT_EQ(t.motor, 3);
    EXPECT_EQ(t.kind, 1);
    EXPECT_EQ(t.x, -7);
    EXPECT_EQ(t.y, 12);
    EXPECT_EQ(t.position, 0.75f);  // from defaultRaw, not stored
    EXPECT_EQ(t.noValue, 0);
    EXPECT_EQ(back.backgroundSize, 123456u);
    EXPECT_EQ(back.backgroundChecksum, 0xA5);

    for (int32_t count : {1000, 1001, -1}) {
        CMemoryStream r;
        r.Write("CyEv", 4);
        WriteI32(r, count);
        r.Seek(0, kSeekSet);
        CCyclogramEnv e;
        EXPECT_EQ(readEnvironment(r, e), count == 1000) << count;
    }
    CMemoryStream wrong;
    wrong.Assign(std::string("CyEw\0\0\0\0", 8));
    EXPECT_FALSE(readEnvironment(wrong, back));
}

TEST(Files, BackgroundChecksumAndFiles) {
    TempDir dir;
    const std::string jpg = dir.File("cycbg.jpg");
    EXPECT_EQ(computeBackgroundChecksum(jpg), (BackgroundIdentity{0, 0}));
    WriteFile(jpg, std::string("\x01\x02\x04\xf0", 4));
    EXPECT_EQ(computeBackgroundChecksum(jpg), (BackgroundIdentity{0xF7, 4}));

    CCyclogram doc;
    doc.track(doc.addTrack()).appendKey(Key(5, 0.25f));
    const std::string cyg = dir.File("a.cyg");
    ASSERT_TRUE(saveCyclogramFile(cyg, doc));
    CCyclogram back;
    ASSERT_TRUE(loadCyclogramFile(cyg, back));
    EXPECT_EQ(back.track(0).key(0).value, 0.25f);
    EXPECT_FALSE(loadCyclogramFile(dir.File("missing.cyg"), back));
    EXPECT_FALSE(saveCyclogramFile(dir.File("no/such/dir.cyg"), doc));

    CCyclogramEnv env;
    env.addTracker({});
    ASSERT_TRUE(saveEnvironmentFile(dir.File("env.cenv"), env));
    CCyclogramEnv envBack;
    ASSERT_TRUE(loadEnvironmentFile(dir.File("env.cenv"), envBack));
    EXPECT_EQ(envBack.count(), 1);
}

std::string Unpack(const CMemoryStream& packed, std::size_t size) {
    std::string out(size, '\0');
    uLongf outSize = size;
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &outSize, packed.Data(),
                         static_cast<uLong>(packed.Size())),
              Z_OK);
    out.resize(outSize);
    return out;
}

TEST(Files, PackedWaveFilesUnpackToTheOriginal) {
    TempDir dir;
    std::mt19937 random(7);
    for (std::size_t size : {std::size_t{0}, std::size_t{16384}, std::size_t{100000}}) {
        std::string bytes(size, '\0');
        for (auto& c : bytes) {
            c = static_cast<char>(random() % 7);  // compressible, several pieces
        }
        const std::string path = dir.File("w" + std::to_string(size) + ".wav");
        WriteFile(path, bytes);
        CMemoryStream packed;
        packed.Assign("old contents");
        ASSERT_TRUE(packWaveFile(path, packed)) << size;
        EXPECT_EQ(static_cast<uint8_t>(packed.Data()[0]), 0x78);  // a zlib header
        EXPECT_EQ(Unpack(packed, size + 16), bytes) << size;
    }
    CMemoryStream packed;
    EXPECT_FALSE(packWaveFile(dir.File("missing.wav"), packed));
    EXPECT_EQ(packed.Size(), 0);
}

TEST(Files, UnpackingRefusesDamagedOrOversizedStreams) {
    TempDir dir;
    std::mt19937 random(11);
    std::string bytes(100000, '\0');
    for (auto& c : bytes) {
        c = static_cast<char>(random() % 7);
    }
    WriteFile(dir.File("w.wav"), bytes);
    CMemoryStream packed;
    ASSERT_TRUE(packWaveFile(dir.File("w.wav"), packed));
    const std::string stream(packed.View());
    ASSERT_GT(stream.size(), 16384u);  // read in several pieces
    std::string out = "old";
    ASSERT_TRUE(unpackWaveFile(stream, out, bytes.size()));
    EXPECT_EQ(out, bytes);
    // Each of these must fail and leave nothing behind.
    const std::pair<std::string, std::size_t> bad[] = {
        {stream + "x", bytes.size()},                         // bytes after the stream
        {stream.substr(0, stream.size() - 1), bytes.size()},  // the stream cut short
        {stream, bytes.size() - 1},                           // larger than allowed
        {"not a zlib stream", bytes.size()},
        {"", bytes.size()},
    };
    for (const auto& [input, limit] : bad) {
        out = "old";
        EXPECT_FALSE(unpackWaveFile(input, out, limit)) << input.size() << " " << limit;
        EXPECT_TRUE(out.empty());
    }
}

}  // namespace
}  // namespace velcora
