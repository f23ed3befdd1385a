// The constant tables' lookups: bounds, reset of swapped rows, invariants
// between the tables, and the pin-list reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Device.h"
#include "engine/RowHooks.h"
#include "engine/Tables.h"

namespace {

TEST(AlgorithmTableRows, EmptyRowsHaveNoGroupAndResetRestoresSwappedRows) {
    ResetAlgorithmTable();
    for (uint32_t row = 0; row < AlgorithmRowCount; ++row) {
        if (IsEmptyAlgorithmRow(row)) {
            EXPECT_EQ(AlgorithmTable[row].ParameterGroup, 99) << "row " << row;
        }
    }
    EXPECT_EQ(AlgorithmRow(AlgorithmRowCount), nullptr);
    for (int g = 0; g < 12; ++g) EXPECT_EQ(ChangeAlgorithmItemTable[g][0], 0) << "group " << g;
    EXPECT_EQ(ProgrammingParameterByItem(6), &OverPulseWidth);
    EXPECT_EQ(ProgrammingParameterByItem(99), nullptr);

    // A row swapped in by a test is restored by the reset.
    AlgorithmTable[219].Program = [] { return 1; };
    AlgorithmTable[219].ParameterGroup = 3;
    ResetAlgorithmTable();
    EXPECT_EQ(AlgorithmTable[219].Program, &AlgNoOperation);
    EXPECT_EQ(AlgorithmTable[219].ParameterGroup, 99);
}

TEST(RowHookTable, RowsOutsideTheTableHaveNoHooks) {
    ResetRowHooks();
    EXPECT_EQ(HooksOfRow(259).JedecEFieldFuse, -1);
    EXPECT_EQ(HooksOfRow(5000).JedecEFieldFuse, -1);
    EXPECT_FALSE(HooksOfRow(5000).SecuredIdentityException);
}

TEST(PackageTables, PinListsAndLookupsOutsideTheTables) {
    // Ball names read as 0; blanks after commas and at the end are skipped.
    EXPECT_EQ(ParsePinList(PackageTable[165].VccPins), std::vector<int>({0, 0}));
    EXPECT_EQ(ParsePinList(PackageTable[156].VccPins), std::vector<int>({13, 44}));
    EXPECT_EQ(ParsePinList(PackageTable[278].VccPins), std::vector<int>({4}));
    for (const PackageEntry& e : PackageTable) EXPECT_LT(e.Type, PackageTypeCount);
    EXPECT_EQ(PackageName(PackageRowCount), "");
    EXPECT_EQ(PackageRow(1000).PinCount, 0);
    int pins[2];
    EXPECT_EQ(ParsePinList("1,2,3", pins, 2), 2);
    EXPECT_EQ(ParsePinList(nullptr, pins, 2), 0);
    EXPECT_STREQ(MakerName(87), "");
    EXPECT_STREQ(AdapterName(27), "");
    EXPECT_STREQ(AdapterName(136), "");
}

} // namespace
