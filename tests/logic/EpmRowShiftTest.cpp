// Row 295 against the row-serial EPM chip model: every record through the
// driver with POF and JEDEC files, the identification rules, the rows the
// entries touch, the read and program traffic, and injected faults.
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/RowDef.h"
#include "engine/UiBridge.h"
#include "engine/Tables.h"
#include "logic/EpmRowShift.h"
#include "sim/Electrical.h"
#include "sim/EpmRowChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kEpmMaker = "ALTERA";

struct EpmRecord {
    const char* name;
    int variant;
    uint32_t fuses;
};
constexpr EpmRecord kEpmRecords[] = {
    {"EPM7032LC44", 0, 14672}, {"EPM7032LC44@47", 0, 14672}, {"EPM7064LC44", 1, 29424}, {"EPM7064LC68", 1, 29456},
    {"EPM7096LC68", 2, 44352}, {"EPM7096LC84", 2, 44376},    {"EPM7128ELC84", 3, 56320},
    {"EPM7032LC44@82", 0, 14672}, {"EPM7064LC44@82", 1, 29424}, {"EPM7096LC84@8", 2, 44376},
};

class EpmRowShiftTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    static sim::EpmRowFacts EpmFacts(const char* name) {
        return *sim::FindFacts<sim::EpmRowFacts>(kEpmMaker, name);
    }
    sim::EpmRowChip* SeatEpm(const char* name) { return SeatEpm(name, EpmFacts(name)); }
    sim::EpmRowChip* SeatEpm(const char* name, const sim::EpmRowFacts& f) {
        EXPECT_TRUE(SelectPld(kEpmMaker, name)) << name;
        return SeatAlone<sim::EpmRowChip>(f);
    }
    // A user map the part can hold: a 6-block part's coded fields take
    // values 0-10 only (four fuses a field from 43392 on).
    static std::vector<uint8_t> EpmPattern(const EpmRecord& r, uint32_t seed) {
        std::vector<uint8_t> f = Pattern(r.fuses, seed);
        if (r.variant == 2)
            for (uint32_t n = 43392; n < 44256; n += 4) f[n] = 0;
        return f;
    }
    // The map saved as a POF file and loaded back into a cleared buffer.
    void LoadAsPof(const std::vector<uint8_t>& fuses) {
        SetUserFuses(fuses);
        ASSERT_EQ(SavePofFile("in.pof"), 1);
        ClearUserMap(static_cast<uint32_t>(fuses.size()));
        ASSERT_EQ(LoadPofFile("in.pof"), 1);
        ASSERT_EQ(UserFuses(static_cast<uint32_t>(fuses.size())), fuses);
    }
    static std::set<int> WrittenRows(const sim::EpmRowChip* chip) {
        std::set<int> rows;
        for (const auto& s : chip->Strobes())
            if (s.applied) rows.insert(s.row);
        return rows;
    }
};

// Blank check, program from a POF file, verify, read into a cleared buffer
// and save the same POF bytes; program again from a JEDEC file (the "C"
// field kept); erase with the driver's blank check; Secure.
TEST_F(EpmRowShiftTest, EveryRecordThroughTheDriver) {
    for (const EpmRecord& r : kEpmRecords) {
        SCOPED_TRACE(r.name);
        sim::EpmRowChip* chip = SeatEpm(r.name);
        EXPECT_EQ(CurrentAlgorithm, 295u);
        EXPECT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_TRUE(HasLine("Blank check ok!")) << LogText();

        const std::vector<uint8_t> fuses = EpmPattern(r, r.fuses);
        LoadAsPof(fuses);
        const std::string pof = FormatPofFile();
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        EXPECT_TRUE(HasLine("Verification ok!")) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(FormatPofFile(), pof);

        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(HasLine("Erase ok!")) << LogText();
        const std::vector<uint8_t> other = EpmPattern(r, r.fuses + 1);
        LoadFuses(other, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), other);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));

        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_FALSE(chip->Locked());
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Locked());
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}


// Where the user map lands on the part, written from the row's formulas
// and tables without the module's maps: each chosen fuse's cell (block,
// image row, column) and whether it is held inverted; a coded field as the
// one 0 at its value's row.
struct EpmPlace {
    int block, row, column;
    uint32_t fuse;
    bool inverted;
};
struct EpmField {
    uint32_t first;
    int width, block, row, bits, column;
};
constexpr int kEpmMacroRows[12] = {98, 91, 88, 89, 90, 96, 93, 92, 95, 99, 94, 97};
constexpr int kEpmMacroColumns[16] = {0, 9, 10, 19, 20, 29, 30, 39, 40, 49, 50, 59, 60, 69, 70, 79};
constexpr int kEpmFieldColumns[9] = {15, 14, 12, 10, 8, 6, 4, 2, 0};
constexpr int kEpmExtraRows[4] = {128, 160, 192, 224};

void EpmPlaces(const EpmRecord& r, int subVariant, int packagePins, std::vector<EpmPlace>& cells,
               std::vector<EpmField>& fields) {
    const int blocks = 2 * (r.variant + 1);
    auto at = [&](int b, int row, int column, uint32_t fuse, bool inverted = false) {
        cells.push_back({b, row, column, fuse, inverted});
    };
    for (int b = 0; b < blocks; ++b)
        for (int rr = 0; rr < 80; ++rr)
            for (int c = 0; c < 88; c += 5) {
                // Variant 0 runs its columns in tens: five up, five down.
                const int column = r.variant == 0 ? 10 * (rr / 10) + (rr % 10 < 5 ? rr % 10 : 14 - rr % 10) : rr;
                at(b, c, column, static_cast<uint32_t>(7040 * b + 88 * rr + c));
            }
    if (r.variant == 3) return;
    if (r.variant == 0) {
        for (int b = 0; b < 2; ++b) {
            for (int s = 0; s < 16; ++s)
                for (int j = 0; j < 12; ++j)
                    at(b, kEpmMacroRows[j], kEpmMacroColumns[s], 14080 + 192 * b + 12 * s + j, kEpmMacroRows[j] == 97);
            for (int i = 0; i < 32; ++i) at(b, 112 + i % 2, kEpmMacroColumns[i / 2], 14608 + 32 * b + i);
        }
        // The first I/O cells of each block's table.
        const int io[2][8][2] = {{{105, 9}, {101, 9}, {102, 9}, {101, 19}, {102, 19}, {105, 19}, {102, 29}, {105, 29}},
                                 {{105, 9}, {101, 9}, {105, 19}, {101, 19}, {105, 29}, {101, 29}, {105, 39}, {101, 39}}};
        for (int b = 0; b < 2; ++b)
            for (int i = 0; i < 8; ++i) at(b, io[b][i][0], io[b][i][1], 14464 + 72 * b + i);
        return;
    }
    const uint32_t macro = r.variant == 1 ? 28160 : 42240;
    for (int b = 0; b < blocks; ++b)
        for (int s = 0; s < 16; ++s)
            for (int j = 0; j < 12; ++j) at(b, kEpmMacroRows[j], 5 * s, macro + 192 * b + 12 * s + j, kEpmMacroRows[j] == 97);
    // Pin cells: the pin's columns by sub-type and block.
    for (int b = 0; b < blocks; ++b) {
        std::vector<int> x;
        int n = 0;
        if (r.variant == 1) {
            n = packagePins == 44 ? 8 : packagePins == 68 ? 12 : 16;
            x = subVariant == 1 ? std::vector<int>{0, 2, 3, 4, 5, 7, 8, 10, 11, 12, 13, 15}
                : b == 0        ? std::vector<int>{0, 2, 3, 4, 7, 10, 13, 15}
                                : std::vector<int>{0, 2, 3, 4, 7, 8, 13, 15};
        } else {
            n = packagePins == 68 ? 8 : 10;
            const bool outer = b == 0 || b == 5, middle = b == 1 || b == 4;
            if (subVariant == 0)
                x = outer ? std::vector<int>{0, 3, 5, 7, 8, 11, 13, 15} : std::vector<int>{0, 2, 4, 7, 8, 10, 12, 15};
            else
                x = outer    ? std::vector<int>{0, 2, 3, 5, 7, 8, 10, 11, 13, 15}
                    : middle ? std::vector<int>{0, 2, 4, 5, 7, 8, 10, 11, 12, 15}
                             : std::vector<int>{0, 2, 4, 5, 7, 8, 10, 12, 13, 15};
        }
        const uint32_t pins = r.variant == 1 ? 29360 : 44256;
        for (int i = 0; i < n && i < static_cast<int>(x.size()); ++i)
            for (int k = 0; k < 2; ++k) at(b, 112 + k, 5 * x[static_cast<size_t>(i)], pins + 2 * (b * n + i) + k);
    }
    const int width = r.variant == 1 ? 3 : 4, bits = r.variant == 1 ? 8 : 10;
    const uint32_t base = r.variant == 1 ? 28928 : 43392, perBlock = r.variant == 1 ? 108 : 144;
    for (int b = 0; b < blocks; ++b)
        for (int m = 0; m < 36; ++m)
            fields.push_back({base + perBlock * b + static_cast<uint32_t>(width * m), width, b, kEpmExtraRows[m / 9],
                              bits, 5 * kEpmFieldColumns[m % 9]});
}

// No user map reaches the security row: an all-0 map leaves every part open.
TEST_F(EpmRowShiftTest, NoFuseMapSecuresThePart) {
    for (const EpmRecord& r : kEpmRecords) {
        SCOPED_TRACE(r.name);
        sim::EpmRowChip* chip = SeatEpm(r.name);
        LoadFuses(std::vector<uint8_t>(r.fuses, 0), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_FALSE(chip->Locked());
    }
}

// A map programmed through the driver lands where the formulas place each
// chosen fuse.
TEST_F(EpmRowShiftTest, FusesLandWhereThePartPlacesThem) {
    for (const EpmRecord& r : kEpmRecords) {
        SCOPED_TRACE(r.name);
        sim::EpmRowChip* chip = SeatEpm(r.name);
        std::vector<EpmPlace> cells;
        std::vector<EpmField> fields;
        EpmPlaces(r, static_cast<int>(DeviceSubVariant), PackageRow(PackageIndex).PinCount, cells, fields);
        const std::vector<uint8_t> map = EpmPattern(r, r.fuses + 11);
        LoadFuses(map, FuseRowLength);
        ASSERT_EQ(Run(OpProgram), 1) << LogText();
        int wrong = 0;
        for (const EpmPlace& p : cells)
            if (chip->Cell(sim::EpmRowChip::CellOf(p.block, p.row, p.column)) != (map[p.fuse] ^ (p.inverted ? 1 : 0)) &&
                ++wrong <= 5)
                ADD_FAILURE() << "fuse " << p.fuse << " not at block " << p.block << " row " << p.row << " column "
                              << p.column;
        for (const EpmField& f : fields) {
            int v = 0;
            for (int t = 0; t < f.width; ++t) v = v << 1 | map[f.first + t];
            for (int k = 0; k < f.bits; ++k)
                if (chip->Cell(sim::EpmRowChip::CellOf(f.block, f.row + k, f.column)) != (k == v ? 0 : 1) && ++wrong <= 5)
                    ADD_FAILURE() << "field " << f.first << " value " << v << " not at block " << f.block << " row "
                                  << f.row + k << " column " << f.column;
        }
        EXPECT_EQ(wrong, 0);
    }
}

std::string EpmFailLine(uint32_t fuse) {
    char line[64];
    std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", fuse, fuse);
    return line;
}

// The identification block: "ALTERA9" wanted on variants 0-2, the 68-pin
// rule of variant 1, field 4 of variant 2; variant 3 takes any block and
// programs with 52 ms at 12.2 V. A refused part is not touched.
TEST_F(EpmRowShiftTest, IdentificationRules) {
    struct Case {
        const char* name;
        bool text;
        int field4;
        bool accepted;
    };
    const Case cases[] = {
        {"EPM7032LC44", false, 0, false}, {"EPM7032LC44", true, 3, true},   {"EPM7064LC44", false, 0, false},
        {"EPM7064LC44", true, 2, true},   {"EPM7064LC68", true, 2, false},  {"EPM7096LC68", false, 0, false},
        {"EPM7096LC84", true, 1, false},  {"EPM7128ELC84", false, 9, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.text ? " text" : " no text") + " field4 " + std::to_string(c.field4));
        sim::EpmRowFacts f = EpmFacts(c.name);
        f.idText = c.text;
        f.field4 = c.field4;
        sim::EpmRowChip* chip = SeatEpm(c.name, f);
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        for (int op : {OpBlankCheck, OpProgram, OpErase, OpSecurity}) {
            EXPECT_EQ(Run(op), c.accepted ? 1 : -1) << op << LogText();
            EXPECT_EQ(HasLine(" Invalid Chip ID"), !c.accepted) << LogText();
            EXPECT_TRUE(elec->SuppliedPins().empty());
        }
        if (!c.accepted) {
            EXPECT_TRUE(chip->Strobes().empty());
            EXPECT_FALSE(chip->Locked());
            for (const auto& p : chip->Passes()) EXPECT_EQ(p.row, 124);
        }
        ExpectNoViolations();
    }
    // Variant 3 whatever its block announces (2 ms at 11.2 V here).
    sim::EpmRowFacts f = EpmFacts("EPM7128ELC84");
    f.idText = false;
    f.pulseCode = 0;
    f.vppCode = 0;
    sim::EpmRowChip* chip = SeatEpm("EPM7128ELC84", f);
    LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ASSERT_FALSE(chip->Strobes().empty());
    for (const auto& s : chip->Strobes()) {
        EXPECT_TRUE(s.applied);
        EXPECT_GE(s.widthUs, 52000u);
        EXPECT_LT(s.widthUs, 54000u); // the delay slot's own overshoot
        EXPECT_NEAR(s.vppTenths, 122, 1);
    }
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
}

// Another part seated: each variant that checks its identification block
// ends Blank check, Program and Verify at " Invalid Chip ID" with no fail
// address after it, and reads nothing but that row; variant 3 checks none.
TEST_F(EpmRowShiftTest, AnotherPartEndsTheRunAtTheIdentityLine) {
    for (const EpmRecord& r : kEpmRecords) {
        SCOPED_TRACE(r.name);
        sim::EpmRowChip* chip = SeatEpm(r.name);
        chip->AnswerAnotherIdentity();
        LoadFuses(EpmPattern(r, 3), FuseRowLength);
        if (r.variant == 3) {
            EXPECT_FALSE(RowDefinition(295)->ChecksIdentity());
            EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
            continue;
        }
        ExpectRunsEndAtIdentityLine(" Invalid Chip ID");
        EXPECT_TRUE(chip->Strobes().empty());
        for (const auto& p : chip->Passes()) EXPECT_EQ(p.row, 124);
        chip->AnswerAnotherIdentity(false);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        ExpectNoViolations();
    }
}

// The pulse width and voltage the identification row announces: each strobe
// lasts the pulse at the voltage; a part needing a longer pulse or another
// voltage takes nothing, and the verify fails at the first fuse to program.
TEST_F(EpmRowShiftTest, AnnouncedPulseAndVoltage) {
    sim::EpmRowChip* chip = SeatEpm("EPM7032LC44");
    LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (const auto& s : chip->Strobes()) {
        EXPECT_GE(s.widthUs, 20000u); // code 9
        EXPECT_LT(s.widthUs, 21500u); // the delay slot's own overshoot
        EXPECT_NEAR(s.vppTenths, 120, 1); // code 3
    }
    // Reads keep VPP at the power-up's 12.0 V; programming takes each
    // announced code's level; each to the DAC's step, sampled on the pin as
    // the progress bar moves.
    struct VppProbe : BreakingUi {
        const sim::Electrical* e = nullptr;
        int pin = 0;
        std::vector<int> millivolts;
        void SetProgressBar(int position) override {
            BreakingUi::SetProgressBar(position);
            // While the socket is powered (the bar also moves before and after).
            if (e->Pin(pin).millivolts > 0) millivolts.push_back(e->Pin(pin).millivolts);
        }
    } probe;
    probe.e = elec;
    probe.pin = 33; // adapters 4-8
    InstallUiBridge(&probe);
    constexpr int kDacStepMillivolts = 106;
    SeatEpm("EPM7032LC44");
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    ASSERT_GT(probe.millivolts.size(), 50u);
    for (int mv : probe.millivolts) EXPECT_NEAR(mv, 12000, kDacStepMillivolts);
    const int levels[8] = {112, 115, 117, 120, 122, 125, 127, 130};
    for (int code = 0; code < 8; ++code) {
        SCOPED_TRACE(code);
        sim::EpmRowFacts f = EpmFacts("EPM7032LC44");
        f.vppCode = code;
        f.vppTenths = levels[code];
        chip = SeatEpm("EPM7032LC44", f);
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        probe.millivolts.clear();
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ASSERT_FALSE(probe.millivolts.empty());
        EXPECT_NEAR(probe.millivolts.back(), 100 * levels[code], kDacStepMillivolts);
        for (const auto& s : chip->Strobes()) EXPECT_TRUE(s.applied);
    }
    InstallUiBridge(&ui);
    auto refused = [&](void (*change)(sim::EpmRowFacts&)) {
        sim::EpmRowFacts f = EpmFacts("EPM7032LC44");
        change(f);
        sim::EpmRowChip* weak = SeatEpm("EPM7032LC44", f);
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        for (const auto& s : weak->Strobes()) EXPECT_FALSE(s.applied);
        for (int row = 0; row < 240; ++row)
            for (int c = 0; c < 80; ++c)
                if (row != 124) {
                    ASSERT_EQ(weak->Cell(sim::EpmRowChip::CellOf(0, row, c)), 1) << row << " " << c;
                }
        EXPECT_EQ(Run(OpVerify), -1);
        EXPECT_TRUE(HasLine(EpmFailLine(0))) << LogText();
    };
    refused([](sim::EpmRowFacts& f) { f.vppTenths = 125; });
    refused([](sim::EpmRowFacts& f) { f.pulseUs = 22000; });
}

// A cell that never programs fails the verify at its user fuse: user fuse
// 1001 of the 2-block part is block 0, image row 33, column 11.
TEST_F(EpmRowShiftTest, StuckCellFailsVerifyAtItsFuse) {
    sim::EpmRowChip* chip = SeatEpm("EPM7032LC44");
    chip->StickCell(sim::EpmRowChip::CellOf(0, 33, 11));
    std::vector<uint8_t> fuses(DeviceSize, 1);
    fuses[1001] = 0;
    LoadFuses(fuses, FuseRowLength);
    VerifyAfterProgram = 1;
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(EpmFailLine(1001))) << LogText();
    chip = SeatEpm("EPM7032LC44");
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->Cell(sim::EpmRowChip::CellOf(0, 33, 11)), 0);
}

// ESC answered No during a row read: the read ends with 3 and the socket
// powered down.
TEST_F(EpmRowShiftTest, UserBreakInRowRead) {
    SeatEpm("EPM7064LC44");
    ui.BreakAtPercent = 0;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), 3);
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// Which rows each entry writes: Program the row list only (never the
// identification or security row, rows 100-111 on variants 1-3, rows 103
// and 106-111 on variant 0), Erase all rows then row 124 back, Secure row
// 116 alone.
TEST_F(EpmRowShiftTest, RowsEachEntryWrites) {
    for (const char* name : {"EPM7032LC44", "EPM7064LC44", "EPM7096LC68", "EPM7128ELC84"}) {
        SCOPED_TRACE(name);
        sim::EpmRowChip* chip = SeatEpm(name);
        const int variant = static_cast<int>(DeviceVariant);
        std::set<int> expected;
        const int last = variant == 0 ? 102 : 99;
        for (int r = 0; r <= last; ++r) expected.insert(r);
        for (int r : variant == 0 ? std::vector<int>{104, 105, 112, 113} : std::vector<int>{112, 113}) expected.insert(r);
        const int extra = variant == 1 ? 8 : variant == 2 ? 10 : 0;
        for (int first : {128, 160, 192, 224})
            for (int k = 0; k < extra; ++k) expected.insert(first + k);
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(WrittenRows(chip), expected);
        EXPECT_EQ(chip->Strobes().size(), expected.size()); // one strobe a row

        std::vector<int> id;
        for (int b = 0; b < chip->Blocks(); ++b)
            for (int c = 0; c < 80; ++c) id.push_back(chip->Cell(sim::EpmRowChip::CellOf(b, 124, c)));
        chip->ClearLog();
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        ASSERT_EQ(chip->Strobes().size(), 2u);
        EXPECT_EQ(chip->Strobes()[0].row, -1);
        EXPECT_EQ(chip->Strobes()[1].row, 124);
        std::vector<int> kept;
        for (int b = 0; b < chip->Blocks(); ++b)
            for (int c = 0; c < 80; ++c) kept.push_back(chip->Cell(sim::EpmRowChip::CellOf(b, 124, c)));
        EXPECT_EQ(kept, id);

        chip->ClearLog();
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        ASSERT_EQ(chip->Strobes().size(), 1u);
        EXPECT_EQ(chip->Strobes()[0].row, 116);
        EXPECT_TRUE(chip->Locked());
        ExpectNoViolations();

        // Secure reads the security row back: one that never programs
        // fails it, the part left open.
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        chip->RefuseSecurity();
        EXPECT_EQ(Run(OpSecurity), -1) << LogText();
        EXPECT_TRUE(HasLine("Security error!")) << LogText();
        EXPECT_TRUE(HasLine(" Security row not programmed (block 0, bit 0 reads 1).")) << LogText();
        EXPECT_EQ(DatumLines(), "");
        EXPECT_FALSE(chip->Locked());
        ExpectNoViolations();
    }
}

// Read traffic: a valid column select for every pass, five passes a row
// (one for rows 88 and up but 124 on variants 1-3), the rows of the row
// list and the identification row (read once, five passes) only.
TEST_F(EpmRowShiftTest, ReadPasses) {
    for (const char* name : {"EPM7032LC44", "EPM7096LC84"}) {
        SCOPED_TRACE(name);
        sim::EpmRowChip* chip = SeatEpm(name);
        const bool v0 = DeviceVariant == 0;
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        std::map<int, std::vector<int>> passes;
        for (const auto& p : chip->Passes()) passes[p.row].push_back(p.pass);
        for (const auto& [row, list] : passes) {
            SCOPED_TRACE(row);
            const bool one = !v0 && row >= 88 && row != 124;
            const std::vector<int> want = one ? std::vector<int>{0} : std::vector<int>{0, 1, 2, 3, 4};
            EXPECT_EQ(list, want);
            EXPECT_TRUE(row == 124 || (v0 ? (row <= 102 || row == 104 || row == 105 || row == 112 || row == 113)
                                           : (row <= 99 || row == 112 || row == 113 || row >= 128)));
        }
    }
}

// Fault mended: an adapter or variant the pin map does not assign drives no
// pin and the librarian refuses the record.
TEST_F(EpmRowShiftTest, UnassignedAdapterOrVariantDrivesNothing) {
    sim::EpmRowChip* chip = SeatEpm("EPM7128ELC84");
    AdapterCode = 4; // adapters 4-8 carry six data pins
    EXPECT_EQ(Run(OpBlankCheck), -1);
    EXPECT_TRUE(HasLine(" Adapter not supported for this device")) << LogText();
    EXPECT_EQ(DatumLines(), ""); // the run ends at the line
    EXPECT_TRUE(chip->Passes().empty());
    EXPECT_TRUE(elec->SuppliedPins().empty());
    SeatEpm("EPM7064LC68");
    DeviceVariant = 4;
    EXPECT_EQ(Run(OpProgram), -1);
    ExpectNoViolations();

    const RowDef* def = RowDefinition(295);
    ASSERT_NE(def, nullptr);
    auto refusal = [&](uint32_t adapter, uint32_t variant) {
        RowRecordFacts r;
        r.Adapter = adapter;
        r.Variant = variant;
        return RowRecordRefusal(*def, r);
    };
    for (uint32_t a = 4; a <= 8; ++a) {
        EXPECT_EQ(refusal(a, 2), "");
        EXPECT_NE(refusal(a, 3), "");
    }
    EXPECT_EQ(refusal(47, 3), "");
    EXPECT_EQ(refusal(82, 0), "");
    EXPECT_NE(refusal(82, 2), "");
    EXPECT_NE(refusal(45, 0), "");
    EXPECT_NE(refusal(46, 3), "");
    EXPECT_NE(refusal(47, 4), "");
    EXPECT_NE(refusal(0, 0), "");
}

// Fault mended: variant 3 uses no extra rows, whatever device ran before.
TEST_F(EpmRowShiftTest, EightBlocksProgramNoExtraRowsAfterFourBlocks) {
    SeatEpm("EPM7064LC44");
    LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    sim::EpmRowChip* chip = SeatEpm("EPM7128ELC84");
    LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (int row : WrittenRows(chip)) EXPECT_LT(row, 124);
    EXPECT_EQ(EpmExtraRowCount, 0);
}

// Fault mended: the 6-block blank check looks at every coded field, so a
// part programmed only in the last field fails there.
TEST_F(EpmRowShiftTest, SixBlockBlankCheckSeesEveryField) {
    sim::EpmRowChip* chip = SeatEpm("EPM7096LC68");
    // Block 5, field 35: group 3 (rows 224-233), column 0; value 2.
    chip->SetCell(sim::EpmRowChip::CellOf(5, 226, 0), 0);
    EXPECT_EQ(Run(OpBlankCheck), -1);
    const uint32_t first = 43392 + 144 * 5 + 4 * 35;
    EXPECT_TRUE(HasLine(EpmFailLine(first))) << LogText();
    ClearUserMap(DeviceSize);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    std::vector<uint8_t> field;
    for (uint32_t t = 0; t < 4; ++t) field.push_back(static_cast<uint8_t>(GetBufferBit(first + t)));
    EXPECT_EQ(field, (std::vector<uint8_t>{0, 0, 1, 0}));
}

// Fault mended: a 6-block coded field holds 0-10; a map asking more is
// refused before the part is touched, naming the field's fuses, where it
// used to program as 10 and fail the verify. 10 itself programs and reads.
TEST_F(EpmRowShiftTest, SixBlockFieldPastTenIsRefused) {
    const EpmRecord& r = kEpmRecords[4];
    sim::EpmRowChip* chip = SeatEpm(r.name);
    std::vector<uint8_t> fuses = EpmPattern(r, 5);
    for (uint32_t t = 0; t < 4; ++t) fuses[43396 + t] = (11 >> (3 - t)) & 1;
    LoadFuses(fuses, FuseRowLength);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(" Fuses 43396-43399 hold 11; this device's field takes 0-10.")) << LogText();
    EXPECT_TRUE(HasLine(" Fail address : 43396(A984h)")) << LogText();
    EXPECT_TRUE(chip->Strobes().empty());
    EXPECT_TRUE(chip->Passes().empty());
    for (uint32_t t = 0; t < 4; ++t) fuses[43396 + t] = (10 >> (3 - t)) & 1;
    LoadFuses(fuses, FuseRowLength);
    VerifyAfterProgram = 1;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ClearUserMap(r.fuses);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(UserFuses(r.fuses), fuses);
}

TEST(EpmCodedFieldBits, CountLowOneBitsUndoesMakeClearMask) {
    for (int n : {8, 10})
        for (int v = 0; v <= n; ++v) EXPECT_EQ(CountLowOneBits(MakeClearMask(v, n), n), v) << n << " " << v;
    EXPECT_EQ(MakeClearMask(3, 8), 0xF7u);
    EXPECT_EQ(MakeClearMask(12, 10), 0x3FFu);
    EXPECT_EQ(CountLowOneBits(0x3FF, 10), 10);
    EXPECT_EQ(CountLowOneBits(0xFFE, 10), 0);
}

} // namespace
