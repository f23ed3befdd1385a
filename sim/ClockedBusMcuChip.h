// A microcontroller run from a clock the programmer gives, reading out its
// ROM over a multiplexed eight-pin bus, at pin level.
//
// Behaviour:
// - Working: VCC in its window and the programming voltage in its window
//   on the Vpp pin. The clock is the level of the clock pin; a cycle is a
//   rise and a fall, a pair two cycles.
// - Start-up: the mode pin held low through at least startupPairs pairs,
//   then high; the mode pin rising earlier is a violation and the part
//   stays out of its mode until powered again.
// - After the mode pin rises, two pairs, then bus cycles of four pairs: at
//   the first rise of the first pair the bus and the address pins give the
//   address, at that of the second the bus gives the datum, at that of the
//   third the bus repeats the address low byte; from the end of the third
//   pair to the first rise of the fourth the part drives the bus.
// - The first two bus cycles must be the set-up cycles (1Fh, 20h) and
//   (18h, 04h); after them the part drives the ROM byte at the address
//   (blank 00h), before them nothing. Another set-up cycle is a violation and
//   the part never reaches its ROM until powered again.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct ClockedBusMcuFacts : PartFacts {
    std::string maker;
    std::string note;
    // Chip pins.
    int bus[8] = {};
    int address[3] = {}; // bits 8-10
    int clockPin = 0, modePin = 0, vppPin = 0;
    VoltageWindow vpp{95, 105};
    int vppLimitTenths = 110;
    uint32_t startupPairs = 4064;
};

class ClockedBusMcuChip : public CatalogChip {
  public:
    explicit ClockedBusMcuChip(const ClockedBusMcuFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : 0; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(v);
    }

    // Pairs given with the mode pin low before it rose (last power-up).
    uint32_t StartupPairs() const { return startupPairs_; }
    // The set-up cycles seen (address, datum), and the ROM bytes read out.
    const std::vector<std::pair<uint32_t, uint8_t>>& SetupCycles() const { return setup_; }
    uint32_t RomReads() const { return romReads_; }

  private:
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool High(const PinEnvironment& env, int chipPin) const { return env.InputLevel(Pin(chipPin)) == 1; }
    bool Working(const PinEnvironment& env) const;
    uint8_t Bus(const PinEnvironment& env) const;
    void Rise(const PinEnvironment& env);
    void Fall();

    ClockedBusMcuFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    bool working_ = false, clockHigh_ = false, modeHigh_ = false, refused_ = false, driving_ = false;
    uint32_t lowRises_ = 0;          // rises with the mode pin low
    uint32_t rises_ = 0, falls_ = 0; // since the mode pin rose
    uint32_t startupPairs_ = 0, romReads_ = 0;
    uint32_t address_ = 0;
    uint8_t datum_ = 0;
    std::vector<std::pair<uint32_t, uint8_t>> setup_;
};

} // namespace sim
