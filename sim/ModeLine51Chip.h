// A flash 8051 on the 44-pin adapter that selects each function by three mode
// lines (P3.0, P3.1, P3.7, bit 0 first), at pin level.
//
// Functions: 0 signature (address 0 maker, 1 device); 2 read code on the
// strobe (P2.7 low), or erase with a pulse at raised VCC; 3 write code on a
// pulse, or a margin read of the code on the strobe with EA/VPP at the
// margin voltage; 5 the lock status (bits 1-3, 1 = programmed); 7, 6, 4
// write lock bit 1, 2, 3.
//
// Behaviour:
// - Mode: VCC at 4.5 V or more, RST high and PSEN low.
// - Write and lock pulses (ALE/PROG low) want EA/VPP in the programming
//   window and at least minPulseUs; lock bit 1 refuses code writes and lock
//   bit 2 makes code reads 00h.
// - An erase pulse under function 2 wants VCC at eraseVccMin or more, EA/VPP
//   in the window and at least eraseMinUs; it clears the array and the lock
//   bits. A pulse under function 2 at ordinary VCC, or under function 5, is
//   a violation; a pulse under function 0 does nothing.
// - The margin read answers only with EA/VPP in the margin window.
//
// Fault injection: a cell that never programs, an erase that needs n pulses
// or never completes, a cell that keeps its contents through the first n
// erases.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"
#include "sim/Socket51Chip.h"

namespace sim {

struct ModeLine51Facts : PartFacts {
    std::string maker;
    std::string note;
    VoltageWindow vpp{115, 125};
    VoltageWindow marginVpp{120, 130};
    int vppLimitTenths = 135;
    int eraseVccMinTenths = 60;
    uint32_t minPulseUs = 50;
    uint32_t eraseMinUs = 400000;
};

class ModeLine51Chip : public Socket51Chip {
public:
    explicit ModeLine51Chip(const ModeLine51Facts& facts);

    std::string Name() const override { return facts_.name; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    size_t Words() const override { return code_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < code_.size() ? code_[a] : 0xFF; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < code_.size()) code_[a] = static_cast<uint8_t>(v);
    }

    uint8_t LockBits() const { return locks_; }
    bool Secured() const { return locks_ != 0; }
    void SetLockBits(uint8_t bits) { locks_ = bits & 0x0E; }

    // What happened: pulses per function, program pulses per address, VCC
    // and EA/VPP at each erase pulse, margin reads.
    uint32_t PulsesOf(uint32_t function) const {
        auto it = pulsesOf_.find(function);
        return it == pulsesOf_.end() ? 0 : it->second;
    }
    uint32_t PulsesAt(uint32_t a) const {
        auto it = pulsesAt_.find(a);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    const std::vector<std::pair<int, int>>& EraseVoltages() const { return eraseVoltages_; }
    uint32_t MarginReads() const { return marginReads_; }
    void ClearCounts() {
        pulsesOf_.clear();
        pulsesAt_.clear();
        eraseVoltages_.clear();
        marginReads_ = 0;
    }

    void StickCell(uint32_t a) { stuck_[a] = true; }
    void SetErasePulsesNeeded(int n) { erasesNeeded_ = n; } // 0: never
    void SetCellErasesNeeded(uint32_t a, int n) { cellErases_[a] = n; }
    // Lock bit n (1-3) alone never programs.
    void RefuseLock(int bit) {
        if (bit >= 1 && bit <= 3) locksRefused_ |= static_cast<uint8_t>(1u << bit);
    }

private:
    bool InMode(const PinEnvironment& env) const;
    void EndPulse(const PinEnvironment& env, uint64_t width);
    void Erase();

    ModeLine51Facts facts_;
    std::vector<int> address_, data_, mode_;
    int rst_, psen_, ale_, ea_, p27_;
    std::vector<uint8_t> code_;
    uint8_t locks_ = 0;
    uint8_t locksRefused_ = 0; // lock bits that never program, as in locks_

    bool pulsing_ = false;
    uint64_t pulseStart_ = 0;
    uint32_t pulseFunction_ = 0;
    bool pulseErase_ = false;
    uint32_t pulseAddress_ = 0;
    uint8_t pulseData_ = 0xFF;
    int pulseVpp_ = 0;
    bool strobeWasLow_ = false;

    std::map<uint32_t, bool> stuck_;
    std::map<uint32_t, int> cellErases_;
    int erasesNeeded_ = 1;
    int erasesSeen_ = 0;
    std::map<uint32_t, uint32_t> pulsesOf_;
    std::map<uint32_t, uint32_t> pulsesAt_;
    std::vector<std::pair<int, int>> eraseVoltages_;
    uint32_t marginReads_ = 0;
};

} // namespace sim
