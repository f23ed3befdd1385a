#include "sim/ClockedBusMcuChip.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr std::pair<uint32_t, uint8_t> kSetupCycles[2] = {{0x1F, 0x20}, {0x18, 0x04}};

} // namespace

ClockedBusMcuChip::ClockedBusMcuChip(const ClockedBusMcuFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(facts_.words, static_cast<uint8_t>(facts_.blank));
}

ChipPinLimits ClockedBusMcuChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Pin(facts_.vppPin), facts_.vppLimitTenths);
    return l;
}

bool ClockedBusMcuChip::Working(const PinEnvironment& env) const {
    return facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin))) &&
           facts_.vpp.Holds(env.VoltageTenths(Pin(facts_.vppPin)));
}

uint8_t ClockedBusMcuChip::Bus(const PinEnvironment& env) const {
    uint8_t d = 0;
    for (int bit = 0; bit < 8; ++bit)
        d |= static_cast<uint8_t>(High(env, facts_.bus[bit])) << bit;
    return d;
}

ChipDrive ClockedBusMcuChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!driving_ || !Working(env)) return ChipDrive::None;
    const uint8_t v = cells_[address_ % cells_.size()];
    const int chipPin = ChipPinAt(socketPin);
    for (int bit = 0; bit < 8; ++bit) {
        if (facts_.bus[bit] == chipPin) return (v >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
    return ChipDrive::None;
}

void ClockedBusMcuChip::Rise(const PinEnvironment& env) {
    driving_ = false;
    if (!modeHigh_) {
        ++lowRises_;
        return;
    }
    if (refused_) return;
    const uint32_t pair = rises_ / 2;
    const bool first = rises_ % 2 == 0;
    ++rises_;
    if (pair < 2 || !first) return;
    const uint32_t cycle = (pair - 2) / 4;
    switch ((pair - 2) % 4) {
    case 0: {
        uint32_t high = 0;
        for (int bit = 0; bit < 3; ++bit)
            high |= static_cast<uint32_t>(High(env, facts_.address[bit])) << bit;
        address_ = high << 8 | Bus(env);
        break;
    }
    case 1:
        datum_ = Bus(env);
        if (cycle < 2) {
            setup_.emplace_back(address_, datum_);
            if (std::pair{address_, datum_} != kSetupCycles[cycle]) {
                env.Violation(facts_.name + ": set-up cycle " + std::to_string(cycle) + " with address " +
                              std::to_string(address_) + ", datum " + std::to_string(datum_));
                refused_ = true;
            }
        }
        break;
    default:
        break;
    }
}

void ClockedBusMcuChip::Fall() {
    if (!modeHigh_ || refused_) return;
    ++falls_;
    if (falls_ % 2 != 0) return;
    const uint32_t pair = falls_ / 2 - 1; // the pair just ended
    if (pair >= 2 && (pair - 2) % 4 == 2 && (pair - 2) / 4 >= 2) {
        driving_ = true;
        ++romReads_;
    }
}

void ClockedBusMcuChip::Update(const PinEnvironment& env) {
    const bool working = Working(env);
    if (!working) {
        if (working_) {
            working_ = modeHigh_ = refused_ = driving_ = false;
            lowRises_ = rises_ = falls_ = 0;
        }
        clockHigh_ = High(env, facts_.clockPin);
        return;
    }
    if (!working_) {
        working_ = true;
        lowRises_ = rises_ = falls_ = 0;
        modeHigh_ = High(env, facts_.modePin);
        setup_.clear();
    }
    const bool mode = High(env, facts_.modePin);
    if (mode && !modeHigh_) {
        startupPairs_ = lowRises_ / 2;
        if (startupPairs_ < facts_.startupPairs) {
            env.Violation(facts_.name + ": mode pin high after " + std::to_string(startupPairs_) +
                          " clock pairs");
            refused_ = true;
        }
        rises_ = falls_ = 0;
    }
    modeHigh_ = mode;
    const bool clock = High(env, facts_.clockPin);
    if (clock && !clockHigh_) Rise(env);
    if (!clock && clockHigh_) Fall();
    clockHigh_ = clock;
}

// ---- the parts ------------------------------------------------------------------------

void AddClockedBusMcuParts(std::vector<CatalogPart>& parts) {
    // No datasheet of a part read out this way was found: the pin-out, clock
    // sequence and set-up cycles follow the algorithm row (followsRow). A
    // 40-pin part at socket pins 5-44: VCC on pin 40, ground on 20, the
    // 10.0 V mode voltage on 31; the ROM of 2 KB.
    ClockedBusMcuFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = "CLKBUS-2K";
    f.pinCount = 40;
    f.words = 0x800;
    f.blank = 0x00;
    f.vccPin = 40;
    f.gndPins = {20};
    const int bus[8] = {32, 31, 30, 29, 28, 27, 26, 25};
    for (int i = 0; i < 8; ++i)
        f.bus[i] = bus[i] - 4;
    f.address[0] = 19 - 4;
    f.address[1] = 18 - 4;
    f.address[2] = 17 - 4;
    f.clockPin = 15 - 4;
    f.modePin = 34 - 4;
    f.vppPin = 31;
    f.note = "pin-out, clock sequence and set-up cycles taken from the algorithm row";
    f.followsRow = true;
    parts.push_back(ChipPart<ClockedBusMcuChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddClockedBusMcuParts);

} // namespace sim
