#include "sim/Rx51FlashChip.h"

#include <algorithm>

#include "sim/Catalog.h"
#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

namespace {

constexpr int kLogicMaxTenths = 60;

// Chip pins of the 40-pin DIP and the 44-pin PLCC: A0-A15 (P1, P2.0-P2.5,
// P3.4, P3.5), D0-D7 (P0), the function code pins, then RST, PSEN,
// ALE/PROG, EA/VPP, VCC, P2.7.
struct RxPins {
    int address[16], data[8], mode[4];
    int rst, psen, ale, ea, vcc, p27;
};
constexpr RxPins kDip{{1, 2, 3, 4, 5, 6, 7, 8, 21, 22, 23, 24, 25, 26, 14, 15},
                      {39, 38, 37, 36, 35, 34, 33, 32}, {10, 11, 17, 27}, 9, 29, 30, 31, 40, 28};
constexpr RxPins kPlcc{{2, 3, 4, 5, 6, 7, 8, 9, 24, 25, 26, 27, 28, 29, 16, 17},
                       {43, 42, 41, 40, 39, 38, 37, 36}, {11, 13, 19, 30}, 10, 32, 33, 35, 44, 31};

} // namespace

Rx51FlashChip::Rx51FlashChip(const Rx51FlashFacts& facts)
    : Socket51Chip(facts.plcc, (facts.plcc ? kPlcc : kDip).vcc, (facts.plcc ? kPlcc : kDip).ea,
                   facts.vppLimitTenths),
      facts_(facts) {
    const RxPins& p = facts_.plcc ? kPlcc : kDip;
    address_.assign(p.address, p.address + 16);
    data_.assign(p.data, p.data + 8);
    mode_.assign(p.mode, p.mode + 4);
    rst_ = p.rst;
    psen_ = p.psen;
    ale_ = p.ale;
    ea_ = p.ea;
    p27_ = p.p27;
    code_.assign(std::max<uint32_t>(facts_.words, 1), 0xFF);
    std::fill(std::begin(dataBitAt_), std::end(dataBitAt_), int8_t{-1});
    for (int s = 1; s <= kSocketPins; ++s) {
        const auto bit = std::find(data_.begin(), data_.end(), ChipPinAt(s));
        if (ChipPinAt(s) != 0 && bit != data_.end()) dataBitAt_[s] = static_cast<int8_t>(bit - data_.begin());
    }
}

bool Rx51FlashChip::InMode(const PinEnvironment& env) const {
    return Powered(env) && High(env, rst_) == (facts_.kind == Rx51Kind::Rx2) && !High(env, psen_);
}

// The function codes on P3.0, P3.1, P3.7, P2.6 of each kind.
Rx51FlashChip::Fn Rx51FlashChip::Function(uint32_t code) const {
    static constexpr Fn kRx2[16] = {
        Fn::ReadCode,      Fn::EraseArray, Fn::None,         Fn::WriteCode,   Fn::ReadCode, Fn::ReadCode,
        Fn::WriteSecurity, Fn::None,       Fn::EraseSpecial, Fn::None,        Fn::WriteSpecial,
        Fn::ReadSpecial,   Fn::None,       Fn::None,         Fn::EraseAll,    Fn::ReadSignature,
    };
    static constexpr Fn kXa[16] = {
        Fn::ReadCode,  Fn::EraseArm,       Fn::None,  Fn::None,       Fn::WriteCode, Fn::None,
        Fn::ReadCode,  Fn::WriteSpace,     Fn::ReadSpace, Fn::EraseSpaceByte, Fn::None,
        Fn::None,      Fn::EraseArray,     Fn::None,  Fn::EraseAll,   Fn::Unlock,
    };
    return (facts_.kind == Rx51Kind::Xa ? kXa : kRx2)[code & 0xF];
}

namespace {

bool IsReadFn(uint32_t f) { return f >= 1 && f <= 4; }

} // namespace

uint8_t Rx51FlashChip::ReadNow(Fn f, uint32_t address) const {
    const uint32_t low = address & 0xFF;
    switch (f) {
    case Fn::ReadSignature:
        return static_cast<uint8_t>(low == 0   ? facts_.makerCode
                                    : low == 1 ? facts_.deviceCode
                                    : low == 2 ? facts_.thirdSignature
                                               : 0xFF);
    case Fn::ReadSpecial:
        return low == 0 ? security_ : low == 1 ? status_ : low == 2 ? bootVector_ : 0xFF;
    case Fn::ReadSpace:
        switch (low) {
        case 1:
            return bpsw_;
        case 3:
            return bootVector_;
        case 4:
            return status_;
        case 6:
            return static_cast<uint8_t>(facts_.makerCode);
        case 7:
            return static_cast<uint8_t>(facts_.deviceCode);
        case 10:
            return security_;
        default:
            return 0xFF;
        }
    default:
        if ((security_ & 0x04) != 0) return 0x00;
        return code_[address % static_cast<uint32_t>(code_.size())];
    }
}

ChipDrive Rx51FlashChip::Output(const PinEnvironment& env, int socketPin) const {
    ChipDrive d = ChipDrive::None;
    Outputs(env, &socketPin, 1, &d);
    return d;
}

void Rx51FlashChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    bool known = false, driving = false;
    uint8_t v = 0;
    for (size_t i = 0; i < n; ++i) {
        const int s = socketPins[i];
        const int bit = s >= 1 && s <= kSocketPins ? dataBitAt_[s] : -1;
        out[i] = ChipDrive::None;
        if (bit < 0) continue;
        if (!known) {
            known = true;
            if (InMode(env) && !pulsing_ && !High(env, p27_)) {
                const Fn f = Function(Bits(env, mode_));
                driving = IsReadFn(static_cast<uint32_t>(f));
                if (driving) v = ReadNow(f, Bits(env, address_));
            }
        }
        if (driving) out[i] = (v >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
}

void Rx51FlashChip::EraseArray() {
    ++erasesSeen_;
    for (auto& [a, left] : cellErases_) left = std::max(0, left - 1);
    if (erasesNeeded_ == 0 || erasesSeen_ < erasesNeeded_) return;
    erasesSeen_ = 0;
    for (uint32_t a = 0; a < code_.size(); ++a) {
        auto it = cellErases_.find(a);
        if (it == cellErases_.end() || it->second == 0) code_[a] = 0xFF;
    }
}

void Rx51FlashChip::Unlock(uint32_t address, uint8_t data) {
    ++unlockCycles_;
    if (address == 0x5555 && data == 0xAA) {
        unlockStage_ = 1;
        return;
    }
    if (unlockStage_ == 1 && address == 0xAAAA && data == 0x55) unlocked_ = true;
    unlockStage_ = 0;
}

bool Rx51FlashChip::SpecialTakes(uint8_t* b) {
    ++specialPulses_;
    if (++specialSeen_[b] < specialNeeded_) return false;
    specialSeen_[b] = 0;
    return true;
}

// XA: the security bits at 0Ah, 0Ch, 0Eh (a 0 in D0 programs), BPSW at 1,
// BPC at 3, the status byte at 4.
void Rx51FlashChip::WriteSpace(uint32_t low, uint8_t data) {
    if (low == 0x0A || low == 0x0C || low == 0x0E) {
        securityAt_.push_back(low);
        const auto bit = static_cast<uint8_t>(2u << ((low - 0x0A) / 2));
        if ((data & 1) == 0 && (securityRefused_ & bit) == 0) security_ |= bit;
        return;
    }
    if ((security_ & 0x02) != 0) return;
    uint8_t* b = low == 1 ? &bpsw_ : low == 3 ? &bootVector_ : low == 4 ? &status_ : nullptr;
    if (b != nullptr && SpecialTakes(b)) *b &= data;
}

void Rx51FlashChip::EndPulse(const PinEnvironment& env, uint64_t width) {
    if (!facts_.vpp.Holds(pulseVpp_)) {
        env.Violation(facts_.name + ": pulse with EA/VPP at " + std::to_string(pulseVpp_) + " tenths");
        return;
    }
    if (pulseFn_ == Fn::Unlock) return Unlock(pulseAddress_, pulseData_);
    const bool xa = facts_.kind == Rx51Kind::Xa;
    const uint32_t low = pulseAddress_ & 0xFF;
    const bool erase = pulseFn_ == Fn::EraseArm || pulseFn_ == Fn::EraseArray || pulseFn_ == Fn::EraseSpecial ||
                       pulseFn_ == Fn::EraseSpaceByte || pulseFn_ == Fn::EraseAll;
    if (erase) {
        ++erasePulses_[pulseCode_];
        if (width < facts_.eraseMinUs) {
            env.Violation(facts_.name + ": erase pulse of " + std::to_string(width) + " us");
            return;
        }
        if (xa && !unlocked_) return;
        const bool armed = eraseArmed_;
        eraseArmed_ = pulseFn_ == Fn::EraseArm;
        switch (pulseFn_) {
        case Fn::EraseArray:
            if (!xa || armed) EraseArray();
            return;
        case Fn::EraseSpecial:
            status_ = bootVector_ = 0xFF;
            return;
        case Fn::EraseSpaceByte:
            if (low == 1) bpsw_ = 0xFF;
            if (low == 3) bootVector_ = 0xFF;
            if (low == 4) status_ = 0xFF;
            return;
        case Fn::EraseAll:
            std::fill(code_.begin(), code_.end(), 0xFF);
            security_ = 0;
            status_ = bootVector_ = bpsw_ = 0xFF;
            return;
        default:
            return;
        }
    }
    ++programPulses_;
    if (width < facts_.minPulseUs) {
        env.Violation(facts_.name + ": program pulse of " + std::to_string(width) + " us");
        return;
    }
    if (xa && !unlocked_) return;
    if (pulseFn_ == Fn::WriteSpace) return WriteSpace(low, pulseData_);
    if (pulseFn_ == Fn::WriteSecurity) {
        securityAt_.push_back(low);
        const auto bit = static_cast<uint8_t>(2u << (low & 3));
        if (low <= 2 && (pulseData_ & 1) == 0 && (securityRefused_ & bit) == 0) security_ |= bit;
        return;
    }
    if ((security_ & 0x02) != 0) return; // security bit 1: no more programming
    if (pulseFn_ == Fn::WriteSpecial) {
        uint8_t* b = low == 0 ? &status_ : low == 1 ? &bootVector_ : nullptr;
        if (b != nullptr && SpecialTakes(b)) *b &= pulseData_;
        return;
    }
    const uint32_t a = pulseAddress_ % static_cast<uint32_t>(code_.size());
    ++pulsesAt_[a];
    if (stuck_.count(a) != 0) return;
    code_[a] &= pulseData_;
}

void Rx51FlashChip::Update(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    const int ea = EaVoltageAfterVcc(env, ea_);
    if (!Powered(env)) {
        unlocked_ = false;
        unlockStage_ = 0;
        eraseArmed_ = false;
    }
    if (!InMode(env)) {
        pulsing_ = false;
        return;
    }
    const bool aleLow = !High(env, ale_);
    if (aleLow && !pulsing_) {
        const uint32_t code = Bits(env, mode_);
        const Fn f = Function(code);
        if (f == Fn::None || IsReadFn(static_cast<uint32_t>(f))) {
            env.Violation(facts_.name + ": ALE/PROG pulse under function code " + std::to_string(code));
            return;
        }
        pulsing_ = true;
        pulseStart_ = now;
        pulseFn_ = f;
        pulseCode_ = code;
        pulseAddress_ = Bits(env, address_);
        pulseData_ = static_cast<uint8_t>(Bits(env, data_));
        pulseVpp_ = ea;
    } else if (!aleLow && pulsing_) {
        pulsing_ = false;
        EndPulse(env, now - pulseStart_);
    }
}

// ---- the parts ------------------------------------------------------------------------

namespace {

Rx51FlashFacts Rx2(const char* name, uint32_t kb, int third, bool plcc) {
    Rx51FlashFacts f;
    f.maker = "PHILIPS";
    f.name = name;
    f.plcc = plcc;
    f.pinCount = plcc ? 44 : 40;
    f.words = kb * 1024;
    f.makerCode = 0x15;
    f.deviceCode = 0xC2;
    f.thirdSignature = third;
    f.vccPin = plcc ? 44 : 40;
    f.gndPins = {plcc ? 22 : 20};
    // The chips' datasheet gives the status byte, the boot vector and what the
    // security bits do (1 stops writes, 2 stops verify reads); no parallel
    // programming table of them was found, so the rest follows row 192 with
    // its variant 0: a chip erase needs a 500 ms pulse.
    f.eraseMinUs = 500000;
    f.note = "signature bytes, pulse widths (a 500 ms erase pulse) and the function codes on P3.0, P3.1, P3.7, P2.6 "
             "follow the algorithm row; the status byte, boot vector and security bits are the datasheet's";
    f.followsRow = true;
    return f;
}

Rx51FlashFacts Xa(const char* name, uint32_t kb) {
    Rx51FlashFacts f = Rx2(name, kb, 0xFF, true);
    f.kind = Rx51Kind::Xa;
    f.deviceCode = 0x49;
    f.eraseMinUs = 200000;
    f.note = "identity bytes, pulse widths, the function codes on P3.0, P3.1, P3.7, P2.6, the unlock cycles and the "
             "signature-space addresses follow the algorithm row; BPC, BPSW and the status byte are the datasheet's";
    return f;
}

} // namespace

void AddRx51FlashParts(std::vector<CatalogPart>& parts) {
    for (const Rx51FlashFacts& f : {Rx2("P89C51RB2", 16, 0x8D, false), Rx2("P89C51RC2", 32, 0x8E, false),
                                    Rx2("P89C51RD2", 64, 0x8F, false), Rx2("P89C51RD2-PLCC", 64, 0x8F, true),
                                    Xa("XA-G49", 64)})
        parts.push_back(ChipPart<Rx51FlashChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddRx51FlashParts);

} // namespace sim
