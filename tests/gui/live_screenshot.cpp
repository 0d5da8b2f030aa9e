// Renders a console window with both video panels streaming from the
// simulated robot (in this process) and the sound controls, to a PNG:
//   QT_QPA_PLATFORM=offscreen live_screenshot FILE.png
#include <QApplication>
#include <cstdio>
#include <memory>

#include "link/robot_connection.h"
#include "media/gui/level_meter_input.h"
#include "media/gui/sound_controls.h"
#include "media/gui/video_panel.h"
#include "media/pcm_feed_input.h"
#include "platform/audio_output.h"
#include "platform/qt_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_robot.h"
#include "ui/vel_form.h"

using namespace velcora;

namespace {
class Owner : public IRobotConnectionOwner {
  public:
    void OnConnectionStateChanged() override {}
};
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: live_screenshot FILE.png\n");
        return 2;
    }
    QApplication app(argc, argv);
    platform::QtReactor reactor;
    sim::SimOptions o;
    o.port = 0;
    sim::CSimRobot robot(reactor, o);
    sim::InstallFeatures(robot);
    if (!robot.Start()) {
        return 1;
    }
    CMessageDispatcher dispatcher;
    Owner owner;
    CRobotConnection link(reactor, dispatcher, &owner);
    link.ConnectAnsi("127.0.0.1", robot.Port(), false);

    CSettings settings;
    platform::AudioOutput output;
    media::CAudioPlayer player(output);
    media::CPcmFeedInput feed;
    media::CLevelMeterInput meter(feed);
    media::CRecorder recorder(meter);
    auto* form = new ui::CVelForm(ui::PackPosition(0, 0), 720, 372, QStringLiteral("Velcora"));
    auto* sound = new media::CSoundControls(form, ui::kAlignBottom, 0, 92, link, player, recorder,
                                            settings, nullptr, &meter);
    auto* p1 = new media::CVideoPanel(form, ui::kAlignLeft, media::CVideoPanel::kDefaultWidth,
                                      media::CVideoPanel::kDefaultHeight, link, 0, 720000, false);
    auto* p2 = new media::CVideoPanel(form, ui::kAlignLeft, media::CVideoPanel::kDefaultWidth,
                                      media::CVideoPanel::kDefaultHeight, link, 1, 240000, false);
    media::CVideoReception reception(link, {&p1->Control(), &p2->Control()});
    p1->SetReception(&reception);
    p2->SetReception(&reception);
    form->Widget()->show();
    uint32_t last = reactor.Now();
    platform::ScopedTimer tick(reactor, 20, [&] {
        const uint32_t now = reactor.Now();
        const auto elapsed = static_cast<int32_t>(now - last);
        last = now;
        p1->Tick(elapsed);
        p2->Tick(elapsed);
        sound->Tick(elapsed);
        link.Tick();
    });
    reactor.RunUntil([&] { return link.Authorised(); }, 5000);
    p1->VideoButton()->Press();
    p2->VideoButton()->Press();
    sound->RobotSoundButton()->Press();
    reactor.RunUntil([] { return false; }, 2500);
    const bool ok = form->Widget()->grab().save(QString::fromLocal8Bit(argv[1]));
    p1->SetVideoOn(false);
    p2->SetVideoOn(false);
    form->Destroy();
    return ok ? 0 : 1;
}
