// The settings record and "options.ini".
#include "fixtures/TestUtil.h"
#include "settings/Global.h"
#include "settings/IniFile.h"
#include "settings/Options.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

namespace {

// Every test gets its own configuration and home folder.
class OptionsTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    QByteArray oldHome = qgetenv("HOME");

    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
        OptionsSetting = TOptionsSetting();
    }
    void TearDown() override
    {
        qputenv("XDG_CONFIG_HOME", oldConfig);
        qputenv("HOME", oldHome);
    }

    QString Music() const { return home.filePath("Music") + QStringLiteral("/"); }
    QString Folder() const { return home.filePath("config") + QStringLiteral("/Varnel软件/CD音频转换/"); }

    void WriteOptions(const QByteArray& text)
    {
        QDir().mkpath(Folder());
        QFile f(Folder() + "options.ini");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray ReadOptions() const
    {
        QFile f(Folder() + "options.ini");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace

TEST_F(OptionsTest, MissingFileGivesDefaultsAndSaveWritesSectionsInOrder)
{
    LoadOptions();
    EXPECT_EQ(SettingsFolder(), Folder());
    EXPECT_TRUE(QFileInfo(Folder()).isDir());
    const TOptionsSetting& o = OptionsSetting;
    EXPECT_EQ(o.CommonOptions.OutputFolder, Music());   // made: the home had none
    EXPECT_EQ(o.CommonOptions.NormalizePercent, 95);
    EXPECT_EQ(o.Mp3Options.BitRate, 128);
    EXPECT_EQ(o.Mp3Options.MaxBitRate, 320);
    EXPECT_EQ(o.Mp3Options.VBRQuality, 4);
    EXPECT_EQ(o.Mp3Options.StereoMode, 1);
    EXPECT_TRUE(o.OggOptions.IsUseCompress);
    EXPECT_EQ(o.OggOptions.CompressPosition, 30);
    EXPECT_EQ(o.WMAOptions.BitRate, 8);
    EXPECT_EQ(o.CDOptions.Index, -1);
    EXPECT_EQ(o.QueryCDDB.Server, "gnudb.gnudb.org");
    EXPECT_EQ(o.QueryCDDB.Script, "/~cddb/cddb.cgi");
    EXPECT_EQ(o.QueryCDDB.Port, "80");
    EXPECT_EQ(o.QueryCDDB.ProxyAddress, "");
    EXPECT_FALSE(o.ID3Use);
    EXPECT_EQ(o.Lan, "English");
    EXPECT_EQ(std::tie(o.CommonOptions.FileNamePattern, o.CommonOptions.Jobs, o.CommonOptions.WriteRipLog),
              std::make_tuple(QString(), 0, true));
    EXPECT_EQ(std::tie(o.FlacOptions.Level, o.FlacOptions.Cuesheet), std::make_tuple(5, false));
    EXPECT_EQ(o.AccurateRip.Url, "http://www.accuraterip.com/accuraterip");
    EXPECT_EQ(std::tie(o.Ctdb.Url, o.Ctdb.Use), std::make_tuple(QString("http://db.cuetools.net"), true));
    EXPECT_EQ(std::tie(o.MusicBrainz.Server, o.MusicBrainz.CoverArt, o.MusicBrainz.Cover),
              std::make_tuple(QString("https://musicbrainz.org"), QString("https://coverartarchive.org"), true));

    ASSERT_TRUE(SaveOptions());
    TIniFile ini(OptionsFileName());
    EXPECT_EQ(ini.ReadSections(), QStringList({"CommonOptions", "Mp3Options", "OggOptions", "WMAOptions",
                                               "FlacOptions", "OpusOptions", "AacOptions", "CDOptions",
                                               "RecordOptions", "QueryCDDB",
                                               "AccurateRip", "CTDB", "MusicBrainz", "ID3", "Options"}));
    EXPECT_EQ(ini.ReadSection("CommonOptions"),
              QStringList({"OutputFolder", "OutputFormat", "IsKeepWav", "IsNormalize", "NormalizePercent",
                           "EnableRipTime", "RipTime", "FileNamePattern", "Jobs", "WriteRipLog", "Existing",
                           "ReplayGain", "CueSheet", "DeEmphasis", "AutoRip", "EjectWhenDone"}));
    EXPECT_EQ(ini.ReadSection("OggOptions"),
              QStringList({"IsUseCompress", "CompressPosition", "MaxBitRate", "NomalBitRate", "MinBitRate"}));
    EXPECT_EQ(ini.ReadSection("QueryCDDB"), QStringList({"Server", "Script", "UseProxy", "ProxyAddress", "Port"}));
    EXPECT_EQ(ini.ReadString("ID3", "Use", ""), "0");
    EXPECT_EQ(ini.ReadString("ID3", "Version", ""), "24");
    EXPECT_EQ(ini.ReadString("CommonOptions", "ReplayGain", ""), "1");
    EXPECT_EQ(ini.ReadString("OggOptions", "IsUseCompress", ""), "1");
}

// The music folder the desktop names (XDG_MUSIC_DIR), made when missing; a stored folder is
// kept; a home where it cannot be made leaves the settings folder.
TEST_F(OptionsTest, MusicFolderIsTheDefaultOutputFolder)
{
    QDir().mkpath(home.filePath("config"));
    WriteAll(home.filePath("config/user-dirs.dirs"), "XDG_MUSIC_DIR=\"$HOME/My Songs\"\n");
    LoadOptions();
    EXPECT_EQ(OptionsSetting.CommonOptions.OutputFolder, home.filePath("My Songs") + "/");
    EXPECT_TRUE(QFileInfo(home.filePath("My Songs")).isDir());
    WriteOptions("[CommonOptions]\nOutputFolder=/kept/\n");
    LoadOptions();
    EXPECT_EQ(OptionsSetting.CommonOptions.OutputFolder, "/kept/");
    QFile::remove(home.filePath("config/user-dirs.dirs"));
    QFile::remove(Folder() + "options.ini");
    WriteAll(home.filePath("Music"), "a file where the folder would be");
    LoadOptions();
    EXPECT_EQ(OptionsSetting.CommonOptions.OutputFolder, Folder());
}

TEST_F(OptionsTest, EveryFieldSurvivesARoundTrip)
{
    TOptionsSetting& o = OptionsSetting;
    o.CommonOptions = {QStringLiteral("/音乐/out dir/"), 2, true, true, 80, true, 45, "%A/%D/%N %T", 3, false};
    o.FlacOptions = {8, true};
    o.AccurateRip.Url = "http://127.0.0.1:9/ar";
    o.Ctdb = {"https://127.0.0.1:9/ctdb", false};
    o.MusicBrainz = {"http://mb.local", "http://caa.local", false};
    o.Mp3Options = {true, true, 64, 256, 2, 7, 4};
    o.OggOptions = {false, 77, 3, 9, 14};
    o.WMAOptions.BitRate = 31;
    o.CDOptions = {2, true};
    o.CDOptions.Speed = 8;
    o.CommonOptions.AutoRip = o.CommonOptions.EjectWhenDone = 1;
    o.RecordOptions.SaveMp3 = true;
    o.QueryCDDB = {"cddb.example", "/cgi", true, "proxy.local", "3128"};
    o.ID3Use = true;
    o.Lan = QStringLiteral("Chinese");
    o.CDInfo.Artist = "not stored here";
    const TOptionsSetting saved = o;
    ASSERT_TRUE(SaveOptions());

    OptionsSetting = TOptionsSetting();
    LoadOptions();
    const auto& c = o.CommonOptions;
    const auto& sc = saved.CommonOptions;
    EXPECT_EQ(c.OutputFolder, sc.OutputFolder);
    EXPECT_EQ(std::tie(c.OutputFormat, c.IsKeepWav, c.IsNormalize, c.NormalizePercent, c.EnableRipTime, c.RipTime),
              std::tie(sc.OutputFormat, sc.IsKeepWav, sc.IsNormalize, sc.NormalizePercent, sc.EnableRipTime, sc.RipTime));
    const auto& m = o.Mp3Options;
    const auto& sm = saved.Mp3Options;
    EXPECT_EQ(std::tie(m.IsSelectVBR, m.IsVBRHead, m.BitRate, m.MaxBitRate, m.MpegQuality, m.VBRQuality, m.StereoMode),
              std::tie(sm.IsSelectVBR, sm.IsVBRHead, sm.BitRate, sm.MaxBitRate, sm.MpegQuality, sm.VBRQuality, sm.StereoMode));
    const auto& g = o.OggOptions;
    const auto& sg = saved.OggOptions;
    EXPECT_EQ(std::tie(g.IsUseCompress, g.CompressPosition, g.MaxBitRate, g.NomalBitRate, g.MinBitRate),
              std::tie(sg.IsUseCompress, sg.CompressPosition, sg.MaxBitRate, sg.NomalBitRate, sg.MinBitRate));
    EXPECT_EQ(std::tie(c.FileNamePattern, c.Jobs, c.WriteRipLog), std::tie(sc.FileNamePattern, sc.Jobs, sc.WriteRipLog));
    EXPECT_EQ(std::tie(o.FlacOptions.Level, o.FlacOptions.Cuesheet), std::make_tuple(8, true));
    EXPECT_EQ(o.AccurateRip.Url, "http://127.0.0.1:9/ar");
    EXPECT_EQ(std::tie(o.Ctdb.Url, o.Ctdb.Use), std::make_tuple(QString("https://127.0.0.1:9/ctdb"), false));
    EXPECT_EQ(std::tie(o.MusicBrainz.Server, o.MusicBrainz.CoverArt, o.MusicBrainz.Cover),
              std::make_tuple(QString("http://mb.local"), QString("http://caa.local"), false));
    EXPECT_EQ(o.WMAOptions.BitRate, 31);
    EXPECT_EQ(o.CDOptions.Index, 2);
    EXPECT_EQ(std::tie(o.CDOptions.Speed, c.AutoRip, c.EjectWhenDone), std::make_tuple(8, 1, 1));
    EXPECT_TRUE(o.CDOptions.CDDb);
    EXPECT_TRUE(o.RecordOptions.SaveMp3);
    EXPECT_EQ(o.QueryCDDB.Server, "cddb.example");
    EXPECT_EQ(o.QueryCDDB.Script, "/cgi");
    EXPECT_TRUE(o.QueryCDDB.UseProxy);
    EXPECT_EQ(o.QueryCDDB.ProxyAddress, "proxy.local");
    EXPECT_EQ(o.QueryCDDB.Port, "3128");
    EXPECT_TRUE(o.ID3Use);
    EXPECT_EQ(o.Lan, "Chinese");
    EXPECT_TRUE(o.CDInfo.Artist.isEmpty());
    EXPECT_FALSE(ReadOptions().contains("not stored here"));
}

TEST_F(OptionsTest, OddValuesInTheFile)
{
    WriteOptions("; my notes\n"
                 "[OggOptions]\nCompressPosition=5\n"
                 "[CommonOptions]\nOutputFormat=8\nIsKeepWav=yes\nNormalizePercent=0x20\nRipTime=abc\nJobs=-2\nExisting=9\nReplayGain=7\nAutoRip=2\nEjectWhenDone=-1\n"
                 "[CDOptions]\nSpeed=-4\n"
                 "[ID3]\nVersion=22\n"
                 "[WMAOptions]\nBitRate=40\n"
                 "[FlacOptions]\nLevel=9\n"
                 "[CTDB]\nUrl=ftp://db.example\nUse=abc\n"
                 "[Plugin]\nSomething=kept\n");
    LoadOptions();
    const TOptionsSetting& o = OptionsSetting;
    EXPECT_EQ(o.OggOptions.CompressPosition, 30);
    EXPECT_EQ(o.CommonOptions.OutputFormat, 8);
    EXPECT_EQ(OutputFormatName(o.CommonOptions.OutputFormat), "");
    EXPECT_FALSE(o.CommonOptions.IsKeepWav);
    EXPECT_EQ(o.CommonOptions.NormalizePercent, 32);
    EXPECT_EQ(o.CommonOptions.RipTime, 0);
    EXPECT_EQ(o.WMAOptions.BitRate, 40);
    EXPECT_EQ(o.FlacOptions.Level, 5);
    EXPECT_EQ(o.CommonOptions.Jobs, 0);
    EXPECT_EQ(o.CommonOptions.Existing, 0);   // a policy it does not know: ask
    EXPECT_EQ(o.CommonOptions.ReplayGain, 1);
    EXPECT_EQ(std::tie(o.CommonOptions.AutoRip, o.CommonOptions.EjectWhenDone, o.CDOptions.Speed),
              std::make_tuple(0, 0, 0));
    EXPECT_EQ(o.ID3Version, 24);
    EXPECT_EQ(std::tie(o.Ctdb.Url, o.Ctdb.Use), std::make_tuple(QString("http://db.cuetools.net"), true));
    EXPECT_EQ(o.CommonOptions.OutputFolder, Music());

    ASSERT_TRUE(SaveOptions());
    const QByteArray text = ReadOptions();
    EXPECT_TRUE(text.startsWith("; my notes\n[OggOptions]\nCompressPosition=30\n"));
    EXPECT_TRUE(text.contains("[Plugin]\nSomething=kept\n"));
    EXPECT_TRUE(text.contains("OutputFormat=8\n"));
    EXPECT_TRUE(text.contains("IsKeepWav=0\n"));
    EXPECT_TRUE(text.contains("BitRate=40\n"));

    WriteOptions("[OggOptions]\nCompressPosition=250\n[CDOptions]\nSpeed=500\n");
    LoadOptions();
    EXPECT_EQ(OptionsSetting.OggOptions.CompressPosition, 100);
    EXPECT_EQ(OptionsSetting.CDOptions.Speed, 0);
}

TEST_F(OptionsTest, GarbledFileGivesDefaults)
{
    QByteArray junk;
    for (int i = 0; i < 3000; ++i) junk.append(char((i * 131 + 7) & 0xFF));
    WriteOptions(junk);
    LoadOptions();
    EXPECT_EQ(OptionsSetting.Mp3Options.BitRate, 128);
    EXPECT_EQ(OptionsSetting.OggOptions.CompressPosition, 30);
    EXPECT_EQ(OptionsSetting.Lan, "English");
    EXPECT_EQ(OptionsSetting.CommonOptions.OutputFolder, Music());
}

TEST_F(OptionsTest, UnwritableFileMakesSaveFail)
{
    QDir().mkpath(Folder() + "options.ini");   // a folder where the file should be
    LoadOptions();
    EXPECT_FALSE(SaveOptions());
}

TEST_F(OptionsTest, UncreatableSettingsFolderFallsBackToProgramFolder)
{
    QFile blocker(home.filePath("config"));      // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(SettingsFolder(), ProgramFolder());
    EXPECT_EQ(OptionsFileName(), ProgramFolder() + "options.ini");
}

TEST(OptionsTables, NamesAndTexts)
{
    EXPECT_EQ(OutputFormatName(0), "MP3");
    EXPECT_EQ(OutputFormatName(1), "WAV");
    EXPECT_EQ(OutputFormatName(2), "OGG");
    EXPECT_EQ(OutputFormatName(3), "WMA");
    EXPECT_EQ(OutputFormatName(4), "FLAC");
    EXPECT_EQ(OutputFormatName(-1), "");
    EXPECT_STREQ(WMAProfiles[DEFAULT_WMA_PROFILE], "64_44_2");
    EXPECT_STREQ(WMAProfileTexts[DEFAULT_WMA_PROFILE], "44.100 kHz,  64 kbit/s, Stereo");
    EXPECT_STREQ(WMAProfileTexts[32], " 8.000 kHz,   5 kbit/s, Mono");
    EXPECT_STREQ(OggBitRateTexts[0], " Default");
    EXPECT_STREQ(OggBitRateTexts[1], " 45 kbit/s");
    EXPECT_STREQ(OggBitRateTexts[14], "320 kbit/s");

    // Each readable text tells the same bitrate, rate and channels as its profile name.
    const QRegularExpression text(R"(^ ?(\d+)\.\d{3} kHz, +(\d+) kbit/s, (Stereo|Mono)$)");
    for (int i = 0; i < WMA_PROFILE_COUNT; ++i) {
        const QStringList parts = QString::fromLatin1(WMAProfiles[i]).split(u'_');
        ASSERT_EQ(parts.size(), 3) << i;
        const auto match = text.match(QString::fromLatin1(WMAProfileTexts[i]));
        ASSERT_TRUE(match.hasMatch()) << i;
        EXPECT_EQ(match.captured(2), parts[0]) << i;
        EXPECT_EQ(match.captured(1), parts[1]) << i;
        EXPECT_EQ(match.captured(3), parts[2] == "2" ? "Stereo" : "Mono") << i;
    }
}
