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
        for (uint32_t a = 0; a < Words(); ++a) {
            if (chip->Cell(a) != BufferDatum(a)) {
                ADD_FAILURE() << std::hex << "word " << a << " chip " << chip->Cell(a) << " buffer " << BufferDatum(a);
                return;
            }
        }
    }

    static std::string CompareFile() {
        std::ifstream f("COMPARE.TXT", std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    }
    static size_t CompareFileLines() {
        const std::string t = CompareFile();
        return static_cast<size_t>(std::count(t.begin(), t.end(), '\n'));
    }

    void Cycle(const std::string& maker, const std::string& name, const sim::EpromConfig& c) {
        ASSERT_TRUE(Select(maker, name)) << name;
        chip = Seat(c);
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
        const uint32_t chipDatum = BufferDatum(at);
        FillBufferRange(Wide() ? 2 * at : at, Wide() ? 2 * at : at, BufferByte(Wide() ? 2 * at : at) ^ 0x01);
        EXPECT_EQ(Run(OpCompare), 1) << LogText();
        EXPECT_EQ(CompareFileLines(), 3u);
        char diff[40];
        std::snprintf(diff, sizeof diff, Wide() ? "%08Xh:(%04X)-(%04X)" : "%08Xh:(%02X)-(%02X)", at, chipDatum ^ 1,
                      chipDatum);
        EXPECT_NE(CompareFile().find(diff), std::string::npos) << CompareFile();
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

sim::EpromConfig Paged(const std::string& name) {
    sim::EpromConfig c = sim::Jedec28(name, 0x10000);
    c.addressPins.resize(14);
    c.pageWords = 0x4000;
    c.pageWritePin = 27;
    c.pgmPin = 0;
    c.vppPin = 1;
    return c;
}

TEST_F(Families, Row0TheBuiltInDeviceWithThePulseOnTheSocketMask) {
    Cycle("AMD", "Am27128", sim::Jedec28("Am27128", 0x4000));
}

TEST_F(Families, Row67PagedSelectsEachPageAtFiveVoltsVpp) { Cycle("INTEL", "27513", Paged("27513")); }

TEST_F(Families, Row67PageOneAt4000h) {
    ASSERT_TRUE(Select("INTEL", "27513"));
    chip = Seat(Paged("27513"));
    FillBufferRange(0, 0xFFFF, 0xFF);
    BufferWindow[0x4000] = 0x42;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    // The datum went to page 1, not to the cell 0000h of page 0.
    EXPECT_EQ(chip->Cell(0x4000), 0x42);
    EXPECT_EQ(chip->Cell(0x0000), 0xFF);
    ExpectNoViolations(); // the page register never saw the programming voltage
}

TEST_F(Families, Row68PagedWithPulsesOnTheSocketEnable) { Cycle("ST", "M27513", Paged("M27513")); }

TEST_F(Families, Row76TimedWritesAndOneErasePulseThenTheDriversBlankCheck) {
    sim::EpromConfig c = sim::Jedec28("W27E512", 0x10000);
    c.erasePin = 24;
    c.eraseStrobeHigh = true;
    c.erasePulseUs = 100000;
    c.vppMaxTenths = 145;
    Cycle("WINBOND", "W27E512", c);
    // The erase of one socket is followed by the driver's silent blank check.
    chip->SetCell(0x20, 0);
    chip->SetErasePeriodsNeeded(0x20, 2);
    EXPECT_EQ(Run(OpErase), -1);
    EXPECT_TRUE(HasLine("Erase error!")) << LogText();
}

TEST_F(Families, Row60ByteWriteMemory) {
    sim::EpromConfig c = sim::Jedec28("DS1225Y", 0x2000);
    c.byteWrite = true;
    c.vppPin = 0;
    Cycle("DALLAS", "DS1225Y", c);
}

TEST_F(Families, Row60StopsAtTheFirstByteThatReadsBackDifferently) {
    ASSERT_TRUE(Select("DALLAS", "DS1225Y"));
    sim::EpromConfig c = sim::Jedec28("DS1225Y", 0x2000);
    c.byteWrite = true;
    c.vppPin = 0;
    chip = Seat(c);
    FillPattern(0x2000, 4);
    BufferWindow[0x123] = 0xFF; // FFh is written too
    chip->SetCell(0x123, 0);
    EXPECT_EQ(Run(OpProgram), 1);
    EXPECT_EQ(chip->Cell(0x123), 0xFF);
}

TEST_F(Families, Row75SixteenBitAcrossTheBankAfterWord32767) {
    Cycle("AMD", "Am27C1024", sim::Word40("Am27C1024", 0x10000));
    EXPECT_EQ(chip->Cell(0x8000), BufferDatum(0x8000));
}

TEST_F(Families, Row69SixteenBitWithTheVoltageInsideEachPulse) {
    Cycle("ST", "M27C1024", sim::Word40("M27C1024", 0x10000));
}

TEST_F(Families, Row84OnePulsePerWord) { Cycle("AMD", "Am27C4096", sim::Word40("Am27C4096", 0x40000)); }

TEST_F(Families, Rows3And4ElectricallyErasableSixteenBit) {
    sim::EpromConfig c = sim::Word40("W27C4096", 0x40000);
    c.erasePin = 31;
    c.eraseMinTenths = 130;
    c.erasePulseUs = 100000;
    c.vppMaxTenths = 145;
    Cycle("WINBOND", "W27C4096", c);
}

TEST_F(Families, ByteSwapProgramsTheSwappedWord) {
    ASSERT_TRUE(Select("AMD", "Am27C1024"));
    chip = Seat(sim::Word40("Am27C1024", 0x10000));
    ByteSwap = 1;
    FillBufferRange(0, BufferByteSize - 1, 0xFF);
    BufferWords[0x10] = 0x3412;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->Cell(0x10), 0x1234);
    BufferWords[0x10] = 0;
    EXPECT_EQ(Run(OpRead), 1);
    EXPECT_EQ(BufferWords[0x10], 0x3412);
}

TEST_F(Families, Row301SixteenBitWithAHiddenWord) {
    Cycle("MICROCHIP", "27HC1616", sim::ControlBusWord40("27HC1616", 0x4000));
}

TEST_F(Families, Row301WritesTheHiddenWordLastEvenWhenZero) {
    ASSERT_TRUE(Select("MICROCHIP", "27HC1616"));
    chip = Seat(sim::ControlBusWord40("27HC1616", 0x4000));
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

TEST_F(Families, Row302Bytes) {
    Cycle("MICROCHIP", "27HC256", sim::Jedec28("27HC256", 0x8000));
}

TEST_F(Families, Row302PinBlankCheckNamesTheFailingAddress) {
    ASSERT_TRUE(Select("MICROCHIP", "27HC641"));
    sim::EpromConfig c = sim::Jedec28("27HC641", 0x2000);
    c.blank = 0;
    c.pgmPin = 0;
    c.hvBlankCheck = true;
    chip = Seat(c);
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
    chip = Seat(sim::Jedec28("4K part", 0x1000));
    FillPattern(0x1000, 8);
    simp.EnableTrace(true);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    // Before the byte at 0C00h: register 1 = 3 (A10 and A11, latched), then 0Ch.
    std::vector<int> reg1;
    for (const auto& a : simp.RegisterTrace()) {
        if (a.write && a.reg == 1) reg1.push_back(a.value);
    }
    bool found = false;
    for (size_t i = 0; i + 1 < reg1.size(); ++i) found |= reg1[i] == 3 && reg1[i + 1] == 0x0C;
    EXPECT_TRUE(found);
    ExpectChipHoldsBuffer();
    ExpectNoViolations();
}

} // namespace

namespace {

TEST_F(Families, PulseLimitsOfTheControlBusRows) {
    // Row 302 gives up to Retry pulses, row 301 up to Retry - 1.
    ASSERT_TRUE(Select("MICROCHIP", "27HC641"));
    sim::EpromConfig c = sim::Jedec28("27HC641", 0x2000);
    c.blank = 0;
    c.pgmPin = 0;
    c.hvBlankCheck = true;
    chip = Seat(c);
    FillBufferRange(0, 0x1FFF, 0);
    BufferWindow[0x40] = 0x81;
    chip->StickCell(0x40);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_EQ(chip->PulsesOn(0x40), 25);

    socket->Clear();
    ASSERT_TRUE(Select("MICROCHIP", "27HC1616"));
    chip = Seat(sim::ControlBusWord40("27HC1616", 0x4000));
    FillBufferRange(0, 0x8001, 0);
    BufferWords[0x40] = 0x8001;
    chip->StickCell(0x40);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_EQ(chip->PulsesOn(0x40), 24);
    EXPECT_TRUE(HasLine("  Chip addr: 000040h  data: 0000h")) << LogText();
}

} // namespace
