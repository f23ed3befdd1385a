// The 8051 register-bus personality: the logic image of the one-time 8051s
// on the 44-pin adapter whose high address byte is latched from the low
// address lines. It drives the part's pins (44-pin PLCC, package pin n on
// socket pin n + 2) from its registers; supply, ground, PSEN's ground and
// EA/VPP stay with the electrical model.
//   0  address byte on P1 (the high byte while the latch is strobed)
//   1  latch strobe on P3.3: 1 high, 0 low
//   2  function on P3.0 (bit 0) and P3.1 (bit 1): 1 power-up, 3 code, 2 lock byte
//   3  read enable: FEh pulls the read strobe P2.7 low, FFh holds it high
//   4  control lines, one meaning per bit: bit 3 every line low (before the
//      supply comes up), bit 1 the lines driven, bit 6 XTAL1 low, bit 0 RST
//      high, bit 7 the program strobe (register 9 on P0 and, when register 5
//      arms it, ALE/PROG low); values 0Ah, 02h, 42h, 43h, C3h
//   5  program gate: 7 idle, 5 armed
//   9  written: the byte to program; read: P0 as the part drives it
// Registers 6-8, 10 and 11 take only 0, and every register takes 0 (the
// engine's output reset); any other value is a violation.
#pragma once
#include <cstdint>

#include "sim/SocketBus.h"

namespace sim {

class McuRegisterBusPersonality : public SocketBusPersonality {
public:
    explicit McuRegisterBusPersonality(const LogicImageHeader&) {}

    uint16_t Id() const override { return kPersonalityMcuBus; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

private:
    void Snapshot(int s) override;

    uint8_t reg_[12] = {};
};

void RegisterMcuRegisterBusPersonality();

} // namespace sim
