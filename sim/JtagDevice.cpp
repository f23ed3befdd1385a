#include "sim/JtagDevice.h"

namespace sim {

namespace {
constexpr size_t kTraceLimit = 1u << 20;
}

const char* TapStateName(TapState s) {
    static const char* const names[16] = {
        "Test-Logic-Reset", "Run-Test/Idle", "Select-DR-Scan", "Capture-DR", "Shift-DR", "Exit1-DR",
        "Pause-DR",         "Exit2-DR",      "Update-DR",      "Select-IR-Scan", "Capture-IR", "Shift-IR",
        "Exit1-IR",         "Pause-IR",      "Exit2-IR",       "Update-IR",
    };
    return names[static_cast<int>(s) & 15];
}

TapState NextTapState(TapState s, bool tms) {
    using S = TapState;
    switch (s) {
    case S::TestLogicReset: return tms ? S::TestLogicReset : S::RunTestIdle;
    case S::RunTestIdle: return tms ? S::SelectDrScan : S::RunTestIdle;
    case S::SelectDrScan: return tms ? S::SelectIrScan : S::CaptureDr;
    case S::CaptureDr: return tms ? S::Exit1Dr : S::ShiftDr;
    case S::ShiftDr: return tms ? S::Exit1Dr : S::ShiftDr;
    case S::Exit1Dr: return tms ? S::UpdateDr : S::PauseDr;
    case S::PauseDr: return tms ? S::Exit2Dr : S::PauseDr;
    case S::Exit2Dr: return tms ? S::UpdateDr : S::ShiftDr;
    case S::UpdateDr: return tms ? S::SelectDrScan : S::RunTestIdle;
    case S::SelectIrScan: return tms ? S::TestLogicReset : S::CaptureIr;
    case S::CaptureIr: return tms ? S::Exit1Ir : S::ShiftIr;
    case S::ShiftIr: return tms ? S::Exit1Ir : S::ShiftIr;
    case S::Exit1Ir: return tms ? S::UpdateIr : S::PauseIr;
    case S::PauseIr: return tms ? S::Exit2Ir : S::PauseIr;
    case S::Exit2Ir: return tms ? S::UpdateIr : S::ShiftIr;
    case S::UpdateIr: return tms ? S::SelectDrScan : S::RunTestIdle;
    }
    return S::TestLogicReset;
}

TapController::TapController(const JtagDeviceConfig& config)
    : cfg_(config),
      instruction_(config.idcodeInstruction),
      scan_(static_cast<size_t>(config.scanLength > 0 ? config.scanLength : 0), false) {
    if (cfg_.irLength < 1) cfg_.irLength = 1;
    if (cfg_.irLength > 32) cfg_.irLength = 32;
}

void TapController::SetScanRegister(const std::vector<bool>& bits) {
    for (size_t i = 0; i < scan_.size(); ++i) scan_[i] = i < bits.size() && bits[i];
}

void TapController::PowerOn(bool tck) {
    state_ = TapState::TestLogicReset;
    instruction_ = cfg_.idcodeInstruction;
    tck_ = tck;
    tdoActive_ = false;
    shift_.clear();
}

void TapController::Sample(bool tck, bool tms, bool tdi, uint64_t nowUs) {
    nowUs_ = nowUs;
    if (tck && !tck_) {
        tck_ = tck;
        RisingEdge(tms, tdi);
    } else if (!tck && tck_) {
        tck_ = tck;
        FallingEdge();
    }
}

JtagDevice::JtagDevice(const JtagDeviceConfig& config)
    : cfg_(config), pins_{config.tmsPin, config.tckPin, config.tdiPin, config.tdoPin}, tap_(config) {}

void JtagDevice::Update(const PinEnvironment& env) {
    tap_.Sample(env.InputLevel(cfg_.tckPin) != 0, env.InputLevel(cfg_.tmsPin) != 0, env.InputLevel(cfg_.tdiPin) != 0);
}

ChipDrive JtagDevice::Output(const PinEnvironment&, int socketPin) const {
    if (socketPin != cfg_.tdoPin || !tap_.TdoActive()) return ChipDrive::None;
    return tap_.Tdo() ? ChipDrive::High : ChipDrive::Low;
}

std::vector<bool> TapController::CaptureDataRegister() const {
    if (registers_) {
        auto r = registers_->CaptureDr(instruction_);
        return r ? *r : std::vector<bool>(1, false);
    }
    if (instruction_ == cfg_.idcodeInstruction) {
        std::vector<bool> r(32);
        for (int i = 0; i < 32; ++i) r[i] = (cfg_.idcode >> i) & 1;
        return r;
    }
    if (instruction_ == cfg_.scanInstruction && !scan_.empty()) return scan_;
    return std::vector<bool>(1, false); // BYPASS
}

void TapController::RisingEdge(bool tms, bool tdi) {
    ++cycles_;
    switch (state_) {
    case TapState::CaptureDr: {
        const std::vector<bool> r = CaptureDataRegister();
        shift_.assign(r.begin(), r.end());
        shifted_ = 0;
        fresh_ = r.size();
        break;
    }
    case TapState::CaptureIr: {
        const uint32_t v = registers_ ? registers_->CaptureIr() : 1; // the mandatory ...01 pattern
        shift_.assign(static_cast<size_t>(cfg_.irLength), false);
        for (size_t i = 0; i < shift_.size(); ++i) shift_[i] = (v >> i) & 1;
        break;
    }
    case TapState::ShiftDr:
        ++shifted_;
        if (!shift_.empty()) {
            shift_.pop_front();
            shift_.push_back(tdi);
        }
        if (fresh_ > 0 && --fresh_ == 0 && registers_) {
            const std::vector<bool> more = registers_->MoreDr(instruction_);
            if (!more.empty()) shift_.assign(more.begin(), more.end());
            fresh_ = more.size();
        }
        break;
    case TapState::ShiftIr:
        if (!shift_.empty()) {
            shift_.pop_front();
            shift_.push_back(tdi);
        }
        break;
    default:
        break;
    }
    const TapState next = NextTapState(state_, tms);
    if (next == TapState::RunTestIdle && state_ != TapState::RunTestIdle) idleSinceUs_ = nowUs_;
    if (state_ == TapState::RunTestIdle && next != TapState::RunTestIdle && registers_)
        registers_->Idle(instruction_, nowUs_ - idleSinceUs_);
    state_ = next;
    if (state_ == TapState::TestLogicReset) instruction_ = cfg_.idcodeInstruction;
    if (trace_.size() < kTraceLimit) trace_.push_back({tms, tdi, state_});
}

void TapController::FallingEdge() {
    switch (state_) {
    case TapState::UpdateIr: {
        uint32_t v = 0;
        for (size_t i = 0; i < shift_.size() && i < 32; ++i) {
            if (shift_[i]) v |= 1u << i;
        }
        instruction_ = v;
        if (registers_) registers_->UpdateIr(instruction_, nowUs_);
        break;
    }
    case TapState::UpdateDr:
        if (registers_) {
            registers_->UpdateDr(instruction_, std::vector<bool>(shift_.begin(), shift_.end()), shifted_, nowUs_);
            break;
        }
        if (instruction_ == cfg_.scanInstruction && shift_.size() == scan_.size()) scan_.assign(shift_.begin(), shift_.end());
        break;
    default:
        break;
    }
    tdoActive_ = (state_ == TapState::ShiftDr || state_ == TapState::ShiftIr) && !shift_.empty();
    tdo_ = tdoActive_ && shift_[0];
}

} // namespace sim
