// Transcription checks of the constant tables: algorithm rows, parameter
// groups, pin allowances, packages, makers and adapters.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Device.h"
#include "engine/RowHooks.h"
#include "engine/Tables.h"

namespace {

// "0, 3, 4, 66-69" -> the rows.
std::set<uint32_t> Rows(const std::string& text) {
    std::set<uint32_t> rows;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        unsigned a = 0, b = 0;
        if (std::sscanf(item.c_str(), " %u-%u", &a, &b) == 1) b = a;
        for (unsigned r = a; r <= b; ++r) rows.insert(r);
    }
    return rows;
}

TEST(AlgorithmTableRows, ParameterGroupsPinAllowancesAndEmptyRows) {
    ResetAlgorithmTable();
    const char* groups[12] = {
        "0, 3, 4, 49, 66-69, 75, 76, 84, 90-92, 160-166, 172, 301-303, 320",
        "1, 5, 8, 9, 23, 24, 42, 73, 74",
        "21, 25, 26, 28, 38, 87, 105, 106, 112, 121, 156, 171, 174, 178, 199",
        "36, 110, 111, 113",
        "11, 13-16, 31, 43-45, 47, 48, 57, 77, 83, 85, 86, 128, 129",
        "10, 12, 17, 18, 53, 70, 71, 81, 88",
        "30, 34, 35, 100, 107, 108, 117-119, 122-127, 155, 157, 170, 173, 175, 177, 179, 187, 188, 192-198",
        "104",
        "2, 7, 19, 65, 101-103, 109, 114-116, 183-185, 189-191",
        "6, 20, 22, 27, 29, 40, 41, 46, 50-52, 55, 56, 58, 72, 78, 79, 82, 93-98",
        "37, 39, 54",
        "186",
    };
    const std::set<uint32_t> one = Rows("45, 47");
    const std::set<uint32_t> two = Rows("5, 10-18, 30, 31, 34, 43, 48, 57, 70, 81, 82, 94-96");
    const std::set<uint32_t> empty = Rows("59, 61, 63, 64, 80, 89, 99, 130, 148, 149, 152-154, 158, 159, "
                                          "167-169, 176, 181, 182, 223, 262, 263, 267-269, 304-309, "
                                          "314-319, 321-323");
    int ungrouped = 0, zero = 0;
    for (uint32_t row = 0; row < AlgorithmRowCount; ++row) {
        int group = 99;
        for (int g = 0; g < 12; ++g)
            if (Rows(groups[g]).count(row)) group = g;
        EXPECT_EQ(AlgorithmTable[row].ParameterGroup, group) << "row " << row;
        ungrouped += group == 99;
        const int allowance = one.count(row) ? 1 : two.count(row) ? 2 : row == 118 ? 3 : row == 71 ? 4
                              : row == 103 ? 5 : row == 102 ? 7 : 0;
        EXPECT_EQ(AlgorithmTable[row].InsertionPinAllowance, allowance) << "row " << row;
        zero += allowance == 0;
        EXPECT_EQ(IsEmptyAlgorithmRow(row), empty.count(row) == 1) << "row " << row;
        if (empty.count(row)) {
            EXPECT_EQ(group, 99) << "row " << row;
        }
    }
    EXPECT_EQ(ungrouped, 166);
    EXPECT_EQ(zero, 296);
    EXPECT_EQ(AlgorithmRow(AlgorithmRowCount), nullptr);

    // A row swapped in by a test is restored by the reset.
    AlgorithmTable[219].Program = [] { return 1; };
    AlgorithmTable[219].ParameterGroup = 3;
    ResetAlgorithmTable();
    EXPECT_EQ(AlgorithmTable[219].Program, &AlgNoOperation);
    EXPECT_EQ(AlgorithmTable[219].ParameterGroup, 99);
}

TEST(AlgorithmTableRows, ChangeAlgorithmItemsPerGroup) {
    const std::vector<std::vector<int>> expected = {
        {0, 1, 2, 3, 4, 5, 6, 7, 8}, {0, 2, 3, 4, 9}, {0, 1, 2, 3, 4},    {0, 1, 2, 3, 4, 8},
        {0, 2, 3, 4, 5, 9},          {0, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 8},
        {0, 1, 2, 3, 4, 5, 8},       {0, 2, 3, 4},    {0, 1, 2, 3, 4, 9}, {0, 1, 2, 3, 4, 5, 6},
    };
    for (int g = 0; g < 12; ++g) {
        std::vector<int> items;
        for (int i = 0; i < 10 && ChangeAlgorithmItemTable[g][i] != ChangeAlgorithmItemEnd; ++i)
            items.push_back(ChangeAlgorithmItemTable[g][i]);
        EXPECT_EQ(items, expected[g]) << "group " << g;
    }
    EXPECT_EQ(ProgrammingParameterByItem(6), &OverPulseWidth);
    EXPECT_EQ(ProgrammingParameterByItem(99), nullptr);
}

TEST(RowHookTable, DataFieldsOfTheRowsThatHaveThem) {
    ResetRowHooks();
    for (uint32_t row = 0; row < RowHookCount; ++row)
        EXPECT_EQ(HooksOfRow(row).SecuredIdentityException, Rows("105, 106, 108, 122, 196").count(row) == 1) << row;
    EXPECT_EQ(HooksOfRow(186).ChecksumBytesAfterDevice, 9);
    EXPECT_EQ(HooksOfRow(266).ChecksumEndExtension, 10);
    const int eBase[] = {7724, 15072, 0, 36864, 7724, 15072, 54096};
    for (uint32_t row = 260; row <= 266; ++row) EXPECT_EQ(HooksOfRow(row).JedecEFieldFuse, eBase[row - 260]);
    EXPECT_EQ(HooksOfRow(266).JedecUFieldFuse, 59000);
    EXPECT_EQ(HooksOfRow(259).JedecEFieldFuse, -1);
    EXPECT_EQ(HooksOfRow(5000).JedecEFieldFuse, -1); // outside: no hooks
}

TEST(PackageTables, ExampleRowsPinListsMakersAndAdapters) {
    ASSERT_EQ(sizeof PackageTable / sizeof PackageTable[0], 294u);
    EXPECT_EQ(PackageName(12), "DIP28");
    EXPECT_EQ(ParsePinList(PackageTable[12].VccPins), std::vector<int>({28}));
    EXPECT_EQ(PackageName(28), "PLCC44");
    EXPECT_EQ(ParsePinList(PackageTable[28].GndPins), std::vector<int>({10, 22, 30, 42}));
    // Ball names read as 0; blanks after commas and at the end are skipped.
    EXPECT_EQ(ParsePinList(PackageTable[165].VccPins), std::vector<int>({0, 0}));
    EXPECT_EQ(ParsePinList(PackageTable[156].VccPins), std::vector<int>({13, 44}));
    EXPECT_EQ(ParsePinList(PackageTable[278].VccPins), std::vector<int>({4}));
    // Rows without a package, with and without lists.
    for (uint32_t row : Rows("66-70, 89, 211-216")) EXPECT_STREQ(PackageTable[row].VccPins, "0") << row;
    for (uint32_t row : Rows("127-129, 262")) EXPECT_TRUE(ParsePinList(PackageTable[row].VccPins).empty()) << row;
    int emptyRows = 0;
    for (const PackageEntry& e : PackageTable) {
        emptyRows += e.PinCount == 0;
        EXPECT_LT(e.Type, PackageTypeCount);
    }
    EXPECT_EQ(emptyRows, 16);
    EXPECT_EQ(PackageName(32), "TSOP56");
    EXPECT_EQ(PackageTable[32].VppPin, 15);
    EXPECT_EQ(PackageName(293), "PLCC28");
    EXPECT_EQ(ParsePinList(PackageTable[287].VccPins), std::vector<int>({14, 22, 23, 32, 41, 42, 44}));
    EXPECT_EQ(PackageName(294), "");
    EXPECT_EQ(PackageRow(1000).PinCount, 0);
    int pins[2];
    EXPECT_EQ(ParsePinList("1,2,3", pins, 2), 2);
    EXPECT_EQ(ParsePinList(nullptr, pins, 2), 0);

    ASSERT_EQ(sizeof MakerNameTable / sizeof MakerNameTable[0], 87u);
    EXPECT_STREQ(MakerNameTable[2], "AMD");
    EXPECT_STREQ(MakerNameTable[58], "TEXAS-INSTRUMENTS");
    EXPECT_STREQ(MakerNameTable[86], "AMIC");
    EXPECT_STREQ(MakerName(87), "");
    ASSERT_EQ(sizeof AdapterNameTable / sizeof AdapterNameTable[0], 136u);
    EXPECT_STREQ(AdapterName('R'), "SA-103");
    EXPECT_STREQ(AdapterName(135), "SA-235");
    EXPECT_STREQ(AdapterName(27), "");
    EXPECT_STREQ(AdapterName(136), "");
}

} // namespace
