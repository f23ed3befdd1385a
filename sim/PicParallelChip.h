// A PIC microcontroller programmed over a parallel word bus, at pin level:
// the 12-bit PIC16C5x parts and the 16-bit PIC17C4x parts, configurable by
// part. Cells are EPROM: a program pulse of at least the part's width counts
// for the word at the counter; once the word had the pulses it needs, its
// bits go from 1 to 0 where the latched word holds 0, never back to 1.
//
// PIC16C5x (program/verify mode of the EPROM programming datasheet):
// - Entry: VDD up, then MCLR raised into the VIHH window while OSC1 is not
//   held high (T0CKI may be at either level). The counter starts at 0FFFh,
//   the configuration word; it wraps from 0FFFh to 0.
// - OSC1 is the address clock: while it is high the part drives the word at
//   the counter on its 12 data pins (RA0-RA3, RB0-RB7); the falling edge
//   ends the output and advances the counter.
// - T0CKI is the program/verify pin: a falling edge while the programmer
//   holds all 12 data pins starts a program pulse with that word latched,
//   the rising edge ends it; a falling edge with the data pins released
//   drives the word at the counter until T0CKI rises again (verify).
// - ID words follow the last program word; only the configuration word's
//   implemented bits (FOSC, WDTE, CP) take a 0, the others read 1.
// - The datasheet's data-out delay after a verify edge was not available:
//   the model drives the word from the edge itself, and takes the 100 us
//   minimum program pulse width as the only timing it checks.
//
// PIC17C4x (the part's test-mode programming):
// - Entry: VDD up with TEST and RA4 high, RE0, RA0 and RA1 low and E1h on
//   PORTD (the high byte of the bus) as MCLR rises to VIH or above. The
//   first clock (RA2) takes the 16-bit start address from PORTC (low byte)
//   and PORTD (high byte).
// - Each word takes a cycle of three clocks: the first drives the word on the
//   bus until the second, the third advances the address. A clock while the
//   program pin (RA3) is high starts the cycle again without advancing (the
//   verify after programming).
// - A high pulse on RA3 of at least the part's width with MCLR in the VPP
//   window programs the word on the bus. Configuration bit i lives at FE00h+i:
//   programming that location with bit 0 low clears the bit; FE00h-FE07h
//   read the configuration's low byte, FE08h-FE0Fh its high byte (FFh above).
// - The cycle and the mode-pin levels are the model's own reading of the
//   parts' data sheets, which give the 100 us minimum program pulse width
//   but not the verify timing.
//
// Code protection (the part's protection bits all 0) scrambles reads of the
// program words. Fault injection: a word that never programs, a word that
// needs k pulses, configuration bits that never program (RefuseConfigBits).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PicChip.h"

namespace sim {

class PicParallelChip : public PicModelBase {
public:
    explicit PicParallelChip(PicFacts facts, std::vector<int> socketPins = {});

    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;

    uint32_t Word(uint32_t a) const { return a < code_.size() ? code_[a] : Mask(); }
    void SetWord(uint32_t a, uint32_t v) {
        if (a < code_.size()) code_[a] = v & Mask();
    }
    // Configuration word as the part reads it (unimplemented bits 1).
    uint32_t Config() const { return (config_ & facts_.configMask) | (Mask() & ~facts_.configMask); }
    uint32_t Id(int i) const { return ids_[i & 3]; }
    bool Protected() const { return (config_ & facts_.protectMask) == 0; }
    bool IsBlank() const;
    void UvErase();

    void StickWord(uint32_t a) { stuck_[a] = true; }
    void SetPulsesNeeded(uint32_t a, int n) { needed_[a] = n; }
    bool InMode() const { return inMode_; }
    uint32_t Pulses() const { return pulses_; }
    int PulsesOn(uint32_t a) const;
    // Program words short of their over-programming time.
    uint32_t WeakWords() const { return overprogram_.Weak(facts_, static_cast<uint32_t>(code_.size())); }
    // Configuration bits (FE00h + i) that took a program pulse, as a mask.
    uint32_t ConfigLocationsProgrammed() const { return configProgrammed_; }

private:
    bool Sixteen() const { return facts_.wordBits == 16; }
    uint32_t Mask() const { return Sixteen() ? 0xFFFFu : 0xFFFu; }
    bool BusHeld(const PinEnvironment& env) const;
    uint32_t BusValue(const PinEnvironment& env) const;
    bool EntryPins(const PinEnvironment& env) const;
    uint32_t ReadAt() const;
    void Program(const PinEnvironment& env, uint64_t widthUs);
    void Leave();
    void Update12(const PinEnvironment& env, bool clockHigh, bool pulseHigh);
    void Update16(const PinEnvironment& env, bool clockHigh, bool pulseHigh);

    std::vector<uint32_t> code_;
    uint32_t ids_[4] = {};
    uint32_t config_ = 0;

    bool inMode_ = false;
    bool refused_ = false;
    bool lastClockHigh_ = false;
    bool lastPulseHigh_ = false;
    bool lastEntry_ = false;  // entry pins right at the previous update
    int64_t pc_ = 0;          // 12-bit: -1 is the configuration word
    bool driving_ = false;
    bool pulsing_ = false;
    uint64_t pulseStart_ = 0;
    uint32_t latch_ = 0;
    bool loaded_ = false;     // 16-bit: start address taken
    int phase_ = 0;           // 16-bit: clocks into the word cycle

    std::map<uint32_t, bool> stuck_;
    std::map<uint32_t, int> needed_;
    std::map<uint32_t, int> counted_;
    EpromTime overprogram_;
    uint32_t pulses_ = 0;
    uint32_t configProgrammed_ = 0;
    bool overReported_ = false;
};

} // namespace sim
