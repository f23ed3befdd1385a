// Small parallel PLDs in 24-pin DIPs, reached a word at a time. No public
// datasheet gives these interfaces: the pin-outs, levels and times are the
// algorithm rows' view of the chips. Cells erase to 1 (no electrical erase).
//
// NibblePldChip: 4-bit words at (row select R0-R4, address A0-A5).
// - Read: while pin 17 (output enable) is low the word drives D0-D3; a
//   secured part drives Fh.
// - Program: pin 16 low for 10 ms or more with pin 15 at 13.0 V (within
//   0.2 V) clears the cells whose data line is driven 0, when pin 16 rises.
// - Security: bit 3 of the word at row select 25, address 47.
// Violations (nothing programs): a program pulse shorter than 10 ms or
// without 13.0 V on pin 15, pins 16 and 17 low together, 13.0 V on pin 15
// of an unpowered part.
//
// TenBitPldChip: 10-bit words at (S0-S3, A0-A5); with 12.5 V on pin 23
// (select bit 3) a second page of words at S0-S2 is reached. Pin 13 must be
// at 12.5 V (within 0.3 V) for any access.
// - Read: pin 25 low drives the word on D0-D9; a secured part drives 0.
// - Program: pin 25 at 12.5 V for 400 us or more; when it drops, the cells
//   whose data line is driven 1 are cleared once the word has had the
//   pulses it needs (1 unless a test sets more).
// - Security: a pulse on pin 25 of 1 ms or more with pin 15 (A1) at 12.5 V
//   too; no word programs.
// Violations (nothing programs): a program pulse shorter than 400 us or
// without the bias, 12.5 V on pin 25 of an unpowered part.
#pragma once
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

struct ParallelPldFacts {
    const char* maker;
    const char* name;
    bool tenBit;    // TenBitPldChip, else NibblePldChip
    uint32_t fuses; // the JEDEC fuse count of the part
};

class NibblePldChip : public CellArrayChip {
public:
    explicit NibblePldChip(const ParallelPldFacts& facts);

    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }

    static constexpr int kSelects = 32, kAddresses = 64;
    static uint32_t CellOf(int select, int address, int bit) {
        return static_cast<uint32_t>((select * kAddresses + address) * 4 + bit);
    }
    int Word(int select, int address) const;
    bool Locked() const { return ((Word(25, 47) >> 3) & 1) == 0; }

    // Every program pulse that wrote: row select, address, data lines.
    struct Write {
        int select, address, lines;
        uint64_t widthUs;
    };
    const std::vector<Write>& Writes() const { return writes_; }
    void ClearLog() { writes_.clear(); }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    int At(const PinEnvironment& env, int socketPin) const { return Level(env, socketPin - 12); }
    bool BiasOn(const PinEnvironment& env) const;

    bool pulseLow_ = false;
    PulseTimer pulse_;
    std::vector<Write> writes_;
};

class TenBitPldChip : public CellArrayChip {
public:
    explicit TenBitPldChip(const ParallelPldFacts& facts);

    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }

    static constexpr int kSelects = 16, kAddresses = 64;
    static uint32_t CellOf(bool highPage, int select, int address, int bit) {
        return static_cast<uint32_t>((((highPage ? 1 : 0) * kSelects + select) * kAddresses + address) * 10 + bit);
    }
    int Word(bool highPage, int select, int address) const;
    bool Locked() const { return locked_; }
    // Fault: the security pulse leaves the part open.
    void IgnoreSecurity() { ignoreSecurity_ = true; }
    // Fault: the word takes `pulses` program pulses before its cells clear.
    void NeedPulses(bool highPage, int select, int address, int pulses) {
        needed_[{highPage, select, address}] = pulses;
    }

    // Every program pulse: the word, the data lines and the width.
    struct Pulse {
        bool highPage;
        int select, address, lines;
        uint64_t widthUs;
    };
    const std::vector<Pulse>& Pulses() const { return pulses_; }
    void ClearLog() { pulses_.clear(); }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    int At(const PinEnvironment& env, int socketPin) const { return Level(env, socketPin - 12); }
    int VoltsAt(const PinEnvironment& env, int socketPin) const { return Volts(env, socketPin - 12); }
    bool High(const PinEnvironment& env, int socketPin) const;
    void PulseEnded(const PinEnvironment& env, uint64_t width);

    bool pulseHigh_ = false;
    bool securing_ = false;
    PulseTimer pulse_;
    bool locked_ = false;
    bool ignoreSecurity_ = false;
    std::map<std::tuple<bool, int, int>, int> needed_, taken_;
    std::vector<Pulse> pulses_;
};

} // namespace sim
