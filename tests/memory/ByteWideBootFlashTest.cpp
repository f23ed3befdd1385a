// The byte-wide boot-block parts of the status-error word-program row through
// the operation driver on their library records: the round trip and Read ID,
// the byte layouts' block lines (the doubled starts), a chip start above 0
// across the address-register boundaries, and the faults each run ends with.
#include <numeric>

#include "CommandFlashFixture.h"

namespace {

using ByteBootRun = CommandFlashRun;

struct ByteBootPart {
    const char* name;
    uint32_t device;
};

class ByteBootRows : public ByteBootRun, public ::testing::WithParamInterface<ByteBootPart> {};

TEST_P(ByteBootRows, BlankProgramReadVerifyEraseThenBlank) {
    const ByteBootPart& c = GetParam();
    sim::CommandFlashChip* chip = Start(c.name);
    ASSERT_NE(chip, nullptr);
    ASSERT_EQ(DataWidth, 8u);
    ExpectRoundTrip(*chip);
    ExpectReadId(c.device);
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Parts, ByteBootRows,
                         ::testing::Values(ByteBootPart{"28F004B3-B", 0xD5}, ByteBootPart{"28F004B3-T", 0xD4},
                                           ByteBootPart{"28F008B3-B", 0xD3}, ByteBootPart{"28F008B3-T", 0xD2},
                                           ByteBootPart{"28F016B3-B", 0xD1}, ByteBootPart{"28F016B3-T", 0xD0}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             n.erase(std::remove(n.begin(), n.end(), '-'), n.end());
                             return "Part" + n;
                         });

// A whole-chip erase reaches every block of the part's own map through the
// layout's doubled starts and leaves one line, the last block's.
TEST_F(ByteBootRun, EraseWalksTheDoubledLayout) {
    const struct {
        const char* part;
        const char* last;
    } cases[] = {
        {"28F004B3-B", " Block Address 70000h - 7FFFFh Erase ok!"},
        {"28F004B3-T", " Block Address 7E000h - 7FFFFh Erase ok!"},
        {"28F008B3-B", " Block Address F0000h - FFFFFh Erase ok!"},
        {"28F008B3-T", " Block Address FE000h - FFFFFh Erase ok!"},
        {"28F016B3-B", " Block Address 1F0000h - 1FFFFFh Erase ok!"},
        {"28F016B3-T", " Block Address 1FE000h - 1FFFFFh Erase ok!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.part);
        sim::CommandFlashChip* chip = Start(c.part, 0);
        FillPattern(BufferByteSize, 5);
        DeviceEnd = 0x11FFF; // a parameter block, and on into the first 64 KB
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        // Each block of the part's map erased once.
        std::vector<uint32_t> blocks = chip->Erases();
        std::sort(blocks.begin(), blocks.end());
        std::vector<uint32_t> every(chip->Config().blockStarts.size());
        std::iota(every.begin(), every.end(), 0u);
        EXPECT_EQ(blocks, every);
        EXPECT_TRUE(chip->IsBlank());
        const auto lines = BlockLines();
        ASSERT_EQ(lines.size(), 1u) << LogText();
        EXPECT_EQ(lines.back(), c.last);
        ExpectNoViolations();
        Unseat();
    }
}

// A range starting above 0 programs its own bytes, register 2 moving at the
// 64 KB boundary it crosses.
TEST_F(ByteBootRun, ChipStartAboveZeroCrossesTheBank) {
    for (const char* part : {"28F008B3-B", "28F016B3-T"}) {
        SCOPED_TRACE(part);
        sim::CommandFlashChip* chip = Start(part, 0);
        DeviceStart = 0x1FFF0;
        DeviceEnd = 0x20110;
        FillPattern(BufferByteSize, 9);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectHolds(*chip, DeviceStart);
        EXPECT_EQ(chip->Cell(DeviceStart - 1), 0xFF);
        EXPECT_EQ(chip->Cell(DeviceEnd + 1), 0xFF);
        EXPECT_EQ(chip->Cell(DeviceStart & 0xFFFF), 0xFF);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ExpectNoViolations();
        Unseat();
    }
}

// Faults end the run with their line and the socket off.
TEST_F(ByteBootRun, FaultsEndTheRunWithTheirLine) {
    const struct {
        const char* label;
        int op;
        std::function<void(sim::CommandFlashChip&)> fault;
        int result;
        const char* line;
        uint32_t waits;
    } cases[] = {
        {"a cell never programs", OpProgram, [](auto& c) { c.StickCell(2); }, -1, " Word Program Error!", 0},
        {"never ready", OpProgram, [](auto& c) { c.NeverReady(true); }, -1, "Program error!", 0},
        {"an erase hangs", OpErase, [](auto& c) { c.NeverReadyBlock(0); }, -1, "Erase error!", 30},
        {"ESC answered No", OpErase, [](auto& c) { c.NeverReadyBlock(0); }, 3, "USER BREAK!", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::CommandFlashChip* chip = Start("28F008B3-B");
        ASSERT_NE(chip, nullptr);
        Retry = 1;
        if (c.result == 3) ui.BreakAtStatus = "0.3 sec";
        ExpectFaultRun([&] { c.fault(*chip); }, c.op, c.result, c.line, c.waits);
        ui.BreakAtStatus.clear();
        Unseat();
    }
}

// A programming voltage below the part's floor: bit 4 with bit 3, only the
// program error logged; nothing programmed.
TEST_F(ByteBootRun, VppLowLogsTheProgramErrorOnly) {
    sim::CommandFlashChip* chip = Start("28F016B3-B", 0x10);
    Vpp = 500;
    FillPattern(BufferByteSize, 1);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(HasLine(" Word Program Error!")) << LogText();
    EXPECT_FALSE(HasLine(" Vpp Low Detect!")) << LogText();
    EXPECT_TRUE(chip->IsBlank());
}

} // namespace
