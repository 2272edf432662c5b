#pragma once
// The main window: finds the CD drive, lists the disc's tracks, follows disc changes, and
// offers every command of the program through its menus, tool bar and pop-up menu.
#include "app/core/DiscSession.h"
#include "platform/Prompter.h"
#include <QHash>
#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class TDiscWatcher;
struct TCDDBAlbum;
class TCDIn;
class TCDPlayer;
class QUrl;
class QIcon;
struct TOptionSetHost;

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
    // Shows the no-device hint (modal); tests put in their own.
    void SetNoDeviceHint(std::function<void()> show) { FShowNoDeviceHint = std::move(show); }
    // What every main window made from now on does instead of showing the modal hint window
    // (test programs, which have no user to close it); empty: the window.
    static void SetDefaultNoDeviceHint(std::function<void()> show);

    HCDROM SelectDrive(int index);
    bool AudioDiscPresent() const;
    void ReadDiscList();
    QString DiscId() const;
    void Refresh();
    // Lists the disc through the CD input component (no handle of the first library).
    void ListDiscTracks();
    TCDIn* CDIn1() const { return FCDIn1; }

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
    TOptionSetHost OptionSetHost();               // what the options window asks of this window

    // Device-change notices: any volume arriving refreshes, any removal clears the list.
    void VolumeArrived();
    void VolumeRemoved();

    // The extract command: rips the ticked tracks (enabled while a row is ticked).
    void ActionExtractExecute();
    void ActionExtractUpdate();
    TCDPlayer* Player() const { return FPlayer; }
    QString TimeText() const;                 // Label1: "MM:SS / MM:SS" while a track plays
    void StopPlayback();                      // runs aStop when a track plays (extract, eject, close)

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
    void FallBackActivate();
    void SelectCDInDrive();
    void FillList(const QVector<TTrackRow>& rows);
    void FormClose();
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateClientArea();
    void UpdateActions();
    void ClearList();
    void SaveListedDisc();
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
    void miWAVtoWAVClick();
    void ActionOptionSetExecute();
    void miOGGPlayerClick();
    void QueryCDDBExecute();   // MainFormCddb.cpp
    // A CDDB entry's disc fields (artist, album, year, genre, comment) into the disc information.
    static void StoreCddbDiscFields(const TCDDBAlbum& album);
    void QueryMusicBrainzExecute();   // MainFormMusicBrainz.cpp
    void RipOnArrival();              // MainFormAutoRip.cpp
    bool TakeSingleLookupMatch();
    void ConvertFolderClick();        // MainFormConvertFolder.cpp

    QAction* NewAction(const QString& name, const QString& caption, const QString& hint = {},
                       const QKeySequence& shortcut = {});
    QAction* MenuEntry(QMenu* menu, QAction* bound, const QString& caption);

    TDiscSession FSession;
    std::unique_ptr<TPrompter> FPrompter;
    bool FNoDisc = false;
    bool FPlaying = false;
    bool FPaused = false;
    bool FShown = false;
    bool FFallBackDone = false;       // the fall-back steps of the first activation ran
    std::function<void()> FShowNoDeviceHint;
    TCDIn* FCDIn1 = nullptr;
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
