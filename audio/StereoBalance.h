#pragma once
// Attenuates one side of a stereo stream by Balance (0 to 1; 0.5, the centre, by default):
// above 0.5 the left channel is multiplied by 2 * (1 - Balance), below 0.5 the right one by
// 2 * Balance; at 0.5 both stay as they are. A
// mono input comes out as stereo (each sample on both sides) before the balance applies;
// three or more channels pass unchanged.
#include "audio/AuConverter.h"
#include <vector>

class TStereoBalance : public TAuConverter
{
public:
    explicit TStereoBalance(QObject* Owner = nullptr);
    ~TStereoBalance() override;

    float Balance() const { return FBalance; }
    // Values outside [0, 1] are ignored.
    void SetBalance(float Value);

    // The factors for the left and right samples at balance B.
    static void Factors(float B, double& Left, double& Right);

protected:
    int GetChannels() override;
    void DoInit() override;
    void DoFlush() override;
    void DoGetData(void*& Buffer, uint32_t& Bytes) override;

private:
    static constexpr uint32_t MonoChunk = 32768;
    std::atomic<float> FBalance{0.5f};
    int FBytes = 0, FInChannels = 0;
    std::vector<uint8_t> FWork = std::vector<uint8_t>(MonoChunk);
};
