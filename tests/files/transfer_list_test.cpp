#include "files/transfer_list.h"

#include <gtest/gtest.h>

namespace velcora {
namespace {

TEST(FileDrop, BlockLayoutAndRoundTrip) {
    const std::vector<std::u16string> items = {u"#C:\\Папка", u"@C:\\a.txt", u"/home/op/b"};
    const std::string block = EncodeFileDrop(items, 3, -1);
    ASSERT_GE(block.size(), 20u);
    EXPECT_EQ(block.substr(0, 20),
              std::string("\x14\0\0\0\x03\0\0\0\xFF\xFF\xFF\xFF\x01\0\0\0\x01\0\0\0", 20));
    EXPECT_EQ(block.substr(20, 4), std::string("#\0C\0", 4));
    EXPECT_EQ(block.substr(block.size() - 4), std::string(4, '\0'));
    EXPECT_EQ(DecodeFileDrop(block), items);
    EXPECT_EQ(DecodeFileDrop(EncodeFileDrop({})), std::vector<std::u16string>{});
}

TEST(FileDrop, NarrowBlocksAndMalformedOnes) {
    std::string narrow("\x14\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 20);
    narrow += std::string("C:\\\xCF\0D:\\x\0\0", 11);
    EXPECT_EQ(DecodeFileDrop(narrow), (std::vector<std::u16string>{u"C:\\П", u"D:\\x"}));

    const std::string good = EncodeFileDrop({u"abc"});
    const std::string cases[] = {
        good.substr(0, 19),                             // no whole header
        good.substr(0, good.size() - 2),                // no closing zero
        good.substr(0, good.size() - 3),                // odd tail
        std::string("\x50\0\0\0", 4) + good.substr(4),  // list beyond the end
        std::string("\x04\0\0\0", 4) + good.substr(4),  // list inside the header
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeFileDrop(c), std::nullopt);
    }
}

TEST(TransferList, SelectionBecomesFullPathsWithMarkers) {
    const std::vector<CDirEntry> selection = {
        {u"..", true, 0}, {u"dir", true, 0}, {u"f.txt", false, 3}, {u".", true, 0}};
    EXPECT_EQ(BuildTransferList(u"C:\\x", selection, true),
              (std::vector<std::u16string>{u"#C:\\x\\dir", u"@C:\\x\\f.txt"}));
    EXPECT_EQ(BuildTransferList(u"/home", selection, false),
              (std::vector<std::u16string>{u"/home/dir", u"/home/f.txt"}));
    EXPECT_TRUE(BuildTransferList(u"/", {{u"..", true, 0}}, false).empty());
}

TEST(UriList, LocalFilesOnly) {
    const std::string text = EncodeUriList({u"/home/op/my file%.txt", u"@C:\\robot", u"/tmp/Ёж"});
    EXPECT_EQ(text,
              "file:///home/op/my%20file%25.txt\r\n"
              "file:///tmp/%D0%81%D0%B6\r\n");
    EXPECT_EQ(DecodeUriList(text),
              (std::vector<std::u16string>{u"/home/op/my file%.txt", u"/tmp/Ёж"}));
    EXPECT_EQ(DecodeUriList("# comment\nfile://localhost/a\nfile://other/b\nhttp://x/c\n"
                            "file:///bad%2\nfile:///nul%00x\nfile:///latin%E9\nfile:///d"),
              (std::vector<std::u16string>{u"/a", u"/d"}));
}

}  // namespace
}  // namespace velcora
