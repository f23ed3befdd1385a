#include "sim/EditModeChip.h"

namespace sim {

namespace {

constexpr int kStages = 64;
constexpr int kLatchOutputs = 10;

// The latch-addressed kinds: register, array, identification and security
// rows, and where each output's block starts (its marker) and how long it is.
struct LatchLayout {
    int stages, columns, idRow, idShift, secureRow;
    int markers[kLatchOutputs], terms[kLatchOutputs];
    int firstOut, outStep; // output i on chip pin firstOut + outStep x i
};
constexpr LatchLayout k20RA10{80, 40, 40, 0, 62, {79, 71, 63, 55, 47, 39, 31, 23, 15, 7}, {8, 8, 8, 8, 8, 8, 8, 8, 8, 8},
                              23, -1};
constexpr LatchLayout k22V10{132, 44, 58, 6, 59, {9, 20, 33, 48, 65, 82, 97, 110, 121, 131},
                             {10, 11, 13, 15, 17, 17, 15, 13, 11, 10}, 14, 1};
// 20RA10 architecture row 63: cell 3200 + i on output i, written from
// positions 8k (cell 3209 - k). 22V10 rows 60 and 61: cells 5826 - 2i and
// 5827 - 2i, written from the first position of block k.
constexpr int k22V10Blocks[kLatchOutputs] = {6, 14, 22, 46, 54, 70, 86, 102, 110, 126};
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
    return Find(kVolts, code);
}

const LatchLayout& LayoutOf(EditModeKind k) { return k == EditModeKind::Latch20RA10 ? k20RA10 : k22V10; }

const FuseMap& MapOf(EditModeKind k) { return k == EditModeKind::Bus16V8 ? k16V8 : k20V8; }
int PinCount(EditModeKind k) { return k == EditModeKind::Bus16V8 ? 20 : 24; }
bool IsLatched(EditModeKind k) { return k == EditModeKind::Latch20RA10 || k == EditModeKind::Latch22V10; }
int StagesOf(EditModeKind k) { return IsLatched(k) ? LayoutOf(k).stages : kStages; }

} // namespace

const EditModeChip::Pins& EditModeChip::PinsOf(EditModeKind k) {
    static const Pins k16{1, 2, 3, 4, 8, 12, 20, 10, 0, 0, 0, 0, 0, 0};
    static const Pins k20{1, 2, 3, 4, 10, 15, 24, 12, 0, 0, 0, 0, 0, 0};
    static const Pins kLatched{1, 2, 3, 0, 9, 0, 24, 12, 4, 5, 6, 7, 10, 11};
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
}

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
    if (pulses_.size() < kLogLimit)
        pulses_.push_back({bus, address_, width, Volts(env, Latched() ? PinsOf(part_.kind).pulse : PinsOf(part_.kind).edit)});
    if (!Voltage(env, true)) return;
    if (Latched()) {
        EndLatchedPulse(env, bus, width);
        return;
    }
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

// Writes and erases of the latch-addressed kinds: bus 0 a row strobe, 1 the
// erase pin's pulse, 2 the pass pin's; all at the code's strobe voltage, the
// low-voltage part also at its 4.5 V supply.
void EditModeChip::EndLatchedPulse(const PinEnvironment& env, int bus, uint64_t width) {
    const Pins& pins = PinsOf(part_.kind);
    const CodeVolts& v = *VoltsOf(part_.kind, part_.idCode);
    if (!Within(Volts(env, pins.pulse), v.strobe, kTolerance)) return;
    if (part_.lowVcc && !Within(Volts(env, pins.vcc), kLowVccTenths, 2)) return;
    const LatchLayout& l = LayoutOf(part_.kind);
    const auto columns = static_cast<uint32_t>(l.columns);
    const auto stages = static_cast<uint32_t>(l.stages);
    const bool passes = part_.kind == EditModeKind::Latch22V10;
    if (bus == 2) {
        passPending_ = width >= (v.longPasses ? kLongPassUs : kFirstPassUs);
    } else if (bus == 1 && width >= kEraseUs) {
        if (passes && !passPending_) return;
        passPending_ = false;
        if (passes && ++passes_ < (v.longPasses ? 4 : 1)) return;
        passes_ = 0;
        EraseAll();
    } else if (bus == 0 && width >= kWriteUs) {
        if (address_ == l.secureRow) {
            Secure();
        } else if (address_ < l.columns) {
            for (uint32_t p = 0; p < stages; ++p)
                WriteCell((stages - 1 - p) * columns + static_cast<uint32_t>(address_), Position(static_cast<int>(p)));
        } else if (address_ == kTermUseRow && passes) {
            for (uint32_t p = 0; p < stages; ++p) WriteCell(part_.fuses + stages - 1 - p, 1 - Position(static_cast<int>(p)));
        } else if (address_ == 63 && !passes) {
            for (int k = 0; k < kLatchOutputs; ++k) WriteCell(3209u - static_cast<uint32_t>(k), Position(8 * k));
        } else if ((address_ == 60 || address_ == 61) && passes) {
            for (int k = 0; k < kLatchOutputs; ++k)
                WriteCell(static_cast<uint32_t>(5826 + address_ - 60 - 2 * k), Position(k22V10Blocks[k]));
        }
    }
}

void EditModeChip::UpdateLatched(const PinEnvironment& env) {
    const Pins& pins = PinsOf(part_.kind);
    const bool edge = edges_.Take(Level(env, pins.clock) == 1, Level(env, pins.strobe) == 1);
    const bool shifting = Level(env, pins.shift) == 1;
    if (shifting) readClocks_ = 0;
    if (!edge) return;
    if (!InEditMode(env, pins.edit, kEditOnTenths)) {
        strobe_.Stop(env.NowUs());
        passes_ = 0;
        passPending_ = false;
        return;
    }
    if (edges_.clockRise) {
        const auto bit = static_cast<uint8_t>(Level(env, pins.data));
        if (Level(env, pins.select) == 1 && Level(env, pins.latch) == 0) {
            address_ = (address_ >> 1) | bit << 5;
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
        return atId && b >= 0 && b < 4 ? (part_.idCode >> b) & 1 : -1;
    }
    if (!Voltage(env, false)) return -1;
    const bool special = address_ == 63 || address_ == 60 || address_ == 61;
    if (special && readClocks_ == 0) {
        if (Secured() && part_.kind == EditModeKind::Latch20RA10) return 0;
        if (Secured()) return 1;
        if (part_.kind == EditModeKind::Latch20RA10) return address_ == 63 ? Cell(3200u + static_cast<uint32_t>(i)) : -1;
        return address_ != 63 ? Cell(static_cast<uint32_t>(5826 + address_ - 60 - 2 * i)) : -1;
    }
    if (address_ >= l.columns) return -1;
    const int marker = l.markers[i];
    if (readClocks_ >= l.terms[i] || Position(marker) == 0) return -1;
    if (Secured()) return part_.kind == EditModeKind::Latch20RA10 ? 0 : 1;
    const int term = l.stages - 1 - marker + readClocks_;
    return Cell(static_cast<uint32_t>(term * l.columns + address_));
}

void EditModeChip::Update(const PinEnvironment& env) {
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
    if (Latched()) {
        const LatchLayout& l = LayoutOf(part_.kind);
        const int i = (ChipPinAt(socketPin) - l.firstOut) * l.outStep;
        const int bit = i >= 0 && i < kLatchOutputs ? LatchedOutput(env, i) : -1;
        if (bit < 0) return ChipDrive::None;
        return bit ? ChipDrive::High : ChipDrive::Low;
    }
    const int b = ChipPinAt(socketPin) - pins.out;
    if (b < 0 || b > 7) return ChipDrive::None;
    int bit = -1;
    if (part_.kind == EditModeKind::Bus20V8 && Within(Volts(env, pins.data), kIdTenths, kTolerance)) {
        bit = (part_.idCode >> b) & 1;
    } else if (Bus(env) == kReadOut && Volts(env, pins.edit) >= kEditOnTenths) {
        if (address_ == kIdRow) {
            if (part_.kind == EditModeKind::Bus16V8 && Within(Volts(env, pins.edit), kIdTenths, kTolerance))
                bit = (part_.idCode >> b) & 1;
        } else if (Voltage(env, false)) {
            bit = ReadBit(b);
        }
    }
    if (bit < 0) return ChipDrive::None;
    return bit ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
