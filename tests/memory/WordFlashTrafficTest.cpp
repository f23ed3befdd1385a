// Register traffic of the 16-bit command rows that the parts do not show:
// register 8 (the SHARP parts of row 26, the variant of row 91), registers 8
// and 9 of rows 37/39, and row 37's chip-erase wait shown in tenths.
#include "CommandFlashFixture.h"

namespace {

class WordFlashTrafficRun : public CommandFlashRun {
protected:
    std::vector<int> TracedWrites(uint8_t reg) const {
        std::vector<int> v;
        for (const auto& a : simp.RegisterTrace())
            if (a.write && a.reg == reg) v.push_back(a.value);
        return v;
    }
    // The values an operation wrote to reg, the programmer's resets (0) left out.
    std::vector<int> NonZeroWrites(uint8_t reg) const {
        std::vector<int> v;
        for (int x : TracedWrites(reg))
            if (x != 0) v.push_back(x);
        return v;
    }
};

TEST_F(WordFlashTrafficRun, RegisterEightAndNine) {
    simp.EnableTrace(true);
    {
        SCOPED_TRACE("row 26: register 8 only for the SHARP maker");
        Start("28F400B3-B", 0x20);
        simp.ClearTrace();
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_TRUE(NonZeroWrites(8).empty());
        MakerIndex = 50;
        simp.ClearTrace();
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_FALSE(NonZeroWrites(8).empty());
        for (int v : NonZeroWrites(8)) EXPECT_EQ(v, 1);
        Unseat();
    }
    {
        SCOPED_TRACE("row 91: register 8 is the variant");
        Start("2x28F160S5", 0x20);
        for (uint32_t variant : {0u, 1u}) {
            DeviceVariant = variant;
            simp.ClearTrace();
            EXPECT_EQ(Run(OpRead), 1) << LogText();
            const auto eights = NonZeroWrites(8);
            EXPECT_EQ(eights.empty(), variant == 0);
            for (int v : eights) EXPECT_EQ(v, 1);
        }
        Unseat();
    }
    {
        SCOPED_TRACE("row 37: register 8 = 1 then 2, register 9 = 1 at power-up");
        Start("28F320J5", 0x20);
        simp.ClearTrace();
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        const auto eights = NonZeroWrites(8);
        ASSERT_GE(eights.size(), 2u);
        EXPECT_EQ(eights[0], 1);
        EXPECT_EQ(eights[1], 2);
        const auto nines = NonZeroWrites(9);
        ASSERT_FALSE(nines.empty());
        EXPECT_EQ(nines.front(), 1);
        Unseat();
    }
    ExpectNoViolations();
}

// The full-chip erase of row 37 shows its wait in tenths of a second.
TEST_F(WordFlashTrafficRun, ChipEraseShowsTenths) {
    sim::CommandFlashChip* chip = Start("28F128J3", 0x20);
    ui.StatusHistory[1].clear();
    chip->SetCell(0x10, 0);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_TRUE(ShownStatus("0.1 sec") || ShownStatus("0.2 sec")) << LogText();
    EXPECT_EQ(chip->Cell(0x10), 0xFFFF);
    ExpectNoViolations();
}

} // namespace
