// A microcontroller with an ECON configuration register in its serial
// programming mode, at pin level.
//
// Behaviour: with VDD in its window, the mode pin high and the programming
// voltage on the Vpp pin, ten or more clocks and the mode pin falling enter
// the mode (the code address counter at 0). Frames are ten rising clock
// edges: the first starts the frame, the next eight latch bits 0-7 from the
// data and address pins, the last ends it; the data-out pin shows bit i of
// the frame's output byte after edge i + 2. At the end of a frame with
// configuration select high the address bits select a configuration cell
// (1Eh maker code, 1Fh device code, 20h ECON, 00h-07h the configuration
// bytes), otherwise the frame takes the next code cell from the counter; the
// cell becomes the next frame's output byte and the target of the program
// pulses that follow. A pulse sets the latched data's 1 bits once the cell
// had the part's number of pulses; after each pulse data-out reads 1 when the
// cell holds the data. Blank cells read 00h. ECON bit 5 makes the code and
// the configuration bytes read 00h and refuse pulses. A pulse inside a frame,
// shorter than the part's minimum, at no cell, or without the programming
// voltage, and Vpp before VDD, are violations. AnswerAnotherIdentity gives
// another part's device code (bit 0 inverted, never 00h).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct EconFacts : PartFacts {
    std::string maker;
    std::string note;
    // Chip pins of the serial interface.
    int configSelectPin = 0, vppPin = 0, dataInPin = 0, clockPin = 0, dataOutPin = 0, addressDataPin = 0,
        pulsePin = 0, modePin = 0;
    uint32_t codeBytes = 0x1000;
    int vppMinTenths = 115, vppLimitTenths = 135;
    uint32_t minPulseUs = 50;
    // Pulses a cell needs before it takes the data.
    uint32_t pulsesToTake = 2;
};

class EconChip : public CatalogChip {
public:
    explicit EconChip(const EconFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    // The code cells, then ECON and the configuration bytes 0-7.
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : 0; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(v);
    }

    uint8_t Econ() const { return cells_[facts_.codeBytes]; }
    // ECON bit 5 set: code and configuration bytes read 00h.
    bool Secured() const { return (Econ() & 0x20) != 0; }
    uint8_t ConfigByte(uint32_t i) const { return i < 8 ? cells_[facts_.codeBytes + 1 + i] : 0; }
    // The cell index of configuration address a; -1 for none.
    int ConfigCell(uint32_t a) const;
    uint32_t PulsesAt(uint32_t cell) const {
        auto it = pulsesAt_.find(cell);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    void ClearCounts() { pulsesAt_.clear(); }
    // A cell that never takes a pulse.
    void StickCell(uint32_t cell) { stuck_ = static_cast<int>(cell); }

private:
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool High(const PinEnvironment& env, int chipPin) const { return env.InputLevel(Pin(chipPin)) == 1; }
    bool Powered(const PinEnvironment& env) const;
    bool VppOn(const PinEnvironment& env) const;
    uint8_t ReadTarget(int cell) const;
    // The device code the part answers at 1Fh.
    uint8_t DeviceCode() const;
    void EndFrame(const PinEnvironment& env);
    void EndPulse(const PinEnvironment& env);
    void Leave();

    EconFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    bool entered_ = false, clockHigh_ = false, modeHigh_ = false, pulseHigh_ = false, vppSeen_ = false;
    uint32_t entryClocks_ = 0, edge_ = 0, counter_ = 0, pulsesHere_ = 0;
    uint8_t dataBits_ = 0, addressBits_ = 0, data_ = 0, out_ = 0;
    int target_ = -1;
    bool level_ = false;
    uint64_t pulseStart_ = 0;
    std::map<uint32_t, uint32_t> pulsesAt_;
    int stuck_ = -1;
};

} // namespace sim
