// Row 79 through the operation driver on its library part: the round trip,
// the entry reads that open program and erase, the word retries, the sector
// erase with its blank check, a chip start above 0 and gang sockets.
#include "CommandFlashFixture.h"
#include "engine/Routing.h"

namespace {

constexpr const char* kReadSeqPart79 = "GENERIC-ALGORITHM";
constexpr const char* kReadSeqName79 = "FLASH79-32K";

class ReadSequenceRun : public CommandFlashRun {
protected:
    sim::CommandFlashChip* Start79(uint32_t words = 0x300) {
        EXPECT_TRUE(Select(kReadSeqPart79, kReadSeqName79));
        SetRange(words);
        const sim::CatalogPart* part = sim::FindPart(kReadSeqPart79, kReadSeqName79);
        EXPECT_NE(part, nullptr);
        return part == nullptr ? nullptr : Seat(sim::MakeChip(*part));
    }
    // The program commands (10h) the part was given at address a.
    static size_t ProgramCommandsAt(const sim::CommandFlashChip& chip, uint32_t a) {
        size_t n = 0;
        for (const auto& w : chip.Writes()) n += w.address == a && w.data == 0x0010;
        return n;
    }
};

TEST_F(ReadSequenceRun, BlankProgramReadVerifyEraseThenBlank) {
    sim::CommandFlashChip* chip = Start79();
    ASSERT_NE(chip, nullptr);
    ExpectRoundTrip(*chip);
    EXPECT_TRUE(chip->EntryOpen() || chip->Writes().size() > 0);
    ExpectNoViolations();
}

// The erase walks every 128-word sector of the part and the blank check
// follows it (a sector whose erase left a word fails it); a size that is not
// a whole number of sectors still erases the last one and fails.
TEST_F(ReadSequenceRun, EraseWalksTheSectorsThenBlankChecks) {
    sim::CommandFlashChip* chip = Start79(0);
    ASSERT_NE(chip, nullptr);
    chip->SetCell(0x7FFF, 0x1234);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(chip->Erases().size(), 0x8000u / 128);
    EXPECT_TRUE(chip->IsBlank());

    chip->FailBlock(3);
    chip->SetCell(3 * 128 + 5, 0x1234);
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    EXPECT_TRUE(HasLine("Erase error!")) << LogText();
    EXPECT_EQ(chip->Erases().size(), 2 * 0x8000u / 128);

    chip->SetCell(3 * 128 + 5, 0xFFFF);
    chip->SetCell(0x7FFF, 0x1234);
    DeviceSize = 0x8000 - 0x40;
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    EXPECT_EQ(chip->Cell(0x7FFF), 0xFFFF);
    ExpectNoViolations();
}

// Faults end the run with their line, the socket off, no hang: a cell that
// never programs is given ten tries; without the entry reads the part takes
// no command; an erase that never ends stops after 100 polls.
TEST_F(ReadSequenceRun, FaultsEndTheRunWithTheirLine) {
    {
        SCOPED_TRACE("a cell never programs");
        sim::CommandFlashChip* chip = Start79();
        chip->StickCell(2);
        ExpectFaultRun([] {}, OpProgram, -1, "Program error!", 0);
        EXPECT_EQ(ProgramCommandsAt(*chip, 2), 10u);
        EXPECT_EQ(ProgramCommandsAt(*chip, 3), 0u); // nothing after it
        // The fail lines show the word the part gave back last.
        char chipLine[48];
        std::snprintf(chipLine, sizeof chipLine, "  Chip addr: %06Xh  data: %04Xh", 2u, chip->Cell(2));
        EXPECT_TRUE(HasLinesInARow({"Program error!", chipLine})) << LogText();
        EXPECT_EQ(chip->Cell(2), 0xFFFFu);
        Unseat();
    }
    {
        SCOPED_TRACE("the entry reads do not open the part");
        sim::CommandFlashChip* chip = Start79();
        chip->RefuseEntry(true);
        ExpectFaultRun([] {}, OpProgram, -1, "Program error!", 0);
        EXPECT_EQ(ProgramCommandsAt(*chip, 0), 10u);
        EXPECT_TRUE(chip->IsBlank());
        Unseat();
    }
    {
        SCOPED_TRACE("a sector erase never ends");
        sim::CommandFlashChip* chip = Start79();
        chip->SetCell(0x200, 0);
        chip->NeverReadyBlock(0);
        ExpectFaultRun([] {}, OpErase, -1, "Erase error!", 0);
        EXPECT_EQ(chip->Erases().size(), 1u); // the walk ends at the sector
        EXPECT_EQ(chip->Cell(0x200), 0);
        Unseat();
    }
}

// A chip start above 0 programs, verifies and reads back its own addresses.
TEST_F(ReadSequenceRun, ChipStartAboveZeroWorksOnItsOwnAddresses) {
    sim::CommandFlashChip* chip = Start79(0);
    DeviceStart = 0x1F0;
    DeviceEnd = 0x1F0 + 0x120;
    FillPattern(BufferByteSize, 9);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectHolds(*chip, DeviceStart);
    EXPECT_EQ(chip->Cell(DeviceStart - 1), 0xFFFF);
    EXPECT_EQ(chip->Cell(DeviceEnd + 1), 0xFFFF);
    EXPECT_EQ(chip->Cell(0), 0xFFFF);
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ExpectHolds(*chip, DeviceStart);
    EXPECT_EQ(BufferWords[DeviceEnd - DeviceStart + 1], 0);
    chip->SetCell(0x200, 0x5555);
    EXPECT_EQ(Run(OpVerify), -1) << LogText();
    ExpectNoViolations();
}

// A read takes the current socket alone (register 3 = NOT(1 shl socket)),
// so a gang verify checks each socket by itself; program and erase write to
// every socket (0).
TEST_F(ReadSequenceRun, ReadTakesTheCurrentSocketAlone) {
    Start79(0x40);
    ASSERT_EQ(CheckCommunication(MainEngine), 1);
    PrepareOperation(MainEngine);
    simp.EnableTrace(true);
    for (uint32_t s : {0u, 2u}) {
        SCOPED_TRACE(s);
        CurrentSocket = s;
        simp.ClearTrace();
        EXPECT_EQ(AlgorithmRow(79)->Read(2), 1);
        std::vector<int> masks;
        for (const auto& a : simp.RegisterTrace())
            if (a.write && a.reg == 3) masks.push_back(a.value);
        EXPECT_EQ(masks, (std::vector<int>{0xFF, static_cast<int>(~(1u << s) & 0xFF), 0xFF, 0})); // 0: the reset of the outputs
    }
    CurrentSocket = 0;
    simp.ClearTrace();
    FillPattern(BufferByteSize, 2);
    EXPECT_EQ(AlgorithmRow(79)->Program(), 1);
    std::vector<int> masks;
    for (const auto& a : simp.RegisterTrace())
        if (a.write && a.reg == 3) masks.push_back(a.value);
    EXPECT_EQ(masks, (std::vector<int>{0xFF, 0, 0xFF, 0, 0xFF, 0}));
    ExpectNoViolations();
}

// The part itself, driven register by register: a program command is
// ignored until the eight entry reads have ended in order, a wrong read
// starts the count again, and power-off shuts the part once more.
TEST_F(ReadSequenceRun, PartTakesCommandsOnlyAfterTheEightReads) {
    sim::CommandFlashChip* chip = Start79(0x40);
    ASSERT_EQ(CheckCommunication(MainEngine), 1);
    PrepareOperation(MainEngine);
    auto powerOn = [] {
        SetVccRange(0, 33);
        SetAllDacVoltages(0, 0, 0, 0);
        SetDeviceGround(1);
        WriteRegister(3, 0xFF);
        WriteRegister(4, 0x92);
        WriteRegister(5, 8);
        SetDevicePower(1, 33);
        WriteRegister(4, 0x93);
        DelayMs(100);
        WriteRegister(3, 0);
        WriteRegister(4, 0x91);
    };
    auto readAt = [](uint32_t a) {
        WriteRegister(0, a & 0xFF);
        WriteRegister(1, a >> 8);
        WriteRegister(4, 0x93);
        ReadRegister(6);
        WriteRegister(4, 0x91);
    };
    auto programAt = [](uint32_t a, uint32_t word) {
        WriteRegister(0, a & 0xFF);
        WriteRegister(1, a >> 8);
        for (uint32_t w : {0x0010u, word}) {
            WriteRegister(7, w >> 8);
            WriteRegister(6, w & 0xFF);
        }
        DelayMs(1);
    };
    powerOn();
    programAt(0x10, 0x1234);
    EXPECT_EQ(chip->Cell(0x10), 0xFFFF);
    for (uint32_t k = 0; k < 7; ++k) readAt(sim::kReadSequenceEntry[k]);
    readAt(0x0001); // the eighth read elsewhere
    programAt(0x10, 0x1234);
    EXPECT_EQ(chip->Cell(0x10), 0xFFFF);
    EXPECT_FALSE(chip->EntryOpen());
    for (uint32_t a : sim::kReadSequenceEntry) readAt(a);
    EXPECT_TRUE(chip->EntryOpen());
    programAt(0x10, 0x1234);
    EXPECT_EQ(chip->Cell(0x10), 0x1234);
    SetDevicePower(0, 33);
    SetDeviceGround(0);
    powerOn();
    EXPECT_FALSE(chip->EntryOpen());
    programAt(0x11, 0x0000);
    EXPECT_EQ(chip->Cell(0x11), 0xFFFF);
    SetDevicePower(0, 33);
    SetDeviceGround(0);
    ResetProgrammerOutputs();
    ExpectNoViolations();
}

} // namespace
