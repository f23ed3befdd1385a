// A one-time product-term PAL in its programming mode: product lines of
// input columns, one fuse per existing cell, split in two halves with their
// own programming, strobe, line-address and output pins.
//
// The 20-pin kind has 64 lines (halves 0-31, 32-63) of 32 columns and 4
// outputs a half; the 24-pin kind 80 lines (halves 0-39, 40-79) of 40
// columns and 5 outputs a half. Output o of a half serves its lines
// o x 8 .. o x 8 + 7. The part's layout says which cells exist (a small PAL
// has fewer inputs and lines than the array); fuses count the existing
// cells with the line outer and the column inner.
//
// Addressing, with a half selected by its programming pin at 9.5 V or more:
//   column q: every input but input q / 4 raised to 9.5 V or more, input
//             q / 4 at a logic level (bit 0 of q), the half's extra pin
//             raised for bit 1 of q;
//   line:     bit k of (line mod 8) from the half's line pin k raised.
// A cell blows when, powered, the half's programming pin is at the part's
// level (+-0.5 V), the cell is addressed and its output's pin is switched to
// that level for 40 us or more while VCC is raised to the level plus 0.4 V
// (+-0.3 V). A rising edge of the half's strobe pin (the
// other half's programming pin) latches the addressed cells onto the half's
// outputs while the half stays selected: an intact cell drives the half's
// intact level, a blown one the other level. The security fuse blows with
// either programming pin at 13.5 V or more for 25 us, powered or not; the
// outputs then show every cell intact.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/BipolarPalChip.h"

namespace sim {

struct ProductTermPalFacts {
    const char* maker;
    const char* name;
    bool dip24;        // the 24-pin kind (80 x 40), else the 20-pin one (64 x 32)
    int layout;        // the part's array: an index of the kind's layouts
    bool intactHigh[2]; // each half's output level of an intact cell
    int programTenths;
};

class ProductTermPalChip : public BipolarFuseChip {
public:
    explicit ProductTermPalChip(const ProductTermPalFacts& facts);

    void Update(const PinEnvironment& env) override { Step(env); }
    void SuppliesChanged(const PinEnvironment& env) override { Step(env); }

    // The cells of a layout of a kind (-1 where none), line outer; the
    // fuse count; false for a layout the kind does not have.
    static bool Layout(bool dip24, int layout, std::vector<int>& fuseAt, uint32_t& fuses);
    // The cell of product line p (0-63 or 0-79) at column q: blown; false
    // where the layout has no cell.
    bool BlownAt(int p, int q) const {
        if (p < 0 || p >= lines_ || q < 0 || q >= columns_) return false;
        const int f = fuseAt_[static_cast<size_t>(p * columns_ + q)];
        return f >= 0 && Blown(static_cast<uint32_t>(f));
    }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    struct Half {
        int program, strobe, extra;
        int line[3];
        int output[5];
    };
    struct Cell {
        int half = -1, line = -1, column = -1; // line within the half's output group
        bool operator==(const Cell&) const = default;
    };
    Cell Addressed(const PinEnvironment& env, bool atLevel) const;
    void Step(const PinEnvironment& env);
    bool Raised(const PinEnvironment& env, int chipPin) const;
    int FuseOf(int half, int output, int line8, int column) const;

    ProductTermPalFacts part_;
    int lines_, columns_, outputs_, inputs_;
    Half halves_[2];
    std::vector<int> fuseAt_;
    struct Pulse {
        Cell cell;
        uint32_t outputs = 0;
        bool operator==(const Pulse&) const = default;
    };
    Pulse pulse_;
    PulseTimer timer_;
    PulseTimer security_;
    bool strobeHigh_[2] = {};
    int latched_[2] = {-1, -1};  // half's latched line mod 8 x columns + column
    uint32_t latchedBlown_[2] = {};
};

} // namespace sim
