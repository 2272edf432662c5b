#include "cd/CDRipThread.h"

#include "cd/ProcessInfo.h"
#include "settings/FileNamePattern.h"
#include "settings/Global.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <set>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSectorsPerRead = 10;
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

// Sectors counted by a minute/second/frame address of the table of contents.
int64_t MsfSectors(const TTocEntry& e)
{
    return int64_t(e.Address[1]) * CD_FRAMES_PER_MINUTE + int64_t(e.Address[2]) * CD_FRAMES_PER_SECOND
           + e.Address[3];
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
    if (!ModifyCDParms(CDHandle, AddressModeParm, 1)) {
        PostFailed(1);
        return;
    }
    TTocRecord toc{};
    if (ReadTOC(CDHandle, toc) != 1) {
        PostFailed(2);
        return;
    }
    // A track the table does not list cannot be read either: the same failure.
    const int tracks = int(toc.LastTrack) - int(toc.FirstTrack) + 1;
    if (TrackIndex < 1 || TrackIndex > tracks || tracks > 99) {
        PostFailed(2);
        return;
    }
    // The table counts the 150 sectors of the lead-in; ReadCDAudioLBA does not. Taking the
    // address relative to the lead-in (not to track 1) keeps discs whose track 1 starts
    // late (a pregap or hidden track) right.
    const int64_t first = MsfSectors(toc.Entries[TrackIndex - 1]);
    int64_t length = MsfSectors(toc.Entries[TrackIndex]) - first;
    const int64_t start = first - CD_MSF_OFFSET;
    if (start < 0 || length < 0) {
        PostFailed(2);
        return;
    }
    if (Options.EnableRipTime)
        length = std::min(length, std::max<int64_t>(0, int64_t(Options.RipTime) * CD_FRAMES_PER_SECOND));

    const int code = RipLoop(uint32_t(start), uint32_t(length));
    if (code < 0)
        return;                            // stopped: no message
    PostInfo(ProgressCode::RipFinished, code);
}

// Creates the WAV file and reads the track into it, 10 sectors a read. Returns the
// ErrorCode of the completion message, or -1 when the owner stopped the rip.
int TCDRipThread::RipLoop(uint32_t start, uint32_t length)
{
    // The file stays inside the output folder; the folders of its path are made there.
    if (!MakeOutputFolders(Options.OutputFolder, FileTitle + QStringLiteral(".wav")))
        return RipError::CreateFailed;
    const QByteArray path = QFile::encodeName(WavFileName());
    const int fd = WriteWav ? ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666) : -1;
    if (WriteWav && fd < 0)
        return RipError::CreateFailed;
    if (Sink && !Sink->Begin()) {
        if (fd >= 0) ::close(fd);
        return RipError::CreateFailed;
    }
    bool writeOk = fd < 0 || WriteFully(fd, MakeWavHeader(0).Bytes, kWavHeaderSize);

    QElapsedTimer clock;
    clock.start();
    std::vector<uint8_t> data(size_t(kSectorsPerRead) * CD_SECTOR_SIZE);
    bool readOk = true;
    uint64_t written = 0;
    for (uint32_t done = 0; writeOk && done < length;) {
        const uint32_t count = std::min<uint32_t>(kSectorsPerRead, length - done);
        TSectorBuffer buf;
        buf.Head.StartSector = start + done;
        buf.Head.NumSectors = count;
        buf.Head.MaxLen = count * CD_SECTOR_SIZE;
        buf.Data = data.data();
        readOk = ReadCDAudioLBA(CDHandle, buf) == 1 && buf.Head.StartOffset >= 0
                 && uint64_t(buf.Head.StartOffset) + buf.Head.Len <= buf.Head.MaxLen;
        if (readOk) {
            writeOk = (fd < 0 || WriteFully(fd, data.data() + buf.Head.StartOffset, buf.Head.Len))
                      && (!Sink || Sink->Write(data.data() + buf.Head.StartOffset, buf.Head.Len));
            written += buf.Head.Len;
        }
        done += count;
        PostProgress(int(uint64_t(done) * 100 / length), clock.elapsed());
        if (!readOk || StopRequested)
            break;
    }
    // A sink keeps only a track read whole.
    if (Sink && (!readOk || !writeOk || StopRequested))
        Sink->Discard();
    else if (Sink && !Sink->EndTrack())
        writeOk = false;
    if (!readOk) {
        if (fd >= 0) ::close(fd);          // the header keeps data length 0
        return RipError::ReadFailed;
    }
    if (writeOk && fd >= 0) {
        const TWavHeader header = MakeWavHeader(uint32_t(written));
        writeOk = ::pwrite(fd, header.Bytes, kWavHeaderSize, 0) == kWavHeaderSize;
    }
    if (fd >= 0 && ::close(fd) != 0)
        writeOk = false;
    if (!writeOk)
        return RipError::WriteFailed;
    if (StopRequested)
        return -1;
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
    const QString path = WavFileName();
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
