#include "sim/ColumnPldBus.h"

#include "sim/ColumnPldChip.h"
#include "sim/Electrical.h"
#include "sim/GangAdapter.h"

namespace sim {

namespace {
namespace pin = column_pld_pins;
} // namespace

ColumnPldBusPersonality::ColumnPldBusPersonality(const LogicImageHeader& header) : wide_(header.params[0] == 0) {}

void ColumnPldBusPersonality::Violation(const std::string& what) const {
    if (prog_) prog_->Violation(what);
}

bool ColumnPldBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    prog_ = &p;
    if (reg > 11) return false;
    bool ok = value == 0;
    switch (reg) {
    case 0:
        ok = value <= 2;
        if (ok) control_ = value;
        break;
    case 1:
        ok = wide_ ? value == 0 || (value >= 4 && value <= 7) : value <= 3;
        if (ok) shift_ = value;
        break;
    case 2:
        ok = value <= 1;
        if (ok) load_ = value;
        break;
    case 4:
        ok = wide_ ? value == 0 || value == 5 || value == 6 || value == 7 || value == 13
                   : value == 0 || value == 2 || value == 3 || value == 11;
        if (ok) mode_ = value;
        break;
    default:
        break;
    }
    if (!ok) {
        Violation("column bus: register " + std::to_string(reg) + " written " + std::to_string(value));
        return true;
    }
    if (reg <= 4) {
        if (Socket* s = ReachedSocket(p)) s->Update(*this);
    }
    return true;
}

std::optional<uint8_t> ColumnPldBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    if (reg != 9) return std::nullopt;
    const Socket* s = ReachedSocket(p);
    const ChipDrive d = s ? s->Output(*this, pin::kDout) : ChipDrive::None;
    return static_cast<uint8_t>(d == ChipDrive::Low || d == ChipDrive::WeakLow ? 0 : 1);
}

PinCondition ColumnPldBusPersonality::Condition(int socketPin) const {
    PinCondition c;
    if (socketPin < 1 || socketPin > kSocketPins) return c;
    auto drive = [&](bool high) {
        c.driven = true;
        c.drivenHigh = high;
    };
    switch (socketPin) {
    case pin::kProg:
        drive((control_ & 1) != 0);
        break;
    case pin::kRead:
        drive((control_ & 2) != 0);
        break;
    case pin::kClock:
        drive((shift_ & 1) != 0);
        break;
    case pin::kData:
        drive((shift_ & 2) != 0);
        break;
    case pin::kEnable:
        drive((shift_ & 4) != 0);
        break;
    case pin::kLoad:
        drive(load_ != 0);
        break;
    default:
        if (socketPin >= pin::kMode0 && socketPin < pin::kMode0 + 4)
            drive(((mode_ >> (socketPin - pin::kMode0)) & 1) != 0);
        break;
    }
    if (const Electrical* e = prog_ ? Electrical::Find(*prog_) : nullptr) {
        const PinState s = e->Pin(socketPin);
        c.grounded = s.Grounded();
        if (s.Supplied()) {
            c.supplyTenths = s.Tenths();
            c.driven = false;
        }
    }
    return c;
}

void RegisterColumnPldBusPersonality() {
    RegisterPersonality(kPersonalityColumnPldBus, [](const LogicImageHeader& h) {
        return std::make_unique<ColumnPldBusPersonality>(h);
    });
}

} // namespace sim
