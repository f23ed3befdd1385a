// A one-time-programmable microcontroller in its programming mode on a
// multiplexed bus, at pin level (40-pin DIP, chip pin n on socket pin n + 4).
//
// Pins (socket): bus D0-D7 on 12-19, ALE 20, /OE 21, /PGM 22, A8-A15 on
// 36-43; the programming pin (30, or 9 on the parts without a mode pin), the
// mode pin 11, the pulse pin 29 and the security-select pin 31; GND 24,
// VCC 44.
//
// Behaviour: with VCC in its window (and the mode pin, where the part has
// one, in the part's mode window) the part is in its programming mode. ALE
// falling latches the bus as the low address; A8-A15 give the high byte.
// /OE low drives the addressed byte onto the bus. A programming pulse lasts
// while the programming pin is at the programming voltage and
//   pulse-pin parts: the pulse pin is raised into the mode window;
//   strobe parts: /PGM is low;
// one of the part's least width or more takes the bus byte last presented:
// on the parts blank at 00h it sets the byte's 1 bits, on those blank at FFh
// it clears its 0 bits (nothing sets a cleared bit back).
// With the security-select pin grounded, address 1Fh is the security byte
// (strobe parts with a mode pin): it reads FFh once secured and a pulse there
// programs it. A pulse at an address past the code array, or while the bus
// is not presenting data (ALE high or /OE low), is a violation.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct MuxOtpFacts : PartFacts {
    std::string maker;
    std::string note;
    bool strobe = false;               // programmed by /PGM (else by the pulse pin)
    bool modePin = true;               // the part has the mode pin 11
    int vppPin = 30;                   // socket pin of the programming voltage
    VoltageWindow mode{175, 185};      // the mode pin (and the pulse pin's level)
    int vppMinTenths = 120, vppLimitTenths = 135;
    uint32_t minPulseUs = 100;
};

class MuxOtpChip : public CatalogChip {
public:
    explicit MuxOtpChip(const MuxOtpFacts& facts);

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

    uint8_t SecurityByte() const { return security_; }
    // The security byte reads FFh once secured.
    bool Secured() const { return security_ == 0xFF; }
    uint32_t Pulses() const { return pulses_; }
    uint32_t PulsesAt(uint32_t a) const {
        auto it = pulsesAt_.find(a);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    // The widths of the pulses at an address, in order.
    std::vector<uint64_t> WidthsAt(uint32_t a) const {
        auto it = widths_.find(a);
        return it == widths_.end() ? std::vector<uint64_t>{} : it->second;
    }
    void ClearCounts() {
        pulses_ = 0;
        pulsesAt_.clear();
        widths_.clear();
    }
    // A cell that never takes a pulse.
    void StickCell(uint32_t a) { stuck_ = static_cast<int64_t>(a); }
    // A cell that takes its byte only at its n-th full pulse.
    void NeedPulses(uint32_t a, uint32_t n) { needed_[a] = n; }

private:
    bool InMode(const PinEnvironment& env) const;
    bool SecuritySelected(const PinEnvironment& env) const { return env.HeldLow(31); }
    uint32_t Address(const PinEnvironment& env) const;
    void StartPulse(const PinEnvironment& env);
    void EndPulse(const PinEnvironment& env);

    MuxOtpFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    uint8_t security_ = 0;
    uint8_t low_ = 0;
    bool aleHigh_ = false, pulsing_ = false, pulseLevel_ = false;
    bool securityPulse_ = false;
    uint32_t pulseAddress_ = 0;
    uint8_t pulseData_ = 0;
    uint64_t pulseStart_ = 0;
    uint32_t pulses_ = 0;
    std::map<uint32_t, uint32_t> pulsesAt_;
    std::map<uint32_t, std::vector<uint64_t>> widths_;
    int64_t stuck_ = -1;
    std::map<uint32_t, uint32_t> needed_, taken_;
};

} // namespace sim
