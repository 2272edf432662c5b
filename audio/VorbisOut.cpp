#include "audio/VorbisOut.h"
#include "audio/AuFileStream.h"
#include <QFileInfo>
#include <array>
#include <vorbis/vorbisenc.h>

namespace {

constexpr std::array<long, 18> BitRateValues = {
    -1, 24000, 32000, 45000, 48000, 56000, 64000, 80000, 96000,
    112000, 128000, 144000, 160000, 192000, 224000, 256000, 320000, 499000,
};

// Input bytes handed to the encoder per step (rounded down to whole frames), and the
// frames asked of the analysis buffer for them.
constexpr int InputBlockBytes = 24576;
constexpr int AnalysisFrames = 24576;

} // namespace

long VorbisBitRateValue(TVorbisBitRate Value)
{
    return size_t(Value) < BitRateValues.size() ? BitRateValues[Value] : -1;
}

TVorbisEncodeInitArgs VorbisEncodeInitArgs(TVorbisBitRate Maximum, TVorbisBitRate Nominal,
                                           TVorbisBitRate Minimum)
{
    const long nominal = VorbisBitRateValue(Nominal);
    return {VorbisBitRateValue(Maximum), nominal,
            Minimum == brAutoSelect ? nominal : VorbisBitRateValue(Minimum)};
}

// The encoder's library state; the flags say what must be cleared again.
struct TVorbisOut::TState {
    vorbis_info vi{};
    vorbis_comment vc{};
    vorbis_dsp_state vd{};
    vorbis_block vb{};
    ogg_stream_state os{};
    ogg_page og{};
    ogg_packet op{};
    bool info = false, comment = false, dsp = false, block = false, stream = false;
};

TVorbisOut::TVorbisOut(QObject* Owner) : TAuFileOut(Owner) {}

TVorbisOut::~TVorbisOut()
{
    Stop(false);
}

void TVorbisOut::SetDesiredNominalBitrate(TVorbisBitRate Value)
{
    FNominal = Value;
    if (Value < FMinimum)
        FMinimum = Value;
    if (FMaximum < Value)
        FMaximum = Value;
    if (Value == brAutoSelect)
        FMaximum = brAutoSelect;
}

void TVorbisOut::SetDesiredMaximumBitrate(TVorbisBitRate Value)
{
    if (FNominal != brAutoSelect && (Value == brAutoSelect || Value >= FNominal))
        FMaximum = Value;
}

void TVorbisOut::SetMinimumBitrate(TVorbisBitRate Value)
{
    if (Value <= FNominal)
        FMinimum = Value;
}

void TVorbisOut::WritePage(const void* Header, long HeaderLen, const void* Body, long BodyLen)
{
    errno = 0;
    if (Stream()->Write(Header, HeaderLen) != HeaderLen || Stream()->Write(Body, BodyLen) != BodyLen)
        RaiseWriteError("Error writing ogg file");
}

void TVorbisOut::SetUpEncoder(int Channels, int SampleRate)
{
    TState& s = *FState;
    vorbis_info_init(&s.vi);
    s.info = true;
    if (FNominal != brAutoSelect) {
        const TVorbisEncodeInitArgs a = VorbisEncodeInitArgs(FMaximum, FNominal, FMinimum);
        if (vorbis_encode_init(&s.vi, Channels, SampleRate, a.Maximum, a.Nominal, a.Minimum) != 0)
            throw EAuException("Vorbis codec setup with the requested bitrate failed. Try a lower bitrate.");
    } else {
        // A format the encoder has no mode for would leave the info unusable for the
        // analysis that follows, so a refusal ends the run here.
        if (vorbis_encode_setup_vbr(&s.vi, Channels, SampleRate, FCompression) != 0
            || vorbis_encode_setup_init(&s.vi) != 0)
            throw EAuException(QStringLiteral("Vorbis codec setup failed for %1 channels at %2 Hz.")
                                   .arg(Channels).arg(SampleRate));
    }
}

void TVorbisOut::Prepare()
{
    FEndOfStream = false;
    if (!StreamAssigned()) {
        if (FileName().isEmpty())
            throw EAuException("File name is not assigned.");
        if (FFileMode == foAppend && QFileInfo::exists(FileName()))
            AdoptStream(std::make_unique<TAuFileStream>(
                FileName(), uint16_t(ShareMode() | TAuFileStream::fmOpenReadWrite)));
        else
            AdoptStream(std::make_unique<TAuFileStream>(TargetFile(), TAuFileStream::fmCreate));
    }
    Input()->Init();
    // A new Ogg stream simply follows the data already in the file.
    if (FFileMode == foAppend)
        Stream()->Seek(0, TSeekOrigin::End);
    FEndOfStream = false;
    FState = std::make_unique<TState>();
    TState& s = *FState;

    FBits = Input()->BitsPerSample();
    FChannels = Input()->Channels();
    if (FBits != 8 && FBits != 16 && FBits != 24 && FBits != 32)
        throw EAuException(QStringLiteral("Unsupported sample size: %1 bits.").arg(FBits));
    if (FChannels <= 0)
        throw EAuException(QStringLiteral("Unsupported channel count: %1.").arg(FChannels));
    SetUpEncoder(FChannels, Input()->SampleRate());

    vorbis_comment_init(&s.vc);
    s.comment = true;
    for (int i = 0; i < TVorbisTags::FieldCount; ++i) {
        const QString& value = FComments.Value(i);
        if (!value.isEmpty())
            vorbis_comment_add_tag(&s.vc, TVorbisTags::FieldNames[size_t(i)], value.toUtf8().constData());
    }
    for (const QByteArray& extra : FExtraComments)
        if (extra.indexOf('=') > 0)
            vorbis_comment_add(&s.vc, extra.constData());

    if (vorbis_analysis_init(&s.vd, &s.vi) != 0)
        throw EAuException("Vorbis codec setup failed.");
    s.dsp = true;
    vorbis_block_init(&s.vd, &s.vb);
    s.block = true;
    ogg_stream_init(&s.os, FSerial);
    s.stream = true;

    ogg_packet header, comment, codebooks;
    vorbis_analysis_headerout(&s.vd, &s.vc, &header, &comment, &codebooks);
    ogg_stream_packetin(&s.os, &header);
    ogg_stream_packetin(&s.os, &comment);
    ogg_stream_packetin(&s.os, &codebooks);
    // The headers stand on pages of their own before any audio.
    while (ogg_stream_flush(&s.os, &s.og) != 0)
        WritePage(s.og.header, s.og.header_len, s.og.body, s.og.body_len);

    const int frameBytes = FChannels * FBits / 8;
    FBlock.resize(size_t(std::max(frameBytes, InputBlockBytes / frameBytes * frameBytes)));
}

bool TVorbisOut::DoOutput(bool Abort)
{
    if (Abort || FEndOfStream)
        return false;
    TState& s = *FState;
    const int frameBytes = FChannels * FBits / 8;
    // Whole frames only: an input that hands over part of a frame would otherwise shift
    // every later value into the wrong channel. A trailing partial frame is dropped.
    bool ended = false;
    const int bytes = Input()->FillBuffer(FBlock.data(), int(FBlock.size()), ended);
    const int frames = bytes / frameBytes;

    float** buffer = vorbis_analysis_buffer(&s.vd, AnalysisFrames);
    if (frames > 0) {
        const uint8_t* in = FBlock.data();
        for (int f = 0; f < frames; ++f) {
            for (int c = 0; c < FChannels; ++c) {
                float v;
                switch (FBits) {
                case 8:
                    v = (float(in[0]) - 128.0f) / 128.0f;
                    in += 1;
                    break;
                case 16:
                    v = float(int16_t(uint16_t(in[0] | (in[1] << 8)))) / 32768.0f;
                    in += 2;
                    break;
                case 32:
                    v = float(int32_t(uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16
                                      | uint32_t(in[3]) << 24)) / 2147483648.0f;
                    in += 4;
                    break;
                default: {
                    int32_t x = int32_t(uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16);
                    if (x & 0x800000)
                        x -= 0x1000000;
                    v = float(x) / 8388608.0f;
                    in += 3;
                    break;
                }
                }
                buffer[c][f] = v;
            }
        }
        vorbis_analysis_wrote(&s.vd, frames);
    } else {
        vorbis_analysis_wrote(&s.vd, 0);     // the input has ended
    }

    while (vorbis_analysis_blockout(&s.vd, &s.vb) == 1) {
        vorbis_analysis(&s.vb, nullptr);
        vorbis_bitrate_addblock(&s.vb);
        while (vorbis_bitrate_flushpacket(&s.vd, &s.op) != 0) {
            ogg_stream_packetin(&s.os, &s.op);
            while (!FEndOfStream && ogg_stream_pageout(&s.os, &s.og) != 0) {
                WritePage(s.og.header, s.og.header_len, s.og.body, s.og.body_len);
                if (ogg_page_eos(&s.og))
                    FEndOfStream = true;
            }
        }
    }
    return true;
}

void TVorbisOut::Done()
{
    // Whole only when the stream's last page is written.
    const bool complete = FEndOfStream && !Stopped() && ExceptionMessage().isEmpty();
    ReleaseOwnedStream();
    Input()->Flush();
    FComments.Clear();      // every run needs its comments set again
    FExtraComments.clear();
    if (FState) {
        TState& s = *FState;
        if (s.stream)
            ogg_stream_clear(&s.os);
        if (s.block)
            vorbis_block_clear(&s.vb);
        if (s.dsp)
            vorbis_dsp_clear(&s.vd);
        if (s.comment)
            vorbis_comment_clear(&s.vc);
        if (s.info)
            vorbis_info_clear(&s.vi);
        FState.reset();
    }
    FinishTarget(complete);
}
