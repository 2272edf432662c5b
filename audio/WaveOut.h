#pragma once
// Writes the PCM of its input into a WAV file: plain PCM (44-byte header), extensible PCM
// (68-byte header, chosen by Prepare for more than 2 channels or more than 16 bits when
// CreateNonMsHeaders is off) or IMA/DVI ADPCM (60-byte header, mono or stereo 16-bit
// input). With FileMode foAppend an existing PCM or IMA ADPCM file of the same format is
// extended. Done writes the true sizes into the header, so a stopped or failed run leaves
// a file whose header tells the truth.
#include "audio/AuOutput.h"
#include "audio/WaveFormat.h"
#include <vector>

class TWaveOut : public TAuFileOut
{
public:
    explicit TWaveOut(QObject* Owner = nullptr);
    ~TWaveOut() override;

    // wtPCM by default; the setter takes only wtPCM and wtDVIADPCM, and only while idle.
    // Prepare may change it (to wtExtPCM, or to the coding of the file appended to).
    TWavType WavType() const { return FWavType; }
    void SetWavType(TWavType Value);
    // Bytes per ADPCM block: 512 by default; the setter takes only a non-zero multiple of
    // 4, and only while idle. Appending takes the existing file's value.
    uint16_t BlockSize() const { return FBlockSize; }
    void SetBlockSize(uint16_t Value);
    // On (default): a plain header whatever the format. Off: extensible header for more
    // than 2 channels or more than 16 bits.
    bool CreateNonMsHeaders() const { return FCreateNonMsHeaders; }
    void SetCreateNonMsHeaders(bool Value) { FCreateNonMsHeaders = Value; }
    void SetFileMode(TFileOutputMode Value) override;

    static constexpr uint32_t PcmHeaderSize = 44;
    static constexpr uint32_t ExtHeaderSize = 68;
    static constexpr uint32_t DviHeaderSize = 60;
    static constexpr uint32_t PcmStepBytes = 65536;
    // A step of a copy the system makes from a plain PCM file (see TAuInput::TransferTo).
    static constexpr uint32_t TransferStepBytes = 1 << 20;

protected:
    void Prepare() override;
    bool DoOutput(bool Abort) override;
    void Done() override;

private:
    // What Prepare found in the file it appends to.
    struct TExisting {
        TWavType Type = wtUnsupported;   // wtPCM or wtDVIADPCM when appendable
        uint32_t SampleRate = 0;
        int Channels = 0;
        int BitsPerSample = 0;
        int BlockAlign = 0;
        int64_t FactOffset = -1;
        uint32_t Fact = 0;
        int64_t DataSizeOffset = -1;
        int64_t DataSize = 0;
        int64_t DataStart = 0;
    };
    static TExisting ReadExisting(TStream& S);
    void PrepareAppend(TAuInput* In);
    void WriteNewHeader(TAuInput* In);
    void Patch(int64_t Offset, uint32_t Value);
    void WriteAll(const void* Data, int64_t Bytes);

    std::atomic<TWavType> FWavType{wtPCM};
    std::atomic<uint16_t> FBlockSize{512};
    std::atomic<bool> FCreateNonMsHeaders{true};

    // Worker-side state of one run.
    bool FPrepared = false;
    bool FEndOfInput = false;
    bool FAppending = false;
    bool FTransfer = false;            // the input may still move its bytes by TransferTo
    TExisting FExisting;
    int64_t FHeaderSize = 0;
    int64_t FAnnounced = -1;           // data bytes the fresh header announces
    int FChannels = 0;
    int FFramesPerBlock = 0;
    int64_t FFramesEncoded = 0;
    uint8_t FStepIndex[2] = {0, 0};
    std::vector<uint8_t> FSamples;
    std::vector<uint8_t> FBlock;
};
