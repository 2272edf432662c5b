#include "platform/TagRecord.h"

#include <QRegularExpression>

QString NumberOfTotal(int number, int total)
{
    if (number <= 0)
        return QString();
    return total > 0 ? QStringLiteral("%1/%2").arg(number).arg(total) : QString::number(number);
}

QString TrackNumberText(const TTagRecord& tag)
{
    if (!tag.HiddenTrack)
        return NumberOfTotal(tag.Track, tag.TrackTotal);
    return tag.TrackTotal > 0 ? QStringLiteral("0/%1").arg(tag.TrackTotal) : QStringLiteral("0");
}

void ParseNumberOfTotal(const QString& text, int& number, int& total)
{
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    bool ok = false;
    const int n = text.left(slash < 0 ? text.size() : slash).trimmed().toInt(&ok);
    number = ok && n > 0 ? n : 0;
    if (slash >= 0) {
        const int t = text.mid(slash + 1).trimmed().toInt(&ok);
        total = ok && t > 0 ? t : 0;
    }
}

QString FormatReplayGain(double gain)
{
    // Never "-0.00 dB".
    const double rounded = std::round(gain * 100.0) / 100.0;
    return QString::number(rounded == 0.0 ? 0.0 : rounded, 'f', 2) + QStringLiteral(" dB");
}

QString FormatReplayPeak(double peak)
{
    return QString::number(peak, 'f', 6);
}

double ParseReplayGain(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*([+-]?[0-9]+(?:\\.[0-9]*)?)\\s*(?:dB)?\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : NAN;
}

double ParseReplayPeak(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && value >= 0.0 && std::isfinite(value) ? value : NAN;
}

QString CleanReadText(const QString& text)
{
    qsizetype end = text.indexOf(QChar(0));
    if (end < 0)
        end = text.size();
    end = std::min<qsizetype>(end, MaxTagText);
    // Never between the halves of a surrogate pair.
    if (end > 0 && end < text.size() && text.at(end - 1).isHighSurrogate())
        --end;
    return text.left(end);
}
