// Row 219 end to end: every GAL16V8 record of the library against its part
// in the simulator, PAL-type files, injected faults and the edit-mode traffic.
#include "engine/AlgorithmTable.h"
#include "logic/FuseCells.h"
#include "sim/Catalog.h"
#include "sim/Universal.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr uint32_t kFuses = 2194;

struct Gal16v8Record {
    const char* maker;
    const char* name;
};
const Gal16v8Record kGal16v8Records[] = {
    {"LATTICE", "GAL16V8"}, {"LATTICE", "GAL16V8B"}, {"LATTICE", "GAL16V8D"},
    {"NATIONAL-SEMICONDUCTOR", "GAL16V8"}, {"ST", "GAL16V8"},
};

class Gal16v8Test : public PldRun {
protected:
    // Each run does what the test names; program verifies unless told.
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    static void ClearUserMap() { PldRun::ClearUserMap(kFuses); }
};

TEST_F(Gal16v8Test, EveryRecordProgramsReadsErasesAndSecures) {
    for (const Gal16v8Record& r : kGal16v8Records) RunCycle({r.maker, r.name, kFuses, 32, 2056, 2048});
}

// JEDEC files of PAL types: the part holds the GAL image the datasheet's map
// gives for that type, and a read brings the PAL map back.
TEST_F(Gal16v8Test, PalTypeFilesProgramTheirImage) {
    struct Case {
        int index;
        uint32_t fuses;
        int syn, ac0;
    };
    const Case cases[] = {{3, 328, 1, 0}, {8, 448, 1, 0}, {18, 2048, 0, 1}}; // 10P8, 14L4, 16R8
    for (const Case& c : cases) {
        SCOPED_TRACE(PalEmulationNames[0][c.index]);
        ASSERT_TRUE(SelectPld("LATTICE", "GAL16V8D"));
        socket->Clear();
        sim::GalChip* chip = SeatGal("LATTICE", "GAL16V8D");
        ApplyPalEmulationChoice(c.index, 0);
        ASSERT_EQ(DeviceSize, c.fuses);
        const std::vector<uint8_t> fuses = Pattern(c.fuses, static_cast<uint32_t>(c.index));
        LoadFuses(fuses, PalEmulationGeometry[0][c.index].RowWidth);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();

        const int row = c.index;
        uint32_t k = 0;
        for (uint32_t term = 0; term < 64; ++term) {
            const bool used = (PalEmulationMasks[row][5 + term / 8] >> (term % 8)) & 1;
            EXPECT_EQ(chip->Cell(2128 + term), used ? 1 : 0) << term;
            for (uint32_t col = 0; col < 32; ++col) {
                const bool absent = (PalEmulationMasks[row][col / 8] >> (7 - col % 8)) & 1;
                const int expected = absent ? 1 : used ? fuses[k++] : 0;
                ASSERT_EQ(chip->Cell(term * 32 + col), expected) << term << "/" << col;
            }
        }
        EXPECT_EQ(chip->Cell(2192), c.syn);
        EXPECT_EQ(chip->Cell(2193), c.ac0);
        if (c.index == 3) { // polarity after the array
            for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(chip->Cell(2048 + i), fuses[320 + i]) << i;
        }

        ClearUserMap();
        EXPECT_EQ(Run(OpRead), 1);
        EXPECT_EQ(UserFuses(c.fuses), fuses);
        EXPECT_EQ(Run(OpErase), 1);
    }
}

// Verify compares the part with the map loaded now, not with the image the
// last Program built: a file differing in two fuses fails at the first.
TEST_F(Gal16v8Test, VerifyComparesThePartWithTheFileLoadedNow) {
    for (const Gal16v8Record& r : {Gal16v8Record{"LATTICE", "GAL16V8"}, Gal16v8Record{"LATTICE", "GAL20V8B"}}) {
        SCOPED_TRACE(r.name);
        SelectAndSeat(r.maker, r.name);
        std::vector<uint8_t> fuses = Pattern(DeviceSize, 11);
        LoadFuses(fuses, FuseRowLength);
        ASSERT_EQ(Run(OpProgram), 1) << LogText();
        fuses[5] ^= 1;
        fuses[100] ^= 1;
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpVerify), -1) << LogText();
        EXPECT_TRUE(HasLine("Verification error!")) << LogText();
        // The walk meets fuse 100 first on the 16V8 (32 rows), fuse 5 on the 20V8 (40 rows).
        EXPECT_TRUE(HasLine(DeviceSize == 2194 ? " Fail address : 100(64h)" : " Fail address : 5(5h)")) << LogText();
        fuses[5] ^= 1;
        fuses[100] ^= 1;
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
    }
}

TEST_F(Gal16v8Test, CellThatNeverProgramsFailsVerifyAtItsFuse) { ExpectStuckCellFailsVerify("LATTICE", "GAL16V8"); }

TEST_F(Gal16v8Test, BadSignatureRefusesEveryOperationBeforeAnyFuse) {
    ExpectRefusedEverywhere(Changed("LATTICE", "GAL16V8", [](sim::GalPartFacts& f) { f.voltageCode = 6; }),
                            " Incorrect device ID");
    ExpectRefusedEverywhere(Changed("LATTICE", "GAL16V8", [](sim::GalPartFacts& f) { f.makerCode = 0; }),
                            " Incorrect device ID");
}

// Every record's part answering another maker's signature: each run ends at
// " Incorrect device ID", nothing written.
TEST_F(Gal16v8Test, AnotherSignatureEndsTheRunAtItsLine) {
    for (const Gal16v8Record& r : kGal16v8Records) {
        SCOPED_TRACE(std::string(r.maker) + " " + r.name);
        sim::GalChip* chip = SelectAndSeat(r.maker, r.name);
        LoadFuses(Pattern(kFuses, 2), 32);
        ExpectIdentityRefusedAtItsLine(chip, " Incorrect device ID");
        EXPECT_EQ(Writes(chip), 0u);
    }
}

TEST_F(Gal16v8Test, EmptySocketAtEitherFloatingLevelIsNoDevice) {
    ASSERT_TRUE(SelectPld("LATTICE", "GAL16V8"));
    for (int level : {0, 1}) {
        sim::FindPinDriver(simp)->SetFloatingLevel(level);
        EXPECT_EQ(Run(OpBlankCheck), -1);
        EXPECT_TRUE(HasLine(" Incorrect device ID")) << level;
    }
}

TEST_F(Gal16v8Test, UserBreakStopsProgramAsABreakAndReadWithThePartialMap) {
    ASSERT_TRUE(SelectPld("LATTICE", "GAL16V8"));
    sim::GalChip* chip = SeatGal("LATTICE", "GAL16V8");
    LoadFuses(std::vector<uint8_t>(kFuses, 0), 32);
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), 3);
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    EXPECT_FALSE(HasLine("Program ok!"));
    size_t writes = 0;
    for (const auto& s : chip->Strobes()) writes += s.write;
    EXPECT_GT(writes, 0u);
    EXPECT_LT(writes, 34u);

    // The entry itself powers the socket down before it reports the break.
    PrepareOperation(MainEngine);
    ResetProgress();
    ui.BreakAtPercent = 10;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(AlgorithmTable[219].Program(), 3);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    EXPECT_EQ(Run(OpErase), 1);

    // A read stopped by the user fails, and what was read is in the map.
    chip->SetCell(0, 0);
    chip->SetCell(32, 0);
    for (uint32_t n = 0; n < kFuses; ++n) SetBufferBit(n, 1);
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1);
    EXPECT_EQ(GetBufferBit(0), 0u);
    EXPECT_EQ(GetBufferBit(32), 0u);
    EXPECT_EQ(GetBufferBit(64), 1u);
    ExpectNoViolations();
}

// The programming table by maker and voltage code, against parts that need
// exactly those conditions.
TEST_F(Gal16v8Test, ProgrammingConditionsFollowTheSignature) {
    struct Case {
        const char* maker;
        const char* name;
        int tenths;
        uint64_t pulseUs;
    };
    const Case cases[] = {{"NATIONAL-SEMICONDUCTOR", "GAL16V8", 165, 15000}, {"LATTICE", "GAL16V8D", 125, 5000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maker);
        ASSERT_TRUE(SelectPld(c.maker, c.name));
        socket->Clear();
        sim::GalChip* chip = SeatGal(c.maker, c.name);
        LoadFuses(Pattern(kFuses, 3), 32);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        for (const auto& s : chip->Strobes()) {
            if (!s.write) continue;
            EXPECT_NEAR(s.editTenths, c.tenths, 1);
            EXPECT_GE(s.widthUs, c.pulseUs);
            EXPECT_LT(s.widthUs, c.pulseUs + 2000); // the timer's own wait
        }
        // A part that needs the other column's conditions takes nothing.
        socket->Clear();
        const bool national = std::string(c.maker) != "LATTICE";
        sim::GalPartFacts swapped = GalFacts(c.maker, c.name);
        swapped.programTenths = national ? 162 : 150;
        swapped.pulseUs = national ? 10000 : 50000;
        sim::GalChip* other = SeatGal(swapped);
        EXPECT_EQ(Run(OpProgram), -1) << LogText(); // the verify after programming fails
        EXPECT_TRUE(other->Blank()); // 16.5 V is outside 16.2 +- 0.2 V; 5 ms is short of 50 ms
    }
}

// Every entry of the row's programming table, written out from the table's
// text: maker 8Fh has its own voltages and pulses.
TEST_F(Gal16v8Test, EveryProgrammingTableEntry) {
    ExpectProgrammingTable("LATTICE", "GAL16V8D",
                           {{0, 0x8F, 157, 90}, {1, 0x8F, 157, 90}, {2, 0x8F, 165, 15}, {3, 0x8F, 155, 15},
                            {4, 0x8F, 150, 50}, {5, 0x8F, 150, 50}, {0, 0xA1, 157, 80}, {1, 0xA1, 157, 80},
                            {2, 0xA1, 162, 10}, {3, 0xA1, 145, 40}, {4, 0x20, 140, 40}, {5, 0x20, 125, 5}});
}

TEST_F(Gal16v8Test, EditModeTraffic) {
    ASSERT_TRUE(SelectPld("LATTICE", "GAL16V8"));
    // The architecture row in the part's own layout, by type code.
    for (uint8_t type : {uint8_t{25}, uint8_t{26}}) {
        SCOPED_TRACE(static_cast<int>(type));
        socket->Clear();
        sim::GalPartFacts f = GalFacts("LATTICE", "GAL16V8");
        f.typeCode = type;
        f.layout = type >= 26 ? sim::GalArchLayout::Late16V8 : sim::GalArchLayout::Early16V8;
        sim::GalChip* chip = SeatGal(f);
        const std::vector<uint8_t> fuses = Pattern(kFuses, type);
        LoadFuses(fuses, 32);
        VerifyAfterProgram = 0;
        EXPECT_EQ(Run(OpProgram), 1);
        EXPECT_EQ(Cells(chip, kFuses), fuses);

        // Program: the signature, then each row loaded and written at the
        // address put on the pins before its strobe.
        std::vector<std::pair<int, bool>> expected{{58, false}};
        for (int a = 0; a <= 32; ++a) {
            expected.emplace_back(a, false);
            expected.emplace_back(a, true);
        }
        expected.emplace_back(60, false);
        expected.emplace_back(60, true);
        EXPECT_EQ(Sequence(chip), expected);
        EXPECT_EQ(chip->Strobes().back().clocks, 82u);

        // Verify: 64 clocks for the signature, one fewer than the bits for
        // each row (82 bits, 81 clocks); none after the last row.
        chip->ClearStrobes();
        EXPECT_EQ(Run(OpVerify), 1);
        const auto& s = chip->Strobes();
        ASSERT_EQ(s.size(), 35u);
        EXPECT_EQ(s[1].clocks, 64u);
        for (size_t k = 2; k < s.size(); ++k) EXPECT_EQ(s[k].clocks, 63u) << k;
        EXPECT_EQ(s.back().address, 60);
        EXPECT_EQ(chip->ClocksSinceStrobe(), 81u);
    }

    // Erase: address 63 without a load strobe, data in high, 130 ms.
    sim::GalChip* chip = static_cast<sim::GalChip*>(socket->Chips().back().get());
    chip->ClearStrobes();
    EXPECT_EQ(Run(OpErase), 1);
    ASSERT_GE(chip->Strobes().size(), 2u);
    const sim::GalStrobe erase = chip->Strobes()[1];
    EXPECT_EQ(erase.address, 63);
    EXPECT_TRUE(erase.write);
    EXPECT_TRUE(erase.dataIn);
    EXPECT_NEAR(static_cast<double>(erase.widthUs), 130000.0, 2000.0);

    // Secure: address 61 for the signature's pulse width.
    chip->ClearStrobes();
    EXPECT_EQ(Run(OpSecurity), 1);
    const sim::GalStrobe secure = chip->Strobes()[1];
    EXPECT_EQ(secure.address, 61);
    EXPECT_TRUE(secure.write);
    EXPECT_NEAR(static_cast<double>(secure.widthUs), 10000.0, 2000.0);
    ExpectNoViolations();
}

} // namespace
