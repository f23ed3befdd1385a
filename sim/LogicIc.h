// A logic IC of the 74 and 4000 series at pin level, configured per part from
// its datasheet: gates (any AND-type product of true or inverted inputs, with
// a true or inverted output, or an XOR), edge-triggered D flip-flops with
// asynchronous preset and clear, a 4-bit synchronous counter, and outputs that
// are totem-pole, open-collector or three-state.
//
// Behaviour, as the datasheets describe it:
// - Powered: VCC on its pin inside the part's recommended window and its GND
//   pin held low. Outside the window the part gives no valid outputs (every
//   output floats). Above the absolute maximum on any pin: a violation.
// - Unpowered (no supply on VCC): the part is only its protection diodes, as
//   a ProbeChip.
// - Inputs: TTL inputs (74, 74LS) left open read high; CMOS inputs (74HC,
//   4000) take whatever weak level the pin has.
// - Flip-flops and the counter act on the rising edge of their clock; preset
//   and clear (and the counter's clear) act at once, whatever the clock does.
//   Preset and clear together make both Q and /Q high. Power-up state is
//   arbitrary: the model starts with every Q high and the counter at 5.
// - An output driven against the programmer's pin driver is recorded by the
//   pin-driver personality.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/ProbeChip.h"

namespace sim {

// A chip pin, read inverted when `low` (an active-low input).
struct LogicPin {
    int pin = 0;
    bool low = false;
};

enum class LogicOutputKind : uint8_t { TotemPole, OpenCollector, ThreeState };

struct LogicGate {
    enum Kind : uint8_t { And, Xor } kind = And;
    std::vector<LogicPin> inputs;
    bool invert = false; // NAND, NOR (And of inverted inputs), OR (both), NOT
    int output = 0;
    LogicOutputKind outputKind = LogicOutputKind::TotemPole;
    LogicPin enable; // three-state: the output drives while this reads 1
};

struct LogicFlipFlop {
    int d = 0, clock = 0;
    LogicPin preset, clear; // asserted when they read 1 (after inversion)
    int q = 0, qn = 0;
};

// Synchronous 4-bit binary counter with asynchronous clear and synchronous
// load (the 161 type): counts on the clock's rising edge while both enables
// are high; the ripple carry is high at 15 while ENT is high.
struct LogicCounter {
    int clock = 0;
    LogicPin clear, load; // asserted when they read 1
    int enp = 0, ent = 0;
    int data[4] = {};
    int q[4] = {};
    int carry = 0;
};

struct LogicIcConfig {
    std::string maker;
    std::string name;
    int pinCount = 14;
    int vccPin = 14;
    int gndPin = 7;
    // Recommended supply window and absolute maximum, millivolts.
    int vccMinMv = 4750;
    int vccMaxMv = 5250;
    int absMaxMv = 7000;
    bool ttlInputs = true;
    std::vector<LogicGate> gates;
    std::vector<LogicFlipFlop> flipFlops;
    std::vector<LogicCounter> counters;
};

class LogicIc : public ProbeChip {
public:
    explicit LogicIc(LogicIcConfig config, int rowsUp = 0);

    std::string Name() const override { return cfg_.name; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;

    const LogicIcConfig& Config() const { return cfg_; }
    // A fault: chip pin `chipPin` loses its contact with the socket (a bent
    // or broken lead), so the part sees the input open: high on TTL inputs,
    // and on CMOS inputs the level its floating gate happens to hold,
    // `cmosLevel`. The socket sees nothing of the pin. 0 ends the fault.
    void OpenPin(int chipPin, int cmosLevel = 0);
    // A fault: the leads of chip pins a and b are crossed (exchanged on a
    // board or an adapter), so each meets the other's socket contact. 0, 0
    // ends the fault.
    void CrossPins(int a, int b);
    // The chip pins the part reads (its inputs), ascending.
    std::vector<int> InputPins() const;
    bool Powered(const PinEnvironment& env) const;
    // State for the tests: Q of flip-flop i, the counter value.
    bool FlipFlopQ(size_t i) const { return i < ffQ_.size() && ffQ_[i]; }
    int CounterValue(size_t i) const { return i < count_.size() ? count_[i] : 0; }

private:
    enum class Supply { Off, OutOfWindow, On };
    Supply SupplyState(const PinEnvironment& env) const;
    int Socket(int chipPin) const;
    // The chip pin whose socket contact chipPin's lead meets.
    int Lead(int chipPin) const;
    int Level(const PinEnvironment& env, int chipPin) const;
    bool Read(const PinEnvironment& env, const LogicPin& p) const;
    bool Rising(const PinEnvironment& env, int chipPin);
    void PowerUp(const PinEnvironment& env);
    void CheckVoltages(const PinEnvironment& env);
    // Level 0/1 the part puts on its output pin; -1 when the pin floats and
    // -2 when the pin is no output of the part.
    int OutputLevel(const PinEnvironment& env, int chipPin) const;

    LogicIcConfig cfg_;
    bool powered_ = false;
    std::vector<int> lastLevel_; // per chip pin, for the clock edges
    std::vector<bool> ffQ_;
    std::vector<int> count_;
    std::vector<bool> overReported_;
    int openPin_ = 0;
    int openLevel_ = 0;
    int crossA_ = 0, crossB_ = 0;
};

// The logic parts are in the catalog, named alone as the IC tester's
// library spells them: FindFacts<LogicIcConfig>("SN74LS00").

} // namespace sim
