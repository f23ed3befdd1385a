// UV-erasable macrocell logic arrays in a 24-pin DIP (the 20RA10 and 22V10
// classes) written and read a ten-bit data word at a time, each word
// gathering its bits from the fuse map in JEDEC order.
//
// Chip pins (VCC 24, GND 12): column bits 0-5 on pins 2-7, row bits 0-3 on
// pins 8-11; pin 11 at VPP instead selects the third address plane (the
// row is then bits 0-2 alone); pin 13 is the read strobe (low) and the
// programming pin; pin 1 is held at VPP through the session.
// Kinds and their maps (bit k of the word on data pin D_k):
//   Ra10Small (3210 fuses; D0-D9 on pins 23..14): columns come through a
//     code (column c on the pins as 4, 5, 2, 3, 8, 9, 6, 7, ...: pairs
//     swapped, +2); plain rows 0-6: fuse 320 k + 280 - 40 r + c; third
//     plane row 7: 320 k + c; third plane row 0 at pin value 0: 3200 + k.
//   Ra10Large (3990 fuses; D0-D9 on pins 23..14): plain rows 0-7, columns
//     0-43: 396 k + 44 r + c + 44; third plane row 7: 396 k + c; third plane
//     rows 0, 2, 4 at column 63: 3960 + 3 k + r / 2.
//   V10 (5828 fuses, the 22V10 JEDEC map; D0-D9 on pins 14..23, bit 9 - b
//     is output b): plain rows 0-15, columns 0-43: the product terms, row
//     15 also the reset row on D6 and the preset row on D3; third plane row
//     7: the output-enable rows; rows 0 and 2 at the part's architecture
//     column (0 or 63): the two architecture bits of each output; with the
//     extra cell, third plane row 6 column 63 D7 is a cell outside the map.
// Read: pin 13 low with the part powered drives the word, a programmed cell
// low (high on a part with true outputs); a secured part reads every cell
// programmed.
// Programming: pin 13 at the part's VPP (+-0.3 V) with pin 1 at VPP for
// 100 us or more counts one pulse on every cell of the word whose data pin
// is driven high; a cell programs once it has taken the pulses it needs.
// Security: VPP on pin 3 with pin 13 at VPP for 1 ms or more. A pin at VPP
// without VCC is a violation.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

enum class MacrocellWordKind : uint8_t { Ra10Small, Ra10Large, V10 };

struct MacrocellWordFacts {
    const char* maker;
    const char* name;
    MacrocellWordKind kind;
    int vppTenths;
    uint8_t archColumn = 63; // V10: the column of the architecture words
    bool trueOutputs = false;
    bool extraCell = false; // V10: the cell outside the map
};

class MacrocellWordChip : public CellArrayChip {
public:
    explicit MacrocellWordChip(const MacrocellWordFacts& facts);

    void Update(const PinEnvironment& env) override { Step(env); }
    void SuppliesChanged(const PinEnvironment& env) override { Step(env); }

    static uint32_t FuseCount(MacrocellWordKind kind) {
        return kind == MacrocellWordKind::Ra10Small ? 3210 : kind == MacrocellWordKind::Ra10Large ? 3990 : 5828;
    }
    // The cell outside the map (V10 with the extra cell).
    uint32_t ExtraCell() const { return FuseCount(part_.kind); }

    bool Programmed(uint32_t n) const { return Cell(n) == 0; }
    // The cell of data bit k at row r and column pin value v, in the third
    // address plane or not: its index, -1 where the part has none.
    int CellOf(bool third, int r, int v, int k) const;
    bool ProgrammedAt(bool third, int r, int v, int k) const {
        const int n = CellOf(third, r, v, k);
        return n >= 0 && Programmed(static_cast<uint32_t>(n));
    }
    void SetPulsesNeeded(int pulses) { needed_ = pulses; }
    void UvErase();
    const std::vector<uint64_t>& Pulses() const { return pulses_; }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    int DataPin(int k) const { return part_.kind == MacrocellWordKind::V10 ? 14 + k : 23 - k; }
    // The cell behind data bit k at the address on the pins; -1 none.
    int CellAt(const PinEnvironment& env, int k) const;
    bool AtVpp(const PinEnvironment& env, int chipPin) const;
    void Step(const PinEnvironment& env);
    void EndPulse(uint64_t width);

    MacrocellWordFacts part_;
    int needed_ = 1;
    std::vector<uint8_t> taken_;
    int pulse_ = 0; // 1 programming, 2 security
    int pulseCells_[10] = {};
    PulseTimer timer_;
    std::vector<uint64_t> pulses_;
};

} // namespace sim
