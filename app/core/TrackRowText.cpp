#include "app/core/TrackRowText.h"
#include "settings/Lang.h"

#include <QStringList>

QString SectorsMsf(int64_t sectors)
{
    const auto two = [](int64_t n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    return two(sectors / (75 * 60)) + u':' + two(sectors / 75 % 60) + u':' + two(sectors % 75);
}

TTrackRow HiddenTrackRow(int64_t sectors, const QString& storedTitle)
{
    TTrackRow row;
    row.Number = 0;
    row.Position = 0;
    row.Title = storedTitle.isEmpty() ? LangString("RES_HiddenTrack", QStringLiteral("00 隐藏音轨")) : storedTitle;
    const int minutes = int(sectors / (75 * 60));
    const int seconds = int(sectors / 75 % 60);
    row.Length = TrackLengthText(minutes, seconds);
    row.Size = TrackSizeText(minutes, seconds);
    return row;
}

QString TrackTypeText(const TTrackRow& row)
{
    if (row.Data)
        return LangString("RES_TrackType_Data", QStringLiteral("数据"));
    const QString audio = LangString("RES_TrackType_Audio", QStringLiteral("音频"));
    if (row.PreEmphasis)
        return audio + QStringLiteral(" (") + LangString("RES_TrackType_PreEmphasis", QStringLiteral("预加重")) + u')';
    return audio;
}

QString TrackToolTip(const TTrackRow& row)
{
    QStringList lines;
    if (row.Pregap > 0)
        lines << LangString("RES_Tip_Pregap", QStringLiteral("间隙 (INDEX 00)：%1")).arg(SectorsMsf(row.Pregap));
    for (int i = 0; i < row.Indices.size(); ++i)
        lines << QStringLiteral("INDEX %1: +%2").arg(i + 2, 2, 10, QLatin1Char('0')).arg(SectorsMsf(row.Indices[i]));
    if (!row.Isrc.isEmpty())
        lines << QStringLiteral("ISRC: ") + row.Isrc;
    if (!row.Catalog.isEmpty())
        lines << LangString("RES_Tip_Catalog", QStringLiteral("目录号 (MCN)：%1")).arg(row.Catalog);
    if (row.PreEmphasis)
        lines << LangString("RES_Tip_PreEmphasis", QStringLiteral("预加重音轨"));
    return lines.join(u'\n');
}
