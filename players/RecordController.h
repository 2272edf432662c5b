#pragma once
// The sound recorder's state machine, without widgets: the document (a new recording or an
// opened WAV file played and recorded through a working copy), the media buttons with the
// waveaudio device behind them, the save check, Save, Save As, Undo, the MP3 export and the
// close. TfrmRecord shows View() and forwards clicks; the command line and the tests drive
// the same object. Questions and messages go through the prompter.
#include "platform/Prompter.h"
#include "players/WaveAudioDevice.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class TRecordController : public QObject {
    Q_OBJECT
public:
    // The media player's buttons (Pause and Eject are hidden but keep their state).
    enum TButton { btPlay, btPause, btStop, btNext, btPrev, btStep, btBack, btRecord, btEject };
    static constexpr int ButtonCount = 9;

    // The format of a new recording.
    struct TNewFormat {
        int SampleRate = 44100;
        int Bits = 16;
        int Channels = 2;
    };

    // What the window shows.
    struct TView {
        QString Caption;                         // empty: the window's own caption ("Record")
        QString State = QStringLiteral("-----------");
        QString Position;   // "0.00 秒" until a file is open
        QString Length;
        QString RecordTime = QStringLiteral("00:00:00.0");
        int TrackBar = 0;
        unsigned Enabled = 0;                    // bit per TButton
    };

    static constexpr int TrackBarMax = 400;
    static constexpr int PlayTimerMs = 500;
    static constexpr int RecordTimerMs = 100;
    static constexpr const char* NoNameFileName = "MyNoName.wav";
    static constexpr const char* WorkFileName = "MyTemp.wav";

    // Creation: the tick of "MP3 format" from the settings; no document.
    explicit TRecordController(TPrompter* prompter, QObject* parent = nullptr);
    ~TRecordController() override;

    // Menu commands.
    bool New();
    void Open();
    bool Save();
    bool SaveAs();
    void Undo();
    void RecordingControl();
    // The window closes: false when the user cancelled the save question (the window stays).
    bool Close();

    // Media buttons: the handler, then the device's own action.
    void Click(TButton button);
    void SetTrackBar(int value);

    bool ButtonEnabled(TButton button) const { return FView.Enabled & (1u << button); }
    bool CanSave() const { return ButtonEnabled(btRecord); }
    bool CanUndo() const;
    const TView& View() const { return FView; }
    TWaveAudioDevice& Device() { return FDevice; }

    bool SaveMp3 = false;                        // "MP3 format"
    bool StoreSettings = true;                   // the close writes SaveMp3 to the settings
    QString CurrentFile;
    QString WorkFile;
    bool Modified = false;
    bool Mp3Done = false;
    int64_t PlayPosition = 0;
    qint64 RecordStart = 0;
    int RecordMs = 0;
    QTimer* Timer1 = nullptr;
    QTimer* TimerRecord = nullptr;

    QString NoNameFile() const;
    bool IsNewDocument() const { return CurrentFile == NoNameFile(); }

    // Hooks the window, the command line and the tests set.
    // Asks for the format of a new recording (false: cancelled). Default: 44100 Hz, 16 bits, stereo.
    std::function<bool(TNewFormat&)> AskNewFormat;
    // Encodes the WAV file to MP3 beside it; true when the MP3 was made. Default:
    // RunMp3Job, the conversion job's mode 4 in a local event loop.
    std::function<bool(const QString&)> RunMp3;
    // The clock (ms) and the wait of the stop (ms); tests replace them.
    std::function<qint64()> Now;
    std::function<void(int)> Wait;

    // The conversion job's mode 4 on one file, run to its end in a local event loop.
    static bool RunMp3Job(const QString& wavFile, TPrompter* prompter);

    // "12.3 Sec", "1 分30 秒", "2小时5 秒".
    static QString TimeText(int64_t ms);
    // "HH:MM:SS.t".
    static QString RecordTimeText(qint64 ms);

    // The result of the last MP3 export (true when none was asked for).
    bool LastExportOk() const { return FExportOk; }

signals:
    void ViewChanged();
    // "Exit" and a failed sound device ask the window to close.
    void CloseRequested();

private:
    // The device's default actions.
    void Play();
    void Stop();
    void Next();
    void Prev();
    void Record();

    void Timer1Timer();
    void TimerRecordTimer();
    void RecordingFailed();
    bool SaveCheck(bool prompt, bool fromSave = false);
    bool LoadDocument(const QString& file);
    bool ExportMp3();
    bool OpenDevice(const QString& file);
    void CloseDevice();
    void Enable(std::initializer_list<TButton> buttons);
    void ShowLength();
    void ShowTrackPosition();
    QString AskWavTarget(bool& cancelled);
    QString DialogFolder() const;
    void Changed() { emit ViewChanged(); }

    TPrompter* FPrompter;
    TWaveAudioDevice FDevice;
    TView FView;
    int64_t FStartFrom = -1;       // start position (ms) of the next play or record; -1 none
    bool FExportOk = true;
    bool FStopFailed = false;      // the last stop could not save the recording
};
