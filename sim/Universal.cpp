#include "sim/Universal.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <string>
#include <typeinfo>

#include "sim/Electrical.h"
#include "sim/GangAdapter.h"
#include "sim/PartFacts.h"

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

void PinDriverPersonality::Attach(SimProgrammer& p) {
    told_ = false;
    if (prog_ != &p || generation_ != p.ComponentGeneration()) {
        prog_ = &p;
        generation_ = p.ComponentGeneration();
        socket_ = ReachedSocket(p);
        electrical_ = Electrical::Find(p);
        MarkStale();
    }
    if (socket_ != nullptr && socket_->Revision() != chipsOf_) {
        chipsOf_ = socket_->Revision();
        chip_ = nullptr;
        if (socket_->Chips().size() == 1) {
            // The catalog's adapter only forwards to the family's model.
            chip_ = SeatedModel<ChipModel>(socket_->Chips().front().get());
        }
        pinsOf_ = nullptr;
    }
    if (chip_ != nullptr && (chip_->SocketPins().data() != pinsOf_ || chip_->SocketPins().size() != pinCount_)) {
        pinsOf_ = chip_->SocketPins().data();
        pinCount_ = chip_->SocketPins().size();
        occupied_ = 0;
        for (int pin = 1; pin <= kSocketPins; ++pin) {
            if (chip_->ChipPinAt(pin) != 0) occupied_ |= uint64_t{1} << pin;
        }
    }
    // Faults are set straight on the electrical model, between accesses.
    if (!stale_ && electrical_ != nullptr && !(electrical_->Faults() == faultsSeen_)) MarkStale();
}

void PinDriverPersonality::MarkStale() {
    stale_ = true;
    conditions_ = nullptr;
    supplyRevision_ = 0;
}

void PinDriverPersonality::Refresh() {
    constexpr uint64_t kAll = ((uint64_t{1} << (kSocketPins + 1)) - 1) & ~uint64_t{1};
    // With the same electrical model and faults as at the last refresh, only
    // the pins it moved since have a new supply part, and the driver part is
    // as the latch and pull writes left it.
    const bool same = electrical_ != nullptr && electrical_ == refreshedFrom_ && revision_ != 0 &&
                      electrical_->Faults() == faultsSeen_;
    const uint64_t pins = same ? electrical_->MovedSince(refreshedRevision_) : kAll;
    refreshedFrom_ = electrical_;
    refreshedRevision_ = electrical_ != nullptr ? electrical_->Revision() : 0;
    if (electrical_ != nullptr) faultsSeen_ = electrical_->Faults();
    const PinState* states = electrical_ != nullptr ? electrical_->Pins() : nullptr;
    bool changed = false;
    for (uint64_t m = pins; m != 0; m &= m - 1) {
        const int pin = std::countr_zero(m);
        PinCondition& c = cond_[pin];
        PinCondition supply;
        if (states != nullptr) ApplySupply(states[pin], supply);
        changed = changed || supply.grounded != c.grounded || supply.supplyTenths != c.supplyTenths ||
                  supply.steadyFromUs != c.steadyFromUs;
        c.grounded = supply.grounded;
        c.supplyTenths = supply.supplyTenths;
        c.steadyFromUs = supply.steadyFromUs;
    }
    // The pulls and the driver faults may have moved with the faults.
    if (!same) SetDrivers(1, kSocketPins);
    if (changed || revision_ == 0) revision_ = NewSupplyRevision();
    supplyRevision_ = revision_;
    conditions_ = cond_;
    stale_ = false;
}

void PinDriverPersonality::SetDriver(int pin) {
    PinCondition& c = cond_[pin];
    const int g = (pin - 1) / 8;
    const unsigned b = static_cast<unsigned>(pin - 1) % 8;
    c.driven = ((float_[g] >> b) & 1) == 0;
    c.drivenHigh = ((level_[g] >> b) & 1) != 0;
    if (electrical_ != nullptr && pin == faultsSeen_.stuckDriver && c.driven) c.drivenHigh = faultsSeen_.stuckLevel != 0;
}

void PinDriverPersonality::SetDrivers(int first, int last) {
    for (int pin = first; pin <= last; ++pin) {
        PinCondition& c = cond_[pin];
        const int g = (pin - 1) / 8;
        const unsigned b = static_cast<unsigned>(pin - 1) % 8;
        c.driven = ((float_[g] >> b) & 1) == 0;
        c.drivenHigh = ((level_[g] >> b) & 1) != 0;
        c.pull = pull_;
    }
    // The pin-electronics faults of the range.
    if (electrical_ == nullptr) return;
    const ProgrammerFaults& f = faultsSeen_;
    if (f.stuckDriver >= first && f.stuckDriver <= last && cond_[f.stuckDriver].driven)
        cond_[f.stuckDriver].drivenHigh = f.stuckLevel != 0;
    if (f.deadPullDown >= first && f.deadPullDown <= last && cond_[f.deadPullDown].pull == Pull::Down)
        cond_[f.deadPullDown].pull = Pull::None;
}

uint64_t PinDriverPersonality::NowUs() const { return prog_ ? prog_->NowUs() : 0; }

void PinDriverPersonality::Violation(const std::string& what) const {
    if (prog_) prog_->Violation(what);
}

void PinDriverPersonality::OnUnconfigure(SimProgrammer& p) {
    (void)p;
    told_ = false;
    MarkStale();
}

bool PinDriverPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    Attach(p);
    // Registers 18 and 26-31 move the DAC and the supply-A switches (the
    // electrical model takes them after this); the other registers leave
    // every pin's supply as it is, so the components after this one read the
    // table.
    const bool moves = reg == 18 || reg >= 26;
    if (!moves) Fresh();
    if (reg < 12) {
        const int g = reg / 2;
        uint8_t* bank = reg % 2 == 0 ? (DefersLatches() ? pendingFloat_ : float_)
                                     : (DefersLatches() ? pendingLevel_ : level_);
        const uint8_t moved = static_cast<uint8_t>(bank[g] ^ value);
        bank[g] = value;
        if (!DefersLatches()) {
            // Only the pins the write moved take a new driver part.
            for (unsigned m = moved; m != 0; m &= m - 1) SetDriver(g * 8 + 1 + std::countr_zero(m));
            LatchesChanged();
        }
        return true;
    }
    if (moves) MarkStale();
    if (reg == 12 && DefersLatches()) {
        if (value == 0) return true;
        if (value != 1 && value != 2) return false;
        ++strobes_;
        std::copy(std::begin(pendingFloat_), std::end(pendingFloat_), float_);
        std::copy(std::begin(pendingLevel_), std::end(pendingLevel_), level_);
        SetDrivers(1, kSocketPins);
        LatchesChanged();
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
        SetDrivers(1, kSocketPins);
        return true;
    }
    return false;
}

void PinDriverPersonality::LatchesChanged() {
    if (socket_ == nullptr) return;
    if (chip_ != nullptr) {
        chip_->Update(*this);
    } else {
        socket_->Update(*this);
    }
    CheckContention();
    told_ = !stale_;
    toldUs_ = NowUs();
    toldSocket_ = socket_->Revision();
}

bool PinDriverPersonality::ChipsCurrent() const {
    // Every hook clears told_ first, and the programmer calls the
    // personality before any other component of a register write.
    return told_ && !stale_ && prog_ != nullptr && socket_ != nullptr && prog_->ComponentGeneration() == generation_ &&
           prog_->NowUs() == toldUs_ && socket_->Revision() == toldSocket_;
}

const ProgrammerFaults* PinDriverPersonality::Faults() const {
    const Electrical* e = prog_ ? Electrical::Find(*prog_) : nullptr;
    return e ? &e->Faults() : nullptr;
}

bool PinDriverPersonality::OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) {
    (void)reg, (void)bit, (void)state;
    Attach(p);
    MarkStale();
    return false;
}

std::optional<uint8_t> PinDriverPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    Attach(p);
    if (reg >= 6) return std::nullopt;
    Fresh();
    const ProgrammerFaults& f = faultsSeen_;
    if (electrical_ == nullptr || f.shortA == 0 || f.shortB == 0) return ReadBlock(reg);
    uint8_t v = 0;
    for (int b = 0; b < 8; ++b) {
        if (ReadLevel(reg * 8 + b + 1)) v = static_cast<uint8_t>(v | (1u << b));
    }
    return v;
}

uint8_t PinDriverPersonality::ReadBlock(int g) const {
    // Pins the programmer holds read its level; the others what a chip
    // drives, else the pull, else the floating level.
    int pins[8];
    size_t n = 0;
    unsigned v = 0;
    for (int b = 0; b < 8; ++b) {
        const int pin = g * 8 + b + 1;
        const PinCondition& c = cond_[pin];
        if (c.grounded) continue;
        if (c.supplyTenths >= 0) {
            v |= static_cast<unsigned>(c.supplyTenths >= kHighThresholdTenths) << b;
        } else if (c.driven) {
            v |= static_cast<unsigned>(c.drivenHigh) << b;
        } else {
            pins[n++] = pin;
        }
    }
    if (n == 0) return static_cast<uint8_t>(v);
    ChipDrive d[8] = {};
    if (socket_ != nullptr) {
        const auto& chips = socket_->Chips();
        if (chip_ != nullptr) {
            chip_->Outputs(*this, pins, n, d);
        } else if (!chips.empty()) {
            for (size_t i = 0; i < n; ++i) d[i] = socket_->Output(*this, pins[i]);
        }
    }
    for (size_t i = 0; i < n; ++i) {
        const int pin = pins[i];
        int level;
        switch (d[i]) {
        case ChipDrive::Low:
        case ChipDrive::WeakLow:
            level = 0;
            break;
        case ChipDrive::High:
        case ChipDrive::WeakHigh:
            level = 1;
            break;
        default: {
            const Pull pull = cond_[pin].pull;
            level = pull == Pull::Up ? 1 : pull == Pull::Down ? 0 : floatingLevel_;
            break;
        }
        }
        v |= static_cast<unsigned>(level) << ((pin - 1) % 8);
    }
    return static_cast<uint8_t>(v);
}

PinCondition PinDriverPersonality::LiveCondition(int socketPin) const {
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

PinCondition PinDriverPersonality::Condition(int socketPin) const {
    if (stale_) return LiveCondition(socketPin);
    return socketPin >= 1 && socketPin <= kSocketPins ? cond_[socketPin] : PinCondition{};
}

int PinDriverPersonality::HeldLevel(int socketPin) const {
    const PinCondition c = Condition(socketPin);
    if (c.grounded) return 0;
    if (c.supplyTenths >= 0) return c.supplyTenths >= kHighThresholdTenths ? 1 : 0;
    if (c.driven) return c.drivenHigh ? 1 : 0;
    const Socket* s = prog_ ? ReachedSocket(*prog_) : nullptr;
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
    const Socket* s = socket_;
    if (!s) return;
    // Only a pin the logic driver holds can be fought; a supply or ground
    // switched onto it overrides the driver.
    uint64_t driven = 0;
    uint64_t high = 0;
    for (int g = 0; g < 6; ++g) {
        driven |= static_cast<uint64_t>(static_cast<uint8_t>(~float_[g])) << (g * 8 + 1);
        high |= static_cast<uint64_t>(level_[g]) << (g * 8 + 1);
    }
    const auto& chips = s->Chips();
    const bool one = chip_ != nullptr;
    // With one chip, only the pins it occupies (the others it leaves alone).
    if (one) {
        driven &= occupied_;
    } else if (chips.empty()) {
        driven = 0;
    }
    // The pin list follows the driven set, which few writes move.
    if (driven != listedPins_) {
        listedPins_ = driven;
        listedCount_ = 0;
        for (uint64_t m = driven; m != 0; m &= m - 1) listed_[listedCount_++] = std::countr_zero(m);
    }
    const int* pins = listed_;
    const size_t n = listedCount_;
    ChipDrive d[kSocketPins];
    if (one) {
        // One chip: its drive is the socket's, and it reports nothing.
        chip_->Outputs(*this, pins, n, d);
    } else {
        for (size_t i = 0; i < n; ++i) d[i] = s->Occupied(pins[i]) ? s->Output(*this, pins[i]) : ChipDrive::None;
    }
    // The pins where the chip's strong drive differs from the driver's level.
    uint64_t against = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint64_t bit = uint64_t{1} << pins[i];
        const bool chipHigh = d[i] == ChipDrive::High;
        const bool strong = chipHigh || d[i] == ChipDrive::Low;
        against |= (strong && chipHigh != ((high & bit) != 0)) ? bit : 0;
    }
    uint64_t fights = 0;
    for (uint64_t m = against; m != 0; m &= m - 1) {
        const int pin = std::countr_zero(m);
        const uint64_t bit = uint64_t{1} << pin;
        const PinCondition& c = cond_[pin];
        if (c.grounded || c.supplyTenths >= 0) continue;
        fights |= bit;
        if (!(contention_ & bit)) Violation("socket pin " + std::to_string(pin) + ": the chip drives against the logic driver");
    }
    contention_ = fights;
}

void RegisterUniversalPersonalities() {
    for (uint16_t id : {uint16_t{kPersonalityUniversal}, uint16_t{kPersonalityTest}, uint16_t{kPersonalityVector}}) {
        RegisterPersonality(id, [id](const LogicImageHeader&) -> std::unique_ptr<SimPersonality> {
            return std::make_unique<PinDriverPersonality>(id);
        });
    }
}

PinDriverPersonality* FindPinDriver(const SimProgrammer& p) {
    // Asked on every register write: only the pin drivers' ids are looked
    // at closer, and the class has no subclass to search for.
    SimPersonality* q = p.Personality();
    if (q == nullptr) return nullptr;
    const uint16_t id = q->Id();
    if (id != kPersonalityUniversal && id != kPersonalityTest && id != kPersonalityVector) return nullptr;
    return typeid(*q) == typeid(PinDriverPersonality) ? static_cast<PinDriverPersonality*>(q) : nullptr;
}

} // namespace sim
