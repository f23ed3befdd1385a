// Row 170 against the simulator's erasable part on code lines: a file
// srec_cat wrote, erase at 14.0 V, the fixed 25 pulses, reads at 4.3 V, the
// security and user breaks.
#include "McuFixture.h"

#include <cstdlib>

#include "sim/EeMcuChip.h"
#include "sim/RegisterMcuBus.h"

namespace {

class EeBusRun : public McuRun {
protected:
    void SetUp() override {
        McuRun::SetUp();
        sim::RegisterRegisterMcuBusPersonality();
    }
    sim::EeMcuChip* Put() {
        ClearSocket();
        EXPECT_TRUE(Select("GENERIC-ALGORITHM", "EEBUS-8K"));
        const auto* f = sim::FindFacts<sim::EeMcuFacts>("GENERIC-ALGORITHM", "EEBUS-8K");
        EXPECT_NE(f, nullptr);
        if (f == nullptr) return nullptr;
        auto chip = std::make_unique<sim::EeMcuChip>(*f);
        elec->DeclareChip(chip->Limits());
        return static_cast<sim::EeMcuChip*>(socket->Insert(std::move(chip)));
    }
};

// Blank check, program a file srec_cat wrote, verify at both levels (every
// read at 4.3 V), compare, read back, save and load equal, erase and blank
// check, then Secure is seen in the part and an erase clears it.
TEST_F(EeBusRun, SrecFileRoundTripEraseAndSecure) {
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) GTEST_SKIP() << "srec_cat not installed";
    sim::EeMcuChip* chip = Put();
    ASSERT_NE(chip, nullptr);
    const uint32_t n = 0x2000;
    FillPattern(n, 11);
    BufferWindow[7] = 0xFF;
    std::vector<uint8_t> image(n);
    for (uint32_t a = 0; a < n; ++a) image[a] = BufferByte(a);
    ASSERT_EQ(SaveHexFamilyFile("ee.hex", 0, n - 1, HexFormatIntel), 1);
    ASSERT_EQ(std::system("srec_cat ee.hex -intel -o ee.s19 -motorola >/dev/null 2>&1"), 0);
    FillBufferRange(0, n - 1, 0x66);
    ASSERT_EQ(LoadHexFamilyFile("ee.s19", 0, 0), 1);

    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->PulsesAt(7), 0u);
    chip->ClearCounts();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    ASSERT_FALSE(chip->ReadSupplies().empty());
    EXPECT_EQ(SupplyVoltage, 43u);
    // One supply level for both passes, whatever the verify levels say.
    for (int v : chip->ReadSupplies()) ASSERT_EQ(v, chip->ReadSupplies().front());
    EXPECT_EQ(chip->ReadSupplies().size(), 2u * n); // both verify passes
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    FillBufferRange(0, n - 1, 0x66);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    ASSERT_EQ(SaveHexFamilyFile("read.s19", 0, n - 1, HexFormatMotorola), 1);
    FillBufferRange(0, n - 1, 0x66);
    ASSERT_EQ(LoadHexFamilyFile("read.s19", 0, 0), 1);
    for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;

    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_TRUE(chip->Secured());
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Erases(), 1u);
    EXPECT_FALSE(chip->Secured());
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    ExpectNoViolations();
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

// 25 pulses at most whatever Retry says; an erase that leaves a byte fails
// at it.
TEST_F(EeBusRun, FixedPulseBoundAndDirtyErase) {
    sim::EeMcuChip* chip = Put();
    ASSERT_NE(chip, nullptr);
    Retry = 3;
    FillBufferRange(0, 0xFFFF, 0xFF);
    BufferWindow[0x100] = 0x12;
    chip->StickCell(0x100);
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_EQ(chip->PulsesAt(0x100), 25u);
    EXPECT_TRUE(HasLine(ChipAddrLine(0x100))) << LogText();

    chip = Put();
    chip->DirtyAfterErase(0x345);
    EXPECT_EQ(Run(OpErase), ResultFailed) << LogText();
    EXPECT_EQ(ChipAddress, 0x345u);
    ExpectNoViolations();
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

// ESC during Program: 3 and powered down.
TEST_F(EeBusRun, UserBreak) {
    sim::EeMcuChip* chip = Put();
    ASSERT_NE(chip, nullptr);
    FillBufferRange(0, 0xFFFF, 0x3C);
    BlankCheckBeforeProgram = 0;
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
    EXPECT_EQ(chip->Cell(0x1FFF), 0xFF);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace

namespace {

// Power-up and the two erase steps on the bus registers.
TEST_F(EeBusRun, RegisterTraceOfPowerUpAndErase) {
    ASSERT_NE(Put(), nullptr);
    StartTrace();
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    std::vector<std::pair<int, int>> w;
    for (const auto& r : simp.RegisterTrace()) {
        if (r.write && r.reg <= 11) w.emplace_back(r.reg, r.value);
    }
    const std::vector<std::pair<int, int>> want = {
        {2, 7}, {3, 0x13}, {4, 0x0E}, {4, 0x0F}, {2, 6}, {3, 0x0C},     // power-up
        {6, 0xFF}, {4, 0x0D}, {3, 0x0F}, {2, 4}, {2, 6},                 // first erase step
        {3, 0x0D}, {2, 4}, {2, 6}, {4, 0x0F}};                           // second step
    EXPECT_NE(std::search(w.begin(), w.end(), want.begin(), want.end()), w.end());
}

} // namespace
