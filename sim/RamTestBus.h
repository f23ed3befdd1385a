// The RAM-test images: programmer registers become the address counter, the
// data lines and the strobes of the RAM in the socket (RamChip). Header
// parameter 0 is the organisation: 0 DRAM by 1, 1 DRAM by 4, 2 SRAM by 8.
//
// Registers (any value not listed is a violation):
//   4   0 off, 1 idle (counter at 0), 3 test cycles on (counter at 0)
//   3   by 1: a write cycle storing the complement of bit 0; a read gives
//       the location in bit 0. By 4: the data nibble latch (0-15); a read
//       gives the nibble. By 8: a write cycle of the byte; a read gives it.
//   5   0: by 4, the nibble strobe writing the latch to the location;
//       by 8, 1 raises the 24-pin SRAM's select line and 0 lowers it
//   6   0: next location; 7 0: next row (a row cycle)
// A DRAM takes its row address only at a row cycle (register 7, and when
// test cycles start) and keeps it; location steps in between change only the
// column (the part's own column bits), so a test that leaves out a row cycle
// stays in the row before. An SRAM takes the whole location every cycle.
//   1   0x20 raises CS2 of a 28-pin SRAM, 0 lowers it; 2: 6 and 0 the
//       same for a 32-pin SRAM
//   0-11 0: outputs idle (the reset of the programmer's outputs)
// Cycles reach the part only while test cycles are on and it is powered and
// selected; otherwise reads see the bus float high.
#pragma once
#include <cstdint>

#include "sim/RamParts.h"
#include "sim/SimProgrammer.h"

namespace sim {

class Electrical;
class RamChip;
class Socket;

class RamTestBus : public SimPersonality {
public:
    explicit RamTestBus(int organisation) : organisation_(organisation) {}
    uint16_t Id() const override { return kPersonalityRamTest; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

    uint32_t Location() const { return location_; }
    uint32_t Locations() const { return locations_; }
    uint32_t RowSteps() const { return rowSteps_; }

private:
    RamChip* Reachable(SimProgrammer& p) const;
    // The cell a cycle reaches on `ram` at the current location.
    uint32_t CellOf(const RamChip& ram) const;

    int organisation_;
    bool cycles_ = false;
    uint32_t location_ = 0;
    uint32_t rowLatch_ = 0; // the location at the last row cycle
    uint32_t locations_ = 0; // location steps while cycles were on
    uint32_t rowSteps_ = 0;
    uint8_t nibble_ = 0;
    uint32_t selects_ = 0; // bit per RamSelect raised
    // The answer of Reachable, standing while the socket's chips, the pins
    // and the selects stay as they were (it is asked on every cycle).
    struct Reached {
        const Socket* socket = nullptr;
        uint64_t socketRevision = 0;
        const Electrical* electrical = nullptr;
        uint64_t electricalRevision = 0;
        uint32_t selects = 0;
        RamChip* ram = nullptr;
    };
    mutable Reached reached_;
};

void RegisterRamTestPersonality();

} // namespace sim
