#pragma once
// Plays one track of an audio CD on the sound card: a TCDPlayIn reading the drive into a
// TDXAudioOut, in the disc's own format (16-bit stereo, 44100 Hz). Idle, playing or paused;
// every transition is a call on the main thread or the end of the output's run.
//
// Play while playing or paused stops the old run first (synchronously: its events are
// dropped, so its end never ends the new one). Stop returns when the output has let go of
// the sound device. A run that ends by itself reports Ended (the track was heard to its
// end) or Failed (the device or a read failed; the reason in English).
#include <QObject>
#include <QString>
#include <memory>

class QTimer;
class TCDPlayIn;
class TDXAudioOut;

class TCDPlayer : public QObject {
    Q_OBJECT
public:
    enum class TState { Idle, Playing, Paused };

    explicit TCDPlayer(QObject* parent = nullptr);
    ~TCDPlayer() override;

    TState State() const { return FState; }
    int Drive() const { return FDrive; }
    int Track() const { return FTrack; }

    // Starts track number `track` of drive `drive` (a drive list index). Returns an empty
    // text once playback has started, else why it cannot start (the player is then idle).
    QString Play(int drive, int track);
    void Pause();                 // playing -> paused; otherwise nothing
    void Resume();                // paused -> playing; otherwise nothing
    void Stop();                  // any -> idle; synchronous

    // Seconds heard (read) of the track and its length; "MM:SS / MM:SS".
    int ElapsedSeconds() const;
    int TotalSeconds() const;
    QString TimeText() const;

signals:
    void Ended();
    void Failed(const QString& reason);
    void StateChanged();
    void TimeChanged(const QString& text);   // about four times a second while playing

private:
    void RunEnded(uint64_t run);
    void SetState(TState state);

    std::unique_ptr<TCDPlayIn> FIn;
    std::unique_ptr<TDXAudioOut> FOut;
    QTimer* FTimer = nullptr;
    TState FState = TState::Idle;
    int FDrive = -1;
    int FTrack = 0;
    uint64_t FRun = 0;            // the current run; events of older runs are ignored
    QString FError;               // the current run's failure, told before its end
};

// "MM:SS" of a number of seconds (minutes past 99 shown whole).
QString MinutesSeconds(int seconds);
