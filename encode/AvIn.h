#pragma once
// Decodes the first audio stream of any file FFmpeg's libavformat and libavcodec read (WMA,
// AAC and ALAC in MP4, Opus, WavPack, APE, MP3, ...) into interleaved little-endian PCM at
// the stream's own rate and channels: 24-bit for integer sources of more than 16 bits, else
// 16-bit (the lossy codecs' float output is rounded to 16 bits). The length is not known
// before the end (Size -1), so a wrong duration in a header can never cut the audio short.
//
// A file that cannot be read as audio is not Valid; Problem() then names the cause ("no
// audio stream", "no decoder for ..."), and a run raises EAuException with it (the caller
// names the file).
#include "audio/AuFileIn.h"

#include <memory>
#include <vector>

class TAvIn : public TAuFileIn
{
public:
    explicit TAvIn(QObject* Owner = nullptr);
    ~TAvIn() override;

    void OpenFile() override;
    void CloseFile() override;
    // Why the file cannot be read, after a failed open (empty when it can).
    QString Problem() const { return FProblem; }
    // Opens `path` as OpenFile does and returns the cause when it cannot be decoded; empty
    // when it can (for refusing an entry before its output is begun).
    static QString ProblemOf(const QString& path);

protected:
    void DoInit() override;
    void DoGetData(void*& Buffer, uint32_t& Bytes) override;
    bool DoSeek(int64_t& SampleNum) override;

private:
    struct TState;
    // Decodes until the buffer holds something or the stream ended.
    void Refill();
    void TakeFrame();

    std::unique_ptr<TState> FState;
    QString FProblem;
    std::vector<uint8_t> FBuffer;
    size_t FBufferRead = 0;
    bool FDecodeEnded = false;
};
