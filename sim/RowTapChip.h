// The in-system block CPLDs behind a 6-bit instruction register (captures 1):
//   01h IDCODE (32 bits; bit 20 changed on a part answering another identity)
//   0Fh enable (5 bits): 08h enables the other instructions
//   03h the row register, one stage per row, holding its content on
//       Capture-DR: a scan shifts it, so a single 1 shifted last selects row
//       0 and each one-bit scan of 0 moves the selection to the next row
//   04h the program data (one row of every block, 144 or 280 bits)
//   07h read data: the selected row, bits in the reverse of the program order
//   06h/05h/08h program (selected rows from the program data; a cell takes
//       only 0) / erase the selected rows / secure: each acts when the TAP
//       leaves Run-Test/Idle after 50/100/50 ms with the supply at 5.0 V
//       (+-0.25 V). Erasing every row clears the security too.
// Rows: array rows 0-51, special rows 52-60, the E row 61. The E row reads
// back inverted; a secured part reads zeros.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/JtagCpldChip.h"

namespace sim {

class RowTapChip : public JtagCpldChip {
public:
    explicit RowTapChip(const JtagCpldFacts& part);

    // JEDEC fuse of program bit b of a row, -1 where it holds no cell.
    int32_t FuseAt(int row, int bit) const;
    int DataLength() const { return blocks_ * clocks_; }
    // Rows programmed or erased by each pulse, in order (-1: none selected).
    const std::vector<int>& ProgrammedRows() const { return programmed_; }
    const std::vector<bool>& ProgramData() const { return data_; }
    // Program bits shifted as 1 where the programmed row holds no cell.
    uint32_t UnusedBitsShiftedOne() const { return unusedOnes_; }

    std::optional<std::vector<bool>> CaptureDr(uint32_t instruction) override;
    void UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted, uint64_t nowUs) override;
    void UpdateIr(uint32_t instruction, uint64_t nowUs) override;
    void Idle(uint32_t instruction, uint64_t us) override;

private:
    static constexpr int kRows = 62;
    std::vector<int> Selected() const;

    int blocks_, clocks_;
    uint32_t blockFuses_;
    bool enabled_ = false;
    std::vector<bool> rows_; // stage i: row kRows - 1 - i
    std::vector<bool> data_;
    std::vector<int> programmed_;
    uint32_t unusedOnes_ = 0;
};

} // namespace sim
