#include "sim/GalChip.h"

#include <algorithm>
#include <limits>

namespace sim {

namespace {

// Chip pins of the 16V8 and 20V8 maps (parallel row address).
constexpr GalRowLayout kPins16V8{20, 2, 8, 9, 11, 12, 19, 20, 10, 0, {18, 3, 4, 5, 6, 7}};
constexpr GalRowLayout kPins20V8{24, 2, 10, 11, 13, 15, 22, 24, 12, 0, {21, 3, 4, 5, 8, 9}};

const GalRowLayout& PinsOf(const GalPartFacts& p) {
    if (p.rows != nullptr) return *p.rows;
    return p.map == GalMap::Gal16V8 ? kPins16V8 : kPins20V8;
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

// Cells past the JEDEC map: a UES row longer than the map's UES, then the
// OR row.
uint32_t MapEnd(const GalPartFacts& p) {
    if (p.rows == nullptr) return p.fuses;
    return std::max(p.fuses, p.rows->uesFuse + static_cast<uint32_t>(std::max(p.rows->uesCells, 0)));
}
uint32_t OrRowCells(const GalPartFacts& p) {
    if (!p.orRow) return 0;
    return p.rows != nullptr ? static_cast<uint32_t>(p.rows->rowBits) : kRowBits;
}
// Live-last-bit parts keep five address bits, the others six.
size_t AddressBits(const GalPartFacts& p) { return p.liveLastBit ? 5 : 6; }

} // namespace

GalChip::GalChip(const GalPartFacts& part)
    : CellArrayChip(part.name, PinsOf(part).pinCount, MapEnd(part) + OrRowCells(part), PinsOf(part).vcc,
                    {PinsOf(part).gnd}),
      part_(part), orRowBase_(MapEnd(part)), sdoutSocket_(SocketOf(PinsOf(part).sdout)) {
    AllowPin(PinsOf(part).edit, kEditMaxTenths);
    SetMinimumVcc(part.minVccTenths);
    if (part.rows != nullptr) {
        addr_.assign(AddressBits(part), 0);
        data_.assign(static_cast<size_t>(part.rows->rowBits), 0);
        arch_.assign(static_cast<size_t>(part.rows->archBits), 0);
    }
}

uint32_t GalChip::ArchitectureFuse(int i) const {
    if (part_.rows != nullptr) return part_.rows->archFuse(i);
    const uint32_t f = part_.layout == GalArchLayout::Early16V8 ? FuseInLayout(kEarlyLayout, i)
                                                                 : FuseInLayout(kLateLayout, i);
    return part_.map == GalMap::Gal20V8 ? f + k20V8Offset : f;
}

int GalChip::CellAtPlace(int address, int bit) const {
    const Row row = RowAt(address);
    if (bit < 0 || static_cast<size_t>(bit) >= row.fuses.size()) return -1;
    const uint32_t f = row.fuses[static_cast<size_t>(bit)];
    return f == kNoFuse ? -1 : Cell(f);
}

int GalChip::IdBit(int i) const {
    if (i < 0) return 0;
    // Another part's identification: another maker's code (bit 6 flipped),
    // or the text's first character with bit 0 flipped.
    const bool another = AnswersAnotherIdentity();
    const uint8_t maker = static_cast<uint8_t>(part_.makerCode ^ (another ? 0x40 : 0));
    switch (part_.idKind) {
    case GalIdKind::Signature: {
        if (i >= kIdBits) return 0;
        const uint8_t bytes[8] = {0, part_.voltageCode, part_.typeCode, maker, 0, 0, 0, 0};
        return (bytes[i / 8] >> (i % 8)) & 1;
    }
    case GalIdKind::Extended: {
        const GalExtendedId& x = part_.extended;
        const uint64_t id = static_cast<uint64_t>(x.supplyCode) << 8 | static_cast<uint64_t>(part_.typeCode) << 16 |
                            static_cast<uint64_t>(maker) << 24 | static_cast<uint64_t>(x.strobeCode & 3) << 32 |
                            static_cast<uint64_t>(x.eraseCode & 7) << 34 | static_cast<uint64_t>(x.programCode & 15) << 37 |
                            static_cast<uint64_t>(x.programVolt & 31) << 41 | static_cast<uint64_t>(x.readVolt & 31) << 46;
        return i < kIdBits ? static_cast<int>((id >> i) & 1) : 0;
    }
    case GalIdKind::Text:
        if (part_.idText == nullptr || i / 8 >= part_.idLength) return 0;
        return ((static_cast<uint8_t>(part_.idText[part_.idLength - 1 - i / 8]) >> (i % 8)) & 1) ^
               (another && i == 8 * (part_.idLength - 1) ? 1 : 0);
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
    return Volts(env, PinsOf(part_).edit) >= kEditModeTenths;
}

bool GalChip::SelectedArchitecture(const PinEnvironment& env) const {
    const GalRowLayout& pins = PinsOf(part_);
    return pins.archSelect != 0 && Level(env, pins.archSelect) == 1;
}

int GalChip::AddressNow(const PinEnvironment& env) const {
    const GalRowLayout& pins = PinsOf(part_);
    int a = 0;
    if (pins.ra[0] != 0) {
        for (int b = 0; b < 6; ++b) a |= Level(env, pins.ra[b]) << b;
        return a;
    }
    if (SelectedArchitecture(env)) return kArchRowAddress;
    if (part_.liveLastBit) {
        for (size_t k = 0; k < addr_.size(); ++k) a |= addr_[k] << (5 - k);
        return a | Level(env, pins.sdin);
    }
    for (size_t k = 0; k < addr_.size(); ++k) a |= addr_[k] << k;
    return a;
}

bool GalChip::ErasePattern(const PinEnvironment& env) const {
    const GalRowLayout& pins = PinsOf(part_);
    for (int p : pins.eraseHigh) {
        if (p != 0 && Level(env, p) != 1) return false;
    }
    for (int p : pins.eraseLow) {
        if (p != 0 && Level(env, p) != 0) return false;
    }
    return true;
}

GalChip::Row GalChip::RowAt(int address) const {
    Row row;
    if (const GalRowLayout* l = part_.rows) {
        if (address >= 0 && address < static_cast<int>(l->rows)) {
            row.array = true;
            for (int b = 0; b < l->rowBits; ++b)
                row.fuses.push_back(l->arrayFuse(static_cast<uint32_t>(address), static_cast<uint32_t>(b)));
        } else if (address == l->uesAddress) {
            for (int p = 0; p < l->rowBits; ++p) {
                const int k = p - l->uesFirst;
                row.fuses.push_back(k >= 0 && k < l->uesCells ? l->uesFuse + static_cast<uint32_t>(k) : kNoFuse);
            }
        } else if (address == kArchRowAddress || address == l->archAddress) {
            row.array = l->secureHidesArchitecture;
            for (int k = 0; k < l->archBits; ++k) row.fuses.push_back(ArchitectureFuse(k));
        } else if (address == kPowerDownRow && part_.powerDownCell) {
            row.fuses.push_back(kPowerDownFuse);
        } else if (address == kOrRow && part_.orRow) {
            for (int i = 0; i < l->rowBits; ++i) row.fuses.push_back(orRowBase_ + static_cast<uint32_t>(i));
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
    std::vector<uint8_t> bits;
    if (address == kIdRow) {
        const int n = part_.rows != nullptr ? part_.rows->idBits : kIdBits;
        for (int i = 0; i < n; ++i) bits.push_back(static_cast<uint8_t>(IdBit(i)));
    } else {
        const Row row = RowAt(address);
        for (uint32_t f : row.fuses) {
            const int bit = f == kNoFuse ? 0 : (row.array && Secured()) ? 1 : Cell(f);
            bits.push_back(static_cast<uint8_t>(bit));
        }
    }
    if (part_.rows == nullptr) {
        shift_ = std::move(bits);
        return;
    }
    std::vector<uint8_t>& reg = address == kArchRowAddress ? arch_ : data_;
    for (size_t i = 0; i < reg.size(); ++i) reg[i] = i < bits.size() ? bits[i] : 0;
}

void GalChip::ClockRows(const PinEnvironment& env, uint8_t in) {
    const bool arch = SelectedArchitecture(env);
    uint8_t bit = in;
    if (PinsOf(part_).ra[0] == 0 && (!arch || part_.rows->archBehindAddress)) {
        addr_.push_back(in);
        bit = addr_.front();
        addr_.pop_front();
    }
    std::vector<uint8_t>& reg = arch ? arch_ : data_;
    if (reg.empty()) return;
    reg.erase(reg.begin());
    reg.push_back(bit);
}

std::vector<uint8_t> GalChip::RegisterBits(int address, size_t n) const {
    std::vector<uint8_t> bits(n, 1);
    if (address == kArchRowAddress) {
        // Live-last-bit parts: the last bit is SDIN at the strobe.
        const size_t from = part_.liveLastBit ? 1 : 0;
        for (size_t k = 0; k < n; ++k) {
            const size_t at = k + from;
            bits[k] = at < arch_.size() ? arch_[at] : static_cast<uint8_t>(latchedData_);
        }
        return bits;
    }
    const size_t skip = data_.size() > n ? data_.size() - n : 0;
    for (size_t k = 0; k < n && skip + k < data_.size(); ++k) bits[k] = data_[skip + k];
    return bits;
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
    const GalRowLayout& pins = PinsOf(part_);
    if (part_.programVccTenths != 0 && !Within(Volts(env, pins.vcc), part_.programVccTenths, kVccWindowTenths)) return;
    const bool patternErase = pins.eraseHigh[0] != 0;
    const bool erase = patternErase ? ErasePattern(env) : address == kEraseRow;
    if (erase) {
        const bool dataOk = patternErase || !part_.eraseNeedsDataHigh || latchedData_ == 1;
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
    if (address == kPowerDownRow && part_.powerDownCell) {
        WriteCell(row.fuses[0], 0);
        return;
    }
    if (part_.clockHeldWrite && !latchedClock_) return;
    const std::vector<uint8_t> bits =
        part_.rows != nullptr ? RegisterBits(address, row.fuses.size()) : Shifted(row.fuses.size(), 0, false, 0);
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
    const GalRowLayout& pins = PinsOf(part_);
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
        if (part_.rows != nullptr) {
            ClockRows(env, in);
        } else if (!shift_.empty()) {
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

void GalChip::PoweredOutputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    if (part_.map == GalMap::Gal16V8 && !EditMode(env)) {
        const Gal16V8Logic::PinLevels in = InputLevels(env);
        const uint8_t* map = ChipPinMap();
        for (size_t i = 0; i < n; ++i) {
            const int chipPin = ChipPinAt(map, socketPins[i]);
            out[i] = chipPin != 0 ? logic_.Output([this](uint32_t c) { return Cell(c); }, in, chipPin) : ChipDrive::None;
        }
        return;
    }
    // Only SDOUT drives, and only in edit mode: its drive is worked out once.
    const int sdout = sdoutSocket_;
    ChipDrive drive = ChipDrive::None;
    bool known = false;
    for (size_t i = 0; i < n; ++i) {
        out[i] = ChipDrive::None;
        if (sdout == 0 || socketPins[i] != sdout) continue;
        if (!known) drive = SdoutDrive(env);
        known = true;
        out[i] = drive;
    }
}

ChipDrive GalChip::SdoutDrive(const PinEnvironment& env) const {
    if (!EditMode(env)) return ChipDrive::None;
    const std::vector<uint8_t>& reg = part_.rows == nullptr ? shift_ : SelectedArchitecture(env) ? arch_ : data_;
    if (reg.empty()) return ChipDrive::None;
    return reg[0] ? ChipDrive::High : ChipDrive::Low;
}

ChipDrive GalChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    if (part_.map == GalMap::Gal16V8 && !EditMode(env))
        return logic_.Output([this](uint32_t n) { return Cell(n); }, InputLevels(env), ChipPinAt(socketPin));
    if (ChipPinAt(socketPin) != PinsOf(part_).sdout) return ChipDrive::None;
    return SdoutDrive(env);
}

} // namespace sim
