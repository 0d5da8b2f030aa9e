#include "link/stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace velcora {
namespace {

// An allocator that can be told to refuse, so out-of-memory paths run.
bool gRefuse = false;
void* RefusingRealloc(void* block, std::size_t bytes) {
    return gRefuse ? nullptr : std::realloc(block, bytes);
}

struct RefuseGuard {
    RefuseGuard() { gRefuse = true; }
    ~RefuseGuard() { gRefuse = false; }
};

TEST(MemoryStream, CapacityFollowsGranularity) {
    CMemoryStream s;
    EXPECT_EQ(s.GetSize(), 0);
    EXPECT_EQ(s.GetPosition(), 0);
    EXPECT_FALSE(s.HasBlock());

    EXPECT_EQ(WriteU8(s, 1), 1);
    EXPECT_EQ(s.Capacity(), 1024);
    const uint8_t* firstBlock = s.Data();
    std::string fill(1023, 'x');
    EXPECT_EQ(WriteText(s, fill), 1023);
    EXPECT_EQ(s.Size(), 1024);
    EXPECT_EQ(s.Capacity(), 1024);
    EXPECT_EQ(s.Data(), firstBlock);  // no reallocation up to the step

    EXPECT_EQ(WriteU8(s, 2), 1);
    EXPECT_EQ(s.Capacity(), 2048);
    EXPECT_EQ(s.Size(), 1025);
}

TEST(MemoryStream, SetSizeRulesAndShrink) {
    CMemoryStream s;
    ASSERT_TRUE(s.SetSize(3000));
    EXPECT_EQ(s.Capacity(), 3072);
    s.Seek(0, kSeekEnd);
    ASSERT_TRUE(s.SetSize(100));
    EXPECT_EQ(s.Capacity(), 1024);
    EXPECT_EQ(s.Position(), 100);  // pulled back to the new size
    ASSERT_TRUE(s.SetSize(-5));
    EXPECT_EQ(s.Size(), 0);
    EXPECT_FALSE(s.HasBlock());
}

TEST(MemoryStream, GranularityOtherThanDefault) {
    CMemoryStream s(16);
    WriteU32(s, 7);
    EXPECT_EQ(s.Capacity(), 16);
    WriteText(s, std::string(13, 'a'));
    EXPECT_EQ(s.Capacity(), 32);
}

TEST(MemoryStream, AllocationFailureLeavesStreamUnchanged) {
    CMemoryStream s(1024, &RefusingRealloc);
    WriteText(s, std::string(1024, 'a'));
    s.Seek(10, kSeekSet);
    const uint8_t* block = s.Data();
    {
        RefuseGuard refuse;
        EXPECT_EQ(WriteU8(s, 9), 1);  // inside the block: no allocation needed
        s.Seek(0, kSeekEnd);
        EXPECT_EQ(WriteU8(s, 9), 0);
        EXPECT_FALSE(s.SetSize(5000));
    }
    EXPECT_EQ(s.Size(), 1024);
    EXPECT_EQ(s.Position(), 1024);
    EXPECT_EQ(s.Data(), block);
    EXPECT_EQ(s.Data()[10], 9);
    EXPECT_EQ(s.Data()[11], 'a');
}

// Refuses blocks above a limit, so that growth beyond the exact size can be
// told apart from growth to it.
std::size_t gLargestBlock = 0;
void* LimitedRealloc(void* block, std::size_t bytes) {
    return bytes > gLargestBlock ? nullptr : std::realloc(block, bytes);
}

TEST(MemoryStream, GrowthByManySmallWritesKeepsTheCapacityRule) {
    CMemoryStream s(256);
    for (int i = 0; i < 5000; ++i) {
        ASSERT_EQ(WriteU32(s, static_cast<uint32_t>(i)), 4);
        ASSERT_EQ(s.Capacity(), (s.Size() + 255) / 256 * 256);
    }
    s.Seek(0, kSeekSet);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(ReadU32(s), static_cast<uint32_t>(i));
    ASSERT_TRUE(s.SetSize(10));
    EXPECT_EQ(s.Capacity(), 256);
    EXPECT_EQ(WriteU8(s, 1), 1);  // still writable after the trim
    EXPECT_EQ(s.Size(), 11);
}

TEST(MemoryStream, RefusedGenerousGrowthFallsBackToTheExactSize) {
    CMemoryStream s(1024, &LimitedRealloc);
    gLargestBlock = 1u << 20;
    ASSERT_EQ(WriteText(s, std::string(600 * 1024, 'a')), 600 * 1024);
    // Growing half as much again would need 900 KB; allow only what is needed.
    gLargestBlock = 700 * 1024;
    ASSERT_EQ(WriteText(s, std::string(100 * 1024, 'b')), 100 * 1024);
    EXPECT_EQ(s.Size(), 700 * 1024);
    EXPECT_EQ(s.Data()[600 * 1024 - 1], 'a');
    EXPECT_EQ(s.Data()[600 * 1024], 'b');
    EXPECT_EQ(WriteU8(s, 1), 0);  // nothing more can be had
    EXPECT_EQ(s.Size(), 700 * 1024);
    gLargestBlock = 0;
}

// The read-only view handed to message handlers: the same reading rules as a
// memory stream, and no way to write into the bytes it shows.
TEST(MemoryView, ReadsStopAtItsEndAndWritesAreRefused) {
    const char bytes[] = "\x01\x02\x03\x04\x05NEXT";
    CMemoryView v(bytes, 5);
    EXPECT_EQ(v.GetSize(), 5);
    EXPECT_EQ(ReadU32(v), 0x04030201u);
    EXPECT_EQ(ReadU32(v), 0x05u);  // one byte left, then zeros, never "NEXT"
    EXPECT_EQ(v.GetPosition(), 5);
    EXPECT_EQ(v.Seek(-2, kSeekEnd), 3);
    EXPECT_EQ(ReadBytes(v, 10), std::string("\x04\x05", 2));
    EXPECT_EQ(v.Write("x", 1), 0);
    EXPECT_EQ(WriteU8(v, 7), 0);
    EXPECT_EQ(bytes[0], 1);
    CMemoryView empty(nullptr, 12);
    EXPECT_EQ(empty.GetSize(), 0);
    EXPECT_EQ(ReadU16(empty), 0);
}

struct SeekCase {
    int32_t start, offset, origin, expected;
};

class MemoryStreamSeek : public ::testing::TestWithParam<SeekCase> {};

TEST_P(MemoryStreamSeek, ClampsIntoTheData) {
    const SeekCase c = GetParam();
    CMemoryStream s;
    WriteU32(s, 0x01020304);
    s.Seek(c.start, kSeekSet);
    EXPECT_EQ(s.Seek(c.offset, c.origin), c.expected);
    EXPECT_EQ(s.GetSize(), 4);  // seeking never grows
}

INSTANTIATE_TEST_SUITE_P(Cases, MemoryStreamSeek,
                         ::testing::Values(SeekCase{0, 10, 0, 4}, SeekCase{2, -10, 1, 0},
                                           SeekCase{2, 0, 7, 2}, SeekCase{0, -1, 2, 3},
                                           SeekCase{0, 1, 2, 4}, SeekCase{1, 2, 1, 3},
                                           SeekCase{0, -5, 0, 0}));

TEST(MemoryStream, ShortReadsAndZeroFill) {
    CMemoryStream s;
    WriteText(s, "abc");
    s.Seek(0, kSeekSet);
    char buf[8] = {'z', 'z', 'z', 'z', 'z', 'z', 'z', 'z'};
    EXPECT_EQ(s.Read(buf, 8), 3);
    EXPECT_EQ(std::string(buf, 4), "abcz");
    EXPECT_EQ(s.Read(buf, 8), 0);  // at the end: destination untouched
    EXPECT_EQ(buf[0], 'a');

    s.Seek(1, kSeekSet);
    EXPECT_EQ(ReadU32(s), 0x00006362u);  // "bc" then zeros
    EXPECT_EQ(ReadU16(s), 0);
    EXPECT_EQ(ReadDouble(s), 0.0);
}

TEST(MemoryStream, TypedValuesAreLittleEndian) {
    CMemoryStream s;
    WriteU16(s, 0x1234);
    WriteU32(s, 0xA1B2C3D4);
    WriteU64(s, 0x0102030405060708ull);
    WriteFloat(s, 1.5f);
    WriteDouble(s, -2.25);
    WriteI32(s, -7);
    const std::string expectHead("\x34\x12\xD4\xC3\xB2\xA1\x08\x07\x06\x05\x04\x03\x02\x01", 14);
    EXPECT_EQ(s.View().substr(0, 14), expectHead);
    s.Seek(0, kSeekSet);
    EXPECT_EQ(ReadU16(s), 0x1234);
    EXPECT_EQ(ReadU32(s), 0xA1B2C3D4u);
    EXPECT_EQ(ReadU64(s), 0x0102030405060708ull);
    EXPECT_EQ(ReadFloat(s), 1.5f);
    EXPECT_EQ(ReadDouble(s), -2.25);
    EXPECT_EQ(ReadI32(s), -7);
}

TEST(MemoryStream, WriteInsideOverwritesWithoutGrowing) {
    CMemoryStream s;
    WriteText(s, "hello");
    s.Seek(1, kSeekSet);
    WriteText(s, "EL");
    EXPECT_EQ(s.View(), "hELlo");
    EXPECT_EQ(s.Write("x", 0), 0);
    EXPECT_EQ(s.Write("x", -3), 0);
}

TEST(Strings, WriteAndReadTerminatedTexts) {
    CMemoryStream s;
    WriteString(s, static_cast<const char*>(nullptr));
    EXPECT_EQ(s.View(), std::string(1, '\0'));
    s.Seek(0, kSeekSet);
    EXPECT_FALSE(ReadString(s).has_value());
    EXPECT_EQ(s.Position(), 1);

    CMemoryStream t;
    WriteString(t, "Привет");
    WriteU8(t, 0x55);
    t.Seek(0, kSeekSet);
    auto text = ReadString(t);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, "Привет");
    EXPECT_EQ(t.Position(), static_cast<int32_t>(std::string("Привет").size()) + 1);
    EXPECT_EQ(ReadU8(t), 0x55);
}

TEST(Strings, ReadStringOnEmptyAndUnterminated) {
    CMemoryStream empty;
    EXPECT_FALSE(ReadString(empty).has_value());
    EXPECT_EQ(empty.Position(), 0);

    CMemoryStream s;
    WriteText(s, "abc");  // no terminator
    s.Seek(0, kSeekSet);
    auto text = ReadString(s);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, "abc");
    EXPECT_EQ(s.Position(), 3);
    EXPECT_FALSE(ReadString(s).has_value());
}

TEST(Copy, CopiesFromPositionAndClampsCount) {
    CMemoryStream src, dst;
    WriteText(src, "0123456789");
    src.Seek(4, kSeekSet);
    EXPECT_TRUE(CopyStream(-1, src, dst));
    EXPECT_EQ(dst.View(), "456789");

    CMemoryStream dst2;
    src.Seek(8, kSeekSet);
    EXPECT_TRUE(CopyStream(100, src, dst2));
    EXPECT_EQ(dst2.View(), "89");

    CMemoryStream dst3;
    EXPECT_TRUE(CopyStream(5, src, dst3));  // nothing left: success, nothing copied
    EXPECT_EQ(dst3.Size(), 0);

    CMemoryStream big, bigCopy;
    std::string data(10000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    WriteText(big, data);
    big.Seek(0, kSeekSet);
    EXPECT_TRUE(CopyStream(9000, big, bigCopy));
    EXPECT_EQ(bigCopy.View(), data.substr(0, 9000));
}

TEST(Copy, TargetRefusalIsReported) {
    CMemoryStream src;
    WriteText(src, "abcdef");
    src.Seek(0, kSeekSet);
    CMemoryStream dst(1024, &RefusingRealloc);
    RefuseGuard refuse;
    EXPECT_FALSE(CopyStream(-1, src, dst));
}

TEST(MemoryStream, DiscardConsumed) {
    CMemoryStream s;
    WriteText(s, "framedata-rest");
    s.Seek(10, kSeekSet);
    s.DiscardConsumed();
    EXPECT_EQ(s.View(), "rest");
    EXPECT_EQ(s.Position(), 0);
    s.Seek(0, kSeekEnd);
    s.DiscardConsumed();
    EXPECT_EQ(s.Size(), 0);
    EXPECT_FALSE(s.HasBlock());
}

TEST(Files, SaveLoadRoundTripAndMissingFiles) {
    const auto dir = std::filesystem::temp_directory_path() / "velcora_stream_test";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "файл.bin").string();

    CMemoryStream out;
    std::string data(5000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i ^ 0x5A);
    WriteText(out, data);
    out.Seek(17, kSeekSet);  // saving starts from the beginning whatever the position
    ASSERT_TRUE(out.SaveToFile(path));

    CMemoryStream in;
    ASSERT_TRUE(in.LoadFromFile(path));
    EXPECT_EQ(in.View(), data);
    EXPECT_EQ(in.Position(), 0);

    CFileStream file(path, CFileStream::Mode::Read);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.GetSize(), 5000);
    EXPECT_EQ(file.GetPosition(), 0);
    file.Seek(4998, kSeekSet);
    EXPECT_EQ(ReadU32(file), static_cast<uint32_t>(static_cast<uint8_t>(data[4998]) |
                                                   (static_cast<uint8_t>(data[4999]) << 8)));

    CMemoryStream missing;
    EXPECT_FALSE(missing.LoadFromFile((dir / "nope" / "x").string()));
    EXPECT_FALSE(out.SaveToFile((dir / "nope" / "x").string()));

    CFileStream closed((dir / "nope" / "x").string(), CFileStream::Mode::Read);
    EXPECT_FALSE(closed.IsOpen());
    char c;
    EXPECT_EQ(closed.Read(&c, 1), -1);
    EXPECT_EQ(closed.Write(&c, 1), -1);
    EXPECT_EQ(closed.Seek(0, kSeekSet), -1);
    EXPECT_EQ(ReadU8(closed), 0);
    std::filesystem::remove_all(dir);
}

// The windowed file streams behave as a memory stream over the same bytes,
// whatever mix of small and large pieces, seeks back (a length patched
// after its record) and reads across the window's edges they are given.
TEST(Files, WindowedStreamsMatchAMemoryStream) {
    const auto dir = std::filesystem::temp_directory_path() / "velcora_window_test";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "w.bin").string();
    uint32_t seed = 7;
    auto next = [&seed](uint32_t bound) {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int32_t>((seed >> 8) % bound);
    };
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        CMemoryStream model;
        {
            CFileWriter file(path, 4096);
            ASSERT_TRUE(file.IsOpen());
            for (int op = 0; op < 300; ++op) {
                const int32_t kind = next(10);
                if (kind < 2 && model.Size() > 0) {
                    // Back to an earlier place, as a record's length is patched.
                    const int32_t at = next(static_cast<uint32_t>(model.Size()));
                    ASSERT_EQ(file.Seek(at, kSeekSet), model.Seek(at, kSeekSet));
                } else if (kind == 2) {
                    ASSERT_EQ(file.Seek(0, kSeekEnd), model.Seek(0, kSeekEnd));
                } else {
                    const int32_t size = kind == 3 ? 4096 + next(9000) : 1 + next(kind * 40 + 1);
                    std::string bytes(static_cast<std::size_t>(size), '\0');
                    for (auto& c : bytes)
                        c = static_cast<char>(next(256));
                    ASSERT_EQ(file.Write(bytes.data(), size), size);
                    ASSERT_EQ(model.Write(bytes.data(), size), size);
                }
                ASSERT_EQ(file.GetPosition(), model.Position());
                ASSERT_EQ(file.GetSize(), model.Size());
            }
            ASSERT_TRUE(file.Close());
        }
        CMemoryStream disk;
        ASSERT_TRUE(disk.LoadFromFile(path));
        ASSERT_EQ(disk.View(), model.View());

        CFileReader reader(path, 4096);
        ASSERT_TRUE(reader.IsOpen());
        CMemoryView view(model.Data(), model.Size());
        ASSERT_EQ(reader.GetSize(), view.GetSize());
        for (int op = 0; op < 300; ++op) {
            if (next(4) == 0) {
                const int32_t at = next(static_cast<uint32_t>(model.Size() + 10));
                ASSERT_EQ(reader.Seek(at, kSeekSet), view.Seek(at, kSeekSet));
            }
            const int32_t size = next(3) == 0 ? next(12000) : next(64);
            std::string got(static_cast<std::size_t>(size), 'x');
            std::string want(static_cast<std::size_t>(size), 'x');
            ASSERT_EQ(reader.Read(got.data(), size), view.Read(want.data(), size));
            ASSERT_EQ(got, want);
            ASSERT_EQ(reader.GetPosition(), view.GetPosition());
        }
    }
    std::filesystem::remove_all(dir);
}

// A file cut while it is read gives short reads, and files that cannot be
// opened or written say so rather than pretending.
TEST(Files, WindowedStreamsFailSafely) {
    const auto dir = std::filesystem::temp_directory_path() / "velcora_window_fail";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "cut.bin").string();
    {
        CFileWriter file(path);
        const std::string bytes(100000, 'c');
        ASSERT_EQ(file.Write(bytes.data(), 100000), 100000);
        ASSERT_TRUE(file.Close());
    }
    CFileReader reader(path, 4096);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.Size(), 100000);
    std::filesystem::resize_file(path, 5000);
    std::string got(100000, '\0');
    EXPECT_EQ(reader.Read(got.data(), 100000), 5000);
    EXPECT_EQ(ReadU32(reader), 0u);

    // A file that grows meanwhile reads as it was when opened.
    CFileReader growing(path, 4096);
    {
        std::FILE* f = std::fopen(path.c_str(), "ab");
        ASSERT_TRUE(f);
        std::fputs(std::string(20000, 'g').c_str(), f);
        std::fclose(f);
    }
    EXPECT_EQ(growing.Read(got.data(), 100000), 5000);

    EXPECT_FALSE(CFileReader((dir / "nope").string()).IsOpen());
    EXPECT_FALSE(CFileReader(dir.string()).IsOpen()) << "a folder is not a file";
    CFileWriter nowhere((dir / "nope" / "x").string());
    EXPECT_FALSE(nowhere.IsOpen());
    EXPECT_EQ(nowhere.Write("x", 1), -1);
    if (std::filesystem::exists("/dev/full")) {
        CFileWriter full("/dev/full", 4096);
        ASSERT_TRUE(full.IsOpen());
        const std::string bytes(10000, 'f');
        full.Write(bytes.data(), 100);
        full.Write(bytes.data(), 10000);
        EXPECT_FALSE(full.Close()) << "a full disk is reported";
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace velcora
