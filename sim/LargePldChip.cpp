#include "sim/LargePldChip.h"

namespace sim {

namespace {

struct Pins {
    int pinCount, edit, load, pe, sclk, sdin, sdout, vcc;
    std::vector<int> gnd;
};
// The 1500 type's four grounds and supplies are bonded together; one of
// each stands for all (the contention check asks for every driven pin).
const Pins k1500{44, 1, 2, 44, 43, 11, 24, 3, {22}};
const Pins kV750{24, 2, 13, 3, 10, 11, 14, 24, {12}};
const Pins& PinsOf(LargePldKind k) { return k == LargePldKind::Type1500 ? k1500 : kV750; }

constexpr int k1500Address[8] = {4, 5, 6, 7, 8, 9, 12, 13};
constexpr int kV750Modes[4] = {4, 6, 7, 9};
constexpr int kV750Select14500 = 5;
constexpr int kV750SelectRows = 8;
constexpr int kEditModeTenths = 105;
constexpr int kEntryTenths = 105;
constexpr int kEntryPin = 43;
constexpr int kWindowTenths = 3;
constexpr int kEntryWriteVcc = 60;
constexpr int kLoadVccLow = 47, kLoadVccHigh = 53;
constexpr size_t kStrobeLog = 1u << 16;

// 1500 type.
constexpr int k1500Rows = 152, k1500Bits = 177, k1500IdRow = 255, k1500EraseRow = 246, k1500LastRow = 254;
constexpr uint32_t k1500Cells = 24994;
// V750 type.
constexpr int kV750Bits = 171, kV750IdRow = 127, kV750SecureRow = 124, kV750SecurityRow = 111, kV750FuseRow = 125;
constexpr int kV750Rows = 85, kV750FirstRow96 = 96, kV750Rows96 = 7, kV750Row96Bits = 10;
constexpr uint32_t kV750Cells = 14501, kV750Fuse14499 = 14499, kV750Fuse14500 = 14500;
constexpr int kIdBytes = 12;

} // namespace

LargePldChip::LargePldChip(const LargePldFacts& part)
    : CellArrayChip(part.name, PinsOf(part.kind).pinCount,
                    part.kind == LargePldKind::Type1500 ? k1500Cells : kV750Cells, PinsOf(part.kind).vcc,
                    PinsOf(part.kind).gnd),
      part_(part) {
    AllowPin(PinsOf(part.kind).edit, 130);
    if (Is1500()) AllowPin(kEntryPin, 120);
    addr_.assign(Is1500() ? 0 : 6, 0);
    data_.assign(Is1500() ? k1500Bits : kV750Bits, 1);
}

uint32_t LargePldChip::FuseAt(int row, int bit) const {
    if (Is1500()) {
        if (bit < 160) {
            if (row == k1500LastRow) return 24832 + static_cast<uint32_t>(bit);
            return row < k1500Rows ? static_cast<uint32_t>(bit * 152 + row) : kNoCell;
        }
        if (bit < 176) return row < 32 ? 24320 + 32 * static_cast<uint32_t>(bit - 160) + static_cast<uint32_t>(row) : kNoCell;
        if (bit == 176 && row == 1) return 24992;
        if (bit == 176 && row == 5 && part_.row5Fuse) return 24993;
        return kNoCell;
    }
    if (row >= kV750FirstRow96 && row < kV750FirstRow96 + kV750Rows96) {
        const int j = row - kV750FirstRow96;
        if (bit >= kV750Row96Bits) return kNoCell;
        return j < 3 ? 14364 + 3 * static_cast<uint32_t>(bit) + static_cast<uint32_t>(j)
                     : 14392 + 4 * static_cast<uint32_t>(bit) + static_cast<uint32_t>(j);
    }
    if (row == kV750Rows - 1) return bit >= 107 && bit < kV750Bits ? 14435 + static_cast<uint32_t>(bit - 107) : kNoCell;
    if (row < 0 || row >= kV750Rows || bit < 0 || bit >= kV750Bits) return kNoCell;
    // The second half of a row runs through the product terms in groups
    // of falling term numbers.
    int t = bit;
    if (bit >= 170) t = 170;
    else if (bit >= 157) t = 326 - bit;
    else if (bit >= 142) t = 298 - bit;
    else if (bit >= 125) t = 266 - bit;
    else if (bit >= 106) t = 230 - bit;
    else if (bit >= 85) t = 190 - bit;
    return static_cast<uint32_t>(t * 84 + row);
}

bool LargePldChip::EditMode(const PinEnvironment& env) const {
    if (!Powered(env) || Volts(env, PinsOf(part_.kind).edit) < kEditModeTenths) return false;
    return !part_.entrySequence || entered_;
}

int LargePldChip::AddressNow(const PinEnvironment& env) const {
    int a = 0;
    if (Is1500()) {
        for (int b = 0; b < 8; ++b) a |= Level(env, k1500Address[b]) << b;
        return a;
    }
    for (size_t k = 0; k < addr_.size(); ++k) a |= addr_[k] << k;
    a |= Level(env, PinsOf(part_.kind).sdin) << 6;
    // Rows 96-102 exist only under their select pin.
    if (a >= kV750FirstRow96 && a < kV750FirstRow96 + kV750Rows96 && Level(env, kV750SelectRows) == 0) return -1;
    return a;
}

int LargePldChip::RowBits(int address) const {
    if (Is1500()) return k1500Bits;
    return address >= kV750FirstRow96 && address < kV750FirstRow96 + kV750Rows96 ? kV750Row96Bits : kV750Bits;
}

void LargePldChip::Load(const PinEnvironment& env, int address) {
    (void)env;
    row125_ = false;
    std::fill(data_.begin(), data_.end(), uint8_t{1});
    const bool id = address == (Is1500() ? k1500IdRow : kV750IdRow);
    if (id) {
        for (int p = 0; p < kIdBytes * 8; ++p)
            data_[static_cast<size_t>(p)] =
                static_cast<uint8_t>((static_cast<uint8_t>(part_.idText[kIdBytes - 1 - p / 8]) >> (p % 8)) & 1);
        // Another part's text: the first character's bit 0 flipped.
        if (AnswersAnotherIdentity()) data_[8 * (kIdBytes - 1)] ^= 1;
        return;
    }
    if (!Is1500() && address == kV750SecurityRow) {
        data_.back() = Secured() ? 0 : 1;
        return;
    }
    if (!Is1500() && address == kV750FuseRow) {
        row125_ = true;
        return;
    }
    for (int b = 0; b < RowBits(address); ++b) {
        const uint32_t f = FuseAt(address, b);
        if (f != kNoCell) data_[static_cast<size_t>(b)] = Secured() ? 1 : static_cast<uint8_t>(Cell(f));
    }
}

void LargePldChip::Write(const PinEnvironment& env, int address, uint64_t widthUs) {
    if (!Within(Volts(env, PinsOf(part_.kind).edit), part_.editTenths, kWindowTenths)) return;
    if (part_.entrySequence && latchedVcc_ < kEntryWriteVcc) return;
    bool erase = Is1500() && address == k1500EraseRow;
    if (!Is1500()) {
        erase = true;
        for (int p : kV750Modes) erase = erase && Level(env, p) == 1;
    }
    if (erase) {
        if (widthUs >= part_.eraseUs) EraseAll();
        return;
    }
    if (widthUs < part_.pulseUs || address < 0) return;
    if (Is1500()) {
        if (address >= k1500Rows && address != k1500LastRow) return;
        for (int b = 0; b < k1500Bits - 1; ++b) {
            const uint32_t f = FuseAt(address, b);
            if (f != kNoCell) WriteCell(f, data_[static_cast<size_t>(b) + 1]);
        }
        const uint32_t f = FuseAt(address, k1500Bits - 1);
        if (f != kNoCell) {
            WriteCell(f, latchedData_);
        } else if (address == 0 && latchedData_ == 0 && !securityStuck_) {
            Secure();
        }
        return;
    }
    if (address == kV750SecureRow) {
        if (!securityStuck_) Secure();
        return;
    }
    if (address == kV750FuseRow) {
        WriteCell(Level(env, kV750Select14500) == 1 ? kV750Fuse14500 : kV750Fuse14499, 0);
        return;
    }
    // A shorter row takes the register's SDIN end.
    const int bits = RowBits(address);
    const size_t skip = data_.size() - static_cast<size_t>(bits);
    for (int b = 0; b < bits; ++b) {
        const uint32_t f = FuseAt(address, b);
        if (f != kNoCell) WriteCell(f, data_[skip + static_cast<size_t>(b)]);
    }
}

void LargePldChip::Update(const PinEnvironment& env) {
    const Pins& pins = PinsOf(part_.kind);
    if (part_.entrySequence) {
        if (!Powered(env)) {
            entered_ = false;
        } else if (Volts(env, kEntryPin) >= kEntryTenths) {
            entered_ = true;
        }
    }
    const bool loadLow = Level(env, pins.load) == 0;
    const bool clockHigh = Level(env, pins.sclk) == 1;
    const bool loadEdge = loadLow != loadLow_;
    const bool clockRise = clockHigh && !clockHigh_;
    loadLow_ = loadLow;
    clockHigh_ = clockHigh;
    if (!loadEdge && !clockRise) return;
    if (!EditMode(env)) {
        load_.Stop(env.NowUs());
        return;
    }
    if (clockRise) {
        ++clocks_;
        row125_ = false;
        uint8_t bit = static_cast<uint8_t>(Level(env, pins.sdin));
        if (!addr_.empty()) {
            addr_.push_back(bit);
            bit = addr_.front();
            addr_.erase(addr_.begin());
        }
        data_.erase(data_.begin());
        data_.push_back(bit);
    }
    if (!loadEdge) return;
    if (loadLow) {
        latched_ = AddressNow(env);
        latchedWrite_ = Level(env, pins.pe) == 1;
        latchedData_ = Level(env, pins.sdin);
        latchedVcc_ = Volts(env, pins.vcc);
        load_.Start(env.NowUs());
        return;
    }
    if (!load_.Running()) return;
    const uint64_t width = load_.Stop(env.NowUs());
    if (strobes_.size() < kStrobeLog)
        strobes_.push_back({latched_, latchedWrite_, width, latchedVcc_, latchedData_, clocks_});
    clocks_ = 0;
    if (latchedWrite_) {
        Write(env, latched_, width);
        return;
    }
    const bool loadVccOk = !part_.entrySequence || (latchedVcc_ >= kLoadVccLow && latchedVcc_ <= kLoadVccHigh);
    if (loadVccOk) Load(env, latched_);
}

ChipDrive LargePldChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    if (ChipPinAt(socketPin) != PinsOf(part_.kind).sdout || !EditMode(env)) return ChipDrive::None;
    int bit = data_[0];
    if (row125_) bit = Cell(Level(env, kV750Select14500) == 1 ? kV750Fuse14500 : kV750Fuse14499);
    return bit ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
