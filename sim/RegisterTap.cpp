#include "sim/RegisterTap.h"

#include "sim/Electrical.h"
#include "sim/GangAdapter.h"

namespace sim {

namespace {
constexpr size_t kLog = 1u << 16;
}

RegisterTapPersonality::RegisterTapPersonality(const LogicImageHeader& header)
    : pins_{header.params[0], header.params[1], header.params[2], header.params[3]} {}

void RegisterTapPersonality::Violation(const std::string& what) const {
    if (prog_) prog_->Violation(what);
}

bool RegisterTapPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    prog_ = &p;
    if (reg == 4) {
        if (value > 1) Violation("register-TAP image: register 4 written " + std::to_string(value));
        powered_ = value == 1;
        if (!powered_) outputs_ = 0;
        if (Socket* s = ReachedSocket(p)) s->Update(*this);
        return true;
    }
    if (reg != 0) {
        // The engine's output reset writes 0 to every pin register 0-11.
        if (reg > 11) return false;
        if (value != 0)
            Violation("register-TAP image: register " + std::to_string(reg) + " written " + std::to_string(value));
        return true;
    }
    if (value > 7) Violation("register-TAP image: register 0 written " + std::to_string(value));
    if (!powered_ && value != 0) Violation("register-TAP image: TAP clocked with register 4 at 0");
    outputs_ = value & 7;
    ++writes_;
    if (Socket* s = ReachedSocket(p)) s->Update(*this);
    return true;
}

std::optional<uint8_t> RegisterTapPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    if (reg != 7) return std::nullopt;
    if (writesBeforeReads_.size() < kLog) writesBeforeReads_.push_back(writes_);
    writes_ = 0;
    const Socket* s = ReachedSocket(p);
    const ChipDrive d = s ? s->Output(*this, TdoPin()) : ChipDrive::None;
    return static_cast<uint8_t>(d == ChipDrive::Low || d == ChipDrive::WeakLow ? 0 : 1);
}

PinCondition RegisterTapPersonality::Condition(int socketPin) const {
    PinCondition c;
    if (socketPin < 1 || socketPin > kSocketPins) return c;
    for (int i = 0; i < 3; ++i) {
        if (socketPin == pins_[i] && powered_) {
            c.driven = true;
            c.drivenHigh = ((outputs_ >> i) & 1) != 0;
        }
    }
    if (const Electrical* e = prog_ ? Electrical::Find(*prog_) : nullptr) {
        const PinState s = e->Pin(socketPin);
        c.grounded = s.Grounded();
        if (s.Supplied()) c.supplyTenths = s.Tenths();
    }
    return c;
}

void RegisterRegisterTapPersonality() {
    RegisterPersonality(kPersonalityRegisterTap, [](const LogicImageHeader& h) {
        return std::make_unique<RegisterTapPersonality>(h);
    });
}

} // namespace sim
