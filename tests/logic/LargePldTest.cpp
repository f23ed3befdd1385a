// Rows 242 (1500 type) and 248 (V750 type) end to end against their models:
// every record, identification refusals, the security check, injected
// faults and the edit-mode traffic.
#include "logic/GalIdString.h"
#include "tests/logic/PldFixture.h"

namespace {

class LargePldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0; // the cycles verify on their own
    }
    sim::LargePldChip* SelectAndSeat(const sim::LargePldFacts& f) {
        EXPECT_TRUE(SelectPld(f.maker, f.name));
        socket->Clear();
        elec->WithdrawAllChips();
        return SeatLarge(f);
    }
    static sim::LargePldFacts Facts(const char* name) { return *sim::FindLargePld("ATMEL", name); }
    static size_t Writes(const sim::LargePldChip* chip) {
        size_t n = 0;
        for (const auto& s : chip->Strobes()) n += s.write;
        return n;
    }
};

// Variant 0 has no cell for fuse 24993: its map ends at 24992, so no fuse
// of a file is dropped.
TEST_F(LargePldTest, Row242Variant0Record) { RunCycle({"ATMEL", "ATF1500", 24993, 152, 0, 24993}); }
TEST_F(LargePldTest, Row242Variant1Record) { RunCycle({"ATMEL", "ATF1500A", 24994, 152, 0, 24994}); }

// A row-242 part answering another text: each run ends at " Invalid Chip ID.".
TEST_F(LargePldTest, Row242AnotherTextEndsTheRunAtItsLine) {
    for (const char* name : {"ATF1500", "ATF1500A"}) {
        SCOPED_TRACE(name);
        sim::LargePldChip* chip = SelectAndSeat(Facts(name));
        LoadFuses(Pattern(DeviceSize, 6), FuseRowLength);
        ExpectIdentityRefusedAtItsLine(chip, " Invalid Chip ID.");
        EXPECT_EQ(Writes(chip), 0u);
    }
}

// The ATV750 and ATV750L maps end at fuse 14393; variants 2 and 6 keep fuse
// 14499 at 0; no part has a cell for fuse 14394. A secured part is refused
// by the read.
TEST_F(LargePldTest, Row248Records) {
    RunCycle({.maker = "ATMEL", .name = "ATV750", .fuses = 14394, .rowWidth = 84, .ues = 0, .arrayFuses = 0,
              .securedReadRefused = true});
    RunCycle({.maker = "ATMEL", .name = "ATV750B", .fuses = 14501, .rowWidth = 84, .ues = 14435, .arrayFuses = 0,
              .zeroFuse = 14499, .absentFuse = 14394, .securedReadRefused = true});
}
TEST_F(LargePldTest, Row248LowPowerRecords) {
    RunCycle({.maker = "ATMEL", .name = "ATV750L", .fuses = 14394, .rowWidth = 84, .ues = 0, .arrayFuses = 0,
              .securedReadRefused = true});
    RunCycle({.maker = "ATMEL", .name = "ATV750BL", .fuses = 14501, .rowWidth = 84, .ues = 14435, .arrayFuses = 0,
              .zeroFuse = 14499, .absentFuse = 14394, .securedReadRefused = true});
}

// A file that sets fuse 14394, which no V750 holds: past the map of the
// first parts, so the reader refuses it; inside the B parts' map, so their
// Program and Verify refuse it before the part is touched, and Read gives
// it the part's 0.
TEST_F(LargePldTest, Row248FileSettingTheCelllessFuseIsRefused) {
    std::vector<uint8_t> fuses(14395, 0);
    fuses[14394] = 1;
    ASSERT_TRUE(SelectPld("ATMEL", "ATV750"));
    WriteJedec("cellless.jed", fuses, 84);
    uint32_t sum = 0, blown = 0;
    EXPECT_EQ(LoadJedecFile("cellless.jed", sum, blown), -1);
    EXPECT_TRUE(HasLine(" The file sets fuse 14394; the device has fuses 0 to 14393 only.")) << LogText();

    for (const char* name : {"ATV750B", "ATV750BL"}) {
        SCOPED_TRACE(name);
        sim::LargePldChip* chip = SelectAndSeat(Facts(name));
        fuses.assign(14501, 0);
        fuses[14394] = 1;
        fuses[3] = 1;
        LoadFuses(fuses, 84);
        for (int op : {OpProgram, OpVerify}) {
            EXPECT_EQ(Run(op), -1);
            EXPECT_TRUE(HasLine(" Fuse 14394 has no cell in this device.")) << LogText();
            EXPECT_TRUE(HasLine(" Fail address : 14394(383Ah)")) << LogText();
            EXPECT_TRUE(chip->Strobes().empty());
            EXPECT_TRUE(chip->Blank());
        }
        // Read gives the fuse the part's 0 (it used to leave the buffer's 1).
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(GetBufferBit(14394), 0u);
        ExpectNoViolations();
    }
}

// A refused identification: " Invalid Chip ID." (242) or " Invalid Chip
// ID!" (248), powered down, no row loaded but the identification, nothing
// written. "CL" parts are refused by variant 2 only.
TEST_F(LargePldTest, IdentificationRefusals) {
    struct Case {
        const char* record;
        const char* part;
        const char* id;
        const char* line; // nullptr: accepted
    };
    const Case cases[] = {
        {"ATF1500A", "ATF1500A", "001F15000001", " Invalid Chip ID."},
        {"ATF1500", "ATF1500", "001F1500A00F", " Invalid Chip ID."},
        {"ATV750", "ATV750", "001FV751C000", " Invalid Chip ID!"},
        {"ATV750", "ATV750", "001FV750C001", " Invalid Chip ID!"},
        {"ATV750", "ATV750L", "001FV750CL00", nullptr},
        {"ATV750B", "ATV750L", "001FV750CL00", " Invalid Chip ID!"},
        {"ATV750B", "ATV750BL", "001FV750CL03", " Invalid Chip ID!"},
        {"ATV750BL", "ATV750BL", "001FV750CL03", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.record) + " " + c.id);
        sim::LargePldFacts f = Facts(c.part);
        f.idText = c.id;
        ASSERT_TRUE(SelectPld("ATMEL", c.record));
        socket->Clear();
        elec->WithdrawAllChips();
        sim::LargePldChip* chip = SeatLarge(f);
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        for (int op : {OpBlankCheck, OpProgram, OpErase, OpSecurity}) {
            SCOPED_TRACE(op);
            chip->ClearStrobes();
            const int r = Run(op);
            if (c.line == nullptr) {
                if (op == OpBlankCheck) {
                    EXPECT_EQ(r, 1) << LogText();
                }
                continue;
            }
            EXPECT_EQ(r, -1);
            EXPECT_TRUE(HasLine(c.line)) << LogText();
            EXPECT_EQ(Writes(chip), 0u);
            EXPECT_TRUE(elec->SuppliedPins().empty());
        }
        if (c.line != nullptr) {
            EXPECT_TRUE(chip->Blank());
            EXPECT_FALSE(chip->Secured());
        }
        ExpectNoViolations();
    }
}

// A secured V750 is refused by Read and Program (" Device Secured!") and
// still erased; one that will not secure fails Secure, naming the lock
// without a fuse address.
TEST_F(LargePldTest, Row248SecurityCheck) {
    sim::LargePldChip* chip = SelectAndSeat(Facts("ATV750B"));
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    EXPECT_TRUE(HasLine("Security ok!"));
    ASSERT_TRUE(chip->Secured());
    LoadFuses(Pattern(14501), 84);
    for (int op : {OpRead, OpProgram, OpVerify, OpBlankCheck}) {
        SCOPED_TRACE(op);
        chip->ClearStrobes();
        EXPECT_EQ(Run(op), -1);
        EXPECT_TRUE(HasLine(" Device Secured!"));
        EXPECT_EQ(Writes(chip), 0u);
    }
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_FALSE(chip->Secured());
    EXPECT_TRUE(chip->Blank());

    chip = SelectAndSeat(Facts("ATV750B"));
    chip->StickSecurity();
    EXPECT_EQ(Run(OpSecurity), -1);
    ExpectLinesInOrder({"Security error!", " Security cell not programmed (the security row's last bit reads 1)."});
    EXPECT_EQ(DatumLines(), "");
    ExpectNoViolations();
}

// Row 248 with another part seated: every record's Blank check, Program and
// Verify end at " Invalid Chip ID!" with no fail address, nothing written.
TEST_F(LargePldTest, Row248AnotherPartEndsTheRunAtTheIdentityLine) {
    for (const char* name : {"ATV750", "ATV750L", "ATV750B", "ATV750BL"}) {
        SCOPED_TRACE(name);
        sim::LargePldChip* chip = SelectAndSeat(Facts(name));
        chip->AnswerAnotherIdentity();
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        ExpectRunsEndAtIdentityLine(" Invalid Chip ID!");
        EXPECT_EQ(Writes(chip), 0u);
        EXPECT_TRUE(chip->Blank());
        chip->AnswerAnotherIdentity(false);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        ExpectNoViolations();
    }
}

// Twelve FFh bytes: 20 us program pulses and 200 us erase pulses.
TEST_F(LargePldTest, Row242BlankIdentificationUsesShortPulses) {
    sim::LargePldFacts f = Facts("ATF1500A");
    f.idText = "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF";
    f.pulseUs = 20;
    f.eraseUs = 200;
    sim::LargePldChip* chip = SelectAndSeat(f);
    std::vector<uint8_t> fuses(24994, 1);
    fuses[100] = 0;
    LoadFuses(fuses, 152);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->Cell(100), 0);
    for (const auto& s : chip->Strobes()) {
        if (!s.write) continue;
        EXPECT_GE(s.widthUs, 20u);
        EXPECT_LT(s.widthUs, 1000u);
    }
    chip->ClearStrobes();
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_TRUE(chip->Blank());
    int erases = 0;
    for (const auto& s : chip->Strobes()) {
        if (!s.write || s.address != 246) continue;
        ++erases;
        EXPECT_GE(s.widthUs, 200u);
        EXPECT_LT(s.widthUs, 1000u);
    }
    EXPECT_EQ(erases, 3);
    ExpectNoViolations();
}

// Variant 0: every row load at 5.0 V, every write at 6.2 V; bit 176 on the
// data pin without a clock (row 1's is fuse 24992).
TEST_F(LargePldTest, Row242Traffic) {
    sim::LargePldChip* chip = SelectAndSeat(Facts("ATF1500"));
    VerifyAfterProgram = 1;
    std::vector<uint8_t> fuses(24993, 1);
    fuses[24992] = 0;
    LoadFuses(fuses, 152);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->Cell(24992), 0);
    int loads = 0;
    bool first = true; // follows the identification's 176 clocks
    for (const auto& s : chip->Strobes()) {
        if (s.write) {
            EXPECT_NEAR(s.vccTenths, 62, 1);
            EXPECT_EQ(s.clocks, first ? 352u : 176u);
            first = false;
            EXPECT_EQ(s.dataIn, s.address == 1 ? 0 : 1) << s.address;
        } else {
            EXPECT_NEAR(s.vccTenths, 50, 1);
            ++loads;
        }
    }
    EXPECT_EQ(loads, 2 + 153); // the identifications, then the verify's rows
    ExpectNoViolations();

    // Without the entry sequence (a variant-1 record) the part stays
    // silent: its data pin floats high, so the programmed part looks blank.
    ASSERT_TRUE(SelectPld("ATMEL", "ATF1500A"));
    chip->ClearStrobes();
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    EXPECT_EQ(chip->Cell(24992), 0);
    EXPECT_TRUE(chip->Strobes().empty());
}

// Variant 0 clears 14395-14500 whenever it opens, so a verify expects 0
// there; bit 6 of each row address rides on the data pin; row 0 position
// 85 is fuse 8820.
TEST_F(LargePldTest, Row248VariantClearingAndTraffic) {
    sim::LargePldChip* chip = SelectAndSeat(Facts("ATV750"));
    std::vector<uint8_t> fuses(14394, 1);
    fuses[8820] = 0;
    LoadFuses(fuses, 84);
    SetBufferBit(14400, 1);
    SetBufferBit(14499, 1);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(GetBufferBit(14400), 0u);
    EXPECT_EQ(GetBufferBit(14499), 0u);
    EXPECT_EQ(chip->FuseAt(0, 85), 8820u);
    EXPECT_EQ(chip->Cell(8820), 0);
    EXPECT_EQ(chip->Cell(14499), 0);
    SetBufferBit(14400, 1);
    EXPECT_EQ(Run(OpVerify), 1) << LogText(); // the open clears it again
    std::vector<int> writes;
    for (const auto& s : chip->Strobes()) {
        if (!s.write) continue;
        writes.push_back(s.address);
        EXPECT_EQ(s.dataIn, (s.address >> 6) & 1);
    }
    std::vector<int> expected;
    for (int r = 0; r < 85; ++r) expected.push_back(r);
    expected.push_back(125); // 14499
    expected.push_back(125); // 14500
    for (int r = 96; r <= 102; ++r) expected.push_back(r);
    EXPECT_EQ(writes, expected);
    ExpectNoViolations();
}

} // namespace
