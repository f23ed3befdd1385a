#include "sim/SerialEngine.h"

#include "sim/Electrical.h"

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

PinCondition SerialPersonality::Condition(int socketPin) const {
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

int SerialPersonality::ReadLevel(int socketPin) const {
    const PinCondition c = Condition(socketPin);
    if (c.grounded) return 0;
    if (c.supplyTenths >= 0) return c.supplyTenths >= kHighThresholdTenths ? 1 : 0;
    if (c.driven && !c.drivenHigh) return 0;
    if (const Socket* s = prog_ ? Socket::Find(*prog_) : nullptr) {
        const ChipDrive d = s->Output(*this, socketPin);
        if (d == ChipDrive::Low || (d == ChipDrive::WeakLow && !c.driven)) return 0;
    }
    return 1; // driven high, or pulled up on the board
}

void SerialPersonality::Drive(int pin, int level) {
    if (drive_[pin] == level) return;
    drive_[pin] = static_cast<int8_t>(level);
    Changed();
}

void SerialPersonality::Changed() {
    Socket* s = prog_ ? Socket::Find(*prog_) : nullptr;
    if (!s) return;
    s->Update(*this);
    for (int pin = 1; pin <= kSocketPins; ++pin) {
        const uint64_t bit = uint64_t{1} << pin;
        const bool fight = drive_[pin] == 1 && s->Occupied(pin) && s->Output(*this, pin) == ChipDrive::Low;
        if (fight && !(contention_ & bit))
            Violation("socket pin " + std::to_string(pin) + ": the chip drives against the serial engine");
        contention_ = fight ? (contention_ | bit) : (contention_ & ~bit);
    }
}

bool SerialPersonality::Busy() const { return NowUs() < busyUntil_; }

// Supply and ground switches are not announced to the chips; a look at them on
// every switch write lets a chip notice a power cycle between two shifts.
bool SerialPersonality::OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) {
    (void)reg, (void)bit, (void)state;
    prog_ = &p;
    if (Socket* s = Socket::Find(p)) s->Update(*this);
    return false;
}

bool SerialPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    prog_ = &p;
    if (reg >= 12) {
        if (reg == 13) pull_ = value;
        if (Socket* s = Socket::Find(p)) s->Update(*this);
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
    prog_ = &p;
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
            if (const Socket* s = Socket::Find(p)) {
                const ChipDrive d = s->Output(*this, kBResetOe);
                if (d == ChipDrive::Low || d == ChipDrive::WeakLow) level = 0;
                if (d == ChipDrive::High || d == ChipDrive::WeakHigh) level = 1;
            }
            return static_cast<uint8_t>(busy | level);
        }
        return static_cast<uint8_t>(busy | ReadLevel(kBData));
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
