// A console window connected to the simulated robot running in the same
// process on the same Qt reactor (offscreen platform); the window's 20 ms
// timer drives whatever the test hangs on it, then the connection.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "gui/gui_app.h"
#include "link/robot_connection.h"
#include "link/settings.h"
#include "platform/qt_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_robot.h"
#include "ui/vel_form.h"

namespace velcora::test {

class LiveOwner : public IRobotConnectionOwner {
  public:
    void OnConnectionStateChanged() override {}
};

inline bool Near(QColor a, QColor b, int tolerance = 2) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

class LiveRobot : public ::testing::Test {
  protected:
    // Starts the robot and the window; `build` adds the panels to the form.
    void Start(const std::function<void()>& build) {
        ui::test::App();
        reactor = std::make_unique<platform::QtReactor>();
        sim::SimOptions o;
        o.port = 0;
        o.videoWidth = 320;
        o.videoHeight = 240;
        o.videoFps = 25;
        robot = std::make_unique<sim::CSimRobot>(*reactor, o);
        sim::InstallFeatures(*robot);
        robot->OnFrame([this](msg::Type type, std::string_view) {
            received.push_back({type, reactor->Now()});
        });
        ASSERT_TRUE(robot->Start());
        link = std::make_unique<CRobotConnection>(*reactor, dispatcher, &owner);
        ASSERT_TRUE(link->ConnectAnsi("127.0.0.1", robot->Port(), false));
        form = new ui::CVelForm(ui::PackPosition(0, 0), 600, 320, QStringLiteral("Velcora"));
        build();
        form->Widget()->show();
        lastTick = reactor->Now();
        tick = reactor->StartTimer(20, [this] {
            // The time that really passed: a busy machine stretches the ticks.
            const uint32_t now = reactor->Now();
            const auto elapsed = static_cast<int32_t>(now - lastTick);
            lastTick = now;
            if (onTick) {
                onTick(elapsed);
            }
            link->Tick();
        });
        ASSERT_TRUE(reactor->RunUntil([&] { return link->Authorised(); }, 5000));
    }
    void TearDown() override {
        if (reactor) {
            reactor->StopTimer(tick);
        }
        onTick = nullptr;
        if (form) {
            form->Destroy();
            form = nullptr;
        }
        ui::test::Flush();
    }
    void Run(uint32_t ms) {
        reactor->RunUntil([] { return false; }, ms);
    }
    std::vector<uint32_t> TimesOf(msg::Type type) const {
        std::vector<uint32_t> out;
        for (const auto& [t, at] : received) {
            if (t == type) {
                out.push_back(at);
            }
        }
        return out;
    }
    static double MeanGap(const std::vector<uint32_t>& times) {
        return times.size() < 2 ? 0.0
                                : double(times.back() - times.front()) / double(times.size() - 1);
    }

    std::unique_ptr<platform::QtReactor> reactor;
    std::unique_ptr<sim::CSimRobot> robot;
    std::vector<std::pair<msg::Type, uint32_t>> received;
    CMessageDispatcher dispatcher;
    LiveOwner owner;
    std::unique_ptr<CRobotConnection> link;
    CSettings settings;
    ui::CVelForm* form = nullptr;
    std::function<void(int32_t)> onTick;
    platform::TimerId tick{};
    uint32_t lastTick = 0;
};

}  // namespace velcora::test
