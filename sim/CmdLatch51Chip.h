// A flash 8051 programmed through command bytes, at pin level: the command
// on the data pins is latched by a rising edge on P2.6, then a read strobe
// (P2.7 low) or a program pulse (ALE/PROG low) carries it out.
//
// Commands: 00h read a code byte, A0h read a code byte (blank check and
// erase verify), 90h read a signature byte (30h maker, 31h device, 32h the
// programming-voltage byte), B0h read the lock status (bits 1-3), C0h read
// back after a write, 40h write the datum on the data pins at the pulse,
// 20h erase (D0h on the data pins at the pulse) the array and the lock bits,
// 60h, 70h, 80h write lock bit 1, 2, 3 (D0h at the pulse).
//
// Behaviour:
// - Mode: VCC at 4.5 V or more, RST high and PSEN low.
// - The programming-voltage byte says how the part is written: 55h at VCC
//   level (EA/VPP at logic high, a programming voltage is a violation), AAh
//   with EA/VPP in the programming window for every program and erase pulse.
// - A program pulse shorter than minPulseUs, an erase pulse shorter than
//   eraseMinUs, a pulse at a wrong EA/VPP or under another command, and the
//   programming voltage before VCC are violations.
// - Lock bit 1 refuses code programming; lock bit 2 makes code reads 00h.
//
// Fault injection: a cell that never programs, an erase that needs n pulses
// or never completes, a cell that keeps its contents through the first n
// erases, lock bits that refuse to program (all, or one alone: each lock bit
// is a cell of its own, written by its own command).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"
#include "sim/Socket51Chip.h"

namespace sim {

struct CmdLatch51Facts : PartFacts {
    std::string maker;
    std::string note;
    bool plcc = false;
    uint8_t voltageByte = 0xAA; // the signature byte at 32h
    VoltageWindow vpp{115, 125};
    int vppLimitTenths = 130;
    uint32_t minPulseUs = 50;
    uint32_t eraseMinUs = 10000;
};

class CmdLatch51Chip : public Socket51Chip {
public:
    explicit CmdLatch51Chip(const CmdLatch51Facts& facts);

    std::string Name() const override { return facts_.name; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    size_t Words() const override { return code_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < code_.size() ? code_[a] : 0xFF; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < code_.size()) code_[a] = static_cast<uint8_t>(v);
    }

    // Lock bits 1-3 as bits 1-3 (1 = programmed).
    uint8_t LockBits() const { return locks_; }
    bool Secured() const { return locks_ != 0; }
    void SetLockBits(uint8_t bits) { locks_ = bits & 0x0E; }

    // What happened: commands latched (in order), program pulses per
    // address, erase pulses, pulses per command, pulses given at the
    // programming voltage.
    const std::vector<uint8_t>& Commands() const { return commands_; }
    uint32_t PulsesAt(uint32_t a) const {
        auto it = pulsesAt_.find(a);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    uint32_t PulsesOf(uint8_t command) const {
        auto it = pulsesOf_.find(command);
        return it == pulsesOf_.end() ? 0 : it->second;
    }
    uint32_t VppPulses() const { return vppPulses_; }
    void ClearCounts() {
        commands_.clear();
        pulsesAt_.clear();
        pulsesOf_.clear();
        vppPulses_ = 0;
    }

    // Faults.
    void StickCell(uint32_t a) { stuck_[a] = true; }
    void SetErasePulsesNeeded(int n) { erasesNeeded_ = n; } // 0: never
    void SetCellErasesNeeded(uint32_t a, int n) { cellErases_[a] = n; }
    void RefuseLocks() { locksRefused_ = 0x0E; }
    // Lock bit n (1-3) alone never programs.
    void RefuseLock(int bit) {
        if (bit >= 1 && bit <= 3) locksRefused_ |= static_cast<uint8_t>(1u << bit);
    }

private:
    bool InMode(const PinEnvironment& env) const;
    bool ReadNow(uint32_t address, uint8_t& v) const;
    void EndPulse(const PinEnvironment& env, uint64_t width);
    void Erase();

    CmdLatch51Facts facts_;
    std::vector<int> address_, data_;
    int rst_, psen_, ale_, ea_, p26_, p27_;
    std::vector<uint8_t> code_;
    uint8_t locks_ = 0;
    uint8_t command_ = 0xFF;

    bool latchWasHigh_ = true;
    bool pulsing_ = false;
    uint64_t pulseStart_ = 0;
    uint8_t pulseCommand_ = 0;
    uint32_t pulseAddress_ = 0;
    uint8_t pulseData_ = 0xFF;
    int pulseVpp_ = 0;

    std::map<uint32_t, bool> stuck_;
    std::map<uint32_t, int> cellErases_;
    int erasesNeeded_ = 1;
    int erasesSeen_ = 0;
    uint8_t locksRefused_ = 0; // lock bits that never program, as in locks_
    std::vector<uint8_t> commands_;
    std::map<uint32_t, uint32_t> pulsesAt_;
    std::map<uint8_t, uint32_t> pulsesOf_;
    uint32_t vppPulses_ = 0;
};

} // namespace sim
