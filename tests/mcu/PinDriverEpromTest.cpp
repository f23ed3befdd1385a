// Row 101 against the catalog's 87C54 and 87C58: the sdcc sample program
// through every step and back out to a file, Secure judged by the engine's
// read-back, the retry bound and the faults, and the EA/VPP ramp per pulse.
// Rows 190 and 191 against their parts: whole runs from an srec_cat file,
// the over-program pulse, the programming voltage on pin 40 and row 191's
// security bit.
#include <cstdlib>
#include <fstream>

#include "McuFixture.h"

#include "sim/SecurityEpromChip.h"

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

// Spans of a voltage above 10 V on one socket pin: level and length.
class Pin19xVoltageSpans : public sim::ChipModel {
  public:
    explicit Pin19xVoltageSpans(int pin) : pin_(pin) {}
    std::string Name() const override { return "voltage spans"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void SuppliesChanged(const sim::PinEnvironment& env) override {
        const int v = env.VoltageTenths(pin_);
        if (v >= 100 && !on_) {
            on_ = true;
            since_ = env.NowUs();
            level_ = v;
        } else if (v < 100 && on_) {
            on_ = false;
            spans.emplace_back(level_, env.NowUs() - since_);
        }
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }
    std::vector<std::pair<int, uint64_t>> spans;

  private:
    int pin_;
    bool on_ = false;
    uint64_t since_ = 0;
    int level_ = 0;
    std::vector<int> pins_ = sim::DipSocketPins(48);
};

class Pin19xRun : public McuRun {
  protected:
    // Selects the device and seats its catalog part.
    template <class Chip> Chip* Put19x(const char* name) {
        ClearSocket();
        EXPECT_TRUE(Select("GENERIC-ALGORITHM", name)) << name;
        const sim::CatalogPart* part = sim::FindPart("GENERIC-ALGORITHM", name);
        EXPECT_NE(part, nullptr) << name;
        if (part == nullptr) return nullptr;
        std::unique_ptr<sim::CatalogChip> made = sim::MakeChip(*part);
        auto* chip = sim::SeatedModel<Chip>(made.get());
        EXPECT_NE(chip, nullptr) << name;
        if (chip == nullptr) return nullptr;
        made.release();
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::unique_ptr<Chip>(chip));
    }
    static uint32_t Pulses19xAt(const sim::EpromChip& chip, uint32_t a) {
        uint32_t n = 0;
        for (const sim::PulseRecord& p : chip.Pulses())
            n += !p.erase && p.address == a ? 1 : 0;
        return n;
    }
};

class Pin19xParts : public Pin19xRun, public ::testing::WithParamInterface<const char*> {};

// Blank check, program from an Intel hex file written by srec_cat, verify at
// both levels, read back, and a blank check that now fails.
TEST_P(Pin19xParts, WholeRunFromAToolsFile) {
    sim::EpromChip* chip = Put19x<sim::EpromChip>(GetParam());
    ASSERT_NE(chip, nullptr);
    const uint32_t n = 0x2000;
    std::vector<uint8_t> image(n);
    uint32_t x = 0x2545F491u;
    for (uint8_t& b : image) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    { std::ofstream("pin19x.bin", std::ios::binary).write(reinterpret_cast<const char*>(image.data()), n); }
    if (std::system("srec_cat pin19x.bin -binary -o pin19x.hex -intel >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "srec_cat not installed";
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    ASSERT_EQ(LoadHexFamilyFile("pin19x.hex", 0, 0), 1);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!"))
        << LogText();
    for (uint32_t a = 0; a < n; ++a)
        ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
    FillBufferRange(0, n - 1, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a)
        ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, Pin19xParts, ::testing::Values("EPOEVPP-8K", "EPSECURE-8K"),
                         [](const auto& info) { return std::string(info.param).substr(0, 7); });

// At most Retry - 1 pulses, none after a miss; a cell that matches after
// pulse n gets exactly one more; FFh none.
TEST_F(Pin19xRun, OverProgramPulse) {
    for (const char* name : {"EPOEVPP-8K", "EPSECURE-8K"}) {
        SCOPED_TRACE(name);
        for (int fault : {1, 2}) {
            sim::EpromChip* chip = Put19x<sim::EpromChip>(name);
            ASSERT_NE(chip, nullptr);
            if (fault == 1) chip->StickCell(0x21);
            if (fault == 2) chip->SetPulsesNeeded(0x21, 3);
            FillBufferRange(0, 0xFFFF, 0xFF);
            BufferWindow[0x20] = 0x11;
            BufferWindow[0x21] = 0x3C;
            DeviceEnd = 0x3F;
            BlankCheckBeforeProgram = 0;
            EXPECT_EQ(Run(OpProgram), fault == 1 ? ResultFailed : ResultOk) << LogText();
            EXPECT_EQ(Pulses19xAt(*chip, 0x21), fault == 1 ? 24u : 4u);
            EXPECT_EQ(Pulses19xAt(*chip, 0x20), 2u);
            EXPECT_EQ(Pulses19xAt(*chip, 0x22), 0u);
            if (fault == 1) {
                EXPECT_TRUE(HasLine(ChipAddrLine(0x21))) << LogText();
            }
            ExpectNoViolations();
        }
    }
}

// Row 190 switches Vpp onto pin 40 for each pulse, row 191 once for the
// whole Program; neither while reading.
TEST_F(Pin19xRun, ProgrammingVoltageOnPin40) {
    for (const char* name : {"EPOEVPP-8K", "EPSECURE-8K"}) {
        SCOPED_TRACE(name);
        const bool perPulse = std::string(name) == "EPOEVPP-8K";
        Put19x<sim::EpromChip>(name);
        auto* watch = socket->Insert(std::make_unique<Pin19xVoltageSpans>(40));
        DeviceEnd = 0xF;
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        EXPECT_TRUE(watch->spans.empty());
        FillBufferRange(0, 0xFFFF, 0xFF);
        BufferWindow[0x3] = 0x00;
        BufferWindow[0x9] = 0x0F;
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        ASSERT_EQ(watch->spans.size(), perPulse ? 4u : 1u);
        for (const auto& [level, us] : watch->spans) {
            EXPECT_EQ(level, static_cast<int>(Vpp / 10));
            EXPECT_GE(us, PulseWidth);
        }
        if (perPulse) {
            for (const auto& span : watch->spans)
                EXPECT_LT(span.second, PulseWidth + 2000);
        }
        ExpectNoViolations();
    }
}

// Secure sets the bit and its test confirms it; a secured part refuses every
// entry before any address; a write that does not take returns -1.
TEST_F(Pin19xRun, Row191SecurityBit) {
    sim::SecurityEpromChip* chip = Put19x<sim::SecurityEpromChip>("EPSECURE-8K");
    ASSERT_NE(chip, nullptr);
    auto* test = socket->Insert(std::make_unique<Pin19xVoltageSpans>(16));
    chip->SetCell(0x10, 0x12);
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Security ok!")) << LogText();
    EXPECT_TRUE(chip->Secured());
    EXPECT_EQ(chip->SecurityWrites(), 1u);
    // Power-up test, the write, the test after it.
    ASSERT_EQ(test->spans.size(), 3u);
    EXPECT_GE(test->spans[1].second, 1000u);
    DeviceEnd = 0xFF;
    FillBufferRange(0, 0xFF, 0x12);
    for (int op : {OpRead, OpBlankCheck, OpVerify, OpProgram, OpSecurity}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(Run(op), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine(" Device Secured!")) << LogText();
        const auto log = Log();
        EXPECT_EQ(std::count(log.begin(), log.end(), std::string(" Device Secured!")), 1) << LogText();
    }
    EXPECT_EQ(chip->Cell(0x11), 0xFF);

    chip = Put19x<sim::SecurityEpromChip>("EPSECURE-8K");
    chip->RefuseSecurity();
    EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine("Security error!")) << LogText();
    EXPECT_FALSE(HasLine(" Device Secured!")) << LogText();
    EXPECT_FALSE(chip->Secured());
    ExpectNoViolations();
}

// A user break ends a row-190 blank check with its line.
TEST_F(Pin19xRun, UserBreak) {
    Put19x<sim::EpromChip>("EPOEVPP-8K");
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpBlankCheck), 3) << LogText();
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    ExpectNoViolations();
}

} // namespace
