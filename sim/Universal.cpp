#include "sim/Universal.h"

#include <algorithm>
#include <iterator>

#include "sim/Electrical.h"

namespace sim {

namespace {

// Supply and ground of a socket pin from the electrical model.
void AddSupplyAndGround(const SimProgrammer* p, int socketPin, PinCondition& c) {
    const Electrical* e = p ? Electrical::Find(*p) : nullptr;
    if (!e) return;
    ApplySupply(e->Pin(socketPin), c);
}

} // namespace

PinDriverPersonality::PinDriverPersonality(uint16_t id) : id_(id) {}

void PinDriverPersonality::Attach(SimProgrammer& p) { prog_ = &p; }

uint64_t PinDriverPersonality::NowUs() const { return prog_ ? prog_->NowUs() : 0; }

void PinDriverPersonality::Violation(const std::string& what) const {
    if (prog_) prog_->Violation(what);
}

bool PinDriverPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    Attach(p);
    if (reg < 12) {
        const int g = reg / 2;
        uint8_t* bank = reg % 2 == 0 ? (DefersLatches() ? pendingFloat_ : float_)
                                     : (DefersLatches() ? pendingLevel_ : level_);
        bank[g] = value;
        if (!DefersLatches()) LatchesChanged(p);
        return true;
    }
    if (reg == 12 && DefersLatches()) {
        if (value == 0) return true;
        if (value != 1 && value != 2) return false;
        ++strobes_;
        std::copy(std::begin(pendingFloat_), std::end(pendingFloat_), float_);
        std::copy(std::begin(pendingLevel_), std::end(pendingLevel_), level_);
        LatchesChanged(p);
        return true;
    }
    if (reg == 12 && id_ == kPersonalityUniversal) {
        // 0 idle, 1 or 2 a microcontroller programming mode; anything else
        // is left unclaimed (a violation).
        if (value > 2) return false;
        mcuMode_ = value;
        return true;
    }
    if (reg == 13 && HasPullControl()) {
        switch (value & 0x0C) {
        case 0x04:
            pull_ = Pull::Up;
            break;
        case 0x0C:
            pull_ = Pull::Down;
            break;
        default:
            pull_ = Pull::None;
            break;
        }
        return true;
    }
    return false;
}

void PinDriverPersonality::LatchesChanged(SimProgrammer& p) {
    if (Socket* s = Socket::Find(p)) {
        s->Update(*this);
        CheckContention();
    }
}

const ProgrammerFaults* PinDriverPersonality::Faults() const {
    const Electrical* e = prog_ ? Electrical::Find(*prog_) : nullptr;
    return e ? &e->Faults() : nullptr;
}

bool PinDriverPersonality::OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) {
    (void)reg, (void)bit, (void)state;
    Attach(p);
    return false;
}

std::optional<uint8_t> PinDriverPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    Attach(p);
    if (reg >= 6) return std::nullopt;
    uint8_t v = 0;
    for (int b = 0; b < 8; ++b) {
        if (ReadLevel(reg * 8 + b + 1)) v = static_cast<uint8_t>(v | (1u << b));
    }
    return v;
}

PinCondition PinDriverPersonality::Condition(int socketPin) const {
    PinCondition c;
    if (socketPin < 1 || socketPin > kSocketPins) return c;
    const int g = (socketPin - 1) / 8;
    const uint8_t m = static_cast<uint8_t>(1u << ((socketPin - 1) % 8));
    c.driven = (float_[g] & m) == 0;
    c.drivenHigh = (level_[g] & m) != 0;
    c.pull = pull_;
    if (const ProgrammerFaults* f = Faults()) {
        if (c.driven && socketPin == f->stuckDriver) c.drivenHigh = f->stuckLevel != 0;
        if (socketPin == f->deadPullDown && c.pull == Pull::Down) c.pull = Pull::None;
    }
    AddSupplyAndGround(prog_, socketPin, c);
    return c;
}

int PinDriverPersonality::HeldLevel(int socketPin) const {
    const PinCondition c = Condition(socketPin);
    if (c.grounded) return 0;
    if (c.supplyTenths >= 0) return c.supplyTenths >= kHighThresholdTenths ? 1 : 0;
    if (c.driven) return c.drivenHigh ? 1 : 0;
    const Socket* s = prog_ ? Socket::Find(*prog_) : nullptr;
    if (s) {
        switch (s->Output(*this, socketPin)) {
        case ChipDrive::Low:
        case ChipDrive::WeakLow:
            return 0;
        case ChipDrive::High:
        case ChipDrive::WeakHigh:
            return 1;
        case ChipDrive::None:
            break;
        }
    }
    return -1;
}

int PinDriverPersonality::ReadLevel(int socketPin) const {
    int held = HeldLevel(socketPin);
    const ProgrammerFaults* f = Faults();
    int partner = 0;
    if (f != nullptr && f->shortA != 0 && f->shortB != 0) {
        if (socketPin == f->shortA) partner = f->shortB;
        if (socketPin == f->shortB) partner = f->shortA;
    }
    if (partner != 0) {
        const int other = HeldLevel(partner);
        if (held == 0 || other == 0) return 0;
        if (held == 1 || other == 1) return 1;
    }
    if (held >= 0) return held;
    const Pull pull = Condition(socketPin).pull;
    if (pull == Pull::Up) return 1;
    if (pull == Pull::Down) return 0;
    return floatingLevel_;
}

void PinDriverPersonality::CheckContention() {
    const Socket* s = prog_ ? Socket::Find(*prog_) : nullptr;
    if (!s) return;
    for (int pin = 1; pin <= kSocketPins; ++pin) {
        const uint64_t bit = uint64_t{1} << pin;
        const int g = (pin - 1) / 8;
        const uint8_t m = static_cast<uint8_t>(1u << ((pin - 1) % 8));
        bool fight = false;
        if ((float_[g] & m) == 0 && s->Occupied(pin)) {
            const ChipDrive d = s->Output(*this, pin);
            const bool high = (level_[g] & m) != 0;
            if ((d == ChipDrive::Low && high) || (d == ChipDrive::High && !high)) {
                // A supply or ground switched onto the pin overrides the driver.
                const PinCondition c = Condition(pin);
                fight = !c.grounded && c.supplyTenths < 0;
            }
        }
        if (fight && !(contention_ & bit)) {
            Violation("socket pin " + std::to_string(pin) + ": the chip drives against the logic driver");
        }
        contention_ = fight ? (contention_ | bit) : (contention_ & ~bit);
    }
}

void RegisterUniversalPersonalities() {
    for (uint16_t id : {uint16_t{kPersonalityUniversal}, uint16_t{kPersonalityTest}, uint16_t{kPersonalityVector}}) {
        RegisterPersonality(id, [id](const LogicImageHeader&) -> std::unique_ptr<SimPersonality> {
            return std::make_unique<PinDriverPersonality>(id);
        });
    }
}

PinDriverPersonality* FindPinDriver(const SimProgrammer& p) {
    return dynamic_cast<PinDriverPersonality*>(p.Personality());
}

} // namespace sim
