#include "settings/FileNamePattern.h"

#include "settings/CDInfo.h"
#include "settings/Global.h"
#include "settings/Lang.h"

#include <QDir>
#include <functional>
#include <QFileInfo>
#include <QStringList>

namespace {

constexpr int MaxNameBytes = 255;   // what Linux, macOS and Windows file systems take per name

// A control character (NUL included): no name holds one.
bool Control(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control;
}

// A character no part of a pattern's path may hold: control characters and the double
// quote (the ones StripFileNameChars drops are taken out apart).
bool Forbidden(QChar c)
{
    return c == QLatin1Char('"') || Control(c);
}

// Leading dots and spaces and trailing dots and spaces go: no hidden files, no "..", nothing
// Windows would silently change.
QString TrimName(const QString& text)
{
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && (text[b] == QLatin1Char('.') || text[b].isSpace())) ++b;
    while (e > b && (text[e - 1] == QLatin1Char('.') || text[e - 1].isSpace())) --e;
    return text.mid(b, e - b);
}

// The rule every name follows: without the characters StripFileNameChars drops and without
// control characters, trimmed as TrimName does. A pattern's values lose the double quote
// too; the plain names keep it, as they always have.
QString CleanName(const QString& text, bool keepQuote)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : StripFileNameChars(text))
        if (keepQuote ? !Control(c) : !Forbidden(c)) out.append(c);
    return TrimName(out);
}

QString CleanValue(const QString& value)
{
    return CleanName(value, false);
}

int Utf8Bytes(const QString& text)
{
    return int(text.toUtf8().size());
}

// The longest start of `text` that takes at most maxBytes bytes of UTF-8, never splitting a
// surrogate pair.
QString CutUtf8(const QString& text, int maxBytes)
{
    int bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const char32_t cp = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()
                                ? QChar::surrogateToUcs4(text[i], text[i + 1])
                                : char32_t(text[i].unicode());
        const int width = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        if (bytes + width > maxBytes) break;
        bytes += width;
        i += cp >= 0x10000 ? 2 : 1;
    }
    return text.left(i);
}

QString Fit(const QString& part, int maxBytes)
{
    if (Utf8Bytes(part) <= maxBytes) return part;
    return TrimName(CutUtf8(part, std::max(maxBytes, 0)));
}

QString TrackText(int number)
{
    return QStringLiteral("Track ") + TwoDigits(number);
}

// The pattern with its tokens replaced; '/' separates the parts.
QString Expand(const QString& pattern, const TFileNameTags& tags)
{
    std::function<QString(QChar)> value = [&](QChar token) -> QString {
        switch (token.unicode()) {
        case 'A': {
            const QString v = CleanValue(tags.Artist);
            return v.isEmpty() ? QStringLiteral("Unknown Artist") : v;
        }
        case 'D': {
            const QString v = CleanValue(tags.Album);
            return v.isEmpty() ? QStringLiteral("Unknown Album") : v;
        }
        case 'T': {
            const QString v = CleanValue(tags.Title);
            return v.isEmpty() ? TrackText(tags.TrackNumber) : v;
        }
        case 'B': {
            const QString v = CleanValue(tags.AlbumArtist);
            return v.isEmpty() ? value(QLatin1Char('A')) : v;
        }
        case 'N': return TwoDigits(tags.TrackNumber);
        case 'n': return tags.DiscNumber > 0 ? QString::number(tags.DiscNumber) : QString();
        case 'Y': return CleanValue(tags.Year);
        case 'G': return CleanValue(tags.Genre);
        case 'F': return CleanValue(tags.Format);
        default: return QString();
        }
    };
    static const QString tokens = QStringLiteral("ABDTNnYGF");
    QString out;
    QString literal;   // the pattern's own text, cleaned like a value but keeping '/'
    auto flush = [&] {
        for (QChar c : literal)
            if (c == QLatin1Char('/') || (!Forbidden(c) && !StripFileNameChars(QString(c)).isEmpty())) out.append(c);
        literal.clear();
    };
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('%') && i + 1 < pattern.size()) {
            const QChar t = pattern[i + 1];
            if (t == QLatin1Char('%')) {
                literal.append(t);
                ++i;
                continue;
            }
            if (tokens.contains(t)) {
                flush();
                out += value(t);
                ++i;
                continue;
            }
        }
        literal.append(c);
    }
    flush();
    return out;
}

QString Key(const QString& path)
{
    return path.toLower();
}

} // namespace

QString PatternRelativePath(const QString& pattern, const TFileNameTags& tags, const QString& extension,
                            QSet<QString>& used)
{
    if (pattern.isEmpty()) {
        QString name = PlainFileName(tags.DefaultName, extension);
        if (!tags.Fallback.isEmpty() && (name.isEmpty() || used.contains(Key(name))))
            name = PlainFileName(tags.Fallback, extension);
        if (name.isEmpty()) name = PlainFileName(TrackText(tags.TrackNumber), extension);
        used.insert(Key(name));
        return name;
    }

    QStringList parts;
    for (const QString& raw : Expand(pattern, tags).split(QLatin1Char('/'))) {
        const QString part = TrimName(raw);
        if (!part.isEmpty()) parts.append(part);
    }
    QString stem = parts.isEmpty() ? TrackText(tags.TrackNumber) : parts.takeLast();
    QString folders;
    for (const QString& part : parts) {
        const QString fitted = Fit(part, MaxNameBytes);
        if (!fitted.isEmpty()) folders += fitted + QLatin1Char('/');
    }
    const int extBytes = Utf8Bytes(extension);
    for (int n = 1;; ++n) {
        const QString suffix = n == 1 ? QString() : QStringLiteral(" (%1)").arg(n);
        QString name = Fit(stem, MaxNameBytes - extBytes - Utf8Bytes(suffix));
        if (name.isEmpty()) name = Fit(TrackText(tags.TrackNumber), MaxNameBytes - extBytes - Utf8Bytes(suffix));
        const QString path = folders + name + suffix + extension;
        if (!used.contains(Key(path))) {
            used.insert(Key(path));
            return path;
        }
    }
}

QString PlainFileName(const QString& stem, const QString& extension)
{
    const QString name = Fit(CleanName(stem, true), MaxNameBytes - Utf8Bytes(extension));
    return name.isEmpty() ? QString() : name + extension;
}

QString DiscFileName(const QString& artist, const QString& album, const QString& extension)
{
    TFileNameTags tags;
    tags.Artist = artist;
    tags.Album = album;
    QSet<QString> used;
    return PatternRelativePath(QStringLiteral("%A - %D"), tags, extension, used);
}

QString OutputFilePath(const QString& outputFolder, const QString& relative)
{
    return WithBackslash(outputFolder) + relative;
}

bool IsSafeRelativePath(const QString& relative)
{
    if (relative.contains(QChar(0))) return false;
    const QStringList parts = relative.split(QLatin1Char('/'));
    for (const QString& part : parts)
        if (part == QLatin1String(".") || part == QLatin1String("..") || (part.isEmpty() && parts.size() > 1))
            return false;
    return true;
}

bool MakeOutputFolders(const QString& outputFolder, const QString& relative, QString* why)
{
    auto fail = [why](const QString& text) {
        if (why) *why = text;
        return false;
    };
    if (!IsSafeRelativePath(relative)) return fail(relative + QStringLiteral(": not a file name inside the output folder"));
    QDir dir(outputFolder);
    if (outputFolder.isEmpty() || !dir.exists())
        return fail(outputFolder + QStringLiteral(": the output folder does not exist"));
    QStringList parts = relative.split(QLatin1Char('/'));
    parts.removeLast();
    for (const QString& part : parts) {
        const QFileInfo info(dir.filePath(part));
        if (info.exists() && !info.isDir())
            return fail(info.filePath() + QStringLiteral(": a file is in the place of the folder"));
        if (!info.exists() && !dir.mkdir(part))
            return fail(info.filePath() + QStringLiteral(": the folder cannot be created"));
        dir.setPath(info.filePath());
    }
    return true;
}

TFileNameTags RipEntryTags(const QString& entry, const TCDInfo& disc)
{
    TFileNameTags tags;
    bool ok = false;
    const int n = entry.left(2).toInt(&ok, 10);
    tags.TrackNumber = ok && n > 0 ? n : 0;
    tags.Title = entry.mid(2);
    tags.Artist = disc.Artist;
    tags.Album = disc.Album;
    tags.Year = disc.Year;
    tags.AlbumArtist = disc.Artist;
    tags.DiscNumber = disc.DiscNumber;
    if (disc.Genre >= 0 && disc.Genre < GENRE_COUNT) tags.Genre = QLatin1String(GenreNames[size_t(disc.Genre)]);
    tags.DefaultName = tags.Title;
    tags.Fallback = entry;
    return tags;
}

QString CleanNameValue(const QString& value)
{
    return CleanValue(value);
}

QString PatternExample(const QString& pattern, const QString& extension)
{
    TFileNameTags tags;
    // The sample track's texts in the interface's language.
    tags.Artist = LangString(QStringLiteral("RES_Example_Artist"), QStringLiteral("艺术家"));
    tags.Album = LangString(QStringLiteral("RES_Example_Album"), QStringLiteral("专辑"));
    tags.Title = LangString(QStringLiteral("RES_Example_Title"), QStringLiteral("标题"));
    tags.Year = QStringLiteral("2024");
    tags.Genre = LangString(QStringLiteral("RES_Example_Genre"), QStringLiteral("摇滚"));
    tags.TrackNumber = 1;
    tags.DiscNumber = 1;
    tags.Format = extension.mid(1).toLower();
    tags.DefaultName = tags.Title;
    QSet<QString> used;
    return PatternRelativePath(pattern, tags, extension, used);
}
