// varnelcd-cli id3 FILE [--title T] [--artist A] [--album B] [--year Y] [--comment C]
//                       [--track N] [--genre NAME|NUMBER] [--remove]
#include "app/cli/CliCommand.h"
#include "metadata/id3.h"
#include "settings/CDInfo.h"

namespace {

QString StatusText(uint16_t status)
{
    switch (status & 0xFF00) {
    case Tid3tag::StatusCannotOpen: return QStringLiteral("the file does not exist or cannot be opened");
    case Tid3tag::StatusReadOnly: return QStringLiteral("the file is read-only");
    case Tid3tag::StatusReadError: return QStringLiteral("read error");
    case Tid3tag::StatusWriteError: return QStringLiteral("write error");
    case Tid3tag::StatusIoError: return QStringLiteral("input/output error");
    case Tid3tag::StatusNoTag: return QStringLiteral("no tag");
    default: return QStringLiteral("status 0x%1").arg(status, 4, 16, QLatin1Char('0'));
    }
}

int Fail(const QString& file, uint16_t status)
{
    PrintLine(stderr, QStringLiteral("varnelcd-cli id3: %1: %2 (status 0x%3)")
                          .arg(file, StatusText(status)).arg(status, 4, 16, QLatin1Char('0')));
    return 1;
}

// The name of an ID3v1 genre number in the program's genre list; empty when it has none.
QString GenreName(int number)
{
    const int position = Id3ToGenre(number);
    return position > 0 ? QString::fromLatin1(GenreNames[size_t(position - 1)]) : QString();
}

// A genre given as a number 0..255 or as a name of the genre list (any case).
bool ParseGenre(const QString& text, uint8_t& genre)
{
    bool isNumber = false;
    const int n = text.trimmed().toInt(&isNumber);
    if (isNumber) {
        if (n < 0 || n > 255)
            return false;
        genre = uint8_t(n);
        return true;
    }
    for (int i = 0; i < GENRE_COUNT; ++i) {
        if (text.trimmed().compare(QLatin1String(GenreNames[size_t(i)]), Qt::CaseInsensitive) == 0) {
            genre = GenreToId3(i + 1);
            return true;
        }
    }
    return false;
}

void PrintTag(const Tid3tag& tag)
{
    PrintLine(stdout, "Title: " + tag.Title());
    PrintLine(stdout, "Artist: " + tag.Artist());
    PrintLine(stdout, "Album: " + tag.Album());
    PrintLine(stdout, "Year: " + tag.Year());
    PrintLine(stdout, "Comment: " + tag.Comment());
    PrintLine(stdout, "Track: " + QString::number(tag.Track()));
    const QString name = tag.Genre() == Tid3tag::NoGenre ? QStringLiteral("none") : GenreName(tag.Genre());
    PrintLine(stdout, QStringLiteral("Genre: %1 (%2)").arg(tag.Genre()).arg(name.isEmpty() ? "unknown" : name));
}

// Prints the ID3v1 tag of an MP3 file, writes the fields given (keeping the others of an
// existing tag), or removes the tag.
int Id3(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Show, write or remove the ID3v1 tag of an MP3 file.");
    parser.addPositionalArgument("FILE", "The MP3 file.");
    const char* texts[] = {"title", "artist", "album", "year", "comment"};
    for (const char* t : texts)
        parser.addOption(QCommandLineOption(t, QStringLiteral("Set the %1.").arg(t), "TEXT"));
    parser.addOption(QCommandLineOption("track", "Set the track number (0 = none).", "N"));
    parser.addOption(QCommandLineOption("genre", "Set the genre, by name or ID3v1 number.", "NAME|NUMBER"));
    parser.addOption(QCommandLineOption("remove", "Remove the tag."));
    if (const int rc = ParseCommandLine(parser, args, "id3"); rc >= 0)
        return rc;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        PrintLine(stderr, "varnelcd-cli id3: give one FILE");
        return 2;
    }
    const QString file = files.first();
    int track = -1;
    if (!IntOption(parser, "track", track))
        return 2;
    if (parser.isSet("track") && (track < 0 || track > 255)) {
        PrintLine(stderr, "varnelcd-cli id3: --track takes a number from 0 to 255");
        return 2;
    }
    uint8_t genre = Tid3tag::NoGenre;
    if (parser.isSet("genre") && !ParseGenre(parser.value("genre"), genre)) {
        PrintLine(stderr, "varnelcd-cli id3: unknown genre: " + parser.value("genre"));
        return 2;
    }
    bool writes = parser.isSet("track") || parser.isSet("genre");
    for (const char* t : texts)
        writes = writes || parser.isSet(t);
    if (writes && parser.isSet("remove")) {
        PrintLine(stderr, "varnelcd-cli id3: --remove cannot be combined with new fields");
        return 2;
    }

    Tid3tag tag;
    const uint16_t read = tag.ReadTag(file);
    if (parser.isSet("remove")) {
        if (read == Tid3tag::StatusNoTag) {
            PrintLine(stdout, "no tag");
            return 0;
        }
        if (Tid3tag::Failed(read))
            return Fail(file, read);
        if (tag.ReadOnly())
            return Fail(file, Tid3tag::StatusReadOnly);
        tag.RemoveTag();
        Tid3tag check;
        if (check.ReadTag(file) != Tid3tag::StatusNoTag)
            return Fail(file, Tid3tag::StatusWriteError);
        return 0;
    }
    if (!writes) {
        if (read == Tid3tag::StatusNoTag) {
            PrintLine(stdout, "no tag");
            return 0;
        }
        if (Tid3tag::Failed(read))
            return Fail(file, read);
        PrintTag(tag);
        return 0;
    }
    if (Tid3tag::Failed(read) && read != Tid3tag::StatusNoTag)
        return Fail(file, read);
    if (parser.isSet("title")) tag.SetTitle(parser.value("title"));
    if (parser.isSet("artist")) tag.SetArtist(parser.value("artist"));
    if (parser.isSet("album")) tag.SetAlbum(parser.value("album"));
    if (parser.isSet("year")) tag.SetYear(parser.value("year"));
    if (parser.isSet("comment")) tag.SetComment(parser.value("comment"));
    if (parser.isSet("track")) tag.SetTrack(uint8_t(track));
    if (parser.isSet("genre")) tag.SetGenre(genre);
    const uint16_t written = tag.WriteTag(file);
    return Tid3tag::Failed(written) ? Fail(file, written) : 0;
}

} // namespace

VARNELCD_CLI_COMMAND("id3", "show, write or remove the ID3v1 tag of an MP3 file", Id3);
