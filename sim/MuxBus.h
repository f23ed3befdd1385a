// The multiplexed-bus personality: the logic image of the 8 KB EEPROMs whose
// address bits 0-7 and data share eight lines (28-pin DIP, pins as
// MuxEepromPinout). Supplies and grounds stay with the electrical model.
//
// Image header parameters:
//   0  bus: 0 Intel (ALE, /OE, /WE), 1 Motorola (AS, DS, R/W)
//   1  register-1 pattern before power-on (every line released)
//   2  the idle pattern (address latch low, /CE high, no strobe)
//   3  the read pattern (/CE low, read direction)
//   4  the write pattern: the pattern in which the data phase of register 9
//      is a write cycle (it may equal the idle pattern)
//
// Registers (any other value is a violation):
//   0  address bits 8-15; bits 0-4 reach A8-A12
//   1  the line pattern: one of the four above, or 0 (reset: released)
//   4  1 the lines are driven (the part is powered), 0 released
//   9  write: first the address phase (the byte on AD0-7 under a pulse of
//      the address latch), then the data phase (a write cycle with the byte
//      in the write pattern; in any other pattern a dummy that leaves the
//      part alone); read, after the data phase and in the read pattern
//      only: one read strobe, AD0-7. A read ends the access: the next write
//      is an address phase again.
// A read with several sockets gets the AND of their outputs.
#pragma once
#include <cstdint>

#include "sim/MuxEepromChip.h"
#include "sim/SocketBus.h"

namespace sim {

class MuxBusPersonality : public SocketBusPersonality {
public:
    explicit MuxBusPersonality(const LogicImageHeader& header);

    uint16_t Id() const override { return kPersonalityMuxBus; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

private:
    void Snapshot(int s) override;
    bool SnapshotEmptySockets() const override { return false; }
    bool Driven() const { return reg4_ == 1 && pattern_ != before_ && pattern_ != 0; }
    int Seat(int chipPin) const { return seat_[static_cast<size_t>(chipPin - 1)]; }

    // Levels of the latch, /CE, the write pin (/WE, R/W) and the read pin
    // (/OE, DS) as bits 0-3 (1 high).
    unsigned ControlBits() const;

    MuxEepromPinout pins_;
    std::vector<int> seat_;
    // Socket pins of A8-A12, AD0-AD7 and the controls in ControlBits order.
    int highZ_[5] = {}, adZ_[8] = {}, controlZ_[4] = {};
    // What snap_[s] holds beyond the electrical conditions, so that a new
    // snapshot rewrites only the lines that moved.
    struct Drawn : DrawnBase {
        bool active = false, ad = false;
        uint8_t high = 0, datum = 0;
        unsigned controls = 0;
    };
    Drawn drawn_[kMaxSockets];
    bool motorola_;
    uint8_t before_, idle_, read_, write_;

    uint8_t high_ = 0, pattern_ = 0, reg4_ = 0, ad_ = 0;
    int phase_ = 0; // 0 address next, 1 data next, 2 the access may be read
    bool latch_ = false, driveAd_ = false, readStrobe_ = false, writeStrobe_ = false;
};

void RegisterMuxBusPersonality();

} // namespace sim
