#include "sim/EpmRowChip.h"

#include <cstring>

namespace sim {

namespace {

constexpr int kIdRow = 124;
constexpr int kSecurityRow = 116;
constexpr int kVppTolerance = 2;
constexpr int kVppMaxTenths = 140;
constexpr size_t kLogLimit = 1u << 16;

// Socket pins of the part's signals on its adapter (0: none).
struct SocketLayout {
    int a[8], in[8], out[8], high[2];
    int strobe, readClock, programMode, rowEnable, shiftClock, eraseMode, readStart, vpp, eraseEnable;
    int vcc, gnd;
    int vccIo; // the I/O supply, from the strong supply pin (0: tied to VCC on the adapter)
    // Further supply and ground pins of a part seated by its package's pins.
    int moreVcc[3], moreGnd[3];
};

const SocketLayout kAdapter4to8{{5, 6, 7, 8, 9, 10, 11, 12}, {13, 14, 15, 16, 17, 18}, {29, 30, 31, 32, 19, 20},
                                {37, 38}, 21, 22, 23, 25, 26, 27, 28, 33, 40, 36, 24, 34};
const SocketLayout kAdapter47{{45, 46, 47, 2, 6, 4, 3, 5}, {35, 36, 40, 39, 9, 8, 14, 1},
                              {32, 33, 37, 41, 7, 13, 18, 23}, {43, 42}, 20, 22, 34, 17, 21, 26, 16, 30, 31, 44, 24};
const SocketLayout kAdapter46Six{{41, 42, 45, 47, 2, 4, 5, 7}, {29, 38, 48, 1, 10, 12}, {32, 33, 39, 9, 16, 23},
                                 {37, 40}, 25, 22, 11, 21, 18, 34, 17, 30, 27, 44, 24};
const SocketLayout kAdapter46Four{{42, 43, 45, 48, 1, 4, 3, 5}, {35, 46, 6, 14}, {32, 36, 13, 23},
                                  {40, 41}, 25, 22, 12, 21, 19, 33, 15, 30, 29, 44, 24};
const SocketLayout kAdapter45Six{{45, 42, 46, 47, 2, 6, 4, 5}, {34, 39, 48, 1, 9, 11}, {26, 10, 41, 7, 14, 21},
                                 {38, 40}, 19, 22, 16, 17, 20, 35, 15, 23, 28, 44, 24};
const SocketLayout kAdapter45Four{{43, 42, 46, 48, 1, 6, 4, 3}, {36, 47, 2, 12}, {26, 37, 8, 21},
                                  {40, 45}, 19, 22, 11, 17, 20, 10, 13, 23, 34, 44, 24};

// Adapter 82 carries the 44-pin package's own supply pins (package pin + 2).
const SocketLayout kAdapter82Four{{16, 20, 21, 23, 26, 28, 29, 33}, {13, 22, 27, 36}, {6, 15, 34, 43}, {18, 19},
                                  3, 45, 35, 41, 42, 10, 38, 46, 7, 5, 12, 0, {17, 25, 37}, {24, 32, 44}};
const SocketLayout kAdapter82Two{{41, 40, 39, 38, 36, 35, 34, 0}, {7, 43}, {23, 26}, {0, 0},
                                 3, 45, 20, 15, 6, 10, 42, 46, 9, 5, 12, 0, {17, 25, 37}, {24, 32, 44}};

const SocketLayout& LayoutOf(const EpmRowFacts& f) {
    if (f.adapter == 82) return f.blocks == 2 ? kAdapter82Two : kAdapter82Four;
    if (f.adapter == 47) return kAdapter47;
    if (f.adapter == 46) return f.blocks == 6 ? kAdapter46Six : kAdapter46Four;
    if (f.adapter == 45) return f.blocks == 6 ? kAdapter45Six : kAdapter45Four;
    return kAdapter4to8;
}

// Chip pins 1.. in signal order; `chip` receives each signal's chip pin.
std::vector<int> LayoutPins(const EpmRowFacts& f, int* chip) {
    const SocketLayout& l = LayoutOf(f);
    std::vector<int> pins;
    int k = 0;
    auto add = [&](int socketPin) {
        chip[k++] = socketPin == 0 ? 0 : (pins.push_back(socketPin), static_cast<int>(pins.size()));
    };
    for (int i = 0; i < 8; ++i) add(l.a[i]);
    for (int i = 0; i < 8; ++i) add(i < f.blocks ? l.in[i] : 0);
    for (int i = 0; i < 8; ++i) add(i < f.blocks ? l.out[i] : 0);
    for (int i = 0; i < 2; ++i) add(f.blocks > 2 ? l.high[i] : 0);
    for (int s : {l.strobe, l.readClock, l.programMode, l.rowEnable, l.shiftClock, l.eraseMode, l.readStart, l.vpp,
                  l.eraseEnable, l.vcc, l.gnd, l.vccIo, l.moreVcc[0], l.moreVcc[1], l.moreVcc[2], l.moreGnd[0],
                  l.moreGnd[1], l.moreGnd[2]})
        add(s);
    return pins;
}

struct ChipPinsOf {
    int v[44];
};
ChipPinsOf ChipPins(const EpmRowFacts& f) {
    ChipPinsOf c{};
    LayoutPins(f, c.v);
    return c;
}

std::vector<int> GroundPins(const EpmRowFacts& f) {
    const ChipPinsOf c = ChipPins(f);
    std::vector<int> g{c.v[36]};
    for (int i = 41; i < 44; ++i)
        if (c.v[i] != 0) g.push_back(c.v[i]);
    return g;
}

} // namespace

EpmRowChip::EpmRowChip(const EpmRowFacts& facts)
    : CellArrayChip(facts.name, [&] { int c[44]; return LayoutPins(facts, c); }(),
                    static_cast<uint32_t>(facts.blocks * kRows * kColumns), ChipPins(facts).v[35],
                    GroundPins(facts), 45),
      part_(facts) {
    const ChipPinsOf c = ChipPins(facts);
    int k = 0;
    for (int& p : sig_.a) p = c.v[k++];
    for (int& p : sig_.in) p = c.v[k++];
    for (int& p : sig_.out) p = c.v[k++];
    for (int& p : sig_.high) p = c.v[k++];
    for (int* p : {&sig_.strobe, &sig_.readClock, &sig_.programMode, &sig_.rowEnable, &sig_.shiftClock,
                   &sig_.eraseMode, &sig_.readStart, &sig_.vpp, &sig_.eraseEnable, &sig_.vcc, &sig_.gnd})
        *p = c.v[k++];
    AllowPin(sig_.vpp, kVppMaxTenths);
    PresetId();
}

void EpmRowChip::PresetId() {
    uint8_t id[10] = {};
    const char* text = part_.idText ? "ALTERA9" : "ALTERA8";
    auto put = [&](int block, int column, int byte, int bit) { SetCell(CellOf(block, kIdRow, column), (id[byte] >> bit) & 1); };
    if (part_.blocks == 2) {
        id[0] = static_cast<uint8_t>(part_.field1 | part_.pulseCode << 3);
        id[1] = static_cast<uint8_t>(part_.vppCode | part_.field4 << 3);
        std::memcpy(id + 2, text, 7);
        for (int i = 0; i < 10; ++i)
            for (int j = 0; j < 8; ++j) put(0, 8 * i + j, i, j);
        return;
    }
    std::memcpy(id, text, 7);
    id[8] = static_cast<uint8_t>(part_.pulseCode | part_.field1 << 5);
    id[9] = static_cast<uint8_t>(part_.field4 | part_.vppCode << 5);
    const int blocks = part_.blocks == 4 ? 4 : 5;
    for (int b = 0; b < blocks; ++b)
        for (int k = 0; k < 16; ++k) put(b, 5 * k, k < 8 ? 2 * b : 2 * b + 1, k < 8 ? 7 - k : 15 - k);
    if (part_.blocks == 4)
        for (int k = 0; k < 16; ++k) put(0, 5 * k + 1, k < 8 ? 8 : 9, k < 8 ? 7 - k : 15 - k);
}

bool EpmRowChip::Locked() const {
    for (int b = 0; b < part_.blocks; ++b)
        for (int c = 0; c < kColumns; ++c)
            if (Cell(CellOf(b, kSecurityRow, c)) == 0) return true;
    return false;
}

void EpmRowChip::RefuseSecurity() {
    for (int b = 0; b < part_.blocks; ++b)
        for (int c = 0; c < kColumns; ++c) StickCell(CellOf(b, kSecurityRow, c));
}

int EpmRowChip::Row(const PinEnvironment& env) const {
    int a = 0;
    for (int i = 0; i < 8; ++i)
        if (sig_.a[i] != 0) a |= Level(env, sig_.a[i]) << i;
    if ((a & 0x80) == 0) return a & 0x7F;
    int h = 0;
    for (int i = 0; i < 2; ++i)
        if (sig_.high[i] != 0) h |= Level(env, sig_.high[i]) << i;
    return 128 + 32 * h + (a & 0x1F);
}

// The pass p the block's shift register selects, -1 for none.
int EpmRowChip::SelectOf(int block, int row) const {
    const std::bitset<kColumns>& s = sr_[block];
    for (int p = 0; p < 5; ++p) {
        std::bitset<kColumns> plain, macro;
        for (int k = 0; k < 16; ++k) plain.set(static_cast<size_t>(5 * k + p));
        for (int m : {0, 9, 10, 19, 20, 29, 30, 39, 40, 49, 50, 59, 60, 69, 70, 79})
            if (m + p < kColumns) macro.set(static_cast<size_t>(m + p));
        if (s == plain) return p;
        if (part_.blocks == 2 && (row == 112 || row == 113) && s == macro) return p;
    }
    return -1;
}

void EpmRowChip::Update(const PinEnvironment& env) {
    if (!Powered(env)) {
        reading_ = false;
        shift_ = readClock_ = rowEnable_ = false;
        strobe_ = true;
        pulse_.Stop(env.NowUs());
        return;
    }
    const bool shift = Level(env, sig_.shiftClock) != 0;
    const bool clock = Level(env, sig_.readClock) != 0;
    const bool enable = Level(env, sig_.rowEnable) != 0;
    const bool strobe = Level(env, sig_.strobe) != 0;
    const bool readStart = Level(env, sig_.readStart) != 0;
    const bool program = Level(env, sig_.programMode) != 0;
    if (shift && !shift_)
        for (int b = 0; b < part_.blocks; ++b) {
            sr_[b] <<= 1;
            sr_[b].set(0, Level(env, sig_.in[b]) != 0);
        }
    if (enable && !rowEnable_ && readStart && !program) {
        reading_ = true;
        step_ = 0;
        readRow_ = Row(env);
        for (int b = 0; b < part_.blocks; ++b) select_[b] = SelectOf(b, readRow_);
        lockedRead_ = readRow_ != kIdRow && Locked();
        if (passes_.size() < kLogLimit) passes_.push_back({readRow_, select_[0], Volts(env, sig_.vpp)});
    }
    if (!enable) reading_ = false;
    if (clock && !readClock_ && reading_ && !readStart) ++step_;
    if (!strobe && strobe_) pulse_.Start(env.NowUs());
    if (strobe && !strobe_ && pulse_.Running()) {
        const uint64_t width = pulse_.Stop(env.NowUs());
        const int vpp = Volts(env, sig_.vpp);
        const bool levels = Within(vpp, part_.vppTenths, kVppTolerance) && width >= part_.pulseUs && program;
        const bool erase = Level(env, sig_.eraseMode) != 0 && Level(env, sig_.eraseEnable) != 0;
        const int row = erase ? -1 : Row(env);
        const bool applied = levels && (erase || (enable && row < kRows));
        if (applied && erase) {
            EraseAll();
        } else if (applied) {
            for (int b = 0; b < part_.blocks; ++b)
                for (int c = 0; c < kColumns; ++c) WriteCell(CellOf(b, row, c), sr_[b][static_cast<size_t>(c)] ? 1 : 0);
        }
        if (strobes_.size() < kLogLimit) strobes_.push_back({row, width, vpp, applied});
    }
    shift_ = shift;
    readClock_ = clock;
    rowEnable_ = enable;
    strobe_ = strobe;
}

ChipDrive EpmRowChip::PoweredOutput(const PinEnvironment&, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    int block = -1;
    for (int b = 0; b < part_.blocks; ++b)
        if (sig_.out[b] == chipPin) block = b;
    if (block < 0 || !reading_) return ChipDrive::None;
    const int p = select_[block];
    if (p < 0 || step_ > 15 || readRow_ >= kRows) return ChipDrive::Low;
    if (lockedRead_) return ChipDrive::Low;
    int bit = Cell(CellOf(block, readRow_, 5 * (15 - step_) + p));
    // Another part's identification row: every cell of it reads inverted.
    if (readRow_ == kIdRow && AnswersAnotherIdentity()) bit ^= 1;
    return bit ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
