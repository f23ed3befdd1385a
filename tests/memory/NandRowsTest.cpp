// The NAND rows through the operation driver: the whole cycle on one socket
// and a gang, bad-block skipping of row 77, the block-0 maps of rows 83 and
// 86, and injected faults.
#include <cstdio>
#include <fstream>
#include <utility>

#include "ImageFiles.h"
#include "NandFixture.h"
#include "engine/Buffer.h"

namespace {

template <class P> class NandCase : public NandRun, public ::testing::WithParamInterface<P> {};

struct CycleCase {
    NandPart part;
    int gang;
};
const CycleCase kCycleCases[] = {
    {{"TOSHIBA", "TC58V32AFT"}, 0},   {{"SAMSUNG", "K9F1608W0A"}, 0},      {{"TOSHIBA", "TC58V32AFT"}, 2},
    {{"SAMSUNG", "K9F3208W0A"}, 0},   {{"TOSHIBA", "TC58V64AFT(528)"}, 0}, {{"SAMSUNG", "K9F3208W0A"}, 2},
    {{"SAMSUNG", "KM29W32000AT"}, 0}, {{"SAMSUNG", "K9F6408U0B(528)"}, 0}, {{"SAMSUNG", "KM29W32000AT"}, 2},
};
using NandCycle = NandCase<CycleCase>;

// Program from a loaded file, verify, read back equal, erase, blank.
TEST_P(NandCycle, ProgramVerifyReadEraseBlank) {
    const CycleCase& c = GetParam();
    Start(c.part, 2, c.gang);
    FillRange(7);
    const std::vector<uint8_t> data = BufferCopy(0, DeviceEnd + 1);
    {
        std::ofstream out("image.bin", std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    FillBufferRange(0, DeviceEnd, 0x00);
    ASSERT_EQ(LoadFileAt("image.bin", 0, 0), 1);
    ASSERT_EQ(BufferCopy(0, DeviceEnd + 1), data);
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    FillBufferRange(0, DeviceEnd, 0x00);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferCopy(0, DeviceEnd + 1), data);
    EXPECT_EQ(Run(OpBlankCheck), -1) << LogText();
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    ExpectNoViolations();
}
INSTANTIATE_TEST_SUITE_P(Rows, NandCycle, ::testing::ValuesIn(kCycleCases));

// ---- row 77 -------------------------------------------------------------------------

// Variants 0-2 are never scanned: a marked block takes data like any other,
// and the image is told the wiring of these parts.
TEST_F(NandRun, Row77SmallPagePartsAreNeverScanned) {
    Start({"SAMSUNG", "K9F1608W0A"}, 3);
    chips[0]->MarkBad(1);
    FillRange(2);
    simp.EnableTrace(true);
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(ChipBlock(*chips[0], 1), BufferCopy(chipBlock, chipBlock));
    const auto& trace = simp.RegisterTrace();
    EXPECT_TRUE(std::any_of(trace.begin(), trace.end(),
                            [](const auto& a) { return a.write && a.reg == 7 && a.value == 1; }));
}

// A bad block k: the data go on in block k + 1 and read back without a gap;
// each gang socket skips its own bad blocks, the one with more stops earlier.
struct SkipCase {
    int gang;
    std::vector<std::vector<uint32_t>> bad; // per socket
};
using Row77Skip = NandCase<SkipCase>;
TEST_P(Row77Skip, DataGoOnInTheNextGoodBlock) {
    const SkipCase& c = GetParam();
    Start({"TOSHIBA", "TC58V32AFT"}, 4, c.gang);
    for (size_t s = 0; s < c.bad.size(); ++s) {
        for (uint32_t b : c.bad[s])
            chips[s]->MarkBad(b);
    }
    // Data in as many blocks as the socket with the most bad blocks holds.
    size_t mostBad = 0;
    for (const auto& bad : c.bad) mostBad = std::max(mostBad, bad.size());
    FillRange(3);
    FillBufferRange(static_cast<uint32_t>(4 - mostBad) * chipBlock, DeviceEnd, 0xFF);
    VerifyAfterProgram = 0;
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    for (size_t s = 0; s < chips.size(); ++s) {
        uint32_t data = 0;
        for (uint32_t b = 0; b < 6; ++b) {
            const bool bad = std::count(c.bad[s].begin(), c.bad[s].end(), b) != 0;
            if (bad) continue;
            // The data blocks that fit before DeviceEnd less the skipped space.
            const bool written = data < 4 - c.bad[s].size();
            EXPECT_EQ(ChipBlock(*chips[s], b),
                      written ? BufferCopy(data * chipBlock, chipBlock) : Blank(chipBlock))
                << "socket " << s << " block " << b;
            data += written;
        }
    }
    // Socket 0 reads back without a gap.
    const auto expected = BufferCopy(0, (4 - static_cast<uint32_t>(c.bad[0].size())) * chipBlock);
    FillBufferRange(0, DeviceEnd, 0x00);
    ASSERT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferCopy(0, static_cast<uint32_t>(expected.size())), expected);
    ExpectNoViolations();
}
INSTANTIATE_TEST_SUITE_P(Sockets, Row77Skip,
                         ::testing::Values(SkipCase{0, {{1}}}, SkipCase{2, {{}, {1}}},
                                           SkipCase{3, {{2}, {}, {0, 3}}}));

// Any non-FFh byte among the first 16 spare bytes marks a block; the list
// names it, and a socket without bad blocks lists only its count.
using Row77Marks = NandCase<uint32_t>;
TEST_P(Row77Marks, OptionsListsTheMarkedBlock) {
    const uint32_t markByte = GetParam();
    Start({"TOSHIBA", "TC58V32AFT"}, 2, 2);
    chips[1]->MarkBad(2, markByte, 0xFE);
    EXPECT_EQ(Option(), 1);
    EXPECT_EQ(Log(), (std::vector<std::string>{"Socket#1", "Bed Block Count: 0", "Socket#2",
                                               "Address:00004000h, Block No:2", "Bed Block Count: 1"}));
}
INSTANTIATE_TEST_SUITE_P(SpareBytes, Row77Marks, ::testing::Values(0u, 5u, 15u));

TEST_F(NandRun, Row77OptionsOfAChipWithoutBadBlocks) {
    Start({"TOSHIBA", "TC58V32AFT"}, 2);
    EXPECT_EQ(Option(), 1);
    EXPECT_EQ(Log(), std::vector<std::string>{"Bed Block Count: 0"});
}

// More than 100 bad blocks fail every operation at power-up.
using Row77Limit = NandCase<uint32_t>;
TEST_P(Row77Limit, MoreThan100BadBlocksFail) {
    const uint32_t bad = GetParam();
    Start({"TOSHIBA", "TC58V32AFT"}, 2, 0, 112);
    for (uint32_t b = 0; b < bad; ++b)
        chips[0]->MarkBad(10 + b);
    FillRange(1);
    EXPECT_EQ(Run(OpBlankCheck), bad > 100 ? -1 : 1) << LogText();
}
INSTANTIATE_TEST_SUITE_P(Counts, Row77Limit, ::testing::Values(100u, 101u));

// ---- rows 83 and 86: the block-0 map ------------------------------------------------

std::vector<uint8_t> Le(std::vector<uint8_t> m, uint32_t at, uint16_t v) {
    m[at] = static_cast<uint8_t>(v), m[at + 1] = static_cast<uint8_t>(v >> 8);
    return m;
}
std::vector<uint8_t> Be(std::vector<uint8_t> m, uint32_t at, uint16_t v) {
    m[at] = static_cast<uint8_t>(v >> 8), m[at + 1] = static_cast<uint8_t>(v);
    return m;
}

// A blank chip is formatted at its first power-up, whatever the operation.
TEST_F(NandRun, Row83FormatsABlankChip) {
    // Row 83: name, count, bad pages, entries; spare bytes FFh.
    Start({"SAMSUNG", "K9F3208W0A"}, 2);
    chips[0]->MarkBad(5);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    std::vector<uint8_t> map(4608, 0xFF);
    const char* name = "NAND 032M MODE2";
    std::copy(name, name + 15, map.begin());
    map[16] = 2;
    map = Le(Le(map, 17, 0), 19, 5 * 16);
    map = Le(Le(map, 512, 0xF5F5), 512 + 2 * 5, 0xF0F0);
    std::vector<uint8_t> block0 = ChipBlock(*chips[0], 0, true), expected;
    for (uint32_t pg = 0; pg < 16; ++pg) {
        for (uint32_t i = 0; i < 528; ++i)
            expected.push_back(pg < 9 && i < 512 ? map[pg * 512 + i] : 0xFF);
    }
    EXPECT_EQ(block0, expected);
}

TEST_F(NandRun, Row86FormatsABlankChip) {
    // Row 86: mark, counts, bad sectors in page 0; page 7's halves FFh.
    Start({"SAMSUNG", "KM29W32000AT"}, 2);
    chips[0]->MarkBad(5);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    std::vector<uint8_t> page0(512, 0xFF);
    for (uint8_t i = 0; i < 16; ++i)
        page0[i] = static_cast<uint8_t>(0xFE - i);
    page0 = Be(Be(page0, 0x18, 0), 0x1A, 0x0F00);
    page0 = Be(Be(Be(Be(page0, 0x40, 0x2000), 0x42, 0x2001), 0x44, 0x200A), 0x46, 0x200B);
    std::vector<uint8_t> got0, got7;
    for (uint32_t i = 0; i < 512; ++i)
        got0.push_back(chips[0]->PageByte(0, i)), got7.push_back(chips[0]->PageByte(7, i));
    EXPECT_EQ(got0, page0);
    EXPECT_EQ(got7, Blank(512));
    ExpectNoViolations();
}

// Block 0 always counts as bad: a perfect chip lists one bad block (row 83)
// or two bad sectors (row 86), and the list ends with a beep.
struct ListCase {
    NandPart part;
    void (*show)();
    std::vector<std::string> lines;
};
const ListCase kListCases[] = {
    {{"SAMSUNG", "K9F3208W0A"}, ShowBadBlocks83, {"Address:00000000h, Block No:0000", "Bed Block Count: 1"}},
    {{"SAMSUNG", "KM29W32000AT"},
     ShowBadSectors86,
     {"Address:00000000h, Sector No:0", "Address:00001000h, Sector No:1", "Bed Sector Count: 2"}},
};
using PerfectChip = NandCase<ListCase>;
TEST_P(PerfectChip, ListsBlockZero) {
    const ListCase& c = GetParam();
    Start(c.part, 2);
    ASSERT_EQ(CheckCommunication(MainEngine), 1);
    PrepareOperation(MainEngine);
    runStart_ = ui.Log.size();
    tones.clear();
    c.show();
    EXPECT_EQ(Log(), c.lines);
    EXPECT_FALSE(tones.empty());
}
INSTANTIATE_TEST_SUITE_P(Rows, PerfectChip, ::testing::ValuesIn(kListCases));

// Formatting failures: too many bad blocks, block 0 failing erase or program.
struct FormatCase {
    NandPart part;
    void (*fault)(sim::NandChip&);
    const char* line;
};
const FormatCase kFormatCases[] = {
    {{"SAMSUNG", "K9F3208W0A"},
     [](sim::NandChip& c) {
         for (uint32_t b = 1; b <= 30; ++b)
             c.MarkBad(b * 3);
     },
     " To meny bed block."},
    {{"SAMSUNG", "KM29W32000AT"},
     [](sim::NandChip& c) {
         for (uint32_t b = 1; b <= 30; ++b)
             c.MarkBad(b * 3);
     },
     " To meny bed block."},
    {{"SAMSUNG", "K9F3208W0A"}, [](sim::NandChip& c) { c.FailErase(0); }, " Block #0 erase error."},
    {{"SAMSUNG", "KM29W32000AT"}, [](sim::NandChip& c) { c.FailErase(0); }, " Block #0 erase error."},
    {{"SAMSUNG", "K9F3208W0A"}, [](sim::NandChip& c) { c.FailProgram(0); }, " Block #0 program error."},
    {{"SAMSUNG", "KM29W32000AT"}, [](sim::NandChip& c) { c.FailProgram(0); }, " Block #0 program error."},
    {{"SAMSUNG", "K9F3208W0A"}, [](sim::NandChip& c) { c.NeverReady(true); }, " Block #0 not ready."},
    {{"SAMSUNG", "KM29W32000AT"}, [](sim::NandChip& c) { c.NeverReady(true); }, " Block #0 not ready."},
};
using FormatFailure = NandCase<FormatCase>;
// Whichever operation powers the part up, its step fails on the reason line:
// block 0 is no cell of the range, so no chip or buffer datum follows.
TEST_P(FormatFailure, HasItsLines) {
    const FormatCase& c = GetParam();
    Start(c.part, 2, 0, 96);
    c.fault(*chips[0]);
    FillRange(4);
    BlankCheckBeforeProgram = 0; // the program step powers the part up itself
    const std::pair<int, const char*> steps[] = {{OpBlankCheck, "Blank check error!"},
                                                 {OpProgram, "Program error!"},
                                                 {OpVerify, "Verification error!"},
                                                 {OpRead, "Read error!"},
                                                 {OpErase, "Erase error!"}};
    for (const auto& [op, error] : steps) {
        SCOPED_TRACE(error);
        EXPECT_EQ(Run(op), -1);
        ExpectLinesInOrder({error, "Device Initialization Fail!", c.line});
        ExpectNoDatumLines();
    }
}
INSTANTIATE_TEST_SUITE_P(Rows, FormatFailure, ::testing::ValuesIn(kFormatCases));

TEST_F(NandRun, ThirtyBadBlocksStillFormat) {
    // 29 marked blocks and block 0 make 30: still formatted.
    Start({"SAMSUNG", "K9F3208W0A"}, 2, 0, 96);
    for (uint32_t b = 1; b <= 29; ++b)
        chips[0]->MarkBad(b * 3);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
}

// Row 83 places ProgramBlockSize blocks in the good blocks after block 0;
// its logical read gives exactly those (the rest of the range erased bytes),
// its physical read the map and the bad blocks as well.
TEST_F(NandRun, Row83LogicalAndPhysicalReads) {
    Start({"SAMSUNG", "K9F3208W0A"}, 6);
    chips[0]->MarkBad(2);
    ProgramBlockSize = 2;
    FillRange(5);
    const auto data = BufferCopy(0, 6 * bufferBlock);
    DeviceEnd = 2 * bufferBlock - 1; // what two logical blocks hold
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    DeviceEnd = 6 * bufferBlock - 1;
    EXPECT_EQ(ChipBlock(*chips[0], 1), BufferCopy(0, chipBlock));
    EXPECT_EQ(ChipBlock(*chips[0], 3), BufferCopy(chipBlock, chipBlock));
    EXPECT_EQ(ChipBlock(*chips[0], 4), Blank(chipBlock));
    FillBufferRange(0, DeviceEnd, 0x00);
    ASSERT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferCopy(0, 2 * bufferBlock),
              std::vector<uint8_t>(data.begin(), data.begin() + 2 * bufferBlock));
    EXPECT_EQ(BufferCopy(2 * bufferBlock, bufferBlock), Blank(bufferBlock)); // past the logical blocks

    NandReadMode83 = 1;
    FillBufferRange(0, DeviceEnd, 0x00);
    ASSERT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferCopy(0, 15), std::vector<uint8_t>(NandDeviceNames[3], NandDeviceNames[3] + 15));
    EXPECT_EQ(BufferCopy(bufferBlock, bufferBlock), ChipBlock(*chips[0], 1));
    EXPECT_EQ(BufferCopy(2 * bufferBlock, bufferBlock), ChipBlock(*chips[0], 2));
    EXPECT_EQ(BufferCopy(3 * bufferBlock, bufferBlock), ChipBlock(*chips[0], 3));

    // Erase keeps block 0 (its map) and the bad block.
    const uint32_t block0Erases = chips[0]->Erases(0);
    ASSERT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(chips[0]->Erases(0), block0Erases);
    EXPECT_EQ(chips[0]->Erases(2), 0u);
    EXPECT_EQ(chips[0]->Erases(3), 1u);
    EXPECT_EQ(chips[0]->PageByte(0, 0), 'N');
    ExpectNoViolations();
}

// A socket whose good blocks run out stops: nothing is written past the
// device's last block, whatever the rows skipped (row 77 with its last two
// blocks bad in one gang socket). Row 83 with fewer logical blocks than the
// range needs refuses the range before writing a page, naming the blocks
// missing.
using LastBlock = NandCase<NandPart>;
TEST_P(LastBlock, NothingIsWrittenPastIt) {
    Start(GetParam(), 4, 2, 4);
    chips[1]->MarkBad(2);
    chips[1]->MarkBad(3);
    const bool row83 = CurrentAlgorithm == 83;
    ProgramBlockSize = row83 ? 3 : 500;
    FillRange(3);
    if (!row83) FillBufferRange(2 * chipBlock, DeviceEnd, 0xFF); // what socket 1's good blocks hold
    VerifyAfterProgram = 0;
    EXPECT_EQ(Run(OpProgram), row83 ? -1 : 1) << LogText();
    for (sim::NandChip* c : chips) {
        for (uint32_t b = 4; b < 8; ++b)
            EXPECT_TRUE(c->BlockBlank(b)) << b;
    }
    if (row83) {
        ExpectLinesInOrder({"Socket#1", "Program range: 4 blocks, the part holds 3: 1 blocks missing."});
        for (uint32_t b = 1; b < 4; ++b)
            EXPECT_TRUE(chips[0]->BlockBlank(b)) << b;
        EXPECT_TRUE(chips[1]->BlockBlank(1));
    } else {
        EXPECT_EQ(ChipBlock(*chips[1], 1), BufferCopy(chipBlock, chipBlock));
    }
    ExpectNoViolations();
}
INSTANTIATE_TEST_SUITE_P(Rows, LastBlock,
                         ::testing::Values(NandPart{"TOSHIBA", "TC58V32AFT"},
                                           NandPart{"SAMSUNG", "K9F3208W0A"}));

// An empty block-size text (0) gives the range no logical block: the
// Program is refused before block 0 or any page is written.
TEST_F(NandRun, Row83WithoutLogicalBlocksWritesNothing) {
    Start({"SAMSUNG", "K9F3208W0A"}, 3);
    ASSERT_EQ(Run(OpBlankCheck), 1) << LogText(); // formatted
    const uint32_t erasesBefore = chips[0]->Erases(0);
    ProgramBlockSize = 0;
    FillRange(6);
    VerifyAfterProgram = 0;
    ASSERT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(HasLine("Program range: 3 blocks, the part holds 0: 3 blocks missing.")) << LogText();
    ExpectNoDatumLines();
    EXPECT_EQ(chips[0]->Erases(0), erasesBefore);
    for (uint32_t b = 1; b < 4; ++b)
        EXPECT_EQ(ChipBlock(*chips[0], b), Blank(chipBlock)) << b;
}

// A verify compares the whole range: data past what the map gives blocks
// for is not on the part (row 83 beyond its logical blocks, row 86 on a part
// whose refused Program left no entry).
TEST_F(NandRun, VerifyFailsWhereTheMapHoldsNoneOfTheRange) {
    Start({"SAMSUNG", "K9F3208W0A"}, 3);
    ProgramBlockSize = 2;
    FillRange(8);
    DeviceEnd = 2 * bufferBlock - 1;
    VerifyAfterProgram = 0;
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    DeviceEnd = 3 * bufferBlock - 1;
    EXPECT_EQ(Run(OpVerify), -1) << LogText();
    FillBufferRange(2 * bufferBlock, DeviceEnd, 0xFF);
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    ExpectNoViolations();
}
TEST_F(NandRun, Row86VerifyOfARefusedProgramFails) {
    Start({"SAMSUNG", "KM29W32000AT"}, 65, 0, 80);
    FillRange(4);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Data blocks: 65, the block-0 map holds 64: 1 blocks missing.")) << LogText();
    EXPECT_EQ(Run(OpVerify), -1) << LogText();
    ExpectNoViolations();
}

// Row 86 fills the highest good blocks; its logical read stops at the
// first empty entry; Erase keeps block 0 and the bad blocks.
TEST_F(NandRun, Row86PlacesDataAtTheTop) {
    Start({"SAMSUNG", "KM29W32000AT"}, 4);
    chips[0]->MarkBad(510); // of 512
    FillRange(9);
    FillBufferRange(3 * bufferBlock, DeviceEnd, 0xFF); // D = 3
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(ChipBlock(*chips[0], 508), BufferCopy(0, chipBlock));
    EXPECT_EQ(ChipBlock(*chips[0], 509), BufferCopy(chipBlock, chipBlock));
    EXPECT_EQ(ChipBlock(*chips[0], 511), BufferCopy(2 * chipBlock, chipBlock));
    EXPECT_EQ(chips[0]->PageByte(0, 0x18), 0);
    EXPECT_EQ(chips[0]->PageByte(0, 0x19), 6);
    const auto data = BufferCopy(0, 3 * bufferBlock);
    FillBufferRange(0, DeviceEnd, 0x00);
    ASSERT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferCopy(0, 3 * bufferBlock), data);
    EXPECT_EQ(BufferCopy(3 * bufferBlock, bufferBlock), std::vector<uint8_t>(bufferBlock, 0xFF));

    const uint32_t block0Erases = chips[0]->Erases(0);
    ASSERT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(chips[0]->Erases(0), block0Erases);
    EXPECT_EQ(chips[0]->Erases(510), 0u);
    EXPECT_EQ(chips[0]->Erases(508), 1u);
    EXPECT_EQ(chips[0]->PageByte(0, 0), 0xFE); // the map stays
    ExpectNoViolations();
}

// Row 86's logical read gives the range's blocks that the map holds no
// entry for as the part holds them, erased: a blank part read into a buffer
// of other data leaves FFh over the whole range and nothing outside it; a
// verify and a compare take them as FFh too, at the range's own buffer
// bytes whatever Buffer Start says.
TEST_F(NandRun, Row86ReadOfBlocksTheMapDoesNotHoldGivesErasedBytes) {
    for (const NandPart& part : {NandPart{"SAMSUNG", "K9F6408U0B"}, NandPart{"SAMSUNG", "KM29W32000AT"},
                                 NandPart{"SAMSUNG", "K9F2808U0B(528)"}}) {
        SCOPED_TRACE(part.name);
        socket->Clear();
        BufferStart = 0;
        Start(part, 1);
        DeviceEnd = 0x3FF;
        FillBufferRange(0, 0x7FF, 0x5A);
        ASSERT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(BufferCopy(0, 0x400), std::vector<uint8_t>(0x400, 0xFF));
        EXPECT_EQ(BufferByte(0x400), 0x5A);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        BufferStart = 0x10000;
        FillBufferRange(0x10000, 0x103FF, 0xFF);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        FillBufferRange(0x10123, 0x10123, 0x00);
        EXPECT_EQ(Run(OpVerify), -1) << LogText();
        EXPECT_TRUE(HasLine("Buffer addr: 010123h  data: 0000h")) << LogText();
        ExpectNoViolations();
    }
}

// Row 86 from a later block counts its data blocks from the range's first
// one: blank buffer blocks below the range do not stop it, and the range's
// blocks land at the top of the chip.
TEST_F(NandRun, Row86FromALaterBlock) {
    Start({"SAMSUNG", "KM29W32000AT"}, 4);
    DeviceStart = BufferStart = 2 * bufferBlock;
    DeviceEnd = BufferEnd = 4 * bufferBlock - 1;
    FillBufferRange(0, DeviceStart - 1, 0xFF);
    FillPattern(DeviceEnd + 1, 12);
    FillBufferRange(0, DeviceStart - 1, 0xFF);
    const auto data = BufferCopy(DeviceStart, 2 * bufferBlock);
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    EXPECT_EQ(ChipBlock(*chips[0], 510), BufferCopy(DeviceStart, chipBlock));
    EXPECT_EQ(ChipBlock(*chips[0], 511), BufferCopy(DeviceStart + chipBlock, chipBlock));
    FillBufferRange(DeviceStart, DeviceEnd, 0x00);
    ASSERT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferCopy(DeviceStart, 2 * bufferBlock), data);
    ExpectNoViolations();
}

// Row 86 counts its data blocks from the range's bytes at Buffer Start: a
// range whose data lie in another part of the buffer (FFh at the chip's own
// addresses) is written whole and verifies.
TEST_F(NandRun, Row86CountsItsDataBlocksAtBufferStart) {
    Start({"SAMSUNG", "KM29W32000AT"}, 2);
    BufferStart = 0x100000;
    FillBufferRange(0, DeviceEnd, 0xFF);
    FillPattern(BufferStart + DeviceEnd + 1, 14);
    FillBufferRange(0, BufferStart - 1, 0xFF);
    const auto data = BufferCopy(BufferStart, 2 * bufferBlock);
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(ChipBlock(*chips[0], 510), std::vector<uint8_t>(data.begin(), data.begin() + chipBlock));
    EXPECT_EQ(ChipBlock(*chips[0], 511), std::vector<uint8_t>(data.begin() + chipBlock, data.begin() + 2 * chipBlock));
    FillBufferRange(BufferStart, BufferStart + DeviceEnd, 0x00);
    ASSERT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferCopy(BufferStart, 2 * bufferBlock), data);
    ExpectNoViolations();
}

// Row 86 refuses data it would leave unwritten (after an empty buffer block)
// and more data blocks than the map holds, before writing any page.
struct PlaceCase {
    uint32_t blocks;
    uint32_t emptyBlock;
    const char* line;
};
using Row86Refusal = NandCase<PlaceCase>;
TEST_P(Row86Refusal, NothingIsWritten) {
    const PlaceCase& c = GetParam();
    Start({"SAMSUNG", "KM29W32000AT"}, c.blocks, 0, 80);
    FillRange(4);
    if (c.emptyBlock < c.blocks)
        FillBufferRange(c.emptyBlock * bufferBlock, (c.emptyBlock + 1) * bufferBlock - 1, 0xFF);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(c.line)) << LogText();
    ExpectNoDatumLines();
    for (uint32_t b = 1; b < 80; ++b)
        ASSERT_TRUE(chips[0]->BlockBlank(b)) << b;
}
INSTANTIATE_TEST_SUITE_P(
    Buffers, Row86Refusal,
    ::testing::Values(PlaceCase{4, 1, "Buffer block 1 is empty: block 2 and after would not be written."},
                      PlaceCase{65, 99, "Data blocks: 65, the block-0 map holds 64: 1 blocks missing."}));

// Records the map rows cannot serve: power-up fails with the librarian's reason.
TEST_F(NandRun, MapRowsRefuseRecordsTheyCannotServe) {
    Start({"SAMSUNG", "K9F3208W0A"}, 2);
    PageSize = 0;
    for (int op : {OpRead, OpBlankCheck}) {
        EXPECT_EQ(Run(op), -1);
        EXPECT_TRUE(HasLine("page of 0 is not the buffer page of 512 (flags bit 8 clear)")) << LogText();
        ExpectNoDatumLines();
    }
    EXPECT_TRUE(chips[0]->BlockBlank(0));
}

TEST(NandRecords, RefusalsOfTheLibrarian) {
    struct Case {
        uint32_t row, variant, flags, page, size;
        const char* why;
    };
    const Case cases[] = {
        {83, 3, 0x30, 512, 4u << 20, ""},
        {83, 3, 0x130, 528, 4325376, ""},
        {83, 3, 0x130, 512, 4u << 20, "page of 512 is not the buffer page of 528 (flags bit 8 set)"},
        {86, 4, 0x30, 528, 8u << 20, "page of 528 is not the buffer page of 512 (flags bit 8 clear)"},
        {83, 6, 0x30, 512, 64u << 20, "4096 blocks, algorithm 83 keeps maps of 2048"},
        {86, 5, 0x30, 512, 32u << 20, "2048 blocks, algorithm 86 keeps maps of 1024"},
        {86, 6, 0x30, 512, 4u << 20, "variant 6 has no map format in algorithm 86"},
        {83, 2, 0x30, 512, 4u << 20, "variant 2 has no map format in algorithm 83"},
        {77, 6, 0x30, 0, 4u << 20, "variant 6 has no geometry in algorithm 77"},
        {77, 5, 0x30, 0, 32u << 20, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NandRecordRefusal(c.row, c.variant, c.flags, c.page, c.size), c.why);
}

// ---- injected faults: each -1 with no hang; ESC gives 3 -------------------------------

struct FaultCase {
    NandPart part;
    int gang;
    int op;
    void (*fault)(std::vector<sim::NandChip*>&);
    const char* line;
};
const FaultCase kFaultCases[] = {
    {{"TOSHIBA", "TC58V32AFT"}, 0, OpProgram, [](auto& c) { c[0]->FailProgram(1); }, "Program error!"},
    {{"SAMSUNG", "K9F3208W0A"}, 0, OpProgram, [](auto& c) { c[0]->FailProgram(2); }, "Program error!"},
    {{"SAMSUNG", "KM29W32000AT"}, 0, OpProgram, [](auto& c) { c[0]->FailProgram(511); }, "Program error!"},
    {{"TOSHIBA", "TC58V32AFT"}, 0, OpErase, [](auto& c) { c[0]->FailErase(7); }, "Erase error!"},
    {{"SAMSUNG", "K9F3208W0A"}, 0, OpErase, [](auto& c) { c[0]->FailErase(7); }, "Erase error!"},
    {{"SAMSUNG", "KM29W32000AT"}, 0, OpErase, [](auto& c) { c[0]->FailErase(7); }, "Erase error!"},
    {{"TOSHIBA", "TC58V32AFT"}, 0, OpProgram, [](auto& c) { c[0]->NeverReady(true); }, ""},
    {{"SAMSUNG", "K9F3208W0A"}, 0, OpRead, [](auto& c) { c[0]->NeverReady(true); }, ""},
    {{"SAMSUNG", "KM29W32000AT"}, 0, OpErase, [](auto& c) { c[0]->NeverReady(true); }, ""},
    {{"TOSHIBA", "TC58V32AFT"}, 3, OpProgram, [](auto& c) { c[2]->FailProgram(0); }, "Program error!"},
    {{"SAMSUNG", "K9F3208W0A"}, 2, OpProgram, [](auto& c) { c[1]->FailProgram(1); }, "Program error!"},
};
using InjectedFault = NandCase<FaultCase>;
TEST_P(InjectedFault, FailsWithoutHanging) {
    const FaultCase& c = GetParam();
    Start(c.part, 2, c.gang);
    FillRange(8);
    c.fault(chips);
    const uint64_t t0 = simp.NowUs();
    EXPECT_EQ(Run(c.op), -1) << LogText();
    if (*c.line) {
        EXPECT_TRUE(HasLine(c.line)) << LogText();
    }
    EXPECT_LT(simp.NowUs() - t0, 60'000'000u); // no endless wait
    EXPECT_TRUE(elec->SuppliedPins().empty());
}
INSTANTIATE_TEST_SUITE_P(Rows, InjectedFault, ::testing::ValuesIn(kFaultCases));

// A page program that fails names the byte the part did not take (the first
// of the page that differs from the buffer), with the part's datum there and
// the buffer's, even when the page runs into the next buffer bank.
struct FailedPageCase {
    NandPart part;
    uint32_t blocks; // of range
    void (*fault)(sim::NandChip&);
    uint32_t named; // buffer address of the byte named
    std::vector<std::string> lines;
};
const FailedPageCase kFailedPageCases[] = {
    // Block 1 fails as a whole: the page keeps FFh from its first byte.
    {{"TOSHIBA", "TC58V32AFT"},
     2,
     [](sim::NandChip& c) { c.FailProgram(1); },
     0x2000,
     {"  Chip addr: 002000h  data: 00FFh", "Buffer addr: 002000h  data: 0018h"}},
    // Logical block 7 sits in block 8, its page 12 (buffer 00FFC0h-0101CFh)
    // from the next bank on: the byte left is in the bank before.
    {{"SAMSUNG", "K9F3208W0A(528)"},
     8,
     [](sim::NandChip& c) { c.StickByte((8 * 16 + 12) * 528 + 0x20); },
     0xFFE0,
     {"  Chip addr: 00FFE0h  data: 00FFh", "Buffer addr: 00FFE0h  data: 0018h"}},
    // Row 86 places the range at the top: the byte at page 1, column 5 of
    // every block.
    {{"SAMSUNG", "KM29W32000AT"},
     2,
     [](sim::NandChip& c) {
         for (uint32_t b = 0; b < c.Nand().blocks; ++b)
             c.StickByte((b * 16 + 1) * 528 + 5);
     },
     0x205,
     {"  Chip addr: 000205h  data: 00FFh", "Buffer addr: 000205h  data: 0018h"}},
};
using FailedPage = NandCase<FailedPageCase>;
TEST_P(FailedPage, NamesTheByteThePartDidNotTake) {
    const FailedPageCase& c = GetParam();
    Start(c.part, c.blocks);
    FillRange(3);
    SelectBank(c.named, 1);
    BufferWindow[c.named & 0xFFFF] = 0x18;
    SelectBank(0, 0);
    c.fault(*chips[0]);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    ExpectLinesInOrder(c.lines);
    ExpectNoViolations();
}
INSTANTIATE_TEST_SUITE_P(Rows, FailedPage, ::testing::ValuesIn(kFailedPageCases));

using UserBreak = NandCase<NandPart>;
TEST_P(UserBreak, EscDuringProgramGives3) {
    const NandPart& p = GetParam();
    Start(p, 4);
    FillRange(2);
    ui.BreakAtPercent = 50;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), 3) << LogText();
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
}
INSTANTIATE_TEST_SUITE_P(Rows, UserBreak,
                         ::testing::Values(NandPart{"TOSHIBA", "TC58V32AFT"},
                                           NandPart{"SAMSUNG", "K9F3208W0A"},
                                           NandPart{"SAMSUNG", "KM29W32000AT"}));

// Row 77 with more data than the good blocks of the range hold refuses the
// Program before a page is written, naming the blocks missing (a gang names
// the socket); trailing FFh blocks of the buffer need no room.
struct FitCase {
    int gang;
    std::vector<std::vector<uint32_t>> bad; // per socket
    uint32_t dataBlocks;
    std::vector<std::string> lines; // empty: the Program runs
};
using Row77Fit = NandCase<FitCase>;
TEST_P(Row77Fit, DataMustFitTheGoodBlocks) {
    const FitCase& c = GetParam();
    Start({"TOSHIBA", "TC58V32AFT"}, 4, c.gang);
    for (size_t s = 0; s < c.bad.size(); ++s)
        for (uint32_t b : c.bad[s]) chips[s]->MarkBad(b);
    FillRange(5);
    FillBufferRange(c.dataBlocks * chipBlock, DeviceEnd, 0xFF);
    EXPECT_EQ(Run(OpProgram), c.lines.empty() ? 1 : -1) << LogText();
    if (c.lines.empty()) {
        ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    } else {
        ExpectLinesInOrder(c.lines);
        ExpectNoDatumLines();
        for (sim::NandChip* chip : chips)
            for (uint32_t b = 0; b < 8; ++b) EXPECT_EQ(chip->Erases(b), 0u) << b;
        for (size_t s = 0; s < chips.size(); ++s)
            for (uint32_t b = 0; b < 8; ++b)
                if (std::count(c.bad[s].begin(), c.bad[s].end(), b) == 0) {
                    EXPECT_TRUE(chips[s]->BlockBlank(b)) << b;
                }
    }
    ExpectNoViolations();
}
INSTANTIATE_TEST_SUITE_P(
    Sockets, Row77Fit,
    ::testing::Values(
        FitCase{0, {{1}}, 4, {"Program data: 4 blocks, the range has 3 good blocks: 1 blocks missing."}},
        FitCase{0, {{1}}, 3, {}},
        FitCase{0, {{0, 2}}, 4, {"Program data: 4 blocks, the range has 2 good blocks: 2 blocks missing."}},
        FitCase{2, {{}, {3}}, 4, {"Socket#2", "Program data: 4 blocks, the range has 3 good blocks: 1 blocks missing."}}));

// A start off a page (row 77) or off a block (the map rows, which place
// whole blocks) is refused by Program and by every read before the part is
// powered, with a line; on the unit it is served.
struct StartCase {
    NandPart part;
    bool onUnit; // the start on a page (row 77) or block (map rows)
};
using StartOffAUnit = NandCase<StartCase>;
TEST_P(StartOffAUnit, IsRefusedBeforeAnyWrite) {
    const StartCase& c = GetParam();
    Start(c.part, 3);
    const bool row77 = CurrentAlgorithm == 77;
    const uint32_t unit = row77 ? Facts(c.part).pageData : bufferBlock;
    DeviceStart = BufferStart = c.onUnit ? unit : 0x123;
    DeviceEnd = DeviceStart + 2 * bufferBlock - 1;
    FillRange(8);
    FillBufferRange(DeviceStart + bufferBlock, DeviceEnd, 0xFF);
    char line[96];
    std::snprintf(line, sizeof line, "Start address must be a multiple of the %s size (%Xh bytes).",
                  row77 ? "page" : "block", unit);
    for (int op : {OpBlankCheck, OpProgram, OpVerify, OpRead}) {
        SCOPED_TRACE(op);
        const int r = Run(op);
        EXPECT_EQ(r, c.onUnit ? 1 : -1) << LogText();
        EXPECT_EQ(HasLine(line), !c.onUnit) << LogText();
        ExpectNoDatumLines();
        if (!c.onUnit) {
            EXPECT_EQ(DatumLines(), "") << LogText(); // no verify level's line either
        }
    }
    if (!c.onUnit) {
        for (uint32_t b = 0; b < 8; ++b) EXPECT_TRUE(chips[0]->BlockBlank(b)) << b;
    }
    ExpectNoViolations();
}
INSTANTIATE_TEST_SUITE_P(Rows, StartOffAUnit,
                         ::testing::Values(StartCase{{"TOSHIBA", "TC58V32AFT"}, false},
                                           StartCase{{"TOSHIBA", "TC58V32AFT"}, true},
                                           StartCase{{"SAMSUNG", "K9F3208W0A"}, false},
                                           StartCase{{"SAMSUNG", "KM29W32000AT"}, false},
                                           StartCase{{"SAMSUNG", "KM29W32000AT(528)"}, false}));

// A read whose range ends inside a page reads the whole page from the part
// but stores only the range's bytes: the buffer after Buffer End keeps what
// it held, on every row (the map rows in both read modes), and a verify of
// that range passes.
using EndInsideAPage = NandCase<NandPart>;
TEST_P(EndInsideAPage, ReadStoresOnlyTheRange) {
    Start(GetParam(), 2);
    FillRange(4);
    const std::vector<uint8_t> data = BufferCopy(0, DeviceEnd + 1);
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    const uint32_t end = bufferBlock + 0x2FE; // inside the block's second page
    for (const uint32_t physical : {0u, 1u}) {
        SCOPED_TRACE(physical);
        NandReadMode83 = NandReadMode86 = physical;
        DeviceEnd = BufferEnd = end;
        FillBufferRange(0, 2 * bufferBlock - 1, 0x5A);
        ASSERT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t a = end + 1; a < end + 0x400; ++a) ASSERT_EQ(BufferByte(a), 0x5A) << std::hex << a;
        if (physical == 0) {
            EXPECT_EQ(BufferCopy(0, end + 1), std::vector<uint8_t>(data.begin(), data.begin() + end + 1));
            // Data past the end in the buffer differs from the part's: not compared.
            std::copy(data.begin(), data.end(), BufferImage());
            FillBufferRange(end + 1, end + 0x100, 0x00);
            EXPECT_EQ(Run(OpVerify), 1) << LogText();
        }
    }
    ExpectNoViolations();
}
INSTANTIATE_TEST_SUITE_P(Rows, EndInsideAPage,
                         ::testing::Values(NandPart{"SAMSUNG", "K9F6408U0A"}, NandPart{"TOSHIBA", "TC58V64AFT"},
                                           NandPart{"TOSHIBA", "TC58V64AFT(528)"},
                                           NandPart{"SAMSUNG", "K9F6408U0B"}));

// Row 83 programs from any block boundary, 10000h among them: the data of
// the start's block go to that chip block (the next good one past a bad
// block), verify and read back give them, and the blocks below stay blank.
struct BlockStart {
    NandPart part;
    uint32_t start;
};
using Row83Start = NandCase<BlockStart>;
TEST_P(Row83Start, DataLandInTheStartsBlock) {
    const BlockStart& c = GetParam();
    Start(c.part, 3);
    const uint32_t first = c.start / bufferBlock;
    chips[0]->MarkBad(first + 1);
    DeviceStart = BufferStart = c.start;
    DeviceEnd = BufferEnd = c.start + 2 * bufferBlock - 1;
    ASSERT_EQ(SelectBank(BufferEnd, 1), 1);
    SelectBank(0, 0);
    FillPattern(DeviceEnd + 1, 9);
    const std::vector<uint8_t> data = BufferCopy(c.start, 2 * bufferBlock);
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    EXPECT_EQ(ChipBlock(*chips[0], first), std::vector<uint8_t>(data.begin(), data.begin() + chipBlock));
    EXPECT_EQ(ChipBlock(*chips[0], first + 1), Blank(chipBlock)); // the bad block keeps only its marks
    EXPECT_EQ(ChipBlock(*chips[0], first + 2),
              std::vector<uint8_t>(data.begin() + bufferBlock, data.begin() + bufferBlock + chipBlock));
    for (uint32_t b = 1; b < first; ++b) EXPECT_TRUE(chips[0]->BlockBlank(b)) << b;
    FillBufferRange(c.start, DeviceEnd, 0x00);
    ASSERT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferCopy(c.start, 2 * bufferBlock), data);
    ExpectNoViolations();
}
INSTANTIATE_TEST_SUITE_P(Starts, Row83Start,
                         ::testing::Values(BlockStart{{"SAMSUNG", "K9F3208W0A"}, 0x2000},
                                           BlockStart{{"SAMSUNG", "K9F3208W0A"}, 0x10000},
                                           BlockStart{{"TOSHIBA", "TC58128AFT"}, 0x10000}));

// Row 77 programmed from files past 64 KB (Intel hex with extended linear
// addresses, S3 records), a bad block in the range and the file's data
// fitting the good blocks: the data continue in the next good block.
TEST_F(NandRun, Row77ProgramsFromLoadedFiles) {
    for (bool motorola : {true, false}) {
        SCOPED_TRACE(motorola ? "S3" : "Intel hex");
        socket->Clear();
        elec->WithdrawAllChips();
        Start({"TOSHIBA", "TC58V32AFT"}, 6);
        chips[0]->MarkBad(2);
        std::vector<uint8_t> file(5 * chipBlock);
        for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>((i >> 3) * 13 + (motorola ? 1 : 2));
        FillBufferRange(0, DeviceEnd, 0xFF);
        LoadImageFile(file, motorola);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectLinesInOrder({"Program ok!", "Verification ok!"});
        for (uint32_t b = 0, data = 0; b < 6; ++b) {
            if (b == 2) continue;
            EXPECT_EQ(ChipBlock(*chips[0], b), std::vector<uint8_t>(file.begin() + data * chipBlock,
                                                                    file.begin() + (data + 1) * chipBlock))
                << b;
            ++data;
        }
    }
    ExpectNoViolations();
}

} // namespace
