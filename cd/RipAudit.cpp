#include "cd/RipAudit.h"

#include "platform/Prompter.h"
#include "cd/CDInput.h"
#include "cd/DiscReader.h"
#include "platform/CDRipLib.h"
#include "platform/HttpClient.h"
#include "platform/OutputFile.h"
#include "platform/akrip32.h"
#include "settings/FileNamePattern.h"
#include "settings/Options.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstring>

TRipAuditSettings& RipAuditSettings()
{
    static TRipAuditSettings settings;
    return settings;
}

QString ReadOffsetKey(const QString& vendorModel, bool image)
{
    if (image)
        return QStringLiteral("Image");
    QString key = vendorModel.simplified();
    key.replace(QLatin1Char(' '), QLatin1Char('_'));
    // '=' and ';' would end the key in the settings file; brackets would open a section.
    for (QChar& c : key)
        if (c == QLatin1Char('=') || c == QLatin1Char(';') || c == QLatin1Char('[') || c == QLatin1Char(']'))
            c = QLatin1Char('_');
    return key.isEmpty() ? QStringLiteral("Unknown_drive") : key;
}

int ReadOffsetFor(const QString& key)
{
    if (RipAuditSettings().HasOffset)
        return std::clamp(RipAuditSettings().Offset, -MaxReadOffset, MaxReadOffset);
    for (auto it = OptionsSetting.ReadOffsets.cbegin(); it != OptionsSetting.ReadOffsets.cend(); ++it)
        if (it.key().compare(key, Qt::CaseInsensitive) == 0)
            return it.value();
    return 0;
}

// ---- the disc ---------------------------------------------------------------------------

bool TDiscLayout::HasData() const
{
    return std::find(Data.begin(), Data.end(), true) != Data.end();
}

void TDiscLayout::AudioSpan(int track, int64_t& first, int64_t& end) const
{
    int lo = track, hi = track;
    while (lo > 1 && !Data[size_t(lo - 2)])
        --lo;
    while (hi < Tracks() && !Data[size_t(hi)])
        ++hi;
    // Sectors before track 1 (its pregap) are audio of track 1.
    first = lo == 1 ? 0 : Starts[size_t(lo - 1)];
    end = hi == Tracks() ? LeadOut : Starts[size_t(hi)];
    // A data track after audio starts a new session 11400 sectors later on a real disc;
    // the table gives the data track's start, which is the audio run's end here.
}

int TDiscLayout::AudioIndex(int track) const
{
    if (track < 1 || track > Tracks() || Data[size_t(track - 1)])
        return 0;
    int n = 0;
    for (int t = 1; t <= track; ++t)
        n += Data[size_t(t - 1)] ? 0 : 1;
    return n;
}

bool TDiscLayout::FirstAudio(int track) const
{
    return AudioIndex(track) == 1;
}

bool TDiscLayout::LastAudio(int track) const
{
    const int n = AudioIndex(track);
    return n > 0 && n == int(std::count(Data.begin(), Data.end(), false));
}

TAccurateRipDisc TDiscLayout::Id() const
{
    std::vector<TCRTocEntry> toc;
    for (int t = 1; t <= Tracks(); ++t) {
        TCRTocEntry e;
        e.StartSector = int32_t(Starts[size_t(t - 1)]);
        e.Flags = Data[size_t(t - 1)] ? CR_DATA_TRACK_FLAG : 0;
        e.TrackNumber = uint8_t(t);
        toc.push_back(e);
    }
    TCRTocEntry leadOut;
    leadOut.StartSector = int32_t(LeadOut);
    leadOut.TrackNumber = 0xAA;
    toc.push_back(leadOut);
    return AccurateRipDiscOf(toc);
}

// ---- the corrected stream -----------------------------------------------------------------

TCorrectedStream::TCorrectedStream(int64_t firstSector, int64_t sectors, int offset, int64_t spanFirst,
                                   int64_t spanEnd)
{
    const int64_t begin = firstSector * CDSectorBytes + int64_t(offset) * 4;
    FTotal = std::max<int64_t>(0, sectors) * CDSectorBytes;
    const int64_t end = begin + FTotal;
    const int64_t readBegin = std::clamp(begin, spanFirst * CDSectorBytes, end);
    const int64_t readEnd = std::clamp(end, readBegin, std::max(readBegin, spanEnd * CDSectorBytes));
    FLead = readBegin - begin;
    FMiddle = readEnd - readBegin;
    FReadFirst = readBegin / CDSectorBytes;
    FSkip = readBegin - FReadFirst * CDSectorBytes;
    FReadEnd = FMiddle > 0 ? (readEnd + CDSectorBytes - 1) / CDSectorBytes : FReadFirst;
}

void TCorrectedStream::SetSource(TSource source, int chunkSectors)
{
    FSource = std::move(source);
    FRaw.assign(size_t(std::max(1, chunkSectors)) * CDSectorBytes, 0);
    FRawNext = 0;
    FRawValid = 0;
}

int TCorrectedStream::Read(uint8_t* buffer, int capacity, QString& error)
{
    int given = 0;
    while (given < capacity && FPos < FTotal) {
        const int room = capacity - given;
        if (FPos < FLead || FPos >= FLead + FMiddle) {
            if (FSourceEnded)
                break;                          // a stop: no silence after it
            const int64_t zeroEnd = FPos < FLead ? FLead : FTotal;
            const int n = int(std::min<int64_t>(room, zeroEnd - FPos));
            std::memset(buffer + given, 0, size_t(n));
            given += n;
            FPos += n;
            continue;
        }
        if (FRawNext >= FRawValid) {
            if (FSourceEnded || !FSource)
                break;
            const int got = FSource(FRaw.data(), int(FRaw.size()), error);
            if (got < 0)
                return -1;
            if (got == 0) {
                FSourceEnded = true;
                break;
            }
            FRawValid = size_t(got);
            FRawNext = 0;
            if (FPos == FLead) {
                // The first read sector starts before the stretch.
                FRawNext = size_t(std::min<int64_t>(FSkip, got));
                if (FRawNext >= FRawValid)
                    continue;
            }
        }
        const int64_t middleLeft = FLead + FMiddle - FPos;
        const int n = int(std::min<int64_t>({int64_t(room), middleLeft, int64_t(FRawValid - FRawNext)}));
        std::memcpy(buffer + given, FRaw.data() + FRawNext, size_t(n));
        FRawNext += size_t(n);
        given += n;
        FPos += n;
    }
    return given;
}

// ---- the audit ------------------------------------------------------------------------------

TRipAudit::TRipAudit(TPrompter* prompter, std::shared_ptr<const TOptionsSetting> settings, QObject* parent)
    : QObject(parent), FPrompter(prompter), FSettings(std::move(settings))
{
}

const TOptionsSetting& TRipAudit::Settings() const
{
    return FSettings ? *FSettings : OptionsSetting;
}

TRipAudit::~TRipAudit()
{
    if (FAbort)
        FAbort->Abort();
    if (FThread.joinable())
        FThread.join();
    // A job closed before the answer came (a stop) still leaves its log.
    if (FBegun && !FWritten)
        WriteLog();
}

void TRipAudit::Begin(const TDiscLayout& disc, const QString& drive, int offset, const QString& paranoia,
                      int retries)
{
    if (FBegun)
        return;
    FBegun = true;
    FDisc = disc;
    FRecord.Drive = drive;
    FRecord.ReadOffset = offset;
    FRecord.Paranoia = paranoia;
    FRecord.Retries = retries;
    FRecord.Normalized = Settings().CommonOptions.IsNormalize;
    FRecord.Program = QStringLiteral("VarnelCD ") + ApplicationVersion();
    FRecord.Date = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss 'UTC'"));
    FRecord.ReadMode = QStringLiteral("secure");
    FRecord.TestAndCopy = RipAuditSettings().TestPass || Settings().CDOptions.TestAndCopy;
    FRecord.GapHandling = QStringLiteral("appended to previous track");
    FRecord.OutputFormat = OutputFormatText(Settings());
    FRecord.Catalog = disc.Catalog;
    FRecord.Toc.clear();
    for (int t = 1; t <= disc.Tracks(); ++t) {
        TRipLogToc row;
        row.Track = t;
        row.Start = disc.Starts[size_t(t - 1)];
        row.End = (t < disc.Tracks() ? disc.Starts[size_t(t)] : disc.LeadOut) - 1;
        row.Data = disc.Data[size_t(t - 1)];
        // Track 1's pre-gap is what lies before it on the disc; the others' are known
        // only when the reader found their INDEX 00.
        if (size_t(t) <= disc.Pregap.size())
            row.Pregap = disc.Pregap[size_t(t - 1)];
        else if (t == 1)
            row.Pregap = row.Start;
        if (size_t(t) <= disc.Isrc.size())
            row.Isrc = disc.Isrc[size_t(t - 1)];
        FRecord.Toc.push_back(row);
    }
    const TCDInfo& info = Settings().CDInfo;
    FRecord.Disc = (info.Artist.trimmed().isEmpty() ? QStringLiteral("Unknown Artist") : info.Artist.trimmed())
                   + QStringLiteral(" - ")
                   + (info.Album.trimmed().isEmpty() ? QStringLiteral("Unknown Album") : info.Album.trimmed());
    const TAccurateRipDisc ids = disc.Id();
    const TAccurateRipId id = ids.Id;
    FRecord.AccurateRipId = ids.Valid ? id.Text() : QStringLiteral("none (the table of contents gives no disc id)");

    const TRipAuditSettings& run = RipAuditSettings();
    std::lock_guard lock(FLock);
    if (!run.AccurateRip) {
        FLookup.Status = TAccurateRipLookup::Off;
        FLookupEnded = true;
        return;
    }
    if (!ids.Valid) {
        FLookup.Status = TAccurateRipLookup::Failed;
        FLookup.Error = QStringLiteral("the disc has no id");
        FLookupEnded = true;
        return;
    }
    const QString base = run.Url.isEmpty() ? Settings().AccurateRip.Url : run.Url;
    const THttpOptions http = AccurateRipHttpOptions(Settings());
    FAbort = std::make_unique<THttpAbort>();
    THttpAbort* abort = FAbort.get();
    FThread = std::thread([this, base, id, http, abort] {
        TAccurateRipLookup result = LookupAccurateRip(base, id, http, abort);
        {
            std::lock_guard done(FLock);
            FLookup = std::move(result);
            FLookupEnded = true;
        }
        QMetaObject::invokeMethod(this, [this] { LookupDone(); }, Qt::QueuedConnection);
    });
}

void TRipAudit::AddTrack(const TRipLogTrack& track, const QString& outputFile)
{
    if (!outputFile.isEmpty())
        FOutputs << QFileInfo(outputFile).absoluteFilePath();
    FRecord.Tracks.push_back(track);
}

QString TRipAudit::LogPath() const
{
    const QString& chosen = RipAuditSettings().LogPath;
    if (!chosen.isEmpty())
        return chosen;
    if (!Settings().CommonOptions.WriteRipLog || FOutputs.isEmpty())
        return QString();
    const TCDInfo& info = Settings().CDInfo;
    return CommonFolder(FOutputs) + QLatin1Char('/') + RipLogFileName(info.Artist, info.Album);
}

TRipLogRecord TRipAudit::Record() const
{
    TRipLogRecord record = FRecord;
    TAccurateRipLookup lookup;
    {
        std::lock_guard lock(FLock);
        if (FLookupEnded)
            lookup = FLookup;
        else
            lookup.Status = TAccurateRipLookup::Failed, lookup.Error = QStringLiteral("stopped");
    }
    for (TRipLogTrack& t : record.Tracks) {
        if (t.Data || (t.Number >= 1 && FDisc.Data.size() >= size_t(t.Number) && FDisc.Data[size_t(t.Number - 1)])) {
            t.Data = true;
            TTrackVerdict v;
            v.Kind = TTrackVerdict::DataTrack;
            t.Verdict = v;
        } else {
            // The database's entries follow the table of contents: on a disc opening with a
            // data track, slot 1 is that track's and the last audio track has none.
            t.Verdict = AccurateRipVerdict(lookup, t.Number, t.V1, t.V2);
            const size_t audio = size_t(FDisc.AudioIndex(t.Number));
            if (t.Read && audio >= 1 && audio <= size_t(FCtdb.Tracks.size()))
                t.Ctdb = FCtdb.Tracks[audio - 1];
            if (audio >= 1 && audio <= FCtdb.Corrected.size())
                t.Corrected = FCtdb.Corrected[audio - 1];
        }
    }
    record.CtdbId = FCtdb.TocId;
    record.CtdbLines = FCtdb.Disc;
    record.RepairLines = FCtdb.Repair;
    return record;
}

void TRipAudit::SetBurst()
{
    FRecord.ReadMode = QStringLiteral("burst; a track no database confirms is read again in secure mode");
    FRecord.Paranoia = QStringLiteral("off for the burst read, full for a re-read");
}

bool TRipAudit::LookupEnded() const
{
    std::lock_guard lock(FLock);
    return FLookupEnded;
}

bool TRipAudit::Confirmed(int track, uint32_t v1, uint32_t v2) const
{
    std::lock_guard lock(FLock);
    if (!FLookupEnded)
        return false;
    const TTrackVerdict v = AccurateRipVerdict(FLookup, FDisc.AudioIndex(track), v1, v2);
    return v.Kind == TTrackVerdict::Accurate && v.Confidence >= 1;
}

bool TRipAudit::HoldCompletion(std::function<void()> resume)
{
    if (!FBegun || FWritten)
        return false;
    {
        std::lock_guard lock(FLock);
        if (!FLookupEnded) {
            FResume = std::move(resume);
            return true;
        }
    }
    WriteLog();
    return false;
}

void TRipAudit::LookupDone()
{
    if (FThread.joinable())
        FThread.join();
    if (!FResume)
        return;
    WriteLog();
    auto resume = std::move(FResume);
    FResume = nullptr;
    resume();
}

void TRipAudit::WriteLog()
{
    FWritten = true;
    const QString path = LogPath();
    if (path.isEmpty() || FRecord.Tracks.empty())
        return;
    // A log already there is the Existing rule's to keep, skip, rename or replace.
    TExistingFiles existing(TExisting(Settings().CommonOptions.Existing), FPrompter);
    const TExistingFiles::TDecision d = existing.Decide(path);
    if (d.Action != TExistingFiles::TDecision::Write) {
        if (d.Action == TExistingFiles::TDecision::Keep && FPrompter) FPrompter->ShowError(d.Reason);
        return;
    }
    QString error;
    if (!WriteWholeFile(d.Path, RipLogText(Record()).toUtf8(), &error)) {
        FLogFailed = true;
        if (FPrompter) FPrompter->ShowError(QStringLiteral("The rip log cannot be written: ") + error);
    }
}

QString RipLogFileName(const QString& artist, const QString& album)
{
    // Written as a part file first; a name near the limit gets a shortened part name there.
    return DiscFileName(artist, album, QStringLiteral(".log"));
}

QString CommonFolder(const QStringList& files)
{
    QStringList common;
    for (int i = 0; i < files.size(); ++i) {
        QStringList parts = QFileInfo(files[i]).absolutePath().split(QLatin1Char('/'));
        if (i == 0) {
            common = parts;
            continue;
        }
        qsizetype n = 0;
        while (n < common.size() && n < parts.size() && common[n] == parts[n])
            ++n;
        common = common.mid(0, n);
    }
    const QString folder = common.join(QLatin1Char('/'));
    return folder.isEmpty() ? QStringLiteral("/") : folder;
}

QString OutputFormatText(const TOptionsSetting& s)
{
    QString text;
    switch (s.CommonOptions.OutputFormat) {
    case 0: {
        const TMp3Options& m = s.Mp3Options;
        text = m.IsSelectVBR ? QStringLiteral("MP3 (LAME), VBR quality %1, at most %2 kbps").arg(m.VBRQuality).arg(m.MaxBitRate)
                             : QStringLiteral("MP3 (LAME), CBR %1 kbps").arg(m.BitRate);
        text += QStringLiteral(", encoder quality %1, stereo mode %2").arg(m.MpegQuality).arg(m.StereoMode);
        break;
    }
    case 2: {
        const TOggOptions& o = s.OggOptions;
        text = o.IsUseCompress ? QStringLiteral("Ogg Vorbis, quality %1").arg(double(o.CompressPosition) / 100.0, 0, 'f', 2)
                               : QStringLiteral("Ogg Vorbis, bit rates %1/%2/%3 kbps (min/nominal/max)")
                                     .arg(o.MinBitRate).arg(o.NomalBitRate).arg(o.MaxBitRate);
        break;
    }
    case 3:
        text = QStringLiteral("WMA, profile %1").arg(s.WMAOptions.BitRate);
        break;
    case 4:
        text = QStringLiteral("FLAC, compression level %1").arg(s.FlacOptions.Level);
        if (s.FlacOptions.Cuesheet)
            text += QStringLiteral(", the disc as one file with a cue sheet");
        break;
    default:
        text = QStringLiteral("WAV, 16-bit stereo 44100 Hz");
        break;
    }
    text += QStringLiteral("; ReplayGain ") + QLatin1String(s.CommonOptions.ReplayGain ? "on" : "off");
    return text;
}

QString TestCopyMismatch(const TRipLogTrack& track)
{
    if (!track.Tested || !track.Read || track.TestCrc == track.Crc)
        return QString();
    return QStringLiteral("Track %1: the test and copy CRCs differ (%2, %3); the copy is not reliable")
        .arg(track.Number)
        .arg(track.TestCrc, 8, 16, QLatin1Char('0'))
        .arg(track.Crc, 8, 16, QLatin1Char('0'));
}

// ---- the two rip paths ---------------------------------------------------------------------

namespace {

QString DriveVendorModel(int index)
{
    TDriveList list{};
    list.Capacity = MAX_CD_DRIVES;
    GetCDList(list);
    if (index < 0 || index >= list.Count)
        return DriveIdentifier(index);
    const TDriveEntry& e = list.Entries[index];
    return (QString::fromLatin1(e.Vendor) + QLatin1Char(' ') + QString::fromLatin1(e.Product)).simplified();
}

} // namespace

QString ReadOffsetKeyOfDrive(int index)
{
    if (index < 0)
        return QString();
    return ReadOffsetKey(DriveVendorModel(index), DriveIsImage(index));
}

QString ReadOffsetKeyOf(HCDROM handle)
{
    return ReadOffsetKeyOfDrive(DriveOfHandle(handle));
}

QString ReadOffsetKeyOf(TCDIn& cdIn)
{
    return ReadOffsetKey(cdIn.DriveName(), DriveIsImage(CR_TableIndex(cdIn.CurrentDrive())));
}

bool BeginAudit(TRipAudit& audit, HCDROM handle)
{
    if (!ModifyCDParms(handle, CDP_MSF, 1))
        return false;
    TTocRecord toc{};
    if (ReadTOC(handle, toc) != 1)
        return false;
    const int tracks = int(toc.LastTrack) - int(toc.FirstTrack) + 1;
    if (tracks < 1 || tracks > 99)
        return false;
    const auto lba = [&](int i) {
        const TTocEntry& e = toc.Entries[i];
        return int64_t(e.Address[1]) * CD_FRAMES_PER_MINUTE + int64_t(e.Address[2]) * CD_FRAMES_PER_SECOND
               + e.Address[3] - CD_MSF_OFFSET;
    };
    TDiscLayout disc;
    for (int i = 0; i < tracks; ++i) {
        disc.Starts.push_back(lba(i));
        disc.Data.push_back((toc.Entries[i].AdrControl & 0x04) != 0);
    }
    disc.LeadOut = lba(tracks);
    AddDiscExtras(disc, ReadDiscExtras(handle));
    const int index = DriveOfHandle(handle);
    const QString name = DriveVendorModel(index);
    const bool image = DriveIsImage(index);
    const int offset = ReadOffsetFor(ReadOffsetKey(name, image));
    audit.Begin(disc, image ? name + QStringLiteral(" (") + DriveIdentifier(index) + QLatin1Char(')') : name, offset,
                QStringLiteral("off (plain reads)"), 0);
    return true;
}

bool BeginAudit(TRipAudit& audit, TCDIn& cdIn)
{
    std::vector<TCRTocEntry> toc;
    if (!cdIn.ReadToc(toc))
        return false;
    TDiscLayout disc;
    for (size_t i = 0; i + 1 < toc.size(); ++i) {
        disc.Starts.push_back(toc[i].StartSector);
        disc.Data.push_back((toc[i].Flags & CR_DATA_TRACK_FLAG) != 0);
    }
    disc.LeadOut = toc.back().StartSector;
    AddDiscExtras(disc, cdIn.Extras());
    const QString name = cdIn.DriveName();
    const int table = CR_TableIndex(cdIn.CurrentDrive());
    const bool image = DriveIsImage(table);
    const int offset = ReadOffsetFor(ReadOffsetKey(name, image));
    cdIn.SetReadOffset(offset);
    TCRRipParams params;
    params.JitterCorrection = cdIn.EnableJitterCorrection();
    params.Paranoid = cdIn.Paranoid();
    params.ParanoiaMode = cdIn.ParanoiaMode();
    const int mode = CR_ParanoiaModeFor(params);
    const QString paranoia = mode == 0 ? QStringLiteral("off")
                             : params.Paranoid && params.ParanoiaMode == 0 ? QStringLiteral("full")
                             : params.Paranoid ? QStringLiteral("mode %1").arg(mode)
                                               : QStringLiteral("overlap and verify");
    const int retries = cdIn.MultiReadCount() > 0 ? cdIn.MultiReadCount() : 20;
    audit.Begin(disc, image ? name + QStringLiteral(" (") + DriveIdentifier(table) + QLatin1Char(')') : name, offset,
                paranoia, retries);
    return true;
}
