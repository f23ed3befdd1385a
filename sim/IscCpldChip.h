// The ISC CPLDs of the 64- and 128-macrocell kinds behind their 10-bit
// instruction register, as the programmer sees them.
//
//   059h IDCODE (32 bits; bit 20 changed on a part answering another identity)
//   280h ISC enable register (10 bits): 1B9h latched with 11.0 V (+-0.5 V) on
//        the high-voltage pin enables every other ISC instruction, 0 leaves
//   2A1h address (11 bits): row in bits 0-7, register kind in bits 8-10
//   290h-293h the data register of kind 0-3 (166/326, 32, 4, 16 bits); Update
//        latches it for a program pulse
//   28Ch read: the addressed row is loaded into its kind's data register when
//        the next instruction comes at least the read time later (zeros when
//        sooner)
//   2B3h arms the erase of the next pulse
//   29Eh ... 2BFh a pulse: at least the program time programs the addressed
//        row with its kind's data register (a cell takes only 0); after 2B3h,
//        at least the erase time erases every cell, the security cell too
// The security cell is bit 3 of the kind-2 register (its cell 0). A secured
// part reads its array rows as zeros. Ours: after addressing kind 2 and a
// read, 291h is 33 bits with bit 32 = 1 when the part is secured.
// Columns: register bit b of a row holds column length - 1 - b; in 160- and
// 320-column rows bits 0-5 carry no cell (read as 1).
#pragma once
#include <cstdint>
#include <set>
#include <vector>

#include "sim/JtagCpldChip.h"

namespace sim {

struct IscPulse {
    int kind, row;
    uint64_t widthUs;
    bool erase;
    bool unusedBitsOne; // the register bits without a cell were 1
};

class IscCpldChip : public JtagCpldChip {
public:
    explicit IscCpldChip(const JtagCpldFacts& part);

    // JEDEC fuse of register bit b of a row of a kind, -1 where none.
    int32_t FuseAt(int kind, int row, int bit) const;
    bool SecuredCell() const { return Cell(SecurityFuse()) == 0; }
    uint32_t SecurityFuse() const;
    bool Enabled() const { return enabled_; }
    const std::vector<IscPulse>& Pulses() const { return pulses_; }
    const std::set<int>& AddressedRows() const { return addressed_; }
    // Cells each pulse programmed under each kind, for the order of a run.
    const std::vector<int>& ProgramKinds() const { return programKinds_; }

    std::optional<std::vector<bool>> CaptureDr(uint32_t instruction) override;
    void UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted, uint64_t nowUs) override;
    void UpdateIr(uint32_t instruction, uint64_t nowUs) override;

private:
    size_t Length(int kind) const;
    void LoadRow();
    void Pulse(uint64_t widthUs);

    bool wide_;
    bool enabled_ = false;
    int kind_ = 0, row_ = 0;
    std::vector<bool> data_[4];
    bool readPending_ = false, eraseArmed_ = false, pulsing_ = false, secureRead_ = false;
    uint64_t readStartUs_ = 0, pulseStartUs_ = 0;
    std::vector<IscPulse> pulses_;
    std::set<int> addressed_;
    std::vector<int> programKinds_;
};

} // namespace sim
