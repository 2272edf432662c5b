// The encoders that run in-process on the libraries of the newer formats: Opus through
// libopusenc, AAC and Apple Lossless in MP4 through FFmpeg's libraries. Each reads its input
// through the step's WAV reader, or its FFmpeg reader for any other file, and writes its part
// file, renamed only when the run ended whole (the tags go in just before: BeforeCommit).
#include "encode/Encoder.h"

#include "encode/EncodeStep.h"
#include "encode/M4aOut.h"
#include "encode/OpusOut.h"
#include "platform/ProcessInfo.h"

namespace {

const TOptionsSetting& SettingsOf(const TEncodeRequest& request)
{
    return request.Settings ? *request.Settings : OptionsSetting;
}

class TAvEncoder : public TEncoder {
public:
    enum TKind { Opus, Aac, Alac };
    TAvEncoder(TEncodeStep& step, TKind kind) : FStep(step), FKind(kind) {}

    void Start(const TEncodeRequest& request) override
    {
        FRequest = request;
        const TOptionsSetting& settings = SettingsOf(request);
        TAuInput* input = FStep.ReaderOf(request.Wav);
        if (FKind == Opus) {
            TOpusOut& out = FStep.OpusOut1();
            out.SetBitrate(settings.OpusOptions.Bitrate);
            out.SetBeforeCommit(request.BeforeCommit);
            FStep.RunOpus(input, request.Output);
        } else {
            TM4aOut& out = FStep.M4aOut1();
            out.SetCodec(FKind == Aac ? TM4aOut::Aac : TM4aOut::Alac);
            out.SetBitrate(settings.AacOptions.Bitrate);
            out.SetBeforeCommit(request.BeforeCommit);
            FStep.RunM4a(input, request.Output);
        }
    }
    bool Running() const override { return FStep.StreamBusy(); }
    TEncodeOutcome Outcome(const TProcessInfo& end, bool) override { return StreamOutcome(FRequest, end); }

private:
    TEncodeStep& FStep;
    TKind FKind;
    TEncodeRequest FRequest;
};

} // namespace

std::unique_ptr<TEncoder> NewOpusEncoder(TEncodeStep& step)
{
    return std::make_unique<TAvEncoder>(step, TAvEncoder::Opus);
}

std::unique_ptr<TEncoder> NewAacEncoder(TEncodeStep& step)
{
    return std::make_unique<TAvEncoder>(step, TAvEncoder::Aac);
}

std::unique_ptr<TEncoder> NewAlacEncoder(TEncodeStep& step)
{
    return std::make_unique<TAvEncoder>(step, TAvEncoder::Alac);
}
