#include "sim/CommandBus.h"

#include <algorithm>
#include <cstdio>

#include "sim/CommandFlashChip.h"
#include "sim/GangAdapter.h"
#include "sim/PartFacts.h"

namespace sim {

namespace {

// Registers 0-2 hold address bits 0-7, 8-15 and 16-23.
void SetAddressByte(uint32_t& address, uint8_t reg, uint8_t value) {
    const unsigned shift = 8u * reg;
    address = (address & ~(0xFFu << shift)) | (static_cast<uint32_t>(value) << shift);
}

} // namespace

CommandBusPersonality::Vocabulary CommandBusPersonality::VocabularyOf(const LogicImageHeader& h) {
    switch (h.params[0]) {
    case 2: return Vocabulary{0x1F, 0x9F, 0x9D, 0x8F, 0x0F, 0, 9, false, 0x9D, false};
    case 4: return Vocabulary{0x1F, 0x9F, 0x9D, 0x8F, 0x0F, 0, 9, false, 0x99, true};
    case 5: return Vocabulary{0x0A, 0x0A, 0x09, 0x03, 0x0B, 4, 3, false, 0x09, true, 0, 5, true, 0x3, 0x1, true};
    case 6: return Vocabulary{0x1F, 0xFF, 0xFD, 0x7F, 0x7F, 0, 3, false, 0xFD, true, 0, 0xFF, true, 0x1, 0x1, true};
    case 7: return Vocabulary{0x92, 0x93, 0x91, 0x93, 0x93, 8, 9, false, 0x91, true, 0, 0xFF, true, 0x1, 0x1, true};
    case 8: return Vocabulary{0x1F, 0x9F, 0x99, 0x8F, 0x0F, 0, 9, false, 0x99, true, 0, 0xFF, false, 0x7, 0x3, false};
    case 9: return Vocabulary{0x0A, 0x0A, 0x0D, 0x0B, 0x0F, 4, 7, false, 0x09, false, 0, 0x0F, false, 0x1, 0x1, false, true};
    default:
        return Vocabulary{0x93, 0xD3, 0xDD, 0xDF, static_cast<uint8_t>(h.params[1] == 0xC3 ? 0xC3 : 0xDB), 2, 3, true, 0xDD, false};
    }
}

CommandBusPersonality::CommandBusPersonality(const LogicImageHeader& h)
    : pins_(CommandFlashPinout(h.params[2])),
      seat_(DipSocketPins(pins_.pinCount)),
      vocab_(VocabularyOf(h)),
      latched_(h.params[0] == 1) {
    auto seat = [&](int chipPin) {
        return chipPin >= 1 && chipPin <= static_cast<int>(seat_.size()) ? seat_[static_cast<size_t>(chipPin - 1)] : 0;
    };
    addressLines_ = std::min<size_t>(pins_.address.size(), 32);
    for (size_t i = 0; i < addressLines_; ++i) addressZ_[i] = seat(pins_.address[i]);
    dataLines_ = std::min<size_t>(pins_.data.size(), 16);
    for (size_t i = 0; i < dataLines_; ++i) dataZ_[i] = seat(pins_.data[i]);
    const int controls[4] = {pins_.ce, pins_.ce2, pins_.oe, pins_.we};
    for (int k = 0; k < 4; ++k) controlZ_[k] = seat(controls[k]);
    distinctLines_ = pins_.address.size() <= 32 && pins_.data.size() <= 16;
    bool used[kSocketPins + 1] = {};
    auto claim = [&](int z) {
        if (z == 0) return;
        distinctLines_ = distinctLines_ && !used[z];
        used[z] = true;
    };
    for (size_t i = 0; i < addressLines_; ++i) claim(addressZ_[i]);
    for (size_t i = 0; i < dataLines_; ++i) claim(dataZ_[i]);
    for (int z : controlZ_) claim(z);
}

bool CommandBusPersonality::Violation(uint8_t reg, uint8_t value) {
    char t[80];
    std::snprintf(t, sizeof t, "command bus: register %u written %02Xh not expected", reg, value);
    prog_->Violation(t);
    return true;
}

bool CommandBusPersonality::OnLatchedWrite(uint8_t reg, uint8_t value) {
    switch (reg) {
    case 0:
    case 1:
    case 2: SetAddressByte(latchInput_, reg, value); break;
    case 3: {
        static constexpr uint8_t kStrobe[4] = {3, 1, 0, 2};
        if (value == kStrobe[latchStep_]) {
            latchStep_ = (latchStep_ + 1) % 4;
            if (latchStep_ == 0) address_ = latchInput_;
        } else if (value == 0 && latchStep_ == 0) {
            // the programmer's reset: the strobe stays idle
        } else if (!(value == 2 && latchStep_ == 0)) {
            latchStep_ = 0;
            return Violation(reg, value);
        }
        break;
    }
    case 4:
        if (value != 0 && value != 0x15 && value != 0x17) return Violation(reg, value);
        pattern_ = value;
        oeLow_ = value == 0x17;
        weLow_ = false;
        driveData_ = value == 0x15;
        break;
    case 5:
        if (value != 0 && value != 9 && value != 10) return Violation(reg, value);
        mode_ = value;
        break;
    case 6:
        data_ = value;
        if (pattern_ == 0x15) {
            WriteCycle();
            return true;
        }
        break;
    default:
        if (value != 0) return Violation(reg, value);
        break;
    }
    UpdateChips();
    return true;
}

unsigned CommandBusPersonality::ControlBits(int s) const {
    return static_cast<unsigned>(!latched_ && (mask_ & (1u << s)) != 0) | static_cast<unsigned>((mask_ & 2) != 0) << 1 |
           static_cast<unsigned>(!oeLow_) << 2 | static_cast<unsigned>(!weLow_) << 3;
}

void CommandBusPersonality::FullSnapshot(int s, uint32_t lines, unsigned controls) {
    PinCondition* c = snap_[s];
    // In a gang module the feed on pin 44 reaches a socket's pin 44 only as
    // the supply of a part whose VCC is there; otherwise that pin is a bus line.
    const bool gang = prog_ != nullptr && GangAdapter::Find(*prog_) != nullptr;
    bool feedIsVcc = false;
    for (int v : pins_.vcc)
        feedIsVcc = feedIsVcc || (v >= 1 && v <= static_cast<int>(seat_.size()) &&
                                  seat_[static_cast<size_t>(v - 1)] == GangAdapter::kSupplyFeedPin);
    ElectricalConditions(c, gang && !feedIsVcc ? GangAdapter::kSupplyFeedPin : 0);
    Drawn& d = drawn_[s];
    MarkDrawn(d);
    d.active = !Released();
    d.data = driveData_;
    d.ce2 = pins_.ce2 != 0 && vocab_.wide && Sockets().count == 1;
    d.lines = lines;
    d.datum = data_;
    d.controls = controls;
    d.baseDriven = d.baseHigh = 0;
    for (size_t i = 0; i < dataLines_; ++i) {
        const int z = dataZ_[i];
        if (z == 0) continue;
        d.baseDriven |= static_cast<uint32_t>(c[z].driven) << i;
        d.baseHigh |= static_cast<uint32_t>(c[z].drivenHigh) << i;
    }
    if (!d.active) return;
    auto drive = [&](int z, bool high) {
        if (z == 0) return;
        c[z].driven = true;
        c[z].drivenHigh = high;
    };
    for (size_t i = 0; i < addressLines_; ++i) drive(addressZ_[i], ((lines >> i) & 1) != 0);
    if (driveData_) {
        for (size_t i = 0; i < dataLines_; ++i) drive(dataZ_[i], ((data_ >> i) & 1) != 0);
    }
    drive(controlZ_[0], (controls & 1) != 0);
    if (d.ce2) drive(controlZ_[1], (controls & 2) != 0);
    drive(controlZ_[2], (controls & 4) != 0);
    drive(controlZ_[3], (controls & 8) != 0);
}

void CommandBusPersonality::Snapshot(int s) {
    const uint32_t lines = vocab_.lanes ? address_ << 1 | lane_ : address_;
    const unsigned controls = ControlBits(s);
    Drawn& d = drawn_[s];
    // The whole table again when the supplies, the components or the set of
    // driven lines changed; otherwise only the lines that moved.
    if (!distinctLines_ || !StillDrawn(d) || d.active != !Released()) {
        FullSnapshot(s, lines, controls);
        return;
    }
    if (!d.active) return;
    PinCondition* c = snap_[s];
    const uint32_t linesMoved = (lines ^ d.lines) & (addressLines_ >= 32 ? ~0u : (1u << addressLines_) - 1);
    const uint32_t dataMoved = driveData_ ? (data_ ^ d.datum) & ((1u << dataLines_) - 1) : 0;
    const uint32_t controlsMoved = (controls ^ d.controls) & (d.ce2 ? 0xFu : 0xDu);
    if (d.data != driveData_) {
        // The data drivers switched: their pins take the datum, or go back
        // to the electrical conditions.
        const uint32_t driven = driveData_ ? ~0u : d.baseDriven, high = driveData_ ? data_ : d.baseHigh;
        SetLineDrivers(c, dataZ_, dataLines_, driven, high);
        d.data = driveData_;
        d.datum = data_;
    }
    SetMovedLevels(c, addressZ_, linesMoved, lines);
    d.lines = lines;
    if (driveData_) {
        SetMovedLevels(c, dataZ_, dataMoved, data_);
        d.datum = data_;
    }
    SetMovedLevels(c, controlZ_, controlsMoved, controls);
    d.controls = controls;
}

void CommandBusPersonality::WriteCycle() {
    weLow_ = true;
    UpdateChips();
    weLow_ = false;
    UpdateChips();
}

uint16_t CommandBusPersonality::ReadCycle() {
    Sync();
    if (!oeLow_) {
        prog_->Violation("command bus: data read without a read pattern");
        return 0xFFFF;
    }
    // Every enabled socket holding a part drives the data lines; with
    // several the gang adapter combines them (ready only when every part is).
    GangAdapter::Answer answers[kMaxSockets];
    size_t count = 0;
    bool statusOnly = true;
    const SocketList& sockets = Sockets();
    for (int s = 0; s < sockets.count; ++s) {
        Socket* socket = sockets.socket[s];
        if (socket->Empty() || (!latched_ && !Selected(s))) continue;
        View view(*this, s);
        // An undriven line reads as the programmer holds it.
        const uint16_t v = socket->ReadLevels(view, dataZ_, dataLines_);
        bool busy = false, status = false;
        for (const auto& chip : socket->Chips()) {
            const CommandFlashChip* flash = SeatedModel<const CommandFlashChip>(chip.get());
            busy = busy || (flash != nullptr && flash->Busy(view));
            status = status || (flash != nullptr && flash->AnswersStatus());
        }
        statusOnly = statusOnly && status;
        answers[count++] = {v, busy};
    }
    if (count == 0) return 0xFFFF;
    if (count == 1) return answers[0].value;
    if (statusOnly) {
        // Status bytes: ready (bit 7) only when every socket is, an error or
        // state bit when any socket has it.
        uint16_t ready = 0x80, rest = 0;
        for (size_t i = 0; i < count; ++i) {
            ready = static_cast<uint16_t>(ready & answers[i].value);
            rest = static_cast<uint16_t>(rest | (answers[i].value & ~0x80u));
        }
        return static_cast<uint16_t>(ready | rest);
    }
    return GangAdapter::Combine(*prog_, std::vector<GangAdapter::Answer>(answers, answers + count));
}

bool CommandBusPersonality::Selected(int s) const {
    if ((mask_ & (1u << s)) == 0) return true;
    return s == 0 && pins_.ce2 != 0 && vocab_.wide && Sockets().count == 1 && (mask_ & 2) == 0;
}

// A read of vocabularies 5-7 (see the header).
void CommandBusPersonality::NextLane() {
    lane_ ^= 1;
    if (lane_ == 0 && (mode_ == vocab_.sequential || mode_ == vocab_.sequential2)) address_ = (address_ & ~0xFFFFu) | ((address_ + 1) & 0xFFFFu);
    UpdateChips();
}

std::optional<uint8_t> CommandBusPersonality::PairedRead(uint8_t reg) {
    const bool opensOn6 = mode_ == vocab_.sequential, opensOn7 = mode_ == vocab_.sequential2;
    if (!opensOn6 && !opensOn7) {
        const uint16_t word = ReadCycle();
        return static_cast<uint8_t>(reg == 6 ? word : word >> 8);
    }
    const uint8_t opening = opensOn6 ? 6 : 7;
    auto step = [&] {
        address_ = (address_ & ~0xFFFFu) | ((address_ + 1) & 0xFFFFu);
        UpdateChips();
    };
    if (reg == opening) {
        if (open_) step();
        const uint16_t word = ReadCycle();
        readLow_ = static_cast<uint8_t>(word), readHigh_ = static_cast<uint8_t>(word >> 8);
        open_ = true;
        return reg == 6 ? readLow_ : readHigh_;
    }
    Sync();
    const uint8_t half = reg == 6 ? readLow_ : readHigh_;
    if (open_) step();
    open_ = false;
    return half;
}

bool CommandBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    prog_ = &p;
    Sync();
    if (reg > 11) {
        if (reg == 13 || reg == 18 || reg >= 25) dirty_ = true;
        return false;
    }
    if (latched_) return OnLatchedWrite(reg, value);
    auto bad = [&] { return Violation(reg, value); };
    if (reg == 0 || reg == 4 || reg == 5) lane_ = 0;
    switch (reg) {
    case 0:
    case 1:
    case 2: SetAddressByte(address_, reg, value); break;
    case 3: mask_ = value; break;
    case 4:
        if (value != 0 && value != vocab_.released && value != vocab_.idle && value != vocab_.command &&
            value != vocab_.command2 && value != vocab_.strobe && value != vocab_.loop)
            return bad();
        pattern_ = value;
        oeLow_ = value == vocab_.strobe || value == vocab_.loop;
        weLow_ = false;
        driveData_ = CommandMode();
        open_ = false;
        break;
    case 5:
        if (value != 0 && value != vocab_.addressed && value != vocab_.sequential && value != vocab_.sequential2 &&
            !(vocab_.lanes && value == 6))
            return bad();
        mode_ = value;
        open_ = false;
        break;
    case 6:
        data_ = static_cast<uint16_t>((data_ & 0xFF00) | value);
        if ((!vocab_.wide || vocab_.fire6) && CommandMode()) {
            WriteCycle();
            if (vocab_.lanes && mode_ != vocab_.sequential) NextLane();
            return true;
        }
        break;
    case 7:
        if (!vocab_.wide) {
            if (value != 0) return bad();
            break;
        }
        data_ = static_cast<uint16_t>((data_ & 0xFF) | value << 8);
        if (CommandMode() && !vocab_.fire6) {
            WriteCycle();
            return true;
        }
        break;
    case 8:
        if (value != 0 && !(vocab_.timing && value == 4) && !(value < 16 && (vocab_.reg8 >> value) & 1)) return bad();
        reg8_ = value;
        break;
    case 9:
        if (value > (vocab_.timing ? 1 : 0) && !(value < 16 && (vocab_.reg9 >> value) & 1)) return bad();
        reg9_ = value;
        break;
    default:
        if (value != 0) return bad();
        break;
    }
    UpdateChips();
    return true;
}

std::optional<uint8_t> CommandBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    prog_ = &p;
    if (vocab_.paired && (reg == 6 || reg == 7)) return PairedRead(reg);
    if (!latched_ && vocab_.wide && reg == 7) {
        Sync();
        const uint8_t high = readHigh_;
        if (pattern_ == vocab_.loop && mode_ == vocab_.sequential) {
            address_ = (address_ & ~0xFFFFu) | ((address_ + 1) & 0xFFFFu);
            UpdateChips();
        }
        return high;
    }
    if (reg != 6) {
        Sync();
        return std::nullopt;
    }
    const uint16_t word = ReadCycle();
    readHigh_ = static_cast<uint8_t>(word >> 8);
    const uint8_t v = static_cast<uint8_t>(word);
    if (vocab_.wide) return v;
    if (vocab_.lanes) {
        if (mode_ == vocab_.sequential) NextLane();
        return v;
    }
    if (latched_ && pattern_ == 0x17 && mode_ == 9) {
        latchInput_ = (latchInput_ + 1) & 0xFFFFFFu;
    } else if (!latched_ && pattern_ == vocab_.loop && mode_ == vocab_.sequential) {
        address_ = (address_ & ~0xFFFFu) | ((address_ + 1) & 0xFFFFu);
        UpdateChips();
    }
    return v;
}

void RegisterCommandBusPersonality() {
    RegisterPersonality(kPersonalityCommandBus, [](const LogicImageHeader& h) -> std::unique_ptr<SimPersonality> {
        return std::make_unique<CommandBusPersonality>(h);
    });
}

} // namespace sim
