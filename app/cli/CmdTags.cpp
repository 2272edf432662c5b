// varnelcd-cli tags FILE... [--copy-to OUT] [--replaygain] [--id3 24|23|1]
#include "app/cli/CliCommand.h"
#include "app/cli/WaveCommands.h"
#include "audio/AuException.h"
#include "audio/ReplayGain.h"
#include "audio/WaveIn.h"
#include "metadata/TagReader.h"
#include "metadata/TagWriters.h"
#include "settings/Options.h"

namespace {

void PrintRecord(const TTagRecord& t)
{
    const auto line = [](const char* name, const QString& value) {
        if (!value.isEmpty())
            PrintLine(stdout, QLatin1String(name) + QStringLiteral(": ") + value);
    };
    line("Title", t.Title);
    line("Artist", t.Artist);
    line("Album", t.Album);
    line("Album artist", t.AlbumArtist);
    line("Date", t.Date);
    line("Genre", t.Genre);
    line("Track", NumberOfTotal(t.Track, t.TrackTotal));
    line("Disc", NumberOfTotal(t.Disc, t.DiscTotal));
    line("Comment", t.Comment);
    line("ISRC", t.Isrc);
    line("Catalog", t.Catalog);
    line("MusicBrainz album", t.MbAlbumId);
    line("MusicBrainz disc", t.MbDiscId);
    if (t.HasTrackGain())
        line("Track gain", FormatReplayGain(t.TrackGain) + QStringLiteral(", peak ") + FormatReplayPeak(t.TrackPeak));
    if (t.HasAlbumGain())
        line("Album gain", FormatReplayGain(t.AlbumGain) + QStringLiteral(", peak ") + FormatReplayPeak(t.AlbumPeak));
    if (!t.Cover.isEmpty())
        line("Cover", QStringLiteral("%1, %2 bytes").arg(t.CoverMime).arg(t.Cover.size()));
}

// Feeds a 16-bit stereo 44100 Hz WAV file to the measurement as one track.
bool MeasureWav(const QString& path, TReplayGain& gain)
{
    TWaveIn in;
    if (!WaveCli::OpenInput(in, path))
        return false;
    if (in.BitsPerSample() != 16 || in.Channels() != 2 || in.SampleRate() != 44100) {
        PrintLine(stderr, "varnelcd-cli tags: " + path + ": ReplayGain needs 16-bit stereo 44100 Hz PCM");
        return false;
    }
    try {
        in.Init();
        for (;;) {
            void* buffer = nullptr;
            uint32_t bytes = 65536;
            in.GetData(buffer, bytes);
            if (bytes == 0)
                break;
            gain.FeedBytes(static_cast<const char*>(buffer), bytes);
        }
        in.Flush();
    } catch (const EAuException& e) {
        PrintLine(stderr, "varnelcd-cli tags: " + path + ": " + e.Message());
        gain.DiscardTrack();
        return false;
    }
    return true;
}

// Prints the tags of each file as the conversions read them; copies one file's tags into
// another; or measures WAV files as the tracks of one album.
int Tags(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Show the tags of audio files, copy them into another file, or measure "
                                     "the ReplayGain of WAV files as one album.");
    parser.addPositionalArgument("FILE", "The files.", "FILE...");
    parser.addOption(QCommandLineOption("copy-to", "Write the tags of the one FILE into OUT (MP3, FLAC, OGG, WAV).",
                                        "OUT"));
    parser.addOption(QCommandLineOption("replaygain", "Print the ReplayGain of each WAV file and of all of them."));
    parser.addOption(QCommandLineOption("id3", "The MP3 tags --copy-to writes: 24, 23 or 1 (default: the settings).",
                                        "VERSION"));
    if (const int rc = ParseCommandLine(parser, args, "tags"); rc >= 0)
        return rc;
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty() || (parser.isSet("copy-to") && files.size() != 1)) {
        PrintLine(stderr, "varnelcd-cli tags: give FILE... (one FILE with --copy-to)");
        return 2;
    }
    TTagWriteOptions options = TagWriteOptionsOf(OptionsSetting);
    if (parser.isSet("id3")) {
        int version = 0;
        if (!IntOption(parser, "id3", version) || (version != 24 && version != 23 && version != 1)) {
            PrintLine(stderr, "varnelcd-cli tags: --id3 takes 24, 23 or 1");
            return 2;
        }
        options.Id3Version = version;
    }

    if (parser.isSet("replaygain")) {
        TReplayGain gain;
        for (const QString& file : files) {
            if (!MeasureWav(file, gain))
                return 1;
            const TReplayGainResult track = gain.FinishTrack();
            PrintLine(stdout, QStringLiteral("%1\t%2\t%3").arg(file, FormatReplayGain(track.Gain),
                                                                 FormatReplayPeak(track.Peak)));
        }
        const TReplayGainResult album = gain.Album();
        PrintLine(stdout, QStringLiteral("album\t%1\t%2").arg(FormatReplayGain(album.Gain), FormatReplayPeak(album.Peak)));
        return 0;
    }

    int status = 0;
    for (const QString& file : files) {
        TTagRecord tag;
        QString message;
        if (!ReadFileTags(file, tag, &message)) {
            PrintLine(stderr, "varnelcd-cli tags: " + message);
            status = 1;
            continue;
        }
        if (!message.isEmpty())
            PrintLine(stderr, "varnelcd-cli tags: " + message);
        if (parser.isSet("copy-to")) {
            const QString out = parser.value("copy-to");
            if (TagFormatOf(out) == TTagFormat::None || TagFormatOf(out) == TTagFormat::Wma) {
                PrintLine(stderr, "varnelcd-cli tags: " + out + ": tags are written into MP3, FLAC, OGG, Opus, M4A and WAV files");
                return 2;
            }
            QString error;
            if (!RetagFile(out, tag, options, &error)) {
                PrintLine(stderr, "varnelcd-cli tags: " + error);
                return 1;
            }
            continue;
        }
        if (files.size() > 1)
            PrintLine(stdout, "File: " + file);
        PrintRecord(tag);
    }
    return status;
}

} // namespace

VARNELCD_CLI_COMMAND("tags", "show or copy the tags of audio files, or measure their ReplayGain", Tags);
