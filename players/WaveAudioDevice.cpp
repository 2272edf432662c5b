#include "players/WaveAudioDevice.h"
#include "audio/DXAudioOut.h"
#include "audio/WaveIn.h"
#include "platform/SDLCapture.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t CopyBlock = 1u << 16;
constexpr int ReadTimeoutMs = 100;
// The largest data chunk a RIFF header can count.
constexpr int64_t MaxDataBytes = int64_t(0xFFFFFFFFu) - 36;

qint64 NowMs()
{
    static QElapsedTimer clock = [] { QElapsedTimer t; t.start(); return t; }();
    return clock.elapsed();
}

template <typename T>
void Put(QByteArray& out, T v)
{
    char b[sizeof(T)];
    qToLittleEndian(v, b);
    out.append(b, sizeof b);
}

// Copies Frames frames of In (already reading) into Out; false on a short read or a
// write failure.
bool CopyFrames(TWaveIn& In, QSaveFile& Out, int64_t Bytes)
{
    std::vector<char> buf(CopyBlock);
    while (Bytes > 0) {
        bool end = false;
        const int want = int(std::min<int64_t>(Bytes, CopyBlock));
        const int got = In.FillBuffer(buf.data(), want, end);
        if (got <= 0 || Out.write(buf.data(), got) != got)
            return false;
        Bytes -= got;
    }
    return true;
}

// Writes as much of Data as the file takes; the count written (a full disk stops short).
qint64 WriteSome(int Fd, const uint8_t* Data, qint64 Bytes)
{
    qint64 done = 0;
    while (done < Bytes) {
        const ssize_t n = ::write(Fd, Data + done, size_t(Bytes - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

} // namespace

TWaveAudioDevice::TWaveAudioDevice(QObject* Owner)
    : QObject(Owner)
{
}

TWaveAudioDevice::~TWaveAudioDevice()
{
    Close();
}

QByteArray TWaveAudioDevice::PcmHeader(int Channels, int Bits, int SampleRate, uint32_t DataBytes)
{
    QByteArray h;
    h.append("RIFF");
    Put<uint32_t>(h, 36 + DataBytes);
    h.append("WAVEfmt ");
    Put<uint32_t>(h, 16);
    Put<uint16_t>(h, 1);
    Put<uint16_t>(h, uint16_t(Channels));
    Put<uint32_t>(h, uint32_t(SampleRate));
    Put<uint32_t>(h, uint32_t(Channels * SampleRate * (Bits / 8)));
    Put<uint16_t>(h, uint16_t(Channels * (Bits / 8)));
    Put<uint16_t>(h, uint16_t(Bits));
    h.append("data");
    Put<uint32_t>(h, DataBytes);
    return h;
}

bool TWaveAudioDevice::Fail(const QString& Text)
{
    FError = Text;
    return false;
}

bool TWaveAudioDevice::Open(const QString& FileName)
{
    Close();
    FError.clear();
    TWaveIn in;
    in.SetFileName(FileName);
    if (!QFileInfo(FileName).isFile() || !in.Valid())
        return Fail(QStringLiteral("Cannot read \"%1\" as a WAV file.").arg(FileName));
    const TWavType type = in.WavType();
    const int bits = in.BitsPerSample(), channels = in.Channels(), rate = in.SampleRate();
    if ((type != wtPCM && type != wtExtPCM) || (bits != 8 && bits != 16) || channels < 1 || channels > 2
        || rate <= 0)
        return Fail(QStringLiteral("\"%1\" is not PCM of 8 or 16 bits, mono or stereo.").arg(FileName));
    FFileName = FileName;
    FBits = bits;
    FChannels = channels;
    FRate = rate;
    FFrameBytes = bits / 8 * channels;
    FFileFrames = std::max<int64_t>(0, in.TotalSamples());    // an empty data chunk counts as -1
    FPosition = 0;
    FMode = mpStopped;
    return true;
}

void TWaveAudioDevice::Close()
{
    if (FMode == mpNotReady)
        return;
    Stop();
    if (FPendingFrom >= 0)
        QFile::remove(SideFileName());
    FPendingFrom = -1;
    FPendingFrames = 0;
    FMode = mpNotReady;
    FFileName.clear();
    FFileFrames = 0;
    FPosition = 0;
}

QString TWaveAudioDevice::SideFileName() const
{
    if (!FSideOverride.isEmpty())
        return FSideOverride;
    const QFileInfo fi(FFileName);
    return fi.absolutePath() + '/' + '.' + fi.fileName() + QStringLiteral(".rec");
}

int64_t TWaveAudioDevice::MsToFrames(int64_t Ms) const
{
    return FRate > 0 ? Ms * FRate / 1000 : 0;
}

int64_t TWaveAudioDevice::FramesToMs(int64_t Frames) const
{
    return FRate > 0 ? Frames * 1000 / FRate : 0;
}

// The frame at Ms, at most Limit. Milliseconds are coarser than frames: any time at or past
// Limit's whole milliseconds is Limit itself, so that "the end" as the recorder shows it
// (the length in ms) starts after the last frame rather than up to a millisecond before it.
int64_t TWaveAudioDevice::FrameAt(int64_t Ms, int64_t Limit) const
{
    if (Ms <= 0)
        return 0;
    if (Ms >= FramesToMs(Limit))
        return Limit;
    return std::clamp<int64_t>(MsToFrames(Ms), 0, Limit);
}

int64_t TWaveAudioDevice::LengthFrames() const
{
    if (FPendingFrom < 0)
        return FFileFrames;
    return std::max(FFileFrames, FPendingFrom + FPendingFrames.load());
}

int64_t TWaveAudioDevice::PositionFrames() const
{
    switch (FMode) {
    case mpPlaying:
        return std::min(FFileFrames, FPlayFrom + MsToFrames(NowMs() - FPlayStarted));
    case mpRecording:
        return FPendingFrom + FPendingFrames.load();
    default:
        return FPosition;
    }
}

int64_t TWaveAudioDevice::Length() const
{
    return FramesToMs(LengthFrames());
}

int64_t TWaveAudioDevice::Position() const
{
    return FramesToMs(PositionFrames());
}

void TWaveAudioDevice::Seek(int64_t Ms)
{
    if (FMode == mpNotReady)
        return;
    Stop();
    FPosition = FrameAt(Ms, LengthFrames());
}

bool TWaveAudioDevice::Play(int64_t FromMs)
{
    if (FMode == mpNotReady)
        return Fail(QStringLiteral("No sound file is open."));
    if (FMode == mpPlaying && FromMs < 0)
        return true;
    Stop();
    const int64_t from = FromMs < 0 ? FPosition : FrameAt(FromMs, FFileFrames);
    FPlayIn = std::make_unique<TWaveIn>();
    FPlayIn->SetFileName(FFileName);
    FPlayIn->SetStartSample(from);
    if (!FPlayOut) {
        FPlayOut = std::make_unique<TDXAudioOut>();
        FPlayOut->SetDeviceNumber(0);
    }
    FPlayOut->SetInput(FPlayIn.get());
    FPlayOut->SetOnDone([this](QObject*) {
        if (FMode != mpPlaying)
            return;
        FMode = mpStopped;
        FPosition = FFileFrames;
        emit PlayDone();
    });
    FPlayFrom = from;
    FPlayStarted = NowMs();
    FMode = mpPlaying;
    try {
        FPlayOut->Run();
    } catch (const std::exception& e) {
        FMode = mpStopped;
        return Fail(QString::fromUtf8(e.what()));
    }
    return true;
}

void TWaveAudioDevice::StopPlaying()
{
    const int64_t at = PositionFrames();
    FMode = mpStopped;
    if (FPlayOut) {
        FPlayOut->SetOnDone({});
        FPlayOut->Stop(false);
        FPlayOut->SetInput(nullptr);
    }
    FPlayIn.reset();
    FPosition = at;
}

bool TWaveAudioDevice::Record(int64_t FromMs)
{
    if (FMode == mpNotReady)
        return Fail(QStringLiteral("No sound file is open."));
    if (FMode == mpRecording)
        return true;
    Stop();
    if (FPendingFrom >= 0 && !Save())
        return false;
    const int64_t from = FromMs < 0 ? FPosition : FrameAt(FromMs, FFileFrames);
    auto side = std::make_unique<QFile>(SideFileName());
    if (!side->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return Fail(side->errorString());
    auto capture = std::make_unique<TSDLCapture>();
    if (!capture->Open(FBits, FChannels, FRate)) {
        side->close();
        side->remove();
        return Fail(capture->ErrorText());
    }
    FSide = std::move(side);
    FCapture = std::move(capture);
    FPendingFrom = from;
    FPendingFrames = 0;
    FWriteFailed = false;
    FWriterStop = false;
    FMode = mpRecording;
    FWriter = std::thread([this] { WriterLoop(); });
    return true;
}

// The writer thread: moves captured frames into the side file until the capture is
// closed and drained, or a write fails.
void TWaveAudioDevice::WriterLoop()
{
    std::vector<uint8_t> buf(CopyBlock);
    int64_t bytes = 0;
    while (!FWriterStop) {
        const uint32_t n = FCapture->Read(buf.data(), uint32_t(buf.size()), ReadTimeoutMs);
        if (n == 0) {
            if (FCapture->Drained())
                break;
            continue;
        }
        // The data chunk's size is a 32-bit count.
        const int64_t room = (MaxDataBytes - (FPendingFrom + FPendingFrames) * FFrameBytes);
        const qint64 want = std::min<int64_t>(n, std::max<int64_t>(room, 0));
        const qint64 wrote = WriteSome(FSide->handle(), buf.data(), want);
        if (wrote > 0) {
            bytes += wrote;
            FPendingFrames = bytes / FFrameBytes;
        }
        if (wrote != qint64(n)) {
            FWriteFailed = true;
            QMetaObject::invokeMethod(this, [this] { WriterFailed(); }, Qt::QueuedConnection);
            break;
        }
    }
}

void TWaveAudioDevice::WriterFailed()
{
    if (FMode != mpRecording || !FWriteFailed)
        return;
    StopRecording();
    emit RecordingFailed();
}

void TWaveAudioDevice::StopRecording()
{
    FCapture->Close();
    FCapture->Wake();
    if (FWriter.joinable())
        FWriter.join();
    FCapture.reset();
    // Keep whole frames only: a failed write may have left part of one.
    FSide->resize(FPendingFrames * FFrameBytes);
    FSide->close();
    FSide.reset();
    FPosition = FPendingFrom + FPendingFrames;
    FMode = mpStopped;
}

void TWaveAudioDevice::Stop()
{
    if (FMode == mpPlaying)
        StopPlaying();
    else if (FMode == mpRecording)
        StopRecording();
}

bool TWaveAudioDevice::Save()
{
    if (FMode == mpNotReady)
        return Fail(QStringLiteral("No sound file is open."));
    if (FMode == mpRecording)
        StopRecording();
    else
        Stop();
    if (FPendingFrom < 0)
        return true;
    const int64_t from = FPendingFrom, recorded = FPendingFrames;
    const int64_t total = std::max(FFileFrames, from + recorded);
    const int64_t dataBytes = total * FFrameBytes;
    if (dataBytes > MaxDataBytes)
        return Fail(QStringLiteral("The recording is too long for a WAV file."));

    // The element's sound before and after the recorded stretch, read through the same
    // reader that opened it.
    QSaveFile out(FFileName);
    QFile side(SideFileName());
    if (!out.open(QIODevice::WriteOnly))
        return Fail(out.errorString());
    if (!side.open(QIODevice::ReadOnly))
        return Fail(side.errorString());
    TWaveIn in;
    in.SetFileName(FFileName);
    bool ok = out.write(PcmHeader(FChannels, FBits, FRate, uint32_t(dataBytes))) == 44;
    try {
        in.Init();
        ok = ok && CopyFrames(in, out, from * FFrameBytes);
        std::vector<char> buf(CopyBlock);
        for (int64_t left = recorded * FFrameBytes; ok && left > 0;) {
            const qint64 got = side.read(buf.data(), std::min<int64_t>(left, CopyBlock));
            ok = got > 0 && out.write(buf.data(), got) == got;
            left -= got;
        }
        if (ok && from + recorded < FFileFrames) {
            in.Flush();
            in.SetStartSample(from + recorded);
            in.Init();
            ok = CopyFrames(in, out, (FFileFrames - from - recorded) * FFrameBytes);
        }
        in.Flush();
    } catch (const std::exception& e) {
        out.cancelWriting();
        return Fail(QString::fromUtf8(e.what()));
    }
    if (!ok) {
        const QString why = out.error() != QFileDevice::NoError ? out.errorString() : QStringLiteral("Cannot read the sound.");
        out.cancelWriting();
        return Fail(why);
    }
    if (!out.commit())
        return Fail(out.errorString());
    side.close();
    side.remove();
    FPendingFrom = -1;
    FPendingFrames = 0;
    FFileFrames = total;
    return true;
}
