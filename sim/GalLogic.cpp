#include "sim/GalLogic.h"

namespace sim {

namespace {

constexpr uint32_t kXorFuse = 2048;
constexpr uint32_t kAc1Fuse = 2120;
constexpr uint32_t kPtdFuse = 2128;
constexpr uint32_t kSynFuse = 2192;
constexpr uint32_t kAc0Fuse = 2193;
constexpr int kColumns = 32;
constexpr int kTermsPerOlmc = 8;
constexpr int kClockPin = 1;
constexpr int kOePin = 11;

enum class Mode { Simple, Complex, Registered, Invalid };

// The pin feeding each column pair (true column 2i, complement 2i + 1).
constexpr int kRegisteredColumns[16] = {2, 19, 3, 18, 4, 17, 5, 16, 6, 15, 7, 14, 8, 13, 9, 12};
constexpr int kComplexColumns[16] = {2, 1, 3, 18, 4, 17, 5, 16, 6, 15, 7, 14, 8, 13, 9, 11};
constexpr int kSimpleColumns[16] = {2, 1, 3, 19, 4, 18, 5, 17, 6, 14, 7, 13, 8, 12, 9, 11};

int PinOf(int olmc) { return 19 - olmc; }

Mode ModeOf(const Gal16V8Logic::Cells& cell) {
    const int syn = cell(kSynFuse);
    const int ac0 = cell(kAc0Fuse);
    if (syn && !ac0) return Mode::Simple;
    if (syn && ac0) return Mode::Complex;
    if (!syn && ac0) return Mode::Registered;
    return Mode::Invalid;
}

const int* ColumnsOf(Mode m) {
    switch (m) {
    case Mode::Simple:
        return kSimpleColumns;
    case Mode::Complex:
        return kComplexColumns;
    default:
        return kRegisteredColumns;
    }
}

} // namespace

// The level each column pair sees: the pin, or for a registered output its
// register.
Gal16V8Logic::PinLevels Gal16V8Logic::Feedback(const Cells& cell, const PinLevels& level) const {
    PinLevels fb = level;
    if (ModeOf(cell) != Mode::Registered) return fb;
    for (int n = 0; n < 8; ++n) {
        if (!cell(kAc1Fuse + static_cast<uint32_t>(n))) fb[static_cast<size_t>(PinOf(n))] = reg_[static_cast<size_t>(n)];
    }
    return fb;
}

int Gal16V8Logic::SumOf(const Cells& cell, const PinLevels& fb, int first, int last) {
    const int* columns = ColumnsOf(ModeOf(cell));
    int sum = 0;
    for (int t = first; t <= last && !sum; ++t) {
        if (!cell(kPtdFuse + static_cast<uint32_t>(t))) continue;
        int v = 1;
        for (int c = 0; c < kColumns && v; ++c) {
            if (cell(static_cast<uint32_t>(t * kColumns + c)) != 0) continue;
            const int level = fb[static_cast<size_t>(columns[c / 2])];
            if ((c % 2 == 0 ? level : !level) == 0) v = 0;
        }
        sum = v;
    }
    return sum;
}

Gal16V8Logic::Outputs Gal16V8Logic::Evaluate(const Cells& cell, const PinLevels& in) const {
    const Mode mode = ModeOf(cell);
    Outputs out;
    if (mode == Mode::Invalid) return out;
    // Combinational outputs feed back through their pins; a few passes
    // settle any chain of them.
    PinLevels level = in;
    for (int pass = 0; pass < 10; ++pass) {
        const PinLevels fb = Feedback(cell, level);
        Outputs next;
        for (int n = 0; n < 8; ++n) {
            const size_t k = static_cast<size_t>(n);
            const int first = n * kTermsPerOlmc;
            const int last = first + kTermsPerOlmc - 1;
            const bool ac1 = cell(kAc1Fuse + static_cast<uint32_t>(n)) != 0;
            const bool active = cell(kXorFuse + static_cast<uint32_t>(n)) != 0;
            if (mode == Mode::Registered && !ac1) {
                next.level[k] = reg_[k];
                next.enabled[k] = in[kOePin] == 0;
                continue;
            }
            int sum = 0;
            if (mode == Mode::Simple) {
                next.enabled[k] = !ac1;
                sum = SumOf(cell, fb, first, last);
            } else {
                next.enabled[k] = SumOf(cell, fb, first, first) != 0;
                sum = SumOf(cell, fb, first + 1, last);
            }
            next.level[k] = active ? sum : !sum;
        }
        bool settled = true;
        for (int n = 0; n < 8; ++n) {
            const size_t pin = static_cast<size_t>(PinOf(n));
            const int seen = next.enabled[static_cast<size_t>(n)] ? next.level[static_cast<size_t>(n)] : in[pin];
            if (seen != level[pin]) settled = false;
            level[pin] = seen;
        }
        out = next;
        if (settled) break;
    }
    return out;
}

void Gal16V8Logic::Update(const Cells& cell, const PinLevels& in) {
    const bool high = in[kClockPin] != 0;
    const bool rise = high && !clockHigh_;
    clockHigh_ = high;
    if (!rise || ModeOf(cell) != Mode::Registered) return;
    // Every register takes its D input as it stood before the edge.
    const Outputs out = Evaluate(cell, in);
    PinLevels level = in;
    for (int n = 0; n < 8; ++n) {
        if (out.enabled[static_cast<size_t>(n)]) level[static_cast<size_t>(PinOf(n))] = out.level[static_cast<size_t>(n)];
    }
    const PinLevels fb = Feedback(cell, level);
    std::array<int, 8> next = reg_;
    for (int n = 0; n < 8; ++n) {
        if (cell(kAc1Fuse + static_cast<uint32_t>(n))) continue;
        const int sum = SumOf(cell, fb, n * kTermsPerOlmc, n * kTermsPerOlmc + kTermsPerOlmc - 1);
        next[static_cast<size_t>(n)] = cell(kXorFuse + static_cast<uint32_t>(n)) ? sum : !sum;
    }
    reg_ = next;
}

ChipDrive Gal16V8Logic::Output(const Cells& cell, const PinLevels& in, int chipPin) const {
    if (chipPin < 12 || chipPin > 19) return ChipDrive::None;
    const Outputs out = Evaluate(cell, in);
    const size_t n = static_cast<size_t>(19 - chipPin);
    if (!out.enabled[n]) return ChipDrive::None;
    return out.level[n] ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
