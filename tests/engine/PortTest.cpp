// The register protocol, the programmer timer and the delay slots, checked
// against the simulated programmer's port and register traces.
#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>
#include <vector>

#include "engine/Port.h"
#include "engine/Power.h"
#include "platform/PortIo.h"
#include "platform/Tone.h"
#include "sim/SimProgrammer.h"

namespace {

// A personality that accepts every register, for protocol-level tests.
class AcceptAll : public sim::SimPersonality {
public:
    uint16_t Id() const override { return 0xFFFF; }
    bool OnWrite(sim::SimProgrammer&, uint8_t, uint8_t) override { return true; }
};

// A port whose status reads follow a script; records every output.
class ScriptedPort : public PortIo {
public:
    std::vector<std::pair<uint16_t, uint8_t>> outs;
    std::vector<uint8_t> statusScript;
    size_t next = 0;
    void Out(uint16_t port, uint8_t v) override { outs.emplace_back(port, v); }
    uint8_t In(uint16_t) override { return next < statusScript.size() ? statusScript[next++] : 0xFF; }
    const char* Name() const override { return "scripted"; }
};

class PortTest : public ::testing::Test {
protected:
    sim::SimProgrammer simp;
    void SetUp() override {
        ResetPortState();
        sim::RegisterPersonality(0xFFFF, [](const sim::LogicImageHeader&) {
            return std::make_unique<AcceptAll>();
        });
        sim::LogicImageHeader h;
        h.personality = 0xFFFF;
        simp.ConfigureDirect(h);
        InstallPortIoRef(&simp);
        InstallRealDelaySlots();
        ProgrammerConnected = 1;
    }
    void TearDown() override {
        InstallPortIoRef(nullptr);
        ResetPortState();
    }
    std::vector<std::pair<uint8_t, uint8_t>> Writes() const {
        std::vector<std::pair<uint8_t, uint8_t>> w;
        for (auto& a : simp.RegisterTrace()) {
            if (a.write) w.emplace_back(a.reg, a.value);
        }
        return w;
    }
};

using W = std::vector<std::pair<uint8_t, uint8_t>>;

// Writing 1A5h to register 17 (+32: high bits dropped) sends 51h, 2Ah, 05h;
// reads compose nibbles from status bits 3-6.
TEST_F(PortTest, ByteTracesAndReadCompositions) {
    using P = std::vector<std::pair<uint16_t, uint8_t>>;
    ScriptedPort port;
    InstallPortIoRef(&port);
    WriteRegister(17 + 32, 0x1A5);
    EXPECT_EQ(port.outs, (P{{0x378, 0x51}, {0x378, 0x2A}, {0x378, 0x05}}));
    port.statusScript = {0x78, 0x78};
    EXPECT_EQ(ReadRegister(3), 0xFF);
    port.statusScript = {0x08, 0x40};
    port.next = 0;
    port.outs.clear();
    EXPECT_EQ(ReadRegister(3), 0x18);
    ASSERT_EQ(port.outs.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>({port.outs[0].second, port.outs[1].second, port.outs[2].second}),
              (std::vector<uint8_t>{0x43, 0x30, 0x10}));
}

TEST_F(PortTest, EveryRegisterRoundTripsThroughTheSimulator) {
    for (uint32_t r = 0; r < 32; ++r) {
        const uint32_t v = (r * 37 + 11) & 0xFF;
        if (r == 15) continue; // bit 7 selects the latch bank
        WriteRegister(r, v);
        EXPECT_EQ(ReadRegister(r), v) << "register " << r;
    }
    WriteRegister(15, 0x01);
    EXPECT_EQ(ReadRegister(15), 0x01);
    EXPECT_TRUE(simp.Violations().empty());
}

TEST_F(PortTest, LatchBankBitsSetAndClearWithoutDisturbingTheControlRegister) {
    RegisterShadow[15] = 0x01;
    for (uint32_t r = 16; r < 32; ++r) {
        for (uint32_t bit = 0; bit < 8; ++bit) SetLatchBit(r, bit, (bit + r) & 1);
    }
    for (uint32_t r = 16; r < 32; ++r) {
        uint8_t expect = 0;
        for (uint32_t bit = 0; bit < 8; ++bit) {
            if ((bit + r) & 1) expect |= static_cast<uint8_t>(1u << bit);
        }
        EXPECT_EQ(simp.LatchBank(static_cast<uint8_t>(r)), expect) << "latch " << r;
    }
    EXPECT_EQ(simp.Register(15), 0x01);
    // Bank writes leave the ordinary registers 16-31 alone.
    EXPECT_EQ(simp.Register(17), 0);
}

TEST_F(PortTest, DelayCountsPickTheTimeBase) {
    simp.EnableTrace(true);
    const struct {
        void (*delay)(uint32_t);
        uint32_t arg;
        W writes;
    } cases[] = {
        {DelayMs, 254, {{19, 79}, {16, 100}, {17, 255}, {19, 7}, {16, 10}}},
        {DelayMs, 255, {{19, 79}, {16, 200}, {17, 128}, {19, 7}, {16, 10}}},
        {DelayMs, 0, {{19, 79}, {16, 100}, {17, 1}, {19, 7}, {16, 10}}},
        {DelayUs, 1000, {{17, 101}}},
        {DelayUs, 1001, {{19, 79}, {16, 100}, {17, 2}, {19, 7}, {16, 10}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        simp.ClearTrace();
        c.delay(c.arg);
        EXPECT_EQ(Writes(), c.writes);
    }
}

TEST_F(PortTest, WaitsLastAtLeastTheTimeAskedAtEveryPrescale) {
    for (uint32_t prescale : {0u, 1u, 2u}) {
        SCOPED_TRACE(prescale);
        // The control register takes the prescale at the reset of the
        // outputs, which also sets the resting time base.
        TimerPrescale = prescale;
        ResetProgrammerOutputs();
        for (uint32_t ms : {1u, 100u, 254u, 510u, 800u, 1000u, 2500u}) {
            const uint64_t t0 = simp.NowUs();
            DelayMs(ms);
            const uint64_t took = simp.NowUs() - t0;
            EXPECT_GE(took, ms * 1000ull) << ms << " ms";
            EXPECT_LE(took, ms * 1000ull + 10000) << ms << " ms";
        }
        for (uint32_t us : {10u, 500u, 2540u, 6000u}) {
            const uint64_t t0 = simp.NowUs();
            DelayShortUs(us);
            EXPECT_GE(simp.NowUs() - t0, us) << us << " us";
            EXPECT_LE(simp.NowUs() - t0, us + 100) << us << " us";
        }
        const uint64_t t0 = simp.NowUs();
        WaitSeconds(2);
        EXPECT_GE(simp.NowUs() - t0, 2000000u);
    }
}

TEST_F(PortTest, AbsentOrSilentProgrammerNeverHangsAndASilentOneMarksTheLinkLost) {
    // None at all: registers read all ones, and the timer-done bit with them.
    InstallPortIoRef(nullptr);
    EXPECT_EQ(ReadRegister(5), 0xFF);
    DelayMs(1000);
    EXPECT_EQ(ProgrammerConnected, 1);
    InstallPortIoRef(&simp);
    simp.StopAnswering(true);
    EXPECT_EQ(DelayMsSlot, &DelayMs);
    DelayMsSlot(10);
    EXPECT_EQ(ProgrammerConnected, -1);
    EXPECT_EQ(DelayMsSlot, &NoDelayMs);
    EXPECT_EQ(DelayShortUsSlot, &NoDelayShortUs);
    // A long wait after the loss returns at once.
    DelayMs(5000);
}

TEST_F(PortTest, BeepPlaysTheSpeakerPitchesAndPortDelayRuns) {
    std::vector<std::pair<int, int>> tones;
    SetToneSink([&](int hz, int ms) { tones.emplace_back(hz, ms); });
    Beep(1);
    Beep(0);
    Beep(-1);
    SetToneSink(nullptr);
    EXPECT_EQ(tones, (std::vector<std::pair<int, int>>{{1193, 100}, {119, 100}, {119, 100}}));
    // The port delay loop runs and returns; the loop itself is timed by the hardware.
    PortDelayCount = 1000;
    WriteRegister(4, 1);
    EXPECT_EQ(ReadRegister(4), 1);
}

std::unique_ptr<PortIo> MakeTestSim() { return std::make_unique<sim::SimProgrammer>(0x378); }

TEST(PortBackend, ChoiceFollowsTheEnvironment) {
    using K = PortBackendKind;
    for (auto [text, kind] : {std::pair{static_cast<const char*>(nullptr), K::Unset}, {"", K::Unset}, {"sim", K::Sim},
                              {"raw", K::Raw}, {"/dev/parport1", K::Ppdev}})
        EXPECT_EQ(ParsePortBackendChoice(text).kind, kind) << (text ? text : "unset");
    EXPECT_EQ(ParsePortBackendChoice("/dev/parport1").device, "/dev/parport1");
    for (auto [index, node] : {std::pair{1, "/dev/parport0"}, {3, "/dev/parport2"}, {0, ""}, {4, ""}})
        EXPECT_EQ(PpdevNodeForIndex(index), node) << index;
}

TEST(PortBackend, OpeningFollowsTheChosenBackend) {
    ResetPortState();
    RegisterSimPortFactory(MakeTestSim);
    setenv("PROGRAMMER_PORT", "sim", 1);
    EXPECT_EQ(OpenGiveioDriver(), 0);
    EXPECT_STREQ(CurrentPortIo().Name(), "sim");

    setenv("PROGRAMMER_PORT", "/dev/no-such-parport", 1);
    EXPECT_EQ(OpenGiveioDriver(), -1);

    // Not named: no node before the configuration names the port, and no
    // programmer is not a start-up failure.
    unsetenv("PROGRAMMER_PORT");
    PortIndex = 3;
    EXPECT_EQ(OpenGiveioDriver(), 0);
    EXPECT_STREQ(CurrentPortIo().Name(), "none");
    RegisterSimPortFactory(nullptr);
    setenv("PROGRAMMER_PORT", "sim", 1);
    EXPECT_EQ(OpenGiveioDriver(), -1);
    unsetenv("PROGRAMMER_PORT");
    InstallPortIoRef(nullptr);
    ResetPortState();
}

} // namespace
