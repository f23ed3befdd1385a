// Serial PLDs programmed a column at a time, on the adapter of the column bus
// image (pins as column_pld_pins below; VCC and ground those of a 24-pin DIP
// centred in the socket).
//
// One serial chain: DATA enters the column-address register (7 or 6 stages)
// and leaves it into the data register (255 or 132 stages); DOUT shows the
// data register's far stage while READ is high. A CLK rising edge shifts the
// chain (on the 84-column parts only while ENABLE is high). Data stage p
// counts from the stage next to the address register (p = 0) to DOUT.
//   column address  84-column parts: Gray code of (column mod 42), plus 64
//                   for the second half; 46-column parts: Gray code of the
//                   column
//   LOAD rising     (READ high) the data register takes the cells of the
//                   addressed column; at the security read address every
//                   stage takes the security cell (1 clear, 0 set)
//   PULSE           (register-4 bit 3) with 12.0 V (+-0.3 V) on the VPP pin
//                   and VCC at the programming supply (+-0.2 V): with PROG
//                   high for 10 ms or more the addressed column's cells take
//                   cell AND data; with PROG low for 100 ms or more every
//                   cell and the security cell are erased to 1
// The security cell is data stage 0 of column 82 (84-column parts) or stage
// 131 of column 45 (46-column parts): a program pulse there with that stage 0
// sets it. A secured part loads ones from its array.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

namespace column_pld_pins {
constexpr int kClock = 14, kData = 15, kEnable = 16, kLoad = 17, kProg = 18, kRead = 19;
constexpr int kMode0 = 20; // 20-23: register-4 bits 0-3, 23 the pulse
constexpr int kPulse = 23;
constexpr int kDout = 26;
constexpr int kVcc = 36, kGnd = 24;
} // namespace column_pld_pins

struct ColumnPldFacts {
    const char* maker = "";
    const char* name = "";
    bool wide = true;   // the 84-column geometry (else 46 columns)
    uint32_t fuses = 0; // the JEDEC map
    int vppPin = 3;
    int programTenths = 50;
    int vccMin = 45, vccMax = 55;
};

class ColumnPldChip : public CellArrayChip {
  public:
    explicit ColumnPldChip(const ColumnPldFacts& facts);

    void Update(const PinEnvironment& env) override;

    int Columns() const { return facts_.wide ? 84 : 46; }
    int Stages() const { return facts_.wide ? 255 : 132; }
    int AddressBits() const { return facts_.wide ? 7 : 6; }
    // The column an address selects, -1 none.
    int ColumnOf(uint32_t address) const;
    // JEDEC fuse of a column's data stage p, -1 where the cell is no fuse.
    int32_t FuseAt(int column, int stage) const;
    const ColumnPldFacts& Facts() const { return facts_; }

    struct PulseEvent {
        bool program;
        uint32_t address;
        uint64_t widthUs;
        int vccTenths;
    };
    const std::vector<PulseEvent>& Pulses() const { return pulses_; }
    // Address, VCC (tenths) and the clocks since the previous load (or
    // power-up) at each load.
    struct LoadEvent {
        uint32_t address;
        int vccTenths;
        uint32_t clocksBefore;
    };
    const std::vector<LoadEvent>& Loads() const { return loads_; }
    // Times the part was powered up.
    uint32_t PowerUps() const { return powerUps_; }
    // A cell that holds no fuse (1 erased).
    int SpareCell(int column, int stage) const {
        return spare_[static_cast<size_t>(column) * static_cast<size_t>(Stages()) + static_cast<size_t>(stage)];
    }
    void SetSpareCell(int column, int stage, int v) { Spare(column, stage) = static_cast<uint8_t>(v & 1); }
    // Fault: the security cell never sets.
    void StickSecurity() { securityStuck_ = true; }

  protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

  private:
    uint32_t Address() const;
    int SecurityColumn() const { return facts_.wide ? 82 : 45; }
    int SecurityStage() const { return facts_.wide ? 0 : 131; }
    uint32_t SecurityReadAddress() const { return facts_.wide ? 62 : 47; }
    void Act(const PinEnvironment& env, uint64_t widthUs);
    uint8_t& Spare(int column, int stage) {
        return spare_[static_cast<size_t>(column) * static_cast<size_t>(Stages()) + static_cast<size_t>(stage)];
    }

    ColumnPldFacts facts_;
    bool on_ = false, clock_ = false, load_ = false, pulse_ = false, pulseProgram_ = false;
    bool pulseConditions_ = false, overVoltageTold_ = false;
    std::vector<uint8_t> chain_; // [0, AddressBits): address, LSB at 0; then data stages
    std::vector<uint8_t> spare_; // cells that hold no fuse, by column and stage
    PulseTimer timer_;
    std::vector<PulseEvent> pulses_;
    std::vector<LoadEvent> loads_;
    uint32_t clocksSinceLoad_ = 0;
    uint32_t powerUps_ = 0;
    bool securityStuck_ = false;
};

const ColumnPldFacts* FindColumnPldPart(const std::string& maker, const std::string& name);

} // namespace sim
