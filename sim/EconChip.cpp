#include "sim/EconChip.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr uint32_t kEconMaker = 0x1E, kEconDevice = 0x1F, kEconRegister = 0x20;
constexpr uint8_t kEconSecurity = 0x20;
constexpr uint32_t kFrameEdges = 10;
constexpr uint32_t kEntryClocks = 10;

} // namespace

EconChip::EconChip(const EconFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(facts_.codeBytes + 9, static_cast<uint8_t>(facts_.blank));
}

ChipPinLimits EconChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Pin(facts_.vppPin), facts_.vppLimitTenths);
    return l;
}

bool EconChip::Powered(const PinEnvironment& env) const {
    return facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin)));
}

bool EconChip::VppOn(const PinEnvironment& env) const {
    return env.VoltageTenths(Pin(facts_.vppPin)) >= facts_.vppMinTenths;
}

int EconChip::ConfigCell(uint32_t a) const {
    if (a == kEconRegister) return static_cast<int>(facts_.codeBytes);
    if (a < 8) return static_cast<int>(facts_.codeBytes + 1 + a);
    return -1;
}

// The configuration cells and the signature; the code and the
// configuration bytes read 00h on a secured part.
uint8_t EconChip::ReadTarget(int cell) const {
    if (cell < 0 || static_cast<size_t>(cell) >= cells_.size()) return 0;
    if (static_cast<uint32_t>(cell) != facts_.codeBytes && (Econ() & kEconSecurity) != 0) return 0;
    return cells_[static_cast<size_t>(cell)];
}

// Another part's device code differs in bit 0 and is never 00h, which
// reads as no code at all.
uint8_t EconChip::DeviceCode() const {
    const uint8_t own = static_cast<uint8_t>(facts_.deviceCode < 0 ? 0 : facts_.deviceCode);
    if (!AnswersAnotherIdentity()) return own;
    const uint8_t other = static_cast<uint8_t>(own ^ 0x01);
    return other != 0 ? other : 0x02;
}

ChipDrive EconChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!entered_ || !Powered(env) || ChipPinAt(socketPin) != facts_.dataOutPin) return ChipDrive::None;
    return level_ ? ChipDrive::High : ChipDrive::Low;
}

void EconChip::Leave() {
    entered_ = false;
    entryClocks_ = edge_ = counter_ = pulsesHere_ = 0;
    target_ = -1;
    level_ = pulseHigh_ = false;
}

void EconChip::EndFrame(const PinEnvironment& env) {
    data_ = dataBits_;
    pulsesHere_ = 0;
    if (High(env, facts_.configSelectPin)) {
        const uint32_t a = addressBits_;
        target_ = ConfigCell(a);
        if (a == kEconMaker) {
            out_ = static_cast<uint8_t>(facts_.makerCode < 0 ? 0 : facts_.makerCode);
            return;
        }
        if (a == kEconDevice) {
            out_ = DeviceCode();
            return;
        }
    } else {
        target_ = counter_ < facts_.codeBytes ? static_cast<int>(counter_) : -1;
        ++counter_;
    }
    out_ = ReadTarget(target_);
}

void EconChip::EndPulse(const PinEnvironment& env) {
    pulseHigh_ = false;
    const uint64_t width = env.NowUs() - pulseStart_;
    if (width < facts_.minPulseUs) {
        env.Violation(facts_.name + ": program pulse of " + std::to_string(width) + " us");
        return;
    }
    if (target_ < 0) {
        env.Violation(facts_.name + ": program pulse at no cell");
        return;
    }
    const auto cell = static_cast<uint32_t>(target_);
    ++pulsesAt_[cell];
    ++pulsesHere_;
    const bool refused = cell != facts_.codeBytes && (Econ() & kEconSecurity) != 0;
    if (!refused && target_ != stuck_ && pulsesHere_ >= facts_.pulsesToTake) cells_[cell] |= data_;
    level_ = !refused && cells_[cell] == data_ && pulsesHere_ >= facts_.pulsesToTake;
}

void EconChip::Update(const PinEnvironment& env) {
    const bool vpp = VppOn(env);
    if (!Powered(env)) {
        if (vpp && !vppSeen_) env.Violation(facts_.name + ": programming voltage without VDD");
        vppSeen_ = vpp;
        Leave();
        clockHigh_ = modeHigh_ = false;
        return;
    }
    vppSeen_ = vpp;
    const bool clock = High(env, facts_.clockPin);
    const bool mode = High(env, facts_.modePin);
    const bool pulse = High(env, facts_.pulsePin);
    const bool rising = clock && !clockHigh_;
    clockHigh_ = clock;
    if (!vpp) {
        if (pulseHigh_) env.Violation(facts_.name + ": program pulse without the programming voltage");
        Leave();
        modeHigh_ = mode;
        return;
    }
    if (!entered_) {
        if (mode && rising) ++entryClocks_;
        if (!mode && modeHigh_ && entryClocks_ >= kEntryClocks) {
            entered_ = true;
            edge_ = counter_ = 0;
            target_ = -1;
        }
        if (!mode) entryClocks_ = 0;
        modeHigh_ = mode;
        return;
    }
    modeHigh_ = mode;
    if (rising) {
        if (edge_ >= 1 && edge_ <= 8) {
            const uint32_t bit = edge_ - 1;
            dataBits_ = static_cast<uint8_t>((dataBits_ & ~(1u << bit)) | (High(env, facts_.dataInPin) ? 1u : 0u) << bit);
            addressBits_ = static_cast<uint8_t>((addressBits_ & ~(1u << bit)) |
                                                (High(env, facts_.addressDataPin) ? 1u : 0u) << bit);
        }
        if (edge_ >= 2) level_ = (out_ >> (edge_ - 2) & 1) != 0;
        if (edge_ == kFrameEdges - 1) EndFrame(env);
        edge_ = (edge_ + 1) % kFrameEdges;
    }
    if (pulse && !pulseHigh_) {
        if (edge_ != 0) env.Violation(facts_.name + ": program pulse inside a frame");
        pulseHigh_ = true;
        pulseStart_ = env.NowUs();
    } else if (!pulse && pulseHigh_) {
        EndPulse(env);
    }
}

// ---- the parts ------------------------------------------------------------------------

namespace {

// No programming datasheet of a part with this interface was found: the
// pin roles are those the row drives on a 40-pin DIP (VSS on 20, VDD on 40),
// the codes, cell layout, pulse count and voltages follow the row.
EconFacts GenericPart(const char* name, uint32_t codeBytes) {
    EconFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.pinCount = 40;
    f.words = codeBytes + 9;
    f.blank = 0x00;
    f.makerCode = 0x20;
    f.deviceCode = 0x86;
    f.vcc = {45, 60};
    f.vccPin = 40;
    f.gndPins = {20};
    f.configSelectPin = 3;
    f.vppPin = 5;
    f.dataInPin = 6;
    f.clockPin = 7;
    f.dataOutPin = 35;
    f.addressDataPin = 36;
    f.pulsePin = 37;
    f.modePin = 38;
    f.codeBytes = codeBytes;
    f.note = "no datasheet found: pin roles, codes, pulse count and voltages follow the algorithm row";
    f.followsRow = true;
    return f;
}

} // namespace

void AddEconParts(std::vector<CatalogPart>& parts) {
    for (const EconFacts& f : {GenericPart("ECON-SERIAL-4K", 0x1000), GenericPart("ECON-SERIAL-8K", 0x2000)})
        parts.push_back(ChipPart<EconChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddEconParts);

} // namespace sim
