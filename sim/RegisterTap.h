// The register-TAP personality: the logic image of the in-system block
// CPLDs, which clocks a part's TAP through programmer registers.
//   register 0   bit 0 TCK, bit 1 TDI, bit 2 TMS, driven on the socket pins
//                the header names; written only while register 4 is 1
//   register 4   1 from before power-up until power-down, then 0
//   register 7   read: bit 0 the level of the TDO pin
// Registers 1-3, 5, 6 and 8-11 take only 0 (the engine's output reset).
// Any other value of these registers is a violation; registers the
// personality does not name are left to the register core and the
// electrical model (a write nobody claims is a violation there).
// Header parameters 0-3: socket pins of TCK, TDI, TMS and TDO.
#pragma once
#include <cstdint>

#include "sim/Socket.h"

namespace sim {

class RegisterTapPersonality : public SimPersonality, public PinEnvironment {
public:
    explicit RegisterTapPersonality(const LogicImageHeader& header);

    uint16_t Id() const override { return kPersonalityRegisterTap; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

    PinCondition Condition(int socketPin) const override;
    uint64_t NowUs() const override { return prog_ ? prog_->NowUs() : 0; }
    void Violation(const std::string& what) const override;

    int TckPin() const { return pins_[0]; }
    int TdiPin() const { return pins_[1]; }
    int TmsPin() const { return pins_[2]; }
    int TdoPin() const { return pins_[3]; }
    // Register-0 writes since the last register-7 read, at that read (bounded log).
    const std::vector<uint32_t>& WritesBeforeReads() const { return writesBeforeReads_; }

private:
    SimProgrammer* prog_ = nullptr;
    int pins_[4];
    uint8_t outputs_ = 0;
    bool powered_ = false;
    uint32_t writes_ = 0;
    std::vector<uint32_t> writesBeforeReads_;
};

void RegisterRegisterTapPersonality();

} // namespace sim
