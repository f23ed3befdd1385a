// A 40-pin microcontroller's parallel programming mode with a code array
// behind sixteen address pins and eight data pins, three mode pins, and a
// status byte at C6h whose bit 0 locks the part, at pin level.
//
// - Powered: VCC in its window. The mode is entered at a rising edge of RST
//   while powered with XTAL1 low, and left with the supply; accesses need
//   RST high and PSEN low.
// - Mode pins (M0, M1, M2; 1 high): 0, 1, 0 selects the array cell at the
//   address, 1, 1, 0 the status byte (only at address C6h), 0, 1, 1 idle
//   (the lock pulse). The part drives the selected byte on its data pins
//   while the programming pin is at logic level (not above its supply
//   window); a locked part answers FFh for every cell.
// - Program strobe low with the programming voltage in its window starts a
//   pulse, its rising edge ends it: a pulse of minPulseUs or more writes the
//   data pins, as they stood at the falling edge, into the array cell (0, 1,
//   0) or the status byte (1, 1, 0 at C6h), or sets the lock bit (0, 1, 1 at
//   address 0). An array write on a locked part, a strobe outside the mode or
//   without the programming voltage, a short pulse, another mode pattern or
//   address, and the programming voltage leaving during a pulse are
//   violations and change nothing.
// - When the programming pin comes down while the logic driver holds a data
//   pin at another level than the part now drives, that is the violation the
//   pin driver reports for a latch write ("drives against the logic
//   driver").
//
// A new part reads FFh in every cell and erasedStatus in the status byte.
// Fault injection: a status write that leaves the lock bit set; a lock
// pulse that leaves it clear.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct StatusByteMcuFacts : PartFacts {
    std::string maker;
    std::string note;
    // Chip pins.
    int address[16] = {}; // A0 first
    int data[8] = {};     // D0 first
    int modePins[3] = {}; // M0, M1, M2
    int programPin = 0, vppPin = 0, resetPin = 0, psenPin = 0, xtalPin = 0;
    uint32_t statusAddress = 0xC6;
    uint8_t erasedStatus = 0xF8;
    VoltageWindow vpp{125, 130};
    int vppLimitTenths = 140;
    uint32_t minPulseUs = 95;
};

class StatusByteMcuChip : public CatalogChip {
  public:
    explicit StatusByteMcuChip(const StatusByteMcuFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : facts_.blank; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(v);
    }

    uint8_t Status() const { return status_; }
    void SetStatus(uint8_t s) { status_ = s; }
    bool Locked() const { return (status_ & 1) != 0; }
    // Array pulses, in all and at one address.
    uint32_t Pulses() const { return pulses_; }
    uint32_t PulsesAt(uint32_t a) const {
        auto it = pulsesAt_.find(a);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    uint32_t StatusWrites() const { return statusWrites_; }
    uint32_t LockPulses() const { return lockPulses_; }
    void ClearCounts() {
        pulses_ = statusWrites_ = lockPulses_ = 0;
        pulsesAt_.clear();
    }
    // Status writes leave the lock bit set.
    void RefuseUnlock() { refuseUnlock_ = true; }
    // Lock pulses leave the lock bit clear.
    void RefuseLock() { refuseLock_ = true; }

  private:
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool High(const PinEnvironment& env, int chipPin) const { return env.InputLevel(Pin(chipPin)) == 1; }
    bool Powered(const PinEnvironment& env) const;
    bool InMode(const PinEnvironment& env) const;
    bool VppOn(const PinEnvironment& env) const;
    bool VppAboveLogic(const PinEnvironment& env) const;
    // M0 in bit 0, M1 in bit 1, M2 in bit 2.
    int ModeBits(const PinEnvironment& env) const;
    uint32_t Address(const PinEnvironment& env) const;
    uint8_t DataPins(const PinEnvironment& env) const;
    // Whether the part drives its data pins now, and with what.
    bool OutputsOn(const PinEnvironment& env) const;
    uint8_t Answer(const PinEnvironment& env) const;
    void EndPulse(const PinEnvironment& env);

    StatusByteMcuFacts facts_;
    std::vector<int> pins_;
    int addressSocket_[16] = {};
    std::vector<uint8_t> cells_;
    uint8_t status_;
    bool entered_ = false, resetHigh_ = false, programHigh_ = true;
    bool pulsing_ = false, outputsOn_ = false, refuseUnlock_ = false, refuseLock_ = false;
    int pulseMode_ = 0;
    uint32_t pulseAddress_ = 0;
    uint8_t pulseData_ = 0xFF;
    uint64_t pulseStart_ = 0;
    uint32_t pulses_ = 0, statusWrites_ = 0, lockPulses_ = 0;
    std::map<uint32_t, uint32_t> pulsesAt_;
};

} // namespace sim
