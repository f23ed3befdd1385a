// An electrically erasable microcontroller in its programming mode, driven
// through code lines, at pin level (40-pin DIP, chip pin n on socket pin
// n + 4).
//
// Pins (socket): A0-A7 on 5-12, A8-A15 on 13-20, D0-D7 on 26-33, the strobe
// code S0-S4 on 21, 22, 23, 25, 34, the mode code M0-M4 on 36-40, /WEN 41;
// the programming voltage on 35; GND 24, VCC 44.
//
// Behaviour, with VCC in its window: strobe code 2 drives the addressed byte
// onto D (mode 0Ch). Strobe 16h with /WEN low is a programming pulse: in mode
// 0Ch it clears the 0 bits of D in the addressed cell, in mode 0Eh with D =
// 08h it sets the security; it takes effect when it lasts the part's least
// width with pin 35 at the programming voltage. Strobe 4 with /WEN low and
// pin 35 in the erase window is an erase step: mode 0Fh, then mode 0Dh, each
// of the part's step time, erase every cell to FFh and clear the security.
// Strobe codes other than 7, 6, 2, 16h and 4 are violations.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct EeMcuFacts : PartFacts {
    std::string maker;
    std::string note;
    int vppMinTenths = 120;
    VoltageWindow erase{135, 145};
    int vppLimitTenths = 150;
    uint32_t minPulseUs = 100;
    uint32_t eraseStepUs = 100000;
};

class EeMcuChip : public CatalogChip {
public:
    explicit EeMcuChip(const EeMcuFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : 0; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(v);
    }

    bool Secured() const { return secured_; }
    uint32_t Erases() const { return erases_; }
    uint32_t PulsesAt(uint32_t a) const {
        auto it = pulsesAt_.find(a);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    // Supply voltages (tenths) seen at each read strobe since the last clear.
    const std::vector<int>& ReadSupplies() const { return readSupplies_; }
    void ClearCounts() {
        pulsesAt_.clear();
        readSupplies_.clear();
    }
    void StickCell(uint32_t a) { stuck_ = static_cast<int64_t>(a); }
    // A byte the erase leaves at 00h.
    void DirtyAfterErase(uint32_t a) { dirty_ = static_cast<int64_t>(a); }

private:
    uint8_t Lines(const PinEnvironment& env, const int* pins, int n) const;
    uint32_t Address(const PinEnvironment& env) const;
    void EndStrobe(const PinEnvironment& env);

    EeMcuFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    bool secured_ = false;
    uint8_t strobe_ = 7;
    uint64_t strobeStart_ = 0;
    bool strobeValid_ = false;
    uint8_t strobeMode_ = 0, strobeData_ = 0;
    uint32_t strobeAddress_ = 0;
    bool firstStepDone_ = false;
    uint32_t erases_ = 0;
    std::map<uint32_t, uint32_t> pulsesAt_;
    std::vector<int> readSupplies_;
    int64_t stuck_ = -1, dirty_ = -1;
};

} // namespace sim
