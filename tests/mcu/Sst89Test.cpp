// Row 118 through the operation driver against the simulator's SST89 parts:
// the sample program with block 1, erase and both kinds of protection, the
// flag and re-map steps, and injected faults.
#include "engine/AlgorithmTable.h"
#include "W78Fixture.h"

#include "engine/Operation.h"

namespace {

constexpr uint32_t kSst89Sample = 0x400;

struct SstPart {
    const char* name;
    bool flags; // variant 1
};
const SstPart kSstParts[] = {{"SST89C54", false}, {"SST89C54-PLCC", false}, {"SST89C58", false},
                             {"SST89C58-PLCC", false}, {"SST89E564", true}, {"SST89E564-PLCC", true}};

class SstParts : public W78Run, public ::testing::WithParamInterface<SstPart> {};

TEST_P(SstParts, SampleProgramBlockOneEraseSecureAndAuto) {
    const SstPart p = GetParam();
    sim::Sst89Chip* chip = PutSst(p.name);
    ASSERT_NE(chip, nullptr);
    ExpectIdentity();
    DeviceEnd = kSst89Sample - 1;
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    const std::vector<uint8_t> image = LoadSample(kSst89Sample);
    FillBufferRange(0xF000, 0xFFFF, 0x5A); // block 1; FFFFh is never written
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Cell(0xF000), 0x5A);
    EXPECT_EQ(chip->Cell(0xFFFE), 0x5A);
    EXPECT_EQ(chip->WritesAt(0xFFFF), 0u);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    FillBufferRange(0, 0xFFFF, 0);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < kSst89Sample; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    ExpectSavedAndReloaded(0, image);
    EXPECT_EQ(BufferByte(0xFFFE), 0x5A);
    EXPECT_EQ(BufferByte(0xFFFF), 0x00); // not read

    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Cell(0), 0xFF);
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    if (p.flags) {
        EXPECT_EQ(chip->Flags(), 7u); // "111" at start
    } else {
        EXPECT_EQ(chip->SecurityByte(), 0x55); // hard lock at start
    }
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    for (uint32_t a = 0; a < kSst89Sample; ++a) BufferWindow[a] = image[a];
    EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, SstParts, ::testing::ValuesIn(kSstParts), [](const auto& info) {
    std::string n = info.param.name;
    std::replace(n.begin(), n.end(), '-', '_');
    return n;
});

// Split modes from a buffer start whose lane runs past a bank's end: the
// range's cells hold the lane's bytes on both sides of the bank boundary,
// block 1 holds its lane from F000h x step + lane on, the cells around the
// range stay blank; Verify passes and Read fills the lane bytes alone.
TEST_F(W78Run, Row118SplitModesKeepToTheirLaneAcrossBanks) {
    struct Case {
        uint32_t mode, step, lane, start, end, bufferStart;
    };
    for (const Case c : {Case{2, 2, 1, 0x7F00, 0x7FFF, 0xFF00}, Case{1, 2, 0, 0x7F00, 0x7FFF, 0xFF00},
                         Case{5, 4, 2, 0x3F80, 0x407F, 0xFE00}}) {
        SCOPED_TRACE(c.mode);
        sim::Sst89Chip* chip = PutSst("SST89C58");
        ASSERT_NE(chip, nullptr);
        WordMode = c.mode;
        DeviceStart = c.start;
        DeviceEnd = c.end;
        BufferStart = c.bufferStart;
        const uint32_t block1 = 0xF000 * c.step + c.lane, total = 0x10000 * c.step;
        FillPattern(total, c.mode);
        auto rangeByte = [&](uint32_t a) { return c.bufferStart + (a - c.start) * c.step + c.lane; };
        auto blockByte = [&](uint32_t a) { return block1 + (a - 0xF000) * c.step; };
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t a = c.start; a <= c.end; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(rangeByte(a))) << std::hex << a;
        for (uint32_t a = 0xF000; a <= 0xFFFE; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(blockByte(a))) << std::hex << a;
        EXPECT_EQ(chip->Cell(c.start - 1), 0xFF);
        EXPECT_EQ(chip->Cell(c.end + 1), 0xFF);
        EXPECT_EQ(chip->WritesAt(0xFFFF), 0u);
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        FillBufferRange(0, total - 1, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t b = c.bufferStart - 0x10; b < rangeByte(c.end) + 0x10; ++b) {
            const bool lane = b >= c.bufferStart && b <= rangeByte(c.end) && (b - c.bufferStart) % c.step == c.lane;
            ASSERT_EQ(BufferByte(b), lane ? chip->Cell(c.start + (b - c.bufferStart) / c.step) : 0x5A) << std::hex << b;
        }
        const uint32_t blockBase = block1 - c.lane; // F000h's first byte
        for (uint32_t b = blockBase; b < blockBase + 0xFFF * c.step; ++b) {
            const bool lane = (b - blockBase) % c.step == c.lane;
            ASSERT_EQ(BufferByte(b), lane ? chip->Cell(0xF000 + (b - blockBase) / c.step) : 0x5A) << std::hex << b;
        }
        EXPECT_EQ(BufferByte(blockByte(0xFFFF)), 0x5A); // FFFFh is never read
        EXPECT_EQ(BufferByte(0xF000), 0x5A);
        WordMode = 0;
        ExpectNoViolations();
    }
}

// The protection choices: the byte each variant-0 choice writes, the flags of
// each SFST choice and the bits of each re-map choice.
TEST_F(W78Run, Row118ProtectionSteps) {
    const uint8_t securityBytes[3] = {0x55, 0xF5, 0x05};
    for (int option = 0; option < 3; ++option) {
        sim::Sst89Chip* chip = PutSst("SST89C54");
        ProtectOption = option;
        EXPECT_EQ(AlgorithmTable[118].Secure(), 1);
        EXPECT_EQ(chip->SecurityByte(), securityBytes[option]) << option;
    }
    const uint32_t flags[7] = {0, 1, 3, 5, 2, 4, 7};
    for (int option = 0; option < 7; ++option) {
        sim::Sst89Chip* chip = PutSst("SST89E564");
        SfstOption = option;
        EXPECT_EQ(AlgorithmTable[118].Secure(), 1);
        EXPECT_EQ(chip->Flags(), flags[option]) << option;
    }
    for (int option = 0; option < 4; ++option) {
        sim::Sst89Chip* chip = PutSst("SST89E564");
        RemapOption = option;
        EXPECT_EQ(ProgramRemapBits118(), 1);
        EXPECT_EQ(chip->Remap(), static_cast<uint32_t>(option)) << option;
    }
    ExpectNoViolations();
}

// A ready line that never rises fails the first byte; a wrong identity, a
// user break, and a foreign package that stops before anything is switched.
TEST_F(W78Run, Row118Faults) {
    sim::Sst89Chip* chip = PutSst("SST89C58");
    chip->StickReady();
    FillPattern(0x10);
    DeviceEnd = 0xF;
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(ChipAddrLine(0))) << LogText();
    EXPECT_EQ(Run(OpErase), ResultFailed) << LogText();

    PutSst("SST89C58", [](sim::Sst89Facts& f) { f.deviceCode = 0x99; });
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine("Incorrect device ID.")) << LogText();

    PutSst("SST89C58");
    DeviceEnd = 0x7FFF;
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpBlankCheck), 3) << LogText();
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();

    PutSst("SST89C58");
    DeviceVariant = 2;
    EXPECT_EQ(AlgorithmTable[118].Secure(), -1);
    PackageIndex = 27; // 42-pin DIP
    StartTrace();
    EXPECT_EQ(AlgorithmTable[118].Read(2), -1);
    EXPECT_TRUE(HasLine(" Package of 42 pins not supported (40 or 44 pins).")) << LogText();
    ExpectNoPowerUp();
    EXPECT_TRUE(simp.RegisterTrace().empty()); // nothing switched
}

// Block 1 keeps buffer bytes F000h-FFFEh whatever Buffer Start says: a
// range laid over them from another chip address is refused before
// power-up, naming the place and both addresses; laid just below, it runs
// and block 1 still programs from its own place.
TEST_F(W78Run, Row118RangeOverBlock1sPlaceRefused) {
    sim::Sst89Chip* chip = PutSst("SST89C54");
    ASSERT_NE(chip, nullptr);
    FillPattern(0x20000, 3);
    DeviceStart = 0;
    DeviceEnd = 0x2FF;
    BufferStart = 0xFE80;
    for (const int op : {OpProgram, OpRead}) {
        EXPECT_EQ(Run(op), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine(" Buffer addr 00FE80h is chip addr FE80h's place; the range puts chip addr 0h there."))
            << LogText();
    }
    EXPECT_EQ(chip->Cell(0), 0xFF);
    EXPECT_EQ(chip->Cell(0xF000), 0xFF);
    BufferStart = 0xED00;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a <= 0x2FF; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(0xED00 + a)) << std::hex << a;
    for (uint32_t a = 0xF000; a <= 0xFFFE; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    ExpectNoViolations();
}

// In a split mode block 1 keeps to the run's lane from F000h x step + lane:
// a lane set laid over those bytes from another chip address (the part's
// first 32 KB from buffer byte 10000h) is refused before power-up, in the
// lane the run writes.
TEST_F(W78Run, Row118SplitModeOverBlock1sLaneRefused) {
    sim::Sst89Chip* chip = PutSst("SST89C58");
    ASSERT_NE(chip, nullptr);
    FillPattern(0x20000, 3);
    DeviceStart = 0;
    DeviceEnd = 0x7FFF;
    BufferStart = 0x10000;
    for (const auto& [mode, line] :
         {std::pair{1u, " Buffer addr 01E000h is chip addr F000h's place; the range puts chip addr 7000h there."},
          std::pair{2u, " Buffer addr 01E001h is chip addr F000h's place; the range puts chip addr 7000h there."}}) {
        WordMode = mode;
        for (const int op : {OpProgram, OpRead}) {
            EXPECT_EQ(Run(op), ResultFailed) << LogText();
            EXPECT_EQ(Log(), std::vector<std::string>{line});
        }
    }
    WordMode = 0;
    EXPECT_EQ(chip->Cell(0x7000), 0xFF);
    EXPECT_EQ(chip->Cell(0xF000), 0xFF);
    ExpectNoViolations();
}

} // namespace
