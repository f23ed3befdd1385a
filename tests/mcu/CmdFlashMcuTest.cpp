// Row 194 against the simulator's command-written flash part: a file
// srec_cat wrote, erase and blank check, the polling bounds, the adapter's
// programming pin and user breaks.
#include "McuFixture.h"

#include <cstdlib>

#include "engine/Power.h"
#include "sim/CmdFlashMcuChip.h"
#include "sim/RegisterMcuBus.h"

namespace {

class CmdFlashRun : public McuRun {
protected:
    void SetUp() override {
        McuRun::SetUp();
        sim::RegisterRegisterMcuBusPersonality();
    }
    sim::CmdFlashMcuChip* Put() {
        ClearSocket();
        EXPECT_TRUE(Select("GENERIC-ALGORITHM", "CMDFLASH-8K"));
        const auto* f = sim::FindFacts<sim::CmdFlashMcuFacts>("GENERIC-ALGORITHM", "CMDFLASH-8K");
        EXPECT_NE(f, nullptr);
        if (f == nullptr) return nullptr;
        auto chip = std::make_unique<sim::CmdFlashMcuChip>(*f);
        elec->DeclareChip(chip->Limits());
        return static_cast<sim::CmdFlashMcuChip*>(socket->Insert(std::move(chip)));
    }
};

// Split modes: Program and Read refuse before anything is switched on, the
// part unwritten and the buffer as it was (the row steps the buffer by 1).
TEST_F(CmdFlashRun, SplitModesRefused) {
    sim::CmdFlashMcuChip* chip = Put();
    ASSERT_NE(chip, nullptr);
    FillPattern(0x800, 4);
    std::vector<uint8_t> image(0x800);
    for (uint32_t a = 0; a < image.size(); ++a) image[a] = BufferByte(a);
    ExpectSplitModesRefused();
    for (uint32_t a = 0; a < image.size(); ++a) {
        ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
        ASSERT_EQ(chip->Cell(a), 0x00) << std::hex << a;
    }
}

// Blank check, program a file srec_cat wrote (00h bytes get no write),
// verify at both levels, compare, read back, save and load equal; erase and
// blank check again.
TEST_F(CmdFlashRun, SrecFileRoundTripThenErase) {
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) GTEST_SKIP() << "srec_cat not installed";
    sim::CmdFlashMcuChip* chip = Put();
    ASSERT_NE(chip, nullptr);
    const uint32_t n = 0x2000;
    FillPattern(n, 9);
    uint32_t zeros = 0;
    for (uint32_t a = 0; a < n; a += 5) BufferWindow[a] = 0;
    BufferWindow[1] = 0xFF;
    std::vector<uint8_t> image(n);
    for (uint32_t a = 0; a < n; ++a) zeros += (image[a] = BufferByte(a)) == 0;
    ASSERT_EQ(SaveHexFamilyFile("cf.hex", 0, n - 1, HexFormatIntel), 1);
    ASSERT_EQ(std::system("srec_cat cf.hex -intel -o cf.s19 -motorola >/dev/null 2>&1"), 0);
    FillBufferRange(0, n - 1, 0x77);
    ASSERT_EQ(LoadHexFamilyFile("cf.s19", 0, 0), 1);

    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Writes(), n - zeros);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
    FillBufferRange(0, n - 1, 0x77);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    ASSERT_EQ(SaveHexFamilyFile("read.s19", 0, n - 1, HexFormatMotorola), 1);
    FillBufferRange(0, n - 1, 0x77);
    ASSERT_EQ(LoadHexFamilyFile("read.s19", 0, 0), 1);
    for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;

    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Erases(), 1u);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    ExpectNoViolations();
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

// A cell whose write never completes fails after 50 polls at its address;
// an erase that never completes fails after its 60 passes.
TEST_F(CmdFlashRun, WriteAndEraseThatNeverComplete) {
    sim::CmdFlashMcuChip* chip = Put();
    ASSERT_NE(chip, nullptr);
    FillBufferRange(0, 0xFFFF, 0);
    BufferWindow[0x456] = 0xA5;
    chip->StickCell(0x456);
    BlankCheckBeforeProgram = 0;
    StartTrace();
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(ChipAddrLine(0x456))) << LogText();
    int reads = 0;
    for (const auto& r : simp.RegisterTrace()) reads += r.write && r.reg == 3 && r.value == 0xFE;
    EXPECT_EQ(reads, 50);
    EXPECT_TRUE(elec->SuppliedPins().empty());

    chip = Put();
    chip->NeverFinishErase();
    const uint64_t start = simp.NowUs();
    EXPECT_EQ(Run(OpErase), ResultFailed) << LogText();
    EXPECT_GE(simp.NowUs() - start, 6000000u); // 60 passes of 100 ms
    EXPECT_LT(simp.NowUs() - start, 8000000u);
    ExpectNoViolations();
}

// Adapter 'R' puts the programming voltage on socket pin 37, else pin 35.
TEST_F(CmdFlashRun, AdapterRMovesTheProgrammingPin) {
    ASSERT_TRUE(Select("GENERIC-ALGORITHM", "CMDFLASH-8K"));
    ClearSocket();
    for (const auto& [adapter, pin] : {std::pair{0, 35}, std::pair{int{'R'}, 37}}) {
        AdapterCode = static_cast<uint8_t>(adapter);
        StartTrace();
        Run(OpBlankCheck);
        const SupplyPinAEntry e = SupplyPinTableA[static_cast<size_t>(pin)];
        bool switched = false;
        for (const auto& r : simp.RegisterTrace()) switched |= r.write && r.reg == e.reg && (r.value & e.mask) != 0;
        EXPECT_TRUE(switched) << pin;
        const SupplyPinAEntry other = SupplyPinTableA[static_cast<size_t>(pin == 35 ? 37 : 35)];
        bool otherSwitched = false;
        for (const auto& r : simp.RegisterTrace())
            otherSwitched |= r.write && r.reg == other.reg && (r.value & other.mask) != 0 && other.reg != e.reg;
        EXPECT_FALSE(otherSwitched) << pin;
    }
}

// ESC during Program: 3 and powered down.
TEST_F(CmdFlashRun, UserBreak) {
    sim::CmdFlashMcuChip* chip = Put();
    ASSERT_NE(chip, nullptr);
    FillBufferRange(0, 0xFFFF, 0x3C);
    BlankCheckBeforeProgram = 0;
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
    EXPECT_EQ(chip->Cell(0x1FFF), 0);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace

namespace {

// Power-up and one program cell on the bus registers: 40h, then the datum
// complemented, then a poll.
TEST_F(CmdFlashRun, RegisterTraceOfPowerUpAndProgramCell) {
    ASSERT_NE(Put(), nullptr);
    FillBufferRange(0, 0xFFFF, 0);
    BufferWindow[0] = 0x5A;
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 0;
    StartTrace();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    std::vector<std::pair<int, int>> w;
    for (const auto& r : simp.RegisterTrace()) {
        if (r.write && r.reg <= 11) w.emplace_back(r.reg, r.value);
    }
    const std::vector<std::pair<int, int>> want = {
        {2, 1}, {3, 0xFF}, {4, 0x43}, {5, 8}, {5, 0x1E},                 // power-up
        {1, 0}, {0, 0},                                                  // address 0
        {5, 0x16}, {9, 0x40}, {2, 0}, {4, 3}, {4, 0x43}, {2, 1},         // command 40h
        {9, 0xA5}, {2, 0}, {4, 3}, {4, 0x43}, {2, 1}, {5, 0x1E},         // the datum complemented
        {2, 0}, {3, 0xFE}, {3, 0xFF}, {2, 1}};                           // a poll
    EXPECT_NE(std::search(w.begin(), w.end(), want.begin(), want.end()), w.end());
}

} // namespace
