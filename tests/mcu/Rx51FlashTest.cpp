// Row 192 through the operation driver against the simulator's 89C51Rx
// parts: the sample program, the status byte and boot vector, erase until
// blank, the security levels and a secured chip, the dialog's routines,
// injected faults and the row's examples.
#include "Rx51Fixture.h"

#include "engine/AlgorithmTable.h"
#include "engine/Operation.h"

namespace {

constexpr uint32_t kRxSample = 0x400;
constexpr uint8_t kRxSecurityBits[3] = {0x02, 0x06, 0x0E};

class Rx51Parts : public Rx51Run, public ::testing::WithParamInterface<const char*> {};

TEST_P(Rx51Parts, SampleProgramStatusBytesEraseAndSecurityLevels) {
    sim::Rx51FlashChip* chip = PutRx(GetParam());
    ASSERT_NE(chip, nullptr);
    chip->SetSpecialBytes(0x5A, 0x3C);
    DeviceEnd = kRxSample - 1;
    const std::vector<uint8_t> image = LoadSample(kRxSample);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    // Blank check and verify leave the settings and print no status lines.
    EXPECT_FALSE(HasLine(" Status Byte      : 5Ah")) << LogText();
    EXPECT_EQ(StatusByte192, 0);
    FillBufferRange(0, kRxSample - 1, 0);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < kRxSample; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    for (uint32_t a = 0; a < kRxSample; ++a) ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
    EXPECT_TRUE(HasLine(" Status Byte      : 5Ah")) << LogText();
    EXPECT_TRUE(HasLine(" Boot Vector Byte : 3Ch")) << LogText();
    EXPECT_EQ(StatusByte192, 0x5A);
    EXPECT_EQ(BootVector192, 0x3C);

    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" Program all ok!")) << LogText();
    EXPECT_EQ(chip->ErasePulses(1), 1u);
    for (uint32_t a = 0; a < kRxSample; ++a) ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;

    // Every level lands its bits; the secured chip is refused by Program,
    // Read, Erase, Blank check and Verify, each ending at its line (no chip
    // line, no supply level), and Initialize clears it.
    for (int level = 0; level < 3; ++level) {
        SCOPED_TRACE(level);
        SecurityLevel192 = level;
        FillBufferRange(0, kRxSample - 1, 0x12);
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        EXPECT_EQ(chip->SecurityBits(), kRxSecurityBits[level]);
        for (int op : {OpProgram, OpRead, OpErase, OpBlankCheck, OpVerify}) {
            ui.Clear();
            EXPECT_EQ(Run(op), ResultFailed) << op;
            EXPECT_TRUE(HasLine(kLockLines[level])) << LogText();
            for (const std::string& line : ui.Log)
                EXPECT_TRUE(line.find("addr:") == std::string::npos && line.find(" VCC") == std::string::npos)
                    << LogText();
        }
        PrepareDialog();
        EXPECT_EQ(InitializeDevice192(), 1);
        EXPECT_EQ(chip->SecurityBits(), 0);
        EXPECT_EQ(chip->Cell(0), 0xFF);
        EXPECT_EQ(chip->ErasePulses(0x0E), static_cast<uint32_t>(level + 1));
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, Rx51Parts,
                         ::testing::Values("P89C51RB2", "P89C51RC2", "P89C51RD2", "P89C51RD2-PLCC"),
                         Flash51ParamName);

// A cell that never programs, an erase that never completes, a cell that
// needs three erase pulses, a wrong identity, a user break.
TEST_F(Rx51Run, FaultsOfRow192) {
    sim::Rx51FlashChip* chip = PutRx("P89C51RC2");
    ExpectStuckCellFails(chip, 20);
    EXPECT_EQ(chip->PulsesAt(0x22), 0u);

    chip = PutRx("P89C51RC2");
    chip->SetErasePulsesNeeded(0);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpErase), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Program all ok!")) << LogText();
    EXPECT_EQ(chip->ErasePulses(1), 101u);

    // The dirty cell keeps its address until it reads FFh.
    chip = PutRx("P89C51RC2");
    chip->SetCellErasesNeeded(0x10, 3);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->ErasePulses(1), 3u);
    EXPECT_EQ(chip->Cell(0x10), 0xFF);

    // A pre-programming failure ends the entry before any erase pulse.
    chip = PutRx("P89C51RC2");
    chip->StickCell(0x05);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpErase), ResultFailed) << LogText();
    EXPECT_EQ(chip->ErasePulses(1), 0u);

    PutRx("P89C51RC2", [](sim::Rx51FlashFacts& f) { f.deviceCode = 0x99; });
    ExpectWrongIdentityRefused();

    PutRx("P89C51RC2");
    ExpectUserBreak();
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    ExpectNoViolations();
}

// A range off a 256-byte boundary drives the high address lines at its first
// address; a package of neither 40 nor 44 pins powers nothing.
TEST_F(Rx51Run, RangeOffBoundaryAndPackage) {
    sim::Rx51FlashChip* chip = PutRx("P89C51RD2");
    FillPattern(0x1300, 3);
    DeviceStart = BufferStart = 0x1234;
    DeviceEnd = 0x12FF;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0x1234; a <= 0x12FF; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    for (uint32_t a = 0; a < 0x1234; ++a) ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();

    PackageIndex = 27; // 42-pin DIP
    StartTrace();
    for (int op : {OpProgram, OpRead, OpErase, OpSecurity}) {
        ui.QueueAnswer(UiAnswer::Yes); // Identify could not read the chip
        EXPECT_EQ(Run(op), ResultFailed) << op;
        EXPECT_TRUE(HasLine(" Package of 42 pins not supported (40 or 44 pins).")) << LogText();
    }
    EXPECT_EQ(InitializeDevice192(), -1);
    ExpectNoPowerUp();
    ExpectNoViolations();
}

// Level 1 pulses at addresses 0 and 1 and reads 6; an all-FFh buffer programs
// nothing while Erase still pre-programs every byte; the erase pulse follows
// the variant.
TEST_F(Rx51Run, Row192Examples) {
    sim::Rx51FlashChip* chip = PutRx("P89C51RB2");
    SecurityLevel192 = 1;
    AlgorithmTable[192].Identify();
    EXPECT_EQ(AlgorithmTable[192].Secure(), 1);
    EXPECT_EQ(chip->SecurityPulseAddresses(), (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(chip->SecurityBits(), 0x06);
    // Security bits that do not land fail the entry.
    chip = PutRx("P89C51RB2");
    SecurityLevel192 = 0;
    chip->RefuseSecurity();
    EXPECT_EQ(AlgorithmTable[192].Secure(), -1);

    chip = PutRx("P89C51RB2");
    DeviceEnd = 0x3F;
    FillBufferRange(0, 0x3F, 0xFF);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->ProgramPulses(), 0u);
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->ProgramPulses(), 0x40u);

    chip = PutRx("P89C51RB2", [](sim::Rx51FlashFacts& f) { f.eraseMinUs = 400000; });
    DeviceVariant = 1; // 320 ms: too short for this part
    chip->SetCell(0, 0x00);
    DeviceEnd = 0;
    EXPECT_EQ(AlgorithmTable[192].Erase(), -1);
    EXPECT_EQ(EraseDuration192, 320000);
    EXPECT_FALSE(simp.Violations().empty());
}

// The dialog's routines: a read copies the chip's bytes into the settings,
// a program erases and writes both, a secured chip refuses it and still
// initializes.
TEST_F(Rx51Run, Row192DialogRoutines) {
    sim::Rx51FlashChip* chip = PutRx("P89C51RC2");
    chip->SetSpecialBytes(0x01, 0xFC);
    EXPECT_EQ(ReadStatusBytes192(), 1);
    EXPECT_EQ(StatusByte192, 0x01);
    EXPECT_EQ(BootVector192, 0xFC);
    EXPECT_TRUE(HasLine(" Boot Vector Byte : FCh")) << LogText();

    StatusByte192 = 0x00;
    BootVector192 = 0xF8;
    EXPECT_EQ(ProgramStatusBytes192(), 1);
    EXPECT_EQ(chip->ErasePulses(8), 1u);
    EXPECT_EQ(chip->StatusByte(), 0x00);
    EXPECT_EQ(chip->BootVector(), 0xF8);

    chip->SetSecurityBits(0x06);
    EXPECT_EQ(ReadStatusBytes192(), 1);
    EXPECT_EQ(ProgramStatusBytes192(), -1);
    EXPECT_TRUE(HasLine(" Device secured!(Lock Bits 1,2)")) << LogText();
    EXPECT_EQ(InitializeDevice192(), 1);
    EXPECT_EQ(chip->SecurityBits(), 0);
    EXPECT_EQ(chip->StatusByte(), 0xFF);
    ExpectNoViolations();
}

// The special bytes get up to twenty write-and-check attempts each: bytes
// that need three pulses land, a status byte that needs more than twenty
// fails the routine before the boot vector. The catalog's parts need the
// variant-0 erase pulse of 500 ms: the variant-1 pulse of 320 ms erases
// nothing and is a violation.
TEST_F(Rx51Run, Row192SpecialByteAttemptsAndErasePulse) {
    sim::Rx51FlashChip* chip = PutRx("P89C51RD2");
    chip->SetSpecialPulsesNeeded(3);
    StatusByte192 = 0x00;
    BootVector192 = 0xFC;
    EXPECT_EQ(ProgramStatusBytes192(), 1);
    EXPECT_EQ(chip->StatusByte(), 0x00);
    EXPECT_EQ(chip->BootVector(), 0xFC);
    EXPECT_EQ(chip->SpecialPulses(), 6u);

    chip = PutRx("P89C51RD2");
    chip->SetSpecialPulsesNeeded(21);
    EXPECT_EQ(ProgramStatusBytes192(), -1);
    EXPECT_EQ(chip->StatusByte(), 0xFF);
    EXPECT_EQ(chip->SpecialPulses(), 20u);
    ExpectNoViolations();

    for (const char* name : {"P89C51RB2", "P89C51RC2", "P89C51RD2", "P89C51RD2-PLCC"}) {
        SCOPED_TRACE(name);
        chip = PutRx(name);
        chip->SetCell(0x10, 0x00);
        DeviceEnd = 0x3F;
        EXPECT_EQ(AlgorithmTable[192].Erase(), 1);
        EXPECT_EQ(EraseDuration192, 500000);
        EXPECT_EQ(chip->Cell(0x10), 0xFF);
        ExpectNoViolations();

        chip = PutRx(name);
        chip->SetCell(0x10, 0x00);
        DeviceVariant = 1;
        DeviceEnd = 0x3F;
        EXPECT_EQ(AlgorithmTable[192].Erase(), -1);
        EXPECT_EQ(chip->Cell(0x10), 0x00);
        EXPECT_FALSE(simp.Violations().empty());
        simp.ClearViolations();
    }
}

// Row 188 gives each special byte five attempts.
TEST_F(Rx51Run, Row188SpecialByteAttempts) {
    sim::Rx51FlashChip* chip = PutRx("XA-G49");
    chip->SetSpecialPulsesNeeded(4);
    StatusByte188 = 0x01;
    BpcByte188 = 0x20;
    BpswByte188 = 0xF0;
    EXPECT_EQ(ProgramStatusBytes188(), 1);
    EXPECT_EQ(chip->StatusByte(), 0x01);
    EXPECT_EQ(chip->Bpc(), 0x20);
    EXPECT_EQ(chip->Bpsw(), 0xF0);

    chip = PutRx("XA-G49");
    chip->SetSpecialPulsesNeeded(6);
    EXPECT_EQ(ProgramStatusBytes188(), -1);
    EXPECT_EQ(chip->SpecialPulses(), 5u);
    EXPECT_EQ(chip->Bpsw(), 0xFF);
    ExpectNoViolations();
}

} // namespace

namespace {

constexpr uint32_t kXaSpaceSecurity[3] = {0x0A, 0x0C, 0x0E};

// Row 188 on the XA part: the sample program, BPC, BPSW and the status byte
// in a full read, erase with both pulses, every level with its line, and the
// unlock cycles before each writing sequence.
TEST_F(Rx51Run, Row188SampleProgramSpecialBytesEraseAndLevels) {
    sim::Rx51FlashChip* chip = PutRx("XA-G49");
    ASSERT_NE(chip, nullptr);
    chip->SetSpecialBytes(0x01, 0x12, 0x34);
    DeviceEnd = kRxSample - 1;
    const std::vector<uint8_t> image = LoadSample(kRxSample);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(chip->UnlockCycles(), 0u);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->UnlockCycles(), 2u);
    EXPECT_FALSE(chip->Unlocked()); // power-down closes it
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_FALSE(HasLine(" BPC         : 1200h")) << LogText();
    FillBufferRange(0, kRxSample - 1, 0);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < kRxSample; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    ExpectLinesInOrder({" Status Byte : 01h", " BPC         : 1200h", " BPSW        : 3400h"});
    EXPECT_EQ(StatusByte188, 0x01);
    EXPECT_EQ(BpcByte188, 0x12);
    EXPECT_EQ(BpswByte188, 0x34);

    chip->ClearCounts();
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" Program all ok!")) << LogText();
    EXPECT_EQ(chip->UnlockCycles(), 2u);
    EXPECT_EQ(chip->ErasePulses(0x1), 1u);
    EXPECT_EQ(chip->ErasePulses(0xC), 1u);
    for (uint32_t a = 0; a < kRxSample; ++a) ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;

    const char* lines[3] = {" Device secured!(Level 2)", " Device secured!(Level 3)", " Device secured!(Level 4)"};
    for (int level = 0; level < 3; ++level) {
        SCOPED_TRACE(level);
        SecurityLevel188 = level;
        chip->ClearCounts();
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        EXPECT_EQ(chip->UnlockCycles(), 2u);
        EXPECT_EQ(chip->SecurityPulseAddresses(),
                  std::vector<uint32_t>(kXaSpaceSecurity, kXaSpaceSecurity + level + 1));
        EXPECT_EQ(chip->SecurityBits(), kRxSecurityBits[level]);
        for (int op : {OpProgram, OpRead, OpErase, OpBlankCheck, OpVerify}) {
            ui.Clear();
            EXPECT_EQ(Run(op), ResultFailed) << op;
            EXPECT_TRUE(HasLine(lines[level])) << LogText();
            for (const std::string& line : ui.Log)
                EXPECT_TRUE(line.find("addr:") == std::string::npos && line.find(" VCC") == std::string::npos)
                    << LogText();
        }
        PrepareDialog();
        EXPECT_EQ(InitializeDevice188(), 1);
        EXPECT_EQ(chip->SecurityBits(), 0);
    }
    ExpectNoViolations();
}

// Five attempts per cell, thirty erase pulses, a cell needing three, and the
// erase pulses that come without the unlock cycles.
TEST_F(Rx51Run, Row188Faults) {
    sim::Rx51FlashChip* chip = PutRx("XA-G49");
    ExpectStuckCellFails(chip, 5);

    chip = PutRx("XA-G49");
    chip->SetErasePulsesNeeded(0);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpErase), ResultFailed) << LogText();
    EXPECT_EQ(chip->ErasePulses(0xC), 31u);

    chip = PutRx("XA-G49");
    chip->SetCellErasesNeeded(0x30, 3);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->ErasePulses(0xC), 3u);
    EXPECT_EQ(chip->Cell(0x30), 0xFF);
    ExpectNoViolations();
}

// The dialog's routines of row 188, and the power-downs' SkipIdCheck: row
// 188 sets it, row 192 leaves it.
TEST_F(Rx51Run, Row188DialogRoutinesAndSkipIdCheck) {
    sim::Rx51FlashChip* chip = PutRx("XA-G49");
    chip->SetSpecialBytes(0x00, 0x80, 0x0F);
    EXPECT_EQ(ReadStatusBytes188(), 1);
    EXPECT_EQ(BpcByte188, 0x80);
    EXPECT_EQ(BpswByte188, 0x0F);
    EXPECT_EQ(SkipIdCheck, 1u);

    StatusByte188 = 0x01;
    BpcByte188 = 0x20;
    BpswByte188 = 0xF0;
    chip->ClearCounts();
    EXPECT_EQ(ProgramStatusBytes188(), 1);
    EXPECT_EQ(chip->UnlockCycles(), 2u);
    EXPECT_EQ(chip->ErasePulses(9), 5u);
    EXPECT_EQ(chip->StatusByte(), 0x01);
    EXPECT_EQ(chip->Bpc(), 0x20);
    EXPECT_EQ(chip->Bpsw(), 0xF0);

    chip->SetSecurityBits(0x02);
    EXPECT_EQ(ReadStatusBytes188(), 1);
    EXPECT_EQ(ProgramStatusBytes188(), -1);
    EXPECT_TRUE(HasLine(" Device secured!(Level 2)")) << LogText();
    EXPECT_EQ(InitializeDevice188(), 1);
    EXPECT_EQ(chip->SecurityBits(), 0);
    EXPECT_EQ(chip->Bpc(), 0xFF);

    PutRx("P89C51RB2");
    SkipIdCheck = 0;
    EXPECT_EQ(ReadStatusBytes192(), 1);
    EXPECT_EQ(SkipIdCheck, 0u);
    ExpectNoViolations();
}

} // namespace
