// Families that register their row tables where they are defined: a group
// installs them in the order of their ranks, whatever order their files
// registered in, each family's reset before its rows, and only its own.
// Nothing of the algorithm folders is linked here: these families are the
// only ones of the logic group.
#include <gtest/gtest.h>

#include <string>

#include "engine/AlgorithmTable.h"
#include "engine/RowDef.h"

namespace {

int ReadLate(int) { return 2; }
int ReadEarly(int) { return 1; }

std::string g_trace;
void LateAtInstall() { g_trace += RowDefinition(7) != nullptr ? "late(7 held) " : "late "; }
void EarlyAtInstall() { g_trace += RowDefinition(7) != nullptr ? "early(7 held) " : "early "; }

// Registered first, ranked second: it claims row 7 after the early family.
constexpr RowDef kLateRows[] = {{.Row = 7, .Read = ReadLate}, {.Row = 8, .Read = ReadLate}};
ROW_FAMILY("Late", Logic, 20, kLateRows, LateAtInstall);

constexpr RowDef kEarlyRows[] = {{.Row = 7, .Read = ReadEarly}};
ROW_FAMILY("Early", Logic, 10, kEarlyRows, EarlyAtInstall);

class RowFamilyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetAlgorithmTable();
        g_trace.clear();
    }
    void TearDown() override { ResetAlgorithmTable(); }
};

TEST_F(RowFamilyTest, AGroupInstallsInRankOrderAndCountsTheRowClaimedTwice) {
    ASSERT_EQ(RowFamilies(RowGroup::Logic).size(), 2u);
    EXPECT_STREQ(RowFamilies(RowGroup::Logic)[0].Name, "Early");

    EXPECT_EQ(InstallRowFamilies(RowGroup::Logic), 2u); // row 7 of the early family, row 8
    EXPECT_EQ(RowDefinition(7), &kEarlyRows[0]);
    EXPECT_EQ(AlgorithmTable[7].Read, &ReadEarly);
    EXPECT_EQ(RowDefinition(8), &kLateRows[1]);
    EXPECT_EQ(RowInstallConflicts(), 1u);
    // Each family's reset runs before its own rows go in.
    EXPECT_EQ(g_trace, "early late(7 held) ");
}

TEST_F(RowFamilyTest, EveryInstallRunsTheResetsAgainAndAnotherGroupInstallsNothingOfThem) {
    InstallRowFamilies(RowGroup::Logic);
    // The same tables again: only the late family's row 7 is refused once more.
    EXPECT_EQ(InstallRowFamilies(RowGroup::Logic), 2u);
    EXPECT_EQ(RowInstallConflicts(), 2u);
    EXPECT_EQ(g_trace, "early late(7 held) early(7 held) late(7 held) ");

    ResetAlgorithmTable();
    EXPECT_EQ(InstallRowFamilies(RowGroup::Memory), 0u);
    EXPECT_EQ(InstallRowFamilies(RowGroup::Mcu), 0u);
    EXPECT_EQ(RowDefinition(7), nullptr);
    EXPECT_EQ(RowDefinition(8), nullptr);
}

} // namespace
