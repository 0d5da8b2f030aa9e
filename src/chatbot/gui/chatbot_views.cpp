#include "chatbot/gui/chatbot_views.h"

#include <QEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace velcora::chatbot {

namespace {

QString Q(std::u16string_view s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

constexpr int kWheelRows = 3;

QColor Fill(const ChatBox& b) {
    switch (b.kind) {
        case ChatBoxKind::kFramesetHead:
            return QColor(0xC9, 0xDD, 0xF7);
        case ChatBoxKind::kFrameHead:
        case ChatBoxKind::kDialogHead:
            return QColor(0xF6, 0xE9, 0xB8);
        case ChatBoxKind::kQuestionLabel:
            return QColor(0xDD, 0xDD, 0xDD);
        case ChatBoxKind::kElement:
            return QColor(0xD3, 0xEC, 0xD7);
        case ChatBoxKind::kAnswer:
        case ChatBoxKind::kPrompt:
            return QColor(0xFB, 0xE0, 0xCC);
        case ChatBoxKind::kPhrase:
            return b.afterWait ? QColor(0xE8, 0xD9, 0xF2) : QColor(0xFB, 0xE0, 0xCC);
        case ChatBoxKind::kScript:
            return QColor(0xF2, 0xF2, 0xF2);
        case ChatBoxKind::kPronoun:
            return QColor(0xE4, 0xDE, 0xF5);
        case ChatBoxKind::kExpander:
            return QColor(Qt::white);
        case ChatBoxKind::kHint:
            break;
    }
    return QColor();
}

}  // namespace

QFont ScriptFont() {
    // Where Courier New is missing, the nearest fixed-pitch font stands in.
    QFont f(QStringLiteral("Courier New"));
    f.setPixelSize(12);
    f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(true);
    return f;
}

namespace {}  // namespace

int32_t CQtTextMeasure::Width(std::u16string_view text) {
    // Rounded up with a pixel to spare: a box exactly as wide as its text
    // would have the text elided.
    return static_cast<int32_t>(std::ceil(metrics_.horizontalAdvance(Q(text)))) + 1;
}

// ------------------------------------------------------------------ view

CChatBotView::CChatBotView(ui::CVelContainer* owner, CChatBotEditor& editor, ChatArea area)
    : ui::CVelContainer(owner, ui::kAlignClient, 0, 0),
      editor_(editor),
      area_(area),
      measure_(owner->EffectiveFont()) {
    SetColor(Qt::white);
    // Measured and drawn in one font, so that no text is cut short.
    font_ = EffectiveFont();
    measure_.SetFont(font_);
    Widget()->setFocusPolicy(Qt::StrongFocus);
    bar_ = new QScrollBar(Qt::Vertical, Widget());
    bar_->show();
    QObject::connect(bar_, &QScrollBar::valueChanged, Widget(), [this] { Widget()->update(); });
}

int32_t CChatBotView::LayoutWidth() const {
    return std::max(100, Widget()->width() - bar_->sizeHint().width());
}

void CChatBotView::UpdateScrollBar() {
    const int w = bar_->sizeHint().width();
    bar_->setGeometry(Widget()->width() - w, 0, w, Widget()->height());
    const int64_t room = std::max<int64_t>(0, ContentHeight() - Widget()->height());
    bar_->setRange(0, static_cast<int>(std::min<int64_t>(room, INT32_MAX)));
    bar_->setPageStep(std::max(1, Widget()->height() - 20));
    bar_->setSingleStep(measure_.LineHeight() + 10);
    Widget()->update();
}

int64_t CChatBotView::ScrollPos() const {
    return bar_->value();
}

void CChatBotView::ScrollTo(int64_t y) {
    bar_->setValue(static_cast<int>(std::clamp<int64_t>(y, 0, bar_->maximum())));
}

void CChatBotView::Reveal(const ChatSelection& s) {
    const std::optional<ChatBox> b = Find(s);
    if (!b) {
        return;
    }
    const int64_t top = ScrollPos();
    const int64_t h = Widget()->height();
    if (b->y < top) {
        ScrollTo(b->y - 10);
    } else if (b->y + b->h > top + h) {
        ScrollTo(b->y + std::min<int64_t>(b->h, h) - h + 10);
    }
}

std::optional<ChatBox> CChatBotView::HitAt(const QPoint& p) const {
    return Hit(p.x(), ScrollPos() + p.y());
}

std::optional<QRect> CChatBotView::BoxRect(const ChatSelection& s) const {
    const std::optional<ChatBox> b = Find(s);
    if (!b) {
        return std::nullopt;
    }
    return QRect(b->x, static_cast<int>(b->y - ScrollPos()), b->w, b->h);
}

bool CChatBotView::Input(const ui::VelEvent& e) {
    switch (e.kind) {
        case ui::VelEventKind::Wheel:
            ScrollTo(ScrollPos() - int64_t{e.wheelDelta} / 120 * kWheelRows * bar_->singleStep());
            return true;
        case ui::VelEventKind::LeftDown:
        case ui::VelEventKind::RightDown:
        case ui::VelEventKind::LeftDoubleClick: {
            SetFocus();
            const std::optional<ChatBox> hit = HitAt(e.pos);
            if (!hit || hit->kind == ChatBoxKind::kHint) {
                ChatSelection none;
                none.area = area_;
                editor_.Select(none);
                return true;
            }
            if (hit->kind == ChatBoxKind::kExpander) {
                if (e.kind != ui::VelEventKind::RightDown) {
                    editor_.ToggleExpanded(hit->target);
                }
                return true;
            }
            editor_.Select(hit->target);
            if (e.kind == ui::VelEventKind::LeftDoubleClick) {
                if (hit->kind == ChatBoxKind::kFrameHead) {
                    editor_.ToggleExpanded(hit->target);
                } else if (hit->kind == ChatBoxKind::kScript) {
                    editor_.Run(ChatCommand::kEditScript);
                } else {
                    editor_.Run(ChatCommand::kEdit);
                }
            }
            return true;
        }
        default:
            return false;
    }
}

bool CChatBotView::HandleEvent(const ui::VelEvent& e) {
    return ui::CVelContainer::HandleEvent(e);
}

bool CChatBotView::WidgetEvent(QEvent* e) {
    // The view's own size, whoever its owner is: the width lays the items
    // out, the height sets the scroll range.
    if (e->type() == QEvent::Resize || e->type() == QEvent::Show) {
        FitToSize();
    }
    return ui::CVelContainer::WidgetEvent(e);
}

void CChatBotView::FitToSize() {
    if (Widget()->width() != lastWidth_) {
        lastWidth_ = Widget()->width();
        Relayout();
    }
    UpdateScrollBar();
}

void CChatBotView::PaintSurface(QPainter& p, const QRect& dirty) {
    PaintBackground(p, dirty);
    const int64_t scroll = ScrollPos();
    p.setFont(font_);
    for (const ChatBox& b : Visible(scroll + dirty.top(), scroll + dirty.bottom() + 1)) {
        PaintBox(p, b, scroll);
    }
}

void CChatBotView::PaintBox(QPainter& p, const ChatBox& b, int64_t scroll) {
    const QRect r(b.x, static_cast<int>(b.y - scroll), b.w, b.h);
    const bool selected = BoxShowsSelection(b, editor_.Selection());
    if (b.kind == ChatBoxKind::kHint) {
        p.setPen(QColor(0x70, 0x70, 0x70));
        p.drawText(r.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, Q(b.text));
        return;
    }
    p.setPen(selected ? QPen(QColor(0x1A, 0x4F, 0xB0), 2) : QPen(QColor(0x90, 0x90, 0x90)));
    p.setBrush(Fill(b));
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 3, 3);
    p.setPen(Qt::black);
    if (b.kind == ChatBoxKind::kExpander) {
        const QPoint c = r.center();
        p.drawLine(c.x() - 4, c.y(), c.x() + 4, c.y());
        if (!b.expanded) {
            p.drawLine(c.x(), c.y() - 4, c.x(), c.y() + 4);
        }
        return;
    }
    if (b.kind == ChatBoxKind::kScript) {
        p.save();
        p.setFont(ScriptFont());
        const QRect inner = r.adjusted(6, 4, -6, -4);
        p.setClipRect(inner);
        const QFontMetrics fm(ScriptFont());
        int y = inner.top() + fm.ascent();
        const QStringList lines = Q(b.text).split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            if (y - fm.ascent() > inner.bottom()) {
                break;
            }
            QString l = line;
            l.remove(QLatin1Char('\r'));
            l.replace(QLatin1Char('\t'), QStringLiteral("    "));
            p.drawText(inner.left(), y, l);
            y += measure_.LineHeight();
        }
        p.restore();
        return;
    }
    const QFontMetrics fm(p.font());
    const QRect inner = r.adjusted(6, 0, -6, 0);
    p.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter,
               fm.elidedText(Q(b.text), Qt::ElideRight, inner.width()));
}

// -------------------------------------------------------------- questions

CChatBotQuestionAnswerView::CChatBotQuestionAnswerView(ui::CVelContainer* owner,
                                                       CChatBotEditor& editor)
    : CChatBotView(owner, editor, ChatArea::kQuestions), layout_(measure_) {
    layout_.Rebuild(editor.Script());
}

void CChatBotQuestionAnswerView::Changed(const ChatChange& change) {
    layout_.Apply(editor_.Script(), change);
    UpdateScrollBar();
}

void CChatBotQuestionAnswerView::Relayout() {
    layout_.SetWidth(editor_.Script(), LayoutWidth());
}

std::vector<ChatBox> CChatBotQuestionAnswerView::Visible(int64_t top, int64_t bottom) const {
    std::vector<ChatBox> boxes = layout_.BoxesIn(editor_.Script(), top, bottom);
    if (editor_.Script().framesets.empty()) {
        ChatBox hint;
        hint.x = 6;
        hint.y = 6;
        hint.w = 600;
        hint.h = 24;
        hint.text = u"Фреймсетов нет: «Добавить новый фреймсет» в меню правой кнопки";
        boxes.push_back(hint);
    }
    return boxes;
}

std::optional<ChatBox> CChatBotQuestionAnswerView::Hit(int32_t x, int64_t y) const {
    return layout_.HitTest(editor_.Script(), x, y);
}

std::optional<ChatBox> CChatBotQuestionAnswerView::Find(const ChatSelection& s) const {
    return layout_.Locate(editor_.Script(), s);
}

// ------------------------------------------------------------------ lists

CChatBotListView::CChatBotListView(ui::CVelContainer* owner, CChatBotEditor& editor, ChatArea area)
    : CChatBotView(owner, editor, area), layout_(measure_, area) {
    layout_.Rebuild(editor.Script(), 600);
}

void CChatBotListView::Changed(const ChatChange& change) {
    const bool mine = change.kind == ChatChange::kAll ||
                      (area_ == ChatArea::kDialogues && change.kind == ChatChange::kDialogues) ||
                      (area_ == ChatArea::kPrompts && change.kind == ChatChange::kPrompts);
    if (mine) {
        Relayout();
    }
    UpdateScrollBar();
}

void CChatBotListView::Relayout() {
    layout_.Rebuild(editor_.Script(), LayoutWidth());
}

std::vector<ChatBox> CChatBotListView::Visible(int64_t top, int64_t bottom) const {
    std::vector<ChatBox> out;
    for (const ChatBox& b : layout_.Boxes()) {
        if (b.y + b.h > top && b.y < bottom) {
            out.push_back(b);
        }
    }
    return out;
}

std::optional<ChatBox> CChatBotListView::Hit(int32_t x, int64_t y) const {
    return layout_.HitTest(x, y);
}

std::optional<ChatBox> CChatBotListView::Find(const ChatSelection& s) const {
    return layout_.Locate(s);
}

}  // namespace velcora::chatbot
