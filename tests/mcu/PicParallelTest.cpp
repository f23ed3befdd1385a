// The word-bus PIC rows (110: PIC16C5x, 113: PIC17C4x) end to end against
// the simulator's parts: a gpasm program with its configuration through
// Auto, read back with the configuration logged, Intel hex round trip; the
// retries, Chip Start, byte swap, protection and faults; the configuration
// routines, checksum and hex record of row 113, and row 113's mode pins.
#include <cstdlib>

#include "PicFixture.h"

#include "engine/HexFiles.h"
#include "engine/Pins.h"
#include "mcu/Pic.h"

namespace {

// ---- gpasm program through both rows ---------------------------------------------------

struct Part {
    const char* name;
    const char* processor; // gpasm's name
    uint32_t config;       // __CONFIG value
    const char* oscillator; // the logged line of field 0
    const char* symbols = nullptr; // __CONFIG as the header's symbols for config
};

class ParallelGpasm : public PicRun, public ::testing::WithParamInterface<Part> {};

TEST_P(ParallelGpasm, AutoReadBackAndHexRoundTrip) {
    const Part c = GetParam();
    sim::PicParallelChip* chip = SelectAndSeatParallelPic(c.name);
    ASSERT_NE(chip, nullptr);
    const bool sixteen = CurrentAlgorithm == 113;
    const uint32_t mask = sixteen ? 0xFFFF : 0xFFF;
    // The 12-bit parts' ID words follow the last program word: their whole
    // range; the 16-bit parts over their first 256 words.
    if (sixteen) DeviceEnd = std::min<uint32_t>(DeviceEnd, 255);
    {
        std::ofstream a("p.asm");
        a << "  list p=" << c.processor << "\n";
        if (c.symbols != nullptr) {
            a << "#include <p" << c.processor << ".inc>\n  __CONFIG " << c.symbols << "\n";
        } else {
            a << "  __CONFIG 0x" << std::hex << c.config << "\n";
        }
        if (!sixteen) a << "  __IDLOCS 0x1234\n";
        a << "  org 0\nstart\n  movlw 0x5A\n  goto start\n  end\n";
    }
    ASSERT_EQ(std::system("gpasm -q -a inhx32 -o p.hex p.asm > gpasm.log 2>&1"), 0) << ReadText("gpasm.log");
    ClearWords();
    for (uint32_t i = 0; i <= DeviceEnd + 4; ++i) BufferWords[i] = static_cast<uint16_t>(mask);
    LoadToolHexFile("p.hex"); // written by gpasm
    if (HasFatalFailure()) return;
    std::vector<uint16_t> source(BufferWords, BufferWords + 0x8000);
    SelectBank(0x10000, 1);
    const uint16_t config = sixteen ? BufferWords[0x7E00] : source[0xFFF];
    SelectBank(0, 1);
    ASSERT_EQ(config, c.config);
    // The parts read their unimplemented configuration bits as 1, as the
    // values above hold them: the whole word goes round. PM2:PM0 all 0 is the
    // 16-bit parts' code-protected microcontroller mode.
    const uint32_t keep = mask;
    const bool protects = sixteen && (c.config & 0x8050) == 0;

    EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Configuration Fuse Program ok!")) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!")) << LogText();
    ExpectNoViolations();
    for (uint32_t a = 0; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Word(a), source[a] & mask) << a;
    EXPECT_EQ(chip->Config() & keep, config & keep);
    EXPECT_EQ(chip->Protected(), protects);
    for (uint32_t i = 0; i < 4 && !sixteen; ++i) EXPECT_EQ(chip->Id(static_cast<int>(i)) & 15, source[DeviceEnd + 1 + i] & 15u);

    ClearWords();
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(std::string("Oscillator: ") + c.oscillator)) << LogText();
    EXPECT_EQ(HasLine("Custmer ID: \x21\x43"), !sixteen) << LogText(); // __IDLOCS 1234h: nibbles 1, 2, 3, 4
    EXPECT_EQ(HasLine(PicCodeProtectedLine), protects) << LogText();
    EXPECT_EQ(CurrentBank, 0u);
    ASSERT_EQ(SaveHexFamilyFile("read.hex", 0, DeviceEnd * 2 + 1, HexFormatIntel), 1);
    ClearWords();
    ASSERT_EQ(LoadHexFamilyFile("read.hex", 0, 0), 1);
    SelectBank(0, 1);
    // A protected part's words read scrambled: only its configuration goes round.
    for (uint32_t a = 0; a <= DeviceEnd && !protects; ++a) ASSERT_EQ(BufferWords[a], source[a] & mask) << a;
    if (sixteen) {
        SelectBank(0x10000, 1);
        EXPECT_EQ(BufferWords[0x7E00] & keep, config & keep);
        SelectBank(0, 1);
    } else {
        EXPECT_EQ(BufferWords[0xFFF] & keep, config & keep);
        for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(BufferWords[DeviceEnd + 1 + i] & 15, source[DeviceEnd + 1 + i] & 15u);
    }
    if (!protects) { EXPECT_EQ(Run(OpCompare), ResultOk) << LogText(); }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, ParallelGpasm,
                         ::testing::Values(Part{"PIC16C54", "16c54", 0xFFA, "HS-High Speed Crystal"},
                                           Part{"PIC16C57", "16c57", 0xFF9, "XT-Standard Crystal"},
                                           Part{"PIC17C42A", "17c42a", 0xFFEE, "XT oscillator"},
                                           Part{"PIC17C44", "17c44", 0xFFED, "RC oscillator"},
                                           Part{"PIC17C44", "17c44", 0x7FA2, "XT oscillator",
                                                "_PMC_MODE & _XT_OSC & _WDT_OFF"}),
                         [](const auto& info) {
                             return std::string(info.param.name) + (info.param.symbols != nullptr ? "Protected" : "");
                         });

// ---- row behaviour ------------------------------------------------------------------------

TEST_F(PicRun, VppMissingProtectionAndUserBreak) {
    // Programming voltage missing; protection on: the words program, then
    // read scrambled, and Verify and Read say the part is protected; a user break (Read mode 2 still logs the configuration
    // and leaves bank 0).
    for (const char* part : {"PIC16C71", "PIC16C54", "PIC17C42A"}) {
        SCOPED_TRACE(part);
        simp.ClearViolations();
        ReseatAnyPic(part, [&](auto* chip) {
            const uint32_t mask = RowBlank();
            // The 12-bit part's ID words follow its last program word: whole range.
            const uint32_t end = DeviceEnd;
            if (CurrentAlgorithm != 110) DeviceEnd = 63;
            ClearWords();
            for (uint32_t i = 0; i <= DeviceEnd; ++i) BufferWords[i] = static_cast<uint16_t>(mask);
            FillWords(64, mask);
            const uint32_t vpp = Vpp;
            Vpp = 0;
            EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
            EXPECT_TRUE(HasLine("Program error!")) << LogText();
            EXPECT_FALSE(chip->InMode());
            EXPECT_EQ(chip->Pulses(), 0u);
            Vpp = vpp;

            SelectBank(0x10000, 1);
            BufferWords[0x7E00] = 0x0000; // row 113: code-protected microcontroller mode
            SelectBank(0, 1);
            BufferWords[0xFFF] = 0x0F7;   // row 110: CP on
            BufferWords[0x2007] = 0x0005; // row 111: CP on
            EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
            EXPECT_EQ(ProgramPicConfigFromBuffer(), 1) << LogText();
            EXPECT_TRUE(chip->Protected());
            EXPECT_EQ(Run(OpVerify), ResultFailed);
            EXPECT_TRUE(HasLine(PicCodeProtectedLine)) << LogText();

            DeviceEnd = end;
            ui.BreakAtPercent = 30;
            ui.QueueAnswer(UiAnswer::No);
            EXPECT_EQ(Run(OpRead), ResultUserBreak) << LogText();
            EXPECT_TRUE(LogHas("Oscillator: ")) << LogText();
            EXPECT_TRUE(HasLine(PicCodeProtectedLine)) << LogText();
            EXPECT_EQ(CurrentBank, 0u);
        });
    }
}

TEST_F(PicRun, Row110OtpNameComparesTwelveBits) {
    // A part whose upper configuration bits were programmed 0 earlier: only
    // an "OTP" device name makes the configuration compare see them.
    for (const bool otp : {false, true}) {
        ClearSocket();
        EXPECT_TRUE(Select("MICROCHIP", "PIC16C54"));
        SeatParallelPic("PIC16C54", [](sim::PicFacts& f) { f.configMask = 0xFFF; });
        PrepareDialog();
        DeviceVariant = 1;
        PicConfigWord = 0x003; // CP on: only the low 4 bits go out, the rest 0
        ASSERT_EQ(ProgramPicConfig110(), 1);
        DeviceVariant = 0;
        if (otp) CurrentDeviceName += " OTP";
        EXPECT_EQ(ProgramPicConfig110(), otp ? -1 : 1) << otp;
    }
}

TEST_F(PicRun, Row113ConfigurationLocations) {
    // Only the locations whose bits are 0 are programmed; FFFFh programs none
    // and compares equal; PM2 follows PM1:PM0 both 0 on variant 1.
    struct Case {
        uint32_t config, locations;
    };
    for (const Case k : {Case{0xFFFF, 0}, Case{0xFFEE, 0x11}, Case{0xFFAC, 0x8053}}) {
        sim::PicParallelChip* chip = ReseatParallelPic("PIC17C44");
        PrepareDialog();
        PicConfigWord = k.config;
        EXPECT_EQ(ProgramPicConfig113(), 1) << std::hex << k.config;
        EXPECT_EQ(chip->ConfigLocationsProgrammed(), k.locations) << std::hex << k.config;
        ExpectNoViolations();
    }
}

// Row 113 steps its program words by the split step; its configuration
// word keeps buffer word FE00h. A lane set of the whole part from word C000h
// covers that word, from the run's lane or another's, and is refused before
// power-up for Program and Read; a lane set below it programs the lane's
// words and Read fills the lane and leaves the words between.
TEST_F(PicRun, Row113SplitModesKeepOffTheConfigurationWord) {
    sim::PicParallelChip* chip = ReseatParallelPic("PIC17C44");
    ASSERT_NE(chip, nullptr);
    ASSERT_EQ(DeviceEnd, 0x1FFFu);
    const std::string place = " Buffer addr 01FC00h is chip addr FE00h's place; ";
    for (const auto& [mode, line] : {std::pair{1u, "the range puts chip addr 1F00h there."},
                                     std::pair{2u, "another lane puts chip addr 1F00h there."}}) {
        SCOPED_TRACE(mode);
        WordMode = mode;
        BufferStart = 0xC000;
        for (const int op : {OpProgram, OpRead}) {
            EXPECT_EQ(Run(op), ResultFailed);
            EXPECT_EQ(Log(), std::vector<std::string>{place + line});
        }
        EXPECT_EQ(chip->Word(0x1F00), 0xFFFFu);
    }
    WordMode = 2;
    BufferStart = 0;
    DeviceEnd = 0xFF;
    for (uint32_t w = 0; w < 0x200; ++w) BufferWords[w] = static_cast<uint16_t>(w * 0x0101 + 3);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a <= 0xFF; ++a)
        ASSERT_EQ(chip->Word(a), static_cast<uint16_t>((2 * a + 1) * 0x0101u + 3)) << std::hex << a;
    for (uint32_t w = 0; w < 0x200; ++w) BufferWords[w] = 0x5A5A;
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t w = 0; w < 0x200; ++w)
        ASSERT_EQ(BufferWords[w], w % 2 == 1 ? chip->Word(w / 2) : 0x5A5Au) << std::hex << w;
    WordMode = 0;
    ExpectNoViolations();
}

TEST_F(PicRun, Row113ChecksumAndHexRecord) {
    ClearWords();
    CurrentAlgorithm = 113;
    DeviceEnd = 1;
    BufferWords[0] = 0x1234;
    BufferWords[1] = 0xF000;
    SelectBank(0x10000, 1);
    BufferWords[0x7E00] = 0xFFF5;
    SelectBank(0, 1);
    for (const uint32_t variant : {0u, 1u}) {
        DeviceVariant = static_cast<uint8_t>(variant);
        EXPECT_EQ(ComputeChecksum113(), 0x1234u + 0xF000u + (variant == 0 ? 0xFFF5u : 0x155u)) << variant;
        EXPECT_EQ(CurrentBank, 0u);
    }
    std::string out;
    WritePicConfigHex113(out);
    EXPECT_EQ(out.substr(0, 17), ":020000021000EC\r\n");
    EXPECT_EQ(out.substr(17, 9), ":02FC0000");
    EXPECT_EQ(out.substr(26, 4), "F5FF");
    EXPECT_EQ(CurrentBank, 0u);
}

// Records the programmer's levels on row 113's mode pins and the high byte
// of the bus as MCLR rises, and nothing else.
class ModePinWatch : public sim::ChipModel {
public:
    std::string Name() const override { return "mode pin watch"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const sim::PinEnvironment& env) override {
        const bool up = env.VoltageTenths(36) >= 40;
        if (up && !up_) {
            for (int p : {23, 26, 27, 28, 31}) levels.push_back(env.VoltageTenths(p) >= 20 ? 1 : 0);
            code = 0;
            for (int i = 0; i < 8; ++i) code |= static_cast<uint32_t>(env.InputLevel(15 + i)) << i;
        }
        up_ = up;
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }
    std::vector<int> levels;
    uint32_t code = 0;

private:
    std::vector<int> pins_ = sim::DipSocketPins(40);
    bool up_ = false;
};

TEST_F(PicRun, Row113ModePinsAndEntryCode) {
    EXPECT_TRUE(Select("MICROCHIP", "PIC17C42A"));
    ModePinWatch* watch = socket->Insert(std::make_unique<ModePinWatch>());
    DeviceEnd = 3;
    Run(OpBlankCheck);
    EXPECT_EQ(watch->levels, (std::vector<int>{0, 1, 0, 0, 1}));
    EXPECT_EQ(watch->code, 0xE1u);
}

} // namespace
