// The cyclogram page: the robot's cyclograms with their tool bar, the
// environment view with its tool bar, and the time line with its tool bar.
// A thin view over CCyclogramWindow; the main window feeds it the tick, the
// connection state and whether the page is the one shown.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cyclogram/cyclogram_window.h"
#include "cyclogram/gui/env_view.h"
#include "cyclogram/gui/tracks_view.h"
#include "ui/vel.h"
#include "ui/vel_scroll_bar.h"

namespace velcora::cyclogram_gui {

// The system clipboard under the cyclogram format.
class CQtClipboard : public IClipboard {
  public:
    static constexpr const char* kMimeType = "application/x-velcora-cyclogram";
    bool HasCyclogram() const override;
    bool GetCyclogram(std::string& bytes) const override;
    void SetCyclogram(const std::string& bytes) override;
};

class CCyclogramView : public ui::CVelPanel, public ICyclogramWindowView {
    Q_OBJECT
  public:
    // `settingsDir` holds "env.cenv" and "cycbg.jpg"; `waves` is the program's one wave list.
    CCyclogramView(ui::CVelContainer* owner, uint32_t place, IRobotLink& link, CWaveList& waves,
                   const std::string& settingsDir, bool locked);
    ~CCyclogramView() override;

    CCyclogramWindow& Window() { return *window_; }
    CCyclogramTracksView* Tracks() const { return tracks_; }
    CCyclogramEnvView* EnvView() const { return envView_; }
    ui::CVelListBox* List() const { return list_; }
    ui::CVelControl* TimeLineArea() const { return timeArea_; }
    // A tool-bar button by its hint (the tool tip); `which` counts equal hints.
    ui::CVelSpdBtn* Button(const QString& hint, int which = 0) const;

    void Tick(int32_t elapsedMs);
    void OnConnectionState(bool connected);
    void SetPageActive(bool active);
    bool CanClose();
    // The main window's own list of the robot's cyclograms.
    void SetRobotListHook(std::function<void(const std::vector<std::string>&)> hook) {
        robotListHook_ = std::move(hook);
    }
    void SetNewNameHook(std::function<void(const std::string&)> hook) {
        newNameHook_ = std::move(hook);
    }

    bool HandleEvent(const ui::VelEvent& e) override;

    // ICyclogramWindowView
    SaveAnswer AskSave(const std::string& title, const std::string& text) override;
    bool Confirm(const std::string& title, const std::string& text) override;
    bool PromptName(const std::string& title, const std::string& prompt,
                    std::string& value) override;
    void ShowError(const std::string& text) override;
    std::string ChooseCyclogramFile(bool save) override;
    void OnListChanged() override;
    void StartLabelEdit(int32_t index) override;
    void ShowTimeLine(bool shown) override;
    void OnCommandStateChanged() override;
    void OnRobotList(const std::vector<std::string>& names) override;
    void OnNewCyclogramName(const std::string& ansi) override;

  private:
    ui::CVelSpdBtn* AddButton(ui::CVelContainer* bar, int id, const QString& text,
                              const QString& hint, int w = 28);
    void BuildList();
    void BuildEnvironment(bool locked);
    void BuildTimeLine();
    void UpdateCommands();
    bool ListKey(int key, Qt::KeyboardModifiers mods);

    IRobotLink& link_;
    CWaveList& waves_;
    CQtClipboard clipboard_;
    ui::CVelPanel* listArea_ = nullptr;
    ui::CVelPanel* envArea_ = nullptr;
    ui::CVelPanel* timeArea_ = nullptr;
    ui::CVelPanel* envBar_ = nullptr;
    ui::CVelListBox* list_ = nullptr;
    CCyclogramTracksView* tracks_ = nullptr;
    CCyclogramEnvView* envView_ = nullptr;
    std::unique_ptr<CCyclogramWindow> window_;
    ui::CVelPopupMenu* listMenu_ = nullptr;
    std::vector<std::pair<int, ui::CVelSpdBtn*>> buttons_;
    ui::CVelButtonGroup toolGroup_, inGroup_, outGroup_, envToolGroup_;
    std::unique_ptr<QObject> listKeys_;
    std::function<void(const std::vector<std::string>&)> robotListHook_;
    std::function<void(const std::string&)> newNameHook_;
    bool filling_ = false;
};

}  // namespace velcora::cyclogram_gui
