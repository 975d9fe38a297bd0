#include "platform/fake/FakePasteboard.h"
#include "shell/MenuBarDropView.h"

#include <gtest/gtest.h>

using namespace tarno;

namespace {

using Drawing = StatusItemDrawing;

class MenuBarDropViewTest : public ::testing::Test
{
protected:
    MenuBarDropView view;
    QStringList calls;
    QList<PasteboardCaptures> drops;
    int redraws = 0;
    FakePasteboard text;
    FakePasteboard unreadable;

    void SetUp() override
    {
        view.onLeftClick = [this] { calls << "left"; };
        view.onRightClick = [this] { calls << "right"; };
        view.onDragEntered = [this] { calls << "dragEntered"; };
        view.onDropCaptures = [this](const PasteboardCaptures &captures) {
            calls << "drop";
            drops << captures;
        };
        view.setNeedsDisplayHandler([this] { ++redraws; });
        text.simulateCopyText("some words");
        unreadable.simulateCopyData("\x01\x02", "application/x-unknown");
    }
};

TEST_F(MenuBarDropViewTest, ClicksRunOnlyTheirOwnCallbackAndHoverEndsWithThePointer)
{
    view.rightMouseDown();
    view.mouseDown();
    EXPECT_EQ(calls, (QStringList{"right", "left"}));
    EXPECT_EQ(redraws, 0);
    // Hover ends when the pointer leaves.
    view.mouseEntered();
    view.mouseExited();
    EXPECT_FALSE(view.isHovered());
    EXPECT_EQ(view.drawing({32, 24}).background, Drawing::Background::none);
    EXPECT_EQ(redraws, 2);

    MenuBarDropView bare;
    bare.mouseDown();
    bare.mouseEntered();
    EXPECT_EQ(bare.performDragOperation(text), true) << "a drop is taken even with nobody to hand it to";
}

TEST_F(MenuBarDropViewTest, ReadableDragHighlightsAsksOnceAndDropsItsCaptures)
{
    EXPECT_EQ(view.draggingEntered(text), DragOperation::copy);
    EXPECT_TRUE(view.isDragHighlighted());
    EXPECT_EQ(view.draggingUpdated(text), DragOperation::copy);
    // An update answers for the content it is shown and leaves the drag's state alone.
    EXPECT_EQ(view.draggingUpdated(unreadable), DragOperation::none);
    EXPECT_TRUE(view.isDragHighlighted());
    EXPECT_TRUE(view.openedPopoverForCurrentDrag());
    EXPECT_EQ(view.draggingEntered(text), DragOperation::copy);
    EXPECT_EQ(calls, QStringList{"dragEntered"});
    const int readsBeforeDrop = text.readCount();

    EXPECT_TRUE(view.performDragOperation(text));
    EXPECT_GT(text.readCount(), readsBeforeDrop) << "the drop reads the pasteboard again";
    EXPECT_FALSE(view.isDragHighlighted());
    EXPECT_FALSE(view.openedPopoverForCurrentDrag());
    ASSERT_EQ(drops.size(), 1);
    EXPECT_EQ(drops.first(), PasteboardCaptures{PasteboardCapture::text("some words")});
    EXPECT_GE(redraws, 2);
}

TEST_F(MenuBarDropViewTest, UnreadableDragIsRefusedEverywhere)
{
    EXPECT_EQ(view.draggingEntered(unreadable), DragOperation::none);
    EXPECT_FALSE(view.isDragHighlighted());
    EXPECT_EQ(view.draggingUpdated(unreadable), DragOperation::none);
    EXPECT_FALSE(view.performDragOperation(unreadable));
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_EQ(redraws, 1) << "only the drop's own reset asks for a repaint";
}

TEST_F(MenuBarDropViewTest, ADragThatLeavesAndComesBackAsksAgain)
{
    view.draggingEntered(text);
    view.draggingExited();
    EXPECT_FALSE(view.isDragHighlighted());
    view.draggingEntered(text);
    EXPECT_EQ(calls, (QStringList{"dragEntered", "dragEntered"}));
    view.performDragOperation(text);
    view.draggingEntered(text);
    EXPECT_EQ(calls.count("dragEntered"), 3) << "a new drag after a drop asks again";
}

struct DrawingCase
{
    const char *name;
    bool hovered;
    bool dragged;
    Drawing::Background background;
    qreal iconSide;
    qreal opacity;
    qsizetype shapes;
};

class DrawingTest : public MenuBarDropViewTest, public ::testing::WithParamInterface<DrawingCase>
{};

TEST_P(DrawingTest, BackgroundAndIconFollowTheState)
{
    const DrawingCase &expected = GetParam();
    if (expected.hovered)
        view.mouseEntered();
    if (expected.dragged)
        view.draggingEntered(text);
    const Drawing drawing = view.drawing({32, 24});
    EXPECT_EQ(drawing.background, expected.background);
    // Centred in the bounds.
    const qreal side = expected.iconSide;
    EXPECT_EQ(drawing.iconRect, QRectF(16 - side / 2, 12 - side / 2, side, side));
    EXPECT_DOUBLE_EQ(drawing.iconOpacity, expected.opacity);

    // A hover is one faint label-coloured fill; a drag is an accent fill with an accent outline.
    ASSERT_EQ(drawing.shapes.size(), expected.shapes);
    for (const auto &shape : drawing.shapes)
        EXPECT_EQ(shape.ink, expected.dragged ? Drawing::Ink::accent : Drawing::Ink::label);
    if (expected.shapes == 2) {
        EXPECT_GT(drawing.shapes[1].lineWidth, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    States, DrawingTest,
    ::testing::Values(DrawingCase{"resting", false, false, Drawing::Background::none, 22, 0.9, 0},
                      DrawingCase{"hovered", true, false, Drawing::Background::hover, 23.32, 1.0, 1},
                      DrawingCase{"dragged", false, true, Drawing::Background::dragHighlight, 22, 1.0, 2},
                      DrawingCase{"draggedWhileHovered", true, true, Drawing::Background::dragHighlight, 22,
                                  1.0, 2}),
    [](const ::testing::TestParamInfo<DrawingCase> &info) { return std::string(info.param.name); });

} // namespace
