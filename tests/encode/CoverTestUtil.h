#pragma once
// The disc cover in rip tests: a small PNG or JPEG stored as the current disc's MusicBrainz
// cover, and what the peer tools find of it in the files and folders a rip left.
#include "encode/JobEntry.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/TestUtil.h"
#include "metadata/MusicBrainz.h"
#include "settings/Options.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Stores a 3x2 image of this kind ("png", "jpg"; empty: none) as the disc's cover.
inline TCoverImage StoreTestCover(const QString& kind)
{
    const QString mbid = QStringLiteral("33333333-3333-4333-8333-333333333333");
    QFile::remove(CoverFolder() + mbid + ".png");
    QFile::remove(CoverFolder() + mbid + ".jpg");
    OptionsSetting.CDInfo.MBRelease = mbid;
    if (kind.isEmpty()) return {};
    QTemporaryDir dir;
    const QString path = dir.filePath("c." + kind);
    EXPECT_EQ(QProcess::execute("convert", {"-size", "3x2", "xc:#c83c28", path}), 0);
    const TCoverImage image = CoverImageOf(ReadAll(path));
    EXPECT_FALSE(StoreMbCover(mbid, image).isEmpty());
    return image;
}

// The files below `root` (relative paths) whose name is folder.jpg or folder.png.
inline QStringList FolderCovers(const QString& root)
{
    QStringList found;
    for (QDirIterator it(root, {"folder.jpg", "folder.png"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        found << QDir(root).relativeFilePath(it.next());
    found.sort();
    return found;
}

// The front cover embedded in a FLAC file (metaflac) or an OGG file (its
// METADATA_BLOCK_PICTURE comment, through vorbiscomment), as the PICTURE block's bytes for
// OGG and as the image bytes for FLAC; empty when there is none.
inline QByteArray EmbeddedCover(const QString& path)
{
    QProcess p;
    if (path.endsWith(".flac")) {
        QTemporaryDir dir;
        const QString out = dir.filePath("pic");
        p.start("metaflac", {"--list", "--block-type=PICTURE", path});
        p.waitForFinished(30000);
        const QByteArray list = p.readAllStandardOutput();
        if (!list.contains("type: 3 (Cover (front))")) return {};
        p.start("metaflac", {"--export-picture-to=" + out, path});
        p.waitForFinished(30000);
        return ReadAll(out);
    }
    p.start("vorbiscomment", {"-l", "-R", path});
    p.waitForFinished(30000);
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
        if (line.startsWith("METADATA_BLOCK_PICTURE=")) return QByteArray::fromBase64(line.mid(23));
    return {};
}

// Every way the disc cover goes or does not go into a rip of two tracks into `out`: `rip`
// runs the job with the settings made here and returns its results. `plain` is a format
// that embeds nothing (MP3 or WAV).
inline void CheckDiscCovers(const QString& out, TCannedPrompter& prompter, int plain,
                            const std::function<QVector<TEntryResult>()>& rip)
{
    enum { Ogg = 2, Flac = 4 };
    OptionsSetting.CDInfo.Artist = "Band";
    OptionsSetting.CDInfo.Album = "Disc";
    struct TCase {
        const char* Name;
        int Format;
        QString Pattern, Cover;
        bool On, Cue;
        QByteArray Existing;     // a folder.jpg in the output folder before the rip; "->": a broken link
        QStringList Folders;     // the folder covers after it
        bool Embedded;
    } cases[] = {
        {"FLAC by pattern", Flac, "%A/%D/%N %T", "png", true, false, {}, {"Band/Disc/folder.png"}, true},
        {"FLAC whole disc", Flac, "%A/%D/%N %T", "jpg", true, true, {}, {"Band/Disc/folder.jpg"}, true},
        {"OGG beside the user's own folder.jpg", Ogg, "", "png", true, false, "mine", {"folder.jpg"}, true},
        {"a plain format", plain, "", "jpg", true, false, {}, {"folder.jpg"}, false},
        {"the setting off", Flac, "", "png", false, false, {}, {}, false},
        {"no stored cover", Ogg, "", "", true, false, {}, {}, false},
        {"a folder cover that cannot be written", Flac, "", "jpg", true, false, "->", {}, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        if (c.Existing == "->") QFile::link(out + "/no/such/folder/x.jpg", out + "/folder.jpg");
        else if (!c.Existing.isEmpty()) WriteAll(out + "/folder.jpg", c.Existing);
        prompter.Log.clear();
        OptionsSetting.CommonOptions.OutputFormat = c.Format;
        OptionsSetting.CommonOptions.FileNamePattern = c.Pattern;
        OptionsSetting.FlacOptions.Cuesheet = c.Cue;
        OptionsSetting.MusicBrainz.Cover = c.On;
        const TCoverImage image = StoreTestCover(c.Cover);
        const QVector<TEntryResult> results = rip();
        ASSERT_EQ(results.size(), 2);
        EXPECT_EQ(prompter.Texts("warning").size(), c.Existing == "->" ? 1 : 0);
        EXPECT_TRUE(prompter.Texts("error").isEmpty()) << prompter.Texts("error").join('\n').toStdString();
        EXPECT_EQ(FolderCovers(out), c.Folders);
        for (const QString& f : c.Folders)
            EXPECT_EQ(ReadAll(out + '/' + f), c.Existing.isEmpty() ? image.Bytes : c.Existing);
        for (const TEntryResult& r : results) {
            EXPECT_TRUE(r.Produced) << r.Failure.toStdString();
            const QByteArray expected = !c.Embedded ? QByteArray()
                                        : c.Format == Ogg ? FlacPictureBlock(image) : image.Bytes;
            EXPECT_EQ(EmbeddedCover(r.Output), expected) << r.Output.toStdString();
        }
    }
    StoreTestCover({});
}
