#include "sim/FlashBus.h"

#include <algorithm>

#include "sim/FlashParts.h"
#include "sim/GangAdapter.h"
#include "sim/PartFacts.h"

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
    auto seat = [&](int chipPin) {
        return chipPin >= 1 && chipPin <= static_cast<int>(seat_.size()) ? seat_[static_cast<size_t>(chipPin - 1)] : 0;
    };
    addressLines_ = std::min<size_t>(pins_.address.size(), 32);
    for (size_t i = 0; i < addressLines_; ++i) addressZ_[i] = seat(pins_.address[i]);
    dataLines_ = std::min<size_t>(std::min<size_t>(pins_.data.size(), static_cast<size_t>(width_)), 16);
    for (size_t i = 0; i < dataLines_; ++i) dataZ_[i] = readZ_[i] = seat(pins_.data[i]);
    const int controls[kControls] = {pins_.ce, pins_.ce2, pins_.ce3, pins_.oe, pins_.we, pins_.reset, pins_.vpp, pins_.byteMode};
    for (int k = 0; k < kControls; ++k) controlZ_[k] = seat(controls[k]);
    // Lines beyond 32 address bits are not driven one by one; they keep the
    // whole-table path.
    distinctLines_ = pins_.address.size() <= 32;
    bool used[kSocketPins + 1] = {};
    auto claim = [&](int z) {
        if (z == 0) return;
        distinctLines_ = distinctLines_ && !used[z];
        used[z] = true;
    };
    for (size_t i = 0; i < addressLines_; ++i) claim(addressZ_[i]);
    for (size_t i = 0; i < dataLines_; ++i) claim(dataZ_[i]);
    for (int z : controlZ_) claim(z);
    ChipEnablesMoved();
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

void FlashBusPersonality::ChipEnablesMoved() {
    for (int s = 0; s < kMaxSockets; ++s) {
        ceHigh_[s] = static_cast<uint8_t>(static_cast<unsigned>(!CeLow(s, 0)) | static_cast<unsigned>(!CeLow(s, 1)) << 1 |
                                          static_cast<unsigned>(!CeLow(s, 2)) << 2);
    }
}

// Bits 0-7: /CE, /CE2, /CE3, /OE, /WE, RESET#, WP#/ACC, BYTE# (1 high).
unsigned FlashBusPersonality::ControlBits(int s) const {
    return static_cast<unsigned>(ceHigh_[s]) | static_cast<unsigned>(!oeLow_) << 3 |
           static_cast<unsigned>(!weLow_) << 4 | 1u << 5 | 1u << 6 | static_cast<unsigned>(width_ == 16) << 7;
}

void FlashBusPersonality::FullSnapshot(int s, unsigned controls) {
    PinCondition* c = snap_[s];
    // In a gang module the feed on pin 44 reaches a socket's pin 44 only as
    // the supply of a part whose VCC is there; otherwise that pin is a bus line.
    const bool gang = prog_ != nullptr && GangAdapter::Find(*prog_) != nullptr;
    bool feedIsVcc = false;
    for (int v : pins_.vcc) feedIsVcc = feedIsVcc || seat_[static_cast<size_t>(v - 1)] == GangAdapter::kSupplyFeedPin;
    const int skip = gang && !feedIsVcc ? GangAdapter::kSupplyFeedPin : 0;
    ElectricalConditions(c, skip);
    Drawn& d = drawn_[s];
    MarkDrawn(d);
    d.active = pattern_ != 0 && pattern_ != 0x93;
    d.data = driveData_;
    d.address = lineAddress_;
    d.datum = static_cast<uint16_t>(dataLow_ | (dataHigh_ << 8));
    d.controls = controls;
    d.baseDriven = d.baseHigh = 0;
    for (size_t i = 0; i < dataLines_; ++i) {
        const int z = dataZ_[i];
        if (z == 0 || z == skip) continue;
        d.baseDriven |= static_cast<uint32_t>(c[z].driven) << i;
        d.baseHigh |= static_cast<uint32_t>(c[z].drivenHigh) << i;
    }
    if (!d.active) return;
    auto drive = [&](int z, bool high) {
        if (z == 0) return;
        c[z].driven = true;
        c[z].drivenHigh = high;
    };
    for (size_t i = 0; i < addressLines_; ++i) drive(addressZ_[i], ((lineAddress_ >> i) & 1) != 0);
    if (driveData_) {
        for (size_t i = 0; i < dataLines_; ++i) drive(dataZ_[i], ((d.datum >> i) & 1) != 0);
    }
    for (int k = 0; k < kControls; ++k) drive(controlZ_[k], ((controls >> k) & 1) != 0);
}

void FlashBusPersonality::Snapshot(int s) {
    const unsigned controls = ControlBits(s);
    Drawn& d = drawn_[s];
    const bool active = pattern_ != 0 && pattern_ != 0x93;
    // The whole table again when the supplies, the components or the set of
    // driven lines changed; otherwise only the lines that moved.
    if (!distinctLines_ || !StillDrawn(d) || d.active != active) {
        FullSnapshot(s, controls);
        return;
    }
    if (!active) return;
    PinCondition* c = snap_[s];
    const uint16_t datum = static_cast<uint16_t>(dataLow_ | (dataHigh_ << 8));
    const uint32_t addressMask = addressLines_ >= 32 ? ~0u : (1u << addressLines_) - 1;
    const uint32_t addressMoved = (lineAddress_ ^ d.address) & addressMask;
    const uint32_t dataMoved = driveData_ ? (datum ^ d.datum) & ((1u << dataLines_) - 1) : 0;
    const uint32_t controlsMoved = controls ^ d.controls;
    if (d.data != driveData_) {
        // The data drivers switched: their pins take the data, or go back to
        // the electrical conditions.
        const uint32_t driven = driveData_ ? ~0u : d.baseDriven, high = driveData_ ? datum : d.baseHigh;
        SetLineDrivers(c, dataZ_, dataLines_, driven, high);
        d.data = driveData_;
        d.datum = datum;
    }
    SetMovedLevels(c, addressZ_, addressMoved, lineAddress_);
    d.address = lineAddress_;
    if (driveData_) {
        SetMovedLevels(c, dataZ_, dataMoved, datum);
        d.datum = datum;
    }
    SetMovedLevels(c, controlZ_, controlsMoved, controls);
    d.controls = controls;
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
    // A command cycle's address goes back to the latched one.
    if (lineAddress_ != address_) {
        lineAddress_ = address_;
        UpdateChips();
    }
}

const std::vector<const JedecFlashChip*>& FlashBusPersonality::FlashChips(int s, const Socket& socket) {
    ChipList& list = flashChips_[s];
    if (list.revision != socket.Revision()) {
        list.revision = socket.Revision();
        list.chips.clear();
        for (const auto& chip : socket.Chips()) {
            if (const auto* f = SeatedModel<const JedecFlashChip>(chip.get())) list.chips.push_back(f);
            // A part seated as a module of dies: each die is busy on its own.
            if (const auto* m = SeatedModel<const FlashModuleChip>(chip.get()))
                list.chips.insert(list.chips.end(), m->Seated().dies.begin(), m->Seated().dies.end());
        }
    }
    return list.chips;
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
    GangAdapter::Answer answers[kMaxSockets];
    size_t count = 0;
    const SocketList sockets = Sockets();
    for (int s = 0; s < sockets.count; ++s) {
        const Socket* socket = sockets.socket[s];
        if (socket->Empty() || !(oeLow_)) continue;
        if (ceHigh_[s] == 7) continue; // no /CE of the socket low
        View view(*this, s);
        const uint16_t v = socket->ReadLevels(view, readZ_, dataLines_);
        bool busy = false;
        for (const JedecFlashChip* f : FlashChips(s, *socket)) busy = busy || f->Busy(view);
        answers[count++] = {v, busy};
    }
    uint16_t v = 0xFFFF;
    if (count == 1) v = answers[0].value;
    else if (count > 1) v = GangAdapter::Combine(*prog_, std::vector<GangAdapter::Answer>(answers, answers + count));
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
        ChipEnablesMoved();
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
        ChipEnablesMoved();
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
