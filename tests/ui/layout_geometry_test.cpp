#include "ui/layout_geometry.h"

#include <gtest/gtest.h>

namespace velcora::ui {
namespace {

TEST(Placement, PackedPositionsKeepTheirSignAndCodesAreRecognised) {
    for (auto [x, y] : {std::pair{0, 0}, {10, 20}, {-5, 7}, {32767, -32768}, {-1, -1}}) {
        int ux = 99, uy = 99;
        UnpackPosition(PackPosition(x, y), ux, uy);
        EXPECT_EQ(ux, x);
        EXPECT_EQ(uy, y);
    }
    EXPECT_TRUE(IsPlacementCode(kPlaceFlow));
    EXPECT_TRUE(IsPlacementCode(kPlaceScreenCentre));
    EXPECT_FALSE(IsPlacementCode(0x80008007u));
    EXPECT_FALSE(IsPlacementCode(PackPosition(0x8000, 0x7FFF)));
}

TEST(Relayout, AlignmentsTakeTheFreeAreaInOrderOfAppearance) {
    std::vector<LayoutItem> items = {
        {kAlignTop, 0, {0, 0, 10, 30}},     //
        {kAlignLeft, 0, {0, 0, 50, 10}},    //
        {kAlignTop, 0, {0, 0, 10, 20}},     // after the left one: narrower
        {kAlignRight, 0, {0, 0, 60, 10}},   //
        {kAlignBottom, 0, {0, 0, 10, 25}},  //
        {kAlignClient, 0, {0, 0, 1, 1}},    //
        {kAlignClient, 0, {5, 5, 7, 7}},    // only the first fill child fills
        {PackPosition(3, 4), 0, {3, 4, 10, 10}},
    };
    VSize remembered;
    const VRect free = LayoutChildren({0, 0, 400, 300}, remembered, items);
    EXPECT_EQ(items[0].rect, (VRect{0, 0, 400, 30}));
    EXPECT_EQ(items[1].rect, (VRect{0, 30, 50, 270}));
    EXPECT_EQ(items[2].rect, (VRect{50, 30, 350, 20}));
    EXPECT_EQ(items[3].rect, (VRect{340, 50, 60, 250}));
    EXPECT_EQ(items[4].rect, (VRect{50, 275, 290, 25}));
    EXPECT_EQ(items[5].rect, (VRect{50, 50, 290, 225}));
    EXPECT_EQ(items[6].rect, (VRect{5, 5, 7, 7}));
    EXPECT_EQ(items[7].rect, (VRect{3, 4, 10, 10}));
    EXPECT_EQ(free, (VRect{50, 50, 290, 225}));
    EXPECT_EQ(remembered, (VSize{400, 300}));
}

TEST(Relayout, HiddenChildrenTakeNoRoomAndOversizedOnesLeaveNoNegativeArea) {
    std::vector<LayoutItem> items = {
        {kAlignTop, 0, {0, 0, 10, 30}, false},
        {kAlignLeft, 0, {0, 0, 500, 10}},
        {kAlignClient, 0, {}},
    };
    VSize remembered;
    const VRect free = LayoutChildren({0, 0, 200, 100}, remembered, items);
    EXPECT_EQ(items[1].rect, (VRect{0, 0, 500, 100}));
    EXPECT_EQ(free.w, 0);
    EXPECT_EQ(free.h, 100);
    EXPECT_EQ(items[2].rect, free);
}

struct AnchorCase {
    unsigned anchors;
    VRect expected;
};

class Anchors : public ::testing::TestWithParam<AnchorCase> {};

TEST_P(Anchors, FollowTheChangeOfTheClientSize) {
    // 200 x 100 grows to 260 x 140: +60 wide, +40 high.
    const VRect r{10, 20, 30, 40};
    EXPECT_EQ(ApplyAnchors(r, GetParam().anchors, {200, 100}, {260, 140}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, Anchors,
                         ::testing::Values(AnchorCase{0, {10, 20, 30, 40}},
                                           AnchorCase{kAnchorLeft | kAnchorTop, {10, 20, 30, 40}},
                                           AnchorCase{kAnchorLeft | kAnchorRight, {10, 20, 90, 40}},
                                           AnchorCase{kAnchorRight, {70, 20, 30, 40}},
                                           AnchorCase{kAnchorCentreX, {40, 20, 30, 40}},
                                           AnchorCase{kAnchorTop | kAnchorBottom, {10, 20, 30, 80}},
                                           AnchorCase{kAnchorBottom, {10, 60, 30, 40}},
                                           AnchorCase{kAnchorCentreY, {10, 40, 30, 40}},
                                           AnchorCase{kAnchorRight | kAnchorBottom,
                                                      {70, 60, 30, 40}},
                                           AnchorCase{0x0F, {10, 20, 90, 80}}));

TEST(Anchors, ShrinkingNeverGivesANegativeSize) {
    const VRect r = ApplyAnchors({0, 0, 30, 30}, 0x0F, {200, 200}, {100, 100});
    EXPECT_EQ(r.w, 0);
    EXPECT_EQ(r.h, 0);
}

TEST(Anchors, ACentredControlDoesNotDriftOnOnePixelSteps) {
    VRect r{85, 0, 30, 10};  // centred in 200
    VSize size{200, 100};
    for (int i = 0; i < 101; ++i) {
        const VSize next{size.w + 1, size.h};
        r = ApplyAnchors(r, kAnchorCentreX, size, next);
        size = next;
    }
    EXPECT_EQ(r.x + r.w / 2, size.w / 2);
}

TEST(Relayout, TheFirstLayoutOnlyRemembersTheSizeThenAnchorsFollow) {
    std::vector<LayoutItem> items = {{PackPosition(150, 10), kAnchorRight, {150, 10, 40, 20}}};
    VSize remembered;
    LayoutChildren({0, 0, 200, 100}, remembered, items);
    EXPECT_EQ(items[0].rect.x, 150);
    LayoutChildren({0, 0, 300, 100}, remembered, items);
    EXPECT_EQ(items[0].rect.x, 250);
    LayoutChildren({0, 0, 250, 100}, remembered, items);
    EXPECT_EQ(items[0].rect.x, 200);
}

TEST(Flow, ControlsGoAfterTheGapAndWrapWhenTheRowIsFull) {
    FlowLayout f(0, 0, 100);
    EXPECT_EQ(f.Place(40, 20), (VRect{8, 8, 40, 20}));
    EXPECT_EQ(f.Place(40, 30), (VRect{56, 8, 40, 30}));
    // x is now 96; 96 + 40 passes 100: new row under the tallest (30).
    EXPECT_EQ(f.Place(40, 20), (VRect{8, 46, 40, 20}));
    EXPECT_EQ(f.Bottom(), 38 + 8 + 20 + 8);
}

TEST(Flow, AWideControlOnAnEmptyRowStaysThere) {
    FlowLayout f(10, 5, 50);
    EXPECT_EQ(f.Place(200, 20), (VRect{18, 13, 200, 20}));
    EXPECT_EQ(f.Place(10, 10).y, 5 + 8 + 20 + 8);
}

TEST(Flow, AnEmptyRowCountsEighteenPixels) {
    FlowLayout f(0, 0, 300);
    f.NewRow();
    EXPECT_EQ(f.Top(), 8 + 18);
    EXPECT_EQ(f.Place(10, 10).y, 26 + 8);
    f.NewRow();
    EXPECT_EQ(f.Top(), 26 + 8 + 10);
}

TEST(Flow, GapsAndColumnBlocks) {
    FlowLayout f(0, 0, 300);
    f.Place(50, 20);
    f.AddGap(12);
    EXPECT_EQ(f.Place(50, 20).x, 8 + 50 + 12 + 8);
    f.BeginColumn(150, 300, 0);
    EXPECT_EQ(f.Place(50, 20), (VRect{158, 8, 50, 20}));
    EXPECT_EQ(f.Place(100, 20), (VRect{158, 36, 100, 20}));  // 208 + 100 > 300
}

TEST(Flow, CentredRowsCentreVerticallyAndHorizontally) {
    FlowLayout f(0, 0, 200);
    f.SetRowCentred(true);
    f.SetCentreRows(true);
    f.Place(40, 20);
    f.Place(40, 40);
    // Vertically: the short one moves down as the row grows.
    EXPECT_EQ(f.Placed()[0].y, 8 + 10);
    EXPECT_EQ(f.Placed()[1].y, 8);
    f.NewRow();
    // Horizontally: the span 8..96 is centred in 0..200.
    EXPECT_EQ(f.Placed()[0].x, 56);
    EXPECT_EQ(f.Placed()[1].x, 104);
    EXPECT_EQ(f.Place(10, 10).x, 8);
}

TEST(Flow, CentringARowWiderThanItsColumnLeavesIt) {
    FlowLayout f(0, 0, 50);
    f.Place(80, 10);
    f.CentreCurrentRow();
    EXPECT_EQ(f.Placed()[0].x, 8);
}

TEST(Hints, ShowAfterMoreThan300MsAtRestAndGoOnMove) {
    HintTracker t;
    int a = 0, b = 0;
    auto r = t.Tick(50, &a, 10, 10, true);
    EXPECT_EQ(r.entered, &a);
    EXPECT_EQ(r.left, nullptr);
    for (int i = 0; i < 6; ++i) {  // 300 ms at rest: not yet
        EXPECT_FALSE(t.Tick(50, &a, 10, 10, true).show);
    }
    EXPECT_TRUE(t.Tick(50, &a, 10, 10, true).show);
    EXPECT_FALSE(t.Tick(50, &a, 10, 10, true).show);  // once
    r = t.Tick(50, &a, 11, 10, true);
    EXPECT_TRUE(r.hide);
    EXPECT_FALSE(t.Showing());
    for (int i = 0; i < 7; ++i) {
        r = t.Tick(50, &a, 11, 10, true);
    }
    EXPECT_TRUE(r.show);
    r = t.Tick(50, &b, 11, 10, true);
    EXPECT_EQ(r.left, &a);
    EXPECT_EQ(r.entered, &b);
    EXPECT_TRUE(r.hide);
}

TEST(Hints, NoHintWithoutTextOrControlAndForgottenControlsAreNotTold) {
    HintTracker t;
    int a = 0;
    t.Tick(50, &a, 0, 0, false);
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(t.Tick(50, &a, 0, 0, false).show);
        EXPECT_FALSE(t.Tick(0, nullptr, 0, 0, false).show);
        t.Tick(0, &a, 0, 0, false);
    }
    t.Forget(&a);
    EXPECT_EQ(t.Current(), nullptr);
    const auto r = t.Tick(50, nullptr, 0, 0, false);
    EXPECT_EQ(r.left, nullptr);
}

}  // namespace
}  // namespace velcora::ui
