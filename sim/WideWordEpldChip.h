// A UV-erasable macrocell logic array of the 2500 class with a security
// cell, written and read a twelve-bit word at a time, in a 40-pin DIP or a
// 44-pin PLCC (seated through a socket adapter that puts its pin n on
// socket pin n + 2); each word gathers its bits from the fuse map in JEDEC
// order.
//
// Chip pins, DIP (PLCC): address positions 0-3 row bits, 4 the kind pin,
// 5-11 column bits 0-6 on pins 17, 18, 19, 22, 23, 37, 38, 39, 40, 1, 2, 3
// (19, 20, 21, 24, 25, 41, 42, 43, 44, 1, 2, 3); data bits 0-11 on 29, 27,
// 25, 11, 13, 15, 31, 33, 35, 9, 7, 5 (32, 30, 28, 13, 15, 17, 35, 37, 39,
// 10, 8, 6); the read strobe (low) and programming pin 20 (22); the pin held
// at VPP through the session 21 (23); VCC 10 (11 and 12), GND 30 (33, 34).
// VPP on the row-bit-3 pin selects the upper rows (the row is then bits
// 0-2 alone); VPP on the column-bit-6 pin the upper columns 128 + bits 0-5.
// The map (bit b of the word on data bit b):
//   plain rows 0-15, columns 0-171: kind pin low: fuse A(b) + 172 r + c,
//     high: B(b) + 172 r + c; upper row 0 the same for r = 16;
//   upper row 3, kind pin low, columns 0-171: the eight cells C(i) + c on
//     data bits 0, 1, 3, 4, 6, 7, 9, 10;
//   column 191 (upper columns), plain row codes 0, 4, 8, 12 (r = 0-3): kind
//     pin low 71556 + r + 8 b, high 71552 + r + 8 b; row codes 2, 6, 10, 14
//     (the part with the extra cells): low 71653 + r + 8 b, high
//     71649 + r + 8 b;
//   the security cell: upper row 0, kind pin high, column 127, data bit 7.
//   That place is also the word of row 16 at column 127, so fuse 44675 has
//   no cell of its own: it reads as the security cell.
// Read: the strobe low with the part powered drives the word, a programmed
// cell low; a secured part drives every data pin low.
// Programming: the strobe pin at VPP (+-0.3 V) with the hold pin at VPP for
// 100 us or more counts one pulse on every cell of the word whose data pin
// is driven high; a cell programs once it has taken the pulses it needs.
// A pin at VPP without VCC is a violation.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

struct WideWordEpldFacts {
    const char* maker;
    const char* name;
    bool plcc;       // the 44-pin PLCC through the adapter
    bool extraCells; // the 96 cells from fuse 71649 on
    int vppTenths;
};

class WideWordEpldChip : public CellArrayChip {
public:
    explicit WideWordEpldChip(const WideWordEpldFacts& facts);

    void Update(const PinEnvironment& env) override { Step(env); }
    void SuppliesChanged(const PinEnvironment& env) override { Step(env); }

    static uint32_t FuseCount(bool extraCells) { return extraCells ? 71745 : 71648; }
    static constexpr uint32_t kSharedSecurityFuse = 44675;
    // Fuses the part holds a cell for.
    static bool HasCell(bool extraCells, uint32_t fuse) {
        return fuse < FuseCount(extraCells) && fuse != 71648 && fuse != kSharedSecurityFuse;
    }

    bool Programmed(uint32_t n) const { return Cell(n) == 0; }
    // The cell of data bit b at a row, kind pin level and column (upper
    // columns from 128), in the upper rows or not: its index, -1 where the
    // part has none, -2 the security cell.
    int CellOf(bool upperRows, int row, int kindPin, int c, int b) const;
    bool ProgrammedAt(bool upperRows, int row, int kindPin, int c, int b) const {
        const int n = CellOf(upperRows, row, kindPin, c, b);
        return n >= 0 && Programmed(static_cast<uint32_t>(n));
    }
    void SetPulsesNeeded(int pulses) { needed_ = pulses; }
    void UvErase();
    const std::vector<uint64_t>& Pulses() const { return pulses_; }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    struct Layout {
        int address[12];
        int data[12];
        int strobe, hold;
    };
    const Layout& Pins() const;
    bool AtVpp(const PinEnvironment& env, int chipPin) const;
    int CellAt(const PinEnvironment& env, int b) const;
    void Step(const PinEnvironment& env);
    void EndPulse(uint64_t width);

    WideWordEpldFacts part_;
    int needed_ = 1;
    std::vector<uint8_t> taken_;
    int securityTaken_ = 0;
    bool pulsing_ = false;
    int pulseCells_[12] = {};
    PulseTimer timer_;
    std::vector<uint64_t> pulses_;
};

} // namespace sim
