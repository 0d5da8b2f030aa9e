#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "console/gui/main_form.h"
#include "gui/main_form_fixture.h"
#include "link/session_file.h"

namespace velcora::gui {
namespace {

namespace fs = std::filesystem;

struct ReadBack {
    SessionHeader header;
    std::vector<SessionRecord> records;
    CSessionReader::Result last = CSessionReader::Result::kError;
    std::string error;
};

ReadBack ReadRecording(const std::string& path) {
    ReadBack out;
    CSessionReader reader;
    if (!reader.Open(path)) {
        out.error = reader.Error();
        return out;
    }
    out.header = reader.Header();
    SessionRecord r;
    while ((out.last = reader.Next(r)) == CSessionReader::Result::kRecord)
        out.records.push_back(r);
    out.error = reader.Error();
    return out;
}

std::vector<int32_t> States(const ReadBack& b) {
    std::vector<int32_t> out;
    for (const auto& r : b.records) {
        if (r.kind == RecordKind::kLinkState)
            out.push_back(r.type);
    }
    return out;
}

// Started before connecting, the recording waits for the link, shows its
// time and size while it runs, and ends with the window.
TEST_F(MainFormTest, RecordingWaitsForTheLinkAndEndsWithTheWindow) {
    StartRobot();
    Open();
    const std::string path = (dir / "s.vrec").string();
    std::string error;
    ASSERT_TRUE(form->StartRecording(path, 0, error)) << error;
    EXPECT_TRUE(form->RecordButton()->Down());
    form->TickNow();
    EXPECT_EQ(Pane(6), QStringLiteral("Запись: ожидание подключения"));
    ASSERT_TRUE(Connect());
    ASSERT_TRUE(WaitFor([&] { return Pane(6).startsWith(QStringLiteral("Запись 00:")); }))
        << Pane(6).toStdString();
    EXPECT_TRUE(Pane(6).contains(QStringLiteral("КБ"))) << Pane(6).toStdString();
    Pump();
    form->Destroy();
    form = nullptr;

    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const ReadBack b = ReadRecording(path);
    ASSERT_EQ(b.last, CSessionReader::Result::kEnd) << b.error;
    EXPECT_EQ(b.header.host, "127.0.0.1");
    EXPECT_EQ(b.header.port, robot->Port());
    EXPECT_EQ(b.header.consoleVersion, "velcora");
    const auto states = States(b);
    ASSERT_GE(states.size(), 4u);
    EXPECT_EQ(states.front(), kStateConnecting);
    EXPECT_EQ(states.back(), kStateIdle);
    bool subscribed = false;
    for (const auto& r : b.records) {
        subscribed =
            subscribed || (r.kind == RecordKind::kOutgoing && r.type == msg::kMapSubscribe);
        if (r.kind != RecordKind::kLinkState && IsHandshakeType(r.type)) {
            EXPECT_TRUE(r.withheld);
        }
    }
    EXPECT_TRUE(subscribed);
    // Nothing of the password in the file.
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes.find(Utf8ToAnsi("секрет")), std::string::npos);
}

// The toggle while connected: a fresh file in the data folder, starting with
// the authorised link; released, the file is closed and the pane cleared.
TEST_F(MainFormTest, ToggleRecordsFromTheMiddleOfASession) {
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString((dir / "data").string()));
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    form->RecordButton()->Press();
    ASSERT_TRUE(form->Recording().Active());
    const std::string path = form->Recording().Recorder()->CurrentPath();
    EXPECT_EQ(path.rfind((dir / "data").string(), 0), 0u) << path;
    EXPECT_EQ(fs::path(path).extension(), ".vrec");
    WriteBytes(form->Connection().BeginFrame(msg::kStatus), "");
    form->Connection().EndFrame();
    ASSERT_TRUE(WaitFor([&] { return robot->Received(msg::kStatus) > 0; }));
    Pump();
    form->RecordButton()->Press();
    EXPECT_FALSE(form->Recording().Active());
    // Closed on a thread of its own; the tick clears the pane once it is done.
    form->Recording().WaitClosed();
    form->TickNow();
    EXPECT_EQ(Pane(6), QString());
    EXPECT_TRUE(errors.empty());
    // Again at once: another file, the first one untouched.
    form->RecordButton()->Press();
    ASSERT_TRUE(form->Recording().Active());
    EXPECT_NE(form->Recording().Recorder()->CurrentPath(), path);
    form->RecordButton()->Press();
    form->Recording().WaitClosed();
    qunsetenv("XDG_DATA_HOME");

    const ReadBack b = ReadRecording(path);
    ASSERT_EQ(b.last, CSessionReader::Result::kEnd) << b.error;
    ASSERT_FALSE(b.records.empty());
    EXPECT_EQ(b.records.front().kind, RecordKind::kLinkState);
    EXPECT_EQ(b.records.front().type, kStateAuthorised);
    EXPECT_EQ(b.records.front().ms, 0u);
    bool asked = false;
    for (const auto& r : b.records)
        asked = asked || (r.kind == RecordKind::kOutgoing && r.type == msg::kStatus);
    EXPECT_TRUE(asked);
}

TEST_F(MainFormTest, RecordingIntoAnUnwritablePlaceIsRefused) {
    Open();
    std::string error;
    EXPECT_FALSE(form->StartRecording((dir / "missing" / "s.vrec").string(), 0, error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    EXPECT_FALSE(form->RecordButton()->Down());
    EXPECT_FALSE(form->Recording().Active());
}

}  // namespace
}  // namespace velcora::gui
