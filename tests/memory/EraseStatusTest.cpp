// The erase error bit of the status-register flash rows: a block (or chip)
// the part reports as not erased fails the erase with a line naming it, on
// every row and, with gang sockets, naming the socket. Rows whose erase goes
// on after a failed block erase the others; rows 26 and 91 end at it.
#include "CommandFlashFixture.h"

namespace {

using EraseStatusRun = CommandFlashRun;

struct FailCase {
    const char* part;
    uint32_t words;     // the range (0: the whole part)
    uint32_t failAt;    // a cell of the block the part fails
    const char* line;   // the line naming it
    uint32_t laterCell; // a cell of a block erased after it
    bool goesOn;        // the blocks after the failed one are erased
};

class EraseStatusRows : public EraseStatusRun, public ::testing::WithParamInterface<FailCase> {};

TEST_P(EraseStatusRows, FailedBlockFailsTheEraseNamingIt) {
    const FailCase& c = GetParam();
    sim::CommandFlashChip* chip = Start(c.part, c.words);
    ASSERT_NE(chip, nullptr);
    chip->SetCell(c.failAt, 0);
    chip->SetCell(c.laterCell, 0);
    chip->FailBlock(chip->BlockOf(c.failAt));
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    ExpectLinesInOrder({"Erase error!", c.line});
    EXPECT_EQ(chip->Cell(c.failAt), 0);
    EXPECT_EQ(chip->Cell(c.laterCell), c.goesOn ? chip->Config().width == 16 ? 0xFFFF : 0xFF : 0) << LogText();
    EXPECT_FALSE(HasLine("Erase ok!")) << LogText();
    ExpectNoViolations();

    // The part erases the block again: the same erase passes, the status
    // cleared of the failed one.
    Unseat();
    chip = Start(c.part, c.words);
    chip->SetCell(c.failAt, 0);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(chip->Cell(c.failAt), chip->Config().width == 16 ? 0xFFFF : 0xFF);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EraseStatusRows,
    ::testing::Values(
        // row 21, boot-block table: the second parameter block
        FailCase{"28F002BX-B", 0, 0x4010, " Block 004000h-005FFFh was not erased!", 0x3FFF0, true},
        // row 36, uniform 64 KB blocks
        FailCase{"28F008SA", 0, 0x30010, " Block 030000h-03FFFFh was not erased!", 0xF0000, true},
        // row 26 ends at the failed block
        FailCase{"28F400B3-B", 0, 0x2010, " Block 002000h-002FFFh was not erased!", 0x3010, false},
        // row 28: sixteen blocks of 32768 words
        FailCase{"LH28F800SU", 0, 0x10010, " Block 010000h-017FFFh was not erased!", 0x78000, true},
        // row 38: the parameter-block layout
        FailCase{"28F800B3-T", 0, 0x8010, " Block 008000h-00FFFFh was not erased!", 0x7F010, true},
        // rows 37 and 39 from the range's first block
        FailCase{"28F320J5", 0x30000, 0x10010, " Block 010000h-01FFFFh was not erased!", 0x20010, true},
        FailCase{"28F160S3", 0x18000, 0x8010, " Block 008000h-00FFFFh was not erased!", 0x10010, true},
        // row 82: 64 KB blocks
        FailCase{"LH28F008SA", 0, 0x10010, " Block 010000h-01FFFFh was not erased!", 0x20010, true},
        // row 91: the second chip only after the first erased
        FailCase{"2x28F160S5", 0, 0x10, " Block 000000h-0FFFFFh was not erased!", 0x100010, false},
        // row 74, the block erase of adapter 'i'
        FailCase{"M5M29FB800", 0, 0x3010, " Block 003000h-003FFFh was not erased!", 0x7F010, true}),
    [](const auto& info) {
        std::string n = info.param.part;
        n.erase(std::remove(n.begin(), n.end(), '-'), n.end());
        return "Part" + n;
    });

// Row 54 erases 64 blocks of 32768 words whatever the part: a 16-Mbit part
// takes the upper 32 as its own again. A failed block is named once, at its
// own address.
TEST_F(EraseStatusRun, Row54NamesOnlyBlocksOfThePart) {
    for (const auto& [part, cell] : {std::pair{"28F160S5", 0x78010u}, std::pair{"28F320S5", 0x178010u}}) {
        SCOPED_TRACE(part);
        sim::CommandFlashChip* chip = Start(part, 0);
        chip->SetCell(cell, 0);
        chip->FailBlock(chip->BlockOf(cell));
        EXPECT_EQ(Run(OpErase), -1) << LogText();
        char line[48];
        std::snprintf(line, sizeof line, " Block %06Xh-%06Xh was not erased!", cell & ~0x7FFFu,
                      cell | 0x7FFFu);
        ExpectLinesInOrder({"Erase error!", line});
        const std::vector<std::string> log = Log();
        EXPECT_EQ(std::count_if(
                      log.begin(), log.end(),
                      [](const std::string& l) { return l.find("was not erased!") != std::string::npos; }),
                  1)
            << LogText();
        ExpectNoViolations();
        Unseat();
    }
}

// Row 26's own error lines come with the block's: a part below its
// programming voltage sets bits 5 and 3 on the erase.
TEST_F(EraseStatusRun, RowErrorLinesComeWithTheBlocksLine) {
    Start("28F400B3-B", 0);
    Vpp = 10; // 0.1 V on VPP
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    ExpectLinesInOrder({"Erase error!", " Vpp Low Detect!", " Block 000000h-000FFFh was not erased!"});
    ExpectNoViolations();
}

// The second chip of row 91 fails on its own range after the first erased.
TEST_F(EraseStatusRun, SecondChipNamesItsHalf) {
    sim::CommandFlashChip* chip = Start("2x28F160S5", 0);
    chip->SetCell(0x10, 0);
    chip->SetCell(0x100010, 0);
    chip->FailBlock(chip->BlockOf(0x100010));
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    ExpectLinesInOrder({"Erase error!", " Block 100000h-1FFFFFh was not erased!"});
    EXPECT_EQ(chip->Cell(0x10), 0xFFFF);
    EXPECT_EQ(chip->Cell(0x100010), 0);
}

// Chip erases: the chip the part reports as not erased fails the run.
TEST_F(EraseStatusRun, ChipEraseFailsWithTheErrorBit) {
    for (const char* part : {"28F320J5", "M5M29FT800"}) {
        SCOPED_TRACE(part);
        sim::CommandFlashChip* chip = Start(part, 0);
        if (std::string(part) == "28F320J5") DeviceSubVariant = 1;
        chip->SetCell(0x10, 0);
        chip->FailBlock(0);
        EXPECT_EQ(Run(OpErase), -1) << LogText();
        ExpectLinesInOrder({"Erase error!", " Chip was not erased!"});
        EXPECT_EQ(chip->Cell(0x10), 0);
        ExpectNoViolations();
        Unseat();
    }
}

// With gang sockets each socket's status is read alone: the line names the
// socket whose part failed, the others' blocks count as erased.
TEST_F(EraseStatusRun, GangNamesTheFailingSocket) {
    for (const char* part : {"28F002BX-B", "28F400B3-B", "LH28F800SU"}) {
        SCOPED_TRACE(part);
        std::vector<sim::CommandFlashChip*> chips = StartGang(part, 3);
        const uint32_t cell = std::string(part) == "LH28F800SU" ? 0x10010 : 0x4010;
        for (auto* c : chips) c->SetCell(cell, 0);
        chips[1]->FailBlock(chips[1]->BlockOf(cell));
        EXPECT_EQ(Run(OpErase), -1) << LogText();
        int named = 0;
        for (const auto& l : Log()) {
            named += l.rfind("Socket2 Block ", 0) == 0;
            EXPECT_EQ(l.rfind(" Socket1 ", 0), std::string::npos) << l;
            EXPECT_EQ(l.rfind(" Socket3 ", 0), std::string::npos) << l;
        }
        EXPECT_EQ(named, 1) << LogText();
        EXPECT_EQ(chips[0]->Cell(cell), chips[0]->Config().width == 16 ? 0xFFFF : 0xFF);
        EXPECT_EQ(chips[1]->Cell(cell), 0);
        ExpectNoViolations();
        for (int s = 0; s < 3; ++s) sim::GangAdapter::Find(simp)->SocketAt(s).Clear();
        elec->WithdrawAllChips();
        LastSocketIndex = 0;
    }
}

} // namespace
