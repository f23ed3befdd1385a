// Every EPROM row through the operation driver on a simulated part from the
// library: blank check, program (with the blank check before and the verify
// at both levels after), read back, blank check of the programmed part, and
// erase where the row offers it.
#include <cstdio>
#include <fstream>
#include <tuple>

#include "sim/ControlBus.h"
#include "MemoryFixture.h"

namespace {

class Families : public MemoryRun {
protected:
    sim::EpromChip* chip = nullptr;

    uint32_t Words() const { return DeviceSize; }
    // Pattern data without blank words, so every word is programmed.
    void FillData(uint32_t seed) {
        FillPattern(BufferByteSize, seed);
        for (uint32_t a = 0; a < Words(); a += 97) {
            if (BufferDatum(a) == chip->Config().blank) FillBufferRange(Wide() ? 2 * a : a, Wide() ? 2 * a : a, 0x5A);
        }
    }
    void ExpectChipHoldsBuffer() {
        for (uint32_t a = 0; a < Words(); ++a) ASSERT_EQ(chip->Cell(a), BufferDatum(a)) << std::hex << "word " << a;
    }


    // words: the first words of the part only (0: all of it).
    void Cycle(const std::string& maker, const std::string& name, uint32_t words = 0) {
        ASSERT_TRUE(Select(maker, name)) << name;
        if (words != 0) {
            DeviceSize = words;
            SetupAddressRange();
        }
        chip = SeatPart(maker, name);
        const bool blankCheck = (SupportedOperationMask & OpMaskBlankCheck) != 0;
        if (blankCheck) {
            EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        }
        FillData(11);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectChipHoldsBuffer();
        FillBufferRange(0, BufferByteSize - 1, 0);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        ExpectChipHoldsBuffer();
        // A data compare against the buffer with one datum changed reports that one.
        const uint32_t at = Words() / 2 + 3;
        const uint32_t chipDatum = BufferDatum(at), byte = Wide() ? 2 * at : at;
        FillBufferRange(byte, byte, BufferByte(byte) ^ 0x01);
        EXPECT_EQ(Run(OpCompare), 1) << LogText();
        const std::string compare = ReadText("COMPARE.TXT");
        EXPECT_EQ(std::count(compare.begin(), compare.end(), '\n'), 3);
        char diff[40];
        std::snprintf(diff, sizeof diff, Wide() ? "%08Xh:(%04X)-(%04X)" : "%08Xh:(%02X)-(%02X)", at, chipDatum ^ 1,
                      chipDatum);
        EXPECT_NE(compare.find(diff), std::string::npos) << compare;
        if (blankCheck) {
            EXPECT_EQ(Run(OpBlankCheck), -1);
            EXPECT_TRUE(HasLine("Blank check error!")) << LogText();
        }
        if (SupportedOperationMask & OpMaskErase) {
            EXPECT_EQ(Run(OpErase), 1) << LogText();
            EXPECT_TRUE(chip->IsBlank());
            EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        }
        ExpectNoViolations();
    }
};

struct Family {
    const char* row;
    const char* maker;
    const char* name;
    uint32_t words = 0; // the first words of the part only (0: all of it)
};

class EveryRow : public Families, public ::testing::WithParamInterface<Family> {};

// ExpectChipHoldsBuffer covers every word, so the 16-bit parts of 65536 words
// and more show the buffer bank advancing after word 32767.
TEST_P(EveryRow, BlankProgramReadCompareAndErase) {
    Cycle(GetParam().maker, GetParam().name, GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EveryRow,
    ::testing::Values(Family{"Row0BuiltIn", "AMD", "Am27128"}, Family{"Row67PagedAtFiveVoltsVpp", "INTEL", "27513"},
                      Family{"Row68PagedPulsesOnSocketEnable", "ST", "M27513"},
                      Family{"Row76TimedWritesOneErasePulse", "WINBOND", "W27E512"},
                      Family{"Row60ByteWrite", "DALLAS", "DS1225Y"},
                      Family{"Row75SixteenBit", "AMD", "Am27C1024"},
                      Family{"Row69VoltageInsideEachPulse", "ST", "M27C1024"},
                      Family{"Row84OnePulsePerWord", "AMD", "Am27C4096"},
                      Family{"Row3ErasableSixteenBit", "WINBOND", "W27C4096"},
                      // Row 3's part in full; row 4's record over 64K words and 256 more, past
                      // the A16 its variant routes through register 8.
                      Family{"Row4SecondRowOfTheModule", "WINBOND", "W27C4096-45", 0x10100},
                      Family{"Row301HiddenWord", "MICROCHIP", "27HC1616"},
                      Family{"Row302Bytes", "MICROCHIP", "27HC256"}),
    [](const auto& info) { return std::string(info.param.row); });

TEST_F(Families, Row76EraseIsFollowedByTheDriversSilentBlankCheck) {
    ASSERT_TRUE(Select("WINBOND", "W27E512"));
    chip = SeatPart("WINBOND", "W27E512");
    chip->SetCell(0x20, 0);
    chip->SetErasePeriodsNeeded(0x20, 2);
    EXPECT_EQ(Run(OpErase), -1);
    EXPECT_TRUE(HasLine("Erase error!")) << LogText();
}

TEST_F(Families, Row67PageOneAt4000h) {
    ASSERT_TRUE(Select("INTEL", "27513"));
    chip = SeatPart("INTEL", "27513");
    FillBufferRange(0, 0xFFFF, 0xFF);
    BufferWindow[0x4000] = 0x42;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    // The datum went to page 1, not to the cell 0000h of page 0.
    EXPECT_EQ(chip->Cell(0x4000), 0x42);
    EXPECT_EQ(chip->Cell(0x0000), 0xFF);
    ExpectNoViolations(); // the page register never saw the programming voltage
}

// A range that starts inside a page selects that page at its first address.
class PagedFrom4100h : public Families, public ::testing::WithParamInterface<Family> {};

TEST_P(PagedFrom4100h, ProgramVerifyAndReadReachThePageOfTheStart) {
    ASSERT_TRUE(Select(GetParam().maker, GetParam().name));
    chip = SeatPart(GetParam().maker, GetParam().name);
    DeviceStart = 0x4100; // into page 2 and on
    DeviceEnd = 0x80FF;
    BufferStart = 0;
    const uint32_t n = 0x8100 - 0x4100;
    FillPattern(n, 21);
    EXPECT_EQ(Run(OpProgram), 1) << LogText(); // blank check, program, verify from 4100h
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    for (uint32_t a = 0; a < 0x10000; ++a) {
        const bool inRange = a >= 0x4100 && a < 0x8100;
        ASSERT_EQ(chip->Cell(a), inRange ? BufferByte(a - 0x4100) : 0xFF) << std::hex << a;
    }
    // The last page selected was page 2; the read starts on page 1 again.
    FillBufferRange(0, n - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t a = 0x4100; a < 0x8100; ++a) ASSERT_EQ(BufferByte(a - 0x4100), chip->Cell(a)) << std::hex << a;
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, PagedFrom4100h,
                         ::testing::Values(Family{"Row67", "INTEL", "27513"},
                                           Family{"Row68", "ST", "M27513"}),
                         [](const auto& info) { return std::string(info.param.row); });

// Row 60 from a start above 100h writes (FFh too) and reads the range itself.
TEST_F(Families, Row60FromAStartAbove100hWritesAndReadsTheRangeItself) {
    // The image's counter reaches bits 8-15 of the start only by carries.
    ASSERT_TRUE(Select("DALLAS", "DS1225Y"));
    chip = SeatPart("DALLAS", "DS1225Y");
    DeviceStart = 0x123;
    BufferStart = 0;
    const uint32_t n = 0x2000 - 0x123;
    FillPattern(n, 4);
    BufferWindow[0] = 0xFF; // FFh is written too
    chip->SetCell(0x123, 0);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->Cell(0x123), 0xFF);
    for (uint32_t a = 0; a < 0x123; ++a) ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;
    for (uint32_t a = 0x123; a < 0x2000; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a - 0x123)) << std::hex << a;
    FillBufferRange(0, n - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t a = 0x123; a < 0x2000; ++a) ASSERT_EQ(BufferByte(a - 0x123), chip->Cell(a)) << std::hex << a;
    ExpectNoViolations();
}

TEST_F(Families, Row60StopsAtTheFirstByteThatReadsBackDifferently) {
    // A part that takes no writes, holding the buffer's data but at 0123h.
    ASSERT_TRUE(Select("DALLAS", "DS1225Y"));
    chip = Seat(With(Facts("DALLAS", "DS1225Y"), [](auto& c) { c.byteWrite = false; }));
    FillPattern(0x2000, 5);
    for (uint32_t a = 0; a < 0x2000; ++a) chip->SetCell(a, BufferByte(a));
    chip->SetCell(0x123, BufferByte(0x123) ^ 0x10);
    chip->SetCell(0x124, BufferByte(0x124) ^ 0x10);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    char line[48];
    std::snprintf(line, sizeof line, "  Chip addr: 000123h  data: %04Xh", BufferByte(0x123) ^ 0x10);
    EXPECT_TRUE(HasLine(line)) << LogText();
}

TEST_F(Families, ByteSwapProgramsTheSwappedWord) {
    ASSERT_TRUE(Select("AMD", "Am27C1024"));
    chip = SeatPart("AMD", "Am27C1024");
    ByteSwap = 1;
    FillBufferRange(0, BufferByteSize - 1, 0xFF);
    BufferWords[0x10] = 0x3412;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->Cell(0x10), 0x1234);
    BufferWords[0x10] = 0;
    EXPECT_EQ(Run(OpRead), 1);
    EXPECT_EQ(BufferWords[0x10], 0x3412);
}

TEST_F(Families, Row301WritesTheHiddenWordLastEvenWhenZero) {
    ASSERT_TRUE(Select("MICROCHIP", "27HC1616"));
    chip = SeatPart("MICROCHIP", "27HC1616");
    FillBufferRange(0, 0x8001, 0);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    // Blank words (0000h) of the array are skipped; the hidden word is not.
    ASSERT_EQ(chip->ProgramPulseCount(), 1u);
    EXPECT_EQ(chip->Pulses().back().data, 0);
    EXPECT_GE(chip->Pulses().back().widthUs, 10000u);

    BufferWords[0x4000] = 0x2A55;
    chip->ClearPulseLog();
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->HiddenWord(), 0x2A55);
    EXPECT_TRUE(chip->IsBlank());
    ExpectNoViolations();
}

// The hidden word is buffer word 4000h whatever the range: a Buffer Start
// that lays the range's words over it is refused by Program and Read before
// any pulse; one in the second bank burns the array from there and the
// hidden word from word 4000h, and Read stores them back there.
TEST_F(Families, Row301HiddenWordKeepsItsBufferWord) {
    ASSERT_TRUE(Select("MICROCHIP", "27HC1616"));
    chip = SeatPart("MICROCHIP", "27HC1616");
    ASSERT_EQ(DeviceEnd, 0x3FFFu);
    FillPattern(0x18000, 5);
    BufferStart = 0x2000;
    for (const int op : {OpProgram, OpRead, OpVerify}) {
        EXPECT_EQ(Run(op), -1);
        EXPECT_EQ(Log(), std::vector<std::string>{
                             " Buffer addr 008000h is the hidden word's place; the range puts chip addr 2000h there."});
    }
    EXPECT_EQ(chip->ProgramPulseCount(), 0u);
    EXPECT_TRUE(chip->IsBlank());

    BufferStart = 0x8000;
    const uint32_t hidden = BufferByte(0x8000) | BufferByte(0x8001) << 8;
    const uint32_t other = BufferByte(0x18000) | BufferByte(0x18001) << 8;
    ASSERT_NE(hidden, other);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->HiddenWord(), hidden);
    for (uint32_t a = 0; a < 0x4000; a += 0x3FF)
        ASSERT_EQ(chip->Cell(a), BufferByte(0x10000 + 2 * a) | BufferByte(0x10001 + 2 * a) << 8) << a;
    FillBufferRange(0, 0x1FFFF, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferByte(0x8000) | BufferByte(0x8001) << 8, hidden);
    EXPECT_EQ(BufferByte(0x18000) | BufferByte(0x18001) << 8, 0u);
    ExpectNoViolations();
}

// In a split mode a lane set of the whole part from word 0 covers the
// hidden word's buffer word 4000h, on the run's lane or on another's:
// Program, Read and Verify are refused in every lane mode before any pulse,
// the buffer as it was. A lane set from word 8000h lies past it: the lane's
// words burn at their chip addresses and the hidden word from word 4000h,
// and Read fills the lane and the hidden word and leaves every other word.
TEST_F(Families, Row301SplitModesKeepOffTheHiddenWord) {
    ASSERT_TRUE(Select("MICROCHIP", "27HC1616"));
    chip = SeatPart("MICROCHIP", "27HC1616");
    constexpr uint32_t kBytes = 0x30000;
    FillPattern(kBytes, 9);
    std::vector<uint8_t> before(kBytes);
    for (uint32_t a = 0; a < kBytes; ++a) before[a] = BufferByte(a);
    const std::string place = " Buffer addr 008000h is the hidden word's place; ";
    const std::pair<uint32_t, std::string> refused[] = {
        {1, "the range puts chip addr 2000h there."},  {2, "another lane puts chip addr 2000h there."},
        {3, "the range puts chip addr 1000h there."},  {4, "another lane puts chip addr 1000h there."},
        {5, "another lane puts chip addr 1000h there."}, {6, "another lane puts chip addr 1000h there."}};
    for (const auto& [mode, line] : refused) {
        SCOPED_TRACE(mode);
        WordMode = mode;
        for (const int op : {OpProgram, OpRead, OpVerify}) {
            EXPECT_EQ(Run(op), -1);
            EXPECT_EQ(Log(), std::vector<std::string>{place + line});
        }
    }
    EXPECT_EQ(chip->ProgramPulseCount(), 0u);
    EXPECT_TRUE(chip->IsBlank());
    for (uint32_t a = 0; a < kBytes; ++a) ASSERT_EQ(BufferByte(a), before[a]) << std::hex << a;

    for (const auto& [mode, step, lane] : {std::tuple{2u, 2u, 1u}, std::tuple{5u, 4u, 2u}}) {
        SCOPED_TRACE(mode);
        socket->Remove(chip);
        chip = SeatPart("MICROCHIP", "27HC1616");
        WordMode = mode;
        BufferStart = 0x8000;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(chip->HiddenWord(), BufferDatum(0x4000));
        for (uint32_t a = 0; a < 0x4000; a += 0x1FF)
            ASSERT_EQ(chip->Cell(a), BufferDatum(0x8000 + step * a + lane)) << std::hex << a;
        FillBufferRange(0, kBytes - 1, 0x5A);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t w = 0; w < kBytes / 2; ++w) {
            const bool inLane = w >= 0x8000 && w < 0x8000 + step * 0x4000 && (w - 0x8000) % step == lane;
            const uint32_t want = inLane ? chip->Cell((w - 0x8000) / step) : w == 0x4000 ? chip->HiddenWord() : 0x5A5A;
            ASSERT_EQ(BufferDatum(w), want) << std::hex << w;
        }
        FillPattern(kBytes, 9);
    }
    WordMode = 0;
    ExpectNoViolations();
}

// A Verify failure in the hidden word names the hidden word and its buffer
// word, wherever the range lies (its words in the first bank, in the
// second, or across the bank end), and a Data Compare gives it at its own
// buffer word 4000h. A Blank check of a part with only the hidden word
// programmed names the hidden word with the datum the part holds there,
// and no chip address, wherever the range lies.
TEST_F(Families, Row301HiddenWordFailsAsTheHiddenWord) {
    ASSERT_TRUE(Select("MICROCHIP", "27HC1616"));
    chip = SeatPart("MICROCHIP", "27HC1616");
    FillPattern(0x20000, 3);
    BufferWords[0x4000] = 0x1234;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    BufferWords[0x4000] = 0x1236;
    for (const uint32_t start : {0u, 0x8000u, 0x7000u}) {
        SCOPED_TRACE(start);
        // The range's words as the part holds them, from Buffer Start.
        for (uint32_t a = 0; a < 0x4000; ++a) {
            if (((start + a) & 0x7FFF) == 0) SelectBank((start + a) * 2, 1);
            BufferWords[(start + a) & 0x7FFF] = static_cast<uint16_t>(chip->Cell(a));
        }
        SelectBank(0, 0);
        BufferStart = start;
        EXPECT_EQ(Run(OpVerify), -1);
        EXPECT_TRUE(HasLinesInARow({"  Hidden word  data: 1234h", "Buffer addr: 008000h  data: 1236h"})) << LogText();
        EXPECT_EQ(Run(OpCompare), 1) << LogText();
        const std::string compare = ReadText("COMPARE.TXT");
        EXPECT_EQ(compare, "Compare file\r\nAddress : (Buffer data)-(Chip data)\r\n00004000h:(1236)-(1234)\r\n");
    }

    socket->Remove(chip);
    chip = SeatPart("MICROCHIP", "27HC1616");
    FillBufferRange(0, 0x3FFFF, 0x00);
    BufferWords[0x4000] = 0x2468;
    BufferStart = 0;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ASSERT_EQ(chip->HiddenWord(), 0x2468u);
    for (const uint32_t start : {0u, 0x8000u, 0x4001u}) {
        SCOPED_TRACE(start);
        BufferStart = start;
        EXPECT_EQ(Run(OpBlankCheck), -1);
        EXPECT_TRUE(HasLinesInARow({"Blank check error!", " Hidden word  data: 2468h"})) << LogText();
        EXPECT_EQ(LogText().find("Chip addr"), std::string::npos) << LogText();
    }
    ExpectNoViolations();
}

TEST_F(Families, Row302PinBlankCheckNamesTheFailingAddress) {
    ASSERT_TRUE(Select("MICROCHIP", "27HC641"));
    chip = SeatPart("MICROCHIP", "27HC641");
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    chip->SetCell(0x345, 0x10);
    FillBufferRange(0, 0x1FFF, 0x77);
    EXPECT_EQ(Run(OpBlankCheck), -1);
    EXPECT_TRUE(HasLine(" Chip addr: 000345h  data: 0000h")) << LogText();
    EXPECT_EQ(BufferByte(0x345), 0x77); // the buffer is not touched
    ExpectNoViolations();
}

// Row 302's ways of setting the upper address bits, each on its image: the
// part holds the buffer only when every address reached it, and the latch
// traffic before the address named comes in the order given.
struct AddressMode {
    const char* name;
    uint32_t variant, image, words;
    std::vector<std::pair<int, int>> writes; // register, value, in order
};

class Row302AddressModes : public Families, public ::testing::WithParamInterface<AddressMode> {};

TEST_P(Row302AddressModes, ProgramAndReadTheWholePart) {
    const AddressMode& m = GetParam();
    ASSERT_TRUE(Select("MICROCHIP", "27HC256"));
    DeviceVariant = m.variant;
    LogicImageNumber = m.image;
    DeviceSize = m.words;
    SetupAddressRange();
    // A part of this mode's size: the address pins of its pin-out.
    chip = Seat(With(Facts("MICROCHIP", "27HC256"), [&m](sim::EpromConfig& c) {
        c.words = m.words;
        c.addressPins = sim::Jedec28(c.name, m.words).addressPins;
    }));
    FillPattern(m.words, 8);
    simp.EnableTrace(true);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    std::vector<std::pair<int, int>> writes;
    for (const auto& a : simp.RegisterTrace())
        if (a.write) writes.emplace_back(a.reg, a.value);
    EXPECT_NE(std::search(writes.begin(), writes.end(), m.writes.begin(), m.writes.end()), writes.end());
    ExpectChipHoldsBuffer();
    FillBufferRange(0, m.words - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ExpectChipHoldsBuffer();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Row302AddressModes,
    ::testing::Values(
        // Mode 1: bits 8-15 through register 0 and the latch, at 0100h.
        AddressMode{"Mode1LatchedFromRegister0", 4, 23, 0x800, {{0, 0x01}, {6, 1}, {6, 0}, {0, 0x00}}},
        // Mode 2: A14 and up latched from register 1 at 4000h, then bits 8-15.
        AddressMode{"Mode2A14Latched", 5, 24, 0x8000, {{1, 0x10}, {6, 1}, {6, 0}, {1, 0x40}, {0, 0x00}}},
        // Mode 3: A10 and A11 latched at 0C00h (a 4 KB part), then 0Ch.
        AddressMode{"Mode3A10A11Latched", 6, 25, 0x1000, {{1, 0x03}, {6, 1}, {6, 0}, {1, 0x0C}, {0, 0x00}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Families, PulseLimitsOfTheControlBusRows) {
    // Row 302 gives up to Retry pulses, row 301 up to Retry - 1.
    ASSERT_TRUE(Select("MICROCHIP", "27HC641"));
    chip = SeatPart("MICROCHIP", "27HC641");
    FillBufferRange(0, 0x1FFF, 0);
    BufferWindow[0x40] = 0x81;
    chip->StickCell(0x40);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_EQ(chip->PulsesOn(0x40), 25);

    socket->Clear();
    ASSERT_TRUE(Select("MICROCHIP", "27HC1616"));
    chip = SeatPart("MICROCHIP", "27HC1616");
    FillBufferRange(0, 0x8001, 0);
    BufferWords[0x40] = 0x8001;
    chip->StickCell(0x40);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_EQ(chip->PulsesOn(0x40), 24);
    EXPECT_TRUE(HasLine("  Chip addr: 000040h  data: 0000h")) << LogText();
}

} // namespace
