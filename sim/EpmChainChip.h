// EPM-type EEPROM CPLDs whose rows are selected through one-hot chains: 2,
// 4 or 8 logic blocks, an array area of `length` rows (row 0 the
// identification block) and a configuration area of `configRows` rows (row 0
// the security row), 80 cells a row and block, erased to 1. Cells: the
// configuration area, block x configRows x 80 + row x 80 + column, then the
// array from blocks x configRows x 80 on, block x length x 80 + row x 80 +
// column.
//
// Each block has an 80-bit shift register fed by its data-in pin on each
// rising shift clock (the first bit shifted ends in column 79). Two select
// chains step on each rising select clock: the array chain takes array
// select A AND B, the configuration chain the configuration select; a pulse
// with either area's select high clears the other area's chain. A row is
// selected when exactly one bit is set in one chain, at its position (the bit
// entered at pulse i of n ends at row n - 1 - i).
// Read: row enable rising with program mode low opens a pass over the
// selected row; the shift register must hold the columns 5k + p (p = 0..4);
// step s (each rising read clock steps on) drives column 5 (15 - s) + p of
// each block on its data-out pin, 0 without a valid select.
// Program: the strobe low for the part's pulse width or longer with program
// mode and row enable high and VPP within 0.2 V of the part's programming
// voltage stores cell AND shift-register bit over the selected row; with the
// erase pin high instead it erases every cell but array row 0.
// Secured (a 0 in configuration row 0), every row but array row 0 reads 0.
// A part answering another identity reads array row 0 inverted.
#pragma once
#include <bitset>
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

enum class EpmChainId : uint8_t {
    TwoBlock,   // "ALTERA98" over blocks 0-1, passes 0 and 1; codes in block 0 pass 2
    FourBlock,  // "ALTERA9" over blocks 0-3 pass 0; codes in block 0 pass 1
    EightBlock, // "ALTERA9" and the codes over blocks 0-4 pass 0
};

struct EpmChainFacts {
    const char* maker;
    const char* name;
    int blocks, length, configRows;
    uint8_t adapter; // 45, 46, 47 or 82
    EpmChainId id;
    int pulseCode, vppCode, field1, field4;
    bool idText;
    uint32_t pulseUs;
    int vppTenths;
};

class EpmChainChip : public CellArrayChip {
public:
    explicit EpmChainChip(const EpmChainFacts& facts);

    void Update(const PinEnvironment& env) override;

    uint32_t ConfigCell(int block, int row, int column) const {
        return static_cast<uint32_t>((block * part_.configRows + row) * 80 + column);
    }
    uint32_t ArrayCell(int block, int row, int column) const {
        return static_cast<uint32_t>(part_.blocks * part_.configRows * 80 + (block * part_.length + row) * 80 + column);
    }
    int Blocks() const { return part_.blocks; }
    bool Locked() const;
    // Fault: the security row (configuration row 0) never programs.
    void RefuseSecurity() {
        for (int b = 0; b < part_.blocks; ++b)
            for (int c = 0; c < 80; ++c) StickCell(ConfigCell(b, 0, c));
    }
    // Strobes: the row written (config rows as 1000 + row, -1 an erase, -2
    // nothing selected), its width and VPP, whether it took.
    struct Strobe {
        int row;
        uint64_t widthUs;
        int vppTenths;
        bool applied;
    };
    const std::vector<Strobe>& Strobes() const { return strobes_; }
    // Read passes: the row (as above), the pass (-1 no valid select) and the
    // VPP pin's level.
    struct Pass {
        int row, pass, vppTenths;
    };
    const std::vector<Pass>& Passes() const { return passes_; }
    void ClearLog() {
        strobes_.clear();
        passes_.clear();
    }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;
    void PoweredOutputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;

private:
    struct Signals {
        int in[8], out[8];
        int selectA, selectB, configSelect, erase, selectClock, programMode, rowEnable, shiftClock, strobe, readClock,
            vpp;
    };
    int Selected() const;
    // What a block's output drives while reading (block -1: none).
    ChipDrive BlockOutput(int block) const;
    void PresetId();
    uint32_t CellAt(int selected, int block, int column) const;

    EpmChainFacts part_;
    Signals sig_{};
    std::bitset<80> sr_[8];
    std::vector<uint8_t> arrayChain_, configChain_;
    bool shift_ = false, selectClock_ = false, readClock_ = false, rowEnable_ = false, strobe_ = true;
    bool reading_ = false, lockedRead_ = false;
    int readRow_ = -2, step_ = 0;
    int select_[8] = {};
    // Block whose output sits on each socket pin (-1: none); entry 0 for a
    // pin the part does not occupy.
    int8_t outBlockAt_[kSocketPins + 1];
    PulseTimer pulse_;
    std::vector<Strobe> strobes_;
    std::vector<Pass> passes_;
};

} // namespace sim
