#pragma once
// The sound card's input on SDL2 (with DSWrapper, the only place that includes SDL
// headers): the default capture device opened in a given PCM format.
//
// SDL's audio thread hands each captured block to the callback, which only appends it to
// a queue in memory (no file I/O, no waiting there). A reader thread takes the blocks with
// Read, which waits until data is there or the capture is closed. A queue the reader lets
// grow past MaxQueuedBytes drops the oldest blocks and counts the loss.
#include "platform/DSWrapper.h"
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

class TSDLCapture
{
public:
    TSDLCapture();
    ~TSDLCapture();
    TSDLCapture(const TSDLCapture&) = delete;
    TSDLCapture& operator=(const TSDLCapture&) = delete;

    // Opens and starts the default input with 8 (unsigned) or 16 (signed) bits, 1 or 2
    // channels; false with ErrorText set when there is no input or SDL refuses the format.
    // Call on the main thread.
    bool Open(int Bits, int Channels, int SampleRate);
    // Stops the device; what was captured stays readable. Call on the main thread.
    void Close();
    bool IsOpen() const;

    // Moves up to MaxBytes of captured bytes into Out (whole frames); waits up to
    // TimeoutMs for some. Returns 0 when nothing came (or the capture is closed and empty).
    uint32_t Read(uint8_t* Out, uint32_t MaxBytes, int TimeoutMs);
    // Wakes a waiting Read.
    void Wake();
    // True once the device is closed and every captured byte has been read.
    bool Drained() const;
    uint64_t DroppedBytes() const;
    const QString& ErrorText() const { return FError; }

    static constexpr uint32_t MaxQueuedBytes = 64u << 20;

    // Called by SDL's audio thread.
    void Captured(const uint8_t* Data, int Len);

private:
    TDSAudioSession FSession;
    uint32_t FDeviceId = 0;
    uint32_t FFrameBytes = 1;
    QString FError;

    mutable std::mutex FLock;
    std::condition_variable FReady;
    std::deque<std::vector<uint8_t>> FQueue;
    size_t FHead = 0;                   // bytes of the front block already read
    uint64_t FQueued = 0;
    uint64_t FDropped = 0;
    bool FOpen = false;
    bool FWake = false;
};
