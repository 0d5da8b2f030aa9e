#include "cyclogram/gui/tracks_view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>

#include "cyclogram/gui/cyclogram_dialogs.h"
#include "ui/vel_dialogs.h"

namespace velcora::cyclogram_gui {

using namespace velcora::ui;

namespace {

QString Q(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

enum MenuId : int {
    kMenuProperties = 0x600,
    kMenuRemoveTrack,
    kMenuAddTrack,
    kMenuAddAudioTrack,
    kMenuBlockProperties,
    kMenuInsertBlock,
    kMenuCopy,
    kMenuCut,
    kMenuPaste,
    kMenuPasteTrack,
    kMenuDelete,
    kMenuSelectCurrent,
    kMenuSelectAll,
    kMenuUndo,
    kMenuRedo,
};

// What each menu item runs on the time line.
constexpr struct {
    int id;
    TimeLineCommand command;
} kMenuCommands[] = {{kMenuProperties, TimeLineCommand::TrackProperties},
                     {kMenuRemoveTrack, TimeLineCommand::RemoveTrack},
                     {kMenuAddTrack, TimeLineCommand::AddTrack},
                     {kMenuAddAudioTrack, TimeLineCommand::AddAudioTrack},
                     {kMenuBlockProperties, TimeLineCommand::BlockProperties},
                     {kMenuInsertBlock, TimeLineCommand::InsertBlock},
                     {kMenuCopy, TimeLineCommand::Copy},
                     {kMenuCut, TimeLineCommand::Cut},
                     {kMenuPaste, TimeLineCommand::Paste},
                     {kMenuPasteTrack, TimeLineCommand::PasteTrack},
                     {kMenuDelete, TimeLineCommand::Delete},
                     {kMenuUndo, TimeLineCommand::Undo},
                     {kMenuRedo, TimeLineCommand::Redo},
                     {kMenuSelectCurrent, TimeLineCommand::SelectCurrent},
                     {kMenuSelectAll, TimeLineCommand::SelectAll}};

const QColor kRulerBg(0xE4, 0xE8, 0xEE);
const QColor kKeyColor(0x20, 0x40, 0x90);
const QColor kSelectedKey(0xF0, 0x60, 0x10);
const QColor kLockedKey(0x90, 0x90, 0x90);

void PaintIcon(QPainter& p, int x, int y, int kind, bool on) {
    // kind 0 delete, 1 lock, 2 on/off; drawn with lines so they scale with nothing.
    const QRect r(x, y, kIconSize, kIconSize);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0x60, 0x60, 0x70), 1));
    p.setBrush(QColor(0xF4, 0xF4, 0xF8));
    p.drawRoundedRect(r.adjusted(0, 0, -1, -1), 3, 3);
    if (kind == 0) {
        p.setPen(QPen(QColor(0xB0, 0x20, 0x20), 2));
        p.drawLine(r.left() + 4, r.top() + 4, r.right() - 4, r.bottom() - 4);
        p.drawLine(r.right() - 4, r.top() + 4, r.left() + 4, r.bottom() - 4);
    } else if (kind == 1) {
        const QColor c = on ? QColor(0xC0, 0x80, 0x00) : QColor(0x90, 0x90, 0x90);
        p.setPen(QPen(c, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRect(r.left() + 4, r.top() + 2, 8, 8), 0, on ? 180 * 16 : 150 * 16);
        p.setBrush(c);
        p.drawRect(QRect(r.left() + 3, r.top() + 7, 10, 7));
    } else {
        const QColor c = on ? QColor(0xB0, 0x20, 0x20) : QColor(0x20, 0x90, 0x30);
        p.setPen(QPen(c, 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRect(r.left() + 3, r.top() + 4, 10, 10), 120 * 16, 300 * 16);
        p.drawLine(r.left() + 8, r.top() + 2, r.left() + 8, r.top() + 8);
    }
    p.restore();
}

QImage IconImage(int kind, bool on) {
    QImage image(kIconSize, kIconSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    PaintIcon(p, 0, 0, kind, on);
    return image;
}

QImage KeySprite(const QColor& c) {
    QImage image(7, 7, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setPen(c.darker(140));
    p.setBrush(c);
    p.drawEllipse(QRect(0, 0, 6, 6));
    return image;
}

InputMods ModsOf(Qt::KeyboardModifiers m) {
    return {(m & Qt::ShiftModifier) != 0, (m & Qt::ControlModifier) != 0};
}

}  // namespace

void PaintTimeLine(QPainter& p, const TimeLinePaintList& list, const QFont& rulerFont,
                   const QFont& labelFont) {
    const int w = list.width, h = list.height;
    const int right = list.areaRight;
    p.fillRect(QRect(0, 0, w, h), QColor(0xC8, 0xCE, 0xD6));
    // Rows: header and track area.
    for (const auto& r : list.rows) {
        const bool sound = r.track < 0;
        QLinearGradient head(0, r.y, 0, r.y + r.h);
        head.setColorAt(0, sound ? QColor(0xE2, 0xF4, 0xE0) : QColor(0xE4, 0xEC, 0xFA));
        head.setColorAt(1, sound ? QColor(0xA8, 0xD0, 0xA4) : QColor(0xA8, 0xBC, 0xE0));
        p.fillRect(QRect(0, r.y, kHeaderWidth, r.h), head);
        const int bright = r.current ? 24 : 0;
        auto area = [&](int x0, int x1, QColor top, QColor bottom) {
            x0 = std::max(x0, kHeaderWidth);
            x1 = std::min(x1, right);
            if (x1 <= x0) {
                return;
            }
            QLinearGradient g(0, r.y, 0, r.y + r.h);
            g.setColorAt(0, top.lighter(100 + bright));
            g.setColorAt(1, bottom.lighter(100 + bright));
            p.fillRect(QRect(x0, r.y, x1 - x0, r.h), g);
        };
        const QColor outTop(0xF6, 0xF7, 0xF9), outBottom(0xDC, 0xE0, 0xE6);
        const QColor inTop(0xFF, 0xFB, 0xE8), inBottom(0xF0, 0xE4, 0xB8);
        if (list.hasFragment) {
            area(kHeaderWidth, list.fragmentX0, outTop, outBottom);
            area(list.fragmentX0, list.fragmentX1, inTop, inBottom);
            area(list.fragmentX1, right, outTop, outBottom);
        } else {
            area(kHeaderWidth, right, outTop, outBottom);
        }
        p.setPen(QColor(0x90, 0x98, 0xA4));
        p.drawLine(0, r.y + r.h - 1, right, r.y + r.h - 1);
        p.drawLine(kHeaderWidth - 1, r.y, kHeaderWidth - 1, r.y + r.h - 1);
        p.setFont(labelFont);
        p.setPen(r.disabled ? QColor(0x90, 0x90, 0x90) : QColor(0x20, 0x20, 0x30));
        if (sound) {
            p.drawText(QRect(6, r.y + 2, 90, 16), Qt::AlignLeft | Qt::AlignVCenter, Q(r.label));
        } else {
            p.drawText(QRect(6, r.y + 2, 90, 16), Qt::AlignLeft | Qt::AlignVCenter, Q(r.label));
            p.drawText(QRect(6, r.y + 18, 70, 16), Qt::AlignLeft | Qt::AlignVCenter, Q(r.motor));
        }
        // Drawn once, then copied into every row.
        static const QImage icons[5] = {IconImage(0, false), IconImage(1, false),
                                        IconImage(1, true), IconImage(2, false),
                                        IconImage(2, true)};
        p.drawImage(kDeleteIconX, r.y + kIconMargin, icons[0]);
        const int iconY = r.y + r.h - kIconMargin - kIconSize;
        p.drawImage(kLockIconX, iconY, icons[r.locked ? 2 : 1]);
        p.drawImage(kOnOffIconX, iconY, icons[r.disabled ? 4 : 3]);
    }
    p.save();
    p.setClipRect(QRect(kHeaderWidth, kRulerHeight, std::max(right - kHeaderWidth, 0),
                        std::max(h - kRulerHeight - kScrollBarSize, 0)));
    // Curves.
    for (const auto& line : list.lines) {
        p.setPen(QPen(line.locked ? kLockedKey : QColor(0x20, 0x50, 0xB0), 1));
        if (line.count > 1) {
            // The list's points are laid out as QPoint is: two ints, x first.
            static_assert(sizeof(TimeLinePaintList::Point) == sizeof(QPoint));
            p.drawPolyline(reinterpret_cast<const QPoint*>(&list.points[line.first]),
                           static_cast<int>(line.count));
        }
    }
    // Blocks.
    p.setFont(labelFont);
    for (const auto& b : list.blocks) {
        const QRect box(QPoint(b.x0, b.y0), QPoint(b.x1, b.y1));
        p.setPen(QColor(0x30, 0x60, 0x30));
        p.setBrush(b.selected ? QColor(0xF8, 0xC0, 0x80) : QColor(0xB8, 0xE0, 0xB0));
        p.drawRect(box);
        p.setPen(Qt::black);
        p.drawText(box.adjusted(3, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   Q(b.text));
    }
    // Handles, then keys.
    p.setBrush(Qt::NoBrush);
    for (const auto& hd : list.handles) {
        p.setPen(QColor(0x70, 0x70, 0x70));
        p.drawLine(hd.kx, hd.ky, hd.hx, hd.hy);
        p.fillRect(QRect(hd.hx - 2, hd.hy - 2, 5, 5), QColor(0x30, 0x30, 0x30));
    }
    if (list.band) {
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.setPen(QPen(Qt::white, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(QPoint(list.bandX0, list.bandY0), QPoint(list.bandX1, list.bandY1)));
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    p.restore();
    // Keys are many: each kind is drawn once into a small picture and copied,
    // without the clip (it costs more than the copy); keys that would cross
    // the area's sides are left out, the ruler covers those at the top.
    static const QImage sprites[3] = {KeySprite(kKeyColor), KeySprite(kSelectedKey),
                                      KeySprite(kLockedKey)};
    const int bottom = h - kScrollBarSize;
    for (const auto& k : list.keys) {
        if (k.x - 3 < kHeaderWidth || k.x + 3 >= right || k.y + 3 >= bottom) {
            continue;
        }
        p.drawImage(k.x - 3, k.y - 3, sprites[k.locked ? 2 : (k.selected ? 1 : 0)]);
    }
    // Ruler.
    p.fillRect(QRect(0, 0, w, kRulerHeight), kRulerBg);
    p.setPen(QColor(0x50, 0x58, 0x60));
    p.drawLine(0, kRulerHeight - 1, w, kRulerHeight - 1);
    for (const auto& t : list.ticks) {
        p.drawLine(t.x, kRulerHeight, t.x, t.major ? 10 : 14);
    }
    p.setFont(rulerFont);
    for (const auto& l : list.labels) {
        const QString text = Q(l.text);
        p.drawText(QRect(l.x - 30, 1, 60, 9), Qt::AlignHCenter | Qt::AlignTop, text);
    }
    // The time cursor through the ruler and every row.
    if (list.cursorX >= kHeaderWidth && list.cursorX <= right) {
        p.setPen(QPen(QColor(0xD0, 0x10, 0x10), 1));
        p.drawLine(list.cursorX, 0, list.cursorX, h - kScrollBarSize);
    }
}

CCyclogramTracksView::CCyclogramTracksView(CVelContainer* owner, uint32_t place, int w, int h)
    : CVelContainer(owner, place, w, h),
      vBar_(new CVelScrollBar(this, PackPosition(0, 0), kScrollBarSize, 100, Qt::Vertical, 1)),
      hBar_(new CVelScrollBar(this, PackPosition(0, 0), 100, kScrollBarSize, Qt::Horizontal, 2)) {
    rulerFont_ = QFont(QStringLiteral("DejaVu Sans"));
    rulerFont_.setPixelSize(8);
    labelFont_ = QFont(QStringLiteral("DejaVu Sans"));
    labelFont_.setPixelSize(11);
    Widget()->setFocusPolicy(Qt::StrongFocus);
    Widget()->setMouseTracking(true);
    SetColor(QColor(0xC8, 0xCE, 0xD6));

    headerMenu_ = CVelPopupMenu::Create();
    headerMenu_->AddItem(kMenuProperties, QStringLiteral("&Свойства"));
    headerMenu_->AddItem(kMenuRemoveTrack, QStringLiteral("Удалить трек"));
    headerMenu_->AddSeparator();
    headerMenu_->AddItem(kMenuAddTrack, QStringLiteral("Добавить трек"));
    headerMenu_->AddItem(kMenuAddAudioTrack, QStringLiteral("Добавить аудиотрек"));
    headerMenu_->Menu()->setDefaultAction(headerMenu_->Item(kMenuProperties));

    auto fillArea = [](CVelPopupMenu* m) {
        m->AddItem(kMenuCopy, QStringLiteral("&Копировать\tCtrl+C"));
        m->AddItem(kMenuCut, QStringLiteral("В&ырезать\tCtrl+X"));
        m->AddItem(kMenuPaste, QStringLiteral("&Вставить\tCtrl+V"));
        m->AddItem(kMenuPasteTrack, QStringLiteral("Вставить трек\tCtrl+Shift+V"));
        m->AddItem(kMenuDelete, QStringLiteral("&Удалить\tDel"));
        m->AddSeparator();
        m->AddItem(kMenuUndo, QStringLiteral("Отменить\tCtrl+Z"));
        m->AddItem(kMenuRedo, QStringLiteral("Повторить\tCtrl+Y"));
        m->AddSeparator();
        m->AddItem(kMenuSelectCurrent, QStringLiteral("Выделить текущие ключи"));
        m->AddItem(kMenuSelectAll, QStringLiteral("Выделить вс&е"));
    };
    areaMenu_ = CVelPopupMenu::Create();
    fillArea(areaMenu_);
    soundMenu_ = CVelPopupMenu::Create();
    soundMenu_->AddItem(kMenuBlockProperties, QStringLiteral("&Свойства"));
    soundMenu_->AddItem(kMenuInsertBlock, QStringLiteral("Вставить аудиоблок"));
    soundMenu_->AddSeparator();
    fillArea(soundMenu_);
}

CCyclogramTracksView::~CCyclogramTracksView() {
    for (auto* m : {headerMenu_, areaMenu_, soundMenu_}) {
        if (m) {
            m->Release();
        }
    }
}

void CCyclogramTracksView::SetTimeLine(CTimeLine* line) {
    line_ = line;
    ReLayout();
}

void CCyclogramTracksView::ReLayout() {
    const QRect r = Widget()->rect();
    vBar_->SetGeometry(r.width() - kScrollBarSize, kRulerHeight, kScrollBarSize,
                       std::max(r.height() - kRulerHeight - kScrollBarSize, 0));
    hBar_->SetGeometry(kHeaderWidth, r.height() - kScrollBarSize,
                       std::max(r.width() - kHeaderWidth - kScrollBarSize, 0), kScrollBarSize);
    if (line_) {
        line_->SetClientSize(r.width(), r.height());
        SyncScrollBars();
    }
}

void CCyclogramTracksView::SyncScrollBars() {
    if (!line_) {
        return;
    }
    const ScrollRange v = line_->VerticalRange(), h = line_->HorizontalRange();
    vBar_->SetRange(v.total, v.page);
    vBar_->SetPosition(line_->VScroll());
    hBar_->SetRange(h.total, h.page);
    hBar_->SetPosition(line_->HScroll());
}

void CCyclogramTracksView::Invalidate() {
    SyncScrollBars();
    Widget()->update();
}

void CCyclogramTracksView::OnCommandStateChanged() {
    if (commandHook_) {
        commandHook_();
    }
}

bool CCyclogramTracksView::Confirm(const std::string& title, const std::string& text) {
    return AskQuestion(Q(title), Q(text), Buttons::YesNo) == Answer::Yes;
}

void CCyclogramTracksView::ShowError(const std::string& text) {
    ui::ShowError(Q(text));
}

bool CCyclogramTracksView::EditTrackProperties(TrackProperties& properties) {
    return RunTrackPropertiesDialog(properties);
}

bool CCyclogramTracksView::EditAudioBlock(AudioBlock& block) {
    return blockEditor_ ? blockEditor_(block) : false;
}

void CCyclogramTracksView::Render(QPainter& p) {
    if (!line_) {
        return;
    }
    line_->BuildPaintList(list_);
    PaintTimeLine(p, list_, rulerFont_, labelFont_);
}

void CCyclogramTracksView::PaintSurface(QPainter& p, const QRect& /*dirty*/) {
    Render(p);
}

void CCyclogramTracksView::ShowPopup(const QPoint& local, const QPoint& global) {
    if (!line_) {
        return;
    }
    const TimeLinePopup which = line_->PreparePopup(local.x(), local.y());
    const bool sound = line_->HitTest(local.x(), local.y()).row >= 0 &&
                       line_->IsSoundRow(line_->HitTest(local.x(), local.y()).row);
    CVelPopupMenu* menu = nullptr;
    if (which == TimeLinePopup::Header) {
        menu = headerMenu_;
    } else if (which == TimeLinePopup::Area) {
        menu = sound ? soundMenu_ : areaMenu_;
    }
    if (!menu) {
        return;
    }
    for (const auto& it : kMenuCommands) {
        if (menu->Item(it.id)) {
            menu->EnableItem(it.id, line_->Enabled(it.command));
        }
    }
    if (sound) {
        menu->Menu()->setDefaultAction(line_->Enabled(TimeLineCommand::BlockProperties)
                                           ? menu->Item(kMenuBlockProperties)
                                           : nullptr);
    }
    menuMods_ = ModsOf(QApplication::keyboardModifiers());
    menu->Popup(global, this);
}

bool CCyclogramTracksView::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command && line_ != nullptr) {
        if (e.control == vBar_) {
            line_->SetVScroll(vBar_->Position());
            return true;
        }
        if (e.control == hBar_) {
            line_->SetHScroll(hBar_->Position());
            return true;
        }
        for (const auto& it : kMenuCommands) {
            if (it.id == e.id && e.notify == VelNotify::Menu) {
                line_->Run(it.command, menuMods_);
                return true;
            }
        }
    }
    return CVelContainer::HandleEvent(e);
}

bool CCyclogramTracksView::HandleKey(QKeyEvent* k) {
    if (line_ == nullptr) {
        return false;
    }
    TimeLineKey key = TimeLineKey::Other;
    int code = k->key();
    // With a Cyrillic layout the letters arrive as Cyrillic keys; the
    // shortcuts mean places on the keyboard (X11 key codes: the kernel's + 8).
    if (code > 0x7F) {
        switch (k->nativeScanCode()) {
            case 30 + 8:
                code = Qt::Key_A;
                break;
            case 46 + 8:
                code = Qt::Key_C;
                break;
            case 45 + 8:
                code = Qt::Key_X;
                break;
            case 47 + 8:
                code = Qt::Key_V;
                break;
            case 44 + 8:
                code = Qt::Key_Z;
                break;
            case 21 + 8:
                code = Qt::Key_Y;
                break;
            default:
                break;
        }
    }
    switch (code) {
        case Qt::Key_Delete:
            key = TimeLineKey::Delete;
            break;
        case Qt::Key_A:
            key = TimeLineKey::A;
            break;
        case Qt::Key_C:
            key = TimeLineKey::C;
            break;
        case Qt::Key_X:
            key = TimeLineKey::X;
            break;
        case Qt::Key_V:
            key = TimeLineKey::V;
            break;
        case Qt::Key_Z:
            key = TimeLineKey::Z;
            break;
        case Qt::Key_Y:
            key = TimeLineKey::Y;
            break;
        case Qt::Key_Left:
            key = TimeLineKey::Left;
            break;
        case Qt::Key_Right:
            key = TimeLineKey::Right;
            break;
        case Qt::Key_Home:
            key = TimeLineKey::Home;
            break;
        default:
            break;
    }
    return line_->KeyDown(key, ModsOf(k->modifiers()));
}

bool CCyclogramTracksView::WidgetEvent(QEvent* e) {
    if (line_ == nullptr) {
        return CVelContainer::WidgetEvent(e);
    }
    switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease: {
            auto* m = static_cast<QMouseEvent*>(e);
            const QPoint pos = m->position().toPoint();
            if (Widget()->childAt(pos) != nullptr) {
                return false;
            }
            const InputMods mods = ModsOf(m->modifiers());
            if (e->type() == QEvent::MouseMove) {
                if (line_->Dragging()) {
                    line_->MouseMove(pos.x(), pos.y(), mods);
                } else {
                    Widget()->setCursor(line_->ResizeCursorAt(pos.x(), pos.y()) ? Qt::SizeVerCursor
                                                                                : Qt::ArrowCursor);
                    const QString hint = Q(line_->HintAt(pos.x(), pos.y()));
                    if (hint.isEmpty()) {
                        QToolTip::hideText();
                    } else {
                        QToolTip::showText(m->globalPosition().toPoint(), hint, Widget());
                    }
                }
                return true;
            }
            if (m->button() == Qt::LeftButton) {
                Widget()->setFocus();
                if (e->type() == QEvent::MouseButtonPress) {
                    line_->MouseDown(pos.x(), pos.y(), mods);
                } else if (e->type() == QEvent::MouseButtonDblClick) {
                    line_->DoubleClick(pos.x(), pos.y(), mods);
                } else {
                    line_->MouseUp(pos.x(), pos.y(), mods);
                }
                return true;
            }
            if (m->button() == Qt::RightButton && e->type() == QEvent::MouseButtonRelease) {
                ShowPopup(pos, m->globalPosition().toPoint());
                return true;
            }
            return e->type() != QEvent::MouseButtonRelease;
        }
        case QEvent::Wheel: {
            auto* w = static_cast<QWheelEvent*>(e);
            const int notches = -w->angleDelta().y() / 120;
            line_->Wheel(notches, ModsOf(w->modifiers()));
            return true;
        }
        case QEvent::KeyPress:
            return HandleKey(static_cast<QKeyEvent*>(e));
        case QEvent::Resize:
            ReLayout();
            return CVelContainer::WidgetEvent(e);
        default:
            return CVelContainer::WidgetEvent(e);
    }
}

}  // namespace velcora::cyclogram_gui
