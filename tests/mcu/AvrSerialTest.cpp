// Row 119 against the simulator's 8-pin AVR parts in the serial modes: flash
// and EEPROM over the SPI-style interface, signature, lock and fuse bits over
// the high-voltage one; lock modes and what a locked chip refuses, the
// assembled sample, injected faults and user breaks.
#include "AvrRangeCheck.h"
#include "McuFixture.h"

#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "mcu/Avr.h"
#include "sim/AvrSerialChip.h"

namespace {

class AvrSerialRun : public McuRun {
  protected:
    void SetUp() override {
        McuRun::SetUp();
        ResetAvrState();
    }
    sim::AvrSerialChip* PutSerialAvr(const char* name, void (*change)(sim::AvrSerialFacts&) = nullptr) {
        ClearSocket();
        EXPECT_TRUE(Select("ATMEL", name)) << name;
        const sim::AvrSerialFacts* f = sim::FindFacts<sim::AvrSerialFacts>("ATMEL", name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        sim::AvrSerialFacts facts = *f;
        if (change != nullptr) change(facts);
        auto chip = std::make_unique<sim::AvrSerialChip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    static uint32_t SerialImageBytes(const sim::AvrSerialChip& chip) {
        return DeviceEnd + 1 + chip.Part().eepromBytes;
    }
    std::vector<uint8_t> SerialImage(const sim::AvrSerialChip& chip) const {
        std::vector<uint8_t> image(SerialImageBytes(chip));
        for (uint32_t a = 0; a < image.size(); ++a)
            image[a] = BufferByte(a);
        return image;
    }
    static void ExpectSerialChipHolds(const sim::AvrSerialChip& chip, const std::vector<uint8_t>& image) {
        for (uint32_t a = 0; a < image.size(); ++a)
            ASSERT_EQ(chip.Cell(a), image[a]) << std::hex << a;
    }
};

class AvrSerialParts : public AvrSerialRun, public ::testing::WithParamInterface<const char*> {};

// Blank check, program, verify at both levels, read back equal; erase and a
// blank check; Secure in both lock modes, after which Read, Program and
// Secure stop with the lock line and write nothing.
TEST_P(AvrSerialParts, ProgramsFlashAndEepromAndLocks) {
    sim::AvrSerialChip* chip = PutSerialAvr(GetParam());
    ASSERT_NE(chip, nullptr);
    ASSERT_EQ(DeviceEnd + 1, chip->Part().flashBytes);
    FillPattern(SerialImageBytes(*chip), 5);
    BufferWindow[6] = 0xFF;
    const std::vector<uint8_t> image = SerialImage(*chip);

    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    ExpectSerialChipHolds(*chip, image);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!"))
        << LogText();
    FillBufferRange(0, static_cast<uint32_t>(image.size() - 1), 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < image.size(); ++a)
        ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Erases(), 1u);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();

    const char* const lines[2] = {" Device Secured!(Lock bit 1)", " Device Secured!(Lock bit 1 and 2)"};
    for (int mode : {0, 1}) {
        ASSERT_EQ(Run(OpErase), ResultOk) << LogText();
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        AvrLockMode = mode;
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        EXPECT_EQ(chip->LastLockData(), mode == 0 ? 0xFD : 0xF9);
        EXPECT_EQ(chip->Locks() & 0x06, mode == 0 ? 0x04 : 0x00);
        // Blank check and Verify end at that line too: no chip line with a
        // datum the part never gave, no supply level after it.
        ui.Clear();
        for (int op : {OpRead, OpBlankCheck, OpVerify, OpProgram, OpSecurity}) {
            // Both lock bits hide the signature: the mismatch is answered Yes.
            if (mode == 1) ui.QueueAnswer(UiAnswer::Yes);
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
        if (mode == 1) ui.QueueAnswer(UiAnswer::Yes);
    }
    // Erase clears the lock bits, not the fuses.
    const uint8_t fuses = chip->Fuses();
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Locks() & 0x06, 0x06);
    EXPECT_EQ(chip->Fuses(), fuses);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, AvrSerialParts, ::testing::Values("AT90S2323", "AT90S2343", "ATtiny22"));

// A blank check covers the EEPROM after the flash: a part whose only
// programmed byte sits at either end of its EEPROM is not blank.
TEST_F(AvrSerialRun, BlankCheckCoversTheEeprom) {
    sim::AvrSerialChip* chip = PutSerialAvr("AT90S2323");
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    const uint32_t flash = chip->Part().flashBytes, eeprom = chip->Part().eepromBytes;
    ASSERT_GT(eeprom, 1u);
    for (uint32_t at : {flash, flash + eeprom - 1}) {
        SCOPED_TRACE(at);
        chip = PutSerialAvr("AT90S2323");
        chip->SetCell(at, 0x00);
        EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine("Blank check error!")) << LogText();
    }
    ExpectNoViolations();
}

// The avra-assembled sample: flash and EEPROM images loaded after each
// other, programmed, verified, read back, saved and loaded again.
TEST_F(AvrSerialRun, AssembledSampleRoundTrips) {
    sim::AvrSerialChip* chip = PutSerialAvr("AT90S2343");
    ASSERT_NE(chip, nullptr);
    const std::string dir = ProgramDirectory + "/mcu-sample/avr-119/";
    const uint32_t eeprom = DeviceEnd + 1, n = SerialImageBytes(*chip);
    FillBufferRange(0, n - 1, 0xFF);
    LoadToolHexFile(dir + "blink.hex"); // built by avra
    LoadToolHexFile(dir + "blink.eep.hex", eeprom);
    if (HasFatalFailure()) return;
    const std::vector<uint8_t> image = SerialImage(*chip);
    EXPECT_EQ(image[1], 0xC0); // rjmp, low byte first
    EXPECT_EQ(image[eeprom], 0xDE);

    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    ExpectSerialChipHolds(*chip, image);
    FillBufferRange(0, n - 1, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    ASSERT_EQ(SaveHexFamilyFile("flash119.hex", 0, DeviceEnd, HexFormatIntel), 1);
    ASSERT_EQ(SaveHexFamilyFile("eeprom119.hex", eeprom, n - 1, HexFormatIntel), 1);
    FillBufferRange(0, n - 1, 0x00);
    ASSERT_EQ(LoadHexFamilyFile("flash119.hex", 0, 0), 1);
    ASSERT_EQ(LoadHexFamilyFile("eeprom119.hex", 0, 0), 1);
    for (uint32_t a = 0; a < n; ++a)
        ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    ExpectNoViolations();
}

// All-FFh writes nothing; a start above 0 with byte swap on agrees in
// Program, Verify and Read; lock bit 2 alone allows everything; a wrong
// signature answered No writes nothing.
TEST_F(AvrSerialRun, BlankStartAboveZeroLockTwoAndWrongSignature) {
    sim::AvrSerialChip* chip = PutSerialAvr("AT90S2323");
    ASSERT_NE(chip, nullptr);
    FillBufferRange(0, SerialImageBytes(*chip) - 1, 0xFF);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Writes(), 0u);

    FillPattern(SerialImageBytes(*chip), 11);
    const std::vector<uint8_t> image = SerialImage(*chip);
    ByteSwap = 1;
    DeviceStart = 0x700;
    chip->SetLocks(0xFB);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0x700; a <= DeviceEnd; ++a)
        ASSERT_EQ(chip->Cell(a), image[a - 0x700]) << std::hex << a;
    for (uint32_t a = 0; a < 128; ++a)
        ASSERT_EQ(chip->Eeprom(a), image[DeviceEnd + 1 + a]) << a;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    FillBufferRange(0, static_cast<uint32_t>(image.size() - 1), 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a <= DeviceEnd - 0x700; ++a)
        ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    for (uint32_t a = DeviceEnd + 1; a < image.size(); ++a)
        ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    EXPECT_EQ(AvrLockFuseByte(119) >> 6, 2u);

    chip = PutSerialAvr("AT90S2323", [](sim::AvrSerialFacts& f) { f.signature[1] = 0x92; });
    ASSERT_NE(chip, nullptr);
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_EQ(chip->Writes(), 0u);
    ExpectNoViolations();
}

// Ranges starting on an odd byte or ending on an even one: each byte goes
// out with its own low- or high-byte instruction to its own chip address;
// Verify and Read agree.
TEST_F(AvrSerialRun, RangesInsideAWordLandOnTheirBytes) {
    for (const auto& [start, end] : {std::pair{0x701u, 0x7FFu}, std::pair{0x287u, 0x2A2u}}) {
        SCOPED_TRACE(start);
        sim::AvrSerialChip* chip = PutSerialAvr("AT90S2323");
        ASSERT_NE(chip, nullptr);
        const uint32_t total = end + 1 + chip->Part().eepromBytes;
        FillPattern(total, start);
        DeviceStart = start;
        DeviceEnd = end;
        BufferStart = start;
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        ExpectAvrRangeOnChip(*chip, start, end, start);
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        std::vector<uint8_t> image(total);
        for (uint32_t a = 0; a < total; ++a) image[a] = BufferByte(a);
        FillBufferRange(0, total - 1, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t a = 0; a < total; ++a) ASSERT_EQ(BufferByte(a), a >= start ? image[a] : 0x5A) << std::hex << a;
    }
    ExpectNoViolations();
}

// The EEPROM image stays at buffer byte Chip End + 1 whatever Buffer Start
// says: a Buffer Start at the flash size lays the range's first bytes over
// it and is refused before any register is written; one past the image
// programs the flash from Buffer Start and the EEPROM from Chip End + 1, and
// Read stores both there.
TEST_F(AvrSerialRun, EepromImageKeepsItsPlaceWhateverBufferStart) {
    for (const uint32_t bufferStart : {0x800u, 0x880u}) {
        SCOPED_TRACE(bufferStart);
        sim::AvrSerialChip* chip = PutSerialAvr("AT90S2323");
        ASSERT_NE(chip, nullptr);
        ASSERT_EQ(DeviceEnd, 0x7FFu);
        const uint32_t total = bufferStart + 0x800;
        FillPattern(total, bufferStart);
        BufferStart = bufferStart;
        std::vector<uint8_t> image(total);
        for (uint32_t a = 0; a < total; ++a) image[a] = BufferByte(a);
        if (bufferStart == 0x800) {
            StartTrace();
            for (const int op : {OpProgram, OpRead, OpVerify}) {
                EXPECT_EQ(Run(op), ResultFailed);
                EXPECT_EQ(Log(), std::vector<std::string>{" Buffer addr 000800h is EEPROM addr 0h's place; the "
                                                          "range puts chip addr 0h there."});
            }
            EXPECT_TRUE(simp.RegisterTrace().empty());
            EXPECT_EQ(chip->Writes(), 0u);
            for (uint32_t a = 0; a < total; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
            continue;
        }
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        ExpectAvrRangeOnChip(*chip, 0, DeviceEnd, bufferStart);
        FillBufferRange(0, total - 1, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t a = 0; a < total; ++a) ASSERT_EQ(BufferByte(a), a >= 0x800 ? image[a] : 0x5A) << std::hex << a;
    }
    ExpectNoViolations();
}

// Split modes: Program and Read refuse before anything is switched on, the
// part unwritten and the buffer as it was; the EEPROM image the row
// declares after the range is the part's 128 bytes.
TEST_F(AvrSerialRun, SplitModesRefusedAndEepromImageAsThePart) {
    sim::AvrSerialChip* chip = PutSerialAvr("ATtiny22");
    ASSERT_NE(chip, nullptr);
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    ASSERT_TRUE(def != nullptr && def->ImageAfterRange != nullptr);
    EXPECT_EQ(def->ImageAfterRange(), chip->Part().eepromBytes);
    FillPattern(SerialImageBytes(*chip), 4);
    const std::vector<uint8_t> image = SerialImage(*chip);
    ExpectSplitModesRefused();
    EXPECT_EQ(chip->Writes(), 0u);
    EXPECT_EQ(SerialImage(*chip), image);
    ExpectNoViolations();
}

// Injected faults end with -1 and no hang: a write that never finishes, a
// byte that never takes, lock bits that do not take, a part whose serial
// interface is out of step; a user break ends with 3.
TEST_F(AvrSerialRun, FaultsAndUserBreakEndTheLoops) {
    sim::AvrSerialChip* chip = PutSerialAvr("AT90S2343");
    ASSERT_NE(chip, nullptr);
    FillPattern(SerialImageBytes(*chip), 2);
    BufferWindow[0] = 0x12;
    chip->StickBusy();
    const uint64_t start = simp.NowUs();
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_EQ(chip->Writes(), 1u);
    EXPECT_LT(simp.NowUs() - start, 2'000'000u);

    chip = PutSerialAvr("AT90S2343");
    ASSERT_NE(chip, nullptr);
    BufferWindow[0x2A1] = 0x44;
    BufferWindow[0x2A2] = 0x33;
    chip->StickCell(0x2A1);
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_EQ(chip->Cell(0x2A0), BufferWindow[0x2A0]);
    EXPECT_EQ(chip->Cell(0x2A2), 0xFF); // the loop ended at the byte that did not read back

    chip = PutSerialAvr("AT90S2343");
    ASSERT_NE(chip, nullptr);
    chip->StickLocks();
    EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
    EXPECT_EQ(chip->LockWrites(), 1u);

    // Lock bit 2 alone stuck (the part reads FDh): the mode asking for lock
    // bits 1 and 2 fails, the mode asking for lock bit 1 alone passes.
    for (int mode : {1, 0}) {
        SCOPED_TRACE(mode);
        chip = PutSerialAvr("AT90S2343");
        ASSERT_NE(chip, nullptr);
        chip->StickLock(2);
        AvrLockMode = mode;
        EXPECT_EQ(Run(OpSecurity), mode == 1 ? ResultFailed : ResultOk) << LogText();
        EXPECT_TRUE(chip->LockBit1());
        EXPECT_FALSE(chip->LockBit2());
    }
    AvrLockMode = 1;

    chip = PutSerialAvr("AT90S2343");
    ASSERT_NE(chip, nullptr);
    chip->LoseStep();
    FillBufferRange(0, SerialImageBytes(*chip) - 1, 0x00);
    EXPECT_EQ(Run(OpRead), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Serial programming enable not answered (FFh)!")) << LogText();
    EXPECT_EQ(BufferByte(0), 0x00);

    chip = PutSerialAvr("AT90S2343");
    ASSERT_NE(chip, nullptr);
    FillPattern(SerialImageBytes(*chip), 2);
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
    EXPECT_LT(chip->Writes(), DeviceEnd + 1);
    ExpectNoViolations();
}

// The fuse routines over the high-voltage interface: read, program with
// read-back, a fuse that does not take gives -1; erase leaves the fuses.
TEST_F(AvrSerialRun, FuseRoutinesProgramAndCheck) {
    sim::AvrSerialChip* chip = PutSerialAvr("AT90S2343");
    ASSERT_NE(chip, nullptr);
    PrepareDialog();
    ReadAvrFuses119();
    EXPECT_EQ((std::pair{AvrFuseSpien, AvrFuseFstr}), (std::pair{0, 0}));
    EXPECT_EQ(AvrSignature(119)[2], 0x03);
    AvrFuseFstr = 1;
    EXPECT_EQ(WriteAvrFuses119(), 1) << LogText();
    EXPECT_EQ(chip->Fuses() & 0x21, 0x01);
    EXPECT_EQ(chip->FuseWrites(), 1u);
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Fuses() & 0x21, 0x01);
    chip->StickFuses();
    AvrFuseFstr = 0;
    PrepareDialog();
    EXPECT_EQ(WriteAvrFuses119(), -1) << LogText();
    EXPECT_EQ(chip->Fuses() & 0x21, 0x01);

    const RowDef* def = RowDefinition(119);
    ASSERT_NE(def, nullptr);
    RowRecordFacts record;
    record.PackagePins = 8;
    EXPECT_EQ(RowRecordRefusal(*def, record), "");
    record.PackagePins = 20;
    EXPECT_NE(RowRecordRefusal(*def, record), "");
    ExpectNoViolations();
}

// The part's own order: 12 V on RESET before the XTAL1 clocks enters no
// high-voltage mode; SCK clocked before the 20 ms after RESET low does not
// count; a frame driving WR and OE low together is refused: violations all.
TEST_F(AvrSerialRun, EntryOrderIsChecked) {
    ASSERT_NE(PutSerialAvr("AT90S2343"), nullptr);
    PrepareDialog();
    auto supplies = [] {
        WriteRegister(25, 15);
        SetVccRange(0, 50);
        SetDeviceGround(1);
        SetAllDacVoltages(0, 0, 0, 0);
        DelayMsSlot(100);
        FloatPinRange(1, 48);
    };
    supplies();
    SetPin(25, 0);
    SetPin(22, 0);
    SetPin(21, 0);
    SetDevicePower(1, 50);
    DelayMsSlot(20);
    SetDeviceVpp(1, 120);
    FloatPinRange(21, 21);
    ASSERT_EQ(simp.Violations().size(), 1u);
    EXPECT_NE(simp.Violations()[0].find("XTAL1 clocked four times"), std::string::npos)
        << simp.Violations()[0];
    SetDeviceVpp(0, 50);
    SetDevicePower(0, 50);
    ResetProgrammerOutputs();
    simp.ClearViolations();

    supplies();
    SetPin(27, 0);
    SetPin(21, 0);
    SetDevicePower(1, 50);
    DelayMsSlot(5);
    SetPin(27, 1);
    ASSERT_EQ(simp.Violations().size(), 1u);
    EXPECT_NE(simp.Violations()[0].find("within 20 ms"), std::string::npos) << simp.Violations()[0];
    SetDevicePower(0, 50);
    ResetProgrammerOutputs();
    simp.ClearViolations();

    // Entered in order, an all-zero frame (WR and OE low at once) after the
    // OE-low read frame is refused.
    supplies();
    SetPin(25, 0);
    SetPin(22, 0);
    SetPin(21, 0);
    SetDevicePower(1, 50);
    DelayMsSlot(20);
    for (int i = 0; i < 20; ++i) {
        SetPin(22, 1);
        SetPin(22, 0);
    }
    SetDeviceVpp(1, 120);
    FloatPinRange(21, 21);
    auto frame = [](uint32_t sdi, uint32_t sii) {
        for (int k = 0; k < 11; ++k) {
            const bool data = k >= 1 && k <= 8;
            SetPin(25, data ? static_cast<int>(sdi >> (8 - k) & 1) : 0);
            SetPin(26, data ? static_cast<int>(sii >> (8 - k) & 1) : 0);
            SetPin(22, 1);
            SetPin(22, 0);
        }
    };
    frame(0x08, 0x4C);
    frame(0x00, 0x0C);
    frame(0x00, 0x68);
    EXPECT_TRUE(simp.Violations().empty());
    frame(0x00, 0x00);
    ASSERT_EQ(simp.Violations().size(), 1u);
    EXPECT_NE(simp.Violations()[0].find("WR and OE low together"), std::string::npos) << simp.Violations()[0];
    SetDeviceVpp(0, 50);
    SetDevicePower(0, 50);
    ResetProgrammerOutputs();
    simp.ClearViolations();
}

} // namespace
