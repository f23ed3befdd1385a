#include "sim/AvrChip.h"

#include <algorithm>

#include "sim/AvrSerialChip.h"
#include "sim/Catalog.h"

namespace sim {

namespace {

enum : uint8_t {
    kCmdChipErase = 0x80,
    kCmdWriteFuses = 0x40,
    kCmdWriteLocks = 0x20,
    kCmdWriteFlash = 0x10,
    kCmdWriteEeprom = 0x11,
    kCmdReadSignature = 0x08,
    kCmdReadFuseLock = 0x04,
    kCmdReadFlash = 0x02,
    kCmdReadEeprom = 0x03,
};

constexpr uint8_t kLockBit1 = 0x02, kLockBit2 = 0x04; // in the lock byte, 0 programmed

} // namespace

AvrChip::AvrChip(const AvrFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(facts_.flashBytes + facts_.eepromBytes, 0xFF);
    fuses_ = facts_.fuses;
    for (int bit = 0; bit < 8; ++bit) {
        const int p = facts_.data[bit];
        if (p > 0 && p < 64) dataBit_[p] = bit + 1;
    }
}

ChipPinLimits AvrChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Sock(facts_.resetPin), facts_.vppLimitTenths);
    return l;
}

bool AvrChip::VccUp(const PinEnvironment& env) const {
    return facts_.vcc.Holds(env.VoltageTenths(Sock(facts_.vccPin)));
}

// The programming-mode entry: RESET and BS low with VCC up, then 12 V on RESET.
void AvrChip::Track(const PinEnvironment& env) {
    const bool vcc = VccUp(env);
    const int reset = env.VoltageTenths(Sock(facts_.resetPin));
    const bool twelve = reset >= facts_.vpp.minTenths;
    if (inMode_) {
        if (vcc && twelve) return;
        inMode_ = armed_ = false;
        busyUntil_ = 0;
        return;
    }
    if (twelve) {
        if (armed_ && vcc && env.HeldLow(Sock(facts_.bsPin))) {
            if (reset > facts_.vpp.maxTenths)
                env.Violation(facts_.name + ": " + std::to_string(reset) + " tenths of a volt on RESET");
            inMode_ = true;
            command_ = data_ = 0;
            address_ = 0;
            xtalHigh_ = High(env, facts_.xtal1Pin);
            wrLow_ = !High(env, facts_.wrPin);
        } else if (armed_ || reset != lastReset_) {
            env.Violation(facts_.name + ": 12 V on RESET without VCC up and RESET and BS low first");
        }
        armed_ = false;
        lastReset_ = reset;
        return;
    }
    lastReset_ = reset;
    armed_ = vcc && env.HeldLow(Sock(facts_.resetPin)) && env.HeldLow(Sock(facts_.bsPin));
}

uint8_t AvrChip::DataIn(const PinEnvironment& env) const {
    uint8_t v = 0;
    for (int bit = 0; bit < 8; ++bit) v |= static_cast<uint8_t>(High(env, facts_.data[bit])) << bit;
    return v;
}

uint8_t AvrChip::LockFuseByte() const {
    const uint8_t lb1 = (locks_ & kLockBit1) != 0, lb2 = (locks_ & kLockBit2) != 0;
    return static_cast<uint8_t>(lb1 << 7 | lb2 << 6 | (fuses_ & 0x21) | 0x1E);
}

uint8_t AvrChip::ReadOut(bool bs) const {
    const bool readLocked = (locks_ & (kLockBit1 | kLockBit2)) == 0;
    switch (command_) {
    case kCmdReadSignature:
        return (address_ & 0xFF) < 3 ? facts_.signature[address_ & 0xFF] : 0xFF;
    case kCmdReadFuseLock:
        if (facts_.fuseKind == AvrFuseKind::FuseByte) return bs ? (locks_ | 0xF9) : (fuses_ | 0xC0);
        return bs ? LockFuseByte() : 0xFF;
    case kCmdReadFlash: {
        const uint32_t at = 2u * address_ + (bs ? 1u : 0u);
        return readLocked || at >= facts_.flashBytes ? 0xFF : cells_[at];
    }
    case kCmdReadEeprom:
        return readLocked || address_ >= facts_.eepromBytes ? 0xFF : cells_[facts_.flashBytes + address_];
    default:
        return 0xFF;
    }
}

// Flash and EEPROM bits only go from 1 to 0 between chip erases.
void AvrChip::Write(uint32_t at, uint8_t value) {
    ++writes_;
    if (static_cast<int64_t>(at) == stuckCell_) return;
    cells_[at] &= value;
}

void AvrChip::WrFell(const PinEnvironment& env) {
    wrFellUs_ = env.NowUs();
    // A stuck part keeps RDY/BSY low from its first write on.
    const uint64_t busyUs = stuckBusy_ ? UINT64_MAX - wrFellUs_ : facts_.writeUs;
    const bool bs = High(env, facts_.bsPin);
    const bool writeLocked = (locks_ & kLockBit1) == 0;
    switch (command_) {
    case kCmdWriteFlash: {
        const uint32_t at = 2u * address_ + (bs ? 1u : 0u);
        if (at >= facts_.flashBytes) {
            env.Violation(facts_.name + ": flash write past the array at word " + std::to_string(address_));
            return;
        }
        busyUntil_ = wrFellUs_ + busyUs;
        if (!writeLocked) Write(at, data_);
        return;
    }
    case kCmdWriteEeprom:
        if (address_ >= facts_.eepromBytes) {
            env.Violation(facts_.name + ": EEPROM write past the array at " + std::to_string(address_));
            return;
        }
        busyUntil_ = wrFellUs_ + busyUs;
        if (!writeLocked) Write(facts_.flashBytes + address_, data_);
        return;
    case kCmdWriteLocks:
        busyUntil_ = wrFellUs_ + busyUs;
        ++lockWrites_;
        lastLockData_ = data_;
        locks_ &= static_cast<uint8_t>(data_ | ~(kLockBit1 | kLockBit2) | stuckLocks_);
        return;
    case kCmdChipErase:
    case kCmdWriteFuses:
        return; // timed by the WR low time
    default:
        env.Violation(facts_.name + ": WR pulse under command " + std::to_string(command_));
        return;
    }
}

void AvrChip::WrRose(const PinEnvironment& env) {
    const uint64_t width = env.NowUs() - wrFellUs_;
    if (command_ == kCmdChipErase) {
        if (width < facts_.eraseMinUs || width > facts_.eraseMaxUs) {
            env.Violation(facts_.name + ": chip erase WR low for " + std::to_string(width) + " us");
            return;
        }
        ++erases_;
        std::fill(cells_.begin(), cells_.end(), 0xFF);
        locks_ = 0xFF;
    } else if (command_ == kCmdWriteFuses) {
        if (width < facts_.fuseMinUs || width > facts_.fuseMaxUs) {
            env.Violation(facts_.name + ": fuse write WR low for " + std::to_string(width) + " us");
            return;
        }
        ++fuseWrites_;
        if (stuckFuses_) return;
        fuses_ = facts_.fuseKind == AvrFuseKind::FuseByte ? static_cast<uint8_t>(data_ | 0xC0)
                                                          : static_cast<uint8_t>((data_ & 0x21) | 0xDE);
    }
}

void AvrChip::Update(const PinEnvironment& env) {
    Track(env);
    if (!inMode_) return;
    const bool xtal = High(env, facts_.xtal1Pin);
    const bool wrLow = !High(env, facts_.wrPin);
    const bool oeLow = !High(env, facts_.oePin);
    if (xtal && !xtalHigh_) {
        if (Busy(env)) {
            env.Violation(facts_.name + ": XTAL1 load while RDY/BSY is low");
        } else {
            const int xa = High(env, facts_.xa1Pin) << 1 | High(env, facts_.xa0Pin);
            const uint8_t v = DataIn(env);
            if (xa == 0) {
                address_ = High(env, facts_.bsPin) ? static_cast<uint16_t>((address_ & 0x00FF) | v << 8)
                                                   : static_cast<uint16_t>((address_ & 0xFF00) | v);
            } else if (xa == 1) {
                data_ = v;
            } else if (xa == 2) {
                command_ = v;
            }
        }
    }
    xtalHigh_ = xtal;
    if (wrLow && !wrLow_) {
        if (Busy(env)) {
            env.Violation(facts_.name + ": WR pulse while RDY/BSY is low");
        } else if (oeLow) {
            env.Violation(facts_.name + ": WR low with OE low");
        } else {
            WrFell(env);
        }
    } else if (!wrLow && wrLow_) {
        WrRose(env);
    }
    wrLow_ = wrLow;
    if (oeLow && !oeLow_ && Busy(env)) env.Violation(facts_.name + ": OE low while RDY/BSY is low");
    oeLow_ = oeLow;
}

ChipDrive AvrChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!inMode_) return ChipDrive::None;
    const int chipPin = ChipPinAt(socketPin);
    if (chipPin == facts_.rdyPin) return Busy(env) ? ChipDrive::Low : ChipDrive::High;
    const int bit = chipPin > 0 && chipPin < 64 ? dataBit_[chipPin] - 1 : -1;
    if (bit < 0 || High(env, facts_.oePin) || !High(env, facts_.wrPin) || Busy(env)) return ChipDrive::None;
    switch (command_) {
    case kCmdReadSignature:
    case kCmdReadFuseLock:
    case kCmdReadFlash:
    case kCmdReadEeprom:
        return (ReadOut(High(env, facts_.bsPin)) >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    default:
        return ChipDrive::None;
    }
}

// ---- the parts ------------------------------------------------------------------------

namespace {

// Common facts: VCC within the operating range, 12 V on RESET.
AvrFacts Base(const char* name, int pins, uint8_t family, uint8_t device, uint32_t flash, uint32_t eeprom) {
    AvrFacts f;
    f.maker = "ATMEL";
    f.name = name;
    f.pinCount = pins;
    f.signature[0] = 0x1E;
    f.signature[1] = family;
    f.signature[2] = device;
    f.makerCode = 0x1E;
    f.deviceCode = family;
    f.flashBytes = flash;
    f.eepromBytes = eeprom;
    f.words = flash;
    f.vcc = {40, 60}; // operating range 4.0-6.0 V
    return f;
}

// AT90S1200 and AT90S2313 (20-pin DIP): DATA on PB0-PB7 (pins 12-19), RDY/BSY
// PD1, OE PD2, WR PD3, BS PD4, XA0 PD5, XA1 PD6 (pins 3, 6, 7, 8, 9, 11),
// XTAL1 pin 5, RESET pin 1, VCC 20, GND 10.
AvrFacts Pins20(AvrFacts f) {
    for (int i = 0; i < 8; ++i) f.data[i] = 12 + i;
    f.resetPin = 1;
    f.rdyPin = 3;
    f.oePin = 6;
    f.wrPin = 7;
    f.bsPin = 8;
    f.xa0Pin = 9;
    f.xa1Pin = 11;
    f.xtal1Pin = 5;
    f.vccPin = 20;
    f.gndPins = {10};
    return f;
}

// AT90S4414 and AT90S8515 (40-pin DIP): DATA on PB0-PB7 (pins 1-8), PD1-PD6
// on pins 11-16, XTAL1 pin 19, RESET 9, VCC 40, GND 20.
AvrFacts Pins40(AvrFacts f) {
    for (int i = 0; i < 8; ++i) f.data[i] = 1 + i;
    f.resetPin = 9;
    f.rdyPin = 11;
    f.oePin = 12;
    f.wrPin = 13;
    f.bsPin = 14;
    f.xa0Pin = 15;
    f.xa1Pin = 16;
    f.xtal1Pin = 19;
    f.vccPin = 40;
    f.gndPins = {20};
    return f;
}

// AT90S4434 and AT90S8535 (40-pin DIP): DATA on PB0-PB7 (pins 1-8), VCC 10,
// GND 11, XTAL1 13, PD1-PD6 on pins 15-20.
AvrFacts Pins40Adc(AvrFacts f) {
    f = Pins40(f);
    f.rdyPin = 15;
    f.oePin = 16;
    f.wrPin = 17;
    f.bsPin = 18;
    f.xa0Pin = 19;
    f.xa1Pin = 20;
    f.xtal1Pin = 13;
    f.vccPin = 10;
    f.gndPins = {11};
    return f;
}

// AT90S2333 and AT90S4433 (28-pin DIP): DATA bits 0-5 on PB0-PB5 (pins
// 14-19), bits 6-7 on PC0-PC1 (pins 23, 24); RDY/BSY PD1 3, OE PD2 4, WR PD3
// 5, BS PD4 6, XA0 PD5 11, XA1 PD6 12; XTAL1 9; VCC 7, GND 8. Fuse byte and
// lock byte apart; shipped with SPIEN programmed, CKSEL 010.
AvrFacts Pins28(AvrFacts f) {
    const int data[8] = {14, 15, 16, 17, 18, 19, 23, 24};
    for (int i = 0; i < 8; ++i) f.data[i] = data[i];
    f.resetPin = 1;
    f.rdyPin = 3;
    f.oePin = 4;
    f.wrPin = 5;
    f.bsPin = 6;
    f.xa0Pin = 11;
    f.xa1Pin = 12;
    f.xtal1Pin = 9;
    f.vccPin = 7;
    f.gndPins = {8};
    f.fuseKind = AvrFuseKind::FuseByte;
    f.fuses = 0xDA;
    return f;
}

// Shipped with SPIEN programmed and FSTR (RCEN on the AT90S1200) erased.
constexpr uint8_t kShippedFuses = 0xDF;

} // namespace

void AddAvrParts(std::vector<CatalogPart>& parts) {
    const AvrFacts all[] = {
        Pins20(Base("AT90S1200", 20, 0x90, 0x01, 1024, 64)),
        Pins20(Base("AT90S2313", 20, 0x91, 0x01, 2048, 128)),
        Pins40(Base("AT90S4414", 40, 0x92, 0x01, 4096, 256)),
        Pins40(Base("AT90S8515", 40, 0x93, 0x01, 8192, 512)),
        Pins40Adc(Base("AT90S4434", 40, 0x92, 0x02, 4096, 256)),
        Pins40Adc(Base("AT90S8535", 40, 0x93, 0x03, 8192, 512)),
        Pins28(Base("AT90S2333", 28, 0x91, 0x05, 2048, 128)),
        Pins28(Base("AT90S4433", 28, 0x92, 0x03, 4096, 256)),
    };
    for (AvrFacts f : all) {
        if (f.fuseKind == AvrFuseKind::LockAndFuse) f.fuses = kShippedFuses;
        parts.push_back(ChipPart<AvrChip>(f.maker, f));
    }
    AddAvrSerialParts(parts);
}

SIM_CATALOG_FAMILY(AddAvrParts);

} // namespace sim
