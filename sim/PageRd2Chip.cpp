#include "sim/PageRd2Chip.h"

#include <algorithm>
#include <cstring>

#include "sim/Catalog.h"
#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

namespace {

constexpr int kLogicMaxTenths = 60;

// Chip pins of the 40-pin DIP and the 44-pin PLCC: A0-A15 (P1, P2.0-P2.5,
// P3.4, P3.5), D0-D7 (P0), the code pins P3.7, P3.6, P2.7, P2.6, then RST,
// PSEN, ALE/PROG, EA, VCC, P3.3, P3.2.
struct Rd2Pins {
    int address[16], data[8], mode[4];
    int rst, psen, ale, ea, vcc, p33, p32;
};
constexpr Rd2Pins kDip{{1, 2, 3, 4, 5, 6, 7, 8, 21, 22, 23, 24, 25, 26, 14, 15},
                       {39, 38, 37, 36, 35, 34, 33, 32}, {17, 16, 28, 27}, 9, 29, 30, 31, 40, 13, 12};
constexpr Rd2Pins kPlcc{{2, 3, 4, 5, 6, 7, 8, 9, 24, 25, 26, 27, 28, 29, 16, 17},
                        {43, 42, 41, 40, 39, 38, 37, 36}, {19, 18, 31, 30}, 10, 32, 33, 35, 44, 15, 14};

} // namespace

PageRd2Chip::PageRd2Chip(const PageRd2Facts& facts)
    : Socket51Chip(facts.plcc, (facts.plcc ? kPlcc : kDip).vcc), facts_(facts) {
    const Rd2Pins& p = facts_.plcc ? kPlcc : kDip;
    address_.assign(p.address, p.address + 16);
    data_.assign(p.data, p.data + 8);
    mode_.assign(p.mode, p.mode + 4);
    rst_ = p.rst;
    psen_ = p.psen;
    ale_ = p.ale;
    ea_ = p.ea;
    p27_ = p.mode[2];
    p33_ = p.p33;
    ready_ = p.p32;
    code_.assign(std::max<uint32_t>(facts_.words, 1), 0xFF);
    std::memset(signature_, 0xFF, sizeof signature_);
    for (const auto& [a, b] : facts_.signature) signature_[a & 0x7F] = b;
    // The identity bytes at 30h and 31h are the part's maker and device codes.
    signature_[0x30] = static_cast<uint8_t>(facts_.makerCode);
    signature_[0x31] = static_cast<uint8_t>(facts_.deviceCode);
    std::fill(std::begin(dataBitAt_), std::end(dataBitAt_), int8_t{-1});
    for (int s = 1; s <= kSocketPins; ++s) {
        const auto bit = std::find(data_.begin(), data_.end(), ChipPinAt(s));
        if (ChipPinAt(s) != 0 && bit != data_.end()) dataBitAt_[s] = static_cast<int8_t>(bit - data_.begin());
    }
}

bool PageRd2Chip::InMode(const PinEnvironment& env) const {
    return Powered(env) && High(env, rst_) && !High(env, psen_);
}

ChipDrive PageRd2Chip::Output(const PinEnvironment& env, int socketPin) const {
    ChipDrive d = ChipDrive::None;
    Outputs(env, &socketPin, 1, &d);
    return d;
}

void PageRd2Chip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    std::fill(out, out + n, ChipDrive::None);
    if (n == 0 || !InMode(env)) return;
    bool known = false, driving = false;
    uint8_t v = 0;
    for (size_t i = 0; i < n; ++i) {
        const int s = socketPins[i];
        if (ChipPinAt(s) == ready_) {
            out[i] = readyStuck_ || Busy(env.NowUs()) ? ChipDrive::Low : ChipDrive::High;
            continue;
        }
        const int bit = s >= 1 && s <= kSocketPins ? dataBitAt_[s] : -1;
        if (bit < 0) continue;
        if (!known) {
            known = true;
            if (!pulsing_ && !High(env, p27_)) {
                const uint32_t a = Bits(env, address_);
                driving = true;
                switch (readCode_) {
                case 0x7:
                    v = (hsb_ & 0x06) != 0x06 ? 0xFF : code_[a % static_cast<uint32_t>(code_.size())];
                    break;
                case CodeSignature:
                    v = signature_[a & 0x7F];
                    break;
                case 0x5:
                    v = hsb_;
                    break;
                default:
                    driving = false;
                }
            }
        }
        if (driving) out[i] = (v >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
}

void PageRd2Chip::Load(const PinEnvironment& env, std::map<uint32_t, uint8_t>& buffer, uint32_t address,
                       uint8_t data) {
    if (!buffer.empty() && buffer.begin()->first / facts_.pageBytes != address / facts_.pageBytes)
        env.Violation(facts_.name + ": page loads across a page boundary");
    buffer[address] = data;
}

void PageRd2Chip::EndPulse(const PinEnvironment& env, uint64_t now, uint64_t width) {
    if (pulseCode_ == CodeSequence) {
        if (pulseP33_) {
            ++closings_;
            unlockStage_ = 0;
            return;
        }
        if (pulseData_ == 0x55) {
            unlockStage_ = 1;
        } else if (unlockStage_ == 1 && pulseData_ == 0xAA) {
            unlockStage_ = 2;
            ++unlocks_;
        } else {
            unlockStage_ = 0;
        }
        return;
    }
    if (Busy(now)) {
        env.Violation(facts_.name + ": pulse while a write runs");
        return;
    }
    if (unlockStage_ != 2) return; // outside an unlocked sequence nothing is written
    const uint32_t a = pulseAddress_ % static_cast<uint32_t>(code_.size());
    switch (pulseCode_) {
    case CodeLoad:
        Load(env, page_, a, pulseData_);
        return;
    case CodeWrite:
        pageWrites_.push_back(page_.empty() ? a : page_.begin()->first);
        busyUntil_ = now + facts_.writeTimeUs;
        if ((hsb_ & 0x07) == 0x07) {
            for (const auto& [at, v] : page_) {
                if (stuck_.count(at) == 0) code_[at] &= v;
            }
        }
        page_.clear();
        return;
    case CodeErase:
    case CodeHsb:
        if (width < facts_.eraseMinUs) {
            env.Violation(facts_.name + ": erase or HSB pulse of " + std::to_string(width) + " us");
            return;
        }
        if (pulseCode_ == CodeErase) {
            ++erases_;
            std::fill(code_.begin(), code_.end(), 0xFF);
            std::memset(signature_, 0xFF, sizeof signature_);
            hsb_ = 0xFF;
        } else {
            hsb_ &= static_cast<uint8_t>(pulseData_ | hsbStuck_);
        }
        return;
    case CodeSignaturePage:
        if (pulseP33_) {
            Load(env, signaturePage_, pulseAddress_ & 0x7F, pulseData_);
            return;
        }
        for (const auto& [at, v] : signaturePage_) signature_[at & 0x7F] &= v;
        signaturePage_.clear();
        busyUntil_ = now + facts_.writeTimeUs;
        return;
    default:
        env.Violation(facts_.name + ": ALE/PROG pulse under function code " + std::to_string(pulseCode_));
        return;
    }
}

void PageRd2Chip::Update(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    const int ea = env.VoltageTenths(Pin(ea_));
    if (ea > kLogicMaxTenths) {
        if (!vppReported_) env.Violation(facts_.name + ": programming voltage on EA of a part that programs at VCC");
        vppReported_ = true;
    }
    if (!Powered(env)) {
        unlockStage_ = 0;
        page_.clear();
        signaturePage_.clear();
    }
    if (!InMode(env)) {
        pulsing_ = false;
        strobeWasLow_ = false;
        return;
    }
    const bool strobeLow = !High(env, p27_);
    if (strobeLow && !strobeWasLow_) readCode_ = Bits(env, mode_) | 0x4;
    strobeWasLow_ = strobeLow;
    const bool aleLow = !High(env, ale_);
    if (aleLow && !pulsing_) {
        pulsing_ = true;
        pulseStart_ = now;
        pulseCode_ = Bits(env, mode_);
        pulseP33_ = High(env, p33_);
        pulseAddress_ = Bits(env, address_);
        pulseData_ = static_cast<uint8_t>(Bits(env, data_));
    } else if (!aleLow && pulsing_) {
        pulsing_ = false;
        EndPulse(env, now, now - pulseStart_);
    }
}

// ---- the parts ------------------------------------------------------------------------

void AddPageRd2Parts(std::vector<CatalogPart>& parts) {
    for (bool plcc : {false, true}) {
        PageRd2Facts f;
        f.maker = "TEMIC";
        f.name = plcc ? "T89C51RD2-PLCC" : "T89C51RD2";
        f.plcc = plcc;
        f.pinCount = plcc ? 44 : 40;
        f.words = 64 * 1024;
        f.makerCode = 0x58;
        f.deviceCode = 0xD7;
        f.vccPin = plcc ? 44 : 40;
        f.gndPins = {plcc ? 22 : 20};
        f.signature = {{0x60, 0xFC}, {0x61, 0xFF}};
        f.note = "the signature bytes (58h, D7h, FCh at 60h) and the HSB levels are the datasheet's; the function "
                 "codes, unlock and closing strobe and the write and erase times follow the algorithm row";
        f.followsRow = true;
        parts.push_back(ChipPart<PageRd2Chip>(f.maker, f));
    }
}

SIM_CATALOG_FAMILY(AddPageRd2Parts);

} // namespace sim
