#include "sim/LatchedOtpChips.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

// Whether the pulse count n at a cell is enough for it (`needed` -1: never).
bool Takes(const std::map<uint32_t, int>& needed, uint32_t a, uint32_t n) {
    auto it = needed.find(a);
    if (it == needed.end()) return true;
    return it->second >= 0 && n >= static_cast<uint32_t>(it->second);
}

} // namespace

// ---- LatchBusOtpChip ------------------------------------------------------------------

LatchBusOtpChip::LatchBusOtpChip(const LatchBusOtpFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(0x10000, static_cast<uint8_t>(facts_.blank));
}

ChipPinLimits LatchBusOtpChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Pin(facts_.vppPin), facts_.vppLimitTenths);
    return l;
}

bool LatchBusOtpChip::Powered(const PinEnvironment& env) const {
    return facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin)));
}

bool LatchBusOtpChip::VppOn(const PinEnvironment& env) const {
    return facts_.vpp.Holds(env.VoltageTenths(Pin(facts_.vppPin)));
}

uint8_t LatchBusOtpChip::DataPins(const PinEnvironment& env) const {
    uint8_t d = 0;
    for (int bit = 0; bit < 8; ++bit)
        d |= static_cast<uint8_t>(High(env, facts_.data[bit])) << bit;
    return d;
}

uint8_t LatchBusOtpChip::Answer(const PinEnvironment& env) const {
    if (!High(env, facts_.modePin)) return secured_ ? facts_.securedAnswer : 0x00;
    return address_ >= facts_.codeStart ? cells_[address_ & 0xFFFF] : static_cast<uint8_t>(facts_.blank);
}

ChipDrive LatchBusOtpChip::Output(const PinEnvironment& env, int socketPin) const {
    if (High(env, facts_.readPin) || !Powered(env)) return ChipDrive::None;
    const int chipPin = ChipPinAt(socketPin);
    for (int bit = 0; bit < 8; ++bit) {
        if (facts_.data[bit] == chipPin) return (Answer(env) >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
    return ChipDrive::None;
}

void LatchBusOtpChip::SuppliesChanged(const PinEnvironment& env) {
    if (!VppOn(env)) {
        if (pulsing_) {
            env.Violation(facts_.name + ": programming voltage left during a program pulse");
            pulsing_ = false;
        }
        armed_ = false;
    }
}

void LatchBusOtpChip::EndPulse(const PinEnvironment& env) {
    pulsing_ = false;
    const uint64_t width = env.NowUs() - pulseStart_;
    if (width < facts_.minPulseUs) {
        env.Violation(facts_.name + ": program pulse of " + std::to_string(width) + " us");
        return;
    }
    if (!pulseMode_) {
        if ((address_ >> 8) != 0x60) {
            env.Violation(facts_.name + ": securing pulse without 60h in the high address latch");
            return;
        }
        secured_ = secured_ || !refuseSecuring_;
        return;
    }
    ++pulses_;
    const uint32_t n = ++pulsesAt_[address_];
    widthsAt_[address_].push_back(width);
    if (Takes(needed_, address_, n)) cells_[address_] |= data_;
}

void LatchBusOtpChip::Update(const PinEnvironment& env) {
    const bool lowLatch = High(env, facts_.lowLatchPin);
    const bool highLatch = High(env, facts_.highLatchPin);
    const bool program = High(env, facts_.programPin);
    const bool aux = High(env, facts_.auxPin);
    if (Powered(env)) {
        if (lowLatch && !lowLatchHigh_) address_ = (address_ & 0xFF00) | DataPins(env);
        if (highLatch && !highLatchHigh_) {
            address_ = (address_ & 0x00FF) | static_cast<uint32_t>(DataPins(env)) << 8;
            ++highLatches_;
        }
        // The auxiliary pin's high pulse at logic level under the programming
        // voltage enters programming.
        if (!aux && auxHigh_ && VppOn(env) && env.VoltageTenths(Pin(facts_.auxPin)) <= kLogicHighTenths)
            armed_ = true;
        if (!program && programHigh_) {
            const bool mode = High(env, facts_.modePin);
            if (!armed_ || !VppOn(env)) {
                env.Violation(facts_.name + ": program strobe outside programming");
            } else if (mode && address_ < facts_.codeStart) {
                env.Violation(facts_.name + ": program strobe at " + std::to_string(address_) +
                              ", below the code");
            } else {
                pulsing_ = true;
                pulseMode_ = mode;
                pulseStart_ = env.NowUs();
                data_ = DataPins(env);
            }
        } else if (program && !programHigh_ && pulsing_) {
            EndPulse(env);
        }
    } else {
        // The latches lose their contents with the supply.
        armed_ = pulsing_ = false;
        address_ = 0;
    }
    lowLatchHigh_ = lowLatch;
    highLatchHigh_ = highLatch;
    programHigh_ = program;
    auxHigh_ = aux;
}

// ---- SplitLatchOtpChip ----------------------------------------------------------------

SplitLatchOtpChip::SplitLatchOtpChip(const SplitLatchOtpFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(facts_.words, static_cast<uint8_t>(facts_.blank));
}

ChipPinLimits SplitLatchOtpChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Pin(facts_.vppPin), facts_.vppLimitTenths);
    for (int p : facts_.modePins)
        l.Allow(Pin(p), facts_.modeLimitTenths);
    return l;
}

bool SplitLatchOtpChip::Powered(const PinEnvironment& env) const {
    return facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin)));
}

bool SplitLatchOtpChip::InMode(const PinEnvironment& env) const {
    if (!Powered(env)) return false;
    for (int p : facts_.modePins)
        if (env.VoltageTenths(Pin(p)) < facts_.modeMinTenths) return false;
    return true;
}

uint32_t SplitLatchOtpChip::Bits(const PinEnvironment& env, const int* chipPins, int n) const {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v |= static_cast<uint32_t>(High(env, chipPins[i])) << i;
    return v;
}

ChipDrive SplitLatchOtpChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!High(env, facts_.outputEnablePin) || !InMode(env) || pulsing_) return ChipDrive::None;
    const int chipPin = ChipPinAt(socketPin);
    for (int bit = 0; bit < 8; ++bit) {
        if (facts_.data[bit] == chipPin) return (output_ >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
    return ChipDrive::None;
}

void SplitLatchOtpChip::SuppliesChanged(const PinEnvironment& env) {
    const bool vpp = facts_.vpp.Holds(env.VoltageTenths(Pin(facts_.vppPin)));
    if (vpp && !pulsing_) {
        if (!InMode(env)) {
            env.Violation(facts_.name + ": programming voltage without the mode voltages");
            return;
        }
        if (High(env, facts_.outputEnablePin)) {
            env.Violation(facts_.name + ": programming voltage while the output is enabled");
            return;
        }
        pulsing_ = true;
        pulseStart_ = env.NowUs();
    } else if (!vpp && pulsing_) {
        pulsing_ = false;
        const uint64_t width = env.NowUs() - pulseStart_;
        if (width < facts_.minPulseUs) {
            env.Violation(facts_.name + ": program pulse of " + std::to_string(width) + " us");
            return;
        }
        if (address_ >= cells_.size()) {
            env.Violation(facts_.name + ": program pulse at " + std::to_string(address_));
            return;
        }
        ++pulses_;
        const uint32_t n = ++pulsesAt_[address_];
        if (Takes(needed_, address_, n)) cells_[address_] &= data_;
    }
}

void SplitLatchOtpChip::Update(const PinEnvironment& env) {
    const bool low = High(env, facts_.lowStrobePin);
    const bool high = High(env, facts_.highStrobePin);
    const bool read = High(env, facts_.readStrobePin);
    const bool data = High(env, facts_.dataStrobePin);
    if (InMode(env)) {
        if (!low && lowHigh_) address_ = (address_ & ~0xFFu) | Bits(env, facts_.lowAddress, 8);
        if (!high && highHigh_) address_ = (address_ & 0xFFu) | Bits(env, facts_.highAddress, 5) << 8;
        if (!read && readHigh_) output_ = address_ < cells_.size() ? cells_[address_] : 0xFF;
        if (!data && dataHigh_) data_ = static_cast<uint8_t>(Bits(env, facts_.data, 8));
    }
    lowHigh_ = low;
    highHigh_ = high;
    readHigh_ = read;
    dataHigh_ = data;
}

// ---- the parts ------------------------------------------------------------------------

namespace {

// No programming datasheet of a part in this mode was found: the pin-outs
// follow the algorithm rows (followsRow); the voltages and pulse limits are
// those of the OTP parts programmed at 12.5 V with 100 us pulses.
//
// 28-pin parts at socket pins 11-38: VCC on pin 28, ground on 14, Vpp on 1.
// 40-pin parts at socket pins 5-44: VCC on pin 4, ground on 1, Vpp on 7.
LatchBusOtpFacts LatchBus(const char* name, int pins, uint32_t codeStart) {
    LatchBusOtpFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.pinCount = pins;
    f.words = 0x10000;
    f.blank = 0x00;
    f.codeStart = codeStart;
    const int off = (48 - pins) / 2;
    // Socket pins of the row's two columns.
    const int d28[8] = {18, 19, 20, 21, 28, 29, 30, 31};
    const int d40[8] = {20, 21, 22, 23, 26, 27, 28, 29};
    for (int i = 0; i < 8; ++i)
        f.data[i] = (pins == 28 ? d28[i] : d40[i]) - off;
    f.lowLatchPin = (pins == 28 ? 13 : 15) - off;
    f.highLatchPin = (pins == 28 ? 14 : 16) - off;
    f.programPin = (pins == 28 ? 36 : 34) - off;
    f.readPin = (pins == 28 ? 35 : 33) - off;
    f.auxPin = (pins == 28 ? 34 : 32) - off;
    f.modePin = (pins == 28 ? 22 : 24) - off;
    f.vccPin = pins == 28 ? 28 : 4;
    f.gndPins = {pins == 28 ? 14 : 1};
    f.vppPin = pins == 28 ? 1 : 7;
    f.vpp = {120, 130};
    f.vppLimitTenths = 135;
    f.minPulseUs = 95;
    f.note = "pin-out, latch protocol, securing mode and its answer taken from the algorithm row";
    f.followsRow = true;
    return f;
}

// 40-pin parts at socket pins 5-44 (chip pin = socket pin - 4): VCC on 4,
// ground on 1; the address shares the data pins.
SplitLatchOtpFacts SplitLatch(const char* name, uint32_t bytes) {
    SplitLatchOtpFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.pinCount = 40;
    f.words = bytes;
    f.blank = 0xFF;
    f.vccPin = 4;
    f.gndPins = {1};
    const int data[8] = {34, 7, 8, 9, 10, 11, 12, 13};
    const int high[5] = {34, 7, 8, 9, 11};
    for (int i = 0; i < 8; ++i)
        f.data[i] = f.lowAddress[i] = data[i];
    for (int i = 0; i < 5; ++i)
        f.highAddress[i] = high[i];
    f.lowStrobePin = 20;
    f.highStrobePin = 19;
    f.readStrobePin = 24;
    f.outputEnablePin = 21;
    f.dataStrobePin = 23;
    f.vppPin = 15;
    f.modePins[0] = 17;
    f.modePins[1] = 18;
    f.vpp = {120, 130};
    f.vppLimitTenths = 135;
    f.minPulseUs = 95;
    f.note = "pin-out, latch protocol and mode voltages taken from the algorithm row";
    f.followsRow = true;
    return f;
}

} // namespace

void AddLatchedOtpParts(std::vector<CatalogPart>& parts) {
    constexpr uint32_t kStarts[5] = {0xF000, 0xE000, 0xC000, 0xA000, 0x8000};
    constexpr const char* kNames28[5] = {"OTPLATCH28-4K", "OTPLATCH28-8K", "OTPLATCH28-16K", "OTPLATCH28-24K",
                                         "OTPLATCH28-32K"};
    constexpr const char* kNames40[5] = {"OTPLATCH40-4K", "OTPLATCH40-8K", "OTPLATCH40-16K", "OTPLATCH40-24K",
                                         "OTPLATCH40-32K"};
    for (int v = 0; v < 5; ++v) {
        LatchBusOtpFacts f28 = LatchBus(kNames28[v], 28, kStarts[v]);
        parts.push_back(ChipPart<LatchBusOtpChip>(f28.maker, f28));
        LatchBusOtpFacts f40 = LatchBus(kNames40[v], 40, kStarts[v]);
        parts.push_back(ChipPart<LatchBusOtpChip>(f40.maker, f40));
    }
    for (const SplitLatchOtpFacts& f : {SplitLatch("OTPSPLIT-4K", 0x1000), SplitLatch("OTPSPLIT-8K", 0x2000)})
        parts.push_back(ChipPart<SplitLatchOtpChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddLatchedOtpParts);

} // namespace sim
