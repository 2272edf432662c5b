#pragma once
// The WAV format converter: re-makes one WAV file as another with a chosen channel count,
// sample rate, sample size and coding (plain PCM or IMA ADPCM). It owns the chain
// WaveIn1 -> FastResampler1 -> AudioConverter1 -> WaveOut1, shows the input's properties,
// takes the output's, and runs the chain on the output's worker thread. The window
// (TfrmResample), the command line (wav2wav) and the tests drive it alike; questions,
// file choices and error boxes go through the prompter.
#include "audio/AudioConverter.h"
#include "audio/FastResampler.h"
#include "audio/WaveIn.h"
#include "audio/WaveOut.h"
#include <QObject>
#include <QString>
#include <memory>
#include <stdexcept>

class TPrompter;

// The number conversion error: a text that is not a whole decimal number.
class EConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A decimal integer, surrounding blanks allowed; else EConvertError
// "'<text>' is not a valid integer value".
int StrToInt(const QString& Text);

// What the output side of the window holds when Convert is pressed.
struct TResampleSettings {
    int Channels = 1;                              // SpinEdit1
    QString SampleRate = QStringLiteral("22050");  // Edit1, as typed
    int BitsPerSample = 8;                         // SpinEdit3
    int Coding = 0;                                // ComboBox1: 0 "RAW PCM", 1 "DVI IMA ADPCM"
};

class TResampleWav : public QObject
{
    Q_OBJECT
public:
    explicit TResampleWav(TPrompter* Prompter, QObject* Parent = nullptr);
    // Stops a running conversion synchronously (as Close does).
    ~TResampleWav() override;

    void SetPrompter(TPrompter* Prompter) { FPrompter = Prompter; }

    // Sample rates the output may have.
    static constexpr int MinSampleRate = 1000;
    static constexpr int MaxSampleRate = 192000;
    // The two status texts of a finished run.
    static QString SuccessText() { return QStringLiteral("Success!"); }
    static QString AbortedText() { return QStringLiteral("Aborted"); }

    // Button1: asks for the input file and takes it (SetInputFile).
    void Button1Click();
    // Button2: asks for the output file and takes it (SetOutputFile).
    void Button2Click();
    // Button3: Convert, with the application's default error report for what it raises.
    void Button3Click(const TResampleSettings& Settings);
    // Button4: ends a running conversion; its done event follows.
    void Abort();
    // Closing the window: stops a running conversion and waits for the worker; no event of
    // that run follows.
    void Close();

    // The input: its properties go to the labels; a file that cannot be read clears them
    // and says so in the status line.
    void SetInputFile(const QString& FileName);
    // The output: taken only when its extension is ".wav" (any case); anything else is
    // ignored.
    void SetOutputFile(const QString& FileName);
    // Starts the conversion. Raises EAuException "The output file name is not set!",
    // EConvertError for a rate that is not a number, EAuException for a rate out of range.
    void Convert(const TResampleSettings& Settings);

    // Labels of the input group (Label5..Label8, Label15) and of the output name (Label10).
    QString InputName() const { return FInputName; }
    QString InputChannels() const { return FInputChannels; }
    QString InputSampleRate() const { return FInputSampleRate; }
    QString InputBitsPerSample() const { return FInputBits; }
    QString InputCoding() const { return FInputCoding; }
    QString OutputName() const { return FOutputName; }
    QString StatusText() const { return FStatusText; }
    int Progress() const { return FProgress; }
    // While converting, the input, output and Convert buttons are disabled.
    bool Converting() const { return FConverting; }

    TWaveIn* WaveIn1() const { return FWaveIn1.get(); }
    TFastResampler* FastResampler1() const { return FFastResampler1.get(); }
    TAudioConverter* AudioConverter1() const { return FAudioConverter1.get(); }
    TWaveOut* WaveOut1() const { return FWaveOut1.get(); }

signals:
    // Labels or the enabled states changed.
    void Changed();
    void StatusTextChanged(const QString& Text);
    void ProgressChanged(int Percent);
    // A run has ended (its done event); Success tells whether the status says "Success!".
    void Finished(bool Success);

private:
    void SetStatusText(const QString& Text);
    void SetProgress(int Percent);
    void ClearInputLabels();
    void ReportException();
    void WaveOut1Progress();
    void WaveOut1Done();
    void WaveOut1ThreadException();

    // Identity and state of the output file before a run, to tell whether a failed run
    // created or rewrote it.
    struct TFileStamp {
        bool Exists = false;
        uint64_t Device = 0, Inode = 0;
        int64_t Size = 0, ModifiedNs = 0;
        bool operator==(const TFileStamp&) const = default;
    };
    static TFileStamp Stamp(const QString& FileName);
    static bool SameFile(const QString& A, const QString& B);

    TPrompter* FPrompter;
    // Declared in chain order: the output goes first at destruction.
    std::unique_ptr<TWaveIn> FWaveIn1;
    std::unique_ptr<TFastResampler> FFastResampler1;
    std::unique_ptr<TAudioConverter> FAudioConverter1;
    std::unique_ptr<TWaveOut> FWaveOut1;
    TWaveOut* FChosenOutput = nullptr;   // none until a ".wav" output has been chosen

    QString FInputName, FInputChannels, FInputSampleRate, FInputBits, FInputCoding;
    QString FOutputName;
    QString FStatusText;
    int FProgress = 0;
    bool FConverting = false;
    bool FAborted = false;
    QString FRunOutput;
    QString FRunFile;                    // what the run writes, renamed to FRunOutput at its end
    // Ends the run's file: renamed over the output (raises when that fails) or removed.
    void EndRunFile(bool keep);
};
