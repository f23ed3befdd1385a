// The block CPLD bus personality: the logic image of the register-driven
// block CPLDs (pins as block_cpld_pins in BlockCpldChip.h).
//   register 0  command 0-3 on CMD0/CMD1, held
//   register 1  clocks: 1 DCLK high, 2 RCLK high, then 0 (both low)
//   register 2  4 or 5 while powered (bit 0 RIN, bit 2 ENABLE), 0 unpowered
//   register 3  1 ROE high, 0 low
//   register 4  MODE0/MODE1/PULSE: 3 set-up, 1 ready, 5 pulse on, 2 off
//               (0, the engine's output reset: all low)
//   data register (header parameter 0: 6 or 9): written, bit b to DIN b;
//               read, bit b from DOUT b
// The instruction form (header parameter 1 = 1) drives the block CPLD with
// the instruction interface instead:
//   register 0  2 powered (CMD1), 3 also read-out (CMD0), 0 off
//   register 1  bit 0 TCK, bit 1 TDI, bit 2 TMS (pins 3, 4, 5)
//   register 4  as above
//   register 9  the block data in and out, as above
//   register 10 read: bit 0 TDO (pin 47)
// Registers 0-11 the image does not name take only 0 (the engine's output
// reset); any other value is a violation. Registers above 11 stay with the
// register core.
#pragma once
#include <cstdint>

#include "sim/Socket.h"

namespace sim {

class BlockCpldBusPersonality : public SimPersonality, public PinEnvironment {
  public:
    explicit BlockCpldBusPersonality(const LogicImageHeader& header);

    uint16_t Id() const override { return kPersonalityBlockCpldBus; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

    PinCondition Condition(int socketPin) const override;
    uint64_t NowUs() const override { return prog_ ? prog_->NowUs() : 0; }
    void Violation(const std::string& what) const override;

    int DataRegister() const { return dataRegister_; }
    bool InstructionForm() const { return instructionForm_; }

  private:
    void Apply(SimProgrammer& p);

    SimProgrammer* prog_ = nullptr;
    int dataRegister_;
    bool instructionForm_;
    uint8_t command_ = 0, clocks_ = 0, row_ = 0, roe_ = 0, mode_ = 0, data_ = 0;
};

void RegisterBlockCpldBusPersonality();

} // namespace sim
