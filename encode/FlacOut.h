#pragma once
// Encodes the PCM of its input (8, 16 or 24-bit, 1..8 channels, its own rate) into a FLAC
// file on its worker thread, with the Vorbis comments that were set
// before the run. A run that does not reach the end of its input (a stop, a read or write
// error) removes the file it created: no partial .flac is left behind.
#include "audio/AuOutput.h"
#include "encode/FlacWriter.h"

#include <atomic>
#include <vector>

class TFlacOut : public TAuFileOut
{
public:
    explicit TFlacOut(QObject* Owner = nullptr);
    ~TFlacOut() override;

    int Level() const { return FLevel; }
    void SetLevel(int Value) { FLevel = Value; }
    // "NAME=value" entries; kept for later runs until set again.
    const QStringList& Comments() const { return FComments; }
    void SetComments(const QStringList& Value) { FComments = Value; }
    // The last run could not create its file.
    bool OpenFailed() const { return FOpenFailed; }

protected:
    void Prepare() override;
    bool DoOutput(bool Abort) override;
    void Done() override;

private:
    int FLevel = 5;
    QStringList FComments;
    TFlacWriter FWriter;
    std::vector<uint8_t> FBlock;
    bool FCreated = false;          // this run created the file it writes
    bool FComplete = false;         // the encoding reached the input's end
    std::atomic<bool> FOpenFailed{false};
};
