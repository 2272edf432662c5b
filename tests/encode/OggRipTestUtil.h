#pragma once
// The Vorbis comments of OGG rips, shared by the tests of both rip jobs: whichever CD library
// reads, the same comments (vorbiscomment -l), the titles as stored, the names cleaned.
#include "encode/JobEntry.h"
#include "fixtures/TestUtil.h"
#include "settings/Options.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <functional>
#include <gtest/gtest.h>

// The comments of an OGG file as vorbiscomment lists them, sorted, without the loudness
// (measured, so not the same from one test audio to the next).
inline QStringList OggCommentLines(const QString& path)
{
    QProcess p;
    p.start("vorbiscomment", {"-l", path});
    p.waitForFinished(30000);
    QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString& line) { return line.startsWith("REPLAYGAIN_"); });
    lines.sort();
    return lines;
}

// `rip` runs the job on the entries with the OGG format and the settings made here, into
// the output folder `out`.
inline void CheckOggRipComments(const QString& out, const std::function<QVector<TEntryResult>(const QStringList&)>& rip)
{
    TCDInfo& disc = OptionsSetting.CDInfo;
    disc.Artist = "Band";
    disc.Album = "Disc";
    disc.Year = "2001";
    disc.Comment = "Note";
    OptionsSetting.CommonOptions.OutputFormat = FormatOgg;
    OptionsSetting.CommonOptions.FileNamePattern.clear();
    const QStringList entries{RipEntryText(1, "AC/DC?"), RipEntryText(2, "Two")};
    const QStringList names{"ACDC.ogg", "Two.ogg"}, titles{"AC/DC?", "Two"};
    struct {
        const char* Name;
        bool On;
        int Genre;
        int Jobs;
    } cases[] = {
        {"tagging on", true, GenreIndexOf("Rock"), 1},
        {"a disc without a genre", true, -1, 1},
        {"two workers", true, GenreIndexOf("Rock"), 2},
        {"tagging off", false, GenreIndexOf("Rock"), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        OptionsSetting.ID3Use = c.On;
        disc.Genre = c.Genre;
        OptionsSetting.CommonOptions.Jobs = c.Jobs;
        const QVector<TEntryResult> results = rip(entries);
        ASSERT_EQ(results.size(), 2);
        for (int i = 0; i < 2; ++i) {
            EXPECT_TRUE(results[i].Produced) << results[i].Failure.toStdString();
            EXPECT_EQ(QFileInfo(results[i].Output).fileName(), names[i]);
            QStringList expected;
            if (c.On) {
                expected = QStringList{"ALBUM=Disc", "ALBUMARTIST=Band", "ARTIST=Band", "COMMENT=Note", "DATE=2001",
                                       "TITLE=" + titles[i], QString("TRACKNUMBER=%1").arg(i + 1), "TRACKTOTAL=2"};
                if (c.Genre >= 0) expected << "GENRE=Rock";
                expected.sort();
            }
            EXPECT_EQ(OggCommentLines(results[i].Output), expected);
        }
    }
    OptionsSetting.CommonOptions.Jobs = 1;
}
