// The JTAG fuse-array PLDs behind their 5-bit instruction register.
//
//   16h IDCODE (32 bits; bit 12 flipped while answering another identity)
//   15h enter programming (given three times after the IDCODE); 1Eh leave it;
//       1Bh (44-row kind) closes the array: rows 44 and 45 are written only
//       after it. Every other instruction but 16h acts only in programming.
//   01h one-hot row register (one stage per row, bit i = row i); no bit set
//       selects nothing
//   02h data register (40/80 bits, or 132 on the 44-row kind); Update latches it
//   In Run-Test/Idle, acting when the TAP leaves it after the time:
//     07h/08h program the first/second data shift of the selected row from
//         the latch (program time; a cell takes only 0); 08h only with 40-bit shifts
//     0Ah/0Bh load the first/second shift of the selected row into the data
//         register (read time); the 44-row kind: 0Bh programs row 45
//     09h sets the security cell (program time): the array reads as ones
//     10h (102-row kind) or 03h (44-row kind) erases everything (erase time),
//         the saved row too
//     11h loads the saved row (102-row kind: a row outside the fuse map the
//         part keeps, its factory content; 44-row kind: row 44 in positions
//         0-63, ones after) into the data register; 0Fh programs it
//     0Ch (44-row kind) selects the 20-bit row-45 register; in Run-Test/Idle
//         it loads row 45 (position p = fuse 5808 + (p xor 1))
// Pins the part needs held low (ispEN) must be low while it is clocked.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/JtagCpldChip.h"

namespace sim {

class FuseArrayChip : public JtagCpldChip {
public:
    explicit FuseArrayChip(const JtagCpldFacts& part);

    bool Small() const { return Part().kind == JtagCpldKind::FuseArray44; }
    // The saved row of the 102-row kind, and its factory content.
    const std::vector<bool>& SavedRow() const { return saved_; }
    std::vector<bool> FactorySavedRow() const;
    // TCK high times of 100 us or more (the slow clocks out of Run-Test/Idle).
    const std::vector<uint64_t>& SlowClocks() const { return slow_; }
    uint32_t Erases() const { return erases_; }
    // In programming mode (after 15h, until 1Eh).
    bool Programming() const { return programming_; }
    // The data register latch and the row-45 register as last updated.
    const std::vector<bool>& DataRegister() const { return data_; }
    const std::vector<bool>& Row45Register() const { return row45_; }

    // The cell at `position` of `row` (44-row kind: rows 44 and 45 too), -1
    // where there is none.
    int CellAtPlace(int row, int position) const;

    std::optional<std::vector<bool>> CaptureDr(uint32_t instruction) override;
    void UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted, uint64_t nowUs) override;
    void UpdateIr(uint32_t instruction, uint64_t nowUs) override;
    void Idle(uint32_t instruction, uint64_t us) override;

protected:
    void SampleTap(const PinEnvironment& env) override;

private:
    int Rows() const { return Small() ? 44 : 102; }
    size_t DataLength() const { return Small() ? 132 : static_cast<size_t>(Part().shiftBits); }
    int32_t FuseOf(int row, int position) const;
    void Program(int shift);
    void Load(int shift);

    bool programming_ = false, arrayClosed_ = false;
    int row_ = -1;
    std::vector<bool> data_, row45_, saved_;
    uint64_t tckRiseUs_ = 0;
    bool tckHigh_ = false;
    std::vector<uint64_t> slow_;
    uint32_t erases_ = 0;
    bool lowWarned_ = false;
};

} // namespace sim
