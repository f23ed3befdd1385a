// An electrically erasable PLD written and read as 20-bit words: 140 product
// terms over 44 inputs (fuse = term x 44 + input) and four special rows
// (fuses 6160-6503), erased to 1.
//
// Chip pins: D0-D19 1-20 (the row address is D5-D10, the sub-block index
// D11-D13), strobe 21, edit 22, command C0-C2 23-25, VCC 26, GND 27; the
// adapter (code 24 or 82) carries them to the socket.
// Commands, with the edit voltage on: 7 latches the row address and the
// sub-block on the strobe; 3 loads the data word into the row buffer at the
// latched sub-block; 1 drives the cells' word on D0-D19 while the strobe is
// high (0 when secured); 2 with the strobe high 50 ms or more at 9.2 V on
// the edit pin writes the row buffer (each cell keeps the AND of itself and
// its bit; bits without a cell are ignored); 5 erases (100 ms) the array and
// the security cell; 4 secures (100 ms).
// A strobe with the edit voltage on and the part unpowered is a violation.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

struct WordPldFacts {
    const char* maker;
    const char* name;
    uint8_t adapterCode; // 24 or 82
};

class WordPldChip : public CellArrayChip {
public:
    explicit WordPldChip(const WordPldFacts& facts);

    void Update(const PinEnvironment& env) override;

    // The fuse behind word bit `bit` of sub-block s of a row; -1 where none.
    static int FuseAt(int row, int s, int bit);
    void IgnoreErase() { ignoreErase_ = true; }
    // Every load of a word: row, sub-block, word.
    struct Load {
        int row, subBlock;
        uint32_t word;
    };
    const std::vector<Load>& Loads() const { return loads_; }
    // Rows written by a program pulse.
    const std::vector<int>& RowWrites() const { return rowWrites_; }
    void ClearLog() {
        loads_.clear();
        rowWrites_.clear();
    }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    int Command(const PinEnvironment& env) const;
    int DataPins(const PinEnvironment& env, int from, int count) const;
    bool EditOn(const PinEnvironment& env) const;
    uint32_t CellWord(int row, int s) const;

    WordPldFacts part_;
    int row_ = -1, sub_ = -1;
    uint32_t buffer_[8];
    bool strobeHigh_ = false;
    int strobeCommand_ = 0;
    PulseTimer strobe_;
    bool ignoreErase_ = false;
    std::vector<Load> loads_;
    std::vector<int> rowWrites_;
};

} // namespace sim
