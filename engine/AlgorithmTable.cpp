#include "engine/AlgorithmTable.h"

#include <cstddef>

#include "engine/RowDef.h"

int AlgNoOperation() {
    return 0;
}
int AlgNoRead(int) {
    return 0;
}

namespace {

struct RowSpan {
    uint16_t first;
    uint16_t last;
};

struct SpanList {
    const RowSpan* spans;
    size_t count;
};

template <size_t N> constexpr SpanList Spans(const RowSpan (&a)[N]) {
    return {a, N};
}

// Rows of each ParameterGroup (row of ChangeAlgorithmItemTable).
constexpr RowSpan kGroup0[] = {{0, 0},   {3, 4},     {49, 49},   {66, 69},   {75, 76},  {84, 84},
                               {90, 92}, {160, 166}, {172, 172}, {301, 303}, {320, 320}};
constexpr RowSpan kGroup1[] = {{1, 1}, {5, 5}, {8, 9}, {23, 24}, {42, 42}, {73, 74}};
constexpr RowSpan kGroup2[] = {{21, 21},   {25, 26},   {28, 28},   {38, 38},   {87, 87},
                               {105, 106}, {112, 112}, {121, 121}, {156, 156}, {171, 171},
                               {174, 174}, {178, 178}, {199, 199}};
constexpr RowSpan kGroup3[] = {{36, 36}, {110, 111}, {113, 113}};
constexpr RowSpan kGroup4[] = {{11, 11}, {13, 16}, {31, 31}, {43, 45}, {47, 48},
                               {57, 57}, {77, 77}, {83, 83}, {85, 86}, {128, 129}};
constexpr RowSpan kGroup5[] = {{10, 10}, {12, 12}, {17, 18}, {53, 53}, {70, 71}, {81, 81}, {88, 88}};
constexpr RowSpan kGroup6[] = {{30, 30},   {34, 35},   {100, 100}, {107, 108}, {117, 119},
                               {122, 127}, {155, 155}, {157, 157}, {170, 170}, {173, 173},
                               {175, 175}, {177, 177}, {179, 179}, {187, 188}, {192, 198}};
constexpr RowSpan kGroup7[] = {{104, 104}};
constexpr RowSpan kGroup8[] = {{2, 2},     {7, 7},     {19, 19},   {65, 65},  {101, 103},
                               {109, 109}, {114, 116}, {183, 185}, {189, 191}};
constexpr RowSpan kGroup9[] = {{6, 6},   {20, 20}, {22, 22}, {27, 27}, {29, 29}, {40, 41}, {46, 46},
                               {50, 52}, {55, 56}, {58, 58}, {72, 72}, {78, 79}, {82, 82}, {93, 98}};
constexpr RowSpan kGroup10[] = {{37, 37}, {39, 39}, {54, 54}};
constexpr RowSpan kGroup11[] = {{186, 186}};

constexpr SpanList kGroupRows[12] = {
    Spans(kGroup0), Spans(kGroup1), Spans(kGroup2), Spans(kGroup3), Spans(kGroup4),  Spans(kGroup5),
    Spans(kGroup6), Spans(kGroup7), Spans(kGroup8), Spans(kGroup9), Spans(kGroup10), Spans(kGroup11),
};

// Non-zero InsertionPinAllowance values.
struct PinAllowance {
    RowSpan rows;
    int8_t pins;
};
constexpr PinAllowance kPinAllowances[] = {
    {{45, 45}, 1},   {{47, 47}, 1}, {{5, 5}, 2},     {{10, 18}, 2},   {{30, 31}, 2}, {{34, 34}, 2},
    {{43, 43}, 2},   {{48, 48}, 2}, {{57, 57}, 2},   {{70, 70}, 2},   {{81, 82}, 2}, {{94, 96}, 2},
    {{118, 118}, 3}, {{71, 71}, 4}, {{103, 103}, 5}, {{102, 102}, 7},
};

// Rows without any algorithm.
constexpr RowSpan kEmptyRows[] = {
    {59, 59},   {61, 61},   {63, 64},   {80, 80},   {89, 89},   {99, 99},   {130, 130},
    {148, 149}, {152, 154}, {158, 159}, {167, 169}, {176, 176}, {181, 182}, {223, 223},
    {262, 263}, {267, 269}, {304, 309}, {314, 319}, {321, 323},
};

constexpr bool InSpans(SpanList list, uint32_t row) {
    for (size_t i = 0; i < list.count; ++i) {
        if (row >= list.spans[i].first && row <= list.spans[i].last) return true;
    }
    return false;
}

constexpr int8_t GroupOf(uint32_t row) {
    for (int g = 0; g < 12; ++g) {
        if (InSpans(kGroupRows[g], row)) return static_cast<int8_t>(g);
    }
    return 99;
}

constexpr int8_t PinAllowanceOf(uint32_t row) {
    for (const PinAllowance& a : kPinAllowances) {
        if (row >= a.rows.first && row <= a.rows.last) return a.pins;
    }
    return 0;
}

constexpr AlgorithmEntry DefaultEntry(uint32_t row) {
    return AlgorithmEntry{GroupOf(row),   PinAllowanceOf(row), 0,
                          AlgNoOperation, AlgNoRead,           AlgNoOperation,
                          AlgNoOperation, AlgNoOperation,      AlgNoOperation};
}

} // namespace

// Constant-initialised, so the defaults are in place before any code runs.
#define VX_E4(n) DefaultEntry(n), DefaultEntry(n + 1), DefaultEntry(n + 2), DefaultEntry(n + 3)
#define VX_E16(n) VX_E4(n), VX_E4(n + 4), VX_E4(n + 8), VX_E4(n + 12)
#define VX_E64(n) VX_E16(n), VX_E16(n + 16), VX_E16(n + 32), VX_E16(n + 48)
constinit AlgorithmEntry AlgorithmTable[AlgorithmRowCount] = {
    VX_E64(0), VX_E64(64), VX_E64(128), VX_E64(192), VX_E64(256), VX_E4(320),
};
#undef VX_E64
#undef VX_E16
#undef VX_E4

int8_t DefaultParameterGroup(uint32_t row) {
    return GroupOf(row);
}

int8_t DefaultInsertionPinAllowance(uint32_t row) {
    return PinAllowanceOf(row);
}

bool IsEmptyAlgorithmRow(uint32_t row) {
    return InSpans(Spans(kEmptyRows), row);
}

AlgorithmEntry* AlgorithmRow(uint32_t row) {
    return row < AlgorithmRowCount ? &AlgorithmTable[row] : nullptr;
}

void ResetAlgorithmTable() {
    for (uint32_t row = 0; row < AlgorithmRowCount; ++row)
        AlgorithmTable[row] = DefaultEntry(row);
    ForgetRowDefinitions();
}
