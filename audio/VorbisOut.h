#pragma once
// Encodes the PCM of its input (8, 16, 24 or 32-bit little-endian, any channel count the
// encoder accepts) into an Ogg Vorbis file, in quality mode or with managed bitrates, and
// writes the comment set into the comment header.
#include "audio/AuOutput.h"
#include "audio/VorbisTags.h"
#include <memory>
#include <vector>

// Order fixed: the ordinals are compared by the bitrate setters.
enum TVorbisBitRate : uint8_t {
    brAutoSelect, bitrate24, bitrate32, bitrate45, bitrate48, bitrate56, bitrate64, bitrate80,
    bitrate96, bitrate112, bitrate128, bitrate144, bitrate160, bitrate192, bitrate224,
    bitrate256, bitrate320, bitrate499,
};

// Bits per second that a value stands for; -1 for brAutoSelect.
long VorbisBitRateValue(TVorbisBitRate Value);

// The maximum, nominal and minimum bitrates handed to the managed-bitrate encoder set-up:
// maximum and nominal as they are (-1 when automatic), the minimum falls back to the
// nominal when it is automatic.
struct TVorbisEncodeInitArgs {
    long Maximum;
    long Nominal;
    long Minimum;
};
TVorbisEncodeInitArgs VorbisEncodeInitArgs(TVorbisBitRate Maximum, TVorbisBitRate Nominal,
                                           TVorbisBitRate Minimum);

class TVorbisOut : public TAuFileOut
{
public:
    explicit TVorbisOut(QObject* Owner = nullptr);
    ~TVorbisOut() override;

    float Compression() const { return FCompression; }
    void SetCompression(float Value) { FCompression = Value; }
    TVorbisTags& Comments() { return FComments; }
    void SetComments(const TVorbisTags& Value) { FComments = Value; }
    // Whole "NAME=value" comments written after the fields (a cover picture); empty ones
    // are skipped. Like the fields, they last for one run.
    const QList<QByteArray>& ExtraComments() const { return FExtraComments; }
    void SetExtraComments(const QList<QByteArray>& Value) { FExtraComments = Value; }

    TVorbisBitRate DesiredNominalBitrate() const { return FNominal; }
    TVorbisBitRate DesiredMaximumBitrate() const { return FMaximum; }
    TVorbisBitRate MinimumBitrate() const { return FMinimum; }
    // The nominal pulls the minimum down and the maximum up to itself; automatic resets
    // the maximum as well.
    void SetDesiredNominalBitrate(TVorbisBitRate Value);
    // Ignored while the nominal is automatic, or when below the nominal (unless automatic).
    void SetDesiredMaximumBitrate(TVorbisBitRate Value);
    // Ignored when above the nominal.
    void SetMinimumBitrate(TVorbisBitRate Value);

    void SetFileMode(TFileOutputMode Value) override { FFileMode = Value; }
    // Ogg stream serial number used for every file.
    int32_t Serial() const { return FSerial; }
    void SetSerial(int32_t Value) { FSerial = Value; }

protected:
    void Prepare() override;
    bool DoOutput(bool Abort) override;
    void Done() override;

private:
    struct TState;
    void WritePage(const void* Header, long HeaderLen, const void* Body, long BodyLen);
    void SetUpEncoder(int Channels, int SampleRate);

    float FCompression = 0.2f;
    TVorbisTags FComments;
    QList<QByteArray> FExtraComments;
    TVorbisBitRate FNominal = brAutoSelect;
    TVorbisBitRate FMaximum = brAutoSelect;
    TVorbisBitRate FMinimum = brAutoSelect;
    int32_t FSerial = 0;
    std::unique_ptr<TState> FState;
    std::vector<uint8_t> FBlock;        // one input step
    bool FEndOfStream = false;
    int FBits = 16;
    int FChannels = 2;
};
