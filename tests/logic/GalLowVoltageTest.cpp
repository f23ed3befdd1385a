// Rows 220, 232 and 233 end to end: the 24-pin GAL20V8 records and the
// low-voltage parts with the extended ID against their parts in the
// simulator, refusals, injected faults and the edit-mode traffic.
#include <algorithm>

#include "sim/Catalog.h"
#include "sim/IdMemory.h"
#include "sim/Universal.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr uint32_t k16Fuses = 2194;
constexpr uint32_t k20Fuses = 2706;

// A GAL that notes, at every pin change it sees, the supply and the levels
// of some socket pins.
class ObservedGal : public sim::GalChip {
public:
    struct Sample {
        uint64_t us;
        int vcc, edit;
        std::vector<int> levels;
    };
    ObservedGal(const sim::GalPartFacts& f, std::vector<int> watch) : GalChip(f), watch_(std::move(watch)) {}
    void Update(const sim::PinEnvironment& env) override {
        const int vccPin = Part().map == sim::GalMap::Gal16V8 ? 34 : 36;
        const int editPin = Part().map == sim::GalMap::Gal16V8 ? 16 : 14;
        Sample s{env.NowUs(), env.VoltageTenths(vccPin), env.VoltageTenths(editPin), {}};
        for (int p : watch_) s.levels.push_back(env.HeldLow(p) ? 0 : 1);
        if (samples.empty() || s.vcc != samples.back().vcc || s.edit != samples.back().edit ||
            s.levels != samples.back().levels)
            samples.push_back(s);
        GalChip::Update(env);
    }
    std::vector<Sample> samples;

private:
    std::vector<int> watch_;
};

class GalLowVoltageTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    ObservedGal* SeatObserved(const sim::GalPartFacts& f, std::vector<int> watch = {}) {
        socket->Clear();
        elec->WithdrawAllChips();
        auto chip = std::make_unique<ObservedGal>(f, std::move(watch));
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    static uint32_t FusesOf(const sim::GalPartFacts& f) { return f.map == sim::GalMap::Gal16V8 ? k16Fuses : k20Fuses; }
    static uint32_t RowWidth(const sim::GalPartFacts& f) { return f.map == sim::GalMap::Gal16V8 ? 32 : 40; }
};

struct GalLowVoltagePart {
    const char* maker;
    const char* name;
};
const GalLowVoltagePart kRows220[] = {{"LATTICE", "GAL20V8B"},
                         {"LATTICE", "GAL20V8D"},
                         {"NATIONAL-SEMICONDUCTOR", "GAL20V8A"},
                         {"ST", "GAL20V8"}};
const GalLowVoltagePart kExtended[] = {
    {"LATTICE", "GAL16LV8C"}, {"LATTICE", "GAL16LV8D"}, {"LATTICE", "GAL16LV8ZD"}, {"LATTICE", "GAL20LV8D"}};

TEST_F(GalLowVoltageTest, EveryRecordProgramsReadsErasesAndSecures) {
    for (const GalLowVoltagePart& p : kRows220) RunCycle({p.maker, p.name, k20Fuses, 40, 2568, 2560});
    for (const GalLowVoltagePart& p : kExtended) {
        const sim::GalPartFacts& f = GalFacts(p.maker, p.name);
        RunCycle({p.maker, p.name, FusesOf(f), RowWidth(f), FusesOf(f) == k16Fuses ? 2056u : 2568u,
                  FusesOf(f) == k16Fuses ? 2048u : 2560u});
    }
}

// PAL-type files (20R8, 16L8): the image goes into the part and a read
// brings the PAL map back.
TEST_F(GalLowVoltageTest, PalTypeFilesRoundTrip) {
    PalRoundTrip("LATTICE", "GAL20V8D", 18, 1);
    PalRoundTrip("LATTICE", "GAL16LV8D", 14, 0);
    PalRoundTrip("LATTICE", "GAL20LV8D", 18, 1);
}

TEST_F(GalLowVoltageTest, BadIdentityRefusesEveryOperationBeforeAnyFuse) {
    struct Case {
        GalLowVoltagePart part;
        void (*change)(sim::GalPartFacts&);
        const char* line;
    };
    const Case cases[] = {
        {{"LATTICE", "GAL20V8B"}, [](sim::GalPartFacts& f) { f.typeCode = 26; }, " Incorrect device ID"},
        {{"LATTICE", "GAL16LV8C"}, [](sim::GalPartFacts& f) { f.extended.supplyCode = 0x35; }, " Electronic ID Error"},
        {{"LATTICE", "GAL16LV8C"}, [](sim::GalPartFacts& f) { f.typeCode = 0x1C; }, " Electronic ID Error"},
        {{"LATTICE", "GAL16LV8C"}, [](sim::GalPartFacts& f) { f.makerCode = 0x20; }, " Electronic ID Error"},
        {{"LATTICE", "GAL16LV8C"}, [](sim::GalPartFacts& f) { f.makerCode = 0x8F; }, " Electronic ID Error"},
        {{"LATTICE", "GAL20LV8D"}, [](sim::GalPartFacts& f) { f.extended.supplyCode = 0x35; }, " Electronic ID Error"},
        {{"LATTICE", "GAL20LV8D"}, [](sim::GalPartFacts& f) { f.typeCode = 0x1A; }, " Electronic ID Error"},
        {{"LATTICE", "GAL20LV8D"}, [](sim::GalPartFacts& f) { f.makerCode = 0x8F; }, " Electronic ID Error"},
    };
    for (const Case& c : cases) ExpectRefusedEverywhere(Changed(c.part.maker, c.part.name, c.change), c.line);
}

// Every record's part answering another maker's signature or extended ID:
// each run ends at the row's line, nothing written.
TEST_F(GalLowVoltageTest, AnotherIdentityEndsTheRunAtItsLine) {
    const auto refused = [&](const GalLowVoltagePart& p, const char* line) {
        SCOPED_TRACE(std::string(p.maker) + " " + p.name);
        sim::GalChip* chip = SelectAndSeat(p.maker, p.name);
        LoadFuses(Pattern(DeviceSize, 3), FuseRowLength);
        ExpectIdentityRefusedAtItsLine(chip, line);
        EXPECT_EQ(Writes(chip), 0u);
    };
    for (const GalLowVoltagePart& p : kRows220) refused(p, " Incorrect device ID");
    for (const GalLowVoltagePart& p : kExtended) refused(p, " Electronic ID Error");
}

TEST_F(GalLowVoltageTest, CellThatNeverProgramsFailsVerifyAtItsFuse) {
    for (const GalLowVoltagePart& p : {kRows220[0], kExtended[0], kExtended[3]}) ExpectStuckCellFailsVerify(p.maker, p.name);
}

// A user break in the program walk: powered down, reported as a break.
TEST_F(GalLowVoltageTest, UserBreakInProgramIsABreak) {
    for (const GalLowVoltagePart& p : {kRows220[1], kExtended[1], kExtended[3]}) ExpectProgramBreak(p.maker, p.name);
}

// The supply code decides the programming supply; the part's own needs
// decide whether anything is written.
TEST_F(GalLowVoltageTest, ProgrammingSupplyAndPulseFollowTheExtendedId) {
    struct Case {
        const char* name;
        void (*change)(sim::GalPartFacts&);
        int vccTenths; // of the writes; 0: nothing may program
    };
    const Case cases[] = {
        {"GAL16LV8C", [](sim::GalPartFacts&) {}, 33},                                   // 25h
        {"GAL16LV8ZD", [](sim::GalPartFacts&) {}, 50},                                  // 15h
        {"GAL16LV8C", [](sim::GalPartFacts& f) { f.programVccTenths = 50; }, 0},       // says 25h, needs 5 V
        {"GAL16LV8C", [](sim::GalPartFacts& f) { f.extended.programCode = 14; }, 0},   // reserved: 0 us
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SelectPld("LATTICE", c.name));
        sim::GalChip* chip = Reseat(Changed("LATTICE", c.name, c.change));
        LoadFuses(Pattern(k16Fuses, 5), 32);
        EXPECT_EQ(Run(OpProgram), c.vccTenths != 0 ? 1 : -1) << LogText();
        if (c.vccTenths == 0) {
            EXPECT_TRUE(chip->Blank());
            EXPECT_TRUE(HasLine("Verification error!"));
            continue;
        }
        const uint32_t pulse = chip->ProgramUs();
        for (const auto& s : chip->Strobes()) {
            if (!s.write) continue;
            EXPECT_NEAR(s.vccTenths, c.vccTenths, 1);
            EXPECT_NEAR(s.editTenths, chip->ProgramTenths(), 1);
            EXPECT_GE(s.widthUs, pulse);
            EXPECT_LT(s.widthUs, pulse + 1100);
        }
        ExpectNoViolations();
    }
}

// Types 1Bh / 1Fh / 3Bh / 3Fh add row 45, the OR of the array rows.
TEST_F(GalLowVoltageTest, OrRowFollowsTheTypeCode) {
    struct Case {
        const char* name;
        uint8_t type;
        size_t writes;
    };
    const Case cases[] = {{"GAL16LV8C", 0x1A, 34}, {"GAL16LV8C", 0x1B, 35}, {"GAL16LV8C", 0x1E, 34},
                          {"GAL16LV8C", 0x1F, 35}, {"GAL20LV8D", 0x3A, 42}, {"GAL20LV8D", 0x3B, 43},
                          {"GAL20LV8D", 0x3E, 42}, {"GAL20LV8D", 0x3F, 43}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        ASSERT_TRUE(SelectPld("LATTICE", c.name));
        sim::GalPartFacts f = GalFacts("LATTICE", c.name);
        f.typeCode = c.type;
        f.orRow = true; // the cells exist either way; only the type asks for them
        sim::GalChip* chip = Reseat(f);
        const uint32_t fuses = FusesOf(f), rows = RowWidth(f);
        std::vector<uint8_t> map(fuses, 0);
        map[5 * rows + 3] = 1;  // bit 5 of row 3
        map[9 * rows + rows - 1] = 1;
        LoadFuses(map, rows);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Writes(chip), c.writes);
        const bool orRow = c.writes % 2 == 1;
        EXPECT_EQ(LastWrite(chip), orRow ? 45 : 60);
        for (int i = 0; i < 64; ++i) EXPECT_EQ(chip->OrRowCell(i), !orRow || i == 5 || i == 9 ? 1 : 0) << i;
        // Read leaves the OR row alone; the buffer's ID area is rewritten, the map untouched.
        for (uint32_t i = 0; i < 64; ++i) SetBufferBit(GalExtendedIdFuse + i, 1);
        EXPECT_EQ(Run(OpVerify), 1);
        EXPECT_EQ(GetBufferBits(GalExtendedIdFuse + 16, 8), c.type);
        EXPECT_EQ(GetBufferBits(GalExtendedIdFuse + 24, 8), 0xA1u);
        EXPECT_EQ(GetBufferBits(GalExtendedIdFuse + 56, 8), 0u);
        EXPECT_EQ(UserFuses(fuses), map);
    }
}

// Row 220: group 2 low before the supply comes on, and kept driven.
// Row 220's own programming table, written out from the table's text.
TEST_F(GalLowVoltageTest, Row220EveryProgrammingTableEntry) {
    ExpectProgrammingTable("LATTICE", "GAL20V8B",
                           {{0, 0x8F, 157, 90}, {1, 0x8F, 157, 90}, {2, 0x8F, 165, 15}, {3, 0x8F, 155, 15},
                            {4, 0x8F, 150, 50}, {5, 0x8F, 140, 10}, {0, 0xA1, 157, 80}, {1, 0xA1, 157, 80},
                            {2, 0xA1, 165, 10}, {3, 0xA1, 145, 40}, {4, 0xA1, 140, 80}, {5, 0x20, 140, 10}});
}

TEST_F(GalLowVoltageTest, Row220DrivesGroupTwoLowBeforeTheSupply) {
    ASSERT_TRUE(SelectPld("LATTICE", "GAL20V8B"));
    ObservedGal* chip = SeatObserved(GalFacts("LATTICE", "GAL20V8B"), {13, 18, 19, 26, 35});
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    bool powered = false;
    for (const auto& s : chip->samples) {
        if (s.vcc > 0 && !powered) {
            powered = true;
            EXPECT_EQ(s.levels, std::vector<int>(5, 0)) << s.us;
        }
    }
    EXPECT_TRUE(powered);
    EXPECT_EQ(chip->samples.back().levels, std::vector<int>(5, 0)); // driven after power-down
    ExpectNoViolations();
}

// DAC writes of a register trace: channel (1-4), code, time.
struct DacWrite {
    int channel;
    int code;
    uint64_t us;
    int Tenths() const { return (sim::DacCodeToMillivolts(channel, code) + 50) / 100; }
};
std::vector<DacWrite> DacWrites(const std::vector<sim::RegisterAccess>& trace, int channel) {
    std::vector<DacWrite> w;
    int selected = 1;
    for (const auto& a : trace) {
        if (!a.write) continue;
        if (a.reg == 13) selected = (a.value & 3) + 1;
        if (a.reg == 18 && selected == channel) w.push_back({channel, a.value, a.timeUs});
    }
    return w;
}

// Rows 232/233: 3.3 V power-up; the edit voltage ramped 2.0 -> 10.0 V in
// 0.5 V steps, then in 0.1 V steps of 1 ms; a 15h part raised on channel 4
// from 2.2 V before register 25 takes 0, 1, 2 (clearing range bits 0-2);
// the edit voltage comes down to 2.0 V; each row load lasts the ID's time.
TEST_F(GalLowVoltageTest, ExtendedIdSupplyAndEditVoltageTraffic) {
    ASSERT_TRUE(SelectPld("LATTICE", "GAL16LV8ZD"));
    ObservedGal* chip = SeatObserved(GalFacts("LATTICE", "GAL16LV8ZD"));
    LoadFuses(Pattern(k16Fuses, 9), 32);
    simp.EnableTrace(true);
    VerifyAfterProgram = 0;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    auto firstVcc = std::find_if(chip->samples.begin(), chip->samples.end(), [](const auto& x) { return x.vcc > 0; });
    ASSERT_NE(firstVcc, chip->samples.end());
    EXPECT_NEAR(firstVcc->vcc, 33, 1);

    const std::vector<DacWrite> edit = DacWrites(simp.RegisterTrace(), 2);
    const int program = chip->ProgramTenths();
    auto at = [&](int tenths) {
        return std::find_if(edit.begin(), edit.end(), [&](const DacWrite& w) { return w.Tenths() >= tenths; });
    };
    const auto from2V = std::find_if(edit.begin(), edit.end(), [](const DacWrite& w) { return w.code == 20 + 8; });
    const auto at10V = at(100), atProgram = at(program - 1);
    ASSERT_NE(from2V, edit.end());
    ASSERT_NE(atProgram, edit.end());
    EXPECT_EQ(at10V - from2V, 16); // 2.5, 3.0, ... 10.0 V
    EXPECT_GE(atProgram - at10V, program - 100 - 2);
    EXPECT_GE(atProgram->us - at10V->us, static_cast<uint64_t>(program - 100 - 2) * 1000);
    EXPECT_NEAR(std::max_element(edit.begin(), edit.end(), [](auto& x, auto& y) { return x.code < y.code; })->Tenths(),
                program, 1);
    const auto last = std::find_if(edit.rbegin(), edit.rend(), [](const DacWrite& w) { return w.code != 0; });
    ASSERT_NE(last, edit.rend());
    EXPECT_EQ(last->code, 20 + 8); // down to 2.0 V before release

    // Register 25 takes 0, 1, 2 (and nothing more: the reset sweep goes on to 7).
    std::vector<std::pair<uint8_t, uint64_t>> reg25;
    for (const auto& a : simp.RegisterTrace())
        if (a.write && a.reg == 25) reg25.emplace_back(a.value, a.timeUs);
    uint64_t clearUs = 0;
    for (size_t k = 0; k + 2 < reg25.size(); ++k) {
        if (reg25[k].first == 0 && reg25[k + 1].first == 1 && reg25[k + 2].first == 2 &&
            (k + 3 == reg25.size() || reg25[k + 3].first != 3))
            clearUs = reg25[k].second;
    }
    ASSERT_NE(clearUs, 0u);
    // Before it, channel 4 went from 2.2 V to 3.9 V in 0.1 V steps.
    const std::vector<DacWrite> supply = DacWrites(simp.RegisterTrace(), 4);
    auto end = std::find_if(supply.begin(), supply.end(), [&](const DacWrite& w) { return w.us > clearUs; });
    auto raise = end;
    while (raise != supply.begin() && (raise == end || raise->code != 22 + 8)) --raise;
    EXPECT_EQ(raise->code, 22 + 8);
    EXPECT_EQ(end - raise, 39 - 22 + 2); // each step, then the end value once more
    EXPECT_EQ(elec->RangeBits() & 0x07, 0);

    simp.EnableTrace(false);
    chip->ClearStrobes();
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    const uint32_t strobe = chip->LoadStrobeUs();
    ASSERT_EQ(chip->Strobes().size(), 35u);
    for (size_t k = 1; k < chip->Strobes().size(); ++k) {
        EXPECT_GE(chip->Strobes()[k].widthUs, strobe);
        EXPECT_LT(chip->Strobes()[k].widthUs, strobe + 30);
    }
    ExpectNoViolations();
}

// Rows 232/233 power-down: the edit voltage (DAC channel 2) goes from the
// read edit voltage down to 10.0 V in 1.0 V steps, stays 10 us at 10.0 V,
// goes down to 2.0 V in 1.0 V steps and only then is supply A switched off,
// whatever voltage the walk left it at (the programming one after a write).
class ExtendedPowerDownRamp : public GalLowVoltageTest {
protected:
    // The levels channel 2 takes, each with the time it was first set.
    struct Level {
        int tenths;
        uint64_t us;
    };
    // Levels the text asks for from read edit voltage `read`: down to
    // 10.0 V by 1.0 V, then from 10.0 V down to 2.0 V by 1.0 V.
    static std::vector<int> Expected(int read) {
        std::vector<int> e;
        for (int v = read; v >= 100; v -= 10) e.push_back(v);
        if (e.empty() || e.back() != 100) e.push_back(100);
        for (int v = 90; v >= 20; v -= 10) e.push_back(v);
        return e;
    }
    void Check(const char* name, int op, std::vector<int> watch) {
        SCOPED_TRACE(name);
        SCOPED_TRACE(op);
        ASSERT_TRUE(SelectPld("LATTICE", name));
        sim::GalPartFacts f = GalFacts("LATTICE", name);
        f.extended.programVolt = 18; // 14.0 V
        f.extended.readVolt = 15;    // 12.5 V, off the programming level's 1.0 V grid
        ObservedGal* chip = SeatObserved(f, watch);
        const uint32_t fuses = FusesOf(f);
        LoadFuses(Pattern(fuses, 3), RowWidth(f));
        VerifyAfterProgram = 0;
        simp.EnableTrace(true);
        ASSERT_EQ(Run(op), 1) << LogText();
        simp.EnableTrace(false);

        // Supply A switching the edit pin off ends the power-down; it starts
        // when the held-low pins are floated, the last time before that.
        size_t off = 0;
        for (size_t k = 1; k < chip->samples.size(); ++k)
            if (chip->samples[k].edit <= 0 && chip->samples[k - 1].edit > 0) off = k;
        ASSERT_NE(off, 0u);
        uint64_t downUs = 0;
        const std::vector<int> floated(watch.size(), 1);
        for (size_t k = 1; k < off; ++k)
            if (chip->samples[k].levels == floated && chip->samples[k - 1].levels != floated)
                downUs = chip->samples[k].us;
        ASSERT_NE(downUs, 0u);

        // The channel-2 levels from then until the last non-zero one.
        std::vector<Level> levels;
        for (const DacWrite& w : DacWrites(simp.RegisterTrace(), 2)) {
            if (w.us < downUs) continue;
            if (w.code == 0) break;
            if (levels.empty() || levels.back().tenths != w.Tenths()) levels.push_back({w.Tenths(), w.us});
        }
        std::vector<int> seen;
        for (const Level& l : levels) seen.push_back(l.tenths);
        const int read = 50 + 5 * f.extended.readVolt;
        // Each level within the DAC's 0.2 V resolution of the one asked for.
        const std::vector<int> want = Expected(read);
        ASSERT_EQ(seen.size(), want.size()) << ::testing::PrintToString(seen);
        for (size_t k = 0; k < want.size(); ++k) EXPECT_NEAR(seen[k], want[k], 2) << k;
        // A wait of 10 us at 10.0 V between the two ramps: the time there is at
        // least 10 us longer than any other step, which only sets the DAC.
        auto at10 = std::find_if(levels.begin(), levels.end(), [](const Level& l) { return l.tenths == 100; });
        ASSERT_NE(at10, levels.end());
        ASSERT_NE(at10 + 1, levels.end());
        uint64_t longestStep = 0;
        for (auto l = levels.begin(); l + 1 != levels.end(); ++l)
            if (l != at10) longestStep = std::max(longestStep, (l + 1)->us - l->us);
        EXPECT_GE((at10 + 1)->us - at10->us, longestStep + 10);

        // 2.0 V is reached before supply A leaves the edit pin.
        EXPECT_GE(chip->samples[off].us, levels.back().us);
        ExpectNoViolations();
    }
};

TEST_F(ExtendedPowerDownRamp, Row232AfterBlankCheckAndAfterProgram) {
    Check("GAL16LV8C", OpBlankCheck, {15, 32, 33});
    Check("GAL16LV8C", OpProgram, {15, 32, 33});
}

TEST_F(ExtendedPowerDownRamp, Row233AfterBlankCheckAndAfterProgram) {
    Check("GAL20LV8D", OpBlankCheck, {33, 34});
    Check("GAL20LV8D", OpProgram, {33, 34});
}

} // namespace
