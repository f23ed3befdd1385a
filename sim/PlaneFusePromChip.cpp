#include "sim/PlaneFusePromChip.h"

namespace sim {

namespace {

constexpr int kEnablePin = 3, kProgramPin = 13, kVccPin = 24, kGndPin = 12;
constexpr int kLevelTenths = 130, kLevelTolerance = 5, kRaisedTenths = 100, kMaxTenths = 135;
constexpr uint64_t kBlowUs = 1000;
constexpr uint64_t kSecureUs = 50000;
constexpr int kSecureAddress = 180;

int DataPin(int k) { return 21 - k; }

} // namespace

PlaneFusePromChip::PlaneFusePromChip(const PlaneFusePromFacts& facts)
    : BipolarFuseChip(facts.name, 24, kMapFuses + 1, kVccPin, {kGndPin}) {
    AllowPin(kEnablePin, kMaxTenths);
    AllowPin(kProgramPin, kMaxTenths);
}

int PlaneFusePromChip::Address(const PinEnvironment& env) const {
    int a = 0;
    for (int b = 0; b < 5; ++b) a |= Level(env, 7 + b) << b;
    for (int b = 0; b < 3; ++b) a |= Level(env, 4 + b) << (5 + b);
    return a;
}

void PlaneFusePromChip::Step(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    const bool powered = Powered(env);
    for (int pin : {kEnablePin, kProgramPin}) {
        if (!powered && Volts(env, pin) >= kRaisedTenths) env.Violation(Name() + ": raised pin without VCC and ground");
    }
    int pulse = 0;
    int address = Address(env);
    uint32_t data = 0;
    if (powered && Within(Volts(env, kProgramPin), kLevelTenths, kLevelTolerance)) {
        const int enable = Volts(env, kEnablePin);
        if (Within(enable, kLevelTenths, kLevelTolerance)) {
            if (address == kSecureAddress) pulse = 2;
        } else if (enable < kRaisedTenths) {
            pulse = 1;
            for (int k = 0; k < 8; ++k) data |= static_cast<uint32_t>(Level(env, DataPin(k))) << k;
        }
    }
    if (pulse == pulse_ && (pulse == 0 || (address == address_ && data == data_))) return;
    const uint64_t width = timer_.Stop(now);
    if (pulse_ == 2 && width >= kSecureUs) {
        Blow(kSecurityCell, width);
        if (Blown(kSecurityCell)) Secure();
    } else if (pulse_ == 1 && width >= kBlowUs) {
        for (int k = 0; k < 8; ++k)
            if ((data_ >> k) & 1) Blow(CellOf(address_, k), width);
    }
    pulse_ = pulse;
    address_ = address;
    data_ = data;
    if (pulse != 0) timer_.Start(now);
}

ChipDrive PlaneFusePromChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    if (chipPin < 14 || chipPin > 21 || !Within(Volts(env, kEnablePin), kLevelTenths, kLevelTolerance))
        return ChipDrive::None;
    const int k = 21 - chipPin;
    return BlownAt(Address(env), k) ? ChipDrive::Low : ChipDrive::High;
}

} // namespace sim
