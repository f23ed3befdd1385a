// The column bus personality: the logic image of the serial PLDs programmed
// column by column (pins as column_pld_pins in ColumnPldChip.h).
//   register 0  bit 0 PROG, bit 1 READ: 2 while reading, 1 during a program
//               pulse, 0 otherwise
//   register 1  bit 0 CLK, bit 1 DATA; the 84-column form also bit 2 ENABLE,
//               held 1 while shifting (values 4-7)
//   register 2  bit 0 LOAD (1, then 0)
//   register 4  MODE0-MODE2 and PULSE (bit 3): 84-column form 6, 7, 5, 13;
//               46-column form 2, 3, 11
//   register 9  read: bit 0 DOUT
// Header parameter 0 picks the form: 0 the 84-column parts, 1 the 46-column
// parts. Registers 0-11 take 0 (the engine's output reset) besides the
// values above; anything else is a violation. Registers above 11 stay with
// the register core.
#pragma once
#include <cstdint>

#include "sim/Socket.h"

namespace sim {

class ColumnPldBusPersonality : public SimPersonality, public PinEnvironment {
  public:
    explicit ColumnPldBusPersonality(const LogicImageHeader& header);

    uint16_t Id() const override { return kPersonalityColumnPldBus; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

    PinCondition Condition(int socketPin) const override;
    uint64_t NowUs() const override { return prog_ ? prog_->NowUs() : 0; }
    void Violation(const std::string& what) const override;

    bool WideForm() const { return wide_; }

  private:
    SimProgrammer* prog_ = nullptr;
    bool wide_; // the 84-column form
    uint8_t control_ = 0, shift_ = 0, load_ = 0, mode_ = 0;
};

void RegisterColumnPldBusPersonality();

} // namespace sim
