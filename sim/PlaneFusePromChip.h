// A one-time bipolar fuse PROM of 256 x 8 bits in a 24-pin DIP whose JEDEC
// map keeps the eight bit planes one after the other (fuse = bit x 256 +
// address), in its programming mode.
//
// Chip pins (VCC 24, GND 12): address bits 0-4 on pins 7-11, bits 5-7 on
// pins 4-6; D0-D7 on pins 21..14; pin 3 the read enable, pin 13 the
// programming pin. Reading: pin 3 at 13.0 V (+-0.5 V) with the part powered
// drives the addressed word, a blown fuse low. Blowing: pin 13 at 13.0 V
// (+-0.5 V) with pin 3 not raised, for 1 ms or more at a stable address,
// blows the fuse of every data pin driven high; a fuse never heals. The
// security fuse (a cell outside the map) blows with pins 3 and 13 both at
// 13.0 V for 50 ms or more at address 180. Pins 3 and 13 take 13.5 V; a
// raised pin without VCC is a violation.
#pragma once
#include <cstdint>

#include "sim/BipolarPalChip.h"

namespace sim {

struct PlaneFusePromFacts {
    const char* maker;
    const char* name;
};

class PlaneFusePromChip : public BipolarFuseChip {
public:
    explicit PlaneFusePromChip(const PlaneFusePromFacts& facts);

    void Update(const PinEnvironment& env) override { Step(env); }
    void SuppliesChanged(const PinEnvironment& env) override { Step(env); }

    static constexpr uint32_t kMapFuses = 2048;
    static constexpr uint32_t kSecurityCell = 2048;
    // The fuse of data bit k at an address: the bit planes one after the other.
    static uint32_t CellOf(int address, int k) { return static_cast<uint32_t>(k * 256 + address); }
    bool BlownAt(int address, int k) const { return Blown(CellOf(address, k)); }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    int Address(const PinEnvironment& env) const;
    void Step(const PinEnvironment& env);

    // The pulse being timed: 1 programming, 2 security, 0 none.
    int pulse_ = 0;
    int address_ = 0;
    uint32_t data_ = 0;
    PulseTimer timer_;
};

} // namespace sim
