// The register-driven block CPLDs end to end over the block CPLD bus image:
// every record against its part, the cell layouts, the E row, the passes and
// row selections the chip sees, and the faults the driver must report.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "sim/BlockCpldBus.h"
#include "sim/BlockCpldChip.h"
#include "tests/logic/PldFixture.h"

namespace {

struct RegisterBlockRecord {
    const char* name;
    uint32_t row;
    uint32_t fuses;
    uint32_t firstE; // 0: no E row
    uint32_t rowWidth;
};
const RegisterBlockRecord kRegisterBlockRecords[] = {
    {"MACH111", 260, 7756, 7724, 52}, {"MACH120", 212, 12080, 0, 52},     {"MACH130", 213, 15552, 0, 52},
    {"MACH210", 214, 12832, 0, 44},   {"MACH215", 215, 11936, 0, 44},     {"MACH220", 216, 23232, 0, 52},
    {"MACH230", 217, 30144, 0, 52},   {"MACH211", 261, 15136, 15072, 52},
};

std::string RegisterBlockName(const ::testing::TestParamInfo<RegisterBlockRecord>& info) {
    return info.param.name;
}

class RegisterBlockCpldTest : public PldRun {
  protected:
    void SetUp() override {
        PldRun::SetUp();
        sim::RegisterBlockCpldBusPersonality();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    static sim::BlockCpldFacts BlockFacts(const char* name) {
        const sim::BlockCpldFacts* f = sim::FindBlockCpldPart("AMD", name);
        EXPECT_NE(f, nullptr) << name;
        return f ? *f : sim::BlockCpldFacts{};
    }
    sim::BlockCpldChip* SeatBlock(const sim::BlockCpldFacts& facts) {
        return SeatAlone<sim::BlockCpldChip>(facts);
    }
    sim::BlockCpldChip* SelectAndSeatBlock(const char* name) {
        EXPECT_TRUE(SelectPld("AMD", name));
        return SeatBlock(BlockFacts(name));
    }
    sim::BlockCpldBusPersonality* Bus() {
        return simp.PersonalityAs<sim::BlockCpldBusPersonality>();
    }
    // The fuse as the part holds it: the E row complemented.
    static int Held(const RegisterBlockRecord& r, uint32_t n, int fuse) {
        return r.firstE != 0 && n >= r.firstE ? 1 - fuse : fuse;
    }
    static std::string FailLineOf(uint32_t fuse) {
        char line[64];
        std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", fuse, fuse);
        return line;
    }
};

class RegisterBlockRecordTest : public RegisterBlockCpldTest,
                                public ::testing::WithParamInterface<RegisterBlockRecord> {};

TEST_P(RegisterBlockRecordTest, ProgramsReadsErasesAndSecures) {
    const RegisterBlockRecord& r = GetParam();
    sim::BlockCpldChip* chip = SelectAndSeatBlock(r.name);
    EXPECT_EQ(CurrentAlgorithm, r.row);
    EXPECT_EQ(DeviceSize, r.fuses);

    // The erased E row reads 0: the blank check never looks at it.
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    ASSERT_NE(Bus(), nullptr);
    const std::vector<uint8_t> fuses = Pattern(r.fuses, r.row);
    LoadFuses(fuses, r.rowWidth);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    for (uint32_t n = 0; n < r.fuses; ++n)
        ASSERT_EQ(chip->Cell(n), Held(r, n, fuses[n])) << n;

    ClearUserMap(r.fuses);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(UserFuses(r.fuses), fuses);
    EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)),
              ReadJedecChecksumField(ReadText("in.jed")));

    EXPECT_EQ(Run(OpErase), 1) << LogText();
    ExpectLinesInOrder({"Erase ok!"});
    EXPECT_TRUE(chip->Blank());

    // The check after securing expects every cell, the E row's too, to read 0.
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    ExpectLinesInOrder({"Security ok!"});
    EXPECT_TRUE(chip->Secured());
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// A cell that never programs: the program run returns 1, the driver's
// verify names the cell.
TEST_P(RegisterBlockRecordTest, VerifyNamesACellThatNeverPrograms) {
    const RegisterBlockRecord& r = GetParam();
    sim::BlockCpldChip* chip = SelectAndSeatBlock(r.name);
    const uint32_t stuck = r.fuses / 3;
    chip->StickCell(stuck);
    std::vector<uint8_t> fuses(r.fuses, 1);
    fuses[stuck] = 0;
    LoadFuses(fuses, r.rowWidth);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(HasLine("Program ok!")) << LogText();
    EXPECT_TRUE(HasLine(FailLineOf(stuck))) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Records, RegisterBlockRecordTest, ::testing::ValuesIn(kRegisterBlockRecords),
                         RegisterBlockName);

// Each part's cell map reaches every fuse of its JEDEC map exactly once;
// with the round trips above (cells equal to the file) the rows' maps agree.
TEST_F(RegisterBlockCpldTest, EveryLayoutIsABijection) {
    for (const RegisterBlockRecord& r : kRegisterBlockRecords) {
        SCOPED_TRACE(r.name);
        const sim::BlockCpldFacts f = BlockFacts(r.name);
        std::vector<int> seen(r.fuses, 0);
        for (int row = 0; row < 64; ++row) {
            for (int b = 0; b < f.blocks; ++b) {
                for (int c = 0; c < f.columns; ++c) {
                    const int32_t n = f.fuseAt(row, b, c);
                    if (n < 0) continue;
                    ASSERT_LT(static_cast<uint32_t>(n), r.fuses) << row << " " << b << " " << c;
                    ++seen[static_cast<size_t>(n)];
                }
            }
        }
        for (uint32_t n = 0; n < r.fuses; ++n)
            ASSERT_EQ(seen[n], 1) << n;
    }
    // Golden positions: E cell 0 of block 0 (column 8) is 7755; even array
    // rows hold 72 cells a block, odd rows 71; row 60's odd cells sit at
    // offset 15 of their group.
    const sim::BlockCpldFacts two = BlockFacts("MACH111");
    EXPECT_EQ(two.fuseAt(61, 0, 8), 7755);
    EXPECT_EQ(two.fuseAt(61, 1, 65), 7724);
    for (int row = 0; row < 52; ++row) {
        int cells = 0;
        for (int c = 0; c < 72; ++c)
            cells += two.fuseAt(row, 0, c) >= 0;
        EXPECT_EQ(cells, row % 2 ? 71 : 72) << row;
    }
    EXPECT_EQ(BlockFacts("MACH211").fuseAt(60, 0, 8), 3640 + 15);
    EXPECT_EQ(BlockFacts("MACH230").fuseAt(60, 7, 64), 7 * 3768 + 3640 + 16 * 7 + 15);
    EXPECT_EQ(BlockFacts("MACH220").fuseAt(58, 0, 8), -1);
}

// Single fuses in the corners of the layouts reach exactly their cells:
// row 60's odd special cells, the grouped rows without odd or even cells,
// the E rows.
TEST_F(RegisterBlockCpldTest, SingleFusesReachTheirCells) {
    struct Case {
        const char* name;
        uint32_t fuse;
    };
    const Case cases[] = {
        {"MACH111", 7755},
        {"MACH111", 7724},
        {"MACH111", 25},
        {"MACH111", 3862 + 3861},
        {"MACH211", 3655},
        {"MACH211", 15072},
        {"MACH211", 15135},
        {"MACH220", 2 * 2904 + 2808 + 15},
        {"MACH230", 3640 + 16 * 7 + 15},
        {"MACH215", 2904 + 9},
        {"MACH210", 3080 + 7 + 8 * 15},
        {"MACH120", 3 * 3020 + 3019},
        {"MACH130", 3888 + 3744 + 8 + 9 * 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.fuse));
        sim::BlockCpldChip* chip = SelectAndSeatBlock(c.name);
        const uint32_t count = chip->CellCount();
        std::vector<uint8_t> fuses(count, 1);
        fuses[c.fuse] = 0;
        const RegisterBlockRecord* r = nullptr;
        for (const RegisterBlockRecord& x : kRegisterBlockRecords)
            if (std::string(x.name) == c.name) r = &x;
        ASSERT_NE(r, nullptr);
        LoadFuses(fuses, r->rowWidth);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        for (uint32_t n = 0; n < count; ++n)
            ASSERT_EQ(chip->Cell(n), Held(*r, n, fuses[n])) << n;
        ExpectNoViolations();
    }
}

// A file's E field: its first 16 digits reach block 1 (two blocks) or
// block 3 (four blocks).
TEST_F(RegisterBlockCpldTest, EFieldDigitsReachTheirBlocks) {
    struct Case {
        const char* name;
        uint32_t firstE;
        uint32_t count;
        int block;
    };
    for (const Case& c : {Case{"MACH111", 7724, 32, 1}, Case{"MACH211", 15072, 64, 3}}) {
        SCOPED_TRACE(c.name);
        sim::BlockCpldChip* chip = SelectAndSeatBlock(c.name);
        // A fitter's file of the map before the E row, its E field apart.
        WriteJedec("e.jed", std::vector<uint8_t>(c.firstE, 1), 52);
        std::string text = ReadText("e.jed");
        std::string e = "E";
        for (uint32_t i = 0; i < c.count; ++i)
            e += i == 0 ? '0' : '1';
        text.replace(text.find("QF"), text.find('*', text.find("QF")) - text.find("QF"),
                     "QF" + std::to_string(c.firstE + c.count));
        text.insert(text.find("\nC") + 1, e + "*\n");
        std::FILE* out = std::fopen("e.jed", "wb");
        ASSERT_NE(out, nullptr);
        std::fputs(text.c_str(), out);
        std::fclose(out);
        uint32_t sum = 0, blown = 0;
        ASSERT_EQ(LoadJedecFile("e.jed", sum, blown), 1) << LogText();
        EXPECT_EQ(GetBufferBit(c.firstE), 0u);
        VerifyAfterProgram = 0;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        // Digit 0 is E cell 15 of the block, at its last special column.
        const sim::BlockCpldFacts& f = chip->Facts();
        EXPECT_EQ(f.fuseAt(61, c.block, 65 - (c.block == 1 ? 0 : 1)), static_cast<int32_t>(c.firstE));
        EXPECT_EQ(chip->Cell(c.firstE), 1); // complemented
        for (uint32_t n = c.firstE + 1; n < c.firstE + c.count; ++n)
            EXPECT_EQ(chip->Cell(n), 0) << n;
        ExpectNoViolations();
    }
}

// What the chip sees: the read selects row 0 with 62 clocks, the 1 before
// the last; each member's pre-program pass; the binary member never
// addresses 44-55; one member keeps command 3 through the power-down.
TEST_F(RegisterBlockCpldTest, SelectionsPassesAndCommands) {
    sim::BlockCpldChip* chip = SelectAndSeatBlock("MACH111");
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    const std::vector<bool>& in = chip->RowInputs();
    ASSERT_GE(in.size(), 62u + 61u);
    for (size_t i = 0; i < 62; ++i)
        EXPECT_EQ(in[i], i == 61) << i;
    for (size_t i = 62; i < in.size(); ++i)
        EXPECT_FALSE(in[i]) << i;
    EXPECT_EQ(in.size(), 62u + 61u); // every next row one clock
    std::vector<int> expected;       // the blank check walks the E row too, taking none of its cells
    for (int row = 0; row < 62; ++row)
        expected.push_back(row);
    EXPECT_EQ(chip->ReadRows(), expected);

    struct Pass {
        const char* name;
        uint64_t widthUs;
        size_t rows; // rows the pass's pulse selects
    };
    for (const Pass& p :
         {Pass{"MACH111", 100000, 62}, Pass{"MACH211", 100000, 62}, Pass{"MACH120", 100000, 0},
          Pass{"MACH130", 100000, 0}, Pass{"MACH210", 50000, 0}, Pass{"MACH215", 50000, 0},
          Pass{"MACH220", 100000, 0}, Pass{"MACH230", 100000, 0}}) {
        SCOPED_TRACE(p.name);
        chip = SelectAndSeatBlock(p.name);
        const std::vector<uint8_t> fuses = Pattern(chip->CellCount(), 3);
        LoadFuses(fuses, 52);
        VerifyAfterProgram = 0;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ASSERT_FALSE(chip->Pulses().empty());
        const auto& first = chip->Pulses().front();
        EXPECT_EQ(first.command, 2);
        EXPECT_GE(first.widthUs, p.widthUs);
        EXPECT_LT(first.widthUs, p.widthUs + 2000);
        EXPECT_EQ(first.rows.size(), p.rows);
        for (size_t i = 1; i < chip->Pulses().size(); ++i)
            EXPECT_EQ(chip->Pulses()[i].rows.size(), 1u) << i;
        ExpectNoViolations();
    }

    chip = SelectAndSeatBlock("MACH210");
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    std::vector<int> rows;
    for (int row = 0; row < 44; ++row)
        rows.push_back(row);
    for (int row = 56; row < 64; ++row)
        rows.push_back(row);
    EXPECT_EQ(chip->ReadRows(), rows);

    chip = SelectAndSeatBlock("MACH130");
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    ASSERT_FALSE(chip->CommandsAtPowerOff().empty());
    EXPECT_EQ(chip->CommandsAtPowerOff().front(), 3); // the secure run's own power-down
    chip = SelectAndSeatBlock("MACH120");
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    ASSERT_FALSE(chip->CommandsAtPowerOff().empty());
    EXPECT_EQ(chip->CommandsAtPowerOff().front(), 0);
    ExpectNoViolations();
}

// What reaches socket pins 11 and 15: the highest voltage seen on each.
class RegisterBlockVppWatch : public sim::ChipModel {
  public:
    std::string Name() const override { return "programming-voltage watch"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void SuppliesChanged(const sim::PinEnvironment& env) override { Update(env); }
    void Update(const sim::PinEnvironment& env) override {
        for (size_t i = 0; i < 2; ++i)
            highest[i] = std::max(highest[i], env.VoltageTenths(watched_[i]));
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }
    sim::ChipPinLimits Limits() const {
        sim::ChipPinLimits l;
        l.chip = Name();
        l.socketPins = {11, 15};
        l.Allow(11, 95).Allow(15, 95);
        return l;
    }
    int highest[2] = {-1, -1}; // pins 11 and 15

  private:
    std::vector<int> pins_ = std::vector<int>(48, 0);
    int watched_[2] = {11, 15};

  public:
    RegisterBlockVppWatch() {
        pins_[10] = 11;
        pins_[14] = 15;
    }
};

// Adapter 'R' moves the 9.2 V of the two-block part from socket pin 11 to 15.
TEST_F(RegisterBlockCpldTest, AdapterRMovesTheProgrammingVoltage) {
    for (const uint8_t adapter : {uint8_t{0}, uint8_t{'R'}}) {
        ASSERT_TRUE(SelectPld("AMD", "MACH111"));
        AdapterCode = adapter;
        socket->Clear();
        elec->WithdrawAllChips();
        auto watch = std::make_unique<RegisterBlockVppWatch>();
        elec->DeclareChip(watch->Limits());
        RegisterBlockVppWatch* w = socket->Insert(std::move(watch));
        EXPECT_EQ(Run(OpErase), 1) << LogText(); // the erase itself checks nothing
        EXPECT_EQ(w->highest[adapter == 'R' ? 1 : 0], 92);
        EXPECT_LT(w->highest[adapter == 'R' ? 0 : 1], 80);
    }
    AdapterCode = 0;
}

// ESC answered No during a read ends it with -1; a program run is not
// stopped by a break and returns 1 with the cells written.
TEST_F(RegisterBlockCpldTest, BreakEndsAReadButNotAProgramRun) {
    sim::BlockCpldChip* chip = SelectAndSeatBlock("MACH111");
    const std::vector<uint8_t> fuses = Pattern(7756, 9);
    LoadFuses(fuses, 52);
    VerifyAfterProgram = 0;
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (uint32_t n = 0; n < 7724; ++n)
        ASSERT_EQ(chip->Cell(n), fuses[n]) << n;

    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1) << LogText();
    EXPECT_LT(chip->ReadRows().size(), 62u);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace
