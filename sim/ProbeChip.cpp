#include "sim/ProbeChip.h"

namespace sim {

ProbeChip::ProbeChip(std::vector<int> socketPins, std::set<int> noConnect, std::string name)
    : pins_(std::move(socketPins)), noConnect_(std::move(noConnect)), name_(std::move(name)) {}

ChipDrive ProbeChip::Output(const PinEnvironment& env, int socketPin) const { return DiodeNetworkOutput(env, socketPin); }

ChipDrive ProbeChip::DiodeNetworkOutput(const PinEnvironment& env, int socketPin) const {
    const int self = ChipPinAt(socketPin);
    if (self == 0 || noConnect_.count(self) || highSideOnly_.count(self)) return ChipDrive::None;
    bool low = false;
    bool high = false;
    for (size_t i = 0; i < pins_.size(); ++i) {
        const int chipPin = static_cast<int>(i) + 1;
        const int z = pins_[i];
        if (chipPin == self || z == 0 || noConnect_.count(chipPin)) continue;
        if (env.HeldLow(z) && !highSideOnly_.count(chipPin)) {
            low = true;
            break;
        }
        if (env.HeldHigh(z)) high = true;
    }
    if (low) return ChipDrive::WeakLow;
    if (high) return ChipDrive::WeakHigh;
    return ChipDrive::None;
}

} // namespace sim
