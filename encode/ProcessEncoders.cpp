// The encoders that run as processes: MP3 through lame (which also decodes MP3 to WAV for
// the conversions) and WMA through our WMA tool. The process writes the part file; it is
// renamed into place only after the child ended 0 with a non-empty file.
#include "encode/Encoder.h"

#include "encode/EncodeStep.h"
#include "encode/Mp3EncodeProcess.h"
#include "encode/WMAEncodeProcess.h"
#include "platform/ProcessInfo.h"
#include "settings/Global.h"
#include "settings/Lang.h"

namespace {

QString Res(const char* key, const QString& builtIn) { return LangString(QLatin1String(key), builtIn); }

// The judgement both processes share; `nothing` is the message for an end with no file.
TEncodeOutcome ProcessOutcome(TEncodeProcess& process, const TEncodeRequest& request, const TProcessInfo& end,
                              bool progressSeen, const QString& nothing)
{
    const QString out = request.Output;
    // What the process found when it could not write (a full disk, a read-only folder).
    const QString failure = process.Failure();
    const bool endedWell = process.EndedWell();
    if (process.Active) process.Stop(0);
    const int code = end.ErrorCode;
    TEncodeOutcome o;
    if (code == StreamFailed) {
        o.Failure = o.Message = end.ElapsedText;
    } else if (code == 2 && !failure.isEmpty()) {
        o.Failure = o.Message = failure;
    } else if (code == 1 && !progressSeen) {
        o.Message = request.Wav + Res("RES_Operate_Fail", QStringLiteral(" 可能正在被使用，操作失败！"));
        o.Failure = out + QStringLiteral(": in use");
    } else if (code == 8) {
        o.Message = end.ElapsedText;
        o.Failure = out + QStringLiteral(": ") + end.ElapsedText.trimmed();
    } else if (code == 0) {
        // The user kept the existing file when the encoder asked.
        o.Failure = out + QStringLiteral(": kept the existing file");
    } else if (code != 2 || FileSizeOf(out) <= 0) {
        o.Message = out + QStringLiteral(": ") + nothing;
        o.Failure = out + QStringLiteral(": the encoder produced nothing");
    } else if (!endedWell) {
        o.Failure = o.Message = out + QStringLiteral(": the encoder failed");
    }
    return o;
}

class TMp3Encoder : public TEncoder {
public:
    explicit TMp3Encoder(TEncodeStep& step) : FStep(step) {}

    void Start(const TEncodeRequest& request) override
    {
        FRequest = request;
        FStep.Settings = request.Settings;
        FStep.StartMp3(request.Wav, request.Output, !request.Decode, request.Kind, request.BeforeCommit);
    }
    bool Running() const override { return FStep.Mp3().Running(); }
    TEncodeOutcome Outcome(const TProcessInfo& end, bool progressSeen) override
    {
        return ProcessOutcome(FStep.Mp3(), FRequest, end, progressSeen,
                              Res("RES_Check_Mp3Options", QStringLiteral("请检查MP3编码参数或重新运行程序！")));
    }

private:
    TEncodeStep& FStep;
    TEncodeRequest FRequest;
};

class TWmaEncoder : public TEncoder {
public:
    explicit TWmaEncoder(TEncodeStep& step) : FStep(step) {}

    void Start(const TEncodeRequest& request) override
    {
        FRequest = request;
        FStep.Settings = request.Settings;
        FStep.StartWma(request.Wav, request.Output, request.Kind, request.BeforeCommit);
    }
    bool Running() const override { return FStep.Wma().Running(); }
    TEncodeOutcome Outcome(const TProcessInfo& end, bool progressSeen) override
    {
        return ProcessOutcome(FStep.Wma(), FRequest, end, progressSeen, QStringLiteral("the encoder produced nothing"));
    }
    // The WMA tool reports no progress: the job estimates it from the file's growth.
    QString WrittenFile() const override { return FStep.Wma().WrittenFile(); }
    bool Estimated() const override { return FStep.Wma().Active; }

private:
    TEncodeStep& FStep;
    TEncodeRequest FRequest;
};

} // namespace

std::unique_ptr<TEncoder> NewMp3Encoder(TEncodeStep& step)
{
    return std::make_unique<TMp3Encoder>(step);
}

std::unique_ptr<TEncoder> NewWmaEncoder(TEncodeStep& step)
{
    return std::make_unique<TWmaEncoder>(step);
}
