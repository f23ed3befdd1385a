// The sector layouts: the shape of every row, the captions the protection
// dialog lists, the layout row of each flash row and rows past the table.
#include <gtest/gtest.h>

#include "engine/RecordingUi.h"
#include "engine/Services.h"
#include "engine/UiBridge.h"
#include "memory/SectorLayout.h"

namespace {

bool PairRow(size_t row) {
    return row == 10 || row == 29;
}

// Every row holds exactly n + 1 ascending boundaries (two ascending pairs in
// rows 10 and 29) and nothing after them.
TEST(SectorLayoutTest, EveryRowHoldsItsValuesInOrder) {
    static_assert(SectorLayoutRowCount == 67);
    for (size_t row = 0; row < SectorLayoutRowCount; ++row) {
        SCOPED_TRACE(row);
        const uint32_t* r = SectorLayoutTable[row];
        const size_t n = r[0], values = PairRow(row) ? 2 * n : n + 1;
        ASSERT_GE(n, 1u);
        ASSERT_LT(values, SectorLayoutRowWords);
        for (size_t i = 2; i < values + 1; ++i)
            EXPECT_LT(r[i - 1], r[i]) << i;
        for (size_t i = values + 1; i < SectorLayoutRowWords; ++i)
            EXPECT_EQ(r[i], 0u) << i;
        const auto sectors = SectorLayoutSectors(static_cast<uint32_t>(row), PairRow(row));
        ASSERT_EQ(sectors.size(), n);
        for (const SectorSpan& s : sectors)
            EXPECT_LT(s.start, s.end);
        if (!PairRow(row)) {
            EXPECT_EQ(SectorLayoutBoundaries(static_cast<uint32_t>(row)).size(), n + 1);
        }
    }
}

TEST(SectorLayoutTest, Captions) {
    const struct {
        uint32_t row;
        bool pairs;
        size_t index;
        const char* caption;
    } cases[] = {
        {0, false, 0, "000000h-003FFFh"},
        {0, false, 4, "010000h-01FFFFh"},
        {7, false, 18, "0FC000h-0FFFFFh"},
        {27, false, 0, "Boot Sector"},
        {28, false, 0, "Boot Sector"},
        {65, false, 0, "Boot Sector"},
        {29, true, 0, "000000h-01FFFFh"},
        {29, true, 1, "0E0000h-0FFFFFh"},
        {10, true, 1, "1E0000h-1FFFFFh"},
        // D9h kept between D0h and E0h: a 36 KB and a 28 KB sector.
        {37, false, 34, "0D0000h-0D8FFFh"},
        {37, false, 35, "0D9000h-0DFFFFh"},
        {38, false, 26, "0D0000h-0D8FFFh"},
        {51, false, 34, "0D9000h-0DFFFFh"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        const auto sectors = SectorLayoutSectors(c.row, c.pairs);
        ASSERT_LT(c.index, sectors.size());
        EXPECT_EQ(SectorCaption(sectors[c.index], sectors.size()), c.caption);
    }
    // An end of 0 is the 1 MB end.
    EXPECT_EQ(SectorCaption({0xF0, 0x100}, 2), "0F0000h-0FFFFFh");
}

TEST(SectorLayoutTest, LayoutRowByFlashRow) {
    const struct {
        uint32_t algorithm, variant, layout;
    } cases[] = {{6, 1, 9},    {22, 3, 11}, {24, 0, 8}, {27, 2, 2}, {20, 4, 4}, {29, 5, 5},
                 {42, 29, 29}, {46, 6, 6},  {52, 7, 7}, {55, 1, 1}, {72, 3, 3}, {73, 2, 2},
                 {74, 1, 1},   {78, 5, 5},  {93, 2, 2}, {50, 1, 9}};
    for (const auto& c : cases)
        EXPECT_EQ(SectorLayoutRowOf(c.algorithm, c.variant), c.layout) << c.algorithm;
}

// A layout row past the table lists no sectors and hands no boundaries on,
// with a line in the log.
TEST(SectorLayoutTest, RowPastTheTableHasNoSectors) {
    RecordingUi ui;
    InstallUiBridge(&ui);
    for (uint32_t row : {67u, 72u, 0xFFFFFFFFu}) {
        ui.Clear();
        EXPECT_TRUE(SectorLayoutSectors(row, false).empty());
        EXPECT_TRUE(SectorLayoutSectors(row, true).empty());
        EXPECT_TRUE(SectorLayoutBoundaries(row).empty());
        ASSERT_FALSE(ui.Log.empty());
        EXPECT_EQ(ui.Log.back(), " Sector layout " + std::to_string(row) + " is not in the table!");
    }
    InstallUiBridge(nullptr);
    ResetServicesState();
}

} // namespace
