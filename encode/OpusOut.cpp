#include "encode/OpusOut.h"

#include "audio/AuFileStream.h"

#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <opus/opusenc.h>

namespace {
constexpr int InputBlockFrames = 16384;

// The Ogg stream's serial number from the file's name without its folder (FNV-1a): the same
// file whichever thread, run or output folder makes it, where the library's own pick comes
// from the process's rand().
int32_t SerialOf(const QString& name)
{
    uint32_t h = 2166136261u;
    for (const char c : name.toUtf8()) h = (h ^ uint8_t(c)) * 16777619u;
    return int32_t(h & 0x7fffffffu);
}
}

struct TOpusOut::TState {
    OggOpusComments* Comments = nullptr;
    OggOpusEnc* Encoder = nullptr;
    TStream* Out = nullptr;
    bool WriteFailed = false;
    int WriteErrno = 0;
    int Bits = 16;
    int Channels = 2;
    std::vector<float> Float;     // 24-bit and 8-bit input converted for the encoder

    ~TState()
    {
        if (Encoder) ope_encoder_destroy(Encoder);
        if (Comments) ope_comments_destroy(Comments);
    }

    static int Write(void* user, const unsigned char* data, opus_int32 len)
    {
        auto* s = static_cast<TState*>(user);
        errno = 0;
        if (s->Out->Write(data, len) != len) {
            s->WriteFailed = true;
            s->WriteErrno = errno;
            return 1;
        }
        return 0;
    }
    static int Close(void*) { return 0; }
};

TOpusOut::TOpusOut(QObject* Owner) : TAuFileOut(Owner) {}

TOpusOut::~TOpusOut()
{
    Stop(false);
}

void TOpusOut::SetBitrate(int Kbps)
{
    FKbps = std::clamp(Kbps, OpusMinKbps, OpusMaxKbps);
}

void TOpusOut::Prepare()
{
    FComplete = false;
    FState.reset();
    if (FileName().isEmpty())
        throw EAuException("File name is not assigned.");
    Input()->Init();
    const int bits = Input()->BitsPerSample();
    const int channels = Input()->Channels();
    const int rate = Input()->SampleRate();
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
        throw EAuException(QStringLiteral("Opus takes 8, 16, 24 or 32-bit audio, not %1-bit.").arg(bits));
    if (channels < 1 || channels > 8 || rate <= 0)
        throw EAuException(QStringLiteral("Opus takes 1 to 8 channels, not %1.").arg(channels));
    AdoptStream(std::make_unique<TAuFileStream>(TargetFile(), TAuFileStream::fmCreate));
    auto state = std::make_unique<TState>();
    state->Out = Stream();
    state->Bits = bits;
    state->Channels = channels;
    state->Comments = ope_comments_create();
    OpusEncCallbacks callbacks = {&TState::Write, &TState::Close};
    int error = 0;
    // Family 0 is mono and stereo; 1 the Vorbis channel orders up to 8.
    state->Encoder = state->Comments ? ope_encoder_create_callbacks(&callbacks, state.get(), state->Comments, rate,
                                                                    channels, channels > 2 ? 1 : 0, &error)
                                     : nullptr;
    if (!state->Encoder) {
        FState = std::move(state);
        Discard();
        throw EAuException(QStringLiteral("The Opus encoder cannot start: %1").arg(QLatin1String(ope_strerror(error))));
    }
    ope_encoder_ctl(state->Encoder, OPUS_SET_BITRATE(FKbps * 1000));
    ope_encoder_ctl(state->Encoder, OPUS_SET_VBR(1));
    ope_encoder_ctl(state->Encoder, OPE_SET_SERIALNO(SerialOf(QFileInfo(FileName()).fileName())));
    FState = std::move(state);
    FBlock.resize(size_t(InputBlockFrames) * size_t(channels) * size_t(bits / 8));
}

bool TOpusOut::DoOutput(bool Abort)
{
    if (Abort || FComplete || !FState)
        return false;
    TState& s = *FState;
    bool ended = false;
    const int bytes = Input()->FillBuffer(FBlock.data(), int(FBlock.size()), ended);
    const int frameBytes = s.Channels * s.Bits / 8;
    const int frames = std::max(bytes, 0) / frameBytes;
    int rc = OPE_OK;
    if (frames > 0 && s.Bits == 16) {
        rc = ope_encoder_write(s.Encoder, reinterpret_cast<const opus_int16*>(FBlock.data()), frames);
    } else if (frames > 0) {
        const size_t values = size_t(frames) * size_t(s.Channels);
        s.Float.resize(values);
        const uint8_t* p = FBlock.data();
        for (size_t i = 0; i < values; ++i) {
            if (s.Bits == 8) {
                s.Float[i] = float(int(p[i]) - 128) / 128.0f;
            } else if (s.Bits == 32) {
                const int32_t v = int32_t(uint32_t(p[4 * i]) | uint32_t(p[4 * i + 1]) << 8 | uint32_t(p[4 * i + 2]) << 16
                                          | uint32_t(p[4 * i + 3]) << 24);
                s.Float[i] = float(v) / 2147483648.0f;
            } else {
                const int32_t v = int32_t(uint32_t(p[3 * i]) << 8 | uint32_t(p[3 * i + 1]) << 16
                                          | uint32_t(p[3 * i + 2]) << 24);
                s.Float[i] = float(v) / 2147483648.0f;
            }
        }
        rc = ope_encoder_write_float(s.Encoder, s.Float.data(), frames);
    }
    if (rc != OPE_OK || s.WriteFailed) {
        errno = s.WriteErrno;
        if (s.WriteFailed) RaiseWriteError("The Opus file cannot be written.");
        throw EAuException(QStringLiteral("Opus encoding failed: %1").arg(QLatin1String(ope_strerror(rc))));
    }
    if (bytes <= 0 || ended) {
        // The last pages: the end-of-stream granule gives players the exact length.
        rc = ope_encoder_drain(s.Encoder);
        if (rc != OPE_OK || s.WriteFailed) {
            errno = s.WriteErrno;
            if (s.WriteFailed) RaiseWriteError("The Opus file cannot be written.");
            throw EAuException(QStringLiteral("Opus encoding failed: %1").arg(QLatin1String(ope_strerror(rc))));
        }
        FComplete = true;
        return false;
    }
    return true;
}

void TOpusOut::Discard()
{
    FState.reset();
    ReleaseOwnedStream();
    FinishTarget(false);
}

void TOpusOut::Done()
{
    Input()->Flush();
    const bool complete = FComplete && FState && !Stopped() && ExceptionMessage().isEmpty();
    FState.reset();
    ReleaseOwnedStream();
    FinishTarget(complete);
}
