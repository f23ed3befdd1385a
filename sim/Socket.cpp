#include "sim/Socket.h"

#include <algorithm>
#include <atomic>

namespace sim {

uint64_t PinEnvironment::NewSupplyRevision() {
    static std::atomic<uint64_t> next{1};
    return next++;
}


const uint8_t* ChipModel::ChipPinMap() const {
    const auto& pins = SocketPins();
    if (pins.data() != pinMapFor_ || pins.size() != pinMapSize_) {
        std::fill(std::begin(pinMap_), std::end(pinMap_), uint8_t{0});
        for (size_t i = pins.size(); i-- > 0;) {
            if (pins[i] >= 1 && pins[i] <= kSocketPins && i < 255) pinMap_[pins[i]] = static_cast<uint8_t>(i + 1);
        }
        pinMapFor_ = pins.data();
        pinMapSize_ = pins.size();
    }
    return pins.size() < 255 ? pinMap_ : nullptr;
}

int ChipModel::ChipPinAt(int socketPin) const {
    if (socketPin < 1 || socketPin > kSocketPins) return 0;
    // The pin lists are fixed once a chip is built: the map answers, an
    // unoccupied socket pin included.
    if (const uint8_t* map = ChipPinMap()) return map[socketPin];
    const auto& pins = SocketPins();
    for (size_t i = 0; i < pins.size(); ++i) {
        if (pins[i] == socketPin) return static_cast<int>(i) + 1;
    }
    return 0;
}

void ChipModel::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    const uint8_t* map = ChipPinMap();
    for (size_t i = 0; i < n; ++i) out[i] = ChipPinAt(map, socketPins[i]) != 0 ? Output(env, socketPins[i]) : ChipDrive::None;
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
    revision_ = NewRevision();
}

std::unique_ptr<ChipModel> Socket::Release(const ChipModel* chip) {
    for (auto it = chips_.begin(); it != chips_.end(); ++it) {
        if (it->get() != chip) continue;
        std::unique_ptr<ChipModel> out = std::move(*it);
        chips_.erase(it);
        revision_ = NewRevision();
        return out;
    }
    return nullptr;
}

uint64_t Socket::NewRevision() {
    static std::atomic<uint64_t> next{1};
    return next++;
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

void Socket::SuppliesChanged(const PinEnvironment& env) {
    for (const auto& c : chips_) c->SuppliesChanged(env);
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

uint16_t Socket::ReadLevels(const PinEnvironment& env, const int* socketPins, size_t n) const {
    n = std::min<size_t>(n, 16);
    ChipDrive d[16];
    if (chips_.size() == 1) {
        // One chip drives against no other: its own drives are the socket's.
        chips_.front()->Outputs(env, socketPins, n, d);
    } else {
        for (size_t i = 0; i < n; ++i) d[i] = Output(env, socketPins[i]);
    }
    // The data bits are as good as random: gathered without branching on them.
    unsigned high = 0, undriven = 0;
    for (size_t i = 0; i < n; ++i) {
        high |= static_cast<unsigned>((d[i] == ChipDrive::High) | (d[i] == ChipDrive::WeakHigh)) << i;
        undriven |= static_cast<unsigned>(d[i] == ChipDrive::None) << i;
    }
    if (undriven != 0) high |= env.HighLevels(socketPins, n) & undriven;
    return static_cast<uint16_t>(high);
}

} // namespace sim
