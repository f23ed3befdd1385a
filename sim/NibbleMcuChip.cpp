#include "sim/NibbleMcuChip.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr int kAddress[10] = {5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
// D0 is on socket pin 33 and D7 on 26: the part's data lines meet the
// logic's data bits in reverse order (the logic's bit 0 reaches D7).
constexpr int kData[8] = {33, 32, 31, 30, 29, 28, 27, 26};
// In the lock check the part reports its lock on D2, the line that reaches
// the logic's status bit 5.
constexpr int kLockLine = 2;
constexpr int kModeLines[3] = {38, 39, 40};
constexpr int kOutputEnable = 36, kProgram = 37, kReady = 41, kVppPin = 35, kVccPin = 44;
constexpr uint8_t kMemoryMode = 6, kLockMode = 4, kCheckMode = 5;

} // namespace

NibbleMcuChip::NibbleMcuChip(const NibbleMcuFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(40);
    cells_.assign(facts_.words, 0xFF);
}

ChipPinLimits NibbleMcuChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(kVppPin, facts_.vppLimitTenths);
    return l;
}

uint32_t NibbleMcuChip::Address(const PinEnvironment& env) const {
    uint32_t a = 0;
    for (int i = 0; i < 10; ++i) a |= static_cast<uint32_t>(env.InputLevel(kAddress[i]) == 1) << i;
    return a;
}

uint8_t NibbleMcuChip::Mode(const PinEnvironment& env) const {
    uint8_t m = 0;
    for (int i = 0; i < 3; ++i) m |= static_cast<uint8_t>(env.InputLevel(kModeLines[i]) == 1) << i;
    return m;
}

ChipDrive NibbleMcuChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!facts_.vcc.Holds(env.VoltageTenths(kVccPin))) return ChipDrive::None;
    if (socketPin == kReady) return Busy(env) ? ChipDrive::Low : ChipDrive::High;
    if (env.InputLevel(kOutputEnable) != 0) return ChipDrive::None;
    int bit = -1;
    for (int i = 0; i < 8; ++i) {
        if (kData[i] == socketPin) bit = i;
    }
    if (bit < 0) return ChipDrive::None;
    const uint8_t mode = Mode(env);
    if (mode == kCheckMode) return bit == kLockLine && locked_ ? ChipDrive::Low : ChipDrive::High;
    const uint32_t a = Address(env);
    if (mode != kMemoryMode || a >= cells_.size()) return ChipDrive::None;
    return (cells_[a] >> bit & 1) != 0 ? ChipDrive::High : ChipDrive::Low;
}

void NibbleMcuChip::Pulse(const PinEnvironment& env) {
    if (Busy(env)) {
        env.Violation(facts_.name + ": /PGM pulse while RDY is low");
        return;
    }
    if (env.VoltageTenths(kVppPin) < facts_.vppMinTenths) return;
    ++pulses_;
    busyUntil_ = env.NowUs() + facts_.pulseUs;
    const uint8_t mode = Mode(env);
    if (mode == kLockMode) {
        if (++lockCount_ >= facts_.lockPulses && !neverLock_) locked_ = true;
        return;
    }
    if (mode != kMemoryMode) return;
    const uint32_t a = Address(env);
    if (a >= cells_.size()) {
        env.Violation(facts_.name + ": pulse past the array");
        return;
    }
    uint8_t d = 0;
    for (int i = 0; i < 8; ++i) d |= static_cast<uint8_t>(env.InputLevel(kData[i]) == 1) << i;
    if (++cellPulses_[a] >= facts_.cellPulses && static_cast<int64_t>(a) != stuck_) cells_[a] &= d;
}

void NibbleMcuChip::Update(const PinEnvironment& env) {
    if (!facts_.vcc.Holds(env.VoltageTenths(kVccPin))) {
        pgmLow_ = false;
        busyUntil_ = 0;
        return;
    }
    const bool low = env.InputLevel(kProgram) == 0;
    if (low && !pgmLow_) Pulse(env);
    pgmLow_ = low;
}

// ---- the parts ------------------------------------------------------------------------

void AddNibbleMcuParts(std::vector<CatalogPart>& parts) {
    // No programming datasheet was found for a part behind this handshake:
    // the pin-out, modes, pulse counts and times are those the rows use.
    NibbleMcuFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.pinCount = 40;
    f.words = 0x400;
    f.blank = 0xFF;
    f.vcc = {45, 65};
    f.vccPin = 40;
    f.gndPins = {20};
    f.note = "pin-out (data lines reversed to the logic's bits), modes, pulse counts and times assumed from the "
             "algorithm rows";
    f.followsRow = true;
    f.name = "NIBBLE-1K";
    f.cellPulses = 20; // within the forty pulses of one attempt
    parts.push_back(ChipPart<NibbleMcuChip>(f.maker, f));
    f.name = "NIBBLE-1K-B";
    f.cellPulses = 8; // within the ten pulses of one attempt
    parts.push_back(ChipPart<NibbleMcuChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddNibbleMcuParts);

} // namespace sim
