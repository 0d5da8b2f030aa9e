#include "cyclogram/gui/env_view.h"

#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include "cyclogram/gui/cyclogram_dialogs.h"
#include "ui/vel_dialogs.h"

namespace velcora::cyclogram_gui {

using namespace velcora::ui;

namespace {

QString Q(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

enum MenuId : int {
    kMenuExact = 0x800,
    kMenuParameters,
    kMenuDelete,
    kMenuLoadBackground,
    kMenuDeleteBackground,
};

const struct {
    int id;
    EnvCommand command;
} kMenu[] = {{kMenuExact, EnvCommand::ExactValue},
             {kMenuParameters, EnvCommand::TrackerParameters},
             {kMenuDelete, EnvCommand::DeleteTracker},
             {kMenuLoadBackground, EnvCommand::LoadBackground},
             {kMenuDeleteBackground, EnvCommand::DeleteBackground}};

}  // namespace

CCyclogramEnvView::CCyclogramEnvView(CVelContainer* owner, uint32_t place, int w, int h)
    : CVelControl(owner, new CVelSurface, place, w, h) {
    Widget()->setFocusPolicy(Qt::StrongFocus);
    SetColor(QColor(0x30, 0x34, 0x3A));
}

CCyclogramEnvView::~CCyclogramEnvView() {
    if (menu_) {
        menu_->Release();
    }
}

void CCyclogramEnvView::SetEditor(CEnvironmentEditor* editor) {
    editor_ = editor;
    if (menu_) {
        menu_->Release();
        menu_ = nullptr;
    }
    if (!editor_) {
        return;
    }
    menu_ = CVelPopupMenu::Create();
    menu_->AddItem(kMenuExact, QStringLiteral("Установить точное значение"));
    if (!editor_->Locked()) {
        menu_->AddSeparator();
        menu_->AddItem(kMenuParameters, QStringLiteral("Правка параметров трекера"));
        menu_->AddItem(kMenuDelete, QStringLiteral("Удалить трекер\tDel"));
        menu_->AddSeparator();
        menu_->AddItem(kMenuLoadBackground, QStringLiteral("Загрузить фон из файла..."));
        menu_->AddItem(kMenuDeleteBackground, QStringLiteral("Удалить фон"));
    }
    editor_->SetViewSize(Widget()->width(), Widget()->height());
}

void CCyclogramEnvView::SetTrackerDialogs(std::function<bool(EnvTracker&)> parameters,
                                          std::function<void(CEnvironmentEditor&, int32_t)> exact) {
    parameters_ = std::move(parameters);
    exactValue_ = std::move(exact);
}

void CCyclogramEnvView::Invalidate() {
    Widget()->update();
}

void CCyclogramEnvView::OnToolbarChanged() {
    if (toolbarHook_) {
        toolbarHook_();
    }
}

bool CCyclogramEnvView::Confirm(const std::string& title, const std::string& text) {
    return AskQuestion(Q(title), Q(text), Buttons::YesNo) == Answer::Yes;
}

void CCyclogramEnvView::ShowError(const std::string& text) {
    ui::ShowError(Q(text));
}

std::string CCyclogramEnvView::ChooseOpenFile(const std::string& title, EnvFileKind kind) {
    const QString filter = kind == EnvFileKind::Project
                               ? QStringLiteral("cenv-файлы (*.cenv)")
                               : QStringLiteral("JPEG-файлы (*.jpg *.jpeg)");
    return ui::ChooseOpenFile(Q(title), filter).toUtf8().toStdString();
}

std::string CCyclogramEnvView::ChooseSaveFile(const std::string& title) {
    return ui::ChooseSaveFile(Q(title), QStringLiteral("cenv-файлы (*.cenv)"),
                              QStringLiteral("cenv"))
        .toUtf8()
        .toStdString();
}

bool CCyclogramEnvView::LoadPicture(const std::string& path, int& width, int& height) {
    QImage image;
    if (!image.load(QString::fromUtf8(path.c_str())) || image.isNull()) {
        return false;
    }
    picture_ = std::move(image);
    scaled_ = QImage();
    width = picture_.width();
    height = picture_.height();
    return true;
}

void CCyclogramEnvView::DropPicture() {
    picture_ = QImage();
    scaled_ = QImage();
}

bool CCyclogramEnvView::EditTrackerParameters(EnvTracker& tracker) {
    return parameters_ ? parameters_(tracker) : false;
}

void CCyclogramEnvView::ShowExactValue(int32_t tracker) {
    if (exactValue_ && editor_) {
        exactValue_(*editor_, tracker);
    }
}

void CCyclogramEnvView::Render(QPainter& p) {
    p.fillRect(Widget()->rect(), BackgroundColor());
    if (!editor_) {
        return;
    }
    EnvPaintList list;
    editor_->BuildPaintList(list);
    if (list.picture && !picture_.isNull()) {
        const QSize size(list.pictureW, list.pictureH);
        if (scaled_.size() != size) {
            scaled_ = picture_.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        p.drawImage(list.pictureX, list.pictureY, scaled_);
    }
    for (const auto& t : list.trackers) {
        const auto& s = t.shape;
        const QRect bar(QPoint(s.barX0, s.barY0), QPoint(s.barX1, s.barY1));
        if (t.noValue) {
            p.fillRect(bar, QColor(0xE0, 0x20, 0x20));
        } else {
            p.setPen(QColor(0x20, 0x20, 0x20));
            p.setBrush(QColor(0xE8, 0xE8, 0xE8));
            p.drawRect(bar);
        }
        const QRect knob(QPoint(s.knobX0, s.knobY0), QPoint(s.knobX1, s.knobY1));
        p.setPen(QColor(0x10, 0x10, 0x10));
        p.setBrush(t.selectedKnob ? QColor(0x20, 0xC0, 0x30) : QColor(0x90, 0x10, 0x10));
        p.drawRect(knob);
        if (t.frame) {
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(Qt::white, 1, Qt::DotLine));
            p.drawRect(QRect(QPoint(s.boxX0, s.boxY0), QPoint(s.boxX1, s.boxY1)));
        }
    }
}

void CCyclogramEnvView::PaintSurface(QPainter& p, const QRect&) {
    Render(p);
}

bool CCyclogramEnvView::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command && e.notify == VelNotify::Menu && editor_) {
        for (const auto& m : kMenu) {
            if (m.id == e.id) {
                editor_->Run(m.command);
                return true;
            }
        }
    }
    return CVelControl::HandleEvent(e);
}

bool CCyclogramEnvView::WidgetEvent(QEvent* e) {
    if (!editor_) {
        return CVelControl::WidgetEvent(e);
    }
    switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease: {
            auto* m = static_cast<QMouseEvent*>(e);
            const QPoint pos = m->position().toPoint();
            if (e->type() == QEvent::MouseMove) {
                editor_->MouseMove(pos.x(), pos.y());
                return true;
            }
            if (m->button() == Qt::LeftButton) {
                Widget()->setFocus();
                if (e->type() == QEvent::MouseButtonPress) {
                    editor_->MouseDown(pos.x(), pos.y());
                } else if (e->type() == QEvent::MouseButtonDblClick) {
                    editor_->DoubleClick(pos.x(), pos.y());
                } else {
                    editor_->MouseUp(pos.x(), pos.y());
                }
                return true;
            }
            if (m->button() == Qt::RightButton && e->type() == QEvent::MouseButtonRelease &&
                menu_) {
                for (const auto& item : kMenu) {
                    if (menu_->Item(item.id)) {
                        menu_->EnableItem(item.id, editor_->Enabled(item.command));
                    }
                }
                const int def = editor_->DefaultPopupItem() == EnvCommand::TrackerParameters
                                    ? kMenuParameters
                                    : kMenuExact;
                menu_->Menu()->setDefaultAction(menu_->Item(def));
                menu_->Popup(m->globalPosition().toPoint(), this);
                return true;
            }
            return true;
        }
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(e);
            EnvKey key = EnvKey::Other;
            switch (k->key()) {
                case Qt::Key_Left:
                    key = EnvKey::Left;
                    break;
                case Qt::Key_Right:
                    key = EnvKey::Right;
                    break;
                case Qt::Key_Up:
                    key = EnvKey::Up;
                    break;
                case Qt::Key_Down:
                    key = EnvKey::Down;
                    break;
                case Qt::Key_Delete:
                    key = EnvKey::Delete;
                    break;
                default:
                    break;
            }
            const InputMods mods{(k->modifiers() & Qt::ShiftModifier) != 0,
                                 (k->modifiers() & Qt::ControlModifier) != 0};
            // Undo and redo (a Cyrillic layout's letters too: the time line maps them).
            if (mods.ctrl && (k->key() == Qt::Key_Z || k->key() == Qt::Key_Y || k->key() > 0x7F) &&
                keyHook_) {
                return keyHook_(k);
            }
            return editor_->KeyDown(key, mods);
        }
        case QEvent::Resize:
            editor_->SetViewSize(Widget()->width(), Widget()->height());
            return CVelControl::WidgetEvent(e);
        default:
            return CVelControl::WidgetEvent(e);
    }
}

}  // namespace velcora::cyclogram_gui
