// The map window in the main window, offscreen, against the simulated robot:
// what the operator does reaches the robot with the right bytes, and what the
// robot sends shows.
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <cmath>

#include "app/ctl/ctl.h"
#include "gui/main_form_fixture.h"
#include "nav/gui/map_painter.h"
#include "nav/gui/map_view_box.h"
#include "nav/map_format.h"
#include "nav/map_geometry.h"
#include "sim/sim_map.h"

namespace velcora::gui {
namespace {

using nav::CMapViewBox;

class MapWindowTest : public MainFormTest {
  protected:
    // Connected, the map window open and the robot's map arrived.
    void OpenMap() {
        StartRobot();
        Open();
        ASSERT_TRUE(Connect());
        QPushButton* button = nullptr;
        for (auto* b : form->Widget()->findChildren<QPushButton*>()) {
            if (b->text() == QStringLiteral("Окно карты")) {
                button = b;
            }
        }
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        box = dynamic_cast<CMapViewBox*>(form->FindTool("map"));
        ASSERT_NE(box, nullptr);
        ui::test::Flush();
        ASSERT_TRUE(WaitFor([&] { return Map().walls.Count() > 0; }, 10000));
        // The offscreen platform activates every window it shows, the
        // download window too; the keys go to the main window again.
        ASSERT_TRUE(WaitFor([&] { return box->DownloadWindow() == nullptr; }));
        ui::test::Flush();
        QApplication::setActiveWindow(form->Widget());
    }
    nav::CNavProject& Map() { return box->Editor().Map(); }
    QWidget* ViewWidget() { return box->View()->Widget(); }
    QPoint ScreenOf(double x, double y) {
        const nav::ScreenPoint p = box->Editor().Transform().ToScreen(x, y);
        return {p.x, p.y};
    }
    nav::HitResult HitAt(QPoint p) {
        return nav::HitTest(Map(), box->Editor().Transform(), box->Editor().Shape(),
                            {p.x(), p.y()});
    }
    // Pumps until the robot has received one more frame of `type`.
    bool WaitForFrame(msg::Type type, std::size_t before) {
        return WaitFor([&] { return Of(type).size() > before; });
    }

    CMapViewBox* box = nullptr;
};

TEST_F(MapWindowTest, PanelOpensTheWindowWithTheRobotsMap) {
    OpenMap();
    EXPECT_EQ(Map().walls.Count(), sim::RobotMap(*robot).walls.Count());
    EXPECT_EQ(Map().places.Count(), sim::RobotMap(*robot).places.Count());
    EXPECT_EQ(Map().mapId, sim::RobotMap(*robot).mapId);
    // A second press brings the same window forward.
    EXPECT_EQ(form->OpenTool("map"), box);
    // The status bar shows the robot's rangefinders.
    EXPECT_EQ(box->StatusBar()->PaneText(0), QStringLiteral("Разн.:"));
    EXPECT_EQ(box->StatusBar()->PaneText(2), QStringLiteral("Дальномеры:"));
    EXPECT_EQ(box->StatusBar()->PaneText(13), QStringLiteral("6:"));
    EXPECT_EQ(box->StatusBar()->PaneText(15), QStringLiteral("7:"));
    // The tool bar's tooltips, in its order, as the robot's operators know them.
    const QStringList hints{
        QStringLiteral("Новая карта"),
        QStringLiteral("Загрузить карту из файла"),
        QStringLiteral("Сохранить карту как..."),
        QStringLiteral("Загружать карту из памяти робота"),
        QStringLiteral("Загрузить карту в память робота"),
        QStringLiteral("Отключить навигацию"),
        QStringLiteral("Режим навигации"),
        QStringLiteral("Режим записи карты"),
        QStringLiteral("Режим записи продольных линий на полу"),
        QStringLiteral("Ражим записи поперечных линия на полу"),
        QStringLiteral("Разрешение записи картинок"),
        QStringLiteral("Разрешение создания стен при записи по левому дальномеру"),
        QStringLiteral("Разрешение создания стен при записи по переднему дальномеру"),
        QStringLiteral("Разрешение создания стен при записи по правому дальномеру"),
        QStringLiteral("Выделить и переместить"),
        QStringLiteral("Управление просмотром"),
        QStringLiteral("Нарисовать зону"),
        QStringLiteral("Инструмент поворота выделенной части карты"),
        QStringLiteral("Пометить место"),
        QStringLiteral("Центрировать на роботе"),
        QStringLiteral("Отдалить"),
        QStringLiteral("Приблизить")};
    ASSERT_EQ(box->ToolBar().size(), static_cast<std::size_t>(hints.size()));
    for (int i = 0; i < hints.size(); ++i) {
        EXPECT_EQ(box->ToolBar()[static_cast<std::size_t>(i)]->Hint(), hints[i]);
    }
}

TEST_F(MapWindowTest, ModesRAndPermissionsReachTheRobot) {
    OpenMap();
    box->ModeButton(1)->Press();
    ASSERT_TRUE(WaitFor([&] { return sim::MapMode(*robot) == nav::NavMode::Navigation; }));
    Pump();

    // R on the drive joystick: recording, then back to navigation.
    form->DriveJoy()->SetFocus();
    QTest::keyClick(form->DriveJoy()->Widget(), Qt::Key_R);
    // The robot's own report follows; until then an older one may still arrive.
    ASSERT_TRUE(WaitFor([&] {
        return sim::MapMode(*robot) == nav::NavMode::Recording && box->ModeButton(2)->Down();
    }));
    Pump();
    QTest::keyClick(box->View()->Widget(), Qt::Key_R);
    ASSERT_TRUE(WaitFor([&] { return sim::MapMode(*robot) == nav::NavMode::Navigation; }));

    // In a text field "r" is a letter.
    std::size_t modesBefore = Of(msg::kNavModeSet).size();
    // The console's own fields are disabled while connected; a field of the
    // main window stands in for the phrase box.
    auto* field = new QLineEdit(form->Widget());
    field->show();
    field->setFocus();
    QTest::keyClick(field, Qt::Key_R);
    Pump();
    EXPECT_TRUE(field->text().endsWith(QLatin1Char('r')));
    EXPECT_EQ(Of(msg::kNavModeSet).size(), modesBefore);
    delete field;

    // The wall toggles read left, front, right and are bits 3, 2, 4.
    const uint8_t before = sim::MapPermissions(*robot);
    box->PermissionButton(3)->Press();
    ASSERT_TRUE(WaitFor([&] { return sim::MapPermissions(*robot) == (before | 0x08); }));
    box->PermissionButton(5)->Press();
    ASSERT_TRUE(WaitFor([&] { return sim::MapPermissions(*robot) == (before | 0x18); }));
    EXPECT_EQ(Of(msg::kNavPermissionsSet).back().payload,
              std::string(1, static_cast<char>(before | 0x18)));

    // Disconnected, the host field takes the letter too.
    F9();
    ASSERT_TRUE(WaitFor([&] { return form->HostEdit()->LineEdit()->isEnabled(); }));
    modesBefore = Of(msg::kNavModeSet).size();
    form->HostEdit()->SetFocus();
    QTest::keyClick(form->HostEdit()->LineEdit(), Qt::Key_R);
    EXPECT_TRUE(form->HostEdit()->Text().endsWith(QLatin1Char('r')));
    EXPECT_FALSE(box->ModeButton(0)->IsEnabled());
}

TEST_F(MapWindowTest, DraggingTheRobotMovesItsPoseAndGoToDrivesIt) {
    OpenMap();
    // The robot, pressed behind its centre and dragged 40 pixels right.
    box->Editor().SetCentreOnRobot(false);
    nav::CNavRobot& r = Map().robot;
    const QPoint centre = ScreenOf(r.x, r.y);
    const QPoint press(centre.x() - static_cast<int>(std::lround(8 * std::cos(r.angle))),
                       centre.y() + static_cast<int>(std::lround(8 * std::sin(r.angle))));
    ASSERT_EQ(HitAt(press).kind, nav::ItemKind::Robot);
    const double x0 = r.x;
    QTest::mousePress(ViewWidget(), Qt::LeftButton, {}, press);
    for (int dx = 5; dx <= 40; dx += 5) {
        QTest::mouseMove(ViewWidget(), press + QPoint(dx, 0));
    }
    QTest::mouseRelease(ViewWidget(), Qt::LeftButton, {}, press + QPoint(40, 0));
    ASSERT_TRUE(WaitForFrame(msg::kRobotPoseSet, 0));
    ASSERT_TRUE(WaitFor([&] { return std::fabs(sim::MapPose(*robot).x - (x0 + 100)) < 1; }));
    // Loading from the robot is back on after the pose went out.
    EXPECT_TRUE(box->LoadFromRobotButton()->Down());

    // A place, clicked at its point, then "Идти в это место".
    nav::CNavPlace* place = Map().places.Last();
    ASSERT_NE(place, nullptr);
    const QPoint at = ScreenOf(place->x, place->y);
    ASSERT_EQ(HitAt(at).item, place);
    QTest::mouseClick(ViewWidget(), Qt::LeftButton, {}, at);
    EXPECT_EQ(box->Editor().CurrentItem(), place);
    const int32_t number = place->placeNumber;
    ASSERT_TRUE(box->Run(CMapViewBox::kCmdGoTo));
    ASSERT_TRUE(WaitForFrame(msg::kGoToPlace, 0));
    CMemoryStream s;
    s.Assign(Of(msg::kGoToPlace).back().payload);
    EXPECT_EQ(ReadU32(s), static_cast<uint32_t>(number));
    ASSERT_TRUE(WaitFor([&] { return sim::MapDriving(*robot); }));
    EXPECT_TRUE(box->CentreButton()->Down());
}

TEST_F(MapWindowTest, CopyPastePropertiesAndUpload) {
    OpenMap();
    box->Editor().SetLoadFromRobot(false);
    nav::CNavPlace* place = Map().places.First();
    const QPoint at = ScreenOf(place->x, place->y);
    ASSERT_EQ(HitAt(at).item, place);
    QTest::mouseClick(ViewWidget(), Qt::LeftButton, {}, at);
    ASSERT_TRUE(place->selected);

    // Ctrl+C puts the selection on the clipboard; Ctrl+X and Ctrl+V bring it back.
    const int32_t id = place->id;
    QTest::keyClick(ViewWidget(), Qt::Key_C, Qt::ControlModifier);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data && data->hasFormat(QString::fromLatin1(nav::kMapMimeType)));
    const int places = Map().places.Count();
    QTest::keyClick(ViewWidget(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(Map().places.Count(), places - 1);
    QTest::keyClick(ViewWidget(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(Map().places.Count(), places);
    ASSERT_NE(nav::CNavProject::FindById(Map().places, id), nullptr);
    QTest::keyClick(ViewWidget(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Map().places.Count(), places - 1);
    QTest::keyClick(ViewWidget(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Map().places.Count(), places);

    // "Свойства" of that place: a new number and position.
    place = static_cast<nav::CNavPlace*>(nav::CNavProject::FindById(Map().places, id));
    QTest::mouseClick(ViewWidget(), Qt::LeftButton, {}, ScreenOf(place->x, place->y));
    ASSERT_EQ(box->Editor().CurrentItem(), place);
    bool seen = false;
    QTimer::singleShot(50, [&] {
        for (ui::CVelCustomForm* f : ui::CVelCustomForm::Forms()) {
            auto* dialog = dynamic_cast<nav::CPlacePropertyForm*>(f);
            if (!dialog) {
                continue;
            }
            seen = dialog->Text() == QStringLiteral("Свойства места карты");
            static_cast<ui::CVelSpinEdit*>(dialog->Fields()[0])->SetValue(4321);
            static_cast<nav::CMapNumberEdit*>(dialog->Fields()[2])->SetValue(12.5);
            dialog->Accept();
        }
    });
    box->Run(CMapViewBox::kCmdProperties);
    EXPECT_TRUE(seen);
    EXPECT_EQ(place->placeNumber, 4321);
    EXPECT_EQ(place->x, 12.5);

    // The upload window closes once the robot has every chunk.
    const std::size_t begins = Of(msg::kMapUploadBegin).size();
    box->Run(CMapViewBox::kCmdUpload);
    ASSERT_NE(box->UploadWindow(), nullptr);
    EXPECT_EQ(box->UploadWindow()->Text(), QStringLiteral("Передача карты"));
    ASSERT_TRUE(WaitFor([&] { return box->UploadWindow() == nullptr; }, 10000));
    EXPECT_EQ(Of(msg::kMapUploadBegin).size(), begins + 1);
    ASSERT_TRUE(WaitFor([&] { return sim::RobotMap(*robot).FindPlaceByNumber(4321) != nullptr; }));
}

TEST_F(MapWindowTest, SubscriptionOnReconnectAndOpenCloseTwice) {
    OpenMap();
    F9();
    ASSERT_TRUE(WaitFor([&] { return Pane(0) != QStringLiteral("Подключено"); }));
    const std::size_t before = Of(msg::kMapSubscribe).size();
    F9();
    ASSERT_TRUE(WaitForFrame(msg::kMapSubscribe, before));
    const std::string payload = Of(msg::kMapSubscribe).back().payload;
    ASSERT_EQ(payload.size(), 9u);
    EXPECT_EQ(payload[8], 1);
    CMemoryStream s;
    s.Assign(payload);
    EXPECT_EQ(ReadU32(s), Map().mapId);

    // Closed twice while connected: nothing it registered outlives it, and
    // the subscription is the empty one again.
    for (int round = 0; round < 2; ++round) {
        box->Close();
        ASSERT_TRUE(WaitFor([&] { return form->FindTool("map") == nullptr; }));
        Pump();
        box = dynamic_cast<CMapViewBox*>(form->OpenTool("map"));
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(WaitFor([&] { return Map().walls.Count() > 0; }, 10000));
    }
    box->Close();
    ASSERT_TRUE(WaitFor([&] { return form->FindTool("map") == nullptr; }));
    const std::size_t again = Of(msg::kMapSubscribe).size();
    form->Controller().OnConnectionStateChanged();
    ASSERT_TRUE(WaitForFrame(msg::kMapSubscribe, again));
    EXPECT_TRUE(Of(msg::kMapSubscribe).back().payload.empty());
}

TEST_F(MapWindowTest, WindowPixelsEqualNavmRender) {
    OpenMap();
    box->Editor().SetLoadFromRobot(false);
    ui::test::Flush();
    const QImage shown = ViewWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const nav::CMapTransform& t = box->Editor().Transform();
    const std::string file = (dir / "shown.navm").string();
    const std::string picture = (dir / "shown.png").string();
    ASSERT_TRUE(nav::SaveFile(Map(), file));

    ctl::Registry registry;
    ctl::RegisterNavCommands(registry);
    const auto render = [&](std::vector<std::string> words) {
        ctl::Args args(std::move(words));
        return registry.Find("navm")->run(args);
    };
    char number[64];
    std::snprintf(number, sizeof number, "%.17g", t.Scale());
    const std::string scale = number;
    std::snprintf(number, sizeof number, "%.17g", t.Centre().x);
    const std::string cx = number;
    std::snprintf(number, sizeof number, "%.17g", t.Centre().y);
    const std::string cy = number;
    const std::string size = std::to_string(shown.width()) + "x" + std::to_string(shown.height());
    ASSERT_EQ(render({"render", file, picture, "--size", size, "--scale", scale, "--centre", cx, cy,
                      "--ini", iniPath}),
              ctl::kExitDone);
    const QImage rendered(QString::fromStdString(picture));
    ASSERT_EQ(shown.size(), rendered.size());
    EXPECT_TRUE(shown == rendered.convertToFormat(QImage::Format_RGB32));

    // Exit codes: 1 for a map or picture that cannot be had, 2 for bad arguments.
    EXPECT_EQ(render({"render", (dir / "missing.navm").string(), picture}), ctl::kExitFailed);
    EXPECT_EQ(render({"render", file, (dir / "no/such/dir/x.png").string()}), ctl::kExitFailed);
    EXPECT_EQ(render({"render", file}), ctl::kExitUsage);
    EXPECT_EQ(render({"render", file, picture, "--size", "0x10"}), ctl::kExitUsage);
    EXPECT_EQ(render({"render", file, picture, "--scale", "nan"}), ctl::kExitUsage);
    EXPECT_EQ(render({"render", file, picture, "--centre", "1"}), ctl::kExitUsage);
    EXPECT_EQ(render({"render", file, picture, "--bogus"}), ctl::kExitUsage);
    // Fitted by default: 1280 x 800.
    ASSERT_EQ(render({"render", file, picture}), ctl::kExitDone);
    EXPECT_EQ(QImage(QString::fromStdString(picture)).size(), QSize(1280, 800));
}

// A robot whose camera records pictures without pixels: the map marks them
// and the status shows "П" while it records.
TEST_F(MapWindowTest, PicturesWithoutPixelsAreMarked) {
    sim::SimOptions o;
    o.port = 0;
    o.password = Utf8ToAnsi("секрет");
    o.videoWidth = 320;
    o.videoHeight = 240;
    o.blankImages = true;
    robot = std::make_unique<sim::CSimRobot>(reactor, o);
    sim::InstallFeatures(*robot);
    ASSERT_TRUE(robot->Start());
    Open();
    ASSERT_TRUE(Connect());
    box = dynamic_cast<CMapViewBox*>(form->OpenTool("map"));
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(WaitFor([&] { return Map().walls.Count() > 0; }, 10000));
    const int images = Map().images.Count();
    box->ModeButton(2)->Press();
    // Off to the farthest place: pictures are taken every metre on the way.
    box->Editor().Transfer().SendGoToPlace(Map().places.Last()->placeNumber);
    ASSERT_TRUE(WaitFor(
        [&] {
            return Map().images.Count() > images &&
                   box->StatusBar()->PaneText(1).endsWith(QStringLiteral("П"));
        },
        20000));
    EXPECT_EQ(Map().images.Last()->PixelCount(), 0);
    // A mode other than recording clears the mark.
    box->ModeButton(1)->Press();
    EXPECT_FALSE(box->StatusBar()->PaneText(1).endsWith(QStringLiteral("П")));
}

}  // namespace
}  // namespace velcora::gui
