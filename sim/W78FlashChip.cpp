#include "sim/W78FlashChip.h"

#include <algorithm>

#include "sim/Catalog.h"
#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

namespace {

constexpr int kVccMinTenths = 45;
constexpr int kLogicMaxTenths = 60;
constexpr uint32_t kSpecialAddress = 0xFFFF;

// Chip pins of the ports (bit 0 first) in the 40-pin DIP and the 44-pin PLCC.
struct W78Ports {
    int p0[8], p1[8], p2[8], p3[8];
    int rst, psen, ale, ea, vcc, gnd;
};
constexpr W78Ports kDip{{39, 38, 37, 36, 35, 34, 33, 32}, {1, 2, 3, 4, 5, 6, 7, 8},
                        {21, 22, 23, 24, 25, 26, 27, 28}, {10, 11, 12, 13, 14, 15, 16, 17},
                        9, 29, 30, 31, 40, 20};
constexpr W78Ports kPlcc{{43, 42, 41, 40, 39, 38, 37, 36}, {2, 3, 4, 5, 6, 7, 8, 9},
                         {24, 25, 26, 27, 28, 29, 30, 31}, {11, 13, 14, 15, 16, 17, 18, 19},
                         10, 32, 33, 35, 44, 22};

} // namespace

W78FlashChip::W78FlashChip(const W78FlashFacts& facts) : facts_(facts) {
    const W78Ports& p = facts_.plcc ? kPlcc : kDip;
    const int count = facts_.plcc ? 44 : 40;
    for (int n = 1; n <= count; ++n) pins_.push_back(n + (facts_.plcc ? 2 : 4));
    address_.assign(p.p1, p.p1 + 8);
    address_.insert(address_.end(), p.p2, p.p2 + 8);
    data_.assign(p.p0, p.p0 + 8);
    modeCode_.assign(p.p3, p.p3 + 4);
    rst_ = p.rst;
    psen_ = p.psen;
    ale_ = p.ale;
    ea_ = p.ea;
    vcc_ = p.vcc;
    p30_ = p.p3[0];
    p34_ = p.p3[4];
    p35_ = p.p3[5];
    p36_ = p.p3[6];
    p37_ = p.p3[7];
    p26_ = p.p2[6];
    p27_ = p.p2[7];
    p10_ = p.p1[0];
    code_.assign(std::max<uint32_t>(facts_.words, 1), 0xFF);
    for (int c : address_) addressSocket_.push_back(Pin(c));
    for (int c : data_) dataSocket_.push_back(Pin(c));
    for (int c : modeCode_) modeCodeSocket_.push_back(Pin(c));
    std::fill(std::begin(dataBitAt_), std::end(dataBitAt_), int8_t{-1});
    for (size_t i = data_.size(); i-- > 0;) dataBitAt_[dataSocket_[i]] = static_cast<int8_t>(i);
}

ChipPinLimits W78FlashChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.Allow(Pin(ea_), facts_.vppLimitTenths);
    return l;
}

int W78FlashChip::Pin(int chipPin) const {
    return chipPin >= 1 && chipPin <= static_cast<int>(pins_.size()) ? pins_[static_cast<size_t>(chipPin - 1)] : 0;
}

bool W78FlashChip::High(const PinEnvironment& env, int chipPin) const { return env.InputLevel(Pin(chipPin)) == 1; }

// Every chip pin of the part sits in the socket, so no socket pin here is 0.
uint32_t W78FlashChip::Bits(const PinEnvironment& env, const std::vector<int>& socketPins) const {
    return env.HighLevels(socketPins.data(), socketPins.size());
}

bool W78FlashChip::Powered(const PinEnvironment& env) const {
    return env.VoltageTenths(Pin(vcc_)) >= kVccMinTenths;
}

bool W78FlashChip::InMode(const PinEnvironment& env) const {
    if (!Powered(env)) return false;
    if (facts_.interface == W78Interface::ModeCodes) return latched_;
    return High(env, rst_) && High(env, psen_) && !High(env, ale_);
}

W78FlashChip::Fn W78FlashChip::Function(const PinEnvironment& env) const {
    if (facts_.interface == W78Interface::Strobes) {
        if (!High(env, p30_)) return Fn::Code;
        return env.VoltageTenths(Pin(ea_)) > kLogicMaxTenths ? Fn::EraseMode : Fn::Signature;
    }
    switch (Bits(env, modeCodeSocket_)) {
    case 0x0:
        return Fn::Code;
    case 0x1:
        return Fn::Program;
    case 0x6:
        return Fn::Erase;
    case 0xB:
        return Fn::Maker;
    case 0xC:
        return Fn::Device;
    default:
        return Fn::None;
    }
}

bool W78FlashChip::Special(const PinEnvironment& env) const {
    const bool top = Bits(env, addressSocket_) == kSpecialAddress;
    return facts_.interface == W78Interface::Strobes ? top : top && High(env, p36_);
}

uint32_t W78FlashChip::ArrayAddress(const PinEnvironment& env) const {
    uint32_t a = Bits(env, addressSocket_);
    if (facts_.interface == W78Interface::ModeCodes && facts_.upperBank)
        a = (a & 0x7FFF) | (High(env, p36_) ? 0x8000u : 0u);
    return a % static_cast<uint32_t>(code_.size());
}

uint8_t W78FlashChip::ReadNow(const PinEnvironment& env) const {
    const Fn f = Function(env);
    const uint32_t a = Bits(env, addressSocket_);
    if (f == Fn::Signature) return static_cast<uint8_t>(a == 0 ? facts_.makerCode : a == 1 ? facts_.deviceCode : 0xFF);
    if (f == Fn::Maker) return static_cast<uint8_t>(facts_.makerCode);
    if (f == Fn::Device) return static_cast<uint8_t>(facts_.deviceCode);
    if (Special(env)) return register_;
    if (Locked()) return 0x00;
    const uint32_t cell = ArrayAddress(env);
    const uint8_t c = code_[cell];
    return (register_ & 0x04) == 0 ? static_cast<uint8_t>(c ^ (cell & 0xFF)) : c;
}

W78FlashChip::ReadOut W78FlashChip::ReadOutNow(const PinEnvironment& env) const {
    ReadOut r;
    if (!InMode(env) || pulsing_) return r;
    const bool enabled = facts_.interface == W78Interface::Strobes ? !High(env, p37_) : !High(env, p35_);
    if (!enabled) return r;
    const Fn f = Function(env);
    if (f == Fn::None || f == Fn::Program || f == Fn::Erase) {
        r.unknownMode = true;
        return r;
    }
    r.driving = true;
    r.value = ReadNow(env);
    return r;
}

ChipDrive W78FlashChip::Output(const PinEnvironment& env, int socketPin) const {
    ChipDrive d = ChipDrive::None;
    Outputs(env, &socketPin, 1, &d);
    return d;
}

void W78FlashChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    ReadOut r;
    bool known = false;
    for (size_t i = 0; i < n; ++i) {
        const int s = socketPins[i];
        const int bit = s >= 1 && s <= kSocketPins ? dataBitAt_[s] : -1;
        out[i] = ChipDrive::None;
        if (bit < 0) continue;
        if (!known) {
            r = ReadOutNow(env);
            known = true;
        }
        if (r.unknownMode) env.Violation(facts_.name + ": read under an unknown mode code");
        if (r.driving) out[i] = (r.value >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
}

int W78FlashChip::PulseStrobe() const { return facts_.interface == W78Interface::Strobes ? p36_ : p34_; }

void W78FlashChip::EndPulse(const PinEnvironment& env, uint64_t width) {
    if (pulseFn_ == Fn::Erase) {
        ++erasePulses_;
        if (width < facts_.eraseMinUs) {
            env.Violation(facts_.name + ": erase pulse of " + std::to_string(width) + " us");
            return;
        }
        if (facts_.interface == W78Interface::Strobes && !facts_.eraseVpp.Holds(pulseVpp_)) {
            env.Violation(facts_.name + ": erase pulse with EA/VPP at " + std::to_string(pulseVpp_) + " tenths");
            return;
        }
        if (--erasesNeeded_ > 0) return;
        erasesNeeded_ = 1;
        std::fill(code_.begin(), code_.end(), 0xFF);
        register_ = 0xFF;
        return;
    }
    ++programPulses_;
    if (width < facts_.minPulseUs) {
        env.Violation(facts_.name + ": program pulse of " + std::to_string(width) + " us");
        return;
    }
    if (facts_.interface == W78Interface::Strobes && !facts_.programVpp.Holds(pulseVpp_)) {
        env.Violation(facts_.name + ": program pulse with EA/VPP at " + std::to_string(pulseVpp_) + " tenths");
        return;
    }
    if (pulseSpecial_) {
        ++registerPulses_;
        if (++registerSeen_ < registerNeeded_) return;
        registerSeen_ = 0;
        register_ &= static_cast<uint8_t>(pulseData_ | refusedRegisterBits_);
        return;
    }
    ++pulsesAt_[pulseAddress_];
    if (Locked() || stuck_.count(pulseAddress_) != 0) return;
    code_[pulseAddress_] &= pulseData_;
}

void W78FlashChip::Update(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    if (!Powered(env)) {
        latched_ = false;
        pulsing_ = false;
        rstWasHigh_ = false;
        strobeWasLow_ = false;
        return;
    }
    const bool rst = High(env, rst_);
    if (facts_.interface == W78Interface::ModeCodes && rstWasHigh_ && !rst) {
        latched_ = !High(env, ea_) && !High(env, psen_) && !High(env, ale_) && High(env, p26_) && High(env, p27_) &&
                   High(env, p36_) && High(env, p37_);
    }
    rstWasHigh_ = rst;
    if (!InMode(env)) {
        pulsing_ = false;
        strobeWasLow_ = !High(env, PulseStrobe());
        return;
    }
    if (!bankSeen_ && High(env, p36_) && Function(env) == Fn::Code) {
        bankSeen_ = true;
        bankRaisedAt_.push_back(Bits(env, addressSocket_));
    }
    if (!High(env, p36_)) bankSeen_ = false;
    const bool strobeLow = !High(env, PulseStrobe());
    const bool falling = strobeLow && !strobeWasLow_;
    strobeWasLow_ = strobeLow;
    // Strobes: P3.7 going low inside a P3.6 low makes it a read cycle.
    if (pulsing_ && facts_.interface == W78Interface::Strobes && !High(env, p37_)) pulsing_ = false;
    if (falling) {
        const Fn f = Function(env);
        Fn pulse = Fn::None;
        if (facts_.interface == W78Interface::Strobes) {
            if (!High(env, p37_)) return;
            pulse = f == Fn::Code ? Fn::Program : f == Fn::EraseMode && !High(env, p10_) ? Fn::Erase : Fn::None;
        } else {
            // P3.4 rests low while reading; only the write codes make a pulse.
            if (f != Fn::Program && f != Fn::Erase) return;
            pulse = f;
        }
        pulsing_ = true;
        pulseStart_ = now;
        pulseFn_ = pulse;
        pulseSpecial_ = Special(env);
        pulseAddress_ = ArrayAddress(env);
        pulseData_ = static_cast<uint8_t>(Bits(env, dataSocket_));
        pulseVpp_ = env.VoltageTenths(Pin(ea_));
    } else if (!strobeLow && pulsing_) {
        pulsing_ = false;
        if (pulseFn_ == Fn::None) {
            env.Violation(facts_.name + ": P3.6 pulse outside the program and erase modes");
            return;
        }
        EndPulse(env, now - pulseStart_);
    }
}

// ---- the parts ------------------------------------------------------------------------

namespace {

W78FlashFacts W78(const char* name, uint32_t kb, int device, W78Interface how) {
    W78FlashFacts f;
    f.maker = "WINBOND";
    f.name = name;
    f.pinCount = 40;
    f.words = kb * 1024;
    f.makerCode = 0xDA;
    f.deviceCode = device;
    f.vccPin = 40;
    f.gndPins = {20};
    f.interface = how;
    // No programming table of the W78E5x parts was found. The strobe
    // interface and its voltages agree with the maker's description of the
    // same kind of array in its W77E51: P3.6 chip enable, P3.7 output enable,
    // P3.0 the signature/erase select, P1.0 low for erase, 12.5 V to program,
    // 14.5 V to erase.
    f.note = "identity codes, secured read-out (00h) and the encryption pattern (address low byte XOR) assumed; "
             "the programming interface follows the algorithm row's pin sequence";
    f.followsRow = true;
    return f;
}

W78FlashFacts Plcc(W78FlashFacts f) {
    f.name += "P";
    f.plcc = true;
    f.pinCount = 44;
    f.vccPin = 44;
    f.gndPins = {22};
    return f;
}

} // namespace

void AddW78FlashParts(std::vector<CatalogPart>& parts) {
    auto add = [&parts](const W78FlashFacts& f) {
        parts.push_back(ChipPart<W78FlashChip>(f.maker, f));
    };
    const W78FlashFacts e51 = W78("W78E51", 4, 0x51, W78Interface::Strobes);
    const W78FlashFacts e52 = W78("W78E52", 8, 0x52, W78Interface::Strobes);
    const W78FlashFacts e54 = W78("W78E54", 16, 0x54, W78Interface::Strobes);
    for (const W78FlashFacts& f : {e51, e52, e54}) {
        add(f);
        add(Plcc(f));
    }
    W78FlashFacts e58 = W78("W78E58", 32, 0x58, W78Interface::ModeCodes);
    e58.eraseMinUs = 1000000; // 1.5 s chip erase
    e58.minPulseUs = 50;
    W78FlashFacts e516 = W78("W78E516", 64, 0x16, W78Interface::ModeCodes);
    e516.upperBank = true;
    e516.eraseMinUs = 45000; // 50 ms chip erase
    for (const W78FlashFacts& f : {e58, e516}) {
        add(f);
        add(Plcc(f));
    }
}

SIM_CATALOG_FAMILY(AddW78FlashParts);

} // namespace sim
