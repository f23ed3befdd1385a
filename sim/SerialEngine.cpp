#include "sim/SerialEngine.h"

#include <bit>

#include "sim/Electrical.h"
#include "sim/GangAdapter.h"
#include "sim/PartFacts.h"

namespace sim {

namespace {
constexpr int kSda = 25, kScl = 26;
constexpr int kCs = 21, kSk = 22, kDi = 23, kDo = 24, kDoAlt = 27;
constexpr int kSo = 22, kWp = 23, kSi = 25, kSck = 26, kHold = 27;
constexpr int kCtl = 21, kData = 22, kHigh = 23, kDclk = 25, kRclk = 26;
constexpr uint8_t kTwoClockForm = 3, kDataFlashForm = 4, kClockBurstForm = 5, kConfigBusForm = 6,
                  kCommandForm = 7;
// The clock-burst engine's lines.
constexpr int kBData = 21, kBClk = 22, kBResetOe = 23, kBCe = 24, kBEntry = 26;
// The DataFlash in its adapter (supply and ground on ZIF 37 and 38).
constexpr int kZSi = 21, kZSck = 22, kZReset = 23, kZCs = 24, kZWp = 25, kZSo = 28;
} // namespace

SerialPersonality::SerialPersonality(const LogicImageHeader& header) : form_(header.params[0]), word_(form_ == 1), spi_(form_ == 2 || form_ == 4) {
    drive_.fill(-1);
}

uint64_t SerialPersonality::NowUs() const { return prog_ ? prog_->NowUs() : 0; }

void SerialPersonality::Violation(const std::string& what) const {
    if (prog_) prog_->Violation(what);
}

void SerialPersonality::Attach(SimProgrammer& p) {
    if (prog_ != &p || generation_ != p.ComponentGeneration()) {
        prog_ = &p;
        generation_ = p.ComponentGeneration();
        socket_ = ReachedSocket(p);
        electrical_ = Electrical::Find(p);
        MarkStale();
    }
    if (socket_ != nullptr && socket_->Revision() != chipsOf_) {
        chipsOf_ = socket_->Revision();
        chip_ = nullptr;
        if (socket_->Chips().size() == 1) {
            // The catalog's adapter only forwards to the family's model.
            chip_ = SeatedModel<ChipModel>(socket_->Chips().front().get());
        }
        pinsOf_ = nullptr;
    }
    if (chip_ != nullptr && (chip_->SocketPins().data() != pinsOf_ || chip_->SocketPins().size() != pinCount_)) {
        pinsOf_ = chip_->SocketPins().data();
        pinCount_ = chip_->SocketPins().size();
        occupied_ = 0;
        for (int pin = 1; pin <= kSocketPins; ++pin) {
            if (chip_->ChipPinAt(pin) != 0) occupied_ |= uint64_t{1} << pin;
        }
    }
    // Faults are set straight on the electrical model, between accesses.
    if (!stale_ && electrical_ != nullptr && !(electrical_->Faults() == faultsSeen_)) MarkStale();
}

// With one chip its drive is the socket's: no other chip drives against it.
ChipDrive SerialPersonality::ChipOutput(int socketPin) const {
    if (chip_ != nullptr) return Occupied(socketPin) ? chip_->Output(*this, socketPin) : ChipDrive::None;
    return socket_->Output(*this, socketPin);
}

bool SerialPersonality::Occupied(int socketPin) const {
    if (chip_ != nullptr) return socketPin >= 1 && socketPin <= kSocketPins && ((occupied_ >> socketPin) & 1) != 0;
    return socket_->Occupied(socketPin);
}

void SerialPersonality::MarkStale() {
    stale_ = true;
    conditions_ = nullptr;
    supplyRevision_ = 0;
}

void SerialPersonality::Refresh() {
    constexpr uint64_t kAll = ((uint64_t{1} << (kSocketPins + 1)) - 1) & ~uint64_t{1};
    // With the same electrical model and faults as at the last refresh, only
    // the pins it moved since can have a new supply or ground.
    const bool same = electrical_ != nullptr && electrical_ == refreshedFrom_ && revision_ != 0 &&
                      electrical_->Faults() == faultsSeen_;
    const uint64_t pins = same ? electrical_->MovedSince(refreshedRevision_) : kAll;
    refreshedFrom_ = electrical_;
    refreshedRevision_ = electrical_ != nullptr ? electrical_->Revision() : 0;
    const PinState* states = electrical_ != nullptr ? electrical_->Pins() : nullptr;
    bool changed = false;
    for (uint64_t m = pins; m != 0; m &= m - 1) {
        const int pin = std::countr_zero(m);
        PinCondition& c = cond_[static_cast<size_t>(pin)];
        bool grounded = false;
        int tenths = -1;
        if (states != nullptr) {
            const PinState& st = states[pin];
            grounded = st.Grounded();
            if (st.Supplied()) tenths = st.Tenths();
        }
        changed = changed || grounded != c.grounded || tenths != c.supplyTenths;
        c.grounded = grounded;
        c.supplyTenths = tenths;
    }
    if (electrical_ != nullptr) faultsSeen_ = electrical_->Faults();
    if (changed || revision_ == 0) revision_ = NewSupplyRevision();
    supplyRevision_ = revision_;
    conditions_ = cond_.data();
    stale_ = false;
}

PinCondition SerialPersonality::LiveCondition(int socketPin) const {
    PinCondition c;
    if (socketPin < 1 || socketPin > kSocketPins) return c;
    c.driven = drive_[socketPin] >= 0;
    c.drivenHigh = drive_[socketPin] == 1;
    if (const Electrical* e = prog_ ? Electrical::Find(*prog_) : nullptr) {
        const PinState s = e->Pin(socketPin);
        c.grounded = s.Grounded();
        if (s.Supplied()) c.supplyTenths = s.Tenths();
    }
    return c;
}

PinCondition SerialPersonality::Condition(int socketPin) const {
    if (stale_) return LiveCondition(socketPin);
    return socketPin >= 1 && socketPin <= kSocketPins ? cond_[static_cast<size_t>(socketPin)] : PinCondition{};
}

int SerialPersonality::ReadLevel(int socketPin) const {
    const PinCondition c = Condition(socketPin);
    if (c.grounded) return 0;
    if (c.supplyTenths >= 0) return c.supplyTenths >= kHighThresholdTenths ? 1 : 0;
    if (c.driven && !c.drivenHigh) return 0;
    ChipDrive d = ChipDrive::None;
    if (stale_) {
        if (const Socket* s = prog_ ? ReachedSocket(*prog_) : nullptr) d = s->Output(*this, socketPin);
    } else if (socket_ != nullptr) {
        d = ChipOutput(socketPin);
    }
    if (d == ChipDrive::Low || (d == ChipDrive::WeakLow && !c.driven)) return 0;
    return 1; // driven high, or pulled up on the board
}

void SerialPersonality::Drive(int pin, int level) {
    if (drive_[pin] == level) return;
    drive_[pin] = static_cast<int8_t>(level);
    PinCondition& c = cond_[static_cast<size_t>(pin)];
    c.driven = level >= 0;
    c.drivenHigh = level == 1;
    const uint64_t bit = uint64_t{1} << pin;
    drivenHigh_ = level == 1 ? (drivenHigh_ | bit) : (drivenHigh_ & ~bit);
    Changed();
}

void SerialPersonality::Changed() {
    if (!socket_) return;
    if (chip_ != nullptr) {
        chip_->Update(*this);
    } else {
        socket_->Update(*this);
    }
    // Only a pin the engine drives high can be fought (a chip pulling it low).
    uint64_t fights = 0;
    if (chip_ != nullptr) {
        // One chip: only the pins it occupies.
        for (uint64_t m = drivenHigh_ & occupied_; m != 0; m &= m - 1) {
            const int pin = std::countr_zero(m);
            if (chip_->Output(*this, pin) == ChipDrive::Low) fights |= uint64_t{1} << pin;
        }
    } else {
        for (uint64_t m = drivenHigh_; m != 0; m &= m - 1) {
            const int pin = std::countr_zero(m);
            if (socket_->Occupied(pin) && socket_->Output(*this, pin) == ChipDrive::Low) fights |= uint64_t{1} << pin;
        }
    }
    for (uint64_t m = fights & ~contention_; m != 0; m &= m - 1)
        Violation("socket pin " + std::to_string(std::countr_zero(m)) + ": the chip drives against the serial engine");
    contention_ = fights;
}

bool SerialPersonality::Busy() const { return NowUs() < busyUntil_; }

// Supply and ground switches are not announced to the chips; a look at them on
// every switch write lets a chip notice a power cycle between two shifts.
// The electrical model takes the switch after this; the table is stale until
// the next hook.
bool SerialPersonality::OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) {
    (void)reg, (void)bit, (void)state;
    Attach(p);
    if (socket_) socket_->Update(*this);
    MarkStale();
    return false;
}

void SerialPersonality::OnUnconfigure(SimProgrammer& p) {
    (void)p;
    MarkStale();
}

// Registers 18 and 26-31 move the DAC and the supply-A switches (the
// electrical model takes them after this); the other registers leave every
// pin's supply as it is.
bool SerialPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    Attach(p);
    const bool moves = reg == 18 || reg >= 26;
    if (!moves) Fresh();
    if (form_ == kCommandForm && reg == 12) return PinDriverMode(value);
    if (form_ == kCommandForm && pinMode_ && reg <= 11) return PinLatchWrite(reg, value);
    if (reg >= 12) {
        if (reg == 13) pull_ = value;
        if (socket_) socket_->Update(*this);
        if (moves) MarkStale();
        return false;
    }
    if (form_ == kCommandForm) return CommandWrite(reg, value);
    // The programmer's reset writes 0 to registers 0-11.
    if (value == 0 && (reg == 1 || reg == 2 || reg == 5 || reg >= 8)) return true;
    if (form_ == kClockBurstForm) return BurstWrite(reg, value);
    if (form_ == kConfigBusForm) return ConfigBusWrite(reg, value);
    if (word_) return WordWrite(reg, value);
    if (spi_) return SpiWrite(reg, value);
    return form_ == kTwoClockForm ? TwoClockWrite(reg, value) : ByteWrite(reg, value);
}

// ---- byte engine, two-clock form -----------------------------------------------

bool SerialPersonality::TwoClockWrite(uint8_t reg, uint8_t value) {
    switch (reg) {
    case 0:
        if (value > 1) return false;
        statics_ = value;
        Drive(kCtl, value);
        return true;
    case 3:
        if (value > 1) return false;
        lines_ = value;
        return true;
    case 4:
        if (value > 3) return false;
        mode_ = value;
        if (value == 0 || value == 2) {
            for (int pin : {kData, kHigh, kDclk, kRclk}) Drive(pin, -1);
            return true;
        }
        Drive(kHigh, 1);
        Drive(kDclk, 1);
        Drive(kRclk, 1);
        if (value == 3) Drive(kData, -1);
        return true;
    case 6:
        shift_ = value;
        return true;
    case 7:
        if (value != 1 && value != 8) return value == 0;
        if (mode_ != 1 && mode_ != 3) {
            Violation("serial engine: a shift while the engine does not hold the lines");
            return true;
        }
        for (int i = 0; i < value; ++i) {
            const int clock = mode_ == 1 ? kDclk : kRclk;
            if (mode_ == 1) Drive(kData, (shift_ >> 7) & 1);
            Drive(clock, 0);
            const int bit = ReadLevel(kData);
            Drive(clock, 1);
            shift_ = static_cast<uint16_t>(((shift_ << 1) | bit) & 0xFF);
        }
        busyUntil_ = NowUs() + static_cast<uint64_t>(value) * kSerialCycleUs;
        return true;
    default:
        return false;
    }
}

// ---- clock-burst and configuration two-wire engines ---------------------------

// `cycles` clocks on ZIF 22 with DATA (ZIF 21) sampled after each rising
// edge. `drive`: -1 DATA released; 1 each bit driven; 0 a 0 driven low and a
// 1 released (open drain).
void SerialPersonality::LineShift(bool held, int cycles, int drive) {
    if (!held) {
        Violation("serial engine: a shift while the engine does not hold the lines");
        return;
    }
    for (int i = 0; i < cycles; ++i) {
        const int bit = (shift_ >> 7) & 1;
        if (drive >= 0) Drive(kBData, bit ? (drive == 1 ? 1 : -1) : 0);
        Drive(kBClk, 1);
        shift_ = static_cast<uint16_t>(((shift_ << 1) | ReadLevel(kBData)) & 0xFF);
        Drive(kBClk, 0);
    }
    Drive(kBData, -1);
    busyUntil_ = NowUs() + static_cast<uint64_t>(cycles) * kSerialCycleUs;
}

void SerialPersonality::BurstLines() {
    if (mode_ != 1 && mode_ != 3) {
        for (int pin : {kBData, kBClk, kBResetOe, kBCe, kBEntry}) Drive(pin, -1);
        return;
    }
    Drive(kBClk, 0);
    Drive(kBCe, statics_ & 1);
    Drive(kBResetOe, (statics_ >> 1) & 1);
    Drive(kBEntry, lines_ == 0 ? 0 : 1);
}

bool SerialPersonality::BurstWrite(uint8_t reg, uint8_t value) {
    switch (reg) {
    case 0:
        if (value > 3) return false;
        statics_ = value;
        BurstLines();
        return true;
    case 3:
        if (value != 0 && value != 2 && value != 14) return false;
        lines_ = value;
        BurstLines();
        return true;
    case 4:
        if (value > 3) return false;
        mode_ = value;
        BurstLines();
        return true;
    case 6:
        shift_ = value;
        return true;
    case 7:
        return value == 0; // the reset
    case 8:
        if (value > 200) return false;
        LineShift(lines_ == 14 && (mode_ == 1 || mode_ == 3), value, mode_ == 1 ? 1 : -1);
        return true;
    default:
        return false;
    }
}

void SerialPersonality::ConfigBusLines() {
    if (mode_ != 3 && mode_ != 5 && mode_ != 7) {
        for (int pin : {kBData, kBClk, kBResetOe, kBEntry}) Drive(pin, -1);
        return;
    }
    Drive(kBResetOe, (statics_ & 4) ? -1 : statics_ & 1);
    Drive(kBEntry, (statics_ >> 1) & 1);
    const bool hand = lines_ == 10 || lines_ == 12;
    const int sda = hand && sdaHand_ == 0 ? 0 : -1;
    // SDA moves while SCL is low.
    if (lines_ == 10) {
        Drive(kBData, sda);
        Drive(kBClk, 1);
    } else {
        Drive(kBClk, 0);
        Drive(kBData, sda);
    }
}

bool SerialPersonality::ConfigBusWrite(uint8_t reg, uint8_t value) {
    switch (reg) {
    case 0:
        if (value > 4) return false;
        statics_ = value;
        ConfigBusLines();
        return true;
    case 3:
        if (value != 4 && value != 8 && value != 10 && value != 12) return value == 0;
        lines_ = value;
        ConfigBusLines();
        return true;
    case 4:
        if (value != 2 && value != 3 && value != 5 && value != 7) return value == 0;
        mode_ = value;
        ConfigBusLines();
        return true;
    case 6:
    case 7:
        shift_ = value;
        if (reg == 7) {
            sdaHand_ = value;
            if (lines_ == 10 || lines_ == 12) ConfigBusLines();
        }
        return true;
    case 8:
        if (value != 1 && value != 8) return false;
        LineShift(lines_ != 10 && (mode_ == 5 || mode_ == 7), value, mode_ == 5 ? 0 : -1);
        return true;
    default:
        return false;
    }
}

// ---- byte engine, SPI form -----------------------------------------------------

bool SerialPersonality::SpiWrite(uint8_t reg, uint8_t value) {
    const bool adapter = form_ == kDataFlashForm;
    const int cs = adapter ? kZCs : kCs, si = adapter ? kZSi : kSi, sck = adapter ? kZSck : kSck;
    switch (reg) {
    case 0:
        if (adapter) {
            if (value > 1) return false;
            Drive(cs, value);
            return true;
        }
        if (value != 0 && value != 6 && value != 7) return false;
        statics_ = value;
        Drive(kCs, value & 1);
        Drive(kWp, (value >> 1) & 1);
        Drive(kHold, (value >> 2) & 1);
        return true;
    case 3:
        if (value != 0 && value != (adapter ? 3 : 0x0C)) return false;
        lines_ = value;
        if (adapter) {
            Drive(kZReset, value ? 1 : -1);
            Drive(kZWp, value ? 1 : -1);
        }
        return true;
    case 4:
        if (value > (adapter ? 2 : 1)) return false;
        mode_ = value;
        Drive(sck, value == 1 ? 0 : -1);
        Drive(si, value == 1 ? 0 : -1);
        return true;
    case 6:
        shift_ = value;
        return true;
    case 7:
        if (value != 8) return value == 0;
        if ((!adapter && lines_ != 0x0C) || mode_ != 1) {
            Violation("serial engine: a shift while the engine does not hold the lines");
            return true;
        }
        for (int i = 0; i < 8; ++i) {
            Drive(si, (shift_ >> 7) & 1);
            Drive(sck, 1);
            shift_ = static_cast<uint16_t>(((shift_ << 1) | ReadLevel(adapter ? kZSo : kSo)) & 0xFF);
            Drive(sck, 0);
        }
        busyUntil_ = NowUs() + 8 * kSerialCycleUs;
        return true;
    default:
        return false;
    }
}

// ---- byte engine ---------------------------------------------------------------

bool SerialPersonality::ByteWrite(uint8_t reg, uint8_t value) {
    const bool sdaDriven = mode_ == 1 || mode_ == 9;
    switch (reg) {
    case 0:
        if (value != 0 && value != 2 && value != 4 && value != 5 && value != 8) return false;
        statics_ = value;
        for (int b = 0; b < 3; ++b) Drive(kCs + b, (value >> b) & 1);
        Drive(kDoAlt, (value >> 3) & 1);
        return true;
    case 3: {
        if (value > 3 && value != 0x0C) return false;
        lines_ = value;
        if (mode_ == 0 || mode_ == 2) return true;
        if (value == 0x0C) {
            Drive(kScl, 0);
            Drive(kSda, -1);
            return true;
        }
        const int scl = (value & 2) ? 1 : 0;
        const int sda = sdaDriven && !(value & 1) ? 0 : -1;
        // The data line moves while the clock is low.
        if (scl) {
            Drive(kSda, sda);
            Drive(kScl, 1);
        } else {
            Drive(kScl, 0);
            Drive(kSda, sda);
        }
        return true;
    }
    case 4:
        if (value != 0 && value != 1 && value != 2 && value != 3 && value != 9 && value != 0x0B) return false;
        mode_ = value;
        if (value == 0 || value == 2) {
            Drive(kSda, -1);
            Drive(kScl, -1);
            return true;
        }
        // Lines back as register 3 holds them.
        if (lines_ == 0x0C || lines_ == 0) {
            Drive(kScl, 0);
            Drive(kSda, (value == 1 || value == 9) && lines_ == 0 ? 0 : -1);
        } else {
            ByteWrite(3, lines_);
        }
        return true;
    case 5:
        return value == 1;
    case 6:
        shift_ = value;
        return true;
    case 7:
        if (value != 1 && value != 8 && value != 9) return value == 0;
        ByteShift(value);
        return true;
    default:
        return false;
    }
}

void SerialPersonality::ByteShift(int cycles) {
    if (lines_ != 0x0C || mode_ == 0 || mode_ == 2) {
        Violation("serial engine: a shift while the engine does not hold the lines");
        return;
    }
    const bool drives = mode_ == 1 || mode_ == 9;
    for (int i = 0; i < cycles; ++i) {
        Drive(kSda, drives && !(shift_ & 0x80) ? 0 : -1);
        Drive(kScl, 1);
        const int bit = ReadLevel(kSda);
        shift_ = static_cast<uint16_t>(((shift_ << 1) | bit) & 0xFF);
        Drive(kScl, 0);
    }
    Drive(kSda, -1);
    busyUntil_ = NowUs() + static_cast<uint64_t>(cycles) * kSerialCycleUs;
}

// ---- word engine ---------------------------------------------------------------

bool SerialPersonality::WordWrite(uint8_t reg, uint8_t value) {
    switch (reg) {
    case 0:
        if (value > 7) return false;
        statics_ = value;
        if (mode_ == 0) return true;
        Drive(kCs, value & 1);
        Drive(26, (value >> 1) & 1);
        if (mode_ != 3) Drive(kDoAlt, (value >> 2) & 1);
        return true;
    case 3:
        if (value != 0 && value != 0x0C) return false;
        lines_ = value;
        return true;
    case 4:
        if (value != 1 && value != 3 && value != 0) return false;
        mode_ = value;
        if (value == 0) {
            for (int pin : {kCs, kSk, kDi, 26, kDoAlt}) Drive(pin, -1);
            return true;
        }
        Drive(kSk, 0);
        Drive(kDi, 0);
        if (value == 3) Drive(kDoAlt, -1);
        WordWrite(0, statics_);
        return true;
    case 6:
        shift_ = static_cast<uint16_t>((shift_ & 0xFF00) | value);
        return true;
    case 7:
        shift_ = static_cast<uint16_t>((shift_ & 0x00FF) | (value << 8));
        return true;
    case 8:
        if (value > 16) return false;
        WordShift(value);
        return true;
    default:
        return false;
    }
}

// ---- command engine --------------------------------------------------------------

// Register 12 of the command engine: 1 the universal pin driver (registers
// 0-11 the pin latches, every pin floating at the switch), 0 the engine
// again (every pin released first).
bool SerialPersonality::PinDriverMode(uint8_t value) {
    if (value > 1) return false;
    if ((value == 1) == pinMode_) return true;
    for (int pin = 1; pin <= kSocketPins; ++pin) Drive(pin, -1);
    pinMode_ = value == 1;
    pinLatch_.fill(0);
    for (size_t g = 0; g < pinLatch_.size(); g += 2) pinLatch_[g] = 0xFF;
    if (!pinMode_) CommandLines();
    return true;
}

bool SerialPersonality::PinLatchWrite(uint8_t reg, uint8_t value) {
    pinLatch_[reg] = value;
    const int g = reg / 2;
    for (int i = 0; i < 8; ++i) {
        const int pin = 8 * g + 1 + i;
        const bool floating = (pinLatch_[static_cast<size_t>(2 * g)] >> i) & 1;
        Drive(pin, floating ? -1 : (pinLatch_[static_cast<size_t>(2 * g + 1)] >> i) & 1);
    }
    return true;
}

void SerialPersonality::CommandLines() {
    const bool held = lines_ == 2 && (mode_ == 1 || mode_ == 3);
    if (!held) {
        for (int pin : {kBData, kBClk, kBResetOe, kBCe, kBEntry}) Drive(pin, -1);
        return;
    }
    Drive(kBResetOe, statics_ & 1);
    Drive(kBEntry, (statics_ >> 1) & 1);
    Drive(kBCe, (statics_ >> 2) & 1);
    Drive(kBData, mode_ == 3 ? -1 : dataReg_ == 1 ? 1 : 0);
    Drive(kBClk, clockReg_ == 1 ? 1 : 0);
}

bool SerialPersonality::CommandWrite(uint8_t reg, uint8_t value) {
    switch (reg) {
    case 0:
        if (value > 7) return false;
        statics_ = value;
        break;
    case 1:
    case 2:
        if (value > 2) return false;
        (reg == 1 ? dataReg_ : clockReg_) = value;
        break;
    case 3:
        if (value != 0 && value != 2) return false;
        lines_ = value;
        break;
    case 4:
        if (value > 3) return false;
        mode_ = value;
        break;
    case 6:
        shift_ = value;
        return true;
    case 8: {
        if (value == 0) return true;
        if (value != 8) return false;
        const bool held = lines_ == 2 && (mode_ == 1 || mode_ == 3) && clockReg_ == 2;
        if (!held) {
            Violation("serial engine: a shift while the engine does not hold the lines");
            return true;
        }
        const bool send = mode_ == 1 && dataReg_ == 2;
        uint8_t in = 0;
        for (int i = 0; i < 8; ++i) {
            if (send) Drive(kBData, (shift_ >> i) & 1);
            Drive(kBClk, 1);
            in = static_cast<uint8_t>(in | (ReadLevel(kBData) << i));
            Drive(kBClk, 0);
        }
        shift_ = in;
        busyUntil_ = NowUs() + 8 * kSerialCycleUs;
        if (send) Drive(kBData, 0);
        return true;
    }
    default:
        return value == 0 && (reg == 5 || reg == 7 || reg >= 9);
    }
    CommandLines();
    return true;
}

void SerialPersonality::WordShift(int cycles) {
    if (mode_ == 0) {
        Violation("serial engine: a shift while the engine does not hold the lines");
        return;
    }
    const int out = mode_ == 3 ? kDoAlt : kDo;
    for (int i = 0; i < cycles; ++i) {
        Drive(kDi, (shift_ >> 15) & 1);
        Drive(kSk, 1);
        shift_ = static_cast<uint16_t>((shift_ << 1) | ReadLevel(out));
        Drive(kSk, 0);
    }
    busyUntil_ = NowUs() + static_cast<uint64_t>(cycles) * kSerialCycleUs;
}

std::optional<uint8_t> SerialPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    Attach(p);
    Fresh();
    const uint8_t busy = Busy() ? 2 : 0;
    if (form_ == kConfigBusForm) {
        if (reg == 6) {
            const uint8_t v = static_cast<uint8_t>(shift_);
            shift_ = 0;
            return v;
        }
        if (reg != 9) return std::nullopt;
        if (statics_ & 4) {
            // RESET/OE on the image's pull, unless the chip holds it.
            int level = pull_ == 4 ? 1 : 0;
            if (socket_ != nullptr) {
                const ChipDrive d = ChipOutput(kBResetOe);
                if (d == ChipDrive::Low || d == ChipDrive::WeakLow) level = 0;
                if (d == ChipDrive::High || d == ChipDrive::WeakHigh) level = 1;
            }
            return static_cast<uint8_t>(busy | level);
        }
        return static_cast<uint8_t>(busy | ReadLevel(kBData));
    }
    if (form_ == kCommandForm && pinMode_) {
        if (reg > 5) return std::nullopt;
        uint8_t levels = 0;
        for (int i = 0; i < 8; ++i) levels = static_cast<uint8_t>(levels | ReadLevel(8 * reg + 1 + i) << i);
        return levels;
    }
    if (form_ == kCommandForm) {
        if (reg == 6 || reg == 7) return static_cast<uint8_t>(shift_);
        if (reg == 5) return static_cast<uint8_t>(busy | ReadLevel(kBData));
        return std::nullopt;
    }
    if (form_ == kClockBurstForm) {
        if (reg == 6 || reg == 7) return static_cast<uint8_t>(shift_);
        if (reg == 9) return static_cast<uint8_t>(busy | (ReadLevel(kBData) << 2));
        return std::nullopt;
    }
    if (!word_) {
        if (reg == 6) {
            const uint8_t v = static_cast<uint8_t>(shift_);
            shift_ = 0;
            return v;
        }
        const int line = form_ == kDataFlashForm ? kZSo : spi_ || form_ == kTwoClockForm ? kSo : kSda;
        if (reg == 7) return static_cast<uint8_t>(busy | ReadLevel(line));
        return std::nullopt;
    }
    if (reg == 6) return static_cast<uint8_t>(shift_);
    if (reg == 7) return static_cast<uint8_t>(shift_ >> 8);
    if (reg == 9) return static_cast<uint8_t>(busy | ReadLevel(kDo) | (ReadLevel(kDoAlt) << 2));
    return std::nullopt;
}

void RegisterSerialPersonality() {
    RegisterPersonality(kPersonalitySerial, [](const LogicImageHeader& h) -> std::unique_ptr<SimPersonality> {
        return std::make_unique<SerialPersonality>(h);
    });
}

} // namespace sim
