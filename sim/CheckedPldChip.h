// Parallel PLDs that identify themselves and take several pulses a word, in
// 24-pin DIPs. No public datasheet gives these interfaces: pin-outs, levels,
// times and codes are the algorithm rows' view of the chips. Cells are
// blank 0; a program pulse sets the cells whose data line is driven 1 once
// the word has had the pulses it needs (1 unless a test sets more).
//
// PlanePldChip: four bus operations chosen by P0 (pin 16) and P1 (pin 17),
// each taken by the active-low strobe (pin 15), with 12.7 V or 13.5 V
// (within 0.2 V) on the bias pin 13:
// - (0, 0) load command: eight strobes, bit i of the code on all seven bus
//   lines C0-C6 at strobe i (7Fh or 00h); 34h selects plane 1, 2Bh plane 2.
// - (0, 1) load address: row R0-R5 and column C0-C6 at the strobe's rise.
// - (1, 0) read: the word drives C0-C6 while the strobe is low.
// - (1, 1) program: the strobe low for 100 us or more, C0-C6 the data.
// The identity word (plane 1, row 16, column 66) reads 01 in its low bits;
// a part of the low-voltage kind reads 00 there only at 4.5 V supply and
// 13.5 V bias, 11 otherwise; a part answering another identity reads 10.
// The security cell is bit 4 of plane 1, row 16, column 18: set at
// power-up, every other word reads 0.
// Violations (nothing happens): a command strobe with the bus lines not all
// equal, an unknown command, a program pulse shorter than 100 us, before a
// plane and an address, or without the bias; the bias on an unpowered part.
//
// RowColumnPldChip: rows X0-X2 (pins 16-18) and columns Y0-Y4 (19-23); rows
// 8-11 are reached with pin 18 at the part's voltage (12.7 V, 13.7 V on the
// variant-2 kind; within 0.3 V) and X0-X1, columns 32-47 with pin 23 at it
// and Y0-Y3. Pin 15 at that voltage reads the word onto D0-D7 (D0 on pin
// 33); pin 15 low programs it with VPP (chip pin 1) at the voltage, for the
// part's pulse time or more. The variant-2 kind answers its identity nibble
// in bits 4-7 at row 10, column 47 (bit 2 of it changed when it answers
// another identity). Security: bit 6 at (11, 47) (variant
// 0), bit 0 at (9, 0) or (9, 1) (variant 1), bit 7 at (9, 38) (variant 2);
// a secured part reads 00h everywhere. Violations: a program pulse too
// short or without VPP, high voltage on an unpowered part.
#pragma once
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

struct PlanePldFacts {
    const char* maker;
    const char* name;
    bool lowVoltageId; // answers 00 at 4.5 V and 13.5 V only
    uint32_t fuses;
};

struct RowColumnPldFacts {
    const char* maker;
    const char* name;
    int variant;     // 0, 1, 2
    uint32_t fuses;
    int idNibble;    // variant 2: the identity nibble (8 or 9)
};

// What both models log of a program pulse.
struct PldPulse {
    int plane, row, column, data;
    uint64_t widthUs;
    int vccTenths, biasTenths;
};

class PlanePldChip : public CellArrayChip {
public:
    explicit PlanePldChip(const PlanePldFacts& facts);

    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }

    static constexpr int kRows = 64, kColumns = 128;
    static uint32_t CellOf(int plane, int row, int column, int bit) {
        return static_cast<uint32_t>((((plane - 1) * kRows + row) * kColumns + column) * 7 + bit);
    }
    // The word as programmed (1 = set).
    int Word(int plane, int row, int column) const;
    bool SecurityCellSet() const { return (Word(1, 16, 18) >> 4) & 1; }
    // Faults: the identity word never answers; a word needs more pulses.
    void NeverAnswer() { neverAnswer_ = true; }
    void NeedPulses(int plane, int row, int column, int pulses) { needed_[{plane, row, column}] = pulses; }

    const std::vector<PldPulse>& Pulses() const { return pulses_; }
    // The bus value at every command strobe, and the commands completed.
    const std::vector<int>& CommandStrobes() const { return commandStrobes_; }
    void ClearLog() {
        pulses_.clear();
        commandStrobes_.clear();
    }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    int At(const PinEnvironment& env, int socketPin) const { return Level(env, socketPin - 12); }
    int VoltsAt(const PinEnvironment& env, int socketPin) const { return Volts(env, socketPin - 12); }
    bool BiasOn(const PinEnvironment& env) const;
    int Bus(const PinEnvironment& env) const;
    int ReadWord(const PinEnvironment& env) const;
    void StrobeRose(const PinEnvironment& env);

    PlanePldFacts part_;
    bool powered_ = false;
    bool locked_ = false;
    bool strobeLow_ = false;
    PulseTimer pulse_;
    int command_ = 0, commandBits_ = 0;
    int plane_ = 0, row_ = -1, column_ = -1;
    bool neverAnswer_ = false;
    std::map<std::tuple<int, int, int>, int> needed_, taken_;
    std::vector<PldPulse> pulses_;
    std::vector<int> commandStrobes_;
};

class RowColumnPldChip : public CellArrayChip {
public:
    explicit RowColumnPldChip(const RowColumnPldFacts& facts);

    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }

    static constexpr int kRows = 12, kColumns = 48;
    static uint32_t CellOf(int row, int column, int bit) {
        return static_cast<uint32_t>((row * kColumns + column) * 8 + bit);
    }
    int Word(int row, int column) const;
    bool Locked() const;
    // Faults: the identity nibble; a word needs more pulses; the security
    // bits never program.
    void SetIdNibble(int nibble) { part_.idNibble = nibble; }
    void RefuseSecurity();
    void NeedPulses(int row, int column, int pulses) { needed_[{row, column}] = pulses; }

    const std::vector<PldPulse>& Pulses() const { return pulses_; }
    void ClearLog() { pulses_.clear(); }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    int At(const PinEnvironment& env, int socketPin) const { return Level(env, socketPin - 12); }
    int VoltsAt(const PinEnvironment& env, int socketPin) const { return Volts(env, socketPin - 12); }
    bool High(const PinEnvironment& env, int socketPin) const;
    std::pair<int, int> Place(const PinEnvironment& env) const;

    RowColumnPldFacts part_;
    int tenths_;
    uint64_t pulseUs_;
    bool strobeLow_ = false;
    PulseTimer pulse_;
    std::map<std::pair<int, int>, int> needed_, taken_;
    std::vector<PldPulse> pulses_;
};

} // namespace sim
