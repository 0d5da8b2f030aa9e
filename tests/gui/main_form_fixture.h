// The console's main window against the simulated robot on the same reactor
// (offscreen platform): settings written before the window reads them, the
// robot's received frames, connecting with F9.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/gui/main_form.h"
#include "gui/gui_app.h"
#include "link/control_commands.h"
#include "link/text_codec.h"
#include "media/pcm_feed_input.h"
#include "platform/qt_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_robot.h"
#include "support/fake_link.h"

namespace velcora::gui {

struct Frame {
    msg::Type type;
    std::string payload;
};

class MainFormTest : public ::testing::Test {
  protected:
    MainFormTest() {
        dir = std::filesystem::temp_directory_path() /
              ("velcora_form_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        iniPath = (dir / "velcora.ini").string();
        previousSink = ui::SetErrorSink(
            [this](const QString& text, int) { errors.push_back(text.toStdString()); });
    }
    ~MainFormTest() override {
        if (form)
            form->Destroy();
        ui::test::Flush();
        robot.reset();
        ui::SetErrorSink(previousSink);
        std::filesystem::remove_all(dir);
    }

    // Settings written before the window reads them.
    void Ini(const char* section, const char* key, const std::string& value) {
        IniFile ini(iniPath);
        ini.Load();
        ini.WriteString(section, key, value);
        ini.Save();
    }

    void StartRobot(const std::string& password = "секрет") {
        sim::SimOptions o;
        o.port = 0;
        o.password = Utf8ToAnsi(password);
        // Small pictures keep decoding cheap under the sanitizers.
        o.videoWidth = 320;
        o.videoHeight = 240;
        robot = std::make_unique<sim::CSimRobot>(reactor, o);
        sim::InstallFeatures(*robot);
        ASSERT_TRUE(robot->Start());
        robot->OnFrame([this](msg::Type type, std::string_view payload) {
            frames.push_back({type, std::string(payload)});
        });
    }

    void Open(const std::vector<WindowRect>& screens = {{0, 0, 1920, 1080}}) {
        screens_ = screens;
        form = new CMainForm(reactor, iniPath, &screens_, &microphone);
        form->Widget()->show();
        QApplication::setActiveWindow(form->Widget());
        form->DriveJoy()->SetFocus();
    }

    void Fill(const std::string& password) {
        form->SetFields({0, "127.0.0.1", robot->Port(), password});
    }

    bool WaitFor(const std::function<bool()>& done, uint32_t ms = 5000) {
        return reactor.RunUntil(done, ms);
    }
    QString Pane(int i) const { return form->StatusBar()->PaneText(i); }
    void F9() { QTest::keyClick(form->Widget(), Qt::Key_F9); }

    bool Connect() {
        Fill("секрет");
        F9();
        return WaitFor([&] { return Pane(0) == QStringLiteral("Подключено"); });
    }

    std::vector<Frame> Of(msg::Type type) const {
        std::vector<Frame> out;
        for (const auto& f : frames) {
            if (f.type == type)
                out.push_back(f);
        }
        return out;
    }
    // Lets the robot read what the window sent.
    void Pump() {
        reactor.RunUntil([] { return false; }, 60);
    }

    static std::string DrivePayload(float x, float y) {
        test::FakeLink link;
        SendDrive(link, RobotStandard::Vel, MoveMode::Move, x, y, 0);
        return link.sent.at(0).payload;
    }

    // The application exists before the reactor's socket notifiers.
    QApplication& app = ui::test::App();
    std::filesystem::path dir;
    std::string iniPath;
    platform::QtReactor reactor;
    std::unique_ptr<sim::CSimRobot> robot;
    std::vector<Frame> frames;
    std::vector<WindowRect> screens_;
    // Stands in for the system's microphone; outlives the window.
    media::CPcmFeedInput microphone;
    CMainForm* form = nullptr;
    std::vector<std::string> errors;
    ui::ErrorSink previousSink;
};

}  // namespace velcora::gui
