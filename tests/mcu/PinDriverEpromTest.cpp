// Row 101 against the catalog's 87C54 and 87C58: the sdcc sample program
// through every step and back out to a file, Secure judged by the engine's
// read-back, the retry bound and the faults, and the EA/VPP ramp per pulse.
#include "McuFixture.h"

namespace {

// The voltage on EA/VPP (socket pin 35) each time it changes while VCC
// (socket pin 44) is up, and its level at each falling edge of ALE/PROG
// (socket pin 34).
class Otp101EaWatch : public sim::ChipModel {
  public:
    std::string Name() const override { return "EA/VPP watch"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void SuppliesChanged(const sim::PinEnvironment& env) override {
        const int v = env.VoltageTenths(35);
        if (env.VoltageTenths(44) >= 45 && (levels.empty() || levels.back() != v)) levels.push_back(v);
    }
    void Update(const sim::PinEnvironment& env) override {
        const bool low = env.InputLevel(34) == 0 && env.VoltageTenths(44) >= 45;
        if (low && !aleLow_) pulseLevels.push_back(env.VoltageTenths(35));
        aleLow_ = low;
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }
    std::vector<int> levels, pulseLevels;

  private:
    bool aleLow_ = false;
    std::vector<int> pins_ = sim::DipSocketPins(48);
};

class Otp101Parts : public McuRun, public ::testing::WithParamInterface<const char*> {};

// The sample program loads, programs, verifies, reads back and saves to a
// file that loads back equal; Secure then makes every cell read FFh.
TEST_P(Otp101Parts, SampleProgramSaveAndSecure) {
    sim::Mcu8051Chip* chip = Reseat("INTEL", GetParam());
    ASSERT_NE(chip, nullptr);
    const uint32_t n = 0x400;
    RunSampleProgram(*chip, n);
    std::vector<uint8_t> image(n);
    for (uint32_t a = 0; a < n; ++a)
        image[a] = BufferByte(a);
    ASSERT_EQ(SaveHexFamilyFile("row101.hex", 0, n - 1, HexFormatIntel), 1);
    FillBufferRange(0, n - 1, 0x00);
    ASSERT_EQ(LoadHexFamilyFile("row101.hex", 0, 0), 1);
    for (uint32_t a = 0; a < n; ++a)
        ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();

    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Security ok!")) << LogText();
    EXPECT_TRUE(chip->Locked(2));
    EXPECT_FALSE(chip->Locked(1));
    EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, Otp101Parts, ::testing::Values("87C54", "87C58"));

// Retry pulses at most, FFh none; a part needing three pulses takes three;
// Vpp below the window never programs; a range from 123h starts on its own
// high address lines.
TEST_F(McuRun, Row101RetryAndFaults) {
    struct Case {
        const char* what;
        int fault; // 1 stuck 21h, 2 21h needs three pulses
        uint32_t retry, vpp;
        int result;
        int pulsesAt21;
    };
    const Case cases[] = {
        {"stubborn cell", 1, 25, 1275, ResultFailed, 25},
        {"three pulses", 2, 25, 1275, ResultOk, 3},
        {"retry 3 on a part needing five", 0, 3, 1275, ResultFailed, 3},
        {"vpp below the window", 0, 25, 1150, ResultFailed, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Mcu8051Chip* chip = Reseat("INTEL", "87C54");
        ASSERT_NE(chip, nullptr);
        if (c.fault == 1) chip->StickCell(0x21);
        if (c.fault == 2) chip->SetPulsesNeeded(0x21, 3);
        FillBufferRange(0, 0xFFFF, 0xFF);
        BufferWindow[0x21] = 0x3C;
        BufferWindow[0x23] = 0x12;
        DeviceEnd = 0x3F;
        Retry = c.retry;
        Vpp = c.vpp;
        BlankCheckBeforeProgram = 0;
        EXPECT_EQ(Run(OpProgram), c.result) << LogText();
        EXPECT_EQ(chip->PulsesOn(0x21), c.pulsesAt21);
        EXPECT_EQ(chip->PulsesOn(0x22), 0);
        if (c.result == ResultOk) {
            EXPECT_EQ(chip->Cell(0x21), 0x3C);
            EXPECT_EQ(chip->Cell(0x23), 0x12);
        } else {
            EXPECT_TRUE(HasLine("Program error!")) << LogText();
            EXPECT_TRUE(HasLine(ChipAddrLine(0x21))) << LogText();
        }
        // The part reports the pulses outside its window.
        EXPECT_EQ(simp.Violations().empty(), c.vpp >= 1250);
        simp.ClearViolations();
    }

    sim::Mcu8051Chip* chip = Reseat("INTEL", "87C54");
    FillBufferRange(0, 0xFFFF, 0x5A);
    DeviceStart = BufferStart = 0x123;
    DeviceEnd = BufferEnd = 0x12F;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Cell(0x123), 0x5A);
    EXPECT_EQ(chip->Cell(0x23), 0xFF);
    ExpectNoViolations();
}

// A lock that does not take leaves the code readable: the engine's
// read-back fails the step. A user break ends a blank check.
TEST_F(McuRun, Row101SecurityErrorAndBreak) {
    sim::Mcu8051Chip* chip = Reseat("INTEL", "87C58");
    ASSERT_NE(chip, nullptr);
    chip->RefuseLocks();
    chip->SetCell(0x10, 0x12);
    EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine("Security error!")) << LogText();

    Reseat("INTEL", "87C58");
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpBlankCheck), 3) << LogText();
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    ExpectNoViolations();
}

// Each pulse: EA/VPP through Vpp - 1.0 V to Vpp and back to 5.0 V, the pulse
// at Vpp; register 12 is 1 while powered and 0 after.
TEST_F(McuRun, Row101PulseRampAndRegister12) {
    Reseat("INTEL", "87C54");
    auto* watch = socket->Insert(std::make_unique<Otp101EaWatch>());
    FillBufferRange(0, 0xFFFF, 0xFF);
    BufferWindow[0x5] = 0x00;
    DeviceEnd = 0xF;
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 0;
    StartTrace();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    // The part needs five pulses.
    EXPECT_EQ(watch->pulseLevels, std::vector<int>(5, 127));
    // Above 6 V EA/VPP shows Vpp - 1.0 V (to the DAC's step) then Vpp, per pulse.
    std::vector<int> ramp;
    for (int v : watch->levels) {
        if (v > 60) ramp.push_back(v);
    }
    ASSERT_EQ(ramp.size(), 10u);
    for (size_t i = 0; i < ramp.size(); i += 2) {
        EXPECT_NEAR(ramp[i], 117, 2);
        EXPECT_EQ(ramp[i + 1], 127);
    }
    std::vector<uint32_t> reg12;
    for (const auto& r : simp.RegisterTrace()) {
        if (r.write && r.reg == 12) reg12.push_back(r.value);
    }
    EXPECT_EQ(reg12, (std::vector<uint32_t>{1, 0}));
    ExpectNoViolations();
}

} // namespace
