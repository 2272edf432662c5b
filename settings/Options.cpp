#include "settings/Options.h"

#include "settings/Global.h"
#include "settings/IniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

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

QString DefaultOutputFolder(const QString& settingsFolder)
{
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && QFileInfo(music).isDir()) return WithBackslash(music);
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
    default: return QString();
    }
}

void LoadOptions()
{
    const QString folder = SettingsFolder();
    TIniFile ini(folder + QStringLiteral("options.ini"));
    TOptionsSetting& o = OptionsSetting;
    const TOptionsSetting defaults;

    auto& c = o.CommonOptions;
    const QString common = QStringLiteral("CommonOptions");
    c.OutputFolder = ini.ReadString(common, "OutputFolder", DefaultOutputFolder(folder));
    c.OutputFormat = ini.ReadInteger(common, "OutputFormat", defaults.CommonOptions.OutputFormat);
    c.IsKeepWav = ini.ReadBool(common, "IsKeepWav", defaults.CommonOptions.IsKeepWav);
    c.IsNormalize = ini.ReadBool(common, "IsNormalize", defaults.CommonOptions.IsNormalize);
    c.NormalizePercent = ini.ReadInteger(common, "NormalizePercent", defaults.CommonOptions.NormalizePercent);
    c.EnableRipTime = ini.ReadBool(common, "EnableRipTime", defaults.CommonOptions.EnableRipTime);
    c.RipTime = ini.ReadInteger(common, "RipTime", defaults.CommonOptions.RipTime);

    auto& m = o.Mp3Options;
    const auto& md = defaults.Mp3Options;
    const QString mp3 = QStringLiteral("Mp3Options");
    m.IsSelectVBR = ini.ReadBool(mp3, "IsSelectVBR", md.IsSelectVBR);
    m.IsVBRHead = ini.ReadBool(mp3, "IsVBRHead", md.IsVBRHead);
    m.BitRate = ini.ReadInteger(mp3, "BitRate", md.BitRate);
    m.MaxBitRate = ini.ReadInteger(mp3, "MaxBitRate", md.MaxBitRate);
    m.MpegQuality = ini.ReadInteger(mp3, "MpegQuality", md.MpegQuality);
    m.VBRQuality = ini.ReadInteger(mp3, "VBRQuality", md.VBRQuality);
    m.StereoMode = ini.ReadInteger(mp3, "StereoMode", md.StereoMode);

    auto& g = o.OggOptions;
    const auto& gd = defaults.OggOptions;
    const QString ogg = QStringLiteral("OggOptions");
    g.IsUseCompress = ini.ReadBool(ogg, "IsUseCompress", gd.IsUseCompress);
    g.CompressPosition = std::clamp(ini.ReadInteger(ogg, "CompressPosition", gd.CompressPosition),
                                    MIN_COMPRESS_POSITION, MAX_COMPRESS_POSITION);
    g.MaxBitRate = ini.ReadInteger(ogg, "MaxBitRate", gd.MaxBitRate);
    g.NomalBitRate = ini.ReadInteger(ogg, "NomalBitRate", gd.NomalBitRate);
    g.MinBitRate = ini.ReadInteger(ogg, "MinBitRate", gd.MinBitRate);

    o.WMAOptions.BitRate = ini.ReadInteger("WMAOptions", "BitRate", defaults.WMAOptions.BitRate);

    o.CDOptions.Index = ini.ReadInteger("CDOptions", "Index", defaults.CDOptions.Index);
    o.CDOptions.CDDb = ini.ReadBool("CDOptions", "CDDb", defaults.CDOptions.CDDb);

    o.RecordOptions.SaveMp3 = ini.ReadBool("RecordOptions", "SaveMp3", defaults.RecordOptions.SaveMp3);

    auto& q = o.QueryCDDB;
    const QString cddb = QStringLiteral("QueryCDDB");
    q.Server = ini.ReadString(cddb, "Server", QString::fromLatin1(DEFAULT_CDDB_SERVER));
    q.Script = ini.ReadString(cddb, "Script", QString::fromLatin1(DEFAULT_CDDB_SCRIPT));
    q.UseProxy = ini.ReadBool(cddb, "UseProxy", defaults.QueryCDDB.UseProxy);
    q.ProxyAddress = ini.ReadString(cddb, "ProxyAddress", QString());
    q.Port = ini.ReadString(cddb, "Port", QStringLiteral("80"));

    o.ID3Use = ini.ReadBool("ID3", "Use", defaults.ID3Use);
    o.Lan = ini.ReadString("Options", "Lan", QStringLiteral("English"));
}

bool SaveOptions()
{
    TIniFile ini(OptionsFileName());
    const TOptionsSetting& o = OptionsSetting;

    const auto& c = o.CommonOptions;
    const QString common = QStringLiteral("CommonOptions");
    ini.WriteString(common, "OutputFolder", c.OutputFolder);
    ini.WriteInteger(common, "OutputFormat", c.OutputFormat);
    ini.WriteBool(common, "IsKeepWav", c.IsKeepWav);
    ini.WriteBool(common, "IsNormalize", c.IsNormalize);
    ini.WriteInteger(common, "NormalizePercent", c.NormalizePercent);
    ini.WriteBool(common, "EnableRipTime", c.EnableRipTime);
    ini.WriteInteger(common, "RipTime", c.RipTime);

    const auto& m = o.Mp3Options;
    const QString mp3 = QStringLiteral("Mp3Options");
    ini.WriteBool(mp3, "IsSelectVBR", m.IsSelectVBR);
    ini.WriteBool(mp3, "IsVBRHead", m.IsVBRHead);
    ini.WriteInteger(mp3, "BitRate", m.BitRate);
    ini.WriteInteger(mp3, "MaxBitRate", m.MaxBitRate);
    ini.WriteInteger(mp3, "MpegQuality", m.MpegQuality);
    ini.WriteInteger(mp3, "VBRQuality", m.VBRQuality);
    ini.WriteInteger(mp3, "StereoMode", m.StereoMode);

    const auto& g = o.OggOptions;
    const QString ogg = QStringLiteral("OggOptions");
    ini.WriteBool(ogg, "IsUseCompress", g.IsUseCompress);
    ini.WriteInteger(ogg, "CompressPosition", g.CompressPosition);
    ini.WriteInteger(ogg, "MaxBitRate", g.MaxBitRate);
    ini.WriteInteger(ogg, "NomalBitRate", g.NomalBitRate);
    ini.WriteInteger(ogg, "MinBitRate", g.MinBitRate);

    ini.WriteInteger("WMAOptions", "BitRate", o.WMAOptions.BitRate);

    ini.WriteInteger("CDOptions", "Index", o.CDOptions.Index);
    ini.WriteBool("CDOptions", "CDDb", o.CDOptions.CDDb);

    ini.WriteBool("RecordOptions", "SaveMp3", o.RecordOptions.SaveMp3);

    const auto& q = o.QueryCDDB;
    const QString cddb = QStringLiteral("QueryCDDB");
    ini.WriteString(cddb, "Server", q.Server);
    ini.WriteString(cddb, "Script", q.Script);
    ini.WriteBool(cddb, "UseProxy", q.UseProxy);
    ini.WriteString(cddb, "ProxyAddress", q.ProxyAddress);
    ini.WriteString(cddb, "Port", q.Port);

    ini.WriteBool("ID3", "Use", o.ID3Use);
    ini.WriteString("Options", "Lan", o.Lan);

    return ini.UpdateFile();
}
