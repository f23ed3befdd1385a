// A one-time bipolar macrocell logic array of the 22V10 class in a 24-pin
// DIP whose cells are addressed one at a time in the order of its JEDEC map
// (5828 fuses, laid out as the 22V10 map: reset row 0-43, per output b an
// output-enable row at OE(b) = 44, 440, ..., 5368 and T(b) = 8, 10, 12, 14,
// 16, 16, 14, 12, 10, 8 product terms from OE(b) + 44, preset row
// 5764-5807, architecture bits 5808 + 2b and 5809 + 2b); the wider kind
// has one more bit per output (5828 + b, 5838 fuses). The security fuse is
// a cell outside the map.
//
// Chip pins (VCC 24, GND 12): row code bits 0-3 on pins 2-5, column bits
// 0-4 on pins 6-10, the programming-mode pin 11, the strobe 13, output b on
// pin 23 - b. In programming mode (pin 11 at 10.5 V, +-0.5 V, with the part
// powered) the outputs drive the addressed cells: low blown, high intact,
// unless the output is raised. Pin 10 at 10.5 V adds 32 to the column of
// bits 0-3; pin 5 at 10.5 V selects the special rows (row code bits 0-2):
// code 0 the output-enable row of each output, 4 the reset row (output 1)
// and the preset row (output 8), code 1 at columns 44 and 45 the two
// architecture bits of each output (46: the wider kind's extra bit), code
// 5 at column 0 on output 1 the security fuse. Without the select, code r
// is product term r of each output.
// A fuse blows when the strobe is high, its output at 10.5 V (+-0.5 V) and
// VCC at 10.2 V (+-0.5 V) for 10 us or more; a fuse never heals. Pins 5,
// 10, 11 and the outputs take 11.0 V, VCC 11.0 V.
#pragma once
#include <cstdint>

#include "sim/BipolarPalChip.h"

namespace sim {

struct FileOrderFuseFacts {
    const char* maker;
    const char* name;
    bool wide; // the extra bit per output (5838 fuses)
};

class FileOrderFuseChip : public BipolarFuseChip {
public:
    explicit FileOrderFuseChip(const FileOrderFuseFacts& facts);

    // The cell of output b at row code r (with the special-row select or
    // without) and column c: its index, -1 where the part has none.
    int CellOf(bool select, int r, int c, int b) const;
    bool BlownAt(bool select, int r, int c, int b) const {
        const int n = CellOf(select, r, c, b);
        return n >= 0 && Blown(static_cast<uint32_t>(n));
    }

    void Update(const PinEnvironment& env) override { Step(env); }
    void SuppliesChanged(const PinEnvironment& env) override { Step(env); }

    static uint32_t MapFuses(bool wide) { return wide ? 5838 : 5828; }
    uint32_t SecurityCell() const { return MapFuses(wide_); }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    int CellAt(const PinEnvironment& env, int b) const;
    bool InMode(const PinEnvironment& env) const;
    void Step(const PinEnvironment& env);

    bool wide_;
    int pulse_ = -1;
    PulseTimer timer_;
};

} // namespace sim
