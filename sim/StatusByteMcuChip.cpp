#include "sim/StatusByteMcuChip.h"

#include <string>

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr int kModeArray = 0b010;  // M0 0, M1 1, M2 0
constexpr int kModeStatus = 0b011; // M0 1, M1 1, M2 0
constexpr int kModeLock = 0b110;   // M0 0, M1 1, M2 1

} // namespace

StatusByteMcuChip::StatusByteMcuChip(const StatusByteMcuFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    for (int i = 0; i < 16; ++i)
        addressSocket_[i] = Pin(facts_.address[i]);
    cells_.assign(facts_.words, static_cast<uint8_t>(facts_.blank));
    status_ = facts_.erasedStatus;
}

ChipPinLimits StatusByteMcuChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Pin(facts_.vppPin), facts_.vppLimitTenths);
    return l;
}

bool StatusByteMcuChip::Powered(const PinEnvironment& env) const {
    return facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin)));
}

bool StatusByteMcuChip::InMode(const PinEnvironment& env) const {
    return entered_ && Powered(env) && High(env, facts_.resetPin) && !High(env, facts_.psenPin);
}

bool StatusByteMcuChip::VppOn(const PinEnvironment& env) const {
    return facts_.vpp.Holds(env.VoltageTenths(Pin(facts_.vppPin)));
}

bool StatusByteMcuChip::VppAboveLogic(const PinEnvironment& env) const {
    return env.VoltageTenths(Pin(facts_.vppPin)) > facts_.vcc.maxTenths;
}

int StatusByteMcuChip::ModeBits(const PinEnvironment& env) const {
    int m = 0;
    for (int i = 0; i < 3; ++i)
        m |= static_cast<int>(High(env, facts_.modePins[i])) << i;
    return m;
}

uint32_t StatusByteMcuChip::Address(const PinEnvironment& env) const {
    return env.HighLevels(addressSocket_, 16);
}

uint8_t StatusByteMcuChip::DataPins(const PinEnvironment& env) const {
    uint8_t d = 0;
    for (int bit = 0; bit < 8; ++bit)
        d |= static_cast<uint8_t>(static_cast<int>(High(env, facts_.data[bit])) << bit);
    return d;
}

bool StatusByteMcuChip::OutputsOn(const PinEnvironment& env) const {
    if (!InMode(env) || VppAboveLogic(env)) return false;
    const int mode = ModeBits(env);
    return mode == kModeArray || (mode == kModeStatus && Address(env) == facts_.statusAddress);
}

uint8_t StatusByteMcuChip::Answer(const PinEnvironment& env) const {
    if (ModeBits(env) == kModeStatus) return status_;
    const uint32_t a = Address(env);
    return Locked() || a >= cells_.size() ? 0xFF : cells_[a];
}

ChipDrive StatusByteMcuChip::Output(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    for (int bit = 0; bit < 8; ++bit) {
        if (facts_.data[bit] != chipPin) continue;
        if (!OutputsOn(env)) return ChipDrive::None;
        return (Answer(env) >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
    return ChipDrive::None;
}

void StatusByteMcuChip::SuppliesChanged(const PinEnvironment& env) {
    if (!Powered(env)) entered_ = false;
    if (pulsing_ && (!VppOn(env) || !Powered(env))) {
        env.Violation(facts_.name + ": programming voltage left during a program pulse");
        pulsing_ = false;
    }
    // Outputs that come on with the programming pin coming down meet
    // whatever the logic driver still holds on the data pins.
    const bool on = OutputsOn(env);
    if (on && !outputsOn_) {
        const uint8_t answer = Answer(env);
        for (int bit = 0; bit < 8; ++bit) {
            const int pin = Pin(facts_.data[bit]);
            const PinCondition c = env.ConditionAt(pin);
            if (c.driven && !c.grounded && c.supplyTenths < 0 && c.drivenHigh != (((answer >> bit) & 1) != 0))
                env.Violation("socket pin " + std::to_string(pin) + ": the chip drives against the logic driver");
        }
    }
    outputsOn_ = on;
}

void StatusByteMcuChip::EndPulse(const PinEnvironment& env) {
    pulsing_ = false;
    const uint64_t width = env.NowUs() - pulseStart_;
    if (width < facts_.minPulseUs) {
        env.Violation(facts_.name + ": program pulse of " + std::to_string(width) + " us");
        return;
    }
    const uint32_t a = pulseAddress_;
    switch (pulseMode_) {
    case kModeArray:
        if (Locked()) {
            env.Violation(facts_.name + ": array write on a locked part");
        } else if (a >= cells_.size()) {
            env.Violation(facts_.name + ": program pulse at " + std::to_string(a) + ", past the array");
        } else {
            cells_[a] = pulseData_;
            ++pulses_;
            ++pulsesAt_[a];
        }
        return;
    case kModeStatus:
        if (a != facts_.statusAddress) {
            env.Violation(facts_.name + ": status write at address " + std::to_string(a));
            return;
        }
        ++statusWrites_;
        status_ = static_cast<uint8_t>(refuseUnlock_ ? pulseData_ | (status_ & 1) : pulseData_);
        return;
    case kModeLock:
        if (a != 0) {
            env.Violation(facts_.name + ": lock pulse at address " + std::to_string(a));
            return;
        }
        ++lockPulses_;
        if (!refuseLock_) status_ |= 1;
        return;
    default:
        env.Violation(facts_.name + ": program pulse with mode pins " + std::to_string(pulseMode_ & 1) + ", " +
                      std::to_string((pulseMode_ >> 1) & 1) + ", " + std::to_string((pulseMode_ >> 2) & 1));
        return;
    }
}

void StatusByteMcuChip::Update(const PinEnvironment& env) {
    const bool reset = High(env, facts_.resetPin);
    const bool program = High(env, facts_.programPin);
    if (Powered(env)) {
        if (reset && !resetHigh_) entered_ = !High(env, facts_.xtalPin);
        if (!program && programHigh_) {
            if (!InMode(env)) {
                env.Violation(facts_.name + ": program strobe outside the programming mode");
            } else if (!VppOn(env)) {
                env.Violation(facts_.name + ": program strobe at " +
                              std::to_string(env.VoltageTenths(Pin(facts_.vppPin))) +
                              " tenths of a volt on the programming pin");
            } else {
                pulsing_ = true;
                pulseStart_ = env.NowUs();
                pulseMode_ = ModeBits(env);
                pulseAddress_ = Address(env);
                pulseData_ = DataPins(env);
            }
        } else if (program && !programHigh_ && pulsing_) {
            EndPulse(env);
        }
    } else {
        entered_ = pulsing_ = false;
    }
    resetHigh_ = reset;
    programHigh_ = program;
    outputsOn_ = OutputsOn(env);
}

// ---- the parts ------------------------------------------------------------------------

namespace {

// No datasheet of a part with this programming mode, status byte and pin-out
// was found: the pin-out, mode table, status address and lock bit follow the
// algorithm row (followsRow). 40-pin DIP at socket pins 5-44 (chip pin =
// socket pin - 4): VCC on 40, ground on 20, the programming voltage on 31.
// The programming conditions are those of the 8051-type parts programmed in
// a parallel mode: 12.75 V +-0.25 V (14.0 V absolute) and pulses of 95 us or
// more.
StatusByteMcuFacts StatusByteMcu(const char* name, uint32_t bytes) {
    StatusByteMcuFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.pinCount = 40;
    f.words = bytes;
    f.width = 8;
    f.blank = 0xFF;
    f.vccPin = 40;
    f.gndPins = {20};
    auto chip = [](int socketPin) { return socketPin - 4; };
    const int address[16] = {5, 6, 7, 8, 9, 10, 11, 12, 25, 26, 27, 28, 18, 19, 20, 21};
    const int data[8] = {43, 42, 41, 40, 39, 38, 37, 36};
    for (int i = 0; i < 16; ++i)
        f.address[i] = chip(address[i]);
    for (int i = 0; i < 8; ++i)
        f.data[i] = chip(data[i]);
    f.modePins[0] = chip(30);
    f.modePins[1] = chip(31);
    f.modePins[2] = chip(32);
    f.programPin = chip(34);
    f.vppPin = chip(35);
    f.resetPin = chip(13);
    f.psenPin = chip(33);
    f.xtalPin = chip(23);
    f.vpp = {125, 130};
    f.vppLimitTenths = 140;
    f.minPulseUs = 95;
    f.note = "pin-out, mode table, status byte and lock bit taken from the algorithm row";
    f.followsRow = true;
    return f;
}

} // namespace

void AddStatusByteMcuParts(std::vector<CatalogPart>& parts) {
    for (const StatusByteMcuFacts& f : {StatusByteMcu("STATBYTE-16K", 0x4000), StatusByteMcu("STATBYTE-32K", 0x8000),
                                        StatusByteMcu("STATBYTE-64K", 0x10000)})
        parts.push_back(ChipPart<StatusByteMcuChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddStatusByteMcuParts);

} // namespace sim
