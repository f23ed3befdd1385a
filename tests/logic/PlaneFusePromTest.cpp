// Row 279 end to end against the bit-plane fuse PROM model: the record
// through the driver, the bit planes, the pulse train of a bit and its
// failure at the fuse, Secure.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "sim/PlaneFusePromChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kPromMaker = "GENERIC-ALGORITHM";
constexpr const char* kPromName = "OTPPROM2048";
constexpr uint32_t kPromFuses = 2048;

std::string PromFailLine(uint32_t n) {
    char line[64];
    std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", n, n);
    return line;
}

class PlaneFusePromTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    sim::PlaneFusePromChip* Seat() {
        EXPECT_TRUE(SelectPld(kPromMaker, kPromName));
        EXPECT_EQ(CurrentAlgorithm, 279u);
        EXPECT_EQ(DeviceSize, kPromFuses);
        return SeatAlone<sim::PlaneFusePromChip>(sim::PlaneFusePromFacts{kPromMaker, kPromName});
    }
    static std::vector<uint8_t> Blown(const sim::PlaneFusePromChip* chip) {
        std::vector<uint8_t> b(kPromFuses);
        for (uint32_t n = 0; n < b.size(); ++n) b[n] = chip->Blown(n) ? 1 : 0;
        return b;
    }
    static std::vector<uint8_t> Only(std::initializer_list<uint32_t> fuses) {
        std::vector<uint8_t> f(kPromFuses, 0);
        for (uint32_t n : fuses) f[n] = 1;
        return f;
    }
    static size_t PulsesOn(const sim::PlaneFusePromChip* chip, uint32_t n) {
        return static_cast<size_t>(std::count(chip->Pulses().begin(), chip->Pulses().end(), n));
    }
};

// Blank check, program from a JEDEC file with the verify, read into a
// cleared buffer, the saved file keeps its "C" field; Secure blows the
// security fuse with no read-back.
TEST_F(PlaneFusePromTest, RecordThroughTheDriver) {
    sim::PlaneFusePromChip* chip = Seat();
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    const std::vector<uint8_t> fuses = Pattern(kPromFuses, 279);
    LoadFuses(fuses, 32);
    VerifyAfterProgram = 1;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    VerifyAfterProgram = 0;
    EXPECT_EQ(Blown(chip), fuses);
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    ClearUserMap(kPromFuses);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(UserFuses(kPromFuses), fuses);
    EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    EXPECT_TRUE(HasLine("Security ok!")) << LogText();
    EXPECT_TRUE(chip->SecurityBlown());
    EXPECT_EQ(Blown(chip), fuses);
    ExpectNoViolations();
}

// Fuse 256 is bit 1 of address 0, fuse 255 bit 0 of address 255: each
// blows alone. An all-1 map blows every fuse with one pulse and the
// over-program pulse, plane by plane.
TEST_F(PlaneFusePromTest, BitPlanesAndCoverage) {
    for (uint32_t n : {256u, 255u, 2047u}) {
        SCOPED_TRACE(n);
        sim::PlaneFusePromChip* chip = Seat();
        LoadFuses(Only({n}), 32);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Blown(chip), Only({n}));
        EXPECT_EQ(chip->Pulses(), (std::vector<uint32_t>{n, n}));
    }
    sim::PlaneFusePromChip* chip = Seat();
    SetUserFuses(std::vector<uint8_t>(kPromFuses, 1));
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    std::vector<uint32_t> expected;
    for (uint32_t n = 0; n < kPromFuses; ++n) expected.insert(expected.end(), {n, n});
    EXPECT_EQ(chip->Pulses(), expected);
    ExpectNoViolations();
}

// The pulse train of a bit: 1000 us pulses until it reads blown, then one
// over-program pulse of 3000 us.
TEST_F(PlaneFusePromTest, PulseAndOverProgramWidths) {
    sim::PlaneFusePromChip* chip = Seat();
    chip->NeedPulses(600, 3);
    LoadFuses(Only({600, 1000}), 32);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ASSERT_EQ(chip->Pulses(), (std::vector<uint32_t>{600, 600, 600, 600, 1000, 1000}));
    const std::vector<uint64_t>& w = chip->PulseWidths();
    for (size_t i : {0u, 1u, 2u, 4u}) {
        EXPECT_GE(w[i], 1000u) << i;
        EXPECT_LT(w[i], 1100u) << i;
    }
    for (size_t i : {3u, 5u}) { // a wait past 1 ms runs in whole milliseconds of the timer
        EXPECT_GE(w[i], 3000u) << i;
        EXPECT_LT(w[i], 4100u) << i;
    }
    ExpectNoViolations();
}

// A fuse blowing at the 24th pulse passes; one that never blows takes 24
// pulses and fails programming at its fuse.
TEST_F(PlaneFusePromTest, BitPulseLimit) {
    sim::PlaneFusePromChip* chip = Seat();
    chip->NeedPulses(600, 24);
    LoadFuses(Only({600, 601}), 32);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(PulsesOn(chip, 600), 25u); // 24 and the over-program pulse
    EXPECT_TRUE(chip->Blown(601));

    chip = Seat();
    chip->StickCell(600);
    LoadFuses(Only({600, 601}), 32);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_TRUE(HasLine(PromFailLine(600))) << LogText();
    EXPECT_EQ(PulsesOn(chip, 600), 24u);
    EXPECT_FALSE(chip->Blown(601));
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// A blown fuse under a buffer 0 never reads as written: no pulse reaches
// it, and the pass fails there after 24 tries.
TEST_F(PlaneFusePromTest, BlownFuseUnderZero) {
    sim::PlaneFusePromChip* chip = Seat();
    chip->SetBlown(5, true);
    EXPECT_EQ(Run(OpBlankCheck), -1);
    EXPECT_TRUE(HasLine(PromFailLine(5))) << LogText();
    LoadFuses(Only({}), 32);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(PromFailLine(5))) << LogText();
    EXPECT_TRUE(chip->Pulses().empty());
    ExpectNoViolations();
}

// ESC answered No during a read walk ends it as a failure, powered down.
TEST_F(PlaneFusePromTest, UserBreakInReadWalk) {
    Seat();
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1) << LogText();
    EXPECT_TRUE(HasLine("Read error!")) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace
