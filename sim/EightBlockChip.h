// The in-system eight-block CPLD behind a 6-bit instruction register on
// socket pins (TCK 11, TDO 14, TDI 15, TMS 16), with its pulse pin 12 and
// 9.2 V (+-0.3 V) on pin 13:
//   01h IDCODE (bit 12 flipped while answering another identity), 10h the
//       user code (32 bits each)
//   0Fh enable (5 bits): 08h enables the other instructions, 09h also
//       selects the E row while no row is selected
//   03h the 80-stage row register, holding on Capture-DR (a single 1 shifted
//       last selects row 0; a one-bit scan of 0 moves to the next row)
//   04h program data (792 bits: blocks 7 down to 0, 99 clocks each)
//   07h read data: the selected row in the reverse order; pin 12 must be low
//       through the scan
//   06h/05h/08h program (a cell takes only 0) / erase the selected rows /
//       secure while pin 12 is held low for 50/100/50 ms, with 9.2 V on pin 13
//       and the part's supply (+-0.2 V). Erasing every row clears the E bits,
//       the user code and the security too.
// Row 79 also carries E bit 0 and, written only, the user code; the user
// code reads from its own register. A secured part reads zeros.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"
#include "sim/JtagCpldChip.h"

namespace sim {

class EightBlockChip : public JtagCpldChip {
public:
    explicit EightBlockChip(const JtagCpldFacts& part);
    // The E row's first fuse: the JEDEC map's fuses are those before it.
    static constexpr uint32_t kERowFuse = 54096;

    // JEDEC fuse of program bit b of a row (80: the E row) as written, or as
    // a read delivers it; -1 none.
    int32_t FuseAt(int row, int bit, bool forRead) const;
    uint32_t UserCode() const;
    // Pulses on pin 12 with their width (us) and the instruction then current.
    struct PulseEvent {
        uint32_t instruction;
        uint64_t widthUs;
        int row; // selected row, -1 none, -2 several
    };
    const std::vector<PulseEvent>& Pulses() const { return pulses_; }
    uint32_t ReadScansWithoutPulseLow() const { return readsWithoutLow_; }

    std::optional<std::vector<bool>> CaptureDr(uint32_t instruction) override;
    void UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted, uint64_t nowUs) override;
    void UpdateIr(uint32_t instruction, uint64_t nowUs) override;

protected:
    void SampleTap(const PinEnvironment& env) override;

private:
    static constexpr int kRows = 80, kBits = 792;
    std::vector<int> Selected() const;
    void Act(uint64_t widthUs);

    bool enabled_ = false, eSelected_ = false;
    uint32_t instruction_ = 1;
    std::vector<bool> rows_, data_;
    bool pulseLow_ = false;
    PulseTimer pulse_;
    std::vector<PulseEvent> pulses_;
    uint32_t readsWithoutLow_ = 0;
};

} // namespace sim
