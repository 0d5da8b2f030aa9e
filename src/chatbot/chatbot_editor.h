// The chat-bot editor without its window: the document, the selection, every
// command of the editor's menus and the questions each one asks, the file and
// robot transfers, search, undo and the question check. The window implements
// IChatBotEditorView and shows what it is told; tests drive the editor through
// a scripted view.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "chatbot/chat_script.h"
#include "chatbot/chatbot_document.h"
#include "chatbot/chatbot_transfer.h"
#include "chatbot/chatbot_undo.h"
#include "link/robot_link.h"

namespace velcora {

inline constexpr std::u16string_view kChatBotEditorTitle = u"Редактор чат-бота";
inline constexpr std::size_t kMaxFramesetName = 254;
inline constexpr int32_t kMaxWaitTime = 20000;
// The transfer dialogs' timer.
inline constexpr int32_t kChatBotTransferTickMs = 50;

enum class EditorAnswer { kYes, kNo, kCancel };
enum class EditorButtons { kYesNo, kYesNoCancel };

enum class TransferDirection { kUpload, kDownload };

// One upload or download as its progress dialog drives it: the dialog ticks
// it every kChatBotTransferTickMs, cancels it, and hears its progress.
class CChatBotTransferRun : public IChatBotTransferView {
  public:
    // An upload of `bytes`.
    CChatBotTransferRun(IRobotLink& link, std::string bytes);
    // A download.
    explicit CChatBotTransferRun(IRobotLink& link);
    ~CChatBotTransferRun() override;
    CChatBotTransferRun(const CChatBotTransferRun&) = delete;
    CChatBotTransferRun& operator=(const CChatBotTransferRun&) = delete;

    TransferDirection Direction() const { return direction_; }
    // Who hears the progress (the dialog); nullptr for nobody.
    void SetView(IChatBotTransferView* view) { view_ = view; }
    void Start();
    void Tick(int32_t elapsedMs);
    void Cancel();
    // Every state-7 report: an upload resends at once, a download starts over.
    void Reauthorised();

    TransferResult Result() const;
    int32_t Done() const { return done_; }
    int32_t Total() const { return total_; }
    // A finished download's bytes.
    const std::string& Bytes() const;

    // What the transfer itself reports; passed on to the view.
    void OnProgress(int32_t done, int32_t total) override;
    void OnFinished(TransferResult result) override;

  private:
    TransferDirection direction_;
    IChatBotTransferView* view_ = nullptr;
    int32_t done_ = 0;
    int32_t total_ = 0;
    std::unique_ptr<CChatBotUpload> upload_;
    std::unique_ptr<CChatBotDownload> download_;
};

// What changed, so that a view lays out only that.
struct ChatChange {
    enum Kind {
        kSelection,  // the selection only
        kAll,        // a new document
        kFrameset,   // top-level frameset `index` (or what is inside it)
        kFramesetInserted,
        kFramesetErased,
        kDialogues,
        kPrompts,
    };
    Kind kind = kAll;
    int32_t index = -1;
};

class IChatBotEditorView {
  public:
    virtual ~IChatBotEditorView() = default;
    // A warning question with Yes/No or Yes/No/Cancel; closing it is Cancel
    // (No where there is no Cancel).
    virtual EditorAnswer Ask(std::u16string_view title, std::u16string_view text,
                             EditorButtons buttons) = 0;
    // A one-line box; false when cancelled.
    virtual bool InputLine(std::u16string_view title, std::u16string_view prompt,
                           std::u16string& value) = 0;
    // The multi-line box of a script body.
    virtual bool InputScript(std::u16string& body) = 0;
    // "Правка фреймсета": name and priority.
    virtual bool EditFrameset(std::u16string& name, int32_t& priority) = 0;
    // The word panel on one pattern element; `framesets` are the names a
    // reference may choose from.
    virtual bool EditElement(CPatternElement& element,
                             const std::vector<std::u16string>& framesets) = 0;
    // A number box limited to 0..kMaxWaitTime.
    virtual bool InputWaitTime(int32_t& ms) = 0;
    virtual void ShowError(std::u16string_view text, std::u16string_view title) = 0;
    virtual void ShowMessage(std::u16string_view title, std::u16string_view text) = 0;
    // Empty when the operator cancelled.
    virtual std::string ChooseOpenFile() = 0;
    virtual std::string ChooseSaveFile() = 0;
    // Runs the transfer's progress dialog until it ends or is cancelled.
    virtual TransferResult RunTransfer(CChatBotTransferRun& run) = 0;
    virtual void SetTitle(std::u16string_view title) = 0;
    virtual void Changed(const ChatChange& change) = 0;
};

// The editor's commands; the menus show Text() and ask Enabled().
enum class ChatCommand : int32_t {
    kNewFile,
    kSaveFile,
    kOpenFile,
    kUpload,
    kDownload,
    kAddFrameset,
    kDeleteFrameset,
    kEditFrameset,
    kAddFrame,  // in the robot's questions: a dialogue
    kDeleteFrame,
    kAddQuestion,
    kDeleteQuestion,
    kAddAnswer,
    kDeleteAnswer,
    kEditScript,
    kAddPhrase,  // a dialogue phrase or a prompt
    kAddPhraseAfterWait,
    kDeletePhrase,
    kToggleAfterWait,
    kEdit,  // the selected item's box, panel or dialog
    kFind,
    kFindNext,
    kUndo,
    kRedo,
    kCheckQuestion,
};

class CChatBotEditor {
  public:
    CChatBotEditor(IRobotLink& link, IChatBotEditorView& view);
    ~CChatBotEditor();
    CChatBotEditor(const CChatBotEditor&) = delete;
    CChatBotEditor& operator=(const CChatBotEditor&) = delete;

    const CChatScript& Script() const { return document_.Script(); }
    const CChatBotDocument& Document() const { return document_; }
    const ChatSelection& Selection() const { return selection_; }
    bool Modified() const { return document_.Modified(); }
    std::u16string Title() const;
    // Edits the robot has not seen (cleared by an upload or a download).
    bool NotOnRobot() const { return notOnRobot_; }
    // Edits not written to disk (cleared by save, open, new and download).
    bool Unsaved() const { return unsaved_; }

    // A click in a view; an invalid selection selects nothing.
    void Select(const ChatSelection& selection);
    // Collapses or expands the frameset or frame `at` points to (view state:
    // no mark, no undo step).
    void ToggleExpanded(const ChatSelection& at);

    static std::u16string_view Text(ChatCommand command);
    bool Enabled(ChatCommand command) const;
    // Runs a command; false when it did nothing (refused, cancelled, failed).
    bool Run(ChatCommand command);

    // Reads a script file (the open command after its file choice).
    bool OpenPath(const std::string& path);
    bool SavePath(const std::string& path);

    // Every state-7 report of the connection.
    void OnAuthorised();
    // The window is about to close: may ask to save and to upload. False
    // keeps the window.
    bool CanClose();
    bool TransferRunning() const { return transfer_ != nullptr; }

    // The names a frameset name is checked against; the reason when it is
    // refused, else empty. `self` is the frameset being renamed.
    std::u16string_view CheckFramesetName(std::u16string_view name,
                                          const CChatFrameset* self) const;

  private:
    bool NewFile();
    bool SaveFile();
    bool OpenFile();
    bool Upload();
    bool Download();
    bool AddFrameset();
    bool AddNestedFrameset();
    bool DeleteFrameset();
    bool EditFramesetProperties();
    bool AddFrame();
    bool DeleteFrame();
    bool AddQuestion();
    bool DeleteQuestion();
    bool AddAnswer();
    bool DeleteAnswer();
    bool EditScript();
    bool AddDialog();
    bool DeleteDialog();
    bool AddPhrase(bool afterWait);
    bool DeletePhrase();
    bool ToggleAfterWait();
    bool EditSelected();
    bool Find(bool askText);
    bool Undo();
    bool Redo();
    bool CheckQuestion();

    // "Файл не сохранен. Сохранить?" before the document is replaced; false
    // when the operator cancelled or the save failed.
    bool AskSaveFirst(std::u16string_view title);
    // A document read from `bytes` replaces this one.
    bool TakeBytes(std::string_view bytes);
    void Reset();
    void Edited();
    void UpdateTitle();

    // The selected frameset (any level), its top-level index, the frame.
    CChatFrameset* SelectedFrameset();
    const CChatFrameset* SelectedFrameset() const;
    const CChatFrame* SelectedFrame() const;
    bool Valid(const ChatSelection& s) const;

    // Changes a copy of top-level frameset `top` with `change` (given the
    // copy's frameset at the selection's path), checks that the script can
    // carry the result, and keeps it as one undo step.
    template <typename Change>
    bool ChangeFrameset(const ChatSelection& at, Change change, const ChatSelection& after);
    template <typename Change>
    bool ChangeDialog(int32_t index, Change change, const ChatSelection& after);
    bool ChangePrompt(int32_t index, std::u16string text, const ChatSelection& after);
    bool InsertFrameset(int32_t index, CChatFrameset fs);
    bool EraseItem(ChatArea area, int32_t index, const ChatSelection& after);
    bool InsertDialog(int32_t index, CChatDialog d);
    bool InsertPrompt(int32_t index, std::u16string text);
    void Commit(ChatUndoStep step, const ChatChange& change);
    void Refused();

    // Asks a name and priority until they pass or the operator cancels.
    bool AskFrameset(std::u16string& name, int32_t& priority, const CChatFrameset* self);
    // Opens the frames leading to the selection.
    void Reveal(const ChatSelection& s);

    IRobotLink& link_;
    IChatBotEditorView& view_;
    CChatBotDocument document_;
    ChatSelection selection_;
    CChatBotUndo undo_;
    bool unsaved_ = false;
    bool notOnRobot_ = false;
    std::u16string search_;
    std::u16string check_;
    CChatBotTransferRun* transfer_ = nullptr;
};

// Whether `frameset` generates a text that reads back to the same text; the
// same for one dialogue or one prompt. The editor refuses edits that fail it.
bool ScriptCarries(const CChatFrameset& frameset);
bool ScriptCarries(const CChatDialog& dialog);
bool ScriptCarriesPrompt(std::u16string_view prompt);

// The frameset a path leads to, or nullptr.
CChatFrameset* FramesetAt(CChatScript& script, const std::vector<int32_t>& path);
const CChatFrameset* FramesetAt(const CChatScript& script, const std::vector<int32_t>& path);

}  // namespace velcora
