// The sound controls against the simulated robot: its sound, the microphone
// and the sound settings dialog.
#include <QApplication>
#include <QTimer>
#include <QtTest/QTest>
#include <cmath>

#include "gui/live_fixture.h"
#include "media/gui/level_meter_input.h"
#include "media/gui/sound_controls.h"
#include "media/gui/sound_settings_dialog.h"
#include "media/pcm_feed_input.h"
#include "platform/audio_output.h"

namespace velcora::media {
namespace {

class LiveSound : public test::LiveRobot {
  protected:
    void SetUp() override {
        Start([this] {
            sound = new CSoundControls(
                form, ui::kAlignClient, 0, 0, *link, player, recorder, settings,
                [this] { ++saves; }, &meter);
            sound->SetDeviceLister([] { return std::vector<std::string>{"Микрофон"}; });
            onTick = [this](int32_t ms) { sound->Tick(ms); };
        });
    }
    void UseOutgoingCode(uint8_t code) {
        sound->SetDialogRunner(
            [code](SoundDirection, const std::vector<std::string>&, SoundSettingsValues& v) {
                v.code = code;
                return true;
            });
        ASSERT_TRUE(sound->OpenSoundSettings(SoundDirection::kOutgoing));
    }
    // The dialog on screen, once it shows.
    static CSoundSettingsDialog* OpenDialog() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* d = dynamic_cast<CSoundSettingsDialog*>(ui::CVelControl::FromWidget(w));
            if (d && w->isVisible()) {
                return d;
            }
        }
        return nullptr;
    }

    platform::AudioOutput output;
    CAudioPlayer player{output};
    CPcmFeedInput feed;
    CLevelMeterInput meter{feed};
    CRecorder recorder{meter};
    CSoundControls* sound = nullptr;
    int saves = 0;
};

TEST_F(LiveSound, RobotSoundRequestedEvery180msAndPlayed) {
    sound->RobotSoundButton()->Press();
    ASSERT_TRUE(sound->RobotSoundOn());
    Run(1100);
    const auto requests = TimesOf(msg::kSoundRequest);
    ASSERT_GE(requests.size(), 5u);
    // Each request goes on the first tick 160 ms after the one before, about
    // every 180 ms; a busy machine whose ticks come late stretches that, it
    // never shortens it.
    EXPECT_GE(MeanGap(requests), 158.0);
    EXPECT_LE(MeanGap(requests), 260.0);
    // The robot answers and the player opens the sound device.
    EXPECT_TRUE(reactor->RunUntil([&] { return player.DeviceOpen(); }, 2000));
    sound->RobotSoundButton()->Press();
    EXPECT_FALSE(sound->RobotSoundOn());
    const size_t before = TimesOf(msg::kSoundRequest).size();
    Run(400);
    EXPECT_EQ(TimesOf(msg::kSoundRequest).size(), before);
}

TEST_F(LiveSound, MicrophoneButtonShiftAndSpringBack) {
    // 8-bit samples: the encoder refuses them and the button springs back.
    UseOutgoingCode(0x41);
    sound->MicrophoneButton()->Press();
    EXPECT_FALSE(sound->MicrophoneOn());
    EXPECT_FALSE(sound->MicrophoneButton()->Down());
    EXPECT_FALSE(recorder.IsOpen());
    sound->KeyDown(Qt::Key_Shift, Qt::ShiftModifier, false);
    EXPECT_FALSE(sound->MicrophoneButton()->Down());
    sound->KeyUp(Qt::Key_Shift, false);

    // 22050 Hz, 16-bit: Shift opens the microphone, unless Ctrl is held.
    UseOutgoingCode(0x01);
    sound->KeyDown(Qt::Key_Shift, Qt::ShiftModifier | Qt::ControlModifier, false);
    EXPECT_FALSE(recorder.IsOpen());
    sound->KeyUp(Qt::Key_Shift, false);
    EXPECT_FALSE(sound->KeyDown(Qt::Key_A, Qt::NoModifier, false));
    sound->KeyDown(Qt::Key_Shift, Qt::ShiftModifier, false);
    EXPECT_TRUE(recorder.IsOpen());
    EXPECT_TRUE(sound->MicrophoneButton()->Down());
    sound->KeyDown(Qt::Key_Shift, Qt::ShiftModifier, true);  // repeating
    EXPECT_TRUE(recorder.IsOpen());

    // Speech reaches the robot and moves the level meter.
    std::vector<uint8_t> pcm(22050 * 2);
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        const auto s = static_cast<int16_t>(12000 * std::sin(static_cast<double>(i) * 0.05));
        pcm[i] = static_cast<uint8_t>(s & 0xFF);
        pcm[i + 1] = static_cast<uint8_t>((s >> 8) & 0xFF);
    }
    feed.Feed(pcm.data(), pcm.size());
    ASSERT_TRUE(recorder.WaitProcessed(5000));
    ASSERT_TRUE(reactor->RunUntil([&] { return !TimesOf(msg::kMicrophoneBlock).empty(); }, 3000));
    EXPECT_GT(sound->LevelMeter()->Position(), 80);

    // Releasing Shift closes it again.
    sound->KeyUp(Qt::Key_Shift, false);
    EXPECT_FALSE(recorder.IsOpen());
    EXPECT_FALSE(sound->MicrophoneButton()->Down());
    Run(60);
    EXPECT_EQ(sound->LevelMeter()->Position(), 0);

    // The button, and the voice changer switched while it is down.
    sound->MicrophoneButton()->Press();
    EXPECT_TRUE(recorder.IsOpen());
    sound->VoiceChangerButton()->Press();
    EXPECT_TRUE(recorder.VoiceChanger());
    EXPECT_TRUE(recorder.IsOpen());
    EXPECT_TRUE(sound->MicrophoneButton()->Down());
    sound->MicrophoneButton()->Press();
    EXPECT_FALSE(recorder.IsOpen());
    EXPECT_EQ(saves, 2);
}

TEST_F(LiveSound, SettingsDialogStoresBothDirections) {
    struct Case {
        SoundDirection direction;
        QString title;
        int rate, bits, bitRate, device;
    };
    const Case cases[] = {
        {SoundDirection::kIncoming, QStringLiteral("Настройка входящего звука"), 1, 0, 4, 0},
        {SoundDirection::kOutgoing, QStringLiteral("Настройка исходящего звука"), 3, 1, 0, 1},
    };
    for (const Case& c : cases) {
        QString title, firstDevice;
        QTimer::singleShot(0, [&] {
            CSoundSettingsDialog* d = OpenDialog();
            ASSERT_NE(d, nullptr);
            title = d->Widget()->windowTitle();
            firstDevice = d->Devices()->ItemText(0);
            d->Rates()->SetItemIndex(c.rate);
            d->Bits()->SetItemIndex(c.bits);
            d->BitRates()->SetItemIndex(c.bitRate);
            d->Devices()->SetItemIndex(c.device);
            QTest::mouseClick(d->OkButton()->Widget(), Qt::LeftButton);
        });
        ASSERT_TRUE(sound->OpenSoundSettings(c.direction));
        EXPECT_EQ(title, c.title);
        EXPECT_EQ(firstDevice, QStringLiteral("По умолчанию"));
    }
    EXPECT_EQ(settings.inAudioParamCode, 0x01);
    EXPECT_EQ(settings.inBitRate, 128000);
    EXPECT_EQ(settings.outAudioParamCode, 0x43);
    EXPECT_EQ(settings.outBitRate, 8000);
    EXPECT_EQ(settings.audioInDevice, 0);
    EXPECT_EQ(saves, 2);

    // "Отмена" keeps everything.
    QTimer::singleShot(0, [&] {
        if (CSoundSettingsDialog* d = OpenDialog()) {
            d->Rates()->SetItemIndex(0);
            QTest::mouseClick(d->CancelButton()->Widget(), Qt::LeftButton);
        }
    });
    EXPECT_FALSE(sound->OpenSoundSettings(SoundDirection::kIncoming));
    EXPECT_EQ(settings.inAudioParamCode, 0x01);
    EXPECT_EQ(saves, 2);

    // Locked: the dialog is not offered.
    settings.locked = true;
    EXPECT_FALSE(sound->OpenSoundSettings(SoundDirection::kIncoming));
}

}  // namespace
}  // namespace velcora::media
