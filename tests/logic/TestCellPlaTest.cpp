// Rows 285, 287 and 288 end to end against the test-cell array models:
// every record through the driver, test cells blown first and only while
// programming, every fuse reached once in map order, a test cell or a fuse
// that never blows, a user break, and the variants past row 285's table.
#include <cstdio>

#include "engine/RowDef.h"
#include "sim/TestCellPlaChip.h"
#include "tests/logic/PldFixture.h"
#include "sim/PartFacts.h"

namespace {

struct PlaRecord {
    const char* maker;
    const char* name;
    uint32_t row, variant, fuses, rowLength;
    sim::StrobePlaLayout layout; // rows 285, 288
    int level;
};
constexpr PlaRecord kPlaRecords[] = {
    {"PHILIPS", "PLS153", 285, 0, 1842, 46, sim::StrobePlaLayout::Pla18, 175},
    {"PHILIPS", "PLS153A", 285, 1, 1842, 46, sim::StrobePlaLayout::Pla18, 175},
    {"GENERIC-ALGORITHM", "OTPPLA1842T", 285, 2, 1842, 46, sim::StrobePlaLayout::Pla18Tested, 175},
    {"GENERIC-ALGORITHM", "OTPSEQ2108-3", 285, 3, 2108, 54, sim::StrobePlaLayout::Seq16A, 145},
    {"GENERIC-ALGORITHM", "OTPSEQ2108-4", 285, 4, 2108, 54, sim::StrobePlaLayout::Seq16B, 145},
    {"GENERIC-ALGORITHM", "OTPSEQ2108-5", 285, 5, 2108, 54, sim::StrobePlaLayout::Seq16C, 145},
    {"GENERIC-ALGORITHM", "OTPSEQ2108-6", 285, 6, 2108, 54, sim::StrobePlaLayout::Seq16C, 175},
    {"PHILIPS", "PLS173", 288, 0, 2178, 54, sim::StrobePlaLayout::Pla22, 175},
    {"SIGNETICS(PHILIPS)", "82S100", 287, 0, 1928, 40, sim::StrobePlaLayout::Pla18, 0},
};

std::string PlaFailLine(uint32_t n) {
    char line[64];
    std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", n, n);
    return line;
}

class TestCellPlaTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    static sim::TestCellCount* Counter(sim::BipolarFuseChip* chip) { return sim::SeatedModel<sim::TestCellCount>(chip); }
    sim::BipolarFuseChip* Seat(const PlaRecord& r) {
        EXPECT_TRUE(SelectPld(r.maker, r.name)) << r.name;
        EXPECT_EQ(CurrentAlgorithm, r.row);
        EXPECT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(DeviceVariant, r.variant);
        if (r.row == 287) return SeatAlone<sim::FplaChip>(sim::FplaFacts{r.maker, r.name});
        return SeatAlone<sim::StrobePlaChip>(sim::StrobePlaFacts{r.maker, r.name, r.layout, r.level});
    }
    // The part's test cells, in the order the row blows them.
    static std::vector<uint32_t> TestCells(const PlaRecord& r, const sim::BipolarFuseChip* chip) {
        std::vector<uint32_t> cells;
        for (uint32_t n = r.fuses; n < chip->Fuses(); ++n) cells.push_back(n);
        return cells;
    }
    static std::vector<uint8_t> Blown(const sim::BipolarFuseChip* chip, uint32_t fuses) {
        std::vector<uint8_t> b(fuses);
        for (uint32_t n = 0; n < fuses; ++n) b[n] = chip->Blown(n) ? 1 : 0;
        return b;
    }
};

// Each record: blank check, program from a JEDEC file with the verify
// (test cells first, then exactly the map's 1s), read into a cleared
// buffer, the saved file keeps its "C" field; reads neither pulse nor
// look at a test cell.
TEST_F(TestCellPlaTest, EveryRecordThroughTheDriver) {
    for (const PlaRecord& r : kPlaRecords) {
        SCOPED_TRACE(r.name);
        sim::BipolarFuseChip* chip = Seat(r);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        const std::vector<uint8_t> fuses = Pattern(r.fuses, r.row + r.variant);
        LoadFuses(fuses, r.rowLength);
        VerifyAfterProgram = 1;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        VerifyAfterProgram = 0;
        EXPECT_EQ(Blown(chip, r.fuses), fuses);
        // The test cells lead (row 287: its product-term cells after the
        // polarity fuses; its output-array cells lead that array).
        const std::vector<uint32_t> tests = TestCells(r, chip);
        std::vector<uint32_t> pulses;
        for (uint32_t n : chip->Pulses())
            if (r.row != 287 || n < 1920 || n >= 1928) pulses.push_back(n);
        const size_t lead = r.row == 287 ? 32 : tests.size();
        ASSERT_GE(pulses.size(), lead);
        EXPECT_EQ(std::vector<uint32_t>(pulses.begin(), pulses.begin() + static_cast<long>(lead)),
                  std::vector<uint32_t>(tests.begin(), tests.begin() + static_cast<long>(lead)));
        for (uint32_t n : tests) EXPECT_TRUE(chip->Blown(n)) << n;
        EXPECT_EQ(Counter(chip)->TestCellReads() > 0, !tests.empty());
        chip->ClearPulses();
        Counter(chip)->ClearTestCellReads();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        EXPECT_TRUE(chip->Pulses().empty());
        EXPECT_EQ(Counter(chip)->TestCellReads(), 0u);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
        EXPECT_EQ(Run(OpBlankCheck), -1) << LogText();
        ExpectNoViolations();
    }
}

// An all-1 map: after the test cells every fuse is pulsed once, in map
// order, and none outside the map; row 285 variants 0 and 1 have no test
// cells, variant 2 its ten.
TEST_F(TestCellPlaTest, EveryFuseReachedOnceAfterTheTestCells) {
    for (const PlaRecord& r : kPlaRecords) {
        SCOPED_TRACE(r.name);
        sim::BipolarFuseChip* chip = Seat(r);
        SetUserFuses(std::vector<uint8_t>(r.fuses, 1));
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        std::vector<uint32_t> expected = TestCells(r, chip);
        if (r.row == 287) {
            // Polarity fuses first (with the part unpowered), then each array
            // after its own test cells.
            expected.clear();
            for (uint32_t k = 0; k < 8; ++k) expected.push_back(1920 + k);
            for (int c = 0; c < 32; ++c) expected.push_back(sim::FplaChip::TermTestCell(c));
            for (uint32_t t = 0; t < 48; ++t)
                for (uint32_t c = 0; c < 32; ++c) expected.push_back(40 * t + c);
            for (int k = 0; k < 8; ++k) expected.push_back(sim::FplaChip::OutputTestCell(k));
            for (uint32_t t = 0; t < 48; ++t)
                for (uint32_t k = 0; k < 8; ++k) expected.push_back(40 * t + 32 + k);
        } else {
            for (uint32_t n = 0; n < r.fuses; ++n) expected.push_back(n);
        }
        EXPECT_EQ(chip->Pulses(), expected);
        if (r.row == 285) {
            EXPECT_EQ(chip->Fuses() - r.fuses, r.variant == 0 || r.variant == 1 ? 0u : r.variant == 2 ? 10u : 42u);
        }
        ExpectNoViolations();
    }
}

// A test cell that never blows stops programming before any map fuse,
// with no fail address; a map fuse that never blows fails at its fuse
// after one pulse.
TEST_F(TestCellPlaTest, CellNeverBlowingStopsProgramming) {
    for (size_t i : {2u, 3u, 7u, 8u}) {
        const PlaRecord& r = kPlaRecords[i];
        SCOPED_TRACE(r.name);
        sim::BipolarFuseChip* chip = Seat(r);
        const uint32_t test = r.fuses + 1;
        chip->StickCell(test);
        LoadFuses(std::vector<uint8_t>(r.fuses, 1), r.rowLength);
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        // A test cell has no fuse number: the fail address stays unset.
        EXPECT_TRUE(HasLine(PlaFailLine(0))) << LogText();
        ASSERT_FALSE(chip->Pulses().empty());
        EXPECT_EQ(chip->Pulses().back(), test);
        for (uint32_t n = 0; n < (r.row == 287 ? 1920 : r.fuses); ++n) ASSERT_FALSE(chip->Blown(n)) << n;

        chip = Seat(r);
        const uint32_t fuse = r.row == 287 ? 40 * 3 + 33 : 700;
        chip->StickCell(fuse);
        std::vector<uint8_t> fuses(r.fuses, 0);
        fuses[fuse] = fuses[fuse + 1] = 1;
        LoadFuses(fuses, r.rowLength);
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine(PlaFailLine(fuse))) << LogText();
        EXPECT_EQ(std::count(chip->Pulses().begin(), chip->Pulses().end(), fuse), 1);
        EXPECT_FALSE(chip->Blown(fuse + 1));
        ExpectNoViolations();
    }
}

// A fuse blown where the map says 0 fails the verify at its fuse; row 287
// shows it through the output's polarity.
TEST_F(TestCellPlaTest, VerifyFailsAtTheFuse) {
    for (size_t i : {0u, 7u, 8u}) {
        const PlaRecord& r = kPlaRecords[i];
        SCOPED_TRACE(r.name);
        sim::BipolarFuseChip* chip = Seat(r);
        const uint32_t fuse = r.row == 287 ? 40 * 47 + 32 + 5 : r.fuses - 3;
        chip->SetBlown(fuse, true);
        if (r.row == 287) chip->SetBlown(1925, true);
        std::vector<uint8_t> fuses(r.fuses, 0);
        if (r.row == 287) fuses[1925] = 1;
        LoadFuses(fuses, r.rowLength);
        EXPECT_EQ(Run(OpVerify), -1);
        EXPECT_TRUE(HasLine(PlaFailLine(fuse))) << LogText();
        EXPECT_TRUE(chip->Pulses().empty());
        ExpectNoViolations();
    }
}

// ESC answered No during a read walk ends it as a failure.
TEST_F(TestCellPlaTest, UserBreakInReadWalk) {
    for (size_t i : {0u, 7u, 8u}) {
        SCOPED_TRACE(kPlaRecords[i].name);
        Seat(kPlaRecords[i]);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), -1) << LogText();
        EXPECT_TRUE(HasLine("Read error!")) << LogText();
        ExpectNoViolations();
    }
}

// Row 285 has seven variants: the librarian refuses a record past them,
// and the row refuses one before the socket is touched.
TEST_F(TestCellPlaTest, VariantPastTheTableRefused) {
    const RowDef* def = RowDefinition(285);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(RowRecordRefusal(*def, {.Variant = 6}), "");
    EXPECT_NE(RowRecordRefusal(*def, {.Variant = 7}), "");
    sim::BipolarFuseChip* chip = Seat(kPlaRecords[0]);
    DeviceVariant = 7;
    for (int op : {OpBlankCheck, OpProgram, OpRead}) {
        EXPECT_EQ(Run(op), -1);
        EXPECT_TRUE(HasLine(" Device not supported!")) << LogText();
    }
    EXPECT_TRUE(chip->Pulses().empty());
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace
