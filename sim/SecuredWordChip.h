// UV-erasable macrocell logic arrays in a 24-pin DIP with a security cell,
// written and read a ten-bit data word at a time; each word gathers its bits
// from the fuse map in JEDEC order.
//
// Chip pins (VCC 24, GND 12): row bits 0-3 on pins 2-5, column bits 0-5 on
// pins 6-11; pin 13 is the read strobe (low) and the programming pin; pin 1
// is held at VPP through the session. A pin at the third level (about 10 V,
// between the logic levels and VPP) selects a further plane of the array:
// pin 5 the upper row plane (the row is then bits 0-2 alone); on the 750
// class pin 11 the upper column bank (columns 64 + bits 0-4).
// Kinds and their maps:
//   V10 (5828 fuses, the 22V10 JEDEC map; data bit k on pin 14 + k, bit
//     9 - b is output b): plain rows 0-15, columns 0-43: the product terms;
//     upper plane row 0: the output-enable rows; rows 1 and 2 at column 63:
//     the two architecture bits of each output; row 3: the reset row on bit
//     8, the preset row on bit 1; row 5 column 63 bit 8: the security cell.
//   V750 (data bit b = output b on pin 23 - b): plain rows 0-15, columns
//     0-83: the product terms (output b has 8, 10, ..., 8 of them); upper
//     plane rows 0-4: five more rows per output; upper plane row 7: a shared
//     row on bit 1. The control column (bank column 31): rows 0-2 three
//     architecture cells per output (row 2 at row 14 on the plain 750),
//     rows 4-7 four more (750B), row 3 bit 1 the security cell in either
//     plane. The 750C part has no architecture cells.
// Read: pin 13 low with the part powered drives the word, a programmed cell
// low; a secured part drives every data pin low (its security cell reads
// programmed, and so does the whole array).
// Programming: pin 13 at the part's VPP (+-0.3 V) with pin 1 at VPP for
// 100 us or more counts one pulse on every cell of the word whose data pin
// is driven high; a cell programs once it has taken the pulses it needs.
// A pin at VPP without VCC is a violation; the third-level pins are rated
// 11.5 V.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

enum class SecuredWordKind : uint8_t { V10, V750, V750B, V750C };

struct SecuredWordFacts {
    const char* maker;
    const char* name;
    SecuredWordKind kind;
    int vppTenths;
    int thirdTenths; // the third level
};

class SecuredWordChip : public CellArrayChip {
public:
    explicit SecuredWordChip(const SecuredWordFacts& facts);

    void Update(const PinEnvironment& env) override { Step(env); }
    void SuppliesChanged(const PinEnvironment& env) override { Step(env); }

    static uint32_t FuseCount(SecuredWordKind kind);
    // Cells behind the fuse map: the 750B has no cell for fuse 14394.
    static bool HasCell(SecuredWordKind kind, uint32_t fuse) {
        return fuse < FuseCount(kind) && !(kind == SecuredWordKind::V750B && fuse == 14394);
    }

    bool Programmed(uint32_t n) const { return Cell(n) == 0; }
    // The cell of data bit k at row r and column c (the 750 class: upper
    // bank columns from 64), in the upper row plane or not: its index, -1
    // where the part has none, -2 the security cell.
    int CellOf(bool upper, int r, int c, int k) const;
    bool ProgrammedAt(bool upper, int r, int c, int k) const {
        const int n = CellOf(upper, r, c, k);
        return n >= 0 && Programmed(static_cast<uint32_t>(n));
    }
    void SetPulsesNeeded(int pulses) { needed_ = pulses; }
    void UvErase();
    // Widths (us) of the programming pulses taken, in order.
    const std::vector<uint64_t>& Pulses() const { return pulses_; }
    // Programming pulses given at the control column of the 750 class.
    uint32_t ControlColumnPulses() const { return controlPulses_; }
    // Virtual time (us) from the last power-up to VPP on the hold pin.
    uint64_t HoldAfterPowerUs() const { return holdAfterPowerUs_; }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    bool V750() const { return part_.kind != SecuredWordKind::V10; }
    int DataPin(int k) const { return V750() ? 23 - k : 14 + k; }
    bool Third(const PinEnvironment& env, int chipPin) const;
    // The cell behind data bit k at the address on the pins; -1 none,
    // kSecurityCell the security cell.
    int CellAt(const PinEnvironment& env, int k) const;
    // The column on the pins (the 750 class: bank columns from 64 on).
    int Column(const PinEnvironment& env) const;
    void Step(const PinEnvironment& env);
    void EndPulse(uint64_t width);

    SecuredWordFacts part_;
    int needed_ = 1;
    std::vector<uint8_t> taken_;
    int securityTaken_ = 0;
    bool pulsing_ = false;
    int pulseCells_[10] = {};
    PulseTimer timer_;
    std::vector<uint64_t> pulses_;
    bool pulseAtControl_ = false;
    uint32_t controlPulses_ = 0;
    bool powered_ = false, held_ = false;
    uint64_t poweredAtUs_ = 0, holdAfterPowerUs_ = 0;
};

} // namespace sim
