// The TAP controller fed from levels alone, as a register-driven part feeds it.
#include <gtest/gtest.h>

#include "sim/JtagDevice.h"

namespace {

struct Driver {
    sim::TapController& tap;
    // One TCK cycle; returns TDO as it was before the rising edge.
    bool Clock(bool tms, bool tdi) {
        const bool tdo = tap.TdoActive() && tap.Tdo();
        tap.Sample(false, tms, tdi);
        tap.Sample(true, tms, tdi);
        tap.Sample(false, tms, tdi);
        return tdo;
    }
};

TEST(TapControllerTest, ReadsIdcodeAndKeepsTheScanRegisterFromLevels) {
    sim::JtagDeviceConfig c;
    c.irLength = 4;
    c.idcode = 0x1234ABCDu;
    c.idcodeInstruction = 0x1;
    c.scanInstruction = 0x2;
    c.scanLength = 3;
    sim::TapController tap(c);
    Driver d{tap};
    for (int i = 0; i < 5; ++i) d.Clock(true, false);
    d.Clock(false, false);
    ASSERT_EQ(tap.State(), sim::TapState::RunTestIdle);

    // IDCODE after reset: select DR, capture, shift 32 bits out.
    d.Clock(true, false);
    d.Clock(false, false);
    d.Clock(false, false);
    uint32_t id = 0;
    for (int i = 0; i < 32; ++i) id |= static_cast<uint32_t>(d.Clock(i == 31, false)) << i;
    EXPECT_EQ(id, c.idcode);
    d.Clock(true, false);
    d.Clock(false, false);

    // Load the scan instruction, then shift 101 into the scan register.
    for (bool tms : {true, true, false, false}) d.Clock(tms, false);
    for (int i = 0; i < 4; ++i) d.Clock(i == 3, (0x2 >> i) & 1);
    d.Clock(true, false);
    d.Clock(false, false);
    EXPECT_EQ(tap.Instruction(), 0x2u);
    for (bool tms : {true, false, false}) d.Clock(tms, false);
    for (int i = 0; i < 3; ++i) d.Clock(i == 2, i != 1);
    d.Clock(true, false);
    d.Clock(false, false);
    EXPECT_EQ(tap.ScanRegister(), (std::vector<bool>{true, false, true}));
}

} // namespace
