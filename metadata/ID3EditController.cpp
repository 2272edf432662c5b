#include "metadata/ID3EditController.h"
#include "platform/TagLibTags.h"
#include "settings/CDInfo.h"
#include "settings/Lang.h"

#include <QRegularExpression>

TID3EditController::TID3EditController(TPrompter& prompter, QObject* parent)
    : QObject(parent)
    , FPrompter(prompter)
{
}

QString TID3EditController::BaseCaption()
{
    return LangString(QStringLiteral("RES_ID3Edit_Caption"), QStringLiteral("ID3标签编辑"));
}

QString TID3EditController::Caption() const
{
    return FFile.isEmpty() ? BaseCaption() : FFile + QStringLiteral(": ") + BaseCaption();
}

QStringList TID3EditController::GenreEntries()
{
    QStringList entries{QString()};
    for (const char* name : GenreNames)
        entries.append(QString::fromLatin1(name));
    return entries;
}

QString TID3EditController::FileFilter()
{
    return QStringLiteral("Index files (*.mp3)");
}

bool TID3EditController::IsTrackText(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{0,2}$"));
    return digits.match(text).hasMatch();
}

bool TID3EditController::FitsField(const QString& text, int width)
{
    return Tid3tag::EncodeField(text).size() <= width;
}

// The track number a save writes: the track edit's number, or the tag's own when the edit
// is empty (or holds no number).
int TID3EditController::TrackToSave() const
{
    bool ok = false;
    const int n = FFields.Track.toInt(&ok);
    if (!FFields.Track.isEmpty() && ok && IsTrackText(FFields.Track))
        return n;
    return FTag.HasTrack() ? FTag.Track() : 0;
}

int TID3EditController::FieldWidth(TField field) const
{
    switch (field) {
    case TField::Year: return Tid3tag::YearWidth;
    case TField::Track: return 2;
    case TField::Comment: return TrackToSave() != 0 ? Tid3tag::TrackCommentWidth : Tid3tag::TextWidth;
    default: return Tid3tag::TextWidth;
    }
}

void TID3EditController::SetFields(const TFields& fields)
{
    if (fields == FFields)
        return;
    FFields = fields;
    emit Changed();
}

void TID3EditController::ShowTag(const Tid3tag& tag)
{
    FFields.Title = tag.Title();
    FFields.Artist = tag.Artist();
    FFields.Album = tag.Album();
    FFields.Year = tag.Year();
    FFields.Comment = tag.Comment();
    FFields.Track = QString::number(tag.Track());
    // Genre numbers outside the list (and 255, none) select the empty entry.
    FFields.Genre = Id3ToGenre(tag.Genre());
}

void TID3EditController::ShowNoTag()
{
    FFields = TFields{};
    FFields.Track = QStringLiteral("0");
}

void TID3EditController::LoadTag()
{
    const QString file = FPrompter.AskOpenFileName(BaseCaption(), QString(), FileFilter());
    if (!file.isEmpty())
        Load(file);
}

void TID3EditController::Load(const QString& fileName)
{
    // Every load starts from a fresh tag, so nothing of the previous file (its track number,
    // its genre) reaches this one when it has no tag or cannot be read.
    FTag = Tid3tag{};
    Tid3tag tag;
    if (Tid3tag::Failed(tag.ReadTag(fileName))) {
        ShowNoTag();
    } else {
        FTag = tag;
        ShowTag(FTag);
    }
    FLoaded = FFields;
    FFile = fileName;
    emit Changed();
}

bool TID3EditController::Write(const QString& fileName)
{
    FTag.SetTitle(FFields.Title);
    FTag.SetArtist(FFields.Artist);
    FTag.SetAlbum(FFields.Album);
    FTag.SetYear(FFields.Year);
    FTag.SetGenre(GenreToId3(FFields.Genre));
    FTag.SetComment(FFields.Comment);
    if (!FFields.Track.isEmpty())
        FTag.SetTrack(uint8_t(TrackToSave()));
    const QString failed = LangString(QStringLiteral("RES_SaveTag_Error"), QStringLiteral("无法保存标签！"));
    if (Tid3tag::Failed(FTag.WriteTag(fileName))) {
        FPrompter.ShowInformation(failed);
        return false;
    }
    // Players show a file's ID3v2 tag before its ID3v1 tag: where the file has one, the
    // same fields go into it, so that the edit is what every player shows.
    // Saved over the file it came from, only the fields the user changed go into the ID3v2
    // tag: a long title there is not cut to what ID3v1 holds just because it was shown.
    const bool same = fileName == FFile;
    const QStringList genres = GenreEntries();
    const auto genreName = [&](int position) {
        return position > 0 && position < genres.size() ? genres[position] : QString();
    };
    TId3v2Edit edit;
    const auto take = [same](std::optional<QString>& field, const QString& now, const QString& loaded) {
        if (!same || now != loaded)
            field = now;
    };
    take(edit.Title, FFields.Title, FLoaded.Title);
    take(edit.Artist, FFields.Artist, FLoaded.Artist);
    take(edit.Album, FFields.Album, FLoaded.Album);
    take(edit.Year, FFields.Year, FLoaded.Year);
    take(edit.Comment, FFields.Comment, FLoaded.Comment);
    take(edit.Genre, genreName(FFields.Genre), genreName(FLoaded.Genre));
    if (TrackToSave() > 0 && (!same || FFields.Track != FLoaded.Track))
        edit.Track = TrackToSave();
    bool had = false;
    QString why;
    if (!EditId3v2Fields(fileName, edit, had, &why)) {
        FPrompter.ShowInformation(failed + QLatin1Char('\n') + why);
        return false;
    }
    // The edits show what the file holds now (a comment beside a track number keeps 28 bytes).
    FFields.Title = FTag.Title();
    FFields.Artist = FTag.Artist();
    FFields.Album = FTag.Album();
    FFields.Year = FTag.Year();
    FFields.Comment = FTag.HasTrack() && FTag.Track() != 0
                          ? Tid3tag::FitText(FTag.Comment(), Tid3tag::TrackCommentWidth)
                          : FTag.Comment();
    FLoaded = FFields;
    return true;
}

bool TID3EditController::SaveTag()
{
    if (FFile.isEmpty())
        return false;
    const bool ok = Write(FFile);
    emit Changed();
    return ok;
}

void TID3EditController::SaveAs()
{
    const QString file = FPrompter.AskOpenFileName(BaseCaption(), QString(), FileFilter());
    if (!file.isEmpty())
        SaveAs(file);
}

bool TID3EditController::SaveAs(const QString& fileName)
{
    const bool ok = Write(fileName);
    if (ok)
        FFile = fileName;
    emit Changed();
    return ok;
}

void TID3EditController::RemoveTag()
{
    if (FFile.isEmpty())
        return;
    const QString question = LangString(QStringLiteral("RES_Ask_RemoveTag"), QStringLiteral("确定要删除这些标签吗？"));
    if (FPrompter.AskYesNo(question, TPrompter::Answer::No) != TPrompter::Answer::Yes)
        return;
    // A tag object removes the tag of the file it read last: read the file shown first.
    Tid3tag target;
    target.ReadTag(FFile);
    if (target.FileName() == FFile)
        target.RemoveTag();
    Tid3tag check;
    if (!Tid3tag::Failed(check.ReadTag(FFile))) {
        FPrompter.ShowInformation(LangString(QStringLiteral("RES_RemoveTag_Error"), QStringLiteral("无法删除标签！")));
        return;
    }
    FTag = Tid3tag{};
    ShowNoTag();
    FLoaded = FFields;
    emit Changed();
}
