#include "sim/ProductTermPalChip.h"

namespace sim {

namespace {

constexpr int kRaisedTenths = 95;
constexpr int kLevelTolerance = 5;
constexpr int kSecurityTenths = 135;
constexpr uint64_t kMinimumPulseUs = 40;
constexpr uint64_t kSecurityPulseUs = 25;
// Ratings: the programming pins take the security level, the rest the
// programming level, VCC its raised programming supply.
constexpr int kProgramPinMaxTenths = 200;
constexpr int kPinMaxTenths = 125;
constexpr int kVccMaxTenths = 130;
// VCC during a blow: the part's level plus 0.4 V (+-0.3 V); the programmer
// raises it through the strong supply path, channel 4 plus 1.1 V.
constexpr int kBlowVccAboveTenths = 4;
constexpr int kBlowVccTolerance = 3;

// Column and line masks of each layout, byte 0 first (bit i: bit i mod 8 of byte i / 8).
struct LayoutMasks {
    uint8_t columns[5];
    uint8_t lines[10];
};
constexpr LayoutMasks kLayouts20[] = {
    {{0x3F, 0x33, 0x33, 0xF3}, {0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03}},
    {{0xFF, 0x33, 0x33, 0xFF}, {0x00, 0x0F, 0x03, 0x03, 0x03, 0x03, 0x0F, 0x00}},
    {{0xFF, 0x3F, 0xF3, 0xFF}, {0x00, 0x00, 0x0F, 0x0F, 0x0F, 0x0F, 0x00, 0x00}},
    {{0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00}},
    {{0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
};
constexpr LayoutMasks kLayouts24[] = {
    {{0x3F, 0x33, 0x33, 0x33, 0xF3}, {0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03}},
    {{0xFF, 0x33, 0x33, 0x33, 0xFF}, {0x00, 0x0F, 0x03, 0x03, 0x03, 0x03, 0x03, 0x03, 0x0F, 0x00}},
    {{0xFF, 0x3F, 0x33, 0xF3, 0xFF}, {0x00, 0x00, 0x0F, 0x0F, 0x03, 0x03, 0x0F, 0x0F, 0x00, 0x00}},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F}},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}},
    {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
};

bool Bit(const uint8_t* mask, int i) { return ((mask[i / 8] >> (i % 8)) & 1) != 0; }

uint32_t FuseCount(const ProductTermPalFacts& f) {
    std::vector<int> at;
    uint32_t n = 0;
    ProductTermPalChip::Layout(f.dip24, f.layout, at, n);
    return n;
}

} // namespace

bool ProductTermPalChip::Layout(bool dip24, int layout, std::vector<int>& fuseAt, uint32_t& fuses) {
    const int lines = dip24 ? 80 : 64, columns = dip24 ? 40 : 32;
    const int count = dip24 ? 7 : 5;
    fuseAt.assign(static_cast<size_t>(lines * columns), -1);
    fuses = 0;
    if (layout < 0 || layout >= count) return false;
    const LayoutMasks& m = dip24 ? kLayouts24[layout] : kLayouts20[layout];
    for (int p = 0; p < lines; ++p)
        for (int q = 0; q < columns; ++q)
            if (Bit(m.lines, p) && Bit(m.columns, q)) fuseAt[static_cast<size_t>(p * columns + q)] = static_cast<int>(fuses++);
    return true;
}

ProductTermPalChip::ProductTermPalChip(const ProductTermPalFacts& facts)
    : BipolarFuseChip(facts.name, facts.dip24 ? 24 : 20, FuseCount(facts), facts.dip24 ? 24 : 20, {facts.dip24 ? 12 : 10}),
      part_(facts),
      lines_(facts.dip24 ? 80 : 64),
      columns_(facts.dip24 ? 40 : 32),
      outputs_(facts.dip24 ? 5 : 4),
      inputs_(facts.dip24 ? 10 : 8) {
    uint32_t fuses = 0;
    Layout(facts.dip24, facts.layout, fuseAt_, fuses);
    if (facts.dip24) {
        halves_[0] = {1, 13, 14, {15, 16, 17}, {23, 22, 21, 20, 19}};
        halves_[1] = {13, 1, 23, {22, 21, 20}, {18, 17, 16, 15, 14}};
    } else {
        halves_[0] = {1, 11, 12, {15, 14, 13}, {19, 18, 17, 16, 0}};
        halves_[1] = {11, 1, 19, {18, 17, 16}, {15, 14, 13, 12, 0}};
    }
    const int pins = facts.dip24 ? 24 : 20;
    for (int p = 1; p <= pins; ++p) {
        if (p == pins / 2) continue;
        AllowPin(p, p == 1 || p == halves_[1].program ? kProgramPinMaxTenths : p == pins ? kVccMaxTenths : kPinMaxTenths);
    }
}

bool ProductTermPalChip::Raised(const PinEnvironment& env, int chipPin) const {
    return Volts(env, chipPin) >= kRaisedTenths;
}

int ProductTermPalChip::FuseOf(int half, int output, int line8, int column) const {
    const int p = half * (lines_ / 2) + output * 8 + line8;
    if (output >= outputs_ || column < 0 || column >= columns_) return -1;
    return fuseAt_[static_cast<size_t>(p * columns_ + column)];
}

ProductTermPalChip::Cell ProductTermPalChip::Addressed(const PinEnvironment& env, bool atLevel) const {
    Cell c;
    int selected = 0;
    for (int h = 0; h < 2; ++h) {
        const int v = Volts(env, halves_[h].program);
        if (atLevel ? Within(v, part_.programTenths, kLevelTolerance) : v >= kRaisedTenths) {
            c.half = h;
            ++selected;
        }
    }
    if (selected != 1) return {};
    const Half& h = halves_[c.half];
    int low = -1, lowCount = 0;
    for (int i = 0; i < inputs_; ++i) {
        if (!Raised(env, 2 + i)) {
            low = i;
            ++lowCount;
        }
    }
    if (lowCount != 1) return {};
    c.column = 4 * low + 2 * (Raised(env, h.extra) ? 1 : 0) + Level(env, 2 + low);
    c.line = 0;
    for (int k = 0; k < 3; ++k) c.line |= (Raised(env, h.line[k]) ? 1 : 0) << k;
    return c;
}

void ProductTermPalChip::Step(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    // The security fuse: either programming pin at the security level.
    const bool securing = Volts(env, halves_[0].program) >= kSecurityTenths || Volts(env, halves_[1].program) >= kSecurityTenths;
    if (securing && !security_.Running()) security_.Start(now);
    if (!securing && security_.Running() && security_.Stop(now) >= kSecurityPulseUs) Secure();

    const bool powered = Powered(env);
    Pulse p;
    const bool blowVcc = Within(Volts(env, lines_ == 80 ? 24 : 20), part_.programTenths + kBlowVccAboveTenths, kBlowVccTolerance);
    if (powered && !securing && blowVcc) {
        p.cell = Addressed(env, true);
        if (p.cell.half >= 0) {
            for (int o = 0; o < outputs_; ++o)
                if (Within(Volts(env, halves_[p.cell.half].output[o]), part_.programTenths, kLevelTolerance)) p.outputs |= 1u << o;
        }
        if (p.outputs == 0) p = {};
    }
    if (!(p == pulse_)) {
        const uint64_t width = timer_.Stop(now);
        if (width >= kMinimumPulseUs) {
            for (int o = 0; o < outputs_; ++o) {
                if (!((pulse_.outputs >> o) & 1)) continue;
                const int f = FuseOf(pulse_.cell.half, o, pulse_.cell.line, pulse_.cell.column);
                if (f >= 0) Blow(static_cast<uint32_t>(f), width);
            }
        }
        pulse_ = p;
        if (p.outputs != 0) timer_.Start(now);
    }

    // The strobes: a rising edge latches the addressed cells of its half.
    for (int h = 0; h < 2; ++h) {
        const int v = Volts(env, halves_[h].strobe);
        const bool high = v >= kHighThresholdTenths && v < kRaisedTenths;
        const bool rise = high && !strobeHigh_[h];
        strobeHigh_[h] = high;
        if (!powered || !Raised(env, halves_[h].program)) {
            latched_[h] = -1;
            continue;
        }
        if (!rise) continue;
        const Cell c = Addressed(env, false);
        if (c.half != h || c.column < 0) {
            latched_[h] = -1;
            continue;
        }
        latched_[h] = c.line * columns_ + c.column;
        latchedBlown_[h] = 0;
        for (int o = 0; o < outputs_; ++o) {
            const int f = FuseOf(h, o, c.line, c.column);
            if (f >= 0 && !Secured() && Blown(static_cast<uint32_t>(f))) latchedBlown_[h] |= 1u << o;
        }
    }
}

ChipDrive ProductTermPalChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    if (chipPin == 0 || Raised(env, chipPin)) return ChipDrive::None;
    for (int h = 0; h < 2; ++h) {
        if (latched_[h] < 0 || !Raised(env, halves_[h].program)) continue;
        for (int o = 0; o < outputs_; ++o) {
            if (halves_[h].output[o] != chipPin) continue;
            const bool high = part_.intactHigh[h] != (((latchedBlown_[h] >> o) & 1) != 0);
            return high ? ChipDrive::High : ChipDrive::Low;
        }
    }
    return ChipDrive::None;
}

} // namespace sim
