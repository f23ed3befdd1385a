#include "sim/EpmChainChip.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

constexpr int kVppTolerance = 2;
constexpr int kVppMaxTenths = 140;
constexpr size_t kLogLimit = 1u << 16;
constexpr int kConfigRowMark = 1000;
constexpr int kSignals = 8 + 8 + 13 + 8;

// Socket pins of the part's signals on its adapter (0: none): data in, data
// out, select A, select B, configuration select, erase, held low, select
// clock, erase end, program mode, row enable, shift clock, strobe, read
// clock, VPP; then supply and ground.
struct SocketLayout {
    int in[8], out[8];
    int s[13];
    int vcc[4], gnd[4];
};

const SocketLayout kAdapter47{{27, 36, 40, 47, 2, 8, 1, 11}, {32, 33, 37, 41, 7, 13, 18, 23},
                              {45, 4, 6, 12, 14, 26, 10, 38, 25, 17, 20, 22, 30}, {44}, {24}};
const SocketLayout kAdapter46{{35, 46, 6, 14}, {32, 36, 13, 23}, {43, 45, 48, 31, 33, 40, 15, 16, 17, 19, 25, 22, 30},
                              {44}, {24}};
const SocketLayout kAdapter45{{36, 47, 2, 12}, {26, 37, 8, 21}, {42, 46, 48, 33, 10, 40, 13, 14, 15, 20, 19, 22, 23},
                              {44}, {24}};
// Adapter 82 carries the 44-pin package's own supply pins (package pin + 2).
const SocketLayout kAdapter82Two{{7, 43}, {23, 26}, {41, 40, 39, 9, 10, 34, 42, 20, 15, 6, 3, 45, 46},
                                 {5, 17, 25, 37}, {12, 24, 32, 44}};
const SocketLayout kAdapter82Four{{13, 22, 27, 36}, {6, 15, 34, 43}, {20, 21, 23, 9, 10, 18, 38, 39, 40, 42, 3, 45, 46},
                                  {5, 17, 25, 37}, {12, 24, 32, 44}};

const SocketLayout& LayoutOf(const EpmChainFacts& f) {
    if (f.adapter == 82) return f.blocks == 2 ? kAdapter82Two : kAdapter82Four;
    if (f.adapter == 46) return kAdapter46;
    if (f.adapter == 45) return kAdapter45;
    return kAdapter47;
}

struct ChipPinsOf {
    int v[kSignals];
};

std::vector<int> LayoutPins(const EpmChainFacts& f, int* chip) {
    const SocketLayout& l = LayoutOf(f);
    std::vector<int> pins;
    int k = 0;
    auto add = [&](int socketPin) {
        chip[k++] = socketPin == 0 ? 0 : (pins.push_back(socketPin), static_cast<int>(pins.size()));
    };
    for (int i = 0; i < 8; ++i) add(i < f.blocks ? l.in[i] : 0);
    for (int i = 0; i < 8; ++i) add(i < f.blocks ? l.out[i] : 0);
    for (int s : l.s) add(s);
    for (int v : l.vcc) add(v);
    for (int g : l.gnd) add(g);
    return pins;
}

ChipPinsOf ChipPins(const EpmChainFacts& f) {
    ChipPinsOf c{};
    LayoutPins(f, c.v);
    return c;
}

std::vector<int> GroundPins(const EpmChainFacts& f) {
    const ChipPinsOf c = ChipPins(f);
    std::vector<int> g;
    for (int i = kSignals - 4; i < kSignals; ++i)
        if (c.v[i] != 0) g.push_back(c.v[i]);
    return g;
}

} // namespace

EpmChainChip::EpmChainChip(const EpmChainFacts& facts)
    : CellArrayChip(facts.name, [&] { int c[kSignals]; return LayoutPins(facts, c); }(),
                    static_cast<uint32_t>(facts.blocks * (facts.length + facts.configRows) * 80),
                    ChipPins(facts).v[29], GroundPins(facts), 45),
      part_(facts), arrayChain_(static_cast<size_t>(facts.length), 0),
      configChain_(static_cast<size_t>(facts.configRows), 0) {
    const ChipPinsOf c = ChipPins(facts);
    int k = 0;
    for (int& p : sig_.in) p = c.v[k++];
    for (int& p : sig_.out) p = c.v[k++];
    int heldLow = 0, eraseEnd = 0;
    for (int* p : {&sig_.selectA, &sig_.selectB, &sig_.configSelect, &sig_.erase, &heldLow, &sig_.selectClock,
                   &eraseEnd, &sig_.programMode, &sig_.rowEnable, &sig_.shiftClock, &sig_.strobe, &sig_.readClock,
                   &sig_.vpp})
        *p = c.v[k++];
    AllowPin(sig_.vpp, kVppMaxTenths);
    for (int s = 0; s <= kSocketPins; ++s) {
        const int chipPin = s == 0 ? 0 : ChipPinAt(s);
        outBlockAt_[s] = -1;
        for (int b = 0; b < part_.blocks; ++b)
            if (sig_.out[b] == chipPin) outBlockAt_[s] = static_cast<int8_t>(b);
    }
    PresetId();
}

void EpmChainChip::PresetId() {
    uint8_t id[10] = {};
    auto put = [&](int block, int pass, int even) {
        for (int k = 0; k < 16; ++k) {
            const int bit = k < 8 ? (id[even] >> (7 - k)) & 1 : (id[even + 1] >> (15 - k)) & 1;
            SetCell(ArrayCell(block, 0, 5 * k + pass), bit);
        }
    };
    const char* text = part_.idText ? "ALTERA98" : "ALTERA87";
    std::memcpy(id, text, 8);
    id[8] = static_cast<uint8_t>(part_.pulseCode | part_.field1 << 5);
    id[9] = static_cast<uint8_t>(part_.field4 | part_.vppCode << 5);
    switch (part_.id) {
    case EpmChainId::TwoBlock:
        for (int pass = 0; pass < 2; ++pass)
            for (int b = 0; b < 2; ++b) put(b, pass, 4 * pass + 2 * b);
        put(0, 2, 8);
        break;
    case EpmChainId::FourBlock:
        for (int b = 0; b < 4; ++b) put(b, 0, 2 * b);
        put(0, 1, 8);
        break;
    case EpmChainId::EightBlock:
        for (int b = 0; b < 5; ++b) put(b, 0, 2 * b);
        break;
    }
}

bool EpmChainChip::Locked() const {
    for (int b = 0; b < part_.blocks; ++b)
        for (int c = 0; c < 80; ++c)
            if (Cell(ConfigCell(b, 0, c)) == 0) return true;
    return false;
}

// The selected row: array rows as they are, configuration rows as 1000 +
// row; -2 for none.
int EpmChainChip::Selected() const {
    int found = -2, count = 0;
    for (size_t i = 0; i < arrayChain_.size(); ++i)
        if (arrayChain_[i]) {
            found = static_cast<int>(i);
            ++count;
        }
    for (size_t i = 0; i < configChain_.size(); ++i)
        if (configChain_[i]) {
            found = kConfigRowMark + static_cast<int>(i);
            ++count;
        }
    return count == 1 ? found : -2;
}

uint32_t EpmChainChip::CellAt(int selected, int block, int column) const {
    return selected >= kConfigRowMark ? ConfigCell(block, selected - kConfigRowMark, column)
                                      : ArrayCell(block, selected, column);
}

void EpmChainChip::Update(const PinEnvironment& env) {
    if (!Powered(env)) {
        reading_ = false;
        shift_ = selectClock_ = readClock_ = rowEnable_ = false;
        strobe_ = true;
        std::fill(arrayChain_.begin(), arrayChain_.end(), 0);
        std::fill(configChain_.begin(), configChain_.end(), 0);
        pulse_.Stop(env.NowUs());
        return;
    }
    const bool shift = Level(env, sig_.shiftClock) != 0;
    const bool select = Level(env, sig_.selectClock) != 0;
    const bool clock = Level(env, sig_.readClock) != 0;
    const bool enable = Level(env, sig_.rowEnable) != 0;
    const bool strobe = Level(env, sig_.strobe) != 0;
    const bool program = Level(env, sig_.programMode) != 0;
    if (shift && !shift_)
        for (int b = 0; b < part_.blocks; ++b) {
            sr_[b] <<= 1;
            sr_[b].set(0, Level(env, sig_.in[b]) != 0);
        }
    if (select && !selectClock_) {
        const bool a = Level(env, sig_.selectA) != 0 && Level(env, sig_.selectB) != 0;
        const bool c = Level(env, sig_.configSelect) != 0;
        if (a) std::fill(configChain_.begin(), configChain_.end(), 0);
        if (c) std::fill(arrayChain_.begin(), arrayChain_.end(), 0);
        arrayChain_.insert(arrayChain_.begin(), a ? 1 : 0);
        arrayChain_.pop_back();
        configChain_.insert(configChain_.begin(), c ? 1 : 0);
        configChain_.pop_back();
    }
    if (enable && !rowEnable_ && !program) {
        reading_ = true;
        step_ = 0;
        readRow_ = Selected();
        for (int b = 0; b < part_.blocks; ++b) {
            select_[b] = -1;
            for (int p = 0; p < 5; ++p) {
                std::bitset<80> want;
                for (int k = 0; k < 16; ++k) want.set(static_cast<size_t>(5 * k + p));
                if (sr_[b] == want) select_[b] = p;
            }
        }
        lockedRead_ = readRow_ != 0 && Locked();
        if (passes_.size() < kLogLimit) passes_.push_back({readRow_, select_[0], Volts(env, sig_.vpp)});
    }
    if (!enable) reading_ = false;
    if (clock && !readClock_ && reading_) ++step_;
    if (!strobe && strobe_) pulse_.Start(env.NowUs());
    if (strobe && !strobe_ && pulse_.Running()) {
        const uint64_t width = pulse_.Stop(env.NowUs());
        const int vpp = Volts(env, sig_.vpp);
        const bool levels = Within(vpp, part_.vppTenths, kVppTolerance) && width >= part_.pulseUs && program;
        const bool erase = Level(env, sig_.erase) != 0;
        const int row = erase ? -1 : Selected();
        const bool applied = levels && (erase || (enable && row >= 0));
        if (applied && erase) {
            std::vector<int> id;
            for (int b = 0; b < part_.blocks; ++b)
                for (int c = 0; c < 80; ++c) id.push_back(Cell(ArrayCell(b, 0, c)));
            EraseAll();
            size_t i = 0;
            for (int b = 0; b < part_.blocks; ++b)
                for (int c = 0; c < 80; ++c) SetCell(ArrayCell(b, 0, c), id[i++]);
        } else if (applied) {
            for (int b = 0; b < part_.blocks; ++b)
                for (int c = 0; c < 80; ++c) WriteCell(CellAt(row, b, c), sr_[b][static_cast<size_t>(c)] ? 1 : 0);
        }
        if (strobes_.size() < kLogLimit) strobes_.push_back({row, width, vpp, applied});
    }
    shift_ = shift;
    selectClock_ = select;
    readClock_ = clock;
    rowEnable_ = enable;
    strobe_ = strobe;
}

ChipDrive EpmChainChip::PoweredOutput(const PinEnvironment&, int socketPin) const {
    if (!reading_) return ChipDrive::None;
    const int at = ChipPinAt(socketPin) != 0 ? socketPin : 0; // ChipPinAt is 0 outside 1-48
    return BlockOutput(outBlockAt_[at]);
}

ChipDrive EpmChainChip::BlockOutput(int block) const {
    if (block < 0) return ChipDrive::None;
    const int p = select_[block];
    if (p < 0 || step_ > 15 || readRow_ < 0 || lockedRead_) return ChipDrive::Low;
    int bit = Cell(CellAt(readRow_, block, 5 * (15 - step_) + p));
    // Another part's identification block: array row 0 reads inverted.
    if (readRow_ == 0 && AnswersAnotherIdentity()) bit ^= 1;
    return bit ? ChipDrive::High : ChipDrive::Low;
}

void EpmChainChip::PoweredOutputs(const PinEnvironment&, const int* socketPins, size_t n, ChipDrive* out) const {
    if (!reading_) {
        std::fill(out, out + n, ChipDrive::None);
        return;
    }
    const uint8_t* map = ChipPinMap();
    for (size_t i = 0; i < n; ++i)
        out[i] = ChipPinAt(map, socketPins[i]) != 0 ? BlockOutput(outBlockAt_[socketPins[i]]) : ChipDrive::None;
}

} // namespace sim
