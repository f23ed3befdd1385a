#include "logic/BlockCpldLayout.h"

const int8_t SpecialCellClockTable[SpecialCellClockCount] = {8, 12, 16, 20, 24, 28, 32, 36,
                                                             37, 41, 45, 49, 53, 57, 61, 65};
const int8_t SpecialCellClockTable261[SpecialCellClockCount] = {7, 8, 15, 16, 23, 24, 31, 32,
                                                                39, 40, 47, 48, 55, 56, 63, 64};

namespace {

// Two blocks of 72 clocks: clock 0 holds the even rows' first 26 fuses.
int32_t ArrayFuse260(int row, int clock) {
    if (clock == 0) return row % 2 == 0 ? row / 2 : -1;
    return 26 + 52 * (clock - 1) + row;
}
int32_t SpecialFuse260(int row, int k) { return 3666 + row + 9 * k; }
int32_t EFuse260(int block, int k) { return (block == 0 ? 7755 : 7739) - k; }

// Four blocks of 70 clocks; rows 58 and 59 hold only the even special cells,
// row 60's odd cells sit at offset 15 of each group.
int32_t ArrayFuse261(int row, int clock) { return row + 52 * clock; }
int32_t SpecialFuse261(int row, int k) {
    const int m = k / 2;
    if (k % 2 == 0) return 3588 + 16 * m + row;
    if (row <= 57) return 3597 + 16 * m + row;
    return row == 60 ? 3655 + 16 * m : -1;
}
int32_t EFuse261(int block, int k) { return 15087 - k + 16 * (3 - block); }

// Eight blocks of 99 clocks: the array by columns of 66, special rows by 14.
int32_t ArrayFuse218(int row, int clock) { return 66 * clock + row; }
int32_t SpecialFuse218(int row, int k) { return 6538 + (row - 66) + 14 * k; }
const int16_t kExtraCells218[4] = {6535, 6536, 6534, 6537};
const int16_t kExtraCells266[4] = {6534, 6535, 6536, 6537};

} // namespace

const int8_t SpecialCellClockTable218[SpecialCellClockCount] = {14, 15, 25, 26, 36, 37, 47, 48,
                                                                58, 59, 69, 70, 80, 81, 91, 92};
const int8_t SpecialCellReadClockTable[SpecialCellClockCount] = {14, 19, 25, 30, 36, 41, 47, 52,
                                                                 58, 63, 69, 74, 80, 85, 91, 96};
const BlockCpldLayout BlockCpldLayout218 = {8,       99, 6762, 66, 80, SpecialCellClockTable218, ArrayFuse218,
                                            SpecialFuse218, nullptr, SpecialCellReadClockTable, kExtraCells218};
const BlockCpldLayout BlockCpldLayout266 = {8,       99, 6762, 66, 80, SpecialCellClockTable218, ArrayFuse218,
                                            SpecialFuse218, nullptr, SpecialCellReadClockTable, kExtraCells266};

const BlockCpldLayout BlockCpldLayout260 = {2,  72, 3862, 52, 61, SpecialCellClockTable, ArrayFuse260,
                                            SpecialFuse260, EFuse260};
const BlockCpldLayout BlockCpldLayout261 = {4,  70, 3768, 52, 61, SpecialCellClockTable261, ArrayFuse261,
                                            SpecialFuse261, EFuse261};
