// The main window's phrases, command buttons, gestures and service window
// against the simulated robot: the robot's options can be tuned, and modal
// dialogs are answered as they open.
#pragma once

#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "gui/main_form_fixture.h"
#include "ui/vel_form.h"

namespace velcora::gui {

class PhrasesFormTest : public MainFormTest {
  protected:
    // StartRobot with the options tuned first.
    void StartTunedRobot(const std::function<void(sim::SimOptions&)>& tune) {
        sim::SimOptions o;
        o.port = 0;
        o.password = Utf8ToAnsi("секрет");
        o.videoWidth = 320;
        o.videoHeight = 240;
        tune(o);
        robot = std::make_unique<sim::CSimRobot>(reactor, o);
        sim::InstallFeatures(*robot);
        ASSERT_TRUE(robot->Start());
        robot->OnFrame([this](msg::Type type, std::string_view payload) {
            frames.push_back({type, std::string(payload)});
        });
    }

    // Runs `act` on the first dialog of type D that opens (a modal dialog
    // runs its own loop; this looks from inside it).
    // A dialog already answered is passed over: it may still read as modal
    // for a moment after its answer, and a second wait must find the next one.
    template <typename D>
    void WhenOpen(std::function<void(D*)> act) {
        auto* poll = new QTimer();
        poll->setInterval(5);
        QObject::connect(poll, &QTimer::timeout, poll, [answered = answered_, poll, act] {
            for (ui::CVelCustomForm* f : ui::CVelCustomForm::Forms()) {
                auto* d = dynamic_cast<D*>(f);
                if (!d || !d->IsModal() || Answered(*answered, d))
                    continue;
                answered->emplace_back(d);
                poll->stop();
                poll->deleteLater();
                act(d);
                return;
            }
        });
        poll->start();
    }

  private:
    using AnsweredList = std::vector<QPointer<QObject>>;
    static bool Answered(const AnsweredList& list, QObject* dialog) {
        for (const QPointer<QObject>& a : list) {
            if (a == dialog)
                return true;
        }
        return false;
    }
    // Shared with the waits, which may outlive the test.
    std::shared_ptr<AnsweredList> answered_ = std::make_shared<AnsweredList>();
};

}  // namespace velcora::gui
