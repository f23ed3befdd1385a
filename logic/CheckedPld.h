// Parallel PLDs that check the chip before working on it and program each
// word with up to 25 pulses, reading it back after each: row 259 (bus
// operations chosen by two control pins, two planes chosen by a command,
// 13713 fuses) and row 258 (plain row and column lines whose top line is
// raised to a high voltage for the upper rows and columns; three geometries
// by DeviceVariant: 2720, 2916 and 2911 fuses). Both read fuses as the chip's
// data lines, blank 0. Neither has an Erase entry.
//
// Row 259's third plane-2 kind (twelve rows of 68 columns, six positions)
// takes the fuse numbers no other kind uses below 13713: for position p
// (in the order 0, 1, 2, 3, 5, 6, the i-th), cell n = 68 a + b is fuse
// Kind3Short259[i] + n for n < 264, Kind3Long259[i] + n - 264 for n < 808,
// and Plane259K3[p] + n - 808 for the last eight.
#pragma once
#include <cstdint>
#include <vector>

struct CheckedFuse {
    int Position;
    uint32_t Fuse;
};

// One word of a walk: the row and column loaded (row 259: the plane too),
// its fuses and the positions compared after programming.
struct CheckedWord {
    int Kind;
    int Plane; // row 259: 1 or 2; row 258: 0
    int Row, Column;
    uint32_t Compared = 0;
    std::vector<CheckedFuse> Fuses;
};

// Every word of the row's walk (row 258: of `variant`) in order; empty for
// another row or a variant past 2.
std::vector<CheckedWord> CheckedPldWalk(uint32_t row, uint32_t variant);
