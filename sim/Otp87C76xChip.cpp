#include "sim/Otp87C76xChip.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr uint32_t kArea = 0xFCE0, kAreaEnd = 0xFCFF, kOption1 = 0xFD00, kOption2 = 0xFD01;

} // namespace

Otp87C76xChip::Otp87C76xChip(const Otp87C76xFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(0x10000, 0xFF);
}

ChipPinLimits Otp87C76xChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Pin(facts_.rstPin), facts_.vppLimitTenths);
    return l;
}

bool Otp87C76xChip::InMode(const PinEnvironment& env) const {
    return facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin))) &&
           env.VoltageTenths(Pin(facts_.rstPin)) >= facts_.vppMinTenths;
}

bool Otp87C76xChip::Exists(uint32_t a) const {
    return a < facts_.words || (a >= kArea && a <= kAreaEnd) || a == kOption1 || a == kOption2 || a == 0xFC30 ||
           a == 0xFC31 || a == 0xFC60;
}

// Code and area cells only while the security bits read 11.
bool Otp87C76xChip::Writable(uint32_t a) const {
    if (a == kOption1 || a == kOption2) return true;
    const bool code = a < facts_.words || (a >= kArea && a <= kAreaEnd);
    return code && (cells_[kOption2] >> 6) == 3;
}

uint8_t Otp87C76xChip::ReadCell(uint32_t a) const {
    if (a == 0xFC30) return static_cast<uint8_t>(facts_.makerCode);
    if (a == 0xFC31) return static_cast<uint8_t>(facts_.deviceCode);
    if (a == 0xFC60) return static_cast<uint8_t>(facts_.signature3);
    if (!Exists(a)) return 0xFF;
    const bool code = a < facts_.words || (a >= kArea && a <= kAreaEnd);
    if (code && (cells_[kOption2] >> 6) == 0) return 0x00;
    return cells_[a];
}

ChipDrive Otp87C76xChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!reading_ || !InMode(env) || socketPin != Pin(facts_.dataPin)) return ChipDrive::None;
    return (readValue_ >> readBit_) & 1 ? ChipDrive::High : ChipDrive::Low;
}

void Otp87C76xChip::Byte(const PinEnvironment& env, uint8_t b) {
    if (operandOf_ >= 0) {
        const int command = operandOf_;
        operandOf_ = -1;
        if (command == 2) data_ = b;
        if (command == 8) address_ = (address_ & 0xFF00) | b;
        if (command == 0x0A) address_ = (address_ & 0x00FF) | static_cast<uint32_t>(b) << 8;
        return;
    }
    commands_.push_back(b);
    if (pulsing_ && b != 0x0E) {
        env.Violation(facts_.name + ": command " + std::to_string(b) + " inside a programming pulse");
        return;
    }
    switch (b) {
    case 2:
    case 8:
    case 0x0A: operandOf_ = b; break;
    case 4:
        readPending_ = true;
        readBit_ = 0;
        readValue_ = ReadCell(address_);
        break;
    case 6: address_ = (address_ + 1) & 0xFFFF; break;
    case 0x0C:
        if (!Exists(address_) || address_ == 0xFC30 || address_ == 0xFC31 || address_ == 0xFC60)
            env.Violation(facts_.name + ": programming pulse at " + std::to_string(address_));
        pulsing_ = true;
        pulseStart_ = env.NowUs();
        break;
    case 0x0E: {
        if (!pulsing_) {
            env.Violation(facts_.name + ": end of programming without a start");
            break;
        }
        pulsing_ = false;
        const uint64_t width = env.NowUs() - pulseStart_;
        if (width < facts_.minPulseUs) {
            env.Violation(facts_.name + ": programming pulse of " + std::to_string(width) + " us");
            break;
        }
        ++pulses_;
        ++pulsesAt_[address_];
        if (Writable(address_) && static_cast<int>(address_) != stuck_) cells_[address_] &= data_;
        break;
    }
    default: env.Violation(facts_.name + ": unknown command " + std::to_string(b)); break;
    }
}

void Otp87C76xChip::Update(const PinEnvironment& env) {
    if (!InMode(env)) {
        clockHigh_ = true;
        shift_ = bits_ = 0;
        operandOf_ = -1;
        reading_ = readPending_ = pulsing_ = false;
        return;
    }
    const bool high = env.InputLevel(Pin(facts_.clockPin)) == 1;
    const bool rising = high && !clockHigh_;
    // The answer starts at the first falling edge after the read command,
    // when the programmer has released the data line.
    if (!high && clockHigh_ && readPending_) {
        readPending_ = false;
        reading_ = true;
    }
    clockHigh_ = high;
    if (!rising) return;
    if (reading_) {
        if (++readBit_ == 8) reading_ = false;
        return;
    }
    shift_ |= static_cast<uint32_t>(env.InputLevel(Pin(facts_.dataPin)) == 1) << bits_;
    if (++bits_ == 8) {
        const uint8_t b = static_cast<uint8_t>(shift_);
        shift_ = bits_ = 0;
        Byte(env, b);
    }
}

// ---- the parts ------------------------------------------------------------------------

namespace {

// 20-pin parts: RST 4, VSS 5, VDD 15, clock P0.5 (16), data P0.4 (17); the
// 16-pin part: RST 3, VSS 4, VDD 12, clock 13, data 14.
Otp87C76xFacts Part(const char* name, uint32_t kb, int pins, int derivative) {
    Otp87C76xFacts f;
    f.maker = "PHILIPS";
    f.name = name;
    f.pinCount = pins;
    f.words = kb * 1024;
    f.makerCode = 0x15;
    f.deviceCode = 0xDD;
    f.signature3 = derivative;
    f.vcc = {45, 60};
    const bool small = pins == 16;
    f.rstPin = small ? 3 : 4;
    f.gndPins = {small ? 4 : 5};
    f.vccPin = small ? 12 : 15;
    f.clockPin = small ? 13 : 16;
    f.dataPin = small ? 14 : 17;
    // No programming description of the parts was found (their datasheets
    // leave the serial programming protocol to a separate document).
    f.note = "signature bytes, derivative codes and the pulse width assumed; the serial pins follow the algorithm row";
    f.followsRow = true;
    return f;
}

} // namespace

void AddOtp87C76xParts(std::vector<CatalogPart>& parts) {
    for (const Otp87C76xFacts& f : {Part("87LPC761", 2, 16, 0x01), Part("87LPC762", 2, 20, 0x03),
                                    Part("87LPC764", 4, 20, 0x05), Part("87LPC767", 4, 20, 0x07),
                                    Part("87LPC768", 4, 20, 0x08), Part("87LPC769", 4, 20, 0x09)})
        parts.push_back(ChipPart<Otp87C76xChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddOtp87C76xParts);

} // namespace sim
