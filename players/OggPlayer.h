#pragma once
// The OGG player's controller: one Ogg Vorbis file at a time through the chain
// VorbisIn1 -> StereoBalance1 -> DXAudioOut1, with pause, stop, seeking by per cent of the
// length, stereo balance, a play-time display and the file's comments. The window, the
// command line and the tests drive the same object; it holds no widgets.
//
// States: idle (the open command is available) -> playing <-> paused -> (done event) idle;
// closing once the window asked to close, until it is gone. The labels and comments of a
// finished file stay until another file is opened.
#include "platform/Prompter.h"
#include "audio/DXAudioOut.h"
#include "audio/StereoBalance.h"
#include "audio/VorbisIn.h"
#include <QObject>
#include <QStringList>
#include <QTimer>

enum class TOggPlayerState { Idle, Playing, Paused, Closing };

// Whole minutes, ":" and the seconds within the minute in two digits (125 -> "2:05").
QString MinutesSeconds(int64_t Seconds);

class TOggPlayer : public QObject
{
    Q_OBJECT
public:
    explicit TOggPlayer(TPrompter* Prompter, QObject* Parent = nullptr);
    ~TOggPlayer() override;

    // Messages go here; not owned. Null: nothing is shown.
    void SetPrompter(TPrompter* Prompter) { FPrompter = Prompter; }

    // The handlers of the window's controls.
    void OpenAndPlay();                    // asks for a file, then Play
    // Plays Path when idle; false (with "Ogg file is not valid." shown when that is why)
    // when nothing started.
    bool Play(const QString& Path);
    void PauseResume();
    void Stop();
    // Stops, waits (bounded) until the sound output is idle, then emits CloseReady.
    void Close();
    // A user's scroll to Position (0..100): jumps there and sets the play time.
    void Scroll(int Position);
    // Balance from the track bar's position 0 (left only) .. 10 (right only); 5 = centre.
    void SetBalancePosition(int Position);
    // One tick of the play-time display (Timer2).
    void TimerTick();

    TOggPlayerState State() const { return FState; }
    bool Closing() const { return FState == TOggPlayerState::Closing; }
    bool OpenEnabled() const { return FOpenEnabled; }
    bool ScrollEnabled() const { return FScrollEnabled; }
    int ScrollPosition() const { return FScrollPosition; }
    int BalancePosition() const { return FBalancePosition; }
    bool TimerActive() const { return FTimer2.isActive(); }
    int64_t PlayTimeMs() const { return FPlayTimeMs; }
    const QString& FileNameText() const { return FFileNameText; }       // lFileName
    const QString& SampleRateText() const { return FSampleRateText; }   // lSampleRate
    const QString& CurrentTimeText() const { return FCurrentTimeText; } // lCurrentTime
    const QString& TotalTimeText() const { return FTotalTimeText; }     // lTotalTime
    const QStringList& Comments() const { return FComments; }           // Memo1
    // The message shown at the end of the last run ("" when it ended well).
    const QString& LastError() const { return FLastError; }

    TVorbisIn& Reader() { return VorbisIn1; }
    TStereoBalance& Balance() { return StereoBalance1; }
    TDXAudioOut& Output() { return DXAudioOut1; }

    static constexpr int TimerIntervalMs = 500;
    static constexpr uint32_t OutputLatencyMs = 80;
    static constexpr int CloseWaitMs = 5000;

signals:
    void Changed();                        // labels, comments, enabled states, state
    void ProgressChanged(int Position);    // the output's progress, for the scroll bar only
    void Finished();                       // a run has ended (its done event)
    void CloseReady();                     // the output has stopped: the window may close

private:
    enum class TEvent { Started, Paused, Resumed, Stopped, Finished, CloseAsked };
    // Every change of state and of the enabled controls, in one place.
    void Transit(TEvent Event);
    void OutputProgress();
    void OutputDone();
    void ShowError(const QString& Text);

    TVorbisIn VorbisIn1;
    TStereoBalance StereoBalance1;
    TDXAudioOut DXAudioOut1;               // after its inputs: destroyed (stopped) first
    QTimer FTimer2;
    TPrompter* FPrompter;

    TOggPlayerState FState = TOggPlayerState::Idle;
    bool FOpenEnabled = true;
    bool FScrollEnabled = false;
    int FScrollPosition = 0;
    int FBalancePosition = 5;
    int64_t FPlayTimeMs = 0;
    int64_t FTotalSeconds = 0;
    QString FFileNameText = QStringLiteral("OGG");
    QString FSampleRateText = QStringLiteral("bps");
    QString FCurrentTimeText = QStringLiteral("0:00");
    QString FTotalTimeText = QStringLiteral("0:00");
    QStringList FComments;
    QString FLastError;
};
