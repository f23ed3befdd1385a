// A microcontroller in its programming mode behind the nibble-handshake
// logic, at pin level (40-pin DIP, chip pin n on socket pin n + 4).
//
// Pins (socket): A0-A9 on 5-14, D7-D0 on 26-33 (the data lines are wired to
// the logic's data bits in reverse order: its bit 0 reaches D7, its bit 7
// D0), /OE 36, /PGM 37, M0-M2 on 38-40, RDY 41 (driven low while a pulse
// works); the programming voltage on 35; GND 24, VCC 44.
//
// Behaviour, with VCC in its window: mode 6 is the memory, mode 4 lock
// programming, mode 5 lock check. /OE low drives the addressed cell onto D in
// mode 6, and in mode 5 D2 (the line on the logic's bit 5) high while the
// part is unlocked (low once locked; the other lines high). A /PGM pulse with pin 35 at the programming voltage
// counts towards the addressed cell in mode 6 (after the part's pulse count
// for a cell the 0 bits on D are cleared in it; an erased cell is FFh) and
// towards the lock in mode 4 whatever the address. Each pulse keeps RDY low
// for the part's pulse time; a pulse while RDY is low is a violation.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct NibbleMcuFacts : PartFacts {
    std::string maker;
    std::string note;
    int vppMinTenths = 120, vppLimitTenths = 135;
    uint32_t pulseUs = 20;       // RDY low after each pulse
    uint32_t cellPulses = 20;    // pulses a cell needs
    uint32_t lockPulses = 5;     // pulses the lock needs
};

class NibbleMcuChip : public CatalogChip {
public:
    explicit NibbleMcuChip(const NibbleMcuFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : 0; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(v);
    }

    bool Locked() const { return locked_; }
    uint32_t Pulses() const { return pulses_; }
    // Pulses taken at cell a (mode 6) since the part was seated.
    uint32_t PulsesAt(uint32_t a) const {
        auto it = cellPulses_.find(a);
        return it == cellPulses_.end() ? 0 : it->second;
    }
    // A cell that never programs; RDY held low for good.
    void StickCell(uint32_t a) { stuck_ = static_cast<int64_t>(a); }
    void StickBusy() { busyForever_ = true; }
    // A lock that never takes.
    void NeverLock() { neverLock_ = true; }

private:
    uint32_t Address(const PinEnvironment& env) const;
    uint8_t Mode(const PinEnvironment& env) const;
    bool Busy(const PinEnvironment& env) const { return busyForever_ || env.NowUs() < busyUntil_; }
    void Pulse(const PinEnvironment& env);

    NibbleMcuFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    std::map<uint32_t, uint32_t> cellPulses_;
    bool pgmLow_ = false, locked_ = false, busyForever_ = false, neverLock_ = false;
    uint32_t lockCount_ = 0, pulses_ = 0;
    uint64_t busyUntil_ = 0;
    int64_t stuck_ = -1;
};

} // namespace sim
