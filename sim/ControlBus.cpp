#include "sim/ControlBus.h"

#include <cstdio>

#include "sim/Electrical.h"
#include "sim/EpromChip.h"
#include "sim/GangAdapter.h"

namespace sim {

std::vector<int> ControlBusWordPinout::Address() {
    return {2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 37, 38};
}

std::vector<int> ControlBusWordPinout::Data() {
    return {15, 16, 17, 18, 19, 20, 21, 22, 23, 25, 26, 27, 28, 29, 30, 36};
}

EpromConfig ControlBusWord40(const std::string& name, uint32_t words) {
    using P = ControlBusWordPinout;
    static const DipPinout pinout{40, 16, 0, P::Vcc, {P::Gnd1, P::Gnd2}, P::Ce, P::Oe, P::Vpp, 0, 0, 0, 0, P::Hidden,
                                  P::Address(), P::Data(), 14, 140};
    return EpromFromPinout(pinout, name, words);
}

ControlBusPersonality::ControlBusPersonality(const LogicImageHeader& header) {
    conditions_ = snap_; // Condition answers from snap_
    word_ = header.params[0] == 1;
    mode_ = header.params[1] & 3;
    if (word_) {
        const std::vector<int> seat = DipSocketPins(40);
        for (int p : ControlBusWordPinout::Address()) addressPins_.push_back(seat[static_cast<size_t>(p - 1)]);
        for (int p : ControlBusWordPinout::Data()) dataPins_.push_back(seat[static_cast<size_t>(p - 1)]);
        cePin_ = seat[ControlBusWordPinout::Ce - 1];
        oePin_ = seat[ControlBusWordPinout::Oe - 1];
    } else {
        const EpromConfig c = Jedec28("", 1u << 16);
        const std::vector<int> seat = DipSocketPins(28);
        for (int p : c.addressPins) addressPins_.push_back(seat[static_cast<size_t>(p - 1)]);
        for (int p : c.dataPins) dataPins_.push_back(seat[static_cast<size_t>(p - 1)]);
        cePin_ = seat[static_cast<size_t>(c.cePin - 1)];
        oePin_ = seat[static_cast<size_t>(c.oePin - 1)];
    }
}

void ControlBusPersonality::Violation(const std::string& what) const {
    if (prog_) prog_->Violation(what);
}

uint32_t ControlBusPersonality::Address() const {
    uint32_t a = reg_[0];
    if (word_) return a | (static_cast<uint32_t>(reg_[1]) << 8);
    switch (mode_) {
    case 1:
        return a | (static_cast<uint32_t>(latch_) << 8);
    case 2:
        return a | (static_cast<uint32_t>(reg_[1] & 0x3F) << 8) | (static_cast<uint32_t>(latch_ >> 4) << 14);
    case 3:
        return a | (static_cast<uint32_t>(reg_[1] & 3) << 8) | (static_cast<uint32_t>((latch_ >> 1) & 1) << 10) |
               (static_cast<uint32_t>(latch_ & 1) << 11);
    default:
        return a | (static_cast<uint32_t>(reg_[1]) << 8);
    }
}

PinCondition ControlBusPersonality::Condition(int socketPin) const {
    if (socketPin < 1 || socketPin > kSocketPins) return PinCondition{};
    return snap_[socketPin];
}

PinCondition ControlBusPersonality::Compute(int socketPin) const {
    PinCondition c;
    if (prog_) {
        if (const Electrical* e = Electrical::Find(*prog_)) {
            ApplySupply(e->Pin(socketPin), c);
        }
    }
    const uint8_t control = word_ ? reg_[3] : reg_[4];
    const uint8_t strobe = word_ ? reg_[4] : reg_[5];
    if (control == 0 && strobe == 0) return c; // released
    const bool read = control == 1;
    const bool ceLow = read || strobe == 5;
    auto drive = [&](bool high) {
        c.driven = true;
        c.drivenHigh = high;
    };
    if (socketPin == cePin_) drive(!ceLow);
    if (socketPin == oePin_) drive(!read);
    const uint32_t a = Address();
    for (size_t i = 0; i < addressPins_.size(); ++i) {
        if (addressPins_[i] == socketPin) drive(((a >> i) & 1) != 0);
    }
    if (!read) {
        const uint16_t d = word_ ? static_cast<uint16_t>(reg_[6] | (reg_[7] << 8)) : reg_[3];
        for (size_t i = 0; i < dataPins_.size(); ++i) {
            if (dataPins_[i] == socketPin) drive(((d >> i) & 1) != 0);
        }
    } else if (!word_) {
        for (int p : dataPins_) {
            if (p == socketPin) c.pull = Pull::Down;
        }
    }
    return c;
}

void ControlBusPersonality::Sync() {
    if (dirty_) UpdateChips();
}

void ControlBusPersonality::UpdateChips() {
    if (!prog_) return;
    dirty_ = false;
    // Compute() of every pin in one pass: the supplies, then the bus's
    // drives in Compute's order (a later drive of a pin wins).
    const Electrical* e = Electrical::Find(*prog_);
    const PinState* pins = e ? e->Pins() : nullptr;
    // Only logic levels move while the electrical side keeps its revision.
    const uint64_t revision = e ? e->Revision() : 0;
    if (e == nullptr || e != electricalOf_ || revision != electricalRevision_) {
        supplyRevision_ = e ? NewSupplyRevision() : 0;
        electricalOf_ = e;
        electricalRevision_ = revision;
    }
    for (int p = 1; p <= kSocketPins; ++p) {
        snap_[p] = PinCondition{};
        if (pins) ApplySupply(pins[p], snap_[p]);
    }
    const uint8_t control = word_ ? reg_[3] : reg_[4];
    const uint8_t strobe = word_ ? reg_[4] : reg_[5];
    if (control != 0 || strobe != 0) {
        const bool read = control == 1;
        const bool ceLow = read || strobe == 5;
        auto drive = [&](int pin, bool high) {
            if (pin < 1 || pin > kSocketPins) return;
            snap_[pin].driven = true;
            snap_[pin].drivenHigh = high;
        };
        drive(cePin_, !ceLow);
        drive(oePin_, !read);
        const uint32_t a = Address();
        for (size_t i = 0; i < addressPins_.size(); ++i) drive(addressPins_[i], ((a >> i) & 1) != 0);
        if (!read) {
            const uint16_t d = word_ ? static_cast<uint16_t>(reg_[6] | (reg_[7] << 8)) : reg_[3];
            for (size_t i = 0; i < dataPins_.size(); ++i) drive(dataPins_[i], ((d >> i) & 1) != 0);
        } else if (!word_) {
            for (int p : dataPins_) {
                if (p >= 1 && p <= kSocketPins) snap_[p].pull = Pull::Down;
            }
        }
    }
    if (Socket* s = ReachedSocket(*prog_)) s->Update(*this);
}

uint8_t ControlBusPersonality::ReadData(int byteIndex) {
    Sync();
    Socket* s = prog_ ? ReachedSocket(*prog_) : nullptr;
    uint8_t v = 0;
    for (int bit = 0; bit < 8; ++bit) {
        const size_t i = static_cast<size_t>(byteIndex * 8 + bit);
        if (i >= dataPins_.size()) break;
        const int pin = dataPins_[i];
        const ChipDrive d = s ? s->Output(*this, pin) : ChipDrive::None;
        const bool high = d == ChipDrive::High || d == ChipDrive::WeakHigh || (d == ChipDrive::None && InputLevel(pin) == 1);
        if (high) v = static_cast<uint8_t>(v | (1u << bit));
    }
    return v;
}

bool ControlBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    prog_ = &p;
    Sync();
    if (reg > 11) {
        if (reg == 13 || reg == 18 || reg >= 25) dirty_ = true;
        return false;
    }
    bool ok = true;
    switch (reg) {
    case 0:
    case 1:
        break;
    case 3:
        ok = !word_ || value == 0 || value == 1 || value == 3;
        break;
    case 4:
        ok = word_ ? (value == 0 || value == 3 || value == 5) : (value == 0 || value == 1 || value == 3);
        break;
    case 5:
        ok = word_ ? value == 0 : (value == 0 || value == 3 || value == 5);
        break;
    case 6:
        ok = word_ || value <= 1;
        break;
    case 7:
        ok = word_ || value == 0;
        break;
    default:
        ok = value == 0;
        break;
    }
    if (!ok) {
        char t[8];
        std::snprintf(t, sizeof t, "%02Xh", value);
        p.Violation("control bus: register " + std::to_string(reg) + " written " + t + " not expected");
        return true;
    }
    reg_[reg] = value;
    if (!word_ && reg_[6] == 1) {
        if (mode_ == 1) latch_ = reg_[0];
        if (mode_ >= 2) latch_ = reg_[1];
    }
    UpdateChips();
    return true;
}

bool ControlBusPersonality::OnLatchBit(SimProgrammer& p, uint8_t, uint8_t, bool) {
    prog_ = &p;
    Sync();
    dirty_ = true;
    return false;
}

std::optional<uint8_t> ControlBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    if (word_ && (reg == 6 || reg == 7)) return ReadData(reg - 6);
    if (!word_ && reg == 3) return ReadData(0);
    Sync();
    return std::nullopt;
}

void RegisterControlBusPersonality() {
    RegisterPersonality(kPersonalityControlBus, [](const LogicImageHeader& h) -> std::unique_ptr<SimPersonality> {
        return std::make_unique<ControlBusPersonality>(h);
    });
}

} // namespace sim
