#include "chatbot/chatbot_editor.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "chatbot/question_match.h"
#include "chatbot/script_generator.h"
#include "chatbot/script_reader.h"

namespace velcora {

namespace {

constexpr std::u16string_view kErrorTitle = u"Ошибка";
constexpr std::u16string_view kParseError = u"Ошибка разбора текста!";
constexpr std::u16string_view kBadName = u"Название фреймсета содержит недопустимые символы!";
constexpr std::u16string_view kNameTaken = u"Такой фреймсет уже существует!";
constexpr std::u16string_view kNamePrompt = u"Введите название фреймсета:";
constexpr std::u16string_view kNoConnection = u"Нет подключения к роботу!";
constexpr std::u16string_view kCannotOpen = u"Невозможно открыть файл!";
constexpr std::u16string_view kCannotSave = u"Невозможно сохранить файл!";
constexpr std::u16string_view kNoMemory = u"Can't allocate memory!";
constexpr std::u16string_view kNoMemoryTitle = u"Error";
constexpr std::u16string_view kNotSaved = u"Файл не сохранен. Сохранить?";
constexpr std::u16string_view kNotOnRobot =
    u"Файл не записан в память робот. Передать файл на робота?";
constexpr std::u16string_view kClosing = u"Закрытие";
constexpr std::u16string_view kNoMoreMatches = u"Совпадений больше нет!";
constexpr std::u16string_view kNoMatches = u"Совпадений нет";
constexpr std::u16string_view kCheckPrompt = u"Проверить вопрос:";
constexpr std::u16string_view kSearchPrompt = u"Введите искомый текст:";
constexpr std::u16string_view kNestedName = u"temp";
constexpr int32_t kNestedPriority = 1;

// ----------------------------------------------------------- round trips

template <typename Make>
bool TextSurvives(const std::u16string& text, Make regenerate) {
    CChatScript read;
    if (!ReadScript(text, read)) {
        return false;
    }
    return regenerate(read) == text;
}

// ----------------------------------------------------------------- search

// Every text of the document in order, with where it stands. `stop` ends the
// walk early when it returns true.
template <typename Visit>
bool WalkFrameset(const CChatFrameset& fs, std::vector<int32_t>& path, Visit& visit) {
    ChatSelection s;
    s.area = ChatArea::kQuestions;
    s.item = ChatItem::kFrameset;
    s.frameset = path;
    if (visit(s, fs.name)) {
        return true;
    }
    for (std::size_t f = 0; f < fs.frames.size(); ++f) {
        const CChatFrame& frame = fs.frames[f];
        s.frame = static_cast<int32_t>(f);
        s.item = ChatItem::kQuestion;
        for (std::size_t q = 0; q < frame.questions.size(); ++q) {
            s.index = static_cast<int32_t>(q);
            if (visit(s, PrintPattern(frame.questions[q]))) {
                return true;
            }
        }
        s.index = -1;
        if (frame.kind == FrameKind::kScript) {
            s.item = ChatItem::kScript;
            if (visit(s, frame.script)) {
                return true;
            }
        } else if (frame.kind == FrameKind::kAnswer) {
            s.item = ChatItem::kAnswer;
            for (std::size_t a = 0; a < frame.answers.size(); ++a) {
                s.index = static_cast<int32_t>(a);
                if (visit(s, frame.answers[a])) {
                    return true;
                }
            }
            s.index = -1;
        }
        if (frame.nested) {
            path.push_back(static_cast<int32_t>(f));
            const bool stop = WalkFrameset(*frame.nested, path, visit);
            path.pop_back();
            if (stop) {
                return true;
            }
        }
    }
    return false;
}

template <typename Visit>
void WalkScript(const CChatScript& script, Visit visit) {
    std::vector<int32_t> path;
    for (std::size_t i = 0; i < script.framesets.size(); ++i) {
        path.assign(1, static_cast<int32_t>(i));
        if (WalkFrameset(script.framesets[i], path, visit)) {
            return;
        }
    }
    ChatSelection s;
    s.area = ChatArea::kDialogues;
    s.item = ChatItem::kPhrase;
    for (std::size_t d = 0; d < script.dialogues.size(); ++d) {
        s.dialog = static_cast<int32_t>(d);
        const auto& phrases = script.dialogues[d].phrases;
        for (std::size_t p = 0; p < phrases.size(); ++p) {
            s.index = static_cast<int32_t>(p);
            if (visit(s, phrases[p].text)) {
                return;
            }
        }
    }
    s = {};
    s.area = ChatArea::kPrompts;
    s.item = ChatItem::kPrompt;
    for (std::size_t p = 0; p < script.prompts.size(); ++p) {
        s.index = static_cast<int32_t>(p);
        if (visit(s, script.prompts[p])) {
            return;
        }
    }
}

bool ContainsFolded(std::u16string_view text, std::u16string_view foldedNeedle) {
    if (foldedNeedle.empty() || foldedNeedle.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i + foldedNeedle.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < foldedNeedle.size() && FoldCase(text[i + k]) == foldedNeedle[k]) {
            ++k;
        }
        if (k == foldedNeedle.size()) {
            return true;
        }
    }
    return false;
}

// A search resumes after the item the selection stands on; an element or a
// frame counts as its question or its first item.
ChatSelection SearchPlace(ChatSelection s) {
    if (s.item == ChatItem::kElement) {
        s.item = ChatItem::kQuestion;
        s.element = -1;
    }
    return s;
}

void CollectNames(const CChatFrameset& fs, std::vector<std::u16string>& out) {
    out.push_back(fs.name);
    for (const CChatFrame& f : fs.frames) {
        if (f.nested) {
            CollectNames(*f.nested, out);
        }
    }
}

bool NameTaken(const CChatFrameset& fs, std::u16string_view name, const CChatFrameset* self) {
    if (&fs != self && fs.name == name) {
        return true;
    }
    for (const CChatFrame& f : fs.frames) {
        if (f.nested && NameTaken(*f.nested, name, self)) {
            return true;
        }
    }
    return false;
}

CChatFrameset* WalkPath(CChatFrameset* fs, const std::vector<int32_t>& path, std::size_t from) {
    for (std::size_t k = from; fs && k < path.size(); ++k) {
        const int32_t f = path[k];
        if (f < 0 || static_cast<std::size_t>(f) >= fs->frames.size()) {
            return nullptr;
        }
        fs = fs->frames[static_cast<std::size_t>(f)].nested.get();
    }
    return fs;
}

// Ordinary phrases first, then those said after the wait: the order the
// script keeps them in.
void OrderPhrases(CChatDialog& d) {
    std::stable_partition(d.phrases.begin(), d.phrases.end(),
                          [](const CChatPhrase& p) { return !p.afterWait; });
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > static_cast<uintmax_t>(kChatBotMaxScript)) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    // A file that grew past the limit meanwhile is refused as well.
    return in.gcount() == static_cast<std::streamsize>(size) && in.peek() == EOF;
}

}  // namespace

bool ScriptCarries(const CChatFrameset& frameset) {
    std::u16string text;
    GenerateFrameset(frameset, 0, text);
    return TextSurvives(text, [](const CChatScript& s) {
        std::u16string again;
        if (s.framesets.size() != 1 || !s.dialogues.empty() || !s.prompts.empty()) {
            return again;
        }
        GenerateFrameset(s.framesets[0], 0, again);
        return again;
    });
}

bool ScriptCarries(const CChatDialog& dialog) {
    CChatScript one;
    one.dialogues.push_back(dialog);
    return TextSurvives(GenerateScript(one), [](const CChatScript& s) {
        return s.dialogues.size() == 1 ? GenerateScript(s) : std::u16string();
    });
}

bool ScriptCarriesPrompt(std::u16string_view prompt) {
    CChatScript one;
    one.prompts.emplace_back(prompt);
    return TextSurvives(GenerateScript(one), [](const CChatScript& s) {
        return s.prompts.size() == 1 ? GenerateScript(s) : std::u16string();
    });
}

CChatFrameset* FramesetAt(CChatScript& script, const std::vector<int32_t>& path) {
    if (path.empty() || path[0] < 0 ||
        static_cast<std::size_t>(path[0]) >= script.framesets.size()) {
        return nullptr;
    }
    return WalkPath(&script.framesets[static_cast<std::size_t>(path[0])], path, 1);
}

const CChatFrameset* FramesetAt(const CChatScript& script, const std::vector<int32_t>& path) {
    return FramesetAt(const_cast<CChatScript&>(script), path);
}

// ----------------------------------------------------------- transfer run

CChatBotTransferRun::CChatBotTransferRun(IRobotLink& link, std::string bytes)
    : direction_(TransferDirection::kUpload),
      total_(static_cast<int32_t>(bytes.size())),
      upload_(std::make_unique<CChatBotUpload>(link, *this, std::move(bytes))) {}

CChatBotTransferRun::CChatBotTransferRun(IRobotLink& link)
    : direction_(TransferDirection::kDownload),
      download_(std::make_unique<CChatBotDownload>(link, *this)) {}

CChatBotTransferRun::~CChatBotTransferRun() {
    Cancel();
}

void CChatBotTransferRun::Start() {
    if (upload_) {
        upload_->Start();
    } else {
        download_->Start();
    }
}

void CChatBotTransferRun::Tick(int32_t elapsedMs) {
    if (upload_) {
        upload_->Tick(elapsedMs);
    } else {
        download_->Tick(elapsedMs);
    }
}

void CChatBotTransferRun::Cancel() {
    if (upload_) {
        upload_->Cancel();
    } else {
        download_->Cancel();
    }
}

void CChatBotTransferRun::Reauthorised() {
    if (upload_) {
        upload_->Resend();
    } else {
        download_->Restart();
    }
}

TransferResult CChatBotTransferRun::Result() const {
    return upload_ ? upload_->Result() : download_->Result();
}

const std::string& CChatBotTransferRun::Bytes() const {
    static const std::string kNone;
    return download_ ? download_->Bytes() : kNone;
}

void CChatBotTransferRun::OnProgress(int32_t done, int32_t total) {
    done_ = done;
    total_ = total;
    if (view_) {
        view_->OnProgress(done, total);
    }
}

void CChatBotTransferRun::OnFinished(TransferResult result) {
    if (view_) {
        view_->OnFinished(result);
    }
}

// ----------------------------------------------------------------- editor

CChatBotEditor::CChatBotEditor(IRobotLink& link, IChatBotEditorView& view)
    : link_(link), view_(view) {}

CChatBotEditor::~CChatBotEditor() = default;

std::u16string CChatBotEditor::Title() const {
    std::u16string t(kChatBotEditorTitle);
    if (Modified()) {
        t += u" *";
    }
    return t;
}

void CChatBotEditor::UpdateTitle() {
    view_.SetTitle(Title());
}

void CChatBotEditor::Edited() {
    document_.MarkModified();
    unsaved_ = true;
    notOnRobot_ = true;
    UpdateTitle();
}

void CChatBotEditor::Reset() {
    undo_.Clear();
    selection_ = {};
    view_.Changed({ChatChange::kAll, -1});
    UpdateTitle();
}

bool CChatBotEditor::Valid(const ChatSelection& s) const {
    const CChatScript& script = Script();
    auto in = [](int32_t i, std::size_t n) { return i >= 0 && static_cast<std::size_t>(i) < n; };
    switch (s.area) {
        case ChatArea::kDialogues:
            if (s.item == ChatItem::kNone) {
                return true;
            }
            if (!in(s.dialog, script.dialogues.size())) {
                return false;
            }
            if (s.item == ChatItem::kDialog) {
                return true;
            }
            return s.item == ChatItem::kPhrase &&
                   in(s.index, script.dialogues[static_cast<std::size_t>(s.dialog)].phrases.size());
        case ChatArea::kPrompts:
            return s.item == ChatItem::kNone ||
                   (s.item == ChatItem::kPrompt && in(s.index, script.prompts.size()));
        case ChatArea::kQuestions:
            break;
    }
    if (s.item == ChatItem::kNone) {
        return true;
    }
    const CChatFrameset* fs = FramesetAt(Script(), s.frameset);
    if (!fs) {
        return false;
    }
    if (s.item == ChatItem::kFrameset) {
        return true;
    }
    if (!in(s.frame, fs->frames.size())) {
        return false;
    }
    const CChatFrame& f = fs->frames[static_cast<std::size_t>(s.frame)];
    switch (s.item) {
        case ChatItem::kFrame:
            return true;
        case ChatItem::kQuestion:
            return in(s.index, f.questions.size());
        case ChatItem::kElement:
            return in(s.index, f.questions.size()) &&
                   in(s.element, f.questions[static_cast<std::size_t>(s.index)].size());
        case ChatItem::kAnswer:
            return f.kind == FrameKind::kAnswer && in(s.index, f.answers.size());
        case ChatItem::kScript:
            return f.kind == FrameKind::kScript;
        case ChatItem::kPronoun:
            return f.kind == FrameKind::kPronoun;
        default:
            return false;
    }
}

void CChatBotEditor::Select(const ChatSelection& selection) {
    if (Valid(selection)) {
        selection_ = selection;
    } else {
        selection_ = {};
        selection_.area = selection.area;
    }
    view_.Changed({ChatChange::kSelection, -1});
}

void CChatBotEditor::ToggleExpanded(const ChatSelection& at) {
    if (at.area != ChatArea::kQuestions || !Valid(at)) {
        return;
    }
    CChatFrameset* fs = FramesetAt(document_.Script(), at.frameset);
    if (!fs) {
        return;
    }
    if (at.item == ChatItem::kFrameset) {
        fs->expanded = !fs->expanded;
    } else if (at.frame >= 0) {
        CChatFrame& f = fs->frames[static_cast<std::size_t>(at.frame)];
        f.expanded = !f.expanded;
    }
    view_.Changed({ChatChange::kFrameset, at.frameset[0]});
}

void CChatBotEditor::Reveal(const ChatSelection& s) {
    if (s.area != ChatArea::kQuestions || s.frameset.empty()) {
        return;
    }
    CChatScript& script = document_.Script();
    CChatFrameset* fs = FramesetAt(script, {s.frameset[0]});
    for (std::size_t k = 0; fs; ++k) {
        fs->expanded = true;
        const int32_t f = k + 1 < s.frameset.size() ? s.frameset[k + 1] : s.frame;
        if (f < 0 || static_cast<std::size_t>(f) >= fs->frames.size()) {
            break;
        }
        CChatFrame& frame = fs->frames[static_cast<std::size_t>(f)];
        if (k + 1 >= s.frameset.size()) {
            // The selection's own frame opens only when something inside it
            // is selected.
            if (s.item != ChatItem::kFrameset && s.item != ChatItem::kFrame) {
                frame.expanded = true;
            }
            break;
        }
        frame.expanded = true;
        fs = frame.nested.get();
    }
    view_.Changed({ChatChange::kFrameset, s.frameset[0]});
}

CChatFrameset* CChatBotEditor::SelectedFrameset() {
    if (selection_.area != ChatArea::kQuestions || selection_.item == ChatItem::kNone) {
        return nullptr;
    }
    return FramesetAt(document_.Script(), selection_.frameset);
}

const CChatFrameset* CChatBotEditor::SelectedFrameset() const {
    return const_cast<CChatBotEditor*>(this)->SelectedFrameset();
}

const CChatFrame* CChatBotEditor::SelectedFrame() const {
    const CChatFrameset* fs = SelectedFrameset();
    if (!fs || selection_.frame < 0 ||
        static_cast<std::size_t>(selection_.frame) >= fs->frames.size()) {
        return nullptr;
    }
    return &fs->frames[static_cast<std::size_t>(selection_.frame)];
}

std::u16string_view CChatBotEditor::CheckFramesetName(std::u16string_view name,
                                                      const CChatFrameset* self) const {
    if (name.empty() || name.size() > kMaxFramesetName ||
        !std::all_of(name.begin(), name.end(), IsWordChar)) {
        return kBadName;
    }
    for (const CChatFrameset& fs : Script().framesets) {
        if (NameTaken(fs, name, self)) {
            return kNameTaken;
        }
    }
    return {};
}

// -------------------------------------------------------------- commands

std::u16string_view CChatBotEditor::Text(ChatCommand command) {
    switch (command) {
        case ChatCommand::kNewFile:
            return u"Новый файл";
        case ChatCommand::kSaveFile:
            return u"Сохранить файл на локальный диск";
        case ChatCommand::kOpenFile:
            return u"Открыть файл с локального диска";
        case ChatCommand::kUpload:
            return u"Передать файл в память робота";
        case ChatCommand::kDownload:
            return u"Загрузить файл из памяти робота";
        case ChatCommand::kAddFrameset:
            return u"Добавить новый фреймсет";
        case ChatCommand::kDeleteFrameset:
            return u"Удалить фреймсет";
        case ChatCommand::kEditFrameset:
            return u"Правка фреймсета";
        case ChatCommand::kAddFrame:
            return u"Добавить фрейм";
        case ChatCommand::kDeleteFrame:
            return u"Удалить фрейм";
        case ChatCommand::kAddQuestion:
            return u"Добавить вопрос";
        case ChatCommand::kDeleteQuestion:
            return u"Удалить вопрос";
        case ChatCommand::kAddAnswer:
            return u"Добавить ответ";
        case ChatCommand::kDeleteAnswer:
            return u"Удалить ответ";
        case ChatCommand::kEditScript:
            return u"Правка скрипта";
        case ChatCommand::kAddPhrase:
            return u"Добавить фразу";
        case ChatCommand::kAddPhraseAfterWait:
            return u"Добавить фразу после ожидания";
        case ChatCommand::kDeletePhrase:
            return u"Удалить фразу";
        case ChatCommand::kToggleAfterWait:
            return u"После ожидания";
        case ChatCommand::kEdit:
            return u"Правка";
        case ChatCommand::kFind:
            return u"Найти\tCtrl+F";
        case ChatCommand::kFindNext:
            return u"Продолжить поиск\tShift+F3";
        case ChatCommand::kUndo:
            return u"Отменить\tCtrl+Z";
        case ChatCommand::kRedo:
            return u"Повторить\tCtrl+Y";
        case ChatCommand::kCheckQuestion:
            return u"Проверить вопрос";
    }
    return {};
}

bool CChatBotEditor::Enabled(ChatCommand command) const {
    const ChatSelection& s = selection_;
    const bool questions = s.area == ChatArea::kQuestions;
    const CChatFrame* frame = SelectedFrame();
    switch (command) {
        case ChatCommand::kNewFile:
        case ChatCommand::kSaveFile:
        case ChatCommand::kOpenFile:
        case ChatCommand::kUpload:
        case ChatCommand::kDownload:
        case ChatCommand::kFind:
        case ChatCommand::kCheckQuestion:
            return transfer_ == nullptr;
        case ChatCommand::kFindNext:
            return !search_.empty();
        case ChatCommand::kUndo:
            return undo_.CanUndo();
        case ChatCommand::kRedo:
            return undo_.CanRedo();
        case ChatCommand::kAddFrameset:
            return questions;
        case ChatCommand::kDeleteFrameset:
        case ChatCommand::kEditFrameset:
            return questions && s.item != ChatItem::kNone;
        case ChatCommand::kAddFrame:
            return (questions && s.item != ChatItem::kNone) || s.area == ChatArea::kDialogues;
        case ChatCommand::kDeleteFrame:
            return (questions && frame) || (s.area == ChatArea::kDialogues && s.dialog >= 0);
        case ChatCommand::kAddQuestion:
            return frame != nullptr;
        case ChatCommand::kDeleteQuestion:
            // A frame needs a question to stand in the script at all.
            return frame && (s.item == ChatItem::kQuestion || s.item == ChatItem::kElement) &&
                   frame->questions.size() > 1;
        case ChatCommand::kAddAnswer:
        case ChatCommand::kEditScript:
            return frame && frame->kind != FrameKind::kPronoun;
        case ChatCommand::kDeleteAnswer:
            return s.item == ChatItem::kAnswer;
        case ChatCommand::kAddPhrase:
            return (s.area == ChatArea::kDialogues && s.dialog >= 0) ||
                   s.area == ChatArea::kPrompts;
        case ChatCommand::kAddPhraseAfterWait:
            return s.area == ChatArea::kDialogues && s.dialog >= 0;
        case ChatCommand::kDeletePhrase:
            return s.item == ChatItem::kPhrase || s.item == ChatItem::kPrompt;
        case ChatCommand::kToggleAfterWait:
            return s.item == ChatItem::kPhrase;
        case ChatCommand::kEdit:
            return s.item != ChatItem::kNone && s.item != ChatItem::kFrame &&
                   s.item != ChatItem::kPronoun;
    }
    return false;
}

bool CChatBotEditor::Run(ChatCommand command) {
    if (!Enabled(command)) {
        return false;
    }
    switch (command) {
        case ChatCommand::kNewFile:
            return NewFile();
        case ChatCommand::kSaveFile:
            return SaveFile();
        case ChatCommand::kOpenFile:
            return OpenFile();
        case ChatCommand::kUpload:
            return Upload();
        case ChatCommand::kDownload:
            return Download();
        case ChatCommand::kAddFrameset: {
            const CChatFrame* f = SelectedFrame();
            if (f && selection_.item != ChatItem::kFrameset && !f->nested &&
                f->kind != FrameKind::kPronoun) {
                return AddNestedFrameset();
            }
            return AddFrameset();
        }
        case ChatCommand::kDeleteFrameset:
            return DeleteFrameset();
        case ChatCommand::kEditFrameset:
            return EditFramesetProperties();
        case ChatCommand::kAddFrame:
            return selection_.area == ChatArea::kDialogues ? AddDialog() : AddFrame();
        case ChatCommand::kDeleteFrame:
            return selection_.area == ChatArea::kDialogues ? DeleteDialog() : DeleteFrame();
        case ChatCommand::kAddQuestion:
            return AddQuestion();
        case ChatCommand::kDeleteQuestion:
            return DeleteQuestion();
        case ChatCommand::kAddAnswer:
            return AddAnswer();
        case ChatCommand::kDeleteAnswer:
            return DeleteAnswer();
        case ChatCommand::kEditScript:
            return EditScript();
        case ChatCommand::kAddPhrase:
            return AddPhrase(false);
        case ChatCommand::kAddPhraseAfterWait:
            return AddPhrase(true);
        case ChatCommand::kDeletePhrase:
            return DeletePhrase();
        case ChatCommand::kToggleAfterWait:
            return ToggleAfterWait();
        case ChatCommand::kEdit:
            return EditSelected();
        case ChatCommand::kFind:
            return Find(true);
        case ChatCommand::kFindNext:
            return Find(false);
        case ChatCommand::kUndo:
            return Undo();
        case ChatCommand::kRedo:
            return Redo();
        case ChatCommand::kCheckQuestion:
            return CheckQuestion();
    }
    return false;
}

// ------------------------------------------------------- files and robot

bool CChatBotEditor::AskSaveFirst(std::u16string_view title) {
    if (!unsaved_) {
        return true;
    }
    switch (view_.Ask(title, kNotSaved, EditorButtons::kYesNoCancel)) {
        case EditorAnswer::kYes:
            return SaveFile();
        case EditorAnswer::kNo:
            return true;
        case EditorAnswer::kCancel:
            break;
    }
    return false;
}

bool CChatBotEditor::NewFile() {
    if (!AskSaveFirst(Text(ChatCommand::kNewFile))) {
        return false;
    }
    document_ = CChatBotDocument();
    unsaved_ = false;
    notOnRobot_ = false;
    Reset();
    return true;
}

bool CChatBotEditor::SaveFile() {
    const std::string path = view_.ChooseSaveFile();
    return !path.empty() && SavePath(path);
}

bool CChatBotEditor::SavePath(const std::string& path) {
    if (!ReplaceFile(path, document_.ScriptBytes())) {
        view_.ShowError(kCannotSave, kErrorTitle);
        return false;
    }
    document_.MarkStored();
    unsaved_ = false;
    UpdateTitle();
    return true;
}

bool CChatBotEditor::OpenFile() {
    if (!AskSaveFirst(Text(ChatCommand::kOpenFile))) {
        return false;
    }
    const std::string path = view_.ChooseOpenFile();
    return !path.empty() && OpenPath(path);
}

bool CChatBotEditor::OpenPath(const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        view_.ShowError(kCannotOpen, kErrorTitle);
        return false;
    }
    if (!TakeBytes(bytes)) {
        return false;
    }
    unsaved_ = false;
    notOnRobot_ = true;
    return true;
}

bool CChatBotEditor::TakeBytes(std::string_view bytes) {
    if (!document_.LoadBytes(bytes)) {
        view_.ShowError(kParseError, kErrorTitle);
        return false;
    }
    Reset();
    return true;
}

bool CChatBotEditor::Upload() {
    if (!link_.Authorised()) {
        view_.ShowError(kNoConnection, kErrorTitle);
        return false;
    }
    std::string bytes = document_.ScriptBytes();
    // The robot could not hand back more, and a chunk header counts in 32 bits.
    if (bytes.size() > static_cast<std::size_t>(kChatBotMaxScript)) {
        view_.ShowError(kNoMemory, kNoMemoryTitle);
        return false;
    }
    CChatBotTransferRun run(link_, std::move(bytes));
    run.Start();
    transfer_ = &run;
    const TransferResult result = view_.RunTransfer(run);
    transfer_ = nullptr;
    if (result != TransferResult::kSucceeded || run.Result() != TransferResult::kSucceeded) {
        run.Cancel();
        return false;
    }
    document_.MarkStored();
    notOnRobot_ = false;
    UpdateTitle();
    return true;
}

bool CChatBotEditor::Download() {
    if (!AskSaveFirst(Text(ChatCommand::kDownload))) {
        return false;
    }
    if (!link_.Authorised()) {
        view_.ShowError(kNoConnection, kErrorTitle);
        return false;
    }
    CChatBotTransferRun run(link_);
    run.Start();
    transfer_ = &run;
    const TransferResult result = view_.RunTransfer(run);
    transfer_ = nullptr;
    if (run.Result() == TransferResult::kTooLarge) {
        view_.ShowError(kNoMemory, kNoMemoryTitle);
        return false;
    }
    if (result != TransferResult::kSucceeded || run.Result() != TransferResult::kSucceeded) {
        run.Cancel();
        return false;
    }
    if (!TakeBytes(run.Bytes())) {
        return false;
    }
    unsaved_ = false;
    notOnRobot_ = false;
    return true;
}

void CChatBotEditor::OnAuthorised() {
    if (transfer_) {
        transfer_->Reauthorised();
    }
}

bool CChatBotEditor::CanClose() {
    if (transfer_) {
        return false;
    }
    if (unsaved_) {
        switch (view_.Ask(kClosing, kNotSaved, EditorButtons::kYesNoCancel)) {
            case EditorAnswer::kYes:
                if (!SaveFile()) {
                    return false;
                }
                break;
            case EditorAnswer::kNo:
                break;
            case EditorAnswer::kCancel:
                return false;
        }
    }
    if (notOnRobot_ && link_.Authorised()) {
        switch (view_.Ask(kClosing, kNotOnRobot, EditorButtons::kYesNoCancel)) {
            case EditorAnswer::kYes:
                if (!Upload()) {
                    return false;
                }
                break;
            case EditorAnswer::kNo:
                break;
            case EditorAnswer::kCancel:
                return false;
        }
    }
    return true;
}

// ------------------------------------------------------------- changing

void CChatBotEditor::Commit(ChatUndoStep step, const ChatChange& change) {
    selection_ = step.selectionAfter;
    undo_.Push(std::move(step));
    if (!Valid(selection_)) {
        selection_ = {};
    }
    Edited();
    view_.Changed(change);
}

void CChatBotEditor::Refused() {
    view_.ShowError(kParseError, kErrorTitle);
}

template <typename Change>
bool CChatBotEditor::ChangeFrameset(const ChatSelection& at, Change change,
                                    const ChatSelection& after) {
    if (at.frameset.empty()) {
        return false;
    }
    const int32_t top = at.frameset[0];
    CChatScript& script = document_.Script();
    if (top < 0 || static_cast<std::size_t>(top) >= script.framesets.size()) {
        return false;
    }
    CChatFrameset copy = script.framesets[static_cast<std::size_t>(top)];
    CChatFrameset* target = WalkPath(&copy, at.frameset, 1);
    if (!target || !change(*target)) {
        return false;
    }
    if (!ScriptCarries(copy)) {
        Refused();
        return false;
    }
    ChatUndoStep step;
    step.area = ChatArea::kQuestions;
    step.index = top;
    step.before = std::move(script.framesets[static_cast<std::size_t>(top)]);
    script.framesets[static_cast<std::size_t>(top)] = copy;
    step.after = std::move(copy);
    step.selectionBefore = selection_;
    step.selectionAfter = after;
    Commit(std::move(step), {ChatChange::kFrameset, top});
    return true;
}

template <typename Change>
bool CChatBotEditor::ChangeDialog(int32_t index, Change change, const ChatSelection& after) {
    CChatScript& script = document_.Script();
    if (index < 0 || static_cast<std::size_t>(index) >= script.dialogues.size()) {
        return false;
    }
    CChatDialog copy = script.dialogues[static_cast<std::size_t>(index)];
    if (!change(copy)) {
        return false;
    }
    OrderPhrases(copy);
    if (!ScriptCarries(copy)) {
        Refused();
        return false;
    }
    ChatUndoStep step;
    step.area = ChatArea::kDialogues;
    step.index = index;
    step.before = std::move(script.dialogues[static_cast<std::size_t>(index)]);
    script.dialogues[static_cast<std::size_t>(index)] = copy;
    step.after = std::move(copy);
    step.selectionBefore = selection_;
    step.selectionAfter = after;
    Commit(std::move(step), {ChatChange::kDialogues, index});
    return true;
}

bool CChatBotEditor::ChangePrompt(int32_t index, std::u16string text, const ChatSelection& after) {
    CChatScript& script = document_.Script();
    if (index < 0 || static_cast<std::size_t>(index) >= script.prompts.size()) {
        return false;
    }
    if (!ScriptCarriesPrompt(text)) {
        Refused();
        return false;
    }
    ChatUndoStep step;
    step.area = ChatArea::kPrompts;
    step.index = index;
    step.before = std::move(script.prompts[static_cast<std::size_t>(index)]);
    script.prompts[static_cast<std::size_t>(index)] = text;
    step.after = std::move(text);
    step.selectionBefore = selection_;
    step.selectionAfter = after;
    Commit(std::move(step), {ChatChange::kPrompts, index});
    return true;
}

bool CChatBotEditor::InsertFrameset(int32_t index, CChatFrameset fs) {
    CChatScript& script = document_.Script();
    index = std::clamp(index, 0, static_cast<int32_t>(script.framesets.size()));
    script.framesets.insert(script.framesets.begin() + index, fs);
    ChatUndoStep step;
    step.area = ChatArea::kQuestions;
    step.index = index;
    step.after = std::move(fs);
    step.selectionBefore = selection_;
    step.selectionAfter.area = ChatArea::kQuestions;
    step.selectionAfter.item = ChatItem::kFrameset;
    step.selectionAfter.frameset = {index};
    Commit(std::move(step), {ChatChange::kFramesetInserted, index});
    return true;
}

bool CChatBotEditor::InsertDialog(int32_t index, CChatDialog d) {
    CChatScript& script = document_.Script();
    index = std::clamp(index, 0, static_cast<int32_t>(script.dialogues.size()));
    script.dialogues.insert(script.dialogues.begin() + index, d);
    ChatUndoStep step;
    step.area = ChatArea::kDialogues;
    step.index = index;
    step.after = std::move(d);
    step.selectionBefore = selection_;
    step.selectionAfter.area = ChatArea::kDialogues;
    step.selectionAfter.item = ChatItem::kDialog;
    step.selectionAfter.dialog = index;
    Commit(std::move(step), {ChatChange::kDialogues, index});
    return true;
}

bool CChatBotEditor::InsertPrompt(int32_t index, std::u16string text) {
    CChatScript& script = document_.Script();
    index = std::clamp(index, 0, static_cast<int32_t>(script.prompts.size()));
    script.prompts.insert(script.prompts.begin() + index, text);
    ChatUndoStep step;
    step.area = ChatArea::kPrompts;
    step.index = index;
    step.after = std::move(text);
    step.selectionBefore = selection_;
    step.selectionAfter.area = ChatArea::kPrompts;
    step.selectionAfter.item = ChatItem::kPrompt;
    step.selectionAfter.index = index;
    Commit(std::move(step), {ChatChange::kPrompts, index});
    return true;
}

bool CChatBotEditor::EraseItem(ChatArea area, int32_t index, const ChatSelection& after) {
    CChatScript& script = document_.Script();
    ChatUndoStep step;
    step.area = area;
    step.index = index;
    ChatChange change{ChatChange::kFramesetErased, index};
    switch (area) {
        case ChatArea::kQuestions:
            step.before = std::move(script.framesets[static_cast<std::size_t>(index)]);
            script.framesets.erase(script.framesets.begin() + index);
            break;
        case ChatArea::kDialogues:
            step.before = std::move(script.dialogues[static_cast<std::size_t>(index)]);
            script.dialogues.erase(script.dialogues.begin() + index);
            change = {ChatChange::kDialogues, index};
            break;
        case ChatArea::kPrompts:
            step.before = std::move(script.prompts[static_cast<std::size_t>(index)]);
            script.prompts.erase(script.prompts.begin() + index);
            change = {ChatChange::kPrompts, index};
            break;
    }
    step.selectionBefore = selection_;
    step.selectionAfter = after;
    Commit(std::move(step), change);
    return true;
}

// ------------------------------------------------------------ framesets

bool CChatBotEditor::AskFrameset(std::u16string& name, int32_t& priority,
                                 const CChatFrameset* self) {
    for (;;) {
        if (!view_.EditFrameset(name, priority)) {
            return false;
        }
        const std::u16string_view problem = CheckFramesetName(name, self);
        if (problem.empty()) {
            // The script has no way to write a priority of 0 or less.
            if (priority <= 0) {
                priority = -1;
            }
            return true;
        }
        view_.ShowError(problem, kErrorTitle);
    }
}

bool CChatBotEditor::AddFrameset() {
    std::u16string name;
    if (!view_.InputLine(Text(ChatCommand::kAddFrameset), kNamePrompt, name)) {
        return false;
    }
    if (const std::u16string_view problem = CheckFramesetName(name, nullptr); !problem.empty()) {
        view_.ShowError(problem, kErrorTitle);
        return false;
    }
    CChatFrameset fs;
    fs.name = name;
    const int32_t at = selection_.area == ChatArea::kQuestions && !selection_.frameset.empty()
                           ? selection_.frameset[0] + 1
                           : static_cast<int32_t>(Script().framesets.size());
    return InsertFrameset(at, std::move(fs));
}

bool CChatBotEditor::AddNestedFrameset() {
    std::u16string name(kNestedName);
    int32_t priority = kNestedPriority;
    if (!AskFrameset(name, priority, nullptr)) {
        return false;  // the provisional frameset is dropped
    }
    ChatSelection after = selection_;
    after.frameset.push_back(selection_.frame);
    after.item = ChatItem::kFrameset;
    after.frame = -1;
    after.index = -1;
    after.element = -1;
    const int32_t frame = selection_.frame;
    return ChangeFrameset(
        selection_,
        [&](CChatFrameset& fs) {
            auto nested = std::make_unique<CChatFrameset>();
            nested->name = name;
            nested->priority = priority;
            fs.frames[static_cast<std::size_t>(frame)].nested = std::move(nested);
            return true;
        },
        after);
}

bool CChatBotEditor::EditFramesetProperties() {
    const CChatFrameset* current = SelectedFrameset();
    if (!current) {
        return false;
    }
    std::u16string name = current->name;
    int32_t priority = current->priority;
    if (!AskFrameset(name, priority, current)) {
        return false;
    }
    if (name == current->name && priority == current->priority) {
        return false;
    }
    ChatSelection at = selection_;
    at.item = ChatItem::kFrameset;
    at.frame = at.index = at.element = -1;
    return ChangeFrameset(
        at,
        [&](CChatFrameset& fs) {
            fs.name = name;
            fs.priority = priority;
            return true;
        },
        at);
}

bool CChatBotEditor::DeleteFrameset() {
    const CChatFrameset* fs = SelectedFrameset();
    if (!fs) {
        return false;
    }
    std::u16string question = u"Вы действительно хотите удалить фреймсет \"";
    question += fs->name;
    question += u"\" и все его фреймы?";
    if (view_.Ask(Text(ChatCommand::kDeleteFrameset), question, EditorButtons::kYesNo) !=
        EditorAnswer::kYes) {
        return false;
    }
    ChatSelection after;
    if (selection_.frameset.size() == 1) {
        return EraseItem(ChatArea::kQuestions, selection_.frameset[0], after);
    }
    // A nested frameset: its frame loses it.
    ChatSelection parent = selection_;
    const int32_t frame = parent.frameset.back();
    parent.frameset.pop_back();
    parent.item = ChatItem::kFrame;
    parent.frame = frame;
    parent.index = parent.element = -1;
    return ChangeFrameset(
        parent,
        [&](CChatFrameset& owner) {
            owner.frames[static_cast<std::size_t>(frame)].nested.reset();
            return true;
        },
        parent);
}

// ---------------------------------------------------------------- frames

bool CChatBotEditor::AddFrame() {
    const CChatFrameset* fs = SelectedFrameset();
    if (!fs) {
        return false;
    }
    const int32_t at =
        selection_.frame >= 0 ? selection_.frame + 1 : static_cast<int32_t>(fs->frames.size());
    ChatSelection after = selection_;
    after.item = ChatItem::kFrame;
    after.frame = at;
    after.index = after.element = -1;
    return ChangeFrameset(
        selection_,
        [&](CChatFrameset& target) {
            CChatFrame frame;
            frame.questions.emplace_back();
            frame.answers.emplace_back();
            target.expanded = true;
            target.frames.insert(target.frames.begin() + at, std::move(frame));
            return true;
        },
        after);
}

bool CChatBotEditor::DeleteFrame() {
    if (!SelectedFrame() || view_.Ask(u"Удалить фрейм", u"Удалить данный фрейм?",
                                      EditorButtons::kYesNo) != EditorAnswer::kYes) {
        return false;
    }
    const int32_t frame = selection_.frame;
    ChatSelection after = selection_;
    after.item = ChatItem::kFrameset;
    after.frame = after.index = after.element = -1;
    return ChangeFrameset(
        selection_,
        [&](CChatFrameset& fs) {
            fs.frames.erase(fs.frames.begin() + frame);
            return true;
        },
        after);
}

bool CChatBotEditor::AddQuestion() {
    const CChatFrame* f = SelectedFrame();
    if (!f) {
        return false;
    }
    const bool onQuestion =
        selection_.item == ChatItem::kQuestion || selection_.item == ChatItem::kElement;
    const int32_t at =
        onQuestion ? selection_.index + 1 : static_cast<int32_t>(f->questions.size());
    const int32_t frame = selection_.frame;
    ChatSelection after = selection_;
    after.item = ChatItem::kQuestion;
    after.index = at;
    after.element = -1;
    return ChangeFrameset(
        selection_,
        [&](CChatFrameset& fs) {
            auto& qs = fs.frames[static_cast<std::size_t>(frame)].questions;
            qs.insert(qs.begin() + at, CQuestion());
            fs.frames[static_cast<std::size_t>(frame)].expanded = true;
            return true;
        },
        after);
}

bool CChatBotEditor::DeleteQuestion() {
    if (view_.Ask(Text(ChatCommand::kDeleteQuestion),
                  u"Вы действительно хотите удалить этот вопрос?",
                  EditorButtons::kYesNo) != EditorAnswer::kYes) {
        return false;
    }
    const int32_t frame = selection_.frame;
    const int32_t index = selection_.index;
    ChatSelection after = selection_;
    after.item = ChatItem::kFrame;
    after.index = after.element = -1;
    return ChangeFrameset(
        selection_,
        [&](CChatFrameset& fs) {
            auto& qs = fs.frames[static_cast<std::size_t>(frame)].questions;
            qs.erase(qs.begin() + index);
            return true;
        },
        after);
}

bool CChatBotEditor::AddAnswer() {
    const CChatFrame* f = SelectedFrame();
    if (!f) {
        return false;
    }
    if (f->kind == FrameKind::kScript &&
        view_.Ask(Text(ChatCommand::kAddAnswer),
                  u"Переключение на режим ответов удалит скрипт. Продолжить?",
                  EditorButtons::kYesNo) != EditorAnswer::kYes) {
        return false;
    }
    const int32_t at =
        selection_.item == ChatItem::kAnswer && f->kind == FrameKind::kAnswer
            ? selection_.index + 1
            : (f->kind == FrameKind::kAnswer ? static_cast<int32_t>(f->answers.size()) : 0);
    const int32_t frame = selection_.frame;
    ChatSelection after = selection_;
    after.item = ChatItem::kAnswer;
    after.index = at;
    after.element = -1;
    return ChangeFrameset(
        selection_,
        [&](CChatFrameset& fs) {
            CChatFrame& target = fs.frames[static_cast<std::size_t>(frame)];
            if (target.kind != FrameKind::kAnswer) {
                target.SwitchToAnswers();
            }
            target.answers.insert(target.answers.begin() + at, std::u16string());
            target.expanded = true;
            return true;
        },
        after);
}

bool CChatBotEditor::DeleteAnswer() {
    if (view_.Ask(Text(ChatCommand::kDeleteAnswer), u"Вы действительно хоите удалить этот ответ?",
                  EditorButtons::kYesNo) != EditorAnswer::kYes) {
        return false;
    }
    const int32_t frame = selection_.frame;
    const int32_t index = selection_.index;
    ChatSelection after = selection_;
    after.item = ChatItem::kFrame;
    after.index = -1;
    return ChangeFrameset(
        selection_,
        [&](CChatFrameset& fs) {
            auto& as = fs.frames[static_cast<std::size_t>(frame)].answers;
            as.erase(as.begin() + index);
            return true;
        },
        after);
}

bool CChatBotEditor::EditScript() {
    const CChatFrame* f = SelectedFrame();
    if (!f) {
        return false;
    }
    if (f->kind == FrameKind::kAnswer && !f->answers.empty() &&
        view_.Ask(u"Правка", u"Переключение на скрипт удалит все ответы на вопросы. Продолжить?",
                  EditorButtons::kYesNo) != EditorAnswer::kYes) {
        return false;
    }
    std::u16string body = f->kind == FrameKind::kScript ? f->script : std::u16string();
    if (!view_.InputScript(body)) {
        return false;
    }
    const int32_t frame = selection_.frame;
    ChatSelection after = selection_;
    after.item = ChatItem::kScript;
    after.index = after.element = -1;
    return ChangeFrameset(
        selection_,
        [&](CChatFrameset& fs) {
            CChatFrame& target = fs.frames[static_cast<std::size_t>(frame)];
            target.SwitchToScript();
            target.script = body;
            target.expanded = true;
            return true;
        },
        after);
}

// ---------------------------------------------------- dialogues, prompts

bool CChatBotEditor::AddDialog() {
    const int32_t at = selection_.area == ChatArea::kDialogues && selection_.dialog >= 0
                           ? selection_.dialog + 1
                           : static_cast<int32_t>(Script().dialogues.size());
    return InsertDialog(at, CChatDialog());
}

bool CChatBotEditor::DeleteDialog() {
    if (view_.Ask(u"Удалить фрейм", u"Удалить данный фрейм?", EditorButtons::kYesNo) !=
        EditorAnswer::kYes) {
        return false;
    }
    ChatSelection after;
    after.area = ChatArea::kDialogues;
    return EraseItem(ChatArea::kDialogues, selection_.dialog, after);
}

bool CChatBotEditor::AddPhrase(bool afterWait) {
    if (selection_.area == ChatArea::kPrompts) {
        const int32_t at = selection_.item == ChatItem::kPrompt
                               ? selection_.index + 1
                               : static_cast<int32_t>(Script().prompts.size());
        return InsertPrompt(at, std::u16string());
    }
    const int32_t dialog = selection_.dialog;
    const auto& phrases = Script().dialogues[static_cast<std::size_t>(dialog)].phrases;
    // An ordinary phrase goes before those said after the wait.
    const auto where = static_cast<int32_t>(
        afterWait ? phrases.size()
                  : std::find_if(phrases.begin(), phrases.end(), [](const CChatPhrase& p) {
                        return p.afterWait;
                    }) - phrases.begin());
    ChatSelection after;
    after.area = ChatArea::kDialogues;
    after.item = ChatItem::kPhrase;
    after.dialog = dialog;
    after.index = where;
    return ChangeDialog(
        dialog,
        [&](CChatDialog& d) {
            d.phrases.insert(d.phrases.begin() + where, CChatPhrase{std::u16string(), afterWait});
            return true;
        },
        after);
}

bool CChatBotEditor::DeletePhrase() {
    if (view_.Ask(u"Удалить фразу", u"Удалить эту фразу?", EditorButtons::kYesNo) !=
        EditorAnswer::kYes) {
        return false;
    }
    if (selection_.item == ChatItem::kPrompt) {
        ChatSelection after;
        after.area = ChatArea::kPrompts;
        return EraseItem(ChatArea::kPrompts, selection_.index, after);
    }
    const int32_t index = selection_.index;
    ChatSelection after = selection_;
    after.item = ChatItem::kDialog;
    after.index = -1;
    return ChangeDialog(
        selection_.dialog,
        [&](CChatDialog& d) {
            d.phrases.erase(d.phrases.begin() + index);
            return true;
        },
        after);
}

bool CChatBotEditor::ToggleAfterWait() {
    const int32_t index = selection_.index;
    ChatSelection after = selection_;
    after.item = ChatItem::kDialog;
    after.index = -1;
    return ChangeDialog(
        selection_.dialog,
        [&](CChatDialog& d) {
            CChatPhrase& p = d.phrases[static_cast<std::size_t>(index)];
            p.afterWait = !p.afterWait;
            return true;
        },
        after);
}

// --------------------------------------------------------------- editing

bool CChatBotEditor::EditSelected() {
    const ChatSelection s = selection_;
    switch (s.item) {
        case ChatItem::kFrameset:
            return EditFramesetProperties();
        case ChatItem::kScript:
            return EditScript();
        case ChatItem::kQuestion: {
            const CChatFrame* f = SelectedFrame();
            std::u16string text = PrintPattern(f->questions[static_cast<std::size_t>(s.index)]);
            if (!view_.InputLine(u"Правка вопроса", u"Вопрос:", text)) {
                return false;
            }
            return ChangeFrameset(
                s,
                [&](CChatFrameset& fs) {
                    // As the reader does: what was read before an error stands.
                    ParsePattern(text, fs.frames[static_cast<std::size_t>(s.frame)]
                                           .questions[static_cast<std::size_t>(s.index)]);
                    return true;
                },
                s);
        }
        case ChatItem::kElement: {
            const CChatFrame* f = SelectedFrame();
            CPatternElement element = f->questions[static_cast<std::size_t>(s.index)]
                                                  [static_cast<std::size_t>(s.element)];
            std::vector<std::u16string> names;
            for (const CChatFrameset& fs : Script().framesets) {
                CollectNames(fs, names);
            }
            if (!view_.EditElement(element, names)) {
                return false;
            }
            return ChangeFrameset(
                s,
                [&](CChatFrameset& fs) {
                    fs.frames[static_cast<std::size_t>(s.frame)].questions[static_cast<std::size_t>(
                        s.index)][static_cast<std::size_t>(s.element)] = element;
                    return true;
                },
                s);
        }
        case ChatItem::kAnswer: {
            std::u16string text = SelectedFrame()->answers[static_cast<std::size_t>(s.index)];
            if (!view_.InputLine(u"Правка ответа", u"Ответ:", text)) {
                return false;
            }
            return ChangeFrameset(
                s,
                [&](CChatFrameset& fs) {
                    fs.frames[static_cast<std::size_t>(s.frame)]
                        .answers[static_cast<std::size_t>(s.index)] = text;
                    return true;
                },
                s);
        }
        case ChatItem::kDialog: {
            int32_t wait = Script().dialogues[static_cast<std::size_t>(s.dialog)].waitTime;
            if (!view_.InputWaitTime(wait)) {
                return false;
            }
            wait = std::clamp(wait, 0, kMaxWaitTime);
            return ChangeDialog(
                s.dialog,
                [&](CChatDialog& d) {
                    d.waitTime = wait;
                    return true;
                },
                s);
        }
        case ChatItem::kPhrase: {
            std::u16string text = Script()
                                      .dialogues[static_cast<std::size_t>(s.dialog)]
                                      .phrases[static_cast<std::size_t>(s.index)]
                                      .text;
            if (!view_.InputLine(u"Правка фразы", u"Фраза:", text)) {
                return false;
            }
            return ChangeDialog(
                s.dialog,
                [&](CChatDialog& d) {
                    d.phrases[static_cast<std::size_t>(s.index)].text = text;
                    return true;
                },
                s);
        }
        case ChatItem::kPrompt: {
            std::u16string text = Script().prompts[static_cast<std::size_t>(s.index)];
            if (!view_.InputLine(u"Правка фразы", u"Фраза:", text)) {
                return false;
            }
            return ChangePrompt(s.index, std::move(text), s);
        }
        default:
            return false;
    }
}

// ------------------------------------------------- search, undo, check

bool CChatBotEditor::Find(bool askText) {
    if (askText) {
        std::u16string text = search_;
        if (!view_.InputLine(u"Найти", kSearchPrompt, text) || text.empty()) {
            return false;
        }
        search_ = text;
    }
    std::u16string needle;
    for (char16_t c : search_) {
        needle += FoldCase(c);
    }
    const ChatSelection from = SearchPlace(selection_);
    // Nothing selected: from the start; else after the selected item.
    bool passed = from.item == ChatItem::kNone;
    bool found = false;
    ChatSelection hit;
    WalkScript(Script(), [&](const ChatSelection& s, std::u16string_view text) {
        if (!passed) {
            passed = s == from;
            return false;
        }
        if (ContainsFolded(text, needle)) {
            hit = s;
            found = true;
            return true;
        }
        return false;
    });
    if (!found) {
        view_.ShowMessage(u"Найти", kNoMoreMatches);
        return false;
    }
    selection_ = hit;
    Reveal(hit);
    view_.Changed({ChatChange::kSelection, -1});
    return true;
}

namespace {

// What applying `step` (backwards when undoing) changed, for the views.
ChatChange ChangeOf(const ChatUndoStep& step, bool undoing) {
    switch (step.area) {
        case ChatArea::kDialogues:
            return {ChatChange::kDialogues, step.index};
        case ChatArea::kPrompts:
            return {ChatChange::kPrompts, step.index};
        case ChatArea::kQuestions:
            break;
    }
    if (step.before && step.after) {
        return {ChatChange::kFrameset, step.index};
    }
    const bool inserted = undoing ? step.before.has_value() : step.after.has_value();
    return {inserted ? ChatChange::kFramesetInserted : ChatChange::kFramesetErased, step.index};
}

}  // namespace

bool CChatBotEditor::Undo() {
    const ChatUndoStep* step = undo_.Undo(document_.Script());
    if (!step) {
        return false;
    }
    selection_ = Valid(step->selectionBefore) ? step->selectionBefore : ChatSelection();
    Edited();
    view_.Changed(ChangeOf(*step, true));
    return true;
}

bool CChatBotEditor::Redo() {
    const ChatUndoStep* step = undo_.Redo(document_.Script());
    if (!step) {
        return false;
    }
    selection_ = Valid(step->selectionAfter) ? step->selectionAfter : ChatSelection();
    Edited();
    view_.Changed(ChangeOf(*step, false));
    return true;
}

bool CChatBotEditor::CheckQuestion() {
    std::u16string text = check_;
    const std::u16string_view title = Text(ChatCommand::kCheckQuestion);
    if (!view_.InputLine(title, kCheckPrompt, text)) {
        return false;
    }
    check_ = text;
    const std::vector<QuestionMatch> matches = MatchQuestion(Script(), text);
    if (matches.empty()) {
        view_.ShowMessage(title, kNoMatches);
        return false;
    }
    ChatSelection first;
    first.area = ChatArea::kQuestions;
    first.item = ChatItem::kQuestion;
    first.frameset = matches[0].frameset;
    first.frame = matches[0].frame;
    first.index = matches[0].question;
    selection_ = first;
    Reveal(first);
    view_.Changed({ChatChange::kSelection, -1});
    std::u16string list;
    for (const QuestionMatch& m : matches) {
        if (!list.empty()) {
            list += u'\n';
        }
        list += DescribeMatch(m);
    }
    view_.ShowMessage(title, list);
    return true;
}

}  // namespace velcora
