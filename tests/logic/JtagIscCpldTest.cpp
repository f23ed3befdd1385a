// Rows 249 and 298 end to end: every record of the library against its part
// in the simulator, wrong IDCODEs, injected faults and the TAP traffic.
#include "engine/Jtag.h"
#include "logic/JtagIscCpld.h"
#include "sim/IscCpldChip.h"
#include "tests/logic/JtagCpldFixture.h"

namespace {

struct JtagIscCpldRecord {
    const char* name;
    uint32_t fuses;
    uint32_t securityFuse;
    uint64_t pulseUs;
};
const JtagIscCpldRecord kJtagIscCpldRecords[] = {
    {"ATF1504AS", 34186, 34166, 20000},          {"ATF1504AS@TQFP100", 34186, 34166, 20000},
    {"ATF1504ASL", 34186, 34166, 20000},         {"ATF1504ASV", 34186, 34166, 20000},
    {"ATF1504ASV@TQFP100", 34186, 34166, 20000}, {"ATF1504ASVL", 34186, 34166, 50000},
    {"ATF1508AS", 74134, 74114, 20000},          {"ATF1508ASL", 74134, 74114, 20000},
    {"ATF1508ASV", 74134, 74114, 20000},         {"ATF1508ASVL", 74134, 74114, 50000},
};

class JtagIscCpldTest : public JtagCpldRun {
protected:
    sim::IscCpldChip* Seat(const std::string& name) { return SeatJtag<sim::IscCpldChip>(Facts("ATMEL", name)); }
    void ProgramVerifyAndRead(const JtagIscCpldRecord& r, sim::IscCpldChip* chip, const std::vector<uint8_t>& fuses);
    // A pattern that leaves the security cell unprogrammed.
    static std::vector<uint8_t> Fuses(const JtagIscCpldRecord& r, uint32_t seed = 7) {
        std::vector<uint8_t> f = Pattern(r.fuses, seed);
        f[r.securityFuse] = 1;
        return f;
    }
};

class JtagIscRecordTest : public JtagIscCpldTest, public ::testing::WithParamInterface<JtagIscCpldRecord> {};

// Blank check, program from a JEDEC file with verify, read into a cleared
// buffer and save, erase with the driver's blank check, secure with the
// module's own check; every IDCODE the rows accept, 20 and 50 ms pulses.
TEST_P(JtagIscRecordTest, ProgramsReadsErasesAndSecures) {
    const JtagIscCpldRecord& r = GetParam();
    ASSERT_TRUE(SelectPld("ATMEL", r.name));
    EXPECT_EQ(DeviceSize, r.fuses);
    sim::IscCpldChip* chip = Seat(r.name);

    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    const std::vector<uint8_t> fuses = Fuses(r);
    LoadFuses(fuses, 128);
    ProgramVerifyAndRead(r, chip, fuses);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    ExpectLinesInOrder({"Erase ok!"});
    EXPECT_TRUE(chip->Blank());

    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    ExpectLinesInOrder({"Security ok!"});
    EXPECT_TRUE(chip->SecuredCell());
    ExpectNoViolations();
}

void JtagIscCpldTest::ProgramVerifyAndRead(const JtagIscCpldRecord& r, sim::IscCpldChip* chip, const std::vector<uint8_t>& fuses) {
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    EXPECT_EQ(Cells(chip, r.fuses), fuses);
    for (const sim::IscPulse& p : chip->Pulses()) {
        EXPECT_GE(p.widthUs, r.pulseUs);
        EXPECT_LT(p.widthUs, r.pulseUs + 2000);
        if (p.kind == 0 && p.row < 224) {
            EXPECT_TRUE(p.unusedBitsOne) << p.row; // bits 0-5 shifted as 1
        }
    }
    for (int row = 108; row <= 127; ++row) EXPECT_EQ(chip->AddressedRows().count(row), 0u) << row;
    ASSERT_FALSE(chip->ProgramKinds().empty());
    EXPECT_EQ(chip->ProgramKinds().back(), 1); // the kind-1 register after the verify pass

    ClearUserMap(r.fuses);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(UserFuses(r.fuses), fuses);
    ExpectSavedChecksumOfLoadedFile();
}

// Another part seated (another IDCODE): Blank check, Program and Verify end
// at " Invalid ID" with no fail address after it, the part given no pulse.
TEST_P(JtagIscRecordTest, AnotherPartEndsTheRunAtTheIdentityLine) {
    const JtagIscCpldRecord& r = GetParam();
    ASSERT_TRUE(SelectPld("ATMEL", r.name));
    sim::IscCpldChip* chip = Seat(r.name);
    chip->AnswerAnotherIdentity();
    LoadFuses(Fuses(r), 128);
    ExpectRunsEndAtIdentityLine(" Invalid ID");
    EXPECT_TRUE(chip->Pulses().empty());
    EXPECT_TRUE(chip->Blank());
    chip->AnswerAnotherIdentity(false);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Records, JtagIscRecordTest, ::testing::ValuesIn(kJtagIscCpldRecords), RecordTestName<JtagIscCpldRecord>);

// The verify pass over rows 224-232 runs before the kind-1 register is
// programmed: a bad cell there leaves it unprogrammed.
TEST_F(JtagIscCpldTest, BadCellInTheLastRowsLeavesKindOneUnprogrammed) {
    for (const JtagIscCpldRecord& r : {kJtagIscCpldRecords[0], kJtagIscCpldRecords[6]}) {
        const int lastRow = r.fuses == 34186 ? 232 : 250;
        for (int row : {224, 226, lastRow}) { // the first and last rows of the pass too
            SCOPED_TRACE(std::string(r.name) + " row " + std::to_string(row));
            ASSERT_TRUE(SelectPld("ATMEL", r.name));
            Reseat();
            sim::IscCpldChip* chip = Seat(r.name);
            std::vector<uint8_t> fuses(r.fuses, 0);
            fuses[r.securityFuse] = 1;
            const int32_t bad = chip->FuseAt(0, row, 100);
            ASSERT_GE(bad, r.fuses == 34186 ? 32640 : 65280);
            chip->StickCell(static_cast<uint32_t>(bad));
            LoadFuses(fuses, 128);
            EXPECT_EQ(Run(OpProgram), -1);
            EXPECT_TRUE(HasLine("Program error!")) << LogText();
            char line[64];
            std::snprintf(line, sizeof line, " Fail address : %d(%Xh)", bad, static_cast<unsigned>(bad));
            EXPECT_TRUE(HasLine(line)) << LogText();
            const uint32_t kind1 = r.securityFuse - 32;
            for (uint32_t n = kind1; n < r.securityFuse; ++n) ASSERT_EQ(chip->Cell(n), 1) << n;
            EXPECT_EQ(chip->Cell(r.securityFuse + 4), 0); // kind 3 came before the verify pass
        }
    }
}

// A file with the read-protection cell programmed cannot be programmed (the
// part would read as zeros before the verify pass): it is refused before the
// part sees a pulse, naming the fuse. The same map with the cell left
// unprogrammed programs, verifies and keeps the kind-1 register.
TEST_F(JtagIscCpldTest, ReadProtectionInTheFileIsRefusedBeforeAnyWrite) {
    for (const JtagIscCpldRecord& r : {kJtagIscCpldRecords[0], kJtagIscCpldRecords[4], kJtagIscCpldRecords[5], kJtagIscCpldRecords[6]}) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(SelectPld("ATMEL", r.name));
        Reseat();
        sim::IscCpldChip* chip = Seat(r.name);
        std::vector<uint8_t> fuses = Pattern(r.fuses, 11);
        fuses[r.securityFuse] = 0;
        LoadFuses(fuses, 128);
        EXPECT_EQ(Run(OpProgram), -1);
        char line[96];
        std::snprintf(line, sizeof line, " Fuse %u (read protection) is programmed in the file; use Secure to set it.",
                      r.securityFuse);
        EXPECT_TRUE(HasLine(line)) << LogText();
        EXPECT_TRUE(chip->Pulses().empty());
        EXPECT_TRUE(chip->Blank());

        fuses[r.securityFuse] = 1;
        LoadFuses(fuses, 128);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Cells(chip, r.fuses), fuses);
        EXPECT_FALSE(chip->SecuredCell());
        ExpectNoViolations();
    }
}

// The read-back names the lock not taken; there is no fuse to name.
TEST_F(JtagIscCpldTest, SecureThatDoesNotTakeIsASecurityError) {
    for (const JtagIscCpldRecord& r : {kJtagIscCpldRecords[0], kJtagIscCpldRecords[6]}) {
        SCOPED_TRACE(r.name);
        ASSERT_TRUE(SelectPld("ATMEL", r.name));
        Reseat();
        sim::IscCpldChip* chip = Seat(r.name);
        chip->StickCell(r.securityFuse);
        EXPECT_EQ(Run(OpSecurity), -1);
        ExpectLinesInOrder({"Security error!", " Security cell not programmed (the secured bit reads 0)."});
        EXPECT_EQ(DatumLines(), "");
        EXPECT_FALSE(chip->SecuredCell());
    }
}

TEST_F(JtagIscCpldTest, FiveVoltsOnAThreeVoltPartIsAViolation) {
    ASSERT_TRUE(SelectPld("ATMEL", "ATF1504AS"));
    Seat("ATF1504ASV");
    Run(OpBlankCheck);
    bool found = false;
    for (const auto& v : simp.Violations()) found |= v.find("above the part's maximum") != std::string::npos;
    EXPECT_TRUE(found);
}

TEST_F(JtagIscCpldTest, PinsByPackageAndTapTraffic) {
    struct Case {
        const char* name;
        int tms, tck, tdi, tdo, hv;
    };
    const Case cases[] = {{"ATF1504AS", 15, 34, 9, 40, 46}, {"ATF1504AS@TQFP100", 7, 8, 5, 6, 13},
                          {"ATF1508AS", 7, 8, 5, 6, 13}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SelectPld("ATMEL", c.name));
        Reseat();
        sim::IscCpldChip* chip = Seat(c.name);
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        const JtagIscState& s = CurrentAlgorithm == 249 ? Alg249State : Alg298State;
        EXPECT_EQ((std::vector<int>{s.Tms, s.Tck, s.Tdi, s.Tdo, s.HighVoltage}),
                  (std::vector<int>{c.tms, c.tck, c.tdi, c.tdo, c.hv}));
        // Reset first, then Run-Test/Idle.
        const auto& trace = chip->Tap().Trace();
        ASSERT_GE(trace.size(), 6u);
        for (size_t i = 0; i < 5; ++i) EXPECT_EQ(trace[i].state, sim::TapState::TestLogicReset) << i;
        EXPECT_EQ(trace[5].state, sim::TapState::RunTestIdle);
        // The erase pulse: armed, then at least the erase time between the two instructions.
        ASSERT_EQ(chip->Pulses().size(), 1u);
        EXPECT_TRUE(chip->Pulses()[0].erase);
        EXPECT_GE(chip->Pulses()[0].widthUs, 200000u);
        ExpectNoViolations();
    }
}

} // namespace
