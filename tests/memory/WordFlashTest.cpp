// Rows 28, 38, 26, 91, 37, 39, 25, 54 and 74 through the operation driver on
// the parts of their library records: the round trip from a loaded file, the
// block lines, the error bits, the block unlocks, the two chips of row 91 and
// the two dies of row 25, a chip start above 0, the write buffers and pages,
// the block locks and the faults each run ends with.
#include <QPushButton>
#include <QTreeWidget>

#include "CommandFlashFixture.h"
#include "OffscreenApp.h"
#include "engine/Buffer.h"
#include "memory/OptSecProt.h"
#include "memory/PageLockFlash.h"
#include "memory/SectorLayout.h"

namespace {

using WordFlashRun = CommandFlashRun;

struct WordPart {
    const char* name;
    int device; // the identifier Read ID shows; -1 none (no Identify entry)
};

class WordFlashRows : public WordFlashRun, public ::testing::WithParamInterface<WordPart> {};

TEST_P(WordFlashRows, BlankProgramReadVerifyEraseThenBlank) {
    const WordPart& c = GetParam();
    sim::CommandFlashChip* chip = Start(c.name);
    ASSERT_NE(chip, nullptr);
    ExpectRoundTrip(*chip);
    if (c.device >= 0) ExpectReadId(static_cast<uint32_t>(c.device));
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Parts, WordFlashRows,
                         ::testing::Values(WordPart{"LH28F800SU", -1}, WordPart{"28F800B3-T", -1},
                                           WordPart{"28F400B3-B", 0x8895}, WordPart{"28F400B3-T", 0x8894},
                                           WordPart{"28F320C3-T", 0x88C4}, WordPart{"28F800BV-B", 0x889D},
                                           WordPart{"2x28F160S5", -1}, WordPart{"28F320J5", 0x14},
                                           WordPart{"28F128J3", -1}, WordPart{"28F016SA", 0xA0},
                                           WordPart{"28F032SA", -1}, WordPart{"28F160S5", -1}, WordPart{"28F320S5", -1},
                                           WordPart{"M5M29FB800", -1}, WordPart{"M5M29FT800", -1},
                                           WordPart{"28F160S3", -1}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             n.erase(std::remove(n.begin(), n.end(), '-'), n.end());
                             return "Part" + n;
                         });

// The erase lines and block counts of each row's layout.
TEST_F(WordFlashRun, EraseWalksTheRowsBlocks) {
    const struct {
        const char* part;
        size_t erases;    // blocks the part was told to erase
        size_t lines;     // block lines left in the log
        const char* last; // the last of them
    } cases[] = {
        {"LH28F800SU", 16, 0, nullptr},
        {"28F800B3-T", 23, 23, " Block Address 7F000h - 7FFFFh Erase ok!  "},
        {"28F400B3-B", 15, 1, " Block Address 38000h - 3FFFFh Erase ok!"},
        {"28F800BV-T", 11, 1, " Block Address 7E000h - 7FFFFh Erase ok!"},
        {"2x28F160S5", 64, 0, nullptr},
        {"28F016SA", 32, 0, nullptr},   // one die, register 2 = 10h
        {"28F032SA", 64, 0, nullptr},   // two dies
        {"28F160S5", 64, 0, nullptr},   // 64 blocks whatever the size
        {"M5M29FB800", 19, 0, nullptr}, // adapter 'i': the block table
        {"M5M29FT800", 19, 0, nullptr}, // adapter 'd': the chip erase
        {"28F320S3", 64, 0, nullptr},   // row 39, 64 KB blocks
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.part);
        sim::CommandFlashChip* chip = Start(c.part, 0);
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_EQ(chip->Erases().size(), c.erases);
        const auto lines = BlockLines();
        ASSERT_EQ(lines.size(), c.lines) << LogText();
        if (c.last != nullptr) {
            EXPECT_EQ(lines.back(), c.last);
        }
        for (const auto& l : Log()) EXPECT_NE(l.rfind(" Block #", 0), 0u) << l;
        ExpectNoViolations();
        Unseat();
    }
    // The first block of row 38's layout is logged first.
    Start("28F800B3-T", 0);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(BlockLines().front(), " Block Address 00000h - 07FFFh Erase ok!  ");
}

// Faults, each ending its run with its result and line, the socket off.
TEST_F(WordFlashRun, FaultsEndTheRunWithTheirLine) {
    const struct {
        const char* label;
        const char* part;
        int op;
        std::function<void(sim::CommandFlashChip&)> fault;
        int result;
        const char* line;
        uint32_t waits;
    } cases[] = {
        {"row 28: never ready", "LH28F800SU", OpProgram, [](auto& c) { c.NeverReady(true); }, -1, "Program error!", 0},
        {"row 28: erase hangs", "LH28F800SU", OpErase, [](auto& c) { c.NeverReadyBlock(0); }, -1, "Erase error!", 50},
        {"row 38: never ready, Retry 1", "28F800B3-T", OpProgram, [](auto& c) { c.NeverReady(true); }, -1, "Program error!", 0},
        {"row 38: erase hangs", "28F800B3-T", OpErase, [](auto& c) { c.NeverReadyBlock(0); }, -1, "Erase error!", 30},
        {"row 26: a cell never programs", "28F400B3-B", OpProgram, [](auto& c) { c.StickCell(2); }, -1, " Word Program Error!", 0},
        {"row 26: a block left locked", "28F320C3-T", OpProgram, [](auto& c) { c.JamLock(0); }, -1, " Word Program Error!", 0},
        {"row 26: ESC answered No", "28F400B3-B", OpErase, [](auto& c) { c.NeverReadyBlock(0); }, 3, "USER BREAK!", 3},
        {"row 91: a cell never programs", "2x28F160S5", OpProgram, [](auto& c) { c.StickCell(2); }, -1, " Word Program Error!", 0},
        {"row 91: erase hangs", "2x28F160S5", OpErase, [](auto& c) { c.NeverReadyBlock(0); }, -1, "Erase error!", 420},
        {"row 25: a cell never programs", "28F016SA", OpProgram, [](auto& c) { c.StickCell(2); }, -1, "Program error!", 0},
        {"row 25: Vpp low", "28F016SA", OpProgram, [](auto&) { Vpp = 500; }, -1, "Program error!", 0},
        {"row 25: ESC answered No", "28F016SA", OpErase, [](auto& c) { c.NeverReady(true); }, 3, "USER BREAK!", 3},
        {"row 25: a die never ready", "28F032SA", OpErase, [](auto& c) { c.NeverReadyBlock(0); }, -1, "Erase error!", 900},
        {"row 54: never ready", "28F160S5", OpProgram, [](auto& c) { c.NeverReady(true); }, -1, "Program error!", 0},
        {"row 74: a cell never programs", "M5M29FT800", OpProgram, [](auto& c) { c.StickCell(2); }, -1, "Program error!", 0},
        {"row 74: a block left locked", "M5M29FB800", OpProgram, [](auto& c) { c.SetLock(0, true); }, -1, "Program error!", 0},
        {"row 74: chip erase hangs", "M5M29FT800", OpErase, [](auto& c) { c.NeverReady(true); }, -1, "Erase error!", 50},
        {"row 74: ESC answered No", "M5M29FB800", OpErase, [](auto& c) { c.NeverReadyBlock(0); }, 3, "USER BREAK!", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::CommandFlashChip* chip = Start(c.part, 0x300);
        Retry = 1;
        if (c.result == 3) ui.BreakAtStatus = "0.3 sec";
        ExpectFaultRun([&] { c.fault(*chip); }, c.op, c.result, c.line, c.waits);
        ui.BreakAtStatus.clear();
        Unseat();
    }
}

// The fail lines of a word or buffer whose status shows the program error:
// the status the part gave (90h) and the buffer's datum at the named
// address; row 54's status cannot name the word, so its lines name the
// buffer's first word.
TEST_F(WordFlashRun, FailedStatusShowsInTheFailLines) {
    const struct {
        const char* part;
        uint32_t stuck, named;
    } cases[] = {{"28F016SA", 0x12, 0x12}, {"28F032SA", 0x05, 0x05}, {"28F160S5", 0x25, 0x20}, {"28F320S5", 0x13, 0x10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.part);
        sim::CommandFlashChip* chip = Start(c.part, 0x40);
        PageSize = 16;
        FillPattern(BufferByteSize, 7);
        FillBufferRange(2 * c.named, 2 * c.named + 1, 0x5A);
        chip->StickCell(c.stuck);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        char chipLine[48], bufferLine[48];
        std::snprintf(chipLine, sizeof chipLine, "  Chip addr: %06Xh  data: %04Xh", c.named, 0x90u);
        std::snprintf(bufferLine, sizeof bufferLine, "Buffer addr: %06Xh  data: %04Xh", 2 * c.named, 0x5A5Au);
        EXPECT_TRUE(HasLinesInARow({"Program error!", chipLine, bufferLine})) << LogText();
        Unseat();
    }
}

// Row 26: a program error and a low programming voltage both set bit 4 (18h
// for the latter), so only the program error is logged.
TEST_F(WordFlashRun, VppLowLogsTheProgramErrorOnly) {
    Start("28F400B3-B", 0x10);
    Vpp = 500; // 5.0 V on the programming pin
    FillPattern(BufferByteSize, 1);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(HasLine(" Word Program Error!")) << LogText();
    EXPECT_FALSE(HasLine(" Vpp Low Detect!")) << LogText();
}

// Row 26 with sub-variant 1 unlocks the block of the range's first address
// and every later block start before programming into it, and each block
// before erasing it; sub-variant 0 sends no unlock.
TEST_F(WordFlashRun, BlocksAreUnlockedWhereTheRangeReachesThem) {
    const struct {
        const char* part;
        uint32_t start, end;
        std::vector<uint32_t> programUnlocks;
    } cases[] = {
        {"28F800C3-B", 0x0FF0, 0x2010, {0, 1, 2}},
        {"28F800C3-B", 0x1800, 0x1810, {1}},
        {"28F800B3-B", 0x0FF0, 0x2010, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.part << " from " << std::hex << c.start);
        sim::CommandFlashChip* chip = Start(c.part, 0);
        DeviceStart = c.start;
        DeviceEnd = c.end;
        FillPattern(BufferByteSize, 4);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectHolds(*chip, DeviceStart);
        EXPECT_EQ(chip->Unlocks(), c.programUnlocks);
        const size_t before = chip->Unlocks().size();
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_EQ(chip->Unlocks().size() - before, c.programUnlocks.empty() ? 0u : chip->Config().blockStarts.size());
        EXPECT_TRUE(chip->IsBlank());
        ExpectNoViolations();
        Unseat();
    }
}

// A chip start above 0 programs, verifies and reads back its own addresses
// on every row; on row 91 the range starts in the second chip, on row 25 in
// the second die.
TEST_F(WordFlashRun, ChipStartAboveZeroWorksOnItsOwnAddresses) {
    const struct {
        const char* part;
        uint32_t start;
    } cases[] = {{"LH28F800SU", 0x1F0},    {"28F800B3-T", 0x1F0},  {"28F400B3-B", 0x10FF0},
                 {"2x28F160S5", 0x100000}, {"28F016SA", 0x10FF0},  {"28F032SA", 0x10FFF0},
                 {"28F160S5", 0x1F0},      {"M5M29FB800", 0x1080}, {"28F320J5", 0x1FFF0},
                 {"28F128J3", 0x1FFF0},    {"28F160S3", 0x7FF0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.part);
        sim::CommandFlashChip* chip = Start(c.part, 0);
        DeviceStart = c.start;
        DeviceEnd = c.start + 0x120;
        FillPattern(BufferByteSize, 9);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectHolds(*chip, DeviceStart);
        EXPECT_EQ(chip->Cell(DeviceStart - 1), 0xFFFF);
        EXPECT_EQ(chip->Cell(DeviceEnd + 1), 0xFFFF); // the last buffer or page ends at the chip end
        EXPECT_EQ(chip->Cell(0), 0xFFFF);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        FillBufferRange(0, BufferByteSize - 1, 0);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        ExpectHolds(*chip, DeviceStart);
        EXPECT_EQ(BufferWords[DeviceEnd - DeviceStart + 1], 0); // nothing read past the range
        chip->SetCell(DeviceStart - 1, 0x1234);                 // below the range: not compared
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        chip->SetCell(DeviceEnd, 0x1234);
        EXPECT_EQ(Run(OpVerify), -1) << LogText();
        ExpectNoViolations();
        Unseat();
    }
}

// Rows 37/39 erase every block the range reaches, from the block holding a
// start above 0 (blocks of 64K words, of 32K words on variant 1; the whole
// part with sub-variant 1), and only those.
TEST_F(WordFlashRun, BufferRowsEraseTheBlocksOfARangeAboveZero) {
    const struct {
        const char* part;
        uint32_t start, end;
        uint32_t below, above; // a cell of the block before the range, of the block after it
        bool whole;            // the erase clears the whole part
    } cases[] = {{"28F320J5", 0x1FFF0, 0x20110, 0xFF00, 0x30000, false},
                 {"28F160S3", 0xFFF0, 0x10110, 0x7F00, 0x18000, false},
                 {"28F128J3", 0x1FFF0, 0x20110, 0xFF00, 0x30000, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.part);
        sim::CommandFlashChip* chip = Start(c.part, 0);
        DeviceStart = c.start;
        DeviceEnd = c.end;
        FillPattern(BufferByteSize, 6);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectHolds(*chip, DeviceStart);
        chip->SetCell(c.below, 0x1234);
        chip->SetCell(c.above, 0x5678);
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a)
            ASSERT_EQ(chip->Cell(a), 0xFFFF) << std::hex << a;
        EXPECT_EQ(chip->Cell(c.below), c.whole ? 0xFFFF : 0x1234);
        EXPECT_EQ(chip->Cell(c.above), c.whole ? 0xFFFF : 0x5678);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        ExpectNoViolations();
        Unseat();
    }
}

// Row 91 erases the second chip only after the first finished.
TEST_F(WordFlashRun, SecondChipErasedOnlyAfterTheFirst) {
    for (bool firstFails : {false, true}) {
        SCOPED_TRACE(firstFails);
        sim::CommandFlashChip* chip = Start("2x28F160S5", 0);
        if (firstFails) chip->NeverReadyBlock(0);
        chip->SetCell(0x100000, 0x1234);
        EXPECT_EQ(Run(OpErase), firstFails ? -1 : 1) << LogText();
        EXPECT_EQ(chip->Cell(0x100000), firstFails ? 0x1234 : 0xFFFF);
        EXPECT_EQ(chip->Erases().size(), firstFails ? 32u : 64u);
        ExpectNoViolations();
        Unseat();
    }
}

// Row 26 refuses a layout past its table, row 38 every layout but 0, rows
// 37/39 a block size past theirs (their erase only), before power-up and
// with a line.
TEST_F(WordFlashRun, UnservedVariantFailsBeforePowerUp) {
    const struct {
        const char* part;
        uint8_t variant;
        std::vector<int> ops;
    } cases[] = {{"28F400B3-B", 10, {OpErase, OpProgram, OpRead}},
                 {"28F800B3-T", 1, {OpErase, OpProgram, OpRead}},
                 {"28F320J5", 2, {OpErase}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.part);
        sim::CommandFlashChip* chip = Start(c.part, 0x10);
        DeviceVariant = c.variant;
        char line[48];
        std::snprintf(line, sizeof line, " Algorithm variant %u is not supported.", c.variant);
        for (int op : c.ops) {
            EXPECT_EQ(Run(op), -1) << LogText();
            EXPECT_TRUE(HasLine(line)) << LogText();
        }
        EXPECT_TRUE(chip->Writes().empty());
        Unseat();
    }
}

// Row 25 erases the second die after the first timed out, shows a wrong
// identifier as read; a word that is not ready stops the program, the words
// after it unwritten; row 54 counts
// a 16-word buffer as 31 bytes; row 74 puts a 32-word page on consecutive
// addresses.
TEST_F(WordFlashRun, DiesBuffersAndPages) {
    sim::CommandFlashChip* chip = Start("28F032SA", 0);
    chip->NeverReadyBlock(0);
    chip->SetCell(0x100000, 0x1234);
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    EXPECT_EQ(chip->Cell(0x100000), 0xFFFF);
    EXPECT_EQ(chip->Erases().size(), 64u);
    Unseat();
    chip = Start("28F016SA", 0x10);
    chip->WrongId(0x12); // Read ID shows what the part answers
    ExpectReadId(0x12);
    chip->StickCell(2);
    FillPattern(BufferByteSize, 5);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_EQ(chip->Cell(1), BufferWords[1]);
    EXPECT_EQ(chip->Cell(3), 0xFFFF);
    Unseat();
    for (const char* part : {"28F160S5", "M5M29FB800"}) {
        chip = Start(part, 0x40);
        PageSize = 32;
        if (part[0] == '2') PageSize = 16;
        FillPattern(BufferByteSize, 6);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectHolds(*chip);
        const auto& w = chip->Writes();
        const auto e8 = std::find_if(w.begin(), w.end(), [](const auto& x) { return x.data == 0xE8; });
        if (part[0] == '2') {
            ASSERT_NE(e8, w.end());
            EXPECT_EQ(std::next(e8)->data, 31);
        } else {
            const auto page = std::find_if(w.begin(), w.end(), [](const auto& x) { return (x.data & 0xFF) == 0x41; });
            ASSERT_GT(std::distance(page, w.end()), 32);
            for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(page[i + 1].address, i);
        }
        ExpectNoViolations();
        Unseat();
    }
}

// Gang sockets: each socket reads with its own mask, so a cell that never
// programs in the second socket fails the verify.
TEST_F(WordFlashRun, BadGangSocketFailsTheVerify) {
    for (const char* part : {"28F016SA", "28F160S5", "M5M29FB800"}) {
        SCOPED_TRACE(part);
        auto chips = StartGang(part, 2);
        SetRange(0x80);
        chips[1]->StickCell(0x11);
        FillPattern(BufferByteSize, 2);
        Run(OpProgram);
        EXPECT_EQ(chips[0]->Cell(0x11), BufferWords[0x11]);
        EXPECT_EQ(Run(OpVerify), -1) << LogText();
        ExpectNoViolations();
        for (int s = 0; s < 2; ++s) sim::GangAdapter::Find(simp)->SocketAt(s).Clear();
        elec->WithdrawAllChips();
    }
}

// Buffer and page lengths the rows can not serve and row 74's erase on an
// adapter or variant without its erase fail before power-up with a line.
TEST_F(WordFlashRun, UnservedPageOrAdapterFailsBeforePowerUp) {
    const struct {
        const char* part;
        int op;
        std::function<void()> setup;
        const char* line;
    } cases[] = {
        {"28F160S5", OpProgram, [] { PageSize = 0; }, " Page size 0 is not supported."},
        {"28F160S5", OpProgram, [] { PageSize = 24; }, " Page size 24 is not supported."},
        {"M5M29FB800", OpProgram, [] { PageSize = 256; }, " Page size 256 is not supported."},
        {"M5M29FB800", OpProgram, [] { DeviceStart = 0x40; }, " Start address must be on a page boundary!"},
        {"M5M29FB800", OpErase, [] { AdapterCode = 'x'; }, " Adapter x with algorithm variant 45 is not supported."},
        {"M5M29FT800", OpErase, [] { AdapterCode = 'i', DeviceVariant = 47; }, " Adapter i with algorithm variant 47 is not supported."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        sim::CommandFlashChip* chip = Start(c.part, 0x100);
        c.setup();
        EXPECT_EQ(Run(c.op), -1) << LogText();
        EXPECT_TRUE(HasLine(c.line)) << LogText();
        EXPECT_EQ(DatumLines(), "") << LogText(); // nothing was read
        EXPECT_TRUE(chip->Writes().empty());
        Unseat();
    }
}

// Row 74's lock bits read and written directly and through the sector
// protection dialog; a lock the writer can not open fails the write.
TEST_F(WordFlashRun, BlockLocksReadAndWritten) {
    App();
    sim::CommandFlashChip* chip = Start("M5M29FB800", 0);
    ASSERT_EQ(CheckCommunication(MainEngine), 1);
    PrepareOperation(MainEngine);
    const uint32_t* starts = SectorLayoutTable[45] + 1;
    std::vector<uint32_t> states(19, 9), none(19, 0);
    chip->SetLock(3, true);
    chip->ReportUnlocked(true); // bit 6 everywhere: every block "Unprotect"
    EXPECT_EQ(ReadBlockProtection74(states.data(), 19, starts), 1);
    EXPECT_EQ(states, none);
    chip->ReportUnlocked(false);
    EXPECT_EQ(ReadBlockProtection74(states.data(), 19, starts), 1);
    EXPECT_EQ(states[3], 1u);
    EXPECT_EQ(WriteBlockProtection74(none.data(), 19, starts), -1); // block 3 stays locked
    chip->SetLock(3, false);
    EXPECT_EQ(WriteBlockProtection74(none.data(), 19, starts), 1);
    EXPECT_TRUE(chip->LockWrites().empty());
    TOptSecProt1 d(nullptr);
    ASSERT_EQ(d.ListView->topLevelItemCount(), 19);
    for (int i : {0, 18}) {
        d.ListView->setCurrentItem(d.ListView->topLevelItem(i));
        d.ListViewClick();
    }
    d.ButtonWrote->click();
    EXPECT_TRUE(HasLine(" Sector (Un)protection completed!")) << LogText();
    EXPECT_EQ(chip->LockWrites(), (std::vector<uint32_t>{0, 18}));
    TOptSecProt1 again(nullptr);
    for (uint32_t i = 0; i < 19; ++i) EXPECT_EQ(again.SectorProtectionState[i], i == 0 || i == 18 ? 1u : 0u) << i;
    ExpectNoViolations();
}

} // namespace

namespace {

// A write-buffer request given while the last buffer still programs is
// refused (XSR bit 7 clear) and must be given again: the buffers of a range
// across a block boundary all reach the part, none is taken as commands.
TEST_F(WordFlashRun, BufferRequestsRefusedWhileBusyAreGivenAgain) {
    for (const char* part : {"28F160S3", "28F320J5"}) {
        SCOPED_TRACE(part);
        sim::CommandFlashChip* chip = Start(part, 0);
        DeviceStart = 0xEFFC0;
        DeviceEnd = 0xF003F;
        FillPattern(BufferByteSize, 11);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectHolds(*chip, DeviceStart);
        const auto& w = chip->Writes();
        EXPECT_GT(std::count_if(w.begin(), w.end(), [](const auto& x) { return x.data == 0xE8; }), 8);
        EXPECT_EQ(chip->Cell(DeviceStart - 1), 0xFFFF);
        EXPECT_EQ(chip->Cell(DeviceEnd + 1), 0xFFFF);
        ExpectNoViolations();
        Unseat();
    }
}

} // namespace

namespace {

// Row 74's lock bits through its runs: a block erase over a locked block
// erases every other block and fails naming the locked one and what it
// kept, the chip erase names the locked
// block it left, and a page refused by a lock names its first word with
// what the part holds there and the buffer's datum.
TEST_F(WordFlashRun, LockedBlockShowsInTheRunsLines) {
    sim::CommandFlashChip* chip = Start("M5M29FB800", 0x4100); // blocks 0 and 1
    FillPattern(BufferByteSize, 3);
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    chip->SetLock(0, true);
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    char line[48];
    std::snprintf(line, sizeof line, " Chip addr: 000000h  data: %04Xh", BufferWords[0]);
    const auto log = Log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[log.size() - 4], "Erase error!") << LogText();
    EXPECT_EQ(log[log.size() - 3], " Block 000000h-001FFFh was not erased!") << LogText();
    EXPECT_EQ(log[log.size() - 2], line) << LogText();
    EXPECT_EQ(chip->Cell(0), BufferWords[0]);
    EXPECT_EQ(chip->Cell(0x2000), 0xFFFF); // the blocks after the locked one are erased
    EXPECT_EQ(chip->Cell(0x4000), 0xFFFF);
    EXPECT_EQ(chip->Erases().size(), 19u);

    Unseat();
    chip = Start("M5M29FT800", 0x100); // adapter 'd': the chip erase skips locked blocks
    FillPattern(BufferByteSize, 4);
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    chip->SetLock(0, true);
    EXPECT_EQ(Run(OpErase), 1) << LogText(); // the part reports no error
    EXPECT_TRUE(HasLine(" Protected sector 000000h-007FFFh was not erased!")) << LogText();
    EXPECT_EQ(chip->Cell(0x10), BufferWords[0x10]);

    Unseat();
    chip = Start("M5M29FB800", 0x4100);
    chip->SetLock(1, true); // words 2000h-2FFFh
    DeviceStart = 0x1F80;
    DeviceEnd = 0x207F;
    FillPattern(BufferByteSize, 5);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    std::snprintf(line, sizeof line, "  Chip addr: 002000h  data: %04Xh", chip->Cell(0x2000));
    EXPECT_TRUE(HasLine(line)) << LogText();
    std::snprintf(line, sizeof line, "Buffer addr: 000100h  data: %04Xh", BufferWords[0x80]);
    EXPECT_TRUE(HasLine(line)) << LogText();
    ExpectNoViolations();
}

} // namespace
