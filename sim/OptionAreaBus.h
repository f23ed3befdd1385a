// The register-bus personality of the microcontrollers with option areas: the
// logic image drives the part's lines from its registers, each register
// value one meaning (any other value is a violation); supplies, ground and
// the two high-voltage pins stay with the electrical model.
//   0  A0-A7 (socket pins 5-12)
//   1  A8-A15 (13-20)
//   2  B0-B3 (21, 22, 23, 25): 0-15
//   4  control lines: 1Fh rest, 1Eh /RD (34) low, 1Dh /PGM (35) low, 1Bh
//      /MODE (36) low
//   5  bus state: 13h lines released (power-up and power-down), 3 lines
//      driven with D (26-33) left to the part, 1 /CMD (38) low with register
//      9 on D, 81h /PRES (39) low with register 9 on D
//   9  written: the byte for D; read: D as the part drives it
// Every register takes 0 (the engine's output reset; register 5 at 0
// releases the lines); registers 3, 6-8, 10 and 11 take only 0.
#pragma once
#include <cstdint>

#include "sim/SocketBus.h"

namespace sim {

class OptionAreaBusPersonality : public SocketBusPersonality {
public:
    explicit OptionAreaBusPersonality(const LogicImageHeader&) {}

    uint16_t Id() const override { return kPersonalityOptionAreaBus; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

private:
    void Snapshot(int s) override;
    static bool Allowed(uint8_t reg, uint8_t value);

    uint8_t reg_[12] = {};
};

void RegisterOptionAreaBusPersonality();

} // namespace sim
