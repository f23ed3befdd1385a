#include "sim/AvrSerialChip.h"

#include <algorithm>

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr uint8_t kLockBits = 0x06; // bit 1 lock bit 1, bit 2 lock bit 2

// High-voltage commands (loaded with XA 10).
enum : uint8_t {
    kHvChipErase = 0x80,
    kHvWriteFuses = 0x40,
    kHvWriteLocks = 0x20,
    kHvReadSignature = 0x08,
    kHvReadFuseLock = 0x04,
    kHvReadFlash = 0x02,
    kHvReadEeprom = 0x03,
};

} // namespace

AvrSerialChip::AvrSerialChip(const AvrSerialFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(facts_.flashBytes + facts_.eepromBytes, 0xFF);
    fuses_ = facts_.fuses;
}

ChipPinLimits AvrSerialChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Sock(facts_.resetPin), facts_.vppLimitTenths);
    return l;
}

uint8_t AvrSerialChip::LockFuseByte() const {
    const uint8_t lb1 = (locks_ & 0x02) != 0, lb2 = (locks_ & 0x04) != 0;
    return static_cast<uint8_t>(lb1 << 7 | lb2 << 6 | (fuses_ & 0x21) | 0x1E);
}

void AvrSerialChip::Write(uint32_t at, uint8_t value) {
    ++writes_;
    if (static_cast<int64_t>(at) == stuckCell_) return;
    cells_[at] &= value;
}

void AvrSerialChip::Erase() {
    ++erases_;
    std::fill(cells_.begin(), cells_.end(), 0xFF);
    locks_ = 0xFF;
}

void AvrSerialChip::PowerChanged(const PinEnvironment& env, bool vcc) {
    vcc_ = vcc;
    mode_ = Mode::Off;
    enabled_ = inStep_ = false;
    bits_ = entryClocks_ = frameBit_ = 0;
    busyUntil_ = 0;
    outPending_ = frameOutValid_ = wrLow_ = false;
    if (!vcc) return;
    // Powered with RESET and SCK low the serial interface is in step.
    resetLow_ = env.HeldLow(Sock(facts_.resetPin));
    if (resetLow_ && env.HeldLow(Sock(facts_.sckPin)) && !lostStep_) {
        inStep_ = true;
        mode_ = Mode::Spi;
        settledAt_ = env.NowUs() + facts_.settleUs;
    }
}

void AvrSerialChip::Update(const PinEnvironment& env) {
    const bool vcc = facts_.vcc.Holds(env.VoltageTenths(Sock(facts_.vccPin)));
    if (vcc != vcc_) PowerChanged(env, vcc);
    const int reset = env.VoltageTenths(Sock(facts_.resetPin));
    const bool twelve = reset >= facts_.vpp.minTenths;
    const bool xtal = High(env, facts_.xtal1Pin), sck = High(env, facts_.sckPin);
    const bool xtalRose = xtal && !xtal_, sckRose = sck && !sck_;
    xtal_ = xtal;
    sck_ = sck;

    if (mode_ == Mode::Hv) {
        if (!vcc || !twelve) {
            mode_ = Mode::Off;
            frameOutValid_ = outPending_ = wrLow_ = false;
            return;
        }
        if (xtalRose) HvClock(env);
        return;
    }
    if (twelve) {
        const bool entered = vcc && resetLow_ && entryClocks_ >= 4 && !xtal;
        if (!entered) {
            if (!hvRefused_)
                env.Violation(
                    facts_.name +
                    ": 12 V on RESET without VCC up, RESET and SDI low and XTAL1 clocked four times first");
            hvRefused_ = true;
        } else {
            if (reset > facts_.vpp.maxTenths)
                env.Violation(facts_.name + ": " + std::to_string(reset) + " tenths of a volt on RESET");
            mode_ = Mode::Hv;
            frameBit_ = 0;
            command_ = data_ = 0;
            address_ = 0;
        }
        resetLow_ = false;
        entryClocks_ = 0;
        return;
    }
    hvRefused_ = false;
    if (!vcc) return;
    const bool resetLow = env.HeldLow(Sock(facts_.resetPin));
    if (resetLow != resetLow_) {
        resetLow_ = resetLow;
        entryClocks_ = 0;
        enabled_ = false;
        bits_ = 0;
        // A RESET pulse with SCK low brings the serial interface back in step.
        if (resetLow && !sck && !lostStep_) {
            inStep_ = true;
            settledAt_ = env.NowUs() + facts_.settleUs;
        }
        mode_ = resetLow && inStep_ ? Mode::Spi : Mode::Off;
    }
    if (resetLow_ && xtalRose && env.HeldLow(Sock(facts_.mosiPin))) ++entryClocks_;
    if (mode_ == Mode::Spi && sckRose) SpiClock(env);
}

// ---- low-voltage serial -----------------------------------------------------------------

void AvrSerialChip::SpiClock(const PinEnvironment& env) {
    if (env.NowUs() < settledAt_) {
        env.Violation(facts_.name + ": SCK clocked within " + std::to_string(facts_.settleUs / 1000) +
                      " ms of RESET low");
        return;
    }
    const int byte = bits_ / 8;
    in_[byte] = static_cast<uint8_t>(in_[byte] << 1 | (High(env, facts_.mosiPin) ? 1 : 0));
    ++bits_;
    if (bits_ % 8 != 0) return;
    if (byte < 2) {
        out_ = in_[byte]; // the byte just taken goes back out with the next
    } else if (byte == 2) {
        out_ = SpiRead(env);
    } else {
        SpiExecute(env);
        bits_ = 0;
        out_ = 0;
    }
}

// The output byte of a read instruction, its first three bytes in.
uint8_t AvrSerialChip::SpiRead(const PinEnvironment& env) const {
    if (!enabled_) return in_[2];
    if (Busy(env)) return 0xFF;
    const uint32_t word = static_cast<uint32_t>(in_[1] & 0x03) << 8 | in_[2];
    switch (in_[0]) {
    case 0x20:
    case 0x28: {
        const uint32_t at = 2 * word + (in_[0] >> 3 & 1);
        return ReadLocked() || at >= facts_.flashBytes ? 0xFF : cells_[at];
    }
    case 0xA0: {
        const uint32_t at = in_[2] & 0x7Fu;
        return ReadLocked() || at >= facts_.eepromBytes ? 0xFF : cells_[facts_.flashBytes + at];
    }
    case 0x58:
        return LockFuseByte();
    case 0x30:
        return ReadLocked() || (in_[2] & 3) > 2 ? 0xFF : facts_.signature[in_[2] & 3];
    default:
        return in_[2];
    }
}

void AvrSerialChip::SpiExecute(const PinEnvironment& env) {
    const uint8_t b0 = in_[0], b1 = in_[1], b2 = in_[2], b3 = in_[3];
    if (b0 == 0xAC && b1 == 0x53) {
        enabled_ = true;
        return;
    }
    if (!enabled_ || b0 == 0x20 || b0 == 0x28 || b0 == 0xA0 || b0 == 0x58 || b0 == 0x30) return;
    if (Busy(env)) {
        env.Violation(facts_.name + ": serial instruction " + std::to_string(b0) + " while a write runs");
        return;
    }
    const uint64_t now = env.NowUs();
    const uint64_t busy = stuckBusy_ ? UINT64_MAX - now : facts_.writeUs;
    const bool writeLocked = (locks_ & 0x02) == 0;
    if (b0 == 0xAC && (b1 & 0xE0) == 0x80) {
        Erase();
        busyUntil_ = now + (stuckBusy_ ? busy : facts_.eraseUs);
    } else if (b0 == 0xAC && (b1 & 0xF9) == 0xF9) {
        ++lockWrites_;
        lastLockData_ = b1;
        locks_ &= static_cast<uint8_t>(b1 | ~kLockBits | stuckLocks_);
        busyUntil_ = now + busy;
    } else if (b0 == 0xAC && (b1 & 0xFE) == 0xBE) {
        ++fuseWrites_;
        if (!stuckFuses_) fuses_ = static_cast<uint8_t>((fuses_ & ~1u) | (b1 & 1u));
        busyUntil_ = now + busy;
    } else if (b0 == 0x40 || b0 == 0x48) {
        const uint32_t at = 2 * (static_cast<uint32_t>(b1 & 0x03) << 8 | b2) + (b0 >> 3 & 1);
        if (at >= facts_.flashBytes) {
            env.Violation(facts_.name + ": flash write past the array at " + std::to_string(at));
            return;
        }
        busyUntil_ = now + busy;
        if (!writeLocked) Write(at, b3);
    } else if (b0 == 0xC0) {
        const uint32_t at = b2 & 0x7Fu;
        if (at >= facts_.eepromBytes) {
            env.Violation(facts_.name + ": EEPROM write past the array at " + std::to_string(at));
            return;
        }
        busyUntil_ = now + busy;
        if (!writeLocked) Write(facts_.flashBytes + at, b3);
    } else {
        env.Violation(facts_.name + ": unknown serial instruction " + std::to_string(b0) + " " +
                      std::to_string(b1));
    }
}

// ---- high-voltage serial ----------------------------------------------------------------

void AvrSerialChip::HvClock(const PinEnvironment& env) {
    const int sdi = High(env, facts_.mosiPin) ? 1 : 0, sii = High(env, facts_.misoPin) ? 1 : 0;
    const int k = frameBit_;
    if (k == 0 && (sdi | sii) != 0)
        env.Violation(facts_.name + ": high-voltage frame without its 0 start bit");
    if (k >= 1 && k <= 8) {
        sdi_ = static_cast<uint8_t>(sdi_ << 1 | sdi);
        sii_ = static_cast<uint8_t>(sii_ << 1 | sii);
        if (k == 8) HvExecute(env, sdi_, sii_);
    }
    frameBit_ = (k + 1) % 11;
    if (frameBit_ == 0) {
        // The byte an OE-low frame latched leaves during the next frame.
        frameOutValid_ = outPending_;
        frameOut_ = pendingOut_;
        outPending_ = false;
    }
}

uint8_t AvrSerialChip::HvRead(bool bs) const {
    switch (command_) {
    case kHvReadSignature:
        return ReadLocked() || (address_ & 0xFF) > 2 ? 0xFF : facts_.signature[address_ & 0xFF];
    case kHvReadFuseLock:
        return LockFuseByte();
    case kHvReadFlash: {
        const uint32_t at = 2u * address_ + (bs ? 1u : 0u);
        return ReadLocked() || at >= facts_.flashBytes ? 0xFF : cells_[at];
    }
    case kHvReadEeprom:
        return ReadLocked() || address_ >= facts_.eepromBytes ? 0xFF : cells_[facts_.flashBytes + address_];
    default:
        return 0xFF;
    }
}

void AvrSerialChip::HvExecute(const PinEnvironment& env, uint8_t sdi, uint8_t sii) {
    const int xa = sii >> 5 & 3;
    const bool bs = (sii & 0x10) != 0, wrLow = (sii & 0x08) == 0, oeLow = (sii & 0x04) == 0;
    if (wrLow && oeLow) {
        env.Violation(facts_.name + ": high-voltage instruction with WR and OE low together");
        return;
    }
    if (xa == 0) {
        address_ = bs ? static_cast<uint16_t>((address_ & 0x00FF) | sdi << 8)
                      : static_cast<uint16_t>((address_ & 0xFF00) | sdi);
    } else if (xa == 1) {
        data_ = sdi;
    } else if (xa == 2) {
        command_ = sdi;
    }
    if (wrLow && !wrLow_) {
        wrFellUs_ = env.NowUs();
        if (command_ != kHvChipErase && command_ != kHvWriteFuses && command_ != kHvWriteLocks)
            env.Violation(facts_.name + ": high-voltage WR under command " + std::to_string(command_));
    } else if (!wrLow && wrLow_) {
        const uint64_t width = env.NowUs() - wrFellUs_;
        const bool erase = command_ == kHvChipErase;
        // The frames are slow against the write: the datasheet asks only a
        // minimum wait after the WR-low instruction.
        if (width < (erase ? facts_.eraseMinUs : facts_.fuseMinUs)) {
            env.Violation(facts_.name + ": high-voltage write with WR low for " + std::to_string(width) +
                          " us");
        } else if (erase) {
            Erase();
        } else if (command_ == kHvWriteFuses) {
            ++fuseWrites_;
            if (!stuckFuses_) fuses_ = static_cast<uint8_t>((data_ & 0x21) | 0xDE);
        } else if (command_ == kHvWriteLocks) {
            ++lockWrites_;
            lastLockData_ = data_;
            locks_ &= static_cast<uint8_t>(data_ | ~kLockBits | stuckLocks_);
        }
    }
    wrLow_ = wrLow;
    if (oeLow) {
        pendingOut_ = HvRead(bs);
        outPending_ = true;
    }
}

ChipDrive AvrSerialChip::Output(const PinEnvironment& env, int socketPin) const {
    (void)env;
    const int chipPin = ChipPinAt(socketPin);
    if (mode_ == Mode::Spi && chipPin == facts_.misoPin)
        return (out_ >> (7 - bits_ % 8)) & 1 ? ChipDrive::High : ChipDrive::Low;
    if (mode_ == Mode::Hv && chipPin == facts_.sckPin) {
        const bool one = frameOutValid_ && frameBit_ < 8 && ((frameOut_ >> (7 - frameBit_)) & 1) != 0;
        return one ? ChipDrive::High : ChipDrive::Low;
    }
    return ChipDrive::None;
}

// ---- the parts ------------------------------------------------------------------------

void AddAvrSerialParts(std::vector<CatalogPart>& parts) {
    // 8-pin DIP: RESET 1, XTAL1/PB3 2 (the AT90S2343's CLOCK), GND 4, PB0
    // MOSI/SDI 5, PB1 MISO/SII 6, PB2 SCK/SDO 7, VCC 8; 2K flash, 128 bytes of
    // EEPROM, VCC 4.0-6.0 V. Shipped with SPIEN programmed; the AT90S2343 and
    // ATtiny22 with RCEN programmed (internal RC oscillator), the AT90S2323's
    // FSTRT erased.
    struct Row {
        const char* name;
        uint8_t device;
        uint8_t fuses;
    };
    const Row rows[] = {{"AT90S2323", 0x02, 0xDF}, {"AT90S2343", 0x03, 0xDE}, {"ATtiny22", 0x06, 0xDE}};
    for (const Row& r : rows) {
        AvrSerialFacts f;
        f.maker = "ATMEL";
        f.name = r.name;
        f.pinCount = 8;
        f.signature[0] = 0x1E;
        f.signature[1] = 0x91;
        f.signature[2] = r.device;
        f.makerCode = 0x1E;
        f.deviceCode = 0x91;
        f.words = f.flashBytes;
        f.vcc = {40, 60};
        f.vccPin = 8;
        f.gndPins = {4};
        f.fuses = r.fuses;
        parts.push_back(ChipPart<AvrSerialChip>(f.maker, f));
    }
}

} // namespace sim
