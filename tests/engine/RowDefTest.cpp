// The row declaration: what InstallRows writes into the algorithm table and
// the row hooks, which declarations it refuses, and the refusals the
// librarian reads from a declaration.
#include <gtest/gtest.h>

#include "engine/AlgorithmTable.h"
#include "engine/RowDef.h"
#include "engine/RowHooks.h"

namespace {

int ReadOne(int) {
    return 1;
}
int ProgramOne() {
    return 1;
}
int OptionsTwo() {
    return 2;
}
uint32_t Checksum7() {
    return 7;
}
int g_selections = 0;
void CountSelection() {
    ++g_selections;
}

std::string RowAndPins(uint32_t row, const RowRecordFacts& r) {
    if (r.PackagePins == 40) return "";
    return "row " + std::to_string(row) + " has no layout for " + std::to_string(r.PackagePins) + " pins";
}

class RowDefTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetAlgorithmTable();
        ResetRowHooks();
        g_selections = 0;
    }
    void TearDown() override {
        ResetAlgorithmTable();
        ResetRowHooks();
    }
};

constexpr RowDef kTwoRows[] = {
    {.Row = 5, .Read = ReadOne, .Program = ProgramOne, .Options = OptionsTwo, .Checksum = Checksum7},
    {.Row = 6, .Program = ProgramOne, .SelectionDefaults = CountSelection},
};

TEST_F(RowDefTest, InstallWritesTheStatedEntriesAndLeavesTheRestDefault) {
    const int8_t group = AlgorithmTable[5].ParameterGroup;
    const int8_t pins = AlgorithmTable[5].InsertionPinAllowance;
    EXPECT_EQ(InstallRows(kTwoRows), 2u);

    const AlgorithmEntry& e = AlgorithmTable[5];
    EXPECT_EQ(e.Read, &ReadOne);
    EXPECT_EQ(e.Program, &ProgramOne);
    EXPECT_EQ(e.Options, &OptionsTwo);
    EXPECT_EQ(e.Identify, &AlgNoOperation);
    EXPECT_EQ(e.Erase, &AlgNoOperation);
    EXPECT_EQ(e.Secure, &AlgNoOperation);
    // What the table says of the row stays.
    EXPECT_EQ(e.ParameterGroup, group);
    EXPECT_EQ(e.InsertionPinAllowance, pins);
    EXPECT_EQ(AlgorithmTable[6].Read, &AlgNoRead);

    EXPECT_EQ(HooksOfRow(5).Checksum, &Checksum7);
    EXPECT_EQ(HooksOfRow(6).Checksum, nullptr);
    RunSelectionDefaultsHooks();
    EXPECT_EQ(g_selections, 1);

    EXPECT_EQ(RowDefinition(5), &kTwoRows[0]);
    EXPECT_EQ(RowDefinition(6), &kTwoRows[1]);
    EXPECT_EQ(RowDefinition(7), nullptr);
    EXPECT_EQ(RowDefinition(AlgorithmRowCount), nullptr);
}

TEST_F(RowDefTest, InstallKeepsTheDataHooksOfTheRow) {
    // Row 266's JEDEC fields are the engine's data; its declaration adds
    // functions without clearing them.
    const RowDef rows[] = {{.Row = 266, .Read = ReadOne}};
    InstallRows(rows);
    EXPECT_EQ(HooksOfRow(266).JedecEFieldFuse, 54096);
    EXPECT_EQ(HooksOfRow(266).ChecksumEndExtension, 10);
}

TEST_F(RowDefTest, ARowClaimedTwiceOrOutsideTheTableIsRefusedAndCounted) {
    InstallRows(kTwoRows);
    EXPECT_EQ(InstallRows(kTwoRows), 2u); // the same table again: no conflict
    EXPECT_EQ(RowInstallConflicts(), 0u);

    const RowDef other[] = {{.Row = 5, .Read = AlgNoRead}, {.Row = AlgorithmRowCount, .Program = ProgramOne}};
    EXPECT_EQ(InstallRows(other), 0u);
    EXPECT_EQ(RowInstallConflicts(), 2u);
    EXPECT_EQ(AlgorithmTable[5].Read, &ReadOne); // the first declaration stands
    EXPECT_EQ(RowDefinition(5), &kTwoRows[0]);

    ResetAlgorithmTable();
    EXPECT_EQ(RowInstallConflicts(), 0u);
    EXPECT_EQ(RowDefinition(5), nullptr);
    EXPECT_EQ(AlgorithmTable[5].Read, &AlgNoRead);
    EXPECT_EQ(InstallRows(other), 1u); // row 5 is free again
}

TEST_F(RowDefTest, RefusalsOfTheLimitsARowStates) {
    constexpr RowDef named{.Row = 21,
                           .VariantCount = 9,
                           .VariantTable = "BootBlockLayoutTable",
                           .SpecialVariants = {99, 100},
                           .SubVariantCount = 4,
                           .SubVariantTable = "the register-0 values",
                           .LeastPage = 2,
                           .MostPage = 256,
                           .RecordCheck = RowAndPins};
    RowRecordFacts ok{.Variant = 8, .SubVariant = 3, .Page = 2, .PackagePins = 40, .Programs = true};
    EXPECT_EQ(RowRecordRefusal(named, ok), "");

    struct Case {
        RowRecordFacts facts;
        const char* why;
    };
    const Case cases[] = {
        {{.Variant = 9, .Page = 2, .PackagePins = 40},
         "variant 9 is past the 9 rows of BootBlockLayoutTable of algorithm 21"},
        {{.Variant = 99, .Page = 2, .PackagePins = 40}, ""},
        {{.Variant = 100, .Page = 2, .PackagePins = 40}, ""},
        {{.Variant = 101, .Page = 2, .PackagePins = 40},
         "variant 101 is past the 9 rows of BootBlockLayoutTable of algorithm 21"},
        {{.SubVariant = 4, .Page = 2, .PackagePins = 40},
         "sub-variant 4 is past the 4 rows of the register-0 values of algorithm 21"},
        {{.Page = 1, .PackagePins = 40, .Programs = true},
         "page of 1 leaves algorithm 21 no program pulse (2 or more)"},
        {{.Page = 1, .PackagePins = 40, .Programs = false}, ""}, // a record that never programs
        {{.Page = 257, .PackagePins = 40},
         "page of 257 is past the 256 bytes algorithm 21 can write at once"},
        {{.Page = 2, .PackagePins = 28}, "row 21 has no layout for 28 pins"},
        // The first refusal is the one reported.
        {{.Variant = 9, .Page = 1, .PackagePins = 28, .Programs = true},
         "variant 9 is past the 9 rows of BootBlockLayoutTable of algorithm 21"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RowRecordRefusal(named, c.facts), c.why) << c.why;

    // A table without a name; variant 0 past an empty table is no special.
    constexpr RowDef unnamed{.Row = 107, .VariantCount = 3};
    EXPECT_EQ(RowRecordRefusal(unnamed, {.Variant = 3}), "variant 3 past algorithm 107's 3");
    EXPECT_EQ(RowRecordRefusal(unnamed, {.Variant = 2}), "");
    constexpr RowDef bare{.Row = 60};
    EXPECT_EQ(RowRecordRefusal(bare, {.Variant = 255, .SubVariant = 255, .Page = 0, .Programs = true}), "");
}

} // namespace
