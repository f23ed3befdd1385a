// Rows 272 and 273 end to end against the product-term fuse model: every
// record and every layout and polarity code through the driver, the fuse
// numbering over the existing cells, refused sub-variant codes, and
// injected part faults.
#include <cstdio>

#include "engine/RowDef.h"
#include "logic/OtpProductTermPal.h"
#include "sim/ProductTermPalChip.h"
#include "tests/logic/PldFixture.h"

namespace {

struct TermPalRecord {
    const char* maker;
    const char* name;
    uint32_t row, fuses;
};
constexpr TermPalRecord kTermPalRecords[] = {
    {"NATIONAL-SEMICONDUCTOR", "PAL10H8", 272, 320},   {"NATIONAL-SEMICONDUCTOR", "PAL10L8", 272, 320},
    {"NATIONAL-SEMICONDUCTOR", "PAL12H6", 272, 384},   {"NATIONAL-SEMICONDUCTOR", "PAL12L6", 272, 384},
    {"NATIONAL-SEMICONDUCTOR", "PAL14H4", 272, 448},   {"NATIONAL-SEMICONDUCTOR", "PAL14L4", 272, 448},
    {"NATIONAL-SEMICONDUCTOR", "PAL16H2", 272, 512},   {"NATIONAL-SEMICONDUCTOR", "PAL16L2", 272, 512},
    {"NATIONAL-SEMICONDUCTOR", "PAL16C1", 272, 512},   {"NATIONAL-SEMICONDUCTOR", "PAL16L8A", 272, 2048},
    {"AMD/MMI", "PAL12L10", 273, 480},                 {"AMD/MMI", "PAL14L8", 273, 560},
    {"AMD/MMI", "PAL16L6", 273, 640},                  {"AMD/MMI", "PAL20L2", 273, 640},
    {"AMD/MMI", "PAL20C1", 273, 640},                  {"NATIONAL-SEMICONDUCTOR", "PAL20L10A", 273, 1600},
    {"NATIONAL-SEMICONDUCTOR", "PAL20L8A", 273, 2560}, {"GENERIC-ALGORITHM", "PTPAL3200", 273, 3200},
};
const TermPalRecord& kTermPal10H8 = kTermPalRecords[0];
const TermPalRecord& kTermPal14H4 = kTermPalRecords[4];
const TermPalRecord& kTermPal12L10 = kTermPalRecords[10];

std::string TermPalFailLine(uint32_t n) {
    char line[64];
    std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", n, n);
    return line;
}

// The level of an intact cell on each half's outputs for a polarity code.
sim::ProductTermPalFacts TermPalFacts(uint32_t row, int layout, int polarity, int tenths) {
    if (row == 272) return {"X", "PT20", false, layout, {polarity == 0, polarity == 0 || polarity == 2}, tenths};
    return {"X", "PT24", true, layout, {polarity != 2, true}, tenths};
}

class OtpProductTermPalTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    static sim::ProductTermPalFacts FactsOf(const TermPalRecord& r) {
        const sim::ProductTermPalFacts* f = sim::FindFacts<sim::ProductTermPalFacts>(r.maker, r.name);
        EXPECT_NE(f, nullptr) << r.name;
        return f ? *f : sim::ProductTermPalFacts{};
    }
    sim::ProductTermPalChip* Seat(const TermPalRecord& r) { return Seat(r, FactsOf(r)); }
    sim::ProductTermPalChip* Seat(const TermPalRecord& r, const sim::ProductTermPalFacts& facts) {
        EXPECT_TRUE(SelectPld(r.maker, r.name)) << r.name;
        EXPECT_EQ(CurrentAlgorithm, r.row);
        return SeatAlone<sim::ProductTermPalChip>(facts);
    }
    static std::vector<uint8_t> Blown(const sim::ProductTermPalChip* chip) {
        std::vector<uint8_t> b(chip->Fuses());
        for (uint32_t n = 0; n < b.size(); ++n) b[n] = chip->Blown(n) ? 1 : 0;
        return b;
    }
    static std::vector<uint8_t> Only(uint32_t count, std::initializer_list<uint32_t> fuses) {
        std::vector<uint8_t> f(count, 0);
        for (uint32_t n : fuses)
            if (n < count) f[n] = 1;
        return f;
    }
};

// Every record: blank check, program from a JEDEC file, verify, read into a
// cleared buffer, the saved file keeps its "C" field; Secure (each variant's
// sequence) with the driver's read-back expecting every fuse 0.
TEST_F(OtpProductTermPalTest, EveryRecordThroughTheDriver) {
    for (const TermPalRecord& r : kTermPalRecords) {
        SCOPED_TRACE(r.name);
        sim::ProductTermPalChip* chip = Seat(r);
        ASSERT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(chip->Fuses(), r.fuses);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        const std::vector<uint8_t> fuses = Pattern(r.fuses, r.row + r.fuses);
        LoadFuses(fuses, FuseRowLength);
        VerifyAfterProgram = 1;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        VerifyAfterProgram = 0;
        EXPECT_EQ(Blown(chip), fuses);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->SecurityBlown());
        ExpectNoViolations();
    }
}

// Every layout and polarity code of both rows: the fuse count the row walks is
// the part's; with polarity code 0 a blank part passes the blank check and an
// all-1 program reaches every fuse once and verifies, with the other codes a
// sparse pattern programs and reads back.
TEST_F(OtpProductTermPalTest, EveryLayoutAndPolarity) {
    for (const TermPalRecord* r : {&kTermPal10H8, &kTermPal12L10}) {
        const int layouts = r->row == 272 ? 5 : 7;
        for (int layout = 0; layout < layouts; ++layout) {
            for (int polarity = 0; polarity < 4; ++polarity) {
                SCOPED_TRACE(std::to_string(r->row) + " layout " + std::to_string(layout) + " polarity " +
                             std::to_string(polarity));
                sim::ProductTermPalChip* chip = Seat(*r, TermPalFacts(r->row, layout, polarity, r->row == 272 ? 117 : 102));
                DeviceSubVariant = static_cast<uint8_t>(layout << 4 | polarity);
                DeviceSize = ProductTermPalFuses(r->row, static_cast<uint32_t>(layout));
                ASSERT_EQ(DeviceSize, chip->Fuses());
                std::vector<uint8_t> fuses(DeviceSize, 1);
                if (polarity != 0) {
                    const std::vector<uint8_t> p = Pattern(DeviceSize, static_cast<uint32_t>(layout * 4 + polarity));
                    const std::vector<uint8_t> q = Pattern(DeviceSize, static_cast<uint32_t>(layout * 4 + polarity + 99));
                    const std::vector<uint8_t> t = Pattern(DeviceSize, static_cast<uint32_t>(layout * 4 + polarity + 199));
                    for (uint32_t n = 0; n < DeviceSize; ++n) fuses[n] = p[n] & q[n] & t[n];
                }
                SetUserFuses(fuses);
                if (polarity == 0) {
                    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
                }
                EXPECT_EQ(Run(OpProgram), 1) << LogText();
                EXPECT_EQ(Blown(chip), fuses);
                if (polarity == 0) {
                    std::vector<uint32_t> pulses = chip->Pulses();
                    std::sort(pulses.begin(), pulses.end());
                    ASSERT_EQ(pulses.size(), DeviceSize);
                    for (uint32_t n = 0; n < DeviceSize; ++n) ASSERT_EQ(pulses[n], n);
                    EXPECT_EQ(Run(OpVerify), 1) << LogText();
                }
                ClearUserMap(DeviceSize);
                EXPECT_EQ(Run(OpRead), 1) << LogText();
                EXPECT_EQ(UserFuses(DeviceSize), fuses);
                ExpectNoViolations();
            }
        }
    }
    EXPECT_EQ(ProductTermPalFuses(272, 4), 2048u);
    EXPECT_EQ(ProductTermPalFuses(273, 6), 3200u);
}

// Layout 0 of row 272: line 0 holds fuses 0-19 (columns 0-5, 8, 9, 12, 13,
// 16, 17, 20, 21, 24, 25, 28-31), line 1 starts at 20; an all-0 buffer
// programs nothing.
TEST_F(OtpProductTermPalTest, LayoutZeroNumbering) {
    std::vector<int> at;
    uint32_t fuses = 0;
    ASSERT_TRUE(sim::ProductTermPalChip::Layout(false, 0, at, fuses));
    EXPECT_EQ(fuses, 320u);
    EXPECT_EQ(at[31], 19);
    EXPECT_EQ(at[32], 20);
    EXPECT_EQ(at[6], -1);

    sim::ProductTermPalChip* chip = Seat(kTermPal10H8);
    SetUserFuses(Only(320, {19, 20}));
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->Pulses(), (std::vector<uint32_t>{19, 20}));
    EXPECT_GE(chip->WidestPulseUs(), 40u);
    chip = Seat(kTermPal10H8);
    ClearUserMap(320);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_TRUE(chip->Pulses().empty());
    ExpectNoViolations();
}

// A voltage code without a level or a layout past the tables: every entry
// says so and fails before anything is powered; the librarian refuses the
// byte, and a record whose fuse count is not its layout's.
TEST_F(OtpProductTermPalTest, UnsupportedSubVariantRefused) {
    const struct {
        const TermPalRecord* record;
        uint8_t subVariant;
    } cases[] = {{&kTermPal10H8, 0x0C}, {&kTermPal10H8, 0x50}, {&kTermPal10H8, 0xF0},
                 {&kTermPal12L10, 0x08}, {&kTermPal12L10, 0x0C}, {&kTermPal12L10, 0x70}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.record->row) + " " + std::to_string(c.subVariant));
        sim::ProductTermPalChip* chip = Seat(*c.record);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText(); // the programmer answers from here on
        DeviceSubVariant = c.subVariant;
        for (int op : {OpBlankCheck, OpProgram, OpRead, OpSecurity}) {
            SetUserFuses(std::vector<uint8_t>(DeviceSize, 1));
            const uint64_t before = simp.NowUs();
            EXPECT_EQ(Run(op), -1) << op;
            EXPECT_TRUE(HasLine(" Device not supported!")) << LogText();
            EXPECT_LT(simp.NowUs() - before, 50000u) << "powered up";
        }
        EXPECT_TRUE(chip->Pulses().empty());
        EXPECT_FALSE(chip->SecurityBlown());
        RowRecordFacts facts;
        facts.SubVariant = c.subVariant;
        facts.DeviceSize = c.record->fuses;
        EXPECT_FALSE(RowRecordRefusal(*RowDefinition(c.record->row), facts).empty());
        ExpectNoViolations();
    }
    RowRecordFacts facts;
    facts.SubVariant = 0x10;
    facts.DeviceSize = 384;
    EXPECT_EQ(RowRecordRefusal(*RowDefinition(272), facts), "");
    facts.DeviceSize = 320;
    EXPECT_NE(RowRecordRefusal(*RowDefinition(272), facts), "");
}

// A fuse that never blows fails Program after one pulse with its number; a
// level below the part's window blows nothing; a fuse blown under a 0 fails
// the verify and the blank check there.
TEST_F(OtpProductTermPalTest, InjectedFaults) {
    for (const TermPalRecord* r : {&kTermPal14H4, &kTermPal12L10}) {
        SCOPED_TRACE(r->name);
        const uint32_t stuck = r->fuses - 3;
        sim::ProductTermPalChip* chip = Seat(*r);
        chip->StickCell(stuck);
        SetUserFuses(std::vector<uint8_t>(r->fuses, 1));
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_TRUE(HasLine(TermPalFailLine(stuck))) << LogText();
        EXPECT_EQ(chip->Pulses().back(), stuck);
        EXPECT_EQ(std::count(chip->Pulses().begin(), chip->Pulses().end(), stuck), 1);
        EXPECT_TRUE(elec->SuppliedPins().empty());

        chip = Seat(*r);
        chip->SetBlown(33, true);
        EXPECT_EQ(Run(OpBlankCheck), -1);
        EXPECT_TRUE(HasLine(TermPalFailLine(33))) << LogText();
        ClearUserMap(r->fuses);
        EXPECT_EQ(Run(OpVerify), -1);
        EXPECT_TRUE(HasLine("Verification error!")) << LogText();
        ExpectNoViolations();
    }
    // A part at 11.7 V given the 10.2 V of its record: nothing blows.
    sim::ProductTermPalFacts f = FactsOf(kTermPal14H4);
    f.programTenths = 117;
    sim::ProductTermPalChip* chip = Seat(kTermPal14H4, f);
    SetUserFuses(Only(448, {5, 6}));
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(TermPalFailLine(5))) << LogText();
    EXPECT_TRUE(chip->Pulses().empty());
    ExpectNoViolations();
}

// ESC answered No during a read walk ends it as a failure, powered down.
TEST_F(OtpProductTermPalTest, UserBreakInReadWalk) {
    Seat(kTermPalRecords[9]);
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1) << LogText();
    EXPECT_TRUE(HasLine("Read error!")) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace
