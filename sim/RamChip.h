// A static or dynamic RAM of the RAM test, at the level of its locations: the
// RAM-test image (RamTestBus.h) runs its address counter, data lines and
// strobes. Powered only with a supply inside the part's window on its VCC pin
// and its VSS pin grounded; unpowered it is its protection diodes to the
// insertion probe (ProbeChip). Faults: a bit stuck at a level, a dead row
// (its cells keep nothing and read 0), a coupled bit (a rising write of one
// bit sets another), an open location (its decoder selects no cell: writes
// are lost and the data lines float, read high).
#pragma once
#include <cstdint>
#include <set>
#include <vector>

#include "sim/Electrical.h"
#include "sim/ProbeChip.h"
#include "sim/RamParts.h"

namespace sim {

class RamChip : public ProbeChip {
public:
    explicit RamChip(const RamPartFacts& part);

    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;

    const RamPartFacts& Part() const { return part_; }
    bool Powered(const Electrical& e) const;
    // Location index wraps at the part's size; values keep `width` bits.
    void Write(uint32_t location, uint8_t value);
    uint8_t Read(uint32_t location) const;
    uint32_t Writes() const { return writes_; }

    void StickBit(uint32_t location, int bit, int level);
    void KillRow(uint32_t row) { deadRows_.insert(row); }
    // A write that takes bit `aggressorBit` of `aggressor` from 0 to 1 also
    // sets bit `victimBit` of `victim` (an idempotent coupling fault).
    void CoupleBits(uint32_t aggressor, int aggressorBit, uint32_t victim, int victimBit);
    void OpenLocation(uint32_t location) { openLocations_.insert(location % part_.words); }

private:
    int SocketOf(int chipPin) const;

    RamPartFacts part_;
    std::vector<uint8_t> cells_;
    uint32_t writes_ = 0;
    struct Stuck {
        uint32_t location;
        uint8_t mask;
        uint8_t level;
    };
    std::vector<Stuck> stuck_;
    std::set<uint32_t> deadRows_;
    struct Coupling {
        uint32_t aggressor;
        uint8_t aggressorMask;
        uint32_t victim;
        uint8_t victimMask;
    };
    std::vector<Coupling> couplings_;
    std::set<uint32_t> openLocations_;
};

} // namespace sim
