// A Z8-type one-time-programmable microcontroller in its EPROM programming
// mode, at pin level, configurable by part.
//
// Behaviour, as the parts' programming specifications describe it:
// - Entry: VCC up and ground held, the mode pin (XTAL1) low, then the EPM
//   pin raised into its high-voltage window. Losing any of these leaves the
//   mode.
// - Addressing: an address-line part takes the cell address from its
//   address pins; a counter part clears its counter on a high pulse of the
//   clear pin and advances it on each rising edge of the clock pin.
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
// Every counted pulse is recorded (space, address, data, width), so tests
// read pulse widths in virtual time from the part. Faults: a cell that
// never programs, a cell needing k pulses, a security bit that never takes.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

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

    struct Pulse {
        bool option;
        uint32_t address;
        uint8_t data;
        uint64_t widthUs;
    };
    // Every program pulse of at least the part's width with Vpp present.
    const std::vector<Pulse>& Pulses() const { return pulses_; }
    // Pulses the part refused (too short or without Vpp).
    uint32_t RefusedPulses() const { return refused_; }

    void StickCell(uint32_t a) { stuck_[a] = true; }
    void SetPulsesNeeded(uint32_t a, int n) { needed_[a] = n; }
    void StickSecurityBit() { securityStuck_ = true; }

private:
    int S(int chipPin) const;
    bool Level(const PinEnvironment& env, int chipPin, bool last) const;
    uint32_t AddressOf(const PinEnvironment& env) const;
    uint8_t Selected(const PinEnvironment& env) const;
    void Burn(const PinEnvironment& env, uint64_t widthUs);
    void Leave();

    Z8OtpFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    uint8_t option_ = 0xFF;

    bool inMode_ = false;
    bool spaceChosen_ = false;
    bool optionSpace_ = false;
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
    bool securityStuck_ = false;
};

// The catalog's Z8 OTP parts.
const Z8OtpFacts* FindZ8OtpPart(const std::string& maker, const std::string& name);

} // namespace sim
