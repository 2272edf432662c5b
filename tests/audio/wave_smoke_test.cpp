#include "audio/WaveIn.h"
#include "audio/WaveOut.h"
#include "WaveTestUtil.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace WaveTest;

TEST(WaveSmoke, PcmRoundTrip)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.wav");
    TAuGenerator gen;
    gen.SetFormat(16, 2, 44100);
    gen.SetGeneratedSize(100000);
    TWaveOut out;
    out.SetInput(&gen);
    out.SetFileName(path);
    ASSERT_EQ(RunOutput(out), "");
    TWaveIn in;
    in.SetFileName(path);
    ASSERT_TRUE(in.Valid());
    EXPECT_EQ(in.WavType(), wtPCM);
    EXPECT_EQ(ReadInput(in), PatternBytes(0, 100000));
}

TEST(WaveSmoke, AdpcmRoundTrip)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.wav");
    TAuGenerator gen;
    gen.SetFormat(16, 2, 44100);
    gen.SetWaveform(TAuGenerator::TWaveform::Sine);
    gen.SetGeneratedSize(100000);
    TWaveOut out;
    out.SetInput(&gen);
    out.SetWavType(wtDVIADPCM);
    out.SetFileName(path);
    ASSERT_EQ(RunOutput(out), "");
    TWaveIn in;
    in.SetFileName(path);
    ASSERT_TRUE(in.Valid());
    EXPECT_EQ(in.WavType(), wtDVIADPCM);
    EXPECT_EQ(ReadInput(in).size(), 100000);
}
