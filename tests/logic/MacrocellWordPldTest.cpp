// Rows 239 and 238 end to end against the macrocell word model: every
// record through the driver, the maker branches, the pulse trains of the
// programming sets, the 50 ms cap and injected part faults.
#include <cstdio>
#include <tuple>

#include "engine/RowDef.h"
#include "engine/Tables.h"
#include "sim/MacrocellWordChip.h"
#include "tests/logic/PldFixture.h"

namespace {

struct MacrocellRecord {
    const char* name;
    uint32_t row, variant, fuses, rowWidth;
    int tries;
    uint32_t pulseUs, factor;
};
constexpr MacrocellRecord kMacrocellRecords[] = {
    {"UVPLD3210", 239, 2, 3210, 40, 5, 400, 1},     {"UVPLD3990", 239, 0, 3990, 44, 5, 400, 1},
    {"UVPLD3990-LV", 239, 1, 3990, 44, 5, 400, 1},  {"UVPLD5828-0", 238, 0, 5828, 44, 10, 1000, 3},
    {"UVPLD5828-1", 238, 1, 5828, 44, 5, 400, 3},   {"UVPLD5828-2", 238, 2, 5828, 44, 5, 400, 3},
    {"UVPLD5828-3", 238, 3, 5828, 44, 20, 100, 4},  {"UVPLD5828-4", 238, 4, 5828, 44, 10, 1000, 4},
    {"UVPLD5828-5", 238, 5, 5828, 44, 10, 1000, 4},
};
constexpr const char* kMacrocellMaker = "GENERIC-ALGORITHM";

class MacrocellWordPldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    static sim::MacrocellWordFacts FactsOf(const MacrocellRecord& r) {
        const sim::MacrocellWordFacts* f = sim::FindFacts<sim::MacrocellWordFacts>(kMacrocellMaker, r.name);
        EXPECT_NE(f, nullptr) << r.name;
        return f ? *f : sim::MacrocellWordFacts{};
    }
    sim::MacrocellWordChip* Seat(const MacrocellRecord& r) { return Seat(r, FactsOf(r)); }
    sim::MacrocellWordChip* Seat(const MacrocellRecord& r, const sim::MacrocellWordFacts& facts) {
        EXPECT_TRUE(SelectPld(kMacrocellMaker, r.name)) << r.name;
        EXPECT_EQ(CurrentAlgorithm, r.row);
        EXPECT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(DeviceVariant, r.variant);
        return SeatAlone<sim::MacrocellWordChip>(facts);
    }
    static std::vector<uint8_t> Programmed(const sim::MacrocellWordChip* chip, uint32_t fuses) {
        std::vector<uint8_t> p(fuses);
        for (uint32_t n = 0; n < fuses; ++n) p[n] = chip->Programmed(n) ? 1 : 0;
        return p;
    }
    static std::vector<uint8_t> Only(uint32_t count, std::initializer_list<uint32_t> fuses) {
        std::vector<uint8_t> f(count, 0);
        for (uint32_t n : fuses)
            if (n < count) f[n] = 1;
        return f;
    }
    void RoundTrip(const MacrocellRecord& r, sim::MacrocellWordChip* chip, uint32_t seed) {
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        const std::vector<uint8_t> fuses = Pattern(r.fuses, seed);
        LoadFuses(fuses, r.rowWidth);
        VerifyAfterProgram = 1;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        VerifyAfterProgram = 0;
        EXPECT_EQ(Programmed(chip, r.fuses), fuses);
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Secured());
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), std::vector<uint8_t>(r.fuses, 1));
    }
};

// Every record: blank check, program with the verify, read into a cleared
// buffer, the saved file keeps its "C" field; Secure with the driver's
// read-back (every fuse 1).
TEST_F(MacrocellWordPldTest, EveryRecordThroughTheDriver) {
    for (const MacrocellRecord& r : kMacrocellRecords) {
        SCOPED_TRACE(r.name);
        RoundTrip(r, Seat(r), r.row + r.variant);
        ExpectNoViolations();
    }
}

// Row 238's maker branches: SAMSUNG's and CYPRESS's architecture words at
// column 0, TEXAS-INSTRUMENTS' outputs taken as read.
TEST_F(MacrocellWordPldTest, Row238MakerBranches) {
    const MacrocellRecord& r = kMacrocellRecords[3];
    for (uint32_t maker : {uint32_t{MakerSamsung}, uint32_t{MakerCypress}, uint32_t{MakerTexasInstruments}}) {
        SCOPED_TRACE(maker);
        sim::MacrocellWordFacts f = FactsOf(r);
        if (maker != MakerTexasInstruments) f.archColumn = 0;
        f.trueOutputs = maker == MakerTexasInstruments;
        sim::MacrocellWordChip* chip = Seat(r, f);
        MakerIndex = maker; // a part of this maker on the row
        RoundTrip(r, chip, maker);
        ExpectNoViolations();
    }
    // A part with its architecture words at column 63 under the column-0
    // branch takes none of them.
    sim::MacrocellWordChip* chip = Seat(r);
    MakerIndex = MakerSamsung;
    LoadFuses(Only(r.fuses, {5808, 5827}), r.rowWidth);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_FALSE(chip->Programmed(5808));
    ExpectNoViolations();
}

// Each programming set: the first word walked, whose cells need the last
// allowed pulse, passes with that many pulses of the set's width and an
// over-pulse of width x pulses x factor (at most 50 ms; the delay of a
// width past 1 ms runs in whole milliseconds and a little long); one more
// needed pulse fails there.
TEST_F(MacrocellWordPldTest, PulseTrainsOfEachSet) {
    for (const MacrocellRecord& r : kMacrocellRecords) {
        SCOPED_TRACE(r.name);
        // A fuse of the first word: bit 0 of row 0, column 0.
        const uint32_t first = r.row == 238 ? 88 : r.variant == 2 ? 280 : 44;
        const auto last = static_cast<uint32_t>(r.tries - 1);
        sim::MacrocellWordChip* chip = Seat(r);
        chip->SetPulsesNeeded(r.tries - 1);
        SetUserFuses(Only(r.fuses, {first}));
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        const std::vector<uint64_t>& p = chip->Pulses();
        ASSERT_GE(p.size(), last + 1);
        for (size_t i = 0; i < last; ++i) {
            EXPECT_GE(p[i], r.pulseUs);
            EXPECT_LT(p[i], r.pulseUs + 50);
        }
        const uint64_t over = std::min<uint64_t>(uint64_t{r.pulseUs} * last * r.factor, 50000);
        EXPECT_GE(p[last], over);
        EXPECT_LT(p[last], over + 1100);
        EXPECT_TRUE(chip->Programmed(first));

        chip = Seat(r);
        chip->SetPulsesNeeded(r.tries);
        SetUserFuses(Only(r.fuses, {first}));
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        EXPECT_EQ(chip->Pulses().size(), last); // no over-pulse
        EXPECT_FALSE(chip->Programmed(first));
        ExpectNoViolations();
    }
}

// Row 239 variant 2's architecture word goes out at column pins 0 (the code
// table has no entry past column 39): its fuses 3200-3209 program alone.
TEST_F(MacrocellWordPldTest, Row239ArchitectureWord) {
    const MacrocellRecord& r = kMacrocellRecords[0];
    sim::MacrocellWordChip* chip = Seat(r);
    LoadFuses(Only(r.fuses, {3200, 3209}), r.rowWidth);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Programmed(chip, r.fuses), Only(r.fuses, {3200, 3209}));
    ExpectNoViolations();
}

// Variant 5's word outside the map: programming writes it, a blank check
// of a part where it is programmed fails just past the map, verify and read
// ignore it.
TEST_F(MacrocellWordPldTest, Row238ExtraWord) {
    const MacrocellRecord& r = kMacrocellRecords[8];
    sim::MacrocellWordChip* chip = Seat(r);
    LoadFuses(Only(r.fuses, {}), r.rowWidth);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_TRUE(chip->Programmed(chip->ExtraCell()));
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    EXPECT_EQ(Run(OpBlankCheck), -1);
    EXPECT_TRUE(HasLine(" Fail address : 5828(16C4h)")) << LogText();
    // Variant 0 has no such word.
    chip = Seat(kMacrocellRecords[3]);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->CellCount(), 5828u);
    ExpectNoViolations();
}

// Row 238 with a variant past its six programming sets: every entry says so
// and fails with nothing powered; the librarian refuses such a record.
TEST_F(MacrocellWordPldTest, Row238VariantPastTable) {
    sim::MacrocellWordChip* chip = Seat(kMacrocellRecords[3]);
    DeviceVariant = 6;
    for (int op : {OpBlankCheck, OpProgram, OpRead, OpSecurity}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(Run(op), -1);
        EXPECT_TRUE(HasLine(" Device not supported!")) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
    EXPECT_TRUE(chip->Pulses().empty());
    const RowDef* def = RowDefinition(238);
    ASSERT_NE(def, nullptr);
    RowRecordFacts facts;
    facts.Variant = 5;
    EXPECT_EQ(RowRecordRefusal(*def, facts), "");
    facts.Variant = 6;
    EXPECT_NE(RowRecordRefusal(*def, facts), "");
    ExpectNoViolations();
}

// ESC answered No during a read walk ends it as a failure, powered down.
TEST_F(MacrocellWordPldTest, UserBreakInReadWalk) {
    for (const MacrocellRecord* r : {&kMacrocellRecords[0], &kMacrocellRecords[3]}) {
        SCOPED_TRACE(r->name);
        Seat(*r);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), -1) << LogText();
        EXPECT_TRUE(HasLine("Read error!")) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

} // namespace
