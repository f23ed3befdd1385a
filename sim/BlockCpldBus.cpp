#include "sim/BlockCpldBus.h"

#include "sim/BlockCpldChip.h"
#include "sim/Electrical.h"
#include "sim/GangAdapter.h"

namespace sim {

namespace {
namespace pin = block_cpld_pins;
} // namespace

BlockCpldBusPersonality::BlockCpldBusPersonality(const LogicImageHeader& header)
    : dataRegister_(header.params[0] == 9 ? 9 : 6), instructionForm_(header.params[1] == 1) {}

void BlockCpldBusPersonality::Violation(const std::string& what) const {
    if (prog_) prog_->Violation(what);
}

void BlockCpldBusPersonality::Apply(SimProgrammer& p) {
    if (Socket* s = ReachedSocket(p)) s->Update(*this);
}

bool BlockCpldBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    prog_ = &p;
    if (reg > 11) return false;
    auto bad = [&] {
        Violation("block CPLD bus: register " + std::to_string(reg) + " written " + std::to_string(value));
        return true;
    };
    if (reg == dataRegister_) {
        data_ = value;
        Apply(p);
        return true;
    }
    if (instructionForm_) {
        switch (reg) {
        case 0:
            if (value == 1 || value > 3) return bad();
            command_ = value;
            break;
        case 1:
            if (value > 7) return bad();
            clocks_ = value;
            break;
        case 4:
            if (value == 4 || value > 5) return bad();
            mode_ = value;
            break;
        default:
            if (value != 0) return bad();
            return true;
        }
        Apply(p);
        return true;
    }
    switch (reg) {
    case 0:
        if (value > 3) return bad();
        command_ = value;
        break;
    case 1:
        if (value > 2) return bad();
        clocks_ = value;
        break;
    case 2:
        if (value != 0 && value != 4 && value != 5) return bad();
        row_ = value;
        break;
    case 3:
        if (value > 1) return bad();
        roe_ = value;
        break;
    case 4:
        if (value == 4 || value > 5) return bad();
        mode_ = value;
        break;
    default:
        if (value != 0) return bad();
        return true;
    }
    Apply(p);
    return true;
}

std::optional<uint8_t> BlockCpldBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    const Socket* s = ReachedSocket(p);
    if (instructionForm_ && reg == 10) {
        const ChipDrive d = s ? s->Output(*this, pin::kTdo) : ChipDrive::None;
        return static_cast<uint8_t>(d == ChipDrive::Low || d == ChipDrive::WeakLow ? 0 : 1);
    }
    if (reg != dataRegister_) return std::nullopt;
    uint8_t v = 0;
    for (int b = 0; b < 8; ++b) {
        const ChipDrive d = s ? s->Output(*this, pin::kDout0 + b) : ChipDrive::None;
        if (d == ChipDrive::High || d == ChipDrive::WeakHigh || d == ChipDrive::None)
            v |= static_cast<uint8_t>(1u << b);
    }
    return v;
}

PinCondition BlockCpldBusPersonality::Condition(int socketPin) const {
    PinCondition c;
    if (socketPin < 1 || socketPin > kSocketPins) return c;
    auto drive = [&](bool high) {
        c.driven = true;
        c.drivenHigh = high;
    };
    switch (socketPin) {
    case pin::kCmd0:
        drive((command_ & 1) != 0);
        break;
    case pin::kCmd1:
        drive((command_ & 2) != 0);
        break;
    case pin::kDclk:
        drive(instructionForm_ ? (clocks_ & 1) != 0 : clocks_ == 1);
        break;
    case pin::kRclk:
        drive(instructionForm_ ? (clocks_ & 2) != 0 : clocks_ == 2);
        break;
    case pin::kRin:
        drive(instructionForm_ ? (clocks_ & 4) != 0 : (row_ & 1) != 0);
        break;
    case pin::kEnable:
        drive((row_ & 4) != 0);
        break;
    case pin::kRoe:
        drive(roe_ != 0);
        break;
    case pin::kMode0:
        drive((mode_ & 1) != 0);
        break;
    case pin::kMode1:
        drive((mode_ & 2) != 0);
        break;
    case pin::kPulse:
        drive((mode_ & 4) != 0);
        break;
    default:
        if (socketPin >= pin::kDin0 && socketPin < pin::kDin0 + 8)
            drive(((data_ >> (socketPin - pin::kDin0)) & 1) != 0);
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

void RegisterBlockCpldBusPersonality() {
    RegisterPersonality(kPersonalityBlockCpldBus, [](const LogicImageHeader& h) {
        return std::make_unique<BlockCpldBusPersonality>(h);
    });
}

} // namespace sim
