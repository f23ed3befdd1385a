#include "sim/SocketBus.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <iterator>

#include "sim/GangAdapter.h"

namespace sim {

bool SocketBusPersonality::OnLatchBit(SimProgrammer& p, uint8_t, uint8_t, bool) {
    prog_ = &p;
    Sync();
    dirty_ = true;
    return false;
}

PinCondition SocketBusPersonality::Condition(int s, int socketPin) const {
    if (s < 0 || s >= kMaxSockets || socketPin < 1 || socketPin > kSocketPins) return PinCondition{};
    return snap_[s][socketPin];
}

// The gang adapter keeps its sockets for its life: the list changes only with
// the components.
const SocketBusPersonality::SocketList& SocketBusPersonality::FindSockets() const {
    socketsOf_ = prog_;
    SocketList& out = sockets_;
    out = SocketList{};
    if (!prog_) return out;
    socketsGeneration_ = prog_->ComponentGeneration();
    if (GangAdapter* g = GangAdapter::Find(*prog_)) {
        static_assert(GangAdapter::kSockets <= kMaxSockets);
        for (int s = 0; s < GangAdapter::kSockets; ++s) out.socket[out.count++] = &g->SocketAt(s);
    } else if (Socket* own = Socket::Find(*prog_)) {
        out.socket[out.count++] = own;
    }
    return out;
}

void SocketBusPersonality::ElectricalConditions(PinCondition* c, int skipPin) const {
    std::copy(std::begin(supply_), std::end(supply_), c);
    if (skipPin >= 1 && skipPin <= kSocketPins) c[skipPin] = PinCondition{};
}

uint64_t SocketBusPersonality::ResetSnapshotSupplies(int s) {
    constexpr uint64_t kAll = ((uint64_t{1} << (kSocketPins + 1)) - 1) & ~uint64_t{1};
    PinCondition* c = snap_[s];
    const uint64_t since = snapRevision_[s];
    if (since == supplyRevision_) return 0;
    snapRevision_[s] = supplyRevision_;
    TableMoved(s);
    if (since == 0) {
        std::copy(std::begin(supply_), std::end(supply_), c);
        return kAll;
    }
    uint64_t moved = 0;
    if (!supplyLog_.Since(since, moved)) {
        for (int p = 1; p <= kSocketPins; ++p) moved |= static_cast<uint64_t>(supplyPinRevision_[p] > since) << p;
    }
    for (uint64_t m = moved; m != 0; m &= m - 1) {
        const int p = std::countr_zero(m);
        c[p] = supply_[p];
    }
    return moved;
}

PinCondition* SocketBusPersonality::ResetSnapshot(int s, uint64_t touched) {
    PinCondition* c = snap_[s];
    ResetSnapshotSupplies(s);
    touched &= ~uint64_t{1} & ((uint64_t{1} << (kSocketPins + 1)) - 1);
    if (touched != 0) TableMoved(s);
    while (touched != 0) {
        const int p = std::countr_zero(touched);
        touched &= touched - 1;
        c[p] = supply_[p];
    }
    return c;
}

void SocketBusPersonality::UpdateChips() {
    dirty_ = false;
    const SocketList& sockets = Sockets();
    for (int s = 0; s < sockets.count; ++s) {
        if (SnapshotEmptySockets() || !sockets.socket[s]->Empty()) Snapshot(s);
    }
    for (int s = 0; s < sockets.count; ++s) {
        View view(*this, s);
        if (NamesItsTables()) view.NameConditions(tableRevision_[s]);
        sockets.socket[s]->Update(view);
    }
}

void SocketBusPersonality::Sync() {
    if (!dirty_) return;
    if (const Electrical* e = prog_ ? Electrical::Find(*prog_) : nullptr) {
        // The pins are worked out again only when the electrical side moved
        // one; the chips hear of the sync either way.
        const uint64_t revision = e->Revision();
        if (e != electricalOf_ || revision != electricalRevision_) {
            const PinState* pins = e->Pins();
            uint64_t moved = e->MovedSince(e == electricalOf_ ? electricalRevision_ : 0);
            supplyRevision_ = PinEnvironment::NewSupplyRevision();
            supplyLog_.Add(supplyRevision_, moved);
            for (; moved != 0; moved &= moved - 1) {
                const int p = std::countr_zero(moved);
                electrical_[p] = pins[p];
                supply_[p] = PinCondition{};
                ApplySupply(electrical_[p], supply_[p]);
                supplyPinRevision_[p] = supplyRevision_;
            }
            electricalOf_ = e;
            electricalRevision_ = revision;
        }
    }
    UpdateChips();
}

bool SocketBusPersonality::Unexpected(SimProgrammer& p, const char* bus, uint8_t reg, uint8_t value) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02Xh", value);
    p.Violation(std::string(bus) + ": register " + std::to_string(reg) + " written " + hex + " not expected");
    return true;
}

bool SocketBusPersonality::BeginWrite(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    Sync();
    if (reg <= 11) return true;
    if (reg == 13 || reg == 18 || reg >= 25) dirty_ = true;
    return false;
}

} // namespace sim
