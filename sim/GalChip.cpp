#include "sim/GalChip.h"

namespace sim {

namespace {

enum ChipPin : int {
    kEdit = 2,
    kSclk = 8,
    kSdin = 9,
    kGnd = 10,
    kStb = 11,
    kSdout = 12,
    kRa0 = 18,
    kPv = 19,
    kVcc = 20,
};
constexpr int kRaPins[6] = {kRa0, 3, 4, 5, 6, 7};

constexpr int kEditModeTenths = 100;
constexpr int kEditMaxTenths = 180;
constexpr int kWindowTenths = 2;
constexpr size_t kStrobeLog = 1u << 16;

// The fuse map of the 16V8 type.
constexpr uint32_t kColumns = 32;
constexpr int kArrayRows = 32;
constexpr int kArrayBits = 64;
constexpr int kUesRow = 32;
constexpr uint32_t kUesFuse = 2056;
constexpr int kSignatureRow = 58;
constexpr int kArchRow = 60;
constexpr int kArchBits = 82;
constexpr int kSecureRow = 61;
constexpr int kEraseRow = 63;

// Architecture fields of the fuse map: output polarity (XOR), AC1, the
// product-term disable bits, SYN and AC0.
enum Field : uint8_t { Xor, Ac1, Ptd, Syn, Ac0 };
constexpr uint32_t kFieldBase[5] = {2048, 2120, 2128, 2192, 2193};

struct FieldSpan {
    Field field;
    uint8_t from, count;
};
// The architecture row from the end nearest SDOUT.
constexpr FieldSpan kEarlyLayout[] = {{Ptd, 0, 32}, {Xor, 0, 4}, {Ac0, 0, 1}, {Ac1, 0, 8},
                                      {Syn, 0, 1},  {Xor, 4, 4}, {Ptd, 32, 32}};
constexpr FieldSpan kLateLayout[] = {{Xor, 0, 4},  {Ac0, 0, 1}, {Ac1, 0, 4}, {Ptd, 0, 64},
                                     {Ac1, 4, 4},  {Syn, 0, 1}, {Xor, 4, 4}};

template <size_t N> uint32_t FuseInLayout(const FieldSpan (&layout)[N], int i) {
    for (const FieldSpan& s : layout) {
        if (i < s.count) return kFieldBase[s.field] + s.from + static_cast<uint32_t>(i);
        i -= s.count;
    }
    return 0;
}

} // namespace

GalChip::GalChip(const GalPartFacts& part)
    : CellArrayChip(part.name, 20, part.fuses, kVcc, {kGnd}), part_(part) {
    AllowPin(kEdit, kEditMaxTenths);
}

uint32_t GalChip::ArchitectureFuse(int i) const {
    return part_.layout == GalArchLayout::Early16V8 ? FuseInLayout(kEarlyLayout, i) : FuseInLayout(kLateLayout, i);
}

bool GalChip::EditMode(const PinEnvironment& env) const { return Volts(env, kEdit) >= kEditModeTenths; }

int GalChip::AddressNow(const PinEnvironment& env) const {
    int a = 0;
    for (int b = 0; b < 6; ++b) a |= Level(env, kRaPins[b]) << b;
    return a;
}

int GalChip::SignatureBit(int i) const {
    const uint8_t bytes[8] = {0, part_.voltageCode, part_.typeCode, part_.makerCode, 0, 0, 0, 0};
    return (bytes[i / 8] >> (i % 8)) & 1;
}

void GalChip::Load(int address) {
    shift_.clear();
    if (address < kArrayRows) {
        for (int i = 0; i < kArrayBits; ++i)
            shift_.push_back(Secured() ? 1 : static_cast<uint8_t>(Cell(static_cast<uint32_t>(i) * kColumns +
                                                                        static_cast<uint32_t>(address))));
    } else if (address == kUesRow) {
        for (int i = 0; i < kArrayBits; ++i) shift_.push_back(static_cast<uint8_t>(Cell(kUesFuse + static_cast<uint32_t>(i))));
    } else if (address == kSignatureRow) {
        for (int i = 0; i < kArrayBits; ++i) shift_.push_back(static_cast<uint8_t>(SignatureBit(i)));
    } else if (address == kArchRow) {
        for (int i = 0; i < kArchBits; ++i) shift_.push_back(static_cast<uint8_t>(Cell(ArchitectureFuse(i))));
    }
}

void GalChip::Write(const PinEnvironment& env, int address, uint64_t widthUs) {
    if (!Within(Volts(env, kEdit), part_.programTenths, kWindowTenths)) return;
    const uint64_t needUs = static_cast<uint64_t>(address == kEraseRow ? part_.eraseMs : part_.pulseMs) * 1000;
    if (widthUs < needUs) return;
    const auto bit = [&](size_t i) { return i < shift_.size() ? shift_[i] : 1; };
    if (address < kArrayRows) {
        for (int i = 0; i < kArrayBits; ++i)
            WriteCell(static_cast<uint32_t>(i) * kColumns + static_cast<uint32_t>(address), bit(static_cast<size_t>(i)));
    } else if (address == kUesRow) {
        for (int i = 0; i < kArrayBits; ++i) WriteCell(kUesFuse + static_cast<uint32_t>(i), bit(static_cast<size_t>(i)));
    } else if (address == kArchRow) {
        for (int i = 0; i < kArchBits; ++i) WriteCell(ArchitectureFuse(i), bit(static_cast<size_t>(i)));
    } else if (address == kEraseRow) {
        if (Level(env, kSdin) == 1) EraseAll();
    } else if (address == kSecureRow) {
        Secure();
    }
}

Gal16V8Logic::PinLevels GalChip::InputLevels(const PinEnvironment& env) const {
    Gal16V8Logic::PinLevels in{};
    for (int pin = 1; pin <= 20; ++pin) in[static_cast<size_t>(pin)] = Level(env, pin);
    return in;
}

void GalChip::Update(const PinEnvironment& env) {
    if (!EditMode(env) && Powered(env))
        logic_.Update([this](uint32_t n) { return Cell(n); }, InputLevels(env));
    const bool strobeLow = Level(env, kStb) == 0;
    const bool clockHigh = Level(env, kSclk) == 1;
    const bool strobeEdge = strobeLow != strobeLow_;
    const bool clockRise = clockHigh && !clockHigh_;
    strobeLow_ = strobeLow;
    clockHigh_ = clockHigh;
    if (!strobeEdge && !clockRise) return;
    const bool edit = EditMode(env);
    const bool powered = Powered(env);
    if (edit && !powered) {
        env.Violation(Name() + ": " + (clockRise ? "SCLK" : "STB") + " edge at edit voltage without VCC and ground");
        return;
    }
    if (!edit || !powered) {
        strobe_.Stop(env.NowUs());
        return;
    }
    if (clockRise && Level(env, kPv) == 0 && !shift_.empty()) {
        ++clocks_;
        shift_.erase(shift_.begin());
        shift_.push_back(static_cast<uint8_t>(Level(env, kSdin)));
    }
    if (!strobeEdge) return;
    if (strobeLow) {
        latched_ = AddressNow(env);
        latchedWrite_ = Level(env, kPv) == 1;
        strobe_.Start(env.NowUs());
        return;
    }
    if (!strobe_.Running()) return;
    const uint64_t width = strobe_.Stop(env.NowUs());
    if (strobes_.size() < kStrobeLog)
        strobes_.push_back({latched_, latchedWrite_, width, Volts(env, kEdit), clocks_, Level(env, kSdin) == 1});
    clocks_ = 0;
    if (latchedWrite_) {
        Write(env, latched_, width);
    } else {
        Load(latched_);
    }
}

ChipDrive GalChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    if (!EditMode(env)) return logic_.Output([this](uint32_t n) { return Cell(n); }, InputLevels(env), ChipPinAt(socketPin));
    if (ChipPinAt(socketPin) != kSdout || !EditMode(env) || Level(env, kPv) != 0 || shift_.empty())
        return ChipDrive::None;
    return shift_[0] ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
