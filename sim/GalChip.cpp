#include "sim/GalChip.h"

#include <limits>

namespace sim {

namespace {

// Chip pins of each map's edit mode; ra[] only for the parallel row address.
struct MapPins {
    int pinCount, edit, sclk, sdin, stb, sdout, pv, vcc, gnd;
    int ra[6];
    int archSelect;
};
constexpr MapPins kPins16V8{20, 2, 8, 9, 11, 12, 19, 20, 10, {18, 3, 4, 5, 6, 7}, 0};
constexpr MapPins kPins20V8{24, 2, 10, 11, 13, 15, 22, 24, 12, {21, 3, 4, 5, 8, 9}, 0};
constexpr MapPins kPins22V10{24, 2, 10, 11, 13, 14, 3, 24, 12, {0, 0, 0, 0, 0, 0}, 8};
// 22V10 bulk erase: these pins high, those low, during a write strobe.
constexpr int kEraseHigh22V10[] = {4, 6, 7, 8, 9};
constexpr int kEraseLow22V10[] = {1, 5};

const MapPins& PinsOf(GalMap m) {
    return m == GalMap::Gal16V8 ? kPins16V8 : m == GalMap::Gal20V8 ? kPins20V8 : kPins22V10;
}

constexpr int kEditModeTenths = 100;
constexpr int kEditMaxTenths = 180;
constexpr int kWindowTenths = 2;
constexpr int kVccWindowTenths = 3;
constexpr size_t kStrobeLog = 1u << 16;
constexpr size_t kHistory = 512;
constexpr uint32_t kNoFuse = std::numeric_limits<uint32_t>::max();

// Rows of every map.
constexpr int kIdRow = 58;
constexpr int kSecureRow = 61;
constexpr int kEraseRow = 63;
constexpr int kArchRowAddress = -1; // 22V10: selected by its pin
constexpr int kIdBits = 64;
// 16V8 / 20V8.
constexpr int kRowBits = 64;
constexpr int kArchRow = 60;
constexpr int kArchBits = 82;
constexpr int kOrRow = 45;
// 22V10.
constexpr uint32_t kColumns22V10 = 44;
constexpr int kColumnBits = 132;
constexpr int kUesFirstPosition = 68;
constexpr uint32_t kUes22V10 = 5828;
constexpr uint32_t kArch22V10 = 5808;
constexpr int kArchBits22V10 = 20;
constexpr int kPowerDownRow = 59;
constexpr uint32_t kPowerDownFuse = 5892;

// Architecture fields of the 16V8 fuse map (the 20V8 map is 512 higher):
// output polarity (XOR), AC1, the product-term disable bits, SYN and AC0.
enum Field : uint8_t { Xor, Ac1, Ptd, Syn, Ac0 };
constexpr uint32_t kFieldBase[5] = {2048, 2120, 2128, 2192, 2193};
constexpr uint32_t k20V8Offset = 512;

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

uint32_t Columns(GalMap m) { return m == GalMap::Gal16V8 ? 32 : 40; }

} // namespace

GalChip::GalChip(const GalPartFacts& part)
    : CellArrayChip(part.name, PinsOf(part.map).pinCount, part.fuses + (part.orRow ? kRowBits : 0),
                    PinsOf(part.map).vcc, {PinsOf(part.map).gnd}),
      part_(part) {
    AllowPin(PinsOf(part.map).edit, kEditMaxTenths);
    SetMinimumVcc(part.minVccTenths);
}

uint32_t GalChip::ArchitectureFuse(int i) const {
    if (part_.map == GalMap::Gal22V10) return kArch22V10 + static_cast<uint32_t>(i ^ 1);
    const uint32_t f = part_.layout == GalArchLayout::Early16V8 ? FuseInLayout(kEarlyLayout, i)
                                                                 : FuseInLayout(kLateLayout, i);
    return part_.map == GalMap::Gal20V8 ? f + k20V8Offset : f;
}

int GalChip::IdBit(int i) const {
    if (i < 0) return 0;
    switch (part_.idKind) {
    case GalIdKind::Signature: {
        if (i >= kIdBits) return 0;
        const uint8_t bytes[8] = {0, part_.voltageCode, part_.typeCode, part_.makerCode, 0, 0, 0, 0};
        return (bytes[i / 8] >> (i % 8)) & 1;
    }
    case GalIdKind::Extended: {
        const GalExtendedId& x = part_.extended;
        const uint64_t id = static_cast<uint64_t>(x.supplyCode) << 8 | static_cast<uint64_t>(part_.typeCode) << 16 |
                            static_cast<uint64_t>(part_.makerCode) << 24 | static_cast<uint64_t>(x.strobeCode & 3) << 32 |
                            static_cast<uint64_t>(x.eraseCode & 7) << 34 | static_cast<uint64_t>(x.programCode & 15) << 37 |
                            static_cast<uint64_t>(x.programVolt & 31) << 41 | static_cast<uint64_t>(x.readVolt & 31) << 46;
        return i < kIdBits ? static_cast<int>((id >> i) & 1) : 0;
    }
    case GalIdKind::Text:
        if (part_.idText == nullptr || i / 8 >= part_.idLength) return 0;
        return (static_cast<uint8_t>(part_.idText[part_.idLength - 1 - i / 8]) >> (i % 8)) & 1;
    }
    return 0;
}

bool GalChip::Extended() const { return part_.idKind == GalIdKind::Extended; }

int GalChip::ProgramTenths() const { return Extended() ? 50 + 5 * part_.extended.programVolt : part_.programTenths; }
int GalChip::EraseTenths() const {
    if (Extended()) return ProgramTenths();
    return part_.eraseTenths != 0 ? part_.eraseTenths : part_.programTenths;
}
uint32_t GalChip::ProgramUs() const { return Extended() ? GalExtendedProgramUs(part_.extended.programCode) : part_.pulseUs; }
uint32_t GalChip::EraseUs() const { return Extended() ? GalExtendedEraseUs(part_.extended.eraseCode) : part_.eraseUs; }
uint32_t GalChip::LoadStrobeUs() const { return Extended() ? GalExtendedStrobeUs(part_.extended.strobeCode) : 0; }

bool GalChip::EditMode(const PinEnvironment& env) const {
    return Volts(env, PinsOf(part_.map).edit) >= kEditModeTenths;
}

int GalChip::AddressNow(const PinEnvironment& env) const {
    const MapPins& pins = PinsOf(part_.map);
    int a = 0;
    if (part_.map != GalMap::Gal22V10) {
        for (int b = 0; b < 6; ++b) a |= Level(env, pins.ra[b]) << b;
        return a;
    }
    if (Level(env, pins.archSelect) == 1) return kArchRowAddress;
    if (part_.liveLastBit) {
        const std::vector<uint8_t> high = Shifted(5, 0, false, 0); // bit 5 first
        for (int k = 0; k < 5; ++k) a |= high[static_cast<size_t>(k)] << (5 - k);
        return a | Level(env, pins.sdin);
    }
    const std::vector<uint8_t> bits = Shifted(6, 0, false, 0); // bit 0 first
    for (int k = 0; k < 6; ++k) a |= bits[static_cast<size_t>(k)] << k;
    return a;
}

bool GalChip::ErasePattern(const PinEnvironment& env) const {
    for (int p : kEraseHigh22V10) {
        if (Level(env, p) != 1) return false;
    }
    for (int p : kEraseLow22V10) {
        if (Level(env, p) != 0) return false;
    }
    return true;
}

GalChip::Row GalChip::RowAt(int address) const {
    Row row;
    if (part_.map == GalMap::Gal22V10) {
        if (address >= 0 && address < static_cast<int>(kColumns22V10)) {
            row.array = true;
            for (int p = 0; p < kColumnBits; ++p)
                row.fuses.push_back(static_cast<uint32_t>(p) * kColumns22V10 + static_cast<uint32_t>(address));
        } else if (address == static_cast<int>(kColumns22V10)) {
            for (int p = 0; p < kColumnBits; ++p)
                row.fuses.push_back(p >= kUesFirstPosition ? kUes22V10 + static_cast<uint32_t>(p - kUesFirstPosition)
                                                                      : kNoFuse);
        } else if (address == kArchRowAddress) {
            for (int k = 0; k < kArchBits22V10; ++k) row.fuses.push_back(ArchitectureFuse(k));
        } else if (address == kPowerDownRow) {
            row.fuses.push_back(part_.powerDownCell ? kPowerDownFuse : kNoFuse);
        }
        return row;
    }
    const uint32_t columns = Columns(part_.map);
    if (address >= 0 && address < static_cast<int>(columns)) {
        row.array = true;
        for (int i = 0; i < kRowBits; ++i) row.fuses.push_back(static_cast<uint32_t>(i) * columns + static_cast<uint32_t>(address));
    } else if (address == static_cast<int>(columns)) {
        const uint32_t ues = columns * kRowBits + 8; // after the array and the eight XOR bits
        for (int i = 0; i < kRowBits; ++i) row.fuses.push_back(ues + static_cast<uint32_t>(i));
    } else if (address == kArchRow) {
        for (int i = 0; i < kArchBits; ++i) row.fuses.push_back(ArchitectureFuse(i));
    } else if (address == kOrRow && part_.orRow) {
        for (int i = 0; i < kRowBits; ++i) row.fuses.push_back(part_.fuses + static_cast<uint32_t>(i));
    }
    return row;
}

void GalChip::Load(int address) {
    shift_.clear();
    if (address == kIdRow) {
        const int bits = part_.map == GalMap::Gal22V10 ? kColumnBits : kIdBits;
        for (int i = 0; i < bits; ++i) shift_.push_back(static_cast<uint8_t>(IdBit(i)));
        return;
    }
    const Row row = RowAt(address);
    for (uint32_t f : row.fuses) {
        const int bit = f == kNoFuse ? 0 : (row.array && Secured()) ? 1 : Cell(f);
        shift_.push_back(static_cast<uint8_t>(bit));
    }
}

std::vector<uint8_t> GalChip::Shifted(size_t n, size_t skip, bool live, int sdin) const {
    std::vector<uint8_t> bits(n, 1);
    const size_t fromHistory = live && n > 0 ? n - 1 : n;
    for (size_t k = 0; k < fromHistory; ++k) {
        const size_t back = skip + fromHistory - k; // 1 = the newest
        if (back <= history_.size()) bits[k] = history_[history_.size() - back];
    }
    if (live && n > 0) bits[n - 1] = static_cast<uint8_t>(sdin);
    return bits;
}

void GalChip::Write(const PinEnvironment& env, int address, uint64_t widthUs) {
    const MapPins& pins = PinsOf(part_.map);
    if (part_.programVccTenths != 0 && !Within(Volts(env, pins.vcc), part_.programVccTenths, kVccWindowTenths)) return;
    const bool erase = part_.map == GalMap::Gal22V10 ? ErasePattern(env) : address == kEraseRow;
    if (erase) {
        const bool dataOk = part_.map == GalMap::Gal22V10 || !part_.eraseNeedsDataHigh || latchedData_ == 1;
        if (dataOk && EraseUs() != 0 && widthUs >= EraseUs() && Within(Volts(env, pins.edit), EraseTenths(), kWindowTenths))
            EraseAll();
        return;
    }
    if (ProgramUs() == 0 || widthUs < ProgramUs() || !Within(Volts(env, pins.edit), ProgramTenths(), kWindowTenths)) return;
    if (address == kSecureRow) {
        Secure();
        return;
    }
    const Row row = RowAt(address);
    if (row.fuses.empty()) return;
    if (address == kPowerDownRow && part_.map == GalMap::Gal22V10) {
        WriteCell(row.fuses[0], 0);
        return;
    }
    if (part_.clockHeldWrite && !latchedClock_) return;
    std::vector<uint8_t> bits;
    if (part_.map != GalMap::Gal22V10) {
        bits = Shifted(row.fuses.size(), 0, false, 0);
    } else if (address == kArchRowAddress) {
        bits = Shifted(row.fuses.size(), 0, part_.liveLastBit, latchedData_);
    } else {
        bits = Shifted(row.fuses.size(), part_.liveLastBit ? 5 : 6, false, 0);
    }
    for (size_t i = 0; i < row.fuses.size(); ++i) {
        if (row.fuses[i] != kNoFuse) WriteCell(row.fuses[i], bits[i]);
    }
}

Gal16V8Logic::PinLevels GalChip::InputLevels(const PinEnvironment& env) const {
    Gal16V8Logic::PinLevels in{};
    for (int pin = 1; pin <= 20; ++pin) in[static_cast<size_t>(pin)] = Level(env, pin);
    return in;
}

void GalChip::Update(const PinEnvironment& env) {
    // Out of edit mode a 16V8 acts as its programmed logic.
    if (part_.map == GalMap::Gal16V8 && !EditMode(env) && Powered(env))
        logic_.Update([this](uint32_t n) { return Cell(n); }, InputLevels(env));
    const MapPins& pins = PinsOf(part_.map);
    const bool strobeLow = Level(env, pins.stb) == 0;
    const bool clockHigh = Level(env, pins.sclk) == 1;
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
    if (clockRise) {
        ++clocks_;
        const auto in = static_cast<uint8_t>(Level(env, pins.sdin));
        if (!shift_.empty()) {
            shift_.erase(shift_.begin());
            shift_.push_back(in);
        }
        history_.push_back(in);
        if (history_.size() > kHistory) history_.pop_front();
    }
    if (!strobeEdge) return;
    if (strobeLow) {
        latched_ = AddressNow(env);
        latchedWrite_ = Level(env, pins.pv) == 1;
        latchedClock_ = clockHigh;
        latchedData_ = Level(env, pins.sdin);
        strobe_.Start(env.NowUs());
        return;
    }
    if (!strobe_.Running()) return;
    const uint64_t width = strobe_.Stop(env.NowUs());
    if (strobes_.size() < kStrobeLog)
        strobes_.push_back({latched_, latchedWrite_, width, Volts(env, pins.edit), clocks_, Level(env, pins.sdin) == 1,
                            latchedClock_, Volts(env, pins.vcc)});
    clocks_ = 0;
    if (latchedWrite_) {
        Write(env, latched_, width);
    } else if (latched_ == kIdRow || width >= LoadStrobeUs()) {
        Load(latched_);
    }
}

ChipDrive GalChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    if (part_.map == GalMap::Gal16V8 && !EditMode(env))
        return logic_.Output([this](uint32_t n) { return Cell(n); }, InputLevels(env), ChipPinAt(socketPin));
    if (ChipPinAt(socketPin) != PinsOf(part_.map).sdout || !EditMode(env) || shift_.empty()) return ChipDrive::None;
    return shift_[0] ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
