// Row 218 end to end over the instruction form of the block CPLD bus image:
// the record against its part, the identity check in every slot, the
// special and extra cells and the TAP sequences the part sees.
#include <cstdio>

#include "sim/BlockCpldBus.h"
#include "sim/BlockCpldChip.h"
#include "sim/InstructionBlockChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr uint32_t kInstructionBlockFuses = 54096;

class InstructionBlockCpldTest : public PldRun {
  protected:
    void SetUp() override {
        PldRun::SetUp();
        sim::RegisterBlockCpldBusPersonality();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    static sim::InstructionBlockFacts InstructionFacts() {
        const sim::InstructionBlockFacts* f = sim::FindInstructionBlockPart("AMD", "MACH435");
        EXPECT_NE(f, nullptr);
        return f ? *f : sim::InstructionBlockFacts{};
    }
    sim::InstructionBlockChip* SelectAndSeat(const sim::InstructionBlockFacts& f) {
        EXPECT_TRUE(SelectPld("AMD", "MACH435"));
        return SeatAlone<sim::InstructionBlockChip>(f);
    }
    static std::string InstructionFailLine(uint32_t fuse) {
        char line[64];
        std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", fuse, fuse);
        return line;
    }
};

TEST_F(InstructionBlockCpldTest, ProgramsReadsErasesAndSecures) {
    sim::InstructionBlockChip* chip = SelectAndSeat(InstructionFacts());
    EXPECT_EQ(CurrentAlgorithm, 218u);
    EXPECT_EQ(DeviceSize, kInstructionBlockFuses);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    const std::vector<uint8_t> fuses = Pattern(kInstructionBlockFuses, 218);
    LoadFuses(fuses, 66);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    EXPECT_EQ(Cells(chip, kInstructionBlockFuses), fuses);

    // The read walk presets the data registers once, then captures each row.
    const uint32_t loads = chip->DataLoads();
    ClearUserMap(kInstructionBlockFuses);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(chip->DataLoads() - loads, 1u + 80u);
    EXPECT_EQ(UserFuses(kInstructionBlockFuses), fuses);
    EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)),
              ReadJedecChecksumField(ReadText("in.jed")));

    EXPECT_EQ(Run(OpErase), 1) << LogText();
    ExpectLinesInOrder({"Erase ok!"}); // after the driver's blank check
    EXPECT_TRUE(chip->Blank());

    // No check after securing: the power-up turned it off.
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    ExpectLinesInOrder({"Security ok!"});
    EXPECT_TRUE(chip->Secured());
    EXPECT_EQ(chip->Pulses().back().instruction, 8u);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// Reads are made at the programming supply whatever the record's read
// supply; the register-driven parts read at the record's.
TEST_F(InstructionBlockCpldTest, ReadsAtTheProgrammingSupply) {
    sim::InstructionBlockChip* chip = SelectAndSeat(InstructionFacts());
    ReadVcc = 46;
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ASSERT_EQ(chip->ReadSupplies().size(), 80u);
    for (int v : chip->ReadSupplies())
        EXPECT_EQ(v, 50);

    EXPECT_TRUE(SelectPld("AMD", "MACH111"));
    const sim::BlockCpldFacts* f = sim::FindBlockCpldPart("AMD", "MACH111");
    ASSERT_NE(f, nullptr);
    sim::BlockCpldChip* two = SeatAlone<sim::BlockCpldChip>(*f);
    ReadVcc = 46;
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ASSERT_EQ(two->ReadSupplies().size(), 62u);
    for (int v : two->ReadSupplies())
        EXPECT_EQ(v, 46);
    ExpectNoViolations();
}

// An identification value other than 16h: every slot stops with the
// message, no fuse touched, no pulse given, and no fail address after the
// line; the part's model answering another identity is refused the same way.
TEST_F(InstructionBlockCpldTest, WrongIdentityStopsEverySlot) {
    sim::InstructionBlockFacts f = InstructionFacts();
    f.idValue = 0x17;
    sim::InstructionBlockChip* chip = SelectAndSeat(f);
    LoadFuses(std::vector<uint8_t>(kInstructionBlockFuses, 0), 66);
    for (int op : {OpBlankCheck, OpProgram, OpVerify, OpRead, OpErase, OpSecurity}) {
        SCOPED_TRACE(op);
        const size_t from = ui.Log.size();
        EXPECT_EQ(Run(op), -1) << LogText();
        bool said = false;
        for (size_t i = from; i < ui.Log.size(); ++i)
            said = said || ui.Log[i] == " Incorrect device ID";
        EXPECT_TRUE(said) << LogText();
        EXPECT_EQ(DatumLines(), "");
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
    EXPECT_TRUE(chip->Pulses().empty());
    EXPECT_TRUE(chip->Blank());
    EXPECT_FALSE(chip->Secured());
    ExpectNoViolations();

    chip = SelectAndSeat(InstructionFacts());
    chip->AnswerAnotherIdentity();
    ExpectRunsEndAtIdentityLine(" Incorrect device ID");
    EXPECT_TRUE(chip->Pulses().empty());
    EXPECT_TRUE(chip->Blank());
    chip->AnswerAnotherIdentity(false);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectNoViolations();
}

// Special cells are read 4 columns later than written on odd cells; the
// extra cells of rows 69, 73, 75 and 77 take B + 6535, 6536, 6534, 6537.
TEST_F(InstructionBlockCpldTest, SpecialAndExtraCellsReachTheirFuses) {
    EXPECT_EQ(sim::InstructionBlockChip::FuseAt(69, 0, 0, false), 6535);
    EXPECT_EQ(sim::InstructionBlockChip::FuseAt(73, 1, 0, false), 6762 + 6536);
    EXPECT_EQ(sim::InstructionBlockChip::FuseAt(75, 0, 0, true), 6534);
    EXPECT_EQ(sim::InstructionBlockChip::FuseAt(77, 7, 0, true), 7 * 6762 + 6537);
    EXPECT_EQ(sim::InstructionBlockChip::FuseAt(66, 0, 15, false), 6538 + 14);
    EXPECT_EQ(sim::InstructionBlockChip::FuseAt(66, 0, 19, true), 6538 + 14);
    // Golden: B + 6538 + (r - 66) + 14 k.
    EXPECT_EQ(sim::InstructionBlockChip::FuseAt(79, 3, 92, false), 3 * 6762 + 6538 + 13 + 14 * 15);
    {
        std::vector<int> seen(kInstructionBlockFuses, 0);
        for (int row = 0; row < 80; ++row)
            for (int b = 0; b < 8; ++b)
                for (int c = 0; c < 99; ++c) {
                    const int32_t n = sim::InstructionBlockChip::FuseAt(row, b, c, false);
                    if (n >= 0) ++seen[static_cast<size_t>(n)];
                }
        for (uint32_t n = 0; n < kInstructionBlockFuses; ++n)
            ASSERT_EQ(seen[n], 1) << n;
    }

    for (uint32_t fuse : {6535u, 6762u + 6536u, 2u * 6762u + 6534u, 6537u, 6538u + 14u,
                          5u * 6762u + 6538u + 13u + 14u * 15u, 6533u}) {
        SCOPED_TRACE(fuse);
        sim::InstructionBlockChip* chip = SelectAndSeat(InstructionFacts());
        std::vector<uint8_t> fuses(kInstructionBlockFuses, 1);
        fuses[fuse] = 0;
        LoadFuses(fuses, 66);
        EXPECT_EQ(Run(OpProgram), 1) << LogText(); // the verify reads it at its read column
        EXPECT_EQ(Cells(chip, kInstructionBlockFuses), fuses);
        ExpectNoViolations();
    }
}

// A cell that never programs: the verify names it. ESC answered No in a
// read ends the read with -1.
TEST_F(InstructionBlockCpldTest, VerifyNamesAStuckCellAndABreakEndsARead) {
    sim::InstructionBlockChip* chip = SelectAndSeat(InstructionFacts());
    chip->StickCell(30000);
    std::vector<uint8_t> fuses(kInstructionBlockFuses, 1);
    fuses[30000] = 0;
    LoadFuses(fuses, 66);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(HasLine(InstructionFailLine(30000))) << LogText();

    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// The TAP sequences: a reset of five TMS 1 clocks, Run-Test/Idle, the
// preamble and identification instructions; the program walk pulses each
// row once under instruction 6 after a pre-program pulse with no row.
TEST_F(InstructionBlockCpldTest, TapSequencesAndPulses) {
    sim::InstructionBlockChip* chip = SelectAndSeat(InstructionFacts());
    LoadFuses(Pattern(kInstructionBlockFuses, 5), 66);
    VerifyAfterProgram = 0;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    const auto& t = chip->Tap().Trace();
    ASSERT_GT(t.size(), 6u);
    EXPECT_EQ(t[4].state, sim::TapState::TestLogicReset);
    EXPECT_EQ(t[5].state, sim::TapState::RunTestIdle);
    const auto& p = chip->Pulses();
    ASSERT_EQ(p.size(), 81u);
    EXPECT_EQ(p[0].instruction, 6u);
    EXPECT_TRUE(p[0].rows.empty());
    EXPECT_GE(p[0].widthUs, 50000u);
    for (size_t i = 1; i < p.size(); ++i) {
        EXPECT_EQ(p[i].instruction, 6u);
        EXPECT_EQ(p[i].rows, std::vector<int>{static_cast<int>(i - 1)});
    }
    ExpectNoViolations();
}

} // namespace
