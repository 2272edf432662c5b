// Disc information cache "cdinfo.dat" and the genre tables of the tag fields.
#include "settings/CDInfo.h"
#include "settings/Lang.h"

#include "settings/Global.h"
#include "settings/IniFile.h"
#include "settings/Options.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <memory>

namespace {

const QString CDINFO_NAME = QStringLiteral("cdinfo.dat");

// A file shipped beside the program, read while the user has no cache of their own yet.
QString ProgramCDInfoFileName()
{
    return ProgramFolder() + CDINFO_NAME;
}

// The cache to read: the user's own, else the one beside the program, else the user's
// (missing) one, which reads as empty.
QString CDInfoReadFileName()
{
    const QString own = CDInfoFileName();
    if (QFileInfo::exists(own))
        return own;
    const QString shipped = ProgramCDInfoFileName();
    if (QFileInfo::exists(shipped))
        return shipped;
    return own;
}

} // namespace

QString DefaultTrackTitle(int trackNumber)
{
    return LangString(QStringLiteral("RES_DefaultTrackTitle"), QStringLiteral("音轨 %1")).arg(TwoDigits(trackNumber));
}

QString CDInfoFileName()
{
    return SettingsFolder() + CDINFO_NAME;
}

bool CDInfoSectionExists(const QString& discId)
{
    if (discId.isEmpty())
        return false;
    const TIniFile ini(CDInfoReadFileName());
    return ini.SectionExists(discId);
}

bool LoadCDInfo(const QString& discId)
{
    if (discId.isEmpty())
        return false;
    const TIniFile ini(CDInfoReadFileName());
    TCDInfo& info = OptionsSetting.CDInfo;
    info.Artist = ini.ReadString(discId, QStringLiteral("Artist"), QString());
    info.Album = ini.ReadString(discId, QStringLiteral("Album"), QString());
    info.Year = ini.ReadString(discId, QStringLiteral("Year"), QString());
    // A genre outside the list reads as none, so that Genre + 1 is always a pick-list position.
    info.Genre = ini.ReadInteger(discId, QStringLiteral("Genre"), -1);
    if (info.Genre < -1 || info.Genre >= GENRE_COUNT)
        info.Genre = -1;
    info.Comment = ini.ReadString(discId, QStringLiteral("Comment"), QString());
    info.MBRelease = ini.ReadString(discId, QStringLiteral("MBRelease"), QString());
    // Disc numbers outside 1..999 read as not known; a position past the count drops the count.
    auto discNumber = [&](const char* key) {
        const int n = ini.ReadInteger(discId, QLatin1String(key), 0);
        return n >= 1 && n <= 999 ? n : 0;
    };
    info.DiscNumber = discNumber("DiscNumber");
    info.DiscTotal = discNumber("DiscTotal");
    if (info.DiscTotal && info.DiscNumber > info.DiscTotal)
        info.DiscTotal = 0;
    // The record holds at most 100 titles: a count outside 0..100 in the file is taken as
    // the nearest count it can hold, so that no reader indexes past the titles.
    info.TrackNumber =
        std::clamp(ini.ReadInteger(discId, QStringLiteral("TrackNumber"), MAX_TITLES), 0, MAX_TITLES);

    // Titles above TrackNumber keep what they held.
    for (int n = 1; n <= info.TrackNumber; ++n) {
        const QString title = ini.ReadString(discId, QString::number(n), QString());
        info.Titles[n] = title.isEmpty() ? DefaultTrackTitle(n) : title;
    }
    return ini.SectionExists(discId);
}

bool SaveCDInfo(const QString& discId)
{
    if (discId.isEmpty())
        return true;   // no disc: nothing to store, nothing failed

    const QString fileName = CDInfoFileName();
    std::unique_ptr<TIniFile> ini;
    if (!QFileInfo::exists(fileName) && QFileInfo::exists(ProgramCDInfoFileName())) {
        // The first save of this user starts from the cache shipped beside the program, so
        // that none of its discs is lost once the user's own file shadows it.
        QFile shipped(ProgramCDInfoFileName());
        if (shipped.size() > TIniFile::MaxFileSize || !shipped.open(QIODevice::ReadOnly))
            return false;
        ini = std::make_unique<TIniFile>(fileName, shipped.readAll());
    } else {
        ini = std::make_unique<TIniFile>(fileName);
    }

    const TCDInfo& info = OptionsSetting.CDInfo;
    // The file can only hold titles 1..100; a count outside that range is stored clamped so
    // that it describes the titles actually written.
    const int count = std::clamp(info.TrackNumber, 0, MAX_TITLES);
    ini->WriteString(discId, QStringLiteral("Artist"), info.Artist);
    ini->WriteString(discId, QStringLiteral("Album"), info.Album);
    ini->WriteString(discId, QStringLiteral("Year"), info.Year);
    ini->WriteInteger(discId, QStringLiteral("Genre"), info.Genre);
    ini->WriteString(discId, QStringLiteral("Comment"), info.Comment);
    ini->WriteInteger(discId, QStringLiteral("TrackNumber"), count);
    // Written only for titles taken from MusicBrainz, so other discs' sections stay as they were.
    if (info.MBRelease.isEmpty())
        ini->DeleteKey(discId, QStringLiteral("MBRelease"));
    else
        ini->WriteString(discId, QStringLiteral("MBRelease"), info.MBRelease);
    // Likewise the disc numbers: only a disc that has them gets the keys.
    auto discNumber = [&](const char* key, int value) {
        if (value >= 1 && value <= 999)
            ini->WriteInteger(discId, QLatin1String(key), value);
        else
            ini->DeleteKey(discId, QLatin1String(key));
    };
    discNumber("DiscNumber", info.DiscNumber);
    discNumber("DiscTotal", info.DiscTotal);
    for (int n = 1; n <= count; ++n)
        ini->WriteString(discId, QString::number(n), info.Titles[n]);
    return ini->UpdateFile();
}

// ---- genres -------------------------------------------------------------------------------

const std::array<const char*, GENRE_COUNT> GenreNames = {
    "A Cappella", "Acid", "Acid Jazz", "Acid Punk", "Acoustic", "Alt. Rock", "Alternative",
    "Ambient", "Anime", "Avantgarde", "Ballad", "Bass", "Beat", "Bebob", "Big Band",
    "Black Metal", "Bluegrass", "Blues", "Booty Bass", "BritPop", "Cabaret", "Celtic",
    "Chamber Music", "Chanson", "Chorus", "Christian Gangsta", "Christian Rap",
    "Christian Rock", "Classic Rock", "Classical", "Club", "Club-House", "Comedy",
    "Contemporary Christian", "Country", "Crossover", "Cult", "Dance", "Dance Hall",
    "Darkwave", "Death Metal", "Disco", "Dream", "Drum & Base", "Drum Solo", "Duet",
    "Easy Listening", "Electronic", "Ethnic", "Eurodance", "Euro-House", "Euro-Techno",
    "Fast-Fusion", "Folk", "Folk/Rock", "Folklore", "Freestyle", "Funk", "Fusion", "Game",
    "Gangsta Rap", "Goa", "Gospel", "Gothic", "Gothic Rock", "Grunge", "Hard Rock",
    "Hardcore", "Heavy Metal", "Hip-Hop", "House", "Humour", "Indie", "Industrial",
    "Instrumental", "Instrumental Pop", "Instrumental Rock", "Jazz", "Jazz+Funk", "JPop",
    "Jungle", "Latin", "Lo-Fi", "Meditative", "Merengue", "Metal", "Musical", "National Folk",
    "Native American", "Negerpunk", "New Age", "New Wave", "Noise", "Oldies", "Opera",
    "Other", "Polka", "Polsk Punk", "Pop", "Pop/Funk", "Pop-Folk", "Porn Groove",
    "Power Ballad", "Pranks", "Primus", "Progressive Rock", "Psychedelic", "Psychedelic Rock",
    "Punk", "Punk Rock", "R&B", "Rap", "Rave", "Reggae", "Retro", "Revival", "Rhythmic Soul",
    "Rock", "Rock & Roll", "Salsa", "Samba", "Satire", "Showtunes", "Ska", "Slow Jam",
    "Slow Rock", "Sonata", "Soul", "Sound Clip", "Soundtrack", "Southern Rock", "Space",
    "Speech", "Swing", "Symphonic Rock", "Symphony", "Synthpop", "Tango", "Techno",
    "Techno-Industrial", "Terror", "Thrash Metal", "Top 40", "Trailer", "Trance", "Tribal",
    "Trip-Hop", "Vocal",
};

namespace {

// The ID3v1 genre list with its common extension, by genre number 0..147.
constexpr std::array<const char*, GENRE_COUNT> Id3GenreList = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop",
    "Jazz", "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock",
    "Techno", "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack",
    "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance",
    "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise",
    "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic",
    "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40",
    "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
    "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk",
    "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk",
    "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival",
    "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock",
    "Psychedelic Rock", "Symphonic Rock", "Slow Rock", "Big Band", "Chorus",
    "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera", "Chamber Music",
    "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam",
    "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul",
    "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A capella", "Euro-House", "Dance Hall",
    "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie", "BritPop",
    "Negerpunk", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal", "Black Metal",
    "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
    "Thrash Metal", "Anime", "JPop", "Synthpop",
};

// The genres our pick lists spell differently from the ID3v1 list.
struct Respelling {
    int id3;
    const char* name;
};
constexpr Respelling Respellings[] = {
    {40, "Alt. Rock"},   {59, "Gangsta Rap"}, {67, "Psychedelic"}, {81, "Folk/Rock"},
    {84, "Fast-Fusion"}, {123, "A Cappella"}, {127, "Drum & Base"}, {136, "Christian Gangsta"},
};

constexpr uint8_t NO_ID3_GENRE = 255;

struct GenreTables {
    std::array<uint8_t, GENRE_COUNT + 1> toId3{};    // pick-list position 0..148
    std::array<uint8_t, GENRE_COUNT + 1> toPosition{}; // ID3v1 number 0..148
};

GenreTables BuildGenreTables()
{
    GenreTables t;
    t.toId3.fill(NO_ID3_GENRE);
    t.toPosition.fill(0);
    for (int id3 = 0; id3 < GENRE_COUNT; ++id3) {
        QString name = QString::fromLatin1(Id3GenreList[id3]);
        for (const Respelling& r : Respellings)
            if (r.id3 == id3)
                name = QString::fromLatin1(r.name);
        const int index = GenreIndexOf(name);
        if (index < 0)
            continue;   // cannot happen with the lists above; the tests check the full mapping
        t.toId3[index + 1] = static_cast<uint8_t>(id3);
        t.toPosition[id3] = static_cast<uint8_t>(index + 1);
    }
    return t;
}

const GenreTables& Tables()
{
    static const GenreTables tables = BuildGenreTables();
    return tables;
}

} // namespace

int GenreIndexOf(const QString& name)
{
    for (int i = 0; i < GENRE_COUNT; ++i)
        if (name == QLatin1String(GenreNames[i]))
            return i;
    return -1;
}

uint8_t GenreToId3(int position)
{
    if (position < 0 || position > GENRE_COUNT)
        return NO_ID3_GENRE;
    return Tables().toId3[position];
}

uint8_t Id3ToGenre(int number)
{
    if (number < 0 || number > GENRE_COUNT)
        return 0;
    return Tables().toPosition[number];
}
