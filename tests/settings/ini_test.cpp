// TIniFile and the text decoding it reads files with.
#include "fixtures/TestUtil.h"
#include "platform/TextCodec.h"
#include "settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

namespace {

class IniFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString Path(const QString& name = QStringLiteral("test.ini")) const { return dir.filePath(name); }
};

} // namespace

TEST(TextCodec, DecodesUtf8GbkAndSkipsBom)
{
    const QString chinese = QStringLiteral("Varnel软件");
    EXPECT_EQ(DecodeText(chinese.toUtf8()), chinese);
    EXPECT_EQ(DecodeText("\xEF\xBB\xBF" + chinese.toUtf8()), chinese);
    // "软件" in GBK: not valid UTF-8, so read as GBK.
    EXPECT_EQ(DecodeText(QByteArray("Varnel\xC8\xED\xBC\xFE")), chinese);
    EXPECT_EQ(EncodeText(chinese), chinese.toUtf8());
    // Overlong forms, surrogates and truncated sequences are not UTF-8.
    EXPECT_NE(DecodeText(QByteArray("\xC0\xAF")), QStringLiteral("/"));
    EXPECT_FALSE(DecodeText(QByteArray("\xED\xA0\x80")).isEmpty());
    EXPECT_FALSE(DecodeText(QByteArray("abc\xE4\xB8")).isEmpty());
    EXPECT_TRUE(DecodeText(QByteArray()).isEmpty());
}

TEST_F(IniFileTest, MissingFileReadsDefaultsAndIsCreatedOnUpdate)
{
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("S", "K", "def"), "def");
    EXPECT_EQ(ini.ReadInteger("S", "K", -7), -7);
    EXPECT_TRUE(ini.ReadBool("S", "K", true));
    EXPECT_FALSE(ini.SectionExists("S"));
    ini.WriteString("S", "K", "v");
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadAll(Path()), QByteArray("[S]\nK=v\n"));
}

TEST_F(IniFileTest, CaseInsensitiveTrimmedFirstOccurrenceWinsQuotesStripped)
{
    ASSERT_TRUE(WriteAll(Path(), "; comment\n"
                                 "stray=before any section\n"
                                 "[Common]\n"
                                 "  Name  =  Value with spaces  \n"
                                 "name=second\n"
                                 "Quoted=\"  padded \"\n"
                                 "Single='x'\n"
                                 "Half=\"x\n"
                                 ";Name=commented\n"
                                 "junk line without equals\n"
                                 "=no key\n"
                                 "Empty=\n"
                                 "[common]\n"
                                 "Other=in duplicate section\n"));
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("COMMON", "NAME", "d"), "Value with spaces");
    EXPECT_EQ(ini.ReadString(" common ", "name", "d"), "Value with spaces");
    EXPECT_EQ(ini.ReadString("Common", "Quoted", "d"), "  padded ");
    EXPECT_EQ(ini.ReadString("Common", "Single", "d"), "x");
    EXPECT_EQ(ini.ReadString("Common", "Half", "d"), "\"x");
    EXPECT_EQ(ini.ReadString("Common", "Empty", "d"), "");
    EXPECT_EQ(ini.ReadString("Common", "Other", "d"), "d");
    EXPECT_EQ(ini.ReadString("Common", "stray", "d"), "d");
    EXPECT_EQ(ini.ReadString("Common", ";Name", "d"), "d");
    EXPECT_EQ(ini.ReadSections(), QStringList({"Common"}));
    EXPECT_EQ(ini.ReadSection("common"), QStringList({"Name", "Quoted", "Single", "Half", "Empty"}));
    EXPECT_TRUE(ini.ValueExists("common", "empty"));
    EXPECT_FALSE(ini.ValueExists("common", "junk line without equals"));
}

TEST_F(IniFileTest, IntegersAndBooleans)
{
    ASSERT_TRUE(WriteAll(Path(), "[N]\nDec=42\nNeg=-17\nPlus=+5\nHex=0x1F\nHexUpper=0XfF\n"
                                 "HexAll=0xFFFFFFFF\nHexBig=0x100000000\nMax=2147483647\n"
                                 "Min=-2147483648\nOver=2147483648\nUnder=-2147483649\n"
                                 "Junk=12abc\nSpace=1 2\nJustX=0x\nSign=-\nQuoted=\"7\"\n"
                                 "Yes=yes\nZero=0\nTwo=2\n"));
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadInteger("N", "Dec", 0), 42);
    EXPECT_EQ(ini.ReadInteger("N", "Neg", 0), -17);
    EXPECT_EQ(ini.ReadInteger("N", "Plus", 0), 5);
    EXPECT_EQ(ini.ReadInteger("N", "Hex", 0), 31);
    EXPECT_EQ(ini.ReadInteger("N", "HexUpper", 0), 255);
    EXPECT_EQ(ini.ReadInteger("N", "HexAll", 0), -1);
    EXPECT_EQ(ini.ReadInteger("N", "Max", 0), 2147483647);
    EXPECT_EQ(ini.ReadInteger("N", "Min", 0), -2147483647 - 1);
    EXPECT_EQ(ini.ReadInteger("N", "Quoted", 0), 7);
    for (const char* bad : {"HexBig", "Over", "Under", "Junk", "Space", "JustX", "Sign", "Yes"})
        EXPECT_EQ(ini.ReadInteger("N", bad, 99), 99) << bad;
    EXPECT_FALSE(ini.ReadBool("N", "Yes", false));
    EXPECT_TRUE(ini.ReadBool("N", "Yes", true));
    EXPECT_FALSE(ini.ReadBool("N", "Zero", true));
    EXPECT_TRUE(ini.ReadBool("N", "Two", false));

    ini.WriteBool("B", "T", true);
    ini.WriteBool("B", "F", false);
    ini.WriteInteger("B", "I", -2147483647 - 1);
    EXPECT_EQ(ini.ReadString("B", "T", ""), "1");
    EXPECT_EQ(ini.ReadString("B", "F", ""), "0");
    EXPECT_EQ(ini.ReadInteger("B", "I", 0), -2147483647 - 1);
}

TEST_F(IniFileTest, LongValuesAreCutAt2047Characters)
{
    const QByteArray longValue(5000, 'a');
    ASSERT_TRUE(WriteAll(Path(), "[S]\nLong=" + longValue + "\nAfter=ok\n"));
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString("S", "Long", "").size(), TIniFile::MaxValueLength);
    EXPECT_EQ(ini.ReadString("S", "After", ""), "ok");
    // The line itself is kept whole when another key is written.
    ini.WriteString("S", "After", "changed");
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_TRUE(ReadAll(Path()).contains("Long=" + longValue + "\n"));
}

TEST_F(IniFileTest, InPlaceUpdateKeepsEverythingElse)
{
    const QByteArray original = "; settings of the user\r\n"
                                "[Unknown]\r\n"
                                "Foo = bar\r\n"
                                "\r\n"
                                "[Main]\r\n"
                                "Alpha = 1 ; not a comment\r\n"
                                "junk\r\n"
                                "Beta=2\r\n"
                                "\r\n"
                                "; trailing comment of Main\r\n"
                                "[Last]\r\n"
                                "X=y\r\n";
    ASSERT_TRUE(WriteAll(Path(), original));
    TIniFile ini(Path());
    ini.WriteString("MAIN", "alpha", "one");
    ini.WriteString("Main", "Gamma", "3");
    ini.WriteString("Empty", "K", "v");
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadAll(Path()), QByteArray("; settings of the user\r\n"
                                          "[Unknown]\r\n"
                                          "Foo = bar\r\n"
                                          "\r\n"
                                          "[Main]\r\n"
                                          "Alpha = one\r\n"
                                          "junk\r\n"
                                          "Beta=2\r\n"
                                          "Gamma=3\r\n"
                                          "\r\n"
                                          "; trailing comment of Main\r\n"
                                          "[Last]\r\n"
                                          "X=y\r\n"
                                          "[Empty]\r\n"
                                          "K=v\r\n"));
    // A header without keys gets its first key right after it.
    TIniFile again(Path(), "[A]\n\n[B]\nx=1\n");
    again.WriteString("A", "k", "v");
    EXPECT_EQ(again.ToBytes(), QByteArray("[A]\nk=v\n\n[B]\nx=1\n"));
}

TEST_F(IniFileTest, WrittenValuesCannotBreakTheFileAndReadBackUnchanged)
{
    TIniFile ini(Path());
    ini.WriteString("S", "Multi", "line1\r\nline2\n[Injected]\nk=v");
    ini.WriteString("S", "Padded", "  x  ");
    ini.WriteString("S", "Quoted", "\"q\"");
    ini.WriteString("S", "Bad=Key", "v");
    ini.WriteString("S", "Bad\nKey", "v");
    ini.WriteString("Bad]Section", "K", "v");
    ini.WriteString("", "K", "v");
    ASSERT_TRUE(ini.UpdateFile());

    TIniFile reread(Path());
    EXPECT_EQ(reread.ReadSections(), QStringList({"S"}));
    EXPECT_EQ(reread.ReadSection("S"), QStringList({"Multi", "Padded", "Quoted"}));
    EXPECT_EQ(reread.ReadString("S", "Multi", ""), "line1  line2 [Injected] k=v");
    EXPECT_EQ(reread.ReadString("S", "Padded", ""), "  x  ");
    EXPECT_EQ(reread.ReadString("S", "Quoted", ""), "\"q\"");
}

TEST_F(IniFileTest, GbkFileIsReadAndRewrittenAsUtf8)
{
    // [中文]\n名称=软件\n in GBK
    ASSERT_TRUE(WriteAll(Path(), "[\xD6\xD0\xCE\xC4]\n\xC3\xFB\xB3\xC6=\xC8\xED\xBC\xFE\nOther=1\n"));
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString(QStringLiteral("中文"), QStringLiteral("名称"), ""), QStringLiteral("软件"));
    ini.WriteInteger(QStringLiteral("中文"), "Other", 2);
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadAll(Path()), QStringLiteral("[中文]\n名称=软件\nOther=2\n").toUtf8());

    ASSERT_TRUE(WriteAll(Path("bom.ini"), "\xEF\xBB\xBF[S]\nK=" + QStringLiteral("值").toUtf8() + "\n"));
    EXPECT_EQ(TIniFile(Path("bom.ini")).ReadString("s", "k", ""), QStringLiteral("值"));
}

TEST_F(IniFileTest, UnwritableTargetReportsFailureAndKeepsOldFile)
{
    // The folder does not exist.
    TIniFile missingFolder(dir.filePath("no/such/folder/x.ini"));
    missingFolder.WriteString("S", "K", "v");
    EXPECT_FALSE(missingFolder.UpdateFile());

    // The target is a folder.
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ini"));
    TIniFile folder(Path("folder.ini"));
    folder.WriteString("S", "K", "v");
    EXPECT_FALSE(folder.UpdateFile());
    EXPECT_TRUE(QFileInfo(Path("folder.ini")).isDir());

    // A file too large to be read is never overwritten.
    {
        QFile big(Path("big.ini"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(TIniFile::MaxFileSize + 1));
    }
    TIniFile big(Path("big.ini"));
    big.WriteString("S", "K", "v");
    EXPECT_FALSE(big.UpdateFile());
    EXPECT_EQ(QFileInfo(Path("big.ini")).size(), TIniFile::MaxFileSize + 1);
}

TEST_F(IniFileTest, BinaryJunkDoesNotCrashAndSurvivesRewrite)
{
    QByteArray junk;
    for (int i = 0; i < 4096; ++i) junk.append(char((i * 7919) & 0xFF));
    junk.append(QByteArray("\0[S]\0\nK=\0v\n", 12));
    ASSERT_TRUE(WriteAll(Path(), junk));
    TIniFile ini(Path());
    (void)ini.ReadSections();
    ini.WriteString("New", "Key", "value");
    ASSERT_TRUE(ini.UpdateFile());
    TIniFile reread(Path());
    EXPECT_EQ(reread.ReadString("New", "Key", ""), "value");
}

TEST_F(IniFileTest, EraseSectionAndDeleteKey)
{
    TIniFile ini(Path(), "[A]\nx=1\ny=2\nX=3\n[B]\nz=1\n[a]\nw=1\n");
    ini.DeleteKey("a", "X");
    EXPECT_EQ(ini.ReadSection("A"), QStringList({"y"}));
    ini.EraseSection("A");
    EXPECT_EQ(ini.ToBytes(), QByteArray("[B]\nz=1\n"));
}
