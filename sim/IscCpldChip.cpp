#include "sim/IscCpldChip.h"

#include <cstdio>

namespace sim {

namespace {

enum Instruction : uint32_t {
    kIdcode = 0x059,
    kEnable = 0x280,
    kAddress = 0x2A1,
    kData0 = 0x290,
    kRead = 0x28C,
    kErase = 0x2B3,
    kPulseStart = 0x29E,
    kPulseEnd = 0x2BF,
};
constexpr uint32_t kEnableKey = 0x1B9;
constexpr int kHighVoltageTenths = 110;
constexpr int kHighVoltageTolerance = 5;
constexpr size_t kPulseLog = 1u << 12;

// Where the cells of each row of a kind lie in the JEDEC map: column c of
// row r is first + (r - firstRow) * rowStep + c * columnStep.
struct Region {
    int kind, firstRow, lastRow, columns;
    uint32_t first, rowStep, columnStep;
};
const Region kRegions64[] = {
    {0, 12, 107, 160, 0, 1, 96},       {0, 128, 223, 160, 15360, 1, 96}, {0, 0, 5, 160, 30720, 160, 1},
    {0, 6, 11, 160, 31680, 160, 1},    {0, 224, 232, 166, 32640, 1, 9},  {1, 0, 0, 32, 34134, 0, 1},
    {2, 0, 0, 4, 34166, 0, 1},         {3, 0, 0, 16, 34170, 0, 1},
};
const Region kRegions128[] = {
    {0, 12, 107, 320, 0, 1, 96},       {0, 128, 223, 320, 30720, 1, 96}, {0, 0, 5, 320, 61440, 320, 1},
    {0, 6, 11, 320, 63360, 320, 1},    {0, 224, 250, 326, 65280, 1, 27}, {1, 0, 0, 32, 74082, 0, 1},
    {2, 0, 0, 4, 74114, 0, 1},         {3, 0, 0, 16, 74118, 0, 1},
};

template <size_t N> const Region* FindRegion(const Region (&table)[N], int kind, int row) {
    for (const Region& r : table) {
        if (r.kind == kind && row >= r.firstRow && row <= r.lastRow) return &r;
    }
    return nullptr;
}

} // namespace

IscCpldChip::IscCpldChip(const JtagCpldFacts& part)
    : JtagCpldChip(part, part.kind == JtagCpldKind::Isc128 ? 74134 : 34186, 10),
      wide_(part.kind == JtagCpldKind::Isc128) {
    for (int k = 0; k < 4; ++k) data_[k].assign(Length(k), false);
}

size_t IscCpldChip::Length(int kind) const {
    static const size_t lengths[4] = {166, 32, 4, 16};
    if (kind == 0) return wide_ ? 326 : 166;
    return kind >= 0 && kind < 4 ? lengths[kind] : 0;
}

uint32_t IscCpldChip::SecurityFuse() const { return wide_ ? 74114 : 34166; }

int32_t IscCpldChip::FuseAt(int kind, int row, int bit) const {
    const Region* r = wide_ ? FindRegion(kRegions128, kind, row) : FindRegion(kRegions64, kind, row);
    if (r == nullptr) return -1;
    const int column = static_cast<int>(Length(kind)) - 1 - bit;
    if (column < 0 || column >= r->columns) return -1;
    return static_cast<int32_t>(r->first + static_cast<uint32_t>(row - r->firstRow) * r->rowStep +
                                static_cast<uint32_t>(column) * r->columnStep);
}

std::optional<std::vector<bool>> IscCpldChip::CaptureDr(uint32_t instruction) {
    // Another part answers with a bit of its part number changed.
    if (instruction == kIdcode) return Bits(Part().idcode ^ (AnswersAnotherIdentity() ? 1u << 20 : 0u), 32);
    if (instruction == kEnable) return std::vector<bool>(10, false);
    if (instruction == kAddress) return Bits(static_cast<uint64_t>(kind_) << 8 | static_cast<uint64_t>(row_), 11);
    if (instruction >= kData0 && instruction <= kData0 + 3) {
        std::vector<bool> d = data_[instruction - kData0];
        if (instruction == kData0 + 1 && secureRead_) d.push_back(SecuredCell());
        return d;
    }
    return std::nullopt;
}

void IscCpldChip::UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted, uint64_t) {
    if (instruction == kIdcode) {
        CheckLength(instruction, shifted, 32);
        return;
    }
    if (instruction == kEnable) {
        if (!CheckLength(instruction, shifted, 10)) return;
        const uint64_t v = Value(bits, 0, 10);
        const int hv = SocketVolts(Part().hv);
        if (v == kEnableKey) {
            enabled_ = Within(hv, kHighVoltageTenths, kHighVoltageTolerance);
        } else if (v == 0) {
            enabled_ = false;
        } else {
            Violation("ISC enable register written " + std::to_string(v));
        }
        return;
    }
    if (instruction == kAddress) {
        if (!CheckLength(instruction, shifted, 11) || !enabled_) return;
        const uint64_t v = Value(bits, 0, 11);
        kind_ = static_cast<int>(v >> 8);
        row_ = static_cast<int>(v & 0xFF);
        const bool exists = wide_ ? FindRegion(kRegions128, kind_, row_) != nullptr
                                  : FindRegion(kRegions64, kind_, row_) != nullptr;
        if (!exists) {
            Violation("address of a row the part does not have: kind " + std::to_string(kind_) + " row " +
                      std::to_string(row_));
            kind_ = 0, row_ = 0;
            return;
        }
        if (kind_ == 0) addressed_.insert(row_);
        secureRead_ = false;
        return;
    }
    if (instruction >= kData0 && instruction <= kData0 + 3) {
        const int kind = static_cast<int>(instruction - kData0);
        const size_t length = Length(kind) + (kind == 1 && secureRead_ ? 1 : 0);
        if (!CheckLength(instruction, shifted, length) || !enabled_) return;
        data_[kind].assign(bits.begin(), bits.begin() + static_cast<std::ptrdiff_t>(Length(kind)));
        return;
    }
    CheckLength(instruction, shifted, 1);
}

void IscCpldChip::LoadRow() {
    std::vector<bool>& d = data_[kind_];
    for (size_t b = 0; b < d.size(); ++b) {
        const int32_t fuse = FuseAt(kind_, row_, static_cast<int>(b));
        const bool array = kind_ == 0;
        d[b] = fuse < 0 ? true : (array && SecuredCell()) ? false : Cell(static_cast<uint32_t>(fuse)) != 0;
    }
    if (kind_ == 2) secureRead_ = true;
}

void IscCpldChip::Pulse(uint64_t widthUs) {
    const bool erase = eraseArmed_;
    eraseArmed_ = false;
    const std::vector<bool>& d = data_[kind_];
    bool unusedOne = true;
    for (size_t b = 0; b < d.size(); ++b) {
        if (FuseAt(kind_, row_, static_cast<int>(b)) < 0 && !d[b]) unusedOne = false;
    }
    if (pulses_.size() < kPulseLog) pulses_.push_back({kind_, row_, widthUs, erase, unusedOne});
    if (!SupplyInWindow()) return;
    if (erase) {
        if (widthUs >= uint64_t{Part().eraseMs} * 1000) EraseAll();
        return;
    }
    if (widthUs < uint64_t{Part().programMs} * 1000) return;
    programKinds_.push_back(kind_);
    for (size_t b = 0; b < d.size(); ++b) {
        const int32_t fuse = FuseAt(kind_, row_, static_cast<int>(b));
        if (fuse >= 0) WriteCell(static_cast<uint32_t>(fuse), d[b] ? 1 : 0);
    }
}

void IscCpldChip::UpdateIr(uint32_t instruction, uint64_t nowUs) {
    const bool known = instruction == kIdcode || instruction == kEnable || instruction == kAddress ||
                       (instruction >= kData0 && instruction <= kData0 + 3) || instruction == kRead ||
                       instruction == kErase || instruction == kPulseStart || instruction == kPulseEnd;
    if (!known) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "instruction %03Xh not defined", instruction);
        Violation(buf);
        return;
    }
    if (readPending_) {
        readPending_ = false;
        if (nowUs - readStartUs_ >= Part().readUs) {
            LoadRow();
        } else {
            data_[kind_].assign(data_[kind_].size(), false);
        }
    }
    if (!enabled_ || instruction == kIdcode || instruction == kEnable) return;
    if (instruction == kRead) {
        readPending_ = true;
        readStartUs_ = nowUs;
    } else if (instruction == kErase) {
        eraseArmed_ = true;
    } else if (instruction == kPulseStart) {
        pulsing_ = true;
        pulseStartUs_ = nowUs;
    } else if (instruction == kPulseEnd && pulsing_) {
        pulsing_ = false;
        Pulse(nowUs - pulseStartUs_);
    }
}

} // namespace sim
