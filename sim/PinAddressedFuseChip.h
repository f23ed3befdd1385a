// One-time fuse arrays of 64 product-term rows of 32 or 40 columns whose
// every fuse is addressed through the pins, in their programming mode.
// Fuse n = row x columns + column; the row's group of eight, row / 8, is
// the output k that carries the cell, row mod 8 goes on the row pins.
//
// The clocked kinds (20-pin: 32 columns, outputs O0-O7 on chip pins 19..12,
// read clock on pin 1; 24-pin: 40 columns, outputs on 22..15, clock on 1)
// decode with the select pin (chip pin 9 on the 20-pin parts, 11 on the
// 24-pin ones) at 9.5 V or more. Address pins read 0 low, 1 high, 2 at 9.5 V
// or more:
//   Code281: column bits 0-1 on pins 2-3, bits 2-4 as the pair code of pins
//            4-5 ((0,0) 0, (1,0) 1, (0,1) 2, (1,1) 3, (0,2) 4, (1,2) 5,
//            (2,0) 6, (2,1) 7); row mod 8 in base 2 on pins 6-8 (bit 0 on 6);
//   Code282: column in base 3 on pins 2-5, row mod 8 in base 3 on pins 7-8,
//            most significant digit first;
//   Code286: the same on the 24-pin part (columns on pins 2-5, rows on 9-10);
//   Bin313:  row mod 8 in base 2 on pins 10, 9, 8 (bit 0 on 10), column in
//            base 2 on pins 7..2 (bit 0 on 7).
// A rising edge of the clock latches the addressed cell of every output:
// low blown, high intact. A fuse blows when the enable (pin 11 on the 20-pin
// parts, 13 on the 24-pin ones) is high, its output pin is at 9.5 V or more
// and VCC sits at the part's pulse level (+-0.5 V) for 10 us or more.
//
// The ground-addressed kinds (Ground289: 20-pin, 32 columns; Ground290: 24-pin,
// 40 columns) are powered by VCC at 4.5 V or more. Row bits 0-6 on chip pins
// 2-8, column bits 0-5 on six pins (289: 9, 12-16; 290: 9-11, 14-16), each 0
// where held low. The strobe is pin 11 (289) or 13 (290) held low: with the
// enable pin (19 / 23) held low the read pin (18 / 22) drives high for a
// blown cell, low for an intact one; with the enable released and the
// programming pin (1) at the part's level the cell blows after 30 us.
//
// Security: 281 by VCC at the pulse level with pins 4 and 6 raised and no
// output raised; 282/286 by the pulse on O6 with row pins at code (2, 2);
// 313 by the pulse with the row's bit-0 pin raised, column 63; 289/290 by the
// strobe with row 72 or 73, column 1, and the row's bit-0 pin at the
// programming level. A secured part reads every cell blown, 281 every cell
// intact.
#pragma once
#include <cstdint>

#include "sim/BipolarPalChip.h"

namespace sim {

enum class PinAddressedKind : uint8_t { Code281, Code282, Code286, Bin313, Ground289, Ground290 };

struct PinAddressedFacts {
    const char* maker;
    const char* name;
    PinAddressedKind kind;
    int levelTenths; // VCC during the pulse (clocked kinds), the programming pin (ground kinds)
};

class PinAddressedFuseChip : public BipolarFuseChip {
public:
    explicit PinAddressedFuseChip(const PinAddressedFacts& facts);

    void Update(const PinEnvironment& env) override { Step(env); }
    void SuppliesChanged(const PinEnvironment& env) override { Step(env); }

    static bool Dip24(PinAddressedKind kind) {
        return kind == PinAddressedKind::Code286 || kind == PinAddressedKind::Bin313 || kind == PinAddressedKind::Ground290;
    }
    static uint32_t FuseCount(PinAddressedKind kind) { return Dip24(kind) ? 2560 : 2048; }
    // The fuse of product-term row r (0-63) at a column.
    uint32_t CellOf(int r, int column) const { return static_cast<uint32_t>(r * columns_ + column); }
    bool BlownAt(int r, int column) const { return Blown(CellOf(r, column)); }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    bool Ground() const { return part_.kind == PinAddressedKind::Ground289 || part_.kind == PinAddressedKind::Ground290; }
    // 0, 1, or 2 for a pin at 9.5 V or more.
    int Trit(const PinEnvironment& env, int chipPin) const;
    // Row mod 8 (or the full row on the ground kinds) and column; -1 where not decodable.
    int RowCode(const PinEnvironment& env) const;
    int Column(const PinEnvironment& env) const;
    int OutputPin(int k) const;
    void Step(const PinEnvironment& env);
    void StepClocked(const PinEnvironment& env);
    void StepGround(const PinEnvironment& env);
    bool InWindow(int tenths) const;

    PinAddressedFacts part_;
    int columns_;
    // The pulse being timed: fuse (or -2 security), -1 none.
    int pulse_ = -1;
    PulseTimer timer_;
    bool clockHigh_ = false;
    bool latched_ = false;
    uint32_t latchedBlown_ = 0;
};

} // namespace sim
