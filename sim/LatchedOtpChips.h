// One-time-programmable microcontrollers whose programming mode puts the
// address on the data pins and catches it in address latches, at pin level.
//
// LatchBusOtpChip: eight data pins carry the address bytes and the datum.
// - Powered: VCC in its window.
// - A rising edge of the low (high) latch strobe takes the data pins as the
//   address low (high) byte.
// - Read strobe low: the part drives the addressed code byte on the data pins
//   (blank cells read 00h, addresses below the code read 00h); with the mode
//   pin low (securing mode) it answers instead 00h, or securedAnswer once its
//   security cell is set.
// - The part enters programming when the programming voltage is in its window
//   on the Vpp pin and the auxiliary pin then gives one high pulse at logic
//   level; leaving the window leaves programming.
// - Program strobe low for at least minPulseUs, the mode pin high: the datum
//   on the data pins at the falling edge sets its 1 bits in the addressed
//   cell (a bit never returns to 0) once the cell has had the pulses it
//   needs. With the mode pin low and the high latch holding 60h the pulse
//   sets the security cell.
// - A program strobe outside programming, shorter than minPulseUs or at an
//   address without a cell is a violation and changes nothing.
//
// SplitLatchOtpChip: address bits on a group of pins shared with the data
// pins, latched by two strobes, a read strobe loading the output register, an
// output enable, a data strobe and a programming-voltage pulse.
// - Powered: VCC in its window; the mode pins at modeMinTenths or more.
// - Falling edge of the low (high) address strobe: address bits 0-7 (8-12)
//   from their pins. Falling edge of the read strobe: the addressed byte into
//   the output register, driven on the data pins while output enable is high.
//   Falling edge of the data strobe: the data pins into the data register.
// - The programming voltage rising into its window on the Vpp pin starts a
//   program pulse, falling below it ends it: a pulse of minPulseUs or more
//   clears in the addressed cell the bits that are 0 in the data register
//   (blank FFh) once the cell has had the pulses it needs. A pulse without
//   the mode voltages, while output enable is high, or shorter than
//   minPulseUs is a violation and changes nothing.
//
// Fault injection (both): a cell that never programs, a cell needing n pulses;
// a security cell that never takes (LatchBusOtpChip).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct LatchBusOtpFacts : PartFacts {
    std::string maker;
    std::string note;
    // Chip pins.
    int data[8] = {};
    int lowLatchPin = 0, highLatchPin = 0, programPin = 0, readPin = 0, auxPin = 0, modePin = 0, vppPin = 0;
    uint32_t codeStart = 0xF000; // the code runs from here to FFFFh
    VoltageWindow vpp{120, 130};
    int vppLimitTenths = 135;
    uint32_t minPulseUs = 50;
    uint8_t securedAnswer = 0xFF;
};

class LatchBusOtpChip : public CatalogChip {
  public:
    explicit LatchBusOtpChip(const LatchBusOtpFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : 0; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(v);
    }

    bool Secured() const { return secured_; }
    void SetSecured(bool s) { secured_ = s; }
    uint32_t Pulses() const { return pulses_; }
    uint32_t PulsesAt(uint32_t a) const {
        auto it = pulsesAt_.find(a);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    // Widths of the pulses at one address, in order.
    std::vector<uint64_t> WidthsAt(uint32_t a) const {
        auto it = widthsAt_.find(a);
        return it == widthsAt_.end() ? std::vector<uint64_t>{} : it->second;
    }
    uint32_t HighLatches() const { return highLatches_; }
    void ClearCounts() {
        pulses_ = highLatches_ = 0;
        pulsesAt_.clear();
        widthsAt_.clear();
    }
    void StickCell(uint32_t a) { needed_[a] = -1; }
    void SetPulsesNeeded(uint32_t a, int n) { needed_[a] = n; }
    // The security cell never takes a pulse.
    void RefuseSecuring() { refuseSecuring_ = true; }

  private:
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool High(const PinEnvironment& env, int chipPin) const { return env.InputLevel(Pin(chipPin)) == 1; }
    bool Powered(const PinEnvironment& env) const;
    bool VppOn(const PinEnvironment& env) const;
    uint8_t DataPins(const PinEnvironment& env) const;
    uint8_t Answer(const PinEnvironment& env) const;
    void EndPulse(const PinEnvironment& env);

    LatchBusOtpFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    uint32_t address_ = 0;
    bool lowLatchHigh_ = true, highLatchHigh_ = true, programHigh_ = true, auxHigh_ = false;
    bool armed_ = false, pulsing_ = false, secured_ = false, refuseSecuring_ = false;
    bool pulseMode_ = true; // the mode pin at the falling edge
    uint8_t data_ = 0;
    uint64_t pulseStart_ = 0;
    uint32_t pulses_ = 0, highLatches_ = 0;
    std::map<uint32_t, uint32_t> pulsesAt_;
    std::map<uint32_t, std::vector<uint64_t>> widthsAt_;
    std::map<uint32_t, int> needed_; // -1: never
};

struct SplitLatchOtpFacts : PartFacts {
    std::string maker;
    std::string note;
    // Chip pins.
    int lowAddress[8] = {};
    int highAddress[5] = {};
    int data[8] = {};
    int lowStrobePin = 0, highStrobePin = 0, readStrobePin = 0, outputEnablePin = 0, dataStrobePin = 0;
    int vppPin = 0;
    int modePins[2] = {};
    int modeMinTenths = 95, modeLimitTenths = 110;
    VoltageWindow vpp{120, 130};
    int vppLimitTenths = 135;
    uint32_t minPulseUs = 50;
};

class SplitLatchOtpChip : public CatalogChip {
  public:
    explicit SplitLatchOtpChip(const SplitLatchOtpFacts& facts);

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

    uint32_t Pulses() const { return pulses_; }
    uint32_t PulsesAt(uint32_t a) const {
        auto it = pulsesAt_.find(a);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    void ClearCounts() {
        pulses_ = 0;
        pulsesAt_.clear();
    }
    void StickCell(uint32_t a) { needed_[a] = -1; }
    void SetPulsesNeeded(uint32_t a, int n) { needed_[a] = n; }

  private:
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool High(const PinEnvironment& env, int chipPin) const { return env.InputLevel(Pin(chipPin)) == 1; }
    bool Powered(const PinEnvironment& env) const;
    bool InMode(const PinEnvironment& env) const;
    uint32_t Bits(const PinEnvironment& env, const int* chipPins, int n) const;

    SplitLatchOtpFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    uint32_t address_ = 0;
    uint8_t output_ = 0xFF, data_ = 0xFF;
    bool lowHigh_ = false, highHigh_ = false, readHigh_ = false, dataHigh_ = false;
    bool pulsing_ = false;
    uint64_t pulseStart_ = 0;
    uint32_t pulses_ = 0;
    std::map<uint32_t, uint32_t> pulsesAt_;
    std::map<uint32_t, int> needed_;
};

} // namespace sim
