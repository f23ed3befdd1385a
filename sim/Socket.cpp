#include "sim/Socket.h"

#include <algorithm>

namespace sim {

int PinEnvironment::InputLevel(int socketPin) const {
    const PinCondition c = Condition(socketPin);
    if (c.grounded) return 0;
    if (c.supplyTenths >= 0) return c.supplyTenths >= kHighThresholdTenths ? 1 : 0;
    if (c.driven) return c.drivenHigh ? 1 : 0;
    if (c.pull == Pull::Up) return 1;
    if (c.pull == Pull::Down) return 0;
    return FloatingLevel();
}

int PinEnvironment::VoltageTenths(int socketPin) const {
    const PinCondition c = Condition(socketPin);
    if (c.grounded) return 0;
    if (c.supplyTenths >= 0) return c.supplyTenths;
    if (c.driven) return c.drivenHigh ? kLogicHighTenths : 0;
    return -1;
}

bool PinEnvironment::HeldLow(int socketPin) const {
    const int v = VoltageTenths(socketPin);
    return v >= 0 && v < kHighThresholdTenths;
}

bool PinEnvironment::HeldHigh(int socketPin) const { return VoltageTenths(socketPin) >= kHighThresholdTenths; }

int ChipModel::ChipPinAt(int socketPin) const {
    if (socketPin < 1 || socketPin > kSocketPins) return 0;
    const auto& pins = SocketPins();
    for (size_t i = 0; i < pins.size(); ++i) {
        if (pins[i] == socketPin) return static_cast<int>(i) + 1;
    }
    return 0;
}

std::vector<int> DipSocketPins(int pinCount, int rowsUp) {
    std::vector<int> pins;
    if (pinCount < 2 || pinCount > kSocketPins || pinCount % 2 != 0) return pins;
    const int half = pinCount / 2;
    const int offset = (kSocketPins - pinCount) / 2;
    for (int n = 1; n <= pinCount; ++n) {
        int z = n <= half ? n + offset - rowsUp : n + offset + rowsUp;
        // A chip raised past the top of the socket hangs out of it.
        if (n <= half && z < 1) z = 0;
        if (n > half && z > kSocketPins) z = 0;
        pins.push_back(z);
    }
    return pins;
}

void Socket::Remove(const ChipModel* chip) {
    chips_.erase(std::remove_if(chips_.begin(), chips_.end(), [&](const auto& c) { return c.get() == chip; }),
                 chips_.end());
}

bool Socket::Occupied(int socketPin) const {
    for (const auto& c : chips_) {
        if (c->ChipPinAt(socketPin) != 0) return true;
    }
    return false;
}

void Socket::Update(const PinEnvironment& env) {
    for (const auto& c : chips_) c->Update(env);
}

ChipDrive Socket::Output(const PinEnvironment& env, int socketPin) const {
    ChipDrive strong = ChipDrive::None;
    ChipDrive weak = ChipDrive::None;
    bool weakConflict = false;
    for (const auto& c : chips_) {
        if (c->ChipPinAt(socketPin) == 0) continue;
        const ChipDrive d = c->Output(env, socketPin);
        if (d == ChipDrive::Low || d == ChipDrive::High) {
            if (strong != ChipDrive::None && strong != d) {
                env.Violation("chips drive socket pin " + std::to_string(socketPin) + " against each other");
            }
            strong = d;
        } else if (d == ChipDrive::WeakLow || d == ChipDrive::WeakHigh) {
            if (weak != ChipDrive::None && weak != d) weakConflict = true;
            weak = d;
        }
    }
    if (strong != ChipDrive::None) return strong;
    return weakConflict ? ChipDrive::None : weak;
}

} // namespace sim
