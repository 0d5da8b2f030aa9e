#include "cyclogram/cyclogram_window.h"

#include <algorithm>

#include "cyclogram/cyclogram_format.h"
#include "link/text_codec.h"

namespace velcora {

namespace {

constexpr const char* kSaveQuestion = "Текущая циклограмма не сохранена на роботе. Сохранить?";
constexpr const char* kEditTitle = "Редактировать циклограмму";
constexpr const char* kNewTitle = "Создать новую циклограмму";
constexpr const char* kNamePrompt = "Введите название файла:";
constexpr const char* kDeleteTitle = "Удалить циклограмму";
constexpr const char* kDeleteQuestion = "Удалить данную циклограмму?";
constexpr const char* kForbiddenCharacters = "*,/?\\|";

// Lower case of a Windows-1251 byte: Latin, Cyrillic and Ё.
unsigned char Lower1251(unsigned char c) {
    if (c >= 'A' && c <= 'Z') {
        return static_cast<unsigned char>(c + ('a' - 'A'));
    }
    if (c >= 0xC0 && c <= 0xDF) {
        return static_cast<unsigned char>(c + 0x20);
    }
    if (c == 0xA8) {
        return 0xB8;
    }
    return c;
}

}  // namespace

NameCheck CheckCyclogramName(const std::string& utf8, std::string& ansi) {
    ansi.clear();
    if (utf8.empty()) {
        return NameCheck::Empty;
    }
    if (utf8.find_first_of(kForbiddenCharacters) != std::string::npos) {
        return NameCheck::Forbidden;
    }
    // Characters the code page lacks would arrive at the robot as '?'.
    std::string narrow = Utf8ToAnsi(utf8);
    if (AnsiToUtf8(narrow) != utf8 ||
        narrow.size() > static_cast<std::size_t>(kMaxRobotNameLength) ||
        narrow.find('\0') != std::string::npos) {
        return NameCheck::Forbidden;
    }
    for (unsigned char c : narrow) {
        if (c < 0x20) {
            return NameCheck::Forbidden;
        }
    }
    ansi = std::move(narrow);
    return NameCheck::Ok;
}

bool SameCyclogramName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower1251(static_cast<unsigned char>(a[i])) !=
            Lower1251(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string ProposeCyclogramName(const std::vector<std::string>& names) {
    for (int n = 1;; ++n) {
        const std::string name = "Cyclogram" + std::to_string(n);
        const bool taken = std::any_of(names.begin(), names.end(), [&](const std::string& s) {
            return SameCyclogramName(s, name);
        });
        if (!taken) {
            return name;
        }
    }
}

CCyclogramWindow::CCyclogramWindow(IRobotLink& link, ICyclogramWindowView& view,
                                   ITimeLineView& timeLineView, IClipboard& clipboard,
                                   IEnvironmentView& envView, EnvironmentFiles files, bool locked)
    : link_(link),
      view_(view),
      timeLine_(timeLineView, clipboard),
      env_(link, envView, std::move(files), locked),
      transfer_(link, *this) {
    env_.SetListener(this);
}

CCyclogramWindow::~CCyclogramWindow() {
    env_.SetListener(nullptr);
}

void CCyclogramWindow::Changed() {
    view_.OnCommandStateChanged();
}

// ----------------------------------------------------------------- list

void CCyclogramWindow::SelectEntry(int32_t index) {
    selected_ = index >= 0 && index < static_cast<int32_t>(names_.size()) ? index : -1;
    Changed();
}

bool CCyclogramWindow::LoadPending() const {
    return transfer_.countdown(CyclogramRequest::Load).Running();
}

bool CCyclogramWindow::Listed(const std::string& ansi, int32_t except) const {
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (static_cast<int32_t>(i) != except && SameCyclogramName(names_[i], ansi)) {
            return true;
        }
    }
    return false;
}

bool CCyclogramWindow::Enabled(ListCommand c) const {
    const bool entry = selected_ >= 0 && selected_ < static_cast<int32_t>(names_.size());
    switch (c) {
        case ListCommand::New:
            // A late load reply carries no name: it would replace the new cyclogram.
            return !LoadPending();
        case ListCommand::Edit:
            return entry && connected_ && !LoadPending();
        case ListCommand::Run:
        case ListCommand::Rename:
        case ListCommand::Delete:
            return entry && connected_;
        case ListCommand::Refresh:
            return connected_;
    }
    return false;
}

void CCyclogramWindow::Run(ListCommand c) {
    if (c == ListCommand::Refresh && !connected_) {
        view_.ShowError(kNoConnectionText);
        return;
    }
    if (!Enabled(c)) {
        return;
    }
    switch (c) {
        case ListCommand::New:
            New();
            break;
        case ListCommand::Run:
            transfer_.run(names_[static_cast<std::size_t>(selected_)], {});
            break;
        case ListCommand::Edit:
            Edit(names_[static_cast<std::size_t>(selected_)]);
            break;
        case ListCommand::Rename:
            renameOldName_ = names_[static_cast<std::size_t>(selected_)];
            view_.StartLabelEdit(selected_);
            break;
        case ListCommand::Delete:
            Delete();
            break;
        case ListCommand::Refresh:
            transfer_.requestList();
            break;
    }
}

bool CCyclogramWindow::ListKeyDown(ListKey key, InputMods mods) {
    switch (key) {
        case ListKey::Enter:
            Run(mods.ctrl ? ListCommand::Run : ListCommand::Edit);
            return true;
        case ListKey::F2:
            Run(ListCommand::Rename);
            return true;
        case ListKey::Delete:
            Run(ListCommand::Delete);
            return true;
        case ListKey::F5:
            Run(ListCommand::Refresh);
            return true;
        case ListKey::Other:
            break;
    }
    return false;
}

void CCyclogramWindow::ListDoubleClick(int32_t index) {
    SelectEntry(index);
    Run(ListCommand::Edit);
}

bool CCyclogramWindow::MayDiscard(const std::string& title) {
    if (!timeLine_.Modified()) {
        return true;
    }
    switch (view_.AskSave(title, kSaveQuestion)) {
        case SaveAnswer::Cancel:
            return false;
        case SaveAnswer::Yes:
            Upload(AfterUpload::Nothing);
            return false;
        case SaveAnswer::No:
            break;
    }
    return true;
}

void CCyclogramWindow::HideTimeLine() {
    timeLine_.SetVisible(false);
    view_.ShowTimeLine(false);
}

void CCyclogramWindow::Edit(const std::string& name) {
    if (LoadPending() || !MayDiscard(kEditTitle)) {
        return;
    }
    HideTimeLine();
    // What was discarded no longer counts as unsaved.
    timeLine_.SetDocument(nullptr);
    currentName_ = name;
    transfer_.requestLoad(name);
    Changed();
}

void CCyclogramWindow::EditByName(const std::string& ansi) {
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == ansi) {
            selected_ = static_cast<int32_t>(i);
            view_.OnListChanged();
            break;
        }
    }
    if (connected_ && !LoadPending()) {
        Edit(ansi);
    }
}

void CCyclogramWindow::RunByName(const std::string& ansi) {
    if (!connected_) {
        view_.ShowError(kNoConnectionText);
        return;
    }
    transfer_.run(ansi, {});
}

void CCyclogramWindow::New() {
    if (!MayDiscard(kNewTitle)) {
        return;
    }
    std::string value = AnsiToUtf8(ProposeCyclogramName(names_));
    if (!view_.PromptName(kNewTitle, kNamePrompt, value)) {
        return;
    }
    std::string ansi;
    switch (CheckCyclogramName(value, ansi)) {
        case NameCheck::Empty:
            return;
        case NameCheck::Forbidden:
            view_.ShowError(kForbiddenNameText);
            return;
        case NameCheck::Ok:
            break;
    }
    if (Listed(ansi)) {
        view_.ShowError(kNameExistsText);
        return;
    }
    currentName_ = ansi;
    names_.push_back(ansi);
    selected_ = static_cast<int32_t>(names_.size()) - 1;
    view_.OnListChanged();
    auto doc = std::make_unique<CCyclogram>();
    doc->resetFromEnvironment(env_.Env());
    timeLine_.SetDocument(std::move(doc));
    timeLine_.SetVisible(true);
    view_.ShowTimeLine(true);
    view_.OnNewCyclogramName(ansi);
    Changed();
}

void CCyclogramWindow::Delete() {
    const std::string name = names_[static_cast<std::size_t>(selected_)];
    if (!view_.Confirm(kDeleteTitle, kDeleteQuestion)) {
        return;
    }
    if (SameCyclogramName(name, currentName_)) {
        HideTimeLine();
        timeLine_.SetDocument(nullptr);
        currentName_.clear();
    }
    transfer_.deleteCyclogram(name);
    transfer_.requestList();
    Changed();
}

void CCyclogramWindow::EndLabelEdit(const std::string& utf8) {
    if (renameOldName_.empty()) {
        return;
    }
    const std::string old = renameOldName_;
    renameOldName_.clear();
    std::string ansi;
    const NameCheck check = CheckCyclogramName(utf8, ansi);
    if (check == NameCheck::Empty) {
        view_.OnListChanged();  // the entry shows its old name again
        return;
    }
    if (check == NameCheck::Ok && ansi == old) {
        transfer_.requestList();
        return;
    }
    int32_t oldIndex = -1;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == old) {
            oldIndex = static_cast<int32_t>(i);
        }
    }
    if (check == NameCheck::Forbidden) {
        view_.ShowError(kForbiddenNameText);
    } else if (Listed(ansi, oldIndex)) {
        view_.ShowError(kNameExistsText);
    } else if (transfer_.renameCyclogram(old, ansi) && old == currentName_) {
        currentName_ = ansi;
    }
    view_.OnListChanged();
    transfer_.requestList();
}

// ------------------------------------------------------- time-line bar

bool CCyclogramWindow::Enabled(TimeLineAction a) const {
    if (!timeLine_.Visible()) {
        return false;
    }
    switch (a) {
        case TimeLineAction::Upload:
        case TimeLineAction::Run:
            return connected_ && !currentName_.empty();
        default:
            return true;
    }
}

void CCyclogramWindow::Upload(AfterUpload after) {
    uploadGeneration_ = timeLine_.Generation();
    uploadName_ = currentName_;
    transfer_.upload(currentName_, timeLine_.Document(), after,
                     {timeLine_.FragmentStart(), timeLine_.FragmentEnd()});
}

void CCyclogramWindow::Run(TimeLineAction a) {
    if (!Enabled(a)) {
        return;
    }
    switch (a) {
        case TimeLineAction::Upload:
            Upload(AfterUpload::Nothing);
            break;
        case TimeLineAction::Run:
            if (timeLine_.Modified()) {
                Upload(AfterUpload::Run);
            } else {
                transfer_.run(currentName_, {timeLine_.FragmentStart(), timeLine_.FragmentEnd()});
            }
            break;
        case TimeLineAction::ApplyPose: {
            const auto pose = PoseAt(timeLine_.Document(), env_.Env(), timeLine_.CurrentTime());
            timeLine_.SetApplyingPose(true);
            for (const PoseEntry& p : pose) {
                env_.SetPosition(p.tracker, p.position);
            }
            timeLine_.SetApplyingPose(false);
            break;
        }
        case TimeLineAction::Export: {
            const std::string path = view_.ChooseCyclogramFile(true);
            if (!path.empty() && !saveCyclogramFile(path, timeLine_.Document())) {
                view_.ShowError("Невозможно записать файл \"" + path + "\"!");
            }
            break;
        }
        case TimeLineAction::Import: {
            const std::string path = view_.ChooseCyclogramFile(false);
            if (path.empty()) {
                break;
            }
            // A file that cannot be read whole changes nothing.
            auto doc = std::make_unique<CCyclogram>();
            if (!loadCyclogramFile(path, *doc)) {
                view_.ShowError("Невозможно прочитать файл \"" + path + "\"!");
                break;
            }
            timeLine_.ReplaceDocument(std::move(doc));
            break;
        }
        case TimeLineAction::RecordAll: {
            timeLine_.BeginGesture();
            const std::vector<EnvTracker> trackers = env_.Env().trackers;
            for (const EnvTracker& t : trackers) {
                timeLine_.RecordKey(t.motor, t.position);
            }
            timeLine_.EndGesture();
            break;
        }
    }
}

// ------------------------------------------------------------ lifecycle

void CCyclogramWindow::OnConnectionState(bool connected) {
    const bool was = connected_;
    connected_ = connected;
    if (connected && !was) {
        // The main window's list and this one follow the robot from the start.
        transfer_.requestList();
    }
    CheckFirstShow();
    Changed();
}

void CCyclogramWindow::SetPageActive(bool active) {
    pageActive_ = active;
    CheckFirstShow();
}

void CCyclogramWindow::CheckFirstShow() {
    if (pageActive_ && connected_ && firstShow_) {
        firstShow_ = false;
        env_.Transfer().requestEnvironment();
    }
}

void CCyclogramWindow::Tick(int32_t elapsedMs) {
    transfer_.Tick(elapsedMs);
    env_.Tick(elapsedMs);
}

bool CCyclogramWindow::CanClose() {
    if (!timeLine_.Visible() || !timeLine_.Modified()) {
        return true;
    }
    switch (view_.AskSave(kEditTitle, kSaveQuestion)) {
        case SaveAnswer::No:
            return true;
        case SaveAnswer::Yes:
            // Stay open until the robot has it.
            if (connected_) {
                Upload(AfterUpload::Nothing);
            } else {
                view_.ShowError(kNoConnectionText);
            }
            return false;
        case SaveAnswer::Cancel:
            break;
    }
    return false;
}

// ------------------------------------------------------------- replies

void CCyclogramWindow::OnCyclogramList(const std::vector<std::string>& names) {
    const std::string selectedName =
        selected_ >= 0 && selected_ < static_cast<int32_t>(names_.size()) ? names_[selected_] : "";
    names_ = names;
    selected_ = -1;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (!selectedName.empty() && names_[i] == selectedName) {
            selected_ = static_cast<int32_t>(i);
        }
    }
    view_.OnListChanged();
    view_.OnRobotList(names_);
    Changed();
}

void CCyclogramWindow::OnCyclogramLoaded(std::unique_ptr<CCyclogram> doc) {
    timeLine_.SetDocument(std::move(doc));
    timeLine_.SetVisible(true);
    view_.ShowTimeLine(true);
    Changed();
}

void CCyclogramWindow::OnCyclogramUploaded(const std::string& name) {
    if (name == currentName_ && name == uploadName_) {
        timeLine_.MarkSaved(uploadGeneration_);
    }
    Changed();
}

void CCyclogramWindow::OnRequestFailed(CyclogramRequest which, const std::string& text) {
    if (which == CyclogramRequest::Load && !timeLine_.Visible()) {
        currentName_.clear();
    }
    view_.ShowError(text);
    Changed();
}

void CCyclogramWindow::OnTrackerMoved(int32_t, int32_t motor, float position) {
    timeLine_.RecordKey(motor, position);
}

void CCyclogramWindow::OnTrackerSelected(int32_t motor) {
    timeLine_.SetCurrentTrack(motor < 0 ? -1 : timeLine_.Document().findTrack(motor));
}

void CCyclogramWindow::OnTrackerGesture(bool begins) {
    if (begins) {
        timeLine_.BeginGesture();
    } else {
        timeLine_.EndGesture();
    }
}

}  // namespace velcora
