#include "gui/sample_form.h"

#include "ui/vel_controls.h"
#include "ui/vel_form.h"
#include "ui/vel_joy.h"

namespace velcora::ui::test {

SampleForm BuildSampleForm() {
    SampleForm s;
    s.form = new CVelForm(PackPosition(40, 40), 720, 430, QStringLiteral("Velcora — пример"));
    CVelForm* f = s.form;
    f->SetMargin(4);

    s.status = new CVelStatusBar(f, {{300, true}, {150}, {80}, {80}, {80}, {80}});
    s.status->SetPaneText(0, QStringLiteral("Подключено"));
    s.status->SetPaneText(1, QStringLiteral("Вх.поток (кБит/сек):"));
    s.status->SetPaneText(2, QStringLiteral("12.50"));
    s.status->SetPaneText(3, QStringLiteral("Батарея:"));
    s.status->SetPaneText(4, QStringLiteral("±87%"));

    auto* conn = new CVelGroupBox(f, kAlignTop, 0, 96, QStringLiteral("Подключение"));
    conn->SetFlowRowCentred(true);
    auto* direct = new CVelRadio(conn, kPlaceFlow, 100, 22, QStringLiteral("Напрямую"));
    direct->SetChecked(true);
    new CVelRadio(conn, kPlaceFlow, 130, 22, QStringLiteral("Через туннель"));
    new CVelLabel(conn, kPlaceFlow, 40, 22, QStringLiteral("Хост:"));
    new CVelEdit(conn, kPlaceFlow, 130, 24, QStringLiteral("127.0.0.1"));
    new CVelLabel(conn, kPlaceFlow, 56, 22, QStringLiteral("Пароль:"));
    auto* pass = new CVelEdit(conn, kPlaceFlow, 90, 24, QStringLiteral("secret"));
    pass->SetPassword(true);
    conn->FlowNewRow();
    new CVelLabel(conn, kPlaceFlow, 40, 22, QStringLiteral("Порт:"));
    new CVelSpinEdit(conn, kPlaceFlow, 80, 24, 1, 65535, 5554);
    auto* connect = new CVelSpdBtn(conn, kPlaceFlow, 120, 26, QStringLiteral("Подключение"));
    connect->SetLatching(true);
    connect->SetHint(QStringLiteral("Установить подключение к роботу (F9)"));

    auto* chassis = new CVelGroupBox(f, kAlignLeft, 300, 0, QStringLiteral("Ходовая часть"));
    chassis->SetFlowRowCentred(true);
    s.drive = new CVelJoy(chassis, kPlaceFlow, true);
    s.drive->SetPercent(30);
    s.drive->SetValues(0.35f, 0.55f, 0.25f);
    chassis->FlowNewRow();
    new CVelCheckBox(chassis, kPlaceFlow, 120, 22, QStringLiteral("Плавный ход"));
    chassis->FlowNewRow();
    new CVelLabel(chassis, kPlaceFlow, 80, 22, QStringLiteral("Громкость:"));
    auto* volume = new CVelTrackBar(chassis, kPlaceFlow, 170, 24, 0, 100);
    volume->SetPosition(75);
    chassis->FlowNewRow();
    new CVelLabel(chassis, kPlaceFlow, 120, 22, QStringLiteral("Режим движения:"));
    auto* mode = new CVelComboBox(chassis, kPlaceFlow, 130, 24);
    mode->SetItems(
        {QStringLiteral("Движение"), QStringLiteral("Поворот"), QStringLiteral("Стрейф")});
    mode->SetItemIndex(0);

    auto* head = new CVelGroupBox(f, kAlignLeft, 170, 0, QStringLiteral("Голова"));
    s.head = new CVelJoy(head, kPlaceFlow, false);
    s.head->SetValues(-0.4f, 0.3f, 0);
    head->FlowNewRow();
    new CVelButton(head, kPlaceFlow, 136, 26, QStringLiteral("Домой (M)"));

    auto* video = new CVelPanel(f, kAlignClient, 0, 0);
    video->SetColor(QColor(0x2B, 0x3A, 0x4F));
    video->SetGradient(QColor(0x10, 0x16, 0x20));
    video->SetMargin(8);
    auto* caption =
        new CVelDrawLabel(video, 0, 0, 200, 24, QStringLiteral("Видео: камера 1"), Qt::AlignCenter);
    caption->SetTextColor(QColor(0xE0, 0xE6, 0xEE));
    auto* hint = new CVelDrawLabel(video, 0, 30, 200, 20, QStringLiteral("нет изображения"),
                                   Qt::AlignCenter);
    hint->SetTextColor(QColor(0x90, 0x9A, 0xA8));
    return s;
}

}  // namespace velcora::ui::test
