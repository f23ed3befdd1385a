// Row 145 against the catalog's clocked multiplexed-bus part: the fixed
// read-out of 300h-7FFh, blank check, the start-up clocks and set-up cycles,
// and a Program entry that refuses instead of reporting success.
#include <cstdlib>

#include "McuFixture.h"

#include "engine/RowDef.h"
#include "sim/ClockedBusMcuChip.h"

namespace {

class ClockedBusRun : public McuRun {
  protected:
    sim::ClockedBusMcuChip* PutClocked() {
        ClearSocket();
        EXPECT_TRUE(Select("GENERIC-ALGORITHM", "CLKBUS-2K"));
        const sim::ClockedBusMcuFacts* f =
            sim::FindFacts<sim::ClockedBusMcuFacts>("GENERIC-ALGORITHM", "CLKBUS-2K");
        EXPECT_NE(f, nullptr);
        if (f == nullptr) return nullptr;
        auto chip = std::make_unique<sim::ClockedBusMcuChip>(*f);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
};

// A blank part checks blank; a part holding the sample program (placed at
// 300h by srec_cat) reads back into buffer bytes 300h-7FFh whatever the
// range says, saves equal, verifies, and fails blank check at its first
// byte, named by its own address; the start-up
// gives 4064 clock pairs and the two set-up cycles.
TEST_F(ClockedBusRun, ReadsSeatedPartFrom300hWhateverTheRange) {
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) GTEST_SKIP() << "srec_cat not installed";
    sim::ClockedBusMcuChip* chip = PutClocked();
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(chip->StartupPairs(), 4064u);
    EXPECT_EQ(chip->SetupCycles(), (std::vector<std::pair<uint32_t, uint8_t>>{{0x1F, 0x20}, {0x18, 0x04}}));
    EXPECT_EQ(chip->RomReads(), 0x500u);

    const std::string cmd = "srec_cat -disable-sequence-warnings " + ProgramDirectory +
                            "/mcu-sample/blink.ihx -intel -offset 0x300 -o rom.hex -intel";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    FillBufferRange(0, 0xFFFF, 0x00);
    ASSERT_EQ(LoadHexFamilyFile("rom.hex", 0, 0), 1);
    std::vector<uint8_t> image(0x500);
    for (uint32_t a = 0; a < image.size(); ++a) {
        image[a] = BufferByte(0x300 + a);
        chip->SetCell(0x300 + a, image[a]);
    }
    ASSERT_NE(image[0], 0);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    // The blank check names the first ROM byte by its own address whatever
    // the range and Buffer Start say.
    char romLine[48];
    std::snprintf(romLine, sizeof romLine, " Chip addr: 000300h  data: %04Xh", image[0]);
    for (const auto& [start, bufferStart] : {std::pair{0u, 0u}, std::pair{0x10u, 0x100u}, std::pair{0x10u, 0x900u}}) {
        SCOPED_TRACE(bufferStart);
        DeviceStart = start;
        DeviceEnd = 0x20;
        BufferStart = bufferStart;
        EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
        EXPECT_TRUE(HasLinesInARow({"Blank check error!", romLine})) << LogText();
    }
    BufferStart = 0;

    FillBufferRange(0, 0xFFFF, 0x5A);
    DeviceStart = 0x10;
    DeviceEnd = 0x20;
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < image.size(); ++a)
        ASSERT_EQ(BufferByte(0x300 + a), image[a]) << std::hex << a;
    EXPECT_EQ(BufferByte(0x2FF), 0x5A);
    EXPECT_EQ(BufferByte(0x800), 0x5A);
    ASSERT_EQ(SaveHexFamilyFile("read.hex", 0x300, 0x7FF, HexFormatIntel), 1);
    FillBufferRange(0, 0xFFFF, 0x5A);
    ASSERT_EQ(LoadHexFamilyFile("read.hex", 0, 0), 1);
    for (uint32_t a = 0; a < image.size(); ++a)
        ASSERT_EQ(BufferByte(0x300 + a), image[a]) << std::hex << a;
    ExpectNoViolations();
}

// Program has no sequence for the part: it says so and fails, sending
// nothing, and the librarian refuses a record offering it; the record
// offers none. A user break stops a read.
TEST_F(ClockedBusRun, ProgramRefusesAndBreakStopsRead) {
    sim::ClockedBusMcuChip* chip = PutClocked();
    EXPECT_EQ(SupportedOperationMask & OpMaskProgram, 0u);
    PrepareDialog();
    FillBufferRange(0, 0xFFFF, 0x11);
    EXPECT_EQ(AlgorithmRow(145)->Program(), -1);
    EXPECT_TRUE(HasLine(" This function not supported")) << LogText();
    EXPECT_EQ(chip->Cell(0x300), 0);
    EXPECT_EQ(chip->StartupPairs(), 0u); // never powered
    const RowDef* def = RowDefinition(145);
    ASSERT_NE(def, nullptr);
    EXPECT_NE(RowRecordRefusal(*def, {.Programs = true}), "");
    EXPECT_EQ(RowRecordRefusal(*def, {.Programs = false}), "");

    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), ResultUserBreak) << LogText();
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    ExpectNoViolations();
}

// Read fills buffer bytes 300h-7FFh whatever the range: a range that puts
// other chip addresses there, or that takes those addresses elsewhere, is
// refused before power-up, the buffer as it was.
TEST_F(ClockedBusRun, ReadOverTheRomPlaceFromAnotherAddressRefused) {
    sim::ClockedBusMcuChip* chip = PutClocked();
    ASSERT_NE(chip, nullptr);
    FillBufferRange(0, 0xFFFF, 0x5A);
    struct Case {
        uint32_t start, end, bufferStart;
        const char* line;
    };
    for (const Case& c :
         {Case{0, 0x2FF, 0x100, " Buffer addr 000300h is chip addr 300h's place; the range puts chip addr 200h there."},
          Case{0x300, 0x7FF, 0x8300,
               " Buffer addr 000300h is chip addr 300h's place; the range puts it at buffer addr 008300h."}}) {
        DeviceStart = c.start;
        DeviceEnd = c.end;
        BufferStart = c.bufferStart;
        EXPECT_EQ(Run(OpRead), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine(c.line)) << LogText();
    }
    EXPECT_EQ(chip->StartupPairs(), 0u); // never powered
    for (uint32_t a = 0; a <= 0xFFFF; ++a) ASSERT_EQ(BufferByte(a), 0x5A) << std::hex << a;
    ExpectNoViolations();
}

// In a split mode Read fills buffer bytes 300h-7FFh one after the other,
// whatever the lane, and leaves the bytes past them; a lane set that covers
// 300h, from its own lane or another, or that puts chip 300h elsewhere, is
// refused before power-up.
TEST_F(ClockedBusRun, SplitModesReadTheRomIntoItsPlace) {
    sim::ClockedBusMcuChip* chip = PutClocked();
    ASSERT_NE(chip, nullptr);
    for (uint32_t a = 0x300; a <= 0x7FF; ++a) chip->SetCell(a, static_cast<uint8_t>(a * 3 + 1));
    struct Case {
        uint32_t mode, end;
        const char* line; // nullptr: the read runs
    };
    for (const Case& c :
         {Case{1, 0x7FF, " Buffer addr 000300h is chip addr 300h's place; the range puts chip addr 180h there."},
          Case{2, 0x1FF, " Buffer addr 000300h is chip addr 300h's place; another lane puts chip addr 180h there."},
          Case{4, 0xFF, " Buffer addr 000300h is chip addr 300h's place; another lane puts chip addr C0h there."},
          Case{2, 0xFF, nullptr}, Case{6, 0x3F, nullptr}}) {
        SCOPED_TRACE(c.mode);
        WordMode = c.mode;
        DeviceStart = 0;
        DeviceEnd = c.end;
        FillBufferRange(0, 0xFFFF, 0x5A);
        if (c.line != nullptr) {
            EXPECT_EQ(Run(OpRead), ResultFailed) << LogText();
            EXPECT_EQ(Log(), std::vector<std::string>{c.line});
            continue;
        }
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t a = 0x200; a <= 0xFFF; ++a)
            ASSERT_EQ(BufferByte(a), a >= 0x300 && a <= 0x7FF ? static_cast<uint8_t>(a * 3 + 1) : 0x5A) << std::hex << a;
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    }
    WordMode = 0;
    ExpectNoViolations();
}

} // namespace
