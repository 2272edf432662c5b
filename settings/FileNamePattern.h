#pragma once
// Where each job puts its output files: a file-name pattern ("%A/%D/%N %T") filled in with
// the entry's tag values, below the output folder, never outside it.
//
// Tokens: %A artist, %B album artist (the artist when none), %D album (disc), %N two-digit
// track number, %n disc number (nothing when not known), %T title, %Y year,
// %G genre name, %F the output format's command-line name (flac, mp3, ...), %% a percent
// sign; any other character after '%' is kept as written.
// "/" between parts makes folders. Each token value loses the characters a file name cannot
// hold (StripFileNameChars, the double quote, control characters, NUL), leading dots and
// spaces and trailing dots and spaces; an empty artist becomes "Unknown Artist", an empty album
// "Unknown Album", an empty title "Track NN". Empty parts, "." and ".." are dropped; every
// part is at most 255 bytes of UTF-8 (cut at a character boundary, the extension kept).
#include <QSet>
#include <QString>

struct TCDInfo;

struct TFileNameTags {
    QString Artist;
    QString Album;
    QString Title;
    QString Year;
    QString Genre;
    int TrackNumber = 0;
    // The empty pattern: the file is DefaultName + extension (the names the jobs have always
    // given), cleaned by PlainFileName. A Fallback that is not empty replaces a DefaultName
    // that cleans to nothing or is already used in the job.
    QString DefaultName;
    QString Fallback;
    QString AlbumArtist;       // empty: the artist
    int DiscNumber = 0;        // 0: not known (%n gives nothing)
    QString Format;            // %F: the output format's command-line name ("flac")
};

// The output file of one entry relative to the output folder ('/' between folders), ending
// in `extension` (".wav", ".mp3", ...). `used` holds the lower-cased paths the job has
// handed out so far; the result is added to it. With a pattern, a path already used gets
// " (2)", " (3)", ... before the extension. Without one, the name is PlainFileName of
// DefaultName (of Fallback as told above), else "Track NN".
QString PatternRelativePath(const QString& pattern, const TFileNameTags& tags, const QString& extension,
                            QSet<QString>& used);

// `stem` + `extension` as a single file name, by the rule every name of a job follows:
// without the characters StripFileNameChars drops and without control characters (the
// double quote stays), without leading dots and spaces and trailing dots and spaces, and at
// most 255 bytes of UTF-8 (the stem cut at a character boundary, the extension kept).
// Empty when nothing of the stem is left.
QString PlainFileName(const QString& stem, const QString& extension);

// The name of a file that stands for the whole disc (the one-file FLAC rip, the rip log):
// "%A - %D" + extension by the pattern rule, "Unknown Artist - Unknown Album" for a disc
// without titles.
QString DiscFileName(const QString& artist, const QString& album, const QString& extension);

// outputFolder (with or without its trailing '/') joined with a relative path.
QString OutputFilePath(const QString& outputFolder, const QString& relative);

// True when `relative` cannot leave the folder it is joined to: no leading '/', no NUL, no
// "." or ".." part, no empty part between separators. A single empty name is allowed.
bool IsSafeRelativePath(const QString& relative);

// Creates the folders of `relative` (all but its last part) below outputFolder, which must
// exist already. False, with the reason in *why, when the path is unsafe or a folder cannot
// be made (a file in its way, no permission).
bool MakeOutputFolders(const QString& outputFolder, const QString& relative, QString* why = nullptr);

// The tag values of a ripped track: the disc's artist, album, year and genre name, and the
// entry's track number and title.
TFileNameTags RipEntryTags(const QString& entry, const TCDInfo& disc);
// A tag value as it may stand in a name: without the characters a file name cannot hold,
// trimmed of leading dots and spaces and trailing dots and spaces.
QString CleanNameValue(const QString& value);

// The pattern filled in with sample values, for the options window ("Artist/Album/01 Title.mp3").
QString PatternExample(const QString& pattern, const QString& extension);
