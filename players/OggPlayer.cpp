#include "players/OggPlayer.h"
#include "audio/MainThreadSync.h"
#include "settings/Global.h"
#include "settings/Lang.h"
#include <QFileInfo>
#include <algorithm>

namespace {

// Linux globs are case-sensitive: both spellings of the extension are offered.
const char* const OpenFilter = "Sound file(*.ogg) (*.ogg *.OGG);; Any file(*.*) (*)";
const char* const NotValidText = "Ogg file is not valid.";
const QLatin1String OggExtension(".OGG");

} // namespace

QString MinutesSeconds(int64_t Seconds)
{
    return QString::number(Seconds / 60) + QLatin1Char(':') + TwoDigits(int(Seconds % 60));
}

TOggPlayer::TOggPlayer(TPrompter* Prompter, QObject* Parent) : QObject(Parent), FPrompter(Prompter)
{
    VorbisIn1.SetLoop(false);
    VorbisIn1.SetEndSample(-1);
    StereoBalance1.SetInput(&VorbisIn1);
    StereoBalance1.SetBalance(0.5f);
    DXAudioOut1.SetInput(&StereoBalance1);
    DXAudioOut1.SetDeviceNumber(0);
    DXAudioOut1.SetLatency(OutputLatencyMs);
    DXAudioOut1.SetPrefetchData(true);
    DXAudioOut1.SetPollingInterval(200);
    DXAudioOut1.SetFramesInBuffer(65536);
    DXAudioOut1.SetSpeedFactor(1.0f);
    DXAudioOut1.SetOnProgress([this](QObject*) { OutputProgress(); });
    DXAudioOut1.SetOnDone([this](QObject*) { OutputDone(); });
    FTimer2.setInterval(TimerIntervalMs);
    connect(&FTimer2, &QTimer::timeout, this, &TOggPlayer::TimerTick);
}

TOggPlayer::~TOggPlayer()
{
    DXAudioOut1.SetOnProgress({});
    DXAudioOut1.SetOnDone({});
    DXAudioOut1.Stop(false);
}

void TOggPlayer::Transit(TEvent Event)
{
    using S = TOggPlayerState;
    switch (Event) {
    case TEvent::Started:
        FState = S::Playing;
        FOpenEnabled = false;
        FScrollEnabled = true;
        FTimer2.start();
        break;
    case TEvent::Paused:
        if (FState == S::Playing)
            FState = S::Paused;
        FTimer2.stop();
        break;
    case TEvent::Resumed:
        // Also when idle: the timer runs on, but nothing plays.
        if (FState == S::Paused)
            FState = S::Playing;
        FTimer2.start();
        break;
    case TEvent::Stopped:
        if (FState == S::Paused)
            FState = S::Playing;       // resumed to stop; the done event ends the run
        FTimer2.stop();
        break;
    case TEvent::Finished:
        if (FState != S::Closing)
            FState = S::Idle;
        FOpenEnabled = true;
        FScrollEnabled = false;
        FTimer2.stop();
        break;
    case TEvent::CloseAsked:
        FState = S::Closing;
        break;
    }
    emit Changed();
}

void TOggPlayer::ShowError(const QString& Text)
{
    if (FPrompter)
        FPrompter->ShowError(Text);
}

void TOggPlayer::OpenAndPlay()
{
    if (!FOpenEnabled || !FPrompter)
        return;
    const QString path = FPrompter->AskOpenFileName(QString(), QString(), QLatin1String(OpenFilter));
    if (!path.isEmpty())
        Play(path);
}

bool TOggPlayer::Play(const QString& Path)
{
    if (FState != TOggPlayerState::Idle || !FOpenEnabled)
        return false;
    FLastError.clear();
    // The name is checked first, so that a file of another name is never opened.
    const bool named = Path.right(4).toUpper() == OggExtension;
    if (named)
        VorbisIn1.SetFileName(Path);
    if (!named || !VorbisIn1.Valid()) {
        ShowError(QLatin1String(NotValidText));
        return false;
    }
    try {
        // Read while no worker runs: the reader's format and comments are settled.
        const QString name = QFileInfo(Path).fileName();
        const QString fileName = name.left(name.size() - 4);
        const QString rate = QString::number(VorbisIn1.SampleRate()) + QStringLiteral(" bps");
        const int64_t total = VorbisIn1.TotalTime();
        const TVorbisTags& tags = VorbisIn1.VorbisComments();
        const std::pair<const char*, QString> fields[] = {
            {"Artist: ", tags.Artist()}, {"Album: ", tags.Album()}, {"Title: ", tags.Title()},
            {"Date: ", tags.Date()},     {"Genre: ", tags.Genre()}, {"Track: ", tags.Track()}};
        QStringList comments;
        for (const auto& [caption, value] : fields)
            if (!value.isEmpty())
                comments.append(QLatin1String(caption) + value);

        DXAudioOut1.SetStreamName(fileName);
        DXAudioOut1.Run();
        FFileNameText = fileName;
        FSampleRateText = rate;
        FTotalSeconds = total;
        FTotalTimeText = MinutesSeconds(total);
        FPlayTimeMs = 0;
        FCurrentTimeText = MinutesSeconds(0);
        FScrollPosition = 0;
        FComments = comments;
    } catch (const std::exception&) {
        // Nothing started: the open command stays available.
        return false;
    }
    Transit(TEvent::Started);
    return true;
}

void TOggPlayer::PauseResume()
{
    if (DXAudioOut1.Status() != tosBusy) {
        DXAudioOut1.Resume();
        Transit(TEvent::Resumed);
    } else {
        DXAudioOut1.Pause();
        Transit(TEvent::Paused);
    }
}

void TOggPlayer::Stop()
{
    if (DXAudioOut1.Status() == tosPaused)
        DXAudioOut1.Resume();
    DXAudioOut1.Stop(true);
    Transit(TEvent::Stopped);
}

void TOggPlayer::Close()
{
    Stop();
    Transit(TEvent::CloseAsked);
    // The worker may be waiting for the main thread: keep serving it while waiting.
    MainThreadSync::WaitFor([this] { return DXAudioOut1.Status() == tosIdle; }, CloseWaitMs);
    emit CloseReady();
}

void TOggPlayer::Scroll(int Position)
{
    if (FState != TOggPlayerState::Playing && FState != TOggPlayerState::Paused)
        return;
    Position = std::clamp(Position, 0, 100);
    // A paused output stays paused; the play time follows the new position all the same.
    DXAudioOut1.Jump((Position - DXAudioOut1.Progress()) * 10);
    FPlayTimeMs = FTotalSeconds * Position * 10;
    FCurrentTimeText = MinutesSeconds(FPlayTimeMs / 1000);
    FScrollPosition = Position;
    emit Changed();
}

void TOggPlayer::SetBalancePosition(int Position)
{
    FBalancePosition = Position;
    StereoBalance1.SetBalance(float(Position) / 10.0f);
}

void TOggPlayer::TimerTick()
{
    if (FPlayTimeMs >= FTotalSeconds * 1000)
        return;
    FPlayTimeMs += TimerIntervalMs;
    FCurrentTimeText = MinutesSeconds(FPlayTimeMs / 1000);
    emit Changed();
}

void TOggPlayer::OutputProgress()
{
    FScrollPosition = DXAudioOut1.Progress();
    emit ProgressChanged(FScrollPosition);
}

void TOggPlayer::OutputDone()
{
    const QString error = DXAudioOut1.ExceptionMessage();
    const bool closing = Closing();
    Transit(TEvent::Finished);
    // A run that ended by an error of the sound output says so once, instead of looking
    // like a file that played nothing.
    if (!error.isEmpty() && !closing) {
        FLastError = DXAudioOut1.DeviceCount() == 0
                         ? LangString(QStringLiteral("RES_No_Sound_Device"), QStringLiteral("没有找到声音输出设备！"))
                         : error;
        ShowError(FLastError);
    }
    emit Finished();
}
