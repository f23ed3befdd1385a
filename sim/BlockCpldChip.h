// The register-driven block CPLDs on the adapter of the block CPLD bus image:
// two, four or eight logic blocks whose fuse arrays share one row selection.
//   row register   one-hot, one stage per row (stage s selects row s; a clock
//                  of RCLK shifts RIN into stage 0), or a 6-bit row address
//                  shifted in bit 0 first
//   data registers one per block, one stage per column, powering up at 1s;
//                  a clock of DCLK shifts DIN b into block b's first stage
//   read-out       ROE rising (with MODE at set-up) loads every block's
//                  register from the selected row in reverse column order;
//                  DOUT b is block b's last stage while ROE is high
//   pulses         PULSE high for the command on CMD0/CMD1 with 9.2 V
//                  (+-0.3 V) on the programming pin and the programming
//                  supply on VCC:
//                    2 program: every selected row's cell takes cell AND
//                      data (50 ms or more)
//                    1 erase the selected rows (some members: every row) to 1
//                      (100 ms or more); erasing every row clears the security
//                    3 secure (50 ms or more): reads then give 0
// Cells are kept in the JEDEC numbering; a chip's own table gives the fuse
// of each (row, block, column). The E row's cells read inverted, so an
// erased E row reads 0.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

// The adapter's socket pins (the supply on 38, ground on 24).
namespace block_cpld_pins {
constexpr int kCmd0 = 1, kCmd1 = 2, kDclk = 3, kRclk = 4, kRin = 5, kEnable = 6, kRoe = 7;
constexpr int kMode0 = 8, kMode1 = 9, kPulse = 10;
constexpr int kDin0 = 16;  // 16-23
constexpr int kDout0 = 39; // 39-46
constexpr int kVcc = 38, kGnd = 24;
// The instruction form: TCK, TDI and TMS on the clock pins, TDO on 47.
constexpr int kTck = kDclk, kTdi = kRclk, kTms = kRin, kTdo = 47;
} // namespace block_cpld_pins

struct BlockCpldFacts {
    const char* maker = "";
    const char* name = "";
    int blocks = 2;
    int columns = 72;   // data-register stages of a block
    uint32_t fuses = 0; // the JEDEC map
    int rowStages = 62; // one-hot stages; 0: a 6-bit row address
    int eRow = -1;      // the E row, -1 none
    // JEDEC fuse of the cell of a row in a block at column c (c = 0 is the
    // stage shifted in first), -1 where the column holds no cell.
    int32_t (*fuseAt)(int row, int block, int column) = nullptr;
    int programTenths = 50; // the programming supply (+-0.2 V)
    int vppPin = 12;
    bool eraseAll = false; // an erase pulse erases every row whatever is selected
    int vccMin = 45, vccMax = 55;
    // The supply and ground pins (another adapter may move them).
    int vccPin = block_cpld_pins::kVcc, gndPin = block_cpld_pins::kGnd;
};

class BlockCpldChip : public CellArrayChip {
  public:
    explicit BlockCpldChip(const BlockCpldFacts& facts);

    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override;

    const BlockCpldFacts& Facts() const { return facts_; }
    // Rows selected at each program, erase and secure pulse, in order
    // (-1 none), with the command and the pulse width (us).
    struct PulseEvent {
        int command;
        std::vector<int> rows;
        uint64_t widthUs;
    };
    const std::vector<PulseEvent>& Pulses() const { return pulses_; }
    // VCC (tenths) at each read-out load.
    const std::vector<int>& ReadSupplies() const { return readSupplies_; }
    // The rows each read-out loaded, in order.
    const std::vector<int>& ReadRows() const { return readRows_; }
    // Row-register clocks since power-up, with the input at each.
    const std::vector<bool>& RowInputs() const { return rowInputs_; }
    // The command pins at each switch-off of the supply.
    const std::vector<int>& CommandsAtPowerOff() const { return commandsAtOff_; }

  protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

  private:
    std::vector<int> SelectedRows() const;
    int RowCount() const { return facts_.rowStages == 0 ? 64 : facts_.rowStages; }
    void PowerOn();
    void Act(const PinEnvironment& env, int command, uint64_t widthUs);

    BlockCpldFacts facts_;
    bool on_ = false;
    std::vector<bool> rowReg_;
    int address_ = 0;
    std::vector<std::vector<uint8_t>> data_; // [block][stage]
    bool dclk_ = false, rclk_ = false, roe_ = false, pulse_ = false;
    int pulseCommand_ = 0;
    PulseTimer timer_;
    std::vector<PulseEvent> pulses_;
    std::vector<int> readRows_;
    std::vector<int> readSupplies_;
    std::vector<bool> rowInputs_;
    int command_ = 0;
    std::vector<int> commandsAtOff_;
};

// The catalog's part of that maker and name; nullptr none.
const BlockCpldFacts* FindBlockCpldPart(const std::string& maker, const std::string& name);

} // namespace sim
