#pragma once
// Reads a RIFF WAVE file and delivers interleaved integer PCM: plain and extensible PCM
// as stored, IEEE float (32 or 64 bits) as signed 32-bit integers, IMA/DVI and Microsoft
// ADPCM decoded to 16 bits. Other codings (the ones Windows hands to its compression
// manager) have no decoder here: such a file is not Valid and delivers nothing.
//
// The header scan is tolerant: it finds "RIFF" and "WAVE" after junk, compares chunk codes
// without regard to case, skips unknown chunks by their size, and needs the whole header
// within the first 65535 bytes. Compressed files need a "fact" chunk before "data".
#include "audio/Adpcm.h"
#include "audio/AuFileIn.h"
#include "audio/WaveFormat.h"
#include <vector>

class TWaveIn : public TAuFileIn
{
public:
    explicit TWaveIn(QObject* Owner = nullptr);
    ~TWaveIn() override;

    // Opens the file if needed and returns its coding (wtUnsupported when it cannot be
    // read as a WAV file).
    TWavType WavType();

    void OpenFile() override;
    void CloseFile() override;
    // Where the first byte of audio lies in the file (once opened): plain PCM is stored
    // there as it is delivered, so a tool may patch samples in a copy of the file.
    int64_t DataStart() const { return FDataStart; }

    // Size of the buffer one decode step fills.
    static constexpr uint32_t DecodeBufferSize = 65536;

protected:
    void DoGetData(void*& Buffer, uint32_t& Bytes) override;
    // Plain PCM from a file, outside a loop and with the decode buffer empty: the bytes
    // of the data chunk (within the range) copied by the system.
    int64_t DoTransferTo(TAuFileStream& Out, int64_t MaxBytes) override;
    // Plain and float data seek to the frame; ADPCM to the start of the block that holds
    // it (SampleNum is set to that block's first frame).
    bool DoSeek(int64_t& SampleNum) override;

private:
    // The header fields of one scan.
    struct THeader {
        TWavType Type = wtUnsupported;
        int Channels = 0;
        int SampleRate = 0;
        int BlockAlign = 0;
        int BitsPerSample = 0;
        int SamplesPerBlock = 0;
        uint32_t TotalFrames = 0;
        uint32_t DataSize = 0;
        int64_t DataStart = 0;        // absolute stream position of the first data byte
        std::vector<Adpcm::TMsCoef> Coefs;
    };
    static THeader ScanHeader(TStream& S);
    // Checks the scanned fields and sets the format, Size and the decoder parameters.
    bool Accept(const THeader& H, int64_t StreamSize);
    // Fills the decode buffer by one step (ADPCM: as many whole blocks as fit); returns
    // the bytes produced.
    uint32_t Refill();
    uint32_t ReadData(uint8_t* Out, uint32_t Want);
    int64_t StoredFrameBytes() const;

    std::atomic<TWavType> FWavType{wtUnsupported};
    int FStoredBits = 0;              // bits per sample as stored (64 for double floats)
    bool FFloatMode = false;
    int FBlockSize = 0;
    int FSamplesPerBlock = 0;
    uint32_t FTotalFrames = 0;
    std::vector<Adpcm::TMsCoef> FCoefs;
    int64_t FDataStart = 0;
    int64_t FDataEnd = 0;             // end of the audio: the data chunk within the stream
    std::vector<uint8_t> FBuffer = std::vector<uint8_t>(DecodeBufferSize);
    std::vector<uint8_t> FBlock;
    std::vector<int16_t> FDecoded;
};
