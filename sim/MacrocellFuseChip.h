// A one-time bipolar macrocell logic array of the 22V10 class in a 24-pin
// DIP, programmed and read one fuse cell at a time. Its fuse map is the
// JEDEC map of 5828 fuses: output b (0-9) has T(b) = 8, 10, 12, 14, 16, 16,
// 14, 12, 10, 8 product terms, an output-enable row at OE(b) = 44, 440, 924,
// 1496, 2156, 2904, 3652, 4312, 4884, 5368 and its terms from OE(b) + 44;
// the reset row is fuses 0-43, the preset row 5764-5807 and the two
// architecture bits of output b 5808 + 2b and 5809 + 2b. The security fuse
// is a cell outside the map (cell 5828).
//
// Chip pins (VCC 24, GND 12): the clock 1, row code bits 0-3 on pins 2-5,
// column bits 0-5 on pins 6-11, the enable 13, output b on pin 23 - b. Pin
// 5 at 10 V or more is the special-row select (the row code is then bits
// 0-2): code 0 the output-enable row of the output addressed, 3 the reset
// row (output 1) or the preset row (output 8); at column 63 codes 1 and 2
// the architecture bits of the output, code 5 on output 1 the security
// fuse. Without the select, code r is product term r of the output.
// Reading: with the enable at 10 V or more, a rising clock (a logic level)
// latches the addressed cell of every output, which then drives low for a
// blown fuse, high for an intact one; a secured part shows every cell of
// its array intact (only the security cell reads as it is).
// Blowing: with the part powered at the programming VCC (5.2 V +-0.3 V),
// the clock and the enable at 10 V or more and one output at 15.0 V
// (+-0.5 V) for 40 us or more at a stable address, the addressed fuse of
// that output blows; a fuse never heals. The clock, enable and select pins
// take 11.5 V, the outputs 15.5 V.
#pragma once
#include <cstdint>

#include "sim/BipolarPalChip.h"

namespace sim {

struct MacrocellFuseFacts {
    const char* maker;
    const char* name;
};

class MacrocellFuseChip : public BipolarFuseChip {
public:
    explicit MacrocellFuseChip(const MacrocellFuseFacts& facts);

    // The cell of output b at row code r (with the special-row select or
    // without) and column c: its index, -1 where the part has none.
    int CellOf(bool select, int r, int c, int b) const;
    bool BlownAt(bool select, int r, int c, int b) const {
        const int n = CellOf(select, r, c, b);
        return n >= 0 && Blown(static_cast<uint32_t>(n));
    }

    void Update(const PinEnvironment& env) override { Step(env); }
    void SuppliesChanged(const PinEnvironment& env) override { Step(env); }

    static constexpr uint32_t kMapFuses = 5828;
    static constexpr uint32_t kSecurityCell = 5828;

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    // The cell of output b at the address on the pins; -1 none.
    int CellAt(const PinEnvironment& env, int b) const;
    void Step(const PinEnvironment& env);

    int pulse_ = -1; // the cell being pulsed, -1 none
    PulseTimer timer_;
    bool clockHigh_ = false;
    bool latched_ = false;
    uint32_t latchedBlown_ = 0;
};

} // namespace sim
