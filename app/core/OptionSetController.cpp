#include "app/core/OptionSetController.h"

#include "encode/OutputFormats.h"
#include "settings/Global.h"
#include "settings/Lang.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cstdlib>
#include <limits>
#include <utility>

namespace {

// A stored item index inside 0..count-1, else the field's default item.
int ItemOrDefault(int value, int count, int defaultItem)
{
    return value >= 0 && value < count ? value : defaultItem;
}

} // namespace

int NearestMp3BitRateItem(int kbps)
{
    int best = 0;
    for (int i = 1; i < MP3_BITRATE_COUNT; ++i)
        if (std::abs(int64_t(Mp3BitRates[i]) - kbps) < std::abs(int64_t(Mp3BitRates[best]) - kbps))
            best = i;
    return best;
}

bool ParseRipTime(const QString& text, int32_t& seconds)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    const QString t = text.trimmed();
    if (!digits.match(t).hasMatch())
        return false;
    bool ok = false;
    const qlonglong value = t.toLongLong(&ok);
    if (!ok || value > std::numeric_limits<int32_t>::max())
        return false;
    seconds = int32_t(value);
    return true;
}

QString ExistingOutputFolder(const QString& text)
{
    if (text.isEmpty())
        return {};
    QString path = text;
    if (path == QLatin1String("~"))
        path = QDir::homePath();
    else if (path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    // A relative folder is taken from the home folder, not from wherever the program was
    // started.
    if (QDir::isRelativePath(path))
        path = QDir::homePath() + QLatin1Char('/') + path;
    const QFileInfo info(path);
    if (!info.isDir())
        return {};
    return WithBackslash(QDir::cleanPath(info.absoluteFilePath()));
}

QString BrowseStartFolder(const QString& text)
{
    const QString folder = ExistingOutputFolder(text);
    return folder.isEmpty() ? QDir::homePath() : folder;
}

TOptionSetFields FieldsFromOptions(const TOptionsSetting& options)
{
    const TOptionsSetting defaults;
    TOptionSetFields f;
    const TCommonOptions& common = options.CommonOptions;
    f.OutputDir = common.OutputFolder;
    f.OutputFormat = ItemOrDefault(common.OutputFormat, int(OutputFormats.size()), defaults.CommonOptions.OutputFormat);
    f.DeleteWav = !common.IsKeepWav;
    f.FileNamePattern = common.FileNamePattern;
    f.Normalize = common.IsNormalize;
    f.NormalizePercent = std::clamp(common.NormalizePercent, 0, 100);
    f.EnableRipTime = common.EnableRipTime;
    f.RipTime = QString::number(common.RipTime >= 0 ? common.RipTime : defaults.CommonOptions.RipTime);

    const TMp3Options& mp3 = options.Mp3Options;
    f.SelectVBR = mp3.IsSelectVBR;
    f.VBRHead = mp3.IsVBRHead;
    f.BitRate = NearestMp3BitRateItem(mp3.BitRate);
    f.MaxBitRate = NearestMp3BitRateItem(mp3.MaxBitRate);
    f.VBRQuality = ItemOrDefault(mp3.VBRQuality, VBR_QUALITY_COUNT, defaults.Mp3Options.VBRQuality);
    f.MpegQuality = ItemOrDefault(mp3.MpegQuality, MPEG_QUALITY_COUNT, defaults.Mp3Options.MpegQuality);
    f.StereoMode = ItemOrDefault(mp3.StereoMode, STEREO_MODE_COUNT, defaults.Mp3Options.StereoMode);

    const TOggOptions& ogg = options.OggOptions;
    f.UseCompress = ogg.IsUseCompress;
    f.Compression = std::clamp(ogg.CompressPosition, COMPRESS_MIN, COMPRESS_MAX);
    f.OggNomBit = ItemOrDefault(ogg.NomalBitRate, OGG_BITRATE_COUNT, defaults.OggOptions.NomalBitRate);
    f.OggMaxBit = ItemOrDefault(ogg.MaxBitRate, OGG_BITRATE_COUNT, defaults.OggOptions.MaxBitRate);
    f.OggMinBit = ItemOrDefault(ogg.MinBitRate, OGG_BITRATE_COUNT, defaults.OggOptions.MinBitRate);

    f.WMABitrate = ItemOrDefault(options.WMAOptions.BitRate, WMA_PROFILE_COUNT, DEFAULT_WMA_PROFILE);
    f.FlacLevel = ItemOrDefault(options.FlacOptions.Level, 9, defaults.FlacOptions.Level);
    f.FlacCuesheet = options.FlacOptions.Cuesheet;

    const TCDInfo& info = options.CDInfo;
    f.UseID3 = options.ID3Use;
    f.Artist = info.Artist;
    f.Album = info.Album;
    f.Year = info.Year;
    f.GenrePosition = ItemOrDefault(info.Genre + 1, GENRE_COUNT + 1, 0);
    f.Comment = info.Comment;
    f.DiscNumber = std::clamp(info.DiscNumber, 0, 999);
    f.DiscTotal = std::clamp(info.DiscTotal, 0, 999);

    f.DriveItem = -1;
    f.CDDb = options.CDOptions.CDDb;
    return f;
}

void StoreFields(const TOptionSetFields& f, TOptionsSetting& options)
{
    TCommonOptions& common = options.CommonOptions;
    common.IsKeepWav = !f.DeleteWav;
    common.OutputFormat = f.OutputFormat;
    common.OutputFolder = f.OutputDir;
    common.FileNamePattern = f.FileNamePattern;
    common.IsNormalize = f.Normalize;
    common.NormalizePercent = f.NormalizePercent;
    common.EnableRipTime = f.EnableRipTime;
    int32_t ripTime = 0;
    common.RipTime = ParseRipTime(f.RipTime, ripTime) ? ripTime : 0;

    TMp3Options& mp3 = options.Mp3Options;
    mp3.IsSelectVBR = f.SelectVBR;
    mp3.IsVBRHead = f.VBRHead;
    mp3.BitRate = Mp3BitRates[size_t(ItemOrDefault(f.BitRate, MP3_BITRATE_COUNT, 8))];
    mp3.MaxBitRate = Mp3BitRates[size_t(ItemOrDefault(f.MaxBitRate, MP3_BITRATE_COUNT, 13))];
    mp3.MpegQuality = f.MpegQuality;
    mp3.VBRQuality = f.VBRQuality;
    mp3.StereoMode = f.StereoMode;

    TOggOptions& ogg = options.OggOptions;
    ogg.IsUseCompress = f.UseCompress;
    ogg.CompressPosition = f.Compression;
    ogg.NomalBitRate = f.OggNomBit;
    ogg.MaxBitRate = f.OggMaxBit;
    ogg.MinBitRate = f.OggMinBit;

    options.WMAOptions.BitRate = f.WMABitrate;
    options.FlacOptions.Level = ItemOrDefault(f.FlacLevel, 9, TFlacOptions{}.Level);
    options.FlacOptions.Cuesheet = f.FlacCuesheet;
    options.CDOptions.CDDb = f.CDDb;

    TCDInfo& info = options.CDInfo;
    options.ID3Use = f.UseID3;
    info.Artist = f.Artist;
    info.Album = f.Album;
    info.Year = f.Year;
    info.Comment = f.Comment;
    info.Genre = f.GenrePosition - 1;
    // A count below the disc's own number, or without a number, means no count.
    info.DiscNumber = std::clamp(f.DiscNumber, 0, 999);
    info.DiscTotal = info.DiscNumber && f.DiscTotal >= info.DiscNumber ? std::min(f.DiscTotal, 999) : 0;
}

TOptionSetController::TOptionSetController(TOptionsSetting& options, TPrompter& prompter, TOptionSetHost host)
    : FOptions(options), FPrompter(prompter), FHost(std::move(host))
{
}

void TOptionSetController::Load()
{
    Fields = FieldsFromOptions(FOptions);
    FStartDrive = FOptions.CDOptions.Index == -1 ? 0 : FOptions.CDOptions.Index;
    FStartCDDb = FOptions.CDOptions.CDDb;
    FDrives.clear();
}

const QStringList& TOptionSetController::ListDrives()
{
    FDrives = FHost.DriveNames ? FHost.DriveNames() : QStringList();
    Fields.DriveItem = FStartDrive >= 0 && FStartDrive < FDrives.size() ? FStartDrive : -1;
    return FDrives;
}

void TOptionSetController::SetMp3Defaults()
{
    const TOptionSetFields defaults;
    Fields.SelectVBR = false;
    Fields.VBRHead = false;
    Fields.BitRate = defaults.BitRate;          // 128 kbit/s
    Fields.MaxBitRate = defaults.MaxBitRate;    // 320 kbit/s
    Fields.VBRQuality = defaults.VBRQuality;
    Fields.MpegQuality = defaults.MpegQuality;
    Fields.StereoMode = defaults.StereoMode;
}

TOptionSetController::TRefusal TOptionSetController::Accept()
{
    const QString folder = ExistingOutputFolder(Fields.OutputDir);
    if (folder.isEmpty()) {
        FPrompter.ShowError(Fields.OutputDir + QStringLiteral(",") +
                            LangString(QStringLiteral("RES_Directory_Not_Exist"),
                                       QStringLiteral("输出目录不存在。")));
        return TRefusal::OutputFolder;
    }
    int32_t ripTime = 0;
    if (!ParseRipTime(Fields.RipTime, ripTime)) {
        FPrompter.ShowError(LangString(QStringLiteral("RES_Rip_Time_Error"),
                                       QStringLiteral("请检查要抓取的歌曲长度。")));
        return TRefusal::RipTime;
    }

    StoreFields(Fields, FOptions);
    FOptions.CommonOptions.OutputFolder = folder;

    // Without a drive list (page never shown, or no drive) the chosen drive stays as it is.
    if (!FDrives.isEmpty()) {
        FOptions.CDOptions.Index = Fields.DriveItem;
        if ((Fields.DriveItem != FStartDrive || Fields.CDDb != FStartCDDb) && FHost.UseDrive)
            FHost.UseDrive(Fields.DriveItem);
    }
    if (FHost.KeepStatus)
        FHost.KeepStatus();
    return TRefusal::None;
}
