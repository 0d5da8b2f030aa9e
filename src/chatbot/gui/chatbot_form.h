// "Редактор чат-бота": the chat-bot editor as a tool window of the main
// frame. Four pages — the questions and answers, the robot's dialogues, the
// prompts and the generated script — over one CChatBotEditor, which holds all
// the logic; the window only shows and asks.
#pragma once

#include <array>

#include "chatbot/chatbot_editor.h"
#include "link/console_hooks.h"
#include "ui/vel.h"

class QTabBar;

namespace velcora::chatbot {

class CChatBotView;
class CChatBotQuestionAnswerView;
class CChatBotDialogView;
class CChatBotPromptView;

// Commands of the window: kCmdChatFirst + the editor's command.
inline constexpr int kCmdChatFirst = 0x400;
inline constexpr int kCmdChatPage = 0x4F0;

enum ChatPage { kPageQuestions = 0, kPageDialogues = 1, kPagePrompts = 2, kPageSource = 3 };

// The page tabs.
class CChatBotTabs : public ui::CVelControl {
  public:
    CChatBotTabs(ui::CVelContainer* owner, uint32_t place, int w, int h, int id);
    QTabBar* Bar() const;
    int Index() const;
    void SetIndex(int index);
};

class CChatBotForm : public ui::CVelMDIChildForm, public IChatBotEditorView {
  public:
    CChatBotForm(ui::CVelForm* frame, ToolContext& tools);
    ~CChatBotForm() override;

    CChatBotEditor& Editor() { return editor_; }
    int Page() const { return page_; }
    void ShowPage(int page);
    CChatBotQuestionAnswerView* QuestionView() const { return questions_; }
    CChatBotDialogView* DialogView() const { return dialogues_; }
    CChatBotPromptView* PromptView() const { return prompts_; }
    ui::CVelMemo* SourceView() const { return source_; }
    CChatBotTabs* Tabs() const { return tabs_; }
    // The tool-bar button of a command, or null.
    ui::CVelButton* Button(ChatCommand command) const;

    bool HandleEvent(const ui::VelEvent& e) override;

    // IChatBotEditorView
    EditorAnswer Ask(std::u16string_view title, std::u16string_view text,
                     EditorButtons buttons) override;
    bool InputLine(std::u16string_view title, std::u16string_view prompt,
                   std::u16string& value) override;
    bool InputScript(std::u16string& body) override;
    bool EditFrameset(std::u16string& name, int32_t& priority) override;
    bool EditElement(CPatternElement& element,
                     const std::vector<std::u16string>& framesets) override;
    bool InputWaitTime(int32_t& ms) override;
    void ShowError(std::u16string_view text, std::u16string_view title) override;
    void ShowMessage(std::u16string_view title, std::u16string_view text) override;
    std::string ChooseOpenFile() override;
    std::string ChooseSaveFile() override;
    TransferResult RunTransfer(CChatBotTransferRun& run) override;
    void SetTitle(std::u16string_view title) override;
    void Changed(const ChatChange& change) override;

  protected:
    bool CanClose(int code) override;

  private:
    void BuildToolbar();
    ui::CVelPopupMenu* BuildMenu(ChatArea area);
    CChatBotView* ViewOf(ChatArea area) const;
    void FillSource();

    ToolContext& tools_;
    CChatBotEditor editor_;
    HookSubscription authorised_;
    std::vector<std::pair<ChatCommand, ui::CVelButton*>> buttons_;
    CChatBotTabs* tabs_ = nullptr;
    CChatBotQuestionAnswerView* questions_ = nullptr;
    CChatBotDialogView* dialogues_ = nullptr;
    CChatBotPromptView* prompts_ = nullptr;
    ui::CVelMemo* source_ = nullptr;
    std::array<ui::CVelPopupMenu*, 3> menus_{};
    int page_ = kPageQuestions;
    std::string lastDir_;
};

}  // namespace velcora::chatbot
