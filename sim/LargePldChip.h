// The larger PLDs with an identification text, at pin level in their edit
// mode (edit voltage on chip pin 1 or 2, the part powered):
//
// 1500 type (44 pins, chip pin n on socket pin n + 2): row address A0-A7 on
//   pins 4-9, 12, 13; SDIN 11, SCLK 43, SDOUT 24, LOAD 2, PE 44, edit
//   voltage on pin 1. LOAD falling takes the address; with PE low the rising
//   edge loads the row into the 177-bit register (SDOUT its first bit),
//   with PE high the low time writes the register's last 176 bits and SDIN
//   (bit 176) into the row. Rows 0-151 and 254 hold the fuses, 255 the
//   identification; address 246 erases; row 0 bit 176 is the security cell.
//   Parts with the entry sequence answer only after 11 V on pin 43, with
//   VCC raised to 6.0 V or more for writes and at 5.0 V for row loads.
// V750 type (24 pins): mode pins 4, 6, 7, 9 (all high: erase), SDIN 11,
//   SCLK 10, SDOUT 14, LOAD 13, PE 3, pin 5 selects fuse 14500, pin 8 the
//   rows 96-102, edit voltage on pin 2. SDIN -> 6-bit address register ->
//   171-bit data register -> SDOUT; the address is the register's bits
//   (first in: bit 0) and SDIN as bit 6. Rows 0-84 hold the array and the
//   UES, 125 the cells 14499/14500, 127 the identification; address 124
//   sets the security cell, shown as 0 in the last bit of row 111.
// A secured part reads its fuse rows as ones. Answering another identity,
// the identification text's first character shows bit 0 flipped.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"
#include "sim/GalParts.h"

namespace sim {

// One LOAD pulse as the part saw it.
struct LargePldStrobe {
    int address;
    bool write;
    uint64_t widthUs;
    int vccTenths;   // at the falling edge
    int dataIn;      // SDIN at the falling edge
    uint32_t clocks; // SCLK rising edges since the previous pulse
};

class LargePldChip : public CellArrayChip {
public:
    explicit LargePldChip(const LargePldFacts& part);

    void Update(const PinEnvironment& env) override;

    const LargePldFacts& Part() const { return part_; }
    const std::vector<LargePldStrobe>& Strobes() const { return strobes_; }
    void ClearStrobes() { strobes_.clear(); }
    // Fault: the security cell never programs.
    void StickSecurity() { securityStuck_ = true; }
    // JEDEC fuse of (row, bit), kNoCell where the row has no cell there.
    uint32_t FuseAt(int row, int bit) const;
    static constexpr uint32_t kNoCell = 0xFFFFFFFF;

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    bool Is1500() const { return part_.kind == LargePldKind::Type1500; }
    bool EditMode(const PinEnvironment& env) const;
    int AddressNow(const PinEnvironment& env) const;
    void Load(const PinEnvironment& env, int address);
    void Write(const PinEnvironment& env, int address, uint64_t widthUs);
    int RowBits(int address) const;

    LargePldFacts part_;
    std::vector<uint8_t> addr_; // V750 address register, the oldest bit first
    std::vector<uint8_t> data_; // bit 0 at SDOUT
    bool entered_ = false;
    bool securityStuck_ = false;
    bool loadLow_ = false;
    bool clockHigh_ = false;
    bool row125_ = false; // V750: row 125 loaded, SDOUT follows pin 5
    int latched_ = -1;
    bool latchedWrite_ = false;
    int latchedData_ = 0;
    int latchedVcc_ = 0;
    uint32_t clocks_ = 0;
    PulseTimer load_;
    std::vector<LargePldStrobe> strobes_;
};

} // namespace sim
