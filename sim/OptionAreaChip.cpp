#include "sim/OptionAreaChip.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr int kAddressPins[16] = {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
constexpr int kBytePins[4] = {21, 22, 23, 25};
constexpr int kDataPins[8] = {26, 27, 28, 29, 30, 31, 32, 33};
constexpr int kRead = 34, kProgram = 35, kModeEntry = 36, kCommand = 38, kPresent = 39;
constexpr int kStrobePin = 3, kVppPin = 4;

} // namespace

OptionAreaChip::OptionAreaChip(const OptionAreaFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(48);
    const size_t n = facts_.form == 0 ? 0x10000 : 0x20000;
    bits_.assign(n, 0);
    for (uint32_t a = 0; a < CodeBytes(); ++a) bits_[a] = 0xFF;
    const uint32_t wide = facts_.form == 0 ? 7 : 8;
    for (uint32_t r = 4; r < 4 + OptionRows(); ++r) {
        for (uint32_t i = 0; i < 16; ++i) bits_[OptionIndex(r, i)] = i <= wide ? 7 : 3;
    }
    for (uint32_t i = 0; i < (facts_.form == 0 ? 5u : 6u); ++i) bits_[GroupAIndex(i)] = i < 4 ? 0xFF : 7;
    const uint8_t byte0 = facts_.form == 0 ? 7 : 0x0F;
    const uint8_t noBit1 = facts_.variant == 1 ? 0xFD : 0xFF;
    bits_[GroupBIndex(0)] = byte0 & noBit1;
    bits_[GroupBIndex(1)] = facts_.form == 0 ? 7 : 0x0F;
    bits_[GroupBIndex(2)] = 0x0B;
    bits_[GroupBIndex(3)] = 7;
    cells_ = bits_; // erased: every bit of a cell 1
    for (size_t a = 0; a < n; ++a) {
        if (bits_[a] == 0) cells_[a] = 0xFF;
    }
}

ChipPinLimits OptionAreaChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(kStrobePin, facts_.vppLimitTenths);
    l.Allow(kVppPin, facts_.vppLimitTenths);
    return l;
}

bool OptionAreaChip::Powered(const PinEnvironment& env) const {
    return facts_.vcc.Holds(env.VoltageTenths(facts_.vccPin)) && env.HeldLow(24);
}

bool OptionAreaChip::ProgramVoltages(const PinEnvironment& env) const {
    return env.VoltageTenths(kVppPin) >= facts_.vppMinTenths &&
           env.VoltageTenths(facts_.vccPin) >= facts_.programVccMinTenths;
}

uint8_t OptionAreaChip::ReadLines(const PinEnvironment& env, const int* pins, int n) const {
    uint8_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint8_t>(env.InputLevel(pins[i]) == 1) << i;
    return v;
}

int64_t OptionAreaChip::Addressed(const PinEnvironment& env) const {
    const uint32_t lo = ReadLines(env, kAddressPins, 8), hi = ReadLines(env, kAddressPins + 8, 8);
    const uint32_t b = ReadLines(env, kBytePins, 4);
    switch (area_) {
    case Area::Code:
        if (facts_.form == 0) {
            if ((hi & 0x10) != 0 || b != 0) return -1;
            return lo | (hi & 0x0F) << 8 | (hi >> 5) << 12;
        }
        if ((hi & 0x60) != 0 || b > 3) return -1;
        return lo | (hi & 0x1F) << 8 | (hi >> 7) << 13 | b << 14;
    case Area::Rows: {
        if ((hi & 7) != 0 || (lo & ~6u) != 0) return -1;
        const uint32_t row = (hi >> 3) + ((lo & 4) != 0 ? 32 : 0);
        if (row < 4 || row >= 4 + OptionRows() || ((lo >> 1) & 1) != static_cast<uint32_t>(b >= 8)) return -1;
        return OptionIndex(row, b);
    }
    case Area::GroupA:
        if (hi != 0 || b != 0 || lo >= 6 || bits_[GroupAIndex(lo)] == 0) return -1;
        return GroupAIndex(lo);
    case Area::GroupB:
        if (hi != 0 || b != 0 || (lo & 1) != 0 || lo >= 8) return -1;
        return GroupBIndex(lo / 2);
    default:
        return -1;
    }
}

ChipDrive OptionAreaChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!inMode_ || !Low(env, kRead) || Low(env, kPresent) || Low(env, kCommand) || !Powered(env))
        return ChipDrive::None;
    int bit = -1;
    for (int i = 0; i < 8; ++i) {
        if (kDataPins[i] == socketPin) bit = i;
    }
    if (bit < 0) return ChipDrive::None;
    uint8_t v;
    if (area_ == Area::Signature) {
        if (ReadLines(env, kAddressPins, 8) != 1) return ChipDrive::None;
        v = facts_.signature;
    } else {
        const int64_t c = Addressed(env);
        if (c < 0) return ChipDrive::None;
        v = cells_[static_cast<size_t>(c)];
    }
    return (v >> bit & 1) != 0 ? ChipDrive::High : ChipDrive::Low;
}

void OptionAreaChip::Leave() {
    inMode_ = quick_ = false;
    area_ = Area::None;
    pulseCell_ = -1;
    presLow_ = pgmLow_ = modeLow_ = false;
}

void OptionAreaChip::TakeCommand(const PinEnvironment& env) {
    const uint8_t d = ReadLines(env, kDataPins, 8);
    const uint8_t a = ReadLines(env, kAddressPins, 8);
    commands_.push_back(static_cast<uint16_t>(d << 8 | a));
    if (a == 0 && (d == 1 || d == 2 || d == 4 || d == 8)) {
        area_ = d == 1 ? Area::Code : d == 2 ? Area::Rows : d == 4 ? Area::GroupB : Area::GroupA;
    } else if (a == 2 && d == 0x10) {
        area_ = Area::Signature;
    } else if (a == 4 && (d == 0x80 || d == 0)) {
        quick_ = d == 0x80;
    } else {
        env.Violation(facts_.name + ": area command " + std::to_string(d) + " at " + std::to_string(a));
    }
}

void OptionAreaChip::StartPulse(const PinEnvironment& env) {
    pulseCell_ = Addressed(env);
    if (pulseCell_ < 0) {
        env.Violation(facts_.name + ": data presented where no cell is");
        return;
    }
    pulseData_ = ReadLines(env, kDataPins, 8);
    pulseStart_ = env.NowUs();
    pulseValid_ = ProgramVoltages(env);
}

void OptionAreaChip::EndPulse(const PinEnvironment& env) {
    if (pulseCell_ < 0) return;
    const auto c = static_cast<uint32_t>(pulseCell_);
    pulseCell_ = -1;
    const uint64_t width = env.NowUs() - pulseStart_;
    ++pulses_;
    ++pulsesAt_[c];
    if (width > lastWidth_[c]) lastWidth_[c] = width;
    const bool quickPart = facts_.signature == 0xF9 || facts_.signature == 0xF3;
    uint64_t needed = facts_.slowPulseUs;
    if (area_ == Area::Code) needed = facts_.codePulseUs;
    if (area_ == Area::Rows && quickPart && quick_) needed = facts_.quickOptionPulseUs;
    if (pulseValid_ && width >= needed && static_cast<int64_t>(c) != stuck_) cells_[c] &= pulseData_;
}

void OptionAreaChip::SuppliesChanged(const PinEnvironment& env) {
    if (pulseCell_ >= 0 && !ProgramVoltages(env)) pulseValid_ = false;
    Update(env);
}

void OptionAreaChip::Update(const PinEnvironment& env) {
    if (!Powered(env)) {
        Leave();
        strobeHigh_ = false;
        return;
    }
    const bool strobe = env.VoltageTenths(kStrobePin) >= facts_.vppMinTenths;
    if (strobe && !strobeHigh_ && inMode_ && Low(env, kCommand)) TakeCommand(env);
    strobeHigh_ = strobe;

    const bool mode = Low(env, kModeEntry);
    if (mode && !modeLow_) {
        if (env.VoltageTenths(kVppPin) >= facts_.vppMinTenths && ReadLines(env, kAddressPins, 8) == 6 &&
            ReadLines(env, kAddressPins + 8, 8) == 0) {
            inMode_ = true;
        } else {
            env.Violation(facts_.name + ": mode entry without the programming voltage at address 6");
        }
    }
    modeLow_ = mode;

    const bool group = area_ == Area::GroupA || area_ == Area::GroupB;
    const bool pres = Low(env, kPresent);
    const bool pgm = Low(env, kProgram);
    if (pres && !presLow_) {
        if (!inMode_) {
            env.Violation(facts_.name + ": data presented outside the programming mode");
        } else if (!group) {
            StartPulse(env);
        }
    } else if (!pres && presLow_ && !group) {
        EndPulse(env);
    }
    if (pulseCell_ >= 0 && pres) pulseData_ = ReadLines(env, kDataPins, 8);
    if (pgm && !pgmLow_) {
        if (!inMode_ || !group || !pres) {
            env.Violation(facts_.name + ": program strobe outside a byte group's presented data");
        } else {
            StartPulse(env);
        }
    } else if (!pgm && pgmLow_ && group) {
        EndPulse(env);
    }
    presLow_ = pres;
    pgmLow_ = pgm;
    if (inMode_ && Low(env, kRead) && !pres && area_ != Area::Signature && area_ != Area::None && Addressed(env) < 0)
        env.Violation(facts_.name + ": read where no cell is");
}

// ---- the parts ------------------------------------------------------------------------

namespace {

// No programming datasheet was found for a part with this layout: the
// pin-out, the cell layouts, the area commands, the signatures and the pulse
// times are those the algorithm rows use.
OptionAreaFacts Part(const char* name, int form, int variant, uint8_t signature) {
    OptionAreaFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.form = form;
    f.variant = variant;
    f.signature = signature;
    f.pinCount = 48;
    // The buffer span of the code array and the option areas behind it.
    f.words = form == 0 ? 0x10000 : 0x20000;
    f.ownLayoutFrom = form == 0 ? 0x8000 : 0x10000;
    f.blank = 0xFF;
    f.vcc = {45, 65};
    f.vccPin = 48;
    f.gndPins = {24};
    f.note = "pin-out, cell layouts, area commands, signature and pulse times assumed from the algorithm rows";
    f.followsRow = true;
    return f;
}

} // namespace

void AddOptionAreaParts(std::vector<CatalogPart>& parts) {
    for (const OptionAreaFacts& f :
         {Part("OPTAREA-32K", 0, 0, 0xF9), Part("OPTAREA-32K-B", 0, 1, 0xF3), Part("OPTAREA-32K-S", 0, 0, 0x55),
          Part("OPTAREA-64K", 1, 0, 0xF9), Part("OPTAREA-64K-B", 1, 1, 0xF9)})
        parts.push_back(ChipPart<OptionAreaChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddOptionAreaParts);

} // namespace sim
