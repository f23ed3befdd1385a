// The sector layouts of the flash rows whose chips protect sectors one by
// one: per layout row the sector count n, then n + 1 boundaries in 4 KB units
// (the last one the end of the chip; an end of 0 is 100h). The layouts of
// row 42 hold n (start, end) pairs instead.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t SectorLayoutRowCount = 67;
constexpr size_t SectorLayoutRowWords = 66;
extern const uint32_t SectorLayoutTable[SectorLayoutRowCount][SectorLayoutRowWords];

// The layout row of the current device: the variant, plus 8 for rows 6, 22,
// 24 and rows without protection routines of their own.
uint32_t SectorLayoutRowOf(uint32_t algorithm, uint32_t variant);

// One sector in 4 KB units, end exclusive (an end of 0 already made 100h).
struct SectorSpan {
    uint32_t start;
    uint32_t end;
};
// The sectors of a layout row, read as pairs for row 42. A row past the
// table logs a line and has no sectors.
std::vector<SectorSpan> SectorLayoutSectors(uint32_t layoutRow, bool pairs);
// The row's boundaries (the values after n) handed to the protection routines;
// empty past the table.
std::vector<uint32_t> SectorLayoutBoundaries(uint32_t layoutRow);

// "Boot Sector" for a chip of one sector, else "%06lXh-%06lXh" of its bytes.
std::string SectorCaption(const SectorSpan& sector, size_t sectorCount);
