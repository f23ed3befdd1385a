// Row 275 end to end against the bipolar macrocell fuse model: the record
// through the driver, every fuse reached once, the pulse limit of a cell,
// and Secure checking its own cell without touching the array.
#include <algorithm>
#include <cstdio>

#include "engine/AlgorithmTable.h"
#include "sim/MacrocellFuseChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kFuseCellMaker = "GENERIC-ALGORITHM";
constexpr const char* kFuseCellName = "OTPPLD5828";
constexpr uint32_t kFuseCellFuses = 5828;

std::string FuseCellFailLine(uint32_t n) {
    char line[64];
    std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", n, n);
    return line;
}

class MacrocellFusePldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    sim::MacrocellFuseChip* Seat() {
        EXPECT_TRUE(SelectPld(kFuseCellMaker, kFuseCellName));
        EXPECT_EQ(CurrentAlgorithm, 275u);
        EXPECT_EQ(DeviceSize, kFuseCellFuses);
        return SeatAlone<sim::MacrocellFuseChip>(sim::MacrocellFuseFacts{kFuseCellMaker, kFuseCellName});
    }
    static std::vector<uint8_t> Blown(const sim::MacrocellFuseChip* chip) {
        std::vector<uint8_t> b(kFuseCellFuses);
        for (uint32_t n = 0; n < b.size(); ++n) b[n] = chip->Blown(n) ? 1 : 0;
        return b;
    }
    static std::vector<uint8_t> Only(std::initializer_list<uint32_t> fuses) {
        std::vector<uint8_t> f(kFuseCellFuses, 0);
        for (uint32_t n : fuses) f[n] = 1;
        return f;
    }
    static size_t PulsesOn(const sim::MacrocellFuseChip* chip, uint32_t n) {
        return static_cast<size_t>(std::count(chip->Pulses().begin(), chip->Pulses().end(), n));
    }
};

// Blank check, program from a JEDEC file with the verify, read into a
// cleared buffer, the saved file keeps its "C" field; Secure blows the
// security cell alone and is checked on it, with no read-back of the array.
TEST_F(MacrocellFusePldTest, RecordThroughTheDriver) {
    sim::MacrocellFuseChip* chip = Seat();
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    const std::vector<uint8_t> fuses = Pattern(kFuseCellFuses, 275);
    LoadFuses(fuses, 44);
    VerifyAfterProgram = 1;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    VerifyAfterProgram = 0;
    EXPECT_EQ(Blown(chip), fuses);
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    ClearUserMap(kFuseCellFuses);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(UserFuses(kFuseCellFuses), fuses);
    EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
    chip->ClearPulses();
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    EXPECT_TRUE(HasLine("Security ok!")) << LogText();
    EXPECT_TRUE(chip->SecurityBlown());
    EXPECT_EQ(chip->Pulses(), std::vector<uint32_t>{sim::MacrocellFuseChip::kSecurityCell});
    EXPECT_EQ(Blown(chip), fuses); // a part not reading all 1 keeps its fuses
    // A secured part hides its array.
    ClearUserMap(kFuseCellFuses);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(UserFuses(kFuseCellFuses), std::vector<uint8_t>(kFuseCellFuses, 0));
    ExpectNoViolations();
}

// An all-1 map: every fuse pulsed exactly once, in map order.
TEST_F(MacrocellFusePldTest, EveryFuseReachedOnce) {
    sim::MacrocellFuseChip* chip = Seat();
    SetUserFuses(std::vector<uint8_t>(kFuseCellFuses, 1));
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    std::vector<uint32_t> expected(kFuseCellFuses);
    for (uint32_t n = 0; n < kFuseCellFuses; ++n) expected[n] = n;
    EXPECT_EQ(chip->Pulses(), expected);
    EXPECT_EQ(Blown(chip), std::vector<uint8_t>(kFuseCellFuses, 1));
    ExpectNoViolations();
}

// A fuse blowing at the 125th pulse passes; one that never blows takes 125
// pulses and ends programming there with its number.
TEST_F(MacrocellFusePldTest, CellPulseLimit) {
    sim::MacrocellFuseChip* chip = Seat();
    chip->NeedPulses(100, 125);
    LoadFuses(Only({100, 101}), 44);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(PulsesOn(chip, 100), 125u);
    EXPECT_TRUE(chip->Blown(100));
    EXPECT_TRUE(chip->Blown(101));

    chip = Seat();
    chip->StickCell(2000);
    LoadFuses(Only({2000, 2001}), 44);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_TRUE(HasLine(FuseCellFailLine(2000))) << LogText();
    EXPECT_EQ(PulsesOn(chip, 2000), 125u);
    EXPECT_FALSE(chip->Blown(2001));
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// A security cell that never blows: Secure fails on it after 125 pulses
// and touches nothing else. The after-secure read, asked of the row, checks
// every cell and pulses none.
TEST_F(MacrocellFusePldTest, SecureChecksItsOwnCell) {
    sim::MacrocellFuseChip* chip = Seat();
    chip->StickCell(sim::MacrocellFuseChip::kSecurityCell);
    chip->SetBlown(7, true);
    EXPECT_EQ(Run(OpSecurity), -1);
    EXPECT_TRUE(HasLine("Security error!")) << LogText();
    EXPECT_FALSE(HasLine("Security ok!")) << LogText();
    EXPECT_EQ(chip->Pulses(), std::vector<uint32_t>(125, sim::MacrocellFuseChip::kSecurityCell));
    EXPECT_FALSE(chip->SecurityBlown());

    chip = Seat();
    chip->SetBlown(7, true);
    ASSERT_NE(AlgorithmTable[275].Read, nullptr);
    EXPECT_EQ(AlgorithmTable[275].Read(6), -1); // cell 0 reads intact
    EXPECT_TRUE(chip->Pulses().empty());
    EXPECT_EQ(Blown(chip), Only({7}));
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// ESC answered No during a read walk ends it as a failure, powered down.
TEST_F(MacrocellFusePldTest, UserBreakInReadWalk) {
    Seat();
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1) << LogText();
    EXPECT_TRUE(HasLine("Read error!")) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace
