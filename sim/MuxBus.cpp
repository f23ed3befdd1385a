#include "sim/MuxBus.h"

namespace sim {

MuxBusPersonality::MuxBusPersonality(const LogicImageHeader& h)
    : seat_(DipSocketPins(28)), motorola_(h.params[0] == 1), before_(h.params[1]), idle_(h.params[2]),
      read_(h.params[3]), write_(h.params[4]) {
    for (int i = 0; i < 5; ++i) highZ_[i] = Seat(pins_.high[i]);
    for (int i = 0; i < 8; ++i) adZ_[i] = Seat(pins_.ad[i]);
    controlZ_[0] = Seat(pins_.latch);
    controlZ_[1] = Seat(pins_.ce);
    controlZ_[2] = Seat(pins_.write);
    controlZ_[3] = Seat(pins_.read);
}

unsigned MuxBusPersonality::ControlBits() const {
    const bool selected = pattern_ == read_ || pattern_ == write_;
    const bool ce = !(selected && (readStrobe_ || writeStrobe_ || pattern_ == read_));
    // Motorola: R/W low writes, DS high strobes; else /WE and /OE.
    const bool write = !writeStrobe_;
    const bool read = motorola_ ? readStrobe_ || writeStrobe_ : !readStrobe_;
    return static_cast<unsigned>(latch_) | static_cast<unsigned>(ce) << 1 | static_cast<unsigned>(write) << 2 |
           static_cast<unsigned>(read) << 3;
}

void MuxBusPersonality::Snapshot(int s) {
    PinCondition* c = snap_[s];
    const unsigned controls = ControlBits();
    Drawn& d = drawn_[s];
    const bool active = Driven();
    auto set = [c](const int* pins, unsigned changed, unsigned now) { SetMovedLevels(c, pins, changed, now); };
    // Only the lines that moved, while the supplies, the components and the
    // set of driven lines stay (the lines are on distinct pins).
    if (StillDrawn(d) && d.active == active && d.ad == driveAd_) {
        if (!active) return;
        set(highZ_, (high_ ^ d.high) & 0x1Fu, high_);
        d.high = high_;
        if (driveAd_) set(adZ_, static_cast<unsigned>(ad_ ^ d.datum), ad_);
        d.datum = ad_;
        set(controlZ_, controls ^ d.controls, controls);
        d.controls = controls;
        return;
    }
    ElectricalConditions(c);
    MarkDrawn(d);
    d.active = active;
    d.ad = driveAd_;
    d.high = high_;
    d.datum = ad_;
    d.controls = controls;
    if (!active) return;
    auto drive = [&](int z, bool high) {
        c[z].driven = true;
        c[z].drivenHigh = high;
    };
    for (int i = 0; i < 5; ++i) drive(highZ_[i], ((high_ >> i) & 1) != 0);
    if (driveAd_) {
        for (int i = 0; i < 8; ++i) drive(adZ_[i], ((ad_ >> i) & 1) != 0);
    }
    for (int k = 0; k < 4; ++k) drive(controlZ_[k], ((controls >> k) & 1) != 0);
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
