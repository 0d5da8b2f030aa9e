// The chat-bot editor's views: the framesets with their frames, questions and
// answers; the robot's dialogues; the prompts. Each draws the boxes its
// layout gives for the rows on screen and turns clicks into selections and
// commands of the editor.
#pragma once

#include <QFontMetrics>
#include <optional>
#include <vector>

#include "chatbot/chatbot_editor.h"
#include "chatbot/chatbot_layout.h"
#include "ui/vel.h"

class QScrollBar;

namespace velcora::chatbot {

// Courier New 12 px, or the nearest fixed-pitch font: script bodies.
QFont ScriptFont();

// Widths as the view's font draws them.
class CQtTextMeasure : public ITextMeasure {
  public:
    explicit CQtTextMeasure(const QFont& font) : metrics_(font) {}
    void SetFont(const QFont& font) { metrics_ = QFontMetricsF(font); }
    int32_t Width(std::u16string_view text) override;
    int32_t LineHeight() override { return static_cast<int32_t>(metrics_.height() + 0.5); }

  private:
    QFontMetricsF metrics_;
};

class CChatBotView : public ui::CVelContainer {
  public:
    CChatBotView(ui::CVelContainer* owner, CChatBotEditor& editor, ChatArea area);
    ChatArea Area() const { return area_; }

    // The editor changed the document or the selection.
    virtual void Changed(const ChatChange& change) = 0;
    // Scrolls so that the selection is on screen.
    void Reveal(const ChatSelection& s);
    // Lays the items out for the view's width and places the scroll bar. A
    // view sized while it is being built gets its first size before its own
    // event handling exists, so its owner calls this once it is complete.
    void FitToSize();
    // A mouse event on this view (the window passes them on): selects,
    // expands, opens the item's editor; returns whether taken.
    bool Input(const ui::VelEvent& e);
    // What is under a point of the widget.
    std::optional<ChatBox> HitAt(const QPoint& p) const;
    // Where the selection's box is on the widget, if it is laid out.
    std::optional<QRect> BoxRect(const ChatSelection& s) const;
    int64_t ScrollPos() const;
    void ScrollTo(int64_t y);

    void PaintSurface(QPainter& p, const QRect& dirty) override;
    bool HandleEvent(const ui::VelEvent& e) override;

  protected:
    bool WidgetEvent(QEvent* e) override;
    virtual std::vector<ChatBox> Visible(int64_t top, int64_t bottom) const = 0;
    virtual std::optional<ChatBox> Hit(int32_t x, int64_t y) const = 0;
    virtual std::optional<ChatBox> Find(const ChatSelection& s) const = 0;
    virtual int64_t ContentHeight() const = 0;
    // The width changed: lay out again.
    virtual void Relayout() = 0;
    int32_t LayoutWidth() const;
    // The scroll bar follows the content height.
    void UpdateScrollBar();

    CChatBotEditor& editor_;
    ChatArea area_;
    CQtTextMeasure measure_;

  private:
    void PaintBox(QPainter& p, const ChatBox& b, int64_t scroll);

    QScrollBar* bar_;
    QFont font_;
    int lastWidth_ = -1;
};

class CChatBotQuestionAnswerView : public CChatBotView {
  public:
    CChatBotQuestionAnswerView(ui::CVelContainer* owner, CChatBotEditor& editor);
    void Changed(const ChatChange& change) override;
    const CChatQuestionLayout& Layout() const { return layout_; }

  protected:
    std::vector<ChatBox> Visible(int64_t top, int64_t bottom) const override;
    std::optional<ChatBox> Hit(int32_t x, int64_t y) const override;
    std::optional<ChatBox> Find(const ChatSelection& s) const override;
    int64_t ContentHeight() const override { return layout_.TotalHeight(); }
    void Relayout() override;

  private:
    CChatQuestionLayout layout_;
};

// The robot's dialogues ("Вопросы робота") or the prompts ("Зазывные речи").
class CChatBotListView : public CChatBotView {
  public:
    CChatBotListView(ui::CVelContainer* owner, CChatBotEditor& editor, ChatArea area);
    void Changed(const ChatChange& change) override;

  protected:
    std::vector<ChatBox> Visible(int64_t top, int64_t bottom) const override;
    std::optional<ChatBox> Hit(int32_t x, int64_t y) const override;
    std::optional<ChatBox> Find(const ChatSelection& s) const override;
    int64_t ContentHeight() const override { return layout_.TotalHeight(); }
    void Relayout() override;

  private:
    CChatListLayout layout_;
};

class CChatBotDialogView : public CChatBotListView {
  public:
    CChatBotDialogView(ui::CVelContainer* owner, CChatBotEditor& editor)
        : CChatBotListView(owner, editor, ChatArea::kDialogues) {}
};

class CChatBotPromptView : public CChatBotListView {
  public:
    CChatBotPromptView(ui::CVelContainer* owner, CChatBotEditor& editor)
        : CChatBotListView(owner, editor, ChatArea::kPrompts) {}
};

}  // namespace velcora::chatbot
