// The nibble-handshake forms of the register-bus personality: the logic
// assembles 10-bit addresses from 5-bit halves and bytes from nibbles, drives
// them on the part's pins, pulses /PGM and samples D on command, and reports
// the part's RDY line as its busy bit.
#include "sim/RegisterMcuBus.h"

namespace sim {

namespace {

constexpr int kNibAddress[10] = {5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
constexpr int kNibData[8] = {26, 27, 28, 29, 30, 31, 32, 33};
constexpr int kNibOutputEnable = 36, kNibProgram = 37, kNibReady = 41;
constexpr int kNibMode[3] = {38, 39, 40};
constexpr uint8_t kCycleAddress = 0, kCycleWrite = 8, kCycleRead = 13, kCyclePulse = 14;

} // namespace

bool RegisterMcuBusPersonality::AllowedNibble(uint8_t reg, uint8_t v) const {
    switch (reg) {
    case 0:
        return v == 0 || v == 4 || v == 5 || v == 6 || v == 8 || v == 13 || v == 14;
    case 1:
        if (v == 0) return true;
        if (form_ == 5) return v == 12 || v == 13 || v == 8 || v == 16 || v == 37 || v == 3 || v == 24 || v == 6 || v == 4;
        return v == 6 || v == 15 || v == 1 || v == 2 || v == 4 || v == 24;
    case 3:
        return v <= 0x1F;
    case 4:
        return v == 0 || v == 1 || v == 3 || v == 5;
    case 5:
        return v == 0 || v == (form_ == 5 ? 2 : 3);
    default:
        return v == 0;
    }
}

void RegisterMcuBusPersonality::SnapshotNibble(PinCondition* c) const {
    if ((reg_[4] != 1 && reg_[4] != 3) || reg_[5] == 0) return; // released
    auto drive = [&](int pin, bool high) {
        c[pin].driven = true;
        c[pin].drivenHigh = high;
    };
    for (int i = 0; i < 10; ++i) drive(kNibAddress[i], (nib_.address >> i & 1) != 0);
    for (int i = 0; i < 3; ++i) drive(kNibMode[i], (nib_.mode >> i & 1) != 0);
    drive(kNibOutputEnable, !nib_.oe);
    drive(kNibProgram, !nib_.pgm);
    if (nib_.present && !nib_.oe) {
        for (int i = 0; i < 8; ++i) drive(kNibData[i], (nib_.data >> i & 1) != 0);
    }
}

// /OE low for one sample of D, then high again.
uint8_t RegisterMcuBusPersonality::SampleNibbleData() {
    nib_.oe = true;
    UpdateChips();
    const SocketList& sockets = Sockets();
    uint8_t v = 0xFF;
    if (sockets.count != 0) {
        View view(*this, 0);
        v = static_cast<uint8_t>(sockets.socket[0]->ReadLevels(view, kNibData, 8));
    }
    nib_.oe = false;
    UpdateChips();
    return v;
}

void RegisterMcuBusPersonality::NibbleCommand(SimProgrammer& p, uint8_t c) {
    const bool f5 = form_ == 5;
    const uint8_t cycle = reg_[0];
    const bool modeSet = cycle >= 4 && cycle <= 6;
    auto bad = [&] { Unexpected(p, "nibble-handshake logic: command", 1, c); };
    if ((f5 && c == 12) || (!f5 && c == 6 && modeSet && !nib_.armed)) {
        nib_ = NibbleState{.mode = nib_.mode};
        return;
    }
    if ((f5 && c == 13) || (!f5 && c == 15)) {
        nib_.armed = true;
        return;
    }
    if (!nib_.armed) return bad();
    const uint8_t shift = f5 ? 8 : 1;
    auto pulse = [&] {
        nib_.present = nib_.present && !nib_.oe;
        nib_.pgm = true;
        UpdateChips();
        nib_.pgm = false;
        UpdateChips();
    };
    if (c == shift && cycle == kCycleAddress) {
        nib_.address = static_cast<uint16_t>((nib_.address << 5 | (reg_[3] & 0x1F)) & 0x3FF);
        nib_.present = false;
    } else if (c == shift && cycle == kCycleWrite) {
        nib_.data = static_cast<uint8_t>(nib_.data << 4 | (reg_[3] & 0x0F));
    } else if (c == shift && cycle == kCycleRead && nib_.nibble >= 0) {
        if (nib_.nibble == 0) {
            nib_.nibble = 1;
        } else if (!f5) {
            nib_.nibble = -1;
        } else {
            bad();
        }
    } else if (f5 && c == 3 && cycle == kCycleRead && nib_.nibble == 1) {
        nib_.nibble = -1;
    } else if (c == (f5 ? 16 : 2) && cycle == kCycleWrite && reg_[4] == 3) {
        nib_.present = true;
    } else if (((f5 && c == 37) || (!f5 && (c == 2 || c == 4))) && cycle == kCycleRead) {
        nib_.present = false;
        nib_.read = SampleNibbleData();
        nib_.nibble = 0;
    } else if (((f5 && c == 24) || (!f5 && c == 6)) && cycle == kCyclePulse) {
        pulse();
    } else if (f5 && c == 6 && nib_.mode == 4 && (cycle == kCycleAddress || cycle == kCyclePulse)) {
        pulse();
    } else if (((f5 && c == 4) || (!f5 && c == 24 && cycle == kCycleRead)) && nib_.mode == 5) {
        nib_.lock = SampleNibbleData() & 0x20;
    } else {
        bad();
    }
}

std::optional<uint8_t> RegisterMcuBusPersonality::ReadNibbleStatus() {
    const SocketList& sockets = Sockets();
    bool busy = false;
    if (sockets.count != 0 && (reg_[4] == 1 || reg_[4] == 3)) {
        View view(*this, 0);
        busy = sockets.socket[0]->ReadLevels(view, &kNibReady, 1) == 0;
    }
    const uint8_t half = nib_.nibble == 1 ? nib_.read & 0x0F : nib_.read >> 4;
    return static_cast<uint8_t>((busy ? 0x80 : 0) | nib_.lock | half);
}

} // namespace sim
