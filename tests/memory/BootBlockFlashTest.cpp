// Rows 21, 36 and 82 through the operation driver on the parts of their
// library records, seated from the catalog on the command bus: the full run
// of each part, the erase layouts, and the faults each run must end with its
// line.
#include "CommandFlashFixture.h"

namespace {

using BootBlockRun = CommandFlashRun;

struct RowCase {
    const char* name;
    uint32_t blocks; // block erases of a full erase
};

class BootBlockRows : public BootBlockRun, public ::testing::WithParamInterface<RowCase> {};

TEST_P(BootBlockRows, BlankProgramReadCompareEraseAndReadId) {
    const RowCase& c = GetParam();
    sim::CommandFlashChip* chip = Start(c.name);
    ASSERT_NE(chip, nullptr);
    const uint32_t full = static_cast<uint32_t>(chip->Bytes());
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    FillPattern(BufferByteSize, 5);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!"});
    ExpectHolds(*chip);
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ExpectHolds(*chip);
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    FillBufferRange(7, 7, BufferByte(7) ^ 0x10);
    EXPECT_EQ(Run(OpCompare), 1) << LogText();
    char diff[40];
    std::snprintf(diff, sizeof diff, "%08Xh:(%02X)-(%02X)", 7u, BufferByte(7), chip->Cell(7));
    EXPECT_NE(ReadText("COMPARE.TXT").find(diff), std::string::npos) << ReadText("COMPARE.TXT");
    EXPECT_EQ(Run(OpBlankCheck), -1);
    // The uniform-block erase takes its block count from the device's size.
    SetRange(full);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_TRUE(chip->IsBlank());
    EXPECT_EQ(chip->Erases().size(), c.blocks);
    SetRange(0x300);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    ExpectReadId(chip->Config().deviceId);
    chip->WrongId(0x55);
    ExpectReadId(0x55);
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Parts, BootBlockRows,
                         ::testing::Values(RowCase{"28F002BX-B", 5}, RowCase{"28F002BX-T", 5},
                                           RowCase{"28F004BV-B", 7}, RowCase{"28F008SA", 16},
                                           RowCase{"28F004S5", 8}, RowCase{"28F016S5", 32},
                                           RowCase{"LH28F008SA", 16}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             n.erase(std::remove(n.begin(), n.end(), '-'), n.end());
                             return "Part" + n;
                         });

// The block lines an erase leaves: one line replaced block by block for the
// layout rows, one line per block for the uniform-block variant.
TEST_F(BootBlockRun, EraseLeavesTheLinesOfItsLayout) {
    const struct {
        const char* name;
        std::vector<std::string> lines;
        uint32_t erases;
    } cases[] = {
        {"28F008SA", {" Block Address F0000h - FFFFFh Erase ok!  "}, 16},
        {"28F004S5", {" Block Address 70000h - 7FFFFh Erase ok!  "}, 8},
        {"28F002BX-B", {" Block Address 20000h - 3FFFFh Erase ok!  "}, 5},
        {"28F002BX-T", {" Block Address 3C000h - 3FFFFh Erase ok!  "}, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::CommandFlashChip* chip = Start(c.name, 0);
        for (uint32_t a = 0; a < chip->Bytes(); a += 0x1000) chip->SetCell(a, 0);
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_EQ(BlockLines(), c.lines);
        EXPECT_EQ(chip->Erases().size(), c.erases);
        EXPECT_TRUE(chip->IsBlank());
        Unseat();
    }
    sim::CommandFlashChip* chip = Start("28F016S5", 0);
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    const auto lines = BlockLines();
    ASSERT_EQ(lines.size(), 32u) << LogText();
    EXPECT_EQ(lines.front(), " Block Address 0000000h - 000FFFFh Erase ok!  ");
    EXPECT_EQ(lines.back(), " Block Address 01F0000h - 01FFFFFh Erase ok!  ");
    ExpectNoViolations();
}

// A Chip Start above 0 reads and programs from that address on.
TEST_F(BootBlockRun, ChipStartAboveZeroProgramsAndReadsItsOwnAddresses) {
    sim::CommandFlashChip* chip = Start("28F002BX-B", 0);
    ASSERT_NE(chip, nullptr);
    DeviceStart = 0x1F0F0; // across a 64 KB boundary
    DeviceEnd = 0x20120;
    FillPattern(BufferByteSize, 9);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectHolds(*chip, DeviceStart);
    EXPECT_EQ(chip->Cell(DeviceStart - 1), 0xFF);
    EXPECT_EQ(chip->Cell(DeviceEnd + 1), 0xFF);
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ExpectHolds(*chip, DeviceStart);
    ExpectNoViolations();
}

// Variants the module does not serve end before power-up with a line.
TEST_F(BootBlockRun, UnservedVariantFailsBeforePowerUp) {
    const struct {
        uint32_t variant;
        uint32_t size;
    } cases[] = {{9, 0x40000}, {98, 0x40000}, {101, 0x40000}, {99, 0x8000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variant);
        sim::CommandFlashChip* chip = Start("28F002BX-B", 0);
        chip->SetCell(3, 0);
        DeviceVariant = c.variant;
        SetRange(c.size);
        for (int op : {OpErase, OpProgram}) {
            if (op == OpProgram && c.variant == 99) continue; // only its erase needs a block
            EXPECT_EQ(Run(op), -1) << LogText();
            char line[48];
            std::snprintf(line, sizeof line, " Algorithm variant %u is not supported.", c.variant);
            EXPECT_TRUE(HasLine(line)) << LogText();
        }
        EXPECT_TRUE(chip->Writes().empty());
        EXPECT_EQ(chip->Cell(3), 0);
        Unseat();
    }
}

// Faults in the part: each run ends with its line, within its limit, with
// the socket switched off. Row 21 finds a bad byte in its verify, row 82 on
// the status bits; a failed program names its address.
TEST_F(BootBlockRun, FaultsEndWithTheirLine) {
    using Fault = std::function<void(sim::CommandFlashChip&)>;
    const Fault neverReady = [](sim::CommandFlashChip& c) { c.NeverReady(true); };
    const Fault stuck = [](sim::CommandFlashChip& c) { c.StickCell(0x21); };
    const struct {
        const char* part;
        const char* label;
        int op;
        Fault fault;
        int result;
        const char* line;
        uint32_t waits;
        int failAt; // the address a failed program names; -1 none
    } cases[] = {
        {"28F002BX-B", "never ready, erase", OpErase, neverReady, -1, "Erase error!", 120, -1},
        {"28F002BX-B", "never ready, program", OpProgram, neverReady, -1, "Program error!", 0, 0},
        {"28F002BX-B", "cell never programs", OpProgram, stuck, -1, "Verification error!", 0, 0x21},
        {"28F002BX-B", "block fails erase", OpErase, [](sim::CommandFlashChip& c) { c.FailBlock(2); }, -1,
         " Block 006000h-007FFFh was not erased!", 0, -1},
        {"LH28F008SA", "cell never programs", OpProgram, stuck, -1, "Program error!", 0, 0x21},
        {"LH28F008SA", "never ready, program", OpProgram, neverReady, -1, "Program error!", 0, 0},
        {"LH28F008SA", "never ready, erase", OpErase, neverReady, -1, "Erase error!", 30, -1},
        {"LH28F008SA", "ESC answered No", OpErase, [&](sim::CommandFlashChip&) { ui.BreakAtStatus = "0.4 sec"; }, 3,
         "Erasing ...", 4, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.part) + ": " + c.label);
        sim::CommandFlashChip* chip = Start(c.part, 0x80);
        ExpectFaultRun([&] { c.fault(*chip); }, c.op, c.result, c.line, c.waits);
        if (c.failAt >= 0) {
            char at[40];
            std::snprintf(at, sizeof at, "  Chip addr: %06Xh", static_cast<unsigned>(c.failAt));
            bool found = false;
            for (const auto& l : Log()) found = found || l.rfind(at, 0) == 0;
            EXPECT_TRUE(found) << at << "\n" << LogText();
        }
        Unseat();
    }
}

// Without 12 V on RP# (the second high-voltage pin skipped) the boot block
// takes neither program nor erase; the other blocks do, and the erase fails
// naming the boot block.
TEST_F(BootBlockRun, BootBlockNeedsTwelveVoltsOnResetPin) {
    sim::CommandFlashChip* chip = Start("28F002BX-B", 0);
    DeviceSubVariant = 2;
    chip->SetCell(0x10, 0x00);   // boot block
    chip->SetCell(0x4010, 0x00); // first parameter block
    chip->SetCell(0x3FFF0, 0x00); // last block
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    ExpectLinesInOrder({"Erase error!", " Block 000000h-003FFFh was not erased!", " Block Address 20000h - 3FFFFh Erase ok!  "});
    EXPECT_EQ(chip->Cell(0x10), 0x00);
    EXPECT_EQ(chip->Cell(0x4010), 0xFF);
    EXPECT_EQ(chip->Cell(0x3FFF0), 0xFF);
    SetRange(0x40);
    FillPattern(BufferByteSize, 4);
    chip->SetCell(0x10, 0xFF);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(HasLine("Verification error!")) << LogText();
    EXPECT_EQ(chip->Cell(0), 0xFF);
}

// Gang erase: the waits of all sockets count against one limit; a bad socket
// fails the erase, ESC answered No stops it with a user break.
TEST_F(BootBlockRun, GangEraseWaitsSocketBySocketAgainstOneLimit) {
    const struct {
        const char* name;
        int sockets;
        int neverReady; // -1 none
        int result;
        uint32_t waits;
    } cases[] = {{"28F002BX-B", 2, 1, -1, 120}, {"28F008SA", 4, 2, -1, 120}, {"28F008SA", 2, -1, 3, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sockets);
        auto chips = StartGang(c.name, c.sockets);
        ui.StatusHistory[1].clear();
        if (c.neverReady >= 0) chips[static_cast<size_t>(c.neverReady)]->NeverReady(true);
        for (auto* chip : chips) chip->SetCell(0x30000, 0);
        if (c.result == 3) {
            ui.BreakAtStatus = "0.3 sec";
            ui.QueueAnswer(UiAnswer::No);
        }
        const uint64_t t0 = simp.NowUs();
        EXPECT_EQ(Run(OpErase), c.result) << LogText();
        EXPECT_EQ(HasLine("Erase error!"), c.result == -1) << LogText();
        ExpectWaits(c.waits);
        // The limit is of time spent, 100 ms a wait, whatever the sockets:
        // a limit started again for a socket after the first takes at least
        // one block erase (six waits) longer.
        const uint64_t spentMs = (simp.NowUs() - t0) / 1000;
        EXPECT_GE(spentMs, uint64_t{c.waits} * 100);
        EXPECT_LT(spentMs, uint64_t{c.waits} * 100 + 500) << spentMs;
        // The first block only: the wait of the first block ended the erase.
        for (auto* chip : chips) EXPECT_EQ(chip->Erases().size(), 1u);
        for (auto* chip : chips) EXPECT_EQ(chip->Cell(0x30000), 0);
        ExpectNoViolations();
        for (int s = 0; s < c.sockets; ++s) sim::GangAdapter::Find(simp)->SocketAt(s).Clear();
        elec->WithdrawAllChips();
    }
}

// Row 82 erases a 128 KB part as the blocks at 00000h and 10000h.
TEST_F(BootBlockRun, LatchedBusErasesByBlocks) {
    ASSERT_TRUE(Select("SHARP", "LH28F008SA"));
    const sim::CatalogPart& part = *sim::FindPart("SHARP", "LH28F008SA");
    sim::FamilyFacts<sim::CommandFlashConfig> small =
        *sim::FactsAs<sim::FamilyFacts<sim::CommandFlashConfig>>(part.facts.get());
    small.family.bytes = small.words = 0x20000;
    small.family.blockStarts = {0, 0x10000};
    SetRange(0x20000);
    sim::CommandFlashChip* chip = Seat(sim::MakeChip(part, small));
    for (uint32_t a : {0x10u, 0x1FFF0u}) chip->SetCell(a, 0);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(chip->Erases(), (std::vector<uint32_t>{0, 1}));
    EXPECT_TRUE(chip->IsBlank());
    std::vector<uint32_t> erased;
    for (const auto& w : chip->Writes()) {
        if (w.data == 0x20) erased.push_back(w.address);
    }
    EXPECT_EQ(erased, (std::vector<uint32_t>{0, 0x10000}));
    ExpectNoViolations();
}

// Row 82 reads at the read supply in every mode.
TEST_F(BootBlockRun, LatchedBusReadsAtTheReadSupply) {
    ASSERT_NE(Start("LH28F008SA", 0x1000), nullptr);
    ExpectVerifyAtTheReadSupply(44);
}

// Traffic: the option line of the 4-Mbit boot-block layouts, the timing
// register, the image's own read-loop pattern, the preparation sequence of
// the chip-erase parts.
TEST_F(BootBlockRun, RegisterTrafficOfEachLayout) {
    auto writes = [&](uint8_t reg) {
        std::vector<uint8_t> v;
        for (const auto& a : simp.RegisterTrace()) {
            if (a.write && a.reg == reg) v.push_back(a.value);
        }
        return v;
    };
    auto has = [](const std::vector<uint8_t>& v, uint8_t x) { return std::find(v.begin(), v.end(), x) != v.end(); };
    const struct {
        const char* name;
        int op;
        bool reg9;
        uint8_t loop;
        uint32_t variant; // 0: the record's
    } cases[] = {
        {"28F004BV-B", OpBlankCheck, true, 0xDB, 0}, {"28F002BX-B", OpBlankCheck, false, 0xDB, 0},
        {"28F016S5", OpBlankCheck, false, 0xC3, 0},  {"28F002BX-B", OpErase, false, 0, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::CommandFlashChip* chip = Start(c.name);
        if (c.variant) DeviceVariant = c.variant;
        simp.EnableTrace(true);
        simp.ClearTrace();
        // The chip erase leaves RP# low, so the boot block of this part is
        // refused with the erase error bit: the erase says so.
        EXPECT_EQ(Run(c.op), c.variant == 100 ? -1 : 1) << LogText();
        if (c.variant == 100) {
            EXPECT_TRUE(HasLine(" Chip was not erased!")) << LogText();
        }
        EXPECT_TRUE(has(writes(8), 4));
        EXPECT_EQ(has(writes(9), 1), c.reg9);
        if (c.loop) {
            EXPECT_TRUE(has(writes(4), c.loop));
        }
        if (c.variant == 100) {
            // 47h at the address, D0h at address FFh, then A7h/D0h: the part
            // ignores the unassigned 47h and the lone D0h, and erases all.
            const auto& w = chip->Writes();
            ASSERT_GE(w.size(), 4u);
            EXPECT_EQ(w[0].data, 0x47);
            EXPECT_EQ(w[1].data, 0xD0);
            EXPECT_EQ(w[1].address & 0xFF, 0xFFu);
            EXPECT_EQ(w[2].data, 0xA7);
            EXPECT_TRUE(chip->IsBlank());
        }
        ExpectNoViolations();
        simp.EnableTrace(false);
        Unseat();
    }
}

// The high-voltage pins by adapter: supply A switched onto both for a
// program (the second one unless skipped).
TEST_F(BootBlockRun, HighVoltagePinsFollowTheAdapter) {
    const struct {
        uint8_t adapter;
        uint32_t subVariant;
        std::vector<int> on, off;
    } cases[] = {{'P', 0, {3, 46}, {}}, {'Q', 0, {15, 14}, {}}, {'X', 0, {5, 9}, {}}, {'X', 2, {5}, {9}}, {0, 0, {36, 35}, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.adapter);
        Start("28F002BX-B", 0x10);
        AdapterCode = c.adapter;
        DeviceSubVariant = static_cast<uint8_t>(c.subVariant);
        ASSERT_EQ(CheckCommunication(MainEngine), 1);
        PrepareOperation(MainEngine);
        FillPattern(BufferByteSize, 2);
        simp.EnableTrace(true);
        simp.ClearTrace();
        AlgorithmRow(21)->Program();
        ResetProgrammerOutputs();
        auto switched = [&](int pin) {
            const SupplyPinAEntry& e = SupplyPinTableA[static_cast<size_t>(pin)];
            for (const auto& a : simp.RegisterTrace()) {
                if (a.write && a.reg == e.reg && (a.value & e.mask)) return true;
            }
            return false;
        };
        for (int pin : c.on) EXPECT_TRUE(switched(pin)) << pin;
        for (int pin : c.off) EXPECT_FALSE(switched(pin)) << pin;
        simp.EnableTrace(false);
        Unseat();
    }
}

} // namespace
