// The play ring with the test as its consumer: wrap-around, underruns, passes the writer
// never saw, silence where nothing was written, the sample format handed to the card, the
// volume, and the callback period. (Formats the card refuses: soundout_test.)
#include "platform/DSWrapper.h"
#include <gtest/gtest.h>
#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(uint32_t Count, uint8_t First)
{
    std::vector<uint8_t> v(Count);
    for (uint32_t i = 0; i < Count; ++i)
        v[i] = uint8_t(First + i);
    return v;
}

std::vector<uint8_t> Take(TDSRing& ring, uint32_t OutBytes)
{
    std::vector<uint8_t> out(OutBytes, 0xEE);
    ring.Consume(out.data(), OutBytes);
    return out;
}

// 16-bit stereo (4-byte frames), 64-byte ring, 4-frame (16-byte) period: First written
// while stopped, then playing.
void StartWith(TDSRing& ring, const std::vector<uint8_t>& First)
{
    ring.Open(16, 2, 64, 4);
    ASSERT_EQ(ring.WriteBlock(First.data(), uint32_t(First.size())), First.size());
    ring.SetPlaying(true);
}

} // namespace

TEST(DSRing, DataWrapsRoundTheRingInOrder)
{
    TDSRing ring;
    ring.Open(16, 2, 64, 4);
    EXPECT_EQ(ring.QuerySpace(), 64u);  // stopped: all of it
    const auto a = Bytes(48, 1);
    StartWith(ring, a);
    EXPECT_EQ(Take(ring, 32), std::vector<uint8_t>(a.begin(), a.begin() + 32));
    // 48 written, 32 played: 48 free, across the end of the ring (the card holds
    // written data, so its period takes nothing away).
    EXPECT_EQ(ring.QuerySpace(), 48u);
    const auto b = Bytes(32, 100);
    ASSERT_EQ(ring.WriteBlock(b.data(), 32), 32u);
    auto expect = std::vector<uint8_t>(a.begin() + 32, a.end());
    expect.insert(expect.end(), b.begin(), b.begin() + 16);
    EXPECT_EQ(Take(ring, 32), expect);
    EXPECT_EQ(ring.PlayCursor(), 64u);
    EXPECT_EQ(ring.WriteOffset(), 80u);
    EXPECT_EQ(ring.WriteCursor(), 80u);
    // A write never goes past the free space, and only in whole frames.
    const auto c = Bytes(70, 7);
    EXPECT_EQ(ring.WriteBlock(c.data(), 70), 48u);
    EXPECT_EQ(ring.WriteBlock(c.data(), 3), 0u);
    EXPECT_EQ(ring.UnderrunCount(), 0u);
    expect.assign(b.begin() + 16, b.end());
    expect.insert(expect.end(), c.begin(), c.begin() + 48);
    EXPECT_EQ(Take(ring, 64), expect);
}

TEST(DSRing, UnderrunPlaysSilenceAndMovesTheWriterToTheWriteCursor)
{
    struct Case {
        const char* name;
        uint32_t written;
        uint32_t consumed;
    };
    // Short by a little, and short by several whole passes (no counter needed to see it).
    for (const Case c : {Case{"short", 16, 48}, Case{"missed passes", 48, 64 * 3 + 8}}) {
        SCOPED_TRACE(c.name);
        TDSRing ring;
        const auto a = Bytes(c.written, 1);
        StartWith(ring, a);
        const auto out = Take(ring, c.consumed);
        // Each written byte is heard once; after it only silence, never old audio.
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + c.written), a);
        EXPECT_EQ(std::vector<uint8_t>(out.begin() + c.written, out.end()),
                  std::vector<uint8_t>(c.consumed - c.written, 0));
        EXPECT_EQ(ring.QuerySpace(), 64u - 16u);
        EXPECT_EQ(ring.UnderrunCount(), 1u);
        EXPECT_EQ(ring.WriteOffset(), ring.WriteCursor());
        EXPECT_EQ(ring.WriteCursor(), c.consumed + 16u);
        // A second query sees no new underrun.
        ring.QuerySpace();
        EXPECT_EQ(ring.UnderrunCount(), 1u);
    }
}

TEST(DSRing, StoppedRingCountsNoUnderrunAndItsWriteCursorIsThePlayCursor)
{
    TDSRing ring;
    ring.Open(16, 2, 64, 4);
    Take(ring, 32);                     // a last callback after the stop
    EXPECT_EQ(ring.WriteCursor(), ring.PlayCursor());
    EXPECT_EQ(ring.QuerySpace(), 64u);
    EXPECT_EQ(ring.UnderrunCount(), 0u);
}

TEST(DSRing, SilenceFillUsesTheFormatsSilenceByte)
{
    for (const int bits : {8, 16}) {
        SCOPED_TRACE(bits);
        const uint8_t silence = bits == 8 ? 128 : 0;
        TDSRing ring;
        ring.Open(bits, 1, 32, 4);
        EXPECT_EQ(ring.SilenceByte(), silence);
        const auto a = Bytes(8, 1);
        ring.WriteBlock(a.data(), 8);
        EXPECT_EQ(ring.FillSilence(), 24u);
        EXPECT_EQ(ring.QuerySpace(), 0u);
        ring.SetPlaying(true);
        auto out = Take(ring, 32);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 8), a);
        EXPECT_EQ(std::vector<uint8_t>(out.begin() + 8, out.end()), std::vector<uint8_t>(24, silence));
        // What was played is cleared: the next pass, unwritten, is silence as well.
        out = Take(ring, 32);
        EXPECT_EQ(out, std::vector<uint8_t>(32, silence));
    }
}

TEST(DSRing, CardGetsDeviceFormatWithVolumeApplied)
{
    struct Case {
        const char* name;
        int bits;
        int volume;
        std::vector<uint8_t> in;
        std::vector<uint8_t> out;
    };
    const std::vector<Case> cases = {
        {"24 bits as 32", 24, 0, {0x01, 0x02, 0x83}, {0x00, 0x01, 0x02, 0x83}},
        {"16 bits full", 16, 0, {0x34, 0x12}, {0x34, 0x12}},
        {"16 bits -6 dB", 16, -600, {0x00, 0x40}, {0x13, 0x20}},       // 16384 * 0.501 = 8211
        {"8 bits -6 dB", 8, -600, {228}, {128 + 50}},                  // 100 * 0.501 = 50
        {"32 bits silent", 32, -10000, {1, 2, 3, 4}, {0, 0, 0, 0}},
        {"below -10000 is silent", 16, -20000, {0x00, 0x40}, {0, 0}},
        {"above 0 is full", 16, 500, {0x00, 0x40}, {0x00, 0x40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TDSRing ring;
        const uint32_t frame = uint32_t(c.bits / 8);
        ring.Open(c.bits, 1, frame * 64, 16);
        ring.SetVolume(c.volume);
        ring.WriteBlock(c.in.data(), uint32_t(c.in.size()));
        ring.SetPlaying(true);
        EXPECT_EQ(Take(ring, uint32_t(c.out.size())), c.out);
    }
}

TEST(DSWrapper, PeriodIsAPowerOfTwoWithinBufferAndPollingInterval)
{
    struct Case {
        uint32_t frames, pollingMs;
        int rate;
        uint32_t period;
    };
    const Case cases[] = {
        {3528, 26, 44100, 512},         // 80 ms player buffer: 882 by buffer, 1146 by polling
        {24576, 100, 44100, 2048},      // defaults: 50 ms allow 2205
        {24576, 33, 44100, 1024},       // latency 100: polling allows 1455
        {441, 1, 44100, 32},            // 1 ms polling: 44 frames
        {10, 0, 8000, 16},              // never below 16
        {1 << 30, 100000, 192000, 8192},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TDSWrapper::PeriodFrames(c.frames, c.pollingMs, c.rate), c.period)
            << c.frames << " frames, " << c.pollingMs << " ms";
}
