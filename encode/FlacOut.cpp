#include "encode/FlacOut.h"

#include "audio/AuFileStream.h"

#include <QFile>

namespace {
constexpr int InputBlockBytes = 65536;
}

TFlacOut::TFlacOut(QObject* Owner) : TAuFileOut(Owner) {}

TFlacOut::~TFlacOut()
{
    Stop(false);
}

void TFlacOut::Prepare()
{
    FComplete = false;
    FOpenFailed = false;
    if (FWriter.IsOpen()) {
        // A file kept open from the last run: this input follows in the same format.
        Input()->Init();
        if (Input()->BitsPerSample() != FBits || Input()->Channels() != FChannels)
            throw EAuException("The input does not match the open FLAC file.");
        return;
    }
    FCreated = false;
    if (!StreamAssigned()) {
        if (FileName().isEmpty())
            throw EAuException("File name is not assigned.");
        try {
            AdoptStream(std::make_unique<TAuFileStream>(TargetFile(), TAuFileStream::fmCreate));
        } catch (...) {
            FOpenFailed = true;
            throw;
        }
        FCreated = true;
    }
    Input()->Init();
    const int bits = Input()->BitsPerSample();
    const int channels = Input()->Channels();
    const int64_t total = Input()->TotalSamples();
    FWriter.Level = FLevel;
    FWriter.Comments = FComments;
    FWriter.Cover = FCover;
    FWriter.FileName = FileName();
    FWriter.Open(Stream(), bits, channels, Input()->SampleRate(), total > 0 && !FKeepOpen ? uint64_t(total) : 0);
    FBits = bits;
    FChannels = channels;
    const int frameBytes = std::max(1, channels * bits / 8);
    FBlock.resize(size_t(std::max(frameBytes, InputBlockBytes / frameBytes * frameBytes)));
}

bool TFlacOut::DoOutput(bool Abort)
{
    if (Abort || FComplete)
        return false;
    bool ended = false;
    const int bytes = Input()->FillBuffer(FBlock.data(), int(FBlock.size()), ended);
    if (bytes > 0)
        FWriter.Write(FBlock.data(), size_t(bytes));
    if (bytes <= 0 || ended) {
        if (!FKeepOpen) FWriter.Finish();
        FComplete = true;
        return false;
    }
    return true;
}

void TFlacOut::Done()
{
    Input()->Flush();
    if (FComplete && FWriter.IsOpen())
        return;                     // kept open for the next run
    // Finished (MD5 and sample count written) only when the writer's Finish succeeded.
    const bool complete = FComplete && FCreated && !Stopped() && ExceptionMessage().isEmpty();
    if (!FComplete) {
        DiscardFile();
        return;
    }
    ReleaseOwnedStream();
    const bool created = FCreated;
    FCreated = false;
    if (created)
        FinishTarget(complete);
}

void TFlacOut::FinishFile(bool Commit)
{
    if (!FWriter.IsOpen())
        return;
    try {
        FWriter.Finish();
    } catch (...) {
        DiscardFile();
        throw;
    }
    ReleaseOwnedStream();
    const bool created = FCreated;
    FCreated = false;
    if (created && Commit)
        FinishTarget(true);
}

void TFlacOut::DiscardFile()
{
    FWriter.Abandon();
    ReleaseOwnedStream();
    if (FCreated) {
        if (WriteAsPart())
            FinishTarget(false);
        else
            QFile::remove(FileName());
    }
    FCreated = false;
}
