#include "sim/PageRunBus.h"

#include <algorithm>

#include "sim/GangAdapter.h"

namespace sim {

PageRunBusPersonality::PageRunBusPersonality(const LogicImageHeader& h)
    : pins_(FlashPinoutById(h.params[0])), seat_(DipSocketPins(pins_.pinCount)) {
    const int hv = h.params[1];
    if (hv >= 1 && hv <= static_cast<int>(seat_.size())) hvZ_ = seat_[static_cast<size_t>(hv - 1)];
}

void PageRunBusPersonality::Snapshot(int s) {
    PinCondition* c = snap_[s];
    // In a gang module the feed on pin 44 reaches a socket's pin 44 only as
    // the supply of a part whose VCC is there; otherwise that pin is a bus line.
    bool feedIsVcc = false;
    for (int v : pins_.vcc) {
        feedIsVcc = feedIsVcc || (v >= 1 && v <= static_cast<int>(seat_.size()) &&
                                  seat_[static_cast<size_t>(v - 1)] == GangAdapter::kSupplyFeedPin);
    }
    const bool gang = prog_ != nullptr && GangAdapter::Find(*prog_) != nullptr;
    ElectricalConditions(c, gang && !feedIsVcc ? GangAdapter::kSupplyFeedPin : 0);
    if (!Driven()) return;
    auto seat = [&](int chipPin) {
        return chipPin >= 1 && chipPin <= static_cast<int>(seat_.size()) ? seat_[static_cast<size_t>(chipPin - 1)] : 0;
    };
    auto drive = [&](int chipPin, bool high) {
        const int z = seat(chipPin);
        if (z == 0) return;
        c[z].driven = true;
        c[z].drivenHigh = high;
    };
    for (size_t i = 0; i < pins_.address.size() && i < 24; ++i) drive(pins_.address[i], ((address_ >> i) & 1) != 0);
    if (dataDriven_) {
        for (size_t i = 0; i < pins_.data.size() && i < 8; ++i) drive(pins_.data[i], ((datum_ >> i) & 1) != 0);
    }
    drive(pins_.ce, (mask_ & (1u << s)) != 0);
    drive(pins_.oe, !oe_);
    drive(pins_.we, !we_);
    if (pins_.byteMode != 0) drive(pins_.byteMode, false);
    if (HighVoltage() && hvZ_ != 0 && prog_ != nullptr) {
        if (const Electrical* e = Electrical::Find(*prog_)) {
            c[hvZ_].supplyTenths = (e->DacMillivolts(hvZ_ % 2 == 1 ? 1 : 2) + 50) / 100;
            c[hvZ_].driven = false;
        }
    }
}

void PageRunBusPersonality::RunQueue(uint32_t length) {
    SimProgrammer& p = *prog_;
    if (length == 0 || length > queueFilled_) {
        p.Violation("page-run bus: a run of " + std::to_string(length) + " bytes with " + std::to_string(queueFilled_) +
                    " queued");
        length = std::min<uint32_t>(length, static_cast<uint32_t>(queueFilled_));
    }
    for (uint32_t i = 0; i < length; ++i) {
        if (i != 0) address_ = (address_ & 0xFF0000u) | ((address_ + 1) & 0xFFFFu);
        datum_ = queue_[i];
        dataDriven_ = true;
        UpdateChips();
        we_ = true;
        UpdateChips();
        we_ = false;
        UpdateChips();
    }
    dataDriven_ = false;
    UpdateChips();
    runEndsUs_ = p.NowUs() + length; // a microsecond a byte
}

uint8_t PageRunBusPersonality::ReadCycle() {
    oe_ = true;
    UpdateChips();
    int data[8] = {};
    const size_t n = std::min<size_t>(pins_.data.size(), 8);
    for (size_t i = 0; i < n; ++i) data[i] = seat_[static_cast<size_t>(pins_.data[i] - 1)];
    uint8_t v = 0xFF;
    for (auto [s, socket] : Sockets()) {
        if (socket->Empty() || (mask_ & (1u << s)) != 0) continue;
        View view(*this, s);
        v = static_cast<uint8_t>(v & socket->ReadLevels(view, data, n));
    }
    oe_ = false;
    UpdateChips();
    return v;
}

bool PageRunBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    if (reg == 12) {
        prog_ = &p;
        if (queueAt_ >= queue_.size()) return Unexpected(p, "page-run bus", reg, value); // the queue is full
        queue_[queueAt_++] = value;
        queueFilled_ = std::max(queueFilled_, queueAt_);
        return true;
    }
    if (reg == 13) {
        // The strobe rewinds the queue: for the run in the page-run mode,
        // else for a new queue.
        if ((value & 0x80) != 0 && (reg13_ & 0x80) == 0) {
            queueAt_ = 0;
            if (mode_ != 0x0B) queueFilled_ = 0;
        }
        reg13_ = value;
    }
    if (!BeginWrite(p, reg)) return false;
    auto bad = [&] { return Unexpected(p, "page-run bus", reg, value); };
    switch (reg) {
    case 0: address_ = (address_ & ~0xFFu) | value; break;
    case 1: address_ = (address_ & ~0xFF00u) | (static_cast<uint32_t>(value) << 8); break;
    case 2: address_ = (address_ & 0xFFFFu) | (static_cast<uint32_t>(value) << 16); break;
    case 3: mask_ = value; break;
    case 4:
        if (value != 0 && value != 0x8F && value != 0x85 && value != 0x89 && value != 0xC5 && value != 0xCF) return bad();
        pattern_ = value;
        if (HighVoltage() && hvZ_ != 0) {
            // The switched voltage must suit what the seated part allows there.
            const Electrical* e = Electrical::Find(p);
            const int tenths = e != nullptr ? (e->DacMillivolts(hvZ_ % 2 == 1 ? 1 : 2) + 50) / 100 : 0;
            if (e != nullptr && tenths > e->LimitTenths(hvZ_)) {
                p.Violation("page-run bus: " + std::to_string(tenths) + " tenths of a volt on pin " + std::to_string(hvZ_) +
                            " above the part's limit");
            }
        }
        break;
    case 5:
        if (value != 0 && value != 8 && value != 0x0B && value != 9) return bad();
        mode_ = value;
        break;
    case 7: runLength_ = (runLength_ & 0xFFu) | (static_cast<uint32_t>(value) << 8); break;
    case 6:
        runLength_ = (runLength_ & 0xFF00u) | value;
        if (pattern_ == 0x89 && mode_ == 0x0B) {
            RunQueue(runLength_);
            return true;
        }
        if (value != 0) return bad();
        break;
    case 8:
        if (value > 1) return bad();
        reg8_ = value;
        break;
    case 9:
        if (pattern_ != 0x85 && pattern_ != 0xC5) {
            if (value != 0 || Driven()) return bad(); // 0 is the reset value
            break;
        }
        datum_ = value;
        dataDriven_ = true;
        UpdateChips();
        we_ = true;
        UpdateChips();
        we_ = false;
        UpdateChips();
        dataDriven_ = false;
        break;
    default:
        if (value != 0) return bad();
        break;
    }
    UpdateChips();
    return true;
}

std::optional<uint8_t> PageRunBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    Sync();
    if (reg == 8) return static_cast<uint8_t>(p.NowUs() < runEndsUs_ ? 1 : 0);
    if (reg != 9) return std::nullopt;
    if (pattern_ != 0x8F && pattern_ != 0xCF) {
        p.Violation("page-run bus: register 9 read outside the idle patterns");
        return 0xFF;
    }
    const uint8_t v = ReadCycle();
    if (mode_ == 9) address_ = (address_ & 0xFF0000u) | ((address_ + 1) & 0xFFFFu);
    return v;
}

void RegisterPageRunBusPersonality() {
    SocketBusPersonality::Register<PageRunBusPersonality>(kPersonalityPageRunBus);
}

} // namespace sim
