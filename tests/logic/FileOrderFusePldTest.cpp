// Row 310 end to end against the file-order macrocell fuse model: both
// records through the driver, every fuse reached once in map order, the ten
// tries of a cell, and Secure on its own cell with and without a UES start.
#include <algorithm>
#include <cstdio>

#include "sim/FileOrderFuseChip.h"
#include "tests/logic/PldFixture.h"

namespace {

struct WalkRecord {
    const char* name;
    uint32_t variant, fuses;
    bool wide;
};
constexpr WalkRecord kWalkRecords[] = {{"OTPPLD5828W", 0, 5828, false}, {"OTPPLD5838W", 1, 5838, true}};
constexpr const char* kWalkMaker = "GENERIC-ALGORITHM";

std::string WalkFailLine(uint32_t n) {
    char line[64];
    std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", n, n);
    return line;
}

class FileOrderFusePldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    sim::FileOrderFuseChip* Seat(const WalkRecord& r) {
        EXPECT_TRUE(SelectPld(kWalkMaker, r.name)) << r.name;
        EXPECT_EQ(CurrentAlgorithm, 310u);
        EXPECT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(DeviceVariant, r.variant);
        return SeatAlone<sim::FileOrderFuseChip>(sim::FileOrderFuseFacts{kWalkMaker, r.name, r.wide});
    }
    static std::vector<uint8_t> Blown(const sim::FileOrderFuseChip* chip, uint32_t fuses) {
        std::vector<uint8_t> b(fuses);
        for (uint32_t n = 0; n < fuses; ++n) b[n] = chip->Blown(n) ? 1 : 0;
        return b;
    }
    static std::vector<uint8_t> Only(uint32_t count, std::initializer_list<uint32_t> fuses) {
        std::vector<uint8_t> f(count, 0);
        for (uint32_t n : fuses) f[n] = 1;
        return f;
    }
};

// Each record: blank check, program from a JEDEC file with the verify,
// read into a cleared buffer, the saved file keeps its "C" field; Secure
// blows the security cell alone and is checked on it.
TEST_F(FileOrderFusePldTest, EveryRecordThroughTheDriver) {
    for (const WalkRecord& r : kWalkRecords) {
        SCOPED_TRACE(r.name);
        sim::FileOrderFuseChip* chip = Seat(r);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        const std::vector<uint8_t> fuses = Pattern(r.fuses, 310 + r.variant);
        LoadFuses(fuses, 44);
        VerifyAfterProgram = 1;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        VerifyAfterProgram = 0;
        EXPECT_EQ(Blown(chip, r.fuses), fuses);
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
        chip->ClearPulses();
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->SecurityBlown());
        EXPECT_EQ(chip->Pulses(), std::vector<uint32_t>{chip->SecurityCell()});
        EXPECT_EQ(Blown(chip, r.fuses), fuses);
        ExpectNoViolations();
    }
}

// An all-1 map: every fuse pulsed once in map order; variant 1 walks fuses
// 5828-5837 after the architecture bits, variant 0 stops at 5827.
TEST_F(FileOrderFusePldTest, EveryFuseReachedOnce) {
    for (const WalkRecord& r : kWalkRecords) {
        SCOPED_TRACE(r.name);
        sim::FileOrderFuseChip* chip = Seat(r);
        SetUserFuses(std::vector<uint8_t>(r.fuses, 1));
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        std::vector<uint32_t> expected(r.fuses);
        for (uint32_t n = 0; n < r.fuses; ++n) expected[n] = n;
        EXPECT_EQ(chip->Pulses(), expected);
        ExpectNoViolations();
    }
}

// A fuse blown under a buffer 0 fails after ten tries without a pulse; one
// that never blows takes ten pulses; both fail at their fuse.
TEST_F(FileOrderFusePldTest, TenTriesACell) {
    const WalkRecord& r = kWalkRecords[0];
    sim::FileOrderFuseChip* chip = Seat(r);
    chip->SetBlown(300, true);
    LoadFuses(Only(r.fuses, {301}), 44);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(WalkFailLine(300))) << LogText();
    EXPECT_TRUE(chip->Pulses().empty());
    EXPECT_FALSE(chip->Blown(301));

    chip = Seat(r);
    chip->StickCell(4000);
    LoadFuses(Only(r.fuses, {4000, 4001}), 44);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_TRUE(HasLine(WalkFailLine(4000))) << LogText();
    EXPECT_EQ(chip->Pulses(), std::vector<uint32_t>(10, 4000));
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// A security fuse that never blows: one pulse and the failure with no UES
// start; ten pulses when the UES starts at 5828, then the failure.
TEST_F(FileOrderFusePldTest, SecurityFuseNeverBlowing) {
    const WalkRecord& r = kWalkRecords[0];
    for (uint32_t ues : {0u, 5828u}) {
        SCOPED_TRACE(ues);
        sim::FileOrderFuseChip* chip = Seat(r);
        chip->StickCell(chip->SecurityCell());
        UesFuseStart = ues;
        EXPECT_EQ(Run(OpSecurity), -1);
        EXPECT_TRUE(HasLine("Security error!")) << LogText();
        EXPECT_TRUE(HasLine(WalkFailLine(5828))) << LogText();
        EXPECT_EQ(chip->Pulses().size(), ues == 0 ? 1u : 10u);
        EXPECT_FALSE(chip->SecurityBlown());
        ExpectNoViolations();
    }
}

// ESC answered No during a read walk ends it as a failure, powered down.
TEST_F(FileOrderFusePldTest, UserBreakInReadWalk) {
    Seat(kWalkRecords[1]);
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1) << LogText();
    EXPECT_TRUE(HasLine("Read error!")) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace
