#include "encode/FlacOut.h"

#include "audio/AuFileStream.h"

#include <QFile>

namespace {
constexpr int InputBlockBytes = 32768;
}

TFlacOut::TFlacOut(QObject* Owner) : TAuFileOut(Owner) {}

TFlacOut::~TFlacOut()
{
    Stop(false);
}

void TFlacOut::Prepare()
{
    FComplete = false;
    FCreated = false;
    FOpenFailed = false;
    if (!StreamAssigned()) {
        if (FileName().isEmpty())
            throw EAuException("File name is not assigned.");
        try {
            AdoptStream(std::make_unique<TAuFileStream>(FileName(), TAuFileStream::fmCreate));
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
    FWriter.Open(Stream(), bits, channels, Input()->SampleRate(), total > 0 ? uint64_t(total) : 0);
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
        FWriter.Finish();
        FComplete = true;
        return false;
    }
    return true;
}

void TFlacOut::Done()
{
    if (!FComplete)
        FWriter.Abandon();
    ReleaseOwnedStream();
    if (!FComplete && FCreated)
        QFile::remove(FileName());
    FCreated = false;
    Input()->Flush();
}
