#include "sim/EditModeChip.h"

namespace sim {

namespace {

constexpr int kStages = 64;
constexpr int kLatchStages = 80;
constexpr int kLatchColumns = 40, kLatchIdRow = 40, kLatchSecureRow = 62, kArchRow = 63, kArchCells = 10;
constexpr uint32_t kArchBase = 3200;
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
    int code, program, read;
};
constexpr CodeVolts kVolts[] = {{128, 135, 105}, {1, 135, 105}, {64, 92, 92},
                                {144, 92, 92},   {160, 92, 92}, {192, 92, 92}, {224, 92, 92}};
constexpr CodeVolts kLatchVolts[] = {{2, 95, 95}, {3, 92, 92}};

const CodeVolts* VoltsOf(EditModeKind k, int code) {
    if (k == EditModeKind::Latch20RA10) {
        for (const CodeVolts& v : kLatchVolts)
            if (v.code == code) return &v;
        return nullptr;
    }
    for (const CodeVolts& v : kVolts)
        if (v.code == code) return &v;
    return nullptr;
}

const FuseMap& MapOf(EditModeKind k) { return k == EditModeKind::Bus16V8 ? k16V8 : k20V8; }
int PinCount(EditModeKind k) { return k == EditModeKind::Bus16V8 ? 20 : 24; }
int StagesOf(EditModeKind k) { return k == EditModeKind::Latch20RA10 ? kLatchStages : kStages; }

} // namespace

const EditModeChip::Pins& EditModeChip::PinsOf(EditModeKind k) {
    static const Pins k16{1, 2, 3, 4, 8, 12, 20, 10, 0, 0, 0, 0, 0};
    static const Pins k20{1, 2, 3, 4, 10, 15, 24, 12, 0, 0, 0, 0, 0};
    static const Pins kRa10{1, 2, 3, 0, 9, 23, 24, 12, 4, 5, 6, 7, 10}; // output i on chip pin 23 - i
    if (k == EditModeKind::Latch20RA10) return kRa10;
    return k == EditModeKind::Bus16V8 ? k16 : k20;
}

EditModeChip::EditModeChip(const EditModeFacts& facts)
    : CellArrayChip(facts.name, PinCount(facts.kind), facts.fuses + kStages, PinsOf(facts.kind).vcc,
                    {PinsOf(facts.kind).gnd}),
      part_(facts), reg_(static_cast<size_t>(StagesOf(facts.kind)), 0) {
    AllowPin(PinsOf(facts.kind).edit, kEditMaxTenths);
    if (facts.kind == EditModeKind::Latch20RA10) AllowPin(PinsOf(facts.kind).pulse, kEditMaxTenths);
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
        if (!Within(Volts(env, PinsOf(part_.kind).pulse), VoltsOf(part_.kind, part_.idCode)->program, kTolerance)) return;
        const uint32_t stages = static_cast<uint32_t>(reg_.size());
        if (bus == 1 && width >= kEraseUs) {
            EraseAll();
        } else if (bus == 0 && width >= kWriteUs && address_ == kLatchSecureRow) {
            Secure();
        } else if (bus == 0 && width >= kWriteUs && address_ < kLatchColumns) {
            for (uint32_t p = 0; p < stages; ++p)
                WriteCell((stages - 1 - p) * kLatchColumns + static_cast<uint32_t>(address_), reg_[stages - 1 - p]);
        } else if (bus == 0 && width >= kWriteUs && address_ == kArchRow) {
            for (uint32_t k = 0; k < kArchCells; ++k) WriteCell(kArchBase + kArchCells - 1 - k, reg_[stages - 1 - 8 * k]);
        }
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

void EditModeChip::UpdateLatched(const PinEnvironment& env) {
    const Pins& pins = PinsOf(part_.kind);
    const bool edge = edges_.Take(Level(env, pins.clock) == 1, Level(env, pins.strobe) == 1);
    const bool shifting = Level(env, pins.shift) == 1;
    if (shifting) readClocks_ = 0;
    if (!edge) return;
    if (!InEditMode(env, pins.edit, kEditOnTenths)) {
        strobe_.Stop(env.NowUs());
        return;
    }
    if (edges_.clockRise) {
        const auto bit = static_cast<uint8_t>(Level(env, pins.data));
        if (Level(env, pins.select) == 1 && Level(env, pins.latch) == 0) {
            address_ = (address_ >> 1) | bit << 5;
        } else if (shifting) {
            ShiftRegister(bit);
        } else {
            if (address_ < kLatchColumns && readVolts_.size() < kLogLimit) readVolts_.push_back(Volts(env, pins.edit));
            ++readClocks_;
        }
    }
    if (edges_.strobeEdge) {
        if (edges_.strobeHigh) {
            strobeBus_ = Level(env, pins.erase); // 1: an erase pulse
            strobe_.Start(env.NowUs());
        } else {
            EndPulse(env);
        }
    }
}

// Output i of the 20RA10 type; -1 floats.
int EditModeChip::LatchedOutput(const PinEnvironment& env, int i) const {
    const Pins& pins = PinsOf(part_.kind);
    if (Level(env, pins.shift) == 1 || Volts(env, pins.edit) < kEditOnTenths) return -1;
    if (address_ == kLatchIdRow) return i < 4 ? (part_.idCode >> i) & 1 : -1;
    if (!Voltage(env, false)) return -1;
    if (address_ == kArchRow && readClocks_ == 0) return Secured() ? 0 : Cell(kArchBase + static_cast<uint32_t>(i));
    if (address_ >= kLatchColumns) return -1;
    const int stages = static_cast<int>(reg_.size());
    const int marker = stages - 1 - 8 * i;
    if (readClocks_ >= 8 || reg_[static_cast<size_t>(stages - 1 - marker)] == 0) return -1;
    if (Secured()) return 0;
    const int term = stages - 1 - marker + readClocks_;
    return Cell(static_cast<uint32_t>(term * kLatchColumns + address_));
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
        const int i = pins.out - ChipPinAt(socketPin);
        const int bit = i >= 0 && i < 10 ? LatchedOutput(env, i) : -1;
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
