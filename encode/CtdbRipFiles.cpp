#include "encode/CtdbRipFiles.h"

#include "audio/AuException.h"
#include "audio/AuFileStream.h"
#include "audio/WaveIn.h"
#include "encode/FlacIn.h"
#include "encode/FlacWriter.h"
#include "platform/OutputFile.h"
#include "platform/TextCodec.h"
#include "settings/Options.h"

#include <FLAC/metadata.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <memory>

namespace {

constexpr int kSectorSamples = 588;
constexpr int kChunkSamples = 65536;
constexpr int kMaxCueLines = 10000;
constexpr int kMaxCueLine = 4094;

// "mm:ss:ff" as sectors; -1 when it is not such a time.
int64_t CueSectors(const QString& text)
{
    const QStringList p = text.split(QLatin1Char(':'));
    if (p.size() != 3)
        return -1;
    int v[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        v[i] = p[i].toInt(&ok);
        if (!ok || v[i] < 0 || p[i].isEmpty() || p[i].size() > 4 || !p[i][0].isDigit())
            return -1;
    }
    if (v[1] >= 60 || v[2] >= 75)
        return -1;
    return (int64_t(v[0]) * 60 + v[1]) * 75 + v[2];
}

// A FILE line's name: quoted (spaces allowed) or the next word.
QString FileName(const QString& rest)
{
    if (rest.startsWith(QLatin1Char('"'))) {
        const qsizetype end = rest.indexOf(QLatin1Char('"'), 1);
        return end > 1 ? rest.mid(1, end - 1) : QString();
    }
    return rest.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
}

struct TReader {
    std::unique_ptr<TAuFileIn> In;
    bool Flac = false;
    int64_t Samples = 0;
};

// A rip file opened for reading: 16-bit stereo 44.1 kHz plain WAV or FLAC.
bool OpenReader(const QString& path, TReader& r, QString& error)
{
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: cannot be read").arg(path);
        return false;
    }
    r.Flac = probe.read(4) == "fLaC";
    probe.close();
    try {
        if (r.Flac) {
            r.In = std::make_unique<TFlacIn>();
        } else {
            auto wave = std::make_unique<TWaveIn>();
            wave->SetFileName(path);
            if (wave->WavType() != wtPCM) {
                error = QStringLiteral("%1: not a PCM WAV or a FLAC file").arg(path);
                return false;
            }
            r.In = std::move(wave);
        }
        r.In->SetFileName(path);
        if (!r.In->Valid()) {
            error = QStringLiteral("%1: not a readable WAV or FLAC file").arg(path);
            return false;
        }
        if (r.In->BitsPerSample() != 16 || r.In->Channels() != 2 || r.In->SampleRate() != 44100) {
            error = QStringLiteral("%1: not CD audio (16-bit stereo at 44.1 kHz)").arg(path);
            return false;
        }
        r.Samples = r.In->TotalSamples();
    } catch (const std::exception& e) {
        error = QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

// Reads the whole file in chunks of whole samples, each handed to `take` with its first
// sample; false on a damaged file.
template <typename Take>
bool Stream(TReader& r, const QString& path, QString& error, Take&& take)
{
    std::vector<uint8_t> buffer(size_t(kChunkSamples) * 4);
    int64_t at = 0;
    try {
        r.In->Init();
        bool ended = false;
        while (!ended) {
            const int bytes = r.In->FillBuffer(buffer.data(), int(buffer.size()), ended);
            if (bytes <= 0)
                break;
            take(buffer.data(), at, bytes / 4);
            at += bytes / 4;
        }
        r.In->Flush();
    } catch (const std::exception& e) {
        error = QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what()));
        return false;
    }
    if (at != r.Samples) {
        error = QStringLiteral("%1: %2 of %3 samples could be read").arg(path).arg(at).arg(r.Samples);
        return false;
    }
    return true;
}

bool Touches(const TCtdbRepair& repair, int64_t firstSample, int64_t samples)
{
    const auto it = std::lower_bound(repair.Words.begin(), repair.Words.end(), firstSample * 2);
    return it != repair.Words.end() && *it < (firstSample + samples) * 2;
}

// The PCM of a WAV file patched in a copy: every other byte stays as it was.
bool RepairWave(const QString& path, int64_t firstSample, const TCtdbRepair& repair, QString& error)
{
    TWaveIn wave;
    wave.SetFileName(path);
    wave.OpenFile();
    const int64_t dataStart = wave.DataStart();
    const int64_t samples = wave.TotalSamples();
    wave.CloseFile();
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: cannot be read").arg(path);
        return false;
    }
    TOutputFile out(path);
    if (!out.Open()) {
        error = out.Error();
        return false;
    }
    if (!out.Write(in.read(dataStart)))
        return error = out.Error(), false;
    for (int64_t at = 0; at < samples; at += kChunkSamples) {
        const int64_t n = std::min<int64_t>(kChunkSamples, samples - at);
        QByteArray chunk = in.read(n * 4);
        if (chunk.size() != n * 4) {
            error = QStringLiteral("%1: cannot be read").arg(path);
            return false;
        }
        repair.Apply(reinterpret_cast<uint8_t*>(chunk.data()), firstSample + at, n);
        if (!out.Write(chunk))
            return error = out.Error(), false;
    }
    while (!in.atEnd())
        if (!out.Write(in.read(1 << 20)))
            return error = out.Error(), false;
    if (!out.Commit())
        return error = out.Error(), false;
    return true;
}

// The FLAC file's other metadata (cue sheet, pictures, application blocks) copied into
// the re-encoded part file.
bool CopyFlacBlocks(const QString& from, const QString& to, QString& error)
{
    struct TChain {
        FLAC__Metadata_Chain* C = FLAC__metadata_chain_new();
        ~TChain() { FLAC__metadata_chain_delete(C); }
    } source, target;
    struct TIterator {
        FLAC__Metadata_Iterator* I = FLAC__metadata_iterator_new();
        ~TIterator() { FLAC__metadata_iterator_delete(I); }
    } src, dst;
    if (!source.C || !target.C || !src.I || !dst.I || !FLAC__metadata_chain_read(source.C, QFile::encodeName(from).constData()) ||
        !FLAC__metadata_chain_read(target.C, QFile::encodeName(to).constData())) {
        error = QStringLiteral("%1: its metadata cannot be read").arg(from);
        return false;
    }
    FLAC__metadata_iterator_init(dst.I, target.C);
    while (FLAC__metadata_iterator_next(dst.I)) {
    }
    FLAC__metadata_iterator_init(src.I, source.C);
    bool copied = false;
    do {
        const FLAC__MetadataType type = FLAC__metadata_iterator_get_block_type(src.I);
        if (type != FLAC__METADATA_TYPE_CUESHEET && type != FLAC__METADATA_TYPE_PICTURE &&
            type != FLAC__METADATA_TYPE_APPLICATION)
            continue;
        FLAC__StreamMetadata* block = FLAC__metadata_object_clone(FLAC__metadata_iterator_get_block(src.I));
        if (!block || !FLAC__metadata_iterator_insert_block_after(dst.I, block)) {
            FLAC__metadata_object_delete(block);
            error = QStringLiteral("%1: out of memory").arg(to);
            return false;
        }
        copied = true;
    } while (FLAC__metadata_iterator_next(src.I));
    if (copied && !FLAC__metadata_chain_write(target.C, true, false)) {
        error = QStringLiteral("%1: %2").arg(to, QString::fromLatin1(
            FLAC__Metadata_ChainStatusString[FLAC__metadata_chain_status(target.C)]));
        return false;
    }
    return true;
}

bool RepairFlac(const QString& path, int64_t firstSample, const TCtdbRepair& repair, QString& error)
{
    TReader r;
    if (!OpenReader(path, r, error))
        return false;
    const QStringList comments = static_cast<TFlacIn*>(r.In.get())->Comments();
    const QString part = PartPathOf(path);
    RemoveStalePart(path);
    bool ok = false;
    try {
        TAuFileStream stream(part, TAuFileStream::fmCreate);
        TFlacWriter writer;
        writer.Level = OptionsSetting.FlacOptions.Level;
        writer.Comments = comments;
        writer.FileName = path;
        writer.Open(&stream, 16, 2, 44100, uint64_t(r.Samples));
        ok = Stream(r, path, error, [&](uint8_t* data, int64_t at, int64_t n) {
            repair.Apply(data, firstSample + at, n);
            writer.Write(data, size_t(n) * 4);
        });
        if (ok)
            writer.Finish();
        else
            writer.Abandon();
    } catch (const std::exception& e) {
        error = QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what()));
        ok = false;
    }
    r.In.reset();
    if (!ok || !CopyFlacBlocks(path, part, error) || !CommitPart(part, path, &error)) {
        DiscardPart(part);
        return false;
    }
    return true;
}

} // namespace

TRipCue ParseRipCue(const QByteArray& bytes, const QString& folder)
{
    TRipCue cue;
    const QStringList lines = DecodeText(bytes).split(QLatin1Char('\n'));
    if (lines.size() > kMaxCueLines) {
        cue.Error = QStringLiteral("the cue sheet is too long");
        return cue;
    }
    int lastTrack = 0;
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        const auto fail = [&](const QString& why) {
            cue.Error = QStringLiteral("cue sheet line %1: %2").arg(n + 1).arg(why);
            cue.Files.clear();
            cue.TrackFile.clear();
            cue.TrackIndex1.clear();
            return cue;
        };
        if (line.size() > kMaxCueLine)
            return fail(QStringLiteral("too long"));
        const QString word = line.section(QLatin1Char(' '), 0, 0).toUpper();
        const QString rest = line.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
        if (word == QLatin1String("FILE")) {
            const QString name = FileName(rest);
            const QString type = rest.section(QLatin1Char(' '), -1).toUpper();
            if (name.isEmpty())
                return fail(QStringLiteral("a FILE without a name"));
            if (type == QLatin1String("BINARY") || type == QLatin1String("MOTOROLA"))
                return fail(QStringLiteral("%1 is a disc image, not a WAV or FLAC rip").arg(name));
            cue.Files << QDir(folder).filePath(name);
        } else if (word == QLatin1String("TRACK")) {
            bool ok = false;
            const int number = rest.section(QLatin1Char(' '), 0, 0).toInt(&ok);
            if (!ok || number < 1 || number > 99 || number <= lastTrack)
                return fail(QStringLiteral("a track number out of order"));
            if (cue.Files.isEmpty())
                return fail(QStringLiteral("a TRACK before any FILE"));
            if (rest.section(QLatin1Char(' '), 1, 1).toUpper() != QLatin1String("AUDIO"))
                return fail(QStringLiteral("track %1 is a data track; only audio rips are checked").arg(number));
            if (!cue.TrackIndex1.empty() && cue.TrackIndex1.back() < 0)
                return fail(QStringLiteral("track %1 has no INDEX 01").arg(lastTrack));
            lastTrack = number;
            cue.TrackFile.push_back(int(cue.Files.size()) - 1);
            cue.TrackIndex1.push_back(-1);
        } else if (word == QLatin1String("INDEX") && !cue.TrackIndex1.empty()) {
            bool ok = false;
            const int index = rest.section(QLatin1Char(' '), 0, 0).toInt(&ok);
            const int64_t at = CueSectors(rest.section(QLatin1Char(' '), 1, 1));
            if (!ok || at < 0)
                return fail(QStringLiteral("a damaged INDEX"));
            if (index == 1) {
                // INDEX 01 lies in the file named last (a gap may sit in the file before).
                cue.TrackFile.back() = int(cue.Files.size()) - 1;
                cue.TrackIndex1.back() = at;
            }
        }
    }
    if (cue.TrackIndex1.empty() || cue.TrackIndex1.back() < 0) {
        cue.Error = cue.TrackIndex1.empty() ? QStringLiteral("the cue sheet has no track")
                                            : QStringLiteral("track %1 has no INDEX 01").arg(lastTrack);
        cue.Files.clear();
        cue.TrackFile.clear();
        cue.TrackIndex1.clear();
        return cue;
    }
    cue.Ok = true;
    return cue;
}

namespace {

bool LayOut(const TRipCue& cue, TRipFiles& files, QString& error)
{
    files = TRipFiles();
    if (cue.TrackFile.empty()) {
        error = QStringLiteral("no file to check");
        return false;
    }
    int64_t at = 0;
    for (const QString& path : cue.Files) {
        TReader r;
        if (!OpenReader(path, r, error))
            return false;
        if (r.Samples % kSectorSamples != 0) {
            error = QStringLiteral("%1: not whole CD sectors (%2 samples)").arg(path).arg(r.Samples);
            return false;
        }
        files.Paths << path;
        files.FirstSample.push_back(at);
        files.Samples.push_back(r.Samples);
        at += r.Samples;
    }
    for (size_t t = 0; t < cue.TrackFile.size(); ++t) {
        const int64_t lba = files.FirstSample[size_t(cue.TrackFile[t])] / kSectorSamples + cue.TrackIndex1[t];
        if ((!files.Disc.Starts.empty() && lba <= files.Disc.Starts.back()) || lba * kSectorSamples >= at) {
            error = QStringLiteral("track %1 does not start within the files, after the track before").arg(t + 1);
            return false;
        }
        files.Disc.Starts.push_back(lba);
        files.Disc.Data.push_back(false);
    }
    files.Disc.LeadOut = at / kSectorSamples;
    files.SkipSamples = files.Disc.Starts.front() * kSectorSamples;
    return true;
}

} // namespace

bool OpenRipFiles(const QString& cuePath, TRipFiles& files, QString& error)
{
    QFile f(cuePath);
    if (!f.open(QIODevice::ReadOnly) || f.size() > (1 << 20)) {
        error = QStringLiteral("%1: not a readable cue sheet").arg(cuePath);
        return false;
    }
    const TRipCue cue = ParseRipCue(f.readAll(), QFileInfo(cuePath).absolutePath());
    if (!cue.Ok) {
        error = QStringLiteral("%1: %2").arg(cuePath, cue.Error);
        return false;
    }
    return LayOut(cue, files, error);
}

bool OpenRipFiles(const QStringList& paths, TRipFiles& files, QString& error)
{
    TRipCue cue;
    cue.Files = paths;
    for (int i = 0; i < paths.size(); ++i) {
        cue.TrackFile.push_back(i);
        cue.TrackIndex1.push_back(0);
    }
    return LayOut(cue, files, error);
}

bool ReadRipFiles(const TRipFiles& files, TCtdbAccumulator& rip, QString& error)
{
    for (int f = 0; f < files.Paths.size(); ++f) {
        TReader r;
        if (!OpenReader(files.Paths[f], r, error))
            return false;
        const int64_t first = files.FirstSample[size_t(f)] - files.SkipSamples;
        const bool ok = Stream(r, files.Paths[f], error, [&](const uint8_t* data, int64_t at, int64_t n) {
            const int64_t skip = std::clamp<int64_t>(-(first + at), 0, n);
            rip.Add(data + 4 * skip, size_t(n - skip) * 4);
        });
        if (!ok)
            return false;
    }
    return true;
}

bool RepairRipFile(const QString& path, int64_t firstSample, const TCtdbRepair& repair, QString& error)
{
    TReader r;
    if (!OpenReader(path, r, error))
        return false;
    const bool flac = r.Flac;
    r.In.reset();
    try {
        return flac ? RepairFlac(path, firstSample, repair, error) : RepairWave(path, firstSample, repair, error);
    } catch (const std::exception& e) {
        error = QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what()));
        return false;
    }
}

int RepairRipFiles(const TRipFiles& files, const TCtdbRepair& repair, QString& error)
{
    int rewritten = 0;
    for (int f = 0; f < files.Paths.size(); ++f) {
        const int64_t first = files.FirstSample[size_t(f)] - files.SkipSamples;
        if (!Touches(repair, first, files.Samples[size_t(f)]))
            continue;
        if (!RepairRipFile(files.Paths[f], first, repair, error))
            return -1;
        ++rewritten;
    }
    return rewritten;
}
