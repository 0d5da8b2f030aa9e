// velcoractl session ...: offline inspection of session recordings. Every
// subcommand reads the file front to back once; a fault in it (a cut tail, a
// foreign or damaged file) is reported after the work done on the records
// before it, with exit code 1.
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ctl/ctl.h"
#include "link/robot_connection.h"
#include "link/robot_status.h"
#include "link/session_file.h"
#include "link/stream.h"
#include "media/codec.h"
#include "media/video_frame.h"
#include "nav/nav_status.h"

namespace velcora::ctl {

namespace {

bool IsVideoType(msg::Type type) {
    return type == msg::kVideoFrame || type == msg::kVideoFrameRanges ||
           type == msg::kVideoFrameRangesLines;
}

std::string Seconds(uint32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%03u", ms / 1000, ms % 1000);
    return text;
}

std::string UtcText(int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    if (ms < 0 || !gmtime_r(&seconds, &tm)) {
        return "?";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

std::string TypeText(msg::Type type) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", type);
    return text;
}

// What the frames of the busiest types are, for people reading a summary.
const char* TypeName(int direction, msg::Type type) {
    const bool in = direction == 0;
    switch (type) {
        case msg::kAuth:
            return in ? "challenge" : "password answer";
        case msg::kAuthResult:
            return "authorisation";
        case msg::kKeepAlive:
            return "keep-alive";
        case msg::kStatus:
            return in ? "status" : "status request";
        case msg::kModeFlags:
            return "navigation status";
        case msg::kVideoFrame:
        case msg::kVideoFrameRanges:
        case msg::kVideoFrameRangesLines:
            return "picture";
        case msg::kVideoRequest:
            return "video request";
        case msg::kSoundBlock:
            return "sound";
        case msg::kSoundRequest:
            return "sound request";
        case msg::kMicrophoneBlock:
            return "microphone";
        case msg::kDriveWheels:
        case msg::kDriveChassis:
            return "drive";
        case msg::kMapSubscribe:
            return "map subscription";
        case msg::kMapChunk:
            return "map chunk";
        case msg::kDesktopScreen:
            return in ? "desktop screen" : "desktop control";
        default:
            return "";
    }
}

std::string BytesText(uint64_t bytes) {
    char text[32];
    if (bytes < 10 * 1024) {
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    } else if (bytes < 10ull * 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024);
    } else {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
    }
    return text;
}

// Opens a recording; prints the reason and returns false when it cannot be read.
bool OpenRecording(CSessionReader& reader, const std::string& path) {
    if (!reader.Open(path)) {
        std::fprintf(stderr, "velcoractl: %s\n", reader.Error().c_str());
        return false;
    }
    return true;
}

// Reads every record into `each`; the exit code of the reading (a fault is
// printed after the records before it were handled).
template <typename F>
int ForEachRecord(CSessionReader& reader, F each) {
    SessionRecord record;
    for (;;) {
        const auto result = reader.Next(record, true);
        if (result == CSessionReader::Result::kEnd) {
            return kExitDone;
        }
        if (result == CSessionReader::Result::kError) {
            std::fprintf(stderr, "velcoractl: %s\n", reader.Error().c_str());
            return kExitFailed;
        }
        if (!each(record)) {
            return kExitFailed;
        }
    }
}

// ------------------------------------------------------------------ info

int Summarise(CSessionReader& reader, SessionSummary& s) {
    if (SummariseRecording(reader, s) == CSessionReader::Result::kError) {
        std::fprintf(stderr, "velcoractl: %s\n", reader.Error().c_str());
        return kExitFailed;
    }
    return kExitDone;
}

int Info(Args& args) {
    const bool json = args.Flag("--json");
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    if (args.Rest().size() != 1) {
        return UsageError("session info needs one recording");
    }
    const std::string path = args.Rest()[0];
    CSessionReader reader;
    if (!OpenRecording(reader, path)) {
        return kExitFailed;
    }
    SessionSummary s;
    const int rc = Summarise(reader, s);
    const std::string error = rc == kExitDone ? std::string() : reader.Error();
    const SessionHeader& h = reader.Header();
    if (json) {
        std::string out = "{";
        out += "\"file\":" + JsonString(path);
        out += ",\"format\":" + std::to_string(h.format);
        out += ",\"start_utc\":" + JsonString(UtcText(h.startUtcMs));
        out += ",\"host\":" + JsonString(Printable(h.host));
        out += ",\"port\":" + std::to_string(h.port);
        out += std::string(",\"tunnel\":") + (h.tunnel ? "true" : "false");
        out += ",\"console_version\":" + JsonString(Printable(h.consoleVersion));
        out += ",\"duration_s\":" + Seconds(s.durationMs);
        out += std::string(",\"complete\":") + (error.empty() ? "true" : "false");
        out += ",\"error\":" + (error.empty() ? std::string("null") : JsonString(error));
        out += ",\"types\":[";
        bool first = true;
        for (const auto& [key, c] : s.types) {
            out += first ? "" : ",";
            first = false;
            out += std::string("{\"direction\":\"") + (key.first == 0 ? "in" : "out") +
                   "\",\"type\":\"" + TypeText(key.second) +
                   "\",\"frames\":" + std::to_string(c.frames) +
                   ",\"bytes\":" + std::to_string(c.bytes) +
                   ",\"withheld\":" + (c.withheld ? "true" : "false") + "}";
        }
        out += "],\"pictures\":{";
        first = true;
        for (const auto& [camera, n] : s.pictures) {
            out += (first ? "\"" : ",\"") + std::to_string(camera) + "\":" + std::to_string(n);
            first = false;
        }
        out += "},\"link_drops\":[";
        first = true;
        for (const auto& [ms, state] : s.linkDrops) {
            out += (first ? "" : ",") + std::string("{\"at_s\":") + Seconds(ms) +
                   ",\"state\":" + std::to_string(state) + "}";
            first = false;
        }
        out += "],\"dropped_frames\":" + std::to_string(s.droppedTotal) + ",\"drops\":[";
        first = true;
        for (const auto& [ms, n] : s.dropped) {
            out += (first ? "" : ",") + std::string("{\"at_s\":") + Seconds(ms) +
                   ",\"frames\":" + std::to_string(n) + "}";
            first = false;
        }
        out += "]}\n";
        std::fputs(out.c_str(), stdout);
        return rc;
    }
    std::printf("Recording   %s (format %u)\n", path.c_str(), h.format);
    std::printf("Started     %s\n", UtcText(h.startUtcMs).c_str());
    std::printf("Robot       %s:%u%s\n", Printable(h.host).c_str(), h.port,
                h.tunnel ? " (through the relay)" : "");
    std::printf("Console     %s\n", Printable(h.consoleVersion).c_str());
    std::printf("Duration    %s s%s\n", Seconds(s.durationMs).c_str(),
                error.empty() ? "" : " (cut short)");
    std::printf("Frames      in %llu (%s), out %llu (%s)\n",
                static_cast<unsigned long long>(s.framesIn), BytesText(s.bytesIn).c_str(),
                static_cast<unsigned long long>(s.framesOut), BytesText(s.bytesOut).c_str());
    for (const auto& [key, c] : s.types) {
        std::printf("  %-3s %s %-17s %8llu frames %10s%s\n", key.first == 0 ? "in" : "out",
                    TypeText(key.second).c_str(), TypeName(key.first, key.second),
                    static_cast<unsigned long long>(c.frames), BytesText(c.bytes).c_str(),
                    c.withheld ? "  (payload not kept)" : "");
    }
    std::printf("Pictures   ");
    if (s.pictures.empty()) {
        std::printf(" none");
    }
    for (const auto& [camera, n] : s.pictures) {
        std::printf(" camera %d: %llu", camera, static_cast<unsigned long long>(n));
    }
    std::printf("\nLink drops  %s", s.linkDrops.empty() ? "none" : "");
    for (const auto& [ms, state] : s.linkDrops) {
        std::printf("%s s (%s)  ", Seconds(ms).c_str(),
                    std::string(ConnectionStatusText(state, false)).c_str());
    }
    std::printf("\nDropped     ");
    if (s.droppedTotal == 0) {
        std::printf("none");
    } else {
        std::printf("%llu frames:", static_cast<unsigned long long>(s.droppedTotal));
        for (const auto& [ms, n] : s.dropped) {
            std::printf(" %u at %s s", n, Seconds(ms).c_str());
        }
    }
    std::printf("\n");
    return rc;
}

// ------------------------------------------------------------------ export

// Pictures are named by their time in the recording, so they sort in order;
// a second picture of the same millisecond gets "_000002" (and so on), which sorts
// after the first rather than replacing it.
std::string PictureName(uint32_t ms, int sameMs) {
    char name[48];
    if (sameMs <= 1) {
        std::snprintf(name, sizeof name, "%07u.%03u.png", ms / 1000, ms % 1000);
    } else {
        std::snprintf(name, sizeof name, "%07u.%03u_%06d.png", ms / 1000, ms % 1000, sameMs);
    }
    return name;
}

int ExportVideo(const std::string& path, const std::string& cameraText, const std::string& dir) {
    long long camera = 0;
    if (!ParseInt(cameraText, camera) || camera < 0 || camera > 255) {
        return UsageError("--video needs a camera number");
    }
    CSessionReader reader;
    if (!OpenRecording(reader, path)) {
        return kExitFailed;
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir, ec)) {
        return Failed("cannot create " + dir);
    }
    media::CVideoDecoder decoder;
    long long written = 0;
    long long undecodable = 0;
    uint32_t lastMs = 0;
    int sameMs = 0;
    const int rc = ForEachRecord(reader, [&](const SessionRecord& r) {
        if (r.kind != RecordKind::kIncoming || !IsVideoType(r.type)) {
            return true;
        }
        const auto m = media::ParseVideoFrame(r.type, r.payload);
        if (!m || m->camera != camera || m->picture.empty()) {
            return true;
        }
        if (!decoder.IsOpen() && !decoder.Open(m->width, m->height)) {
            Failed("cannot start the video decoder");
            return false;
        }
        const int got = decoder.Decode(reinterpret_cast<const uint8_t*>(m->picture.data()),
                                       static_cast<int32_t>(m->picture.size()));
        if (got < 0) {
            ++undecodable;
            return true;
        }
        if (got == 0 || !decoder.Bgr()) {
            return true;
        }
        QImage image(decoder.Bgr(), decoder.Width(), decoder.Height(), decoder.Pitch(),
                     QImage::Format_BGR888);
        sameMs = written > 0 && r.ms == lastMs ? sameMs + 1 : 1;
        lastMs = r.ms;
        const std::string file = (std::filesystem::path(dir) / PictureName(r.ms, sameMs)).string();
        if (!image.save(QString::fromStdString(file), "PNG")) {
            Failed("cannot write " + file);
            return false;
        }
        ++written;
        return true;
    });
    std::printf("%lld pictures of camera %lld written to %s", written, camera, dir.c_str());
    if (undecodable > 0) {
        std::printf(" (%lld could not be decoded)", undecodable);
    }
    std::printf("\n");
    if (rc == kExitDone && written == 0) {
        std::fprintf(stderr, "velcoractl: the recording holds no pictures of camera %lld\n",
                     camera);
        return kExitFailed;
    }
    return rc;
}

int ExportStatus(const std::string& path, const std::string& out) {
    CSessionReader reader;
    if (!OpenRecording(reader, path)) {
        return kExitFailed;
    }
    std::FILE* f = std::fopen(out.c_str(), "wb");
    if (!f) {
        return Failed("cannot create " + out);
    }
    std::fprintf(f, "time_s,battery,charging,height,nav_mode,auto,qr,difference");
    for (int i = 0; i < nav::RobotNavStatus::kSensors; ++i) {
        std::fprintf(f, ",range%d", i);
    }
    std::fprintf(f, "\n");
    std::optional<RobotStatus> status;
    std::optional<RobotModeFlags> mode;
    long long rows = 0;
    const int rc = ForEachRecord(reader, [&](const SessionRecord& r) {
        if (r.kind != RecordKind::kIncoming ||
            (r.type != msg::kStatus && r.type != msg::kModeFlags)) {
            return true;
        }
        CMemoryStream s;
        s.Assign(r.payload);
        const auto length = static_cast<int32_t>(r.payload.size());
        if (r.type == msg::kStatus) {
            status = DecodeRobotStatus(s, length);
        } else {
            mode = DecodeRobotModeFlags(s, length);
        }
        std::fprintf(f, "%s,", Seconds(r.ms).c_str());
        if (status) {
            std::fprintf(f, "%u,%d,%.1f,", status->battery, status->charging ? 1 : 0,
                         static_cast<double>(status->height));
        } else {
            std::fprintf(f, ",,,");
        }
        if (mode) {
            CMemoryStream record;
            record.Write(mode->navStatus.data(), static_cast<int32_t>(mode->navStatus.size()));
            record.Seek(0, kSeekSet);
            const nav::RobotNavStatus nav = nav::ReadRobotNavStatus(record);
            std::fprintf(f, "%u,%d,%d,%d", mode->navMode, mode->AutoMode() ? 1 : 0,
                         mode->QrMode() ? 1 : 0, nav.difference);
            for (const int32_t range : nav.ranges) {
                std::fprintf(f, ",%d", range);
            }
        } else {
            std::fprintf(f, ",,,");
            for (int i = 0; i < nav::RobotNavStatus::kSensors; ++i) {
                std::fprintf(f, ",");
            }
        }
        std::fprintf(f, "\n");
        ++rows;
        return true;
    });
    if (std::fclose(f) != 0) {
        return Failed("cannot write " + out);
    }
    std::printf("%lld status rows written to %s\n", rows, out.c_str());
    return rc;
}

int Export(Args& args) {
    const auto video = args.Option("--video");
    const auto status = args.Option("--status");
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    const auto& rest = args.Rest();
    if (video && !status && rest.size() == 2) {
        return ExportVideo(rest[0], *video, rest[1]);
    }
    if (status && !video && rest.size() == 1) {
        return ExportStatus(rest[0], *status);
    }
    return UsageError("session export needs FILE --video CAMERA DIR, or FILE --status OUT.csv");
}

// ------------------------------------------------------------------ cut

int Cut(Args& args) {
    const auto fromText = args.Option("--from");
    const auto toText = args.Option("--to");
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    double from = 0;
    double to = 0;
    if (!fromText || !ParseDouble(*fromText, from) || from < 0 || !toText ||
        !ParseDouble(*toText, to) || to < from || to > 4294967.0) {
        return UsageError("session cut needs --from S --to S (seconds, from <= to)");
    }
    if (args.Rest().size() != 2) {
        return UsageError("session cut needs a recording and the file to write");
    }
    const std::string in = args.Rest()[0];
    const std::string out = args.Rest()[1];
    const auto fromMs = static_cast<uint32_t>(std::llround(from * 1000));
    const auto toMs = static_cast<uint32_t>(std::llround(to * 1000));
    CSessionReader reader;
    if (!OpenRecording(reader, in)) {
        return kExitFailed;
    }
    std::error_code ec;
    if (std::filesystem::equivalent(in, out, ec)) {
        return UsageError("session cut cannot write over the recording it reads");
    }
    std::FILE* f = std::fopen(out.c_str(), "wb");
    if (!f) {
        return Failed("cannot create " + out);
    }
    std::filesystem::permissions(
        out, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
        std::filesystem::perm_options::replace, ec);
    SessionHeader header = reader.Header();
    header.format = kSessionFormat;
    header.startUtcMs += fromMs;
    const std::string head = EncodeSessionHeader(header);
    bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
    // The piece starts with the link's state at its start, so that it reads
    // and replays on its own (the authorisation it was in).
    int32_t state = kStateIdle;
    bool started = false;
    long long kept = 0;
    const int rc = ForEachRecord(reader, [&](const SessionRecord& r) {
        if (r.ms < fromMs) {
            if (r.kind == RecordKind::kLinkState) {
                state = r.type;
            }
            return true;
        }
        if (r.ms > toMs) {
            return true;
        }
        if (!started) {
            started = true;
            const std::string s = EncodeRecordHead(0, RecordKind::kLinkState, false,
                                                   static_cast<msg::Type>(state), 0);
            ok = ok && std::fwrite(s.data(), 1, s.size(), f) == s.size();
        }
        const std::string h = EncodeRecordHead(r.ms - fromMs, r.kind, r.withheld, r.type, r.length);
        ok = ok && std::fwrite(h.data(), 1, h.size(), f) == h.size();
        ok = ok && std::fwrite(r.payload.data(), 1, r.payload.size(), f) == r.payload.size();
        ++kept;
        return ok;
    });
    if (std::fclose(f) != 0 || !ok) {
        return Failed("cannot write " + out);
    }
    std::printf("%lld records from %s s to %s s written to %s\n", kept, Seconds(fromMs).c_str(),
                Seconds(toMs).c_str(), out.c_str());
    return rc;
}

// ------------------------------------------------------------------ plot

struct Series {
    std::vector<std::pair<double, double>> points;  // seconds, value
};

// Draws one strip: a frame, its title, the series as a line, the link drops
// as red marks, and the value scale on the left.
void DrawStrip(QPainter& p, const QRect& area, const QString& title, const Series& s,
               double seconds, double maxValue, const std::vector<double>& drops,
               const QColor& colour) {
    p.setPen(QColor(200, 200, 200));
    p.setBrush(Qt::white);
    p.drawRect(area);
    p.setPen(QColor(40, 40, 40));
    p.drawText(area.adjusted(6, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, title);
    p.drawText(QRect(area.left() - 64, area.top() - 6, 58, 14), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(maxValue, 'f', maxValue < 10 ? 1 : 0));
    p.drawText(QRect(area.left() - 64, area.bottom() - 8, 58, 14),
               Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0"));
    const auto x = [&](double t) { return area.left() + t / seconds * area.width(); };
    const auto y = [&](double v) {
        return area.bottom() - std::clamp(v / maxValue, 0.0, 1.0) * (area.height() - 18);
    };
    p.setPen(QPen(QColor(220, 40, 40), 1, Qt::DashLine));
    for (const double t : drops) {
        p.drawLine(QPointF(x(t), area.top()), QPointF(x(t), area.bottom()));
    }
    if (s.points.empty()) {
        p.setPen(QColor(150, 150, 150));
        p.drawText(area, Qt::AlignCenter, QStringLiteral("no data"));
        return;
    }
    QPainterPath path;
    path.moveTo(x(s.points[0].first), y(s.points[0].second));
    for (size_t i = 1; i < s.points.size(); ++i) {
        path.lineTo(x(s.points[i].first), y(s.points[i].second));
    }
    p.setPen(QPen(colour, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    // Sparse series (a status reply every few seconds) show their points.
    if (s.points.size() < 300) {
        p.setBrush(colour);
        for (const auto& [t, v] : s.points) {
            p.drawEllipse(QPointF(x(t), y(v)), 2.5, 2.5);
        }
    }
}

int Plot(Args& args) {
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    if (args.Rest().size() != 2) {
        return UsageError("session plot needs a recording and a picture to write");
    }
    const std::string path = args.Rest()[0];
    const std::string out = args.Rest()[1];
    CSessionReader reader;
    if (!OpenRecording(reader, path)) {
        return kExitFailed;
    }
    Series battery;
    std::vector<uint64_t> bytesPerSecond;
    std::vector<uint64_t> picturesPerSecond;
    std::vector<double> drops;
    int32_t state = kStateIdle;
    uint32_t lastMs = 0;
    const int rc = ForEachRecord(reader, [&](const SessionRecord& r) {
        lastMs = std::max(lastMs, r.ms);
        if (r.kind == RecordKind::kLinkState) {
            if (state == kStateAuthorised && r.type != kStateAuthorised && r.type != kStateIdle) {
                drops.push_back(r.ms / 1000.0);
            }
            state = r.type;
            return true;
        }
        if (r.kind != RecordKind::kIncoming) {
            return true;
        }
        const size_t second = r.ms / 1000;
        if (bytesPerSecond.size() <= second) {
            bytesPerSecond.resize(second + 1, 0);
            picturesPerSecond.resize(second + 1, 0);
        }
        bytesPerSecond[second] += r.length + CRobotConnection::kHeaderSize;
        if (IsVideoType(r.type)) {
            ++picturesPerSecond[second];
        } else if (r.type == msg::kStatus) {
            CMemoryStream s;
            s.Assign(r.payload);
            const RobotStatus st = DecodeRobotStatus(s, static_cast<int32_t>(r.payload.size()));
            battery.points.push_back({r.ms / 1000.0, static_cast<double>(st.battery)});
        }
        return true;
    });
    Series rate;
    Series fps;
    double maxRate = 1;
    double maxFps = 1;
    for (size_t i = 0; i < bytesPerSecond.size(); ++i) {
        const double kbit = static_cast<double>(bytesPerSecond[i]) * 8 / 1000;
        rate.points.push_back({i + 0.5, kbit});
        fps.points.push_back({i + 0.5, static_cast<double>(picturesPerSecond[i])});
        maxRate = std::max(maxRate, kbit);
        maxFps = std::max(maxFps, static_cast<double>(picturesPerSecond[i]));
    }
    const double seconds =
        std::max({1.0, lastMs / 1000.0, static_cast<double>(bytesPerSecond.size())});

    // Only the painting needs Qt, and no display.
    std::unique_ptr<QGuiApplication> app;
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "velcoractl";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    constexpr int kWidth = 1200;
    constexpr int kHeight = 720;
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(QColor(245, 245, 245));
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QFont font = p.font();
        font.setPixelSize(12);
        p.setFont(font);
        const int left = 80;
        const int right = kWidth - 20;
        const int top = 36;
        const int strip = (kHeight - top - 50) / 3;
        p.setPen(Qt::black);
        p.drawText(
            QRect(left, 8, right - left, 20), Qt::AlignLeft | Qt::AlignVCenter,
            QString::fromStdString(Printable(std::filesystem::path(path).filename().string()) +
                                   "  " + UtcText(reader.Header().startUtcMs) + "  " +
                                   Printable(reader.Header().host)));
        DrawStrip(p, QRect(left, top, right - left, strip - 10), QStringLiteral("Battery, %"),
                  battery, seconds, 100, drops, QColor(30, 140, 60));
        DrawStrip(p, QRect(left, top + strip, right - left, strip - 10),
                  QStringLiteral("Incoming, kbit/s"), rate, seconds, maxRate, drops,
                  QColor(30, 90, 200));
        DrawStrip(p, QRect(left, top + 2 * strip, right - left, strip - 10),
                  QStringLiteral("Video, pictures/s"), fps, seconds, maxFps, drops,
                  QColor(200, 110, 20));
        // The time scale under the strips.
        p.setPen(QColor(40, 40, 40));
        const int axis = top + 3 * strip;
        const double step = std::max(1.0, std::pow(10.0, std::floor(std::log10(seconds / 2))));
        for (double t = 0; t <= seconds + 1e-9; t += step) {
            const int x = left + static_cast<int>(t / seconds * (right - left));
            p.drawLine(x, axis - 8, x, axis - 4);
            p.drawText(QRect(x - 40, axis - 4, 80, 16), Qt::AlignCenter,
                       QString::number(t, 'f', 0) + QStringLiteral(" s"));
        }
    }
    if (!image.save(QString::fromStdString(out), "PNG")) {
        return Failed("cannot write the picture " + out);
    }
    std::printf("%s s plotted into %s\n", Seconds(lastMs).c_str(), out.c_str());
    return rc;
}

int SessionCommand(Args& args) {
    if (args.Rest().empty()) {
        return UsageError("session needs info, export, cut or plot");
    }
    const std::string sub = args.Rest()[0];
    // The subcommand word goes; its options stay where Args finds them.
    Args subArgs(std::vector<std::string>(args.Rest().begin() + 1, args.Rest().end()));
    if (sub == "info") {
        return Info(subArgs);
    }
    if (sub == "export") {
        return Export(subArgs);
    }
    if (sub == "cut") {
        return Cut(subArgs);
    }
    if (sub == "plot") {
        return Plot(subArgs);
    }
    return UsageError("unknown session subcommand '" + sub + "'");
}

}  // namespace

void RegisterSessionCommands(Registry& registry) {
    registry.Add({"session",
                  "session info FILE [--json] | session export FILE --video CAMERA DIR | "
                  "session export FILE --status OUT.csv | session cut IN OUT --from S --to S | "
                  "session plot FILE OUT.png",
                  "inspect a session recording: summary, pictures, status table, a piece, a plot",
                  SessionCommand});
}

}  // namespace velcora::ctl
