// Row 19 through the operation driver on the parts of its library records
// (its full round trip runs with rows 2 and 7): the pulse limits of both
// erase methods, the erase verify that stays on an address, the faults each
// run ends with, and the word-wide image's register vocabulary.
#include "CommandFlashFixture.h"

namespace {

using WordRun = CommandFlashRun;

// Erase by either method: the erase verify stays on an address until it
// reads FFFFh (the last one too); the pulse limit is over the whole chip,
// and the erase that reaches it names the cell that never erased.
TEST_F(WordRun, EraseVerifyStaysOnTheAddress) {
    const struct {
        const char* label;
        uint8_t method;
        uint32_t cell;
        int pulses; // the cell reads erased after these
        int result;
        int given;
    } cases[] = {
        {"method 0, last address needs 3", 0, 0x2F, 3, 1, 3},
        {"method 0, middle address needs 5", 0, 0x17, 5, 1, 5},
        {"method 0, never erases", 0, 0x17, 1 << 30, -1, 1002},
        {"method 1, last address needs 2", 1, 0x2F, 2, 1, 2},
        {"method 1, never erases", 1, 0x17, 1 << 30, -1, 202},
        {"method 0, ESC answered No at 0.3 sec", 0, 0x17, 1 << 30, 3, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::CommandFlashChip* chip = Start("TMS28F210", 0x30);
        DeviceVariant = c.method;
        chip->SlowErase(c.cell, c.pulses);
        ui.StatusHistory[1].clear();
        if (c.result == 3) {
            ui.BreakAtStatus = "0.3 sec";
            ui.QueueAnswer(UiAnswer::No);
        }
        EXPECT_EQ(Run(OpErase), c.result) << LogText();
        ui.BreakAtStatus.clear();
        EXPECT_EQ(chip->ErasePulses(), c.given);
        EXPECT_EQ(chip->Cell(c.cell), c.result == 1 ? 0xFFFF : 0x0000);
        EXPECT_TRUE(HasLine(" Program all ok!")) << LogText();
        EXPECT_EQ(HasLine("Erase error!"), c.result == -1) << LogText();
        if (c.result == -1) {
            EXPECT_TRUE(HasLine(" Chip addr: 000017h  data: 0000h")) << LogText();
        }
        if (c.method == 0) ExpectWaits(static_cast<uint32_t>(c.given) / 10);
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
        Unseat();
    }
}

// Program faults: Retry pulses on a word, no more; a word taking its 26th
// pulse programs within 30; one bad socket of two fails the word.
TEST_F(WordRun, ProgramFaultsEndWithTheirResult) {
    const struct {
        uint32_t retry;
        int needs; // pulses the word at 5 needs; 0 never
        int result;
    } cases[] = {{10, 0, -1}, {30, 26, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.retry);
        sim::CommandFlashChip* chip = Start("TMS28F210", 0x10);
        Retry = c.retry;
        if (c.needs == 0) chip->StickCell(5);
        else chip->SlowCell(5, c.needs);
        FillBufferRange(0, BufferByteSize - 1, 0xFF);
        BufferWords[5] = 0x1234;
        EXPECT_EQ(Run(OpProgram), c.result) << LogText();
        EXPECT_EQ(chip->Cell(5), c.result == 1 ? 0x1234 : 0xFFFF);
        size_t setups = 0;
        for (const auto& w : chip->Writes()) setups += w.data == 0x40;
        EXPECT_EQ(setups, c.result == 1 ? static_cast<size_t>(c.needs) : c.retry);
        EXPECT_EQ(chip->ProgramPulses(), c.result == 1 ? c.needs : static_cast<int>(c.retry));
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
        Unseat();
    }
    auto chips = StartGang("TMS28F210", 2);
    SetRange(0x10);
    chips[1]->StickCell(3);
    FillPattern(BufferByteSize, 2);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_EQ(chips[0]->Cell(2), BufferWords[2] & 0xFFFF);
    EXPECT_EQ(chips[1]->Cell(3), 0xFFFF);
    ExpectNoViolations();
}

} // namespace

namespace {

// The word-wide image's register vocabulary: each value written has its
// meaning; the byte-wide and boot-block patterns are violations here.
TEST_F(WordRun, RegisterValuesOutsideTheVocabularyAreViolations) {
    Start("TMS28F210", 0x10);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    const struct {
        uint8_t reg, value;
        bool violation;
    } cases[] = {
        {4, 0x9F, false}, {4, 0x99, false}, {4, 0x9D, false}, {4, 0x8F, false}, {4, 0x0F, false},
        {4, 0x1F, false}, {4, 0xDD, true},  {4, 0x15, true},  {5, 9, false},    {5, 3, true},
        {7, 0x12, false}, {8, 4, true},     {9, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "register " << int(c.reg) << " = " << std::hex << int(c.value));
        const size_t before = simp.Violations().size();
        WriteRegister(c.reg, c.value);
        EXPECT_EQ(simp.Violations().size() > before, c.violation);
    }
    WriteRegister(4, 0x1F);
}

} // namespace
