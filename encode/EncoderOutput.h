#pragma once
// Reading what the outside encoders print. The encoders write progress lines to their
// standard output or error in pieces of any size; a TEncoderOutputParser joins the pieces
// into lines and turns each line into progress reports (Percent 1..100) or, for the WMA
// encoder, into an error notification (Percent 5000, ErrorCode 8, ElapsedText = the line).
//
// Lines end at CR, LF or CR LF. A piece that ends inside a line is kept until the rest of
// the line arrives (or until Finish), so a line cut in two by the pipe reads the same as a
// whole one.
#include "platform/ProcessInfo.h"
#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

// "mm:ss": minutes (not limited to 59) and seconds, each at least two digits.
QString MinutesSeconds(qint64 seconds);

// Whole seconds from milliseconds, to the nearest second.
qint64 RoundedSeconds(qint64 milliseconds);

// One line of lame's encoding progress: "   100/1150  ( 9%)|    0:00/    0:01|...". The
// percentage stands in the three columns before "%"; the encoder's own elapsed and
// estimated times stand in the 8 columns from column 21 and from column 30. progressColumn
// (1-based, 0 = not found yet) is found on the first progress line ("%)|") and then used
// for every line holding "%". Reports only 1..100.
std::optional<TProcessInfo> ParseEncodeLine(const QString& line, int& progressColumn);

// One line of lame's decoding progress: "Frame#   116/1150  128 kbps ...". The frame
// number is right-aligned in the 6 columns after "#", the total in the 6 columns after the
// slash. The column is found on the first line holding "Frame#". Elapsed and estimated
// total come from the wall time since the child started. Reports only 1..100.
std::optional<TProcessInfo> ParseDecodeLine(const QString& line, int& progressColumn, qint64 elapsedMs);

// One line of the WMA encoder: a line containing "ERROR" gives Percent 5000 with
// ErrorCode 8 and the untrimmed line; one containing "100%" gives Percent 100 with the
// elapsed time (at least one second) as both times.
std::optional<TProcessInfo> ParseWmaLine(const QString& line, qint64 elapsedMs);

class TEncoderOutputParser {
public:
    enum class Mode { Mp3Encode, Mp3Decode, Wma };

    explicit TEncoderOutputParser(Mode mode = Mode::Mp3Encode) : FMode(mode) {}

    // A new run: forgets the column and any unfinished line.
    void Reset(Mode mode);

    // The reports of the complete lines that this piece finishes, in order. After a WMA
    // error line the rest of the piece is not read.
    QVector<TProcessInfo> Feed(const QByteArray& piece, qint64 elapsedMs);

    // The child has ended: the unfinished last line, if any, is read as a line.
    QVector<TProcessInfo> Finish(qint64 elapsedMs);

    int ProgressColumn() const { return FProgressColumn; }
    Mode ParserMode() const { return FMode; }

private:
    bool ParseLine(const QByteArray& bytes, qint64 elapsedMs, QVector<TProcessInfo>& out);

    Mode FMode;
    int FProgressColumn = 0;
    QByteArray FPending;
};
