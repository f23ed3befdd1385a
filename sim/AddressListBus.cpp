#include "sim/AddressListBus.h"

#include <cstdio>

#include "sim/AddressListChip.h"
#include "sim/Catalog.h"
#include "sim/Electrical.h"
#include "sim/GangAdapter.h"

namespace sim {

namespace {

template <size_t N> bool OneOf(uint8_t v, const uint8_t (&values)[N]) {
    for (uint8_t x : values)
        if (x == v) return true;
    return false;
}

constexpr uint8_t kControl0[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x0B};
constexpr uint8_t kControl1[] = {0x00, 0x01, 0x02, 0x03};
constexpr uint8_t kControl2[] = {0x00, 0x04, 0x05, 0x06, 0x07, 0x0C};
constexpr uint8_t kState0[] = {0x00, 0x01, 0x03, 0x06, 0x07};
constexpr uint8_t kState12[] = {0x00, 0x06, 0x07, 0x09, 0x0B};

} // namespace

AddressListBusPersonality::AddressListBusPersonality(const LogicImageHeader& header)
    : profile_(header.params[0] <= 2 ? header.params[0] : 0), wide_(header.params[1] == 1) {}

void AddressListBusPersonality::Violation(const std::string& what) const {
    if (prog_) prog_->Violation(what);
}

void AddressListBusPersonality::Bad(uint8_t reg, uint8_t value) const {
    char text[80];
    std::snprintf(text, sizeof text, "address-list bus: register %u written %02Xh not expected", reg, value);
    Violation(text);
}

PinCondition AddressListBusPersonality::Condition(int socketPin) const {
    PinCondition c;
    if (socketPin < 1 || socketPin > kSocketPins) return c;
    if (const Electrical* e = prog_ ? Electrical::Find(*prog_) : nullptr) {
        const PinState s = e->Pin(socketPin);
        c.grounded = s.Grounded();
        if (s.Supplied()) c.supplyTenths = s.Tenths();
    }
    return c;
}

AddressListChip* AddressListBusPersonality::Chip() const {
    Socket* socket = prog_ ? ReachedSocket(*prog_) : nullptr;
    if (socket == nullptr) return nullptr;
    for (const auto& c : socket->Chips()) {
        if (auto* chip = SeatedModel<AddressListChip>(c.get())) return chip;
    }
    return nullptr;
}

bool AddressListBusPersonality::ValidControl(uint8_t v) const {
    if (profile_ == 0) return OneOf(v, kControl0);
    if (profile_ == 1) return OneOf(v, kControl1);
    return OneOf(v, kControl2);
}

bool AddressListBusPersonality::ValidState(uint8_t v) const {
    return profile_ == 0 ? OneOf(v, kState0) : OneOf(v, kState12);
}

bool AddressListBusPersonality::ReadState() const {
    if (profile_ == 0) return regs_[4] == 0x01 && regs_[5] == 0x03;
    if (profile_ == 1) return regs_[4] == 0x00 && regs_[5] == 0x0B && regs_[2] == 1;
    return regs_[4] == 0x05 && regs_[5] == 0x0B;
}

uint16_t DataOf(const uint8_t* regs, bool wide) {
    return static_cast<uint16_t>(regs[9] | (wide ? (regs[10] & 0x0F) << 8 : 0xF00));
}

void AddressListBusPersonality::Control(uint8_t v) {
    AddressListChip* chip = Chip();
    const uint8_t before = regs_[4];
    regs_[4] = v;
    if (chip == nullptr || v == before) return;
    const uint32_t address = static_cast<uint32_t>(regs_[0] | regs_[1] << 8);
    if (chip->Strobing()) chip->StrobeEnd(*this, address, DataOf(regs_, wide_));
    const uint8_t strobe = profile_ == 0 ? 0x0B : profile_ == 1 ? 0x02 : 0x06;
    const uint8_t dataDriven = profile_ == 0 ? 0x01 : 0x09;
    if (v == strobe) {
        if (regs_[5] != dataDriven) Violation("address-list bus: program strobe without the data driven");
        if (profile_ == 1) chip->TakeMode(*this, regs_[2] == 1 ? 13 : 12);
        chip->StrobeStart(*this);
    } else if ((profile_ == 0 && v == 0x04) || (profile_ == 2 && v == 0x0C)) {
        chip->TakeMode(*this, regs_[2]);
    }
}

bool AddressListBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    prog_ = &p;
    if (AddressListChip* chip = Chip()) chip->Observe(*this);
    if (reg > 11) return false;
    bool ok = value == 0;
    switch (reg) {
    case 0:
    case 1:
    case 9:
        ok = true;
        break;
    case 10:
        ok = ok || wide_;
        break;
    case 2:
        ok = ok || (profile_ == 1 ? value == 1 : value == 12 || value == 13);
        break;
    case 4:
        ok = ValidControl(value);
        break;
    case 5:
        ok = ValidState(value);
        break;
    default:
        break;
    }
    if (!ok) {
        Bad(reg, value);
        return true;
    }
    if (reg == 4) {
        Control(value);
    } else {
        regs_[reg] = value;
    }
    return true;
}

bool AddressListBusPersonality::OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) {
    (void)reg, (void)bit, (void)state;
    prog_ = &p;
    if (AddressListChip* chip = Chip()) chip->Observe(*this);
    return false;
}

std::optional<uint8_t> AddressListBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    if (reg != 9 && reg != 10) return std::nullopt;
    if (reg == 10 && !wide_) return std::nullopt;
    AddressListChip* chip = Chip();
    if (chip == nullptr) return uint8_t{0xFF};
    if (!ReadState()) {
        Violation("address-list bus: register " + std::to_string(reg) + " read outside the read state");
        return uint8_t{0xFF};
    }
    if (profile_ == 1) chip->TakeMode(*this, 13);
    const uint16_t word = chip->Read(*this, static_cast<uint32_t>(regs_[0] | regs_[1] << 8));
    return static_cast<uint8_t>(reg == 9 ? word & 0xFF : (word >> 8) & 0x0F);
}

void RegisterAddressListBusPersonality() {
    RegisterPersonality(kPersonalityAddressList, [](const LogicImageHeader& h) {
        return std::make_unique<AddressListBusPersonality>(h);
    });
}

} // namespace sim
