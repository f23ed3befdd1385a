// Row 96 end to end on the in-system-programmable configuration PROM: every
// part and package through the operation driver, the IDCODE check, read
// protection, the injected faults and the TAP traffic.
#include "engine/AlgorithmTable.h"
#include "JtagFixture.h"
#include "engine/RowDef.h"
#include "engine/Jtag.h"
#include "engine/Tables.h"

namespace {

class JtagProm : public JtagPromRun, public ::testing::WithParamInterface<PromPart> {};

TEST_P(JtagProm, BlankProgramVerifyReadEraseSecure) {
    const PromPart& p = GetParam();
    sim::IspPromChip* chip = Select96(p.name);
    EXPECT_EQ(PackageRow(PackageIndex).PinCount, p.pins);
    EXPECT_EQ(DeviceSize, Facts96(p.name).words);

    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    ExpectLinesInOrder({"Blank check ok!"});
    EXPECT_EQ(chip->Reads(), std::vector<uint32_t>{0xE5});
    EXPECT_EQ(BankAdvances, 0u);

    FillPattern(kRange, 11);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Blank check ok!", "Program ok!", "Verification ok!", " VCCL(3.0V) Verification ok!",
                        " VCCL(3.6V) Verification ok!"});
    EXPECT_EQ(chip->BlocksProgrammed(), kRange / 512);
    EXPECT_EQ(chip->Finishes(), 1u);
    for (uint32_t a = 0; a < kRange; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << a;
    EXPECT_EQ(chip->Cell(kRange), 0xFF);

    std::vector<uint8_t> file(kRange);
    for (uint32_t a = 0; a < kRange; ++a) file[a] = BufferByte(a);
    for (uint32_t a = 0; a < kRange; ++a) BufferWindow[a] = 0;
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t a = 0; a < kRange; ++a) ASSERT_EQ(BufferByte(a), file[a]) << a;
    EXPECT_EQ(Run(OpVerify), 1) << LogText();

    EXPECT_EQ(Run(OpErase), 1) << LogText();
    ExpectLinesInOrder({"Erase ok!"});
    EXPECT_TRUE(chip->Blank());
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();

    // Protected: reads stop at the status check; erase still works.
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    ExpectLinesInOrder({"Security ok!"});
    EXPECT_EQ(chip->ControlBits() & 4, 0);
    EXPECT_EQ(Run(OpRead), -1);
    EXPECT_TRUE(HasLine(" Device secured!")) << LogText();
    ExpectPoweredDown();
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(chip->ControlBits(), 7);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    ExpectPoweredDown();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Parts, JtagProm, ::testing::ValuesIn(kPromParts));

// A range landing across a 64K bank of the buffer: the read moves on to the
// next bank, the blank check stays in its own.
TEST_F(JtagPromRun, BankAdvanceInReadNotInBlankCheck) {
    sim::IspPromChip* chip = Select96("XC18V01");
    DeviceEnd = 0x1FFF;
    BufferStart = 0xF000;
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    EXPECT_EQ(BankAdvances, 0u);
    EXPECT_EQ(chip->Reads().back(), 0xE5u);

    for (uint32_t a = 0; a < 0x2000; ++a) chip->SetCell(a, static_cast<uint8_t>(a * 13 + (a >> 8)));
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BankAdvances, 1u);
    EXPECT_EQ(chip->Reads().back(), 0xF8u);
    for (uint32_t a = 0; a < 0x2000; ++a) ASSERT_EQ(BufferByte(0xF000 + a), chip->Cell(a)) << a;
}

// A range starting past 0 is read and programmed from its own block.
TEST_F(JtagPromRun, RangeStartingPastZero) {
    sim::IspPromChip* chip = Select96("XC18V512");
    for (uint32_t a = 0; a < 0x3000; ++a) chip->SetCell(a, static_cast<uint8_t>(a * 7 + (a >> 9)));
    for (uint32_t start : {0x1000u, 0x1234u}) {
        SCOPED_TRACE(start);
        DeviceStart = BufferStart = start;
        DeviceEnd = start + 0xFFF;
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t a = start; a <= DeviceEnd; ++a) ASSERT_EQ(BufferByte(a), chip->Cell(a)) << a;
    }
    chip = Reseat(Facts96("XC18V512"));
    DeviceStart = BufferStart = 0x1000;
    DeviceEnd = 0x1FFF;
    FillPattern(0x2000, 5);
    BlankCheckBeforeProgram = 0;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (uint32_t a = 0; a < 0x3000; ++a) {
        ASSERT_EQ(chip->Cell(a), a >= 0x1000 && a < 0x2000 ? BufferByte(a) : 0xFF) << a;
    }
    ExpectNoViolations();
}

// A range whose ends are off the 512-byte blocks: the cells of those blocks
// outside the range keep what they hold.
TEST_F(JtagPromRun, RangeOffTheBlocks) {
    sim::IspPromChip* chip = Select96("XC18V512");
    auto around = [](uint32_t a) { return static_cast<uint8_t>(0x3C ^ (a & 0x1F)); };
    for (uint32_t a = 0x1000; a < 0x2000; ++a) chip->SetCell(a, around(a));
    DeviceStart = BufferStart = 0x1123;
    DeviceEnd = 0x1B45;
    FillPattern(0x2000, 11);
    for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) BufferWindow[a] &= around(a);
    BlankCheckBeforeProgram = 0;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    for (uint32_t a = 0x1000; a < 0x2000; ++a) {
        const bool inRange = a >= DeviceStart && a <= DeviceEnd;
        ASSERT_EQ(chip->Cell(a), inRange ? BufferByte(a) : around(a)) << a;
    }
    ExpectNoViolations();
}

// The USERCODE programs on a protected part (its set-up skips the check).
TEST_F(JtagPromRun, UsercodeProgramsOnAProtectedPart) {
    sim::IspPromChip* chip = Select96("XC18V01");
    chip->SetControlBits(3);
    ASSERT_EQ(CheckCommunication(MainEngine), 1);
    PrepareOperation(MainEngine);
    const uint8_t code[4] = {'Q', 'R', 'S', 'T'};
    std::copy(code, code + 4, Usercode96);
    ConfigMode96 = 0;
    EXPECT_EQ(ProgramUsercode96(), 1);
    EXPECT_EQ(chip->Usercode(), 0x54535251u);
    EXPECT_TRUE(HasLine("Program USERCODE, Control Bits ok!"));
    EXPECT_EQ(ReadUsercode96(), -1); // the read checks the protection
    ExpectPoweredDown();
    ExpectNoViolations();
}

// Variants 0 and 1 compare bits 0-27 of the IDCODE, and declare the check;
// variant 2 compares none. A refusal (another IDCODE, or another part's)
// ends Verify, Program and Blank check at its line, nothing read named after
// it, the part left blank.
TEST_F(JtagPromRun, IdcodeCheck) {
    struct Case {
        const char* part;
        uint32_t idcode; // 0: the part's own, answering another identity
        int result;
    };
    const Case cases[] = {
        {"XC18V02", 0x05025093, 1}, {"XC18V02", 0xF5025093, 1}, {"XC18V02", 0x05026093, -1},
        {"XC18V04", 0x35026093, 1}, {"XC18V04", 0x05025093, -1}, {"XC18V04", 0x05026193, -1},
        {"XC18V01", 0x12345678, 1}, {"XC18V02", 0, -1},          {"XC18V04", 0, -1},
        {"XC18V01", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.part) + " " + std::to_string(c.idcode));
        sim::JtagMemoryFacts f = Facts96(c.part);
        if (c.idcode != 0)
            f.id = {static_cast<uint8_t>(c.idcode), static_cast<uint8_t>(c.idcode >> 8),
                    static_cast<uint8_t>(c.idcode >> 16), static_cast<uint8_t>(c.idcode >> 24)};
        socket->Clear();
        elec->WithdrawAllChips();
        sim::IspPromChip* chip = Select96(c.part, &f);
        chip->AnswerAnotherIdentity(c.idcode == 0);
        EXPECT_EQ(RowDefinition(96)->ChecksIdentity(), DeviceVariant < 2);
        FillPattern(kRange, 3);
        for (int op : {OpBlankCheck, OpVerify, OpProgram}) {
            if (op != OpBlankCheck && c.result == 1) break;
            EXPECT_EQ(Run(op), c.result) << LogText();
            EXPECT_EQ(HasLine(" Incorrect device ID"), c.result == -1) << LogText();
            EXPECT_EQ(IdentityRefusalLine(), c.result == -1 ? " Incorrect device ID" : "");
            EXPECT_EQ(DatumLines(), "") << LogText();
            ExpectPoweredDown();
        }
        EXPECT_TRUE(chip->Blank());
    }
}

TEST_F(JtagPromRun, InjectedFaults) {
    // A protect bit that does not take: the driver's security step fails.
    sim::JtagMemoryFacts f = Facts96("XC18V512");
    sim::IspPromChip* chip = Select96("XC18V512", &f);
    chip->SetProtectStuck(true);
    EXPECT_EQ(Run(OpSecurity), -1);
    EXPECT_TRUE(HasLine("Security error!")) << LogText();
    ExpectPoweredDown();

    // Without the waits nothing lands and the model says so; the driver's
    // verify and blank check then fail.
    chip = Reseat(f);
    chip->SetCell(5, 0x00);
    FillPattern(kRange, 3);
    ASSERT_EQ(CheckCommunication(MainEngine), 1);
    PrepareOperation(MainEngine);
    InstallNoDelaySlots();
    EXPECT_EQ(AlgorithmTable[96].Program(), 1);
    EXPECT_EQ(AlgorithmTable[96].Erase(), 1);
    InstallRealDelaySlots();
    EXPECT_EQ(chip->BlocksProgrammed(), 0u);
    EXPECT_EQ(chip->Erases(), 0u);
    EXPECT_GE(simp.Violations().size(), kRange / 512 + 1);
    for (uint32_t a = 0; a < kRange; ++a) ASSERT_EQ(chip->Cell(a), a == 5 ? 0x00 : 0xFF) << a;
    EXPECT_EQ(Run(OpVerify), -1) << LogText();
    EXPECT_EQ(Run(OpBlankCheck), -1) << LogText();

    // A break in the long read ends it with the chip powered down.
    chip = Reseat(f);
    ui.BreakAtPercent = 50;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), 3);
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    EXPECT_EQ(chip->Tap().State(), sim::TapState::RunTestIdle);
    ExpectPoweredDown();
}

// A package of other than 20 or 44 pins has no TAP pins: nothing is driven,
// and the library refuses such a record.
TEST_F(JtagPromRun, OtherPackagesDriveNothing) {
    sim::IspPromChip* chip = Select96("XC18V01");
    PackageIndex = 12; // DIP28
    chip->Tap().ClearTrace();
    EXPECT_EQ(AlgorithmTable[96].Read(0), -1);
    EXPECT_TRUE(chip->Tap().Trace().empty());
    ExpectPoweredDown();
    struct Case {
        uint32_t row, pins;
        bool refused;
    };
    for (const Case& c : {Case{96, 20, false}, Case{96, 44, false}, Case{96, 28, true}, Case{96, 32, true},
                          Case{62, 28, false}}) {
        EXPECT_EQ(JtagMemoryRecordRefusal(c.row, c.pins).empty(), !c.refused) << c.row << " " << c.pins;
    }
}

// Each entry resets the TAP and steps to Run-Test/Idle; the read streams the
// whole range in one Shift-DR; the waits pass in Run-Test/Idle (the model
// programs and erases only then).
TEST_F(JtagPromRun, TapTraffic) {
    sim::IspPromChip* chip = Select96("XC18V04");
    FillPattern(kRange, 9);
    BlankCheckBeforeProgram = 0;
    for (int op : {OpRead, OpProgram, OpErase}) {
        SCOPED_TRACE(op);
        const auto& t = RunFromTapReset(chip->Tap(), [&] { EXPECT_EQ(Run(op), 1) << LogText(); });
        if (op != OpRead) continue;
        size_t longest = 0, run = 0;
        for (const sim::TapCycle& c : t) {
            run = c.state == sim::TapState::ShiftDr ? run + 1 : 0;
            longest = std::max(longest, run);
        }
        EXPECT_GE(longest, kRange * 8);
    }
    EXPECT_EQ(chip->BlocksProgrammed(), kRange / 512);
    EXPECT_EQ(chip->Erases(), 1u);
    ExpectNoViolations();
}

} // namespace

namespace {

// The enable instruction takes only the part's values: after another one the
// part stays out of programming mode and an erase does nothing.
TEST_F(JtagPromRun, EnableWithAnotherValueLeavesProgrammingDisabled) {
    sim::IspPromChip* chip = Select96("XC18V512");
    chip->SetCell(7, 0x00);
    ASSERT_EQ(CheckCommunication(MainEngine), 1);
    PrepareOperation(MainEngine);
    for (uint32_t value : {0x3Fu, 0x04u}) {
        SCOPED_TRACE(value);
        simp.ClearViolations();
        ASSERT_EQ(Setup96(5), 1); // powered, enabled with 04h
        JtagLoadInstruction(0xE8);
        JtagShiftDr(value, 6);
        JtagLoadInstruction(0xEC);
        DelayMsSlot(80);
        PowerOff96();
        if (value == 0x04) {
            EXPECT_EQ(chip->Erases(), 1u);
            ExpectNoViolations();
        } else {
            EXPECT_EQ(chip->Erases(), 0u);
            EXPECT_EQ(chip->Cell(7), 0x00);
            bool refused = false;
            for (const auto& v : simp.Violations()) refused |= v.find("enable with 3Fh") != std::string::npos;
            EXPECT_TRUE(refused);
        }
    }
}

} // namespace

namespace {

// Reading into the buffer and verifying open the part with the read-only
// enable value 34h; the blank check and the compare with 04h. A program or
// an erase under 34h changes nothing and is a violation.
TEST_F(JtagPromRun, ReadsAndVerifiesUnderTheReadEnable) {
    sim::IspPromChip* chip = Select96("XC18V512");
    FillPattern(kRange, 5);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    const size_t before = chip->ReadEnables().size();
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    EXPECT_EQ(Run(OpBlankCheck), -1) << LogText();
    EXPECT_EQ(Run(OpCompare), 1) << LogText();
    const std::vector<uint8_t> enables(chip->ReadEnables().begin() + static_cast<std::ptrdiff_t>(before),
                                       chip->ReadEnables().end());
    // Read, the two verify levels, the blank check, the compare.
    EXPECT_EQ(enables, (std::vector<uint8_t>{0x34, 0x34, 0x34, 0x04, 0x04}));
    ExpectNoViolations();

    // An erase opened with the read-only value leaves the cells.
    ASSERT_EQ(CheckCommunication(MainEngine), 1);
    PrepareOperation(MainEngine);
    ASSERT_EQ(Setup96(2), 1);
    JtagLoadInstruction(0xEC);
    DelayMsSlot(80);
    PowerOff96();
    EXPECT_EQ(chip->Erases(), 0u);
    EXPECT_EQ(chip->Cell(0), BufferByte(0));
    bool refused = false;
    for (const auto& v : simp.Violations()) refused |= v.find("reading only (34h)") != std::string::npos;
    EXPECT_TRUE(refused);
}

} // namespace
