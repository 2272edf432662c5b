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

TEST_F(IniFileTest, GbkFileIsReadAndChangedLinesAreWrittenAsUtf8)
{
    // [中文]\n名称=软件\n in GBK
    ASSERT_TRUE(WriteAll(Path(), "[\xD6\xD0\xCE\xC4]\n\xC3\xFB\xB3\xC6=\xC8\xED\xBC\xFE\nOther=1\n"));
    TIniFile ini(Path());
    EXPECT_EQ(ini.ReadString(QStringLiteral("中文"), QStringLiteral("名称"), ""), QStringLiteral("软件"));
    ini.WriteString(QStringLiteral("中文"), "Other", QStringLiteral("二"));
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadAll(Path()), "[\xD6\xD0\xCE\xC4]\n\xC3\xFB\xB3\xC6=\xC8\xED\xBC\xFE\nOther=" + QStringLiteral("二").toUtf8() + "\n");

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

TEST(TextCodec, Utf8CheckRejectsSurrogatesOverlongFormsAndTruncation)
{
    struct Case {
        QByteArray bytes;
        bool valid;
    };
    const Case cases[] = {
        {"plain", true},
        {"\xED\x9F\xBF", true},           // U+D7FF, just below the surrogates
        {"\xED\xA0\x80", false},          // U+D800
        {"\xED\xBF\xBF", false},          // U+DFFF
        {"\xEE\x80\x80", true},           // U+E000, just above
        {"\xC0\xAF", false},              // "/" in two bytes
        {"\xC1\xBF", false},
        {"\xC2\x80", true},
        {"\xE0\x80\xAF", false},          // "/" in three bytes
        {"\xE0\x9F\xBF", false},
        {"\xE0\xA0\x80", true},
        {"\xF0\x80\x80\xAF", false},      // "/" in four bytes
        {"\xF0\x8F\xBF\xBF", false},
        {"\xF0\x90\x80\x80", true},
        {"\xF4\x8F\xBF\xBF", true},       // U+10FFFF
        {"\xF4\x90\x80\x80", false},      // above U+10FFFF
        {"\xF5\x80\x80\x80", false},
        {"abc\xE4\xB8", false},           // cut short
        {"\xE4\xB8\x41", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << c.bytes.toHex().toStdString();
}

TEST(TextCodec, EachLineIsDecodedOnItsOwn)
{
    bool clean = false;
    EXPECT_EQ(DecodeLine("\xC8\xED\xBC\xFE", &clean), QStringLiteral("软件"));
    EXPECT_TRUE(clean);
    EXPECT_EQ(DecodeLine(QStringLiteral("晴天").toUtf8(), &clean), QStringLiteral("晴天"));
    EXPECT_TRUE(clean);
    DecodeLine("Caf\xE9 Tacuba", &clean);   // Latin-1: neither UTF-8 nor GBK
    EXPECT_FALSE(clean);
    // One GBK line does not turn the UTF-8 lines of the same text into GBK.
    EXPECT_EQ(DecodeText(QStringLiteral("晴天\n").toUtf8() + "\xC8\xED\xBC\xFE\n" + QStringLiteral("周杰伦").toUtf8()),
              QStringLiteral("晴天\n软件\n周杰伦"));
}

TEST_F(IniFileTest, SaveOfAMixedFileChangesOnlyTheChangedLines)
{
    // UTF-8, GBK and Latin-1 sections in one file, as a cache built over the years holds them.
    const QByteArray utf8 = "[111]\n" + QStringLiteral("Artist=周杰伦\n1=晴天\n").toUtf8();
    const QByteArray latin1 = "[222]\nArtist=Caf\xE9 Tacuba\n1=Eres\n";
    const QByteArray gbk = "[333]\nArtist=\xC8\xED\xBC\xFE\n1=Old\n";
    ASSERT_TRUE(WriteAll(Path(), utf8 + latin1 + gbk));
    {
        TIniFile ini(Path());
        EXPECT_EQ(ini.ReadString("111", "Artist", ""), QStringLiteral("周杰伦"));
        EXPECT_EQ(ini.ReadString("333", "Artist", ""), QStringLiteral("软件"));
        // A save writes every field back as read, and changes one title.
        for (const char* section : {"111", "222", "333"}) {
            ini.WriteString(section, "Artist", ini.ReadString(section, "Artist", ""));
            ini.WriteString(section, "1", ini.ReadString(section, "1", ""));
        }
        ini.WriteString("333", "1", QStringLiteral("新"));
        ASSERT_TRUE(ini.UpdateFile());
    }
    EXPECT_EQ(ReadAll(Path()), utf8 + latin1 + "[333]\nArtist=\xC8\xED\xBC\xFE\n1=" + QStringLiteral("新").toUtf8() + "\n");
}

TEST_F(IniFileTest, UntouchedFileIsWrittenBackByteForByte)
{
    const QByteArray files[] = {
        "",
        "no header\nk=v",
        "\xEF\xBB\xBF[S]\r\nK=v\r\n\r\n[T]\r\nX=1",
        "[A]\nk=1\n[a]\nk=2\n   [B] trailing\n;c\n",
        "[Only]",
    };
    for (const QByteArray& bytes : files) {
        TIniFile ini(Path(), bytes);
        ini.ReadString("A", "k", "");   // decodes one section, leaves the others as scanned
        EXPECT_EQ(ini.ToBytes(), bytes) << bytes.toStdString();
    }
    // A key added after a last line without a line break starts a line of its own.
    TIniFile ini(Path(), "[S]\nK=1");
    ini.WriteString("S", "L", "2");
    ini.WriteString("T", "M", "3");
    EXPECT_EQ(ini.ToBytes(), QByteArray("[S]\nK=1\nL=2\n[T]\nM=3\n"));
    TIniFile header(Path(), "[S]");
    header.WriteString("S", "K", "1");
    EXPECT_EQ(header.ToBytes(), QByteArray("[S]\nK=1\n"));
}
