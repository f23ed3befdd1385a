// One-time bipolar logic arrays whose fuses are addressed by a row and a
// column value and verified one at a time, with test cells outside the
// fuse map that the maker leaves for the programmer to blow first.
//
// StrobePlaChip: the 20-pin 18 x 42 x 10 arrays (1842 fuses), the 20-pin
// 16 x 45 x 12 sequencer arrays (2108 fuses) and the 24-pin 22 x 42 x 10
// array (2178 fuses). Chip pins, 20-pin (24-pin): VCC 20 (24), GND 10 (12),
// row value on pins 6..1, bit 0 on pin 6 (pins 1-7, bit 0 on pin 1),
// column value on pins 15, 14, 13, 12, 9, 8, 7, bit 0 on pin 15 (pins 8, 9,
// 10, 11, 14, 15, bit 0 on pin 8), the strobe 11 (13), B6 16 (20) the
// verify output, B7 17 (21) the program select, B8 18 (22) the program
// output.
// With VCC raised to 8.5 V (+-0.3 V), B7 held low and the strobe low, B6
// shows the addressed cell: high blown, low intact (an address that is
// no cell reads intact). With VCC at 8.5 V, B7 not held low and B8 at the
// part's programming level (+-0.5 V), a strobe low for 20 us or more blows
// the addressed cell; a fuse never heals. VCC takes 9.0 V, B8 the level
// plus 0.5 V.
//
// FplaChip: the 28-pin 16 x 48 x 8 field-programmable logic array (1928
// fuses: term t's 32 input columns at 40t + c, column 2i input i true and
// 2i + 1 complemented, its 8 output fuses at 40t + 32 + k, the polarity
// fuse of output k at 1920 + k). Chip pins: FE 1, I7..I0 on 2-9, F7..F4 on
// 10-13, GND 14, F3..F0 on 15-18, CE 19, I15..I8 on 20-27, VCC 28.
// - Unpowered (VCC below 1.0 V, GND held), 17.5 V (+-1.0 V) on output k
//   for 2 us or more blows its polarity fuse.
// - VCC at 8.5 V, no input raised, I6-I15 high, CE low: each output shows
//   its polarity fuse (high blown).
// - Product-term mode: VCC at 5.0 V (+-0.25 V), every input but one at
//   10.0 V (+-0.5 V); F0-F5 carry the term, the one input at a logic level
//   selects column 2i (high) or 2i + 1 (low). CE raised to 10 V: F7 shows
//   the cell (high blown); with FE at 17.5 V (+-0.5 V) a CE pulse of 2 us
//   or more blows it.
// - Output-array mode: VCC at 8.5 V, no input raised, I6-I15 low, I0-I5
//   the term. CE low: output k shows its OR cell through its polarity gate
//   (an intact polarity fuse inverts). With output k at 10 V, FE at 17.5 V,
//   a CE pulse at 10 V of 2 us or more blows the cell.
// Test cells: term 48 of both arrays. FE and the outputs take 18.0 V, the
// inputs and CE 11.0 V, VCC 9.0 V.
#pragma once
#include <cstdint>
#include <map>

#include "sim/BipolarPalChip.h"

namespace sim {

// What both models count: how often the part showed a test cell on its
// verify output (a read that should touch none).
class TestCellCount {
public:
    uint32_t TestCellReads() const { return reads_; }
    void ClearTestCellReads() { reads_ = 0; }

protected:
    void CountRead() const { ++reads_; }

private:
    mutable uint32_t reads_ = 0;
};

enum class StrobePlaLayout : uint8_t {
    Pla18,       // 18 x 42 x 10, no test cells
    Pla18Tested, // the same with ten test cells
    Seq16A,      // 16 x 45 x 12, first column decode
    Seq16B,      // second column decode
    Seq16C,      // third column decode
    Pla22,       // 22 x 42 x 10, 24 pins, ten test cells
};

struct StrobePlaFacts {
    const char* maker;
    const char* name;
    StrobePlaLayout layout;
    int programTenths; // the level B8 takes to blow a fuse
};

class StrobePlaChip : public BipolarFuseChip, public TestCellCount {
public:
    explicit StrobePlaChip(const StrobePlaFacts& facts);

    void Update(const PinEnvironment& env) override { Step(env); }
    void SuppliesChanged(const PinEnvironment& env) override { Step(env); }

    static uint32_t MapFuses(StrobePlaLayout layout);
    static uint32_t TestCells(StrobePlaLayout layout);
    uint32_t MapFuses() const { return MapFuses(part_.layout); }
    // The cell of a row and column value, -1 none.
    int CellOf(int row, int column) const;
    bool BlownAt(int row, int column) const {
        const int n = CellOf(row, column);
        return n >= 0 && Blown(static_cast<uint32_t>(n));
    }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    bool Wide() const { return part_.layout == StrobePlaLayout::Pla22; }
    int AddressedCell(const PinEnvironment& env) const;
    bool VerifySupply(const PinEnvironment& env) const;
    void Step(const PinEnvironment& env);
    void Add(int row, int column);

    StrobePlaFacts part_;
    std::map<int, uint32_t> cells_; // row x 128 + column -> cell
    int pulse_ = -1;
    PulseTimer timer_;
};

struct FplaFacts {
    const char* maker;
    const char* name;
};

class FplaChip : public BipolarFuseChip, public TestCellCount {
public:
    static constexpr uint32_t kMapFuses = 1928;
    static constexpr uint32_t kTestCells = 40;

    explicit FplaChip(const FplaFacts& facts);

    void Update(const PinEnvironment& env) override { Step(env); }
    void SuppliesChanged(const PinEnvironment& env) override { Step(env); }

    // The test cells: term 48's input column c and output k.
    static uint32_t TermTestCell(int c) { return kMapFuses + static_cast<uint32_t>(c); }
    static uint32_t OutputTestCell(int k) { return kMapFuses + 32 + static_cast<uint32_t>(k); }
    // The cell of term t (48: the test term) at input column c (2i input i
    // true, 2i + 1 complemented) or output column 32 + k; -1 none.
    int CellOf(int term, int column) const;
    bool BlownAt(int term, int column) const {
        const int n = CellOf(term, column);
        return n >= 0 && Blown(static_cast<uint32_t>(n));
    }
    bool PolarityBlown(int k) const { return Blown(1920u + static_cast<uint32_t>(k)); }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    enum class Mode { None, Polarity, Term, Output };
    Mode ModeOf(const PinEnvironment& env, int* term, int* column) const;
    void Step(const PinEnvironment& env);

    int pulse_ = -1;
    PulseTimer timer_;
};

} // namespace sim
