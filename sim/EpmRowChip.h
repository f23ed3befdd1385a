// EPM-type EEPROM CPLDs reached row by row: 2, 4, 6 or 8 logic blocks, each
// with 240 rows of 80 cells (cell = block x 19200 + row x 80 + column,
// erased to 1) and an 80-bit shift register fed by its data-in pin on each
// rising edge of the shift clock (the first bit shifted ends in column 79).
// The part sits on its adapter's socket pins; on adapters 4-8 its I/O
// supply comes from socket pin 34.
//
// Row address: A0-A6 give rows 0-127; with A7 high the row is 128 +
// 32 x (H0 + 2 H1) + A0-A4.
// Read: row enable rising while read start is high (program mode low) opens
// a pass over the addressed row. The shift register must hold a column
// select: the columns 5k + p (k = 0..15, p = 0..4), or on a 2-block part in
// rows 112 and 113 the columns 0, 9, 10, 19, ..., 70, 79 shifted up by p.
// Step s of the pass (the pass starts at step 0, each rising read clock
// with read start low steps on) drives column 5 (15 - s) + p of each
// block's row on its data-out pin; without a valid select the pin reads 0.
// Program: the strobe low for at least the part's pulse width with program
// mode and row enable high and the VPP pin within 0.2 V of the part's
// programming voltage stores cell AND shift-register bit over the addressed
// row of every block; with erase mode and erase enable high instead, the
// same strobe erases every row. Any other strobe writes nothing.
// The identification row 124 is preset with "ALTERA9" and the announced
// pulse and voltage codes, laid out as the part's size has it. A 0 in row
// 116 secures the part: every row but 124 then reads 0, until erased. A part
// answering another identity reads row 124 inverted.
#pragma once
#include <bitset>
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

struct EpmRowFacts {
    const char* maker;
    const char* name;
    int blocks;      // 2, 4, 6 or 8
    uint8_t adapter; // 4-8, 45, 46, 47 or 82
    int packagePins;
    // What the identification row announces.
    int pulseCode, vppCode, field1, field4;
    bool idText;     // "ALTERA9" in the identification row
    // What the part needs to program and erase.
    uint32_t pulseUs;
    int vppTenths;
};

class EpmRowChip : public CellArrayChip {
public:
    explicit EpmRowChip(const EpmRowFacts& facts);

    void Update(const PinEnvironment& env) override;

    static constexpr int kRows = 240, kColumns = 80;
    static uint32_t CellOf(int block, int row, int column) {
        return static_cast<uint32_t>(block * kRows * kColumns + row * kColumns + column);
    }
    int Blocks() const { return part_.blocks; }
    bool Locked() const;
    // Fault: the security row never programs.
    void RefuseSecurity();
    // Rows written to the cells or erased, in order (row -1: an erase),
    // and strobes that wrote nothing.
    struct Strobe {
        int row;
        uint64_t widthUs;
        int vppTenths;
        bool applied;
    };
    const std::vector<Strobe>& Strobes() const { return strobes_; }
    // Read passes opened: row, pass (-1 without a valid select) and the
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

private:
    // Chip pin of each signal (0: not on this adapter).
    struct Signals {
        int a[8], in[8], out[8], high[2];
        int strobe, readClock, programMode, rowEnable, shiftClock, eraseMode, readStart, vpp, eraseEnable;
        int vcc, gnd;
    };
    int Row(const PinEnvironment& env) const;
    int SelectOf(int block, int row) const;
    void PresetId();

    EpmRowFacts part_;
    Signals sig_{};
    std::bitset<kColumns> sr_[8];
    bool shift_ = false, readClock_ = false, rowEnable_ = false, strobe_ = true;
    bool reading_ = false, lockedRead_ = false;
    int readRow_ = 0, step_ = 0;
    int select_[8] = {};
    PulseTimer pulse_;
    std::vector<Strobe> strobes_;
    std::vector<Pass> passes_;
};

} // namespace sim
