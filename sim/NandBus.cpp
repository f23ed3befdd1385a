#include "sim/NandBus.h"

#include <cstdio>

#include "sim/GangAdapter.h"

namespace sim {

namespace {

constexpr int kRe = 8, kCe = 9, kCle = 16, kAle = 17, kWe = 18, kWp = 19, kRb = 7;
constexpr int kIo[8] = {29, 30, 31, 32, 41, 42, 43, 44};

bool Allowed(uint8_t reg, uint8_t v) {
    switch (reg) {
    case 2:
        return v == 0 || v == 1 || v == 2 || v == 8;
    case 3:
        return true;
    case 4:
        return v == 0 || v == 0x13 || v == 0x11 || v == 0x03;
    case 5:
        return v == 4 || v == 0 || v == 5 || v == 1 || v == 6 || v == 2;
    case 6:
        return true;
    case 7:
        return v <= 1;
    default:
        return v == 0;
    }
}

} // namespace

constexpr int kControls[6] = {kCe, kCle, kAle, kWe, kRe, kWp};

unsigned NandBusPersonality::ControlBits(int s) const {
    return static_cast<unsigned>(!Enabled(s)) | static_cast<unsigned>(reg2_ == 1) << 1 |
           static_cast<unsigned>(reg2_ == 2) << 2 | static_cast<unsigned>(!weLow_) << 3 |
           static_cast<unsigned>(!reLow_) << 4 | 1u << 5;
}

void NandBusPersonality::Snapshot(int s) {
    PinCondition* c = snap_[s];
    const unsigned controls = ControlBits(s);
    Drawn& d = drawn_[s];
    const bool active = reg4_ != 0;
    auto set = [c](const int* pins, unsigned changed, unsigned now) { SetMovedLevels(c, pins, changed, now); };
    // Only the lines that moved, while the supplies, the components and the
    // set of driven lines stay.
    if (StillDrawn(d) && d.active == active && d.data == driveData_) {
        if (!active) return;
        set(kControls, controls ^ d.controls, controls);
        d.controls = controls;
        if (driveData_) set(kIo, static_cast<unsigned>(data_ ^ d.datum), data_);
        d.datum = data_;
        return;
    }
    // In a gang module the feed on pin 44 stays with the module: the
    // sockets' pin 44 is I/O7.
    const bool gang = prog_ != nullptr && GangAdapter::Find(*prog_) != nullptr;
    ElectricalConditions(c, gang ? GangAdapter::kSupplyFeedPin : 0);
    MarkDrawn(d);
    d.active = active;
    d.data = driveData_;
    d.datum = data_;
    d.controls = controls;
    if (!active) return; // lines released
    auto drive = [&](int pin, bool high) {
        c[pin].driven = true;
        c[pin].drivenHigh = high;
    };
    for (int k = 0; k < 6; ++k) drive(kControls[k], ((controls >> k) & 1) != 0);
    if (driveData_) {
        for (int i = 0; i < 8; ++i)
            drive(kIo[i], ((data_ >> i) & 1) != 0);
    }
}

bool NandBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    if (!BeginWrite(p, reg)) return false;
    if (!Allowed(reg, value)) {
        char t[64];
        std::snprintf(t, sizeof t, "NAND bus: register %u written %02Xh not expected", reg, value);
        p.Violation(t);
        return true;
    }
    switch (reg) {
    case 2:
        reg2_ = value;
        break;
    case 3:
        mask_ = value;
        break;
    case 4:
        reg4_ = value;
        break;
    case 5:
        reg5_ = value;
        break;
    case 6:
        if (reg4_ == 0) {
            // The reset clears it; anything else is meant for a chip that
            // cannot see it.
            if (value != 0) p.Violation("NAND bus: register 6 written with the lines released");
            return true;
        }
        data_ = value;
        driveData_ = true;
        UpdateChips();
        weLow_ = true;
        UpdateChips();
        weLow_ = false;
        UpdateChips();
        driveData_ = false; // released at the next change of the lines
        return true;
    case 7:
        reg7_ = value;
        break;
    default:
        break;
    }
    UpdateChips();
    return true;
}

bool NandBusPersonality::Ready() {
    Sync();
    bool ready = true;
    for (auto [s, socket] : Sockets()) {
        if (socket->Empty() || !Enabled(s) || reg4_ == 0) continue;
        View view(*this, s);
        if (socket->Output(view, kRb) == ChipDrive::Low) ready = false;
    }
    return ready;
}

uint8_t NandBusPersonality::ReadCycle() {
    Sync();
    reLow_ = true;
    UpdateChips();
    uint8_t v = 0;
    bool any = false;
    for (auto [s, socket] : Sockets()) {
        if (socket->Empty() || !Enabled(s)) continue;
        View view(*this, s);
        ChipDrive out[8];
        // One chip answers for the socket in one call.
        if (socket->Chips().size() == 1) {
            socket->Chips().front()->Outputs(view, kIo, 8, out);
        } else {
            for (int i = 0; i < 8; ++i) out[i] = socket->Output(view, kIo[i]);
        }
        uint8_t d = 0;
        for (int i = 0; i < 8; ++i) {
            const ChipDrive o = out[i];
            // An undriven I/O line floats high (the image's pull-ups).
            if (o != ChipDrive::Low && o != ChipDrive::WeakLow) d = static_cast<uint8_t>(d | (1u << i));
        }
        v = static_cast<uint8_t>(v | d);
        any = true;
    }
    reLow_ = false;
    UpdateChips();
    return any ? v : 0xFF;
}

std::optional<uint8_t> NandBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    if (reg == 2) return static_cast<uint8_t>(Ready() ? 1 : 0);
    if (reg == 6) {
        if (reg4_ != 0x13 && reg4_ != 0x03) {
            p.Violation("NAND bus: register 6 read without a read strobe");
            return 0xFF;
        }
        return ReadCycle();
    }
    Sync();
    return std::nullopt;
}

void RegisterNandPersonality() {
    RegisterPersonality(kPersonalityNand, [](const LogicImageHeader&) -> std::unique_ptr<SimPersonality> {
        return std::make_unique<NandBusPersonality>();
    });
}

} // namespace sim
