// The PIC rows end to end against the simulator's parts: a gpasm program
// with configuration and ID words through Auto, read back, Intel hex round
// trip; retries, flash timing, protection, faults and the row-121 identity;
// the configuration table, checksums and hex records.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "PicFixture.h"

#include "engine/HexFiles.h"
#include "engine/NeighbourState.h"
#include "mcu/Pic.h"

namespace {

// Data byte i of the flash rows: the low byte of buffer word 2100h + i.
constexpr uint32_t kFlashDataWord = 0x2100;

// The bytes of an Intel hex file by address (data, segment and linear
// address records), read apart from the program's own reader.
std::map<uint32_t, unsigned> HexFileBytes(const std::string& text) {
    std::map<uint32_t, unsigned> bytes;
    std::istringstream in(text);
    uint32_t base = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.size() < 11 || line[0] != ':') continue;
        auto at = [&](size_t i) { return static_cast<unsigned>(std::stoul(line.substr(1 + 2 * i, 2), nullptr, 16)); };
        const unsigned count = at(0), type = at(3);
        const uint32_t address = at(1) << 8 | at(2);
        if (type == 0)
            for (unsigned k = 0; k < count; ++k) bytes[base + address + k] = at(4 + k);
        if (type == 2 || type == 4) base = (at(4) << 8 | at(5)) << (type == 2 ? 4 : 16);
    }
    return bytes;
}

// ---- gpasm program through every row -----------------------------------------------------

struct Row {
    const char* name;
    const char* processor; // gpasm's name
    uint32_t config;       // __CONFIG value (protection off), programmed and saved whole
    bool twelveBit;
};

class GpasmProgram : public PicRun, public ::testing::WithParamInterface<Row> {};

TEST_P(GpasmProgram, AutoReadBackAndHexRoundTrip) {
    const Row c = GetParam();
    sim::PicChip* chip = SelectAndSeatPic(c.name);
    ASSERT_NE(chip, nullptr);
    // The large parts run over their first 512 words (the calibration rows
    // need their whole range).
    if (CurrentAlgorithm != 114 && CurrentAlgorithm != 115) DeviceEnd = std::min<uint32_t>(DeviceEnd, 511);
    const uint32_t dataSize = chip->Facts().dataBytes; // the part's, from its datasheet
    std::vector<std::pair<uint32_t, uint32_t>> dataBytes;
    if (dataSize != 0) dataBytes = {{0, 0x11}, {1, 0x22}, {2, 0x33}, {0x3F, 0xA5}};
    if (dataSize > 0x40) dataBytes.insert(dataBytes.end(), {{0x40, 0x5A}, {dataSize - 1, 0xC3}});
    {
        std::ofstream a("p.asm");
        a << "  list p=" << c.processor << "\n  __CONFIG 0x" << std::hex << c.config << "\n  __IDLOCS 0x1234\n"
          << "  org 0\nstart\n  movlw 0x5A\n  movwf 0x07\n  clrf 0x08\n  goto start\n";
        // Data bytes at the data memory's first addresses, at 3Fh and, on a
        // part of 256 bytes, at 40h and at its last: one "de" list from
        // 2100h, blank (FFh) between them (gpasm takes an org inside the
        // data memory as a byte offset, not as the word of that byte).
        std::vector<uint32_t> list(dataBytes.empty() ? 0 : dataBytes.back().first + 1, 0xFF);
        for (const auto& [at, value] : dataBytes) list[at] = value;
        if (!list.empty()) a << "  org 0x2100\n";
        for (size_t i = 0; i < list.size(); ++i) a << (i % 16 ? ", 0x" : "\n  de 0x") << std::hex << list[i];
        a << "\n  end\n";
    }
    ASSERT_EQ(std::system("gpasm -q -a inhx8m -o p.hex p.asm > gpasm.log 2>&1"), 0) << ReadText("gpasm.log");
    ClearWords();
    for (uint32_t i = 0; i <= DeviceEnd + 4; ++i) BufferWords[i] = static_cast<uint16_t>(BlankWord & 0x3FFF);
    LoadToolHexFile("p.hex"); // written by gpasm
    if (HasFatalFailure()) return;
    EXPECT_FALSE(LogHas(" Warning: ")) << LogText(); // its configuration, ID and data words are the part's
    std::vector<uint16_t> source(BufferWords, BufferWords + 0x8000);
    const PicPositions at = PicBufferPositions();

    EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Configuration Fuse Program ok!")) << LogText();
    ExpectNoViolations();
    const uint32_t lastProgrammed = CurrentAlgorithm == 114 || CurrentAlgorithm == 115 ? DeviceEnd - 1 : DeviceEnd;
    for (uint32_t a = 0; a <= lastProgrammed; ++a) ASSERT_EQ(chip->Word(a), source[a] & (c.twelveBit ? 0xFFF : 0x3FFF)) << a;
    const uint32_t word = c.twelveBit ? 0xFFF : 0x3FFF;
    EXPECT_EQ(chip->Config() & word, source[at.Config] & word);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(chip->Id(i) & 15, source[at.Id + static_cast<uint32_t>(i)] & 15u) << i;
    // gpasm writes each "de" byte in the low byte of a word from word 2100h;
    // the data cells hold the bytes as the lines give them, the others blank.
    for (uint32_t i = 0; i < dataSize; ++i) {
        uint32_t want = 0xFF;
        for (const auto& [at, value] : dataBytes) want = at == i ? value : want;
        ASSERT_EQ(chip->DataByte(i), want) << "data byte " << i;
    }

    ClearWords();
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Oscillator: " + std::string(PicConfigTable[DeviceSubVariant].Lists[0][source[at.Config] &
                                                                                            (c.twelveBit || CurrentAlgorithm == 116 ? 1 : 3)])) ||
                CurrentAlgorithm == 114 || CurrentAlgorithm == 115 || CurrentAlgorithm == 116)
        << LogText();
    EXPECT_TRUE(HasLine("Custmer ID: " + std::string{static_cast<char>(source[at.Id + 1] << 4 | (source[at.Id] & 15)),
                                                     static_cast<char>(source[at.Id + 3] << 4 | (source[at.Id + 2] & 15))}))
        << LogText();
    ASSERT_EQ(SaveHexFamilyFile("read.hex", 0, DeviceEnd * 2 + 1, HexFormatIntel), 1);
    ClearWords();
    ASSERT_EQ(LoadHexFamilyFile("read.hex", 0, 0), 1);
    for (uint32_t a = 0; a <= DeviceEnd; ++a) {
        // The last word of rows 114 and 115 is the chip's calibration value.
        const uint32_t want = a > lastProgrammed ? chip->Word(a) : source[a] & (c.twelveBit ? 0xFFFu : 0x3FFFu);
        ASSERT_EQ(BufferWords[a], want) << a;
    }
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(BufferWords[at.Id + i] & 15, source[at.Id + i] & 15u) << i;
    EXPECT_EQ(BufferWords[at.Config] & word, source[at.Config] & word);
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    ExpectNoViolations();
    // The parts with a data memory: the file saved holds every byte of
    // gpasm's file as gpasm wrote it, and besides them only blank words
    // (3FFFh) and blank data bytes (00FFh).
    if (dataSize == 0) return;
    const std::map<uint32_t, unsigned> in = HexFileBytes(ReadText("p.hex")), out = HexFileBytes(ReadText("read.hex"));
    for (const auto& [address, value] : in) {
        const auto o = out.find(address);
        ASSERT_TRUE(o != out.end()) << std::hex << "byte " << address << " not saved";
        EXPECT_EQ(o->second, value) << std::hex << "byte " << address;
    }
    for (const auto& [address, value] : out) {
        if (in.count(address) != 0) continue;
        const bool data = address >= 0x4200;
        EXPECT_EQ(value, data ? (address & 1 ? 0x00u : 0xFFu) : (address & 1 ? 0x3Fu : 0xFFu))
            << std::hex << "byte " << address << " only in the saved file";
    }
    EXPECT_EQ(out.rbegin()->first, 0x4200 + 2 * dataSize - 1); // the data memory's whole, no more
}

INSTANTIATE_TEST_SUITE_P(Rows, GpasmProgram,
                         ::testing::Values(Row{"PIC16C61", "16c61", 0x3FF5, false},
                                           Row{"PIC16C62A", "16c62a", 0x3FB9, false}, // Brown Out off
                                           Row{"PIC16C642", "16c642", 0x3F79, false},
                                           Row{"PIC16F84", "16f84", 0x3FF2, false},
                                           Row{"PIC12C508A", "12c508a", 0xFFA, true},
                                           Row{"PIC12C671", "12c671", 0x3FFD, false},
                                           Row{"PIC14000", "14000", 0x3FFF, false},
                                           Row{"PIC16F877", "16f877", 0x3F3A, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- row behaviour ---------------------------------------------------------------------------

TEST_F(PicRun, WordsRetryThenOverprogramAndFailWithTheAddress) {
    // Rows 111 and 113: Retry - 1 attempts, then 3 x n more pulses; row 110:
    // up to 8 pulses, then one of 11 x n (one more counted pulse). At least
    // one attempt whatever Retry says; blank words get no pulse.
    struct Case {
        const char* part;
        int retry; // -1: the record's
        int needed, pulses, result;
    };
    for (const Case k : {Case{"PIC16C61", -1, 1, 4, ResultOk}, Case{"PIC16C61", -1, 5, 20, ResultOk},
                         Case{"PIC16C61", -1, 1000, 24, ResultFailed}, Case{"PIC16C61", 0, 1000, 1, ResultFailed},
                         Case{"PIC16C61", 1, 1000, 1, ResultFailed}, Case{"PIC16C54", 25, 1, 2, ResultOk},
                         Case{"PIC16C54", 25, 5, 6, ResultOk}, Case{"PIC16C54", 25, 1000, 8, ResultFailed},
                         Case{"PIC17C43", 25, 1, 4, ResultOk}, Case{"PIC17C43", 25, 5, 20, ResultOk},
                         Case{"PIC17C43", 25, 1000, 24, ResultFailed}, Case{"PIC17C43", 1, 1, 4, ResultOk},
                         Case{"PIC17C43", 0, 1000, 1, ResultFailed}}) {
        SCOPED_TRACE(std::string(k.part) + " retry " + std::to_string(k.retry) + " needed " + std::to_string(k.needed));
        ReseatAnyPic(k.part, [&](auto* chip) {
            DeviceEnd = 63;
            if (k.retry >= 0) Retry = static_cast<uint32_t>(k.retry);
            ClearWords();
            for (uint32_t i = 0; i < 64; ++i) BufferWords[i] = static_cast<uint16_t>(RowBlank());
            BufferWords[3] = 0x0234;
            chip->SetPulsesNeeded(3, k.needed);
            EXPECT_EQ(Run(OpProgram), k.result) << LogText();
            EXPECT_EQ(chip->PulsesOn(3), k.pulses);
            EXPECT_EQ(chip->Pulses(), static_cast<uint32_t>(k.pulses));
            EXPECT_EQ(LogHas("Chip addr: 000003h"), k.result == ResultFailed) << LogText();
            EXPECT_TRUE(k.result == ResultOk || CurrentAlgorithm != 111 || HasLine("  Chip addr: 000003h  data: 3FFFh"))
                << LogText();
            EXPECT_EQ(chip->Word(3) == 0x0234u, k.result == ResultOk);
        });
    }
}

TEST_F(PicRun, ChipStartAboveZeroAndByteSwap) {
    // Chip Start 16 programs the chip's own words 16.. and verifies them;
    // row 113 under byte swap programs what Verify expects.
    for (const auto& [part, swap] : {std::pair{"PIC16F84", 0u}, std::pair{"PIC16C56", 0u},
                                     std::pair{"PIC17C42A", 0u}, std::pair{"PIC17C42A", 1u}}) {
        SCOPED_TRACE(std::string(part) + " swap " + std::to_string(swap));
        ReseatAnyPic(part, [&](auto* chip) {
            const uint32_t mask = RowBlank();
            ClearWords();
            FillWords(128, mask);
            DeviceStart = 16;
            DeviceEnd = 127;
            ByteSwap = swap;
            EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
            for (uint32_t a = 0; a < 16; ++a) EXPECT_EQ(chip->Word(a), mask) << a;
            for (uint32_t a = 16; a < 128; ++a) {
                uint32_t w = BufferWords[a - 16];
                if (swap) w = ((w & 0xFF) << 8) | (w >> 8);
                ASSERT_EQ(chip->Word(a), w) << a;
            }
            EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
            ExpectNoViolations();
        });
    }
    ByteSwap = 0;
}

TEST_F(PicRun, ParityFramesCarrySixteenBits) {
    sim::PicChip* chip = SelectAndSeatPic("PIC16C642");
    DeviceEnd = 63;
    ClearWords();
    for (uint32_t i = 0; i < 64; ++i) BufferWords[i] = 0x3FFF;
    BufferWords[0] = 0x0001;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->LastFrame(), 0x0005u);
    EXPECT_EQ(chip->LastFrameClocks(), 18);
    EXPECT_EQ(chip->Word(0), 0x0001u);
    ExpectNoViolations();
}

TEST_F(PicRun, CalibrationRowsLeaveTheLastWord) {
    for (const char* name : {"PIC12C508A", "PIC12C671"}) {
        sim::PicChip* chip = ReseatPic(name);
        const uint32_t calibration = chip->Word(DeviceEnd);
        ClearWords();
        for (uint32_t i = 0; i <= DeviceEnd; ++i) BufferWords[i] = static_cast<uint16_t>(BlankWord);
        FillWords(8, BlankWord);
        BufferWords[DeviceEnd] = 0;
        // Program verifies at both levels after the last pulse.
        EXPECT_EQ(Run(OpProgram), ResultOk) << name << LogText();
        EXPECT_TRUE(HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
        EXPECT_EQ(chip->Word(DeviceEnd), calibration) << name; // Read mode 2 fetches it: see GpasmProgram
        ExpectNoViolations();
    }
}

TEST_F(PicRun, CalibrationWordIsThePartsLastWhateverTheRange) {
    // A range from an odd start that ends below the part's last word: its
    // last word is an ordinary program word, programmed, verified and
    // blank-checked like the others; the calibration word stays the part's.
    for (const char* name : {"PIC12C509A", "PIC12C672"}) {
        SCOPED_TRACE(name);
        sim::PicChip* chip = ReseatPic(name);
        const uint32_t size = DeviceSize, calibration = chip->Word(size - 1);
        const uint32_t blank = CurrentAlgorithm == 114 ? 0xFFF : 0x3FFF;
        DeviceStart = 0x11;
        DeviceEnd = 0x2F;
        ClearWords();
        FillWords(0x1F, blank);
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t a = 0; a < 0x11; ++a) EXPECT_EQ(chip->Word(a), blank) << a;
        for (uint32_t a = 0x11; a <= 0x2F; ++a) ASSERT_EQ(chip->Word(a), BufferWords[a - 0x11]) << a;
        EXPECT_EQ(chip->Word(0x30), blank);
        EXPECT_EQ(chip->Word(size - 1), calibration);
        // Verify and blank check look at the range's last word.
        BufferWords[0x2F - 0x11] ^= 1;
        EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
        EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
        // A range on the calibration word alone touches nothing.
        DeviceStart = DeviceEnd = size - 1;
        BufferWords[0] = 0;
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(chip->Word(size - 1), calibration);
        ExpectNoViolations();
    }
}

TEST_F(PicRun, Row116ReadsTheCalibrationAreaAtItsPlace) {
    // The PIC14000's calibration area follows its 4032 program words. A
    // range that ends below them reads the range and the area, each into the
    // buffer words of its chip addresses, and leaves the words between.
    sim::PicChip* chip = ReseatPic("PIC14000");
    ASSERT_EQ(DeviceSize, 0xFC0u);
    for (uint32_t a = 0; a < 0x1000; ++a) chip->SetWord(a, (a * 7 + 3) & 0x3FFF);
    for (const auto& [start, end] : {std::pair{0x11u, 0x2Fu}, std::pair{0u, 0xFBFu}}) {
        SCOPED_TRACE(end);
        DeviceStart = start;
        DeviceEnd = end;
        BufferStart = start;
        for (uint32_t i = 0; i < 0x2000; ++i) BufferWords[i] = 0x5A5A;
        ASSERT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t a = 0; a < 0x1000; ++a) {
            const bool read = (a >= start && a <= end) || a >= 0xFC0;
            ASSERT_EQ(BufferWords[a], read ? chip->Word(a) : 0x5A5Au) << a;
        }
        EXPECT_EQ(BufferWords[0x1000], 0x5A5Au);
    }
    ExpectNoViolations();
}

TEST_F(PicRun, Row116ReadCountsItsCalibrationAreaAtTheBuffersTop) {
    // A Read whose calibration area would end past the buffer's last byte is
    // refused before anything is switched on, the buffer as it was; Program
    // and Verify of that range do not take the area and run; one word lower
    // the Read stores the area's last word on the buffer's last word.
    sim::PicChip* chip = ReseatPic("PIC14000");
    ASSERT_EQ(DeviceSize, 0xFC0u);
    for (uint32_t a = 0xFC0; a < 0x1000; ++a) chip->SetWord(a, (a * 5 + 1) & 0x3FFF);
    const uint64_t top = BufferCapacityBytes() / 2 - 1; // the buffer's last word
    DeviceStart = 0x11;
    DeviceEnd = 0x2F;
    BufferStart = static_cast<uint32_t>(top - (0xFFF - 0x11)) + 1;
    ASSERT_EQ(SelectBank(static_cast<uint32_t>(BufferCapacityBytes() - 1), 1), 1);
    SelectBank(0, 0);
    uint8_t* buffer = BufferImage();
    for (uint64_t w = BufferStart; w <= top; ++w) {
        buffer[2 * w] = static_cast<uint8_t>(w);
        buffer[2 * w + 1] = static_cast<uint8_t>(w >> 8 & 0x3F);
    }
    const std::vector<uint8_t> before(buffer + 2 * uint64_t{BufferStart}, buffer + 2 * top + 2);
    StartTrace();
    ASSERT_EQ(Run(OpRead), ResultFailed);
    ASSERT_EQ(BufferCapacityBytes(), 0x10000000u);
    char line[128];
    std::snprintf(line, sizeof line, " Buffer End %llXh past the buffer's last byte %llXh (buffer size 256 MB).",
                  static_cast<unsigned long long>(2 * top + 3), static_cast<unsigned long long>(2 * top + 1));
    EXPECT_EQ(Log(), std::vector<std::string>{line});
    EXPECT_TRUE(simp.RegisterTrace().empty());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), buffer + 2 * uint64_t{BufferStart}));
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0x11; a <= 0x2F; ++a) ASSERT_EQ(chip->Word(a), (BufferStart + a - 0x11) & 0x3FFF) << a;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    BufferStart -= 1;
    ASSERT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0xFC0; a < 0x1000; ++a) {
        const uint64_t w = BufferStart + uint64_t{a} - 0x11;
        ASSERT_EQ(buffer[2 * w] | buffer[2 * w + 1] << 8, chip->Word(a)) << a;
    }
    EXPECT_EQ(BufferStart + uint64_t{0xFFF} - 0x11, top);

    // An area that would land on the ID and configuration words is refused
    // for Read: the read of those words after it would overwrite its words.
    DeviceStart = 0;
    DeviceEnd = 0xFBF;
    BufferStart = 0x1040;
    StartTrace();
    ASSERT_EQ(Run(OpRead), ResultFailed);
    EXPECT_EQ(Log(), std::vector<std::string>{
                         " Buffer addr 00400Eh is chip addr 2007h's place; the range puts chip addr FC7h there."});
    EXPECT_TRUE(simp.RegisterTrace().empty());
    BufferStart = 0x1000;
    ASSERT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0xFC0; a < 0x1000; ++a) ASSERT_EQ(BufferWords[0x1000 + a], chip->Word(a)) << a;
    ExpectNoViolations();
}

TEST_F(PicRun, FlashEraseClearsAProtectedChip) {
    // Erase then blank check on both flash rows; row 112 erases at 13.0 V
    // whatever Vpp says, row 121 at Vpp.
    struct Case {
        const char* part;
        uint16_t protectedConfig;
        int eraseTenths;
    };
    for (const Case k : {Case{"PIC16F84", 0x0003, 130}, Case{"PIC16F877", 0x0F0A, 130}}) {
        sim::PicChip* chip = ReseatPic(k.part);
        DeviceEnd = 63;
        ClearWords();
        FillWords(64, 0x3FFF);
        BufferWords[0x2007] = k.protectedConfig; // CP on
        EXPECT_EQ(Run(OpAuto), ResultOk) << k.part << LogText();
        EXPECT_TRUE(chip->Protected()) << k.part;
        // Protected code reads as 0: verify fails at the first word.
        EXPECT_EQ(Run(OpVerify), ResultFailed) << k.part;
        EXPECT_EQ(Run(OpErase), ResultOk) << k.part << LogText();
        EXPECT_TRUE(chip->IsBlank()) << k.part;
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << k.part << LogText();
        EXPECT_EQ(chip->BulkEraseMclrTenths(), k.eraseTenths) << k.part;
        ExpectNoViolations();
    }
    // Row 112 keeps 13.0 V with another Vpp.
    sim::PicChip* chip = ReseatPic("PIC16F84");
    Vpp = 1250;
    EXPECT_EQ(Run(OpErase), ResultOk);
    EXPECT_EQ(chip->BulkEraseMclrTenths(), 130);
}

TEST_F(PicRun, FaultsEndWithTheirLine) {
    // A flash write cut short, a user break (more in VppMissingProtectionAndUserBreak).
    {
        sim::PicChip* chip = SelectAndSeatPic("PIC16F84");
        ClearWords();
        DeviceEnd = 63;
        FillWords(64, 0x3FFF);
        PulseWidth = 1000;
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_GT(chip->IgnoredWhileBusy(), 0u);
        EXPECT_EQ(chip->Commands(4), 64u) << "the blank check's only"; // the busy chip ignored the verify read
    }
    {
        ReseatPic("PIC16C71");
        DeviceEnd = 255;
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), ResultUserBreak) << LogText();
        // The configuration is still read and logged.
        // Blank ID words read as two 0FFh characters, logged as valid text.
        EXPECT_TRUE(HasLine("Custmer ID: \xC3\xBF\xC3\xBF")) << LogText();
        EXPECT_TRUE(HasLine("Oscillator: RC-Oscillator")) << LogText();
    }
}

TEST_F(PicRun, Row121ChecksTheDeviceId) {
    // No: " Incorrect device ID." ends the run at its line, the part
    // untouched past the ID read; Yes: asked once per run, and the run goes on.
    {
        EXPECT_TRUE(Select("MICROCHIP", "PIC16F877"));
        DeviceEnd = 255;
        sim::PicChip* chip = SeatPic("PIC16F874");
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), ResultFailed);
        EXPECT_TRUE(HasLine(" Incorrect device ID.")) << LogText();
        EXPECT_EQ(chip->Commands(4), 1u);
        EXPECT_EQ(chip->Commands(5), 0u);
    }
    sim::PicChip* chip = ReseatPic("PIC16F877");
    ASSERT_NE(chip, nullptr);
    DeviceEnd = 255;
    chip->AnswerAnotherIdentity();
    ClearWords();
    FillWords(256, 0x3FFF);
    BufferWords[0x2007] = 0x3F3A;
    for (uint32_t i = 0; i < 4; ++i) BufferWords[0x2000 + i] = 0;
    BufferWords[kFlashDataWord] = 0x5A;
    for (const int op : {OpVerify, OpProgram, OpBlankCheck}) {
        SCOPED_TRACE(op);
        chip->ClearCounts();
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(op), ResultFailed);
        EXPECT_EQ(IdentityRefusalLine(), " Incorrect device ID.");
        EXPECT_TRUE(HasLine(" Incorrect device ID.")) << LogText();
        EXPECT_EQ(DatumLines(), "") << LogText();
        EXPECT_EQ(chip->Commands(4), 1u); // the ID word alone
        EXPECT_EQ(chip->Pulses() + chip->Commands(8), 0u);
        EXPECT_TRUE(chip->IsBlank());
    }
    const size_t boxes = ui.Boxes.size();
    ui.DefaultAnswer = UiAnswer::Yes;
    EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
    EXPECT_EQ(ui.Boxes.size(), boxes + 1);
    EXPECT_EQ(chip->Word(255), BufferWords[255]);
    EXPECT_EQ(chip->DataByte(0), 0x5A);
    EXPECT_EQ(IdentityRefusalLine(), "");
}

TEST_F(PicRun, Row121GivesAnotherProgramSizeSixtyFourDataBytes) {
    // Neither 4K nor 8K words: the record's data memory is 64 bytes, and
    // Program, Verify, Read and Erase run over them (byte 40h is none of them).
    sim::PicChip* chip = ReseatPic("PIC16F877");
    ASSERT_NE(chip, nullptr);
    DeviceSize = 0x800;
    DeviceEnd = 0x7FF;
    ClearWords();
    FillWords(0x800, 0x3FFF);
    for (uint32_t i = 0; i <= 0x40; ++i) BufferWords[kFlashDataWord + i] = static_cast<uint16_t>(i ^ 0x3C);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Word(0x7FF), BufferWords[0x7FF]);
    EXPECT_EQ(chip->DataByte(0x3F), 0x3F ^ 0x3C);
    EXPECT_EQ(chip->DataByte(0x40), 0xFF);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    ClearWords();
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(BufferWords[kFlashDataWord + 0x3F], 0x3F ^ 0x3C);
    EXPECT_EQ(BufferWords[kFlashDataWord + 0x40], 0);
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_TRUE(chip->IsBlank());
    ExpectNoViolations();
}

// ---- configuration words as chosen ------------------------------------------------------------

// Picks `choice` for field `field` of the device's record on a blank
// buffer word, as the dialog packs it when the user leaves the list.
void ChooseOnBlankWord(int field, uint32_t choice) {
    const PicPositions at = PicBufferPositions();
    BufferWords[at.Config] = static_cast<uint16_t>(CurrentAlgorithm == 114 ? 0xFFF : 0x3FFF);
    PicConfigWord = BufferWords[at.Config];
    UnpackPicConfigFields();
    PicConfigFields[field] = choice;
    PackPicConfigFields();
}

// Each "Memory Protect" choice burnt from a blank word: the whole word as the
// parts' assembler headers spell it (every copy of the protection bits the
// datasheet mirrors them into, _CP_ALL, _CP_75, _CP_50, _CP_OFF).
struct ProtectionWords {
    const char* part;
    std::vector<uint32_t> words; // by choice
};
const std::vector<ProtectionWords>& ProtectionWordsOfParts() {
    static const std::vector<ProtectionWords> cases{
        {"PIC16C62A", {0x00CF, 0x15DF, 0x2AEF, 0x3FFF}},
        {"PIC16C74A", {0x00CF, 0x15DF, 0x2AEF, 0x3FFF}},
        {"PIC16C642", {0x00CF, 0x15DF, 0x2AEF, 0x3FFF}},
        {"PIC12C671", {0x009F, 0x15BF, 0x2ADF, 0x3FFF}},
        {"PIC12C672", {0x009F, 0x15BF, 0x2ADF, 0x3FFF}},
        // _CPP_ON & _CPU_ON, _CPU_ON, _CPP_ON, off
        {"PIC14000", {0x21CF, 0x2DDF, 0x33EF, 0x3FFF}},
        {"PIC16C505", {0x02F, 0xFFF}},
        {"PIC16F84", {0x000F, 0x3FFF}},
        {"PIC16F877", {0x0FCF, 0x1FDF, 0x2FEF, 0x3FFF}}};
    return cases;
}

TEST_F(PicRun, ProtectionChoicesBurnEveryCopy) {
    // Each "Memory Protect" choice picked on a blank word, then Auto on a
    // blank part: the whole word, and the part protected as its datasheet
    // says for every choice but "off".
    for (const ProtectionWords& k : ProtectionWordsOfParts()) {
        for (uint32_t choice = 0; choice < k.words.size(); ++choice) {
            SCOPED_TRACE(std::string(k.part) + " choice " + std::to_string(choice));
            sim::PicChip* chip = ReseatPic(k.part);
            ASSERT_NE(chip, nullptr);
            DeviceEnd = 15;
            ClearWords();
            FillWords(16, CurrentAlgorithm == 114 ? 0xFFF : 0x3FFF);
            ChooseOnBlankWord(3, choice);
            EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
            EXPECT_TRUE(HasLine("Configuration Fuse Program ok!")) << LogText();
            EXPECT_EQ(chip->Config(), k.words[choice]);
            EXPECT_EQ(chip->Protected(), choice + 1 < k.words.size());
            ExpectNoViolations();
        }
    }
}

TEST_F(PicRun, ProtectionOffOnAProtectedWordSetsEveryCopyInTheBufferAndThePart) {
    // A file's word that protects everything, with ID words whose bits above
    // the nibble are set: "off" picked as the dialog packs it puts the word
    // that is burnt into the buffer (every copy set), and keeps the ID
    // words whole; Auto on a blank part burns both as the buffer holds them.
    for (const ProtectionWords& k : ProtectionWordsOfParts()) {
        SCOPED_TRACE(k.part);
        sim::PicChip* chip = ReseatPic(k.part);
        ASSERT_NE(chip, nullptr);
        const bool twelve = CurrentAlgorithm == 114;
        const uint32_t ids[4] = {twelve ? 0x231u : 0x1231u, 0x002, twelve ? 0xFF3u : 0x3FF3u, 0x004};
        DeviceEnd = 15;
        ClearWords();
        FillWords(16, twelve ? 0xFFF : 0x3FFF);
        const PicPositions at = PicBufferPositions();
        BufferWords[at.Config] = static_cast<uint16_t>(k.words.front());
        for (uint32_t i = 0; i < 4; ++i) PicIdWords[i] = BufferWords[at.Id + i] = static_cast<uint16_t>(ids[i]);
        PicConfigWord = BufferWords[at.Config];
        UnpackPicConfigFields();
        EXPECT_EQ(PicIdText[0], 0x21); // the nibbles of ID words 0 and 1
        PicConfigFields[3] = static_cast<uint32_t>(k.words.size() - 1);
        PackPicConfigFields();
        EXPECT_EQ(BufferWords[at.Config], k.words.back());
        for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(BufferWords[at.Id + i], ids[i]) << i;
        EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
        EXPECT_EQ(chip->Config(), k.words.back());
        EXPECT_FALSE(chip->Protected());
        for (int i = 0; i < 4; ++i) EXPECT_EQ(chip->Id(i), ids[i]) << i;

        // The writer itself sets every copy from the protection bits, whatever
        // the word it is handed holds in them.
        chip = ReseatPic(k.part);
        ASSERT_NE(chip, nullptr);
        PicConfigWord = k.words.front() | PicFieldMask(*CurrentPicConfigRecord(), 3);
        PrepareDialog();
        EXPECT_EQ(CurrentPicConfigRecord()->Program(), 1) << LogText();
        EXPECT_EQ(chip->Config(), k.words.back());
        ExpectNoViolations();
    }
}

TEST_F(PicRun, ConfigurationBitsThatDoNotTakeFailTheWrite) {
    // A protected word whose protection copies do not program leaves the part
    // unprotected: the configuration step must fail. An unimplemented bit
    // (bit 10 of the PIC16F87x) that reads 1 whatever is written does not.
    struct Case {
        const char* part;
        uint32_t word, refused;
        int result;
        uint32_t holds; // the part's word after the run
    };
    for (const Case k : {Case{"PIC16F877", 0x0F0A, 0x3000, ResultFailed, 0x3F0A},
                         Case{"PIC16F877", 0x0F0A, 0x0000, ResultOk, 0x0F0A},
                         Case{"PIC16F877", 0x0B0A, 0x0400, ResultOk, 0x0F0A},
                         Case{"PIC16C505", 0x002F, 0x0FC0, ResultFailed, 0x0FEF},
                         Case{"PIC16C505", 0x002F, 0x0000, ResultOk, 0x002F},
                         Case{"PIC12C508A", 0x0FF7, 0x0008, ResultFailed, 0x0FFF},
                         Case{"PIC16C62A", 0x00CF, 0x3F00, ResultFailed, 0x3FCF}}) {
        SCOPED_TRACE(std::string(k.part) + " refusing " + std::to_string(k.refused));
        sim::PicChip* chip = ReseatPic(k.part);
        ASSERT_NE(chip, nullptr);
        chip->RefuseConfigBits(k.refused);
        const bool twelve = CurrentAlgorithm == 114;
        DeviceEnd = 15;
        ClearWords();
        FillWords(16, twelve ? 0xFFF : 0x3FFF);
        const PicPositions at = PicBufferPositions();
        BufferWords[at.Config] = static_cast<uint16_t>(k.word);
        for (uint32_t i = 0; i < 4; ++i) BufferWords[at.Id + i] = static_cast<uint16_t>(i);
        EXPECT_EQ(Run(OpAuto), k.result) << LogText();
        EXPECT_TRUE(HasLine(k.result == ResultOk ? "Configuration Fuse Program ok!"
                                                 : "Configuration Fuse Program error!"))
            << LogText();
        EXPECT_EQ(chip->Config(), k.holds);
        ExpectNoViolations();
    }
}

TEST_F(PicRun, CodeProtectionReadAsThePartHasIt) {
    // The row's reading of a configuration word (its protection field and
    // copies) agrees with the part's: every protection choice, and a word
    // whose copy disagrees (out of force). The word-bus parts: the PIC16C5x's
    // CP bit, the PIC17C4x's code-protected mode (PM2 with PM1:PM0).
    for (const ProtectionWords& k : ProtectionWordsOfParts()) {
        SCOPED_TRACE(k.part);
        ASSERT_TRUE(Select("MICROCHIP", k.part));
        const sim::PicFacts* f = sim::FindPicPart("MICROCHIP", k.part);
        ASSERT_NE(f, nullptr);
        std::vector<uint32_t> words = k.words;
        // A copy of the first protection bit (in bits 13:8) flipped.
        if (!f->protectCopies.empty()) words.push_back(k.words.front() ^ (f->protectCopies.front() & 0x3F00));
        for (const uint32_t w : words) EXPECT_EQ(PicCodeProtected(w), f->Protects(w)) << std::hex << w;
    }
    struct Case {
        const char* part;
        uint32_t word;
        bool protects;
    };
    for (const Case k : {Case{"PIC16C54", 0xFF7, true}, Case{"PIC16C54", 0xFFF, false}, Case{"PIC17C43", 0x7FAF, true},
                         Case{"PIC17C43", 0xFFBF, false}, Case{"PIC17C43", 0xFFEF, false}}) {
        ASSERT_TRUE(Select("MICROCHIP", k.part));
        EXPECT_EQ(PicCodeProtected(k.word), k.protects) << k.part << " " << std::hex << k.word;
    }
}

TEST_F(PicRun, BrownOutBurntAsChosen) {
    // A choice the dialog offers is burnt as chosen: Brown Out off on the
    // parts whose writer fixes bit 7 (unimplemented), and Read logs it.
    for (const char* part : {"PIC16C62A", "PIC16C74A"}) {
        for (uint32_t choice : {0u, 1u}) {
            SCOPED_TRACE(std::string(part) + " choice " + std::to_string(choice));
            sim::PicChip* chip = ReseatPic(part);
            DeviceEnd = 15;
            ClearWords();
            FillWords(16, 0x3FFF);
            ChooseOnBlankWord(5, choice);
            EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
            EXPECT_EQ(chip->Config(), choice == 0 ? 0x3FBFu : 0x3FFFu);
            EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
            EXPECT_TRUE(HasLine(choice == 0 ? "Brown Out: Disable" : "Brown Out: Enable")) << LogText();
        }
    }
}

TEST(PicModel, ProtectionTakesEveryCopy) {
    // A copy that disagrees leaves the protection out of force; a single bit
    // without copies protects alone.
    struct Case {
        const char* part;
        uint32_t word;
        bool protects;
    };
    for (const Case k : {Case{"PIC16C62A", 0x00CF, true}, Case{"PIC16C62A", 0x3FCF, false},
                         Case{"PIC16C62A", 0x15DF, true}, Case{"PIC16C62A", 0x15CF, false},
                         Case{"PIC16C62A", 0x3FFF, false}, Case{"PIC12C671", 0x3F9F, false},
                         Case{"PIC14000", 0x3FCF, false}, Case{"PIC14000", 0x1E7F, true},
                         Case{"PIC16F84", 0x3FEF, false}, Case{"PIC16F84", 0x000F, true},
                         Case{"PIC16C505", 0xFEF, false}, Case{"PIC16C61", 0x3FEF, true},
                         Case{"PIC12C508A", 0xFF7, true}}) {
        const sim::PicFacts* f = sim::FindPicPart("MICROCHIP", k.part);
        ASSERT_NE(f, nullptr) << k.part;
        EXPECT_EQ(f->Protects(k.word), k.protects) << k.part << " " << std::hex << k.word;
    }
}

// ---- configuration table, checksums and hex records -------------------------------------------

TEST_F(PicRun, FieldsPackAndUnpack) {
    CurrentAlgorithm = 111;
    DeviceSubVariant = 2;
    PicConfigWord = 0x3FF5;
    UnpackPicConfigFields();
    EXPECT_EQ(PicConfigFields[0], 1u);
    EXPECT_EQ(PicConfigFields[1], 1u);
    EXPECT_EQ(PicConfigFields[2], 0u);
    EXPECT_EQ(PicConfigFields[3], 1u);
    std::snprintf(PicIdText, sizeof PicIdText, "AB");
    PackPicConfigFields();
    // The bits no field covers keep the word's value (a saved file keeps
    // code protection off).
    EXPECT_EQ(PicConfigWord, 0x3FF5u);
    EXPECT_EQ(BufferWords[0x2007], 0x3FF5);
    PicConfigFields[0] = 2;
    PicConfigFields[3] = 0;
    PackPicConfigFields();
    EXPECT_EQ(PicConfigWord, 0x3FE6u);
    const uint32_t ids[4] = {1, 4, 2, 4};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(PicIdWords[i], ids[i]);
    // Every record: 16 layout characters, first 'x', a field per list.
    for (const PicConfigRecord& r : PicConfigTable) {
        ASSERT_EQ(std::string(r.Layout).size(), 16u);
        EXPECT_EQ(r.Layout[0], 'x');
        for (int n = 0; n < 12; ++n) EXPECT_EQ(PicFieldMask(r, n) != 0, r.Lists[n] != nullptr) << r.Layout << n;
    }
    // A record past the table packs no field and logs nothing.
    DeviceSubVariant = PicConfigRecordCount;
    EXPECT_EQ(ProgramPicConfigFromBuffer(), -1);
    const size_t lines = ui.Log.size();
    LogPicConfiguration();
    EXPECT_EQ(ui.Log.size(), lines);
}

TEST_F(PicRun, Checksums) {
    ClearWords();
    DeviceSize = 4; // word 3 is the calibration word of rows 114 and 115
    DeviceEnd = 3;
    for (uint32_t i = 0; i < 4; ++i) BufferWords[i] = 0xF001;
    BufferWords[0xFFF] = 0;
    BufferWords[0x2007] = 0xFFFF;
    struct Case {
        uint32_t row, variant, sum;
        uint32_t (*fn)();
    };
    for (const Case c : {Case{110, 0, 4 * 0x001 + 0xFF0, ComputeChecksum110}, Case{114, 0, 3 * 0x001 + 0xFF0, ComputeChecksum110},
                         Case{111, 0, 4 * 0x3001 + 0x1F, ComputeChecksum111}, Case{115, 6, 3 * 0x3001 + 0x3FBD, ComputeChecksum111},
                         Case{116, 9, 4 * 0x3001 + 0x3FFF, ComputeChecksum111}, Case{112, 3, 4 * 0x3001 + 0xBFF, ComputeChecksum112},
                         Case{121, 200, 4 * 0x3001 + 0x3FFF, ComputeChecksum112}}) {
        CurrentAlgorithm = c.row;
        DeviceVariant = static_cast<uint8_t>(c.variant);
        EXPECT_EQ(c.fn(), c.sum) << c.row;
        EXPECT_EQ(BufferChecksum, c.sum);
    }
    // A range that ends below the calibration word sums every word it has.
    DeviceSize = 8;
    DeviceVariant = 0;
    CurrentAlgorithm = 114;
    EXPECT_EQ(ComputeChecksum110(), 4 * 0x001u + 0xFF0);
    CurrentAlgorithm = 115;
    EXPECT_EQ(ComputeChecksum111(), 4 * 0x3001u + 0x1F);
}

TEST_F(PicRun, HexRecords) {
    ClearWords();
    CurrentAlgorithm = 110;
    DeviceEnd = 0x1FF;
    DeviceSize = 0x200;
    for (uint32_t i = 0; i < 4; ++i) BufferWords[0x200 + i] = static_cast<uint16_t>(i + 1);
    BufferWords[0xFFF] = 0x0FF5;
    std::string out;
    WritePicConfigHex110(out);
    EXPECT_EQ(out, ":080400000100020003000400EA\r\n:021FFE00F50FDD\r\n");
    // Rows 115 and 116 keep their configuration and ID words in a saved file.
    for (uint32_t row : {115u, 116u}) EXPECT_EQ(HooksOfRow(row).HexConfigWriter, WritePicConfigHex111) << row;
}

TEST(PicLibrary, RefusesRecordsPastTheTables) {
    EXPECT_EQ(PicRecordRefusal(111, 2, 6, 1024), "");
    EXPECT_NE(PicRecordRefusal(111, PicConfigRecordCount, 0, 1024), "");
    EXPECT_NE(PicRecordRefusal(111, 2, 7, 1024), "");
    EXPECT_NE(PicRecordRefusal(121, 19, 4, 4096), "");
    // Row 121 takes any program size (another than 4K or 8K words: 64 data bytes).
    EXPECT_EQ(PicRecordRefusal(121, 19, 3, 0x1000), "");
    EXPECT_EQ(PicRecordRefusal(121, 20, 3, 0x2000), "");
    EXPECT_EQ(PicRecordRefusal(121, 20, 3, 0x800), "");
    EXPECT_EQ(PicRecordRefusal(112, 22, 1, 0x800), "");
    EXPECT_NE(PicRecordRefusal(114, 10, 0, 0x1000), "");
    EXPECT_NE(PicRecordRefusal(112, 6, 0, 0x2001), "");
    // Row 113's program words stay below its configuration word FE00h.
    EXPECT_EQ(PicRecordRefusal(113, 8, 1, 0xFE00), "");
    EXPECT_NE(PicRecordRefusal(113, 8, 1, 0xFE01), "");
    EXPECT_NE(PicRecordRefusal(110, PicConfigRecordCount, 0, 512), "");
    EXPECT_EQ(PicRecordRefusal(100, 99, 99, 0), "");
}

} // namespace
