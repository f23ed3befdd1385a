#include "sim/SocketBus.h"

#include "sim/GangAdapter.h"

namespace sim {

bool SocketBusPersonality::OnLatchBit(SimProgrammer& p, uint8_t, uint8_t, bool) {
    prog_ = &p;
    Sync();
    dirty_ = true;
    return false;
}

PinCondition SocketBusPersonality::Condition(int s, int socketPin) const {
    if (s < 0 || s > 7 || socketPin < 1 || socketPin > kSocketPins) return PinCondition{};
    return snap_[s][socketPin];
}

std::vector<std::pair<int, Socket*>> SocketBusPersonality::Sockets() const {
    std::vector<std::pair<int, Socket*>> out;
    if (!prog_) return out;
    if (GangAdapter* g = GangAdapter::Find(*prog_)) {
        for (int s = 0; s < GangAdapter::kSockets; ++s) out.emplace_back(s, &g->SocketAt(s));
    } else if (Socket* own = Socket::Find(*prog_)) {
        out.emplace_back(0, own);
    }
    return out;
}

void SocketBusPersonality::ElectricalConditions(PinCondition* c, int skipPin) const {
    for (int p = 1; p <= kSocketPins; ++p) {
        c[p] = PinCondition{};
        if (p == skipPin) continue;
        ApplySupply(electrical_[p], c[p]);
    }
}

void SocketBusPersonality::UpdateChips() {
    dirty_ = false;
    const auto sockets = Sockets();
    for (auto [s, socket] : sockets) {
        if (SnapshotEmptySockets() || !socket->Empty()) Snapshot(s);
    }
    for (auto [s, socket] : sockets) {
        View view(*this, s);
        socket->Update(view);
    }
}

bool SocketBusPersonality::LatchWrite(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    Sync();
    if (reg <= 11) return false;
    if (reg == 13 || reg == 18 || reg >= 25) dirty_ = true;
    return true;
}

void SocketBusPersonality::Sync() {
    if (!dirty_) return;
    if (const Electrical* e = prog_ ? Electrical::Find(*prog_) : nullptr) {
        for (int p = 1; p <= kSocketPins; ++p) electrical_[p] = e->Pin(p);
    }
    UpdateChips();
}

} // namespace sim
