// The encoders that run in-process on a stream: OGG through libvorbis and FLAC through
// libFLAC, each reading the WAV through the step's WAV reader. The writer keeps its part
// file and renames it only when the run ended whole.
#include "encode/Encoder.h"

#include "audio/VorbisOut.h"
#include "audio/WaveIn.h"
#include "encode/EncodeStep.h"
#include "encode/FlacOut.h"
#include "encode/FlacRip.h"
#include "encode/OggOptions.h"
#include "platform/ProcessInfo.h"

TEncodeOutcome StreamOutcome(const TEncodeRequest& request, const TProcessInfo& end)
{
    TEncodeOutcome o;
    if (end.ErrorCode != 0) {
        const QString& text = end.ElapsedText;
        o.Failure = o.Message = text.startsWith(request.Output) ? text : request.Output + QStringLiteral(": ") + text;
    }
    return o;
}

namespace {

const TOptionsSetting& SettingsOf(const TEncodeRequest& request)
{
    return request.Settings ? *request.Settings : OptionsSetting;
}

class TOggEncoder : public TEncoder {
public:
    explicit TOggEncoder(TEncodeStep& step) : FStep(step) {}

    void Start(const TEncodeRequest& request) override
    {
        FRequest = request;
        TVorbisOut& ogg = FStep.VorbisOut1();
        FStep.WaveIn1().SetFileName(request.Wav);
        if (request.Tagged) {
            // A disc's track: the quality or bitrates of the settings, and its comments.
            ApplyOggOptions(ogg, SettingsOf(request));
            ApplyOggRipComments(ogg, SettingsOf(request), request.Tags.Title, request.Tags.TrackNumber);
        } else {
            // A file's conversion: the quality setting only, as the one-at-a-time steps do.
            ogg.SetCompression(OggCompression(SettingsOf(request)));
        }
        ogg.SetBeforeCommit(request.BeforeCommit);
        FStep.RunOggAsSet(request.Output);
    }
    bool Running() const override { return FStep.StreamBusy(); }
    TEncodeOutcome Outcome(const TProcessInfo& end, bool) override { return StreamOutcome(FRequest, end); }

private:
    TEncodeStep& FStep;
    TEncodeRequest FRequest;
};

class TFlacEncoder : public TEncoder {
public:
    explicit TFlacEncoder(TEncodeStep& step) : FStep(step) {}

    void Start(const TEncodeRequest& request) override
    {
        FRequest = request;
        TFlacOut& flac = FStep.FlacOut1();
        const TOptionsSetting& settings = SettingsOf(request);
        if (request.Tagged) {
            ApplyFlacOptions(flac, settings, request.Tags.Title, request.Tags.TrackNumber, request.Tags.TrackTotal);
        } else {
            flac.SetLevel(settings.FlacOptions.Level);
            flac.SetComments({});
        }
        flac.SetBeforeCommit(request.BeforeCommit);
        FStep.WaveIn1().SetFileName(request.Wav);
        FStep.RunFlac(&FStep.WaveIn1(), request.Output);
    }
    bool Running() const override { return FStep.StreamBusy(); }
    TEncodeOutcome Outcome(const TProcessInfo& end, bool) override { return StreamOutcome(FRequest, end); }

private:
    TEncodeStep& FStep;
    TEncodeRequest FRequest;
};

} // namespace

std::unique_ptr<TEncoder> NewOggEncoder(TEncodeStep& step)
{
    return std::make_unique<TOggEncoder>(step);
}

std::unique_ptr<TEncoder> NewFlacEncoder(TEncodeStep& step)
{
    return std::make_unique<TFlacEncoder>(step);
}
