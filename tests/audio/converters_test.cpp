// Sample converters: sample size and channel changes, the resampler's block pattern,
// response and sizes, and the stereo balance.
#include "audio/AudioConverter.h"
#include "audio/FastResampler.h"
#include "audio/FilterLanes.h"
#include "audio/SampleFormat.h"
#include "audio/StereoBalance.h"
#include "WaveTestUtil.h"
#include <gtest/gtest.h>
#include <cmath>
#include <complex>
#include <memory>

using namespace WaveTest;

namespace {

// A header-less source over bytes in memory.
struct Raw {
    TMemoryStream stream;
    TAuRawFileIn in;
    Raw(int Bits, int Channels, int Rate, const QByteArray& Data) : stream(Data)
    {
        in.SetRawFormat(Bits, Channels, Rate);
        in.SetStream(&stream);
    }
};

QString Raised(const std::function<void()>& Fn)
{
    try {
        Fn();
    } catch (const EAuException& e) {
        return e.Message();
    }
    return QString();
}

// A sine tone through a resampler: the RMS level of the output (after the filter has
// settled) against the input's, in dB; and the output length against Size.
struct ToneRun {
    double gainDb = 0;
    int64_t bytes = 0, size = 0;
};

ToneRun ResampleTone(int InRate, int OutRate, double Frequency)
{
    TAuGenerator gen;
    gen.SetFormat(16, 1, InRate);
    gen.SetWaveform(TAuGenerator::TWaveform::Sine);
    gen.SetTone(Frequency, 0.5);
    gen.SetGeneratedSize(int64_t(InRate) * 2);          // one second
    TFastResampler rs;
    rs.SetInput(&gen);
    rs.SetOutSampleRate(uint32_t(OutRate));
    ToneRun r;
    const QByteArray out = ReadInput(rs, 3000);
    r.bytes = out.size();
    rs.Init();
    r.size = rs.Size();
    rs.Flush();
    const std::vector<int> s = Samples16(out);
    double sum = 0;
    const size_t skip = size_t(OutRate / 10);
    for (size_t i = skip; i < s.size(); ++i)
        sum += double(s[i]) * s[i];
    const double rms = std::sqrt(sum / double(s.size() - skip));
    r.gainDb = 20 * std::log10(std::max(rms, 1e-9) / (0.5 * 32767 / std::sqrt(2.0)));
    return r;
}

} // namespace

TEST(SampleFormat, WidthsAtFullScaleAndEdges)
{
    struct Case { int bytes; float x; int64_t expected; };
    for (const Case c : {Case{1, 1.0f, 255}, Case{2, 1.0f, 32767}, Case{3, 1.0f, 8388607}, Case{4, 1.0f, 2147483647},
                         Case{1, -1.0f, 0}, Case{2, -1.0f, -32767}, Case{3, -1.0f, -8388607}, Case{4, -1.0f, -2147483647},
                         Case{1, 2.0f, 255}, Case{2, -3.0f, -32767}, Case{1, 0.0f, 128}, Case{2, 0.5f, 16384},
                         Case{3, -0.5f, -4194304}}) {
        SCOPED_TRACE(testing::Message() << c.bytes << " bytes, " << c.x);
        uint8_t b[4] = {};
        SampleFormat::FromFloat(&c.x, 1, c.bytes, b);
        int64_t v = c.bytes == 1 ? b[0] : 0;
        if (c.bytes > 1) {
            uint32_t u = 0;
            for (int i = 0; i < c.bytes; ++i)
                u |= uint32_t(b[i]) << (8 * i);
            v = int32_t(u << (32 - 8 * c.bytes)) >> (32 - 8 * c.bytes);
        }
        EXPECT_EQ(v, c.expected);
    }
}

TEST(AudioConverter, SampleSizesAndChannels)
{
    struct Case {
        const char* name;
        int bits, channels;
        QByteArray in;
        int outBits, outChannels;
        int reportedChannels;
        QByteArray out;
    };
    const QByteArray u8 = QByteArray::fromHex("8000ff");
    for (const Case& c : {
             Case{"8-bit to 16-bit", 8, 1, u8, 16, 0, 1, Bytes16({0, -32767, 32511})},
             Case{"stereo to mono, rescaled", 16, 2, Bytes16({1000, 3000, 32767, 32767, -32768, -32768}), 0, 1, 1, Bytes16({2000, 32766, -32767})},
             Case{"mono to stereo", 16, 1, Bytes16({1000, -5}), 0, 2, 2, Bytes16({1000, 1000, -5, -5})},
             Case{"6 channels asked of stereo: stays stereo", 16, 2, Bytes16({16384, -16384}), 0, 6, 2, Bytes16({16384, -16384})},
             Case{"16-bit to 8-bit mono", 16, 2, Bytes16({0, 0, 32767, 32767}), 8, 1, 1, QByteArray::fromHex("80ff")},
             Case{"16-bit to 24-bit", 16, 1, Bytes16({-32768, 16384}), 24, 0, 1, QByteArray::fromHex("010080ffff3f")},
         }) {
        SCOPED_TRACE(c.name);
        Raw src(c.bits, c.channels, 44100, c.in);
        TAudioConverter conv;
        conv.SetInput(&src.in);
        conv.SetOutBitsPerSample(c.outBits);
        conv.SetOutChannels(c.outChannels);
        EXPECT_EQ(conv.Channels(), c.reportedChannels);
        EXPECT_EQ(conv.BitsPerSample(), c.outBits ? c.outBits : c.bits);
        EXPECT_EQ(conv.SampleRate(), 44100);
        const QByteArray got = ReadInput(conv, 7);
        EXPECT_EQ(got.toHex(), c.out.toHex());
        conv.Init();
        EXPECT_EQ(conv.Size(), c.out.size());
        conv.Flush();
    }
}

TEST(AudioConverter, RefusesWhatItCannotConvert)
{
    TAudioConverter conv;
    EXPECT_EQ(conv.Channels(), 0);
    EXPECT_EQ(conv.BitsPerSample(), 0);
    EXPECT_EQ(Raised([&] { conv.Init(); }), "Input is not assigned");
    Raw twelve(12, 1, 8000, QByteArray(30, 1));
    conv.SetInput(&twelve.in);
    conv.SetOutBitsPerSample(16);
    EXPECT_EQ(Raised([&] { conv.Init(); }), "Cannot convert 12-bit samples to 16 bits");
    EXPECT_FALSE(twelve.in.Busy());
    // Nothing to convert: any width passes through.
    conv.SetOutBitsPerSample(0);
    EXPECT_EQ(ReadInput(conv), QByteArray(30, 1));
}

TEST(FastResampler, BlockPatternsAndSizes)
{
    struct Case { int inRate, outRate; int64_t inFrames, outFrames; };
    for (const Case c : {Case{44100, 44102, 10000, 10000},                 // same multiple of 5 Hz
                         Case{22050, 44100, 3 * 4410 + 100, 2 * (3 * 4410 + 100)},
                         Case{44100, 22050, 2 * 8820 + 101, 2 * 4410 + 51},
                         Case{48000, 44100, 9600 + 7, 8826}}) {
        SCOPED_TRACE(testing::Message() << c.inRate << " -> " << c.outRate);
        TAuGenerator gen;
        gen.SetFormat(16, 2, c.inRate);
        gen.SetGeneratedSize(c.inFrames * 4);
        TFastResampler rs;
        rs.SetInput(&gen);
        rs.SetOutSampleRate(uint32_t(c.outRate));
        EXPECT_EQ(rs.SampleRate(), c.outRate);
        const QByteArray out = ReadInput(rs, 5000);
        EXPECT_EQ(out.size(), c.outFrames * 4);
        rs.Init();
        EXPECT_EQ(rs.Size(), c.outFrames * 4);
        rs.Flush();
        if (c.outRate == 44102) {
            EXPECT_EQ(out, PatternBytes(0, c.inFrames * 4));
        }
    }
}

// Any rate to any other, any channels and widths on the way (resampler, then converter,
// as the WAV format converter chains them): N frames in give N * out / in frames, rounded.
TEST(FastResampler, LengthKeptToTheFrameAtAnyRate)
{
    const int rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 96000, 192000};
    int run = 0;
    for (const int inRate : rates) {
        for (const int outRate : rates) {
            if (inRate == outRate)
                continue;
            // Four of the 64 channel and width pairs a rate pair, all of them over the table.
            for (int m = 0; m < 4; ++m, ++run) {
                const int combo = run % 64;
                const int inChannels = 1 + (combo & 1), outChannels = 1 + ((combo >> 1) & 1);
                const int inBits = 8 * (1 + ((combo >> 2) & 3)), outBits = 8 * (1 + ((combo >> 4) & 3));
                const int64_t inFrames = inRate / 5 + 37 * (m + 1);     // past one block, a part of the next
                SCOPED_TRACE(testing::Message() << inRate << "/" << inChannels << "/" << inBits << " -> " << outRate << "/"
                                                << outChannels << "/" << outBits << ", " << inFrames << " frames");
                TAuGenerator gen;
                gen.SetFormat(inBits, inChannels, inRate);
                gen.SetGeneratedSize(inFrames * inChannels * inBits / 8);
                TFastResampler rs;
                rs.SetInput(&gen);
                rs.SetOutSampleRate(uint32_t(outRate));
                TAudioConverter conv;
                conv.SetInput(&rs);
                conv.SetOutChannels(outChannels);
                conv.SetOutBitsPerSample(outBits);
                const int64_t outFrame = outChannels * outBits / 8;
                const int64_t expected = std::llround(double(inFrames) * outRate / inRate);
                EXPECT_EQ(ReadInput(conv, 65536).size(), expected * outFrame);
                conv.Init();
                EXPECT_EQ(conv.Size(), expected * outFrame);
                conv.Flush();
            }
        }
    }
}

// Down-sampling keeps every second frame of the continuously filtered input, starting
// with the first of each block: a plain four-pass filter over the whole input, thinned,
// gives the same samples.
TEST(FastResampler, DownSamplingKeepsEverySecondFilteredFrame)
{
    const int frames = 3 * 8820 + 333;
    TAuGenerator gen;
    gen.SetFormat(16, 1, 44100);
    gen.SetWaveform(TAuGenerator::TWaveform::Sine);
    gen.SetTone(3000, 0.7);
    gen.SetGeneratedSize(frames * 2);
    const std::vector<int> input = Samples16(ReadInput(gen));
    TFastResampler rs;
    rs.SetInput(&gen);
    rs.SetOutSampleRate(22050);
    const std::vector<int> out = Samples16(ReadInput(rs));
    ASSERT_EQ(out.size(), size_t((frames + 1) / 2));

    const auto c = TFastResampler::DesignLowPass(0.85 * 0.5 / 2);
    std::vector<double> x(input.begin(), input.end());
    for (double& v : x)
        v /= 32768.0;
    for (int pass = 0; pass < 4; ++pass) {
        std::vector<double> y(x.size());
        for (size_t n = 0; n < x.size(); ++n) {
            double acc = 0;
            for (size_t k = 0; k <= 4 && k <= n; ++k)
                acc += c.A[k] * x[n - k] + (k > 0 ? c.B[k] * y[n - k] : 0.0);
            y[n] = acc;
        }
        x = y;
    }
    int off = 0;
    for (size_t i = 0; i < out.size(); ++i)
        off += std::abs(out[i] - int(std::nearbyint(std::clamp(x[2 * i], -1.0, 1.0) * 32767))) > 1;
    EXPECT_EQ(off, 0);

    // Stereo (both channels carry the tone) runs each channel as the mono run.
    gen.SetFormat(16, 2, 44100);
    gen.SetGeneratedSize(frames * 4);
    const std::vector<int> stereo = Samples16(ReadInput(rs));
    ASSERT_EQ(stereo.size(), 2 * out.size());
    int differ = 0;
    for (size_t i = 0; i < out.size(); ++i)
        differ += stereo[2 * i] != out[i] || stereo[2 * i + 1] != out[i];
    EXPECT_EQ(differ, 0);
}

// The vector filter against the plain four-pass recursion: any channel count, blocks of
// any length (down to one frame), the state carried from block to block.
TEST(FastResampler, VectorFilterRunsThePlainRecursion)
{
    const auto c = TFastResampler::DesignLowPass(0.2);
    for (const size_t channels : {size_t(1), size_t(2), size_t(3)}) {
        SCOPED_TRACE(testing::Message() << channels << " channels");
        std::vector<std::array<double, 8>> state(channels * 4), plain(channels * 4);
        int frame = 0;
        for (const int count : {1, 2, 5, 700, 3, 64}) {
            std::vector<float> v(size_t(count) * channels);
            for (size_t i = 0; i < v.size(); ++i)
                v[i] = float(std::sin(0.05 * double(frame * int(channels) + int(i)) * double(1 + i % channels)));
            std::vector<float> expected = v;
            for (size_t ch = 0; ch < channels; ++ch) {
                for (int n = 0; n < count; ++n) {
                    double x = expected[size_t(n) * channels + ch];
                    for (size_t p = 0; p < 4; ++p) {
                        auto& s = plain[ch * 4 + p];        // x0..x3, y0..y3, newest first
                        const double y = c.A[0] * x + c.A[1] * s[0] + c.A[2] * s[1] + c.A[3] * s[2] + c.A[4] * s[3]
                                         + c.B[1] * s[4] + c.B[2] * s[5] + c.B[3] * s[6] + c.B[4] * s[7];
                        s = {x, s[0], s[1], s[2], y, s[4], s[5], s[6]};
                        x = y;
                    }
                    expected[size_t(n) * channels + ch] = float(x);
                }
            }
            if (!FilterLanes::Run(v.data(), count, channels, c.A.data(), c.B.data(), state.data()))
                GTEST_SKIP() << "no AVX2 and FMA here";
            for (size_t i = 0; i < v.size(); ++i)
                ASSERT_NEAR(v[i], expected[i], 1e-5) << "value " << i << " of a block of " << count;
            frame += count;
        }
    }
}

TEST(FastResampler, FilterResponse)
{
    // By calculation from the coefficients: the four passes at 44100 -> 22050.
    const auto c = TFastResampler::DesignLowPass(0.85 * 0.5 / 2);
    const auto gainDb = [&](double hz) {
        const std::complex<double> z1 = std::polar(1.0, -2 * M_PI * hz / 44100);
        std::complex<double> num = 0, den = 1, zk = 1;
        for (int k = 0; k <= 4; ++k, zk *= z1) {
            num += c.A[size_t(k)] * zk;
            if (k > 0)
                den -= c.B[size_t(k)] * zk;
        }
        return 4 * 20 * std::log10(std::abs(num / den));
    };
    EXPECT_NEAR(gainDb(0), 0.0, 1e-9);
    EXPECT_NEAR(gainDb(1000), 0.26, 0.05);
    double peak = -100;
    for (int hz = 0; hz < 9000; hz += 25)
        peak = std::max(peak, gainDb(hz));
    EXPECT_LE(peak, 1.79);          // 4 x 0.445 dB, the 5 % ripple of each pass
    EXPECT_NEAR(gainDb(12000), -81, 2);

    // Measured through the resampler.
    struct Case { int in, out; double hz; double lo, hi; };
    for (const Case t : {Case{44100, 22050, 1000, -0.5, 0.5}, Case{22050, 44100, 1000, -0.5, 0.5},
                         Case{48000, 44100, 1000, -0.5, 0.5}, Case{44100, 22050, 12000, -200, -60}}) {
        SCOPED_TRACE(testing::Message() << t.in << " -> " << t.out << " at " << t.hz << " Hz");
        const ToneRun r = ResampleTone(t.in, t.out, t.hz);
        EXPECT_GE(r.gainDb, t.lo);
        EXPECT_LE(r.gainDb, t.hi);
        EXPECT_EQ(r.bytes, r.size);
    }
}

TEST(FastResampler, RefusesWhatItCannotResample)
{
    TFastResampler rs;
    EXPECT_EQ(Raised([&] { rs.BitsPerSample(); }), "Input is not assigned");
    EXPECT_EQ(Raised([&] { rs.Channels(); }), "Input is not assigned");
    EXPECT_EQ(Raised([&] { rs.SampleRate(); }), "Input is not assigned");
    EXPECT_EQ(Raised([&] { rs.Init(); }), "Input is not assigned");
    TAuGenerator gen;
    gen.SetFormat(16, 2, 44100);
    gen.SetGeneratedSize(4000);
    rs.SetInput(&gen);
    EXPECT_EQ(Raised([&] { rs.Init(); }), "Cannot resample from 44100 Hz to 0 Hz");
    Raw twelve(12, 1, 8000, QByteArray(30, 1));
    rs.SetInput(&twelve.in);
    rs.SetOutSampleRate(16000);
    EXPECT_EQ(Raised([&] { rs.Init(); }), "Cannot resample 12-bit samples");
    EXPECT_FALSE(twelve.in.Busy());
    TFastResampler idle;
    idle.SetInput(&gen);
    idle.SetOutSampleRate(22050);
    void* data = nullptr;
    uint32_t bytes = 100;
    EXPECT_EQ(Raised([&] { idle.GetData(data, bytes); }), "The Stream is not opened");
}

TEST(StereoBalance, FactorsByWidth)
{
    TStereoBalance bal;
    EXPECT_FLOAT_EQ(bal.Balance(), 0.5f);
    for (const float bad : {1.5f, -0.1f})
        bal.SetBalance(bad);
    EXPECT_FLOAT_EQ(bal.Balance(), 0.5f);

    struct Case { const char* name; int bits, channels; float balance; QByteArray in, out; };
    const auto s24 = [](std::initializer_list<int> v) {
        QByteArray b;
        for (int s : v)
            b += Le32(s).left(3);
        return b;
    };
    const auto s32 = [](std::initializer_list<int> v) {
        QByteArray b;
        for (int s : v)
            b += Le32(s);
        return b;
    };
    for (const Case& c : {
             Case{"16-bit 0.5 is the centre", 16, 2, 0.5f, Bytes16({1000, -1001}), Bytes16({1000, -1001})},
             Case{"16-bit 0.25 halves the right", 16, 2, 0.25f, Bytes16({1000, -1001}), Bytes16({1000, -500})},
             Case{"16-bit 0 silences the right", 16, 2, 0.0f, Bytes16({1000, -1001}), Bytes16({1000, 0})},
             Case{"16-bit 1 silences the left", 16, 2, 1.0f, Bytes16({1000, -1001}), Bytes16({0, -1001})},
             Case{"16-bit 0.75 halves the left", 16, 2, 0.75f, Bytes16({1002, -1001}), Bytes16({501, -1001})},
             Case{"24-bit 0.25 scales the right too", 24, 2, 0.25f, s24({-4000000, 4000002}), s24({-4000000, 2000001})},
             Case{"24-bit 0.875 scales the left", 24, 2, 0.875f, s24({-4000000, 4000002}), s24({-1000000, 4000002})},
             Case{"32-bit 0.25", 32, 2, 0.25f, s32({-2147483647 - 1, 2000000001}), s32({-2147483647 - 1, 1000000000})},
             Case{"8-bit scales around the middle", 8, 2, 0.25f, QByteArray::fromHex("ff00807f"), QByteArray::fromHex("ff408080")},
             Case{"mono 16-bit at 0.5 is equal on both sides", 16, 1, 0.5f, Bytes16({1000, -3000}), Bytes16({1000, 1000, -3000, -3000})},
             Case{"mono 16-bit at 0.25", 16, 1, 0.25f, Bytes16({1000, -3000}), Bytes16({1000, 500, -3000, -1500})},
             Case{"3 channels pass", 16, 3, 0.0f, Bytes16({1, 2, 3}), Bytes16({1, 2, 3})},
         }) {
        SCOPED_TRACE(c.name);
        Raw src(c.bits, c.channels, 44100, c.in);
        TStereoBalance b;
        b.SetInput(&src.in);
        b.SetBalance(c.balance);
        EXPECT_EQ(b.Channels(), c.channels <= 2 ? 2 : c.channels);
        EXPECT_EQ(ReadInput(b, 24).toHex(), c.out.toHex());
        b.Init();
        EXPECT_EQ(b.Size(), c.out.size());
        b.Flush();
    }
}

TEST(StereoBalance, RefusesWhatItCannotBalance)
{
    TStereoBalance b;
    EXPECT_EQ(Raised([&] { b.Channels(); }), "Input not assigned");
    EXPECT_EQ(Raised([&] { b.Init(); }), "Input not assigned");
    Raw twelve(12, 2, 8000, QByteArray(30, 1));
    b.SetInput(&twelve.in);
    EXPECT_EQ(Raised([&] { b.Init(); }), "Cannot balance 12-bit samples");
    EXPECT_FALSE(twelve.in.Busy());
    TStereoBalance idle;
    Raw src(16, 2, 8000, QByteArray(40, 1));
    idle.SetInput(&src.in);
    void* data = nullptr;
    uint32_t bytes = 100;
    EXPECT_EQ(Raised([&] { idle.GetData(data, bytes); }), "The Stream is not opened");
}
