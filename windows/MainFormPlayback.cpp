// CD playback from the main window: play, pause and stop of the selected track, the time
// in Label1, and the end of a track (heard to its end, or failed).
#include "windows/MainForm.h"
#include "app/core/CDPlayer.h"
#include "settings/Lang.h"

#include <QAction>
#include <QLabel>
#include <QTreeWidget>

void TMainForm::CreatePlayback()
{
    FPlayer = new TCDPlayer(this);
    connect(Action("aPlay"), &QAction::triggered, this, &TMainForm::aPlayExecute);
    connect(Action("aPause"), &QAction::triggered, this, &TMainForm::aPauseExecute);
    connect(Action("aStop"), &QAction::triggered, this, &TMainForm::aStopExecute);
    connect(FPlayer, &TCDPlayer::Ended, this, &TMainForm::aStopExecute);
    connect(FPlayer, &TCDPlayer::Failed, this, &TMainForm::PlaybackFailed);
    connect(FPlayer, &TCDPlayer::TimeChanged, this, [this](const QString& text) {
        FLabel1->setText(text);
        LayoutClient();
    });
    connect(FListView, &QTreeWidget::currentItemChanged, this, &TMainForm::UpdatePlaybackActions);
    connect(FListView, &QTreeWidget::itemSelectionChanged, this, &TMainForm::UpdatePlaybackActions);
}

QString TMainForm::TimeText() const
{
    return FLabel1->text();
}

// Play: enabled when a row is selected; pause: while playing and not paused; stop: while
// playing (paused too).
void TMainForm::UpdatePlaybackActions()
{
    const QTreeWidgetItem* row = FListView->currentItem();
    Action("aPlay")->setEnabled(row && row->isSelected());
    Action("aPause")->setEnabled(FPlaying && !FPaused);
    Action("aStop")->setEnabled(FPlaying);
}

void TMainForm::aPlayExecute()
{
    QTreeWidgetItem* row = FListView->currentItem();
    if (FPlaying && FPaused) {
        // Play while paused resumes the paused track, whatever row is selected now.
        FPlayer->Resume();
        FPaused = false;
        SetStatusText(LangString("RES_Play", "播放 ") + FPlayingTitle);
        UpdatePlaybackActions();
        return;
    }
    if (!row)
        return;
    // Play while playing switches to the selected track.
    const QString why = FPlayer->Play(FSession.DriveIndex(), row->text(0).toInt());
    if (!why.isEmpty()) {
        PlaybackFailed(why);
        return;
    }
    FPlayingTitle = row->text(1);
    FPlaying = true;
    FPaused = false;
    SetStatusText(LangString("RES_Play", "播放 ") + FPlayingTitle);
    UpdatePlaybackActions();
}

void TMainForm::aPauseExecute()
{
    if (!FPlaying || FPaused)
        return;
    FPlayer->Pause();
    FPaused = true;
    UpdatePlaybackActions();
}

void TMainForm::aStopExecute()
{
    FPlaying = false;
    FPaused = false;
    FPlayer->Stop();
    FLabel1->clear();
    LayoutClient();
    SetStatusText(FSavedStatus);
    UpdatePlaybackActions();
}

// A track that cannot start, or whose device or disc fails while it plays, ends like a
// stop, but the status line tells why instead of going back to the saved text.
void TMainForm::PlaybackFailed(const QString& reason)
{
    aStopExecute();
    SetStatusText(LangString("RES_MCI_Init_Fail", "媒体设备初始化失败！") + " " + reason);
}

void TMainForm::StopPlayback()
{
    if (FPlaying)
        aStopExecute();
}
