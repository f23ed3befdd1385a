// Row 128 through the operation driver against the simulator's T89C51RD2:
// page writes inside unlocked sequences, the signature area copied by a
// read, erase restoring the signature page, the HSB levels and the dialog's
// HSB routines, the page checks and injected faults.
#include "W78Fixture.h"

#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Operation.h"
#include "mcu/T89C51RD2.h"
#include "sim/PageRd2Chip.h"

namespace {

constexpr uint32_t kRd2Sample = 0x400;

class Rd2Run : public W78Run {
protected:
    void SetUp() override {
        W78Run::SetUp();
        ResetT89C51RD2State();
    }
    sim::PageRd2Chip* PutRd2(const char* name, void (*change)(sim::PageRd2Facts&) = nullptr) {
        return PutPart<sim::PageRd2Chip>("TEMIC", name, change);
    }
};

class Rd2Parts : public Rd2Run, public ::testing::WithParamInterface<const char*> {};

TEST_P(Rd2Parts, SampleProgramSignatureAreaEraseAndHsbLevels) {
    sim::PageRd2Chip* chip = PutRd2(GetParam());
    ASSERT_NE(chip, nullptr);
    DeviceEnd = kRd2Sample - 1;
    const std::vector<uint8_t> image = LoadSample(kRd2Sample);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    chip->ClearCounts();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    // One unlocked sequence, a write per page, then the closing strobe.
    EXPECT_EQ(chip->Unlocks(), 1u);
    EXPECT_EQ(chip->Closings(), 1u);
    EXPECT_EQ(chip->PageWrites(), (std::vector<uint32_t>{0, 0x80, 0x100, 0x180, 0x200, 0x280, 0x300, 0x380}));
    // The verify leaves the buffer as it was: nothing of the signature area
    // lands at 10000h, past Buffer End.
    FillBufferRange(0x10000, 0x1007F, 0x5A);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    for (uint32_t a = 0x10000; a <= 0x1007F; ++a) ASSERT_EQ(BufferByte(a), 0x5A) << std::hex << a;
    FillBufferRange(0, kRd2Sample - 1, 0);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < kRd2Sample; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    for (uint32_t a = 0; a < kRd2Sample; ++a) ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;

    // Erase, then the identity reads as before.
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Cell(0), 0xFF);
    EXPECT_EQ(chip->Erases(), 1u);
    EXPECT_EQ(AlgorithmTable[128].Identify(), 1);
    EXPECT_EQ(ChipMakerId, 0x58u);
    EXPECT_EQ(ChipDeviceId, 0xD7u);
    EXPECT_EQ(chip->SignatureByte(0x60), 0xFC);

    // Each level lands its HSB; from level 2 on the chip takes no page.
    const uint8_t hsb[4] = {0xFF, 0xFE, 0xFC, 0xF8};
    for (int level = 0; level < 4; ++level) {
        SCOPED_TRACE(level);
        HsbLockLevel128 = level;
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        EXPECT_EQ(chip->Hsb(), hsb[level]);
        FillBufferRange(0, kRd2Sample - 1, 0x24);
        EXPECT_EQ(Run(OpProgram), level == 0 ? ResultOk : ResultFailed) << LogText();
        EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
        EXPECT_EQ(chip->Hsb(), 0xFF);
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, Rd2Parts, ::testing::Values("T89C51RD2", "T89C51RD2-PLCC"), [](const auto& info) {
    std::string n = info.param;
    std::replace(n.begin(), n.end(), '-', '_');
    return n;
});

// Split modes: each page is loaded from the mode's own lane and checked
// against that lane, on the part's cells, and the next page follows on the
// same lane.
TEST_F(Rd2Run, SplitModesProgramTheirOwnLane) {
    struct Case {
        uint32_t mode, step, lane;
    };
    for (const Case c : {Case{2, 2, 1}, Case{1, 2, 0}, Case{5, 4, 2}}) {
        SCOPED_TRACE(c.mode);
        sim::PageRd2Chip* chip = PutRd2("T89C51RD2");
        WordMode = c.mode;
        DeviceEnd = 0x17F; // three pages
        FillPattern(0x800, c.mode);
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t a = 0; a <= 0x17F; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(c.step * a + c.lane)) << std::hex << a;
        EXPECT_EQ(chip->Cell(0x180), 0xFF);
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        // Another lane's byte changed does not matter; the lane's own does.
        BufferWindow[c.step * 0x101 + (c.lane + 1) % c.step] ^= 0xFF;
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        BufferWindow[c.step * 0x101 + c.lane] ^= 0xFF;
        EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
        WordMode = 0;
        ExpectNoViolations();
    }
}

// A lane crossing the buffer's first bank end (chip 8000h at buffer
// 10000h): the blank check before Program and the verify after it leave the
// lane's data there, so the part's cells take the file's bytes; Read fills
// the lane's bytes alone, the other lane's untouched.
TEST_F(Rd2Run, LaneAcrossTheBufferBankKeepsItsData) {
    sim::PageRd2Chip* chip = PutRd2("T89C51RD2");
    WordMode = 1; // chip address a at buffer byte 2a
    DeviceStart = 0x7F00;
    DeviceEnd = 0x80FF;
    BufferStart = 0xFE00;
    FillPattern(0x20200, 11);
    std::vector<uint8_t> image(0x200);
    for (uint32_t a = 0; a < 0x200; ++a) image[a] = BufferByte(2 * (0x7F00 + a));
    BlankCheckBeforeProgram = 1;
    ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x200; ++a) ASSERT_EQ(chip->Cell(0x7F00 + a), image[a]) << std::hex << 0x7F00 + a;
    FillBufferRange(0, 0x201FF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t b = 0; b <= 0x201FF; ++b) {
        const bool lane = b % 2 == 0 && b / 2 >= 0x7F00 && b / 2 <= 0x80FF;
        ASSERT_EQ(BufferByte(b), lane ? image[b / 2 - 0x7F00] : 0x5A) << std::hex << b;
    }
    WordMode = 0;
    ExpectNoViolations();
}

// A range that starts or ends inside a page: each page write carries only
// the range's bytes of its page, so every cell outside the range stays
// blank and no load crosses a page; Verify passes and Read fills the
// range's buffer bytes alone.
TEST_F(Rd2Run, RangeInsidePagesWritesOnlyItsBytes) {
    struct Case {
        uint32_t start, end, bufferStart;
        std::vector<uint32_t> pages;
    };
    const Case cases[] = {
        {0x123, 0x421, 0x123, {0x123, 0x180, 0x200, 0x280, 0x300, 0x380, 0x400}},
        {0x17F, 0x180, 0, {0x17F, 0x180}},
        {0x1234, 0x12FF, 0x1234, {0x1234, 0x1280}},
        {0x1200, 0x1233, 0x1200, {0x1200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        sim::PageRd2Chip* chip = PutRd2("T89C51RD2");
        const uint32_t n = c.end - c.start + 1;
        FillPattern(c.bufferStart + n + 0x10, c.start);
        DeviceStart = c.start;
        DeviceEnd = c.end;
        BufferStart = c.bufferStart;
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        chip->ClearCounts();
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(chip->PageWrites(), c.pages);
        for (uint32_t a = c.start & ~0x7Fu; a < ((c.end + 0x80) & ~0x7Fu); ++a) {
            const bool in = a >= c.start && a <= c.end;
            ASSERT_EQ(chip->Cell(a), in ? BufferByte(c.bufferStart + a - c.start) : 0xFF) << std::hex << a;
        }
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        std::vector<uint8_t> image(n);
        for (uint32_t i = 0; i < n; ++i) image[i] = BufferByte(c.bufferStart + i);
        const uint32_t from = c.bufferStart > 0 ? c.bufferStart - 1 : 0;
        FillBufferRange(from, c.bufferStart + n, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(BufferByte(c.bufferStart + i), image[i]) << std::hex << i;
        EXPECT_EQ(BufferByte(from), c.bufferStart > 0 ? 0x5A : image[0]);
        EXPECT_EQ(BufferByte(c.bufferStart + n), 0x5A);
        ExpectNoViolations();
    }
}

// A page never ready fails at its first address; Page 0 and 300 are refused
// before power-up; a wrong identity; a user break.
TEST_F(Rd2Run, FaultsAndPageChecks) {
    sim::PageRd2Chip* chip = PutRd2("T89C51RD2");
    FillPattern(0x200);
    DeviceEnd = 0x1FF;
    chip->StickCell(0x95);
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_EQ(ChipAddress, 0x80u);

    chip = PutRd2("T89C51RD2");
    chip->StickReady();
    DeviceEnd = 0x1FF;
    EXPECT_EQ(AlgorithmTable[128].Program(), -1);
    EXPECT_EQ(ChipAddress, 0u);
    EXPECT_EQ(chip->PageWrites().size(), 1u);

    struct Case {
        uint32_t page, start, end;
        const char* line;
    };
    const Case cases[] = {
        {0, 0, 0xFF, " Page size 0 not supported (1 to 256 bytes)."},
        {300, 0, 0xFF, " Page size 300 not supported (1 to 256 bytes)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        PutRd2("T89C51RD2");
        PageSize = c.page;
        DeviceStart = BufferStart = c.start;
        DeviceEnd = c.end;
        StartTrace();
        EXPECT_EQ(AlgorithmTable[128].Program(), -1);
        EXPECT_TRUE(HasLine(c.line)) << LogText();
        ExpectNoPowerUp();
    }
    PutRd2("T89C51RD2");
    PageSize = 0;
    StartTrace();
    EXPECT_EQ(AlgorithmTable[128].Erase(), -1);
    ExpectNoPowerUp();

    PutRd2("T89C51RD2", [](sim::PageRd2Facts& f) { f.deviceCode = 0x99; });
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine("Incorrect device ID.")) << LogText();

    PutRd2("T89C51RD2");
    DeviceEnd = 0x7FF;
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpBlankCheck), 3) << LogText();
    ExpectNoViolations();
}

// The HSB the settings compose, the levels a read finds, level 0 writing
// FFh, and a page of 64 leaving 60h and 61h unwritten by Erase.
TEST_F(Rd2Run, HsbRoutinesAndShortSignaturePage) {
    sim::PageRd2Chip* chip = PutRd2("T89C51RD2");
    HsbLockLevel128 = 2;
    HsbBllb128 = 0;
    HsbBljb128 = 1;
    HsbSb128 = 1;
    EXPECT_EQ(ComposeHsb128(), 0xDC);
    EXPECT_EQ(ProgramHsb128(), 1);
    EXPECT_EQ(chip->Hsb(), 0xDC);
    EXPECT_TRUE(HasLine("Hardware Security Byte(HSB) Program ok!")) << LogText();
    ASSERT_FALSE(tones.empty());

    struct Case {
        uint8_t hsb;
        int level, bllb, bljb, sb;
    };
    const Case cases[] = {{0xFF, 0, 1, 1, 1}, {0xFE, 1, 1, 1, 1}, {0x7D, 2, 1, 1, 0}, {0xFA, 3, 1, 1, 1},
                          {0x9B, 3, 0, 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.hsb));
        chip->SetHsb(c.hsb);
        EXPECT_EQ(ReadHsb128(), 1);
        EXPECT_EQ(HsbLockLevel128, c.level);
        EXPECT_EQ(HsbBllb128, c.bllb);
        EXPECT_EQ(HsbBljb128, c.bljb);
        EXPECT_EQ(HsbSb128, c.sb);
    }
    EXPECT_TRUE(HasLine("Hardware Security Byte(HSB) Read ok!")) << LogText();

    chip = PutRd2("T89C51RD2");
    HsbLockLevel128 = 0;
    EXPECT_EQ(AlgorithmTable[128].Secure(), 1);
    EXPECT_EQ(chip->Hsb(), 0xFF);

    chip = PutRd2("T89C51RD2");
    PageSize = 64;
    EXPECT_EQ(AlgorithmTable[128].Erase(), 1);
    EXPECT_EQ(chip->SignatureByte(0x30), 0x58);
    EXPECT_EQ(chip->SignatureByte(0x31), 0xD7);
    EXPECT_EQ(chip->SignatureByte(0x60), 0xFF);
    ExpectNoViolations();
}

// The dialog's HSB routines read the HSB back: one that does not take is an
// error, bits programmed before are no error; a package without a layout
// writes and reads nothing and says so, the settings kept.
TEST_F(Rd2Run, DialogHsbProgramReadsBackAndPackageWithoutLayoutWritesNothing) {
    sim::PageRd2Chip* chip = PutRd2("T89C51RD2");
    ASSERT_NE(chip, nullptr);
    chip->StickHsb();
    HsbLockLevel128 = 2;
    HsbBllb128 = 0;
    EXPECT_EQ(ProgramHsb128(), -1);
    EXPECT_EQ(chip->Hsb(), 0xFF);
    EXPECT_TRUE(HasLine("Hardware Security Byte(HSB) Program error!")) << LogText();
    EXPECT_TRUE(HasLine(" HSB written DCh, read back FFh.")) << LogText();
    EXPECT_FALSE(HasLine("Hardware Security Byte(HSB) Program ok!")) << LogText();

    chip = PutRd2("T89C51RD2");
    chip->SetHsb(0xD8);
    HsbLockLevel128 = 1;
    HsbBllb128 = 1;
    EXPECT_EQ(ProgramHsb128(), 1) << LogText();
    EXPECT_EQ(chip->Hsb(), 0xD8);
    EXPECT_TRUE(HasLine("Hardware Security Byte(HSB) Program ok!")) << LogText();

    chip = PutRd2("T89C51RD2");
    PackageIndex = 27; // 42-pin DIP
    const size_t from = Log().size();
    EXPECT_EQ(ProgramHsb128(), -1);
    EXPECT_EQ(chip->Hsb(), 0xFF);
    EXPECT_TRUE(HasLine("Hardware Security Byte(HSB) not written!")) << LogText();
    chip->SetHsb(0xF8);
    HsbLockLevel128 = 1;
    EXPECT_EQ(ReadHsb128(), -1);
    EXPECT_EQ(HsbLockLevel128, 1);
    EXPECT_TRUE(HasLine("Hardware Security Byte(HSB) not read!")) << LogText();
    const auto log = Log();
    for (size_t i = from; i < log.size(); ++i) EXPECT_EQ(log[i].find("ok!"), std::string::npos) << log[i];
    ExpectNoViolations();
}

// Secure reads the HSB back: one that does not take fails. At level 2 (lock
// bit 1) the part still reads; at levels 3 and 4 Read, Blank check and
// Verify end after the secured line (no fail-address line showing the HSB
// or a computed address, no verify level's line), the buffer untouched,
// while Erase still runs and the part reads again after it.
TEST_F(Rd2Run, SecuredLevelsEndReadsAndSecureChecksTheHsb) {
    sim::PageRd2Chip* chip = PutRd2("T89C51RD2");
    ASSERT_NE(chip, nullptr);
    chip->StickHsb();
    HsbLockLevel128 = 1;
    EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine("Security error!")) << LogText();

    const char* lines[4] = {"", "", " Device secured!(Level 3)", " Device secured!(Level 4)"};
    for (int level = 1; level < 4; ++level) {
        SCOPED_TRACE(level);
        chip = PutRd2("T89C51RD2");
        DeviceEnd = kRd2Sample - 1;
        const std::vector<uint8_t> image = LoadSample(kRd2Sample);
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        HsbLockLevel128 = level;
        ASSERT_EQ(Run(OpSecurity), ResultOk) << LogText();
        if (level == 1) {
            FillBufferRange(0, kRd2Sample - 1, 0x5A);
            EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
            for (uint32_t a = 0; a < kRd2Sample; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
            continue;
        }
        for (int op : {OpRead, OpBlankCheck, OpVerify}) {
            SCOPED_TRACE(op);
            FillBufferRange(0, kRd2Sample - 1, 0x5A);
            EXPECT_EQ(Run(op), ResultFailed) << LogText();
            EXPECT_TRUE(HasLine(lines[level])) << LogText();
            for (const std::string& l : Log()) {
                EXPECT_EQ(l.find("ok!"), std::string::npos) << l;
                EXPECT_EQ(l.find("addr:"), std::string::npos) << l;
                EXPECT_NE(l.rfind(" VCCL", 0), 0u) << l;
            }
            for (uint32_t a = 0; a < kRd2Sample; ++a) ASSERT_EQ(BufferByte(a), 0x5A) << std::hex << a;
        }
        EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
        EXPECT_EQ(chip->Hsb(), 0xFF);
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    }
    ExpectNoViolations();
}

} // namespace
