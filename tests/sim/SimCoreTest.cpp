// The simulated programmer's port-level decoder and register core, driven by
// raw port bytes as the parallel port would deliver them.
#include <gtest/gtest.h>

#include <vector>

#include "SimTestBus.h"

namespace {

void UseRecorder(sim::SimProgrammer* p) { UseClaimRegisters(0x7E57, 8, p); }

// Clocks bytes in the way the engine's download does: D0 data, D7 clock.
void Download(sim::SimProgrammer& p, const std::vector<uint8_t>& bytes, size_t totalBytes) {
    p.Out(p.Base(), 0x80);
    ControlPulse(p);
    for (size_t i = 0; i < totalBytes; ++i) {
        const uint8_t b = i < bytes.size() ? bytes[i] : 0;
        for (int bit = 0; bit < 8; ++bit) {
            const bool one = (b >> bit) & 1;
            if (one) p.Out(p.Base(), 0x81);
            p.Out(p.Base(), one ? 0x01 : 0x00);
            p.Out(p.Base(), 0x80);
        }
    }
    p.Out(p.Base(), 0);
}

TEST(SimCore, DownloadIsCapturedPaddedAndChoosesThePersonality) {
    UseRecorder(nullptr);
    sim::SimProgrammer p(0x378);
    EXPECT_FALSE(p.Configured());
    EXPECT_EQ(p.In(0x379), 0xFF); // unconfigured: all ones
    std::vector<uint8_t> img = {'V', 'X', 'L', 'I', 0x57, 0x7E};
    img.resize(sim::kLogicImageHeaderBytes, 0);
    img.insert(img.end(), {0x5A, 0xC3});
    Download(p, img, sim::kLogicImageBytes);
    ASSERT_TRUE(p.Configured());
    img.resize(sim::kLogicImageBytes, 0);
    EXPECT_EQ(p.CapturedImage(), img);
    ASSERT_NE(p.Personality(), nullptr);
    EXPECT_EQ(p.Personality()->Id(), 0x7E57);
    EXPECT_EQ(ReadReg(p, 2), 0xA5);
    EXPECT_TRUE(p.Violations().empty());
}

TEST(SimCore, StaysConfiguredUntilTheControlPulseAndOtherBasesAnswerNothing) {
    sim::SimProgrammer p(0x3BC);
    p.ConfigureDirect({});
    WriteReg(p, 19, 0x4F);
    EXPECT_EQ(ReadReg(p, 19), 0x4F);
    for (uint16_t base : {uint16_t(0x378), uint16_t(0x278)}) {
        WriteReg(p, 19, 0x12, base);
        EXPECT_EQ(ReadReg(p, 19, base), 0xFF);
    }
    EXPECT_EQ(p.Register(19), 0x4F);
    p.Out(0x3BE, 1);
    EXPECT_TRUE(p.Configured());
    p.Out(0x3BE, 0);
    EXPECT_FALSE(p.Configured());
    EXPECT_EQ(ReadReg(p, 19), 0xFF);
}

TEST(SimCore, UnclaimedWritesAndBadLatchValuesAreViolations) {
    sim::SimProgrammer p;
    UseRecorder(&p);
    WriteReg(p, 3, 1);  // the personality's
    WriteReg(p, 17, 5); // the core's timer
    EXPECT_TRUE(p.Violations().empty());
    WriteReg(p, 9, 1);
    EXPECT_EQ(p.Violations().size(), 1u);
    WriteReg(p, 15, 0x80);
    WriteReg(p, 20, 0x1F); // a bad latch value, setting a bit nothing uses
    EXPECT_EQ(p.Violations().size(), 3u);
    // Releasing a bit is the reset's sweep; setting one nothing uses is not.
    WriteReg(p, 31, 0x00);
    EXPECT_EQ(p.Violations().size(), 3u);
    WriteReg(p, 31, 0x0A);
    ASSERT_EQ(p.Violations().size(), 4u);
    EXPECT_EQ(p.Violations().back(), "latch register 31 bit 2 set, used by nothing");
}

TEST(SimCore, TimerRunsOnVirtualTimeAndAStoppedProgrammerNeverReportsItDone) {
    sim::SimProgrammer p;
    p.ConfigureDirect({});
    WriteReg(p, 19, 79);  // prescale 8 x 10
    WriteReg(p, 16, 100); // 1 ms tick
    const uint64_t t0 = p.NowUs();
    WriteReg(p, 17, 20);
    ReadReg(p, 19); // a register read during the wait does not end it
    EXPECT_TRUE(p.TimerRunning());
    EXPECT_EQ(p.In(0x379) & 0x80, 0x80); // the poll jumps to the end
    EXPECT_GE(p.NowUs() - t0, 20000u);
    EXPECT_FALSE(p.TimerRunning());

    p.StopAnswering(true);
    WriteReg(p, 17, 20);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(p.In(0x379) & 0x80, 0);
}

} // namespace
