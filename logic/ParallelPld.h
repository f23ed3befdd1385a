// Small parallel PLDs reached a word at a time: row 280 (4-bit words, 2689
// fuses) and row 291 (10-bit words, 5828 fuses, adaptive pulses). Both store
// the complement of the chip's data lines as fuses, so a blank part reads as
// all 0s. Neither has an Erase entry.
#pragma once
#include <cstdint>
#include <vector>

// One fuse of a word: its bit position and JEDEC number.
struct WordFuse {
    int Position;
    uint32_t Fuse;
};

// One word of a walk: where it sits, the fuses it carries and the positions
// compared after programming.
struct PldWord {
    int Kind;
    int Select;     // row 280: the row select; row 291: S0-S3
    int Address;
    bool HighPage;  // row 291: reached with 12.5 V on select bit 3
    uint32_t Compared = 0;
    std::vector<WordFuse> Fuses;
};

// Every word of the row's walk in order; empty for another row.
std::vector<PldWord> ParallelPldWalk(uint32_t row);
