#include "sim/Gms87OtpChip.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr uint32_t kOptionBytes = 11;
constexpr uint8_t kCodeProtect = 0x04; // in option byte 10

} // namespace

Gms87OtpChip::Gms87OtpChip(const Gms87OtpFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(0x10000, static_cast<uint8_t>(facts_.blank));
}

ChipPinLimits Gms87OtpChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Pin(facts_.vppPin), facts_.vppLimitTenths);
    return l;
}

bool Gms87OtpChip::InMode(const PinEnvironment& env) const {
    return facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin))) && env.HeldLow(Pin(facts_.modePin)) &&
           env.VoltageTenths(Pin(facts_.vppPin)) >= facts_.vppMinTenths;
}

bool Gms87OtpChip::HasCell(uint32_t a) const {
    if (a >= 0x10000 - facts_.codeBytes && a <= 0xFFFF) return true;
    for (uint32_t i = 0; i < kOptionBytes; ++i)
        if (a == OptionAddress(i)) return true;
    return false;
}

uint8_t Gms87OtpChip::ReadCell(uint32_t a) const {
    if (!HasCell(a)) return static_cast<uint8_t>(facts_.blank);
    const bool code = a >= 0x10000 - facts_.codeBytes;
    if (code && (OptionByte(10) & kCodeProtect) != 0) return 0xFF;
    return cells_[a];
}

ChipDrive Gms87OtpChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!strobeHigh_ || pulsing_ || !InMode(env) || !High(env, facts_.readEnablePin) || High(env, facts_.latchPin))
        return ChipDrive::None;
    const int chipPin = ChipPinAt(socketPin);
    for (int bit = 0; bit < 8; ++bit) {
        if (facts_.bus[bit] == chipPin) return (ReadCell(address_) >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
    return ChipDrive::None;
}

void Gms87OtpChip::EndPulse(const PinEnvironment& env) {
    pulsing_ = false;
    const uint64_t width = env.NowUs() - pulseStart_;
    if (width < facts_.minPulseUs) {
        env.Violation(facts_.name + ": programming pulse of " + std::to_string(width) + " us");
        return;
    }
    ++pulses_;
    const uint32_t n = ++pulsesAt_[address_];
    if (static_cast<int>(address_) == stuck_) return;
    auto took = took_.find(address_);
    if (took != took_.end()) {
        took->second.overUs += width;
        cells_[address_] |= data_;
        return;
    }
    auto need = needed_.find(address_);
    if (need != needed_.end() && static_cast<int>(n) < need->second) return;
    cells_[address_] |= data_;
    took_[address_].pulses = n;
}

uint32_t Gms87OtpChip::WeakCells() const {
    if (facts_.overprogramFactor == 0) return 0;
    uint32_t weak = 0;
    for (const auto& [a, t] : took_)
        if (t.overUs < uint64_t{facts_.overprogramFactor} * t.pulses * facts_.minPulseUs) ++weak;
    return weak;
}

void Gms87OtpChip::Update(const PinEnvironment& env) {
    if (!InMode(env)) {
        strobeHigh_ = pulsing_ = false;
        address_ = 0;
        return;
    }
    const bool strobe = High(env, facts_.strobePin);
    const bool readEnable = High(env, facts_.readEnablePin);
    const bool latch = High(env, facts_.latchPin);
    if (pulsing_ && strobe && (!readEnable || !latch)) {
        env.Violation(facts_.name + ": read-enable or latch-select fell inside a programming pulse");
        pulsing_ = false;
    }
    if (strobe && !strobeHigh_ && readEnable && latch) {
        if (!HasCell(address_)) env.Violation(facts_.name + ": programming pulse at " + std::to_string(address_));
        uint8_t d = 0;
        for (int bit = 0; bit < 8; ++bit) d |= static_cast<uint8_t>(High(env, facts_.bus[bit])) << bit;
        data_ = d;
        pulsing_ = HasCell(address_);
        pulseStart_ = env.NowUs();
    } else if (!strobe && strobeHigh_) {
        if (pulsing_) {
            EndPulse(env);
        } else if (!readEnable) {
            uint32_t b = 0;
            for (int bit = 0; bit < 8; ++bit) b |= static_cast<uint32_t>(High(env, facts_.bus[bit])) << bit;
            if (latch) {
                address_ = (address_ & 0xFF00) | b;
            } else {
                address_ = (address_ & 0x00FF) | b << 8;
                ++highLoads_;
            }
        }
    }
    strobeHigh_ = strobe;
}

// ---- the parts ------------------------------------------------------------------------

namespace {

// No programming datasheet was found. The pin-out is the one the row's two
// socket layouts and the library's packages for them agree on: VSS on pin 1,
// the programming voltage on pin 4, VDD on the last pin, bus bits 4-7 on pins
// 5-8, the mode pin, read-enable and latch-select on pins 10-12, the strobe on
// the first pin of the second row, bus bits 0-3 on the four pins before the
// last four.
Gms87OtpFacts Part(const char* name, int pins) {
    Gms87OtpFacts f;
    f.maker = "LG-SEMICON";
    f.name = name;
    f.pinCount = pins;
    f.words = 0x10000;
    f.blank = 0x00;
    f.vcc = {27, 60};
    f.vccPin = pins;
    f.gndPins = {1};
    f.vppPin = 4;
    const int low = pins - 7;
    const int bus[8] = {low, low + 1, low + 2, low + 3, 5, 6, 7, 8};
    for (int i = 0; i < 8; ++i) f.bus[i] = bus[i];
    f.modePin = 10;
    f.readEnablePin = 11;
    f.latchPin = 12;
    f.strobePin = pins / 2 + 1;
    f.codeBytes = 0x800;
    f.note = "pin-out, programming voltage window, pulse width and the code-protect read-out assumed from the "
             "algorithm row and the library's packages";
    f.followsRow = true;
    return f;
}

} // namespace

void AddGms87OtpParts(std::vector<CatalogPart>& parts) {
    for (const Gms87OtpFacts& f :
         {Part("GMS87C1202", 24), Part("GMS87C1202-SOP", 24), Part("GMS87C1202-SOP28", 28)})
        parts.push_back(ChipPart<Gms87OtpChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddGms87OtpParts);

} // namespace sim
