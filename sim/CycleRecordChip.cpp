#include "sim/CycleRecordChip.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int kEditModeTenths = 100;
constexpr int kEditTenths = 120;
constexpr int kVccTenths = 50;
constexpr int kEditMaxTenths = 140;
constexpr uint64_t kWriteUs = 2000;
constexpr uint64_t kEraseUs = 1000000;
constexpr size_t kLogLimit = 1u << 16;

enum Command { kMode = 0, kRow = 1, kIndex = 2, kData = 3 };
enum Mode { kErase = 1, kProgram = 2, kRead = 3 };
constexpr int kSecureRow = 56;
constexpr int kIdRow = 63;

// Byte types: the fuse-map fields past the array (the 20V8 map 512 higher).
struct ByteMap {
    int columns;
    uint32_t xorBits, ues, ac1, ptd, syn, ac0;
};
constexpr ByteMap k16V8Map{32, 2048, 2056, 2120, 2128, 2192, 2193};
constexpr ByteMap k20V8Map{40, 2560, 2568, 2632, 2640, 2704, 2705};
// The 20V8 type's array column at each row address.
constexpr int k20V8Column[40] = {0,  1,  6,  7,  4,  5,  10, 11, 8,  9,  14, 15, 12, 13,
                                 18, 19, 16, 17, 22, 23, 20, 21, 26, 27, 24, 25, 30, 31,
                                 28, 29, 34, 35, 38, 39, 32, 33, 36, 37, 2,  3};
constexpr int kUesRow = 40, kArchRow = 41, kPtdRow = 42, kByteRecordRow = 43;

// Word type: output i's product terms start at kTerms[i] (kTermCount[i] of
// them, one group each), its OE term at kOe[i]; a row is one of the 44
// input columns.
constexpr uint32_t kTerms[10] = {88, 484, 968, 1540, 2200, 2948, 3696, 4356, 4928, 5412};
constexpr int kTermCount[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
constexpr uint32_t kOe[10] = {44, 440, 924, 1496, 2156, 2904, 3652, 4312, 4884, 5368};
constexpr int kColumns = 44;
constexpr uint32_t kPreset = 5764, kMacrocells = 5808;
constexpr int kWordRecordRow = 45;
constexpr int kWordGroups = 19;

int Width(CycleRecordKind k) { return k == CycleRecordKind::Word22V10 ? 10 : 8; }
int RecordUnits(CycleRecordKind k) { return k == CycleRecordKind::Word22V10 ? 2 * kWordGroups : 16; }
int UnitsPerRow(CycleRecordKind k) { return k == CycleRecordKind::Word22V10 ? kWordGroups : 8; }
int FirstRecordRow(CycleRecordKind k) { return k == CycleRecordKind::Word22V10 ? kWordRecordRow : kByteRecordRow; }
int PinCount(CycleRecordKind k) { return k == CycleRecordKind::Byte16V8 ? 20 : 24; }
// Record cells, then on the byte types four cells of row 41 (index 3 and 4, bits 0-1).
uint32_t ExtraCells(CycleRecordKind k) {
    return static_cast<uint32_t>(RecordUnits(k) * Width(k)) + (k == CycleRecordKind::Word22V10 ? 0 : 4);
}

} // namespace

const CycleRecordChip::Pins& CycleRecordChip::PinsOf(CycleRecordKind k) {
    static const Pins k16{7, 6, 8, 9, 5, 12, 2, 4, 20, 10};
    static const Pins k20{7, 6, 8, 9, 5, 15, 2, 4, 24, 12};
    static const Pins k22{9, 8, 10, 11, 7, 14, 0, 6, 24, 12};
    return k == CycleRecordKind::Byte16V8 ? k16 : k == CycleRecordKind::Byte20V8 ? k20 : k22;
}

CycleRecordChip::CycleRecordChip(const CycleRecordFacts& facts)
    : CellArrayChip(facts.name, PinCount(facts.kind), facts.fuses + ExtraCells(facts.kind), PinsOf(facts.kind).vcc,
                    {PinsOf(facts.kind).gnd}),
      part_(facts), recordBase_(facts.fuses),
      extraBase_(facts.fuses + static_cast<uint32_t>(RecordUnits(facts.kind) * Width(facts.kind))) {
    AllowPin(PinsOf(facts.kind).edit, kEditMaxTenths);
}

bool CycleRecordChip::FusesBlank() const {
    for (uint32_t n = 0; n < part_.fuses; ++n)
        if (Fuse(n) != 0) return false;
    return true;
}

uint32_t CycleRecordChip::RecordUnit(int k) const {
    const int w = Width(part_.kind);
    uint32_t v = 0;
    for (int j = 0; j < w; ++j) v |= static_cast<uint32_t>(1 - Cell(recordBase_ + static_cast<uint32_t>(k * w + j))) << j;
    return v;
}

void CycleRecordChip::SetRecordUnit(int k, uint32_t value) {
    const int w = Width(part_.kind);
    for (int j = 0; j < w; ++j) SetCell(recordBase_ + static_cast<uint32_t>(k * w + j), ((value >> j) & 1) ? 0 : 1);
}

int CycleRecordChip::Bits(int command) const {
    const bool word = part_.kind == CycleRecordKind::Word22V10;
    switch (command) {
    case kMode: return word ? 5 : 4;
    case kRow: return 6;
    case kIndex: return word ? 5 : 3;
    default: return Width(part_.kind);
    }
}

bool CycleRecordChip::ArrayRow(int row) const {
    if (part_.kind == CycleRecordKind::Word22V10) return row >= 0 && row < kColumns;
    return row >= 0 && row < (part_.kind == CycleRecordKind::Byte16V8 ? k16V8Map : k20V8Map).columns;
}

bool CycleRecordChip::RecordRow(int row) const {
    return row == FirstRecordRow(part_.kind) || row == FirstRecordRow(part_.kind) + 1;
}

int CycleRecordChip::CellAt(int row, int index, int p) const {
    const int w = Width(part_.kind);
    const int b = w - 1 - p; // value bit
    if (row < 0 || index < 0) return -1;
    if (RecordRow(row)) {
        if (index >= UnitsPerRow(part_.kind)) return -1;
        const int unit = (row - FirstRecordRow(part_.kind)) * UnitsPerRow(part_.kind) + index;
        return static_cast<int>(recordBase_) + unit * w + p;
    }
    if (part_.kind == CycleRecordKind::Word22V10) {
        const int g = index;
        if (row < kColumns) {
            const auto c = static_cast<uint32_t>(row);
            if (g < 16) return g < kTermCount[b] ? static_cast<int>(kTerms[b] + 44u * static_cast<uint32_t>(g) + c) : -1;
            if (g == 16) return static_cast<int>(kOe[b] + c);
            if (g == 17) return b == 9 ? static_cast<int>(kPreset + c) : -1;
            if (g == 18) return b == 0 ? static_cast<int>(c) : -1;
            return -1;
        }
        if (row == kColumns && g < 2) return static_cast<int>(kMacrocells + 2u * static_cast<uint32_t>(b) + static_cast<uint32_t>(g));
        return -1;
    }
    const ByteMap& m = part_.kind == CycleRecordKind::Byte16V8 ? k16V8Map : k20V8Map;
    const auto ub = static_cast<uint32_t>(b);
    const auto ui = static_cast<uint32_t>(index);
    if (row < m.columns) {
        if (index >= 8) return -1;
        const int column = part_.kind == CycleRecordKind::Byte20V8 ? k20V8Column[row] : row;
        return static_cast<int>((8 * ub + ui) * static_cast<uint32_t>(m.columns) + static_cast<uint32_t>(column));
    }
    if (row == kUesRow) return index < 8 ? static_cast<int>(m.ues + 8 * ui + ub) : -1;
    if (row == kPtdRow) return index < 8 ? static_cast<int>(m.ptd + ui + 8 * ub) : -1;
    if (row == kArchRow) {
        if (index == 0) return static_cast<int>(m.xorBits + ub);
        if (index == 1) return static_cast<int>(m.ac1 + ub);
        if (index == 2) return b == 0 ? static_cast<int>(m.ac0) : b == 1 ? static_cast<int>(m.syn) : -1;
        if ((index == 3 || index == 4) && b < 2) return static_cast<int>(extraBase_ + 2 * (ui - 3) + ub);
    }
    return -1;
}

uint32_t CycleRecordChip::Unit(int row, int index) const {
    const int w = Width(part_.kind);
    uint32_t v = 0;
    if (row == kIdRow) {
        // Another part's code: bit 6 flipped (a part that has one).
        const uint32_t code = part_.idCode ^ (part_.idCode != 0 && AnswersAnotherIdentity() ? 0x40u : 0u);
        for (int j = 0; j < w; ++j) v |= ((code >> j) & 1) << (w - 1 - j);
        return v;
    }
    if (Secured() && ArrayRow(row)) return 0;
    for (int p = 0; p < w; ++p) {
        const int c = CellAt(row, index, p);
        if (c >= 0 && Cell(static_cast<uint32_t>(c)) == 0) v |= 1u << (w - 1 - p);
    }
    return v;
}

void CycleRecordChip::Commit() {
    if (active_ < 0) return;
    reg_[active_] = shifted_ == Bits(active_) ? static_cast<int>(shifting_) : -1;
    if (loads_.size() < kLogLimit) loads_.push_back({active_, reg_[active_]});
    active_ = -1;
}

bool CycleRecordChip::EditOn(const PinEnvironment& env) const {
    return Volts(env, PinsOf(part_.kind).edit) >= kEditModeTenths;
}

bool CycleRecordChip::WriteConditions(const PinEnvironment& env) const {
    const Pins& pins = PinsOf(part_.kind);
    return Within(Volts(env, pins.edit), kEditTenths, 2) && Within(Volts(env, pins.vcc), kVccTenths, 3);
}

void CycleRecordChip::Strobe(const PinEnvironment& env, bool rising) {
    const Pins& pins = PinsOf(part_.kind);
    const int bus = Level(env, pins.bus0) | Level(env, pins.bus1) << 1;
    if (rising) {
        Commit();
        strobe_.Start(env.NowUs());
        statusValid_ = false;
        if (reg_[kMode] == kRead && bus == kData) {
            out_ = Unit(reg_[kRow], reg_[kIndex]);
            outBit_ = -1;
        }
        return;
    }
    const uint64_t width = strobe_.Stop(env.NowUs());
    const bool ok = WriteConditions(env);
    if (reg_[kMode] == kErase) {
        const bool rowOk = part_.kind != CycleRecordKind::Word22V10 || part_.idCode != 65 || reg_[kRow] == kSecureRow;
        if (ok && width >= kEraseUs && rowOk && !ignoreErase_) EraseAll();
        return;
    }
    if (reg_[kMode] != kProgram || bus != kData) return;
    const int row = reg_[kRow], index = reg_[kIndex], data = reg_[kData];
    if (writes_.size() < kLogLimit) writes_.push_back({row, index, data});
    const int w = Width(part_.kind);
    const bool write = ok && width >= kWriteUs && row >= 0 && index >= 0 && data >= 0;
    const bool secureTaken = write && !securityStuck_;
    if (row == kSecureRow && secureTaken) Secure();
    bool held = row == kSecureRow ? secureTaken : write;
    for (int p = 0; p < w && row != kSecureRow; ++p) {
        const int bit = data >= 0 ? (data >> (w - 1 - p)) & 1 : 0;
        const int c = CellAt(row, index, p);
        if (c < 0) {
            if (part_.kind == CycleRecordKind::Word22V10 && bit == 0) held = false;
            continue;
        }
        if (write && bit == 1) WriteCell(static_cast<uint32_t>(c), 0);
        if (bit == 1 && Cell(static_cast<uint32_t>(c)) != 0) held = false;
    }
    status_ = held;
    statusValid_ = true;
}

void CycleRecordChip::Update(const PinEnvironment& env) {
    const Pins& pins = PinsOf(part_.kind);
    if (!edges_.Take(Level(env, pins.clock) == 1, Level(env, pins.strobe) == 1)) return;
    if (!InEditMode(env, pins.edit, kEditModeTenths)) {
        strobe_.Stop(env.NowUs());
        active_ = -1;
        return;
    }
    if (edges_.clockRise) {
        const int bus = Level(env, pins.bus0) | Level(env, pins.bus1) << 1;
        if (bus == kData && reg_[kMode] == kRead) {
            ++outBit_;
        } else {
            if (active_ != bus) {
                Commit();
                active_ = bus;
                shifting_ = 0;
                shifted_ = 0;
            }
            shifting_ = ((shifting_ << 1) | static_cast<uint32_t>(Level(env, pins.data))) & 0xFFFFu;
            ++shifted_;
        }
    }
    if (edges_.strobeEdge) Strobe(env, edges_.strobeHigh);
}

ChipDrive CycleRecordChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const Pins& pins = PinsOf(part_.kind);
    if (ChipPinAt(socketPin) != pins.out || !EditOn(env)) return ChipDrive::None;
    const int w = Width(part_.kind);
    if (reg_[kMode] == kRead) {
        if (outBit_ < 0 || outBit_ >= w) return ChipDrive::None;
        return (out_ >> (w - 1 - outBit_)) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
    if (reg_[kMode] == kProgram && statusValid_ && (pins.verify == 0 || Level(env, pins.verify) == 1))
        return status_ ? ChipDrive::High : ChipDrive::Low;
    return ChipDrive::None;
}

} // namespace sim
