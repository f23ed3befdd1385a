// Rows 293 and 294 end to end: every record against its part in the
// simulator, wrong IDCODEs and variants, the saved row, the extra rows of the
// 22V10-type map and the parked TAP.
#include "logic/JtagFuseArray.h"
#include "sim/FuseArrayChip.h"
#include "tests/logic/JtagCpldFixture.h"

namespace {

struct JtagFuseArrayRecord {
    const char* name;
    uint32_t fuses;
};
const JtagFuseArrayRecord kJtagFuseArrayRecords[] = {
    {"ispLSI2032V", 8160}, {"ispLSI2032VL", 8160}, {"ispLSI2032VE", 8160},
    {"ispLSI2032VE@TQFP48", 8160}, {"ispGAL22LV10", 5892},
};

class JtagFuseArrayTest : public JtagCpldRun {
protected:
    sim::FuseArrayChip* Seat(const std::string& name) { return SeatJtag<sim::FuseArrayChip>(Facts("LATTICE", name)); }
};

class JtagFuseArrayRecordTest : public JtagFuseArrayTest, public ::testing::WithParamInterface<JtagFuseArrayRecord> {};

TEST_P(JtagFuseArrayRecordTest, ProgramsReadsErasesAndSecures) {
    const JtagFuseArrayRecord& r = GetParam();
    ASSERT_TRUE(SelectPld("LATTICE", r.name));
    EXPECT_EQ(DeviceSize, r.fuses);
    sim::FuseArrayChip* chip = Seat(r.name);

    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    const std::vector<uint8_t> fuses = Pattern(r.fuses, 11);
    LoadFuses(fuses, 80);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    EXPECT_EQ(Cells(chip, r.fuses), fuses);

    ClearUserMap(r.fuses);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(UserFuses(r.fuses), fuses);
    ExpectSavedChecksumOfLoadedFile();

    EXPECT_EQ(Run(OpErase), 1) << LogText();
    ExpectLinesInOrder({"Erase ok!"});
    EXPECT_TRUE(chip->Blank());
    EXPECT_EQ(chip->Erases(), 1u);
    if (!chip->Small()) {
        EXPECT_EQ(chip->SavedRow(), chip->FactorySavedRow()); // written back after the bulk erase
    }

    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    ExpectLinesInOrder({"Security ok!"});
    EXPECT_TRUE(chip->Secured());
    for (uint64_t w : chip->SlowClocks()) EXPECT_GE(w, 200u);
    EXPECT_FALSE(chip->SlowClocks().empty());
    ExpectNoViolations();
}

// Another part's IDCODE ends each run at " Invalid ID", nothing written.
TEST_P(JtagFuseArrayRecordTest, AnotherIdcodeEndsTheRunAtItsLine) {
    ASSERT_TRUE(SelectPld("LATTICE", GetParam().name));
    sim::FuseArrayChip* chip = Seat(GetParam().name);
    LoadFuses(Pattern(DeviceSize, 5), 80);
    ExpectIdentityRefusedAtItsLine(chip, " Invalid ID");
    EXPECT_EQ(chip->Erases(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Records, JtagFuseArrayRecordTest, ::testing::ValuesIn(kJtagFuseArrayRecords), RecordTestName<JtagFuseArrayRecord>);

// Power-down leaves programming with 1Eh on the parts whose selector says so
// (variants 1 and 2, row 294); variant 0 gives 15h again and stays in it.
TEST_F(JtagFuseArrayTest, PowerDownInstructionFollowsTheVariant) {
    const std::pair<const char*, bool> cases[] = {{"ispLSI2032V", true},
                                                  {"ispLSI2032VL", false},
                                                  {"ispLSI2032VE", false},
                                                  {"ispGAL22LV10", false}};
    for (const auto& [name, staysProgramming] : cases) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SelectPld("LATTICE", name));
        Reseat();
        sim::FuseArrayChip* chip = Seat(name);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_EQ(chip->Programming(), staysProgramming);
        ExpectNoViolations();
    }
}

// Variants past the geometry table: refused before any pin is driven, and
// with no IDCODE to check.
TEST_F(JtagFuseArrayTest, VariantPastTheGeometryTableIsNotSupported) {
    ASSERT_TRUE(SelectPld("LATTICE", "ispLSI2032V"));
    sim::FuseArrayChip* chip = Seat("ispLSI2032V");
    DeviceVariant = 3;
    EXPECT_FALSE(RowDefinition(293)->ChecksIdentity());
    for (int op : {OpBlankCheck, OpProgram, OpErase, OpSecurity}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(Run(op), -1);
        EXPECT_TRUE(HasLine(" Device not supported!")) << LogText();
    }
    EXPECT_EQ(chip->Tap().TckCycles(), 0u);
    EXPECT_TRUE(chip->Blank());
}

TEST_F(JtagFuseArrayTest, ExtraRowsOfThe22V10Map) {
    ASSERT_TRUE(SelectPld("LATTICE", "ispGAL22LV10"));
    sim::FuseArrayChip* chip = Seat("ispGAL22LV10");
    std::vector<uint8_t> fuses(5892, 1);
    fuses[5809] = 0; // row 45, position 0
    fuses[5828] = 0; // row 44, position 0
    LoadFuses(fuses, 132);
    VerifyAfterProgram = 0; // the registers as programming left them
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Cells(chip, 5892), fuses);
    ASSERT_EQ(chip->Row45Register().size(), 20u);
    EXPECT_FALSE(chip->Row45Register()[0]); // position 0 -> fuse 5809
    EXPECT_TRUE(chip->Row45Register()[1]);  // position 1 -> fuse 5808
    // Row 44 was the last data shift: positions 64-131 went in as 1.
    ASSERT_EQ(chip->DataRegister().size(), 132u);
    EXPECT_FALSE(chip->DataRegister()[0]);
    for (size_t p = 64; p < 132; ++p) EXPECT_TRUE(chip->DataRegister()[p]) << p;
    ExpectNoViolations();
}

TEST_F(JtagFuseArrayTest, PinsByPackageAndTheParkedTap) {
    struct Case {
        const char* name;
        int tms, tck, tdi, tdo, low0, low1;
    };
    const Case cases[] = {{"ispLSI2032V", 38, 35, 16, 26, 15, 37}, {"ispLSI2032VE@TQFP48", 13, 11, 12, 25, 40, 14}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SelectPld("LATTICE", c.name));
        Reseat();
        sim::FuseArrayChip* chip = Seat(c.name);
        chip->Tap().ClearTrace();
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        const JtagFuseArrayState& s = Alg293State;
        EXPECT_EQ((std::vector<int>{s.Tms, s.Tck, s.Tdi, s.Tdo, s.Low[0], s.Low[1]}),
                  (std::vector<int>{c.tms, c.tck, c.tdi, c.tdo, c.low0, c.low1}));
        // Every data scan ends back in Shift-IR, never in Run-Test/Idle.
        const auto& t = chip->Tap().Trace();
        size_t scans = 0;
        for (size_t i = 0; i + 4 < t.size(); ++i) {
            if (t[i].state != sim::TapState::UpdateDr) continue;
            ++scans;
            EXPECT_EQ(t[i + 1].state, sim::TapState::SelectDrScan);
            EXPECT_EQ(t[i + 2].state, sim::TapState::SelectIrScan);
            EXPECT_EQ(t[i + 3].state, sim::TapState::CaptureIr);
            ASSERT_EQ(t[i + 4].state, sim::TapState::ShiftIr) << i;
        }
        EXPECT_GT(scans, 100u);
        ExpectNoViolations();
    }
}

} // namespace
