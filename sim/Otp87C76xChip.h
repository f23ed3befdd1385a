// A one-time-programmable 8051 of the 87C76x kind in its serial programming
// mode, at pin level.
//
// Behaviour: VDD in range and the programming voltage on RST enter the mode.
// Every action is an 8-bit command, LSB first, latched on the rising clock
// edge, followed by its operand: 2 load data, 4 read (the chip drives the
// data line from the next falling clock edge, the next bit after each rising
// edge), 6 increment the address (carrying into the high byte), 8 and 0Ah
// the address low and high byte, 0Ch start and 0Eh end a programming pulse.
// A pulse clears bits (1 -> 0) of the addressed cell. Cells: the code array,
// the 32-byte area at FCE0h, the option bytes FD00h-FD01h and the read-only
// signatures at FC30h, FC31h, FC60h. Security bits 7-6 of FD01h other than
// 11 stop programming of the code and the area; 00 also makes them read 00h.
// A short pulse, an unknown command, a command inside a pulse, an end without
// a start and a pulse at a cell the chip lacks are violations.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct Otp87C76xFacts : PartFacts {
    std::string maker;
    std::string note;
    int dataPin = 17, clockPin = 16, rstPin = 4;
    int signature3 = 0xFF; // at FC60h
    int vppMinTenths = 115, vppLimitTenths = 130;
    uint32_t minPulseUs = 50;
};

class Otp87C76xChip : public CatalogChip {
public:
    explicit Otp87C76xChip(const Otp87C76xFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return facts_.words; }
    uint16_t Cell(uint32_t a) const override { return a < facts_.words ? cells_[a] : 0xFF; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < facts_.words) cells_[a] = static_cast<uint8_t>(v);
    }

    // Any cell of the 64 KB space (the area, the option bytes).
    uint8_t At(uint32_t a) const { return cells_[a & 0xFFFF]; }
    uint32_t Pulses() const { return pulses_; }
    uint32_t PulsesAt(uint32_t a) const {
        auto it = pulsesAt_.find(a);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    // Commands in the order received, and the count of address-high loads.
    const std::vector<uint8_t>& Commands() const { return commands_; }
    void ClearCounts() {
        pulses_ = 0;
        pulsesAt_.clear();
        commands_.clear();
    }
    // A cell that never takes a pulse.
    void StickCell(uint32_t a) { stuck_ = static_cast<int>(a); }

private:
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool InMode(const PinEnvironment& env) const;
    bool Exists(uint32_t a) const;
    bool Writable(uint32_t a) const;
    uint8_t ReadCell(uint32_t a) const;
    void Byte(const PinEnvironment& env, uint8_t b);

    Otp87C76xFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    bool clockHigh_ = true;
    uint32_t shift_ = 0, bits_ = 0;
    int operandOf_ = -1; // the command awaiting its operand
    bool readPending_ = false, reading_ = false;
    uint8_t readValue_ = 0;
    uint32_t readBit_ = 0;
    uint32_t address_ = 0;
    uint8_t data_ = 0xFF;
    bool pulsing_ = false;
    uint64_t pulseStart_ = 0;
    uint32_t pulses_ = 0;
    std::map<uint32_t, uint32_t> pulsesAt_;
    std::vector<uint8_t> commands_;
    int stuck_ = -1;
};

} // namespace sim
