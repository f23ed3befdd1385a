#include "sim/GangAdapter.h"

namespace sim {

GangAdapter::GangAdapter(uint8_t modelBits) : modelBits_(static_cast<uint8_t>(modelBits & 3)) {
    for (auto& s : sockets_) s = std::make_unique<Socket>();
}

bool GangAdapter::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    (void)p;
    if (reg != 3) return false;
    mask_ = value;
    return true;
}

bool GangAdapter::OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) {
    (void)p, (void)bit, (void)state;
    return reg == 30; // the pass lamps
}

std::optional<uint8_t> GangAdapter::OnRead(SimProgrammer& p, uint8_t reg) {
    (void)p;
    if (reg != 1) return std::nullopt;
    ++modelReads_;
    return modelBits_;
}

void GangAdapter::OnUnconfigure(SimProgrammer& p) {
    (void)p;
    mask_ = 0xFF;
}

Socket* ReachedSocket(const SimProgrammer& p) {
    if (Socket* own = Socket::Find(p)) return own;
    if (GangAdapter* gang = GangAdapter::Find(p)) return &gang->SocketAt(0);
    return nullptr;
}

SuppliedSocketList SuppliedSockets(const SimProgrammer& p) {
    SuppliedSocketList out;
    if (const Socket* own = Socket::Find(p)) {
        out.socket[out.count++] = own;
    } else if (const GangAdapter* gang = GangAdapter::Find(p)) {
        for (int s = 0; s < GangAdapter::kSockets; ++s) out.socket[out.count++] = &gang->SocketAt(s);
    }
    return out;
}

std::vector<int> GangAdapter::SelectedSockets() const {
    std::vector<int> selected;
    for (int s = 0; s < kSockets; ++s) {
        if (Selected(s)) selected.push_back(s);
    }
    return selected;
}

Socket* GangAdapter::ReadSocket(SimProgrammer& p) {
    Socket* found = nullptr;
    for (int s : SelectedSockets()) {
        Socket* socket = sockets_[static_cast<size_t>(s)].get();
        if (socket->Empty()) continue;
        if (found != nullptr) {
            p.Violation("gang read with chips in several selected sockets");
            return found;
        }
        found = socket;
    }
    return found;
}

uint16_t GangAdapter::Combine(SimProgrammer& p, const std::vector<Answer>& answers) {
    if (answers.empty()) return 0xFFFF;
    uint16_t fail = 0, all = 0xFFFF;
    const Answer* busy = nullptr;
    for (const Answer& a : answers) {
        fail = static_cast<uint16_t>(fail | (a.value & 0x20));
        all = static_cast<uint16_t>(all & a.value);
        if (a.busy && busy == nullptr) busy = &a;
    }
    if (busy != nullptr) return static_cast<uint16_t>(busy->value | fail);
    for (const Answer& a : answers) {
        if (a.value != answers.front().value) {
            p.Violation("gang read: ready sockets drive different data");
            break;
        }
    }
    return all;
}

GangAdapter* AddGangAdapter(SimProgrammer& programmer, uint8_t modelBits) {
    auto adapter = std::make_unique<GangAdapter>(modelBits);
    GangAdapter* raw = adapter.get();
    programmer.AddComponent(std::move(adapter));
    return raw;
}

} // namespace sim
