// GAL6001/6002-type FPLAs (24-pin DIP, VCC pin 24, ground pin 12): a
// 78 x 64 x 36 FPLA whose product term t keeps its 78 AND cells and 36 OR
// cells at JEDEC fuses 114t to 114t + 113, eleven further planes of 78
// input cells from 7296, the architecture cells from 8154 and the UES row
// after them.
//
// Edit mode: VCC and ground on, pin 2 at 11.0 V or more. Pin 10 clocks pin
// 11 into a serial chain on rising edges (the 119-bit row chain, or with
// pin 7 high the architecture chain of 68 cells, 104 on the 6002); pin 14
// shows the chain's oldest bit, so a chain loaded by a strobe comes out bit
// 0 first. A low pulse on pin 13 acts at its rising edge:
// - pin 23 low: loads the selected row into the chain (at the code's read
//   or programming edit voltage; the signature row at 12.0 V);
// - pin 23 high: writes the chain into the selected row when pin 2 holds
//   the code's programming voltage for the code's pulse width or longer (a
//   0 clears a cell; row 98 sets the security cell; the signature row takes
//   the chain's 75 bits only on a variant-0 part of voltage code 1 or 2);
// - pin 23 and pins 4-9 high at the programming voltage for the erase time:
//   every cell back to 1 and the security cell cleared (not the signature).
// A row is selected by chain bit 95 = 1 and its 7-bit number in bits
// 96-102: rows 0-77 are the inputs (term t's cell at chain bit 31 + t, the
// planes at bits 20-30), 96 the signature (bits 20-94; its type code's bit
// 3 flipped while answering another identity), 97 the UES (bits 20-91), 98
// security. With bit 95 = 0 the terms whose bit 31 + t is 0 are selected,
// their OR cells at bits 0-19 and 103-118. A secured part loads its array
// and architecture cells as 1.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

struct Gal6001Facts {
    const char* maker;
    const char* name;
    uint32_t fuses;  // JEDEC fuse count
    uint8_t variant; // 0: the 6001's 68-cell architecture chain; 2: the 6002's 104
    // The 75 signature bits a byte an entry: erase count, voltage code,
    // type code, maker code, the code-5 timing fields.
    std::array<uint8_t, 10> signature;
    // What the part's cells need: edit voltages (0.1 V), pulse and erase widths.
    int programTenths, readEditTenths;
    uint32_t pulseUs, eraseUs;
};

class Gal6001Chip : public CellArrayChip {
public:
    explicit Gal6001Chip(const Gal6001Facts& facts);

    void Update(const PinEnvironment& env) override;

    const Gal6001Facts& Part() const { return part_; }
    int SignatureByte(int k) const { return signature_[static_cast<size_t>(k)]; }
    // Cells by their place in the part (1 erased, -1 where the place holds
    // none): input row r (0-77) or the UES row (97) at chain bit b; the OR
    // cell of product term t at chain bit b (0-19, 103-118); bit b of the
    // architecture chain.
    int RowCellAt(int row, int bit) const;
    int TermCellAt(int term, int bit) const;
    int ArchCellAt(int bit) const;

    // Every strobe: what it did, the row (-1: the terms or the architecture
    // chain), its width and the edit voltage.
    enum class Act : uint8_t { Load, Program, Erase, Ignored };
    struct Strobe {
        Act act;
        int row;
        uint64_t widthUs;
        int editTenths;
    };
    const std::vector<Strobe>& Strobes() const { return strobes_; }
    void ClearStrobes() { strobes_.clear(); }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    bool Architecture(const PinEnvironment& env) const;
    int SelectedRow() const;
    int ArchCell(int b) const;
    void EndStrobe(const PinEnvironment& env);
    void Load(const PinEnvironment& env, bool atProgramVolts);
    void Program();
    int CellOrOne(uint32_t n) const { return Secured() ? 1 : Cell(n); }

    Gal6001Facts part_;
    std::array<uint8_t, 10> signature_;
    std::vector<uint8_t> chain_, arch_;
    ClockStrobeEdges edges_;
    PulseTimer strobe_;
    std::vector<Strobe> strobes_;
};

} // namespace sim
