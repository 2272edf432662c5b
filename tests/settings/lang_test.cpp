// Message texts from language files, where the files are looked for, and the Chinese
// language file shipped with the program.
#include "fixtures/TestUtil.h"
#include "settings/Global.h"
#include "settings/IniFile.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

namespace {

// Language files go beside the test program under a name no other test uses.
class LangTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FOldLan = OptionsSetting.Lan;
        FLanguage = QString("LangTest%1_%2")
                        .arg(QCoreApplication::applicationPid())
                        .arg(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override
    {
        OptionsSetting.Lan = FOldLan;
        QFile::remove(ProgramFolder() + "CLan_" + FLanguage + ".ini");
    }
    void WriteLanguageFile(const QByteArray& bytes)
    {
        QFile f(ProgramFolder() + "CLan_" + FLanguage + ".ini");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QString FOldLan;
    QString FLanguage;
};

// Lan=English (any case) names no file of its own: the interface's file, here none, so
// the built-in text.
TEST_F(LangTest, EnglishInAnyCaseNamesNoFileOfItsOwn)
{
    for (const char* lan : {"english", "ENGLISH", "English", "eNgLiSh"}) {
        OptionsSetting.Lan = lan;
        EXPECT_EQ(LangString("RES_Play", "Play "), "Play ") << lan;
    }
    OptionsSetting.Lan.clear();   // settings not loaded yet
    EXPECT_EQ(LangString("RES_Play", "Play "), "Play ");
}

TEST_F(LangTest, LanguageWithoutFileGivesBuiltInTexts)
{
    OptionsSetting.Lan = FLanguage;
    EXPECT_EQ(LangString("RES_Play", "Play "), "Play ");
    EXPECT_EQ(LanguageFileName(FLanguage), ProgramFolder() + "CLan_" + FLanguage + ".ini");
}

TEST_F(LangTest, LanguageFileIsFoundWhateverTheCaseOfItsName)
{
    ASSERT_TRUE(WriteAll(ProgramFolder() + "CLan_" + FLanguage + ".ini", "[ResourceString]\nRES_Play=Spielen\n"));
    for (const QString& name : {FLanguage.toLower(), FLanguage.toUpper()}) {
        OptionsSetting.Lan = name;
        EXPECT_EQ(LanguageFileName(name), ProgramFolder() + "CLan_" + FLanguage + ".ini");
        EXPECT_EQ(LangString("RES_Play", "Play "), "Spielen") << name.toStdString();
    }
}

TEST_F(LangTest, TextsComeFromResourceStringAndAreReadAfreshEachTime)
{
    WriteLanguageFile("[MainForm]\nRES_Play=wrong section\n[ResourceString]\nRES_Play=播放 \n"
                      "RES_Empty=\nRES_Clear_History=\" 条记录已被删除！\"\n");
    OptionsSetting.Lan = FLanguage;
    EXPECT_EQ(LanguageFileName(FLanguage), ProgramFolder() + "CLan_" + FLanguage + ".ini");
    EXPECT_EQ(LangString("RES_Play", "Play "), QString("播放"));
    EXPECT_EQ(LangString("res_play", "Play "), QString("播放"));   // keys ignore case
    EXPECT_EQ(LangString("RES_Missing", "built in"), "built in");   // a file older than the key
    EXPECT_EQ(LangString("RES_Empty", "built in"), "");
    EXPECT_EQ(LangString("RES_Clear_History", ""), QString(" 条记录已被删除！"));

    WriteLanguageFile("[ResourceString]\nRES_Play=Abspielen\n");
    EXPECT_EQ(LangString("RES_Play", "Play "), "Abspielen");
}

TEST_F(LangTest, GbkLanguageFilesAreRead)
{
    WriteLanguageFile("[ResourceString]\r\nRES_TitleStr=\xC2\xBC\xD2\xF4\r\n");   // "录音"
    OptionsSetting.Lan = FLanguage;
    EXPECT_EQ(LangString("RES_TitleStr", "x"), QString("录音"));
}

TEST_F(LangTest, LanguageNameCannotLeaveTheLanguageFolders)
{
    const QString name = LanguageFileName("../../etc/x");
    EXPECT_TRUE(name.startsWith(ProgramFolder()));
    EXPECT_FALSE(name.mid(ProgramFolder().size()).contains('/'));
}

// One language at a time: the interface picks the files; Lan keeps a file made for it.
class InterfaceTest : public LangTest {
protected:
    void SetUp() override
    {
        LangTest::SetUp();
        FOldInterface = OptionsSetting.Interface;
        ASSERT_TRUE(FDir.isValid());
        qputenv("VARNELCD_LANG_DIR", FDir.path().toUtf8());
        ASSERT_TRUE(WriteAll(FDir.filePath("CLan_Chinese.ini"), "[ResourceString]\nRES_X=中文\n"));
        ASSERT_TRUE(WriteAll(FDir.filePath("CLan_English.ini"), "[ResourceString]\nRES_X=English\n"));
        WriteLanguageFile("[ResourceString]\nRES_X=own\n");
    }
    void TearDown() override
    {
        qunsetenv("VARNELCD_LANG_DIR");
        SetRunInterfaceLanguage(QString());
        OptionsSetting.Interface = FOldInterface;
        LangTest::TearDown();
    }
    QTemporaryDir FDir;
    QString FOldInterface;
};

TEST_F(InterfaceTest, InterfaceAndLanPickTheMessageFile)
{
    struct {
        const char* interface;
        QString lan;
        const char* run;
        const char* text;
        const char* window;
    } cases[] = {
        {"Chinese", "English", "", "中文", "Chinese"},      // the defaults
        {"Chinese", "eNgLiSh", "", "中文", "Chinese"},
        {"", "", "", "中文", "Chinese"},                      // settings not loaded yet
        {"Chinese", "Chinese", "", "中文", "Chinese"},
        {"Chinese", FLanguage, "", "own", "Chinese"},       // a file made for Lan
        {"english", "Chinese", "", "English", "English"},   // the English interface wins
        {"English", FLanguage, "", "English", "English"},
        {"Klingon", "English", "", "中文", "Chinese"},        // anything else is Chinese
        {"Chinese", "English", "English", "English", "English"},   // --lang en
        {"English", "English", "Chinese", "中文", "Chinese"},      // --lang zh
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.interface) + "/" + c.lan.toStdString() + "/" + c.run);
        OptionsSetting.Interface = QString::fromLatin1(c.interface);
        OptionsSetting.Lan = c.lan;
        SetRunInterfaceLanguage(QString::fromLatin1(c.run));
        EXPECT_EQ(LangString("RES_X", "built in"), QString::fromUtf8(c.text));
        EXPECT_EQ(LangString("RES_Missing", "built in"), "built in");
        EXPECT_EQ(WindowLanguage("Chinese"), c.window);
        EXPECT_EQ(WindowLanguage(FLanguage), FLanguage);   // a window asking for a file by name
    }
}

TEST_F(InterfaceTest, LangArgumentsNameTheLanguages)
{
    for (const char* en : {"en", "EN", "english", " English "}) EXPECT_EQ(InterfaceLanguageFromArgument(en), "English") << en;
    for (const char* zh : {"zh", "cn", "Chinese"}) EXPECT_EQ(InterfaceLanguageFromArgument(zh), "Chinese") << zh;
    for (const char* bad : {"", "fr", "en-US"}) EXPECT_EQ(InterfaceLanguageFromArgument(bad), "") << bad;
}

// The language file the build puts beside the program.
class ChineseFile : public ::testing::Test {
protected:
    TIniFile FIni{QStringLiteral(VARNELCD_SOURCE_DIR "/resources/lang/CLan_Chinese.ini")};
};

TEST_F(ChineseFile, HasEveryMessageText)
{
    const char* keys[] = {
        "RES_Ask_RemoveTag", "RES_Check_CDRom", "RES_Check_FileName", "RES_Check_Mp3Options",
        "RES_Check_Output", "RES_Clear_History", "RES_Close_CD_Error", "RES_CreateFileError",
        "RES_CreateProcess_Error", "RES_CreateWavFileError", "RES_Create_Directory",
        "RES_Decoding", "RES_Delete_Fail", "RES_Directory_Not_Exist", "RES_Discard_Modify",
        "RES_Encoding", "RES_Extracting", "RES_File_Cannot_Create", "RES_File_Exist",
        "RES_Get_CDHandle", "RES_Have_Modify", "RES_ID3Edit_Caption", "RES_Initing",
        "RES_MCI_Init_Fail", "RES_MP3_TO_WAV", "RES_ModifyCDParmsError", "RES_NoNameStr",
        "RES_NoWmaEncoder", "RES_NotFound_CDRom", "RES_NotRead_Cd", "RES_Operate_Fail",
        "RES_Play", "RES_ReadCDAudioError", "RES_ReadTocError", "RES_RealOne_Window_Exist",
        "RES_RecordingStr", "RES_Rip_Time_Error", "RES_Run_Again", "RES_SaveTag_Error",
        "RES_Save_Error", "RES_Save_Fail", "RES_Select_0", "RES_Select_Directory",
        "RES_Select_Track", "RES_TitleStr", "RES_WAV_RESAMPLE", "RES_WAV_TO_MP3",
        "RES_WAV_TO_OGG", "RES_WAV_TO_WMA", "RES_Wav_File",
        "RES_NormalizeError", "RES_WriteWavFileError", "RES_Image_Error", "RES_Image_Missing",
        "RES_Image_NotAFile", "RES_Image_SeveralFiles", "RES_Image_NotBinary", "RES_Image_DataMissing",
        "RES_Image_LineTooLong", "RES_Image_Unreadable", "RES_Image_NoAudio"};
    // Every message the program shows has a text; later messages may add keys.
    for (const char* key : keys)
        EXPECT_FALSE(FIni.ReadString("ResourceString", key, "").isEmpty()) << key;
    EXPECT_GE(FIni.ReadSection("ResourceString").size(), qsizetype(std::size(keys)));

    // Texts that are joined after a file name or a number keep their leading blank.
    EXPECT_EQ(FIni.ReadString("ResourceString", "RES_CreateWavFileError", ""),
              QString(" 不是有效文件名。请重命名CD曲目列表中的标题。"));
    EXPECT_TRUE(FIni.ReadString("ResourceString", "RES_Clear_History", "").startsWith(' '));
    EXPECT_TRUE(FIni.ReadString("ResourceString", "RES_Play", "").endsWith(' '));
    EXPECT_EQ(FIni.ReadString("ResourceString", "RES_Check_CDRom", ""),
              QString("请检查光驱中是否插入了音乐CD！"));
}

TEST_F(ChineseFile, CaptionsTheMainWindow)
{
    EXPECT_EQ(FIni.ReadString("MainForm", "MainForm", ""), QString("VarnelCD音频转换 2.0"));
    EXPECT_EQ(FIni.ReadString("MainForm", "ToolButton1", ""), QString("抓轨"));
    EXPECT_EQ(FIni.ReadString("MainForm", "ToolButton7", ""), QString("退出"));
    EXPECT_EQ(FIni.ReadString("MainForm", "ListView1_Column3", ""), QString("大小(MB)"));
    EXPECT_EQ(FIni.ReadString("Menu_MainForm", "N1", ""), QString("文件(&F)"));
    EXPECT_EQ(FIni.ReadString("Menu_MainForm", "miActionWavToMp3", ""), QString("WAV 转 MP3..."));
    for (const char* entry : {"N2", "N3", "N4", "N5", "miaQueryCDDB", "miWindowsMediaPlayer", "mnuAbout"})
        EXPECT_FALSE(FIni.ReadString("Menu_MainForm", entry, "").isEmpty()) << entry;
}

} // namespace
