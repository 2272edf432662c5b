#pragma once
// The disc's stored MusicBrainz cover in rips of two tracks, shared by the tests of both rip
// jobs: what goes into the files (metaflac, vorbiscomment) and beside them.
#include "encode/JobEntry.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/TestUtil.h"
#include "metadata/MusicBrainz.h"
#include "settings/Options.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The front cover in a FLAC file (the image) or an OGG file (the PICTURE block); empty: none.
inline QByteArray EmbeddedCover(const QString& path)
{
    QProcess p;
    const bool flac = path.endsWith(".flac");
    p.start(flac ? "metaflac" : "vorbiscomment", flac ? QStringList{"--list", "--block-type=PICTURE", path}
                                                      : QStringList{"-l", "-R", path});
    p.waitForFinished(30000);
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        if (line.startsWith("METADATA_BLOCK_PICTURE=")) return QByteArray::fromBase64(line.mid(23));
        if (!line.contains("type: 3 (Cover (front))")) continue;
        p.start("metaflac", {"--export-picture-to=-", path});
        p.waitForFinished(30000);
        return p.readAllStandardOutput();
    }
    return {};
}

// Every way the cover goes or does not go into a rip into `out`: `rip` runs the job with the
// settings made here. `plain` is a format that embeds nothing (WAV).
inline void CheckDiscCovers(const QString& out, TCannedPrompter& prompter, int plain,
                            const std::function<QVector<TEntryResult>()>& rip)
{
    enum { Ogg = 2, Flac = 4 };
    const QString mbid = "33333333-3333-4333-8333-333333333333";
    OptionsSetting.CDInfo.Artist = "Band";
    OptionsSetting.CDInfo.Album = "Disc";
    struct {
        const char* Name;
        int Format;
        QString Pattern, Cover;
        bool On, Cue;
        QByteArray Existing;     // folder.jpg in the output folder before; "->": a broken link
        QStringList Folders;     // the folder covers after
        bool Embedded;
        int Jobs = 1;            // workers
    } cases[] = {
        {"FLAC by pattern", Flac, "%A/%D/%N %T", "png", true, false, {}, {"Band/Disc/folder.png"}, true},
        {"FLAC whole disc", Flac, "%A/%D/%N %T", "jpg", true, true, {}, {"Band/Disc/folder.jpg"}, true},
        {"OGG beside the user's own folder.jpg", Ogg, "", "png", true, false, "mine", {"folder.jpg"}, true},
        {"a plain format", plain, "", "jpg", true, false, {}, {"folder.jpg"}, false},
        {"the setting off", Flac, "", "png", false, false, {}, {}, false},
        {"no stored cover", Ogg, "", "", true, false, {}, {}, false},
        {"a folder cover that cannot be written", Flac, "", "jpg", true, false, "->", {}, true},
        {"OGG with two workers", Ogg, "", "png", true, false, {}, {"folder.png"}, true, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        if (c.Existing == "->") QFile::link(out + "/no/such/x.jpg", out + "/folder.jpg");
        else if (!c.Existing.isEmpty()) WriteAll(out + "/folder.jpg", c.Existing);
        QDir(CoverFolder()).removeRecursively();
        TCoverImage image;
        QTemporaryDir tmp;
        if (!c.Cover.isEmpty()) {
            const QString made = tmp.filePath("c." + c.Cover);
            EXPECT_EQ(QProcess::execute("convert", {"-size", "3x2", "xc:#c83c28", made}), 0);
            image = CoverImageOf(ReadAll(made));
            StoreMbCover(mbid, image);
        }
        OptionsSetting.CDInfo.MBRelease = mbid;
        prompter.Log.clear();
        OptionsSetting.CommonOptions.OutputFormat = c.Format;
        OptionsSetting.CommonOptions.FileNamePattern = c.Pattern;
        OptionsSetting.FlacOptions.Cuesheet = c.Cue;
        OptionsSetting.MusicBrainz.Cover = c.On;
        OptionsSetting.CommonOptions.Jobs = c.Jobs;
        const QVector<TEntryResult> results = rip();
        EXPECT_EQ(prompter.Log.size(), c.Existing == "->" ? 1 : 0);
        EXPECT_EQ(prompter.Texts("warning").size(), prompter.Log.size());
        QStringList folders;
        for (QDirIterator it(out, {"folder.*"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            folders << QDir(out).relativeFilePath(it.next());
        EXPECT_EQ(folders, c.Folders);
        for (const QString& f : c.Folders)
            EXPECT_EQ(ReadAll(out + '/' + f), c.Existing.isEmpty() ? image.Bytes : c.Existing);
        ASSERT_EQ(results.size(), 2);
        for (const TEntryResult& r : results) {
            EXPECT_TRUE(r.Produced) << r.Failure.toStdString();
            EXPECT_EQ(EmbeddedCover(r.Output), !c.Embedded ? QByteArray()
                                               : c.Format == Ogg ? FlacPictureBlock(image) : image.Bytes);
        }
    }
    QDir(CoverFolder()).removeRecursively();
    OptionsSetting.CommonOptions.Jobs = 1;
}
