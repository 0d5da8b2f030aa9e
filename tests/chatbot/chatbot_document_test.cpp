#include "chatbot/chatbot_document.h"

#include <gtest/gtest.h>

namespace velcora {
namespace {

TEST(Document, FailedLoadKeepsTheDocumentButShowsTheText) {
    CChatBotDocument doc;
    ASSERT_TRUE(doc.LoadBytes("frameset(\"a\"){}"));
    doc.MarkModified();
    EXPECT_FALSE(doc.LoadBytes("\xEF\xBB\xBFnot a script"));
    EXPECT_EQ(doc.SourceText(), u"not a script");
    ASSERT_EQ(doc.Script().framesets.size(), 1u);
    EXPECT_EQ(doc.Script().framesets[0].name, u"a");
    EXPECT_TRUE(doc.Modified());
}

TEST(Document, ScriptGoesBackInTheEncodingItCameIn) {
    CChatBotDocument doc;
    ASSERT_TRUE(
        doc.LoadBytes("\xEF\xBB\xBF"
                      "frameset(\"\xD0\xB4\")"
                      "{}"));
    EXPECT_TRUE(doc.Utf8());
    EXPECT_EQ(doc.ScriptBytes().substr(0, 16),
              "\xEF\xBB\xBF"
              "frameset(\"\xD0\xB4\"");
    ASSERT_TRUE(
        doc.LoadBytes("frameset(\"\xE4\")"
                      "{}"));
    EXPECT_FALSE(doc.Utf8());
    EXPECT_EQ(doc.ScriptBytes().substr(0, 12), "frameset(\"\xE4\"");
    EXPECT_EQ(doc.SourceText().substr(0, 12), u"frameset(\"д\"");
}

}  // namespace
}  // namespace velcora
