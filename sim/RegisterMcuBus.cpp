#include "sim/RegisterMcuBus.h"

namespace sim {

namespace {

constexpr int kAddress[16] = {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
constexpr int kByte[4] = {21, 22, 23, 25};
constexpr int kData[8] = {26, 27, 28, 29, 30, 31, 32, 33};
constexpr int kControl[3] = {34, 35, 36}; // /RD, /PGM, /MODE: register 4 bits 0-2
constexpr int kCommand = 38, kPresent = 39;

// The multiplexed one-time parts.
constexpr int kBus1[8] = {12, 13, 14, 15, 16, 17, 18, 19};
constexpr int kHigh1[8] = {36, 37, 38, 39, 40, 41, 42, 43};
constexpr int kAle1 = 20, kOutputEnable1 = 21, kProgram1 = 22;

// The flash part written with commands.
constexpr int kLow3[8] = {26, 27, 28, 29, 30, 31, 32, 33};
constexpr int kHigh3[5] = {38, 39, 40, 41, 42};
constexpr int kChipEnable3 = 20, kWriteEnable3 = 22, kMode3 = 23;

// The erasable part taking code lines.
constexpr int kData4[8] = {26, 27, 28, 29, 30, 31, 32, 33};
constexpr int kStrobe4[5] = {21, 22, 23, 25, 34};
constexpr int kModeLines4[5] = {36, 37, 38, 39, 40};
constexpr int kWriteEnable4 = 41;

bool OneOf(uint8_t v, std::initializer_list<uint8_t> l) {
    for (uint8_t x : l) {
        if (x == v) return true;
    }
    return false;
}

} // namespace

bool RegisterMcuBusPersonality::AllowedMultiplexed(uint8_t reg, uint8_t v) const {
    switch (reg) {
    case 0:
    case 9:
        return true;
    case 1:
        return OneOf(v, {0, 4, 5, 6, 7});
    case 3:
        return OneOf(v, {0, 9, 0x0D});
    case 4:
        return OneOf(v, {0, 0x0B, 0x0F, 0x0D});
    default:
        return v == 0;
    }
}

bool RegisterMcuBusPersonality::AllowedLatched(uint8_t reg, uint8_t v) const {
    switch (reg) {
    case 1:
    case 6:
        return true;
    case 2:
        return v <= 2;
    case 3:
        return v == 0 || v == 0xFF;
    case 4:
        return OneOf(v, {0, 5, 6, 7});
    default:
        return v == 0;
    }
}

bool RegisterMcuBusPersonality::AllowedCommand(uint8_t reg, uint8_t v) const {
    switch (reg) {
    case 0:
    case 9:
        return true;
    case 1:
        return v <= 0x1F;
    case 2:
        return v <= 1;
    case 3:
        return OneOf(v, {0, 0xFF, 0xFE});
    case 4:
        return OneOf(v, {0, 0x43, 3});
    case 5:
        return OneOf(v, {0, 8, 0x1E, 0x16});
    default:
        return v == 0;
    }
}

bool RegisterMcuBusPersonality::AllowedCoded(uint8_t reg, uint8_t v) const {
    switch (reg) {
    case 0:
    case 1:
    case 6:
        return true;
    case 2:
        return OneOf(v, {0, 7, 6, 2, 0x16, 4});
    case 3:
        return OneOf(v, {0, 0x13, 0x0C, 0x0F, 0x0D, 0x0E});
    case 4:
        return OneOf(v, {0, 0x0E, 0x0F, 0x0D});
    default:
        return v == 0;
    }
}

bool RegisterMcuBusPersonality::Allowed(uint8_t reg, uint8_t v) const {
    if (form_ == 5 || form_ == 6) return AllowedNibble(reg, v);
    if (form_ == 4) return AllowedCoded(reg, v);
    if (form_ == 3) return AllowedCommand(reg, v);
    if (form_ == 1) return AllowedMultiplexed(reg, v);
    if (form_ == 2) return AllowedLatched(reg, v);
    switch (reg) {
    case 0:
    case 1:
    case 9:
        return true;
    case 2:
        return v <= 15;
    case 4:
        return OneOf(v, {0, 0x1F, 0x1E, 0x1D, 0x1B});
    case 5:
        return OneOf(v, {0, 0x13, 3, 1, 0x81});
    default:
        return v == 0;
    }
}

void RegisterMcuBusPersonality::SnapshotMultiplexed(PinCondition* c) const {
    const uint8_t lines = reg_[4];
    if (lines != 0x0F && lines != 0x0D) return; // released
    auto drive = [&](int pin, bool high) {
        c[pin].driven = true;
        c[pin].drivenHigh = high;
    };
    const bool read = reg_[1] == 7 && lines == 0x0F;
    for (int i = 0; i < 8; ++i) {
        drive(kHigh1[i], (reg_[0] >> i & 1) != 0);
        if (!read) drive(kBus1[i], (reg_[9] >> i & 1) != 0);
    }
    drive(kAle1, reg_[1] == 4);
    drive(kOutputEnable1, !read);
    drive(kProgram1, reg_[3] != 0x0D);
}

void RegisterMcuBusPersonality::SnapshotLatched(PinCondition* c) const {
    const uint8_t lines = reg_[4];
    if (lines != 5 && lines != 7) return; // released
    auto drive = [&](int pin, bool high) {
        c[pin].driven = true;
        c[pin].drivenHigh = high;
    };
    const bool read = reg_[3] == 0 && lines == 7;
    for (int i = 0; i < 8; ++i) {
        drive(kHigh1[i], (reg_[1] >> i & 1) != 0);
        if (!read) drive(kBus1[i], (reg_[6] >> i & 1) != 0);
    }
    drive(kAle1, reg_[2] == 1);
    drive(kOutputEnable1, !read);
    drive(kProgram1, reg_[2] != 2);
}

void RegisterMcuBusPersonality::SnapshotCommand(PinCondition* c) const {
    const uint8_t lines = reg_[5];
    if (lines != 0x1E && lines != 0x16) return; // released
    auto drive = [&](int pin, bool high) {
        c[pin].driven = true;
        c[pin].drivenHigh = high;
    };
    const bool read = reg_[3] == 0xFE;
    for (int i = 0; i < 8; ++i) {
        drive(kLow3[i], (reg_[0] >> i & 1) != 0);
        if (!read) drive(kBus1[i], (reg_[9] >> i & 1) != 0);
    }
    for (int i = 0; i < 5; ++i) drive(kHigh3[i], (reg_[1] >> i & 1) != 0);
    drive(kChipEnable3, reg_[2] != 0);
    drive(kOutputEnable1, !read);
    drive(kWriteEnable3, reg_[4] != 3);
    drive(kMode3, lines != 0x16);
}

void RegisterMcuBusPersonality::SnapshotCoded(PinCondition* c) const {
    const uint8_t lines = reg_[4];
    if (lines != 0x0E && lines != 0x0F && lines != 0x0D) return; // released
    auto drive = [&](int pin, bool high) {
        c[pin].driven = true;
        c[pin].drivenHigh = high;
    };
    for (int i = 0; i < 5; ++i) {
        drive(kStrobe4[i], (reg_[2] >> i & 1) != 0);
        drive(kModeLines4[i], (reg_[3] >> i & 1) != 0);
    }
    if (lines == 0x0E) return; // only the codes
    for (int i = 0; i < 8; ++i) {
        drive(kAddress[i], (reg_[0] >> i & 1) != 0);
        drive(kAddress[8 + i], (reg_[1] >> i & 1) != 0);
        if (reg_[2] != 2) drive(kData4[i], (reg_[6] >> i & 1) != 0);
    }
    drive(kWriteEnable4, lines != 0x0D);
}

void RegisterMcuBusPersonality::Snapshot(int s) {
    PinCondition* c = snap_[s];
    ElectricalConditions(c);
    if (form_ == 4) return SnapshotCoded(c);
    if (form_ == 5 || form_ == 6) return SnapshotNibble(c);
    if (form_ == 3) return SnapshotCommand(c);
    if (form_ == 1) return SnapshotMultiplexed(c);
    if (form_ == 2) return SnapshotLatched(c);
    const uint8_t state = reg_[5];
    if (state == 0 || state == 0x13) return; // released
    auto drive = [&](int pin, bool high) {
        c[pin].driven = true;
        c[pin].drivenHigh = high;
    };
    for (int i = 0; i < 8; ++i) {
        drive(kAddress[i], (reg_[0] >> i & 1) != 0);
        drive(kAddress[8 + i], (reg_[1] >> i & 1) != 0);
    }
    for (int i = 0; i < 4; ++i) drive(kByte[i], (reg_[2] >> i & 1) != 0);
    // Register 4 at 0 (before the first control write) holds the lines high.
    const uint8_t control = reg_[4] == 0 ? 0x1F : reg_[4];
    for (int i = 0; i < 3; ++i) drive(kControl[i], (control >> i & 1) != 0);
    drive(kCommand, state != 1);
    drive(kPresent, state != 0x81);
    if (state == 1 || state == 0x81) {
        for (int i = 0; i < 8; ++i) drive(kData[i], (reg_[9] >> i & 1) != 0);
    }
}

bool RegisterMcuBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    if (!BeginWrite(p, reg)) return false;
    if (!Allowed(reg, value)) return Unexpected(p, "register-bus microcontroller", reg, value);
    reg_[reg] = value;
    if (form_ == 5 || form_ == 6) {
        if (reg == 0 && value >= 4 && value <= 6) nib_.mode = value;
        if (reg == 4 && value == 0) nib_ = NibbleState{};
        UpdateChips();
        if (reg == 1 && value != 0) NibbleCommand(p, value);
        return true;
    }
    UpdateChips();
    return true;
}

std::optional<uint8_t> RegisterMcuBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    Sync();
    if (form_ == 5 || form_ == 6) return reg == 3 ? ReadNibbleStatus() : std::nullopt;
    if (reg != (form_ == 2 || form_ == 4 ? 6 : 9)) return std::nullopt;
    const SocketList& sockets = Sockets();
    if (sockets.count == 0) return 0xFF;
    View view(*this, 0);
    const int* data = form_ == 0 ? kData : form_ == 4 ? kData4 : kBus1;
    return static_cast<uint8_t>(sockets.socket[0]->ReadLevels(view, data, 8));
}

void RegisterRegisterMcuBusPersonality() {
    SocketBusPersonality::Register<RegisterMcuBusPersonality>(kPersonalityRegisterMcuBus);
}

} // namespace sim
