// The eight-block CPLD with an instruction interface, on the adapter of the
// block CPLD bus image in its instruction form (pins as block_cpld_pins):
// a 5-bit instruction register behind a TAP on TCK/TDI/TMS, TDO on pin 47.
//   0Fh preamble (5 bits); 0Ch identification (7 bits): 16h once the
//       preamble was scanned with 0, 0, 0, 1, 0 since power-up, else 0
//       (17h on a part answering another identity)
//   03h the 80-stage row register, holding its content on Capture-DR: a
//       single 1 shifted last selects row 0, a one-bit scan of 0 moves on
//   0Dh/0Eh the blocks' data registers (99 stages each), shifted at every
//       Shift-DR clock from DIN b; under 0Eh Capture-DR loads them from the
//       selected row in reverse column order, read on DOUT b while CMD0 and
//       CMD1 are high (the read-out)
//   06h/05h/08h program (cell AND data) / erase the selected rows / secure,
//       acting at the end of a pulse on PULSE of 50/100/50 ms or more, with
//       9.2 V (+-0.3 V) on pin 13 and 5.0 V (+-0.2 V) on VCC
// Special rows keep cell k at column P[k] as written; a read-out presents it
// at column R[k] (the odd cells 4 columns later). Rows 69, 73, 75 and 77
// hold one extra cell at column 0. A secured part reads zeros.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/BlockCpldChip.h"
#include "sim/CellArrayChip.h"
#include "sim/JtagDevice.h"

namespace sim {

struct InstructionBlockFacts {
    const char* maker = "";
    const char* name = "";
    uint32_t fuses = 54096;
    uint32_t idValue = 0x16;
    int vppPin = 13;
    int programTenths = 50;
    int vccMin = 45, vccMax = 55;
};

class InstructionBlockChip : public CellArrayChip, public TapRegisters {
  public:
    static constexpr int kBlocks = 8, kColumns = 99, kRows = 80;
    static constexpr uint32_t kBlockFuses = 6762;

    explicit InstructionBlockChip(const InstructionBlockFacts& facts);

    void Update(const PinEnvironment& env) override;

    // JEDEC fuse of a row's cell in a block at column c as written (or as a
    // read-out presents it), -1 none.
    static int32_t FuseAt(int row, int block, int column, bool forRead);
    const InstructionBlockFacts& Facts() const { return facts_; }
    TapController& Tap() { return tap_; }
    // Pulses with the instruction then current, the rows selected and the width.
    struct PulseEvent {
        uint32_t instruction;
        std::vector<int> rows;
        uint64_t widthUs;
    };
    const std::vector<PulseEvent>& Pulses() const { return pulses_; }
    // VCC (tenths) at each read-out load.
    const std::vector<int>& ReadSupplies() const { return readSupplies_; }
    // Rows each read-out capture loaded (-1: not one row selected).
    const std::vector<int>& ReadRows() const { return readRows_; }
    // Captures of the data registers under 0Eh and loads under 0Dh.
    uint32_t DataLoads() const { return dataLoads_; }

    std::optional<std::vector<bool>> CaptureDr(uint32_t instruction) override;
    void UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted,
                  uint64_t nowUs) override;

  protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

  private:
    std::vector<int> SelectedRows() const;
    void Act(const PinEnvironment& env, uint32_t instruction, uint64_t widthUs);

    InstructionBlockFacts facts_;
    TapController tap_;
    bool on_ = false, tck_ = false, pulse_ = false, preamble_ = false;
    std::vector<bool> rows_;                 // bit i: row kRows - 1 - i
    std::vector<std::vector<uint8_t>> data_; // [block][stage]
    bool readOut_ = false;
    uint32_t pulseInstruction_ = 0;
    PulseTimer timer_;
    std::vector<PulseEvent> pulses_;
    std::vector<int> readRows_;
    std::vector<int> readSupplies_;
    uint32_t dataLoads_ = 0;
};

const InstructionBlockFacts* FindInstructionBlockPart(const std::string& maker, const std::string& name);

} // namespace sim
