// Rows 281, 282, 286, 313, 289 and 290 end to end against the pin-addressed
// fuse model: every record through the driver, the pin codes, the tries per
// fuse and injected part faults.
#include <cstdio>
#include <set>

#include "logic/PinAddressedFuse.h"
#include "sim/PinAddressedFuseChip.h"
#include "tests/logic/PldFixture.h"

namespace {

struct PinFuseRecord {
    const char* maker;
    const char* name;
    uint32_t row, fuses, rowWidth;
    int tries;
};
constexpr PinFuseRecord kPinFuseRecords[] = {
    {"TEXAS-INSTRUMENTS", "TIBPAL16R4", 281, 2048, 32, 9},     {"TEXAS-INSTRUMENTS", "TIBPAL16R6", 281, 2048, 32, 9},
    {"NATIONAL-SEMICONDUCTOR", "PAL16R4A", 282, 2048, 32, 9}, {"NATIONAL-SEMICONDUCTOR", "PAL16R8A", 282, 2048, 32, 9},
    {"AMD/MMI", "PAL16R6A", 289, 2048, 32, 1},                {"AMD/MMI", "PAL16R8A", 289, 2048, 32, 1},
    {"TEXAS-INSTRUMENTS", "TIBPAL20R4", 286, 2560, 40, 9},     {"TEXAS-INSTRUMENTS", "TIBPAL20R6", 286, 2560, 40, 9},
    {"NATIONAL-SEMICONDUCTOR", "PAL20R4A", 313, 2560, 40, 5}, {"NATIONAL-SEMICONDUCTOR", "PAL20R6A", 313, 2560, 40, 5},
    {"AMD/MMI", "PAL20R4A", 290, 2560, 40, 1},                {"AMD/MMI", "PAL20R6A", 290, 2560, 40, 1},
};
// One record of each row.
constexpr const PinFuseRecord* kPinFuseRows[] = {&kPinFuseRecords[0], &kPinFuseRecords[2], &kPinFuseRecords[4],
                                                &kPinFuseRecords[6], &kPinFuseRecords[8], &kPinFuseRecords[10]};

std::string PinFuseFailLine(uint32_t n) {
    char line[64];
    std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", n, n);
    return line;
}

class PinAddressedFuseTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    static sim::PinAddressedFacts FactsOf(const PinFuseRecord& r) {
        const sim::PinAddressedFacts* f = sim::FindFacts<sim::PinAddressedFacts>(r.maker, r.name);
        EXPECT_NE(f, nullptr) << r.name;
        return f ? *f : sim::PinAddressedFacts{};
    }
    sim::PinAddressedFuseChip* Seat(const PinFuseRecord& r) { return Seat(r, FactsOf(r)); }
    sim::PinAddressedFuseChip* Seat(const PinFuseRecord& r, const sim::PinAddressedFacts& facts) {
        EXPECT_TRUE(SelectPld(r.maker, r.name)) << r.name;
        EXPECT_EQ(CurrentAlgorithm, r.row);
        EXPECT_EQ(DeviceSize, r.fuses);
        return SeatAlone<sim::PinAddressedFuseChip>(facts);
    }
    static std::vector<uint8_t> Blown(const sim::PinAddressedFuseChip* chip) {
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
    static size_t PulsesOn(const sim::PinAddressedFuseChip* chip, uint32_t n) {
        return static_cast<size_t>(std::count(chip->Pulses().begin(), chip->Pulses().end(), n));
    }
    void ExpectProgramFailsAt(uint32_t n) {
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_TRUE(HasLine(PinFuseFailLine(n))) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
};

// Every record: blank check of a fresh part, program from a JEDEC file,
// verify, read into a cleared buffer, the saved file keeps its "C" field;
// Secure with the driver's read-back (every fuse 1, on row 281 every fuse 0).
TEST_F(PinAddressedFuseTest, EveryRecordThroughTheDriver) {
    for (const PinFuseRecord& r : kPinFuseRecords) {
        SCOPED_TRACE(r.name);
        sim::PinAddressedFuseChip* chip = Seat(r);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        const std::vector<uint8_t> fuses = Pattern(r.fuses, r.row * 3 + r.fuses);
        LoadFuses(fuses, r.rowWidth);
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
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), std::vector<uint8_t>(r.fuses, r.row == 281 ? 0 : 1));
        ExpectNoViolations();
    }
}

// The pin codes for every value: row 281's column code (bits 0-1 plain,
// bits 2-4 as the pair code), base 3 most significant digit first, and the
// complemented ground switches; each code names one value.
TEST_F(PinAddressedFuseTest, PinCodes) {
    std::set<std::vector<int>> seen;
    for (int c = 0; c < 32; ++c) {
        int d[4];
        PinAddressedColumnCode281(c, d);
        EXPECT_EQ(d[0], c & 1);
        EXPECT_EQ(d[1], (c >> 1) & 1);
        EXPECT_NE(d[2] * 3 + d[3], 8) << c; // (2, 2) is no column
        EXPECT_TRUE(seen.insert({d[0], d[1], d[2], d[3]}).second) << c;
    }
    int d[4];
    PinAddressedColumnCode281(4 << 2, d);
    EXPECT_EQ(std::vector<int>(d + 2, d + 4), (std::vector<int>{0, 2}));
    PinAddressedColumnCode281(6 << 2, d);
    EXPECT_EQ(std::vector<int>(d + 2, d + 4), (std::vector<int>{2, 0}));
    for (int c = 0; c < 40; ++c) {
        PinAddressedBase3(c, 4, d);
        EXPECT_EQ(d[0] * 27 + d[1] * 9 + d[2] * 3 + d[3], c);
        for (int i = 0; i < 4; ++i) EXPECT_LE(d[i], 2);
    }
    PinAddressedBase3(31, 4, d);
    EXPECT_EQ(std::vector<int>(d, d + 4), (std::vector<int>{1, 0, 1, 1}));
    PinAddressedBase3(7, 2, d);
    EXPECT_EQ(std::vector<int>(d, d + 2), (std::vector<int>{2, 1}));
    for (uint32_t v = 0; v < 64; ++v) EXPECT_EQ(PinAddressedGroundCode(v, 7), 0x7Fu ^ v);
    for (uint32_t v = 0; v < 40; ++v) EXPECT_EQ(PinAddressedGroundCode(v, 6), 0x3Fu ^ v);
    EXPECT_EQ(PinAddressedGroundCode(65, 6), 0x3Eu); // the security column: 1
}

// An all-1 buffer reaches every fuse of each row exactly once.
TEST_F(PinAddressedFuseTest, EveryFuseReachedOnce) {
    for (const PinFuseRecord* r : kPinFuseRows) {
        SCOPED_TRACE(r->name);
        sim::PinAddressedFuseChip* chip = Seat(*r);
        SetUserFuses(std::vector<uint8_t>(r->fuses, 1));
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        std::vector<uint32_t> pulses = chip->Pulses();
        std::sort(pulses.begin(), pulses.end());
        ASSERT_EQ(pulses.size(), r->fuses);
        for (uint32_t n = 0; n < r->fuses; ++n) ASSERT_EQ(pulses[n], n);
        ExpectNoViolations();
    }
}

// A fuse that never blows: 9 pulses on rows 281, 282, 286, 5 on 313, one on
// 289 and 290, then "Program error!" with its number.
TEST_F(PinAddressedFuseTest, StuckFuseTries) {
    for (const PinFuseRecord* r : kPinFuseRows) {
        SCOPED_TRACE(r->name);
        const uint32_t stuck = r->fuses - 5;
        sim::PinAddressedFuseChip* chip = Seat(*r);
        chip->StickCell(stuck);
        LoadFuses(Only(r->fuses, {3, stuck, r->fuses - 1}), r->rowWidth);
        ExpectProgramFailsAt(stuck);
        EXPECT_EQ(PulsesOn(chip, stuck), static_cast<size_t>(r->tries));
        EXPECT_EQ(chip->Pulses().back(), stuck);
        EXPECT_FALSE(chip->Blown(r->fuses - 1));
        ExpectNoViolations();
    }
}

// A fuse needing three pulses passes on row 282 with exactly three; on row
// 289 (one try) it fails.
TEST_F(PinAddressedFuseTest, FuseNeedingThreePulses) {
    sim::PinAddressedFuseChip* chip = Seat(kPinFuseRecords[2]);
    chip->NeedPulses(100, 3);
    LoadFuses(Only(2048, {100, 101}), 32);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->Pulses(), (std::vector<uint32_t>{100, 100, 100, 101}));
    chip = Seat(kPinFuseRecords[4]);
    chip->NeedPulses(100, 3);
    LoadFuses(Only(2048, {100}), 32);
    ExpectProgramFailsAt(100);
    EXPECT_EQ(chip->Pulses(), std::vector<uint32_t>{100});
    ExpectNoViolations();
}

// A blown fuse: under a 1 it gets no pulse and passes; under a 0 the pass
// fails there without a pulse; the blank check fails there.
TEST_F(PinAddressedFuseTest, BlownFuseAtDelivery) {
    for (const PinFuseRecord* r : kPinFuseRows) {
        SCOPED_TRACE(r->name);
        sim::PinAddressedFuseChip* chip = Seat(*r);
        chip->SetBlown(70, true);
        EXPECT_EQ(Run(OpBlankCheck), -1);
        EXPECT_TRUE(HasLine("Blank check error!")) << LogText();
        EXPECT_TRUE(HasLine(PinFuseFailLine(70))) << LogText();
        LoadFuses(Only(r->fuses, {70, 71}), r->rowWidth);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(chip->Pulses(), std::vector<uint32_t>{71});
        chip = Seat(*r);
        chip->SetBlown(70, true);
        LoadFuses(Only(r->fuses, {71}), r->rowWidth);
        ExpectProgramFailsAt(70);
        EXPECT_TRUE(chip->Pulses().empty());
        ExpectNoViolations();
    }
}

// The pulse: the cell read before it, VCC (or the programming pin) at the
// part's level for the short delay; a part that needs a higher level than
// the row gives blows nothing.
TEST_F(PinAddressedFuseTest, PulseLevelAndWidth) {
    for (const PinFuseRecord* r : kPinFuseRows) {
        SCOPED_TRACE(r->name);
        sim::PinAddressedFuseChip* chip = Seat(*r);
        LoadFuses(Only(r->fuses, {0, 1000}), r->rowWidth);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(chip->Pulses(), (std::vector<uint32_t>{0, 1000}));
        const bool ground = r->row == 289 || r->row == 290;
        EXPECT_GE(chip->WidestPulseUs(), ground ? 30u : 10u);
        EXPECT_LT(chip->WidestPulseUs(), ground ? 60u : 80u); // the ramp's last steps are in the window too

        sim::PinAddressedFacts f = FactsOf(*r);
        f.levelTenths += 10;
        chip = Seat(*r, f);
        LoadFuses(Only(r->fuses, {9}), r->rowWidth);
        ExpectProgramFailsAt(9);
        EXPECT_TRUE(chip->Pulses().empty());
        EXPECT_FALSE(chip->Blown(9));
        ExpectNoViolations();
    }
}

// ESC answered No during a read walk ends it as a failure.
TEST_F(PinAddressedFuseTest, UserBreakInReadWalk) {
    for (const PinFuseRecord* r : {kPinFuseRows[1], kPinFuseRows[5]}) {
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
