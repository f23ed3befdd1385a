// Row 144 against the catalog's 16-bit word-bus parts: whole runs from a file
// srec_cat wrote, the identity check before every Read and Program, the
// command words by variant, byte-swapped buffers and the words the row
// passes over.
#include <cstdlib>
#include <tuple>

#include "McuFixture.h"

#include "engine/RowDef.h"
#include "sim/WordBusMcuChip.h"

namespace {

class WordBusRun : public McuRun {
  protected:
    // Selects the device and seats its catalog part, its facts changed by
    // `change`.
    sim::WordBusMcuChip* PutWord(const char* name, void (*change)(sim::WordBusMcuFacts&) = nullptr) {
        ClearSocket();
        EXPECT_TRUE(Select("GENERIC-ALGORITHM", name)) << name;
        const sim::WordBusMcuFacts* f = sim::FindFacts<sim::WordBusMcuFacts>("GENERIC-ALGORITHM", name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        sim::WordBusMcuFacts facts = *f;
        if (change != nullptr) change(facts);
        auto chip = std::make_unique<sim::WordBusMcuChip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    static uint16_t WordAt(uint32_t w) {
        return static_cast<uint16_t>(BufferByte(2 * w) | BufferByte(2 * w + 1) << 8);
    }
};

class WordBusParts : public WordBusRun, public ::testing::WithParamInterface<const char*> {};

// The sample program placed at word 1000h by srec_cat: blank check, program,
// verify, read back and save equal, blank check failing; buffer words
// 0-FFFh are never touched by Read; the last word of the variant is the
// last programmed.
TEST_P(WordBusParts, ProgramsSrecFileFromWord1000h) {
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) GTEST_SKIP() << "srec_cat not installed";
    sim::WordBusMcuChip* chip = PutWord(GetParam());
    ASSERT_NE(chip, nullptr);
    const uint32_t last = DeviceEnd;
    const std::string cmd = "srec_cat -disable-sequence-warnings " + ProgramDirectory +
                            "/mcu-sample/blink.ihx -intel -offset 0x2000 -o words.hex -intel";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    FillBufferRange(0, 0xFFFF, 0xFF);
    ASSERT_EQ(LoadHexFamilyFile("words.hex", 0, 0), 1);
    BufferWords[last] = 0x1234;
    std::vector<uint16_t> image(last + 1 - 0x1000);
    for (uint32_t w = 0x1000; w <= last; ++w)
        image[w - 0x1000] = WordAt(w);
    ASSERT_NE(image[0], 0xFFFF);

    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    for (uint32_t w = 0x1000; w <= last; ++w)
        ASSERT_EQ(chip->Cell(w), image[w - 0x1000]) << std::hex << w;
    FillBufferRange(0, 0xFFFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(WordAt(0x0FFF), 0x5A5A);
    EXPECT_EQ(WordAt(0), 0x5A5A);
    ASSERT_EQ(SaveHexFamilyFile("read.hex", 0x2000, 2 * last + 1, HexFormatIntel), 1);
    FillBufferRange(0, 0xFFFF, 0x5A);
    ASSERT_EQ(LoadHexFamilyFile("read.hex", 0, 0), 1);
    for (uint32_t w = 0x1000; w <= last; ++w)
        ASSERT_EQ(WordAt(w), image[w - 0x1000]) << std::hex << w;
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, WordBusParts, ::testing::Values("WORDBUS-V0", "WORDBUS-V4", "WORDBUS-V5"));

// The command words: 0070h, then 0000h/A000h on variant 5 and 2000h/2001h on
// the others; register 12 set to 2; variant 4 ends at word 6FFFh; words
// below 1000h get no strobe.
TEST_F(WordBusRun, CommandWordsByVariantAndRange) {
    struct Case {
        const char* part;
        uint16_t read, program;
        uint32_t last;
    };
    for (const Case& c :
         {Case{"WORDBUS-V5", 0x0000, 0xA000, 0x1FFF}, Case{"WORDBUS-V4", 0x2000, 0x2001, 0x6FFF},
          Case{"WORDBUS-V13", 0x2000, 0x2001, 0x2FFF}}) {
        sim::WordBusMcuChip* chip = PutWord(c.part);
        EXPECT_EQ(DeviceEnd, c.last) << c.part;
        FillBufferRange(0, 0xFFFF, 0xFF);
        BufferWords[0x0800] = 0x0001; // below the memory: never written
        BufferWords[c.last] = 0xA5A5;
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
        StartTrace();
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(chip->Commands(), (std::vector<uint16_t>{0x0070, c.program})) << c.part;
        EXPECT_EQ(chip->Pulses(), c.last + 1 - 0x1000) << c.part;
        EXPECT_EQ(chip->Cell(c.last), 0xA5A5) << c.part;
        bool register12 = false;
        for (const auto& r : simp.RegisterTrace())
            register12 = register12 || (r.write && r.reg == 12 && r.value == 2);
        EXPECT_TRUE(register12) << c.part;
        chip->ClearCounts();
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        EXPECT_EQ(chip->Commands(), (std::vector<uint16_t>{0x0070, c.read, 0x0070, c.read}))
            << c.part; // two levels
    }
    ExpectNoViolations();
}

// A range starting above word 1000h: the part's pointer is strobed up to
// the start (FFFFh words to Program, dropped words to Read), so the range
// lands at its own words, the words before it stay blank, and Verify and
// Read agree.
TEST_F(WordBusRun, RangeAboveTheFirstWordLandsAtItsWords) {
    for (const auto& [part, start, end] : {std::tuple{"WORDBUS-V4", 0x1123u, 0x1421u}, std::tuple{"WORDBUS-V5", 0x1FFFu, 0x1FFFu}}) {
        SCOPED_TRACE(part);
        sim::WordBusMcuChip* chip = PutWord(part);
        const uint32_t last = DeviceEnd;
        FillPattern(0x10000, start);
        std::vector<uint16_t> image(last + 1);
        for (uint32_t w = 0; w <= last; ++w) image[w] = WordAt(w);
        DeviceStart = start;
        DeviceEnd = end;
        BufferStart = start; // the row takes a word at its own address
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t w = 0x1000; w <= last; ++w)
            ASSERT_EQ(chip->Cell(w), w >= start && w <= end ? image[w] : 0xFFFF) << std::hex << w;
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        FillBufferRange(0, 0xFFFF, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t w = 0x1000; w <= last; ++w)
            ASSERT_EQ(WordAt(w), w >= start && w <= end ? image[w] : 0x5A5A) << std::hex << w;
    }
    ExpectNoViolations();
}

// The row takes the buffer word at the chip address itself: a split mode is
// refused before the identity is read, and the buffer stays as it was.
TEST_F(WordBusRun, SplitModeIsRefused) {
    sim::WordBusMcuChip* chip = PutWord("WORDBUS-V5");
    FillPattern(0x4000);
    const uint16_t kept = WordAt(0x1001);
    WordMode = 2;
    for (int op : {OpProgram, OpRead}) {
        EXPECT_EQ(Run(op), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine("Cannot support Split mode!")) << LogText();
    }
    WordMode = 0;
    EXPECT_TRUE(chip->Commands().empty());
    EXPECT_EQ(chip->Pulses(), 0u);
    EXPECT_EQ(WordAt(0x1001), kept);
    ExpectNoViolations();
}

// A wrong identity (another table entry's, or another part answering) and a
// secured part stop every read mode and Program before any address, with
// the row's line, no question and no datum or verify-level line after it:
// nothing was read.
TEST_F(WordBusRun, WrongOrSecuredIdentityStopsEveryEntry) {
    const RowDef* def = RowDefinition(144);
    ASSERT_TRUE(def != nullptr && def->ChecksIdentity != nullptr && def->ChecksIdentity());
    const std::string line = "Incorrect Device ID or Device Is Secured!";
    for (int fault = 0; fault < 3; ++fault) {
        for (int op : {OpBlankCheck, OpRead, OpVerify, OpCompare, OpProgram}) {
            sim::WordBusMcuChip* chip =
                fault == 0 ? PutWord("WORDBUS-V3", [](sim::WordBusMcuFacts& f) { f.identity = 0x87AE; })
                           : PutWord("WORDBUS-V3");
            if (fault == 1) chip->SetSecured(true);
            if (fault == 2) chip->AnswerAnotherIdentity();
            BlankCheckBeforeProgram = 0;
            ui.Boxes.clear();
            EXPECT_EQ(Run(op), ResultFailed) << op << LogText();
            EXPECT_TRUE(HasLine(line)) << op << LogText();
            EXPECT_EQ(IdentityRefusalLine(), line) << op;
            EXPECT_TRUE(ui.Boxes.empty()) << op;
            EXPECT_EQ(DatumLines(), "") << op << LogText();
            EXPECT_EQ(chip->Commands(), (std::vector<uint16_t>{0x0070})) << op;
            EXPECT_EQ(chip->Pulses(), 0u) << op;
        }
    }
    ExpectNoViolations();
}

// With ByteSwap on, Program writes each word as Read and Verify compare it:
// Verify passes after a good Program and Read returns the buffer as it was.
TEST_F(WordBusRun, ByteSwapProgramsWhatVerifyAndReadExpect) {
    sim::WordBusMcuChip* chip = PutWord("WORDBUS-V5");
    ByteSwap = 1;
    FillBufferRange(0, 0xFFFF, 0xFF);
    for (uint32_t w = 0x1000; w < 0x1010; ++w)
        BufferWords[w] = static_cast<uint16_t>(0x1200 + w);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Verification ok!")) << LogText();
    EXPECT_EQ(chip->Cell(0x1000), 0x0022); // 1200h + 1000h = 2200h, swapped
    FillBufferRange(0, 0xFFFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t w = 0x1000; w < 0x1010; ++w)
        EXPECT_EQ(BufferWords[w], static_cast<uint16_t>(0x1200 + w)) << w;
    ByteSwap = 0;
    ExpectNoViolations();
}

// A word that never programs: Program reports nothing (it reads nothing
// back), the verify after it fails at the word; a user break.
TEST_F(WordBusRun, StuckWordFailsVerifyAndBreakStops) {
    sim::WordBusMcuChip* chip = PutWord("WORDBUS-V5");
    chip->StickWord(0x1003);
    FillBufferRange(0, 0xFFFF, 0x00);
    VerifyAfterProgram = 1;
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(ChipAddrLine(0x1003))) << LogText();

    PutWord("WORDBUS-V4");
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    FillBufferRange(0, 0xFFFF, 0x11);
    EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    ExpectNoViolations();
}

// The librarian's limits: 15 identities, 3 pin layouts.
TEST_F(WordBusRun, Row144RefusesRecordsPastItsTables) {
    const RowDef* def = RowDefinition(144);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(RowRecordRefusal(*def, {.Variant = 14, .SubVariant = 2}), "");
    EXPECT_NE(RowRecordRefusal(*def, {.Variant = 15}), "");
    EXPECT_NE(RowRecordRefusal(*def, {.SubVariant = 3}), "");
    EXPECT_EQ(AlgorithmRow(144)->Options(), 1);
}

} // namespace
