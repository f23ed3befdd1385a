#include "sim/SecurityEpromChip.h"

namespace sim {

SecurityEpromChip::SecurityEpromChip(const SecurityEpromConfig& config)
    : EpromChip(config), pins_(config.security) {}

int SecurityEpromChip::S(int chipPin) const {
    const std::vector<int>& seats = SocketPins();
    return chipPin >= 1 && chipPin <= static_cast<int>(seats.size()) ? seats[static_cast<size_t>(chipPin - 1)]
                                                                     : 0;
}

bool SecurityEpromChip::TestCondition(const PinEnvironment& env) const {
    if (!Config().vcc.Holds(env.VoltageTenths(S(Config().vccPin)))) return false;
    if (env.VoltageTenths(S(pins_.testPin)) < Config().vpp.minTenths) return false;
    for (int p : pins_.low) {
        if (env.InputLevel(S(p)) != 0) return false;
    }
    return true;
}

void SecurityEpromChip::Update(const PinEnvironment& env) {
    EpromChip::Update(env);
    const int z = S(pins_.securityPin);
    const bool powered = Config().vcc.Holds(env.VoltageTenths(S(Config().vccPin)));
    const bool low = powered && env.InputLevel(z) == 0;
    const bool atVpp = env.VoltageTenths(S(Config().vppPin)) >= Config().vpp.minTenths &&
                       env.VoltageTenths(S(pins_.testPin)) >= Config().vpp.minTenths;
    if (low && !securityLow_) {
        lowSince_ = env.NowUs();
        // The address and the other data bits are taken as the pin falls.
        uint32_t address = 0, data = 0;
        const auto& a = Config().addressPins;
        for (size_t i = 0; i < a.size(); ++i)
            address |= static_cast<uint32_t>(env.InputLevel(S(a[i])) == 1) << i;
        const auto& d = Config().dataPins;
        for (size_t i = 0; i + 1 < d.size(); ++i)
            data |= static_cast<uint32_t>(env.InputLevel(S(d[i])) == 1) << i;
        writeArmed_ = atVpp && address == 0x1DFF && data == 0x7C;
    } else if (!low && securityLow_ && powered) {
        if (writeArmed_ && atVpp && env.NowUs() - lowSince_ >= 1000) {
            ++writes_;
            if (!refused_) secured_ = true;
        }
        writeArmed_ = false;
    }
    if (!atVpp) writeArmed_ = false;
    securityLow_ = low;
}

ChipDrive SecurityEpromChip::Patch(const PinEnvironment& env, int socketPin, ChipDrive d) const {
    if (socketPin == S(pins_.securityPin) && TestCondition(env))
        return secured_ ? ChipDrive::Low : ChipDrive::None;
    return secured_ ? ChipDrive::None : d;
}

ChipDrive SecurityEpromChip::Output(const PinEnvironment& env, int socketPin) const {
    return Patch(env, socketPin, EpromChip::Output(env, socketPin));
}

void SecurityEpromChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n,
                                ChipDrive* out) const {
    EpromChip::Outputs(env, socketPins, n, out);
    for (size_t i = 0; i < n; ++i)
        out[i] = Patch(env, socketPins[i], out[i]);
}

} // namespace sim
