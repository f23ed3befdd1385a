#include "sim/ConfigEepromChip.h"

namespace sim {

namespace {
constexpr int kSda = 1, kScl = 2, kResetOe = 3, kCs = 4, kGnd = 5, kPin6 = 6;
constexpr uint32_t kSettingAddress = 0x20000;
constexpr int kIdTenths = 110;
} // namespace

ConfigEepromChip::ConfigEepromChip(const ConfigEepromFacts& facts)
    : SerialChipBase(facts.name, facts.supply, kGnd), facts_(facts) {
    cells_.assign(facts.bytes, 0xFF);
    AllowRaised(kCs, 125);
}

bool ConfigEepromChip::ActiveHigh() const { return facts_.threeByteAddress ? setting_[3] != 0xFF : activeHigh_; }

void ConfigEepromChip::SetActiveHigh(bool on) {
    activeHigh_ = on;
    setting_.fill(on ? 0 : 0xFF);
}

void ConfigEepromChip::PowerLost() {
    mode_ = Mode::Idle;
    bits_.Clear();
    page_.clear();
    fresh_ = true;
}

void ConfigEepromChip::Load(const PinEnvironment& env) {
    uint8_t v = 0xFF;
    if (env.VoltageTenths(Socket(kCs)) >= kIdTenths) {
        const uint8_t device = facts_.deviceCode ^ (AnswersAnotherIdentity() ? 0x10 : 0);
        v = idIndex_ == 0 ? facts_.makerCode : idIndex_ == 1 ? device : 0xFF;
    } else if (facts_.threeByteAddress && pointer_ >= kSettingAddress) {
        if (pointer_ - kSettingAddress < setting_.size()) v = setting_[pointer_ - kSettingAddress];
    } else {
        v = ReadCell(pointer_ % facts_.bytes);
    }
    bits_.Send(v);
}

void ConfigEepromChip::Commit(const PinEnvironment& env) {
    if (!facts_.threeByteAddress && env.InputLevel(Socket(kResetOe)) != 0) {
        activeHigh_ = env.InputLevel(Socket(kPin6)) == 0;
    } else {
        for (const auto& [at, b] : page_) {
            if (facts_.threeByteAddress && at >= kSettingAddress) {
                if (at - kSettingAddress < setting_.size()) setting_[at - kSettingAddress] = b;
            } else {
                cells_[at % facts_.bytes] = b;
            }
        }
    }
    StartWriteCycle(env, facts_.writeUs);
}

void ConfigEepromChip::ByteIn(const PinEnvironment& env, uint8_t b) {
    switch (mode_) {
    case Mode::Control:
        if (Busy(env) || (b != 0xA6 && b != 0xA7)) {
            mode_ = Mode::Ignore;
            bits_.Acknowledge(false);
            return;
        }
        bits_.Acknowledge(true);
        if (b == 0xA7) {
            mode_ = Mode::Reading;
            idIndex_ = 0;
            return;
        }
        mode_ = Mode::Address;
        address_ = 0;
        addressBytes_ = facts_.threeByteAddress ? 3 : 2;
        return;
    case Mode::Address:
        bits_.Acknowledge(true);
        address_ = address_ << 8 | b;
        if (--addressBytes_ == 0) {
            pointer_ = address_;
            page_.clear();
            mode_ = Mode::Writing;
        }
        return;
    case Mode::Writing: {
        const uint32_t base = pointer_ - pointer_ % facts_.pageBytes;
        const uint32_t at = base + (pointer_ + static_cast<uint32_t>(page_.size())) % facts_.pageBytes;
        if (at == refused_) {
            mode_ = Mode::Ignore;
            page_.clear();
            bits_.Acknowledge(false);
            return;
        }
        bits_.Acknowledge(true);
        page_.emplace_back(at, b);
        return;
    }
    default:
        return;
    }
}

void ConfigEepromChip::PinsChanged(const PinEnvironment& env) {
    const bool scl = env.InputLevel(Socket(kScl)) != 0;
    const bool sda = !bits_.PullsLow() && env.InputLevel(Socket(kSda)) != 0;
    if (fresh_) {
        fresh_ = false;
    } else if (scl_ && scl && sda_ != sda) {
        if (!sda) { // START: a write not closed by STOP is dropped
            page_.clear();
            bits_.Clear();
            mode_ = Busy(env) ? Mode::Ignore : Mode::Control;
        } else { // STOP
            if (mode_ == Mode::Writing && !page_.empty()) Commit(env);
            bits_.Clear();
            mode_ = Mode::Idle;
        }
    } else if (!scl_ && scl) {
        if (mode_ != Mode::Idle && mode_ != Mode::Ignore && bits_.Rising(sda)) ByteIn(env, bits_.Received());
    } else if (scl_ && !scl) {
        if (mode_ == Mode::Idle || mode_ == Mode::Ignore) {
            bits_.Release();
        } else {
            switch (bits_.Falling()) {
            case TwoWireBits::Edge::MasterDone:
                mode_ = Mode::Idle;
                break;
            case TwoWireBits::Edge::NextByte:
                ++pointer_;
                ++idIndex_;
                Load(env);
                break;
            case TwoWireBits::Edge::AckDone:
                if (mode_ == Mode::Reading) Load(env);
                break;
            case TwoWireBits::Edge::None:
                break;
            }
        }
    }
    scl_ = scl;
    sda_ = !bits_.PullsLow() && env.InputLevel(Socket(kSda)) != 0;
}

ChipDrive ConfigEepromChip::PoweredOutput(const PinEnvironment& env, int chipPin) const {
    (void)env;
    if (chipPin == kSda && bits_.PullsLow()) return ChipDrive::Low;
    if (chipPin == kResetOe && ActiveHigh()) return ChipDrive::WeakLow;
    return ChipDrive::None;
}

} // namespace sim
