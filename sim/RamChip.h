// A static or dynamic RAM of the RAM test, at the level of its locations: the
// RAM-test image (RamTestBus.h) runs its address counter, data lines and
// strobes. Powered only with a supply inside the part's window on its VCC pin
// and its VSS pin grounded; unpowered it is its protection diodes to the
// insertion probe (ProbeChip). Faults: a bit stuck at a level, a dead row
// (its cells keep nothing and read 0).
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
};

} // namespace sim
