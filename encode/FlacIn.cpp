#include "encode/FlacIn.h"

#include "audio/AuFileStream.h"

#include <FLAC++/decoder.h>
#include <algorithm>

// The library's stream decoder reading the component's TStream.
class TFlacIn::TDecoder : public FLAC::Decoder::Stream {
public:
    explicit TDecoder(TFlacIn* owner) : FOwner(owner) {}
    QString Error;                     // the first decoding error
    bool SawStreamInfo = false;

protected:
    ::FLAC__StreamDecoderReadStatus read_callback(FLAC__byte buffer[], size_t* bytes) override
    {
        TStream* s = FOwner->Stream();
        const int64_t n = s ? s->Read(buffer, int64_t(*bytes)) : -1;
        if (n < 0) {
            *bytes = 0;
            return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
        }
        *bytes = size_t(n);
        return n == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
    }
    ::FLAC__StreamDecoderSeekStatus seek_callback(FLAC__uint64 offset) override
    {
        TStream* s = FOwner->Stream();
        return s && s->SetPosition(int64_t(offset)) ? FLAC__STREAM_DECODER_SEEK_STATUS_OK
                                                    : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
    }
    ::FLAC__StreamDecoderTellStatus tell_callback(FLAC__uint64* offset) override
    {
        TStream* s = FOwner->Stream();
        const int64_t p = s ? s->Position() : -1;
        if (p < 0) return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
        *offset = FLAC__uint64(p);
        return FLAC__STREAM_DECODER_TELL_STATUS_OK;
    }
    ::FLAC__StreamDecoderLengthStatus length_callback(FLAC__uint64* length) override
    {
        TStream* s = FOwner->Stream();
        const int64_t n = s ? s->Size() : -1;
        if (n < 0) return FLAC__STREAM_DECODER_LENGTH_STATUS_ERROR;
        *length = FLAC__uint64(n);
        return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
    }
    bool eof_callback() override
    {
        TStream* s = FOwner->Stream();
        return !s || s->Position() >= s->Size();
    }
    ::FLAC__StreamDecoderWriteStatus write_callback(const ::FLAC__Frame* frame,
                                                    const FLAC__int32* const buffer[]) override
    {
        FOwner->TakeFrame(int(frame->header.blocksize), int(frame->header.channels), buffer);
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    void metadata_callback(const ::FLAC__StreamMetadata* m) override
    {
        if (m->type == FLAC__METADATA_TYPE_STREAMINFO) {
            const auto& si = m->data.stream_info;
            SawStreamInfo = true;
            FOwner->FSourceBits = int(si.bits_per_sample);
            FOwner->FChan = int(si.channels);
            FOwner->FSR = int(si.sample_rate);
            FOwner->FStreamSamples = si.total_samples;
        } else if (m->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
            const auto& vc = m->data.vorbis_comment;
            for (uint32_t i = 0; i < vc.num_comments; ++i)
                FOwner->FComments << QString::fromUtf8(reinterpret_cast<const char*>(vc.comments[i].entry),
                                                       qsizetype(vc.comments[i].length));
        }
    }
    void error_callback(::FLAC__StreamDecoderErrorStatus status) override
    {
        if (!Error.isEmpty()) return;
        switch (status) {
        case FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC:
            Error = QStringLiteral("Damaged FLAC data: the stream loses its frame sync (cut short or overwritten).");
            break;
        case FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH:
            Error = QStringLiteral("Damaged FLAC data: a frame fails its checksum.");
            break;
        default:
            Error = QStringLiteral("Damaged FLAC data: %1")
                        .arg(QLatin1String(FLAC__StreamDecoderErrorStatusString[status]));
            break;
        }
    }

private:
    TFlacIn* FOwner;
};

TFlacIn::TFlacIn(QObject* Owner) : TAuTaggedFileIn(Owner) {}

TFlacIn::~TFlacIn()
{
    ReleaseReaders();
    CloseFile();
}

QStringList TFlacIn::Comments()
{
    OpenFile();
    return FComments;
}

void TFlacIn::OpenFile()
{
    std::lock_guard lock(FFileLock);
    if (FOpened > 0)
        return;
    FValid = true;
    OpenOwnStream();
    FComments.clear();
    FStreamSamples = 0;
    auto d = std::make_unique<TDecoder>(this);
    d->set_md5_checking(true);
    d->set_metadata_respond(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    const bool ok = d->init() == FLAC__STREAM_DECODER_INIT_STATUS_OK && d->process_until_end_of_metadata()
                    && d->SawStreamInfo && d->Error.isEmpty() && FChan > 0 && FSR > 0;
    if (!ok) {
        d.reset();
        if (StreamAssigned()) Stream()->SetPosition(0);
        else ReleaseOwnedStream();
        FValid = false;
        throw EAuException(QStringLiteral("Not a FLAC file that can be read: %1").arg(FileName()));
    }
    FDecoder = std::move(d);
    FBPS = (FSourceBits + 7) / 8 * 8;
    FSize = FStreamSamples > 0 ? int64_t(FStreamSamples) * FChan * (FBPS / 8) : -1;
    FBuffer.clear();
    FBufferRead = 0;
    FDecodedSamples = 0;
    FDecodeEnded = false;
    FOpened = 1;
}

void TFlacIn::CloseFile()
{
    std::lock_guard lock(FFileLock);
    if (FOpened <= 0)
        return;
    FDecoder.reset();
    if (StreamAssigned()) Stream()->SetPosition(0);
    else ReleaseOwnedStream();
    FOpened = 0;
}

void TFlacIn::DoInit()
{
    FBuffer.clear();
    FBufferRead = 0;
    TAuTaggedFileIn::DoInit();
}

void TFlacIn::TakeFrame(int blockSize, int channels, const int32_t* const* samples)
{
    const int bytes = FBPS / 8;
    const int shift = FBPS - FSourceBits;
    const size_t start = FBuffer.size();
    FBuffer.resize(start + size_t(blockSize) * size_t(channels) * size_t(bytes));
    uint8_t* out = FBuffer.data() + start;
    for (int i = 0; i < blockSize; ++i) {
        for (int c = 0; c < channels; ++c) {
            const int32_t v = int32_t(uint32_t(samples[c][i]) << shift);
            if (bytes == 1) {
                *out++ = uint8_t(v + 128);
            } else {
                for (int b = 0; b < bytes; ++b) *out++ = uint8_t(uint32_t(v) >> (8 * b));
            }
        }
    }
    FDecodedSamples += uint64_t(blockSize);
}

void TFlacIn::DoGetData(void*& Buffer, uint32_t& Bytes)
{
    if (!FBusy || !FDecoder)
        throw EAuException("The Stream is not opened");
    if (FBufferRead >= FBuffer.size()) {
        FBuffer.clear();
        FBufferRead = 0;
        while (FBuffer.empty() && !FDecodeEnded) {
            const bool ok = FDecoder->process_single();
            if (!FDecoder->Error.isEmpty())
                throw EAuException(FDecoder->Error);
            const auto state = FDecoder->get_state();
            if (!ok || state == FLAC__STREAM_DECODER_END_OF_STREAM || state == FLAC__STREAM_DECODER_ABORTED) {
                FDecodeEnded = true;
                if (FStreamSamples > 0 && FDecodedSamples < FStreamSamples)
                    throw EAuException(QStringLiteral("The FLAC file ends early: %1 of %2 samples.")
                                           .arg(FDecodedSamples).arg(FStreamSamples));
                if (state != FLAC__STREAM_DECODER_END_OF_STREAM)
                    throw EAuException(QStringLiteral("Damaged FLAC data: %1").arg(QLatin1String(state.as_cstring())));
                // The signature is compared once the whole stream has been decoded.
                if (FDecodedSamples == FStreamSamples && !FDecoder->finish())
                    throw EAuException("The FLAC audio does not match its MD5 signature.");
            }
        }
    }
    const size_t left = FBuffer.size() - FBufferRead;
    Bytes = uint32_t(std::min<size_t>(Bytes, left));
    Buffer = FBuffer.data() + FBufferRead;
    FBufferRead += Bytes;
}

bool TFlacIn::DoSeek(int64_t& SampleNum)
{
    OpenFile();
    if (!FDecoder) return false;
    FBuffer.clear();
    FBufferRead = 0;
    FDecodeEnded = false;
    // The seek delivers the audio from the target sample on through the write callback.
    FDecodedSamples = uint64_t(std::max<int64_t>(0, SampleNum));
    if (!FDecoder->seek_absolute(FLAC__uint64(FDecodedSamples))) {
        FDecoder->flush();
        return false;
    }
    return true;
}
