// Reading the encoders' output: real lame output fed whole and in awkward pieces, and the
// lines that must or must not give a report.
#include "encode/EncoderOutput.h"
#include "encode/EncodeTestUtil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Mode = TEncoderOutputParser::Mode;
constexpr qint64 ELAPSED_MS = 2400;   // the same wall time for every piece: reports compare equal

QVector<TProcessInfo> FeedInPieces(Mode mode, const QByteArray& bytes, const QVector<int>& sizes)
{
    TEncoderOutputParser parser(mode);
    QVector<TProcessInfo> out;
    qsizetype at = 0;
    for (int i = 0; at < bytes.size(); ++i) {
        const qsizetype n = qMin<qsizetype>(sizes[i % sizes.size()], bytes.size() - at);
        out += parser.Feed(bytes.mid(at, n), ELAPSED_MS);
        at += n;
    }
    out += parser.Finish(ELAPSED_MS);
    return out;
}

// Cuts right after every "%", "(", "#", "/", CR and LF, so that every field is split once.
QVector<TProcessInfo> FeedCutAtMarks(Mode mode, const QByteArray& bytes)
{
    TEncoderOutputParser parser(mode);
    QVector<TProcessInfo> out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (QByteArray("%(#/\r\n").contains(bytes.at(i))) {
            out += parser.Feed(bytes.mid(start, i - start + 1), ELAPSED_MS);
            start = i + 1;
        }
    }
    out += parser.Feed(bytes.mid(start), ELAPSED_MS);
    out += parser.Finish(ELAPSED_MS);
    return out;
}

bool SameReports(const QVector<TProcessInfo>& a, const QVector<TProcessInfo>& b)
{
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].Percent != b[i].Percent || a[i].ElapsedText != b[i].ElapsedText
            || a[i].TotalText != b[i].TotalText || a[i].ErrorCode != b[i].ErrorCode)
            return false;
    return true;
}

class RealLameOutput : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(Dir.isValid());
        Wav = Dir.filePath("tone #1 50%.wav");   // "#" and "%" in the names lame prints
        Mp3 = Dir.filePath("tone #1 50%.mp3");
        ASSERT_TRUE(WriteToneWav(Wav, 8));
        EncodeBytes = RunAndCapture("lame", {"-b", "128", "-m", "j", Wav, Mp3});
        DecodeBytes = RunAndCapture("lame", {"--decode", Mp3, Dir.filePath("back.wav")});
        ASSERT_FALSE(EncodeBytes.isEmpty());
        ASSERT_FALSE(DecodeBytes.isEmpty());
    }
    static inline QTemporaryDir Dir;
    static inline QString Wav, Mp3;
    static inline QByteArray EncodeBytes, DecodeBytes;
};

void ExpectRisingTo100(const QVector<TProcessInfo>& reports)
{
    ASSERT_FALSE(reports.isEmpty());
    for (qsizetype i = 0; i < reports.size(); ++i) {
        EXPECT_GE(reports[i].Percent, 1);
        EXPECT_LE(reports[i].Percent, 100);
        if (i > 0) {
            EXPECT_GE(reports[i].Percent, reports[i - 1].Percent);
        }
        EXPECT_FALSE(reports[i].ElapsedText.isEmpty());
        EXPECT_FALSE(reports[i].TotalText.isEmpty());
    }
    EXPECT_EQ(reports.last().Percent, 100);
}

TEST_F(RealLameOutput, EncodeAndDecodeReadTheSameWholeOrInAwkwardPieces)
{
    for (const auto& [mode, bytes] : {std::pair{Mode::Mp3Encode, EncodeBytes}, std::pair{Mode::Mp3Decode, DecodeBytes}}) {
        SCOPED_TRACE(mode == Mode::Mp3Encode ? "encode" : "decode");
        const QVector<TProcessInfo> whole = FeedInPieces(mode, bytes, {int(bytes.size())});
        ExpectRisingTo100(whole);
        for (const QVector<int>& sizes : {QVector<int>{1}, QVector<int>{2, 3}, QVector<int>{7, 13, 64}, QVector<int>{17}}) {
            SCOPED_TRACE(sizes.first());
            EXPECT_TRUE(SameReports(whole, FeedInPieces(mode, bytes, sizes)));
        }
        EXPECT_TRUE(SameReports(whole, FeedCutAtMarks(mode, bytes)));
    }
    // lame's own times, as printed; the decoder's from the wall time (2.4 s -> 00:02).
    const QVector<TProcessInfo> encoded = FeedInPieces(Mode::Mp3Encode, EncodeBytes, {4096});
    EXPECT_TRUE(encoded.last().ElapsedText.contains(':'));
    const QVector<TProcessInfo> decoded = FeedInPieces(Mode::Mp3Decode, DecodeBytes, {4096});
    EXPECT_EQ(decoded.last().ElapsedText, "00:02");
    EXPECT_EQ(decoded.last().TotalText, "00:02");
}

TEST(EncodeLines, PercentColumnAndValues)
{
    // The first progress line places the column at "%" - 3 (here 15).
    const QString first = "     0/       ( 0%)|    0:00/     :  |    0:00/     :  |         x|     :  ";
    const QString line86 = "   100/116    (86%)|    0:01/    0:02|    0:00/    0:00|   94.404x|    0:00 ";
    int column = 0;
    EXPECT_FALSE(ParseEncodeLine(first, column));   // 0 % is never posted
    EXPECT_EQ(column, 15);
    const auto r = ParseEncodeLine(line86, column);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Percent, 86);
    EXPECT_EQ(r->ElapsedText, "0:01");
    EXPECT_EQ(r->TotalText, "0:02");

    struct Case { const char* window; std::optional<int> percent; } cases[] = {
        {" (5", 5}, {"(5 ", 5}, {"abc", std::nullopt}, {"  0", std::nullopt}, {"101", std::nullopt},
        {"100", 100}, {"(1)", std::nullopt}, {"", std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.window);
        // Column 15 holds the window; a "%" later on the line marks it a progress line.
        const QString line = QString(14, ' ') + QString(c.window).leftJustified(3, ' ') + "%)|    0:01/    0:02|";
        int col = 15;
        const auto info = ParseEncodeLine(line, col);
        EXPECT_EQ(info ? std::optional<int>(info->Percent) : std::nullopt, c.percent);
    }
}

TEST(EncodeLines, ColumnIsOnlyFoundOnAProgressLine)
{
    int column = 0;
    // A "%" in column 3 or earlier gives no column, and no report, until a later line sets it.
    EXPECT_FALSE(ParseEncodeLine("5%)|    0:01/    0:02|", column));
    EXPECT_EQ(column, 0);
    // A file name with "%" (lame prints it before the first progress line) places nothing.
    EXPECT_FALSE(ParseEncodeLine("Encoding /music/50% off.wav to /music/50% off.mp3", column));
    EXPECT_EQ(column, 0);
    // Lines without "%" give nothing once the column is known.
    const auto r = ParseEncodeLine("    58/116    (50%)|    0:00/    0:00|", column);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Percent, 50);
    EXPECT_FALSE(ParseEncodeLine("Writing LAME Tag...done", column));
}

TEST(DecodeLines, FramesTotalsAndTimes)
{
    struct Case { const char* line; qint64 ms; int percent; const char* elapsed; const char* total; } cases[] = {
        {"Frame#    58/116    128 kbps   MS", 3000, 50, "00:03", "00:06"},
        {"Frame#   116/116    128 kbps   MS", 61400, 100, "01:01", "01:01"},
        {"Frame#     1/300    128 kbps   MS", 1000, 0, "", ""},      // 0 %: nothing
        {"Frame#     5/0      128 kbps   MS", 1000, 0, "", ""},      // a total of 0: nothing
        {"Frame#   abc/116    128 kbps   MS", 1000, 0, "", ""},
        {"Frame#   300/116    128 kbps   MS", 1000, 0, "", ""},      // above 100: dropped
        {"Frame#    39/116    128 kbps   MS", 7000, 33, "00:07", "00:21"},
        {"Frame#    58/116", 3600 * 1000 + 400, 50, "60:00", "120:00"},   // minutes beyond 59
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        int column = 0;
        const auto info = ParseDecodeLine(c.line, column, c.ms);
        EXPECT_EQ(column, 7);
        if (c.percent == 0) {
            EXPECT_FALSE(info);
            continue;
        }
        ASSERT_TRUE(info);
        EXPECT_EQ(info->Percent, c.percent);
        EXPECT_EQ(info->ElapsedText, c.elapsed);
        EXPECT_EQ(info->TotalText, c.total);
    }
    // A "#" in a file name printed before the progress places no column.
    int column = 0;
    EXPECT_FALSE(ParseDecodeLine("input:  /music/track#1.mp3  (44.1 kHz, 2 channels)", column, 0));
    EXPECT_EQ(column, 0);
}

TEST(WmaOutput, ErrorStopsThePieceAndHundredReportsAtLeastOneSecond)
{
    TEncoderOutputParser parser(Mode::Wma);
    // 50 %, then an error, then 100 %: only the error, with its line untrimmed.
    auto out = parser.Feed("Encoding: 50%\r\n  ERROR: cannot read the input file x.wav \nDone: 100%\n", 800);
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].Percent, ProgressCode::WmaEncoderEnd);
    EXPECT_EQ(out[0].ErrorCode, 8);
    EXPECT_EQ(out[0].ElapsedText, "  ERROR: cannot read the input file x.wav ");

    // "100%" within the first half second reports one second; a cut line is joined.
    parser.Reset(Mode::Wma);
    EXPECT_TRUE(parser.Feed("Done: 10", 300).isEmpty());
    out = parser.Feed("0%\n", 300);
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].Percent, 100);
    EXPECT_EQ(out[0].ElapsedText, "00:01");
    EXPECT_EQ(out[0].TotalText, "00:01");
    out = parser.Feed("Done: 100%", 125700);
    out += parser.Finish(125700);
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].ElapsedText, "02:06");
    EXPECT_TRUE(parser.Feed("Encoding: 99%\nerror in lower case\n", 0).isEmpty());
}

} // namespace
