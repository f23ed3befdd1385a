#include "sim/FuseArrayChip.h"

#include <cstdio>

namespace sim {

namespace {

constexpr uint32_t kRow44Fuse = 5828, kRow45Fuse = 5808;
constexpr int kRow44Cells = 64, kRow45Cells = 20;
constexpr uint64_t kSlowClockUs = 100;
constexpr size_t kLog = 1u << 12;

} // namespace

FuseArrayChip::FuseArrayChip(const JtagCpldFacts& part)
    : JtagCpldChip(part, part.kind == JtagCpldKind::FuseArray44 ? 5892 : 8160, 5),
      data_(DataLength(), true),
      row45_(kRow45Cells, true),
      saved_(FactorySavedRow()) {}

std::vector<bool> FuseArrayChip::FactorySavedRow() const {
    std::vector<bool> r(DataLength());
    for (size_t i = 0; i < r.size(); ++i) r[i] = (i * 7 + 3) % 5 < 2;
    return r;
}

int32_t FuseArrayChip::FuseOf(int row, int position) const {
    if (Small()) return 44 * position + row;
    return 80 * row + position;
}

int FuseArrayChip::CellAtPlace(int row, int position) const {
    if (position < 0) return -1;
    if (Small() && row == 44) return position < kRow44Cells ? Cell(kRow44Fuse + static_cast<uint32_t>(position)) : -1;
    if (Small() && row == 45) return position < kRow45Cells ? Cell(kRow45Fuse + static_cast<uint32_t>(position ^ 1)) : -1;
    if (row < 0 || row >= Rows() || static_cast<size_t>(position) >= DataLength()) return -1;
    return Cell(static_cast<uint32_t>(FuseOf(row, position)));
}

void FuseArrayChip::SampleTap(const PinEnvironment& env) {
    for (int p : Part().low) {
        if (p != 0 && !env.HeldLow(p) && !lowWarned_) {
            lowWarned_ = true;
            Violation("pin " + std::to_string(p) + " not held low");
        }
    }
    const bool tck = env.InputLevel(Part().tck) != 0;
    if (tck && !tckHigh_) tckRiseUs_ = env.NowUs();
    if (!tck && tckHigh_ && env.NowUs() - tckRiseUs_ >= kSlowClockUs && slow_.size() < kLog)
        slow_.push_back(env.NowUs() - tckRiseUs_);
    tckHigh_ = tck;
    JtagCpldChip::SampleTap(env);
}

std::optional<std::vector<bool>> FuseArrayChip::CaptureDr(uint32_t instruction) {
    switch (instruction) {
    case 0x16: // another part's IDCODE: the part number's lowest bit flipped
        return Bits(Part().idcode ^ (AnswersAnotherIdentity() ? 1u << 12 : 0u), 32);
    case 0x01: {
        std::vector<bool> r(static_cast<size_t>(Rows()), false);
        if (row_ >= 0) r[static_cast<size_t>(row_)] = true;
        return r;
    }
    case 0x02: return data_;
    case 0x0C:
        if (Small()) return row45_;
        break;
    default: break;
    }
    return std::nullopt;
}

void FuseArrayChip::UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted, uint64_t) {
    switch (instruction) {
    case 0x16: CheckLength(instruction, shifted, 32); return;
    case 0x01: {
        if (!CheckLength(instruction, shifted, static_cast<size_t>(Rows())) || !programming_) return;
        int ones = 0;
        row_ = -1;
        for (size_t i = 0; i < bits.size(); ++i) {
            if (bits[i]) ++ones, row_ = static_cast<int>(i);
        }
        if (ones > 1) {
            Violation("more than one row selected");
            row_ = -1;
        }
        return;
    }
    case 0x02:
        if (CheckLength(instruction, shifted, DataLength()) && programming_) data_ = bits;
        return;
    case 0x0C:
        if (Small() && CheckLength(instruction, shifted, kRow45Cells) && programming_) row45_ = bits;
        return;
    default: CheckLength(instruction, shifted, 1); return;
    }
}

void FuseArrayChip::UpdateIr(uint32_t instruction, uint64_t) {
    const bool small = Small();
    const bool known = instruction == 0x16 || instruction == 0x15 || instruction == 0x1E || instruction == 1 ||
                       instruction == 2 || instruction == 7 || instruction == 9 || instruction == 10 ||
                       instruction == 11 || instruction == 15 || instruction == 17 ||
                       (instruction == 8 && !small && Part().shiftBits == 40) || (instruction == 16 && !small) ||
                       (small && (instruction == 3 || instruction == 12 || instruction == 0x1B));
    if (!known) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "instruction %02Xh not defined", instruction);
        Violation(buf);
        return;
    }
    if (instruction == 0x15) {
        programming_ = true;
        arrayClosed_ = false;
    } else if (instruction == 0x1E) {
        programming_ = false;
        row_ = -1;
    }
}

void FuseArrayChip::Program(int shift) {
    if (row_ < 0) return;
    const size_t width = DataLength();
    for (size_t b = 0; b < width; ++b) {
        const int32_t fuse = FuseOf(row_, shift * static_cast<int>(width) + static_cast<int>(b));
        WriteCell(static_cast<uint32_t>(fuse), data_[b] ? 1 : 0);
    }
}

void FuseArrayChip::Load(int shift) {
    const size_t width = DataLength();
    for (size_t b = 0; b < width; ++b) {
        const int32_t fuse = FuseOf(row_, shift * static_cast<int>(width) + static_cast<int>(b));
        data_[b] = row_ < 0 || Secured() || Cell(static_cast<uint32_t>(fuse)) != 0;
    }
}

void FuseArrayChip::Idle(uint32_t instruction, uint64_t us) {
    if (!programming_) return;
    const bool program = us >= uint64_t{Part().programMs} * 1000 && SupplyInWindow();
    const bool read = us >= Part().readUs;
    const bool small = Small();
    switch (instruction) {
    case 7:
    case 8:
        if (program) Program(instruction == 7 ? 0 : 1);
        break;
    case 10:
        if (read) Load(0);
        break;
    case 11:
        if (small) {
            if (program && arrayClosed_) {
                for (int p = 0; p < kRow45Cells; ++p)
                    WriteCell(kRow45Fuse + static_cast<uint32_t>(p ^ 1), row45_[static_cast<size_t>(p)] ? 1 : 0);
            }
        } else if (read) {
            Load(1);
        }
        break;
    case 9:
        if (program) Secure();
        break;
    case 3:
    case 16:
        if (us >= uint64_t{Part().eraseMs} * 1000 && SupplyInWindow()) {
            EraseAll();
            saved_.assign(saved_.size(), true);
            ++erases_;
        }
        break;
    case 17:
        if (us < Part().readUs) break;
        if (small) {
            for (size_t p = 0; p < data_.size(); ++p)
                data_[p] = p >= static_cast<size_t>(kRow44Cells) || Cell(kRow44Fuse + static_cast<uint32_t>(p)) != 0;
        } else {
            data_ = saved_;
        }
        break;
    case 15:
        if (!program) break;
        if (small) {
            if (!arrayClosed_) break;
            for (int p = 0; p < kRow44Cells; ++p)
                WriteCell(kRow44Fuse + static_cast<uint32_t>(p), data_[static_cast<size_t>(p)] ? 1 : 0);
        } else {
            for (size_t p = 0; p < saved_.size(); ++p) saved_[p] = saved_[p] && data_[p];
        }
        break;
    case 12:
        if (small && read) {
            for (int p = 0; p < kRow45Cells; ++p)
                row45_[static_cast<size_t>(p)] = Cell(kRow45Fuse + static_cast<uint32_t>(p ^ 1)) != 0;
        }
        break;
    case 0x1B:
        if (program) arrayClosed_ = true;
        break;
    default: break;
    }
}

} // namespace sim
