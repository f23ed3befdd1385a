#include "sim/SignatureEprom.h"

namespace sim {

namespace {

struct Pinout {
    int vcc, gnd, ce, oe, a9, a0;
    int data[8];
};

Pinout PinoutFor(int pinCount) {
    switch (pinCount) {
    case 24: return {24, 12, 18, 20, 22, 8, {9, 10, 11, 13, 14, 15, 16, 17}};
    case 32: return {32, 16, 22, 24, 26, 12, {13, 14, 15, 17, 18, 19, 20, 21}};
    default: return {28, 14, 20, 22, 24, 10, {11, 12, 13, 15, 16, 17, 18, 19}};
    }
}

constexpr int kVccMinTenths = 45;
constexpr int kVccMaxTenths = 65;
constexpr int kSignatureMinTenths = 115;
constexpr int kSignatureMaxTenths = 125;
constexpr int kA9LimitTenths = 130;

} // namespace

SignatureEprom::SignatureEprom(int pinCount, uint8_t makerCode, uint8_t deviceCode, int rowsUp)
    : ProbeChip(DipSocketPins(pinCount == 24 || pinCount == 32 ? pinCount : 28, rowsUp), {},
                std::to_string(pinCount) + "-pin EPROM"),
      pinCount_(pinCount == 24 || pinCount == 32 ? pinCount : 28),
      maker_(makerCode),
      device_(deviceCode) {
    const Pinout p = PinoutFor(pinCount_);
    vcc_ = p.vcc;
    gnd_ = p.gnd;
    ce_ = p.ce;
    oe_ = p.oe;
    a9_ = p.a9;
    a0_ = p.a0;
    for (int i = 0; i < 8; ++i) data_[i] = p.data[i];
}

int SignatureEprom::At(int chipPin) const {
    const auto& pins = SocketPins();
    return chipPin >= 1 && chipPin <= static_cast<int>(pins.size()) ? pins[chipPin - 1] : 0;
}

int SignatureEprom::DataBit(int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    for (int i = 0; i < 8; ++i) {
        if (data_[i] == chipPin) return i;
    }
    return -1;
}

bool SignatureEprom::Powered(const PinEnvironment& env) const {
    if (At(vcc_) == 0 || At(gnd_) == 0) return false;
    const PinCondition v = env.Condition(At(vcc_));
    const PinCondition g = env.Condition(At(gnd_));
    return g.grounded && !v.grounded && v.supplyTenths >= kVccMinTenths && v.supplyTenths <= kVccMaxTenths;
}

void SignatureEprom::CheckA9(const PinEnvironment& env) const {
    const int a9 = At(a9_) ? env.VoltageTenths(At(a9_)) : -1;
    const bool bad = a9 > kA9LimitTenths || (a9 > kVccMaxTenths && !Powered(env));
    if (bad && !reportedOvervoltage_) {
        env.Violation(Name() + ": " + std::to_string(a9 / 10) + "." + std::to_string(a9 % 10) +
                      " V on A9" + (Powered(env) ? "" : " without supply"));
    }
    reportedOvervoltage_ = bad;
}

void SignatureEprom::Update(const PinEnvironment& env) { CheckA9(env); }

ChipDrive SignatureEprom::Output(const PinEnvironment& env, int socketPin) const {
    CheckA9(env);
    if (!Powered(env)) return DiodeNetworkOutput(env, socketPin);
    const int bit = DataBit(socketPin);
    if (bit < 0) return ChipDrive::None;
    if (env.InputLevel(At(ce_)) != 0 || env.InputLevel(At(oe_)) != 0) return ChipDrive::None;
    uint8_t value = 0xFF; // erased array
    const int a9 = env.VoltageTenths(At(a9_));
    if (a9 >= kSignatureMinTenths && a9 <= kSignatureMaxTenths) {
        value = env.InputLevel(At(a0_)) ? device_ : maker_;
    }
    return (value >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
