// Row 126 through the operation driver against the simulator's command-latch
// parts: the sample program, erase until blank, the lock levels and a locked
// chip, the programming-voltage byte, injected faults and the row's examples.
#include <algorithm>

#include "Rx51Fixture.h"

#include "engine/AlgorithmTable.h"
#include "engine/Operation.h"
#include "mcu/LockGuarded8051.h"
#include "sim/CmdLatch51Chip.h"
#include "sim/ModeLine51Chip.h"

namespace {

constexpr uint32_t kLatchSample = 0x400;

class LatchRun : public Flash51Run {
protected:
    void SetUp() override {
        Flash51Run::SetUp();
        ResetLockGuarded8051State();
    }
    sim::CmdLatch51Chip* PutLatch(const char* name, void (*change)(sim::CmdLatch51Facts&) = nullptr) {
        return PutPart<sim::CmdLatch51Chip>("GENERIC-ALGORITHM", name, change);
    }
    sim::ModeLine51Chip* PutModeLine(const char* name, void (*change)(sim::ModeLine51Facts&) = nullptr) {
        return PutPart<sim::ModeLine51Chip>("GENERIC-ALGORITHM", name, change);
    }
};

class LatchParts : public LatchRun, public ::testing::WithParamInterface<const char*> {};

TEST_P(LatchParts, SampleProgramEraseAndLockLevels) {
    sim::CmdLatch51Chip* chip = PutLatch(GetParam());
    ASSERT_NE(chip, nullptr);
    DeviceEnd = kLatchSample - 1;
    const std::vector<uint8_t> image = LoadSample(kLatchSample);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    FillBufferRange(0, kLatchSample - 1, 0);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < kLatchSample; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    for (uint32_t a = 0; a < kLatchSample; ++a) ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;

    for (int level = 0; level < 3; ++level) {
        SCOPED_TRACE(level);
        LockBitLevel = level;
        chip->ClearCounts();
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        EXPECT_EQ(chip->LockBits(), (0x0E >> (2 - level)) & 0x0E);
        for (uint8_t c : {uint8_t{0x60}, uint8_t{0x70}, uint8_t{0x80}})
            EXPECT_EQ(chip->PulsesOf(c), c <= 0x60 + 0x10 * level ? 10u : 0u) << int(c);
        for (int op : {OpProgram, OpRead, OpSecurity}) {
            EXPECT_EQ(Run(op), ResultFailed) << op;
            EXPECT_TRUE(HasLine(kLockLines[level])) << LogText();
        }
        // Erase works on the locked chip and clears the lock bits.
        EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
        EXPECT_TRUE(HasLine(" Program all ok!")) << LogText();
        EXPECT_EQ(chip->LockBits(), 0);
        EXPECT_EQ(chip->Cell(0), 0xFF);
        FillBufferRange(0, kLatchSample - 1, 0x3C);
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, LatchParts,
                         ::testing::Values("8051CL-12V", "8051CL-5V", "8051CL-12V-44"), Flash51ParamName);

// A cell that never programs (ten attempts), an erase that never completes
// (the fiftieth pulse fails), a cell needing three verify pulses, a wrong identity,
// a user break, a programming-voltage byte of neither kind.
TEST_F(LatchRun, FaultsOfRow126) {
    sim::CmdLatch51Chip* chip = PutLatch("8051CL-12V");
    ExpectStuckCellFails(chip, 10);

    chip = PutLatch("8051CL-12V");
    chip->SetErasePulsesNeeded(0);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpErase), ResultFailed) << LogText();
    EXPECT_EQ(chip->PulsesOf(0x20), 1u + 50u); // the first erase, then fifty in the verify

    chip = PutLatch("8051CL-12V");
    // The erase before pre-programming, then three in the verify pass: one
    // at address 0 and two more where the cell stays 00h.
    chip->SetCellErasesNeeded(0x11, 4);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Cell(0x11), 0xFF);
    EXPECT_EQ(chip->PulsesOf(0x20), 4u);

    // A secured chip whose lock bits clear at the third erase: the lock
    // clearing goes on up to five erases, so the pre-programming finds the
    // chip open.
    chip = PutLatch("8051CL-12V");
    chip->SetLockBits(0x0E);
    chip->SetErasePulsesNeeded(3);
    chip->SetCell(0x07, 0x00);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->LockBits(), 0);
    for (uint32_t a = 0; a <= 0x3F; ++a) ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;
    EXPECT_EQ(chip->PulsesAt(0x07), 1u); // pre-programmed once the locks were gone

    // Locks still set after the fifth erase: the pre-programming fails.
    chip = PutLatch("8051CL-12V");
    chip->SetLockBits(0x02);
    chip->SetErasePulsesNeeded(6);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpErase), ResultFailed) << LogText();
    EXPECT_EQ(chip->PulsesOf(0x20), 5u);
    EXPECT_EQ(chip->LockBits(), 0x02);

    // A secured chip's Verify ends at the secured line: no chip line with a
    // datum the part never gave, no supply level after it.
    chip = PutLatch("8051CL-12V");
    chip->SetLockBits(0x06);
    FillPattern(0x40);
    ui.Clear();
    EXPECT_EQ(Run(OpVerify), ResultFailed);
    EXPECT_TRUE(HasLine(" Device secured!(Lock Bits 1,2)")) << LogText();
    for (const std::string& line : ui.Log)
        EXPECT_TRUE(line.find("addr:") == std::string::npos && line.find(" VCC") == std::string::npos) << LogText();

    PutLatch("8051CL-12V", [](sim::CmdLatch51Facts& f) { f.deviceCode = 0x99; });
    ExpectWrongIdentityRefused();

    PutLatch("8051CL-12V");
    ExpectUserBreak();

    // Byte 0032h reading 5Ah: Identify still reads the identity, every other
    // entry fails without a line of its own.
    chip = PutLatch("8051CL-12V", [](sim::CmdLatch51Facts& f) { f.voltageByte = 0x5A; });
    EXPECT_EQ(AlgorithmTable[126].Identify(), 1);
    EXPECT_EQ(ChipDeviceId, 0x32u);
    const size_t before = ui.Log.size();
    for (int r : {AlgorithmTable[126].Read(2), AlgorithmTable[126].Program(), AlgorithmTable[126].Erase(),
                  AlgorithmTable[126].Secure()})
        EXPECT_EQ(r, -1);
    EXPECT_EQ(ui.Log.size(), before) << LogText();
    EXPECT_EQ(chip->PulsesOf(0x20) + chip->PulsesOf(0x40), 0u);
    ExpectNoViolations();
}

// Each lock bit a level writes, refused alone while the others take, fails
// Secure with "Security error!".
TEST_F(LatchRun, Row126SecureFailsWhenALockBitItWroteDoesNotTake) {
    for (int level = 0; level < 3; ++level) {
        for (int refused = 1; refused <= level + 1; ++refused) {
            SCOPED_TRACE(testing::Message() << "level " << level << " refused " << refused);
            sim::CmdLatch51Chip* chip = PutLatch("8051CL-5V");
            ASSERT_NE(chip, nullptr);
            chip->RefuseLock(refused);
            LockBitLevel = level;
            const size_t from = ui.Log.size();
            EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
            EXPECT_NE(std::find(ui.Log.begin() + static_cast<std::ptrdiff_t>(from), ui.Log.end(), "Security error!"),
                      ui.Log.end())
                << LogText();
            const auto written = static_cast<uint8_t>((0x0E >> (2 - level)) & 0x0E);
            EXPECT_EQ(chip->LockBits(), written & ~(1u << refused));
        }
    }
    ExpectNoViolations();
}

// Blank check reads with A0h, read and verify with 00h; the 55h part gets no
// pulse at the programming voltage, the AAh part every one; a range from
// 1234h drives its high address lines at once.
TEST_F(LatchRun, Row126CommandsVoltagesAndOffBoundaryStart) {
    sim::CmdLatch51Chip* chip = PutLatch("8051CL-5V");
    DeviceEnd = 0x0F;
    chip->ClearCounts();
    EXPECT_EQ(AlgorithmTable[126].Read(0), 1);
    EXPECT_EQ(std::count(chip->Commands().begin(), chip->Commands().end(), 0xA0), 16);
    EXPECT_EQ(std::count(chip->Commands().begin(), chip->Commands().end(), 0x00), 0);
    chip->ClearCounts();
    EXPECT_EQ(AlgorithmTable[126].Read(2), 1);
    EXPECT_EQ(std::count(chip->Commands().begin(), chip->Commands().end(), 0x00), 16);
    FillPattern(0x10);
    BufferIndex = 0;
    chip->ClearCounts();
    EXPECT_EQ(AlgorithmTable[126].Program(), 1);
    EXPECT_GT(chip->PulsesOf(0x40), 0u);
    EXPECT_EQ(chip->VppPulses(), 0u);

    chip = PutLatch("8051CL-12V");
    DeviceEnd = 0x0F;
    FillPattern(0x10);
    EXPECT_EQ(AlgorithmTable[126].Program(), 1);
    EXPECT_EQ(AlgorithmTable[126].Erase(), 1);
    EXPECT_EQ(chip->VppPulses(), chip->PulsesOf(0x40) + chip->PulsesOf(0x20));
    EXPECT_GT(chip->PulsesOf(0x20), 0u);

    chip = PutLatch("8051CL-12V");
    FillPattern(0x1300, 5);
    DeviceStart = BufferStart = 0x1234;
    DeviceEnd = 0x12FF;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0x1234; a <= 0x12FF; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    for (uint32_t a = 0; a < 0x1234; ++a) ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;

    PackageIndex = 27; // 42-pin DIP
    StartTrace();
    EXPECT_EQ(AlgorithmTable[126].Program(), -1);
    EXPECT_TRUE(HasLine(" Package of 42 pins not supported (40 or 44 pins).")) << LogText();
    ExpectNoPowerUp();
    ExpectNoViolations();
}

// Row 199: the sample program, the lock levels by their modes (7, 6, 4), a
// locked chip refused, and its erase: three blind pulses per byte, all three
// lock bits, then erase pulses at VCC 6.2 V and a margin verify at 12.5 V.
class ModeLineParts : public LatchRun, public ::testing::WithParamInterface<const char*> {};

TEST_P(ModeLineParts, SampleProgramLockLevelsAndLockedErase) {
    sim::ModeLine51Chip* chip = PutModeLine(GetParam());
    ASSERT_NE(chip, nullptr);
    DeviceEnd = kLatchSample - 1;
    const std::vector<uint8_t> image = LoadSample(kLatchSample);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    FillBufferRange(0, kLatchSample - 1, 0);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < kLatchSample; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;

    const uint32_t modes[3] = {7, 6, 4};
    for (int level = 0; level < 3; ++level) {
        SCOPED_TRACE(level);
        LockBitLevel = level;
        chip->ClearCounts();
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        for (int i = 0; i < 3; ++i) EXPECT_EQ(chip->PulsesOf(modes[i]), i <= level ? 1u : 0u) << i;
        EXPECT_EQ(chip->LockBits(), (0x0E >> (2 - level)) & 0x0E);
        // Refused at the secured line, with no chip line or supply level after.
        for (int op : {OpProgram, OpRead, OpBlankCheck, OpVerify}) {
            ui.Clear();
            EXPECT_EQ(Run(op), ResultFailed) << op;
            EXPECT_TRUE(HasLine(kLockLines[level])) << LogText();
            for (const std::string& line : ui.Log)
                EXPECT_TRUE(line.find("addr:") == std::string::npos && line.find(" VCC") == std::string::npos)
                    << LogText();
        }
        chip->ClearCounts();
        EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
        EXPECT_TRUE(HasLine(" Program all ok!")) << LogText();
        EXPECT_EQ(chip->PulsesOf(0), 3u * kLatchSample); // blind, under the signature mode
        for (uint32_t m : modes) EXPECT_EQ(chip->PulsesOf(m), 1u) << m;
        ASSERT_EQ(chip->EraseVoltages().size(), 1u);
        // VCC 6.2 V and EA/VPP 12.0 V within the DAC's step.
        EXPECT_NEAR(chip->EraseVoltages()[0].first, 62, 1);
        EXPECT_NEAR(chip->EraseVoltages()[0].second, 120, 1);
        EXPECT_GT(chip->MarginReads(), 0u);
        EXPECT_EQ(chip->LockBits(), 0);
        EXPECT_EQ(chip->Cell(0), 0xFF);
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        FillBufferRange(0, kLatchSample - 1, 0x5A);
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, ModeLineParts,
                         ::testing::Values("8051ML-44-16K", "8051ML-44-32K"), Flash51ParamName);

// Twenty attempts per cell; lock bits that never clear end the erase after
// thirty pulses; a cell needing three erases is pulsed again after each
// failing verify pass; a wrong identity and a user break.
TEST_F(LatchRun, FaultsOfRow199) {
    sim::ModeLine51Chip* chip = PutModeLine("8051ML-44-16K");
    ExpectStuckCellFails(chip, 20);

    chip = PutModeLine("8051ML-44-16K");
    chip->SetErasePulsesNeeded(0);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpErase), ResultFailed) << LogText();
    EXPECT_EQ(chip->EraseVoltages().size(), 30u);

    chip = PutModeLine("8051ML-44-16K");
    chip->SetCellErasesNeeded(0x3E, 3);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->EraseVoltages().size(), 3u);
    EXPECT_EQ(chip->Cell(0x3E), 0xFF);

    // Thirty failing verify passes fail the erase.
    chip = PutModeLine("8051ML-44-16K");
    chip->SetCellErasesNeeded(0x3E, 40);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpErase), ResultFailed) << LogText();
    EXPECT_EQ(chip->EraseVoltages().size(), 31u);

    PutModeLine("8051ML-44-16K", [](sim::ModeLine51Facts& f) { f.deviceCode = 0x99; });
    ExpectWrongIdentityRefused();

    PutModeLine("8051ML-44-32K");
    ExpectUserBreak();

    chip = PutModeLine("8051ML-44-32K");
    FillPattern(0x1300, 9);
    DeviceStart = BufferStart = 0x1234;
    DeviceEnd = 0x12FF;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x1234; ++a) ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;
    ExpectNoViolations();
}

// A split mode steps the buffer by 2: the index passes FFFFh inside the
// range, and rows 126 and 199 go on in the next bank, programming and reading
// the bytes found there.
TEST_F(LatchRun, SplitModeCrossesIntoTheNextBank) {
    for (const char* name : {"8051CL-12V", "8051ML-44-32K"}) {
        SCOPED_TRACE(name);
        sim::CatalogChip* chip = std::string(name) == "8051CL-12V"
                                ? static_cast<sim::CatalogChip*>(PutLatch(name))
                                : static_cast<sim::CatalogChip*>(PutModeLine(name));
        FillPattern(0x10020, 11);
        std::vector<uint8_t> expected;
        for (uint32_t k = 0; k < 16; ++k) expected.push_back(BufferByte(0xFFF0 + 2 * k));
        DeviceStart = 0x7FF0;
        DeviceEnd = 0x7FFF;
        AddressStep = 2;
        BufferIndex = 0xFFF0;
        SelectBank(0, 0);
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Program(), 1);
        for (uint32_t k = 0; k < 16; ++k) EXPECT_EQ(chip->Cell(0x7FF0 + k), expected[k]) << k;
        FillBufferRange(0, 0x1001F, 0);
        BufferIndex = 0xFFF0;
        SelectBank(0, 0);
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Read(2), 1);
        for (uint32_t k = 0; k < 16; ++k) EXPECT_EQ(BufferByte(0xFFF0 + 2 * k), expected[k]) << k;
        AddressStep = 1;
    }
    ExpectNoViolations();
}

} // namespace
