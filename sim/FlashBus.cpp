#include "sim/FlashBus.h"

#include <algorithm>

#include "sim/GangAdapter.h"

namespace sim {

namespace {

bool ReadPattern(uint8_t v) { return v == 0xDF || v == 0xDB || v == 0xC7 || v == 0x83 || v == 0xC3; }

// The 16-bit images' patterns and the read strobe's end, as the patterns of
// the same lines: 92h and 93h released, 9Dh and 99h write mode (99h ends a
// held /WE pulse), 9Fh read strobe, 9Bh read loop, 19h the held /WE pulse,
// D7h powered idle (the end of a C7h strobe). 0 for any other value.
uint8_t PatternOf(uint8_t v) {
    switch (v) {
    case 0x92: return 0x93;
    case 0x9D:
    case 0x99: return 0xDD;
    case 0x9F: return 0xDF;
    case 0x9B: return 0xDB;
    case 0x19: return 0x53;
    case 0xD7: return 0xD3;
    default: return v;
    }
}

} // namespace

FlashBusPersonality::FlashBusPersonality(const LogicImageHeader& h)
    : pins_(FlashPinoutById(h.params[0])),
      seat_(DipSocketPins(pins_.pinCount)),
      width_(h.params[1] == 16 ? 16 : 8),
      reg9Values_(static_cast<uint16_t>(h.params[6] | (h.params[7] << 8))),
      reg9Meaning_(h.params[8] & 1),
      writeOnHigh_((h.params[8] & 2) != 0),
      module_(h.params[9] == 1) {
    const uint32_t first = h.params[2] | (h.params[3] << 8), second = h.params[4] | (h.params[5] << 8);
    commandAddress_[0] = first;
    commandAddress_[1] = second;
    commandAddress_[2] = first;
}

// which: 0 /CE, 1 /CE2, 2 /CE3 of socket s.
bool FlashBusPersonality::CeLow(int s, int which) const {
    if (module_) return !(mask_ & (1u << which));
    const bool selected = !(mask_ & (1u << s));
    if (reg9Meaning_ == 1) {
        if (which == 0) return selected && (reg9_ & 8) != 0;
        return which == 1 && (reg9_ & 8) == 0; // the SRAM of every socket
    }
    return selected && which == 0;
}

void FlashBusPersonality::Snapshot(int s) {
    PinCondition* c = snap_[s];
    // In a gang module the feed on pin 44 reaches a socket's pin 44 only as
    // the supply of a part whose VCC is there; otherwise that pin is a bus line.
    const bool gang = prog_ != nullptr && GangAdapter::Find(*prog_) != nullptr;
    bool feedIsVcc = false;
    for (int v : pins_.vcc) feedIsVcc = feedIsVcc || seat_[static_cast<size_t>(v - 1)] == GangAdapter::kSupplyFeedPin;
    ElectricalConditions(c, gang && !feedIsVcc ? GangAdapter::kSupplyFeedPin : 0);
    if (pattern_ == 0 || pattern_ == 0x93) return;
    auto drive = [&](int chipPin, bool high) {
        if (chipPin < 1 || chipPin > static_cast<int>(seat_.size())) return;
        const int z = seat_[static_cast<size_t>(chipPin - 1)];
        if (z == 0) return;
        c[z].driven = true;
        c[z].drivenHigh = high;
    };
    for (size_t i = 0; i < pins_.address.size(); ++i) drive(pins_.address[i], ((lineAddress_ >> i) & 1) != 0);
    if (driveData_) {
        const uint16_t d = static_cast<uint16_t>(dataLow_ | (dataHigh_ << 8));
        for (size_t i = 0; i < pins_.data.size() && i < static_cast<size_t>(width_); ++i) drive(pins_.data[i], ((d >> i) & 1) != 0);
    }
    drive(pins_.ce, !CeLow(s, 0));
    drive(pins_.ce2, !CeLow(s, 1));
    drive(pins_.ce3, !CeLow(s, 2));
    drive(pins_.oe, !oeLow_);
    drive(pins_.we, !weLow_);
    drive(pins_.reset, true);
    drive(pins_.vpp, true);
    drive(pins_.byteMode, width_ == 16);
}

void FlashBusPersonality::WriteCycle() {
    lineAddress_ = address_;
    if (reg8_ == 8 && autoCount_ < 3) lineAddress_ = commandAddress_[autoCount_];
    if (reg8_ == 8 && autoCount_ < 3) ++autoCount_;
    driveData_ = true;
    UpdateChips();
    weLow_ = true;
    UpdateChips();
    weLow_ = false;
    UpdateChips();
    lineAddress_ = address_;
    UpdateChips();
}

uint16_t FlashBusPersonality::ReadCycle() {
    Sync();
    const bool writeMode = pattern_ == 0xDD;
    if (writeMode) {
        driveData_ = false;
        oeLow_ = true;
        UpdateChips();
    } else if (ReadPattern(pattern_) && !freshCycle_) {
        oeLow_ = false;
        UpdateChips();
        oeLow_ = true;
        UpdateChips();
    }
    freshCycle_ = false;
    std::vector<GangAdapter::Answer> answers;
    int dataSeat[16] = {};
    const size_t lines = std::min<size_t>(pins_.data.size(), static_cast<size_t>(width_));
    for (size_t i = 0; i < lines; ++i) {
        const int chipPin = pins_.data[i];
        dataSeat[i] = chipPin >= 1 && chipPin <= static_cast<int>(seat_.size()) ? seat_[static_cast<size_t>(chipPin - 1)] : 0;
    }
    const SocketList sockets = Sockets();
    for (int s = 0; s < sockets.count; ++s) {
        const Socket* socket = sockets.socket[s];
        if (socket->Empty() || !(oeLow_)) continue;
        bool any = false;
        for (int which = 0; which < 3; ++which) any = any || CeLow(s, which);
        if (!any) continue;
        View view(*this, s);
        const uint16_t v = socket->ReadLevels(view, dataSeat, lines);
        bool busy = false;
        for (const auto& chip : socket->Chips()) {
            if (const auto* f = dynamic_cast<const JedecFlashChip*>(chip.get())) busy = busy || f->Busy(view);
        }
        answers.push_back({v, busy});
    }
    uint16_t v = 0xFFFF;
    if (answers.size() == 1) v = answers.front().value;
    else if (answers.size() > 1) v = GangAdapter::Combine(*prog_, answers);
    if (writeMode) {
        oeLow_ = false;
        driveData_ = true;
        UpdateChips();
    }
    return width_ == 16 ? v : static_cast<uint16_t>(v | 0xFF00);
}

bool FlashBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    if (!BeginWrite(p, reg)) return false;
    auto bad = [&] { return Unexpected(p, "flash bus", reg, value); };
    switch (reg) {
    case 0:
        address_ = (address_ & ~0xFFu) | value;
        autoCount_ = 0;
        break;
    case 1:
        address_ = (address_ & ~0xFF00u) | (static_cast<uint32_t>(value) << 8);
        break;
    case 2:
        address_ = (address_ & 0xFFFFu) | (static_cast<uint32_t>(value) << 16);
        break;
    case 3:
        mask_ = value;
        break;
    case 4:
        value = PatternOf(value);
        if (value != 0 && value != 0x93 && value != 0xD3 && value != 0xDD && value != 0x53 && value != 0xC3 &&
            value != 0x33 && !ReadPattern(value))
            return bad();
        // A read pattern written after another pattern starts a read cycle:
        // the next data read takes it instead of pulsing /OE again.
        freshCycle_ = ReadPattern(value) && !oeLow_;
        pattern_ = value;
        oeLow_ = ReadPattern(value);
        {
            // The high-voltage pulse starts and ends when the pattern is written.
            const bool pulseEdge = weLow_ != (value == 0x53);
            weLow_ = value == 0x53;
            driveData_ = value == 0xDD;
            if (pulseEdge) {
                lineAddress_ = address_;
                UpdateChips();
            }
        }
        break;
    case 5:
        if (value > 9) return bad();
        mode_ = value;
        break;
    case 6:
        dataLow_ = value;
        if (pattern_ == 0xDD && !writeOnHigh_) {
            WriteCycle();
            return true;
        }
        break;
    case 7:
        dataHigh_ = value;
        if (pattern_ == 0xDD && writeOnHigh_) {
            WriteCycle();
            return true;
        }
        break;
    case 8:
        if (value != 0 && value != 4 && value != 8) return bad();
        reg8_ = value;
        break;
    case 9:
        if (value > 15 || !(reg9Values_ & (1u << value))) {
            if (value != 0) return bad(); // 0 is the reset value every image takes
        }
        reg9_ = value;
        break;
    default:
        if (value != 0) return bad();
        break;
    }
    lineAddress_ = address_;
    UpdateChips();
    return true;
}

std::optional<uint8_t> FlashBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    const bool loop = (pattern_ == 0xDB || pattern_ == 0xC7) && (mode_ & 1) != 0;
    auto step = [&] {
        address_ = (address_ & ~0xFFFFu) | ((address_ + 1) & 0xFFFFu);
        lineAddress_ = address_;
        UpdateChips();
    };
    if (reg == 6) {
        const uint16_t v = ReadCycle();
        readHigh_ = static_cast<uint8_t>(v >> 8);
        if (loop && width_ == 8) step();
        return static_cast<uint8_t>(v & 0xFF);
    }
    if (reg == 7) {
        Sync();
        if (loop && width_ == 16) step();
        return readHigh_;
    }
    Sync();
    return std::nullopt;
}

void RegisterFlashBusPersonality() { SocketBusPersonality::Register<FlashBusPersonality>(kPersonalityFlashBus); }

} // namespace sim
