// The cyclogram window without its widgets: the robot's list of cyclograms
// with its commands, the one cyclogram open in the time line, the time line's
// upload, run and pose buttons, and the traffic between the trackers of the
// environment view and the tracks (a moved tracker records a key, a selected
// tracker highlights its track, a pose moves the trackers). Questions,
// prompts and the list's label editing go through ICyclogramWindowView.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cyclogram/cyclogram_transfer.h"
#include "cyclogram/environment_editor.h"
#include "cyclogram/time_line.h"

namespace velcora {

enum class ListCommand { New, Run, Edit, Rename, Delete, Refresh };
enum class TimeLineAction { Upload, Run, ApplyPose, RecordAll, Export, Import };
enum class SaveAnswer { Yes, No, Cancel };
enum class ListKey { Enter, F2, Delete, F5, Other };

// Names: forbidden characters, and what the robot's code page can hold.
enum class NameCheck { Ok, Empty, Forbidden };
// Checks an operator's name (UTF-8) and gives its narrow form.
NameCheck CheckCyclogramName(const std::string& utf8, std::string& ansi);
// Cyclogram names compare without regard to case, Cyrillic included (narrow texts).
bool SameCyclogramName(const std::string& a, const std::string& b);
// "Cyclogram%d" with the smallest number from 1 not in the list.
std::string ProposeCyclogramName(const std::vector<std::string>& names);

inline constexpr const char* kForbiddenNameText = "Имя файла содержит неразрешенные символы!";
inline constexpr const char* kNameExistsText = "Такая циклограмма уже существует!";

class ICyclogramWindowView {
  public:
    virtual ~ICyclogramWindowView() = default;
    // "Текущая циклограмма не сохранена на роботе. Сохранить?" with Yes, No, Cancel.
    virtual SaveAnswer AskSave(const std::string& title, const std::string& text) = 0;
    virtual bool Confirm(const std::string& title, const std::string& text) = 0;
    // The text prompt; `value` holds the proposal (UTF-8) on entry.
    virtual bool PromptName(const std::string& title, const std::string& prompt,
                            std::string& value) = 0;
    virtual void ShowError(const std::string& text) = 0;
    // Cyclogram files (".cyg"): a path (UTF-8), empty when cancelled.
    virtual std::string ChooseCyclogramFile(bool save) = 0;
    // The names or the selected entry changed.
    virtual void OnListChanged() = 0;
    virtual void StartLabelEdit(int32_t index) = 0;
    virtual void ShowTimeLine(bool shown) = 0;
    // Enabling of the list's and the time line's buttons may differ.
    virtual void OnCommandStateChanged() = 0;
    // The main window keeps its own list of the robot's cyclograms.
    virtual void OnRobotList(const std::vector<std::string>& /*names*/) {}
    virtual void OnNewCyclogramName(const std::string& /*ansi*/) {}
};

class CCyclogramWindow : private ICyclogramTransferView, private IEnvironmentListener {
  public:
    CCyclogramWindow(IRobotLink& link, ICyclogramWindowView& view, ITimeLineView& timeLineView,
                     IClipboard& clipboard, IEnvironmentView& envView, EnvironmentFiles files,
                     bool locked);
    ~CCyclogramWindow() override;

    CTimeLine& TimeLine() { return timeLine_; }
    CEnvironmentEditor& Environment() { return env_; }
    CCyclogramTransfer& Transfer() { return transfer_; }

    // ---- the list (narrow names)
    const std::vector<std::string>& Names() const { return names_; }
    int32_t SelectedEntry() const { return selected_; }
    void SelectEntry(int32_t index);
    const std::string& CurrentName() const { return currentName_; }
    bool LoadPending() const;
    bool Enabled(ListCommand c) const;
    void Run(ListCommand c);
    bool ListKeyDown(ListKey key, InputMods mods);
    void ListDoubleClick(int32_t index);
    // The label editing of an entry ended with `utf8` (not called when it was cancelled).
    void EndLabelEdit(const std::string& utf8);
    void CancelLabelEdit() { renameOldName_.clear(); }
    // From the main window's own list.
    void EditByName(const std::string& ansi);
    void RunByName(const std::string& ansi);

    // ---- the time line's own buttons
    bool Enabled(TimeLineAction a) const;
    void Run(TimeLineAction a);

    // ---- lifecycle
    bool Connected() const { return connected_; }
    void OnConnectionState(bool connected);
    void SetPageActive(bool active);
    bool FirstShowPending() const { return firstShow_; }
    // The main window's 20 ms tick.
    void Tick(int32_t elapsedMs);
    // Asked when the console closes: a modified cyclogram asks the edit question.
    bool CanClose();

  private:
    // ICyclogramTransferView
    void OnCyclogramList(const std::vector<std::string>& names) override;
    void OnCyclogramLoaded(std::unique_ptr<CCyclogram> doc) override;
    void OnCyclogramUploaded(const std::string& name) override;
    void OnRequestFailed(CyclogramRequest which, const std::string& text) override;
    // IEnvironmentListener
    void OnTrackerMoved(int32_t tracker, int32_t motor, float position) override;
    void OnTrackerSelected(int32_t motor) override;
    void OnTrackerGesture(bool begins) override;

    // Asks about unsaved work; false stops the caller.
    bool MayDiscard(const std::string& title);
    void Edit(const std::string& name);
    void New();
    void Delete();
    void Upload(AfterUpload after);
    void HideTimeLine();
    void CheckFirstShow();
    bool Listed(const std::string& ansi, int32_t except = -1) const;
    void Changed();

    IRobotLink& link_;
    ICyclogramWindowView& view_;
    CTimeLine timeLine_;
    CEnvironmentEditor env_;
    CCyclogramTransfer transfer_;
    std::vector<std::string> names_;
    int32_t selected_ = -1;
    std::string currentName_;
    std::string renameOldName_;
    uint64_t uploadGeneration_ = 0;
    std::string uploadName_;
    bool firstShow_ = true;
    bool pageActive_ = false;
    bool connected_ = false;
};

}  // namespace velcora
