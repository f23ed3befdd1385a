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
//
// Header parameter 0 = 1: the 20-pin 8051 with an internal address counter
// instead (package pin n on socket pin n + 14):
//   0  function on P3.3, P3.4, P3.5, P3.7 (bits 0-3)
//   1  address clock: every change of the value gives one clock pulse on XTAL1
//   2  program strobe: 3 idle, 0Bh PROG (P3.2) low
//   4  control, one meaning per bit: bit 0 the lines driven, bit 1 P1 left
//      to the part (else register 9 on it), bit 2 RST low (else high);
//      values 7, 3, 1
//   9  as above
//
// Header parameter 0 = 2: the 40-pin 8051 taking mode codes (chip pin n on
// its DIP socket pin):
//   0  address byte on P1 (the high byte while register 3 has bit 5)
//   1, 2  mode code: A5h/FDh code array, 25h/FDh encryption table, 65h/FDh
//      lock bit 1, 65h/FCh lock bit 2; taken as register 3's bit 4 falls
//      and driven onto P2.6 (register 1 bit 7), P3.6 (register 1 bit 6) and
//      P3.7 (register 2 bit 0)
//   3  control, one meaning per bit: bit 0 read enable (P2.7 low, else
//      register 9 on P0), bit 1 RST high, bit 2 every line low, bit 4 mode
//      latch, bit 5 address latch (P3.3 high), bit 6 the lines driven (PSEN
//      low), bit 7 PROG (ALE) low; values 47h, 43h, 42h, 63h, 73h, C2h
//   9  as above
#pragma once
#include <cstdint>

#include "sim/SocketBus.h"

namespace sim {

class McuRegisterBusPersonality : public SocketBusPersonality {
public:
    explicit McuRegisterBusPersonality(const LogicImageHeader& h)
        : counterPart_(h.params[0] == 1), modeCodePart_(h.params[0] == 2) {}

    uint16_t Id() const override { return kPersonalityMcuBus; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

private:
    void Snapshot(int s) override;
    void SnapshotCounterPart(PinCondition* c) const;
    void SnapshotModeCodePart(PinCondition* c) const;
    bool Allowed(uint8_t reg, uint8_t value) const;
    bool AllowedModeCode(uint8_t reg, uint8_t value) const;
    // The mode code of registers 1 and 2 taken on the mode latch: false when
    // it is none of the four.
    bool TakeModeCode();

    bool counterPart_;
    bool modeCodePart_;
    uint8_t mode_ = 0; // P2.6, P3.6, P3.7 as bits 0-2
    bool clockHigh_ = false;
    uint8_t reg_[12] = {};
};

void RegisterMcuRegisterBusPersonality();

} // namespace sim
