// A microcontroller with a code array and areas of small option cells, in its
// programming mode, at pin level (48-pin DIP, chip pin n on socket pin n).
//
// Pins: A0-A15 on 5-20, B0-B3 on 21-23 and 25, D0-D7 on 26-33, /RD 34,
// /PGM 35, /MODE 36, /CMD 38, /PRES 39; pin 3 takes the command strobe, pin 4
// the programming voltage; GND 24, VCC 48.
//
// Behaviour: with VCC in its window, /MODE falling while pin 4 is at the
// programming voltage and the address lines read 6 enters the mode (leaving
// the supply window leaves it). In the mode, pin 3 rising to the programming
// voltage while /CMD is low takes an area command: D selects the area with A
// at 0 (1 code array, 2 option rows, 4 byte group B, 8 byte group A), D = 10h
// with A at 2 the signature, D = 80h / 00h with A at 4 switch the quick
// option-row programming on and off. /RD low (with /PRES and /CMD high)
// drives the addressed cell onto D. /PRES low presents D for programming:
// code and option-row cells are pulsed over the /PRES low time, the byte
// groups over a /PGM low time inside it, with the byte last on D; a pulse programs only when pin 4 and VCC
// stay at the programming voltages and it lasts the part's time for the area
// (code 100 us; option rows 200 us in quick mode on the parts whose signature
// offers it, else 50 ms; byte groups 50 ms). Programming clears the cell's 0
// bits; nothing sets a bit again (no erase). Cell layouts:
//   code array: form 0 32 KB at A0-A11, A13-A15 (A12 low); form 1 64 KB at
//     A0-A12, A15, B0-B1.
//   option rows: row A8-A15 / 8 (+32 with A2), byte B0-B3; A1 is the half
//     (bytes 8-15); rows 4-27 (form 0) or 4-35 (form 1); bytes up to 7
//     (form 0) or 8 (form 1) hold 3 bits, the others 2.
//   byte group A at A = 0-4 (form 0) or 0-5 (form 1): bytes 0-3 whole, the
//     rest 3 bits.
//   byte group B at A = 0, 2, 4, 6: byte 0 bits 0-2 (form 0) or 0-3 (form 1),
//     bit 1 missing on variant 1; byte 1 bits 0-2 (form 0) or 0-3 (form 1) on
//     every variant, so an erased byte 1 reads 7 (0Fh); byte 2 bits 0, 1
//     and 3, bit 3 read and written inverted (an
//     erased byte reads 0Bh); byte 3 bits 0-2, bit 1 the security bit.
// Bits that are no cell read 0. An access at a place without a cell, /PGM
// outside the byte groups and an area command of no meaning are violations.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct OptionAreaFacts : PartFacts {
    std::string maker;
    std::string note;
    int form = 0;    // 0 the 32 KB part, 1 the 64 KB part
    int variant = 0; // 1: byte 0 of group B without bit 1
    uint8_t signature = 0xF9;
    uint32_t codePulseUs = 100, quickOptionPulseUs = 200, slowPulseUs = 50000;
    int vppMinTenths = 120, vppLimitTenths = 135;
    int programVccMinTenths = 60; // VCC while a cell programs
};

class OptionAreaChip : public CatalogChip {
public:
    explicit OptionAreaChip(const OptionAreaFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    // The contents by buffer address: the code array from 0, the option
    // rows (16 bytes each, from row 4) at 8040h (form 0) or 10000h (form 1),
    // byte group B at 81D0h / 10250h and group A at 81E0h / 10260h, as stored
    // (group B byte 2's bit 3 raw: 0 programmed). The places between hold no
    // cell and keep what is set there.
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : 0; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(bits_[a] != 0 ? v & bits_[a] : v);
    }

    // The bits the cell at a buffer address holds (group B byte 2's bit 3
    // included); 0 where no cell is.
    uint8_t BitsAt(uint32_t index) const { return index < bits_.size() ? bits_[index] : 0; }
    uint32_t CodeBytes() const { return facts_.form == 0 ? 0x8000 : 0x10000; }
    uint32_t OptionRows() const { return facts_.form == 0 ? 24 : 32; }
    // Buffer addresses of the areas' cells.
    uint32_t OptionIndex(uint32_t row, uint32_t byte) const {
        return (facts_.form == 0 ? 0x8040 : 0x10000) + (row - 4) * 16 + byte;
    }
    uint32_t GroupAIndex(uint32_t i) const { return (facts_.form == 0 ? 0x81E0 : 0x10260) + i; }
    uint32_t GroupBIndex(uint32_t i) const { return (facts_.form == 0 ? 0x81D0 : 0x10250) + i; }
    bool Secured() const { return (cells_[GroupBIndex(3)] & 2) == 0; }

    // Pulses of any width since the last ClearCounts, all and by address.
    uint32_t Pulses() const { return pulses_; }
    uint32_t PulsesAt(uint32_t index) const {
        auto it = pulsesAt_.find(index);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    // Width of the longest pulse at an address (0 none).
    uint64_t LongestWidthAt(uint32_t index) const {
        auto it = lastWidth_.find(index);
        return it == lastWidth_.end() ? 0 : it->second;
    }
    // Area commands taken, as (data << 8 | address).
    const std::vector<uint16_t>& Commands() const { return commands_; }
    void ClearCounts() {
        pulses_ = 0;
        pulsesAt_.clear();
        lastWidth_.clear();
        commands_.clear();
    }
    // A cell that never takes a pulse.
    void StickCell(uint32_t index) { stuck_ = static_cast<int64_t>(index); }

private:
    enum class Area { None, Code, Rows, GroupA, GroupB, Signature };
    bool Low(const PinEnvironment& env, int pin) const { return env.InputLevel(pin) == 0; }
    bool Powered(const PinEnvironment& env) const;
    bool ProgramVoltages(const PinEnvironment& env) const;
    // The address of the cell the lines select in the current area; -1 none.
    int64_t Addressed(const PinEnvironment& env) const;
    uint8_t ReadLines(const PinEnvironment& env, const int* pins, int n) const;
    void TakeCommand(const PinEnvironment& env);
    void StartPulse(const PinEnvironment& env);
    void EndPulse(const PinEnvironment& env);
    void Leave();

    OptionAreaFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_, bits_, erased_;
    bool inMode_ = false, quick_ = false;
    Area area_ = Area::None;
    bool modeLow_ = false, presLow_ = false, pgmLow_ = false, strobeHigh_ = false;
    bool pulseValid_ = false;
    int64_t pulseCell_ = -1;
    uint8_t pulseData_ = 0;
    uint64_t pulseStart_ = 0;
    uint32_t pulses_ = 0;
    std::map<uint32_t, uint32_t> pulsesAt_;
    std::map<uint32_t, uint64_t> lastWidth_;
    std::vector<uint16_t> commands_;
    int64_t stuck_ = -1;
};

} // namespace sim
