// The electrical erase of the row-0 parts, by maker, and the erase walk that
// stays on an address until it reads blank.
#include "MemoryFixture.h"

namespace {

class Erase : public MemoryRun {
protected:
    void Programmed(sim::EpromChip* chip) {
        for (uint32_t a = 0; a < 0x10000; ++a) chip->SetCell(a, static_cast<uint16_t>(a ^ (a >> 8)));
    }
};

TEST_F(Erase, WinbondLastByteNeedingASecondPeriodIsPulsedUntilBlank) {
    ASSERT_TRUE(Select("WINBOND", "W27C512"));
    // 14 V erase; 100 ms of it clears the array (the row gives 50 ms pulses).
    sim::EpromChip* chip = SeatPart("WINBOND", "W27C512");
    Programmed(chip);
    chip->SetErasePeriodsNeeded(0xFFFF, 2);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_TRUE(HasLine("Erase ok!"));
    EXPECT_TRUE(chip->IsBlank());
    EXPECT_EQ(chip->ErasePulseCount(), 4u);
    EXPECT_EQ(Run(OpBlankCheck), 1);

    // Program and verify after the erase, with the programming voltage switched per pulse.
    FillPattern(0x10000, 5);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->Cell(0xFFFF), BufferByte(0xFFFF));
    ExpectNoViolations();
}

TEST_F(Erase, SstStopsAtItsPulseLimitWhenACellStaysDirty) {
    ASSERT_TRUE(Select("SST", "SST27SF512"));
    sim::EpromChip* chip = SeatPart("SST", "SST27SF512");
    Programmed(chip);
    chip->SetErasePeriodsNeeded(0x8000, 3);
    EXPECT_EQ(Run(OpErase), -1);
    EXPECT_TRUE(HasLine("Erase error!")) << LogText();
    EXPECT_EQ(chip->ErasePulseCount(), 2u);
    EXPECT_NE(chip->Cell(0x8000), 0xFF);

    // Needing two periods fits the two pulses.
    chip->SetErasePeriodsNeeded(0x8000, 2);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_TRUE(chip->IsBlank());
    ExpectNoViolations();
}

TEST_F(Erase, MacronixProgramsAllZerosFirstThenErases) {
    ASSERT_TRUE(Select("MACRONIX", "MX26C512A"));
    sim::EpromChip* chip = SeatPart("MACRONIX", "MX26C512A");
    Programmed(chip);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    const auto log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "Erase ok!");
    EXPECT_EQ(log[1], " Program all ok!");
    EXPECT_TRUE(chip->IsBlank());
    ExpectNoViolations(); // the part saw 00h everywhere before its erase pulse
}

TEST_F(Erase, Row90ErasesWithOnePulseAndProgramsWithoutReadBack) {
    ASSERT_TRUE(Select("SST", "SST27SF256"));
    sim::EpromChip* chip = SeatPart("SST", "SST27SF256");
    for (uint32_t a = 0; a < 0x8000; ++a) chip->SetCell(a, 0);
    EXPECT_EQ(Run(OpErase), 1);
    EXPECT_EQ(chip->ErasePulseCount(), 1u);
    EXPECT_TRUE(chip->IsBlank());

    // One pulse per byte: a cell that needs two is found by the verify step only.
    FillPattern(0x8000, 2);
    chip->SetPulsesNeeded(0x10, 2);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program ok!")) << LogText();
    EXPECT_TRUE(HasLine("Verification error!")) << LogText();
    EXPECT_EQ(chip->PulsesOn(0x10), 1);
    ExpectNoViolations();
}

} // namespace
