// Rows 264 and 265 end to end over the register-TAP image: every record
// against its part, wrong IDCODEs, an instruction capture that is not 1, the
// E row and the register traffic.
#include <map>

#include "logic/JtagBlockCpld.h"
#include "sim/RowTapChip.h"
#include "tests/logic/JtagCpldFixture.h"

namespace {

struct JtagBlockCpldRecord {
    const char* name;
    uint32_t fuses;
    uint32_t firstE;
};
const JtagBlockCpldRecord kJtagBlockCpldRecords[] = {{"MACH111SP", 7756, 7724}, {"MACH211SP", 15136, 15072}};

class JtagBlockCpldTest : public JtagCpldRun {
protected:
    sim::RowTapChip* Seat(const std::string& name) { return SeatJtag<sim::RowTapChip>(Facts("AMD", name)); }
    sim::RegisterTapPersonality* Tap() { return simp.PersonalityAs<sim::RegisterTapPersonality>(); }
};

class JtagBlockRecordTest : public JtagBlockCpldTest, public ::testing::WithParamInterface<JtagBlockCpldRecord> {};

TEST_P(JtagBlockRecordTest, ProgramsReadsErasesAndSecures) {
    const JtagBlockCpldRecord& r = GetParam();
    ASSERT_TRUE(SelectPld("AMD", r.name));
    EXPECT_EQ(DeviceSize, r.fuses);
    sim::RowTapChip* chip = Seat(r.name);

    // The erased E row reads back as zeros: the blank check never looks at it.
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    ASSERT_NE(Tap(), nullptr); // the device's image was loaded
    const std::vector<uint8_t> fuses = Pattern(r.fuses, 5);
    LoadFuses(fuses, 52);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    for (uint32_t n = 0; n < r.fuses; ++n) {
        const int expected = n >= r.firstE ? 1 - fuses[n] : fuses[n]; // the E row goes in complemented
        ASSERT_EQ(chip->Cell(n), expected) << n;
    }

    ClearUserMap(r.fuses);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(UserFuses(r.fuses), fuses);
    ExpectSavedChecksumOfLoadedFile();

    EXPECT_EQ(Run(OpErase), 1) << LogText();
    ExpectLinesInOrder({"Erase ok!"});
    EXPECT_TRUE(chip->Blank());

    EXPECT_EQ(Run(OpSecurity), 1) << LogText(); // the driver reads zeros back
    ExpectLinesInOrder({"Security ok!"});
    EXPECT_TRUE(chip->Secured());
    ExpectNoViolations();
}

// Another part seated (another IDCODE): Blank check, Program and Verify end
// at the identity line with no fail address after it, nothing programmed.
TEST_P(JtagBlockRecordTest, AnotherPartEndsTheRunAtTheIdentityLine) {
    const JtagBlockCpldRecord& r = GetParam();
    ASSERT_TRUE(SelectPld("AMD", r.name));
    sim::RowTapChip* chip = Seat(r.name);
    chip->AnswerAnotherIdentity();
    LoadFuses(Pattern(r.fuses, 7), 52);
    ExpectRunsEndAtIdentityLine(" Incorrect device ID");
    EXPECT_TRUE(chip->ProgrammedRows().empty());
    EXPECT_TRUE(chip->Blank());
    chip->AnswerAnotherIdentity(false);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Records, JtagBlockRecordTest, ::testing::ValuesIn(kJtagBlockCpldRecords), RecordTestName<JtagBlockCpldRecord>);

TEST_F(JtagBlockCpldTest, InstructionCaptureOtherThanOneFails) {
    ASSERT_TRUE(SelectPld("AMD", "MACH111SP"));
    sim::RowTapChip* chip = Seat("MACH111SP");
    chip->SetIrCapture(0x21);
    EXPECT_EQ(Run(OpBlankCheck), -1) << LogText();
    LoadFuses(std::vector<uint8_t>(7756, 1), 52);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_LE(chip->ProgrammedRows().size(), 2u); // the pre-program pass and row 0
}

// E bits 0-15 of a file reach block 1 in reverse cell order; the register
// traffic: four writes per clock, TDO read before the clock.
TEST_F(JtagBlockCpldTest, ERowAndRegisterTraffic) {
    ASSERT_TRUE(SelectPld("AMD", "MACH111SP"));
    sim::RowTapChip* chip = Seat("MACH111SP");
    std::vector<uint8_t> fuses(7756, 1);
    fuses[7724] = 0; // E bit 0
    LoadFuses(fuses, 52);
    VerifyAfterProgram = 0;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ASSERT_FALSE(chip->ProgrammedRows().empty());
    EXPECT_EQ(chip->ProgrammedRows().front(), -1); // the pre-program pass selects no row
    EXPECT_EQ(chip->ProgrammedRows().back(), 61);
    // Odd array rows hold 71 cells a block, even rows 72; an all-ones file
    // still shifts 0 where a row holds no cell.
    for (int row = 0; row < 52; ++row) {
        int cells = 0;
        for (int b = 0; b < chip->DataLength(); ++b) cells += chip->FuseAt(row, b) >= 0;
        EXPECT_EQ(cells, row % 2 ? 2 * 71 : 2 * 72) << row;
    }
    EXPECT_EQ(chip->UnusedBitsShiftedOne(), 0u);
    // The E row was the last data: block 1 (bits 0-71) cell 15 at clock 65.
    const std::vector<bool>& d = chip->ProgramData();
    for (int b = 0; b < 144; ++b) EXPECT_EQ(d[static_cast<size_t>(b)], b == 65) << b;
    EXPECT_EQ(chip->Cell(7724), 1);
    for (uint32_t n = 7725; n < 7756; ++n) EXPECT_EQ(chip->Cell(n), 0) << n;

    EXPECT_EQ(Run(OpRead), 1) << LogText();
    std::map<uint32_t, size_t> writes;
    for (uint32_t w : Tap()->WritesBeforeReads()) ++writes[w];
    size_t most = 0;
    uint32_t common = 0;
    for (auto [w, n] : writes) {
        if (n > most) most = n, common = w;
    }
    EXPECT_EQ(common, 4u);
    const auto& t = chip->Tap().Trace();
    ASSERT_GT(t.size(), 11u);
    EXPECT_EQ(t[9].state, sim::TapState::TestLogicReset);
    EXPECT_EQ(t[10].state, sim::TapState::RunTestIdle);
    ExpectNoViolations();
}

} // namespace
