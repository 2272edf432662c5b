#include "settings/Options.h"

#include "settings/Global.h"
#include "settings/IniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <utility>

TOptionsSetting OptionsSetting;

const std::array<const char*, WMA_PROFILE_COUNT> WMAProfiles = {
    "192_48_2", "160_48_2", "128_48_2", "192_44_2", "160_44_2", "128_44_2", "96_44_2",
    "80_44_2",  "64_44_2",  "48_44_2",  "32_44_2",  "48_44_1",  "32_44_1",  "48_32_2",
    "40_32_2",  "32_32_2",  "20_32_1",  "32_22_2",  "22_22_2",  "20_22_2",  "20_22_1",
    "16_22_1",  "20_16_2",  "16_16_2",  "16_16_1",  "12_16_1",  "10_16_1",  "10_11_1",
    "8_11_1",   "12_8_2",   "8_8_1",    "6_8_1",    "5_8_1",
};

const std::array<const char*, WMA_PROFILE_COUNT> WMAProfileTexts = {
    "48.000 kHz, 192 kbit/s, Stereo",
    "48.000 kHz, 160 kbit/s, Stereo",
    "48.000 kHz, 128 kbit/s, Stereo",
    "44.100 kHz, 192 kbit/s, Stereo",
    "44.100 kHz, 160 kbit/s, Stereo",
    "44.100 kHz, 128 kbit/s, Stereo",
    "44.100 kHz,  96 kbit/s, Stereo",
    "44.100 kHz,  80 kbit/s, Stereo",
    "44.100 kHz,  64 kbit/s, Stereo",
    "44.100 kHz,  48 kbit/s, Stereo",
    "44.100 kHz,  32 kbit/s, Stereo",
    "44.100 kHz,  48 kbit/s, Mono",
    "44.100 kHz,  32 kbit/s, Mono",
    "32.000 kHz,  48 kbit/s, Stereo",
    "32.000 kHz,  40 kbit/s, Stereo",
    "32.000 kHz,  32 kbit/s, Stereo",
    "32.000 kHz,  20 kbit/s, Mono",
    "22.050 kHz,  32 kbit/s, Stereo",
    "22.050 kHz,  22 kbit/s, Stereo",
    "22.050 kHz,  20 kbit/s, Stereo",
    "22.050 kHz,  20 kbit/s, Mono",
    "22.050 kHz,  16 kbit/s, Mono",
    "16.000 kHz,  20 kbit/s, Stereo",
    "16.000 kHz,  16 kbit/s, Stereo",
    "16.000 kHz,  16 kbit/s, Mono",
    "16.000 kHz,  12 kbit/s, Mono",
    "16.000 kHz,  10 kbit/s, Mono",
    "11.025 kHz,  10 kbit/s, Mono",
    "11.025 kHz,   8 kbit/s, Mono",
    " 8.000 kHz,  12 kbit/s, Stereo",
    " 8.000 kHz,   8 kbit/s, Mono",
    " 8.000 kHz,   6 kbit/s, Mono",
    " 8.000 kHz,   5 kbit/s, Mono",
};

const std::array<const char*, OGG_BITRATE_COUNT> OggBitRateTexts = {
    " Default",   " 45 kbit/s", " 48 kbit/s", " 56 kbit/s", " 64 kbit/s",
    " 80 kbit/s", " 96 kbit/s", "112 kbit/s", "128 kbit/s", "144 kbit/s",
    "160 kbit/s", "192 kbit/s", "224 kbit/s", "256 kbit/s", "320 kbit/s",
};

namespace {

constexpr int MIN_COMPRESS_POSITION = 30;
constexpr int MAX_COMPRESS_POSITION = 100;

// The desktop's music folder (XDG_MUSIC_DIR, else ~/Music), made when the home has none yet;
// the settings folder only when there is no such folder and none can be made.
QString DefaultOutputFolder(const QString& settingsFolder)
{
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && (QFileInfo(music).isDir() || QDir().mkpath(music))) return WithBackslash(music);
    return settingsFolder;
}

} // namespace

QString SettingsFolder()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
    const QString folder = WithBackslash(base) + QStringLiteral("Varnel软件/CD音频转换/");
    if (QFileInfo(folder).isDir() || QDir().mkpath(folder)) return folder;
    return ProgramFolder();
}

QString OptionsFileName()
{
    return SettingsFolder() + QStringLiteral("options.ini");
}

QString OutputFormatName(int format)
{
    switch (format) {
    case 0: return QStringLiteral("MP3");
    case 1: return QStringLiteral("WAV");
    case 2: return QStringLiteral("OGG");
    case 3: return QStringLiteral("WMA");
    case 4: return QStringLiteral("FLAC");
    case 5: return QStringLiteral("Opus");
    case 6: return QStringLiteral("AAC");
    case 7: return QStringLiteral("ALAC");
    default: return QString();
    }
}

namespace {

// Every stored setting once, in the order of the file: section, key, the field and its
// default. Loading and saving both walk this list, so they cannot drift apart.
template <typename Options, typename Visit>
void VisitOptions(Options& o, const TOptionsSetting& d, Visit&& visit)
{
    const char* common = "CommonOptions";
    visit(common, "OutputFolder", o.CommonOptions.OutputFolder, d.CommonOptions.OutputFolder);
    visit(common, "OutputFormat", o.CommonOptions.OutputFormat, d.CommonOptions.OutputFormat);
    visit(common, "IsKeepWav", o.CommonOptions.IsKeepWav, d.CommonOptions.IsKeepWav);
    visit(common, "IsNormalize", o.CommonOptions.IsNormalize, d.CommonOptions.IsNormalize);
    visit(common, "NormalizePercent", o.CommonOptions.NormalizePercent, d.CommonOptions.NormalizePercent);
    visit(common, "EnableRipTime", o.CommonOptions.EnableRipTime, d.CommonOptions.EnableRipTime);
    visit(common, "RipTime", o.CommonOptions.RipTime, d.CommonOptions.RipTime);
    visit(common, "FileNamePattern", o.CommonOptions.FileNamePattern, d.CommonOptions.FileNamePattern);
    visit(common, "Jobs", o.CommonOptions.Jobs, d.CommonOptions.Jobs);
    visit(common, "WriteRipLog", o.CommonOptions.WriteRipLog, d.CommonOptions.WriteRipLog);
    visit(common, "Existing", o.CommonOptions.Existing, d.CommonOptions.Existing);
    visit(common, "ReplayGain", o.CommonOptions.ReplayGain, d.CommonOptions.ReplayGain);
    visit(common, "CueSheet", o.CommonOptions.CueSheet, d.CommonOptions.CueSheet);
    visit(common, "DeEmphasis", o.CommonOptions.DeEmphasis, d.CommonOptions.DeEmphasis);
    visit(common, "AutoRip", o.CommonOptions.AutoRip, d.CommonOptions.AutoRip);
    visit(common, "EjectWhenDone", o.CommonOptions.EjectWhenDone, d.CommonOptions.EjectWhenDone);
    visit(common, "ExtraFormats", o.CommonOptions.ExtraFormats, d.CommonOptions.ExtraFormats);

    const char* mp3 = "Mp3Options";
    visit(mp3, "IsSelectVBR", o.Mp3Options.IsSelectVBR, d.Mp3Options.IsSelectVBR);
    visit(mp3, "IsVBRHead", o.Mp3Options.IsVBRHead, d.Mp3Options.IsVBRHead);
    visit(mp3, "BitRate", o.Mp3Options.BitRate, d.Mp3Options.BitRate);
    visit(mp3, "MaxBitRate", o.Mp3Options.MaxBitRate, d.Mp3Options.MaxBitRate);
    visit(mp3, "MpegQuality", o.Mp3Options.MpegQuality, d.Mp3Options.MpegQuality);
    visit(mp3, "VBRQuality", o.Mp3Options.VBRQuality, d.Mp3Options.VBRQuality);
    visit(mp3, "StereoMode", o.Mp3Options.StereoMode, d.Mp3Options.StereoMode);

    const char* ogg = "OggOptions";
    visit(ogg, "IsUseCompress", o.OggOptions.IsUseCompress, d.OggOptions.IsUseCompress);
    visit(ogg, "CompressPosition", o.OggOptions.CompressPosition, d.OggOptions.CompressPosition);
    visit(ogg, "MaxBitRate", o.OggOptions.MaxBitRate, d.OggOptions.MaxBitRate);
    visit(ogg, "NomalBitRate", o.OggOptions.NomalBitRate, d.OggOptions.NomalBitRate);
    visit(ogg, "MinBitRate", o.OggOptions.MinBitRate, d.OggOptions.MinBitRate);

    visit("WMAOptions", "BitRate", o.WMAOptions.BitRate, d.WMAOptions.BitRate);
    visit("FlacOptions", "Level", o.FlacOptions.Level, d.FlacOptions.Level);
    visit("FlacOptions", "Cuesheet", o.FlacOptions.Cuesheet, d.FlacOptions.Cuesheet);
    visit("OpusOptions", "Bitrate", o.OpusOptions.Bitrate, d.OpusOptions.Bitrate);
    visit("AacOptions", "Bitrate", o.AacOptions.Bitrate, d.AacOptions.Bitrate);
    visit("CDOptions", "Index", o.CDOptions.Index, d.CDOptions.Index);
    visit("CDOptions", "CDDb", o.CDOptions.CDDb, d.CDOptions.CDDb);
    visit("CDOptions", "TestAndCopy", o.CDOptions.TestAndCopy, d.CDOptions.TestAndCopy);
    visit("CDOptions", "Strategy", o.CDOptions.Strategy, d.CDOptions.Strategy);
    visit("CDOptions", "Speed", o.CDOptions.Speed, d.CDOptions.Speed);
    visit("RecordOptions", "SaveMp3", o.RecordOptions.SaveMp3, d.RecordOptions.SaveMp3);

    const char* cddb = "QueryCDDB";
    visit(cddb, "Server", o.QueryCDDB.Server, d.QueryCDDB.Server);
    visit(cddb, "Script", o.QueryCDDB.Script, d.QueryCDDB.Script);
    visit(cddb, "UseProxy", o.QueryCDDB.UseProxy, d.QueryCDDB.UseProxy);
    visit(cddb, "ProxyAddress", o.QueryCDDB.ProxyAddress, d.QueryCDDB.ProxyAddress);
    visit(cddb, "Port", o.QueryCDDB.Port, d.QueryCDDB.Port);

    visit("AccurateRip", "Url", o.AccurateRip.Url, d.AccurateRip.Url);
    visit("CTDB", "Url", o.Ctdb.Url, d.Ctdb.Url);
    visit("CTDB", "Use", o.Ctdb.Use, d.Ctdb.Use);
    visit("CTDB", "Repair", o.Ctdb.Repair, d.Ctdb.Repair);

    const char* mb = "MusicBrainz";
    visit(mb, "Server", o.MusicBrainz.Server, d.MusicBrainz.Server);
    visit(mb, "CoverArt", o.MusicBrainz.CoverArt, d.MusicBrainz.CoverArt);
    visit(mb, "Cover", o.MusicBrainz.Cover, d.MusicBrainz.Cover);

    visit("ID3", "Use", o.ID3Use, d.ID3Use);
    visit("ID3", "Version", o.ID3Version, d.ID3Version);
    visit("Options", "Lan", o.Lan, d.Lan);
    visit("Options", "Interface", o.Interface, d.Interface);
}

struct TOptionReader {
    const TIniFile& Ini;
    void operator()(const char* section, const char* key, QString& field, const QString& def) const
    {
        field = Ini.ReadString(section, key, def);
    }
    void operator()(const char* section, const char* key, int32_t& field, int32_t def) const
    {
        field = Ini.ReadInteger(section, key, def);
    }
    void operator()(const char* section, const char* key, bool& field, bool def) const
    {
        field = Ini.ReadBool(section, key, def);
    }
};

struct TOptionWriter {
    TIniFile& Ini;
    void operator()(const char* section, const char* key, const QString& field, const QString&) const
    {
        Ini.WriteString(section, key, field);
    }
    void operator()(const char* section, const char* key, int32_t field, int32_t) const
    {
        Ini.WriteInteger(section, key, field);
    }
    void operator()(const char* section, const char* key, bool field, bool) const
    {
        Ini.WriteBool(section, key, field);
    }
};

const QString ReadOffsetsSection = QStringLiteral("ReadOffsets");
constexpr int32_t MaxStoredReadOffset = 5880;

void LoadReadOffsets(const TIniFile& ini)
{
    OptionsSetting.ReadOffsets.clear();
    for (const QString& key : ini.ReadSection(ReadOffsetsSection)) {
        const int32_t value = ini.ReadInteger(ReadOffsetsSection, key, 0);
        if (value != 0 && value >= -MaxStoredReadOffset && value <= MaxStoredReadOffset)
            OptionsSetting.ReadOffsets.insert(key, value);
    }
}

void SaveReadOffsets(TIniFile& ini)
{
    ini.EraseSection(ReadOffsetsSection);
    for (auto it = OptionsSetting.ReadOffsets.cbegin(); it != OptionsSetting.ReadOffsets.cend(); ++it)
        ini.WriteInteger(ReadOffsetsSection, it.key(), it.value());
}

} // namespace

void LoadOptions()
{
    const QString folder = SettingsFolder();
    const TIniFile ini(folder + QStringLiteral("options.ini"));
    TOptionsSetting defaults;
    defaults.CommonOptions.OutputFolder = DefaultOutputFolder(folder);
    VisitOptions(OptionsSetting, defaults, TOptionReader{ini});
    // The only value corrected on load: the quality slider's range.
    int32_t& position = OptionsSetting.OggOptions.CompressPosition;
    position = std::clamp(position, MIN_COMPRESS_POSITION, MAX_COMPRESS_POSITION);
    // A FLAC level the encoder does not have is the default one.
    int32_t& level = OptionsSetting.FlacOptions.Level;
    if (level < 0 || level > 8) level = TFlacOptions{}.Level;
    OptionsSetting.OpusOptions.Bitrate = std::clamp(OptionsSetting.OpusOptions.Bitrate, 6, 510);
    OptionsSetting.AacOptions.Bitrate = std::clamp(OptionsSetting.AacOptions.Bitrate, 64, 320);
    if (OptionsSetting.CommonOptions.Jobs < 0) OptionsSetting.CommonOptions.Jobs = 0;
    int32_t& existing = OptionsSetting.CommonOptions.Existing;
    if (existing < 0 || existing > 3) existing = TCommonOptions{}.Existing;
    int32_t& replayGain = OptionsSetting.CommonOptions.ReplayGain;
    if (replayGain != 0) replayGain = 1;
    for (int32_t* flag : {&OptionsSetting.CommonOptions.AutoRip, &OptionsSetting.CommonOptions.EjectWhenDone})
        if (*flag != 1) *flag = 0;
    int32_t& speed = OptionsSetting.CDOptions.Speed;
    if (speed < 0 || speed > MaxReadSpeed) speed = 0;
    int32_t& id3 = OptionsSetting.ID3Version;
    if (id3 != 24 && id3 != 23 && id3 != 1) id3 = TOptionsSetting{}.ID3Version;
    if (OptionsSetting.CDOptions.Strategy != QLatin1String("burst"))
        OptionsSetting.CDOptions.Strategy = TCDOptions{}.Strategy;
    const QUrl ctdb(OptionsSetting.Ctdb.Url.trimmed());
    if (!ctdb.isValid() || ctdb.host().isEmpty() ||
        (ctdb.scheme() != QLatin1String("http") && ctdb.scheme() != QLatin1String("https")))
        OptionsSetting.Ctdb.Url = TCtdbOptions{}.Url;
    LoadReadOffsets(ini);
}

bool SaveOptions()
{
    TIniFile ini(OptionsFileName());
    VisitOptions(std::as_const(OptionsSetting), TOptionsSetting{}, TOptionWriter{ini});
    SaveReadOffsets(ini);
    return ini.UpdateFile();
}
