// The socket power and voltage layer against the simulated programmer: DAC
// codes through the ID block's calibration, ramps, the per-pin switches, the
// supply range and the power-down of every output.
#include "tests/engine/PowerFixture.h"

namespace {

using PowerTest = PowerFixture;

TEST_F(PowerTest, DacCodes) {
    Trace();
    for (int tenths : {5, 32, 33}) SetDacVoltage(1, tenths); // 0.5 V is raised to 1.0 V
    EXPECT_EQ(Values(13), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(Values(18), (std::vector<int>{18, 40, Cal(1, 3) + 3}));
    EXPECT_TRUE(NearTenths(elec->DacMillivolts(1), 33));

    Trace();
    SetAllDacVoltages(5, 5, 5, 5); // calibrated at every value
    EXPECT_EQ(Values(13), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(Values(18), (std::vector<int>{Cal(1, 1), Cal(2, 1), Cal(3, 1), Cal(4, 1)}));

    // The channel select keeps the mode bits SetVccRange leaves in the shadow.
    SetVccRange(0, 50);
    Trace();
    SetDacVoltage(4, 125);
    EXPECT_EQ(Values(13), (std::vector<int>{0x0F}));
    EXPECT_TRUE(NearTenths(elec->DacMillivolts(4), 125));

    // From 26 V up the target holds at the tables' top and the code at 255.
    HardwareIdBlock[CalibrationIndex(2, 25)] = 250;
    Trace();
    for (auto [channel, tenths] : {std::pair{2, 259}, {2, 400}, {1, 1000}}) SetDacVoltage(channel, tenths);
    EXPECT_EQ(Values(18), (std::vector<int>{255, 255, std::min(Cal(1, 25) + 9, 255)}));

    // Channels outside 1-4 are ignored.
    Trace();
    SetDacVoltage(0, 50);
    SetDacVoltage(5, 50);
    RampVoltageUp(0, 0, 50, 1, 10);
    RampVoltageDown(9, 50, 0, 1, 10);
    ApplyVoltageToPin(5, 10, 1, 50);
    EXPECT_TRUE(Values(-1).empty());
}

TEST_F(PowerTest, Ramps) {
    Trace();
    RampVoltageUp(3, 0, 50, 3, 10);
    std::vector<int> want;
    for (int v = 0; v <= 48; v += 3) want.push_back(v < 10 ? 18 : v < 33 ? v + 8 : Cal(3, v / 10) + v % 10);
    want.push_back(Cal(3, 5)); // ends exactly on the target
    EXPECT_EQ(Values(18), want);
    EXPECT_EQ(Values(17), std::vector<int>(17, 2)); // one 10 us wait per step

    Trace();
    RampVoltageDown(4, 50, 0, 1, 0);
    EXPECT_TRUE(Values(17).empty());
    ASSERT_EQ(Values(18).size(), 52u);
    EXPECT_EQ(Values(18).back(), 18);

    // A step of 0 or less moves by 0.1 V instead of looping for ever.
    Trace();
    RampVoltageUp(1, 10, 20, 0, 0);
    RampVoltageDown(1, 20, 10, -5, 0);
    EXPECT_EQ(Values(18).size(), 24u);
}

TEST_F(PowerTest, EverySocketPinHasItsOwnSwitches) {
    using Kind = std::pair<void (*)(int, int), uint32_t>;
    for (const auto& [set, sw] : {Kind{SetSupplyPinA, sim::kSwitchSupplyA}, Kind{SetSupplyPinB, sim::kSwitchSupplyB},
                                  Kind{SetGroundPin, sim::kSwitchGround}}) {
        for (int p = 1; p <= 48; ++p) {
            set(p, 1);
            for (int q = 1; q <= 48; ++q)
                ASSERT_EQ(elec->Pin(q).switches, q == p ? sw : 0u) << p << " at " << q;
            set(p, 0);
            ASSERT_EQ(elec->Pin(p).switches, 0u) << p;
        }
    }
    Trace();
    SetGroundPin(25, 1);
    EXPECT_EQ(Values(-1), (std::vector<int>{0x0F81, 0x1B0D, 0x0F01}));
    SetGroundPin(48, 1);
    EXPECT_EQ(elec->Latch(27), 1 << 5);
    EXPECT_EQ(elec->Latch(22), 1 << 7);

    // Pins outside the socket (ball names, packages over 48 pins) touch nothing.
    Trace();
    for (int p : {0, -4, 49, 84})
        for (auto set : {SetSupplyPinA, SetSupplyPinB, SetGroundPin}) set(p, 1);
    EXPECT_TRUE(Values(-1).empty());
}

TEST_F(PowerTest, ApplyVoltageConnectsBeforeRaisingAndLowersBeforeReleasing) {
    SeatEverywhere(140);
    StartSources();
    Trace();
    ApplyVppToPin(11, 1, 125);
    EXPECT_EQ(Values(-1), (std::vector<int>{0x1A04, 0x0D00, 0x1200 | (Cal(1, 12) + 5)}));
    EXPECT_EQ(elec->Pin(11).source, sim::PinSource::SupplyA);
    EXPECT_TRUE(NearTenths(elec->Pin(11).millivolts, 125));
    Trace();
    ApplyVppToPin(11, 0, 50);
    EXPECT_EQ(Values(-1), (std::vector<int>{0x0D00, 0x1200 | Cal(1, 5), 0x1A00}));

    ApplyVppToPin(12, 1, 120); // even pins take channel 2
    EXPECT_TRUE(NearTenths(elec->DacMillivolts(2), 120));
    ApplyVoltageToPin(3, 13, 1, 50); // channels 3 and 4 switch supply B
    EXPECT_EQ(elec->Pin(13).source, sim::PinSource::SupplyB);
    EXPECT_EQ(Supplied(), (std::vector<int>{12, 13}));
    EXPECT_TRUE(simp.Violations().empty()) << Violations();
}

TEST_F(PowerTest, SupplyRange) {
    const struct { uint32_t gang, range, tenths; int bits, shadow13, latch28; } cases[] = {
        {0, 0, 33, 0x85, 0x0C, 0}, {0, 1, 25, 0x82, 0x04, 0}, {1, 0, 50, 0x80, 0x0C, 1 << 2}}; // gang: its supply path
    for (const auto& c : cases) {
        ResetProgrammerOutputs();
        GangAdapterState = c.gang;
        SetVccRange(c.range, c.tenths);
        EXPECT_EQ(std::make_tuple(elec->RangeBits(), int{RegisterShadow[13]}, int{elec->Latch(28)}),
                  std::make_tuple(c.bits, c.shadow13, c.latch28)) << c.tenths;
    }
    ResetProgrammerOutputs();
    GangAdapterState = 0;
    SetVccRange(0, 33);
    EXPECT_EQ(elec->Latch(29), 0x18);
}

TEST_F(PowerTest, ResetLeavesEveryOutputOff) {
    SeatEverywhere(300);
    SetVccRange(0, 33);
    SetAllDacVoltages(125, 120, 50, 10);
    DelayMs(100);
    for (int p = 1; p <= 48; p += 7) SetSupplyPinA(p, 1);
    SetSupplyPinB(2, 1);
    SetGroundPin(23, 1);
    SetLatchBit(28, 3, 1);
    SetLatchBit(29, 6, 1);
    ASSERT_FALSE(Supplied().empty());

    Trace();
    ResetProgrammerOutputs();
    for (int p = 1; p <= 48; ++p) EXPECT_EQ(elec->Pin(p).switches, 0u) << "pin " << p;
    for (int c = 1; c <= 4; ++c) EXPECT_EQ(elec->DacCode(c), 0) << "channel " << c;
    for (int r = 16; r <= 29; ++r) EXPECT_EQ(elec->Latch(r), 0) << "latch " << r;
    EXPECT_EQ(elec->RangeBits(), 0);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(RegisterShadow[i], i == 15 ? TimerPrescale : 0) << i;
    EXPECT_EQ(Values(13).back(), 8);
    EXPECT_EQ(Values(19).back(), 7); // resting time base
    EXPECT_EQ(simp.Register(15) & 0x80, 0);
    EXPECT_TRUE(simp.Violations().empty()) << Violations();
}

TEST_F(PowerTest, SeatingAndSmallHelpers) {
    // DIP48, DIP40, DIP28.
    for (auto [package, pin, zif] : {std::tuple{31u, 1, 1}, {21u, 1, 5}, {12u, 28, 38}}) {
        PackageIndex = package;
        EXPECT_EQ(MapDevicePinToZifPin(pin), zif) << package;
    }

    SetVccRange(0, 50);
    Trace();
    StrobeDac();
    WriteRegister3(0x1FE);
    EXPECT_EQ(Values(-1), (std::vector<int>{0x0D0C, 0x0D8C, 0x03FE}));
    EXPECT_EQ(elec->StrobeCount(), 1u);

    uint16_t w = 0x12AB;
    SwapBytes16(&w);
    EXPECT_EQ(w, 0xAB12);
    uint32_t d = 0xCAFE12AB;
    SwapBytes16(&d);
    EXPECT_EQ(d, 0xCAFEAB12u);
}

} // namespace
