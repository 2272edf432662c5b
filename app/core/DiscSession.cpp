#include "app/core/DiscSession.h"
#include "app/core/TrackRowText.h"
#include "cd/CDInput.h"
#include "platform/CDImageMedia.h"
#include "settings/CDInfo.h"
#include "settings/Global.h"
#include "settings/Lang.h"
#include "settings/Options.h"
#include <algorithm>
#include <cstring>

TDiscSession::~TDiscSession()
{
    CloseHandle();
}

QString TDiscSession::NotFoundText()
{
    return LangString("RES_NotFound_CDRom", QStringLiteral("没有找到光驱!"));
}

QString TDiscSession::CheckCDRomText()
{
    return LangString("RES_Check_CDRom", QStringLiteral("请检查光驱中是否插入了音乐CD！"));
}

QString TDiscSession::NotReadText()
{
    return LangString("RES_NotRead_Cd", QStringLiteral("没有读取到CD信息！"));
}

QString TDiscSession::ImageProblemText(const QString& path, TImageProblem problem)
{
    QString reason;
    switch (problem) {
    case TImageProblem::Missing:
        reason = LangString("RES_Image_Missing", QStringLiteral("文件不存在"));
        break;
    case TImageProblem::NotAFile:
        reason = LangString("RES_Image_NotAFile", QStringLiteral("不是文件"));
        break;
    case TImageProblem::SeveralFiles:
        reason = LangString("RES_Image_SeveralFiles", QStringLiteral("CUE 文件有多个 FILE 行，不支持"));
        break;
    case TImageProblem::NotBinary:
        reason = LangString("RES_Image_NotBinary", QStringLiteral("CUE 文件的 FILE 不是 BINARY 数据，不支持"));
        break;
    case TImageProblem::DataFileMissing:
        reason = LangString("RES_Image_DataMissing", QStringLiteral("找不到 CUE 文件所指的数据文件"));
        break;
    case TImageProblem::LineTooLong:
        reason = LangString("RES_Image_LineTooLong", QStringLiteral("CUE 文件中有过长的行"));
        break;
    case TImageProblem::Unreadable:
        reason = LangString("RES_Image_Unreadable", QStringLiteral("不是可读的光盘映像"));
        break;
    }
    return LangString("RES_Image_Error", QStringLiteral("无法读取光盘映像 %1：%2")).arg(path, reason);
}

QString TDiscSession::NoDiscText() const
{
    if (FDrive < 0 || !DriveIsImage(FDrive))
        return CheckCDRomText();
    const QString path = DriveIdentifier(FDrive);
    const TMediaState state = DriveMediaState(FDrive);
    if (state.DiscPresent && !state.AudioDisc)
        return LangString("RES_Image_Error", QStringLiteral("无法读取光盘映像 %1：%2"))
            .arg(path, LangString("RES_Image_NoAudio", QStringLiteral("没有音轨")));
    return ImageProblemText(path, DiagnoseImage(path));
}

static QString FixedText(const char* text, size_t size)
{
    return QString::fromLocal8Bit(text, int(strnlen(text, size))).trimmed();
}

HCDROM TDiscSession::SelectDrive(int index)
{
    CloseHandle();
    FCDIn = nullptr;
    if (index < 0)
        index = 0;
    TDriveList list;
    std::memset(&list, 0, sizeof list);
    list.Capacity = MAX_CD_DRIVES;
    GetCDList(list);
    if (index >= list.Count)
        index = 0;
    if (list.Count == 0) {
        FStatus = NotFoundText();
        return 0;
    }
    const TDriveEntry& entry = list.Entries[index];
    const QString vendor = FixedText(entry.Vendor, sizeof entry.Vendor);
    const QString product = FixedText(entry.Product, sizeof entry.Product);
    FDriveText = vendor.isEmpty() ? product : vendor + " " + product;
    FStatus = FDriveText;

    THandleRequest request;
    request.HostAdapter = entry.HostAdapter;
    request.Target = entry.Target;
    request.Lun = entry.Lun;
    HCDROM handle = GetCDHandle(request);
    if (handle == 0) {
        // A handle may be left over from an earlier run of the drive layer: free one and retry.
        for (HCDROM n = 1; n <= HCDROM(MAX_CD_HANDLES); ++n) {
            if (CloseCDHandle(n)) {
                handle = GetCDHandle(request);
                break;
            }
        }
    }
    if (handle == 0) {
        FStatus = NotFoundText();
        return 0;
    }
    FHandle = handle;
    FDrive = index;
    return handle;
}

bool TDiscSession::UseCDIn(TCDIn& cdIn, int index)
{
    CloseHandle();
    FCDIn = &cdIn;
    const int count = cdIn.DrivesCount();
    if (count <= 0) {
        FStatus = NotFoundText();
        return false;
    }
    cdIn.SetCurrentDrive(index > 0 && index < count ? index : 0);
    FDrive = CR_TableIndex(cdIn.CurrentDrive());
    FDriveText = cdIn.DriveName();
    FStatus = FDriveText;
    return FDrive >= 0;
}

bool TDiscSession::AudioDiscPresent() const
{
    if (UsingCDIn())
        return FDrive >= 0 && IsAudioCDDrive(FDrive);
    return FHandle != 0 && IsAudioCDDrive(DriveOfHandle(FHandle));
}

// The component's table of contents in the first library's form (MSF addresses), so that
// the identifier and the rows are computed the same way.
bool TDiscSession::ReadCDInToc(TTocRecord& toc) const
{
    std::memset(&toc, 0, sizeof toc);
    std::vector<TCRTocEntry> entries;
    if (!FCDIn || !FCDIn->ReadToc(entries) || entries.size() > std::size(toc.Entries))
        return false;
    toc.FirstTrack = entries.front().TrackNumber;
    toc.LastTrack = entries[entries.size() - 2].TrackNumber;
    toc.DataLength = uint16_t(2 + 8 * entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        TTocEntry& e = toc.Entries[i];
        e.TrackNumber = entries[i].TrackNumber;
        e.AdrControl = uint8_t(0x10 | entries[i].Flags);
        const int a = entries[i].StartSector + CD_MSF_OFFSET;
        e.Address[1] = uint8_t(a / CD_FRAMES_PER_MINUTE);
        e.Address[2] = uint8_t((a / CD_FRAMES_PER_SECOND) % 60);
        e.Address[3] = uint8_t(a % CD_FRAMES_PER_SECOND);
    }
    return TocTrackCount(toc) > 0;
}

bool TDiscSession::ReadToc(TTocRecord& toc) const
{
    if (UsingCDIn())
        return ReadCDInToc(toc);
    if (FHandle == 0)
        return false;
    std::memset(&toc, 0, sizeof toc);
    if (!ModifyCDParms(FHandle, CDP_MSF, 1))
        return false;
    return ReadTOC(FHandle, toc) == 1 && TocTrackCount(toc) > 0;
}

QString TDiscSession::DiscId() const
{
    if (!AudioDiscPresent())
        return {};
    TTocRecord toc;
    if (!ReadToc(toc))
        return {};
    return DiscIdFromToc(toc);
}

// Titles of a disc the cache does not know yet come from its CD-Text, when it has any;
// CD-Text title i belongs to track number i + 1, whatever number the disc starts with.
static void TakeCDText(const TCDTextInfo& text, int trackCount)
{
    if (!text.Present)
        return;
    TCDInfo& info = OptionsSetting.CDInfo;
    if (!text.Performer.isEmpty())
        info.Artist = text.Performer;
    if (!text.Title.isEmpty())
        info.Album = text.Title;
    for (int t = 1; t <= trackCount && t <= text.TrackTitles.size() && t <= MAX_TITLES; ++t) {
        const QString title = text.TrackTitles.at(t - 1).trimmed();
        if (!title.isEmpty())
            info.Titles[t] = title;
    }
}

bool TDiscSession::ReadDiscList(QVector<TTrackRow>& rows)
{
    rows.clear();
    FListedDiscId.clear();
    if (FHandle == 0 && !UsingCDIn())
        return false;
    // One read of the table of contents serves the identifier and the rows.
    TTocRecord toc;
    const bool tocRead = ReadToc(toc);
    const QString discId = tocRead && AudioDiscPresent() ? DiscIdFromToc(toc) : QString();
    const bool known = LoadCDInfo(discId);
    if (!tocRead) {
        FStatus = NotReadText();
        return false;
    }
    const int count = TocTrackCount(toc);
    if (!discId.isEmpty() && !known)
        TakeCDText(UsingCDIn() ? FCDIn->CDText() : ReadCDText(FHandle), toc.LastTrack);

    TCDInfo& info = OptionsSetting.CDInfo;
    const TDiscExtras extras = UsingCDIn() ? FCDIn->Extras() : ReadDiscExtras(FHandle);
    for (int i = 0; i < count; ++i) {
        const int t = toc.FirstTrack + i;
        int minutes = 0, seconds = 0;
        if (UsingCDIn()) {
            // The component measures a track in sectors: minutes and seconds of its length.
            try {
                const TCDTrackInfo track = FCDIn->Tracks(i + 1);
                minutes = track.Minutes;
                seconds = track.Seconds;
            } catch (const EAuException&) {
                FStatus = NotReadText();
                rows.clear();
                return false;
            }
        } else {
            TrackLength(toc, i, minutes, seconds);
        }
        TTrackRow row;
        row.Number = t;
        if (info.Titles[t].isEmpty())
            info.Titles[t] = DefaultTrackTitle(t);
        row.Title = info.Titles[t];
        row.Length = TrackLengthText(minutes, seconds);
        row.Size = TrackSizeText(minutes, seconds);
        row.Position = i + 1;
        row.Data = (toc.Entries[i].AdrControl & 0x04) != 0;
        row.Catalog = extras.Catalog;
        if (size_t(i) < extras.Tracks.size()) {
            const TTrackExtras& x = extras.Tracks[size_t(i)];
            row.PreEmphasis = x.PreEmphasis && !row.Data;
            row.Isrc = x.Isrc;
            row.Pregap = x.Pregap;
            row.Indices = QVector<int>(x.Indices.begin(), x.Indices.end());
        }
        rows.append(row);
    }
    // Audio before track 1's INDEX 01 is offered as track 0; digital silence there is noted.
    FSilentHiddenSectors = 0;
    THiddenAudio hidden;
    const std::unique_ptr<TDiscSource> source = RipSource();
    if (!rows.isEmpty() && rows.front().Number == 1 && !rows.front().Data && rows.front().Pregap > 0 && source
        && FindHiddenAudio(*source, hidden) && hidden.Sectors > 0) {
        if (hidden.Audible) rows.prepend(HiddenTrackRow(hidden.Sectors, info.Titles[0]));
        else FSilentHiddenSectors = hidden.Sectors;
    }
    FStatus = FDriveText;
    FListedDiscId = discId;
    return true;
}

bool TDiscSession::SaveListedTitles(const QVector<TTrackRow>& rows)
{
    if (FListedDiscId.isEmpty())
        return true;
    // Titles are stored under their track numbers, as listing reads them; numbers below
    // the disc's first track hold no title, and the count is the last track number.
    TCDInfo& info = OptionsSetting.CDInfo;
    int last = 0;
    for (const TTrackRow& r : rows)
        if (r.Number >= 1 && r.Number <= MAX_TITLES)
            last = std::max(last, r.Number);
    for (int n = 1; n <= last; ++n)
        info.Titles[n].clear();
    for (const TTrackRow& r : rows)
        if (r.Number >= 1 && r.Number <= MAX_TITLES)
            info.Titles[r.Number] = r.Title;
    info.TrackNumber = last;
    return SaveCDInfo(FListedDiscId);
}

bool TDiscSession::CloseHandle()
{
    const bool ok = CloseDiscHandle(FHandle);
    FHandle = 0;
    FDrive = -1;
    return ok;
}

std::unique_ptr<TDiscSource> TDiscSession::RipSource() const
{
    if (FHandle != 0) return AkripDiscSource(FHandle);
    if (FCDIn) return CDInDiscSource(*FCDIn);
    return nullptr;
}
