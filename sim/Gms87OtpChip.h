// A one-time-programmable microcontroller of the GMS87C1202 kind in its
// programming mode, at pin level.
//
// Behaviour: VDD in its window, the mode pin held low and the programming
// voltage on the Vpp pin enter the mode; leaving it clears the address latch.
// Eight bus pins carry address and data. With read-enable low, the falling
// edge of the strobe latches the bus as the address low byte while
// latch-select is high, as the high byte while it is low. With read-enable
// high and latch-select low the part drives the addressed byte on the bus
// while the strobe is high. With both high, the strobe's high time is a
// programming pulse: the bus byte at its rising edge sets its 1 bits in the
// cell (blank cells read 00h; a bit never returns to 0). Cells: the code at
// the top of the 64 KB space and eleven option bytes at 0F50h + 16 x i. Bit 2
// of option byte 10 (code protect) makes the code read FFh; the option bytes
// stay readable. A pulse shorter than the part's minimum or at an address
// without a cell, and read-enable or latch-select falling inside a pulse, are
// violations. On a part that asks for over-programming, a cell that read
// right after n pulses holds only after overprogramFactor x n minimum pulses'
// worth of further programming time; one short of it counts as weak.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct Gms87OtpFacts : PartFacts {
    std::string maker;
    std::string note;
    // Chip pins: bus bits 0-7, the mode pin, read-enable, latch-select,
    // strobe and the programming-voltage pin.
    int bus[8] = {};
    int modePin = 0, readEnablePin = 0, latchPin = 0, strobePin = 0, vppPin = 0;
    uint32_t codeBytes = 0x800; // ending at FFFFh
    int vppMinTenths = 115, vppLimitTenths = 135;
    uint32_t minPulseUs = 50;
    uint32_t overprogramFactor = 0; // 0: no over-programming asked for
};

class Gms87OtpChip : public CatalogChip {
public:
    explicit Gms87OtpChip(const Gms87OtpFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    // The whole 64 KB space (the code at its top, the option bytes).
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : 0; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(v);
    }

    uint8_t OptionByte(uint32_t i) const { return cells_[OptionAddress(i)]; }
    static uint32_t OptionAddress(uint32_t i) { return 0x0F50 + 16 * i; }
    uint32_t Pulses() const { return pulses_; }
    uint32_t PulsesAt(uint32_t a) const {
        auto it = pulsesAt_.find(a);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    // Address high-byte loads since the last ClearCounts.
    uint32_t HighLoads() const { return highLoads_; }
    void ClearCounts() {
        pulses_ = highLoads_ = 0;
        pulsesAt_.clear();
        took_.clear();
    }
    // A cell that never takes a pulse.
    void StickCell(uint32_t a) { stuck_ = static_cast<int>(a); }
    // Cell a takes its datum only at its n-th pulse.
    void SetPulsesNeeded(uint32_t a, int n) { needed_[a] = n; }
    // Cells that took their datum but got less over-programming than the part
    // asks for.
    uint32_t WeakCells() const;

private:
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool High(const PinEnvironment& env, int chipPin) const { return env.InputLevel(Pin(chipPin)) == 1; }
    bool InMode(const PinEnvironment& env) const;
    bool HasCell(uint32_t a) const;
    uint8_t ReadCell(uint32_t a) const;
    void EndPulse(const PinEnvironment& env);

    Gms87OtpFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    bool strobeHigh_ = false, pulsing_ = false;
    uint32_t address_ = 0;
    uint8_t data_ = 0;
    uint64_t pulseStart_ = 0;
    uint32_t pulses_ = 0, highLoads_ = 0;
    std::map<uint32_t, uint32_t> pulsesAt_;
    // Per cell that took: the pulses it needed, the programming time after.
    struct Took {
        uint32_t pulses = 0;
        uint64_t overUs = 0;
    };
    std::map<uint32_t, Took> took_;
    std::map<uint32_t, int> needed_;
    int stuck_ = -1;
};

} // namespace sim
