// A one-time bipolar PAL addressed by product-term group and input column:
// the programming mode of the 20-pin 16L8 class (8 groups x 32 columns x 8
// outputs) and of the 24-pin 20L8 class (8 x 40 x 8) and 20L10 class
// (4 x 40 x 10).
//
// Chip pins: mode pin 1, group address on pins 2-4 (bit 0 on pin 2), column
// address on the next five (16L8 class: pins 5-9) or six (24-pin: 6-11)
// inputs, the enable pin 11 (20-pin) or 13 (24-pin), outputs O0 up on the
// highest output pin down (16L8: 19..12, 20L8: 22..15, 20L10: 23..14).
// Fuse of output b at group g, column c: b x (groups x columns) + g x columns + c.
//
// A fuse reads intact until blown and never heals. It blows when, with the
// part powered, the mode pin and the enable pin both sit at 10.5-12.0 V and
// the output's pin carries the part's programming level (+-0.5 V) at a stable
// address for 40 us or more; a shorter pulse, another level or a missing
// enable blows nothing. With the enable at 10.5 V or more and the mode pin
// driven high (a logic level) the outputs show the addressed fuses: high
// intact, low blown. Every output reads low once the security fuse is blown:
// on the 20-pin and 20L8 classes by pin 2 at the programming level while
// pin 5 is at 10.5-12.0 V for 40 us; on the 20L10 class by the array pulse
// at group 7, column 45 on O0.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

enum class BipolarPalKind : uint8_t { Pal16, Pal20L8, Pal20L10 };

struct BipolarPalFacts {
    const char* maker;
    const char* name;
    BipolarPalKind kind;
    int programTenths; // the level an output pin takes to blow a fuse
};

// What every bipolar fuse array here shares: fuses that read intact (cell
// 1) until blown (cell 0) and never heal, and the settable faults.
class BipolarFuseChip : public CellArrayChip {
public:
    using CellArrayChip::CellArrayChip;

    uint32_t Fuses() const { return CellCount(); }
    bool Blown(uint32_t n) const { return n < CellCount() && Cell(n) == 0; }
    // Blows (true) or restores a fuse, as delivered or kept between runs.
    void SetBlown(uint32_t n, bool blown) { SetCell(n, blown ? 0 : 1); }
    bool SecurityBlown() const { return Secured(); }
    // Fault: the fuse blows only at its n-th pulse (StickCell: never).
    void NeedPulses(uint32_t n, uint32_t pulses) { needed_[n] = pulses; }
    // Every pulse that reached a fuse of the array, in order.
    const std::vector<uint32_t>& Pulses() const { return pulses_; }
    // Their widths in us, in the same order.
    const std::vector<uint64_t>& PulseWidths() const { return widths_; }
    void ClearPulses() {
        pulses_.clear();
        widths_.clear();
    }
    // The widest pulse the part took, in us.
    uint64_t WidestPulseUs() const { return widest_; }

protected:
    // A pulse of `widthUs` reached fuse n.
    void Blow(uint32_t n, uint64_t widthUs);
    void Took(uint64_t widthUs) {
        if (widthUs > widest_) widest_ = widthUs;
    }

private:
    std::map<uint32_t, uint32_t> needed_;
    std::map<uint32_t, uint32_t> given_;
    std::vector<uint32_t> pulses_;
    std::vector<uint64_t> widths_;
    uint64_t widest_ = 0;
};

class BipolarPalChip : public BipolarFuseChip {
public:
    explicit BipolarPalChip(const BipolarPalFacts& facts);

    void Update(const PinEnvironment& env) override { Step(env); }
    void SuppliesChanged(const PinEnvironment& env) override { Step(env); }

    // The fuse of output b at a group and column of the array.
    uint32_t CellOf(int group, int column, int b) const {
        return static_cast<uint32_t>(b * g_.groups * g_.columns + group * g_.columns + column);
    }
    bool BlownAt(int group, int column, int b) const { return Blown(CellOf(group, column, b)); }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    struct Geometry {
        int groups, columns, outputs, columnPins, firstColumnPin, enablePin, firstOutputPin;
    };
    static Geometry GeometryOf(BipolarPalKind kind);
    void Step(const PinEnvironment& env);
    int Address(const PinEnvironment& env, int first, int count) const;
    bool HighVoltage(const PinEnvironment& env, int chipPin) const;
    bool AtProgramLevel(const PinEnvironment& env, int chipPin) const;

    BipolarPalFacts part_;
    Geometry g_;
    // The pulse being timed: outputs at the level (bit b), group, column.
    struct Pulse {
        uint32_t outputs = 0;
        int group = -1, column = -1;
        bool security = false;
        bool operator==(const Pulse&) const = default;
    };
    Pulse pulse_;
    PulseTimer timer_;
};

} // namespace sim
