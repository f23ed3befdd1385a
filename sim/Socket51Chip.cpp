#include "sim/Socket51Chip.h"

#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

namespace {

constexpr int kVccMinTenths = 45;
// Above this the EA/VPP pin carries the programming voltage.
constexpr int kLogicMaxTenths = 60;

} // namespace

Socket51Chip::Socket51Chip(bool plcc, int vccChipPin, int vppChipPin, int vppLimitTenths)
    : vcc_(vccChipPin), vpp_(vppChipPin), vppLimitTenths_(vppLimitTenths) {
    for (int n = 1; n <= (plcc ? 44 : 40); ++n) pins_.push_back(n + (plcc ? 2 : 4));
}

ChipPinLimits Socket51Chip::Limits() const {
    ChipPinLimits l;
    l.chip = Facts().name;
    l.socketPins = pins_;
    if (vpp_ != 0) l.Allow(Pin(vpp_), vppLimitTenths_);
    return l;
}

int Socket51Chip::Pin(int chipPin) const {
    if (chipPin < 1 || chipPin > static_cast<int>(pins_.size())) return 0;
    return pins_[static_cast<size_t>(chipPin - 1)];
}

bool Socket51Chip::High(const PinEnvironment& env, int chipPin) const {
    return env.InputLevel(Pin(chipPin)) == 1;
}

uint32_t Socket51Chip::Bits(const PinEnvironment& env, const std::vector<int>& chipPins) const {
    uint32_t v = 0;
    for (size_t i = 0; i < chipPins.size(); ++i) v |= static_cast<uint32_t>(High(env, chipPins[i])) << i;
    return v;
}

int Socket51Chip::Vcc(const PinEnvironment& env) const { return env.VoltageTenths(Pin(vcc_)); }

bool Socket51Chip::Powered(const PinEnvironment& env) const { return Vcc(env) >= kVccMinTenths; }

int Socket51Chip::EaVoltageAfterVcc(const PinEnvironment& env, int eaChipPin) {
    const int ea = env.VoltageTenths(Pin(eaChipPin));
    if (ea > kLogicMaxTenths && !Powered(env)) {
        if (!vppEarlyReported_) env.Violation(Facts().name + ": programming voltage on EA/VPP before VCC");
        vppEarlyReported_ = true;
    } else {
        vppEarlyReported_ = false;
    }
    return ea;
}

} // namespace sim
