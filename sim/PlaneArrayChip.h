// UV-erasable logic arrays in a 24-pin DIP whose fuse map is kept in bit
// planes (fuse = bit x words + word), written and read a whole data word at
// a time. An erased cell reads high on its data pin, a programmed one low;
// fuse 1 in the JEDEC sense is a programmed cell.
//
// Chip pins (24-pin DIP, VCC 24, GND 12): pin 13 is the read strobe and the
// programming pin; one pin is held at VPP through the whole session (the
// hold pin). The kinds:
//   Plane256x8:  256 words of 8 bits; address bits 0-4 on pins 7-11, bits
//                5-7 on pins 4-6; data D0-D7 on pins 21..14; hold pin 3;
//                security: VPP on pin 5 with the programming pulse.
//   Plane160x10: 4 groups of 40 columns, 10 bits; column bits 0-5 on pins
//                2-7, group on pins 8-9; data D0-D9 on pins 23..14; hold
//                pin 1; security: VPP on pin 3 with the programming pulse.
//   Plane320x8Samsung: 8 rows of 40 columns, 8 bits; row bits on pins 2-4,
//                column bits 0-6 on pins 5-11; data D0-D7 on pins 22..15;
//                hold pin 1; security: VPP on pin 3 with the programming pulse.
//   Plane320x8Amd: the same map decoded from fewer pins: row bits on pins
//                2, 4, 5, column bits 0-4 on pins 6, 7, 8, 10, 11 (columns
//                32-39 of the fuse map land on columns 0-7); data and hold
//                pin as above; security: VPP on pin 4 for 50 ms or more with
//                VCC at 5.8 V or more, no programming pulse.
// Read: pin 13 low with the part powered (VCC 4.5 V or more) drives the
// addressed word, complemented (a programmed cell low); a secured part
// drives every data pin low.
// Programming: pin 13 at the part's VPP (+-0.3 V) with the hold pin at VPP
// for 100 us or more counts one pulse on every cell of the addressed word
// whose data pin is driven high; a cell programs once it has taken as many
// pulses as it needs (1 unless a test sets more). The security pulse is
// 1 ms or more. A pin at VPP without VCC is a violation.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

enum class PlaneArrayKind : uint8_t { Plane256x8, Plane160x10, Plane320x8Samsung, Plane320x8Amd };

struct PlaneArrayFacts {
    const char* maker;
    const char* name;
    PlaneArrayKind kind;
    int vppTenths;
};

class PlaneArrayChip : public CellArrayChip {
public:
    explicit PlaneArrayChip(const PlaneArrayFacts& facts);

    void Update(const PinEnvironment& env) override { Step(env); }
    void SuppliesChanged(const PinEnvironment& env) override { Step(env); }

    static uint32_t FuseCount(PlaneArrayKind kind) {
        return kind == PlaneArrayKind::Plane256x8 ? 2048 : kind == PlaneArrayKind::Plane160x10 ? 1600 : 2560;
    }
    // The cell behind fuse n of the part's fuse map.
    uint32_t CellOfFuse(uint32_t n) const;
    // The lowest and highest VCC (tenths) seen at a read strobe; 0 before any.
    int ReadVccLow() const { return readVccLow_; }
    int ReadVccHigh() const { return readVccHigh_; }

    // Cell n programmed (fuse 1).
    bool Programmed(uint32_t n) const { return Cell(n) == 0; }
    // The cell of data bit k at a row and column of the array (256 x 8: the
    // row is address bits 5-7, the column bits 0-4; 160 x 10: the group and
    // column); -1 where the part has none.
    int CellAtAddress(int row, int column, int k) const;
    bool ProgrammedAt(int row, int column, int k) const {
        const int c = CellAtAddress(row, column, k);
        return c >= 0 && Programmed(static_cast<uint32_t>(c));
    }
    // Pulses every cell needs before it programs.
    void SetPulsesNeeded(int pulses) { needed_ = pulses; }
    // Ultraviolet erase: every cell and the security bit back to erased.
    void UvErase();
    // Widths (us) of the programming pulses taken, in order.
    const std::vector<uint64_t>& Pulses() const { return pulses_; }
    void ClearPulses() { pulses_.clear(); }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    struct Layout {
        int bits;
        int holdPin, securePin;
        int dataPins[10];
    };
    const Layout& Pins() const;
    // Cell of data bit k at the current address; -1 where the address names no word.
    int CellAt(const PinEnvironment& env, int k) const;
    bool AtVpp(const PinEnvironment& env, int chipPin) const;
    void Step(const PinEnvironment& env);
    void EndPulse(uint64_t width);

    PlaneArrayFacts part_;
    int needed_ = 1;
    std::vector<uint8_t> taken_;
    // The pulse being timed: 1 programming, 2 security, 0 none.
    int pulse_ = 0;
    int pulseCells_[10] = {};
    PulseTimer timer_;
    std::vector<uint64_t> pulses_;
    bool strobeLow_ = false;
    int readVccLow_ = 0, readVccHigh_ = 0;
};

} // namespace sim
