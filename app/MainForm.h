#pragma once
// The main window: finds the CD drive, lists the disc's tracks, follows disc changes, and
// offers every command of the program through its menus, tool bar and pop-up menu.
#include "app/core/DiscSession.h"
#include "app/core/Prompter.h"
#include <QHash>
#include <QMainWindow>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class TDiscWatcher;
class TCDPlayer;
class QUrl;
class QIcon;

// The main window's caption: the program's title and version, nothing appended.
QString MainFormCaption();
// Names the application (once, before the first window): title, version, display name.
void SetUpApplicationNames();
// A tool bar icon: from the desktop's icon theme, else the one shipped with the program.
QIcon ToolBarIcon(const QString& themeName);

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // Message boxes go through the prompter; tests put in one with canned answers.
    void SetPrompter(std::unique_ptr<TPrompter> prompter);

    HCDROM SelectDrive(int index);
    bool AudioDiscPresent() const;
    void ReadDiscList();
    QString DiscId() const;
    void Refresh();

    HCDROM CDHandle() const { return FSession.CDHandle(); }
    bool NoDisc() const { return FNoDisc; }
    bool Playing() const { return FPlaying; }
    bool Paused() const { return FPaused; }
    const QString& DriveText() const { return FSession.DriveText(); }
    const QString& SavedStatus() const { return FSavedStatus; }
    QString StatusText() const;
    void SetStatusText(const QString& text);
    QTreeWidget* ListView1() const { return FListView; }
    TDiscWatcher* DiscWatcher() const { return FWatcher; }
    QAction* Action(const QString& name) const;   // an action or menu entry by object name

    // Device-change notices: any volume arriving refreshes, any removal clears the list.
    void VolumeArrived();
    void VolumeRemoved();

    TCDPlayer* Player() const { return FPlayer; }
    QString TimeText() const;                 // Label1: "MM:SS / MM:SS" while a track plays
    void StopPlayback();                      // runs aStop when a track plays (extract, eject, close)

    // The extract command: rips the ticked tracks (enabled while a row is ticked).
    void ActionExtractExecute();
    void ActionExtractUpdate();

protected:
    // Opens the conversion job window in file mode `mode` (2, 3, 5, 6) on the chosen files.
    virtual void RunConversionJob(int mode, const QStringList& files);
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormActivate();
    void FormClose();
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateClientArea();
    void UpdateActions();
    void ClearList();
    void LayoutClient();

    // Commands.
    void ActionSelectAllExecute();
    void ActionNoSelectExecute();
    void OpenOutputDirectory();
    void OpenHomePage();
    void ShowAbout();
    void EjectMenuClick();
    void CloseCdRomMenuClick();
    void ConnectEditors();
    void ActionID3EditExecute();
    void ActionEditTrackNameExecute();
    void ActionRecordExecute();               // MainFormRecord.cpp
    void WatchExtractState();
    void CreatePlayback();                    // MainFormPlayback.cpp
    void aPlayExecute();
    void aPauseExecute();
    void aStopExecute();
    void PlaybackFailed(const QString& reason);
    void UpdatePlaybackActions();
    void CreateCommands();                    // MainFormCommands.cpp
    void ConvertFiles(int mode);
    bool OpenUrlOrReport(const QUrl& url, const QString& shown);
    void OpenHelp();
    void VolumeControlMenuClick();
    void ClearRealPlayerClick();
    void ClearMediaPlayerClick();

    QAction* NewAction(const QString& name, const QString& caption, const QString& hint = {},
                       const QKeySequence& shortcut = {});
    QAction* MenuEntry(QMenu* menu, QAction* bound, const QString& caption);

    TDiscSession FSession;
    std::unique_ptr<TPrompter> FPrompter;
    bool FNoDisc = false;
    bool FPlaying = false;
    bool FPaused = false;
    bool FShown = false;
    QString FSavedStatus;

    QWidget* FClient = nullptr;
    QToolBar* FToolBar = nullptr;
    QTreeWidget* FListView = nullptr;
    QLabel* FStatusPanel = nullptr;
    QLabel* FLabel1 = nullptr;
    QMenu* FPopupMenu = nullptr;
    TDiscWatcher* FWatcher = nullptr;
    TCDPlayer* FPlayer = nullptr;
    QString FPlayingTitle;
    QHash<QString, QAction*> FActions;
};
