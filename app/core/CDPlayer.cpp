#include "app/core/CDPlayer.h"
#include "audio/DXAudioOut.h"
#include "cd/CDPlayIn.h"
#include "platform/akrip32.h"
#include <QTimer>
#include <algorithm>

namespace {

constexpr int TimeUpdateMs = 250;
constexpr int64_t BytesPerSecond = 44100 * 4;

} // namespace

QString MinutesSeconds(int seconds)
{
    seconds = std::max(seconds, 0);
    return QStringLiteral("%1:%2").arg(seconds / 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

TCDPlayer::TCDPlayer(QObject* parent)
    : QObject(parent)
    , FIn(std::make_unique<TCDPlayIn>())
    , FTimer(new QTimer(this))
{
    FTimer->setInterval(TimeUpdateMs);
    connect(FTimer, &QTimer::timeout, this, [this] { emit TimeChanged(TimeText()); });
}

TCDPlayer::~TCDPlayer()
{
    // The output goes first: it stops its worker before its input is freed.
    FOut.reset();
    FIn.reset();
}

QString TCDPlayer::Play(int drive, int track)
{
    Stop();
    if (drive < 0)
        return CDErrorText(ALERR_NOWNASPI);
    const QString why = FIn->SelectTrack(drive, track);
    if (!why.isEmpty())
        return why;
    FDrive = drive;
    FTrack = track;
    FError.clear();
    // The sound output (and SDL's audio with it) is opened on the first play, not with the
    // window; it lists the devices there are then.
    if (!FOut)
        FOut = std::make_unique<TDXAudioOut>();
    const uint64_t run = ++FRun;
    FOut->SetOnThreadException([this, run](QObject*) {
        if (run == FRun)
            FError = FOut->ExceptionMessage();
    });
    FOut->SetOnDone([this, run](QObject*) { RunEnded(run); });
    FOut->SetInput(FIn.get());
    try {
        FOut->Run();
    } catch (const EAuException& e) {
        return e.Message();
    }
    SetState(TState::Playing);
    FTimer->start();
    emit TimeChanged(TimeText());
    return {};
}

void TCDPlayer::RunEnded(uint64_t run)
{
    if (run != FRun || FState == TState::Idle)
        return;
    FTimer->stop();
    SetState(TState::Idle);
    const QString error = FError;
    FError.clear();
    if (error.isEmpty())
        emit Ended();
    else
        emit Failed(error);
}

void TCDPlayer::Pause()
{
    if (FState != TState::Playing || !FOut)
        return;
    FOut->Pause();
    FTimer->stop();
    SetState(TState::Paused);
}

void TCDPlayer::Resume()
{
    if (FState != TState::Paused || !FOut)
        return;
    FOut->Resume();
    FTimer->start();
    SetState(TState::Playing);
}

void TCDPlayer::Stop()
{
    ++FRun;       // whatever the old run still reports is ignored
    FTimer->stop();
    if (FOut)
        FOut->Stop(false);
    FError.clear();
    SetState(TState::Idle);
}

void TCDPlayer::SetState(TState state)
{
    if (FState == state)
        return;
    FState = state;
    emit StateChanged();
}

int TCDPlayer::ElapsedSeconds() const
{
    if (FState == TState::Idle)
        return 0;
    return int(std::max<int64_t>(FIn->Position(), 0) / BytesPerSecond);
}

int TCDPlayer::TotalSeconds() const
{
    return int((FIn->EndSector() - FIn->StartSector()) / CD_FRAMES_PER_SECOND);
}

QString TCDPlayer::TimeText() const
{
    return MinutesSeconds(ElapsedSeconds()) + QStringLiteral(" / ") + MinutesSeconds(TotalSeconds());
}
