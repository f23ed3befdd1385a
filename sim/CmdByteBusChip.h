// A one-time-programmable microcontroller programmed through a byte-wide
// command interface at pin level: eight data pins, a command-select pin, a
// read-select pin and one strobe.
//
// Behaviour:
// - Powered: VCC in its window. Losing it leaves the mode.
// - A strobe pulse ends at its trailing edge (strobeActiveHigh: high then
//   low, else low then high); its width is the time between its edges.
// - Entering the mode, by the part's own sequence: with an enable pin
//   (enablePin != 0), enableStrobes pulses with that pin low, then the pin at
//   its enable voltage, then modeStrobes pulses; with a reset pin, a high
//   pulse on it, modeStrobes pulses, then the start command written with
//   startValue. The enable voltage before enableStrobes pulses is a
//   violation and the part stays out of the mode until powered again.
// - In the mode, a pulse with read select high loads the selected register
//   into the output, driven on the data pins while read select stays high.
//   A shorter pulse than programMinUs with command select high latches the
//   data pins as the command; one with command select low writes the data
//   pins into the selected register. Commands: modeCommand (the mode
//   register: bit 5 reads 1 while the part is unlocked, 0 once locked),
//   84h/85h (address low/high), 87h (the data register: the addressed code
//   byte), and the part's own extra commands (written, no effect). An
//   unknown command is a violation.
// - A pulse held for programMinUs or longer with read select low, the
//   programming voltage on the Vpp pin and the mode register at 2 after 87h
//   clears in the addressed cell the 0 bits of the data pins; at mode 4 it
//   is a lock pulse (the part locks after lockPulses of them). Out of those
//   conditions it is a violation and changes nothing. A locked part takes no
//   writes and reads its code as FFh.
//
// Fault injection: a cell that never programs, a lock needing n pulses.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct CmdByteBusFacts : PartFacts {
    std::string maker;
    std::string note;
    // Chip pins.
    int data[8] = {};
    int commandPin = 0, readPin = 0, strobePin = 0, vppPin = 0;
    int enablePin = 0, resetPin = 0;
    bool strobeActiveHigh = true;
    VoltageWindow enable{35, 45};
    uint32_t enableStrobes = 500, modeStrobes = 1000;
    uint8_t startCommand = 0x08, startValue = 0xFF;
    uint8_t modeCommand = 0x40;
    std::vector<uint8_t> extraCommands;
    VoltageWindow vpp{120, 130};
    int vppLimitTenths = 135;
    uint32_t programMinUs = 95;
    uint32_t lockPulses = 1;
};

class CmdByteBusChip : public CatalogChip {
  public:
    explicit CmdByteBusChip(const CmdByteBusFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : 0xFF; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(v);
    }

    bool Locked() const { return locked_; }
    void SetLocked(bool l) { locked_ = l; }
    bool InMode() const { return stage_ == Stage::InMode; }
    // Lock pulses taken, those after the lock included.
    uint32_t LockPulses() const { return lockCount_; }
    uint32_t PulsesAt(uint32_t a) const {
        auto it = pulsesAt_.find(a);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    uint32_t Pulses() const { return pulses_; }
    // Values written to a register (by command), in order.
    const std::vector<uint8_t>& Writes(uint8_t command) const { return writes_[command]; }
    void ClearCounts() {
        pulses_ = 0;
        pulsesAt_.clear();
        writes_.clear();
    }
    void StickCell(uint32_t a) { stuck_[a] = true; }

  private:
    enum class Stage : uint8_t { Off, Counting, Enabled, Started, InMode, Refused };
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool High(const PinEnvironment& env, int chipPin) const { return env.InputLevel(Pin(chipPin)) == 1; }
    bool Powered(const PinEnvironment& env) const;
    uint8_t DataPins(const PinEnvironment& env) const;
    bool Known(uint8_t command) const;
    void Strobe(const PinEnvironment& env, uint64_t width);
    void EnterCheck(const PinEnvironment& env);
    uint8_t RegisterValue() const;

    CmdByteBusFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    Stage stage_ = Stage::Off;
    uint32_t count_ = 0;
    bool strobeActive_ = false, resetHigh_ = false;
    uint64_t strobeStart_ = 0;
    uint8_t dataAtStart_ = 0;
    uint8_t command_ = 0, mode_ = 0, output_ = 0xFF;
    uint32_t address_ = 0;
    bool locked_ = false;
    uint32_t lockCount_ = 0, pulses_ = 0;
    std::map<uint32_t, uint32_t> pulsesAt_;
    std::map<uint32_t, bool> stuck_;
    mutable std::map<uint8_t, std::vector<uint8_t>> writes_;
};

} // namespace sim
