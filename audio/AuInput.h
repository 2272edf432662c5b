#pragma once
// The pull side of the stream components.
//
// An output's worker thread calls GetData on its input; a converter calls GetData on its
// own input from inside its DoGetData, and so on down to the source. Audio passes as raw
// interleaved PCM bytes laid out by BitsPerSample, Channels and SampleRate; a "sample" in
// sample counts is one frame (one value for every channel).
//
// Init, Flush, GetData, Prefetch, ClearBuffer and Seek run under the lock of the chain
// the input belongs to, so that the main thread may seek or swap inputs while a worker
// reads. A chain is one (recursive) mutex: the one of the source at its bottom, which every
// converter above takes as its own. A thread therefore never holds the locks of two inputs
// of a chain, and no order between input locks exists that could be inverted.
//
// An input knows the outputs and converters that read it (they register themselves in
// SetInput). Destroying an input stops, synchronously, every output that reads it directly
// or through converters, and the converters reading it forget it: no worker is left
// inside a destroyed input, whatever order a window's children are deleted in. Because a
// class's members are gone before its base destructors run, every concrete input calls
// ReleaseReaders() first thing in its own destructor (the core's inputs do; the base
// destructors call it again as a last resort).
#include "audio/AuException.h"
#include <QObject>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

class TAuConverter;
class TAuFileStream;
class TAuOutput;

class TAuInput : public QObject
{
public:
    explicit TAuInput(QObject* Owner = nullptr);
    ~TAuInput() override;

    // Format getters (through the virtual operations below).
    int BitsPerSample() { return GetBitsPerSample(); }
    int Channels() { return GetChannels(); }
    int SampleRate() { return GetSampleRate(); }
    int TotalTime() { return GetTotalTime(); }
    int64_t TotalSamples() { return GetTotalSamples(); }

    int64_t Size() const { return FSize; }           // -1 unknown, 0 nothing
    int64_t Position() const { return FPosition; }   // bytes delivered since Init
    bool Busy() const { return FBusy; }

    // Starts reading. Any error of DoInit marks the input as ended and is raised again
    // as EAuException with the same text.
    void Init();
    // Ends reading: empties the read-ahead buffer and calls DoFlush.
    void Flush();
    // The chain's lock (see above), held until Unlock.
    void Lock() { LockChain(); }
    void Unlock() { ChainRoot()->FLock.unlock(); }

    // The public read. On entry Bytes is the most the caller wants; on return Buffer
    // points at data owned by the input and Bytes says how many are valid (0: end).
    virtual void GetData(void*& Buffer, uint32_t& Bytes);
    // One GetData of at most BufferSize bytes copied into Buffer; returns the count.
    int CopyData(void* Buffer, int BufferSize);
    // GetData until BufferSize bytes are copied or a call gives nothing.
    int FillBuffer(void* Buffer, int BufferSize, bool& EndOfInput);
    // Moves at most MaxBytes of what GetData would deliver next straight into the file
    // Out, without passing them through memory, where the input can (a plain PCM file
    // read as it is stored): the count moved (0: the end), or -1 when it cannot (nothing
    // moved; GetData reads on).
    int64_t TransferTo(TAuFileStream& Out, int64_t MaxBytes);
    // Fills the read-ahead buffer (up to Bytes) from the source.
    virtual void Prefetch(uint32_t Bytes);
    // Turns the whole read-ahead buffer into silence to be delivered before real data.
    void ClearBuffer();
    // Flush ignoring errors, then not busy.
    virtual void Reset();

    virtual void SetFullBitsFlag(bool Value) { FFullBitsFlag = Value; }
    bool FullBitsFlag() const { return FFullBitsFlag; }

    virtual void DoPause() {}
    virtual void DoResume() {}

protected:
    // Stops the busy outputs reading this input (as Stop(false): their runs end, their
    // pending events are dropped) and detaches it from every output and converter reading it.
    // Main thread; harmless when nothing reads the input, and when called again.
    void ReleaseReaders();

    virtual int GetBitsPerSample() = 0;
    virtual int GetChannels() = 0;
    virtual int GetSampleRate() = 0;
    virtual int GetTotalTime() { return 0; }
    virtual int64_t GetTotalSamples() { return 0; }
    virtual void DoInit() = 0;
    virtual void DoFlush() = 0;
    virtual void DoGetData(void*& Buffer, uint32_t& Bytes) = 0;
    // TransferTo below the lock, once the read-ahead buffer is empty; -1 by default.
    virtual int64_t DoTransferTo(TAuFileStream& Out, int64_t MaxBytes);

    // Reads from the source once the read-ahead buffer is empty: the accounting that
    // GetData and Prefetch share. The base calls DoGetData as it is (sources such as a
    // CD reader count Position themselves).
    virtual void ReadSource(void*& Buffer, uint32_t& Bytes);
    // True when the read-ahead buffer holds unread bytes (caller holds the lock).
    bool ServeReadAhead(void*& Buffer, uint32_t& Bytes);
    void EmptyReadAhead() { FPrefetchCount = 0; FPrefetchOffset = 0; }

    // Locks the chain's mutex and returns it; the chain cannot change while it is held
    // (relinking takes it too).
    std::recursive_mutex& LockChain();
    // Holds the chain's lock for a scope.
    class TChainGuard
    {
    public:
        explicit TChainGuard(TAuInput& In) : FMutex(In.LockChain()) {}
        ~TChainGuard() { FMutex.unlock(); }
        TChainGuard(const TChainGuard&) = delete;
        TChainGuard& operator=(const TChainGuard&) = delete;

    private:
        std::recursive_mutex& FMutex;
    };

    // This input's own mutex: the chain's lock while nothing lies below it. Sources may
    // take it directly (they are always the bottom of their chain).
    std::recursive_mutex FLock;
    std::atomic<int64_t> FPosition{0};
    std::atomic<int64_t> FSize{0};
    std::atomic<bool> FBusy{false};
    uint16_t FSampleSize = 0;        // bytes per frame, set by file sources at DoInit
    int32_t FBufStart = 1;           // decode window of file sources; empty when End < Start
    int32_t FBufEnd = 0;
    bool FEndOfStream = false;

private:
    friend class TAuConverter;
    friend class TAuOutput;

    // One reader: exactly one of the two is set.
    struct TReader {
        TAuOutput* Output = nullptr;
        TAuConverter* Converter = nullptr;
        bool operator==(const TReader&) const = default;
    };
    void AddReader(const TReader& Reader);
    void RemoveReader(const TReader& Reader);
    std::vector<TReader> Readers();
    // Stops the outputs reading this input directly or through converters.
    void StopOutputsAbove(std::vector<const TAuInput*>& Seen);

    // The bottom of the chain: down the converters' inputs.
    TAuInput* ChainRoot();

    // A converter's input (nullptr for sources and for a converter without input); written
    // under the chain's lock, read by threads finding the chain's lock.
    std::atomic<TAuInput*> FBelow{nullptr};
    // A converter swapped to a new input while running: the input is started by the first
    // thread to take the new chain's lock (under the chain's lock; Init clears it).
    bool FPendingInput = false;
    std::mutex FReadersLock;
    std::vector<TReader> FReaders;      // under FReadersLock
    bool FFullBitsFlag = false;
    std::vector<uint8_t> FPrefetchBuf;
    uint32_t FPrefetchCount = 0;     // valid bytes; 0: empty
    uint32_t FPrefetchOffset = 0;    // next unread byte
};
