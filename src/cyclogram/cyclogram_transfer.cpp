#include "cyclogram/cyclogram_transfer.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "cyclogram/cyclogram_format.h"
#include "link/text_codec.h"

namespace velcora {

const char* const kNoConnectionText = "Нет подключения к роботу!";

namespace {

constexpr const char* kListError = "Ошибка запроса списка циклограмм с робота!";
constexpr const char* kLoadError = "Ошибка загрузка циклограммы с робота!";
constexpr const char* kUploadError = "Ошибка загрузки циклограммы на робота!";
constexpr const char* kWaveListError = "Ошибка запроса списка файлов!";
constexpr const char* kWaveUploadError = "Ошибка загрузки файла на робота!";
constexpr const char* kEnvDownloadError = "Не удалось загрузить с робота проект окружения!";
constexpr const char* kEnvUploadError = "Не удалось загрузить на робота проект окружения!";
constexpr const char* kBackgroundDownloadError =
    "Не удалось загрузить с робота фон проекта окружения!";
constexpr const char* kBackgroundUploadError =
    "Не удалось передать на робота фон проекта окружения!";
constexpr const char* kDiscardQuestion =
    "Проект окружения был изменен. Загрузка проекта с робота сбросит эти изменения. Вы "
    "хотите продолжить?";
constexpr const char* kDiscardTitle = "Загрузить проект окружения с робота";
constexpr const char* kWaveUploadTitle = "Загрузить Wave-файл на робота";
constexpr const char* kDeleteWaveTitle = "Удалить Wave-файл с робота";
// Frames carry at most this many payload bytes.
constexpr int32_t kMaxPayload = 20000000;

int32_t Remaining(CMemoryStream& s) {
    return s.Size() - s.Position();
}

// The result byte of an upload reply: 0 is success. An empty reply carries no
// result; it must not pass for success.
bool Succeeded(CMemoryStream& p) {
    return p.Size() >= 1 && ReadU8(p) == 0;
}

// Sends a request that has no payload and starts its countdown; false,
// sending nothing, while the robot is not connected.
bool SendRequest(IRobotLink& link, msg::Type type, CRequestCountdown& countdown,
                 int32_t timeoutMs) {
    if (!link.Authorised()) {
        return false;
    }
    link.BeginFrame(type);
    link.EndFrame();
    countdown.Start(timeoutMs);
    return true;
}

std::string Format(const char* pattern, const std::string& value) {
    std::string out(pattern);
    const auto at = out.find("%s");
    if (at != std::string::npos) {
        out.replace(at, 2, value);
    }
    return out;
}

}  // namespace

bool CRequestCountdown::Advance(int32_t elapsedMs) {
    if (remaining_ <= 0) {
        return false;
    }
    remaining_ -= std::max(elapsedMs, 0);
    if (remaining_ <= 0) {
        remaining_ = 0;
        awaited_ = false;
        return true;
    }
    return false;
}

bool CRequestCountdown::Answer() {
    if (!awaited_) {
        return false;
    }
    Clear();
    return true;
}

// ------------------------------------------------------------- cyclograms

CCyclogramTransfer::CCyclogramTransfer(IRobotLink& link, ICyclogramTransferView& view)
    : link_(link), view_(view) {
    auto& d = link_.Dispatcher();
    registrations_.Add(
        d.Register(msg::kCyclogramList, [this](CStream& p, int32_t n) { onList(p, n); }));
    registrations_.Add(
        d.Register(msg::kCyclogram, [this](CStream& p, int32_t n) { onCyclogram(p, n); }));
    registrations_.Add(d.Register(msg::kCyclogramUploadResult,
                                  [this](CStream& p, int32_t n) { onUploadResult(p, n); }));
}

bool CCyclogramTransfer::requestList() {
    return SendRequest(link_, msg::kListCyclograms, list_, kListTimeoutMs);
}

bool CCyclogramTransfer::requestLoad(const std::string& name) {
    if (!link_.Authorised()) {
        return false;
    }
    WriteString(link_.BeginFrame(msg::kLoadCyclogram), std::string_view(name));
    link_.EndFrame();
    load_.Start(kLoadTimeoutMs);
    return true;
}

bool CCyclogramTransfer::upload(const std::string& name, const CCyclogram& doc, AfterUpload after,
                                FragmentMarks marks) {
    runAfterUpload_ = false;
    if (!link_.Authorised()) {
        return false;
    }
    CMemoryStream record;
    if (!writeCyclogram(doc, record, WriteScope::Full)) {
        return false;
    }
    CStream& s = link_.BeginFrame(msg::kUploadCyclogram);
    WriteString(s, std::string_view(name));
    WriteBytes(s, record.View());
    link_.EndFrame();
    upload_.Start(kUploadTimeoutMs);
    runAfterUpload_ = after == AfterUpload::Run;
    uploadName_ = name;
    uploadMarks_ = marks;
    return true;
}

bool CCyclogramTransfer::deleteCyclogram(const std::string& name) {
    if (!link_.Authorised()) {
        return false;
    }
    WriteString(link_.BeginFrame(msg::kDeleteCyclogram), std::string_view(name));
    link_.EndFrame();
    return true;
}

bool CCyclogramTransfer::renameCyclogram(const std::string& oldName, const std::string& newName) {
    if (!link_.Authorised()) {
        return false;
    }
    CStream& s = link_.BeginFrame(msg::kRenameCyclogram);
    WriteString(s, std::string_view(oldName));
    WriteString(s, std::string_view(newName));
    link_.EndFrame();
    return true;
}

bool CCyclogramTransfer::run(const std::string& name, FragmentMarks marks) {
    if (!link_.Authorised()) {
        return false;
    }
    CStream& s = link_.BeginFrame(msg::kRunCyclogram);
    WriteString(s, std::string_view(name));
    WriteI32(s, marks.start);
    WriteI32(s, marks.end);
    link_.EndFrame();
    return true;
}

void CCyclogramTransfer::Tick(int32_t elapsedMs) {
    if (list_.Advance(elapsedMs)) {
        view_.OnRequestFailed(CyclogramRequest::List, kListError);
    }
    if (load_.Advance(elapsedMs)) {
        view_.OnRequestFailed(CyclogramRequest::Load, kLoadError);
    }
    if (upload_.Advance(elapsedMs)) {
        runAfterUpload_ = false;
        view_.OnRequestFailed(CyclogramRequest::Upload, kUploadError);
    }
}

const CRequestCountdown& CCyclogramTransfer::countdown(CyclogramRequest which) const {
    switch (which) {
        case CyclogramRequest::List:
            return list_;
        case CyclogramRequest::Load:
            return load_;
        case CyclogramRequest::Upload:
            break;
    }
    return upload_;
}

void CCyclogramTransfer::onList(CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    list_.Clear();
    std::vector<std::string> names;
    while (Remaining(p) > 0) {
        auto name = ReadString(p);
        if (!name || name->size() > static_cast<std::size_t>(kMaxRobotNameLength)) {
            continue;  // empty, or longer than any name the robot can hold
        }
        try {
            names.push_back(std::move(*name));
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    view_.OnCyclogramList(names);
}

void CCyclogramTransfer::onCyclogram(CStream& payload, int32_t length) {
    if (!load_.Answer()) {
        return;  // nobody asked: never overwrite the open document unasked
    }
    CMemoryStream p = CopyToMemory(payload, length);
    auto doc = std::make_unique<CCyclogram>();
    // Read into a fresh document so that a malformed reply leaves nothing half-read behind.
    if (!readCyclogram(p, *doc)) {
        load_.ExpireNextTick();
        return;
    }
    view_.OnCyclogramLoaded(std::move(doc));
}

void CCyclogramTransfer::onUploadResult(CStream& payload, int32_t length) {
    if (!upload_.Answer()) {
        return;
    }
    CMemoryStream p = CopyToMemory(payload, length);
    if (!Succeeded(p)) {
        upload_.ExpireNextTick();
        return;
    }
    const bool run = runAfterUpload_;
    runAfterUpload_ = false;
    view_.OnCyclogramUploaded(uploadName_);
    if (run && link_.Authorised()) {
        this->run(uploadName_, uploadMarks_);
    }
}

// ------------------------------------------------------------ environment

CEnvironmentTransfer::CEnvironmentTransfer(IRobotLink& link, IEnvironmentTransferView& view,
                                           CCyclogramEnv& env, EnvironmentFiles files)
    : link_(link), view_(view), env_(env), files_(std::move(files)) {
    auto& d = link_.Dispatcher();
    registrations_.Add(d.Register(msg::kEnvironmentProject,
                                  [this](CStream& p, int32_t n) { onEnvironment(p, n); }));
    registrations_.Add(
        d.Register(msg::kBackgroundPicture, [this](CStream& p, int32_t n) { onBackground(p, n); }));
    registrations_.Add(d.Register(msg::kEnvironmentUploadResult,
                                  [this](CStream& p, int32_t n) { onUploadResult(p, n); }));
    registrations_.Add(d.Register(msg::kBackgroundUploadResult, [this](CStream& p, int32_t n) {
        onBackgroundUploadResult(p, n);
    }));
    registrations_.Add(
        d.Register(msg::kMotorValues, [this](CStream& p, int32_t n) { onMotorValues(p, n); }));
}

bool CEnvironmentTransfer::requestEnvironment() {
    if (!link_.Authorised()) {
        return false;
    }
    if (changed_ && !view_.Confirm(kDiscardQuestion, kDiscardTitle)) {
        return false;
    }
    link_.BeginFrame(msg::kRequestEnvironmentProject);
    link_.EndFrame();
    download_.Start(kDownloadTimeoutMs);
    requestedOnce_ = true;
    return true;
}

bool CEnvironmentTransfer::uploadEnvironment() {
    if (!link_.Authorised()) {
        return false;
    }
    // The robot compares these with its own copy to decide whether it wants the picture.
    const BackgroundIdentity local = computeBackgroundChecksum(files_.background);
    env_.backgroundSize = local.size;
    env_.backgroundChecksum = local.checksum;
    CMemoryStream record;
    if (!writeEnvironment(env_, record)) {
        return false;
    }
    WriteBytes(link_.BeginFrame(msg::kUploadEnvironmentProject), record.View());
    link_.EndFrame();
    upload_.Start(kUploadTimeoutMs);
    return true;
}

bool CEnvironmentTransfer::requestBackground() {
    return SendRequest(link_, msg::kRequestBackgroundPicture, backgroundDownload_,
                       kBackgroundTimeoutMs);
}

bool CEnvironmentTransfer::pollMotorValues() {
    if (!link_.Authorised() || env_.count() == 0) {
        return false;
    }
    CStream& s = link_.BeginFrame(msg::kPollMotorValues);
    const auto n = static_cast<uint16_t>(std::min<int32_t>(env_.count(), 0xFFFF));
    WriteU16(s, n);
    for (uint16_t i = 0; i < n; ++i) {
        WriteI32(s, env_.trackers[i].motor);
    }
    link_.EndFrame();
    return true;
}

bool CEnvironmentTransfer::setMotor(int32_t motor, int32_t raw) {
    if (!link_.Authorised()) {
        return false;
    }
    CStream& s = link_.BeginFrame(msg::kSetMotor);
    WriteI32(s, motor);
    WriteI32(s, raw);
    link_.EndFrame();
    return true;
}

void CEnvironmentTransfer::markChanged() {
    const bool was = changed_;
    changed_ = true;
    if (!was) {
        view_.OnChangedFlag(true);
    }
}

void CEnvironmentTransfer::clearChanged() {
    changed_ = false;
    view_.OnChangedFlag(false);
}

void CEnvironmentTransfer::Tick(int32_t elapsedMs) {
    if (download_.Advance(elapsedMs)) {
        view_.OnRequestFailed(EnvironmentRequest::Download, kEnvDownloadError);
    }
    if (upload_.Advance(elapsedMs)) {
        view_.OnRequestFailed(EnvironmentRequest::Upload, kEnvUploadError);
    }
    if (backgroundDownload_.Advance(elapsedMs)) {
        view_.OnRequestFailed(EnvironmentRequest::BackgroundDownload, kBackgroundDownloadError);
    }
    if (backgroundUpload_.Advance(elapsedMs)) {
        view_.OnRequestFailed(EnvironmentRequest::BackgroundUpload, kBackgroundUploadError);
    }
    if (online_ && link_.Authorised() && requestedOnce_ && env_.count() > 0) {
        pollElapsed_ += std::max(elapsedMs, 0);
        if (pollElapsed_ > kMotorPollPeriodMs) {
            pollElapsed_ = 0;
            pollMotorValues();
        }
    }
}

const CRequestCountdown& CEnvironmentTransfer::countdown(EnvironmentRequest which) const {
    switch (which) {
        case EnvironmentRequest::Download:
            return download_;
        case EnvironmentRequest::Upload:
            return upload_;
        case EnvironmentRequest::BackgroundDownload:
            return backgroundDownload_;
        case EnvironmentRequest::BackgroundUpload:
            break;
    }
    return backgroundUpload_;
}

void CEnvironmentTransfer::onEnvironment(CStream& payload, int32_t length) {
    if (!download_.Answer()) {
        return;
    }
    CMemoryStream p = CopyToMemory(payload, length);
    // A malformed record must not leave the operator's project half-overwritten.
    CCyclogramEnv fresh;
    if (!readEnvironment(p, fresh)) {
        return;
    }
    env_.trackers = std::move(fresh.trackers);
    env_.backgroundSize = fresh.backgroundSize;
    env_.backgroundChecksum = fresh.backgroundChecksum;
    saveEnvironmentFile(files_.workingCopy, env_);
    if (env_.backgroundSize == 0) {
        std::remove(files_.background.c_str());
        view_.OnBackgroundChanged();
    } else {
        const BackgroundIdentity local = computeBackgroundChecksum(files_.background);
        if (local.size != env_.backgroundSize || local.checksum != env_.backgroundChecksum) {
            requestBackground();
        }
    }
    clearChanged();
    view_.OnEnvironmentReplaced();
}

void CEnvironmentTransfer::onBackground(CStream& payload, int32_t length) {
    if (!backgroundDownload_.Answer()) {
        return;  // only a picture that was asked for may replace the file
    }
    CMemoryStream p = CopyToMemory(payload, length);
    if (!ReplaceFile(files_.background, p.View())) {
        backgroundDownload_.ExpireNextTick();
    }
    view_.OnBackgroundChanged();
}

bool CEnvironmentTransfer::sendBackground() {
    CMemoryStream picture;
    if (!picture.LoadFromFile(files_.background) || picture.Size() > kMaxPayload) {
        return false;
    }
    WriteBytes(link_.BeginFrame(msg::kSendBackgroundPicture), picture.View());
    link_.EndFrame();
    backgroundUpload_.Start(kBackgroundTimeoutMs);
    return true;
}

void CEnvironmentTransfer::onUploadResult(CStream& payload, int32_t length) {
    if (!upload_.Answer()) {
        return;
    }
    CMemoryStream p = CopyToMemory(payload, length);
    if (!Succeeded(p)) {
        upload_.ExpireNextTick();
        return;
    }
    const bool wantBackground = ReadU8(p) != 0;
    if (!wantBackground) {
        clearChanged();
        view_.OnEnvironmentUploaded();
        return;
    }
    if (!link_.Authorised() || !sendBackground()) {
        // The robot is left without the picture it asked for: say so.
        view_.OnRequestFailed(EnvironmentRequest::BackgroundUpload, kBackgroundUploadError);
    }
}

void CEnvironmentTransfer::onBackgroundUploadResult(CStream& payload, int32_t length) {
    if (!backgroundUpload_.Answer()) {
        return;
    }
    CMemoryStream p = CopyToMemory(payload, length);
    if (!Succeeded(p)) {
        backgroundUpload_.ExpireNextTick();
        return;
    }
    clearChanged();
    view_.OnEnvironmentUploaded();
}

void CEnvironmentTransfer::onMotorValues(CStream& payload, int32_t length) {
    if (!online_ && !mouseDown_) {
        return;
    }
    CMemoryStream p = CopyToMemory(payload, length);
    const uint16_t n = ReadU16(p);
    bool anyChanged = false;
    for (uint16_t i = 0; i < n && Remaining(p) >= 8; ++i) {
        const int32_t motor = ReadI32(p);
        int32_t raw = ReadI32(p);
        const int32_t t = env_.findTracker(motor);
        if (t < 0) {
            continue;
        }
        EnvTracker& tracker = env_.trackers[static_cast<std::size_t>(t)];
        const uint8_t noValue = raw == -1 ? 1 : 0;
        if (noValue) {
            raw = tracker.defaultRaw;
        }
        const float position = PositionOfRaw(tracker, raw);
        if (tracker.noValue != noValue || tracker.position != position) {
            anyChanged = true;
        }
        tracker.noValue = noValue;
        tracker.position = position;
    }
    view_.OnMotorValues(anyChanged);
}

// -------------------------------------------------------------- wave files

std::string WaveFileNameOf(const std::string& path) {
    const auto at = path.find_last_of("/\\|");
    return at == std::string::npos ? path : path.substr(at + 1);
}

CWaveTransfer::CWaveTransfer(IRobotLink& link, IWaveTransferView& view, CWaveList& list)
    : link_(link), view_(view), list_(list) {
    listRegistration_ = link_.Dispatcher().Register(
        msg::kWaveFileList, [this](CStream& p, int32_t n) { onList(p, n); });
}

bool CWaveTransfer::requestWaveList() {
    return SendRequest(link_, msg::kListWaveFiles, listCountdown_, kListTimeoutMs);
}

bool CWaveTransfer::uploadWaveFile(const std::string& path) {
    if (uploading_) {
        return false;  // one progress window, one upload
    }
    if (!link_.Authorised()) {
        view_.OnRequestFailed(WaveRequest::Upload, kNoConnectionText);
        return false;
    }
    if (!packWaveFile(path, packed_) || packed_.Size() > kMaxPayload) {
        packed_.Clear();
        view_.OnRequestFailed(WaveRequest::Upload, Format("Невозможно открыть файл \"%s\"!", path));
        return false;
    }
    packed_.Seek(0, kSeekSet);
    CStream& s = link_.BeginFrame(msg::kBeginWaveUpload);
    WriteString(s, std::string_view(Utf8ToAnsi(WaveFileNameOf(path))));
    WriteU32(s, static_cast<uint32_t>(packed_.Size()));
    link_.EndFrame();
    uploading_ = true;
    offset_ = 0;
    stepTimer_ = kWaveStepMs;
    retries_ = 0;
    chunkRegistration_ = link_.Dispatcher().Register(
        msg::kWaveChunkReply, [this](CStream& p, int32_t n) { onChunkReply(p, n); });
    view_.OnUploadStarted(kWaveUploadTitle, packed_.Size());
    return true;
}

void CWaveTransfer::cancelUpload() {
    if (!uploading_) {
        return;
    }
    uploading_ = false;
    chunkRegistration_.Reset();
    packed_.Clear();
}

void CWaveTransfer::finishUpload(bool ok) {
    uploading_ = false;
    chunkRegistration_.Reset();
    packed_.Clear();
    view_.OnUploadFinished(ok);
    if (!ok) {
        view_.OnRequestFailed(WaveRequest::Upload, kWaveUploadError);
    }
}

void CWaveTransfer::sendChunk() {
    const int32_t n = std::min(kWaveChunkSize, packed_.Size() - offset_);
    CStream& s = link_.BeginFrame(msg::kWaveChunk);
    WriteI32(s, offset_);
    s.Write(packed_.Data() + offset_, n);
    link_.EndFrame();
    view_.OnUploadProgress(offset_ + n, packed_.Size());
}

void CWaveTransfer::onChunkReply(CStream& payload, int32_t length) {
    if (!uploading_) {
        return;
    }
    CMemoryStream p = CopyToMemory(payload, length);
    if (p.Size() < 4) {
        return;  // no offset in it: treat as no reply, the step timer resends
    }
    const int32_t o = ReadI32(p);
    if (o < 0) {
        retries_ = 100;
        stepTimer_ = 1;
        return;
    }
    if (o >= packed_.Size()) {
        finishUpload(true);
        requestWaveList();
        return;
    }
    retries_ = 0;
    stepTimer_ = kWaveStepMs;
    offset_ = o;
    sendChunk();
}

bool CWaveTransfer::deleteWaveFile(const std::string& name) {
    if (!view_.Confirm(Format("Вы уверены, что хотите удалить \"%s\"?", AnsiToUtf8(name)),
                       kDeleteWaveTitle)) {
        return false;
    }
    if (!link_.Authorised()) {
        view_.OnRequestFailed(WaveRequest::Delete, kNoConnectionText);
        return false;
    }
    WriteString(link_.BeginFrame(msg::kDeleteWaveFile), std::string_view(name));
    link_.EndFrame();
    auto& e = list_.entries;
    e.erase(std::remove_if(e.begin(), e.end(),
                           [&](const WaveFileEntry& entry) { return entry.name == name; }),
            e.end());
    view_.OnWaveListChanged();
    return true;
}

void CWaveTransfer::Tick(int32_t elapsedMs) {
    if (listCountdown_.Advance(elapsedMs)) {
        view_.OnRequestFailed(WaveRequest::List, kWaveListError);
    }
    if (!uploading_ || !link_.Authorised()) {
        return;
    }
    stepTimer_ -= std::max(elapsedMs, 0);
    if (stepTimer_ > 0) {
        return;
    }
    if (retries_ > kWaveMaxRetries) {
        finishUpload(false);
        return;
    }
    ++retries_;
    sendChunk();
    stepTimer_ = kWaveStepMs;
}

void CWaveTransfer::onList(CStream& payload, int32_t length) {
    CMemoryStream p = CopyToMemory(payload, length);
    listCountdown_.Clear();
    list_.entries.clear();
    bool stored = true;
    while (Remaining(p) > 4) {
        auto name = ReadString(p);
        const uint32_t lengthMs = ReadU32(p);
        if (!name || name->size() > static_cast<std::size_t>(kMaxRobotNameLength)) {
            continue;
        }
        try {
            list_.entries.push_back({std::move(*name), lengthMs});
        } catch (const std::bad_alloc&) {
            stored = false;
            break;
        }
    }
    view_.OnWaveListChanged();
    if (!stored) {
        view_.OnRequestFailed(WaveRequest::List, kWaveListError);
    }
}

// ------------------------------------------------------- audio block dialog

int32_t SpeechLengthMs(int32_t characters) {
    const int64_t n = std::max(characters, 0);
    return static_cast<int32_t>(n * 14000 / 180 + 500);
}

AudioBlockFields AudioBlockFields::FromBlock(const AudioBlock& block) {
    AudioBlockFields f;
    f.length = block.length;
    if (block.isWaveFile()) {
        f.soundPage = true;
        f.fileName = AnsiToUtf8(*block.text);
    } else if (block.text) {
        f.speech = AnsiToUtf8(*block.text);
    }
    return f;
}

void AudioBlockFields::ApplyTo(AudioBlock& block) const {
    block.length = length;
    const std::string& field = soundPage ? fileName : speech;
    if (field.empty()) {
        block.text.reset();
    } else {
        block.text = Utf8ToAnsi(field);
    }
}

}  // namespace velcora
