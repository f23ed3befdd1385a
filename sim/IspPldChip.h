// PLDs with a four-wire in-system programming interface of the published
// kind: MODE, SCLK, SDI and SDO, entered only while the part's enable pins
// are held low. Everything happens on rising SCLK edges:
// - MODE high, SDI low: to the idle state, which loads the 8-bit
//   identification byte (its bit 0 flipped while answering another
//   identity); clocks with MODE low shift it out on SDO, bit 0 first.
// - MODE high, SDI high: idle to shift, shift to execute, execute to shift.
// - MODE low in the shift state: SDI shifted into the 5-bit instruction
//   (first bit in = bit 0), and any register loaded for read-out shifted on
//   SDO.
// - MODE low in the execute state runs the instruction: 1 shifts SDI into
//   the one-hot row address (R stages, first bit in = row 0), 2 into the
//   data register (B stages, first bit in = bit 0; SDO shows its oldest
//   bit); 10 and 11 load data shift 0 or 1 of the selected rows (a secured
//   part loads ones); 17 loads the 40 signature bits (status, supply code,
//   type code, maker code, a fifth byte) for read-out in the shift state;
//   7 and 8 program data shift 0 or 1, 9 sets the security cell and 3 erases
//   every cell and the security cell, each only when the next clock comes
//   its time later (the program time, the erase time).
// Row r's data shift s holds cells r * S * B + s * B to + B - 1.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

struct IspPldFacts {
    const char* maker;
    const char* name;
    uint32_t rows, bits, shifts; // one-hot address stages, data stages, data shifts per row
    uint8_t identity;
    std::array<uint8_t, 5> signature;
    uint32_t programUs, eraseUs;
    // Chip pins: 1 MODE, 2 SCLK, 3 SDI, 4 SDO, 5 the enable pin, 6 VCC, 7
    // ground; chip pin n on socketPins[n - 1].
    std::vector<int> socketPins;
};

class IspPldChip : public CellArrayChip {
public:
    explicit IspPldChip(const IspPldFacts& facts);

    void Update(const PinEnvironment& env) override;

    // Every timed instruction: the instruction and the time to the next clock.
    struct Timed {
        uint32_t instruction;
        uint64_t widthUs;
        bool done;
    };
    const std::vector<Timed>& TimedLog() const { return timed_; }
    // The cell of data bit b of data shift s of row r (1 erased); -1 past the array.
    int CellAt(uint32_t row, uint32_t shift, uint32_t bit) const {
        if (row >= part_.rows || shift >= part_.shifts || bit >= part_.bits) return -1;
        return Cell((row * part_.shifts + shift) * part_.bits + bit);
    }
    // Rows loaded or programmed with an address that is not one-hot.
    int BadAddresses() const { return badAddresses_; }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    enum class State : uint8_t { Idle, Shift, Execute };
    bool Enabled(const PinEnvironment& env) const;
    void Clock(const PinEnvironment& env);
    void Execute(uint64_t now, int sdi);
    void FinishTimed(uint64_t now);
    std::vector<uint32_t> SelectedRows();
    static void Shift(std::deque<uint8_t>& reg, int bit);

    IspPldFacts part_;
    State state_ = State::Idle;
    uint32_t idRegister_ = 0;
    uint32_t instruction_ = 0;
    std::deque<uint8_t> address_, data_, readOut_;
    bool timing_ = false;
    uint32_t timedInstruction_ = 0;
    uint64_t timedFromUs_ = 0;
    bool clockHigh_ = false;
    int badAddresses_ = 0;
    std::vector<Timed> timed_;
};

} // namespace sim
