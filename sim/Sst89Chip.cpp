#include "sim/Sst89Chip.h"

#include <algorithm>

#include "sim/Catalog.h"
#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

namespace {

constexpr int kVccMinTenths = 45;

// Chip pins in the 40-pin DIP and the 44-pin PLCC: A0-A15 (P1, P2.0-P2.5,
// P3.4, P3.5), D0-D7 (P0), the code pins P3.7, P3.6, P2.7, P2.6, then RST,
// PSEN, ALE/PROG, VCC, GND, ready (P3.3).
struct Sst89Pins {
    int address[16], data[8], mode[4];
    int rst, psen, ale, vcc, gnd, ready;
};
constexpr Sst89Pins kDip{{1, 2, 3, 4, 5, 6, 7, 8, 21, 22, 23, 24, 25, 26, 14, 15},
                         {39, 38, 37, 36, 35, 34, 33, 32}, {17, 16, 28, 27}, 9, 29, 30, 40, 20, 13};
constexpr Sst89Pins kPlcc{{2, 3, 4, 5, 6, 7, 8, 9, 24, 25, 26, 27, 28, 29, 16, 17},
                          {43, 42, 41, 40, 39, 38, 37, 36}, {19, 18, 31, 30}, 10, 32, 33, 44, 22, 15};

} // namespace

Sst89Chip::Sst89Chip(const Sst89Facts& facts) : facts_(facts) {
    const Sst89Pins& p = facts_.plcc ? kPlcc : kDip;
    for (int n = 1; n <= (facts_.plcc ? 44 : 40); ++n) pins_.push_back(n + (facts_.plcc ? 2 : 4));
    address_.assign(p.address, p.address + 16);
    data_.assign(p.data, p.data + 8);
    mode_.assign(p.mode, p.mode + 4);
    rst_ = p.rst;
    psen_ = p.psen;
    ale_ = p.ale;
    vcc_ = p.vcc;
    p27_ = p.mode[2];
    ready_ = p.ready;
    code_.assign(0x10000, 0xFF);
}

ChipPinLimits Sst89Chip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    return l;
}

int Sst89Chip::Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
bool Sst89Chip::High(const PinEnvironment& env, int chipPin) const { return env.InputLevel(Pin(chipPin)) == 1; }

uint32_t Sst89Chip::Bits(const PinEnvironment& env, const std::vector<int>& chipPins) const {
    uint32_t v = 0;
    for (size_t i = 0; i < chipPins.size(); ++i) v |= static_cast<uint32_t>(High(env, chipPins[i])) << i;
    return v;
}

bool Sst89Chip::InMode(const PinEnvironment& env) const {
    return env.VoltageTenths(Pin(vcc_)) >= kVccMinTenths && High(env, rst_) && !High(env, psen_);
}

ChipDrive Sst89Chip::Output(const PinEnvironment& env, int socketPin) const {
    if (!InMode(env)) return ChipDrive::None;
    const int chipPin = ChipPinAt(socketPin);
    if (chipPin == ready_) return readyStuck_ || Busy(env.NowUs()) ? ChipDrive::Low : ChipDrive::High;
    auto it = std::find(data_.begin(), data_.end(), chipPin);
    if (it == data_.end() || High(env, p27_) || pulsing_) return ChipDrive::None;
    const uint32_t a = Bits(env, address_);
    const uint32_t code = Bits(env, mode_);
    // The identity with code 0; the array when the strobe fell from code 7.
    // The flag and re-map codes drive nothing.
    uint8_t v = 0;
    if (code == 0) {
        v = static_cast<uint8_t>(a == 0x30 ? facts_.makerCode : a == 0x31 ? facts_.deviceCode : 0xFF);
    } else if (code == 3 && arrayRead_) {
        v = code_[a];
    } else {
        return ChipDrive::None;
    }
    return (v >> (it - data_.begin())) & 1 ? ChipDrive::High : ChipDrive::Low;
}

void Sst89Chip::Start(const PinEnvironment& env, uint32_t code, uint64_t width) {
    const uint64_t now = env.NowUs();
    if (width < facts_.minPulseUs) {
        env.Violation(facts_.name + ": PROG pulse of " + std::to_string(width) + " us");
        return;
    }
    auto flag = [&](uint32_t& bits, uint32_t bit) {
        bits |= bit;
        busyUntil_ = now + facts_.writeUs;
    };
    if (code == 7) {
        ++writes_;
        ++writesAt_[pulseAddress_];
        busyUntil_ = now + facts_.writeUs;
        // A programmed security byte stops array writes (not its own).
        if (pulseAddress_ != 0xFFFF && code_[0xFFFF] != 0xFF) return;
        code_[pulseAddress_] &= pulseData_;
    } else if (code == facts_.eraseCode) {
        busyUntil_ = now + facts_.eraseUs;
        std::fill(code_.begin(), code_.end(), 0xFF);
        flags_ = remap_ = 0;
    } else if (facts_.flagBits && (code == 0xF || code == 0xC || code == 0xA)) {
        flag(flags_, code == 0xF ? 1u : code == 0xC ? 2u : 4u);
    } else if (facts_.flagBits && (code == 3 || code == 9)) {
        flag(remap_, code == 3 ? 1u : 2u);
    } else {
        env.Violation(facts_.name + ": PROG pulse under code " + std::to_string(code));
    }
}

void Sst89Chip::Update(const PinEnvironment& env) {
    if (!InMode(env)) {
        pulsing_ = false;
        return;
    }
    // A read strobe: P2.7 falling in code 7.
    if (High(env, p27_)) {
        strobeCode_ = Bits(env, mode_);
        arrayRead_ = false;
    } else if (p27WasHigh_) {
        arrayRead_ = strobeCode_ == 7;
    }
    p27WasHigh_ = High(env, p27_);
    const bool aleLow = !High(env, ale_);
    if (aleLow && !pulsing_) {
        pulsing_ = true;
        pulseStart_ = env.NowUs();
        pulseCode_ = Bits(env, mode_);
        pulseAddress_ = Bits(env, address_);
        pulseData_ = static_cast<uint8_t>(Bits(env, data_));
        if (Busy(pulseStart_)) env.Violation(facts_.name + ": PROG pulse while busy");
    } else if (!aleLow && pulsing_) {
        pulsing_ = false;
        if (!Busy(pulseStart_)) Start(env, pulseCode_, env.NowUs() - pulseStart_);
    }
}

// ---- the parts ------------------------------------------------------------------------

namespace {

Sst89Facts Sst89(const char* name, uint32_t kb, int device, bool flags, bool plcc) {
    Sst89Facts f;
    f.maker = "SST";
    f.name = name;
    f.plcc = plcc;
    f.pinCount = plcc ? 44 : 40;
    f.words = kb * 1024;
    f.makerCode = 0xBF;
    f.deviceCode = device;
    f.vccPin = plcc ? 44 : 40;
    f.gndPins = {plcc ? 22 : 20};
    f.flagBits = flags;
    f.eraseCode = flags ? 8 : 0xE;
    // The SST89C54/58 datasheet gives the byte-program code (P3.7, P3.6 high,
    // P2.7 high, P2.6 low: 7), the byte-verify code (the same with P2.7 low:
    // 3), the address on P1, P2.0-P2.5, P3.4, P3.5 and that a security lock
    // stops programming; the identity codes, the erase, flag and re-map codes
    // and the write and erase times were not found and follow the row.
    f.note = "byte-program and byte-verify codes and the address pins are the datasheet's; device codes, the erase, "
             "flag and re-map codes and the write and erase times follow the algorithm row";
    f.followsRow = true;
    return f;
}

} // namespace

void AddSst89Parts(std::vector<CatalogPart>& parts) {
    for (const Sst89Facts& f : {Sst89("SST89C54", 16, 0xE0, false, false), Sst89("SST89C54-PLCC", 16, 0xE0, false, true),
                                Sst89("SST89C58", 32, 0xE1, false, false), Sst89("SST89C58-PLCC", 32, 0xE1, false, true),
                                Sst89("SST89E564", 32, 0x92, true, false), Sst89("SST89E564-PLCC", 32, 0x92, true, true)})
        parts.push_back(ChipPart<Sst89Chip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddSst89Parts);

} // namespace sim
