#include "encode/FlacRip.h"

#include "settings/FileNamePattern.h"

#include "audio/AuException.h"
#include "audio/AuFileStream.h"
#include "encode/CueSheet.h"
#include "encode/FlacOut.h"
#include "encode/JobEntry.h"
#include "encode/RipCover.h"
#include "platform/OutputFile.h"
#include "settings/Options.h"

#include <FLAC++/metadata.h>
#include <FLAC/metadata.h>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <memory>

namespace {

constexpr uint64_t CdLeadIn = 88200;          // 2 seconds at 44100 Hz
constexpr int SamplesPerCdFrame = 588;        // 44100 / 75
constexpr int LeadOutTrack = 170;

QString GenreName(int genre)
{
    return genre >= 0 && genre < GENRE_COUNT ? QString::fromLatin1(GenreNames[size_t(genre)]) : QString();
}

void AddIfSet(QStringList& list, const char* name, const QString& value)
{
    if (!value.isEmpty()) list << QLatin1String(name) + QLatin1Char('=') + value;
}

struct TChainDeleter {
    void operator()(FLAC__Metadata_Chain* c) const { FLAC__metadata_chain_delete(c); }
};
struct TIteratorDeleter {
    void operator()(FLAC__Metadata_Iterator* i) const { FLAC__metadata_iterator_delete(i); }
};

} // namespace

QStringList FlacDiscComments(const TCDInfo& info)
{
    QStringList list;
    AddIfSet(list, "ARTIST", info.Artist);
    AddIfSet(list, "ALBUM", info.Album);
    AddIfSet(list, "DATE", info.Year);
    AddIfSet(list, "GENRE", GenreName(info.Genre));
    AddIfSet(list, "COMMENT", info.Comment);
    return list;
}

QStringList FlacTrackComments(const TCDInfo& info, int trackNumber, const QString& title, int trackTotal)
{
    const int total = trackTotal > 0 ? trackTotal : std::max(info.TrackNumber, trackNumber);
    QStringList list{QStringLiteral("TITLE=") + title, QStringLiteral("TRACKNUMBER=%1").arg(trackNumber),
                     QStringLiteral("TRACKTOTAL=%1").arg(total)};
    return list + FlacDiscComments(info);
}

void ApplyFlacOptions(TFlacOut& encoder, const QString& title, int trackNumber, int trackTotal)
{
    ApplyFlacOptions(encoder, OptionsSetting, title, trackNumber, trackTotal);
}

void ApplyFlacOptions(TFlacOut& encoder, const TOptionsSetting& settings, const QString& title, int trackNumber,
                      int trackTotal)
{
    encoder.SetLevel(settings.FlacOptions.Level);
    encoder.SetComments(FlacTrackComments(settings.CDInfo, trackNumber, title, trackTotal));
    encoder.SetCover(RipCover(settings));
}

QString FlacDiscFileName(const TCDInfo& info, const QString& firstTrackPath)
{
    // In the folder the pattern gave the first track.
    const QString name = DiscFileName(info.Artist, info.Album, QStringLiteral(".flac"));
    const int slash = firstTrackPath.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? name : firstTrackPath.left(slash + 1) + name;
}

namespace {

// Puts a CUESHEET block and a CUESHEET comment holding `text` into the FLAC file at path.
void InsertCueSheet(const QString& path, const FLAC::Metadata::CueSheet& cue, const QString& text)
{
    const auto fail = [&](const char* what) {
        throw EAuException(path + QStringLiteral(": cannot write the cue sheet (") + QLatin1String(what)
                           + QLatin1Char(')'));
    };
    std::unique_ptr<FLAC__Metadata_Chain, TChainDeleter> chain(FLAC__metadata_chain_new());
    const QByteArray name = QFile::encodeName(path);
    if (!chain || !FLAC__metadata_chain_read(chain.get(), name.constData())) fail("read");
    std::unique_ptr<FLAC__Metadata_Iterator, TIteratorDeleter> it(FLAC__metadata_iterator_new());
    if (!it) fail("memory");
    FLAC__metadata_iterator_init(it.get(), chain.get());
    FLAC__StreamMetadata* comments = nullptr;
    do {
        if (FLAC__metadata_iterator_get_block_type(it.get()) == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
            comments = FLAC__metadata_iterator_get_block(it.get());
            break;
        }
    } while (FLAC__metadata_iterator_next(it.get()));
    if (!comments) fail("no comment block");
    const QByteArray entry = (QStringLiteral("CUESHEET=") + text).toUtf8();
    FLAC__StreamMetadata_VorbisComment_Entry e{uint32_t(entry.size()),
                                               reinterpret_cast<FLAC__byte*>(const_cast<char*>(entry.constData()))};
    if (!FLAC__metadata_object_vorbiscomment_append_comment(comments, e, true)) fail("comment");
    FLAC__StreamMetadata* block = FLAC__metadata_object_clone(static_cast<const FLAC__StreamMetadata*>(cue));
    if (!block) fail("memory");
    if (!FLAC__metadata_iterator_insert_block_after(it.get(), block)) {
        FLAC__metadata_object_delete(block);
        fail("insert");
    }
    if (!FLAC__metadata_chain_write(chain.get(), true, false))
        fail(FLAC__Metadata_ChainStatusString[FLAC__metadata_chain_status(chain.get())]);
}

FLAC::Metadata::CueSheet::Track LeadOutOf(int64_t samples)
{
    FLAC::Metadata::CueSheet::Track leadOut;
    leadOut.set_number(LeadOutTrack);
    leadOut.set_offset(FLAC__uint64(samples));
    return leadOut;
}

} // namespace

void WriteFlacCueSheet(const QString& path, const TFlacCueSheet& sheet)
{
    // A CD-DA sheet needs every track on a CD frame boundary.
    bool cd = sheet.LeadOut % SamplesPerCdFrame == 0;
    for (const TFlacCueTrack& t : sheet.Tracks) cd = cd && t.Offset % SamplesPerCdFrame == 0;
    FLAC::Metadata::CueSheet cue;
    cue.set_is_cd(cd);
    cue.set_lead_in(cd ? CdLeadIn : 0);
    uint32_t n = 0;
    for (const TFlacCueTrack& t : sheet.Tracks) {
        FLAC::Metadata::CueSheet::Track track;
        track.set_number(FLAC__byte(t.Number));
        track.set_offset(FLAC__uint64(t.Offset));
        track.set_type(0);
        cue.insert_track(n, track);
        ::FLAC__StreamMetadata_CueSheet_Index index{};
        index.number = 1;
        cue.insert_index(n, 0, index);
        ++n;
    }
    cue.insert_track(n, LeadOutOf(sheet.LeadOut));
    InsertCueSheet(path, cue, sheet.Text());
}

void WriteFlacCueSheet(const QString& path, const TCueDisc& disc, int64_t leadOut)
{
    FLAC::Metadata::CueSheet cue;
    cue.set_is_cd(true);
    cue.set_lead_in(CdLeadIn);
    if (ValidCatalog(disc.Catalog)) cue.set_media_catalog_number(disc.Catalog.toLatin1().constData());
    uint32_t n = 0;
    for (const TCueTrack& t : disc.Tracks) {
        if (t.Indices.empty()) continue;
        // The track begins at its first index (INDEX 00 when it has a gap); the others count
        // from there.
        const int64_t first = t.Indices.front().Frames;
        FLAC::Metadata::CueSheet::Track track;
        track.set_number(FLAC__byte(t.Number));
        track.set_offset(FLAC__uint64(first * SamplesPerCdFrame));
        track.set_type(0);
        track.set_pre_emphasis(t.PreEmphasis);
        if (ValidIsrc(t.Isrc)) track.set_isrc(t.Isrc.toLatin1().constData());
        cue.insert_track(n, track);
        uint32_t k = 0;
        for (const TCueIndex& ix : t.Indices) {
            ::FLAC__StreamMetadata_CueSheet_Index index{};
            index.number = FLAC__byte(ix.Number);
            index.offset = FLAC__uint64((ix.Frames - first) * SamplesPerCdFrame);
            cue.insert_index(n, k++, index);
        }
        ++n;
    }
    cue.insert_track(n, LeadOutOf(leadOut));
    InsertCueSheet(path, cue, QString::fromUtf8(WriteCueSheet(disc)));
}

// ---- the rip sink ---------------------------------------------------------------------

TFlacRipSink::TFlacRipSink(const QString& path, int level, const QStringList& comments, const TCoverImage& cover)
    : FPath(path)
{
    FWriter.Level = level;
    FWriter.Comments = comments;
    FWriter.Cover = cover;
}

TFlacRipSink::~TFlacRipSink()
{
    if (FWriter.IsOpen()) Discard();
}

bool TFlacRipSink::Begin()
{
    try {
        if (!FWriter.IsOpen()) {
            RemoveStalePart(FPath);
            FWriter.FileName = FPath;
            FStream = std::make_unique<TAuFileStream>(PartPathOf(FPath), TAuFileStream::fmCreate);
            FWriter.Open(FStream.get(), 16, 2, 44100, 0);
            FOffsets.clear();
        }
        FOffsets.push_back(int64_t(FWriter.SamplesWritten()));
        return true;
    } catch (const std::exception& e) {
        FError = QString::fromUtf8(e.what());
        Discard();
        return false;
    }
}

bool TFlacRipSink::Write(const uint8_t* data, size_t bytes)
{
    try {
        FWriter.Write(data, bytes);
        return true;
    } catch (const std::exception& e) {
        FError = QString::fromUtf8(e.what());
        return false;
    }
}

bool TFlacRipSink::EndTrack()
{
    return true;
}

bool TFlacRipSink::FinishDisc()
{
    return FWriter.IsOpen() && Finish();
}

bool TFlacRipSink::Finish()
{
    try {
        FWriter.Finish();
        FStream.reset();
        return true;
    } catch (const std::exception& e) {
        FError = QString::fromUtf8(e.what());
        Discard();
        return false;
    }
}

void TFlacRipSink::Discard()
{
    const bool created = bool(FStream);
    FWriter.Abandon();
    FStream.reset();
    if (created) DiscardPart(PartPathOf(FPath));
}

QString CompleteWholeDiscFile(const QString& cueFile, int64_t leadOut, const QStringList& entries,
                              const std::vector<int64_t>& offsets, const TCDInfo& info, const TWholeDiscLayout& layout)
{
    const QString name = QFileInfo(cueFile).fileName();
    std::vector<TCuePiece> pieces;
    for (int i = 0; i < entries.size() && i < int(offsets.size()); ++i)
        pieces.push_back({ParseRipEntry(entries[i]).TrackNumber, name, offsets[size_t(i)] / SamplesPerCdFrame});
    // Without the disc's table the tracks follow each other as they were read.
    std::vector<int64_t> starts = layout.Starts;
    if (starts.empty()) {
        int last = 0;
        for (const TCuePiece& p : pieces) last = std::max(last, p.Track);
        starts.assign(size_t(last) + 1, 0);
    }
    TCDInfo titles = info;
    for (int i = 0; i < entries.size(); ++i) {
        const TRipEntry entry = ParseRipEntry(entries[i]);
        if (entry.TrackNumber >= 1 && entry.TrackNumber <= MAX_TITLES) titles.Titles[size_t(entry.TrackNumber)] = entry.Title;
    }
    const TCueDisc disc = RipCueSheet(pieces, starts, layout.Extras, titles, layout.DiscId);
    try {
        WriteFlacCueSheet(PartPathOf(cueFile), disc, leadOut);
    } catch (const std::exception& e) {
        return cueFile + QStringLiteral(": ") + QString::fromUtf8(e.what());
    }
    QString error;
    return CommitPart(PartPathOf(cueFile), cueFile, &error) ? QString() : error;
}
