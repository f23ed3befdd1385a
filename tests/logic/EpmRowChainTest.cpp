// Rows 296 and 299 against the select-chain EPM chip model: every record
// through the driver with POF and JEDEC files, the identification rules, the
// VPP level, the rows each entry writes, the chain traffic and injected
// faults.
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "engine/RowDef.h"
#include "engine/Tables.h"
#include "sim/EpmChainChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kChainMaker = "ALTERA";
constexpr int kChainConfigMark = 1000;

struct ChainRecord {
    const char* name;
    uint32_t row, fuses;
};
constexpr ChainRecord kChainRecords[] = {
    {"EPM7032", 296, 14672},  {"EPM7032S", 296, 15033},     {"EPM7064", 296, 29424},
    {"EPM7064@68", 296, 29456}, {"EPM7064S", 296, 30609},   {"EPM7128E", 296, 59136},
    {"EPM7128S", 296, 62703}, {"EPM7128SLC84", 299, 59777}, {"EPM7128SQC100", 299, 59825},
};

class EpmRowChainTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    static sim::EpmChainFacts ChainFacts(const char* name) {
        return *sim::FindFacts<sim::EpmChainFacts>(kChainMaker, name);
    }
    sim::EpmChainChip* SeatChain(const char* name) { return SeatChain(name, ChainFacts(name)); }
    sim::EpmChainChip* SeatChain(const char* name, const sim::EpmChainFacts& f) {
        EXPECT_TRUE(SelectPld(kChainMaker, name)) << name;
        return SeatAlone<sim::EpmChainChip>(f);
    }
    // A user map the part holds: the cells a read sets to 1 are 1; 4-bit
    // coded fields take 0-7.
    static std::vector<uint8_t> ChainPattern(const ChainRecord& r, uint32_t seed) {
        std::vector<uint8_t> f = Pattern(r.fuses, seed);
        if (r.fuses == 15033)
            for (uint32_t n = 15009; n <= 15015; ++n) f[n] = 1;
        if (r.fuses == 30609)
            for (uint32_t n = 30585; n <= 30591; ++n) f[n] = 1;
        if (r.row == 296 && r.fuses == 59136)
            for (uint32_t n = 57856; n < 59008; n += 4) f[n] = 0;
        if (r.row == 299)
            for (uint32_t b = 0; b < 8; ++b)
                for (uint32_t m = 0; m < 36; ++m) f[58112 + 180 * b + 5 * m] = 0;
        return f;
    }
    static std::set<int> WrittenRows(const sim::EpmChainChip* chip) {
        std::set<int> rows;
        for (const auto& s : chip->Strobes())
            if (s.applied) rows.insert(s.row);
        return rows;
    }
    static std::string ChainFailLine(uint32_t fuse) {
        char line[64];
        std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", fuse, fuse);
        return line;
    }
};

// Blank check; program from a POF file, verify, read into a cleared buffer
// and save the same POF bytes; program from a JEDEC file (the "C" field
// kept); erase with the driver's blank check; Secure.
TEST_F(EpmRowChainTest, EveryRecordThroughTheDriver) {
    for (const ChainRecord& r : kChainRecords) {
        SCOPED_TRACE(r.name);
        sim::EpmChainChip* chip = SeatChain(r.name);
        EXPECT_EQ(CurrentAlgorithm, r.row);
        EXPECT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();

        const std::vector<uint8_t> fuses = ChainPattern(r, r.fuses);
        SetUserFuses(fuses);
        ASSERT_EQ(SavePofFile("in.pof"), 1);
        ClearUserMap(r.fuses);
        ASSERT_EQ(LoadPofFile("in.pof"), 1);
        const std::string pof = FormatPofFile();
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(FormatPofFile(), pof);

        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(HasLine("Erase ok!")) << LogText();
        const std::vector<uint8_t> other = ChainPattern(r, r.fuses + 5);
        LoadFuses(other, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), other);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));

        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Locked());
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_FALSE(chip->Locked());
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// "ALTERA98" on the 2-block parts, "ALTERA9" on the others; field 4 must be
// 0 on the 2-block parts and at most 2 on the others. A refused part is
// not touched.
TEST_F(EpmRowChainTest, IdentificationRules) {
    struct Case {
        const char* name;
        bool text;
        int field4;
        bool accepted;
    };
    const Case cases[] = {
        {"EPM7032", false, 0, false},     {"EPM7032", true, 1, false},      {"EPM7064", true, 2, true},
        {"EPM7064", true, 3, false},      {"EPM7064S", false, 0, false},    {"EPM7128S", true, 2, true},
        {"EPM7128E", true, 3, false},     {"EPM7128SLC84", false, 0, false}, {"EPM7128SLC84", true, 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " field4 " + std::to_string(c.field4));
        sim::EpmChainFacts f = ChainFacts(c.name);
        f.idText = c.text;
        f.field4 = c.field4;
        sim::EpmChainChip* chip = SeatChain(c.name, f);
        std::vector<uint8_t> zeros(DeviceSize, 0);
        for (uint32_t n = DeviceSize == 30609 ? 30585 : 15009; n < zeros.size() && n <= (DeviceSize == 30609 ? 30591u : 15015u); ++n)
            zeros[n] = 1; // the cell-less numbers stay 1
        LoadFuses(zeros, FuseRowLength);
        for (int op : {OpBlankCheck, OpProgram, OpErase, OpSecurity}) {
            EXPECT_EQ(Run(op), c.accepted ? 1 : -1) << op << LogText();
            EXPECT_EQ(HasLine(" Invalid Chip ID"), !c.accepted) << LogText();
            EXPECT_TRUE(elec->SuppliedPins().empty());
        }
        if (!c.accepted) {
            EXPECT_TRUE(chip->Strobes().empty());
            for (const auto& p : chip->Passes()) EXPECT_EQ(p.row, 0);
        }
        ExpectNoViolations();
    }
}

// Another part seated: every record ends Blank check, Program and Verify at
// " Invalid Chip ID" with no fail address after it, reading array row 0 only.
TEST_F(EpmRowChainTest, AnotherPartEndsTheRunAtTheIdentityLine) {
    for (const ChainRecord& r : kChainRecords) {
        SCOPED_TRACE(r.name);
        sim::EpmChainChip* chip = SeatChain(r.name);
        chip->AnswerAnotherIdentity();
        LoadFuses(ChainPattern(r, 3), FuseRowLength);
        ExpectRunsEndAtIdentityLine(" Invalid Chip ID");
        EXPECT_TRUE(chip->Strobes().empty());
        for (const auto& p : chip->Passes()) EXPECT_EQ(p.row, 0);
        chip->AnswerAnotherIdentity(false);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        ExpectNoViolations();
    }
}

// Row 296 reads at 10.0 V VPP unless the part is named EPM7128E; row 299
// at 12.0 V. Programming strobes at the voltage and pulse the part announces.
TEST_F(EpmRowChainTest, VppLevels) {
    const std::pair<const char*, int> cases[] = {
        {"EPM7032", 100}, {"EPM7064", 100}, {"EPM7128S", 100}, {"EPM7128E", 120}, {"EPM7128SLC84", 120}};
    for (const auto& [name, tenths] : cases) {
        SCOPED_TRACE(name);
        sim::EpmChainChip* chip = SeatChain(name);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        ASSERT_FALSE(chip->Passes().empty());
        for (const auto& p : chip->Passes()) EXPECT_NEAR(p.vppTenths, tenths, 1);
        const sim::EpmChainFacts f = ChainFacts(name);
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        for (const auto& s : chip->Strobes()) {
            EXPECT_NEAR(s.vppTenths, f.vppTenths, 1);
            EXPECT_GE(s.widthUs, f.pulseUs);
            EXPECT_LT(s.widthUs, f.pulseUs + 1500); // the delay slot's own overshoot
        }
    }
}

// Program writes array rows 1 to length - 1 and configuration rows 1 to
// C - 1, one strobe each, in chain order; Erase keeps array row 0; Secure
// writes configuration row 0 alone.
TEST_F(EpmRowChainTest, RowsEachEntryWrites) {
    const std::tuple<const char*, int, int> cases[] = {
        {"EPM7032", 108, 21}, {"EPM7064", 108, 37}, {"EPM7128S", 108, 57}, {"EPM7128SLC84", 106, 77}};
    for (const auto& [name, length, config] : cases) {
        SCOPED_TRACE(name);
        sim::EpmChainChip* chip = SeatChain(name);
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        std::vector<int> expected;
        for (int r = 1; r < length; ++r) expected.push_back(r);
        for (int r = 1; r < config; ++r) expected.push_back(kChainConfigMark + r);
        std::vector<int> rows;
        for (const auto& s : chip->Strobes()) {
            EXPECT_TRUE(s.applied);
            rows.push_back(s.row);
        }
        EXPECT_EQ(rows, expected);

        std::vector<int> id;
        for (int b = 0; b < chip->Blocks(); ++b)
            for (int c = 0; c < 80; ++c) id.push_back(chip->Cell(chip->ArrayCell(b, 0, c)));
        chip->ClearLog();
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_EQ(WrittenRows(chip), std::set<int>{kChainConfigMark});
        EXPECT_TRUE(chip->Locked());
        chip->ClearLog();
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_EQ(WrittenRows(chip), std::set<int>{-1});
        std::vector<int> kept;
        for (int b = 0; b < chip->Blocks(); ++b)
            for (int c = 0; c < 80; ++c) kept.push_back(chip->Cell(chip->ArrayCell(b, 0, c)));
        EXPECT_EQ(kept, id);
        EXPECT_FALSE(chip->Locked());
        // Secure reads the security row back: one that never programs
        // fails it, the part left open.
        chip->RefuseSecurity();
        EXPECT_EQ(Run(OpSecurity), -1) << LogText();
        EXPECT_TRUE(HasLine("Security error!")) << LogText();
        EXPECT_TRUE(HasLine(" Security row not programmed (block 0, bit 0 reads 1).")) << LogText();
        EXPECT_EQ(DatumLines(), "");
        EXPECT_FALSE(chip->Locked());
        ExpectNoViolations();
    }
}

// Reads: array row 0 first, then every row once, five passes each with a
// valid column select.
TEST_F(EpmRowChainTest, ReadPasses) {
    sim::EpmChainChip* chip = SeatChain("EPM7064");
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    std::map<int, std::vector<int>> passes;
    for (const auto& p : chip->Passes()) passes[p.row].push_back(p.pass);
    EXPECT_EQ(passes.size(), size_t{108 + 36});
    for (const auto& [row, list] : passes) EXPECT_EQ(list, (std::vector<int>{0, 1, 2, 3, 4})) << row;
    ASSERT_FALSE(chip->Passes().empty());
    EXPECT_EQ(chip->Passes().front().row, 0);
}

// Injected: a cell that never programs fails the verify at its user fuse
// (user fuse 1001: block 0, array row 1 + 33, column 11); a part needing
// another voltage takes nothing; ESC in a row read ends the read with 3.
TEST_F(EpmRowChainTest, InjectedFaults) {
    sim::EpmChainChip* chip = SeatChain("EPM7032");
    chip->StickCell(chip->ArrayCell(0, 34, 11));
    std::vector<uint8_t> fuses(DeviceSize, 1);
    fuses[1001] = 0;
    LoadFuses(fuses, FuseRowLength);
    VerifyAfterProgram = 1;
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(ChainFailLine(1001))) << LogText();
    VerifyAfterProgram = 0;

    sim::EpmChainFacts f = ChainFacts("EPM7064");
    f.vppTenths = 127;
    sim::EpmChainChip* weak = SeatChain("EPM7064", f);
    LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (const auto& s : weak->Strobes()) EXPECT_FALSE(s.applied);
    EXPECT_EQ(Run(OpVerify), -1);
    EXPECT_TRUE(HasLine(ChainFailLine(0))) << LogText();

    SeatChain("EPM7128SLC84");
    ui.BreakAtPercent = 0;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), 3);
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// Fault mended: adapters and variants the pin map does not assign, row 296
// variant 2 (an empty slot) and variants past the tables drive no pin and
// are refused by the librarian.
TEST_F(EpmRowChainTest, UnassignedAdapterOrVariantDrivesNothing) {
    sim::EpmChainChip* chip = SeatChain("EPM7128S");
    AdapterCode = 46; // four data pins
    EXPECT_EQ(Run(OpBlankCheck), -1);
    EXPECT_TRUE(HasLine(" Adapter not supported for this device")) << LogText();
    EXPECT_EQ(DatumLines(), ""); // the run ends at the line
    EXPECT_TRUE(chip->Passes().empty());
    EXPECT_TRUE(elec->SuppliedPins().empty());
    SeatChain("EPM7064");
    DeviceVariant = 2;
    EXPECT_EQ(Run(OpProgram), -1);
    ExpectNoViolations();

    auto refusal = [](uint32_t row, uint32_t adapter, uint32_t variant) {
        const RowDef* def = RowDefinition(row);
        EXPECT_NE(def, nullptr);
        RowRecordFacts r;
        r.Adapter = adapter;
        r.Variant = variant;
        return def ? RowRecordRefusal(*def, r) : std::string("none");
    };
    EXPECT_EQ(refusal(296, 47, 3), "");
    EXPECT_EQ(refusal(296, 82, 1), "");
    EXPECT_EQ(refusal(296, 45, 0), "");
    EXPECT_NE(refusal(296, 47, 2), "");
    EXPECT_NE(refusal(296, 82, 3), "");
    EXPECT_NE(refusal(296, 45, 3), "");
    EXPECT_NE(refusal(296, 4, 0), "");
    EXPECT_NE(refusal(296, 47, 4), "");
    EXPECT_EQ(refusal(299, 47, 0), "");
    EXPECT_NE(refusal(299, 46, 0), "");
    EXPECT_NE(refusal(299, 47, 1), "");
}

// Where the user map lands on the part, written from the rows' formulas
// without the module's maps: each chosen fuse's cell (array or
// configuration area, block, row, column) and whether the cell holds it
// inverted; a coded field's value as the one 0 among its cells.
struct ChainPlace {
    bool config;
    int block, row, column;
    uint32_t fuse;
    bool inverted;
};
struct ChainField {
    uint32_t first;
    int width, block, row, bits, column;
    bool reversed;
};
constexpr int kChainFieldColumns[9] = {15, 14, 12, 10, 8, 6, 4, 2, 0};

void ChainPlaces(const ChainRecord& r, int subVariant, int packagePins, std::vector<ChainPlace>& cells,
                 std::vector<ChainField>& fields) {
    const int blocks = r.fuses < 16000 ? 2 : r.fuses < 31000 ? 4 : 8;
    auto at = [&](bool config, int b, int row, int column, uint32_t fuse, bool inverted = false) {
        cells.push_back({config, b, row, column, fuse, inverted});
    };
    // Logic array: array row 1 + c, column r.
    for (int b = 0; b < blocks; ++b)
        for (int rr = 0; rr < 80; rr += 7)
            for (int c = 0; c < 88; ++c) at(false, b, 1 + c, rr, static_cast<uint32_t>(7040 * b + 88 * rr + c));
    auto codedFields = [&](uint32_t base, uint32_t perBlock, uint32_t step, int width, int bits, const int* rows) {
        for (int b = 0; b < blocks; ++b)
            for (int m = 0; m < 36; ++m)
                fields.push_back({base + perBlock * b + step * m, width, b, rows[m / 9], bits,
                                  5 * kChainFieldColumns[m % 9], m / 9 >= 2});
    };
    if (r.row == 299) {
        const int macroRows[14] = {96, 92, 90, 94, 91, 100, 89, 99, 95, 93, 101, 98, 97, 102};
        for (int b = 0; b < 8; ++b)
            for (int s = 0; s < 16; ++s)
                for (int j = 0; j < 14; ++j)
                    at(false, b, macroRows[j], 5 * s, 56320 + 224 * b + 14 * s + j, macroRows[j] == 98);
        const int n = packagePins == 84 ? 8 : 10;
        for (int b = 0; b < 8; ++b) {
            const bool first = b == 0 || b == 2 || b == 5 || b == 7;
            const std::vector<int> x = subVariant == 1       ? std::vector<int>{0, 2, 4, 5, 7, 8, 10, 12, 13, 15}
                                       : first              ? std::vector<int>{2, 4, 5, 7, 10, 12, 13, 15}
                                                            : std::vector<int>{0, 2, 4, 7, 8, 10, 12, 15};
            for (int i = 0; i < n; ++i)
                for (int t = 0; t < 3; ++t) at(false, b, 103 + t, 5 * x[i], 59582 + 3 * (b * n + i) + t);
        }
        const int directRows[4] = {43, 42, 15, 14};
        for (int b = 0; b < 8; ++b)
            for (int m = 0; m < 36; ++m)
                at(true, b, directRows[m / 9], 5 * kChainFieldColumns[m % 9], 58116 + 180 * b + 5 * m);
        static constexpr int kRows[4] = {44, 29, 16, 1};
        codedFields(58112, 180, 5, 4, 13, kRows);
        return;
    }
    if (r.fuses == 15033 || r.fuses == 30609 || r.name == std::string("EPM7128S")) {
        // Cell by cell: macrocells of 13, pins of 6, 2-block field bits.
        const uint32_t macro = blocks == 2 ? 14080 : blocks == 4 ? 28160 : 56320;
        for (int b = 0; b < blocks; ++b)
            for (int s = 0; s < 16; ++s)
                for (int j = 0; j < 13; ++j) at(false, b, 89 + j, 5 * s, macro + 208 * b + 13 * s + j);
        if (blocks < 8) {
            const uint32_t pins = blocks == 2 ? 14814 : 30198;
            for (int b = 0; b < blocks; ++b)
                for (int s = 0; s < 16; ++s)
                    for (int t = 0; t < 6; ++t) at(false, b, 102 + t, 5 * s, pins + 3 * (32 * b + 2 * s) + t);
        }
        if (blocks == 2) {
            const int rows[4][4] = {{17, 18, 19, 20}, {11, 12, 13, 14}, {10, 9, 8, 7}, {4, 3, 2, 1}};
            for (int b = 0; b < 2; ++b)
                for (int m = 0; m < 36; ++m)
                    for (int t = 0; t < 4; ++t)
                        at(true, b, rows[m / 9][t], 5 * kChainFieldColumns[m % 9], 14496 + 144 * b + 4 * m + t);
        }
        return;
    }
    const uint32_t macro = blocks == 2 ? 14080 : blocks == 4 ? 28160 : 56320;
    for (int b = 0; b < blocks; ++b)
        for (int s = 0; s < 16; ++s)
            for (int j = 0; j < 12; ++j) at(false, b, 89 + j, 5 * s, macro + 192 * b + 12 * s + j, j == 11);
    if (blocks == 2) {
        for (int b = 0; b < 2; ++b)
            for (int s = 0; s < 16; ++s)
                for (int k = 0; k < 2; ++k) at(false, b, 102 + k, 5 * s, 14608 + 32 * b + 2 * s + k);
        static constexpr int kRows[4] = {17, 11, 7, 1};
        codedFields(14464, 72, 2, 2, 4, kRows);
    } else if (blocks == 8) {
        for (int b = 0; b < 8; ++b) {
            const bool first = b == 0 || b == 2 || b == 5 || b == 7;
            const int x[8] = {first ? 2 : 0, first ? 4 : 2, first ? 5 : 4, 7, first ? 10 : 8, first ? 12 : 10,
                              first ? 13 : 12, 15};
            for (int i = 0; i < 8; ++i)
                for (int k = 0; k < 2; ++k) at(false, b, 102 + k, 5 * x[i], 59008 + 2 * (8 * b + i) + k);
        }
        static constexpr int kRows[4] = {44, 29, 16, 1};
        codedFields(57856, 144, 4, 4, 13, kRows);
    } else {
        static constexpr int kRows[4] = {29, 19, 11, 1};
        codedFields(28928, 108, 3, 3, 8, kRows);
    }
}

// No user map reaches the security row: an all-0 map (the cell-less numbers
// at their fixed 1) leaves every part open.
TEST_F(EpmRowChainTest, NoFuseMapSecuresThePart) {
    for (const ChainRecord& r : kChainRecords) {
        SCOPED_TRACE(r.name);
        sim::EpmChainChip* chip = SeatChain(r.name);
        std::vector<uint8_t> zeros(r.fuses, 0);
        const uint32_t from = r.fuses == 15033 ? 15009 : r.fuses == 30609 ? 30585 : 0;
        for (uint32_t n = from; from != 0 && n <= from + 6; ++n) zeros[n] = 1;
        LoadFuses(zeros, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_FALSE(chip->Locked());
    }
}

// A map programmed through the driver lands where the formulas place each
// chosen fuse: plain and inverted cells, and coded fields as the one 0 at
// the value's row.
TEST_F(EpmRowChainTest, FusesLandWhereThePartPlacesThem) {
    for (const ChainRecord& r : kChainRecords) {
        SCOPED_TRACE(r.name);
        sim::EpmChainChip* chip = SeatChain(r.name);
        std::vector<ChainPlace> cells;
        std::vector<ChainField> fields;
        ChainPlaces(r, static_cast<int>(DeviceSubVariant), PackageRow(PackageIndex).PinCount, cells, fields);
        const std::vector<uint8_t> map = ChainPattern(r, r.fuses + 11);
        LoadFuses(map, FuseRowLength);
        ASSERT_EQ(Run(OpProgram), 1) << LogText();
        int wrong = 0;
        auto cell = [&](bool config, int b, int row, int column) {
            return chip->Cell(config ? chip->ConfigCell(b, row, column) : chip->ArrayCell(b, row, column));
        };
        for (const ChainPlace& p : cells)
            if (cell(p.config, p.block, p.row, p.column) != (map[p.fuse] ^ (p.inverted ? 1 : 0)) && ++wrong <= 5)
                ADD_FAILURE() << "fuse " << p.fuse << " not at " << (p.config ? "configuration" : "array")
                              << " block " << p.block << " row " << p.row << " column " << p.column;
        for (const ChainField& f : fields) {
            int v = 0;
            for (int t = 0; t < f.width; ++t) v = v << 1 | map[f.first + t];
            for (int k = 0; k < f.bits; ++k) {
                const int row = f.row + (f.reversed ? f.bits - 1 - k : k);
                if (cell(true, f.block, row, f.column) != (k == v ? 0 : 1) && ++wrong <= 5)
                    ADD_FAILURE() << "field " << f.first << " value " << v << " not at block " << f.block << " row "
                                  << row << " column " << f.column;
            }
        }
        // 4-block coded pins: a 2-bit value as the 3-bit code 4, 5, 0, 7 in
        // array rows 102-104 at the pin's column.
        if (r.row == 296 && r.fuses != 30609 && chip->Blocks() == 4) {
            const int n = PackageRow(PackageIndex).PinCount == 44 ? 8 : 12;
            const int codes[4] = {4, 5, 0, 7};
            for (int b = 0; b < 4; ++b) {
                const std::vector<int> x = DeviceSubVariant == 1 ? std::vector<int>{0, 2, 3, 4, 5, 7, 8, 10, 11, 12, 13, 15}
                                           : b == 0             ? std::vector<int>{0, 2, 3, 4, 7, 10, 13, 15}
                                                                : std::vector<int>{0, 2, 3, 4, 7, 8, 13, 15};
                for (int i = 0; i < n; ++i) {
                    const uint32_t user = static_cast<uint32_t>(29360 + 2 * (b * n + i));
                    const int code = codes[map[user] << 1 | map[user + 1]];
                    for (int k = 0; k < 3; ++k)
                        if (cell(false, b, 102 + k, 5 * x[static_cast<size_t>(i)]) != ((code >> k) & 1) && ++wrong <= 5)
                            ADD_FAILURE() << "pin " << user << " code " << code << " not at block " << b << " row "
                                          << 102 + k;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

// Fault mended: the coded 8-block blank check looks at every field, so a
// part programmed only in the last field fails there.
TEST_F(EpmRowChainTest, BlankCheckSeesEveryField) {
    for (const char* name : {"EPM7128E", "EPM7128SLC84"}) {
        SCOPED_TRACE(name);
        sim::EpmChainChip* chip = SeatChain(name);
        const bool row299 = CurrentAlgorithm == 299;
        // Block 7, field 35: group 3 from configuration row 1, column 0.
        chip->SetCell(chip->ConfigCell(7, 3, 0), 0);
        EXPECT_EQ(Run(OpBlankCheck), -1);
        const uint32_t first = row299 ? 58112 + 180 * 7 + 5 * 35 : 57856 + 144 * 7 + 4 * 35;
        EXPECT_TRUE(HasLine(ChainFailLine(first))) << LogText();
    }
}

// Fault mended: what a map may not ask of the part is refused before the
// part is touched, naming the fuses: an 8-block coded field past 13 (it
// programmed as 13 and failed the verify), a 0 among the cell-less numbers
// of the cell-by-cell maps (it read back as 1 after "Verification ok!").
TEST_F(EpmRowChainTest, MapsThePartCannotHoldAreRefused) {
    struct Case {
        size_t record;
        std::vector<std::pair<uint32_t, uint8_t>> set;
        const char* line;
        const char* failAddress; // the fuse the line names first
    };
    const Case cases[] = {
        {5, {{57860, 1}, {57861, 1}, {57862, 1}, {57863, 0}}, " Fuses 57860-57863 hold 14; this device's field takes 0-13.",
         " Fail address : 57860(E204h)"},
        {7, {{58117, 1}, {58118, 1}, {58119, 1}, {58120, 1}}, " Fuses 58117-58120 hold 15; this device's field takes 0-13.",
         " Fail address : 58117(E305h)"},
        {1, {{15012, 0}}, " Fuse 15012 is fixed at 1 on this device; the file sets 0.", " Fail address : 15012(3AA4h)"},
        {4, {{30591, 0}}, " Fuse 30591 is fixed at 1 on this device; the file sets 0.", " Fail address : 30591(777Fh)"},
    };
    for (const Case& c : cases) {
        const ChainRecord& r = kChainRecords[c.record];
        SCOPED_TRACE(r.name);
        sim::EpmChainChip* chip = SeatChain(r.name);
        std::vector<uint8_t> fuses = ChainPattern(r, 9);
        for (const auto& [n, v] : c.set) fuses[n] = v;
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine(c.line)) << LogText();
        EXPECT_TRUE(HasLine(c.failAddress)) << LogText();
        EXPECT_TRUE(chip->Strobes().empty());
        EXPECT_TRUE(chip->Passes().empty());
    }
    // 13 is the highest value a field holds.
    const ChainRecord& r = kChainRecords[5];
    SeatChain(r.name);
    std::vector<uint8_t> fuses = ChainPattern(r, 9);
    for (uint32_t t = 0; t < 4; ++t) fuses[57860 + t] = (13 >> (3 - t)) & 1;
    LoadFuses(fuses, FuseRowLength);
    VerifyAfterProgram = 1;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
}

// Fault mended: a pin of the 4-block coded map whose code is none of the
// four reads as the previous pin's value, and as 0 for the first pin.
TEST_F(EpmRowChainTest, UnknownPinCodeRepeatsThePreviousPin) {
    sim::EpmChainChip* chip = SeatChain("EPM7064");
    std::vector<uint8_t> fuses = Pattern(DeviceSize, 3);
    fuses[29360] = 1; // pin 0 of block 0: value 3 (code 7)
    fuses[29361] = 1;
    fuses[29362] = 0; // pin 1: value 1 (code 5)
    fuses[29363] = 1;
    LoadFuses(fuses, FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    // Pin 1 (column 10) to code 1, then pin 0 (column 0) to code 1.
    chip->SetCell(chip->ArrayCell(0, 103, 10), 0);
    chip->SetCell(chip->ArrayCell(0, 104, 10), 0);
    ClearUserMap(DeviceSize);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(GetBufferBit(29362), 1u); // pin 0's value 3 repeated
    EXPECT_EQ(GetBufferBit(29363), 1u);
    chip->SetCell(chip->ArrayCell(0, 103, 0), 0);
    chip->SetCell(chip->ArrayCell(0, 104, 0), 0);
    SetUserFuses(std::vector<uint8_t>(DeviceSize, 1));
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t n = 29360; n < 29364; ++n) EXPECT_EQ(GetBufferBit(n), 0u) << n;
}

} // namespace
