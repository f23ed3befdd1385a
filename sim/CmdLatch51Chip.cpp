#include "sim/CmdLatch51Chip.h"

#include <algorithm>

#include "sim/Catalog.h"
#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

namespace {

constexpr int kLogicMaxTenths = 60;

// Chip pins of the 40-pin DIP and the 44-pin PLCC: A0-A15 (P1, P2.0-P2.5,
// P3.4, P3.5), D0-D7 (P0), then RST, PSEN, ALE/PROG, EA/VPP, VCC, P2.6, P2.7.
struct LatchPins {
    int address[16], data[8];
    int rst, psen, ale, ea, vcc, p26, p27;
};
constexpr LatchPins kDip{{1, 2, 3, 4, 5, 6, 7, 8, 21, 22, 23, 24, 25, 26, 14, 15},
                         {39, 38, 37, 36, 35, 34, 33, 32}, 9, 29, 30, 31, 40, 27, 28};
constexpr LatchPins kPlcc{{2, 3, 4, 5, 6, 7, 8, 9, 24, 25, 26, 27, 28, 29, 16, 17},
                          {43, 42, 41, 40, 39, 38, 37, 36}, 10, 32, 33, 35, 44, 30, 31};

enum : uint8_t {
    CmdRead = 0x00,
    CmdErase = 0x20,
    CmdWrite = 0x40,
    CmdLock1 = 0x60,
    CmdLock2 = 0x70,
    CmdLock3 = 0x80,
    CmdSignature = 0x90,
    CmdBlankRead = 0xA0,
    CmdLockStatus = 0xB0,
    CmdReadBack = 0xC0,
    kConfirm = 0xD0,
};

} // namespace

CmdLatch51Chip::CmdLatch51Chip(const CmdLatch51Facts& facts)
    : Socket51Chip(facts.plcc, (facts.plcc ? kPlcc : kDip).vcc, (facts.plcc ? kPlcc : kDip).ea,
                   facts.vppLimitTenths),
      facts_(facts) {
    const LatchPins& p = facts_.plcc ? kPlcc : kDip;
    address_.assign(p.address, p.address + 16);
    data_.assign(p.data, p.data + 8);
    rst_ = p.rst;
    psen_ = p.psen;
    ale_ = p.ale;
    ea_ = p.ea;
    p26_ = p.p26;
    p27_ = p.p27;
    code_.assign(std::max<uint32_t>(facts_.words, 1), 0xFF);
}

bool CmdLatch51Chip::InMode(const PinEnvironment& env) const {
    return Powered(env) && High(env, rst_) && !High(env, psen_);
}

// The byte the latched command reads at `address`; false for a command that
// reads nothing.
bool CmdLatch51Chip::ReadNow(uint32_t address, uint8_t& v) const {
    switch (command_) {
    case CmdRead:
    case CmdBlankRead:
    case CmdReadBack:
        v = (locks_ & 0x04) != 0 ? 0x00 : code_[address % static_cast<uint32_t>(code_.size())];
        return true;
    case CmdSignature: {
        const uint32_t low = address & 0xFF;
        v = static_cast<uint8_t>(low == 0x30   ? facts_.makerCode
                                 : low == 0x31 ? facts_.deviceCode
                                 : low == 0x32 ? facts_.voltageByte
                                               : 0xFF);
        return true;
    }
    case CmdLockStatus:
        v = locks_;
        return true;
    default:
        return false;
    }
}

ChipDrive CmdLatch51Chip::Output(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    auto it = std::find(data_.begin(), data_.end(), chipPin);
    if (it == data_.end() || !InMode(env) || pulsing_ || High(env, p27_) || !High(env, p26_)) return ChipDrive::None;
    uint8_t v = 0;
    if (!ReadNow(Bits(env, address_), v)) return ChipDrive::None;
    return (v >> (it - data_.begin())) & 1 ? ChipDrive::High : ChipDrive::Low;
}

void CmdLatch51Chip::Erase() {
    ++erasesSeen_;
    for (auto& [a, left] : cellErases_) left = std::max(0, left - 1);
    if (erasesNeeded_ == 0 || erasesSeen_ < erasesNeeded_) return;
    erasesSeen_ = 0;
    locks_ = 0;
    for (uint32_t a = 0; a < code_.size(); ++a) {
        auto it = cellErases_.find(a);
        if (it == cellErases_.end() || it->second == 0) code_[a] = 0xFF;
    }
}

void CmdLatch51Chip::EndPulse(const PinEnvironment& env, uint64_t width) {
    ++pulsesOf_[pulseCommand_];
    const bool high = pulseVpp_ > kLogicMaxTenths;
    if (high) ++vppPulses_;
    if (facts_.voltageByte == 0x55 ? high : !facts_.vpp.Holds(pulseVpp_)) {
        env.Violation(facts_.name + ": pulse with EA/VPP at " + std::to_string(pulseVpp_) + " tenths");
        return;
    }
    if (pulseCommand_ == CmdErase) {
        if (width < facts_.eraseMinUs) {
            env.Violation(facts_.name + ": erase pulse of " + std::to_string(width) + " us");
            return;
        }
        if (pulseData_ == kConfirm) Erase();
        return;
    }
    if (width < facts_.minPulseUs) {
        env.Violation(facts_.name + ": program pulse of " + std::to_string(width) + " us");
        return;
    }
    if (pulseCommand_ == CmdLock1 || pulseCommand_ == CmdLock2 || pulseCommand_ == CmdLock3) {
        const auto bit = static_cast<uint8_t>(2u << ((pulseCommand_ - CmdLock1) >> 4));
        if (pulseData_ == kConfirm && (locksRefused_ & bit) == 0) locks_ |= bit;
        return;
    }
    const uint32_t a = pulseAddress_ % static_cast<uint32_t>(code_.size());
    ++pulsesAt_[a];
    if ((locks_ & 0x02) != 0 || stuck_.count(a) != 0) return;
    code_[a] &= pulseData_;
}

void CmdLatch51Chip::Update(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    const int ea = EaVoltageAfterVcc(env, ea_);
    if (!InMode(env)) {
        pulsing_ = false;
        latchWasHigh_ = true;
        return;
    }
    const bool latch = High(env, p26_);
    if (latch && !latchWasHigh_) {
        command_ = static_cast<uint8_t>(Bits(env, data_));
        commands_.push_back(command_);
    }
    latchWasHigh_ = latch;
    const bool aleLow = !High(env, ale_);
    if (aleLow && !pulsing_) {
        const uint8_t c = command_;
        if (c != CmdWrite && c != CmdErase && c != CmdLock1 && c != CmdLock2 && c != CmdLock3) {
            env.Violation(facts_.name + ": ALE/PROG pulse under command " + std::to_string(c));
            return;
        }
        pulsing_ = true;
        pulseStart_ = now;
        pulseCommand_ = c;
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

CmdLatch51Facts Latch(const char* name, uint32_t kb, int device, uint8_t voltage, bool plcc) {
    CmdLatch51Facts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.plcc = plcc;
    f.pinCount = plcc ? 44 : 40;
    f.words = kb * 1024;
    f.makerCode = 0xDA;
    f.deviceCode = device;
    f.voltageByte = voltage;
    f.vccPin = plcc ? 44 : 40;
    f.gndPins = {plcc ? 22 : 20};
    f.note = "no public datasheet of this interface was found: the command set, the identity and "
             "programming-voltage bytes and the timing follow the algorithm row";
    f.followsRow = true;
    return f;
}

} // namespace

void AddCmdLatch51Parts(std::vector<CatalogPart>& parts) {
    for (const CmdLatch51Facts& f : {Latch("8051CL-12V", 32, 0x32, 0xAA, false), Latch("8051CL-5V", 16, 0x16, 0x55, false),
                                     Latch("8051CL-12V-44", 32, 0x32, 0xAA, true)})
        parts.push_back(ChipPart<CmdLatch51Chip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddCmdLatch51Parts);

} // namespace sim
