// Every EPROM row through the operation driver on a simulated part from the
// library: blank check, program (with the blank check before and the verify
// at both levels after), read back, blank check of the programmed part, and
// erase where the row offers it.
#include <cstdio>
#include <fstream>

#include "sim/ControlBus.h"
#include "MemoryFixture.h"

namespace {

class Families : public MemoryRun {
protected:
    sim::EpromChip* chip = nullptr;

    uint32_t Words() const { return DeviceSize; }
    bool Wide() const { return DataWidth > 8; }
    uint32_t BufferDatum(uint32_t a) const {
        if (!Wide()) return BufferByte(a);
        return BufferByte(2 * a) | (static_cast<uint32_t>(BufferByte(2 * a + 1)) << 8);
    }
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


    void Cycle(const std::string& maker, const std::string& name) {
        ASSERT_TRUE(Select(maker, name)) << name;
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
};

class EveryRow : public Families, public ::testing::WithParamInterface<Family> {};

// ExpectChipHoldsBuffer covers every word, so the 16-bit parts of 65536 words
// and more show the buffer bank advancing after word 32767.
TEST_P(EveryRow, BlankProgramReadCompareAndErase) { Cycle(GetParam().maker, GetParam().name); }

INSTANTIATE_TEST_SUITE_P(
    Rows, EveryRow,
    ::testing::Values(Family{"Row0BuiltIn", "AMD", "Am27128"}, Family{"Row67PagedAtFiveVoltsVpp", "INTEL", "27513"},
                      Family{"Row68PagedPulsesOnSocketEnable", "ST", "M27513"},
                      Family{"Row76TimedWritesOneErasePulse", "WINBOND", "W27E512"},
                      Family{"Row60ByteWrite", "DALLAS", "DS1225Y"},
                      Family{"Row75SixteenBit", "AMD", "Am27C1024"},
                      Family{"Row69VoltageInsideEachPulse", "ST", "M27C1024"},
                      Family{"Row84OnePulsePerWord", "AMD", "Am27C4096"},
                      Family{"Rows3And4ErasableSixteenBit", "WINBOND", "W27C4096"},
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

TEST_F(Families, Row60StopsAtTheFirstByteThatReadsBackDifferently) {
    ASSERT_TRUE(Select("DALLAS", "DS1225Y"));
    chip = SeatPart("DALLAS", "DS1225Y");
    FillPattern(0x2000, 4);
    BufferWindow[0x123] = 0xFF; // FFh is written too
    chip->SetCell(0x123, 0);
    EXPECT_EQ(Run(OpProgram), 1);
    EXPECT_EQ(chip->Cell(0x123), 0xFF);
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

TEST_F(Families, Row302AddressMode3At0C00h) {
    // A 4 KB part of this variant: A10 and A11 come from the image's latch.
    ASSERT_TRUE(Select("MICROCHIP", "27HC256"));
    DeviceVariant = 6;
    LogicImageNumber = 25;
    DeviceSize = 0x1000;
    SetupAddressRange();
    chip = Seat(With(Facts("MICROCHIP", "27HC256"), [](sim::EpromConfig& c) {
        c.words = 0x1000;
        c.addressPins.resize(12);
    }));
    FillPattern(0x1000, 8);
    simp.EnableTrace(true);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    // Before the byte at 0C00h: register 1 = 3 (A10 and A11, latched), then 0Ch.
    std::vector<int> reg1;
    for (const auto& a : simp.RegisterTrace())
        if (a.write && a.reg == 1) reg1.push_back(a.value);
    EXPECT_NE(std::adjacent_find(reg1.begin(), reg1.end(), [](int a, int b) { return a == 3 && b == 0x0C; }),
              reg1.end());
    ExpectChipHoldsBuffer();
    ExpectNoViolations();
}

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
