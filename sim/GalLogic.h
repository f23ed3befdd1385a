// The output logic of a GAL16V8 in normal operation, as its logic diagram
// gives it: a 64 x 32 AND array (product term t, column c at fuse 32t + c; a
// cell at 0 connects the column, a term with no connection is true), eight
// output logic macrocells (OLMC n on pin 19 - n with terms 8n to 8n + 7, XOR
// polarity fuse 2048 + n, AC1 fuse 2120 + n), product-term enables at fuse
// 2128 + t, SYN at 2192 and AC0 at 2193.
//
// Modes (SYN, AC0):
// - simple (1, 0): AC1 0 makes the OLMC an always-enabled output of all
//   eight terms, AC1 1 an input; the array's feedback columns take the
//   neighbouring pins (pins 15 and 16 feed nothing back);
// - complex (1, 1): each OLMC an output enabled by its first term, the
//   other seven summed; pins 1 and 11 are array inputs, pins 12 and 19 feed
//   nothing back;
// - registered (0, 1): AC1 0 a D flip-flop of all eight terms, clocked by
//   the rising edge of pin 1 and driven while pin 11 is low, fed back from
//   the register; AC1 1 a combinational output as in the complex mode.
// The XOR fuse at 1 gives the sum at the pin, at 0 its complement (for a
// register: the level the pin takes after the clock).
#pragma once
#include <array>
#include <cstdint>
#include <functional>

#include "sim/Socket.h"

namespace sim {

class Gal16V8Logic {
public:
    using Cells = std::function<int(uint32_t)>;
    // Levels the programmer puts on chip pins 1-20 (index = chip pin).
    using PinLevels = std::array<int, 21>;

    // The inputs changed: a rising edge on pin 1 loads the registers.
    void Update(const Cells& cell, const PinLevels& in);
    // What the part drives on chip pin `chipPin` (12-19 only).
    ChipDrive Output(const Cells& cell, const PinLevels& in, int chipPin) const;

private:
    struct Outputs {
        std::array<int, 8> level{};
        std::array<bool, 8> enabled{};
    };
    Outputs Evaluate(const Cells& cell, const PinLevels& in) const;
    PinLevels Feedback(const Cells& cell, const PinLevels& level) const;
    // OR of product terms first..last over the column levels fb.
    static int SumOf(const Cells& cell, const PinLevels& fb, int first, int last);

    std::array<int, 8> reg_{}; // each register as its pin shows it
    bool clockHigh_ = false;
};

} // namespace sim
