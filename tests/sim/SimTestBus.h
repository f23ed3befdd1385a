// Register writes and reads as raw port bytes, the way the parallel port
// delivers them to the simulated programmer.
#pragma once
#include <cstdint>

#include "sim/SimProgrammer.h"

inline void WriteReg(sim::SimProgrammer& p, uint8_t r, uint8_t v, uint16_t base = 0) {
    if (!base) base = p.Base();
    p.Out(base, static_cast<uint8_t>((r & 0x1F) | 0x40));
    p.Out(base, static_cast<uint8_t>((v >> 4) | 0x20));
    p.Out(base, v & 0x0F);
}

// Two read phases, each with a nibble on status bits 3-6.
inline uint8_t ReadReg(sim::SimProgrammer& p, uint8_t r, uint16_t base = 0) {
    if (!base) base = p.Base();
    p.Out(base, static_cast<uint8_t>((r & 0x1F) | 0x40));
    p.Out(base, 0x30);
    const uint8_t s1 = p.In(static_cast<uint16_t>(base + 1));
    p.Out(base, 0x10);
    const uint8_t s2 = p.In(static_cast<uint16_t>(base + 1));
    return static_cast<uint8_t>(((s1 & 0x78) << 1) | ((s2 & 0x78) >> 3));
}

// A test personality that claims registers below `claimed` and reads A5h from register 2.
class ClaimRegisters : public sim::SimPersonality {
public:
    ClaimRegisters(uint16_t id, int claimed) : id_(id), claimed_(claimed) {}
    uint16_t Id() const override { return id_; }
    bool OnWrite(sim::SimProgrammer&, uint8_t reg, uint8_t) override { return reg < claimed_; }
    std::optional<uint8_t> OnRead(sim::SimProgrammer&, uint8_t reg) override {
        return reg == 2 ? std::optional<uint8_t>(0xA5) : std::nullopt;
    }

private:
    uint16_t id_;
    int claimed_;
};

// Registers that personality under `id`; configures `p` with it when given.
inline void UseClaimRegisters(uint16_t id, int claimed, sim::SimProgrammer* p = nullptr) {
    sim::RegisterPersonality(
        id, [=](const sim::LogicImageHeader&) { return std::make_unique<ClaimRegisters>(id, claimed); });
    sim::LogicImageHeader h;
    h.personality = id;
    if (p) p->ConfigureDirect(h);
}

// The control-port pulse that unconfigures the logic.
inline void ControlPulse(sim::SimProgrammer& p) {
    p.Out(static_cast<uint16_t>(p.Base() + 2), 1);
    p.Out(static_cast<uint16_t>(p.Base() + 2), 0);
}
