// A one-time-programmable PROM that holds its contents as one bit stream, in
// an 8-pin DIP: DATA 1, OE#/VPP 2, VCC 3, GND 4, PGM 5, CLK 6, RESET 7, CE 8.
//
// No datasheet of such a part was found: the pin-out and protocol follow the
// algorithm row that serves it, and the model is strict where the row leaves
// things open.
//   - Nothing happens while CE (pin 8) is low: the counter keeps still and
//     DATA floats.
//   - RESET high clears the bit counter (the first bit); CLK rising with
//     RESET low moves it on by one bit. Bit n is bit n % 8 of byte n / 8.
//   - With OE#/VPP at a logic low the chip drives the bit under the counter
//     on DATA; otherwise DATA is an input.
//   - Programming: PGM high while OE#/VPP is at the programming level, held
//     for at least pulseUs with the level kept, writes the DATA level into
//     the bit under the counter when PGM falls. Bits only go from 1 (blank)
//     to 0. A shorter pulse, or a pulse without the programming level,
//     programs nothing.
#pragma once
#include <cstdint>
#include <string>

#include "sim/SerialChips.h"

namespace sim {

struct BitSerialOtpFacts {
    std::string name;
    uint32_t bytes = 2048;
    int vppMinTenths = 120; // programming level on OE#/VPP
    uint32_t pulseUs = 100; // shortest programming pulse
    SerialSupply supply{44, 57};
};

class BitSerialOtpChip : public SerialChipBase {
public:
    explicit BitSerialOtpChip(const BitSerialOtpFacts& facts);
    const BitSerialOtpFacts& Facts() const { return facts_; }
    // Programming pulses long enough to count, and the bit counter now.
    uint32_t Pulses() const { return pulses_; }
    uint32_t Counter() const { return counter_; }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;

    BitSerialOtpFacts facts_;
    uint32_t pulses_ = 0;
    // volatile
    uint32_t counter_ = 0;
    bool clk_ = false, pgm_ = false, out_ = false;
    bool pulseWithVpp_ = false;
    uint64_t pgmSinceUs_ = 0;
};

} // namespace sim
