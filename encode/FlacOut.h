#pragma once
// Encodes the PCM of its input (8, 16 or 24-bit, 1..8 channels, its own rate) into a FLAC
// file on its worker thread, with the Vorbis comments that were set
// before the run. A run that does not reach the end of its input (a stop, a read or write
// error) removes the file it created: no partial .flac is left behind.
//
// With KeepOpen, a run that reaches its input's end leaves the file open and the next run
// goes on in the same stream (a whole disc as one file, one track a run); FinishFile ends
// it. A failed run then removes the whole file.
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
    // The front cover of the files (a PICTURE block); a null image for none. Kept like the comments.
    void SetCover(const TCoverImage& Value) { FCover = Value; }
    void SetKeepOpen(bool Value) { FKeepOpen = Value; }
    // Frames written into the open file so far.
    uint64_t SamplesWritten() const { return FWriter.SamplesWritten(); }
    // Ends a file kept open (not while running); raises EAuException when it cannot. With
    // WriteAsPart and `Commit` off, the finished file stays the part file for the caller
    // to complete (a cue sheet) and commit.
    void FinishFile(bool Commit = true);
    // Drops a file kept open and removes it (not while running).
    void DiscardFile();
    // The last run could not create its file.
    bool OpenFailed() const { return FOpenFailed; }

protected:
    void Prepare() override;
    bool DoOutput(bool Abort) override;
    void Done() override;

private:
    int FLevel = 5;
    QStringList FComments;
    TCoverImage FCover;
    TFlacWriter FWriter;
    std::vector<uint8_t> FBlock;
    bool FKeepOpen = false;
    int FBits = 16;
    int FChannels = 2;
    bool FCreated = false;          // the file being written was created here
    bool FComplete = false;         // the encoding reached the input's end
    std::atomic<bool> FOpenFailed{false};
};
