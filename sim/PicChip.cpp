#include "sim/PicChip.h"

#include <algorithm>

#include "sim/GangAdapter.h"
#include "sim/Universal.h"

namespace sim {

namespace {

constexpr int kVddMinTenths = 45;

uint32_t Parity(uint32_t v) {
    uint32_t p = 0;
    for (; v != 0; v >>= 1) p ^= v & 1;
    return p;
}

// Commands of the serial programming mode.
enum : uint32_t {
    CmdLoadConfig = 0,
    CmdEraseSetup1 = 1,
    CmdLoadData = 2,
    CmdLoadDataMemory = 3,
    CmdReadData = 4,
    CmdReadDataMemory = 5,
    CmdIncrement = 6,
    CmdEraseSetup2 = 7,
    CmdBeginProgramming = 8,
    CmdBulkEraseData = 11,
    CmdEndProgramming = 14,
};

constexpr uint32_t kConfigBase = 0x2000;
constexpr uint32_t kConfigWordAddress = 0x2007;
constexpr uint32_t kDeviceIdAddress = 0x2006;

} // namespace

void SupplyWatch::Tell(SimProgrammer& p) {
    PinDriverPersonality* d = FindPinDriver(p);
    // After a latch write the pin driver has just told the chips, and
    // nothing has moved since.
    if (d == nullptr || d->ChipsCurrent()) return;
    if (Socket* s = ReachedSocket(p)) s->Update(*d);
}

bool SupplyWatch::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    (void)reg, (void)value;
    Tell(p);
    return false;
}

bool SupplyWatch::OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) {
    (void)reg, (void)bit, (void)state;
    Tell(p);
    return false;
}

PicModelBase::PicModelBase(PicFacts facts, std::vector<int> socketPins) : facts_(std::move(facts)) {
    socketPins_ = socketPins.empty() ? DipSocketPins(facts_.pin.pinCount) : std::move(socketPins);
}

bool PicModelBase::VddUp(const PinEnvironment& env) const {
    const uint64_t revision = env.SupplyRevision();
    if (revision != 0 && revision == vddRevision_) return vddUp_;
    bool up = true;
    bool switched = revision != 0;
    auto held = [&](int chipPin) {
        const PinCondition c = env.ConditionAt(S(chipPin));
        switched = switched && (c.grounded || c.supplyTenths >= 0);
    };
    for (int v : facts_.pin.vdd) {
        up = up && env.VoltageTenths(S(v)) >= kVddMinTenths;
        held(v);
    }
    for (int g : facts_.pin.vss) {
        up = up && env.HeldLow(S(g));
        held(g);
    }
    vddRevision_ = switched ? revision : 0;
    vddUp_ = up;
    return up;
}

PicChip::PicChip(PicFacts facts, std::vector<int> socketPins) : PicModelBase(std::move(facts), std::move(socketPins)) {
    code_.assign(std::max<uint32_t>(facts_.codeWords, 1), WordMask());
    data_.assign(facts_.dataBytes, 0xFF);
    for (uint32_t& id : ids_) id = WordMask();
    config_ = WordMask();
    if (facts_.calibration != 0) code_.back() = facts_.calibration & WordMask();
}

ChipPinLimits PicModelBase::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    for (int p : socketPins_) {
        if (p != 0) l.socketPins.push_back(p);
    }
    if (S(facts_.pin.mclr) != 0) l.Allow(S(facts_.pin.mclr), facts_.mclrLimitTenths);
    return l;
}

int PicModelBase::S(int chipPin) const {
    if (chipPin < 1 || chipPin > static_cast<int>(socketPins_.size())) return 0;
    return socketPins_[static_cast<size_t>(chipPin - 1)];
}

uint32_t PicChip::Word(uint32_t a) const {
    if (a < code_.size()) return code_[a];
    if (a >= kConfigBase && a < kConfigBase + 4) return ids_[a - kConfigBase];
    if (a == kConfigWordAddress) return config_;
    return WordMask();
}

void PicChip::SetWord(uint32_t a, uint32_t v) {
    if (a < code_.size()) code_[a] = v & WordMask();
}

bool PicChip::IsBlank() const {
    for (size_t a = 0; a + (facts_.calibration != 0 ? 1 : 0) < code_.size(); ++a) {
        if (code_[a] != WordMask()) return false;
    }
    return config_ == WordMask() &&
           std::all_of(data_.begin(), data_.end(), [](uint8_t b) { return b == 0xFF; });
}

void PicChip::EraseAll() {
    const uint32_t calibration = code_.back();
    std::fill(code_.begin(), code_.end(), WordMask());
    if (facts_.calibration != 0) code_.back() = calibration;
    std::fill(data_.begin(), data_.end(), 0xFF);
    for (uint32_t& id : ids_) id = WordMask();
    config_ = WordMask();
    counted_.clear();
    overprogram_.Clear();
}

void PicChip::UvErase() { EraseAll(); }

int PicChip::PulsesOn(uint32_t a) const {
    auto it = counted_.find(a);
    return it == counted_.end() ? 0 : it->second;
}

uint32_t PicChip::Commands(uint32_t c) const {
    auto it = commands_.find(c);
    return it == commands_.end() ? 0 : it->second;
}

void PicChip::Leave() {
    inMode_ = false;
    state_ = State::Command;
    bits_ = 0;
    shift_ = 0;
    outBit_ = -1;
    pulsing_ = false;
    eraseArm_ = 0;
    dataEraseArmed_ = false;
    busyUntil_ = 0; // a reset ends the write cycle
}

void PicChip::Update(const PinEnvironment& env) {
    const PicPinout& pin = facts_.pin;
    const bool vddUp = VddUp(env);
    const int mclr = env.VoltageTenths(S(pin.mclr));
    // Each wrong level is reported once until MCLR drops again.
    if (mclr > facts_.vihhMaxTenths && !overReported_)
        env.Violation(facts_.name + ": MCLR at " + std::to_string(mclr) + " tenths, above VIHH");
    if (!vddUp && mclr >= facts_.vihhMinTenths && !earlyReported_)
        env.Violation(facts_.name + ": VIHH on MCLR before VDD");
    overReported_ = mclr > facts_.vihhMaxTenths;
    earlyReported_ = !vddUp && mclr >= facts_.vihhMinTenths;
    const bool vihh = vddUp && mclr >= facts_.vihhMinTenths && mclr <= facts_.vihhMaxTenths;
    const bool heldHigh = env.HeldHigh(S(pin.clock)) || env.HeldHigh(S(pin.data));
    // A floating clock input keeps its last level: only a held level is an edge.
    const bool clockHigh = env.HeldHigh(S(pin.clock)) ? true : env.HeldLow(S(pin.clock)) ? false : lastClockHigh_;
    if (!vihh) {
        if (inMode_) Leave();
        refused_ = false;
    } else if (!inMode_ && !refused_) {
        // Clock or data held high as MCLR rose selects another mode.
        if (lastHeldHigh_) {
            refused_ = true;
        } else {
            inMode_ = true;
            pc_ = facts_.wordBits == 12 ? -1 : 0;
            lastClockHigh_ = clockHigh;
        }
    }
    lastHeldHigh_ = heldHigh;
    if (!inMode_) {
        lastClockHigh_ = clockHigh;
        return;
    }
    const bool rising = clockHigh && !lastClockHigh_;
    const bool falling = !clockHigh && lastClockHigh_;
    lastClockHigh_ = clockHigh;
    const int dataLevel = env.InputLevel(S(pin.data));
    if (state_ == State::Command && falling) {
        shift_ |= static_cast<uint32_t>(dataLevel) << bits_;
        if (++bits_ == 6) {
            const uint32_t c = shift_;
            shift_ = 0;
            bits_ = 0;
            Execute(env, c);
        }
    } else if (state_ == State::Load && falling) {
        ++clocks_;
        if (clocks_ >= 2 && clocks_ < FrameClocks()) frame_ |= static_cast<uint32_t>(dataLevel) << (clocks_ - 2);
        if (clocks_ == FrameClocks()) FinishLoad();
    } else if (state_ == State::Read && rising) {
        ++clocks_;
        outBit_ = clocks_ >= 2 && clocks_ < FrameClocks() ? static_cast<int>((outWord_ >> (clocks_ - 2)) & 1) : -1;
    } else if (state_ == State::Read && falling && clocks_ == FrameClocks()) {
        state_ = State::Command; // the stop clock ends with its falling edge
    }
}

void PicChip::Execute(const PinEnvironment& env, uint32_t c) {
    if (facts_.flash && Busy(env)) {
        ++ignoredWhileBusy_; // the datasheet forbids it; the chip does not listen
        return;
    }
    ++commands_[c];
    const bool twelve = facts_.wordBits == 12;
    const int arm = eraseArm_;
    eraseArm_ = 0;
    switch (c) {
    case CmdLoadConfig:
        if (twelve) return;
        pc_ = kConfigBase;
        [[fallthrough]];
    case CmdLoadData:
    case CmdLoadDataMemory:
        if (c == CmdLoadDataMemory && data_.empty()) return;
        latchData_ = c == CmdLoadDataMemory;
        state_ = State::Load;
        clocks_ = 0;
        frame_ = 0;
        return;
    case CmdReadData:
    case CmdReadDataMemory:
        if (c == CmdReadDataMemory && data_.empty()) return;
        outWord_ = c == CmdReadDataMemory ? data_[static_cast<uint32_t>(pc_) % data_.size()] : ReadAt();
        if (facts_.parityFrames) {
            outWord_ = (outWord_ << 2) | (Parity(outWord_ & 0xAAAA) << 1) | Parity(outWord_ & 0x5555);
        }
        state_ = State::Read;
        clocks_ = 0;
        return;
    case CmdIncrement:
        pc_ = twelve ? (pc_ + 1) & 0xFFF : (pc_ + 1) & 0x3FFF;
        if (twelve && pc_ == 0xFFF) pc_ = -1;
        return;
    case CmdBeginProgramming:
        if (!facts_.flash) {
            pulsing_ = true;
            pulseStart_ = env.NowUs();
            return;
        }
        if (arm == 2 && pc_ == kConfigWordAddress) {
            EraseAll();
            bulkEraseMclr_ = env.VoltageTenths(S(facts_.pin.mclr));
            busyUntil_ = env.NowUs() + facts_.eraseUs;
        } else if (dataEraseArmed_) {
            std::fill(data_.begin(), data_.end(), 0xFF);
            busyUntil_ = env.NowUs() + facts_.eraseUs;
        } else {
            Program(env, 0);
            busyUntil_ = env.NowUs() + facts_.writeUs;
        }
        dataEraseArmed_ = false;
        return;
    case CmdEndProgramming:
        if (!facts_.flash && pulsing_) {
            pulsing_ = false;
            Program(env, env.NowUs() - pulseStart_);
        }
        return;
    case CmdEraseSetup1:
        if (facts_.flash) eraseArm_ = 1;
        return;
    case CmdEraseSetup2:
        if (facts_.flash) eraseArm_ = arm == 1 ? 2 : 0;
        return;
    case CmdBulkEraseData:
        dataEraseArmed_ = facts_.flash && !data_.empty();
        return;
    default: return; // no frame, no effect
    }
}

void PicChip::FinishLoad() {
    state_ = State::Command;
    lastFrame_ = frame_;
    lastFrameClocks_ = FrameClocks();
    uint32_t v = frame_;
    if (facts_.parityFrames) {
        v = frame_ >> 2;
        const uint32_t expected = (Parity(v & 0xAAAA) << 1) | Parity(v & 0x5555);
        if ((frame_ & 3) != expected) {
            ++parityErrors_; // the latch keeps its value
            return;
        }
    }
    latch_ = latchData_ ? v & 0xFF : v & WordMask();
}

uint32_t PicChip::ReadAt() const {
    if (facts_.wordBits == 12) {
        if (pc_ < 0) return (config_ & facts_.configMask) | (0xFFF & ~facts_.configMask);
        const auto a = static_cast<uint32_t>(pc_);
        if (a >= code_.size()) {
            const uint32_t id = a - static_cast<uint32_t>(code_.size());
            return id < 4 ? ids_[id] : 0xFFF;
        }
        // The first 64 words and the calibration word read plainly.
        if (Protected() && a >= 64 && a + 1 != code_.size()) return (code_[a] ^ (code_[a] >> 6)) & 0xFFF;
        return code_[a];
    }
    const auto a = static_cast<uint32_t>(pc_);
    if (a >= kConfigBase) {
        if (a < kConfigBase + 4) return ids_[a - kConfigBase];
        // Another part's device ID: a device bit (above the revision) flipped.
        if (a == kDeviceIdAddress && facts_.deviceId != 0)
            return AnswersAnotherIdentity() ? facts_.deviceId ^ 0x2000 : facts_.deviceId;
        if (a == kConfigWordAddress) return (config_ & facts_.configMask) | (0x3FFF & ~facts_.configMask);
        return 0x3FFF;
    }
    const uint32_t w = code_[a % code_.size()];
    if (!Protected()) return w;
    return facts_.flash ? 0 : (w ^ (w >> 7)) & 0x3FFF;
}

void PicChip::Program(const PinEnvironment& env, uint64_t widthUs) {
    (void)env;
    const bool twelve = facts_.wordBits == 12;
    if (facts_.flash) {
        if (latchData_) {
            data_[static_cast<uint32_t>(pc_) % data_.size()] = static_cast<uint8_t>(latch_);
            return;
        }
        const auto a = static_cast<uint32_t>(pc_);
        if (a >= kConfigBase) {
            if (a < kConfigBase + 4) ids_[a - kConfigBase] = latch_;
            if (a == kConfigWordAddress) config_ = latch_ | (0x3FFF & ~facts_.configMask) | configRefused_;
            return;
        }
        if (Protected() || stuck_.count(a) != 0) return;
        code_[a % code_.size()] = latch_;
        return;
    }
    if (widthUs < facts_.minPulseUs) return;
    ++pulses_;
    // The word the counter is on; configuration memory has no pulse count.
    const uint32_t key = twelve && pc_ < 0 ? 0xFFFFu : static_cast<uint32_t>(pc_);
    const int count = ++counted_[key];
    if (stuck_.count(key) != 0) return;
    overprogram_.Pulse(key, widthUs, overprogram_.HasTaken(key));
    // The configuration word takes only after its programming time.
    const bool configWord = twelve ? pc_ < 0 : key == kConfigWordAddress;
    if (configWord && overprogram_.TotalUs(key) < uint64_t{facts_.configPulses} * facts_.minPulseUs) return;
    auto it = needed_.find(key);
    if (count < (it == needed_.end() ? facts_.pulsesNeeded : it->second)) return;
    overprogram_.Took(key, count);
    if (twelve) {
        if (pc_ < 0) {
            config_ &= latch_ | ~facts_.configMask | configRefused_;
            return;
        }
        const auto a = static_cast<uint32_t>(pc_);
        if (a < code_.size()) {
            if (!Protected()) code_[a] &= latch_;
        } else if (a - code_.size() < 4) {
            ids_[a - code_.size()] &= latch_;
        }
        return;
    }
    const auto a = static_cast<uint32_t>(pc_);
    if (a >= kConfigBase) {
        if (a < kConfigBase + 4) ids_[a - kConfigBase] &= latch_;
        if (a == kConfigWordAddress) config_ &= latch_ | ~facts_.configMask | configRefused_;
        return;
    }
    if (!Protected() && a < code_.size()) code_[a] &= latch_;
}

ChipDrive PicChip::Output(const PinEnvironment& env, int socketPin) const {
    (void)env;
    if (!inMode_ || outBit_ < 0 || socketPin != S(facts_.pin.data)) return ChipDrive::None;
    return outBit_ != 0 ? ChipDrive::High : ChipDrive::Low;
}

void PicChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    (void)env;
    const int data = S(facts_.pin.data);
    const ChipDrive drive = !inMode_ || outBit_ < 0 ? ChipDrive::None : outBit_ != 0 ? ChipDrive::High : ChipDrive::Low;
    for (size_t i = 0; i < n; ++i) out[i] = data != 0 && socketPins[i] == data ? drive : ChipDrive::None;
}

} // namespace sim
