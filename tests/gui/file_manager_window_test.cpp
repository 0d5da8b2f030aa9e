// The file manager window in the console against the simulated robot with
// its disk: the button, both panels, the keys, drag and drop, the copy
// dialog, the questions.
#include <QAbstractButton>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QTimer>
#include <QTreeView>
#include <deque>
#include <fstream>
#include <sstream>

#include "files/gui/file_manager_form.h"
#include "files/transfer_list.h"
#include "gui/main_form_fixture.h"
#include "link/settings.h"
#include "sim/sim_files.h"
#include "ui/vel_dialogs.h"

namespace velcora::gui {
namespace {

namespace fsys = std::filesystem;
using files::CFileManagerForm;

std::string ReadAll(const fsys::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const fsys::path& p, const std::string& data) {
    fsys::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
}

struct Choice {
    QString title, text;
    QStringList buttons;
};

class FileManagerWindowTest : public MainFormTest {
  protected:
    FileManagerWindowTest() {
        local = dir / "local";
        robotRoot = dir / "robot";
        WriteAll(local / "local.txt", "local bytes");
        WriteAll(local / "notes.txt", std::string(70000, 'n'));
        Ini(kSectionControls, "remoteDesktop", "1");
        Ini(kFileManagerSection, kLocalFolderKey, local.string());
        Ini(kFileManagerSection, kRemoteFolderKey, "C:\\demo");
        previousChoice = ui::SetChoiceSink(
            [this](const QString& title, const QString& text, const QStringList& buttons) {
                choices.push_back({title, text, buttons});
                if (answers.empty()) {
                    return -1;
                }
                const int a = answers.front();
                answers.pop_front();
                return a;
            });
        previousInput = ui::SetInputSink([this](const QString&, const QString&, QString& value) {
            if (inputs.empty()) {
                return false;
            }
            value = inputs.front();
            inputs.pop_front();
            return true;
        });
    }
    ~FileManagerWindowTest() override {
        ui::SetChoiceSink(previousChoice);
        ui::SetInputSink(previousInput);
    }

    void StartFilesRobot(const std::function<void(sim::SimOptions&)>& tweak = {}) {
        sim::SimOptions o;
        o.port = 0;
        o.password = Utf8ToAnsi("секрет");
        o.root = robotRoot.string();
        if (tweak) {
            tweak(o);
        }
        robot = std::make_unique<sim::CSimRobot>(reactor, o);
        sim::InstallFeatures(*robot);
        ASSERT_TRUE(robot->Start());
    }
    fsys::path RobotDemo() const { return robotRoot / "files" / "C" / "demo"; }

    CFileManagerForm* OpenFiles() {
        return dynamic_cast<CFileManagerForm*>(form->OpenTool("files"));
    }
    // Connected, with the file manager open and the right panel filled.
    CFileManagerForm* Ready(const std::function<void(sim::SimOptions&)>& tweak = {}) {
        StartFilesRobot(tweak);
        Open();
        if (!Connect()) {
            ADD_FAILURE() << "no connection";
            return nullptr;
        }
        fm = OpenFiles();
        if (!fm || !WaitFor([&] { return Row(PanelSide::Right, u"readme.txt") >= 0; })) {
            ADD_FAILURE() << "the robot's panel stayed empty";
        }
        return fm;
    }

    ui::CVelListView* List(PanelSide side) const { return fm->Panel(side)->List(); }
    int Row(PanelSide side, std::u16string_view name) const {
        const auto& e = fm->Panel(side)->Entries();
        for (std::size_t i = 0; i < e.size(); ++i) {
            if (e[i].name == name) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    // Clicks the rows like the operator: the first plainly, the rest with Ctrl.
    void Select(PanelSide side, std::initializer_list<std::u16string_view> names) {
        Qt::KeyboardModifiers mods = Qt::NoModifier;
        QTreeView* view = List(side)->View();
        for (auto name : names) {
            const int row = Row(side, name);
            ASSERT_GE(row, 0) << WideToUtf8(name);
            List(side)->ScrollTo(row);
            const QRect r = view->visualRect(view->model()->index(row, 0));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, mods, r.center());
            mods = Qt::ControlModifier;
        }
    }
    void Key(PanelSide side, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(List(side)->Widget(), static_cast<Qt::Key>(key), mods);
    }
    std::u16string Folder(PanelSide side) const {
        return fm->Controller().Panel(side).Folder().value_or(u"");
    }
    std::u16string CurrentName(PanelSide side) const {
        const auto c = fm->Controller().Current(side);
        return c ? fm->Controller().Panel(side).Entries()[*c].name : u"";
    }
    sim::SimFiles& SimState() { return robot->Feature<sim::SimFiles>(); }
    // Runs `action` every few milliseconds until it returns true (it runs in
    // the loops the copy itself runs).
    void Meanwhile(std::function<bool()> action) {
        watcher = std::make_unique<QTimer>();
        QObject::connect(watcher.get(), &QTimer::timeout, [this, action = std::move(action)] {
            if (action()) {
                watcher->stop();
            }
        });
        watcher->start(5);
    }

    fsys::path local, robotRoot;
    CFileManagerForm* fm = nullptr;
    std::vector<Choice> choices;
    std::deque<int> answers;
    std::deque<QString> inputs;
    ui::ChoiceSink previousChoice;
    ui::InputSink previousInput;
    std::unique_ptr<QTimer> watcher;
};

struct MimeCase {
    const char* name;
    std::vector<std::pair<const char*, std::string>> formats;
    std::optional<std::vector<std::u16string>> expected;
};

class FileMimeTest : public ::testing::TestWithParam<MimeCase> {};

// Reading prefers our own block; the desktop's lists carry local files only.
TEST_P(FileMimeTest, ItemsOfPastedOrDroppedData) {
    QMimeData data;
    for (const auto& [format, bytes] : GetParam().formats) {
        data.setData(QString::fromLatin1(format), QByteArray::fromStdString(bytes));
    }
    EXPECT_EQ(files::FilesFromMime(&data), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FileMimeTest,
    ::testing::Values(
        MimeCase{"BlockFirst",
                 {{kFileListMimeType, EncodeFileDrop({u"@C:\\demo\\a.txt", u"/tmp/b"})},
                  {kUriListMimeType, "file:///tmp/other\r\n"}},
                 std::vector<std::u16string>{u"@C:\\demo\\a.txt", u"/tmp/b"}},
        MimeCase{"BrokenBlockFallsBackToUris",
                 {{kFileListMimeType, "\x14\0\0"}, {kUriListMimeType, "file:///tmp/x%20y\r\n"}},
                 std::vector<std::u16string>{u"/tmp/x y"}},
        MimeCase{"CopiedFilesList",
                 {{files::kGnomeCopiedFilesMimeType, "copy\nfile:///tmp/a\nfile:///tmp/b"}},
                 std::vector<std::u16string>{u"/tmp/a", u"/tmp/b"}},
        MimeCase{"RemoteUrisAreNoFiles",
                 {{kUriListMimeType, "http://example.org/a\r\nfile://host/b\r\n"}},
                 std::nullopt},
        MimeCase{"Nothing", {{"text/plain", "/tmp/a"}}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileMime, RobotItemsStayInTheBlock) {
    std::unique_ptr<QMimeData> data(files::MakeFileMimeData({u"#C:\\demo", u"/tmp/local file"}));
    EXPECT_EQ(data->data(QStringLiteral("text/uri-list")).toStdString(),
              "file:///tmp/local%20file\r\n");
    EXPECT_EQ(data->data(QString::fromLatin1(files::kGnomeCopiedFilesMimeType)).toStdString(),
              "copy\nfile:///tmp/local%20file");
    EXPECT_EQ(files::FilesFromMime(data.get()),
              (std::vector<std::u16string>{u"#C:\\demo", u"/tmp/local file"}));
}

TEST_F(FileManagerWindowTest, ButtonOpensOneWindowThatComesAndGoesCleanly) {
    StartFilesRobot();
    Open();
    ASSERT_TRUE(Connect());
    QAbstractButton* button = nullptr;
    for (auto* b : form->Widget()->findChildren<QAbstractButton*>()) {
        if (b->text() == QStringLiteral("Файловый менеджер")) {
            button = b;
        }
    }
    ASSERT_NE(button, nullptr);
    for (int round = 0; round < 2; ++round) {
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_EQ(form->MdiChildren().size(), 1u);
        fm = dynamic_cast<CFileManagerForm*>(form->FindTool("files"));
        ASSERT_NE(fm, nullptr);
        EXPECT_EQ(fm->SubWindow()->windowTitle(), QStringLiteral("Файловый менеджер"));
        EXPECT_EQ(fm->SubWindow()->width(), CFileManagerForm::kWidth);
        EXPECT_EQ(fm->SubWindow()->height(), CFileManagerForm::kHeight);
        ASSERT_TRUE(WaitFor([&] { return Row(PanelSide::Right, u"readme.txt") >= 0; }));
        // A state report reaches it while it is open ...
        form->Controller().OnConnectionStateChanged();
        Pump();
        fm->Close();
        ASSERT_TRUE(WaitFor([&] { return form->FindTool("files") == nullptr; }));
        // ... and nothing after it has gone.
        form->Controller().OnConnectionStateChanged();
        Pump();
    }
    // The folders were remembered.
    IniFile ini(iniPath);
    ini.Load();
    EXPECT_EQ(ini.GetString(kFileManagerSection, kRemoteFolderKey), "C:\\demo");
    EXPECT_EQ(ini.GetString(kFileManagerSection, kLocalFolderKey), local.string());
}

TEST_F(FileManagerWindowTest, RightPanelFillsOnConnect) {
    StartFilesRobot();
    Open();
    fm = OpenFiles();
    ASSERT_NE(fm, nullptr);
    EXPECT_FALSE(fm->Panel(PanelSide::Right)->IsEnabled());
    EXPECT_EQ(Row(PanelSide::Left, u"local.txt") >= 0, true);
    ASSERT_TRUE(Connect());
    ASSERT_TRUE(WaitFor([&] { return Row(PanelSide::Right, u"readme.txt") >= 0; }));
    EXPECT_TRUE(fm->Panel(PanelSide::Right)->IsEnabled());
    EXPECT_EQ(Folder(PanelSide::Right), u"C:\\demo");
    EXPECT_TRUE(fm->ToolButton(ToolCommand::Restart)->IsEnabled());
}

TEST_F(FileManagerWindowTest, KeysDriveBothPanels) {
    ASSERT_TRUE(Ready());
    const auto L = PanelSide::Left, R = PanelSide::Right;

    Select(R, {u"sounds"});
    Key(R, Qt::Key_Return);
    EXPECT_EQ(Folder(R), u"C:\\demo\\sounds");
    Key(R, Qt::Key_Backspace);
    EXPECT_EQ(Folder(R), u"C:\\demo");
    EXPECT_EQ(CurrentName(R), u"sounds") << "going up focuses the folder left";

    // F5 both ways, every byte across.
    Select(R, {u"readme.txt", u"telemetry.bin"});
    Key(R, Qt::Key_F5);
    EXPECT_EQ(ReadAll(local / "telemetry.bin"), ReadAll(RobotDemo() / "telemetry.bin"));
    EXPECT_EQ(ReadAll(local / "readme.txt"), ReadAll(RobotDemo() / "readme.txt"));
    Select(L, {u"local.txt"});
    Key(L, Qt::Key_F5);
    EXPECT_EQ(ReadAll(RobotDemo() / "local.txt"), "local bytes");

    // Ctrl+C on the left, Tab, Ctrl+V on the right.
    Select(L, {u"notes.txt"});
    Key(L, Qt::Key_C, Qt::ControlModifier);
    Key(L, Qt::Key_Tab);
    EXPECT_EQ(fm->Controller().Focus(), R);
    Key(R, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(ReadAll(RobotDemo() / "notes.txt"), std::string(70000, 'n'));

    // Del asks, "Да" deletes.
    Select(R, {u"local.txt"});
    answers = {0};
    Key(R, Qt::Key_Delete);
    ASSERT_FALSE(choices.empty());
    EXPECT_EQ(choices.back().title, QStringLiteral("Удалить"));
    EXPECT_FALSE(fsys::exists(RobotDemo() / "local.txt"));

    // F7 makes a folder and focuses it; F2 renames it in place.
    inputs = {QStringLiteral("new-folder")};
    Key(R, Qt::Key_F7);
    EXPECT_TRUE(fsys::is_directory(RobotDemo() / "new-folder"));
    EXPECT_EQ(CurrentName(R), u"new-folder");
    Key(R, Qt::Key_F2);
    ASSERT_TRUE(List(R)->IsEditing());
    auto* editor = List(R)->View()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "renamed");
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return fsys::is_directory(RobotDemo() / "renamed"); }));
    ASSERT_TRUE(WaitFor([&] { return CurrentName(R) == u"renamed"; }));

    // F8 deletes as Del does.
    answers = {0};
    Select(R, {u"renamed"});
    Key(R, Qt::Key_F8);
    EXPECT_FALSE(fsys::exists(RobotDemo() / "renamed"));

    // Ctrl+R reads the folder again, keeping the focused entry.
    Select(R, {u"readme.txt"});
    WriteAll(RobotDemo() / "added.txt", "x");
    Key(R, Qt::Key_R, Qt::ControlModifier);
    EXPECT_GE(Row(R, u"added.txt"), 0);
    EXPECT_EQ(CurrentName(R), u"readme.txt");

    // Ctrl+A selects everything.
    Key(R, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(fm->Controller().Selection(R).size(), fm->Panel(R)->Entries().size());
    EXPECT_EQ(List(R)->SelectedRows().size(), fm->Panel(R)->Entries().size());

    // Tab back, Enter on ".." goes up.
    Key(R, Qt::Key_Tab);
    EXPECT_EQ(fm->Controller().Focus(), L);
    Select(L, {u".."});
    Key(L, Qt::Key_Return);
    EXPECT_EQ(Folder(L), Utf8ToWide(dir.string()));
    EXPECT_EQ(CurrentName(L), u"local");
}

// Keys typed into the path box reach the combo box, which has the focus
// and passes them to its line edit itself; Enter there opens the folder.
TEST_F(FileManagerWindowTest, TypedPathAndEnterOpenTheFolder) {
    ASSERT_TRUE(Ready());
    fsys::create_directories(local / "typed");
    QComboBox* combo = fm->Panel(PanelSide::Left)->Combo()->Combo();
    combo->setFocus();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo, QString::fromStdString((local / "typed").string()));
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(Folder(PanelSide::Left), (local / "typed").u16string());
}

TEST_F(FileManagerWindowTest, DroppedUriListFolderIsCopiedEvenWhenMoveIsProposed) {
    WriteAll(dir / "tree" / "a.txt", "A");
    WriteAll(dir / "tree" / "sub" / "b.txt", "B");
    ASSERT_TRUE(Ready());
    QTreeView* view = List(PanelSide::Right)->View();
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"),
                 QByteArray::fromStdString(EncodeUriList({Utf8ToWide((dir / "tree").string())})));
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::ShiftModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                    Qt::ShiftModifier);
    drop.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(view->viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction) << "the desktop must not delete its tree";
    ASSERT_TRUE(WaitFor([&] { return fsys::exists(RobotDemo() / "tree" / "sub" / "b.txt"); }));
    EXPECT_EQ(ReadAll(RobotDemo() / "tree" / "a.txt"), "A");
    EXPECT_TRUE(fsys::exists(dir / "tree" / "sub" / "b.txt"));
    ASSERT_TRUE(WaitFor([&] { return Row(PanelSide::Right, u"tree") >= 0; }));

    // Nothing is dropped back on the list it came from.
    Select(PanelSide::Right, {u"tree"});
    std::unique_ptr<QMimeData> own(List(PanelSide::Right)->On().dragData({0}));
    ASSERT_TRUE(own);
    EXPECT_FALSE(List(PanelSide::Right)->On().canDrop(own.get(), view));
    EXPECT_TRUE(List(PanelSide::Left)->On().canDrop(own.get(), view));
}

TEST_F(FileManagerWindowTest, DragFromTheRobotCarriesMarkedItemsAndNoUriList) {
    ASSERT_TRUE(Ready());
    Select(PanelSide::Right, {u"sounds", u"readme.txt"});
    std::unique_ptr<QMimeData> data(
        List(PanelSide::Right)->On().dragData(List(PanelSide::Right)->SelectedRows()));
    ASSERT_TRUE(data);
    EXPECT_FALSE(data->hasFormat(QStringLiteral("text/uri-list")));
    EXPECT_FALSE(data->hasFormat(QString::fromLatin1(files::kGnomeCopiedFilesMimeType)));
    const QByteArray block = data->data(QString::fromLatin1(kFileListMimeType));
    const auto items = DecodeFileDrop(std::string_view(block.constData(), block.size()));
    ASSERT_TRUE(items);
    EXPECT_EQ(*items,
              (std::vector<std::u16string>{u"#C:\\demo\\sounds", u"@C:\\demo\\readme.txt"}));

    // Local items go to the desktop as well.
    Select(PanelSide::Left, {u"local.txt"});
    std::unique_ptr<QMimeData> mine(
        List(PanelSide::Left)->On().dragData(List(PanelSide::Left)->SelectedRows()));
    ASSERT_TRUE(mine);
    EXPECT_TRUE(mine->hasFormat(QStringLiteral("text/uri-list")));
    EXPECT_TRUE(mine->hasFormat(QString::fromLatin1(files::kGnomeCopiedFilesMimeType)));
}

TEST_F(FileManagerWindowTest, CancelMidFileLeavesNothingAndShowsTheSpeedFirst) {
    ASSERT_TRUE(Ready([](sim::SimOptions& o) { o.fileRateKbps = 64; }));
    QString rateSeen;
    Meanwhile([&] {
        files::CCopyFileDialog* d = fm->CopyDialog();
        if (!d || !d->Widget()->isVisible() || d->RateLabel()->Text().isEmpty()) {
            return false;
        }
        rateSeen = d->RateLabel()->Text();
        QTest::mouseClick(d->CancelButton()->Widget(), Qt::LeftButton);
        return true;
    });
    Select(PanelSide::Right, {u"telemetry.bin"});
    Key(PanelSide::Right, Qt::Key_F5);
    EXPECT_TRUE(rateSeen.startsWith(QStringLiteral("Скорость: "))) << rateSeen.toStdString();
    EXPECT_TRUE(rateSeen.contains(QStringLiteral("Осталось: 0:0"))) << rateSeen.toStdString();
    EXPECT_FALSE(fsys::exists(local / "telemetry.bin"));
    EXPECT_FALSE(fsys::exists(local / "telemetry.bin_"));
    EXPECT_FALSE(fm->CopyDialog()->Widget()->isVisible());
    EXPECT_LE(fm->CopyDialog()->Repaints(), 200);
}

TEST_F(FileManagerWindowTest, ClosingDuringACopyWaitsForItAndLeavesNothing) {
    ASSERT_TRUE(Ready([](sim::SimOptions& o) { o.fileRateKbps = 64; }));
    Meanwhile([&] {
        files::CCopyFileDialog* d = fm->CopyDialog();
        if (!d || d->FileBar()->Position() <= 0) {
            return false;
        }
        fm->Close();
        return true;
    });
    Select(PanelSide::Right, {u"telemetry.bin"});
    Key(PanelSide::Right, Qt::Key_F5);
    ASSERT_TRUE(WaitFor([&] { return form->FindTool("files") == nullptr; }));
    EXPECT_FALSE(fsys::exists(local / "telemetry.bin"));
    EXPECT_FALSE(fsys::exists(local / "telemetry.bin_"));
}

TEST_F(FileManagerWindowTest, ClosingTheConsoleDuringACopyClosesItAfterwards) {
    ASSERT_TRUE(Ready([](sim::SimOptions& o) { o.fileRateKbps = 64; }));
    QPointer<QWidget> window(form->Widget());
    Meanwhile([&] {
        files::CCopyFileDialog* d = fm->CopyDialog();
        if (!d || d->FileBar()->Position() <= 0) {
            return false;
        }
        form->Close(0);
        return true;
    });
    Select(PanelSide::Right, {u"telemetry.bin"});
    Key(PanelSide::Right, Qt::Key_F5);
    ASSERT_TRUE(WaitFor([&] { return window.isNull(); }));
    form = nullptr;
    EXPECT_FALSE(fsys::exists(local / "telemetry.bin"));
    EXPECT_FALSE(fsys::exists(local / "telemetry.bin_"));
}

TEST_F(FileManagerWindowTest, UnreadableFileIsSkippedWithContinue) {
    ASSERT_TRUE(Ready([](sim::SimOptions& o) { o.unreadable = {"readme.txt"}; }));
    Select(PanelSide::Right, {u"readme.txt", u"robot.ini"});
    answers = {2};  // "Продолжить"
    Key(PanelSide::Right, Qt::Key_F5);
    ASSERT_EQ(choices.size(), 1u);
    EXPECT_EQ(choices[0].title, QStringLiteral("Ошибка"));
    EXPECT_EQ(choices[0].buttons,
              (QStringList{QStringLiteral("Отмена"), QStringLiteral("Повторить"),
                           QStringLiteral("Продолжить")}));
    EXPECT_TRUE(choices[0].text.startsWith(QStringLiteral("Невозможно прочитать файл")));
    EXPECT_FALSE(fsys::exists(local / "readme.txt"));
    EXPECT_EQ(ReadAll(local / "robot.ini"), ReadAll(RobotDemo() / "robot.ini"));
}

TEST_F(FileManagerWindowTest, RestartAsksFirst) {
    ASSERT_TRUE(Ready());
    QWidget* restart = fm->ToolButton(ToolCommand::Restart)->Widget();
    answers = {1};  // "Нет"
    QTest::mouseClick(restart, Qt::LeftButton);
    ASSERT_EQ(choices.size(), 1u);
    EXPECT_EQ(choices[0].title, QStringLiteral("Перезапуск"));
    EXPECT_EQ(choices[0].buttons, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет")}));
    answers = {0};  // "Да"
    QTest::mouseClick(restart, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return SimState().restarts == 1; }));
    Pump();
    EXPECT_EQ(SimState().restarts, 1);
}

TEST_F(FileManagerWindowTest, NamesArePlainTextAndSlashesAreNoNewName) {
    WriteAll(local / "<b>x", "bold?");
    ASSERT_TRUE(Ready());
    const int row = Row(PanelSide::Left, u"<b>x");
    ASSERT_GE(row, 0);
    QAbstractItemModel* model = List(PanelSide::Left)->View()->model();
    EXPECT_EQ(model->data(model->index(row, 0)).toString(), QStringLiteral("<b>x"));
    Select(PanelSide::Left, {u"<b>x"});
    answers = {1};  // "Нет"
    Key(PanelSide::Left, Qt::Key_Delete);
    ASSERT_EQ(choices.size(), 1u);
    EXPECT_EQ(choices[0].text, QStringLiteral("Вы уверены, что хотите удалить \"<b>x\"?"));
    // The robot's disk takes no "<" in a name: the copy fails, its label stays.
    Key(PanelSide::Left, Qt::Key_F5);
    ASSERT_EQ(choices.size(), 2u);
    EXPECT_TRUE(choices[1].text.startsWith(QStringLiteral("Невозможно создать файл")));
    EXPECT_TRUE(fsys::exists(local / "<b>x"));
    auto* label = qobject_cast<QLabel*>(fm->CopyDialog()->CopyLabel()->Widget());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_TRUE(label->text().endsWith(QStringLiteral("/<b>x")));

    Select(PanelSide::Left, {u"local.txt"});
    Key(PanelSide::Left, Qt::Key_F2);
    auto* editor = List(PanelSide::Left)->View()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "a/b");
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));
    EXPECT_EQ(errors.back(),
              "Название файла или директориии не должно содержать специальные символы!");
    EXPECT_TRUE(fsys::exists(local / "local.txt"));
    EXPECT_FALSE(fsys::exists(local / "a"));
}

}  // namespace
}  // namespace velcora::gui
