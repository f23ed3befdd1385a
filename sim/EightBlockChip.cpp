#include "sim/EightBlockChip.h"

#include <cstdio>

namespace sim {

namespace {

constexpr int kPulsePin = 12;
constexpr int kHighVoltageTenths = 92, kHighVoltageTolerance = 3, kSupplyTolerance = 2;
constexpr int kClocks = 99, kBlockFuses = 6762, kArrayRows = 66, kERow = 80;
constexpr uint32_t kEFuse = EightBlockChip::kERowFuse, kUserFuse = 59000;
constexpr size_t kLog = 1u << 12;
constexpr int kWriteClocks[16] = {14, 15, 25, 26, 36, 37, 47, 48, 58, 59, 69, 70, 80, 81, 91, 92};
constexpr int kReadClocks[16] = {14, 19, 25, 30, 36, 41, 47, 52, 58, 63, 69, 74, 80, 85, 91, 96};
// Clock-0 cells of rows 69, 73, 75, 77 (block-relative).
constexpr int kExtraRows[4] = {69, 73, 75, 77};
constexpr int kExtraFuses[4] = {6534, 6535, 6536, 6537};
// Row 79's user-code bits: (first program bit, first user bit, step).
struct UserRun {
    int firstBit, firstUser, step;
};
constexpr UserRun kUserRuns[4] = {{397, 0, 1}, {298, 15, -1}, {1, 16, 1}, {694, 31, -1}};

} // namespace

EightBlockChip::EightBlockChip(const JtagCpldFacts& part)
    : JtagCpldChip(part, kUserFuse + 32, 6), rows_(kRows, false), data_(kBits, false) {}

int32_t EightBlockChip::FuseAt(int row, int bit, bool forRead) const {
    if (bit < 0 || bit >= kBits) return -1;
    const int g = bit / kClocks, c = bit % kClocks;
    const int32_t base = kBlockFuses * (7 - g);
    if (row < kArrayRows) return base + 66 * c + row;
    if (row < kRows) {
        const int* clocks = forRead ? kReadClocks : kWriteClocks;
        for (int k = 0; k < 16; ++k) {
            if (clocks[k] == c) return base + 6538 + (row - kArrayRows) + 14 * k;
        }
        for (int e = 0; e < 4; ++e) {
            if (c == 0 && kExtraRows[e] == row) return base + kExtraFuses[e];
        }
        if (row == kRows - 1) {
            if (bit == 594) return static_cast<int32_t>(kEFuse);
            for (const UserRun& u : kUserRuns) {
                if (bit >= u.firstBit && bit < u.firstBit + 8)
                    return static_cast<int32_t>(kUserFuse) + u.firstUser + u.step * (bit - u.firstBit);
            }
        }
        return -1;
    }
    if (row == kERow) {
        if (c == kClocks - 1) return static_cast<int32_t>(kEFuse) + 1 + 9 * g;
        if (c % 11 == 9) return static_cast<int32_t>(kEFuse) + 2 + 9 * g + 7 - c / 11;
    }
    return -1;
}

uint32_t EightBlockChip::UserCode() const {
    uint32_t v = 0;
    for (uint32_t i = 0; i < 32; ++i) v |= static_cast<uint32_t>(Cell(kUserFuse + i)) << i;
    return v;
}

std::vector<int> EightBlockChip::Selected() const {
    std::vector<int> r;
    for (int i = 0; i < kRows; ++i) {
        if (rows_[static_cast<size_t>(i)]) r.push_back(kRows - 1 - i);
    }
    if (r.empty() && eSelected_) r.push_back(kERow);
    return r;
}

void EightBlockChip::SampleTap(const PinEnvironment& env) {
    const bool low = env.InputLevel(kPulsePin) == 0;
    if (low && !pulseLow_) pulse_.Start(env.NowUs());
    if (!low && pulseLow_) Act(pulse_.Stop(env.NowUs()));
    pulseLow_ = low;
    if (Tap().State() == TapState::ShiftDr && instruction_ == 7 && !low && env.InputLevel(Part().tck) != 0)
        ++readsWithoutLow_;
    JtagCpldChip::SampleTap(env);
}

void EightBlockChip::Act(uint64_t widthUs) {
    const std::vector<int> sel = Selected();
    if (pulses_.size() < kLog)
        pulses_.push_back({instruction_, widthUs, sel.size() == 1 ? sel[0] : sel.empty() ? -1 : -2});
    if (!enabled_ || !Within(SocketVolts(Part().hv), kHighVoltageTenths, kHighVoltageTolerance) ||
        !Within(SupplyTenths(), Part().vccTenths, kSupplyTolerance))
        return;
    if (instruction_ == 8) {
        if (widthUs >= 50000) Secure();
    } else if (instruction_ == 5) {
        if (widthUs < 100000) return;
        if (static_cast<int>(sel.size()) == kRows) {
            EraseAll();
            return;
        }
        for (int row : sel) {
            for (int b = 0; b < kBits; ++b) {
                const int32_t f = FuseAt(row, b, false);
                if (f >= 0) SetCell(static_cast<uint32_t>(f), 1);
            }
        }
    } else if (instruction_ == 6 && widthUs >= 50000) {
        for (int row : sel) {
            for (int b = 0; b < kBits; ++b) {
                const int32_t f = FuseAt(row, b, false);
                if (f >= 0) WriteCell(static_cast<uint32_t>(f), data_[static_cast<size_t>(b)] ? 1 : 0);
            }
        }
    }
}

std::optional<std::vector<bool>> EightBlockChip::CaptureDr(uint32_t instruction) {
    switch (instruction) {
    case 0x01: // another part's IDCODE: the part number's lowest bit flipped
        return Bits(Part().idcode ^ (AnswersAnotherIdentity() ? 1u << 12 : 0u), 32);
    case 0x10: return Bits(UserCode(), 32);
    case 0x0F: return std::vector<bool>(5, false);
    case 0x03: return rows_;
    case 0x04: return data_;
    case 0x07: {
        std::vector<bool> out(kBits, true);
        const std::vector<int> sel = Selected();
        if (!enabled_ || sel.size() != 1) return out;
        for (int b = 0; b < kBits; ++b) {
            const int32_t f = FuseAt(sel[0], b, true);
            const bool v = Secured() ? false : f < 0 || Cell(static_cast<uint32_t>(f)) != 0;
            out[static_cast<size_t>(kBits - 1 - b)] = v;
        }
        return out;
    }
    default: return std::nullopt;
    }
}

void EightBlockChip::UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted, uint64_t) {
    switch (instruction) {
    case 0x01:
    case 0x10: CheckLength(instruction, shifted, 32); return;
    case 0x0F: {
        if (!CheckLength(instruction, shifted, 5)) return;
        const uint64_t v = Value(bits, 0, 5);
        if (v != 0x08 && v != 0x09) Violation("enable register written " + std::to_string(v));
        enabled_ = v == 0x08 || v == 0x09;
        eSelected_ = v == 0x09;
        return;
    }
    case 0x03:
        if (enabled_) rows_ = bits;
        return;
    case 0x04:
        if (CheckLength(instruction, shifted, kBits) && enabled_) data_ = bits;
        return;
    case 0x07: CheckLength(instruction, shifted, kBits); return;
    default: CheckLength(instruction, shifted, 1); return;
    }
}

void EightBlockChip::UpdateIr(uint32_t instruction, uint64_t) {
    instruction_ = instruction;
    const bool known = instruction == 1 || instruction == 3 || instruction == 4 || instruction == 5 ||
                       instruction == 6 || instruction == 7 || instruction == 8 || instruction == 15 ||
                       instruction == 16;
    if (!known) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "instruction %02Xh not defined", instruction);
        Violation(buf);
    }
}

} // namespace sim
