#include "sim/ModeLine51Chip.h"

#include <algorithm>
#include <tuple>

#include "sim/Catalog.h"
#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

namespace {

constexpr int kLogicMaxTenths = 60;

// Chip pins of the 44-pin PLCC.
constexpr int kAddress[16] = {2, 3, 4, 5, 6, 7, 8, 9, 24, 25, 26, 27, 28, 29, 16, 17};
constexpr int kData[8] = {43, 42, 41, 40, 39, 38, 37, 36};
constexpr int kMode[3] = {11, 13, 19}; // P3.0, P3.1, P3.7
constexpr int kRst = 10, kPsen = 32, kAle = 33, kEa = 35, kVcc = 44, kP27 = 31;

enum : uint32_t {
    FnSignature = 0,
    FnRead = 2,
    FnWrite = 3,
    FnLockStatus = 5,
    FnLock1 = 7,
    FnLock2 = 6,
    FnLock3 = 4,
};

} // namespace

ModeLine51Chip::ModeLine51Chip(const ModeLine51Facts& facts)
    : Socket51Chip(true, kVcc, kEa, facts.vppLimitTenths), facts_(facts) {
    address_.assign(kAddress, kAddress + 16);
    data_.assign(kData, kData + 8);
    mode_.assign(kMode, kMode + 3);
    rst_ = kRst;
    psen_ = kPsen;
    ale_ = kAle;
    ea_ = kEa;
    p27_ = kP27;
    code_.assign(std::max<uint32_t>(facts_.words, 1), 0xFF);
}

bool ModeLine51Chip::InMode(const PinEnvironment& env) const {
    return Powered(env) && High(env, rst_) && !High(env, psen_);
}

ChipDrive ModeLine51Chip::Output(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    auto it = std::find(data_.begin(), data_.end(), chipPin);
    if (it == data_.end() || !InMode(env) || pulsing_ || High(env, p27_)) return ChipDrive::None;
    const uint32_t f = Bits(env, mode_);
    const uint32_t a = Bits(env, address_);
    uint8_t v = 0;
    switch (f) {
    case FnSignature:
        v = static_cast<uint8_t>((a & 0xFF) == 0 ? facts_.makerCode : (a & 0xFF) == 1 ? facts_.deviceCode : 0xFF);
        break;
    case FnRead:
        v = (locks_ & 0x04) != 0 ? 0x00 : code_[a % static_cast<uint32_t>(code_.size())];
        break;
    case FnWrite:
        if (!facts_.marginVpp.Holds(env.VoltageTenths(Pin(ea_)))) return ChipDrive::None;
        v = (locks_ & 0x04) != 0 ? 0x00 : code_[a % static_cast<uint32_t>(code_.size())];
        break;
    case FnLockStatus:
        v = locks_;
        break;
    default:
        return ChipDrive::None;
    }
    return (v >> (it - data_.begin())) & 1 ? ChipDrive::High : ChipDrive::Low;
}

void ModeLine51Chip::Erase() {
    ++erasesSeen_;
    for (auto& [a, left] : cellErases_) left = std::max(0, left - 1);
    if (erasesNeeded_ == 0 || erasesSeen_ < erasesNeeded_) return;
    erasesSeen_ = 0;
    locks_ = 0;
    for (uint32_t a = 0; a < code_.size(); ++a) {
        auto it = cellErases_.find(a);
        if (it == cellErases_.end() || it->second == 0) code_[a] = 0xFF;
    }
}

void ModeLine51Chip::EndPulse(const PinEnvironment& env, uint64_t width) {
    ++pulsesOf_[pulseFunction_];
    if (pulseFunction_ == FnSignature) return; // nothing is written under it
    if (!facts_.vpp.Holds(pulseVpp_)) {
        env.Violation(facts_.name + ": pulse with EA/VPP at " + std::to_string(pulseVpp_) + " tenths");
        return;
    }
    if (pulseErase_) {
        if (width < facts_.eraseMinUs) {
            env.Violation(facts_.name + ": erase pulse of " + std::to_string(width) + " us");
            return;
        }
        Erase();
        return;
    }
    if (width < facts_.minPulseUs) {
        env.Violation(facts_.name + ": program pulse of " + std::to_string(width) + " us");
        return;
    }
    switch (pulseFunction_) {
    case FnLock1:
        locks_ |= static_cast<uint8_t>(0x02 & ~locksRefused_);
        return;
    case FnLock2:
        locks_ |= static_cast<uint8_t>(0x04 & ~locksRefused_);
        return;
    case FnLock3:
        locks_ |= static_cast<uint8_t>(0x08 & ~locksRefused_);
        return;
    default:
        break;
    }
    const uint32_t a = pulseAddress_ % static_cast<uint32_t>(code_.size());
    ++pulsesAt_[a];
    if ((locks_ & 0x02) != 0 || stuck_.count(a) != 0) return;
    code_[a] &= pulseData_;
}

void ModeLine51Chip::Update(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    const int ea = EaVoltageAfterVcc(env, ea_);
    if (!InMode(env)) {
        pulsing_ = false;
        strobeWasLow_ = false;
        return;
    }
    const bool strobeLow = !High(env, p27_);
    if (strobeLow && !strobeWasLow_ && Bits(env, mode_) == FnWrite && facts_.marginVpp.Holds(ea)) ++marginReads_;
    strobeWasLow_ = strobeLow;
    const bool aleLow = !High(env, ale_);
    if (aleLow && !pulsing_) {
        const uint32_t f = Bits(env, mode_);
        const bool erase = f == FnRead && Vcc(env) >= facts_.eraseVccMinTenths;
        if ((f == FnRead && !erase) || f == FnLockStatus || f == 1) {
            env.Violation(facts_.name + ": ALE/PROG pulse under function " + std::to_string(f));
            return;
        }
        if (erase) eraseVoltages_.emplace_back(Vcc(env), ea);
        pulsing_ = true;
        pulseStart_ = now;
        pulseFunction_ = f;
        pulseErase_ = erase;
        pulseAddress_ = Bits(env, address_);
        pulseData_ = static_cast<uint8_t>(Bits(env, data_));
        pulseVpp_ = ea;
    } else if (!aleLow && pulsing_) {
        pulsing_ = false;
        EndPulse(env, now - pulseStart_);
    }
}

// ---- the parts ------------------------------------------------------------------------

void AddModeLine51Parts(std::vector<CatalogPart>& parts) {
    for (auto [name, kb, device] : {std::tuple{"8051ML-44-16K", 16u, 0x16}, std::tuple{"8051ML-44-32K", 32u, 0x32}}) {
        ModeLine51Facts f;
        f.maker = "GENERIC-ALGORITHM";
        f.name = name;
        f.pinCount = 44;
        f.words = kb * 1024;
        f.makerCode = 0xDA;
        f.deviceCode = device;
        f.vccPin = 44;
        f.gndPins = {22};
        f.note = "no public datasheet of this interface was found: the mode table, identity bytes, erase and "
                 "margin voltages and the timing follow the algorithm row";
        f.followsRow = true;
        parts.push_back(ChipPart<ModeLine51Chip>(f.maker, f));
    }
}

SIM_CATALOG_FAMILY(AddModeLine51Parts);

} // namespace sim
