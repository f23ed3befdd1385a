// Rows 28, 38, 26, 91, 37 and 39 through the operation driver on the parts of their
// library records: the round trip from a loaded file, the block lines, the
// error bits, the block unlocks, the two chips of row 91, a chip start above
// 0, the write buffers and the faults each run ends with.
#include "CommandFlashFixture.h"
#include "engine/Buffer.h"

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
                                           WordPart{"28F128J3", -1}),
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

// A chip start above 0 programs and reads its own addresses on every row;
// on row 91 the range starts in the second chip.
TEST_F(WordFlashRun, ChipStartAboveZeroWorksOnItsOwnAddresses) {
    const struct {
        const char* part;
        uint32_t start;
    } cases[] = {{"LH28F800SU", 0x1F0}, {"28F800B3-T", 0x1F0}, {"28F400B3-B", 0x10FF0}, {"2x28F160S5", 0x100000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.part);
        sim::CommandFlashChip* chip = Start(c.part, 0);
        DeviceStart = c.start;
        DeviceEnd = c.start + 0x120;
        FillPattern(BufferByteSize, 9);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectHolds(*chip, DeviceStart);
        EXPECT_EQ(chip->Cell(DeviceStart - 1), 0xFFFF);
        EXPECT_EQ(chip->Cell(0), 0xFFFF);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
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

} // namespace
