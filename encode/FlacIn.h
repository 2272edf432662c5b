#pragma once
// Decodes a FLAC file (or an attached stream) into little-endian PCM of its own sample
// size (8-bit unsigned; 16 or 24-bit signed; other sizes widened to whole bytes) and reads
// its Vorbis comments. A damaged or truncated file, or one whose audio does not match its
// MD5 signature, raises EAuException while it is read: a reader never passes it on as
// complete.
#include "audio/AuFileIn.h"

#include <QStringList>
#include <memory>
#include <vector>

class TFlacIn : public TAuTaggedFileIn
{
public:
    explicit TFlacIn(QObject* Owner = nullptr);
    ~TFlacIn() override;

    // The file's "NAME=value" comments; opens the file first.
    QStringList Comments();

    void OpenFile() override;
    void CloseFile() override;

protected:
    void DoInit() override;
    void DoGetData(void*& Buffer, uint32_t& Bytes) override;
    bool DoSeek(int64_t& SampleNum) override;

private:
    class TDecoder;
    friend class TDecoder;
    void TakeFrame(int blockSize, int channels, const int32_t* const* samples);

    std::unique_ptr<TDecoder> FDecoder;
    QStringList FComments;
    std::vector<uint8_t> FBuffer;      // decoded, not yet delivered
    size_t FBufferRead = 0;
    int FSourceBits = 16;              // the stream's own bits per sample
    uint64_t FStreamSamples = 0;       // from STREAMINFO; 0 unknown
    uint64_t FDecodedSamples = 0;
    bool FDecodeEnded = false;
};
