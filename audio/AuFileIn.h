#pragma once
// A source bound to a file name (or an attached stream). Concrete readers implement
// OpenFile (parse the header; fill the format fields, Size and Valid; count the open) and
// CloseFile, both under FFileLock, plus DoGetData and DoSeek. OpenFile is idempotent while
// the open counter is non-zero, so the format getters and Valid may open the file outside
// a reading. Concrete readers must call ReleaseReaders, then CloseFile, first in their own
// destructor.
#include "audio/AuStreamedInput.h"
#include <QString>
#include <memory>

class TAuConverter;

class TAuFileIn : public TAuStreamedInput
{
public:
    explicit TAuFileIn(QObject* Owner = nullptr);
    ~TAuFileIn() override;

    const QString& FileName() const { return FFileName; }
    void SetFileName(const QString& Value);
    void SetStream(TStream* Value) override;

    // Reading positions in frames relative to the range; see the .cpp for the rules.
    bool Seek(int64_t SampleNum);
    // Moves by Offset thousandths of the whole length (negative: backwards), clamped.
    void Jump(int Offset);
    // Opens the file if needed; false (never an exception) when it cannot be read.
    bool Valid();
    void Reset() override;

    virtual void OpenFile() = 0;
    virtual void CloseFile() = 0;

protected:
    int GetBitsPerSample() override;
    int GetChannels() override;
    int GetSampleRate() override;
    int GetTotalTime() override;
    int64_t GetTotalSamples() override;
    void DoInit() override;
    void DoFlush() override;
    // Opens FileName() for reading (others may read it too) when no stream is attached;
    // on failure the input is not valid and EAuException "Failed to open stream" is raised.
    void OpenOwnStream();

    std::recursive_mutex FFileLock;
    std::atomic<int> FOpened{0};
    std::atomic<bool> FValid{false};
    std::atomic<int> FBPS{0};
    std::atomic<int> FSR{0};
    std::atomic<int> FChan{0};
    std::atomic<int> FTotalTime{0};

private:
    QString FFileName;
};

// Tag objects that a tagged file source owns. Nothing reads or writes them yet.
class TId3v1Tags {};
class TId3v2Tags {};
class TAPEv2Tags {};
class TCommonTags {};

class TAuTaggedFileIn : public TAuFileIn
{
public:
    explicit TAuTaggedFileIn(QObject* Owner = nullptr);
    ~TAuTaggedFileIn() override;

    TId3v1Tags* Id3v1Tags() const { return FId3v1Tags.get(); }
    TId3v2Tags* Id3v2Tags() const { return FId3v2Tags.get(); }
    TAPEv2Tags* APEv2Tags() const { return FAPEv2Tags.get(); }
    TCommonTags* CommonTags() const { return FCommonTags.get(); }

private:
    std::unique_ptr<TId3v1Tags> FId3v1Tags;
    std::unique_ptr<TId3v2Tags> FId3v2Tags;
    std::unique_ptr<TAPEv2Tags> FAPEv2Tags;
    std::unique_ptr<TCommonTags> FCommonTags;
};

// Walks the Input links down from a converter and jumps the file source at the bottom.
void JumpChain(TAuConverter* Converter, int Offset);
