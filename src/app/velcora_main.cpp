// velcora: the operator console.
//   velcora [--ini PATH] [--demo] [--open NAME[,NAME...]] [--screenshot FILE.png [--after MS]]
//           [--record FILE [--record-max-mb N]] [--replay FILE]
#include <sys/prctl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/version.h"
#include "console/gui/main_form.h"
#include "link/handshake.h"
#include "link/ini_file.h"
#include "link/session_file.h"
#include "media/gui/telnet_form.h"
#include "platform/qt_font_preload.h"
#include "platform/qt_reactor.h"
#include "platform/sdl_library.h"
#include "platform/startup_trace.h"

namespace {

namespace fs = std::filesystem;

// SIGINT and SIGTERM close the window the ordinary way, so that the settings
// are saved and the demo's robot and folder are cleaned up.
volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

struct Options {
    std::string ini;
    bool demo = false;
    std::string screenshot;
    int afterMs = 2000;
    std::vector<std::string> open;  // tool windows to open at start-up
    std::string record;             // the session into this recording
    long long recordMaxMb = 0;      // a new numbered file past this size
    std::string replay;             // the robot replays this recording
};

int Usage(const char* error) {
    if (error)
        std::fprintf(stderr, "velcora: %s\n\n", error);
    std::fprintf(error ? stderr : stdout,
                 "usage: velcora [--ini PATH] [--demo] [--open NAME[,NAME...]]\n"
                 "               [--screenshot FILE.png [--after MS]]\n"
                 "               [--record FILE [--record-max-mb N]] [--replay FILE]\n\n"
                 "  --ini PATH          the settings file (default: velcora.ini beside the\n"
                 "                      program, or $XDG_CONFIG_HOME/velcora/velcora.ini when\n"
                 "                      that folder cannot be written)\n"
                 "  --demo              start a simulated robot, connect to it, and show its\n"
                 "                      cameras and sound\n"
                 "  --open NAMES        open tool windows at start-up (comma-separated; see\n"
                 "                      below)\n"
                 "  --screenshot FILE   save a picture of the main window and exit; with --open,\n"
                 "                      of the last tool window opened\n"
                 "  --after MS          wait MS milliseconds before the picture (default 2000)\n"
                 "  --record FILE       record the session (from the next connection on)\n"
                 "  --record-max-mb N   past N MB the recording goes on in FILE-2, FILE-3...\n"
                 "  --replay FILE       like --demo, with a robot that replays a recording\n"
                 "  --version           print the version and exit\n"
                 "  -h, --help          print this help and exit\n\n"
                 "Tool windows for --open: map, cyclograms, chatbot, files, desktop, telnet,\n"
                 "service (those this build has).\n");
    return error ? 2 : 0;
}

bool ParseArgs(int argc, char** argv, Options& o, int& exitCode) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--ini") {
            const char* v = value();
            if (!v)
                return exitCode = Usage("--ini needs a file"), false;
            o.ini = v;
        } else if (a == "--demo") {
            o.demo = true;
        } else if (a == "--screenshot") {
            const char* v = value();
            if (!v)
                return exitCode = Usage("--screenshot needs a file"), false;
            o.screenshot = v;
        } else if (a == "--open") {
            const char* v = value();
            if (!v || !*v)
                return exitCode = Usage("--open needs tool window names"), false;
            std::stringstream names(v);
            for (std::string name; std::getline(names, name, ',');) {
                if (!name.empty())
                    o.open.push_back(name);
            }
        } else if (a == "--after") {
            const char* v = value();
            char* end = nullptr;
            const long ms = v ? std::strtol(v, &end, 10) : -1;
            if (!v || *end != '\0' || ms < 0 || ms > 600000)
                return exitCode = Usage("--after needs milliseconds (0..600000)"), false;
            o.afterMs = static_cast<int>(ms);
        } else if (a == "--record") {
            const char* v = value();
            if (!v || !*v)
                return exitCode = Usage("--record needs a file"), false;
            o.record = v;
        } else if (a == "--record-max-mb") {
            const char* v = value();
            char* end = nullptr;
            const long long mb = v ? std::strtoll(v, &end, 10) : -1;
            if (!v || *end != '\0' || mb < 1 || mb > 1000000)
                return exitCode = Usage("--record-max-mb needs a number of megabytes"), false;
            o.recordMaxMb = mb;
        } else if (a == "--replay") {
            const char* v = value();
            if (!v || !*v)
                return exitCode = Usage("--replay needs a recording"), false;
            o.replay = v;
            o.demo = true;
        } else if (a == "-h" || a == "--help") {
            return exitCode = Usage(nullptr), false;
        } else if (a == "--version") {
            std::printf("velcora %s\n", velcora::VersionText());
            return exitCode = 0, false;
        } else {
            const std::string msg = "unknown argument " + a;
            return exitCode = Usage(msg.c_str()), false;
        }
    }
    return true;
}

// Whether Qt will find somewhere to show windows.
bool HaveDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true;  // the operator chose one (offscreen, vnc, ...)
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

fs::path ProgramFolder(const char* argv0) {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        self = fs::absolute(argv0, ec);
    return self.parent_path();
}

std::string RandomPassword() {
    std::random_device rd;
    static const char kDigits[] = "abcdefghjkmnpqrstuvwxyz23456789";
    std::string p;
    for (int i = 0; i < 12; ++i)
        p += kDigits[rd() % (sizeof kDigits - 1)];
    return p;
}

// The demo's settings show every panel the console has.
void SeedDemoSettings(const std::string& path) {
    velcora::IniFile ini(path);
    ini.Load();
    const char* c = velcora::kSectionControls;
    for (const char* key : {"battery", "lift", "tray", "autobalans", "park", "wheelMode"})
        ini.WriteInt(c, key, 1);
    ini.WriteInt(c, "liftSpeed", 60);
    ini.WriteInt(c, "traySpeed", 40);
    // Bit rates the panels offer, so that their lists show them.
    ini.WriteInt(velcora::kSectionVideo, "bitrate1", 720000);
    ini.WriteInt(velcora::kSectionVideo, "bitrate2", 360000);
    // The tool windows' buttons that only show with it.
    ini.WriteInt(c, "remoteDesktop", 1);
    // The cyclogram page beside the cameras.
    ini.WriteInt(c, "cyclograms", 1);
    ini.WriteString(velcora::kSectionAvatars, "avatar1", "Робот-гид");
    ini.WriteString(velcora::kSectionAvatars, "model1", "guide");
    ini.WriteString(velcora::kSectionAvatars, "avatar2", "Робот-официант");
    ini.WriteString(velcora::kSectionAvatars, "model2", "waiter");
    // Phrases, languages, command buttons, gestures and the service window.
    const char* l = velcora::kSectionLanguages;
    ini.WriteString(l, "lang0", "ru");
    ini.WriteString(l, "lang1", "en");
    const char* h = velcora::kSectionHistory;
    ini.WriteInt(h, "count", 2);
    ini.WriteString(h, "item0", "Здравствуйте! Чем могу помочь?");
    ini.WriteInt(h, "hotkey0", 'Q');
    ini.WriteString(h, "item1", "Пожалуйста, следуйте за мной.");
    ini.WriteInt(h, "locked1", 1);
    ini.WriteString("DBUTTON0", "text", "Помахать");
    ini.WriteInt("DBUTTON0", "width", 90);
    ini.WriteString("DBUTTON0", "down", "wave(1)");
    ini.WriteString("DBUTTON1", "text", "Ехать");
    ini.WriteInt("DBUTTON1", "width", 90);
    ini.WriteString("DBUTTON1", "down", "drive({скорость}, {направление})");
    ini.WriteString("DBUTTON2", "text", "Музыка");
    ini.WriteInt("DBUTTON2", "width", 90);
    ini.WriteInt("DBUTTON2", "fixed", 1);
    ini.WriteString("DBUTTON2", "down", "music(on)");
    ini.WriteString("DBUTTON2", "up", "music(off)");
    ini.WriteInt(c, "gestures", 1);
    ini.WriteString(velcora::kSectionGestures, "0", "Поклон");
    ini.WriteString(velcora::kSectionGestures, "1", "Привет");
    ini.WriteInt(c, "wheelCalib", 3);
    ini.WriteInt(c, "armCalib", 2);
    ini.WriteInt(c, "headCalib", 2);
    ini.WriteInt(c, "liftCalib", 1);
    ini.WriteInt(c, "trayCalib", 1);
    ini.Save();
}

// The simulated robot as a child process that dies with the console.
class DemoRobot {
  public:
    ~DemoRobot() { Stop(); }

    bool Start(const fs::path& programFolder, const fs::path& folder, std::string& error,
               const std::string& replay = {}) {
        // Beside the console (installed, or the build folder's layout), else
        // on PATH.
        fs::path sim;
        for (const fs::path& p : {programFolder / "velcora-robot-sim",
                                  programFolder / ".." / "sim" / "velcora-robot-sim"}) {
            if (::access(p.c_str(), X_OK) == 0) {
                sim = p;
                break;
            }
        }
        if (sim.empty()) {
            const QString found =
                QStandardPaths::findExecutable(QStringLiteral("velcora-robot-sim"));
            if (!found.isEmpty())
                sim = found.toStdString();
        }
        if (sim.empty()) {
            error = "velcora-robot-sim is neither beside the console nor on PATH";
            return false;
        }
        password_ = RandomPassword();
        const fs::path passwordFile = folder / "robot-password";
        {
            std::ofstream out(passwordFile, std::ios::binary | std::ios::trunc);
            out << password_ << '\n';
            if (!out) {
                error = "cannot write " + passwordFile.string();
                return false;
            }
        }
        fs::permissions(passwordFile, fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::replace);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        QStringList args{QStringLiteral("--port"), QStringLiteral("0"),
                         QStringLiteral("--password-file"),
                         QString::fromStdString(passwordFile.string()),
                         QStringLiteral("--telnet-port"), QStringLiteral("0"),
                         // Robot files move at a pace where the copy dialog can be watched.
                         QStringLiteral("--file-rate"), QStringLiteral("128")};
        // A replaying robot sends the recorded session and nothing else.
        if (!replay.empty())
            args = {
                QStringLiteral("--port"),          QStringLiteral("0"),
                QStringLiteral("--password-file"), QString::fromStdString(passwordFile.string()),
                QStringLiteral("--replay"),        QString::fromStdString(replay)};
        process_.start(QString::fromStdString(sim.string()), args);
        if (!process_.waitForStarted(5000)) {
            error = "cannot start " + sim.string();
            return false;
        }
        return true;
    }

    // Calls `ready(port)` once the robot says where it listens.
    template <typename F>
    void OnListening(F ready) {
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this, ready] {
            buffer_ += process_.readAllStandardOutput();
            static const QRegularExpression re(QStringLiteral("listening on [0-9.]+:([0-9]+)"));
            const auto m = re.match(QString::fromUtf8(buffer_));
            if (port_ == 0 && m.hasMatch()) {
                // The robot names its telnet port before the link's.
                static const QRegularExpression telnet(
                    QStringLiteral("telnet on [0-9.]+:([0-9]+)"));
                const auto t = telnet.match(QString::fromUtf8(buffer_));
                telnetPort_ = t.hasMatch() ? t.captured(1).toInt() : 0;
                port_ = m.captured(1).toInt();
                ready(port_);
            }
        });
        QObject::connect(&process_, &QProcess::finished, [this] {
            if (!stopping_)
                std::fprintf(stderr, "velcora: the simulated robot ended\n");
        });
    }

    void Stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        stopping_ = true;
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(1000);
        }
    }

    const std::string& Password() const { return password_; }
    // The simulated robot's telnet port; 0 before it said or without one.
    int TelnetPort() const { return telnetPort_; }

  private:
    QProcess process_;
    QByteArray buffer_;
    std::string password_;
    int port_ = 0;
    int telnetPort_ = 0;
    bool stopping_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    velcora::platform::StartupMark("main");
    std::setlocale(LC_ALL, "C.UTF-8");
    Options o;
    int exitCode = 0;
    if (!ParseArgs(argc, argv, o, exitCode))
        return exitCode;
    if (!HaveDisplay()) {
        std::fprintf(stderr,
                     "velcora: no display found (DISPLAY and WAYLAND_DISPLAY are unset); run it "
                     "on a desktop or with QT_QPA_PLATFORM=offscreen\n");
        return 1;
    }
    if (!velcora::HandshakeKeyError().empty()) {
        std::fprintf(stderr, "velcora: %s\n", velcora::HandshakeKeyError().c_str());
        return 1;
    }
    std::srand(static_cast<unsigned>(std::clock() + 10 * std::time(nullptr)));

    // Joined wherever main returns.
    struct Joined {
        std::thread thread;
        ~Joined() {
            if (thread.joinable())
                thread.join();
        }
    };
    velcora::platform::CFontPreload fontPreload;

    QApplication app(argc, argv);
    velcora::platform::StartupMark("qt");
    fontPreload.UseQt(velcora::gui::CMainForm::FirstFrameFonts());
    // Its work on Qt's fonts ends before the application does.
    struct FontsReleased {
        velcora::platform::CFontPreload& preload;
        ~FontsReleased() { preload.Release(); }
    } fontsReleased{fontPreload};
    QIcon icon;
    icon.addFile(QStringLiteral(":/velcora/velcora-48.png"));
    icon.addFile(QStringLiteral(":/velcora/velcora-256.png"));
    QApplication::setWindowIcon(icon);
    const fs::path programFolder = ProgramFolder(argv[0]);
    // The sound and controller library loads while the window is built
    // (after Qt's own libraries, which would otherwise wait for it); the
    // controller list is the first to need it.
    Joined sdlPreload{velcora::platform::PreloadSdl()};

    // The demo keeps its settings and the robot's password in a folder of its own.
    fs::path demoFolder;
    if (o.demo) {
        std::string pattern = (fs::temp_directory_path() / "velcora-demo-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            std::fprintf(stderr, "velcora: cannot create a demo folder: %s\n",
                         std::strerror(errno));
            return 1;
        }
        demoFolder = pattern;
        if (o.ini.empty()) {
            o.ini = (demoFolder / "velcora.ini").string();
            SeedDemoSettings(o.ini);
        }
    }
    if (o.ini.empty())
        o.ini = velcora::SettingsFilePath();

    int rc = 0;
    {
        velcora::platform::QtReactor reactor;
        DemoRobot robot;
        auto* form = new velcora::gui::CMainForm(reactor, o.ini);
        if (o.demo) {
            std::string error;
            std::string replay;
            if (!o.replay.empty()) {
                std::error_code ec;
                replay = fs::absolute(o.replay, ec).string();
                // A file the robot cannot replay is refused here, with its
                // reason, rather than by a robot that ends behind the window.
                velcora::CSessionReader reader;
                if (!reader.Open(replay)) {
                    std::fprintf(stderr, "velcora: %s\n", reader.Error().c_str());
                    form->Destroy();
                    std::error_code ignored;
                    fs::remove_all(demoFolder, ignored);
                    return 1;
                }
            }
            if (!robot.Start(programFolder, demoFolder, error, replay)) {
                std::fprintf(stderr, "velcora: %s\n", error.c_str());
                form->Destroy();
                std::error_code ec;
                fs::remove_all(demoFolder, ec);
                return 1;
            }
            QPointer<QWidget> window(form->Widget());
            robot.OnListening([form, window, &robot](int port) {
                if (!window)
                    return;
                velcora::ConnectionFields f;
                f.host = "127.0.0.1";
                f.port = port;
                f.password = robot.Password();
                form->SetFields(f);
                if (robot.TelnetPort() > 0) {
                    form->Settings().telnetPort = robot.TelnetPort();
                    // A console opened at start-up learns the port only now.
                    if (auto* telnet =
                            dynamic_cast<velcora::media::CTelnetForm*>(form->FindTool("telnet")))
                        telnet->Reopen();
                }
                if (!form->ConnectButton()->Down())
                    form->ConnectButton()->Press();
            });
        }
        form->SetRecordedVersion(std::string("velcora ") + velcora::VersionText());
        if (!o.record.empty()) {
            std::string error;
            if (!form->StartRecording(o.record, o.recordMaxMb * 1024 * 1024, error)) {
                std::fprintf(stderr, "velcora: %s\n", error.c_str());
                form->Destroy();
                robot.Stop();
                if (!demoFolder.empty()) {
                    std::error_code ec;
                    fs::remove_all(demoFolder, ec);
                }
                return 1;
            }
        }
        for (const std::string& name : o.open) {
            bool known = false;
            for (const std::string& k : form->ToolNames())
                known = known || k == name;
            if (!known) {
                std::string names;
                for (const std::string& k : form->ToolNames())
                    names += (names.empty() ? "" : ", ") + k;
                std::fprintf(stderr, "velcora: no tool window called %s (there are: %s)\n",
                             name.c_str(), names.empty() ? "none" : names.c_str());
                form->Destroy();
                robot.Stop();
                if (!demoFolder.empty()) {
                    std::error_code ec;
                    fs::remove_all(demoFolder, ec);
                }
                return 2;
            }
        }
        // A picture of a tool window is taken at the size of a large screen,
        // where the document area has room for it.
        if (!o.screenshot.empty() && !o.open.empty())
            form->Widget()->resize(1880, 1000);
        velcora::platform::StartupMark("window built");
        form->Widget()->show();
        velcora::platform::StartupMark("shown");
        // Tool windows once the window has its size, so that they fit its
        // document area.
        for (const std::string& name : o.open)
            form->OpenTool(name);
        // The demo shows the robot live: once it is connected, both cameras
        // stream and its sound plays.
        QTimer liveStart;
        if (o.demo) {
            QPointer<QWidget> window(form->Widget());
            QObject::connect(&liveStart, &QTimer::timeout, &app, [form, window, &liveStart] {
                if (!window || !form->Connection().Authorised())
                    return;
                liveStart.stop();
                for (int i = 0; i < 2; ++i) {
                    if (!form->VideoPanel(i)->VideoOn())
                        form->VideoPanel(i)->VideoButton()->Press();
                }
                if (!form->Sound()->RobotSoundOn())
                    form->Sound()->RobotSoundButton()->Press();
            });
            liveStart.start(100);
        }
        if (!o.screenshot.empty()) {
            const QString file = QString::fromLocal8Bit(o.screenshot.c_str());
            const std::string tool = o.open.empty() ? std::string() : o.open.back();
            QTimer::singleShot(o.afterMs, &app, [form, file, tool, &rc] {
                QWidget* shown = form->Widget();
                if (auto* child = tool.empty() ? nullptr : form->FindTool(tool)) {
                    if (child->SubWindow())
                        shown = child->SubWindow();
                }
                const QPixmap picture = shown->grab();
                velcora::platform::StartupMark("painted");
                if (!picture.save(file)) {
                    std::fprintf(stderr, "velcora: cannot write %s\n", file.toLocal8Bit().data());
                    rc = 1;
                }
                form->Close(0);
            });
        }
        QPointer<velcora::gui::CMainForm> alive(form);
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
        QTimer signalPoll;
        QObject::connect(&signalPoll, &QTimer::timeout, &app, [&alive] {
            if (g_stop && alive)
                alive->Close(0);
        });
        signalPoll.start(100);
        const int loop = app.exec();
        if (rc == 0)
            rc = loop;
        if (alive)
            alive->Destroy();
        robot.Stop();
    }
    if (!demoFolder.empty()) {
        std::error_code ec;
        fs::remove_all(demoFolder, ec);
    }
    return rc;
}
