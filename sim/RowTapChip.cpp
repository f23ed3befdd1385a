#include "sim/RowTapChip.h"

#include <cstdio>

namespace sim {

namespace {

constexpr int kProgramTenths = 50, kProgramTolerance = 2;
constexpr uint64_t kProgramUs = 50000, kEraseUs = 100000, kSecureUs = 50000;
constexpr int kArrayRows = 52, kERow = 61;
constexpr size_t kLog = 1u << 12;

// Program clocks of the 16 special cells of a block, per chip.
constexpr int kSpecial2[16] = {8, 12, 16, 20, 24, 28, 32, 36, 37, 41, 45, 49, 53, 57, 61, 65};
constexpr int kSpecial4[16] = {7, 8, 15, 16, 23, 24, 31, 32, 39, 40, 47, 48, 55, 56, 63, 64};

int SpecialIndex(const int (&clocks)[16], int clock) {
    for (int k = 0; k < 16; ++k) {
        if (clocks[k] == clock) return k;
    }
    return -1;
}

// The two-block chip: per block 3862 fuses; clock 0 of the even rows holds
// fuses 0-25, clocks 1-71 the array by columns of 52; special rows by 9.
int32_t Fuse2(int row, int block, int clock) {
    const int32_t base = 3862 * block;
    if (row < kArrayRows) {
        if (clock == 0) return row % 2 == 0 ? base + row / 2 : -1;
        return base + 26 + 52 * (clock - 1) + row;
    }
    const int k = SpecialIndex(kSpecial2, clock);
    if (k < 0) return -1;
    if (row == kERow) return (block == 0 ? 7755 : 7739) - k;
    return base + 3666 + row + 9 * k;
}

// The four-block chip: per block 3768 fuses, the array by columns of 52;
// special cells in groups of 16, rows 58 and 59 only in the even cells.
int32_t Fuse4(int row, int block, int clock) {
    const int32_t base = 3768 * block;
    if (row < kArrayRows) return base + row + 52 * clock;
    const int k = SpecialIndex(kSpecial4, clock);
    if (k < 0) return -1;
    if (row == kERow) return 15087 - k + 16 * (3 - block);
    const int m = k / 2;
    if (k % 2 == 0) return base + 3588 + 16 * m + row;
    if (row <= 57) return base + 3597 + 16 * m + row;
    return row == 60 ? base + 3655 + 16 * m : -1;
}

} // namespace

RowTapChip::RowTapChip(const JtagCpldFacts& part)
    : JtagCpldChip(part, part.kind == JtagCpldKind::RowTap4Block ? 15136 : 7756, 6),
      blocks_(part.kind == JtagCpldKind::RowTap4Block ? 4 : 2),
      clocks_(part.kind == JtagCpldKind::RowTap4Block ? 70 : 72),
      blockFuses_(part.kind == JtagCpldKind::RowTap4Block ? 3768 : 3862),
      rows_(kRows, false),
      data_(static_cast<size_t>(blocks_ * clocks_), false) {}

int32_t RowTapChip::FuseAt(int row, int bit) const {
    if (row < 0 || row >= kRows || bit < 0 || bit >= DataLength()) return -1;
    const int block = blocks_ - 1 - bit / clocks_;
    const int clock = bit % clocks_;
    return blocks_ == 4 ? Fuse4(row, block, clock) : Fuse2(row, block, clock);
}

std::vector<int> RowTapChip::Selected() const {
    std::vector<int> r;
    for (int i = 0; i < kRows; ++i) {
        if (rows_[static_cast<size_t>(i)]) r.push_back(kRows - 1 - i);
    }
    return r;
}

std::optional<std::vector<bool>> RowTapChip::CaptureDr(uint32_t instruction) {
    switch (instruction) {
    // Another part answers with a bit of its part number changed.
    case 0x01: return Bits(Part().idcode ^ (AnswersAnotherIdentity() ? 1u << 20 : 0u), 32);
    case 0x0F: return std::vector<bool>(5, false);
    case 0x03: return rows_;
    case 0x04: return data_;
    case 0x07: {
        std::vector<bool> out(static_cast<size_t>(DataLength()), true);
        const std::vector<int> sel = Selected();
        if (!enabled_ || sel.size() != 1) return out;
        const int row = sel[0];
        for (int b = 0; b < DataLength(); ++b) {
            const int32_t fuse = FuseAt(row, b);
            bool v = fuse < 0 ? true : Cell(static_cast<uint32_t>(fuse)) != 0;
            if (row == kERow) v = !v;
            if (Secured()) v = false;
            out[static_cast<size_t>(DataLength() - 1 - b)] = v;
        }
        return out;
    }
    default: return std::nullopt;
    }
}

void RowTapChip::UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted, uint64_t) {
    switch (instruction) {
    case 0x01: CheckLength(instruction, shifted, 32); return;
    case 0x0F: {
        if (!CheckLength(instruction, shifted, 5)) return;
        const uint64_t v = Value(bits, 0, 5);
        if (v != 0x08) Violation("enable register written " + std::to_string(v));
        enabled_ = v == 0x08;
        return;
    }
    case 0x03:
        if (enabled_) rows_ = bits; // the register shifts in place: any scan length
        return;
    case 0x04:
        if (CheckLength(instruction, shifted, static_cast<size_t>(DataLength())) && enabled_) data_ = bits;
        return;
    case 0x07: CheckLength(instruction, shifted, static_cast<size_t>(DataLength())); return;
    default: CheckLength(instruction, shifted, 1); return;
    }
}

void RowTapChip::UpdateIr(uint32_t instruction, uint64_t) {
    const bool known = instruction == 1 || instruction == 3 || instruction == 4 || instruction == 5 ||
                       instruction == 6 || instruction == 7 || instruction == 8 || instruction == 15;
    if (!known) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "instruction %02Xh not defined", instruction);
        Violation(buf);
    }
}

void RowTapChip::Idle(uint32_t instruction, uint64_t us) {
    if (!enabled_ || (instruction != 5 && instruction != 6 && instruction != 8)) return;
    if (!Within(SupplyTenths(), kProgramTenths, kProgramTolerance)) return;
    const std::vector<int> sel = Selected();
    if (instruction == 8) {
        if (us >= kSecureUs) Secure();
        return;
    }
    if (instruction == 5) {
        if (us < kEraseUs) return;
        if (static_cast<int>(sel.size()) == kRows) {
            EraseAll();
        } else {
            for (int row : sel) {
                for (int b = 0; b < DataLength(); ++b) {
                    const int32_t f = FuseAt(row, b);
                    if (f >= 0) SetCell(static_cast<uint32_t>(f), 1);
                }
            }
        }
        if (programmed_.size() < kLog) programmed_.push_back(-2);
        return;
    }
    if (us < kProgramUs) return;
    if (programmed_.size() < kLog) programmed_.push_back(sel.size() == 1 ? sel[0] : -1);
    for (int row : sel) {
        for (int b = 0; b < DataLength(); ++b) {
            const int32_t f = FuseAt(row, b);
            if (f >= 0) {
                WriteCell(static_cast<uint32_t>(f), data_[static_cast<size_t>(b)] ? 1 : 0);
            } else if (data_[static_cast<size_t>(b)]) {
                ++unusedOnes_;
            }
        }
    }
}

} // namespace sim
