// Rows 270, 271 and 274 end to end against the bipolar fuse-array model:
// the driver's operations on every record, the fuse numbering by output,
// group and column, one pulse per fuse, and injected part faults.
#include <cstdio>

#include "sim/BipolarPalChip.h"
#include "tests/logic/PldFixture.h"

namespace {

struct FusePalRecord {
    const char* maker;
    const char* name;
    uint32_t row, fuses, rowWidth;
};
constexpr FusePalRecord kFusePalRecords[] = {
    {"TEXAS-INSTRUMENTS", "TIBPAL16L8", 270, 2048, 32}, {"TEXAS-INSTRUMENTS", "TIBPAL16R8", 270, 2048, 32},
    {"AMD/MMI", "PAL16L8A", 270, 2048, 32},             {"AMD/MMI", "PAL16R4A", 270, 2048, 32},
    {"TEXAS-INSTRUMENTS", "TIBPAL20L8", 271, 2560, 40}, {"AMD/MMI", "PAL20R8A", 271, 2560, 40},
    {"AMD/MMI", "PAL20L10A", 274, 1600, 40},
};
const FusePalRecord& kFusePal16 = kFusePalRecords[0];
const FusePalRecord& kFusePal16At20V = kFusePalRecords[2];
const FusePalRecord& kFusePal20 = kFusePalRecords[4];
const FusePalRecord& kFusePal20L10 = kFusePalRecords[6];

std::string FusePalFailLine(uint32_t n) {
    char line[64];
    std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", n, n);
    return line;
}

class OtpFusePalTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    static sim::BipolarPalFacts FactsOf(const FusePalRecord& r) {
        const sim::BipolarPalFacts* f = sim::FindFacts<sim::BipolarPalFacts>(r.maker, r.name);
        EXPECT_NE(f, nullptr) << r.name;
        return f ? *f : sim::BipolarPalFacts{};
    }
    sim::BipolarPalChip* Seat(const FusePalRecord& r) { return Seat(r, FactsOf(r)); }
    sim::BipolarPalChip* Seat(const FusePalRecord& r, const sim::BipolarPalFacts& facts) {
        EXPECT_TRUE(SelectPld(r.maker, r.name)) << r.name;
        EXPECT_EQ(CurrentAlgorithm, r.row);
        EXPECT_EQ(DeviceSize, r.fuses);
        return SeatAlone<sim::BipolarPalChip>(facts);
    }
    static std::vector<uint8_t> Blown(const sim::BipolarPalChip* chip) {
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
    void ExpectProgramFailsAt(uint32_t n) {
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_TRUE(HasLine(FusePalFailLine(n))) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
};

// Every record through the driver: blank check of a fresh part, program from
// a JEDEC file, verify, read into a cleared buffer, save with the same "C"
// field; Secure with the driver's read-back expecting every fuse 1.
TEST_F(OtpFusePalTest, EveryRecordThroughTheDriver) {
    for (const FusePalRecord& r : kFusePalRecords) {
        SCOPED_TRACE(r.name);
        sim::BipolarPalChip* chip = Seat(r);
        EXPECT_EQ(FuseRowLength, r.rowWidth);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        const std::vector<uint8_t> fuses = Pattern(r.fuses, r.row + r.fuses);
        LoadFuses(fuses, r.rowWidth);
        VerifyAfterProgram = 1;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
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
        EXPECT_EQ(UserFuses(r.fuses), std::vector<uint8_t>(r.fuses, 1));
        ExpectNoViolations();
    }
}

// The numbering: row 270 fuse 300 is output 1, group 1, column 12; row 274's
// outputs 8 and 9 (data pins 27 and 26) start at 1280 and 1440; each fuse
// to blow gets one pulse, a fuse already blown and a 0 in the buffer none.
TEST_F(OtpFusePalTest, FuseNumberingAndPulses) {
    sim::BipolarPalChip* chip = Seat(kFusePal16);
    LoadFuses(Only(2048, {300}), 32);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->Pulses(), std::vector<uint32_t>{300});
    EXPECT_EQ(Blown(chip), Only(2048, {300}));

    chip = Seat(kFusePal20L10);
    LoadFuses(Only(1600, {1280, 1440, 1599}), 40);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->Pulses(), (std::vector<uint32_t>{1280, 1440, 1599}));

    chip = Seat(kFusePal20);
    LoadFuses(std::vector<uint8_t>(2560, 0), 40);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_TRUE(chip->Pulses().empty());
    chip->SetBlown(500, true);
    LoadFuses(Only(2560, {500, 501}), 40);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->Pulses(), std::vector<uint32_t>{501});
    ExpectNoViolations();
}

// Each fuse's pulse: the strobe and pin 25 at 11 V, the data pin at the
// row's level; the part takes 40 us or more, and the module gives no more
// than its short waits make of it.
TEST_F(OtpFusePalTest, PulseWidthAndLevels) {
    for (const FusePalRecord* r : {&kFusePal16, &kFusePal16At20V, &kFusePal20, &kFusePal20L10}) {
        SCOPED_TRACE(r->name);
        sim::BipolarPalChip* chip = Seat(*r);
        LoadFuses(Only(r->fuses, {0, r->fuses - 1}), r->rowWidth);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(chip->Pulses().size(), 2u);
        EXPECT_GE(chip->WidestPulseUs(), 40u);
        EXPECT_LT(chip->WidestPulseUs(), 100u);
        ExpectNoViolations();
    }
}

// A fuse that never blows fails Program after its one pulse with its number;
// a level below the part's window blows nothing; a fuse blown under a 0 fails
// the verify; a blown fuse fails the blank check there.
TEST_F(OtpFusePalTest, InjectedFaults) {
    for (const FusePalRecord& r : {kFusePal16, kFusePal20, kFusePal20L10}) {
        SCOPED_TRACE(r.name);
        const uint32_t stuck = r.fuses - 7;
        sim::BipolarPalChip* chip = Seat(r);
        chip->StickCell(stuck);
        LoadFuses(std::vector<uint8_t>(r.fuses, 1), r.rowWidth);
        ExpectProgramFailsAt(stuck);
        EXPECT_EQ(std::count(chip->Pulses().begin(), chip->Pulses().end(), stuck), 1);
        EXPECT_EQ(chip->Pulses().back(), stuck);

        chip = Seat(r);
        chip->SetBlown(77, true);
        EXPECT_EQ(Run(OpBlankCheck), -1);
        EXPECT_TRUE(HasLine("Blank check error!")) << LogText();
        EXPECT_TRUE(HasLine(FusePalFailLine(77))) << LogText();
        LoadFuses(std::vector<uint8_t>(r.fuses, 0), r.rowWidth);
        VerifyAfterProgram = 1;
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(chip->Pulses().empty());
        EXPECT_TRUE(HasLine("Verification error!")) << LogText();
        EXPECT_TRUE(HasLine(FusePalFailLine(77))) << LogText();
        VerifyAfterProgram = 0;
        ExpectNoViolations();
    }
    // A 20 V part given the 15 V of variant 0: nothing blows.
    sim::BipolarPalFacts f = FactsOf(kFusePal16);
    f.programTenths = 200;
    sim::BipolarPalChip* chip = Seat(kFusePal16, f);
    LoadFuses(Only(2048, {3, 9}), 32);
    ExpectProgramFailsAt(3);
    EXPECT_EQ(chip->Pulses().size(), 0u);
    EXPECT_TRUE(Blown(chip) == std::vector<uint8_t>(2048, 0));
    ExpectNoViolations();
}

// An all-1 buffer reaches every fuse of each row exactly once.
TEST_F(OtpFusePalTest, EveryFuseReachedOnce) {
    for (const FusePalRecord* r : {&kFusePal16, &kFusePal20, &kFusePal20L10}) {
        SCOPED_TRACE(r->name);
        sim::BipolarPalChip* chip = Seat(*r);
        SetUserFuses(std::vector<uint8_t>(r->fuses, 1));
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        std::vector<uint32_t> pulses = chip->Pulses();
        std::sort(pulses.begin(), pulses.end());
        std::vector<uint32_t> every(r->fuses);
        for (uint32_t n = 0; n < r->fuses; ++n) every[n] = n;
        EXPECT_EQ(pulses, every);
        ExpectNoViolations();
    }
}

// A 15 V part under the 20 V of variant 1: its outputs are over their
// rating, which the electrical model reports.
TEST_F(OtpFusePalTest, OverVoltageReported) {
    Seat(kFusePal16At20V, FactsOf(kFusePal16));
    SetUserFuses(Only(2048, {3}));
    Run(OpProgram);
    ASSERT_FALSE(simp.Violations().empty());
    EXPECT_NE(simp.Violations().front().find("above"), std::string::npos) << simp.Violations().front();
}

// A fuse that needs three pulses fails after the one pulse the row gives.
TEST_F(OtpFusePalTest, NoRetry) {
    sim::BipolarPalChip* chip = Seat(kFusePal20);
    chip->NeedPulses(41, 3);
    LoadFuses(Only(2560, {41, 42}), 40);
    ExpectProgramFailsAt(41);
    EXPECT_EQ(chip->Pulses(), std::vector<uint32_t>{41});
    EXPECT_FALSE(chip->Blown(42));
}

// ESC answered No during a read walk ends it as a failure with the socket
// powered down; the fuses read so far stay.
TEST_F(OtpFusePalTest, UserBreakInReadWalk) {
    sim::BipolarPalChip* chip = Seat(kFusePal16);
    chip->SetBlown(5, true);
    ClearUserMap(2048);
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1) << LogText();
    EXPECT_TRUE(HasLine("Read error!")) << LogText();
    EXPECT_EQ(GetBufferBit(5), 1u);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace
