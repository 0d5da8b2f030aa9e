#include "chatbot/chatbot_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chatbot/demo_script.h"
#include "chatbot/script_text.h"

namespace velcora {
namespace {

// Every character 7 pixels wide, rows 15 high.
struct FixedMeasure : ITextMeasure {
    int32_t Width(std::u16string_view text) override {
        return static_cast<int32_t>(text.size()) * 7;
    }
    int32_t LineHeight() override { return 15; }
};

CChatScript Demo() {
    CChatScript s;
    EXPECT_TRUE(LoadScriptBytes(DemoScriptBytes(), s));
    return s;
}

ChatSelection Sel(ChatItem item, std::vector<int32_t> fs, int32_t frame = -1, int32_t index = -1,
                  int32_t element = -1) {
    ChatSelection s;
    s.item = item;
    s.frameset = std::move(fs);
    s.frame = frame;
    s.index = index;
    s.element = element;
    return s;
}

TEST(Layout, EveryItemIsFoundWhereItIsDrawn) {
    FixedMeasure m;
    CChatQuestionLayout layout(m);
    const CChatScript s = Demo();
    layout.SetWidth(s, 700);
    const auto boxes = layout.BoxesIn(s, 0, layout.TotalHeight());
    ASSERT_FALSE(boxes.empty());
    int elements = 0;
    for (const ChatBox& b : boxes) {
        // A click in the middle of a box hits that box.
        const auto hit = layout.HitTest(s, b.x + b.w / 2, b.y + b.h / 2);
        ASSERT_TRUE(hit.has_value());
        EXPECT_EQ(hit->target, b.target);
        EXPECT_EQ(hit->kind, b.kind);
        EXPECT_LE(b.x + b.w, 700);
        elements += b.kind == ChatBoxKind::kElement;
        if (b.kind != ChatBoxKind::kExpander) {
            const auto located = layout.Locate(s, b.target);
            ASSERT_TRUE(located.has_value());
            EXPECT_EQ(located->y, b.y);
        }
    }
    EXPECT_EQ(elements, 26);  // every element of every question in the demo
    // Nothing between the rows' boxes and past the end.
    EXPECT_FALSE(layout.HitTest(s, 699, 10).has_value());
    EXPECT_FALSE(layout.HitTest(s, 10, layout.TotalHeight() + 50).has_value());
}

TEST(Layout, ElementsWrapUnderTheFirstAndCollapsedItemsTakeOneRow) {
    FixedMeasure m;
    CChatQuestionLayout layout(m);
    CChatScript s = Demo();
    layout.SetWidth(s, 250);
    const auto narrow = layout.BoxesIn(s, 0, layout.TotalHeight());
    // "сколько&будет <x:number> плюс <y:number>" needs two rows at 250 px.
    std::vector<ChatBox> row;
    for (const ChatBox& b : narrow) {
        if (b.kind == ChatBoxKind::kElement && b.target.frameset == std::vector<int32_t>{2} &&
            b.target.frame == 0) {
            row.push_back(b);
        }
    }
    ASSERT_EQ(row.size(), 4u);
    EXPECT_GT(row.back().y, row.front().y);
    EXPECT_EQ(row.back().x, row.front().x);

    const int64_t open = layout.TotalHeight();
    s.framesets[0].expanded = false;
    layout.Apply(s, {ChatChange::kFrameset, 0});
    const int64_t closed = layout.TotalHeight();
    EXPECT_LT(closed, open);
    const auto top = layout.BoxesIn(s, 0, layout.BlockTop(1));
    EXPECT_EQ(top.size(), 2u);  // the expander and the head
    EXPECT_FALSE(layout.Locate(s, Sel(ChatItem::kAnswer, {0}, 0, 0)).has_value());
}

// What one changed frameset does to the layout matches laying out everything again.
TEST(Layout, IncrementalChangesMatchARebuild) {
    FixedMeasure m;
    CChatQuestionLayout step(m);
    CChatQuestionLayout whole(m);
    CChatScript s = Demo();
    step.SetWidth(s, 600);
    auto check = [&](const ChatChange& change) {
        step.Apply(s, change);
        whole.SetWidth(s, 600);
        whole.Rebuild(s);
        ASSERT_EQ(step.TotalHeight(), whole.TotalHeight());
        const auto a = step.BoxesIn(s, 0, step.TotalHeight());
        const auto b = whole.BoxesIn(s, 0, whole.TotalHeight());
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i].y, b[i].y);
            EXPECT_EQ(a[i].target, b[i].target);
        }
    };
    s.framesets[1].frames[0].answers.push_back(u"ещё один ответ");
    check({ChatChange::kFrameset, 1});
    s.framesets.insert(s.framesets.begin() + 1, CChatFrameset{u"новый", -1, {}, true});
    check({ChatChange::kFramesetInserted, 1});
    s.framesets.erase(s.framesets.begin());
    check({ChatChange::kFramesetErased, 0});
    s.framesets.clear();
    check({ChatChange::kAll, -1});
}

TEST(Layout, DialoguesAndPromptsOneRowEach) {
    FixedMeasure m;
    const CChatScript s = Demo();
    CChatListLayout dialogues(m, ChatArea::kDialogues);
    dialogues.Rebuild(s, 600);
    // Three dialogues with 3, 2 and 1 phrases.
    ASSERT_EQ(dialogues.Boxes().size(), 9u);
    const ChatBox& after = dialogues.Boxes()[2];
    EXPECT_TRUE(after.afterWait);
    EXPECT_EQ(after.target.dialog, 0);
    EXPECT_EQ(after.target.index, 1);
    const auto hit = dialogues.HitTest(after.x + 1, after.y + 1);
    ASSERT_TRUE(hit.has_value());
    EXPECT_EQ(hit->target, after.target);

    CChatListLayout prompts(m, ChatArea::kPrompts);
    prompts.Rebuild(CChatScript(), 600);
    ASSERT_EQ(prompts.Boxes().size(), 1u);
    EXPECT_EQ(prompts.Boxes()[0].kind, ChatBoxKind::kHint);
}

}  // namespace
}  // namespace velcora
