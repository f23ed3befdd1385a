#include "sim/McuRegisterBus.h"

#include <initializer_list>

#include "sim/PartFacts.h"


namespace sim {

namespace {

// Socket pins of the part's roles on the 44-pin adapter.
constexpr int kAddress[8] = {4, 5, 6, 7, 8, 9, 10, 11}; // P1.0-P1.7
constexpr int kData[8] = {45, 44, 43, 42, 41, 40, 39, 38}; // P0.0-P0.7
constexpr int kMode[2] = {13, 15};                         // P3.0, P3.1
constexpr int kLatch = 17;                                 // P3.3
constexpr int kReadStrobe = 33;                            // P2.7
constexpr int kAle = 35;
constexpr int kRst = 12;
constexpr int kXtal1 = 23;

// The 20-pin part with the address counter.
constexpr int kData20[8] = {26, 27, 28, 29, 30, 31, 32, 33}; // P1.0-P1.7
constexpr int kMode20[4] = {21, 22, 23, 25};                 // P3.3, P3.4, P3.5, P3.7
constexpr int kProg20 = 20;
constexpr int kClock20 = 19;
constexpr int kRst20 = 15;

// The 40-pin part taking mode codes (chip pin n on DIP socket pin).
constexpr int kAddress40[8] = {5, 6, 7, 8, 9, 10, 11, 12}; // P1.0-P1.7
constexpr int kModeCode40[3] = {31, 20, 21};     // P2.6, P3.6, P3.7
constexpr int kLatch40 = 17;                      // P3.3
constexpr int kStrobe40 = 32;                     // P2.7
constexpr int kData40[8] = {43, 42, 41, 40, 39, 38, 37, 36}; // P0.0-P0.7
constexpr int kAle40 = 34;
constexpr int kPsen40 = 33;
constexpr int kRst40 = 13;

bool AnyOf(uint8_t v, std::initializer_list<uint8_t> l) {
    for (uint8_t x : l) {
        if (x == v) return true;
    }
    return false;
}

} // namespace

bool McuRegisterBusPersonality::AllowedModeCode(uint8_t reg, uint8_t v) const {
    switch (reg) {
    case 0:
    case 9:
        return true;
    case 1:
        return AnyOf(v, {0, 0xA5, 0x25, 0x65});
    case 2:
        return AnyOf(v, {0, 0xFD, 0xFC});
    case 3:
        return AnyOf(v, {0, 0x47, 0x43, 0x42, 0x63, 0x73, 0xC2});
    default:
        return v == 0;
    }
}

bool McuRegisterBusPersonality::TakeModeCode() {
    const uint8_t r1 = reg_[1], r2 = reg_[2];
    const bool known = (r2 == 0xFD && AnyOf(r1, {0xA5, 0x25, 0x65})) || (r2 == 0xFC && r1 == 0x65);
    if (!known) return false;
    mode_ = static_cast<uint8_t>((r1 >> 7 & 1) | (r1 >> 5 & 2) | (r2 & 1) << 2);
    return true;
}

bool McuRegisterBusPersonality::Allowed(uint8_t reg, uint8_t v) const {
    auto any = [v](std::initializer_list<uint8_t> l) { return AnyOf(v, l); };
    if (modeCodePart_) return AllowedModeCode(reg, v);
    if (counterPart_) {
        switch (reg) {
        case 0:
            return v <= 0x0F;
        case 1:
            return v <= 1;
        case 2:
            return any({0, 3, 0x0B});
        case 4:
            return any({0, 7, 3, 1});
        case 9:
            return true;
        default:
            return v == 0;
        }
    }
    switch (reg) {
    case 0:
    case 9:
        return true;
    case 1:
        return v <= 1;
    case 2:
        return v <= 3;
    case 3:
        return any({0x00, 0xFE, 0xFF});
    case 4:
        return any({0x00, 0x0A, 0x02, 0x42, 0x43, 0xC3});
    case 5:
        return any({0, 5, 7});
    default:
        return v == 0;
    }
}

void McuRegisterBusPersonality::SnapshotCounterPart(PinCondition* c) const {
    const uint8_t control = reg_[4];
    if ((control & 1) == 0) return; // released
    auto drive = [&](int pin, bool high) {
        c[pin].driven = true;
        c[pin].drivenHigh = high;
    };
    for (int i = 0; i < 4; ++i) drive(kMode20[i], (reg_[0] >> i & 1) != 0);
    if ((control & 2) == 0) {
        for (int i = 0; i < 8; ++i) drive(kData20[i], (reg_[9] >> i & 1) != 0);
    }
    drive(kProg20, reg_[2] != 0x0B);
    drive(kClock20, clockHigh_);
    drive(kRst20, (control & 4) == 0);
}

void McuRegisterBusPersonality::SnapshotModeCodePart(PinCondition* c) const {
    const uint8_t control = reg_[3];
    if ((control & 0x40) == 0) return; // released
    const bool allLow = (control & 0x04) != 0;
    const bool readEnable = (control & 0x01) != 0;
    auto drive = [&](int pin, bool high) {
        c[pin].driven = true;
        c[pin].drivenHigh = high && !allLow;
    };
    for (int i = 0; i < 8; ++i) {
        drive(kAddress40[i], (reg_[0] >> i & 1) != 0);
        if (!readEnable) drive(kData40[i], (reg_[9] >> i & 1) != 0);
    }
    for (int i = 0; i < 3; ++i) drive(kModeCode40[i], (mode_ >> i & 1) != 0);
    drive(kLatch40, (control & 0x20) != 0);
    drive(kStrobe40, !readEnable);
    drive(kAle40, (control & 0x80) == 0);
    drive(kPsen40, false);
    drive(kRst40, (control & 0x02) != 0);
}

void McuRegisterBusPersonality::Snapshot(int s) {
    PinCondition* c = snap_[s];
    ElectricalConditions(c);
    if (counterPart_) return SnapshotCounterPart(c);
    if (modeCodePart_) return SnapshotModeCodePart(c);
    const uint8_t control = reg_[4];
    if ((control & 0x0A) == 0) return; // released
    const bool allLow = (control & 0x08) != 0;
    const bool strobe = (control & 0x80) != 0;
    auto drive = [&](int pin, bool high) {
        c[pin].driven = true;
        c[pin].drivenHigh = high && !allLow;
    };
    for (int i = 0; i < 8; ++i) {
        drive(kAddress[i], (reg_[0] >> i & 1) != 0);
        if (strobe && !allLow) drive(kData[i], (reg_[9] >> i & 1) != 0);
    }
    for (int i = 0; i < 2; ++i) drive(kMode[i], (reg_[2] >> i & 1) != 0);
    drive(kLatch, reg_[1] == 1);
    drive(kReadStrobe, reg_[3] != 0xFE);
    drive(kAle, !(strobe && (reg_[5] & 2) == 0));
    drive(kRst, (control & 0x01) != 0);
    if ((control & 0x40) != 0) drive(kXtal1, false);
}

bool McuRegisterBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    if (!BeginWrite(p, reg)) return false;
    if (!Allowed(reg, value)) return Unexpected(p, "8051 register bus", reg, value);
    const bool clock = counterPart_ && reg == 1 && value != reg_[1];
    const bool modeLatch = modeCodePart_ && reg == 3 && (reg_[3] & 0x10) != 0 && (value & 0x10) == 0;
    reg_[reg] = value;
    if (modeLatch && !TakeModeCode())
        return Unexpected(p, "8051 register bus mode code", reg_[1], reg_[2]);
    if (clock) {
        clockHigh_ = true;
        UpdateChips();
        clockHigh_ = false;
    }
    UpdateChips();
    return true;
}

std::optional<uint8_t> McuRegisterBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    Sync();
    if (reg != 9) return std::nullopt;
    const SocketList& sockets = Sockets();
    if (sockets.count == 0) return 0xFF;
    View view(*this, 0);
    const int* pins = counterPart_ ? kData20 : modeCodePart_ ? kData40 : kData;
    const auto& chips = sockets.socket[0]->Chips();
    if (chips.size() != 1) return static_cast<uint8_t>(sockets.socket[0]->ReadLevels(view, pins, 8));
    // One chip drives against no other: the family's model (past the
    // catalog's adapter, which only forwards) gives the data byte in one call.
    const ChipModel* chip = SeatedModel<ChipModel>(chips.front().get());
    ChipDrive d[8];
    chip->Outputs(view, pins, 8, d);
    unsigned high = 0, undriven = 0;
    for (size_t i = 0; i < 8; ++i) {
        high |= static_cast<unsigned>((d[i] == ChipDrive::High) | (d[i] == ChipDrive::WeakHigh)) << i;
        undriven |= static_cast<unsigned>(d[i] == ChipDrive::None) << i;
    }
    if (undriven != 0) high |= view.HighLevels(pins, 8) & undriven;
    return static_cast<uint8_t>(high);
}

void RegisterMcuRegisterBusPersonality() {
    SocketBusPersonality::Register<McuRegisterBusPersonality>(kPersonalityMcuBus);
}

} // namespace sim
