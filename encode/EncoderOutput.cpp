// Progress and error lines of the outside encoders.
#include "encode/EncoderOutput.h"

#include "settings/Global.h"

namespace {

constexpr int PERCENT_WIDTH = 3;       // "(86" / "100" before the "%"
constexpr int TIME_WIDTH = 8;          // lame's time fields
constexpr int ELAPSED_COLUMN = 21;     // lame's CPU elapsed time
constexpr int ESTIMATED_COLUMN = 30;   // lame's CPU estimated time
constexpr int FRAME_WIDTH = 6;         // lame's decoder frame counters
constexpr qsizetype MAX_PENDING_LINE = 64 * 1024;

// Removes leading and trailing blanks and control characters (code points up to U+0020).
QString TrimControls(const QString& s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s.at(begin).unicode() <= 0x20) ++begin;
    while (end > begin && s.at(end - 1).unicode() <= 0x20) --end;
    return s.mid(begin, end - begin);
}

// count characters from the 1-based column (nothing for a column past the end).
QString Columns(const QString& line, int column, int count)
{
    if (column < 1 || column > line.size()) return {};
    return line.mid(column - 1, count);
}

int DecimalOr(const QString& text, int fallback)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : fallback;
}

bool Reportable(int percent) { return percent >= 1 && percent <= 100; }

} // namespace

QString MinutesSeconds(qint64 seconds)
{
    if (seconds < 0) seconds = 0;
    return TwoDigits(int(seconds / 60)) + QLatin1Char(':') + TwoDigits(int(seconds % 60));
}

qint64 RoundedSeconds(qint64 milliseconds)
{
    return milliseconds < 0 ? 0 : (milliseconds + 500) / 1000;
}

std::optional<TProcessInfo> ParseEncodeLine(const QString& line, int& progressColumn)
{
    if (!line.contains(QLatin1Char('%'))) return std::nullopt;
    // Only a real progress line (the percentage in parentheses before the bar) places the
    // column: a file name with a percent sign, printed before the first progress line,
    // must not. A column that would lie before the line's start is no column.
    if (progressColumn == 0 && line.contains(QLatin1String("%)|"))) {
        const int column = int(line.indexOf(QLatin1Char('%'))) + 1 - PERCENT_WIDTH;
        progressColumn = column >= 1 ? column : 0;
    }
    if (progressColumn == 0) return std::nullopt;

    QString text = TrimControls(Columns(line, progressColumn, PERCENT_WIDTH));
    if (text.startsWith(QLatin1Char('('))) text = TrimControls(text.mid(1));
    TProcessInfo info;
    info.Percent = DecimalOr(text, 0);
    if (!Reportable(info.Percent)) return std::nullopt;
    info.ElapsedText = TrimControls(Columns(line, ELAPSED_COLUMN, TIME_WIDTH));
    info.TotalText = TrimControls(Columns(line, ESTIMATED_COLUMN, TIME_WIDTH));
    return info;
}

std::optional<TProcessInfo> ParseDecodeLine(const QString& line, int& progressColumn, qint64 elapsedMs)
{
    // The decoder prints the input and output names first; a "#" in a name must not place
    // the column, so only the progress line's own "Frame#" does.
    if (progressColumn == 0) {
        const qsizetype at = line.indexOf(QLatin1String("Frame#"));
        if (at >= 0) progressColumn = int(at) + 6 + 1;   // the column after "#"
    }
    if (progressColumn == 0) return std::nullopt;

    const int frame = DecimalOr(TrimControls(Columns(line, progressColumn, FRAME_WIDTH)), -1);
    const int total = DecimalOr(TrimControls(Columns(line, progressColumn + FRAME_WIDTH + 1, FRAME_WIDTH)), -1);
    if (frame < 0 || total <= 0) return std::nullopt;

    TProcessInfo info;
    info.Percent = int(qint64(frame) * 100 / total);
    if (!Reportable(info.Percent)) return std::nullopt;
    const qint64 elapsed = RoundedSeconds(elapsedMs);
    info.ElapsedText = MinutesSeconds(elapsed);
    info.TotalText = MinutesSeconds(RoundedSeconds(elapsed * 100 * 1000 / info.Percent));
    return info;
}

std::optional<TProcessInfo> ParseWmaLine(const QString& line, qint64 elapsedMs)
{
    TProcessInfo info;
    if (line.contains(QLatin1String("ERROR"))) {
        info.Percent = ProgressCode::WmaEncoderEnd;
        info.ErrorCode = 8;
        info.ElapsedText = line;
        return info;
    }
    if (!line.contains(QLatin1String("100%"))) return std::nullopt;
    info.Percent = 100;
    info.ElapsedText = MinutesSeconds(qMax<qint64>(1, RoundedSeconds(elapsedMs)));
    info.TotalText = info.ElapsedText;
    return info;
}

void TEncoderOutputParser::Reset(Mode mode)
{
    FMode = mode;
    FProgressColumn = 0;
    FPending.clear();
}

bool TEncoderOutputParser::ParseLine(const QByteArray& bytes, qint64 elapsedMs, QVector<TProcessInfo>& out)
{
    const QString line = QString::fromLocal8Bit(bytes);
    if (TrimControls(line).isEmpty()) return true;
    std::optional<TProcessInfo> info;
    switch (FMode) {
    case Mode::Mp3Encode: info = ParseEncodeLine(line, FProgressColumn); break;
    case Mode::Mp3Decode: info = ParseDecodeLine(line, FProgressColumn, elapsedMs); break;
    case Mode::Wma: info = ParseWmaLine(line, elapsedMs); break;
    }
    if (!info) return true;
    out.append(*info);
    return info->Percent <= 100;   // an error line ends the piece
}

QVector<TProcessInfo> TEncoderOutputParser::Feed(const QByteArray& piece, qint64 elapsedMs)
{
    QVector<TProcessInfo> out;
    QByteArray data = FPending + piece;
    FPending.clear();
    qsizetype start = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data.at(i);
        if (c != '\r' && c != '\n') continue;
        if (!ParseLine(data.mid(start, i - start), elapsedMs, out))
            return out;   // the rest of this piece is not read
        start = i + 1;
    }
    FPending = data.mid(start);
    // A child that never ends its line must not grow the buffer without bound: a long
    // unfinished piece is read as a line of its own, as it arrived.
    if (FPending.size() > MAX_PENDING_LINE) {
        const QByteArray piece = FPending;
        FPending.clear();
        ParseLine(piece, elapsedMs, out);
    }
    return out;
}

QVector<TProcessInfo> TEncoderOutputParser::Finish(qint64 elapsedMs)
{
    QVector<TProcessInfo> out;
    const QByteArray last = FPending;
    FPending.clear();
    if (!last.isEmpty()) ParseLine(last, elapsedMs, out);
    return out;
}
