// Rows 150 and 151 against the simulator's option-area parts: a file srec_cat
// wrote through blank check, program, verify, read, save and compare; the
// rows' checksums; the layout examples; injected faults, user breaks and the
// register traffic.
#include "McuFixture.h"

#include <cstdlib>

#include "mcu/AreaBusMcu.h"
#include "sim/RegisterMcuBus.h"
#include "sim/OptionAreaChip.h"

namespace {

constexpr const char* kOptMaker = "GENERIC-ALGORITHM";

bool OptHaveSrecCat() { return std::system("command -v srec_cat >/dev/null 2>&1") == 0; }

// Where a part keeps its areas in the buffer.
struct OptLayout {
    bool wide;         // row 151: 64 KB code, option areas in bank 1
    uint32_t options;  // buffer address of the option rows
    uint32_t rows;
    uint32_t wideBytes; // bytes of a row with 3-bit cells
    uint32_t groupA, groupACount, groupB;
};
OptLayout LayoutOf(bool wide) {
    if (wide) return {true, 0x10000, 32, 9, 0x10260, 6, 0x10250};
    return {false, 0x8040, 24, 8, 0x81E0, 5, 0x81D0};
}

// The masks of group B's bytes as the part keeps them (what reads back).
uint8_t GroupBKept(bool wide, int variant, uint32_t i) {
    if (i == 2) return 0x0B;
    if (i == 3) return wide ? 7 : 5;
    if (wide) return i == 0 && variant == 1 ? 0x0D : 0x0F;
    return i == 0 && variant == 1 ? 5 : 7;
}

class OptionAreaRun : public McuRun {
protected:
    void SetUp() override {
        McuRun::SetUp();
        ResetOptionAreaState();
        sim::RegisterRegisterMcuBusPersonality();
    }

    sim::OptionAreaChip* Put(const std::string& name) {
        ClearSocket();
        EXPECT_TRUE(Select(kOptMaker, name)) << name;
        const auto* f = sim::FindFacts<sim::OptionAreaFacts>(kOptMaker, name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        auto chip = std::make_unique<sim::OptionAreaChip>(*f);
        elec->DeclareChip(chip->Limits());
        return static_cast<sim::OptionAreaChip*>(socket->Insert(std::move(chip)));
    }

    // Every byte of the areas from a pattern, only the bits the part keeps;
    // the rest of the buffer FFh.
    static void FillAreas(bool wide, int variant, uint32_t seed) {
        const OptLayout l = LayoutOf(wide);
        FillBufferRange(0, wide ? 0x1FFFF : 0xFFFF, 0xFF);
        uint32_t x = seed * 2654435761u + 7;
        auto next = [&x] { return static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16); };
        auto put = [](uint32_t a, uint8_t v) {
            SelectBank(a & ~0xFFFFu, 1);
            BufferWindow[a & 0xFFFF] = v;
        };
        for (uint32_t a = 0; a < (wide ? 0x10000u : 0x8000u); ++a) put(a, next());
        for (uint32_t i = 0; i < l.rows * 16; ++i) put(l.options + i, next() & ((i & 15) < l.wideBytes ? 7 : 3));
        for (uint32_t i = 0; i < l.groupACount; ++i) put(l.groupA + i, i < 4 ? next() : next() & 7);
        for (uint32_t i = 0; i < 4; ++i) {
            uint8_t v = next() & GroupBKept(wide, variant, i);
            if (i == 3) v = wide ? (v | 2) : (v & 5); // the security bit stays unprogrammed
            put(l.groupB + i, v);
        }
        SelectBank(0, 0);
    }

    std::string FailLine(uint32_t chip) const {
        char t[40];
        std::snprintf(t, sizeof t, "  Chip addr: %06Xh", chip);
        return t;
    }
    bool HasLineStarting(const std::string& start) const {
        for (const auto& l : ui.Log) {
            if (l.rfind(start, 0) == 0) return true;
        }
        return false;
    }
    void ExpectPoweredDown() {
        EXPECT_TRUE(elec->SuppliedPins().empty()) << "still supplied";
    }
    // Register writes to the bus's own registers (0-11) since StartTrace.
    std::vector<std::pair<int, int>> BusWrites() const {
        std::vector<std::pair<int, int>> w;
        for (const auto& r : simp.RegisterTrace()) {
            if (r.write && r.reg <= 11) w.emplace_back(r.reg, r.value);
        }
        return w;
    }
};

struct OptPart {
    const char* name;
    bool wide;
    int variant;
};

class OptionAreaParts : public OptionAreaRun, public ::testing::WithParamInterface<OptPart> {};

// A file srec_cat wrote: blank check of the fresh part, program, verify at
// both levels, compare, read into a cleared buffer, save, load and compare
// equal; then Secure programs the security bit and the part still verifies.
TEST_P(OptionAreaParts, SrecFileRoundTripAndSecure) {
    if (!OptHaveSrecCat()) GTEST_SKIP() << "srec_cat not installed";
    const OptPart p = GetParam();
    sim::OptionAreaChip* chip = Put(p.name);
    ASSERT_NE(chip, nullptr);
    const uint32_t end = p.wide ? 0x1FFFF : 0xFFFF;
    FillAreas(p.wide, p.variant, 3);
    std::vector<uint8_t> image(end + 1);
    for (uint32_t a = 0; a <= end; ++a) image[a] = BufferByte(a);
    {
        FILE* f = std::fopen("areas.bin", "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(image.data(), 1, image.size(), f), image.size());
        std::fclose(f);
    }
    ASSERT_EQ(std::system("srec_cat areas.bin -binary -o areas.s28 -motorola -address-length=3 >/dev/null 2>&1"), 0);
    FillBufferRange(0, end, 0);
    ASSERT_EQ(LoadHexFamilyFile("areas.s28", 0, 0), 1);

    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    FillBufferRange(0, end, 0xFF);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_TRUE(HasLineStarting("-CheckSum : ")) << LogText();
    ASSERT_EQ(SaveHexFamilyFile("read.s28", 0, end, HexFormatMotorola), 1);
    FillBufferRange(0, end, 0);
    ASSERT_EQ(LoadHexFamilyFile("read.s28", 0, 0), 1);
    for (uint32_t a = 0; a <= end; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;

    EXPECT_FALSE(chip->Secured());
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_TRUE(chip->Secured());
    // Row 150 reads the security bit as 1: the secured part still verifies.
    if (!p.wide) {
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    }
    ExpectNoViolations();
    ExpectPoweredDown();
}

INSTANTIATE_TEST_SUITE_P(All, OptionAreaParts,
                         ::testing::Values(OptPart{"OPTAREA-32K", false, 0}, OptPart{"OPTAREA-32K-B", false, 1},
                                           OptPart{"OPTAREA-32K-S", false, 0}, OptPart{"OPTAREA-64K", true, 0},
                                           OptPart{"OPTAREA-64K-B", true, 1}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& c : n) c = c == '-' ? '_' : c;
                             return n;
                         });

// The sum of the bits that are cells: row 150 leaves 8040h-813Fh out and
// masks 8148h with 3; row 151 masks offset 108h of bank 1 with 7 and 109h
// with 3; bytes outside every area count nowhere.
TEST_F(OptionAreaRun, ChecksumsCountOnlyCells) {
    ASSERT_NE(Put("OPTAREA-32K"), nullptr);
    FillBufferRange(0, 0xFFFF, 0);
    const uint32_t zero = ComputeBufferChecksum(0, 0xFFFF);
    EXPECT_EQ(zero, 0u);
    auto sumWith = [](uint32_t a, uint8_t v) {
        FillBufferRange(0, 0x1FFFF, 0);
        SelectBank(a & ~0xFFFFu, 1);
        BufferWindow[a & 0xFFFF] = v;
        SelectBank(0, 0);
        return ComputeBufferChecksum(0, 0xFFFF);
    };
    EXPECT_EQ(sumWith(0x1234, 0xAB), 0xABu);
    EXPECT_EQ(sumWith(0x8040, 0xFF), 0u);
    EXPECT_EQ(sumWith(0x813F, 0xFF), 0u);
    EXPECT_EQ(sumWith(0x8140, 0xFF), 7u);
    EXPECT_EQ(sumWith(0x8148, 0xFF), 3u);
    EXPECT_EQ(sumWith(0x81C5, 0xFF), 0u);
    EXPECT_EQ(sumWith(0x81D3, 0xFF), 5u);
    EXPECT_EQ(sumWith(0x81D8, 0xFF), 0u);
    EXPECT_EQ(sumWith(0x81E2, 0xFF), 0xFFu);
    EXPECT_EQ(sumWith(0x81E4, 0xFF), 7u);
    EXPECT_EQ(sumWith(0x9000, 0xFF), 0u);

    ASSERT_NE(Put("OPTAREA-64K"), nullptr);
    EXPECT_EQ(sumWith(0xFFFF, 0x11), 0x11u);
    EXPECT_EQ(sumWith(0x10108, 0xFF), 7u);
    EXPECT_EQ(sumWith(0x10109, 0xFF), 3u);
    EXPECT_EQ(sumWith(0x10200, 0xFF), 0u);
    EXPECT_EQ(sumWith(0x10250, 0xFF), 0x0Fu);
    EXPECT_EQ(sumWith(0x10265, 0xFF), 7u);
    EXPECT_EQ(CurrentBank, 0u);

    // The Read step's checksum line.
    ASSERT_NE(Put("OPTAREA-32K"), nullptr);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    // Code FFh, rows 8140h-81BFh erased (7 and 3), group B 7, 7, 3 (byte 2's
    // bit 3 read inverted) and 5, group A FFh x 4 and 7.
    const uint32_t expected = 0x8000 * 0xFF + 8 * (8 * 7 + 8 * 3) + 7 + 7 + 3 + 5 + 4 * 0xFF + 7;
    char line[40];
    std::snprintf(line, sizeof line, "-CheckSum : %04Xh", expected & 0xFFFF);
    EXPECT_TRUE(HasLine(line)) << LogText();
}

// A buffer of FFh pulses only group B's byte 2, presented as F7h; blank
// check then wants 3 there and fails at it.
TEST_F(OptionAreaRun, AllFfBufferPulsesOnlyGroupBByte2) {
    for (const char* name : {"OPTAREA-32K", "OPTAREA-64K"}) {
        sim::OptionAreaChip* chip = Put(name);
        ASSERT_NE(chip, nullptr);
        const bool wide = std::string(name) == "OPTAREA-64K";
        FillBufferRange(0, wide ? 0x1FFFF : 0xFFFF, 0xFF);
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(chip->Pulses(), 1u) << name;
        EXPECT_EQ(chip->PulsesAt(chip->GroupBIndex(2)), 1u);
        EXPECT_EQ(chip->Cell(chip->GroupBIndex(2)), 0x03); // 0Bh AND F7h
        EXPECT_GE(chip->LongestWidthAt(chip->GroupBIndex(2)), 50000u);
        EXPECT_LT(chip->LongestWidthAt(chip->GroupBIndex(2)), 52000u);
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
        EXPECT_TRUE(HasLineStarting(wide ? " Chip addr: 010252h" : " Chip addr: 0081D2h")) << LogText();
        ExpectNoViolations();
    }
}

// A range from 287h: the code array takes it at its own cells from the
// buffer byte the engine gives, the cells below stay blank, Verify and Read
// agree, and the option areas behind it (all FFh here) verify too: a blank
// group B byte 1 reads 7 (0Fh) on every variant, as the blank check wants.
// A range ending inside the code array leaves the option areas alone.
TEST_F(OptionAreaRun, RangeFromAboveZeroLandsAtItsCells) {
    for (const char* name : {"OPTAREA-32K", "OPTAREA-32K-B", "OPTAREA-64K-B"}) {
        SCOPED_TRACE(name);
        sim::OptionAreaChip* chip = Put(name);
        ASSERT_NE(chip, nullptr);
        const bool wide = std::string(name) == "OPTAREA-64K-B";
        const uint32_t start = 0x287, lastCode = wide ? 0xFFFF : 0x7FFF;
        FillBufferRange(0, wide ? 0x1FFFF : 0xFFFF, 0xFF);
        FillPattern(lastCode + 1, 9);
        std::vector<uint8_t> image(lastCode + 1);
        for (uint32_t a = 0; a <= lastCode; ++a) image[a] = BufferByte(a);
        DeviceStart = BufferStart = start;
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t a = 0; a <= lastCode; ++a) ASSERT_EQ(chip->Cell(a), a < start ? 0xFF : image[a]) << std::hex << a;
        EXPECT_EQ(chip->Cell(chip->GroupBIndex(1)), wide ? 0x0F : 7);
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        FillBufferRange(0, lastCode, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t a = 0; a <= lastCode; ++a) ASSERT_EQ(BufferByte(a), a < start ? 0x5A : image[a]) << std::hex << a;
        ExpectNoViolations();
    }
    sim::OptionAreaChip* chip = Put("OPTAREA-32K");
    ASSERT_NE(chip, nullptr);
    FillBufferRange(0, 0xFFFF, 0);
    DeviceStart = BufferStart = 0x10;
    DeviceEnd = 0x1F;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Pulses(), 16u);
    EXPECT_EQ(chip->PulsesAt(chip->GroupBIndex(2)), 0u);
    EXPECT_EQ((std::pair{chip->Cell(0x0F), chip->Cell(0x10)}), (std::pair<uint16_t, uint16_t>{0xFF, 0}));
}

// A range in row 151's option areas (their chip addresses are their buffer
// addresses in bank 1): only its cells are written and read; the option
// cells past its end and both byte groups keep their blank values, and Read
// leaves every buffer byte past Buffer End as it was.
TEST_F(OptionAreaRun, RangeInTheOptionAreasKeepsToItsCells) {
    sim::OptionAreaChip* chip = Put("OPTAREA-64K");
    ASSERT_NE(chip, nullptr);
    FillAreas(true, 0, 5);
    std::vector<uint8_t> before(0x300), image(0x300);
    for (uint32_t i = 0; i < 0x300; ++i) {
        before[i] = static_cast<uint8_t>(chip->Cell(0x10000 + i));
        image[i] = BufferByte(0x10000 + i);
    }
    DeviceStart = BufferStart = 0x10000;
    DeviceEnd = 0x1017F;
    BufferEnd = 0x1017F;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t i = 0; i < 0x300; ++i) {
        const uint32_t a = 0x10000 + i;
        const uint8_t bits = chip->BitsAt(a);
        if (bits == 0) continue;
        ASSERT_EQ(chip->Cell(a) & bits, (i < 0x180 ? image[i] : before[i]) & bits) << std::hex << a;
    }
    EXPECT_EQ(chip->PulsesAt(chip->GroupBIndex(2)), 0u);
    FillBufferRange(0, 0x1FFFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a <= 0x1FFFF; ++a) {
        if (a >= 0x10000 && a <= 0x1017F) continue;
        ASSERT_EQ(BufferByte(a), 0x5A) << std::hex << a;
    }
    for (uint32_t i = 0; i < 0x180; ++i) ASSERT_EQ(BufferByte(0x10000 + i), image[i]) << std::hex << i;
    ExpectNoViolations();
}

// The code array takes consecutive buffer bytes and the option areas their
// fixed places: a split mode is refused on both rows before any pulse, and
// the buffer stays as it was.
TEST_F(OptionAreaRun, SplitModeIsRefused) {
    for (const char* name : {"OPTAREA-32K", "OPTAREA-64K"}) {
        SCOPED_TRACE(name);
        sim::OptionAreaChip* chip = Put(name);
        ASSERT_NE(chip, nullptr);
        FillPattern(0x8000, 5);
        const uint8_t kept = BufferByte(0x101);
        WordMode = 2;
        for (int op : {OpProgram, OpRead}) {
            EXPECT_EQ(Run(op), ResultFailed) << LogText();
            EXPECT_TRUE(HasLine("Cannot support Split mode!")) << LogText();
        }
        WordMode = 0;
        EXPECT_EQ(chip->Pulses(), 0u);
        EXPECT_TRUE(chip->Commands().empty());
        EXPECT_EQ(chip->Cell(1), 0xFF);
        EXPECT_EQ(BufferByte(0x101), kept);
        ExpectPoweredDown();
        ExpectNoViolations();
    }
}

// Signature F9h: option rows get up to 250 tries of 200 us under the
// (80h, 2) command; signature 55h one 50 ms write per cell without it. The
// code array's extra 6 us write follows the signature of the part in the
// socket, even on the first run.
TEST_F(OptionAreaRun, SignatureChoosesTheOptionRowProcedure) {
    struct Case {
        const char* name;
        uint64_t width;
        bool quick;
        uint32_t extra; // 1 with the 6 us write after the match
    };
    for (const Case c : {Case{"OPTAREA-32K", 200, true, 0}, Case{"OPTAREA-32K-S", 50000, false, 1}}) {
        ResetOptionAreaState();
        sim::OptionAreaChip* chip = Put(c.name);
        ASSERT_NE(chip, nullptr);
        BlankCheckBeforeProgram = 0; // Program is the first run on the part
        FillBufferRange(0, 0xFFFF, 0xFF);
        BufferWindow[0x10] = 0x5A;
        BufferWindow[0x8045] = 0x02;
        BufferWindow[0x804B] = 0x01;
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(chip->PulsesAt(0x10), 1 + c.extra) << c.name;
        EXPECT_EQ(chip->Cell(0x10), 0x5A);
        const uint32_t cell = chip->OptionIndex(4, 5);
        EXPECT_EQ(chip->PulsesAt(cell), 1 + c.extra);
        EXPECT_GE(chip->LongestWidthAt(cell), c.width) << c.name;
        EXPECT_LT(chip->LongestWidthAt(cell), c.width + c.width / 10 + 100) << c.name;
        EXPECT_EQ(chip->Cell(cell), 2);
        EXPECT_EQ(chip->Cell(chip->OptionIndex(4, 11)), 1);
        bool quickCommand = false;
        for (uint16_t k : chip->Commands()) quickCommand |= k == (0x80 << 8 | 4);
        EXPECT_EQ(quickCommand, c.quick) << c.name;
        EXPECT_EQ(Signature150, c.quick ? 0xF9u : 0x55u);
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        ExpectNoViolations();
    }
}

// A cell that never programs: its tries by area and row, the failing
// address, the following areas skipped, the socket powered down. Row 151's
// option failure leaves bank 1 current.
TEST_F(OptionAreaRun, CellThatNeverPrograms) {
    struct Case {
        const char* name;
        bool option;
        uint32_t buffer;
        uint32_t tries;
        const char* line;
    };
    for (const Case c : {Case{"OPTAREA-32K", false, 0x0123, 30, "  Chip addr: 000123h"},
                         Case{"OPTAREA-32K", true, 0x8052, 250, "  Chip addr: 008052h"},
                         Case{"OPTAREA-64K", false, 0xC123, 25, "  Chip addr: 00C123h"},
                         Case{"OPTAREA-64K", true, 0x10013, 250, "  Chip addr: 010013h"}}) {
        sim::OptionAreaChip* chip = Put(c.name);
        ASSERT_NE(chip, nullptr);
        const bool wide = std::string(c.name) == "OPTAREA-64K";
        FillBufferRange(0, wide ? 0x1FFFF : 0xFFFF, 0xFF);
        SelectBank(c.buffer & ~0xFFFFu, 1);
        BufferWindow[c.buffer & 0xFFFF] = 0;
        SelectBank(0, 0);
        const uint32_t index = c.option ? chip->OptionIndex(wide ? 4 + (c.buffer & 0xFFFF) / 16 : 4 + (c.buffer - 0x8040) / 16,
                                                            c.buffer & 0xF)
                                        : c.buffer;
        chip->StickCell(index);
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        EXPECT_EQ(chip->PulsesAt(index), c.tries) << c.name << " " << std::hex << c.buffer;
        EXPECT_TRUE(HasLineStarting(c.line)) << LogText();
        EXPECT_EQ(chip->PulsesAt(chip->GroupBIndex(2)), 0u); // the later areas are skipped
        ExpectNoViolations();
        ExpectPoweredDown();
    }
}

// A security bit that does not take: Secure reads group B's byte 3 back and
// fails with what it holds, on both rows.
TEST_F(OptionAreaRun, SecurityBitThatDoesNotTakeFailsSecure) {
    for (const char* name : {"OPTAREA-32K", "OPTAREA-64K"}) {
        SCOPED_TRACE(name);
        sim::OptionAreaChip* chip = Put(name);
        ASSERT_NE(chip, nullptr);
        chip->StickCell(chip->GroupBIndex(3));
        EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine(" Security bit not programmed (group B byte 3 reads 07h).")) << LogText();
        EXPECT_TRUE(HasLine("Security error!")) << LogText();
        EXPECT_EQ(chip->PulsesAt(chip->GroupBIndex(3)), 1u);
        EXPECT_FALSE(chip->Secured());
        ExpectNoViolations();
        ExpectPoweredDown();
    }
}

// ESC during the code array: both rows stop with 3 at once and power down;
// row 150 takes no further area command.
TEST_F(OptionAreaRun, UserBreakStopsEveryRow) {
    for (const char* name : {"OPTAREA-32K", "OPTAREA-64K"}) {
        sim::OptionAreaChip* chip = Put(name);
        ASSERT_NE(chip, nullptr);
        FillBufferRange(0, 0x1FFFF, 0x00);
        ui.BreakAtPercent = 20;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
        for (uint16_t k : chip->Commands()) EXPECT_TRUE(k == (1 << 8) || k == (0x10 << 8 | 2)) << std::hex << k;
        EXPECT_EQ(chip->PulsesAt(chip->GroupBIndex(2)), 0u);
        EXPECT_EQ(chip->Cell(0x7FFF), 0xFF);
        ExpectNoViolations();
        ExpectPoweredDown();
    }
}

// The register traffic of power-up, mode entry and the first area command,
// one program cycle and one read cycle.
TEST_F(OptionAreaRun, RegisterTraceOfPowerUpModeEntryAndCycles) {
    ASSERT_NE(Put("OPTAREA-32K"), nullptr);
    FillBufferRange(0, 0xFFFF, 0xFF);
    BufferWindow[0] = 0x3C;
    StartTrace();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    const auto w = BusWrites();
    // Power-up: address 0, index 0, rest, lines held, then rest after VCC.
    const std::vector<std::pair<int, int>> head = {
        {0, 0}, {1, 0}, {2, 0}, {4, 0x1F}, {5, 0x13}, {5, 3},
        // mode entry at address 6
        {0, 6}, {1, 0}, {4, 0x1B}, {4, 0x1F}, {9, 0}, {5, 1}, {0, 0}, {1, 0},
        // the signature: command (10h, 1), then a read at address 1
        {0, 0}, {1, 0}, {2, 0}, {9, 0x10}, {5, 1}, {0, 2}, {0, 0}, {5, 3}, {0, 1}, {1, 0}, {4, 0x1E}, {4, 0x1F},
        {0, 0}, {1, 0},
        // the code array's command (1, 0)
        {0, 0}, {1, 0}, {2, 0}, {9, 1}, {5, 1}, {0, 0}, {0, 0}, {5, 3},
        // (the Program step's blank check) address 0 and its read
        {1, 0}, {0, 0}, {4, 0x1E}, {4, 0x1F}, {0, 1}, {4, 0x1E}, {4, 0x1F}};
    auto it = std::find(w.begin(), w.end(), std::pair{5, 0x13});
    ASSERT_NE(it, w.end());
    const auto start = std::max(w.begin(), it - 4);
    ASSERT_GE(static_cast<size_t>(w.end() - start), head.size());
    for (size_t i = 0; i < head.size(); ++i) {
        ASSERT_EQ(start[static_cast<long>(i)], head[i]) << "write " << i;
    }
    // One 100 us write of 3Ch at address 0 and its read-back.
    const std::vector<std::pair<int, int>> cycle = {{1, 0}, {0, 0}, {5, 0x81}, {9, 0x3C}, {5, 3}, {4, 0x1E}, {4, 0x1F}};
    EXPECT_NE(std::search(w.begin(), w.end(), cycle.begin(), cycle.end()), w.end());
    // Power-down leaves the lines held.
    auto last = std::find(w.rbegin(), w.rend(), std::pair{5, 0x13});
    ASSERT_NE(last, w.rend());
    ExpectNoViolations();
}

// The option cells keep fixed buffer places (row 150's in the bank of Buffer
// Start, row 151's in bank 1). A range with Buffer Start apart that covers
// option cells would take them from places where it put other data: it is
// refused before power-up with the place and both addresses, the part and
// the buffer as they were. A code range whose buffer span only passes over
// the places runs, and Read gives its code bytes there.
TEST_F(OptionAreaRun, ARangeApartOverTheOptionPlaces) {
    for (const char* name : {"OPTAREA-32K", "OPTAREA-64K"}) {
        SCOPED_TRACE(name);
        sim::OptionAreaChip* chip = Put(name);
        ASSERT_NE(chip, nullptr);
        const bool wide = std::string(name) == "OPTAREA-64K";
        FillAreas(wide, 0, 3);
        const uint32_t top = wide ? 0x10265 : 0x81E4;
        std::vector<uint8_t> buffer(0x20000);
        for (uint32_t a = 0; a < buffer.size(); ++a) buffer[a] = BufferByte(a);
        DeviceStart = 0x2A3;
        DeviceEnd = top;
        BufferStart = 0x82A3;
        BufferEnd = BufferStart + (top - DeviceStart);
        const char* line = wide ? " Buffer addr 010000h is chip addr 10000h's place; the range puts chip "
                                  "addr 8000h there."
                                : " Buffer addr 008040h is chip addr 8040h's place; the range puts it at "
                                  "buffer addr 010040h.";
        for (const int op : {OpProgram, OpVerify, OpRead}) {
            EXPECT_EQ(Run(op), ResultFailed) << LogText();
            EXPECT_TRUE(HasLine(line)) << LogText();
        }
        EXPECT_EQ(chip->Pulses(), 0u);
        EXPECT_TRUE(chip->Commands().empty());
        for (uint32_t a = 0; a < buffer.size(); ++a) ASSERT_EQ(BufferByte(a), buffer[a]) << std::hex << a;
        ExpectPoweredDown();
    }
    // Row 151's code bytes 0-FFh from buffer 10000h on, over its option places.
    sim::OptionAreaChip* chip = Put("OPTAREA-64K");
    ASSERT_NE(chip, nullptr);
    FillAreas(true, 0, 4);
    std::vector<uint8_t> code(0x100);
    for (uint32_t i = 0; i < 0x100; ++i) code[i] = BufferByte(0x10000 + i);
    std::vector<uint16_t> options(0x300);
    for (uint32_t i = 0; i < 0x300; ++i) options[i] = chip->Cell(0x10000 + i);
    DeviceStart = 0;
    DeviceEnd = 0xFF;
    BufferStart = 0x10000;
    BufferEnd = 0x100FF;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x100; ++a) ASSERT_EQ(chip->Cell(a), code[a]) << std::hex << a;
    for (uint32_t i = 0; i < 0x300; ++i) ASSERT_EQ(chip->Cell(0x10000 + i), options[i]) << std::hex << i;
    FillBufferRange(0, 0x1FFFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a <= 0x1FFFF; ++a)
        ASSERT_EQ(BufferByte(a), a >= 0x10000 && a <= 0x100FF ? code[a - 0x10000] : 0x5A) << std::hex << a;
    ExpectNoViolations();
}

} // namespace
