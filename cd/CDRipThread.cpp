#include "cd/CDRipThread.h"
#include "audio/DeEmphasis.h"

#include "platform/akrip32.h"

#include "platform/ProcessInfo.h"
#include "settings/FileNamePattern.h"
#include "settings/Global.h"
#include "settings/Lang.h"
#include "platform/OutputFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <set>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWavHeaderSize = 44;

void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

void Put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

bool WriteFully(int fd, const uint8_t* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// The live rip threads and their mailboxes; one mutex guards the set, every mailbox and
// whether a wake-up is on its way to the main thread.
std::mutex registryLock;
std::set<TCDRipThread*> registry;
bool wakePosted = false;

} // namespace

TWavHeader MakeWavHeader(uint32_t dataBytes)
{
    TWavHeader h{};
    uint8_t* p = h.Bytes;
    std::memcpy(p, "RIFF", 4);
    Put32(p + 4, 36 + dataBytes);
    std::memcpy(p + 8, "WAVEfmt ", 8);
    Put32(p + 16, 16);
    Put16(p + 20, 1);                      // PCM
    Put16(p + 22, 2);                      // channels
    Put32(p + 24, 44100);
    Put32(p + 28, 44100 * 4);              // bytes per second
    Put16(p + 32, 4);                      // block align
    Put16(p + 34, 16);                     // bits per sample
    std::memcpy(p + 36, "data", 4);
    Put32(p + 40, dataBytes);
    return h;
}

TCDRipThread::TCDRipThread(int trackIndex, const QString& fileTitle)
    : TrackIndex(trackIndex), FileTitle(fileTitle), Options(OptionsSetting.CommonOptions)
{
    std::lock_guard lock(registryLock);
    registry.insert(this);
}

TCDRipThread::~TCDRipThread()
{
    StopRequested = true;
    if (Reader)
        Reader->Abort();
    if (FThread.joinable())
        FThread.join();
    std::lock_guard lock(registryLock);
    registry.erase(this);
    FMailbox.clear();
}

void TCDRipThread::Start()
{
    std::lock_guard lock(FStateLock);
    if (FStarted)
        return;
    FStarted = true;
    FThread = std::thread([this] {
        Run();
        std::lock_guard done(FStateLock);
        FFinished = true;
        FStateChanged.notify_all();
    });
}

bool TCDRipThread::Wait(int timeoutMs)
{
    std::unique_lock lock(FStateLock);
    const auto ended = [this] { return !FStarted || FFinished; };
    if (timeoutMs < 0)
        FStateChanged.wait(lock, ended);
    else if (!FStateChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended))
        return false;
    return true;
}

void TCDRipThread::Post(QEvent* event)
{
    std::unique_ptr<QEvent> owned(event);
    QCoreApplication* app = QCoreApplication::instance();
    if (!OwnerWindow || !app)
        return;
    std::lock_guard lock(registryLock);
    FMailbox.push_back(std::move(owned));
    if (!wakePosted) {
        wakePosted = true;
        QMetaObject::invokeMethod(app, [] { TCDRipThread::DeliverPosted(); }, Qt::QueuedConnection);
    }
}

void TCDRipThread::DeliverPosted()
{
    std::vector<std::pair<QObject*, std::unique_ptr<QEvent>>> ready;
    {
        std::lock_guard lock(registryLock);
        wakePosted = false;
        for (TCDRipThread* t : registry) {
            for (auto& e : t->FMailbox)
                ready.emplace_back(t->OwnerWindow, std::move(e));
            t->FMailbox.clear();
        }
    }
    for (auto& [owner, event] : ready)
        QCoreApplication::postEvent(owner, event.release());
}

QString TCDRipThread::WavFileName() const
{
    QString folder = Options.OutputFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + FileTitle + QStringLiteral(".wav");
}

QString TCDRipThread::PartFileName() const
{
    return PartPathOf(WavFileName());
}

void TCDRipThread::PostFailed(int reason)
{
    Post(new TRipFailedEvent(reason));
}

void TCDRipThread::PostInfo(int percent, int errorCode)
{
    if (!OwnerWindow)
        return;
    auto info = std::make_unique<TProcessInfo>();
    info->Percent = percent;
    info->ErrorCode = errorCode;
    Post(new TProcessInfoEvent(std::move(info)));
}

// Percent with the elapsed time and the estimated total as "mm:ss" (no texts at 0 %). A
// report equal to the last one posted is dropped: the owner would only redraw the same bar.
void TCDRipThread::PostProgress(int percent, int64_t elapsedMs)
{
    if (!OwnerWindow)
        return;
    auto info = std::make_unique<TProcessInfo>();
    info->Percent = percent;
    if (percent > 0) {
        const auto elapsed = int64_t(std::llround(double(elapsedMs) / 1000.0));
        const auto total = int64_t(std::llround(double(elapsed) * 100.0 / percent));
        info->ElapsedText = TwoDigits(int(elapsed / 60)) + QLatin1Char(':') + TwoDigits(int(elapsed % 60));
        info->TotalText = TwoDigits(int(total / 60)) + QLatin1Char(':') + TwoDigits(int(total % 60));
    }
    if (percent == FLastPercent && info->ElapsedText == FLastElapsed)
        return;
    FLastPercent = percent;
    FLastElapsed = info->ElapsedText;
    Post(new TProcessInfoEvent(std::move(info)));
}

void TCDRipThread::Run()
{
    if (!Reader) {
        PostFailed(1);
        return;
    }
    const int why = Reader->ReadLayout(FDisc);
    if (why != 0) {
        PostFailed(why);
        return;
    }
    // A track the table does not list cannot be read either: the same failure.
    // Track 0 is the audio before track 1's INDEX 01.
    int64_t start = 0, length = 0;
    if (!TrackSectors(FDisc, TrackIndex, start, length)) {
        PostFailed(2);
        return;
    }
    if (Options.EnableRipTime)
        length = std::min(length, std::max<int64_t>(0, int64_t(Options.RipTime) * CD_FRAMES_PER_SECOND));
    FResult.Number = TrackIndex;
    FResult.FirstSector = start;
    FResult.LastSector = start + length - 1;
    if (TrackIndex > 0 && FDisc.Data[size_t(TrackIndex - 1)]) {
        // A data track holds no audio: its bytes would come out as noise.
        FResult.Failure = LangString(QStringLiteral("RES_Cli_DataTrack"), QStringLiteral("音轨 %1 是数据音轨")).arg(TrackIndex);
        PostInfo(ProgressCode::RipFinished, RipError::ReadFailed);
        return;
    }

    const int code = RipLoop(uint32_t(start), uint32_t(length));
    if (code < 0)
        return;                            // stopped: no message
    PostInfo(ProgressCode::RipFinished, code);
}

int TCDRipThread::ReadCorrected(uint32_t start, uint32_t length, const TSink& sink)
{
    int64_t spanFirst = 0, spanEnd = 0;
    FDisc.AudioSpan(std::max(TrackIndex, 1), spanFirst, spanEnd);   // track 0 reads in track 1's run
    TCorrectedStream stream(start, length, ReadOffset, spanFirst, spanEnd);
    FResult.LeadZeros = stream.LeadZeroSamples();
    FResult.TailZeros = stream.TailZeroSamples();
    QString openError;
    if (stream.ReadEnd() > stream.ReadFirst() && !Reader->Open(stream.ReadFirst(), stream.ReadEnd(), openError)) {
        FResult.Failure = openError;
        return RipError::ReadFailed;
    }
    // Whatever ends the read, the reader's record of faults and repairs joins the track's.
    struct TCloseReader {
        TDiscReader& Reader;
        TRipLogTrack& Report;
        ~TCloseReader() { Reader.Close(Report); }
    } closeAtEnd{*Reader, FResult};
    TDiscReader* reader = Reader.get();
    stream.SetSource([reader](uint8_t* buffer, int capacity, QString& error) {
        return reader->Read(buffer, capacity, error);
    }, Reader->ChunkSectors());

    std::vector<uint8_t> data(size_t(Reader->ChunkSectors()) * CD_SECTOR_SIZE);
    const int64_t total = stream.TotalBytes();
    int64_t done = 0;
    FLastPercent = -1;
    while (done < total) {
        QString error;
        const int got = stream.Read(data.data(), int(data.size()), error);
        if (StopRequested)
            return -1;
        if (got < 0) {
            if (FResult.Failure.isEmpty())
                FResult.Failure = error;
            return RipError::ReadFailed;
        }
        if (got == 0)
            break;
        if (!sink(data.data(), size_t(got)))
            return RipError::WriteFailed;
        done += got;
        PostProgress(int(done * 100 / total), FClock.elapsed());
        if (StopRequested)
            return -1;
    }
    if (StopRequested)
        return -1;
    return done == total ? RipError::None : RipError::ReadFailed;
}

// Creates the WAV file and reads the track into it, 10 sectors a read (a test pass first
// when asked for). Returns the ErrorCode of the completion message, or -1 when the owner
// stopped the rip.
int TCDRipThread::RipLoop(uint32_t start, uint32_t length)
{
    // The file stays inside the output folder; the folders of its path are made there.
    QString why;
    if (!MakeOutputFolders(Options.OutputFolder, FileTitle + QStringLiteral(".wav"), &why)) {
        FWriteFailure = why;
        return RipError::CreateFailed;
    }
    FClock.start();
    const bool first = FDisc.FirstAudio(TrackIndex);
    // The last audio track's end is left out of its AccurateRip sums also where a data
    // session follows it (an enhanced CD): where the audio run ends.
    // (Track 0, the audio before track 1, is never the last.)
    int64_t runFirst = 0, runEnd = -1;
    if (FDisc.LastAudio(TrackIndex)) FDisc.AudioSpan(TrackIndex, runFirst, runEnd);
    const bool last = int64_t(start) + length == runEnd;
    if (TestPass) {
        TTrackChecksum test(int64_t(length) * CD_SECTOR_SIZE / 4, first, last);
        const int code = ReadCorrected(start, length, [&](const uint8_t* data, size_t bytes) {
            test.Add(data, bytes);
            return true;
        });
        if (code != RipError::None)
            return code;
        FResult.Tested = true;
        FResult.TestCrc = test.Crc32();
    }

    // The WAV is written as its part file; the owner makes it the WAV (or encodes it).
    const QString part = PartFileName();
    const QByteArray path = QFile::encodeName(part);
    const int fd = WriteWav ? ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666) : -1;
    if (WriteWav && fd < 0) {
        FWriteFailure = WriteErrorText(errno, WavFileName());
        return RipError::CreateFailed;
    }
    // Whatever ends the rip short takes the part file with it.
    struct TPartGuard {
        QString Path;
        bool Keep = false;
        ~TPartGuard() { if (!Keep && !Path.isEmpty()) DiscardPart(Path); }
    } guard{WriteWav ? part : QString()};
    if (Sink && !Sink->Begin()) {
        if (fd >= 0) ::close(fd);
        FWriteFailure = Sink->Error();
        return RipError::CreateFailed;
    }
    auto write = [&](const uint8_t* data, size_t bytes) {
        if (WriteFully(fd, data, bytes)) return true;
        if (FWriteFailure.isEmpty()) FWriteFailure = WriteErrorText(errno ? errno : EIO, WavFileName());
        return false;
    };
    bool writeOk = fd < 0 || write(MakeWavHeader(0).Bytes, kWavHeaderSize);
    TTrackChecksum sum(int64_t(length) * CD_SECTOR_SIZE / 4, first, last);
    uint64_t written = 0;
    int peak = 0;
    QElapsedTimer readClock;
    readClock.start();
    // A pre-emphasised track is de-emphasised when asked; the checksums and the peak stay the disc's.
    TDeEmphasisStage deemphasis(Options.DeEmphasis && TrackIndex >= 1 && size_t(TrackIndex) <= FDisc.PreEmphasis.size()
                                && FDisc.PreEmphasis[size_t(TrackIndex - 1)]);
    const int code = !writeOk ? int(RipError::WriteFailed)
                              : ReadCorrected(start, length, [&](const uint8_t* read, size_t bytes) {
                                    sum.Add(read, bytes);
                                    if (Tap) Tap(TrackIndex, read, bytes);
                                    for (size_t i = 0; i + 1 < bytes; i += 2)
                                        peak = std::max(peak, std::abs(int(int16_t(uint16_t(read[i] | read[i + 1] << 8)))));
                                    const uint8_t* data = deemphasis.Apply(read, bytes);
                                    if (Gain) Gain->FeedBytes(reinterpret_cast<const char*>(data), bytes);
                                    written += bytes;
                                    if (fd >= 0 && !write(data, bytes)) return false;
                                    if (Sink && !Sink->Write(data, bytes)) {
                                        if (FWriteFailure.isEmpty()) FWriteFailure = Sink->Error();
                                        return false;
                                    }
                                    return true;
                                });
    writeOk = code != RipError::WriteFailed;
    // The loudness of a track read whole counts, before its sink's file takes its tags.
    if (Gain && code == RipError::None) {
        FGain = Gain->FinishTrack();
        FGainMeasured = true;
    } else if (Gain) {
        Gain->DiscardTrack();
    }
    // A sink keeps only a track read whole.
    if (Sink && code != RipError::None) {
        Sink->Discard();
    } else if (Sink && !Sink->EndTrack()) {
        writeOk = false;
        if (FWriteFailure.isEmpty()) FWriteFailure = Sink->Error();
    }
    if (code == RipError::ReadFailed) {
        if (fd >= 0) ::close(fd);          // the part file goes with the guard
        return RipError::ReadFailed;
    }
    if (writeOk && fd >= 0) {
        const TWavHeader header = MakeWavHeader(uint32_t(written));
        writeOk = ::pwrite(fd, header.Bytes, kWavHeaderSize, 0) == kWavHeaderSize;
        if (!writeOk && FWriteFailure.isEmpty()) FWriteFailure = WriteErrorText(errno ? errno : EIO, WavFileName());
    }
    if (fd >= 0 && ::close(fd) != 0) {
        if (writeOk && FWriteFailure.isEmpty()) FWriteFailure = WriteErrorText(errno, WavFileName());
        writeOk = false;
    }
    if (!writeOk)
        return RipError::WriteFailed;
    if (code < 0)
        return -1;
    if (TapEnd) TapEnd(TrackIndex);
    guard.Keep = true;
    FResult.Read = true;
    FResult.Peak = peak;
    FResult.ReadMs = std::max<int64_t>(1, readClock.elapsed());
    FResult.Crc = sum.Crc32();
    FResult.V1 = sum.V1();
    FResult.V2 = sum.V2();
    return Options.IsNormalize ? NormalizePass() : RipError::None;
}

// Scales the finished WAV file by NormalizePercent. On failure the file keeps its ripped
// content and no ".nor" file is left behind.
int TCDRipThread::NormalizePass()
{
    PostInfo(ProgressCode::NormalizeBegins);
    FLastPercent = -1;
    QElapsedTimer clock;
    clock.start();
    const QString path = PartFileName();
    try {
        NormalizeWavFile(Options.NormalizePercent, path, [&](int64_t done, int64_t total) {
            if (total > 0)
                PostProgress(int(std::min<int64_t>(done * 100 / total, 100)), clock.elapsed());
        });
        return RipError::None;
    } catch (const std::exception&) {
        QFile::remove(NormalizeTempPath(path));
        return RipError::NormalizeFailed;
    }
}
