#include "sim/MuxBus.h"

namespace sim {

MuxBusPersonality::MuxBusPersonality(const LogicImageHeader& h)
    : seat_(DipSocketPins(28)), motorola_(h.params[0] == 1), before_(h.params[1]), idle_(h.params[2]),
      read_(h.params[3]), write_(h.params[4]) {}

void MuxBusPersonality::Snapshot(int s) {
    PinCondition* c = snap_[s];
    ElectricalConditions(c);
    if (!Driven()) return;
    auto drive = [&](int chipPin, bool high) {
        const int z = Seat(chipPin);
        c[z].driven = true;
        c[z].drivenHigh = high;
    };
    for (int i = 0; i < 5; ++i) drive(pins_.high[i], ((high_ >> i) & 1) != 0);
    if (driveAd_) {
        for (int i = 0; i < 8; ++i) drive(pins_.ad[i], ((ad_ >> i) & 1) != 0);
    }
    drive(pins_.latch, latch_);
    const bool selected = pattern_ == read_ || pattern_ == write_;
    drive(pins_.ce, !(selected && (readStrobe_ || writeStrobe_ || pattern_ == read_)));
    if (motorola_) {
        drive(pins_.write, !writeStrobe_);             // R/W
        drive(pins_.read, readStrobe_ || writeStrobe_); // DS
    } else {
        drive(pins_.read, !readStrobe_);
        drive(pins_.write, !writeStrobe_);
    }
}

bool MuxBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    if (!BeginWrite(p, reg)) return false;
    auto bad = [&] { return Unexpected(p, "multiplexed bus", reg, value); };
    switch (reg) {
    case 0:
        high_ = value; // the image wires bits 0-4 to A8-A12
        break;
    case 1:
        // 0 is the reset value every image takes.
        if (value != 0 && value != before_ && value != idle_ && value != read_ && value != write_) return bad();
        pattern_ = value;
        break;
    case 4:
        if (value > 1) return bad();
        reg4_ = value;
        phase_ = 0;
        break;
    case 9:
        if (!Driven()) {
            if (value != 0) return bad(); // 0 is the reset value
            break;
        }
        ad_ = value;
        driveAd_ = true;
        if (phase_ != 1) {
            latch_ = true;
            UpdateChips();
            latch_ = false;
        } else if (pattern_ == write_) {
            writeStrobe_ = true;
            UpdateChips();
            writeStrobe_ = false;
        }
        phase_ = phase_ == 1 ? 2 : 1;
        break;
    default:
        if (value != 0) return bad();
        break;
    }
    UpdateChips();
    return true;
}

std::optional<uint8_t> MuxBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    Sync();
    if (reg != 9) return std::nullopt;
    if (!Driven() || pattern_ != read_ || phase_ != 2) {
        p.Violation("multiplexed bus: register 9 read outside a read access");
        return 0xFF;
    }
    driveAd_ = false;
    readStrobe_ = true;
    UpdateChips();
    int ad[8];
    for (int i = 0; i < 8; ++i) ad[i] = Seat(pins_.ad[i]);
    uint8_t v = 0xFF;
    for (auto [s, socket] : Sockets()) {
        if (socket->Empty()) continue;
        View view(*this, s);
        v = static_cast<uint8_t>(v & socket->ReadLevels(view, ad, 8));
    }
    readStrobe_ = false;
    phase_ = 0;
    UpdateChips();
    return v;
}

void RegisterMuxBusPersonality() { SocketBusPersonality::Register<MuxBusPersonality>(kPersonalityMuxBus); }

} // namespace sim
