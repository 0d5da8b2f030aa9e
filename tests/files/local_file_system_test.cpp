#include "files/local_file_system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/temp_folder.h"

namespace velcora {
namespace {

using test::TempFolder;

TEST(LocalWrite, GoesToTheUnderscoreNameUntilEndWriteReplacesTheOldFile) {
    TempFolder dir;
    dir.Write("report.txt", "old contents");
    CLocalFileSystem fs;
    ASSERT_TRUE(fs.BeginWrite(dir.Wide("report.txt")));
    ASSERT_TRUE(fs.WriteAt(4, "4567", 4));
    ASSERT_TRUE(fs.WriteAt(0, "0123", 4));
    EXPECT_TRUE(dir.Exists("report.txt_"));
    EXPECT_EQ(dir.Read("report.txt"), "old contents");
    ASSERT_TRUE(fs.EndWrite());
    EXPECT_FALSE(dir.Exists("report.txt_"));
    EXPECT_EQ(dir.Read("report.txt"), "01234567");
    EXPECT_FALSE(fs.EndWrite());  // nothing being written any more
}

TEST(LocalWrite, AbandonedWritesLeaveNothingBehind) {
    TempFolder dir;
    {
        CLocalFileSystem fs;
        ASSERT_TRUE(fs.BeginWrite(dir.Wide("a.bin")));
        ASSERT_TRUE(fs.WriteAt(0, "x", 1));
        EXPECT_FALSE(fs.BeginWrite(u""));  // only discards
        EXPECT_FALSE(dir.Exists("a.bin_"));
        EXPECT_FALSE(fs.WriteAt(0, "x", 1));
        ASSERT_TRUE(fs.BeginWrite(dir.Wide("b.bin")));
        ASSERT_TRUE(fs.BeginWrite(dir.Wide("c.bin")));  // a second begin drops the first
        EXPECT_FALSE(dir.Exists("b.bin_"));
    }
    EXPECT_FALSE(dir.Exists("c.bin_"));  // destruction drops the unfinished one
    EXPECT_FALSE(dir.Exists("c.bin"));
}

TEST(LocalRead, SizesAndExactReads) {
    TempFolder dir;
    dir.Write("f", "abcdef");
    std::filesystem::create_directory(dir.Path() / "sub");
    CLocalFileSystem fs;
    EXPECT_EQ(fs.OpenRead(dir.Wide("missing")), -1);
    EXPECT_EQ(fs.OpenRead(dir.Wide("sub")), -1);  // a folder is not a readable file
    ASSERT_EQ(fs.OpenRead(dir.Wide("f")), 6);
    char buf[4] = {};
    EXPECT_TRUE(fs.ReadAt(2, buf, 4));
    EXPECT_EQ(std::string(buf, 4), "cdef");
    EXPECT_FALSE(fs.ReadAt(3, buf, 4));  // only 3 bytes left
    EXPECT_TRUE(fs.CloseRead());
    EXPECT_FALSE(fs.ReadAt(0, buf, 1));
}

TEST(LocalFolders, CreateRemoveRenameAndListing) {
    TempFolder dir;
    CLocalFileSystem fs;
    EXPECT_TRUE(fs.CreateDirectory(dir.Wide("new")));
    EXPECT_TRUE(fs.CreateDirectory(dir.Wide("new")));  // already there: fine
    dir.Write("file", "12345");
    EXPECT_FALSE(fs.CreateDirectory(dir.Wide("file")));  // a file is in the way
    dir.Write("other", "keep");
    EXPECT_FALSE(fs.Rename(dir.Wide("file"), dir.Wide("other")));  // never replaces
    EXPECT_EQ(dir.Read("other"), "keep");
    EXPECT_TRUE(fs.Rename(dir.Wide("file"), dir.Wide("Файл")));

    std::map<std::u16string, CDirEntry> seen;
    ASSERT_TRUE(fs.EnumDir(dir.Wide(), [&](const CDirEntry& e) { seen[e.name] = e; }));
    EXPECT_EQ(seen.size(), 5u);  // ".", "..", new, other, Файл
    EXPECT_TRUE(seen[u"."].isDirectory);
    EXPECT_TRUE(seen[u"new"].isDirectory);
    EXPECT_EQ(seen[u"Файл"].size, 5u);
    EXPECT_FALSE(fs.EnumDir(dir.Wide("nothing"), [](const CDirEntry&) {}));

    EXPECT_FALSE(fs.RemoveDirectory(dir.Wide()));  // not empty
    EXPECT_TRUE(fs.RemoveDirectory(dir.Wide("new")));
    EXPECT_TRUE(fs.DeleteFile(dir.Wide("other")));
    EXPECT_FALSE(fs.DeleteFile(dir.Wide("other")));
}

TEST(LocalFolders, LinkedFolderIsListedAsLinkAndRemovedAsOne) {
    TempFolder dir;
    dir.Write("target/precious", "data");
    std::filesystem::create_directory_symlink(dir.Path() / "target", dir.Path() / "link");
    CLocalFileSystem fs;
    std::map<std::u16string, CDirEntry> seen;
    ASSERT_TRUE(fs.EnumDir(dir.Wide(), [&](const CDirEntry& e) { seen[e.name] = e; }));
    EXPECT_TRUE(seen[u"link"].isDirectory);
    EXPECT_TRUE(seen[u"link"].isLink);
    EXPECT_FALSE(seen[u"target"].isLink);
    EXPECT_TRUE(fs.RemoveDirectory(dir.Wide("link")));
    EXPECT_FALSE(dir.Exists("link"));
    EXPECT_EQ(dir.Read("target/precious"), "data");
}

class RecordingOpener : public IFileOpener {
  public:
    bool Open(const std::u16string& path, const std::u16string& workingDirectory) override {
        opened.push_back(path + u"|" + workingDirectory);
        return answer;
    }
    std::vector<std::u16string> opened;
    bool answer = true;
};

TEST(LocalExecute, GoesThroughTheOpenerWithTheCurrentFolder) {
    EXPECT_FALSE(CLocalFileSystem().Execute(u"/x"));
    auto opener = std::make_shared<RecordingOpener>();
    CLocalFileSystem fs(opener);
    fs.SetCurrentPath(u"/home/op");
    EXPECT_TRUE(fs.Execute(u"/home/op/a.pdf"));
    opener->answer = false;
    EXPECT_FALSE(fs.Execute(u"/home/op/b.pdf"));
    EXPECT_EQ(opener->opened.front(), u"/home/op/a.pdf|/home/op");
}

TEST(LocalDrives, MountTableBecomesTheOperatorsDrives) {
    const std::string table =
        "overlay / overlay rw 0 0\n"
        "proc /proc proc rw 0 0\n"
        "tmpfs /dev/shm tmpfs rw 0 0\n"
        "/dev/sda2 /home ext4 rw 0 0\n"
        "/dev/sdb1 /media/op/USB\\040Stick vfat rw 0 0\n"
        "server:/share /srv/share nfs4 rw 0 0\n"
        "/dev/sr0 /run/media/op/DVD iso9660 ro 0 0\n"
        "tmpfs /run tmpfs rw 0 0\n"
        "/dev/sdc1 /mnt/backup ext4 rw 0 0\n"
        "/dev/sdd1 /data ext4 rw 0 0\n"
        "broken line\n";
    const auto mounts = ParseMounts(table);
    ASSERT_EQ(mounts.size(), 10u);
    EXPECT_EQ(mounts[4].mountPoint, "/media/op/USB Stick");
    const auto drives =
        OperatorDrives(mounts, "/home/op", [](const std::string& d) { return d == "/dev/sdd1"; });
    EXPECT_EQ(drives, (std::vector<std::u16string>{
                          u"/ - Жесткий", u"/home/op - Жесткий", u"/data - Сменный",
                          u"/media/op/USB Stick - Сменный", u"/mnt/backup - Жесткий",
                          u"/run/media/op/DVD - CD-ROM", u"/srv/share - Сетевой"}));
    EXPECT_EQ(DrivePath(drives[3]), u"/media/op/USB Stick");
    EXPECT_EQ(DrivePath(u"C:"), u"C:");
}

TEST(LocalDrives, TheRealMachineListsItsRootFirst) {
    CLocalFileSystem fs;
    std::vector<std::u16string> drives;
    ASSERT_TRUE(fs.EnumDrives([&](const std::u16string& d) { drives.push_back(d); }));
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(DrivePath(drives.front()), u"/");
    EXPECT_FALSE(fs.EnumDrives(nullptr));
}

}  // namespace
}  // namespace velcora
