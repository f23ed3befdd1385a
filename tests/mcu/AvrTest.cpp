// Rows 117 and 125 against the simulator's AT90S parts in the parallel
// programming mode: flash and EEPROM through the operation driver, the two
// lock modes and what a locked chip refuses, fuses, a wrong signature,
// starts above 0 with the byte-swap option, injected faults and user breaks.
#include "AvrRangeCheck.h"
#include "McuFixture.h"

#include "engine/RowDef.h"
#include "mcu/Avr.h"
#include "sim/AvrChip.h"

namespace {

class AvrParallelRun : public McuRun {
protected:
    void SetUp() override {
        McuRun::SetUp();
        ResetAvrState();
    }
    sim::AvrChip* PutAvr(const char* name, void (*change)(sim::AvrFacts&) = nullptr) {
        ClearSocket();
        EXPECT_TRUE(Select("ATMEL", name)) << name;
        const sim::AvrFacts* f = sim::FindFacts<sim::AvrFacts>("ATMEL", name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        sim::AvrFacts facts = *f;
        if (change != nullptr) change(facts);
        auto chip = std::make_unique<sim::AvrChip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    // Flash then EEPROM in the buffer, a few blank bytes among them.
    static uint32_t AvrImageBytes(const sim::AvrChip& chip) { return DeviceEnd + 1 + chip.Part().eepromBytes; }
    void FillAvrImage(const sim::AvrChip& chip, uint32_t seed = 3) {
        const uint32_t n = AvrImageBytes(chip);
        FillPattern(n, seed);
        BufferWindow[4] = 0xFF;
        BufferWindow[DeviceEnd + 2] = 0xFF;
    }
    std::vector<uint8_t> AvrImage(const sim::AvrChip& chip) const {
        std::vector<uint8_t> image(AvrImageBytes(chip));
        for (uint32_t a = 0; a < image.size(); ++a) image[a] = BufferByte(a);
        return image;
    }
    static void ExpectChipHolds(const sim::AvrChip& chip, const std::vector<uint8_t>& image) {
        for (uint32_t a = 0; a < image.size(); ++a) ASSERT_EQ(chip.Cell(a), image[a]) << std::hex << a;
    }
};

class AvrParallelParts : public AvrParallelRun, public ::testing::WithParamInterface<const char*> {};

// Blank check, program, verify at both levels, read back equal; erase and a
// blank check; Secure in both lock modes, after which Read, Program and
// Secure stop with the lock line and touch nothing.
TEST_P(AvrParallelParts, ProgramsFlashAndEepromAndLocks) {
    sim::AvrChip* chip = PutAvr(GetParam());
    ASSERT_NE(chip, nullptr);
    ASSERT_EQ(DeviceEnd + 1, chip->Part().flashBytes);
    FillAvrImage(*chip);
    const std::vector<uint8_t> image = AvrImage(*chip);

    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    ExpectChipHolds(*chip, image);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    FillBufferRange(0, static_cast<uint32_t>(image.size() - 1), 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < image.size(); ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;

    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Erases(), 1u);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();

    const uint32_t row = CurrentAlgorithm;
    int& lockMode = row == 125 ? AvrLockMode125 : AvrLockMode;
    const char* const lines[2] = {" Device Secured!(Lock bit 1)", " Device Secured!(Lock bit 1 and 2)"};
    for (int mode : {0, 1}) {
        ASSERT_EQ(Run(OpErase), ResultOk) << LogText();
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        lockMode = mode;
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        EXPECT_EQ(chip->LastLockData(), mode == 0 ? 0xFD : 0xF9);
        EXPECT_EQ(chip->Locks() & 0x06, mode == 0 ? 0x04 : 0x00);
        // Blank check and Verify end at that line too: no chip line with a
        // datum the part never gave, no supply level after it.
        ui.Clear();
        for (int op : {OpRead, OpBlankCheck, OpVerify, OpProgram, OpSecurity}) {
            const uint32_t writes = chip->Writes(), locks = chip->LockWrites();
            EXPECT_EQ(Run(op), ResultFailed) << op << LogText();
            EXPECT_TRUE(HasLine(lines[mode])) << op << LogText();
            EXPECT_EQ(chip->Writes(), writes);
            EXPECT_EQ(chip->LockWrites(), locks);
            for (const std::string& line : ui.Log)
                EXPECT_TRUE(line.find("addr:") == std::string::npos && line.find(" VCC") == std::string::npos)
                    << op << LogText();
            ui.Clear();
        }
    }
    // Erase clears the lock bits, not the fuses.
    const uint8_t fuses = chip->Fuses();
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Locks() & 0x06, 0x06);
    EXPECT_EQ(chip->Fuses(), fuses);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, AvrParallelParts,
                         ::testing::Values("AT90S1200", "AT90S2313", "AT90S4414", "AT90S8515", "AT90S4434",
                                           "AT90S8535", "AT90S2333", "AT90S4433"));

// The avra-assembled sample of each parallel row: flash and EEPROM images
// loaded after each other, programmed, verified, read back, saved and loaded
// again, equal at every step.
TEST_F(AvrParallelRun, AssembledSampleRoundTrips) {
    for (const auto& [row, part] : {std::pair{117, "AT90S1200"}, std::pair{125, "AT90S2333"}}) {
        sim::AvrChip* chip = PutAvr(part);
        ASSERT_NE(chip, nullptr);
        const std::string dir = ProgramDirectory + "/mcu-sample/avr-" + std::to_string(row) + "/";
        const uint32_t eeprom = DeviceEnd + 1, n = AvrImageBytes(*chip);
        FillBufferRange(0, n - 1, 0xFF);
        LoadToolHexFile(dir + "blink.hex"); // built by avra
        LoadToolHexFile(dir + "blink.eep.hex", eeprom);
        if (HasFatalFailure()) return;
        const std::vector<uint8_t> image = AvrImage(*chip);
        EXPECT_EQ(image[0], 0x00);
        EXPECT_EQ(image[1], 0xC0); // rjmp, low byte first
        EXPECT_EQ(image[eeprom], 0xDE);

        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        ExpectChipHolds(*chip, image);
        FillBufferRange(0, n - 1, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        ASSERT_EQ(SaveHexFamilyFile("flash.hex", 0, DeviceEnd, HexFormatIntel), 1);
        ASSERT_EQ(SaveHexFamilyFile("eeprom.hex", eeprom, n - 1, HexFormatIntel), 1);
        FillBufferRange(0, n - 1, 0x00);
        ASSERT_EQ(LoadHexFamilyFile("flash.hex", 0, 0), 1);
        ASSERT_EQ(LoadHexFamilyFile("eeprom.hex", 0, 0), 1);
        for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(BufferByte(a), image[a]) << row << " " << std::hex << a;
        ExpectNoViolations();
    }
}

// The avra-assembled sample for the AT90S8515 from chip address 0 and from
// an odd one, the files loaded from buffer byte 0: the chip holds the file's
// bytes from the start on, Verify and Read give them back.
TEST_F(AvrParallelRun, AssembledSampleFromZeroAndAnOddStart) {
    const std::string dir = ProgramDirectory + "/mcu-sample/avr-8515/";
    for (const uint32_t start : {0u, 0x287u}) {
        SCOPED_TRACE(start);
        sim::AvrChip* chip = PutAvr("AT90S8515");
        ASSERT_NE(chip, nullptr);
        const uint32_t eeprom = DeviceEnd + 1, n = AvrImageBytes(*chip);
        FillBufferRange(0, n - 1, 0xFF);
        LoadToolHexFile(dir + "blink.hex"); // built by avra
        LoadToolHexFile(dir + "blink.eep.hex", eeprom);
        if (HasFatalFailure()) return;
        const std::vector<uint8_t> image = AvrImage(*chip);
        DeviceStart = start;
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        EXPECT_EQ((std::pair{chip->Cell(start), chip->Cell(start + 1)}), (std::pair<uint16_t, uint16_t>{0x00, 0xC0}));
        ExpectAvrRangeOnChip(*chip, start, DeviceEnd, 0);
        FillBufferRange(0, n - 1, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t a = 0; a < n; ++a)
            ASSERT_EQ(BufferByte(a), a <= DeviceEnd - start || a >= eeprom ? image[a] : 0x5A) << std::hex << a;
    }
    ExpectNoViolations();
}

// The EEPROM image stays at buffer byte Chip End + 1 whatever Buffer Start
// says. A Buffer Start that lays the range's bytes over it is refused by
// Program, Read and Verify before any register is written, the part and the
// buffer as they were; one whose bytes lie past it programs the flash from
// Buffer Start and the EEPROM from Chip End + 1, and Read stores both there.
TEST_F(AvrParallelRun, EepromImageKeepsItsPlaceWhateverBufferStart) {
    struct Case {
        const char* part;
        uint32_t bufferStart;
        const char* line; // nullptr: the range runs
    };
    for (const Case c :
         {Case{"AT90S2313", 0x100, " Buffer addr 000800h is EEPROM addr 0h's place; the range puts chip addr 700h there."},
          Case{"AT90S2313", 0x800, " Buffer addr 000800h is EEPROM addr 0h's place; the range puts chip addr 0h there."},
          Case{"AT90S8515", 0x1F81, " Buffer addr 002000h is EEPROM addr 0h's place; the range puts chip addr 7Fh there."},
          Case{"AT90S2333", 0x7C0, " Buffer addr 000800h is EEPROM addr 0h's place; the range puts chip addr 40h there."},
          Case{"AT90S2313", 0x880, nullptr}, Case{"AT90S2333", 0x1000, nullptr}}) {
        SCOPED_TRACE(std::string(c.part) + " from buffer " + std::to_string(c.bufferStart));
        sim::AvrChip* chip = PutAvr(c.part);
        ASSERT_NE(chip, nullptr);
        const uint32_t eeprom = chip->Part().eepromBytes, total = c.bufferStart + DeviceEnd + 1 + eeprom;
        FillPattern(total, c.bufferStart);
        BufferStart = c.bufferStart;
        std::vector<uint8_t> image(total);
        for (uint32_t a = 0; a < total; ++a) image[a] = BufferByte(a);
        if (c.line != nullptr) {
            StartTrace();
            for (const int op : {OpProgram, OpRead, OpVerify}) {
                EXPECT_EQ(Run(op), ResultFailed);
                EXPECT_EQ(Log(), std::vector<std::string>{c.line});
            }
            EXPECT_TRUE(simp.RegisterTrace().empty());
            EXPECT_EQ(chip->Writes(), 0u);
            for (uint32_t a = 0; a < total; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
            continue;
        }
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        ExpectAvrRangeOnChip(*chip, 0, DeviceEnd, c.bufferStart);
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        FillBufferRange(0, total - 1, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t a = 0; a < total; ++a) {
            const bool kept = (a > DeviceEnd && a <= DeviceEnd + eeprom) ||
                              (a >= c.bufferStart && a <= c.bufferStart + DeviceEnd);
            ASSERT_EQ(BufferByte(a), kept ? image[a] : 0x5A) << std::hex << a;
        }
    }
    ExpectNoViolations();
}

// A Verify failure in the EEPROM image names the EEPROM address and the
// image's buffer byte, whatever Buffer Start says (the flash from byte 0
// or from 1000h), and a Data Compare gives it at that buffer byte. A Blank
// check over a blank flash names the first programmed EEPROM byte by its
// EEPROM address with the byte the part holds there, whatever Buffer Start
// and Chip Start say, and no flash address.
TEST_F(AvrParallelRun, EepromVerifyFailureNamesTheEepromAddress) {
    sim::AvrChip* chip = PutAvr("AT90S2313");
    ASSERT_NE(chip, nullptr);
    ASSERT_EQ(DeviceEnd, 0x7FFu);
    FillAvrImage(*chip);
    BufferWindow[0x810] = 0x3C;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    BufferWindow[0x810] = 0x3D;
    for (const uint32_t start : {0u, 0x1000u}) {
        SCOPED_TRACE(start);
        for (uint32_t a = 0; a <= DeviceEnd; ++a) BufferWindow[start + a] = static_cast<uint8_t>(chip->Cell(a));
        BufferStart = start;
        EXPECT_EQ(Run(OpVerify), ResultFailed);
        EXPECT_TRUE(HasLinesInARow({"  EEPROM addr: 000010h  data: 003Ch", "Buffer addr: 000810h  data: 003Dh"}))
            << LogText();
        EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
        EXPECT_EQ(ReadText("COMPARE.TXT"), "Compare file\r\nAddress : (Buffer data)-(Chip data)\r\n00000810h:(3D)-(3C)\r\n");
    }

    chip = PutAvr("AT90S2313");
    ASSERT_NE(chip, nullptr);
    FillBufferRange(0, AvrImageBytes(*chip) - 1, 0xFF);
    BufferWindow[0x810] = 0x3C;
    BufferWindow[0x811] = 0xC3;
    BufferStart = 0;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (const auto& [start, bufferStart] : {std::pair{0u, 0u}, std::pair{0u, 0x1000u}, std::pair{0x100u, 0x100u}}) {
        SCOPED_TRACE(std::to_string(start) + " from buffer " + std::to_string(bufferStart));
        DeviceStart = start;
        BufferStart = bufferStart;
        EXPECT_EQ(Run(OpBlankCheck), ResultFailed);
        EXPECT_TRUE(HasLinesInARow({"Blank check error!", " EEPROM addr: 000010h  data: 003Ch"})) << LogText();
        EXPECT_EQ(LogText().find("Chip addr"), std::string::npos) << LogText();
    }
    ExpectNoViolations();
}

// A start above 0 with the byte-swap option on: Program, Verify and Read
// agree byte for byte, the EEPROM at the byte after the flash in both.
TEST_F(AvrParallelRun, StartAboveZeroWithByteSwapAgrees) {
    sim::AvrChip* chip = PutAvr("AT90S2313");
    ASSERT_NE(chip, nullptr);
    FillAvrImage(*chip, 9);
    const std::vector<uint8_t> image = AvrImage(*chip);
    ByteSwap = 1;
    DeviceStart = 0x100;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    // Flash byte a holds buffer byte a - DeviceStart.
    for (uint32_t a = 0x100; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Cell(a), image[a - 0x100]) << std::hex << a;
    for (uint32_t a = 0; a < chip->Part().eepromBytes; ++a) ASSERT_EQ(chip->Eeprom(a), image[DeviceEnd + 1 + a]) << a;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    FillBufferRange(0, static_cast<uint32_t>(image.size() - 1), 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a <= DeviceEnd - 0x100; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    for (uint32_t a = DeviceEnd + 1; a < image.size(); ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    ExpectNoViolations();
}

// Ranges that start on an odd byte or end on an even one, on both parallel
// rows, the buffer at the range's start or at 0: every byte lands at its own
// chip address and no other cell is written; Verify and Read agree.
TEST_F(AvrParallelRun, RangesInsideAWordLandOnTheirBytes) {
    struct Case {
        const char* part;
        uint32_t start, end, bufferStart;
    };
    for (const Case c : {Case{"AT90S2313", 0x101, 0x7FF, 0x101}, Case{"AT90S2313", 0x287, 0x3FE, 0},
                         Case{"AT90S2333", 0x123, 0x2FE, 0x123}, Case{"AT90S8515", 0x1FFF, 0x1FFF, 0}}) {
        SCOPED_TRACE(std::string(c.part) + " from " + std::to_string(c.start));
        sim::AvrChip* chip = PutAvr(c.part);
        ASSERT_NE(chip, nullptr);
        const uint32_t eeprom = chip->Part().eepromBytes, total = c.end + 1 + eeprom;
        FillPattern(total, c.start);
        DeviceStart = c.start;
        DeviceEnd = c.end;
        BufferStart = c.bufferStart;
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        ExpectAvrRangeOnChip(*chip, c.start, c.end, c.bufferStart);
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        std::vector<uint8_t> image(total);
        for (uint32_t a = 0; a < total; ++a) image[a] = BufferByte(a);
        FillBufferRange(0, total - 1, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        const uint32_t n = c.end - c.start + 1;
        for (uint32_t a = 0; a < total; ++a) {
            const bool flash = a >= c.bufferStart && a < c.bufferStart + n;
            ASSERT_EQ(BufferByte(a), flash || a > c.end ? image[a] : 0x5A) << std::hex << a;
        }
    }
    ExpectNoViolations();
}

// Split modes: Program and Read refuse before anything is switched on, the
// part unwritten and the buffer as it was (flash and EEPROM come from
// consecutive buffer bytes). The EEPROM image the rows declare after the
// range is as long as the part's EEPROM.
TEST_F(AvrParallelRun, SplitModesRefusedAndEepromImageAsTheParts) {
    for (const char* name : {"AT90S1200", "AT90S2313", "AT90S8515", "AT90S2333", "AT90S4433"}) {
        SCOPED_TRACE(name);
        sim::AvrChip* chip = PutAvr(name);
        ASSERT_NE(chip, nullptr);
        const RowDef* def = RowDefinition(CurrentAlgorithm);
        ASSERT_TRUE(def != nullptr && def->ImageAfterRange != nullptr);
        EXPECT_EQ(def->ImageAfterRange(), chip->Part().eepromBytes);
        FillAvrImage(*chip);
        const std::vector<uint8_t> image = AvrImage(*chip);
        ExpectSplitModesRefused();
        EXPECT_EQ(chip->Writes(), 0u);
        EXPECT_EQ(AvrImage(*chip), image);
    }
    ExpectNoViolations();
}

// Blank bytes get no write; lock bits 7-6 reading 10 (lock bit 2 alone)
// allow everything; a wrong signature answered No writes nothing.
TEST_F(AvrParallelRun, BlankImageLockBitTwoAndWrongSignature) {
    sim::AvrChip* chip = PutAvr("AT90S8515");
    ASSERT_NE(chip, nullptr);
    FillBufferRange(0, AvrImageBytes(*chip) - 1, 0xFF);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Writes(), 0u);

    chip->SetLocks(0xFB);
    FillAvrImage(*chip);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    AvrLockMode = 0;
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_EQ(AvrLockFuseByte(117) >> 6, 0u); // as Secure read it back
    EXPECT_EQ(chip->Locks() & 0x06, 0x00);

    chip = PutAvr("AT90S8515", [](sim::AvrFacts& f) { f.signature[1] = 0x92; });
    ASSERT_NE(chip, nullptr);
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_EQ(chip->Writes(), 0u);
    ExpectNoViolations();
}

// Lock bits that do not take: Secure reads them back and fails, in both
// lock modes, on both parallel rows. A blank check covers the EEPROM after
// the flash: a programmed byte at either end of it fails.
TEST_F(AvrParallelRun, LocksThatDoNotTakeFailAndBlankCheckCoversTheEeprom) {
    for (const char* part : {"AT90S8515", "AT90S4433"}) {
        for (int mode : {0, 1}) {
            SCOPED_TRACE(std::string(part) + " mode " + std::to_string(mode));
            sim::AvrChip* chip = PutAvr(part);
            ASSERT_NE(chip, nullptr);
            chip->StickLocks();
            (CurrentAlgorithm == 125 ? AvrLockMode125 : AvrLockMode) = mode;
            EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
            EXPECT_TRUE(HasLine("Security error!")) << LogText();
            EXPECT_EQ(chip->LockWrites(), 1u);
        }
        // Lock bit 2 alone refusing fails the mode that asks for it.
        sim::AvrChip* lb2 = PutAvr(part);
        ASSERT_NE(lb2, nullptr);
        lb2->StickLock(2);
        (CurrentAlgorithm == 125 ? AvrLockMode125 : AvrLockMode) = 1;
        EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
        EXPECT_EQ(lb2->Locks() & 0x06, 0x04);
        sim::AvrChip* chip = PutAvr(part);
        ASSERT_NE(chip, nullptr);
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        const uint32_t flash = chip->Part().flashBytes, eeprom = chip->Part().eepromBytes;
        for (uint32_t at : {flash, flash + eeprom - 1}) {
            SCOPED_TRACE(at);
            chip = PutAvr(part);
            chip->SetCell(at, 0x00);
            EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
        }
    }
    ExpectNoViolations();
}

// Injected faults end with -1 and no hang: RDY/BSY never high (the write
// loop gives up after its polls), a byte that never takes (Verify names its
// address); a user break ends with 3.
TEST_F(AvrParallelRun, FaultsAndUserBreakEndTheLoops) {
    sim::AvrChip* chip = PutAvr("AT90S4414");
    ASSERT_NE(chip, nullptr);
    FillAvrImage(*chip);
    chip->StickBusy();
    const uint64_t start = simp.NowUs();
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_EQ(chip->Writes(), 1u);
    EXPECT_LT(simp.NowUs() - start, 2'000'000u);

    chip = PutAvr("AT90S4414");
    ASSERT_NE(chip, nullptr);
    chip->StickCell(0x123);
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(ChipAddrLine(0x123))) << LogText();

    chip = PutAvr("AT90S4414");
    ASSERT_NE(chip, nullptr);
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
    EXPECT_LT(chip->Writes(), DeviceEnd + 1);
    ExpectNoViolations();
}

// The fuse routines: read, program with read-back, a fuse that does not
// take gives -1; erase leaves the fuses.
TEST_F(AvrParallelRun, FuseRoutinesProgramAndCheck) {
    sim::AvrChip* chip = PutAvr("AT90S2313");
    ASSERT_NE(chip, nullptr);
    PrepareDialog();
    ReadAvrFuses117();
    EXPECT_EQ((std::pair{AvrFuseSpien, AvrFuseFstr}), (std::pair{0, 1}));
    AvrFuseFstr = 0;
    EXPECT_EQ(WriteAvrFuses117(), 1) << LogText();
    EXPECT_EQ(chip->Fuses() & 0x21, 0x00);
    EXPECT_EQ(chip->FuseWrites(), 1u);

    chip = PutAvr("AT90S4433");
    ASSERT_NE(chip, nullptr);
    PrepareDialog();
    ReadAvrFuses125();
    EXPECT_EQ((std::vector<int>(AvrFuses125, AvrFuses125 + 6)), (std::vector<int>{0, 1, 1, 0, 1, 0}));
    const int wanted[6] = {0, 0, 1, 1, 0, 1};
    std::copy(wanted, wanted + 6, AvrFuses125);
    EXPECT_EQ(WriteAvrFuses125(), 1) << LogText();
    EXPECT_EQ(chip->Fuses() & 0x3F, 0x0D);
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Fuses() & 0x3F, 0x0D);
    chip->StickFuses();
    AvrFuses125[0] = 1;
    PrepareDialog();
    EXPECT_EQ(WriteAvrFuses125(), -1) << LogText();
    ExpectNoViolations();
}

// A sub-variant past the EEPROM size table is refused by the librarian's
// check and by the entries, before any supply is switched.
TEST_F(AvrParallelRun, SubVariantPastTheEepromTableIsRefused) {
    const RowDef* def = RowDefinition(117);
    ASSERT_NE(def, nullptr);
    RowRecordFacts record;
    record.PackagePins = 20;
    record.SubVariant = 3;
    EXPECT_EQ(RowRecordRefusal(*def, record), "");
    record.SubVariant = 4;
    EXPECT_NE(RowRecordRefusal(*def, record), "");
    record.SubVariant = 0;
    record.PackagePins = 32;
    EXPECT_NE(RowRecordRefusal(*def, record), "");

    sim::AvrChip* chip = PutAvr("AT90S2313");
    ASSERT_NE(chip, nullptr);
    DeviceSubVariant = 4;
    StartTrace();
    EXPECT_EQ(AlgorithmTable[117].Program(), -1);
    EXPECT_TRUE(HasLine(" Sub-variant 4 has no EEPROM size (0-3).")) << LogText();
    ExpectNoPowerUp();
    EXPECT_EQ(chip->Writes(), 0u);
}

} // namespace
