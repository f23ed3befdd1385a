// A Z8-type one-time-programmable microcontroller in its EPROM programming
// mode, at pin level, configurable by part.
//
// Behaviour, as the parts' programming data sheets describe it:
// - Entry: VCC up and ground held, the mode pin (XTAL1) low, then the EPM
//   pin raised into its high-voltage window. Losing any of these leaves the
//   mode.
// - Addressing: an address-line part takes the cell address from its
//   address pins; a counter part clears its counter on each rising edge of
//   the clear pin and advances it on each rising edge of the clock pin.
// - Space: when the Vpp pin first rises into the Vpp window after entry, the
//   address lines (or the counter) choose the space: the option value
//   selects the option byte (at the option address of an address-line part,
//   at every counter position of a counter part), any other value the array.
// - Read: while the read strobe (/OE) is low the part drives the selected
//   byte on D0-D7. With the security bit (option bit 0) at 0 the array reads
//   FFh; the option byte stays readable.
// - Program: a low pulse on the program strobe (/PGM) with the data pins
//   held and Vpp in its window latches D0-D7 on the falling edge; on the
//   rising edge a pulse of at least the part's width counts for the cell,
//   and once the cell had the pulses it needs its bits go from 1 to 0 where
//   the latch holds 0, never back. Shorter pulses and pulses without Vpp
//   burn nothing. Unimplemented option bits read 1.
// - Only the Vpp and EPM pins take high voltage; the rest of the package is
//   held to logic levels by its pin limits.
//
// Parts entered by high-voltage pins (`Z8Entry::HighVoltagePins`): the read
// pin (kept in `epmPin`) at high voltage with the mode pin below it reads the
// array; the Vpp pin in its window with the mode pin below high voltage
// programs it; Vpp and the mode pin both at high voltage take option pulses.
// Such a pulse of at least `optionPulseUs` burns the first option whose pin
// pattern the socket shows (data lines not needed); a shorter one or none
// matching burns nothing. An option marked `protects` is the security bit.
//
// Every counted pulse is recorded (space, address, data, width), and every
// burnt option (name, address, width), so tests read pulse widths in virtual
// time from the part. Faults: a cell that never programs, a cell needing k
// pulses, option-byte bits (or the security bit) that never take.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

enum class Z8Entry {
    EpmPin,          // mode pin low, EPM pin in its window; Vpp for programming
    HighVoltagePins, // read pin, Vpp pin and mode pin at high voltage choose the mode
};

// An option a pulse burns when these pins are (or are not) at high voltage,
// these are held low and these held at a logic high (not high voltage), and,
// when `address` is not negative, the address lines show it.
struct Z8OptionPattern {
    std::string name;
    std::vector<int> highVoltage;
    std::vector<int> notHighVoltage;
    int address = -1;
    bool protects = false;
    std::vector<int> heldLow = {};
    std::vector<int> logicHigh = {};
};

struct Z8OtpFacts : PartFacts {
    std::string maker;
    // Where a fact is not the datasheet's own, the note says so.
    std::string note;
    // Chip pins of the EPROM mode. Address-line parts list A0 first; counter
    // parts leave `address` empty and name the clear and clock pins.
    std::vector<int> address;
    int clearPin = 0, clockPin = 0;
    std::vector<int> data; // D0-D7
    int modePin = 0, readStrobe = 0, programStrobe = 0, vppPin = 0, epmPin = 0;
    VoltageWindow vppWindow{120, 130};
    VoltageWindow epmWindow{105, 130};
    int highVoltageLimitTenths = 135;
    uint32_t minPulseUs = 1000;
    int pulsesNeeded = 1;
    // The address-line value (or counter position) that selects the option
    // byte when Vpp rises, and where an address-line part keeps it.
    uint32_t optionSelect = 3;
    uint32_t optionAddress = 0x3F;
    uint8_t optionMask = 0x3F; // implemented bits of the option byte
    Z8Entry entry = Z8Entry::EpmPin;
    // Option pulses of a `HighVoltagePins` part.
    std::vector<Z8OptionPattern> optionPatterns;
    uint32_t optionPulseUs = 100000;
    // A part whose option pulses are also taken after Vpp rose while the EPM
    // pin was held low (the mode pin then stays low).
    bool optionsOnLowEpm = false;
};

class Z8OtpChip : public CatalogChip {
public:
    explicit Z8OtpChip(const Z8OtpFacts& facts, std::vector<int> socketPins = {});

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t address) const override { return address < cells_.size() ? cells_[address] : 0xFF; }
    void SetCell(uint32_t address, uint16_t value) override {
        if (address < cells_.size()) cells_[address] = static_cast<uint8_t>(value);
    }

    const Z8OtpFacts& Z8() const { return facts_; }
    // The option byte as the part reads it (unimplemented bits 1).
    uint8_t OptionByte() const { return static_cast<uint8_t>(option_ | ~facts_.optionMask); }
    void SetOptionByte(uint8_t v) { option_ = v; }
    bool Protected() const { return (OptionByte() & 1) == 0; }
    bool InMode() const { return inMode_; }
    uint32_t Counter() const { return counter_; }

    struct Pulse {
        bool option;
        uint32_t address;
        uint8_t data;
        uint64_t widthUs;
    };
    // Every program pulse of at least the part's width with Vpp present.
    const std::vector<Pulse>& Pulses() const { return pulses_; }
    // Pulses the part refused (too short, without Vpp, no option matching).
    uint32_t RefusedPulses() const { return refused_; }
    struct BurntOption {
        std::string name;
        uint32_t address;
        uint64_t widthUs;
    };
    const std::vector<BurntOption>& BurntOptions() const { return burnt_; }

    void StickCell(uint32_t a) { stuck_[a] = true; }
    void SetPulsesNeeded(uint32_t a, int n) { needed_[a] = n; }
    void StickOptionBits(uint8_t bits) { stuckOptionBits_ = bits; }
    void StickSecurityBit() { StickOptionBits(0x01); }

private:
    int S(int chipPin) const;
    bool Level(const PinEnvironment& env, int chipPin, bool last) const;
    uint32_t AddressOf(const PinEnvironment& env) const;
    uint8_t Selected(const PinEnvironment& env) const;
    // Whether the part is in a mode after its entry pattern; sets the space
    // and the option-pulse mode. `vpp`: the Vpp pin in its window.
    bool Enter(const PinEnvironment& env, bool vccUp, bool& vpp);
    bool HighVoltage(const PinEnvironment& env, int chipPin) const;
    void Burn(const PinEnvironment& env, uint64_t widthUs);
    void BurnOption(const PinEnvironment& env, uint64_t widthUs);
    void Leave();

    Z8OtpFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    uint8_t option_ = 0xFF;

    bool inMode_ = false;
    bool spaceChosen_ = false;
    bool optionSpace_ = false;
    bool optionPulses_ = false;
    bool lowEpmOptions_ = false;
    bool lastVpp_ = false;
    uint32_t counter_ = 0;
    bool lastClear_ = false, lastClock_ = false, lastStrobe_ = true, lastRead_ = true;
    bool pulsing_ = false;
    uint64_t pulseStart_ = 0;
    uint8_t latch_ = 0xFF;
    uint32_t pulseAddress_ = 0;

    std::vector<Pulse> pulses_;
    uint32_t refused_ = 0;
    std::map<uint32_t, bool> stuck_;
    std::map<uint32_t, int> needed_;
    std::map<uint32_t, int> counted_;
    std::vector<BurntOption> burnt_;
    uint8_t stuckOptionBits_ = 0;
};

// The catalog's Z8 OTP parts.
const Z8OtpFacts* FindZ8OtpPart(const std::string& maker, const std::string& name);

} // namespace sim
