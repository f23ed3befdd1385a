// The simulated programmer's port-level decoder and register core, driven by
// raw port bytes as the parallel port would deliver them.
#include <gtest/gtest.h>

#include <vector>

#include "sim/SimProgrammer.h"

namespace {

class Recorder : public sim::SimPersonality {
public:
    uint16_t Id() const override { return 0x7E57; }
    bool OnWrite(sim::SimProgrammer&, uint8_t reg, uint8_t) override { return reg < 8; }
    std::optional<uint8_t> OnRead(sim::SimProgrammer&, uint8_t reg) override {
        if (reg == 2) return 0xA5;
        return std::nullopt;
    }
};

void Pulse(sim::SimProgrammer& p, uint16_t base) {
    p.Out(static_cast<uint16_t>(base + 2), 1);
    p.Out(static_cast<uint16_t>(base + 2), 0);
}

// Clocks bytes in the way the engine's download does: D0 data, D7 clock.
void Download(sim::SimProgrammer& p, uint16_t base, const std::vector<uint8_t>& bytes, size_t totalBytes) {
    p.Out(base, 0x80);
    Pulse(p, base);
    for (size_t i = 0; i < totalBytes; ++i) {
        const uint8_t b = i < bytes.size() ? bytes[i] : 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (b & (1 << bit)) {
                p.Out(base, 0x81);
                p.Out(base, 0x01);
                p.Out(base, 0x80);
            } else {
                p.Out(base, 0x00);
                p.Out(base, 0x80);
            }
        }
    }
    p.Out(base, 0);
}

std::vector<uint8_t> ImageWithHeader(uint16_t personality) {
    std::vector<uint8_t> img = {'V', 'X', 'L', 'I', static_cast<uint8_t>(personality),
                                static_cast<uint8_t>(personality >> 8)};
    img.resize(sim::kLogicImageHeaderBytes, 0);
    img.push_back(0x5A);
    img.push_back(0xC3);
    return img;
}

void WriteReg(sim::SimProgrammer& p, uint16_t base, uint8_t r, uint8_t v) {
    p.Out(base, static_cast<uint8_t>((r & 0x1F) | 0x40));
    p.Out(base, static_cast<uint8_t>((v >> 4) | 0x20));
    p.Out(base, v & 0x0F);
}

uint8_t ReadReg(sim::SimProgrammer& p, uint16_t base, uint8_t r) {
    p.Out(base, static_cast<uint8_t>((r & 0x1F) | 0x40));
    p.Out(base, 0x30);
    uint8_t s1 = p.In(static_cast<uint16_t>(base + 1));
    p.Out(base, 0x10);
    uint8_t s2 = p.In(static_cast<uint16_t>(base + 1));
    return static_cast<uint8_t>(((s1 & 0x78) << 1) | ((s2 & 0x78) >> 3));
}

TEST(SimCore, DownloadIsCapturedPaddedAndChoosesThePersonality) {
    sim::RegisterPersonality(0x7E57, [](const sim::LogicImageHeader&) { return std::make_unique<Recorder>(); });
    sim::SimProgrammer p(0x378);
    EXPECT_FALSE(p.Configured());
    EXPECT_EQ(p.In(0x379), 0xFF); // unconfigured: all ones
    auto img = ImageWithHeader(0x7E57);
    Download(p, 0x378, img, sim::kLogicImageBytes);
    ASSERT_TRUE(p.Configured());
    ASSERT_EQ(p.CapturedImage().size(), sim::kLogicImageBytes);
    std::vector<uint8_t> expect = img;
    expect.resize(sim::kLogicImageBytes, 0);
    EXPECT_EQ(p.CapturedImage(), expect);
    ASSERT_NE(p.Personality(), nullptr);
    EXPECT_EQ(p.Personality()->Id(), 0x7E57);
    EXPECT_EQ(ReadReg(p, 0x378, 2), 0xA5);
    EXPECT_TRUE(p.Violations().empty());
}

TEST(SimCore, StaysConfiguredUntilTheControlPulse) {
    sim::SimProgrammer p(0x3BC);
    p.ConfigureDirect({});
    WriteReg(p, 0x3BC, 19, 0x4F);
    EXPECT_EQ(ReadReg(p, 0x3BC, 19), 0x4F);
    p.Out(0x3BE, 1);
    EXPECT_TRUE(p.Configured());
    p.Out(0x3BE, 0);
    EXPECT_FALSE(p.Configured());
    EXPECT_EQ(ReadReg(p, 0x3BC, 19), 0xFF);
}

TEST(SimCore, OtherPortBasesAnswerNothing) {
    sim::SimProgrammer p(0x3BC);
    p.ConfigureDirect({});
    for (uint16_t base : {uint16_t(0x378), uint16_t(0x278)}) {
        WriteReg(p, base, 19, 0x12);
        EXPECT_EQ(ReadReg(p, base, 19), 0xFF);
    }
    EXPECT_EQ(p.Register(19), 0);
}

TEST(SimCore, UnclaimedWritesAndBadLatchValuesAreViolations) {
    sim::RegisterPersonality(0x7E57, [](const sim::LogicImageHeader&) { return std::make_unique<Recorder>(); });
    sim::SimProgrammer p;
    sim::LogicImageHeader h;
    h.personality = 0x7E57;
    p.ConfigureDirect(h);
    WriteReg(p, 0x378, 3, 1); // the personality's
    WriteReg(p, 0x378, 17, 5); // the core's timer
    EXPECT_TRUE(p.Violations().empty());
    WriteReg(p, 0x378, 9, 1);
    EXPECT_EQ(p.Violations().size(), 1u);
    WriteReg(p, 0x378, 15, 0x80);
    WriteReg(p, 0x378, 20, 0x1F);
    EXPECT_EQ(p.Violations().size(), 2u);
}

TEST(SimCore, TimerRunsOnVirtualTimeAndAPollJumpsToItsEnd) {
    sim::SimProgrammer p;
    p.ConfigureDirect({});
    WriteReg(p, 0x378, 19, 79); // prescale 8 x 10
    WriteReg(p, 0x378, 16, 100); // 1 ms tick
    const uint64_t t0 = p.NowUs();
    WriteReg(p, 0x378, 17, 20);
    EXPECT_TRUE(p.TimerRunning());
    // A register read during the wait does not end it.
    ReadReg(p, 0x378, 19);
    EXPECT_TRUE(p.TimerRunning());
    EXPECT_EQ(p.In(0x379) & 0x80, 0x80);
    EXPECT_GE(p.NowUs() - t0, 20000u);
    EXPECT_FALSE(p.TimerRunning());
}

TEST(SimCore, StoppedProgrammerNeverReportsTheTimerDone) {
    sim::SimProgrammer p;
    p.ConfigureDirect({});
    p.StopAnswering(true);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(p.In(0x379) & 0x80, 0);
}

} // namespace
