// Rows 246, 244 and 245 end to end against the secured word model: every record
// through the driver, the security check of every entry, the pulse trains
// and their 50 ms cap, row 245's learned margin pulse and pin maps, the
// walks' coverage and a user break.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "engine/NeighbourState.h"
#include "sim/SecuredWordChip.h"
#include "sim/WideWordEpldChip.h"
#include "tests/logic/PldFixture.h"

namespace {

struct SecuredWordRecord {
    const char* name;
    uint32_t row, variant, fuses, rowWidth;
    uint32_t pulseUs;
    uint32_t firstFuse; // a fuse of the first word walked
};
constexpr SecuredWordRecord kSecuredWordRecords[] = {
    {"UVEPLD5828S", 246, 0, 5828, 44, 1000, 88},    {"UVEPLD5828S-LV", 246, 1, 5828, 44, 1000, 88},
    {"UVEPLD14394", 244, 0, 14394, 84, 1000, 0},    {"UVEPLD14435", 244, 1, 14435, 84, 100, 0},
    {"UVEPLD14364", 244, 2, 14364, 84, 100, 0},
};
constexpr const char* kSecuredWordMaker = "GENERIC-ALGORITHM";
constexpr uint32_t kSecuredWordNoCell = 14394; // the 750B map has no cell there

class SecuredWordEpldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    sim::SecuredWordChip* Seat(const SecuredWordRecord& r) {
        const sim::SecuredWordFacts* f = sim::FindFacts<sim::SecuredWordFacts>(kSecuredWordMaker, r.name);
        EXPECT_NE(f, nullptr) << r.name;
        EXPECT_TRUE(SelectPld(kSecuredWordMaker, r.name)) << r.name;
        EXPECT_EQ(CurrentAlgorithm, r.row);
        EXPECT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(DeviceVariant, r.variant);
        return f ? SeatAlone<sim::SecuredWordChip>(*f) : nullptr;
    }
    static bool NoCell(const SecuredWordRecord& r, uint32_t n) { return r.variant == 1 && r.row == 244 && n == kSecuredWordNoCell; }
    static std::vector<uint8_t> Programmed(const SecuredWordRecord& r, const sim::SecuredWordChip* chip) {
        std::vector<uint8_t> p(r.fuses);
        for (uint32_t n = 0; n < r.fuses; ++n) p[n] = !NoCell(r, n) && chip->Programmed(n) ? 1 : 0;
        return p;
    }
    static std::vector<uint8_t> Only(uint32_t count, uint32_t fuse) {
        std::vector<uint8_t> f(count, 0);
        f[fuse] = 1;
        return f;
    }
    // Every entry refuses the part, powered down, with nothing pulsed.
    void ExpectRefused(const sim::SecuredWordChip* chip) {
        const size_t pulses = chip->Pulses().size();
        for (int op : {OpBlankCheck, OpRead, OpProgram, OpSecurity}) {
            SCOPED_TRACE(op);
            EXPECT_EQ(Run(op), -1);
            EXPECT_TRUE(HasLine(" Device Secured!")) << LogText();
            EXPECT_TRUE(elec->SuppliedPins().empty());
        }
        EXPECT_EQ(chip->Pulses().size(), pulses);
    }
};

// Every record: blank check, program with the verify, read into a cleared
// buffer, the saved file keeps its "C" field; Secure without a read-back;
// the secured part is then refused by every entry.
TEST_F(SecuredWordEpldTest, EveryRecordThroughTheDriverThenSecured) {
    for (const SecuredWordRecord& r : kSecuredWordRecords) {
        SCOPED_TRACE(r.name);
        sim::SecuredWordChip* chip = Seat(r);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        std::vector<uint8_t> fuses = Pattern(r.fuses, r.row + r.variant);
        LoadFuses(fuses, r.rowWidth);
        if (NoCell(r, kSecuredWordNoCell))
            ExpectCelllessRefused(fuses, kSecuredWordNoCell, r.rowWidth, chip->Pulses());
        VerifyAfterProgram = 1;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        VerifyAfterProgram = 0;
        EXPECT_EQ(Programmed(r, chip), fuses);
        EXPECT_FALSE(chip->Secured());
        ClearUserMap(r.fuses);
        if (NoCell(r, kSecuredWordNoCell)) SetBufferBit(kSecuredWordNoCell, 1); // the part's 0 replaces it
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Secured());
        ExpectRefused(chip);
        EXPECT_EQ(Programmed(r, chip), fuses);
        ExpectNoViolations();
    }
}

// A file setting fuse 14394 alone, which the 750B has no cell for: Program
// and Verify refuse it before any pin moves (it used to program "ok" and
// read back as the buffer held it); the file without it programs.
TEST_F(SecuredWordEpldTest, FileSettingTheCelllessFuseIsRefused) {
    const SecuredWordRecord& r = kSecuredWordRecords[3];
    sim::SecuredWordChip* chip = Seat(r);
    std::vector<uint8_t> fuses(r.fuses, 0);
    ExpectCelllessRefused(fuses, kSecuredWordNoCell, r.rowWidth, chip->Pulses());
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Programmed(r, chip), fuses);
    ExpectNoViolations();
}

// Each row and variant: the first word, whose cells need the last allowed
// pulse (124), passes with that many pulses of the set's width and one
// over-pulse (at most 50 ms; a width past 1 ms runs in whole milliseconds);
// one more needed pulse fails there without an over-pulse.
TEST_F(SecuredWordEpldTest, PulseTrainsPassAtTheLastPulseAndFailPastIt) {
    for (const SecuredWordRecord& r : kSecuredWordRecords) {
        SCOPED_TRACE(r.name);
        sim::SecuredWordChip* chip = Seat(r);
        chip->SetPulsesNeeded(124);
        SetUserFuses(Only(r.fuses, r.firstFuse));
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        const std::vector<uint64_t>& p = chip->Pulses();
        ASSERT_GE(p.size(), 125u);
        for (size_t i = 0; i < 124; ++i) {
            EXPECT_GE(p[i], r.pulseUs);
            EXPECT_LT(p[i], r.pulseUs + 50);
        }
        const uint64_t over = r.row == 246 ? 3000 : 50000;
        EXPECT_GE(p[124], over);
        EXPECT_LT(p[124], over + 1100);
        EXPECT_EQ(Programmed(r, chip), Only(r.fuses, r.firstFuse));

        chip = Seat(r);
        chip->SetPulsesNeeded(125);
        SetUserFuses(Only(r.fuses, r.firstFuse));
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        EXPECT_EQ(chip->Pulses().size(), 124u);
        EXPECT_FALSE(chip->Programmed(r.firstFuse));
        ExpectNoViolations();
    }
}

// The hold pin takes VPP 25 ms after the supply on row 246, 1 ms after it
// on row 244.
TEST_F(SecuredWordEpldTest, HoldPinAfterThePowerUp) {
    for (const SecuredWordRecord& r : {kSecuredWordRecords[0], kSecuredWordRecords[2]}) {
        SCOPED_TRACE(r.name);
        sim::SecuredWordChip* chip = Seat(r);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        const uint64_t wait = r.row == 246 ? 25000 : 1000;
        EXPECT_GE(chip->HoldAfterPowerUs(), wait);
        EXPECT_LT(chip->HoldAfterPowerUs(), wait + 2500); // the timer's millisecond and the set-up
    }
}

// A word that will not take reports the cell that stays wrong, not the
// last fuse gathered into the word.
TEST_F(SecuredWordEpldTest, FailingWordReportsItsWrongCell) {
    struct Case {
        const SecuredWordRecord& r;
        uint32_t first, stuck; // two fuses of the first word
        const char* line;
    };
    for (const Case& c : {Case{kSecuredWordRecords[0], 88, 484, " Fail address : 484(1E4h)"},
                          Case{kSecuredWordRecords[3], 0, 1092, " Fail address : 1092(444h)"}}) {
        SCOPED_TRACE(c.r.name);
        sim::SecuredWordChip* chip = Seat(c.r);
        chip->StickCell(c.stuck);
        std::vector<uint8_t> fuses(c.r.fuses, 0);
        fuses[c.first] = fuses[c.stuck] = 1;
        SetUserFuses(fuses);
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine(c.line)) << LogText();
        EXPECT_TRUE(chip->Programmed(c.first));
    }
}

// Row 244 variant 0's over-pulse is 19 ms per pulse used: 38 ms after two
// pulses, capped at 50 ms from the third; variant 1's 500 us per pulse.
TEST_F(SecuredWordEpldTest, Row244OverPulses) {
    struct Case {
        const SecuredWordRecord* r;
        int needed;
        uint64_t over;
    };
    const Case cases[] = {{&kSecuredWordRecords[2], 1, 19000}, {&kSecuredWordRecords[2], 2, 38000},
                          {&kSecuredWordRecords[2], 3, 50000}, {&kSecuredWordRecords[2], 9, 50000},
                          {&kSecuredWordRecords[3], 9, 4500}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.r->name) + " " + std::to_string(c.needed));
        sim::SecuredWordChip* chip = Seat(*c.r);
        chip->SetPulsesNeeded(c.needed);
        SetUserFuses(Only(c.r->fuses, c.r->firstFuse));
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ASSERT_GT(chip->Pulses().size(), static_cast<size_t>(c.needed));
        const uint64_t over = chip->Pulses()[static_cast<size_t>(c.needed)];
        EXPECT_GE(over, c.over);
        EXPECT_LT(over, c.over + 1100);
    }
    ExpectNoViolations();
}

// Row 244: variant 2 writes nothing at the control column (no architecture
// cells); variants 0 and 1 write their three and seven architecture words.
TEST_F(SecuredWordEpldTest, Row244ArchitectureWordsByVariant) {
    const uint32_t words[] = {3, 7, 0};
    for (uint32_t v = 0; v < 3; ++v) {
        const SecuredWordRecord& r = kSecuredWordRecords[2 + v];
        SCOPED_TRACE(r.name);
        sim::SecuredWordChip* chip = Seat(r);
        std::vector<uint8_t> all(r.fuses, 1);
        if (NoCell(r, kSecuredWordNoCell)) all[kSecuredWordNoCell] = 0; // a file setting it is refused
        SetUserFuses(all);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(chip->ControlColumnPulses(), 2 * words[v]); // a pulse and an over-pulse each
        EXPECT_FALSE(chip->Secured());
    }
    ExpectNoViolations();
}

// Each walk reads every fuse below the fuse count: an all-programmed part
// fills a cleared buffer, an erased one clears a filled buffer (the 750B's
// 14394, which has no cell, reads 0 both times); the round trip above shows
// no fuse is read from a cell not its own.
TEST_F(SecuredWordEpldTest, ReadWalksCoverEveryFuse) {
    for (const SecuredWordRecord& r : kSecuredWordRecords) {
        SCOPED_TRACE(r.name);
        sim::SecuredWordChip* chip = Seat(r);
        for (uint32_t n = 0; n < chip->CellCount(); ++n) chip->SetCell(n, 0);
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        std::vector<uint8_t> expect(r.fuses, 1);
        if (NoCell(r, kSecuredWordNoCell)) expect[kSecuredWordNoCell] = 0;
        EXPECT_EQ(UserFuses(r.fuses), expect);
        chip->UvErase();
        SetUserFuses(std::vector<uint8_t>(r.fuses, 1));
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        for (auto& b : expect) b = 1 - b;
        if (NoCell(r, kSecuredWordNoCell)) expect[kSecuredWordNoCell] = 0;
        EXPECT_EQ(UserFuses(r.fuses), expect);
    }
    ExpectNoViolations();
}

// A security word that never takes is reported as a failed Secure.
TEST_F(SecuredWordEpldTest, SecureThatDoesNotTakeFails) {
    for (const SecuredWordRecord* r : {&kSecuredWordRecords[0], &kSecuredWordRecords[3]}) {
        SCOPED_TRACE(r->name);
        sim::SecuredWordChip* chip = Seat(*r);
        chip->SetPulsesNeeded(125);
        EXPECT_EQ(Run(OpSecurity), -1);
        EXPECT_TRUE(HasLine("Security error!")) << LogText();
        EXPECT_FALSE(chip->Secured());
        EXPECT_EQ(chip->Pulses().size(), 124u);
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
    ExpectNoViolations();
}

// ESC answered No during a read walk ends it as a failure, powered down.
TEST_F(SecuredWordEpldTest, UserBreakInReadWalk) {
    for (const SecuredWordRecord* r : {&kSecuredWordRecords[0], &kSecuredWordRecords[2]}) {
        SCOPED_TRACE(r->name);
        Seat(*r);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), -1) << LogText();
        EXPECT_TRUE(HasLine("Read error!")) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// ---- row 245 -----------------------------------------------------------------

struct WideWordRecord {
    const char* name;
    uint32_t subVariant, fuses;
    bool adapter;
};
constexpr WideWordRecord kWideWordRecords[] = {
    {"UVEPLD71648", 0, 71648, false},
    {"UVEPLD71745", 1, 71745, false},
    {"UVEPLD71648-PLCC", 0, 71648, true},
    {"UVEPLD71745-PLCC", 1, 71745, true},
};
constexpr uint32_t kWideFirstFuse = 2924; // bit 0 of the first word walked
constexpr uint32_t kWideNoCell = 71648;    // no cell on the parts with the extra words

// Calls a hook when the progress display is cleared.
class ClearHookUi : public BreakingUi {
public:
    std::function<void()> OnClear;
    void SetStatusPanel(int panel, const std::string& text) override {
        BreakingUi::SetStatusPanel(panel, text);
        if (panel == 0 && text.empty() && OnClear) OnClear();
    }
};

class WideWordEpldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    void TearDown() override {
        InstallUiBridge(&ui);
        PldRun::TearDown();
    }
    // Runs report to hookUi; its lines are the run's log.
    void UseHookUi() {
        InstallUiBridge(&hookUi);
        hooked_ = true;
    }
    const std::vector<std::string>& RecordedLines() const override { return hooked_ ? hookUi.Log : ui.Log; }
    int RunHooked(int op) {
        const size_t start = hookUi.Log.size();
        const int r = Run(op);
        runStart_ = start;
        return r;
    }
    ClearHookUi hookUi;
    bool hooked_ = false;
    sim::WideWordEpldChip* Seat(const WideWordRecord& r) {
        const sim::WideWordEpldFacts* f = sim::FindFacts<sim::WideWordEpldFacts>(kSecuredWordMaker, r.name);
        EXPECT_NE(f, nullptr) << r.name;
        EXPECT_TRUE(SelectPld(kSecuredWordMaker, r.name)) << r.name;
        EXPECT_EQ(CurrentAlgorithm, 245u);
        EXPECT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(DeviceSubVariant, r.subVariant);
        EXPECT_EQ(AdapterCode != 0, r.adapter);
        return f ? SeatAlone<sim::WideWordEpldChip>(*f) : nullptr;
    }
    static std::vector<uint8_t> Programmed(const WideWordRecord& r, const sim::WideWordEpldChip* chip) {
        std::vector<uint8_t> p(r.fuses);
        for (uint32_t n = 0; n < r.fuses; ++n)
            p[n] = sim::WideWordEpldChip::HasCell(r.subVariant == 1, n) && chip->Programmed(n) ? 1 : 0;
        return p;
    }
};

// Every record: blank check, program with the verify, read into a cleared
// buffer, the "C" field; Secure without a read-back; then every entry
// refuses the part. The pattern leaves the fuses without a cell clear.
TEST_F(WideWordEpldTest, EveryRecordThroughTheDriverThenSecured) {
    for (const WideWordRecord& r : kWideWordRecords) {
        SCOPED_TRACE(r.name);
        sim::WideWordEpldChip* chip = Seat(r);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        std::vector<uint8_t> fuses = Pattern(r.fuses, 245 + r.subVariant);
        fuses[sim::WideWordEpldChip::kSharedSecurityFuse] = 0; // Secure's cell (FileSettingTheSecurityFuseIsRefused)
        LoadFuses(fuses, 172);
        if (r.fuses > kWideNoCell) ExpectCelllessRefused(fuses, kWideNoCell, 172, chip->Pulses());
        VerifyAfterProgram = 1;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        VerifyAfterProgram = 0;
        EXPECT_EQ(Programmed(r, chip), fuses);
        ClearUserMap(r.fuses);
        if (r.fuses > kWideNoCell) SetBufferBit(kWideNoCell, 1); // the part's 0 replaces it
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Secured());
        const size_t pulses = chip->Pulses().size();
        for (int op : {OpBlankCheck, OpRead, OpProgram, OpSecurity}) {
            SCOPED_TRACE(op);
            EXPECT_EQ(Run(op), -1);
            EXPECT_TRUE(HasLine(" Device Secured!")) << LogText();
            EXPECT_TRUE(elec->SuppliedPins().empty());
        }
        EXPECT_EQ(chip->Pulses().size(), pulses);
        ExpectNoViolations();
    }
}

// Fuse 44675 (the word of row 16 at column 127, bit 7) is the security
// cell: a file that sets it is refused before any word is written, naming
// the fuse, and the part stays open; Secure still sets the cell.
TEST_F(WideWordEpldTest, FileSettingTheSecurityFuseIsRefused) {
    sim::WideWordEpldChip* chip = Seat(kWideWordRecords[0]);
    std::vector<uint8_t> fuses(71648, 0);
    fuses[kWideFirstFuse] = 1;
    fuses[44675] = 1;
    SetUserFuses(fuses);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(HasLine(" Fuse 44675 (security) is programmed in the file; use Secure to set it.")) << LogText();
    EXPECT_TRUE(HasLine(" Fail address : 44675(AE83h)")) << LogText();
    EXPECT_TRUE(chip->Pulses().empty());
    EXPECT_FALSE(chip->Secured());
    EXPECT_TRUE(elec->SuppliedPins().empty());
    fuses[44675] = 0;
    SetUserFuses(fuses);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_FALSE(chip->Secured());
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    EXPECT_TRUE(chip->Secured());
    ExpectNoViolations();
}

// A file setting fuse 71648 alone, which the parts with the extra words
// have no cell for: refused by Program and Verify before any pin moves, on
// either pin map.
TEST_F(WideWordEpldTest, FileSettingTheCelllessFuseIsRefused) {
    for (const WideWordRecord& r : {kWideWordRecords[1], kWideWordRecords[3]}) {
        SCOPED_TRACE(r.name);
        sim::WideWordEpldChip* chip = Seat(r);
        std::vector<uint8_t> fuses(r.fuses, 0);
        ExpectCelllessRefused(fuses, kWideNoCell, 172, chip->Pulses());
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Programmed(r, chip), fuses);
    }
    ExpectNoViolations();
}

// The programming pass learns the pulses the words needed (over-pulse 300 us
// each); after the progress is cleared the margin pass gives a word that
// still agrees no pulse, and a word that lost a cell one pulse of 400 us x
// the learned count. Waits past 1 ms run in whole milliseconds of the
// timer (up to 1 ms longer), so the count is large enough that 300 and
// 400 us per pulse fall in windows of their own.
TEST_F(WideWordEpldTest, MarginPassPulsesOnlyDisagreeingWords) {
    UseHookUi();
    for (bool loseCell : {false, true}) {
        SCOPED_TRACE(loseCell);
        sim::WideWordEpldChip* chip = Seat(kWideWordRecords[0]);
        chip->SetPulsesNeeded(20);
        size_t atClear = 0;
        hookUi.OnClear = [&] {
            if (chip->Pulses().empty() || elec->SuppliedPins().empty() || atClear != 0) return;
            atClear = chip->Pulses().size();
            if (loseCell) chip->SetCell(kWideFirstFuse, 1);
        };
        std::vector<uint8_t> fuses(71648, 0);
        fuses[kWideFirstFuse] = 1;
        SetUserFuses(fuses);
        EXPECT_EQ(RunHooked(OpProgram), 1) << LogText();
        const std::vector<uint64_t>& p = chip->Pulses();
        ASSERT_GT(atClear, 21u);
        for (size_t i = 0; i < 20; ++i) EXPECT_LT(p[i], 150u);
        EXPECT_GE(p[20], 6000u); // the over-pulse: 300 us x 20
        EXPECT_LT(p[20], 7100u);
        ASSERT_EQ(p.size(), atClear + (loseCell ? 1 : 0));
        if (loseCell) {
            EXPECT_GE(p.back(), 8000u); // 400 us x 20
            EXPECT_LT(p.back(), 9100u);
        }
        EXPECT_TRUE(chip->Programmed(kWideFirstFuse));
        ExpectNoViolations();
    }
}

// A word past 124 pulses fails the programming pass, with no margin pass;
// a security cell that does not take fails Secure.
TEST_F(WideWordEpldTest, WordsPastTheLastPulseFail) {
    UseHookUi();
    bool cleared = false; // between the passes, with the part powered
    hookUi.OnClear = [&] { cleared = cleared || !elec->SuppliedPins().empty(); };
    sim::WideWordEpldChip* chip = Seat(kWideWordRecords[1]);
    chip->SetPulsesNeeded(124);
    std::vector<uint8_t> fuses(71745, 0);
    fuses[kWideFirstFuse] = 1;
    SetUserFuses(fuses);
    EXPECT_EQ(RunHooked(OpProgram), 1) << LogText();
    EXPECT_TRUE(cleared);

    chip = Seat(kWideWordRecords[1]);
    chip->SetPulsesNeeded(125);
    cleared = false;
    SetUserFuses(fuses);
    EXPECT_EQ(RunHooked(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_FALSE(cleared);
    EXPECT_EQ(chip->Pulses().size(), 124u);
    EXPECT_TRUE(elec->SuppliedPins().empty());

    chip = Seat(kWideWordRecords[1]);
    chip->SetPulsesNeeded(125);
    EXPECT_EQ(RunHooked(OpSecurity), -1);
    EXPECT_TRUE(HasLine("Security error!")) << LogText();
    EXPECT_FALSE(chip->Secured());
    ExpectNoViolations();
}

// The pins by adapter reach the socket pin map (all but the fourth data
// pin); the read walk reaches every fuse below the fuse count, 71648 (no
// cell) reads 0 whatever the buffer held (fuse 44675 shares the security
// cell's place and reads it).
TEST_F(WideWordEpldTest, PinMapsAndReadCoverage) {
    const uint32_t dip[25] = {21, 22, 23, 26, 27, 41, 42, 43, 44, 5, 6, 7, 33, 31, 29,
                              17, 19, 35, 37, 39, 13, 11, 9, 24, 25};
    const uint32_t plcc[25] = {21, 22, 23, 26, 27, 43, 44, 45, 46, 3, 4, 5, 34, 32, 30,
                               17, 19, 37, 39, 41, 12, 10, 8, 24, 25};
    for (const WideWordRecord& r : kWideWordRecords) {
        SCOPED_TRACE(r.name);
        sim::WideWordEpldChip* chip = Seat(r);
        for (uint32_t n = 0; n < chip->CellCount(); ++n) chip->SetCell(n, 0);
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(std::vector<uint32_t>(SocketPinMap, SocketPinMap + 25),
                  std::vector<uint32_t>(r.adapter ? plcc : dip, (r.adapter ? plcc : dip) + 25));
        std::vector<uint8_t> expect(r.fuses, 1);
        if (r.fuses > 71648) expect[71648] = 0;
        expect[sim::WideWordEpldChip::kSharedSecurityFuse] = 0;
        EXPECT_EQ(UserFuses(r.fuses), expect);
        chip->UvErase();
        SetUserFuses(std::vector<uint8_t>(r.fuses, 1));
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        expect.assign(r.fuses, 0); // 71648, which has no cell, included: the part's 0
        EXPECT_EQ(UserFuses(r.fuses), expect);
        ExpectNoViolations();
    }
}

// ESC answered No during a read walk ends it as a failure, powered down.
TEST_F(WideWordEpldTest, UserBreakInReadWalk) {
    Seat(kWideWordRecords[2]);
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1) << LogText();
    EXPECT_TRUE(HasLine("Read error!")) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace
