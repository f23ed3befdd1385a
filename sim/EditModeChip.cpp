#include "sim/EditModeChip.h"

namespace sim {

namespace {

constexpr int kStages = 64;
constexpr int kLatchOutputs = 12;

// The latch-addressed kinds: register, array, identification and security
// rows, where each output's block starts (its marker) and how long it is,
// and the chip pin of each output.
struct LatchLayout {
    int stages, columns, idRow, idShift, secureRow, outputs;
    int markers[kLatchOutputs], terms[kLatchOutputs], outs[kLatchOutputs];
    int securedBit;
};
constexpr LatchLayout k20RA10{80, 40, 40, 0, 62, 10, {79, 71, 63, 55, 47, 39, 31, 23, 15, 7},
                              {8, 8, 8, 8, 8, 8, 8, 8, 8, 8}, {23, 22, 21, 20, 19, 18, 17, 16, 15, 14}, 0};
constexpr LatchLayout k22V10{132, 44, 58, 6, 59, 10, {9, 20, 33, 48, 65, 82, 97, 110, 121, 131},
                             {10, 11, 13, 15, 17, 17, 15, 13, 11, 10}, {14, 15, 16, 17, 18, 19, 20, 21, 22, 23}, 1};
constexpr LatchLayout k26V12{150, 52, 58, 8, 59, 12, {9, 18, 29, 42, 57, 74, 91, 106, 119, 130, 139, 149},
                             {10, 9, 11, 13, 15, 17, 17, 15, 13, 11, 9, 10},
                             {15, 16, 17, 18, 19, 20, 22, 23, 24, 25, 26, 27}, 1};
// Rows past the array, cell k written from a position of its own and read
// on an output: 20RA10 row 63, cell 3209 - k from position 8k, cell 3200 + i
// on output i; 22V10 rows 60 and 61, cells 5826 - 2k and 5827 - 2k from the
// first position of block k, output i shows cell k = i; 26V12 rows 60 + j,
// cells 7811 + 12j - k from the variant's position k, output i shows k = i.
constexpr int k22V10Blocks[10] = {6, 14, 22, 46, 54, 70, 86, 102, 110, 126};
constexpr int k26V12Lists[2][12] = {{6, 14, 22, 30, 54, 70, 78, 94, 110, 126, 134, 142},
                                    {10, 22, 35, 48, 61, 74, 87, 100, 113, 126, 138, 149}};
constexpr int k26V12EraseRow = 56;
constexpr uint64_t kFirstPassUs = 50000, kLongPassUs = 250000;
constexpr int kEditOnTenths = 85;
constexpr int kIdTenths = 92;
constexpr int kTolerance = 3;
constexpr int kEditMaxTenths = 140;
constexpr int kDataMaxTenths = 100;
constexpr uint64_t kWriteUs = 50000;
constexpr uint64_t kPassUs = 250000;
constexpr uint64_t kEraseUs = 100000;
constexpr int kPassCode = 128;
constexpr int kPassesNeeded = 3;
constexpr size_t kLogLimit = 1u << 16;
constexpr int kLowVccTenths = 45;

enum Bus { kIdle = 0, kAddress = 1, kRegister = 2, kWrite = 3, kReadOut = 4, kPass = 14 };
constexpr int kTermUseRow = 57, kIdRow = 58, kSecureRow = 59;

// Fields past the array of each fuse map.
struct FuseMap {
    int columns;
    uint32_t xorBits, ues, ac1, ptd, syn, ac0;
};
constexpr FuseMap k16V8{32, 2048, 2056, 2120, 2128, 2192, 2193};
constexpr FuseMap k20V8{40, 2560, 2568, 2632, 2640, 2704, 2705};

// Edit voltages (0.1 V) for programming and reading, by identification code.
struct CodeVolts {
    int code, program, read, strobe;
    bool longPasses; // four erase passes, the first pulse 250 ms
};
constexpr CodeVolts kVolts[] = {{128, 135, 105, 0, false}, {1, 135, 105, 0, false},  {64, 92, 92, 0, false},
                                {144, 92, 92, 0, false},   {160, 92, 92, 0, false},  {192, 92, 92, 0, false},
                                {224, 92, 92, 0, false}};
// Latch-addressed kinds: also the strobe voltage, and the long erase pass.
constexpr CodeVolts k20RA10Volts[] = {{2, 95, 95, 95, false}, {3, 92, 92, 92, false}};
constexpr CodeVolts k26V12Volts[] = {{0, 135, 105, 135, true}, {15, 135, 105, 135, true}, {12, 92, 92, 92, true}};
constexpr CodeVolts k22V10Volts[] = {{2, 90, 87, 90, false},  {3, 90, 87, 90, false}, {12, 90, 87, 90, false},
                                     {8, 92, 92, 92, false},  {9, 87, 87, 87, false},  {10, 87, 87, 87, false},
                                     {15, 105, 105, 135, true}};

template <size_t N> const CodeVolts* Find(const CodeVolts (&table)[N], int code) {
    for (const CodeVolts& v : table)
        if (v.code == code) return &v;
    return nullptr;
}

const CodeVolts* VoltsOf(EditModeKind k, int code) {
    if (k == EditModeKind::Latch20RA10) return Find(k20RA10Volts, code);
    if (k == EditModeKind::Latch22V10) return Find(k22V10Volts, code);
    if (k == EditModeKind::Latch26V12) return Find(k26V12Volts, code);
    return Find(kVolts, code);
}

const LatchLayout& LayoutOf(EditModeKind k) {
    if (k == EditModeKind::Latch20RA10) return k20RA10;
    return k == EditModeKind::Latch22V10 ? k22V10 : k26V12;
}

const FuseMap& MapOf(EditModeKind k) { return k == EditModeKind::Bus16V8 ? k16V8 : k20V8; }
int PinCount(EditModeKind k) {
    if (k == EditModeKind::Wide29M16) return 24;
    if (k == EditModeKind::Latch26V12) return 28;
    return k == EditModeKind::Bus16V8 ? 20 : 24;
}
bool IsLatched(EditModeKind k) {
    return k == EditModeKind::Latch20RA10 || k == EditModeKind::Latch22V10 || k == EditModeKind::Latch26V12;
}
// The 29M16 type: sixteen 10-position blocks; pin 2 reads out (logic high)
// or shows the code (9.0 V); pin 6 writes, pins 6 and 8 erase.
constexpr int kWideStages = 160, kWideBlock = 10, kWideRows = 40, kWideSecureRow = 46;
constexpr int kWideReadPin = 2, kWideWritePin = 6, kWideErasePin = 8;
constexpr int kWideIdTenths = 90, kWideEditTenths = 92;
constexpr uint64_t kWideWriteUs = 100000;

// Term of an array row held at register position p: blocks 0-7 hold terms
// 159 down to 80, blocks 8-15 terms 9..0, 19..10, ... 79..70.
int WideTerm(int p) {
    const int m = p / kWideBlock, j = p % kWideBlock;
    return m < 8 ? kWideStages - 1 - p : kWideBlock * (m - 8) + kWideBlock - 1 - j;
}

// Fuse-map row of each latched row address.
constexpr int kWideMapRow[46] = {11, 9,  10, 8,  13, 7,  12, 6,  15, 5,  14, 4,  17, 3,  16, 2,
                                 19, 1,  18, 0,  21, 39, 20, 38, 23, 31, 22, 30, 25, 33, 24, 32,
                                 27, 35, 26, 34, 29, 37, 28, 36, 40, 44, 41, 43, 42, 45};

// Cell of block m of address a past the array; -1 where the block has none.
int WideCell(int a, int m) {
    const int row = a < 46 ? kWideMapRow[a] : -1;
    if (row >= 40 && row < 45) return m < 8 ? 6475 - 5 * m + (row - 40) : 6400 + 5 * (m - 8) + (row - 40);
    if (row == 45 && m >= 14) return 6480 + m - 14;
    return -1;
}

int StagesOf(EditModeKind k) {
    if (k == EditModeKind::Wide29M16) return kWideStages;
    return IsLatched(k) ? LayoutOf(k).stages : kStages;
}

} // namespace

const EditModeChip::Pins& EditModeChip::PinsOf(EditModeKind k) {
    static const Pins k16{1, 2, 3, 4, 8, 12, 20, 10, 0, 0, 0, 0, 0, 0};
    static const Pins k20{1, 2, 3, 4, 10, 15, 24, 12, 0, 0, 0, 0, 0, 0};
    static const Pins kLatched{1, 2, 3, 0, 9, 0, 24, 12, 4, 5, 6, 7, 10, 11};
    static const Pins k26{1, 2, 3, 0, 11, 0, 7, 21, 4, 5, 6, 8, 12, 13}; // VCC and ground at the centre pins
    static const Pins kWide{1, 15, 13, 0, 11, 0, 24, 12, 14, 23, 0, 8, 0, 0};
    if (k == EditModeKind::Wide29M16) return kWide;
    if (k == EditModeKind::Latch26V12) return k26;
    if (IsLatched(k)) return kLatched;
    return k == EditModeKind::Bus16V8 ? k16 : k20;
}

EditModeChip::EditModeChip(const EditModeFacts& facts)
    : CellArrayChip(facts.name, PinCount(facts.kind), facts.fuses + static_cast<uint32_t>(StagesOf(facts.kind)),
                    PinsOf(facts.kind).vcc,
                    {PinsOf(facts.kind).gnd}),
      part_(facts), reg_(static_cast<size_t>(StagesOf(facts.kind)), 0) {
    AllowPin(PinsOf(facts.kind).edit, kEditMaxTenths);
    if (IsLatched(facts.kind)) AllowPin(PinsOf(facts.kind).pulse, kEditMaxTenths);
    if (facts.kind == EditModeKind::Bus20V8) AllowPin(PinsOf(facts.kind).data, kDataMaxTenths);
    if (facts.kind == EditModeKind::Wide29M16) {
        AllowPin(PinsOf(facts.kind).pulse, kEditMaxTenths);
        AllowPin(kWideReadPin, kDataMaxTenths);
    }
}

bool EditModeChip::Latched() const { return IsLatched(part_.kind); }

int EditModeChip::Columns() const { return MapOf(part_.kind).columns; }

int EditModeChip::CellAt(int a, int p) const {
    const FuseMap& m = MapOf(part_.kind);
    const int term = kStages - 1 - p;
    const int block = p / 8;
    if (a < m.columns) return term * m.columns + a;
    if (a == m.columns) return static_cast<int>(m.ues) + 8 * block + 7 - p % 8;
    if (a == m.columns + 1) return static_cast<int>(m.ptd) + p;
    switch (a) {
    case kTermUseRow: return static_cast<int>(part_.fuses) + term;
    case 60: return static_cast<int>(m.xorBits) + 7 - block;
    case 61: return static_cast<int>(m.ac1) + 7 - block;
    case 62: return block == 7 ? static_cast<int>(m.syn) : -1;
    case 63: return block == 7 ? static_cast<int>(m.ac0) : -1;
    default: return -1;
    }
}

int EditModeChip::CellAtPlace(int a, int p) const {
    if (a < 0 || p < 0 || p >= StagesOf(part_.kind)) return -1;
    int cell = -1;
    if (Wide()) {
        cell = a < kWideRows ? WideTerm(p) * kWideRows + kWideMapRow[a] : WideCell(a, p / kWideBlock);
    } else if (!Latched()) {
        cell = CellAt(a, p);
    } else {
        const LatchLayout& l = LayoutOf(part_.kind);
        if (a < l.columns) {
            cell = (l.stages - 1 - p) * l.columns + a;
        } else if (a == kTermUseRow && part_.kind == EditModeKind::Latch22V10) {
            cell = static_cast<int>(part_.fuses) + l.stages - 1 - p;
        } else {
            int position = -1;
            for (int k = 0; cell < 0 && SpecialCell(a, k, &position) >= 0; ++k)
                if (position == p) cell = SpecialCell(a, k, &position);
        }
    }
    return cell < 0 ? -1 : Cell(static_cast<uint32_t>(cell));
}

int EditModeChip::Bus(const PinEnvironment& env) const {
    const int b = PinsOf(part_.kind).bus;
    return Level(env, b) | Level(env, b + 1) << 1 | Level(env, b + 2) << 2 | Level(env, b + 3) << 3;
}

bool EditModeChip::Voltage(const PinEnvironment& env, bool program) const {
    const CodeVolts* v = VoltsOf(part_.kind, part_.idCode);
    return v != nullptr && Within(Volts(env, PinsOf(part_.kind).edit), program ? v->program : v->read, kTolerance);
}

void EditModeChip::EndPulse(const PinEnvironment& env) {
    const uint64_t width = strobe_.Stop(env.NowUs());
    const int bus = strobeBus_;
    if (pulses_.size() < kLogLimit) {
        pulses_.push_back({bus, address_, width, Volts(env, Latched() || Wide() ? PinsOf(part_.kind).pulse : PinsOf(part_.kind).edit), {}});
        if (!Wide())
            for (int p = 0; p < static_cast<int>(reg_.size()); ++p) pulses_.back().positions.push_back(static_cast<uint8_t>(Position(p)));
    }
    if (Latched()) {
        EndLatchedPulse(env, bus, width);
        return;
    }
    if (Wide()) {
        EndWidePulse(env, bus, width);
        return;
    }
    if (!Voltage(env, true)) return;
    if (bus == kWrite && width >= kWriteUs) {
        if (address_ == kSecureRow) {
            Secure();
            return;
        }
        for (int p = 0; p < kStages; ++p) {
            const int c = CellAt(address_, p);
            const int bit = reg_[static_cast<size_t>(kStages - 1 - p)];
            // A term-use flag of 1 marks the term used: it clears the cell.
            if (c >= 0) WriteCell(static_cast<uint32_t>(c), address_ == kTermUseRow ? 1 - bit : bit);
        }
        return;
    }
    if (bus == kPass && width >= kPassUs) {
        bool zero = true;
        for (uint8_t s : reg_) zero = zero && s == 0;
        passPending_ = zero;
        return;
    }
    if (bus != kIdle || width < kEraseUs) return;
    if (part_.idCode == kPassCode) {
        if (passPending_) ++passes_;
        passPending_ = false;
        if (passes_ < kPassesNeeded) return;
    }
    passes_ = 0;
    EraseAll();
}

// Stage s holds the bit shifted in reg_.size() - 1 - s clocks ago: position
// p (the p-th bit in) of a full register is stage size - 1 - p.
void EditModeChip::ShiftRegister(uint8_t bit) {
    for (size_t s = reg_.size() - 1; s > 0; --s) reg_[s] = reg_[s - 1];
    reg_[0] = bit;
}

int EditModeChip::Position(int p) const { return reg_[reg_.size() - 1 - static_cast<size_t>(p)]; }

// Cell k of special row a and the position it is written from; -1 when a
// is no special row of the kind or k is past its cells.
int EditModeChip::SpecialCell(int a, int k, int* position) const {
    switch (part_.kind) {
    case EditModeKind::Latch20RA10:
        if (a != 63 || k >= 10) return -1;
        *position = 8 * k;
        return 3209 - k;
    case EditModeKind::Latch22V10:
        if ((a != 60 && a != 61) || k >= 10) return -1;
        *position = k22V10Blocks[k];
        return 5826 + a - 60 - 2 * k;
    default:
        if (a < 60 || a > 63 || k >= 12) return -1;
        *position = k26V12Lists[part_.variant == 0 ? 0 : 1][k];
        return 7811 + 12 * (a - 60) - k;
    }
}

// Erase passes the part needs before the erase pin's pulse erases it (0: it
// erases at once), and the width of a pass pulse.
int EditModeChip::PassesNeeded(bool longPasses) const {
    if (part_.kind == EditModeKind::Latch22V10) return longPasses ? 4 : 1;
    if (part_.kind == EditModeKind::Latch26V12 && part_.variant == 0) return 4;
    return 0;
}

// Writes and erases of the latch-addressed kinds: bus 0 a row strobe, 1 the
// erase pin's pulse, 2 the pass pin's; all at the code's strobe voltage with
// the edit pin at the programming voltage (the read voltage on variant-1
// 26V12 parts), the low-voltage part also at its 4.5 V supply. The 26V12
// erases only with its erase row in the address register.
void EditModeChip::EndLatchedPulse(const PinEnvironment& env, int bus, uint64_t width) {
    const Pins& pins = PinsOf(part_.kind);
    const CodeVolts& v = *VoltsOf(part_.kind, part_.idCode);
    const bool readEdit = part_.kind == EditModeKind::Latch26V12 && part_.variant != 0;
    if (!Within(Volts(env, pins.edit), readEdit ? v.read : v.program, kTolerance)) return;
    if (!Within(Volts(env, pins.pulse), v.strobe, kTolerance)) return;
    if (part_.lowVcc && !Within(Volts(env, pins.vcc), kLowVccTenths, 2)) return;
    const LatchLayout& l = LayoutOf(part_.kind);
    const auto columns = static_cast<uint32_t>(l.columns);
    const auto stages = static_cast<uint32_t>(l.stages);
    const int needed = PassesNeeded(v.longPasses);
    if (bus != 0 && part_.kind == EditModeKind::Latch26V12 && shiftAddress_ != k26V12EraseRow) return;
    if (bus == 2) {
        passPending_ = width >= (v.longPasses ? kLongPassUs : kFirstPassUs);
    } else if (bus == 1 && width >= kEraseUs) {
        if (needed > 0 && !passPending_) return;
        passPending_ = false;
        if (needed > 0 && ++passes_ < needed) return;
        passes_ = 0;
        EraseAll();
    } else if (bus == 0 && width >= kWriteUs) {
        int position = 0;
        if (address_ == l.secureRow) {
            Secure();
        } else if (address_ < l.columns) {
            for (uint32_t p = 0; p < stages; ++p)
                WriteCell((stages - 1 - p) * columns + static_cast<uint32_t>(address_), Position(static_cast<int>(p)));
        } else if (address_ == kTermUseRow && part_.kind == EditModeKind::Latch22V10) {
            for (uint32_t p = 0; p < stages; ++p) WriteCell(part_.fuses + stages - 1 - p, 1 - Position(static_cast<int>(p)));
        } else {
            for (int k = 0; SpecialCell(address_, k, &position) >= 0; ++k)
                WriteCell(static_cast<uint32_t>(SpecialCell(address_, k, &position)), Position(position));
        }
    }
}

void EditModeChip::UpdateLatched(const PinEnvironment& env) {
    const Pins& pins = PinsOf(part_.kind);
    const bool edge = edges_.Take(Level(env, pins.clock) == 1, Level(env, pins.strobe) == 1);
    const bool shifting = Level(env, pins.shift) == 1;
    if (shifting) readClocks_ = 0;
    const bool latch = Level(env, pins.latch) == 1;
    if (latch && !latchHigh_ && Powered(env)) address_ = shiftAddress_; // the rising latch pin takes the address
    latchHigh_ = latch;
    if (!edge) return;
    if (!InEditMode(env, pins.edit, kEditOnTenths)) {
        strobe_.Stop(env.NowUs());
        passes_ = 0;
        passPending_ = false;
        return;
    }
    if (edges_.clockRise) {
        const auto bit = static_cast<uint8_t>(Level(env, pins.data));
        if (Level(env, pins.select) == 1) {
            shiftAddress_ = (shiftAddress_ >> 1) | bit << 5;
        } else if (shifting) {
            ShiftRegister(bit);
        } else {
            if (address_ < LayoutOf(part_.kind).columns && readVolts_.size() < kLogLimit)
                readVolts_.push_back(Volts(env, pins.edit));
            ++readClocks_;
        }
    }
    if (edges_.strobeEdge) {
        if (edges_.strobeHigh) {
            strobeBus_ = Level(env, pins.erase) == 1 ? 1 : Level(env, pins.pass) == 1 ? 2 : 0;
            strobe_.Start(env.NowUs());
        } else {
            EndPulse(env);
        }
    }
}

// Output i of a latch-addressed kind; -1 floats. The identification shows
// at the part's identification voltage (any edit voltage on the 20RA10).
int EditModeChip::LatchedOutput(const PinEnvironment& env, int i) const {
    const Pins& pins = PinsOf(part_.kind);
    const LatchLayout& l = LayoutOf(part_.kind);
    const int edit = Volts(env, pins.edit);
    if (Level(env, pins.shift) == 1 || edit < kEditOnTenths) return -1;
    if (address_ == l.idRow) {
        const bool atId = part_.kind == EditModeKind::Latch20RA10 || Within(edit, part_.lowVcc ? 87 : kIdTenths, kTolerance);
        const int b = i - l.idShift;
        return atId && b >= 0 && b < 4 ? (ShownIdCode() >> b) & 1 : -1;
    }
    if (!Voltage(env, false)) return -1;
    int position = 0;
    const int k = part_.kind == EditModeKind::Latch20RA10 ? 9 - i : i;
    const int special = SpecialCell(address_, k, &position);
    if (special >= 0) {
        if (readClocks_ != 0) return -1;
        return Secured() ? l.securedBit : Cell(static_cast<uint32_t>(special));
    }
    if (address_ >= l.columns) return -1;
    const int marker = l.markers[i];
    if (readClocks_ >= l.terms[i] || Position(marker) == 0) return -1;
    if (Secured()) return l.securedBit;
    const int term = l.stages - 1 - marker + readClocks_;
    return Cell(static_cast<uint32_t>(term * l.columns + address_));
}

// Bus 0: a write pulse, 1: an erase pulse; both at 9.2 V on the edit and
// strobe-voltage pins.
void EditModeChip::EndWidePulse(const PinEnvironment& env, int bus, uint64_t width) {
    const Pins& pins = PinsOf(part_.kind);
    if (!Within(Volts(env, pins.edit), kWideEditTenths, kTolerance) || width < kWideWriteUs) return;
    if (!Within(Volts(env, pins.pulse), kWideEditTenths, kTolerance)) return;
    if (bus == 1) {
        EraseAll();
        return;
    }
    if (bus != 0) return;
    if (address_ == kWideSecureRow) {
        Secure();
    } else if (address_ < kWideRows) {
        for (int p = 0; p < kWideStages; ++p)
            WriteCell(static_cast<uint32_t>(WideTerm(p) * kWideRows + kWideMapRow[address_]), Position(p));
    } else {
        for (int m = 0; m < kWideStages / kWideBlock; ++m) {
            const int cell = WideCell(address_, m);
            int ones = 0;
            for (int j = 0; j < kWideBlock; ++j) ones += Position(kWideBlock * m + j);
            if (cell >= 0) WriteCell(static_cast<uint32_t>(cell), ones == kWideBlock ? 0 : 1);
        }
    }
}

void EditModeChip::UpdateWide(const PinEnvironment& env) {
    const Pins& pins = PinsOf(part_.kind);
    const bool edge = edges_.Take(Level(env, pins.clock) == 1, Level(env, pins.strobe) == 1);
    const bool latch = Level(env, pins.latch) == 1;
    if (latch && !latchHigh_ && Powered(env)) {
        address_ = 0;
        for (int b = 0; b < 6; ++b) address_ |= Level(env, 17 + b) << b;
        readClocks_ = 0;
    }
    latchHigh_ = latch;
    if (!edge) return;
    if (!InEditMode(env, pins.edit, kEditOnTenths)) {
        strobe_.Stop(env.NowUs());
        return;
    }
    if (edges_.clockRise) {
        if (Level(env, kWideReadPin) == 0) {
            ShiftRegister(static_cast<uint8_t>(Level(env, pins.data)));
        } else {
            if (address_ < kWideRows && readVolts_.size() < kLogLimit) readVolts_.push_back(Volts(env, pins.edit));
            ++readClocks_;
        }
    }
    if (edges_.strobeEdge) {
        if (edges_.strobeHigh) {
            strobeBus_ = Level(env, kWideWritePin) == 0 ? -1 : Level(env, kWideErasePin) == 1 ? 1 : 0;
            strobe_.Start(env.NowUs());
        } else {
            EndPulse(env);
        }
    }
}

// Bus bit B (-1 floats): the code at 9.0 V on pin 2, else the complement of
// the cell its block shows.
int EditModeChip::WideOutput(const PinEnvironment& env, int bit) const {
    const int select = Volts(env, kWideReadPin);
    if (Within(select, kWideIdTenths, 1)) return bit < 8 ? (ShownIdCode() >> bit) & 1 : -1;
    if (Level(env, kWideReadPin) == 0 || select >= kEditOnTenths) return -1;
    if (!Within(Volts(env, PinsOf(part_.kind).edit), kWideEditTenths, kTolerance)) return -1;
    const int m = bit < 8 ? 7 - bit : 23 - bit;
    int cell = -1;
    if (address_ < kWideRows) {
        const int last = kWideBlock * m + kWideBlock - 1;
        if (readClocks_ >= kWideBlock || Position(last) == 0) return -1;
        cell = WideTerm(last - readClocks_) * kWideRows + kWideMapRow[address_];
    } else if (readClocks_ == 0) {
        cell = WideCell(address_, m);
    }
    if (cell < 0) return -1;
    return Secured() ? 1 : 1 - Cell(static_cast<uint32_t>(cell));
}

void EditModeChip::Update(const PinEnvironment& env) {
    if (Wide()) {
        UpdateWide(env);
        return;
    }
    if (Latched()) {
        UpdateLatched(env);
        return;
    }
    const Pins& pins = PinsOf(part_.kind);
    const bool edge = edges_.Take(Level(env, pins.clock) == 1, Level(env, pins.strobe) == 1);
    const int bus = Bus(env);
    if (bus != kReadOut) readClocks_ = 0;
    if (!edge) return;
    if (!InEditMode(env, pins.edit, kEditOnTenths)) {
        strobe_.Stop(env.NowUs());
        passes_ = 0;
        passPending_ = false;
        return;
    }
    if (edges_.clockRise) {
        const auto bit = static_cast<uint8_t>(Level(env, pins.data));
        if (bus == kAddress) {
            address_ = ((address_ << 1) | bit) & 63;
        } else if (bus == kRegister) {
            ShiftRegister(bit);
        } else if (bus == kReadOut) {
            if (address_ < kTermUseRow && readVolts_.size() < kLogLimit) readVolts_.push_back(Volts(env, pins.edit));
            ++readClocks_;
        }
    }
    if (edges_.strobeEdge) {
        if (edges_.strobeHigh) {
            strobeBus_ = bus;
            strobe_.Start(env.NowUs());
        } else {
            EndPulse(env);
        }
    }
}

int EditModeChip::ShownIdCode() const { return part_.idCode ^ (AnswersAnotherIdentity() ? 8 : 0); }

// Position 8b + 7 - r of the addressed row on output b; -1 floats.
int EditModeChip::ReadBit(int b) const {
    const int last = 8 * b + 7;
    const int p = last - readClocks_;
    if (p < 8 * b) return -1;
    if (address_ < kTermUseRow && reg_[static_cast<size_t>(kStages - 1 - last)] == 0) return -1;
    if (Secured() && address_ != Columns()) return 1;
    const int c = CellAt(address_, p);
    return c < 0 ? 1 : Cell(static_cast<uint32_t>(c));
}

ChipDrive EditModeChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const Pins& pins = PinsOf(part_.kind);
    if (Wide()) {
        const int c = ChipPinAt(socketPin);
        const int b = c >= 3 && c <= 10 ? c - 3 : c >= 15 && c <= 22 ? c - 7 : -1;
        const int bit = b < 0 ? -1 : WideOutput(env, b);
        if (bit < 0) return ChipDrive::None;
        return bit ? ChipDrive::High : ChipDrive::Low;
    }
    if (Latched()) {
        const LatchLayout& l = LayoutOf(part_.kind);
        int i = 0;
        while (i < l.outputs && l.outs[i] != ChipPinAt(socketPin)) ++i;
        const int bit = i < l.outputs ? LatchedOutput(env, i) : -1;
        if (bit < 0) return ChipDrive::None;
        return bit ? ChipDrive::High : ChipDrive::Low;
    }
    const int b = ChipPinAt(socketPin) - pins.out;
    if (b < 0 || b > 7) return ChipDrive::None;
    int bit = -1;
    if (part_.kind == EditModeKind::Bus20V8 && Within(Volts(env, pins.data), kIdTenths, kTolerance)) {
        bit = (ShownIdCode() >> b) & 1;
    } else if (Bus(env) == kReadOut && Volts(env, pins.edit) >= kEditOnTenths) {
        if (address_ == kIdRow) {
            if (part_.kind == EditModeKind::Bus16V8 && Within(Volts(env, pins.edit), kIdTenths, kTolerance))
                bit = (ShownIdCode() >> b) & 1;
        } else if (Voltage(env, false)) {
            bit = ReadBit(b);
        }
    }
    if (bit < 0) return ChipDrive::None;
    return bit ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
