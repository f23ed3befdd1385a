// The TAP controller fed from levels alone, as a register-driven part feeds it.
#include <gtest/gtest.h>

#include "sim/JtagDevice.h"

namespace {

struct Driver {
    sim::TapController& tap;
    uint64_t now = 0;
    // One TCK cycle; returns TDO as it was before the rising edge.
    bool Clock(bool tms, bool tdi) {
        const bool tdo = tap.TdoActive() && tap.Tdo();
        for (bool tck : {false, true, false}) tap.Sample(tck, tms, tdi, ++now);
        return tdo;
    }
    // Test-Logic-Reset, then Run-Test/Idle.
    void Reset() {
        for (int i = 0; i < 5; ++i) Clock(true, false);
        Clock(false, false);
    }
    // From an Exit1 state through Update to Run-Test/Idle.
    void Idle() {
        Clock(true, false);
        Clock(false, false);
    }
};

TEST(TapControllerTest, ReadsIdcodeAndKeepsTheScanRegisterFromLevels) {
    const sim::JtagDeviceConfig c{
        .irLength = 4, .idcode = 0x1234ABCDu, .idcodeInstruction = 0x1, .scanInstruction = 0x2, .scanLength = 3};
    sim::TapController tap(c);
    Driver d{tap};
    d.Reset();
    ASSERT_EQ(tap.State(), sim::TapState::RunTestIdle);

    // IDCODE after reset: select DR, capture, shift 32 bits out.
    for (bool tms : {true, false, false}) d.Clock(tms, false);
    uint32_t id = 0;
    for (int i = 0; i < 32; ++i) id |= static_cast<uint32_t>(d.Clock(i == 31, false)) << i;
    EXPECT_EQ(id, c.idcode);
    d.Idle();

    // Load the scan instruction, then shift 101 into the scan register.
    for (bool tms : {true, true, false, false}) d.Clock(tms, false);
    for (int i = 0; i < 4; ++i) d.Clock(i == 3, (0x2 >> i) & 1);
    d.Idle();
    EXPECT_EQ(tap.Instruction(), 0x2u);
    for (bool tms : {true, false, false}) d.Clock(tms, false);
    for (int i = 0; i < 3; ++i) d.Clock(i == 2, i != 1);
    d.Idle();
    EXPECT_EQ(tap.ScanRegister(), (std::vector<bool>{true, false, true}));
}

// A part's registers behind the controller: what it was told, and when.
struct TapControllerRecorder : sim::TapRegisters {
    uint32_t irCapture = 1;
    std::vector<std::pair<uint32_t, uint64_t>> irs, idles;
    std::vector<std::pair<uint32_t, uint32_t>> updates; // instruction, shifted
    std::vector<bool> last;
    uint32_t CaptureIr() override { return irCapture; }
    void UpdateIr(uint32_t i, uint64_t now) override { irs.emplace_back(i, now); }
    std::optional<std::vector<bool>> CaptureDr(uint32_t i) override {
        if (i == 3) return std::vector<bool>{true, false, true};
        return std::nullopt;
    }
    void UpdateDr(uint32_t i, const std::vector<bool>& bits, uint32_t shifted, uint64_t) override {
        updates.emplace_back(i, shifted);
        last = bits;
    }
    void Idle(uint32_t i, uint64_t us) override { idles.emplace_back(i, us); }
};

TEST(TapControllerTest, PartRegistersSeeInstructionsScansAndIdleTime) {
    sim::TapController tap(sim::JtagDeviceConfig{.irLength = 4});
    TapControllerRecorder r;
    r.irCapture = 0x5;
    tap.SetRegisters(&r);
    Driver d{tap};
    tap.PowerOn(true); // TCK high at power-on is no edge
    tap.Sample(true, true, false, 0);
    EXPECT_EQ(tap.TckCycles(), 0u);
    d.Reset();
    // Instruction 3; the capture shows the part's IR value.
    for (bool tms : {true, true, false, false}) d.Clock(tms, false);
    uint32_t captured = 0;
    for (int i = 0; i < 4; ++i) captured |= static_cast<uint32_t>(d.Clock(i == 3, (3 >> i) & 1)) << i;
    EXPECT_EQ(captured, 0x5u);
    d.Idle();
    ASSERT_EQ(r.irs.size(), 1u);
    EXPECT_EQ(r.irs[0].first, 3u);
    d.now += 1000; // the part's wait
    // A two-bit scan of a three-bit register: the part is told both.
    for (bool tms : {true, false, false}) d.Clock(tms, false);
    EXPECT_TRUE(d.Clock(false, false));
    EXPECT_FALSE(d.Clock(true, true));
    d.Idle();
    ASSERT_EQ(r.idles.size(), 2u); // after the reset, and after instruction 3
    EXPECT_EQ(r.idles[1].first, 3u);
    EXPECT_GE(r.idles[1].second, 1000u);
    ASSERT_EQ(r.updates.size(), 1u);
    EXPECT_EQ(r.updates[0], (std::pair<uint32_t, uint32_t>{3u, 2u}));
    EXPECT_EQ(r.last, (std::vector<bool>{true, false, true}));
}

} // namespace
