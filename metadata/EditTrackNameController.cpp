#include "metadata/EditTrackNameController.h"
#include "settings/IniFile.h"

int TEditTrackNameController::MaxLength()
{
    // The disc cache reads no longer value back.
    return TIniFile::MaxValueLength;
}

QString TEditTrackNameController::CleanTitle(const QString& text)
{
    QString title = text;
    for (QChar& c : title)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    if (title.size() > MaxLength()) {
        qsizetype cut = MaxLength();
        if (title.at(cut - 1).isHighSurrogate())
            --cut;
        title.truncate(cut);
    }
    return title;
}

void TEditTrackNameController::SetTitle(const QString& title)
{
    const QString clean = CleanTitle(title);
    if (clean == FTitle)
        return;
    FTitle = clean;
    emit Changed();
}
