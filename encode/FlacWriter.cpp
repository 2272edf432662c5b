#include "encode/FlacWriter.h"

#include "audio/AuException.h"
#include "platform/OutputFile.h"

#include <FLAC++/encoder.h>
#include <FLAC++/metadata.h>
#include <algorithm>
#include <cerrno>

namespace {

constexpr int DefaultLevel = 5;
constexpr int SamplesPerCdFrame = 588;        // 44100 / 75
// Frames handed to the encoder per call.
constexpr size_t ChunkFrames = 16384;

QString Quoted(const QString& text)
{
    QString t = text;
    t.replace(QLatin1Char('"'), QLatin1Char('\''));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

} // namespace

QString CueTime(int64_t samples)
{
    const int64_t frames = samples / SamplesPerCdFrame;
    return QStringLiteral("%1:%2:%3")
        .arg(frames / (75 * 60), 2, 10, QLatin1Char('0'))
        .arg(frames / 75 % 60, 2, 10, QLatin1Char('0'))
        .arg(frames % 75, 2, 10, QLatin1Char('0'));
}

QString TFlacCueSheet::Text() const
{
    QStringList lines;
    if (!Performer.isEmpty()) lines << QStringLiteral("PERFORMER ") + Quoted(Performer);
    if (!Title.isEmpty()) lines << QStringLiteral("TITLE ") + Quoted(Title);
    lines << QStringLiteral("FILE ") + Quoted(FileName) + QStringLiteral(" WAVE");
    for (const TFlacCueTrack& t : Tracks) {
        lines << QStringLiteral("  TRACK %1 AUDIO").arg(t.Number, 2, 10, QLatin1Char('0'));
        if (!t.Title.isEmpty()) lines << QStringLiteral("    TITLE ") + Quoted(t.Title);
        if (!t.Performer.isEmpty()) lines << QStringLiteral("    PERFORMER ") + Quoted(t.Performer);
        lines << QStringLiteral("    INDEX 01 ") + CueTime(t.Offset);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

// The library's stream encoder writing into a TStream.
class TFlacWriter::TEncoder : public FLAC::Encoder::Stream {
public:
    explicit TEncoder(TStream* stream) : FStream(stream) {}
    bool WriteFailed = false;
    int WriteErrno = 0;                 // the cause of the failed write, when known
    bool Discarding = false;       // what is still written goes nowhere
    // The metadata blocks stay alive until the encoder is finished.
    FLAC::Metadata::VorbisComment Comments;
    FLAC::Metadata::Padding Padding;
    FLAC::Metadata::Picture Picture;

protected:
    ::FLAC__StreamEncoderWriteStatus write_callback(const FLAC__byte buffer[], size_t bytes, uint32_t,
                                                    uint32_t) override
    {
        if (Discarding) return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        errno = 0;
        if (FStream->Write(buffer, int64_t(bytes)) != int64_t(bytes)) {
            WriteFailed = true;
            WriteErrno = errno;
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    }
    ::FLAC__StreamEncoderSeekStatus seek_callback(FLAC__uint64 offset) override
    {
        if (Discarding) return FLAC__STREAM_ENCODER_SEEK_STATUS_UNSUPPORTED;
        return FStream->SetPosition(int64_t(offset)) ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
                                                     : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }
    ::FLAC__StreamEncoderTellStatus tell_callback(FLAC__uint64* offset) override
    {
        if (Discarding) return FLAC__STREAM_ENCODER_TELL_STATUS_UNSUPPORTED;
        const int64_t p = FStream->Position();
        if (p < 0) return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
        *offset = FLAC__uint64(p);
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }

private:
    TStream* FStream;
};

TFlacWriter::TFlacWriter() = default;

TFlacWriter::~TFlacWriter()
{
    Abandon();
}

void TFlacWriter::Open(TStream* stream, int bits, int channels, int rate, uint64_t totalSamples)
{
    Abandon();
    if (!stream) throw EAuException("No stream to write the FLAC file to.");
    if (bits != 8 && bits != 16 && bits != 24)
        throw EAuException(QStringLiteral("FLAC cannot hold %1-bit samples.").arg(bits));
    if (channels < 1 || channels > 8)
        throw EAuException(QStringLiteral("FLAC cannot hold %1 channels.").arg(channels));
    if (rate < 1 || rate > 655350)
        throw EAuException(QStringLiteral("FLAC cannot hold a sample rate of %1 Hz.").arg(rate));
    FBits = bits;
    FChannels = channels;
    FSamples = 0;
    FPending.clear();
    auto e = std::make_unique<TEncoder>(stream);
    e->set_verify(false);
    e->set_channels(uint32_t(channels));
    e->set_bits_per_sample(uint32_t(bits));
    e->set_sample_rate(uint32_t(rate));
    e->set_compression_level(uint32_t(Level >= 0 && Level <= 8 ? Level : DefaultLevel));
    if (totalSamples > 0) e->set_total_samples_estimate(totalSamples);

    for (const QString& c : Comments) {
        const QByteArray utf8 = c.toUtf8();
        const qsizetype eq = utf8.indexOf('=');
        if (eq <= 0) continue;
        e->Comments.append_comment(FLAC::Metadata::VorbisComment::Entry(
            utf8.left(eq).constData(), utf8.mid(eq + 1).constData(), uint32_t(utf8.size() - eq - 1)));
    }
    std::vector<FLAC::Metadata::Prototype*> blocks{&e->Comments};
    if (!Cover.IsNull()) {
        FLAC::Metadata::Picture& p = e->Picture;
        const QByteArray mime = Cover.Mime.toLatin1();
        p.set_type(FLAC__STREAM_METADATA_PICTURE_TYPE_FRONT_COVER);
        if (!p.set_mime_type(mime.constData()) || !p.set_description(reinterpret_cast<const FLAC__byte*>(""))
            || !p.set_data(reinterpret_cast<const FLAC__byte*>(Cover.Bytes.constData()), FLAC__uint32(Cover.Bytes.size())))
            throw EAuException("Out of memory for the FLAC picture.");
        p.set_width(FLAC__uint32(Cover.Width));
        p.set_height(FLAC__uint32(Cover.Height));
        p.set_depth(FLAC__uint32(Cover.Depth));
        p.set_colors(0);
        blocks.push_back(&p);
    }
    e->Padding.set_length(4096);
    blocks.push_back(&e->Padding);
    e->set_metadata(blocks.data(), uint32_t(blocks.size()));
    const ::FLAC__StreamEncoderInitStatus status = e->init();
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        const bool failedWrite = e->WriteFailed;
        throw EAuException(failedWrite ? WriteFailure(e->WriteErrno)
                                       : QStringLiteral("FLAC encoder setup failed: %1")
                                             .arg(QLatin1String(FLAC__StreamEncoderInitStatusString[status])));
    }
    FEncoder = std::move(e);
}

void TFlacWriter::Write(const uint8_t* data, size_t bytes)
{
    if (!FEncoder) throw EAuException("The FLAC encoder is not open.");
    const size_t sampleBytes = size_t(FBits / 8);
    const size_t frameBytes = sampleBytes * size_t(FChannels);
    // Complete a frame left over from the last call first.
    if (!FPending.empty()) {
        const size_t take = std::min(bytes, frameBytes - FPending.size());
        FPending.insert(FPending.end(), data, data + take);
        data += take;
        bytes -= take;
        if (FPending.size() == frameBytes) {
            std::vector<uint8_t> frame;
            frame.swap(FPending);
            Write(frame.data(), frame.size());
        }
    }
    while (bytes >= frameBytes) {
        const size_t frames = std::min(bytes / frameBytes, ChunkFrames);
        const size_t count = frames * size_t(FChannels);
        FSamplesBuf.resize(count);
        const uint8_t* in = data;
        int32_t* out = FSamplesBuf.data();
        switch (FBits) {
        case 8:
            for (size_t i = 0; i < count; ++i) out[i] = int32_t(in[i]) - 128;
            break;
        case 16:
            for (size_t i = 0; i < count; ++i, in += 2) out[i] = int16_t(uint16_t(in[0] | in[1] << 8));
            break;
        default:
            for (size_t i = 0; i < count; ++i, in += 3) {
                const int32_t v = int32_t(uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16);
                out[i] = v & 0x800000 ? v - 0x1000000 : v;
            }
            break;
        }
        if (!FEncoder->process_interleaved(FSamplesBuf.data(), uint32_t(frames)))
            throw EAuException(FEncoder->WriteFailed ? WriteFailure(FEncoder->WriteErrno)
                                                     : QString::fromLatin1(FEncoder->get_state().as_cstring()));
        FSamples += frames;
        data += frames * frameBytes;
        bytes -= frames * frameBytes;
    }
    if (bytes > 0) FPending.assign(data, data + bytes);
}

void TFlacWriter::Finish()
{
    if (!FEncoder) throw EAuException("The FLAC encoder is not open.");
    std::unique_ptr<TEncoder> e = std::move(FEncoder);
    FPending.clear();
    if (!e->finish() || e->WriteFailed)
        throw EAuException(WriteFailure(e->WriteErrno));
}

QString TFlacWriter::WriteFailure(int error) const
{
    if (error == 0 || FileName.isEmpty()) return QStringLiteral("Error writing FLAC file");
    return WriteErrorText(error, FileName);
}

void TFlacWriter::Abandon()
{
    // The library finishes an encoder it deletes, calling back into it: it is finished
    // here, while the callbacks still exist, with its last output thrown away.
    if (FEncoder) {
        FEncoder->Discarding = true;
        FEncoder->finish();
        FEncoder.reset();
    }
    FPending.clear();
}
