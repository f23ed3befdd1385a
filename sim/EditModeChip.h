// Electrically erasable PLDs with a serial edit mode whose identification
// code sets their edit voltages (16V8 and 20V8 types, addressed through a
// 4-bit command bus).
//
// Interface (all in edit mode: VCC and ground on, the edit pin at 8.5 V or
// more; a clock or strobe there without VCC is a violation):
// - The command bus selects what a rising clock does with the serial data
//   pin: 1 shifts it into the 6-bit row address (most significant bit
//   first), 2 into the 64-stage row register (position p = the p-th bit in),
//   4 moves the read-out on by one position.
// - Read-out (bus 4, the edit pin at the code's read voltage): output pin b
//   shows position 8b + 7 - r of the addressed row after r clocks. On the
//   array, UES and term-disable rows a pin's block is valid only when the
//   register held a 1 at its last position (8b + 7); otherwise the pin
//   floats. The 16V8 type shows its identification code on the outputs at
//   row 58 with 9.2 V on the edit pin; the 20V8 type shows it whenever its
//   serial data pin is at 9.2 V.
// - Strobe pulses, measured from rise to fall, act by the bus value:
//   3 (50 ms or more, edit pin at the code's programming voltage) writes
//   the register into the addressed row (0 clears a cell: rows 60-63 keep
//   one cell per 8-position block, rows 62 and 63 in positions 56-63),
//   into the term-use row (57) or sets the security cell (59);
//   14 (250 ms or more, register all 0) is an erase pass, 0 (100 ms or more)
//   ends one: code 128 parts erase after three passes, every other code
//   after a single 100 ms pulse of command 0.
// - Security: every row but the UES row reads 1.
//
// The 20RA10 type (Latch20RA10) latches its row address instead: a rising
// clock with the select pin high and the latch pin low shifts the data pin
// into the address (least significant bit first); with select low and the
// shift pin high it shifts the 80-stage register. With the shift pin low,
// output i shows position 79 - 8i - r (term 8i + r) after r clocks, valid
// only when the register held a 1 at 79 - 8i; the architecture row 63 shows
// cell 3200 + i on output i, row 40 the identification code on outputs 0-3
// (edit voltage on). A strobe of 50 ms or more with the strobe-voltage pin
// at the code's programming voltage writes the addressed row (row 63 from
// positions 8k into cells 3209 - k; row 62 secures); with the erase pin
// high, 100 ms or more erase the part. Security: the array reads 0.
//
// The 22V10 type (Latch22V10) works the same way on a 132-stage register
// with blocks of 10 to 17 terms per output (output i on chip pin 14 + i),
// the identification code on outputs 6-9 at row 58 (9.2 V, 8.7 V on the
// low-voltage part), architecture rows 60 and 61 (cells 5826 - 2i and
// 5827 - 2i on output i), the term-use row 57 and security row 59 (reads 1).
// Per code the edit, read and strobe voltages; an erase pass is a pulse
// under the pass pin (50 ms, 250 ms for code 15) followed by 100 ms under
// the erase pin; code 15 erases after four passes, the others after one.
//
// The 26V12 type (Latch26V12, 28-pin DIP, VCC on pin 7 and ground on 21)
// has 150 stages, 52 inputs per term and 12 outputs (chip pins 15-20,
// 22-27), its code on outputs 8-11, rows 60-63 of twelve cells written from
// the positions of its variant's list. Variant 0 writes with the edit pin at
// the programming voltage and erases in four passes (250 ms under the pass
// pin, 100 ms under the erase pin); variant 1 writes at the read voltage and
// erases with one 100 ms pulse; both only with row 56 shifted into the
// address register. For every latch-addressed kind a clock with the select
// pin high shifts the address register and the rising latch pin takes it.
//
// The 29M16 type (Wide29M16, 24-pin DIP) has a 16-bit bus on chip pins 3-10
// and 15-22 and a 160-stage register shifted from pin 15 on rising edges of
// pin 1 while pin 2 is low; the register is sixteen 10-position blocks. A
// rising pin 23 latches the row address from pins 17-22 (40 array rows of
// 160 terms, rows 40-44 of sixteen cells, row 45 of two, security row 46).
// With pin 2 high (logic level) and the edit pin 13 at 9.2 V, bus bit B shows
// block 7 - B (B < 8) or 23 - B, the complement of its cells: an array row
// shows the block's positions from its last one down, one per clock of pin
// 1, valid only when the register held a 1 there; the other rows show one
// cell per block once. With 9.0 V on pin 2 bits 0-7 show the identification
// code 252. A 100 ms or longer pulse of pin 11 with 9.2 V on pin 14 writes
// the latched row with pin 6 high (array cells from their positions; a cell
// of the other rows is programmed by a block of ten ones) or secures on row
// 46, and erases with pins 6 and 8 high. A secured part shows 1 everywhere.
//
// Answering another identity, every type shows its identification code with
// bit 3 flipped (its edit voltages stay its own).
#pragma once
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

enum class EditModeKind : uint8_t { Bus16V8, Bus20V8, Latch20RA10, Latch22V10, Latch26V12, Wide29M16 };

struct EditModeFacts {
    const char* maker;
    const char* name;
    EditModeKind kind;
    uint8_t idCode;
    uint32_t fuses; // JEDEC fuse count
    bool lowVcc;    // writes only at a 4.5 V supply; identifies at 8.7 V
    uint8_t variant; // 26V12: 0 erases in four passes and writes at the programming edit voltage
};

class EditModeChip : public CellArrayChip {
public:
    explicit EditModeChip(const EditModeFacts& facts);

    void Update(const PinEnvironment& env) override;

    const EditModeFacts& Part() const { return part_; }
    // The cell a row write takes from register position p (the p-th bit
    // clocked in) of row address a, as the part keeps it (1 erased); -1
    // where the place has no cell. On the 29M16 type a row past the array
    // keeps one cell per 10-position block.
    int CellAtPlace(int a, int p) const;
    // The term-use flag of product term t (1: the term is used).
    int TermUse(int t) const { return 1 - Cell(part_.fuses + static_cast<uint32_t>(t)); }

    // Every strobe pulse: bus command, row address, width and edit voltage.
    struct Pulse {
        int command, row;
        uint64_t widthUs;
        int editTenths;
        std::vector<uint8_t> positions; // the register, position 0 first (not on the 29M16 type)
    };
    const std::vector<Pulse>& Pulses() const { return pulses_; }
    // Edit voltages seen at every read-out clock of the array rows.
    const std::vector<int>& ReadVolts() const { return readVolts_; }
    void ClearLog() {
        pulses_.clear();
        readVolts_.clear();
    }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    struct Pins {
        int clock, data, edit, bus, strobe, out, vcc, gnd;
        // Latch-addressed kinds: strobe voltage, latch, select, erase, shift.
        int pulse, latch, select, erase, shift, pass;
    };
    bool Latched() const;
    bool Wide() const { return part_.kind == EditModeKind::Wide29M16; }
    void UpdateWide(const PinEnvironment& env);
    void EndWidePulse(const PinEnvironment& env, int bus, uint64_t width);
    int WideOutput(const PinEnvironment& env, int bit) const;
    int SpecialCell(int a, int k, int* position) const;
    int PassesNeeded(bool longPasses) const;
    int Position(int p) const;
    void EndLatchedPulse(const PinEnvironment& env, int bus, uint64_t width);
    void UpdateLatched(const PinEnvironment& env);
    int LatchedOutput(const PinEnvironment& env, int i) const;
    void ShiftRegister(uint8_t bit);
    static const Pins& PinsOf(EditModeKind k);
    int Columns() const;
    // Cell of position p of row a; -1 where the position has none.
    int CellAt(int a, int p) const;
    int Bus(const PinEnvironment& env) const;
    void EndPulse(const PinEnvironment& env);
    bool Voltage(const PinEnvironment& env, bool program) const;
    int ReadBit(int pin) const;
    // The identification code the part shows.
    int ShownIdCode() const;

    EditModeFacts part_;
    std::vector<uint8_t> reg_;
    int address_ = 0;
    int shiftAddress_ = 0; // latch-addressed kinds: the address as shifted in
    bool latchHigh_ = false;
    int readClocks_ = 0;
    ClockStrobeEdges edges_;
    int strobeBus_ = -1;
    PulseTimer strobe_;
    bool passPending_ = false;
    int passes_ = 0;
    std::vector<Pulse> pulses_;
    std::vector<int> readVolts_;
};

} // namespace sim
