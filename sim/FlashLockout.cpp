// The software protection schemes of the JEDEC flash model: boot-block
// lockout, top/bottom block protection, sector protection and lockdown by
// command, and the seven-read data protection (see JedecFlashChip.h).
#include "sim/JedecFlashChip.h"

namespace sim {

bool JedecFlashChip::Overridden(const PinEnvironment& env) const {
    const int pin = cfg_.overridePin != 0 ? cfg_.overridePin : pins_.reset;
    return pin != 0 && SwitchedVolts(env, pin) >= cfg_.vidMinTenths;
}

bool JedecFlashChip::Locked(const PinEnvironment& env, uint32_t sector) const {
    const uint32_t boot = cfg_.bootAtTop ? SectorCount() - 1 : 0;
    switch (cfg_.lockout) {
    case FlashLockoutScheme::BootBlock:
    case FlashLockoutScheme::SwitchableBootBlock:
        if (lockoutOn_ && sector == boot && !Overridden(env)) return true;
        break;
    case FlashLockoutScheme::TopBottomBlocks:
        if (((blocks_ & 1) != 0 && sector == 0) || ((blocks_ & 2) != 0 && sector == SectorCount() - 1)) return true;
        break;
    case FlashLockoutScheme::SectorLockdown:
        return protected_.count(sector) != 0 && !Overridden(env);
    default:
        break;
    }
    return protected_.count(sector) != 0;
}

JedecFlashChip::State JedecFlashChip::OnLockoutCommand(uint32_t a, uint8_t d) {
    const bool first = IsCommandAddress(a, 1, false), second = IsCommandAddress(a, 2, false);
    switch (cfg_.lockout) {
    case FlashLockoutScheme::BootBlock:
        if (d == 0x40 && first) lockoutOn_ = true;
        break;
    case FlashLockoutScheme::SwitchableBootBlock:
        if ((d == 0x40 || d == 0x20) && first) lockoutOn_ = d == 0x40;
        break;
    case FlashLockoutScheme::TopBottomBlocks:
        if (d == 0x70 && first) blocks_ |= 1;
        if (d == 0x70 && second) blocks_ |= 2;
        break;
    case FlashLockoutScheme::SectorCommand:
        if ((d == 0x40 && (a & 1) != 0) || d == 0x60) {
            lockCommand_ = d == 0x40 ? 1 : 2;
            lockSector_ = SectorOf(a);
            return State::LockPulse;
        }
        break;
    case FlashLockoutScheme::SectorLockdown:
        if (d == 0x40) protected_.insert(SectorOf(a));
        break;
    default:
        break;
    }
    return State::Read;
}

// The /WE pulse held after a sector command ended: in effect when it lasted
// long enough; the part then reads the addressed sector's state.
void JedecFlashChip::OnLockoutPulse(const PinEnvironment& env) {
    const uint64_t lasted = env.NowUs() - weFallUs_;
    if (lockCommand_ == 1 && lasted >= 100) protected_.insert(lockSector_);
    if (lockCommand_ == 2 && lasted >= 10000) EndUnprotect(env);
    lockCommand_ = 0;
    state_ = State::LockVerify;
}

bool JedecFlashChip::LockoutWord(uint32_t a, uint16_t& word) const {
    const bool bootLockout =
        cfg_.lockout == FlashLockoutScheme::BootBlock || cfg_.lockout == FlashLockoutScheme::SwitchableBootBlock;
    if (!bootLockout || (a & 0xFF) != 2) return false;
    word = lockoutOn_ ? 1 : 0;
    return true;
}

void JedecFlashChip::OnReadStart(const PinEnvironment& env) {
    if (cfg_.lockout != FlashLockoutScheme::SevenReads) return;
    for (int i = 0; i < 6; ++i) lastReads_[i] = lastReads_[i + 1];
    lastReads_[6] = AddressNow(env) & 0xFFFF;
    static constexpr uint32_t kSequence[6] = {0x1823, 0x1820, 0x1822, 0x0418, 0x041B, 0x0419};
    for (int i = 0; i < 6; ++i) {
        if (lastReads_[i] != kSequence[i]) return;
    }
    if (lastReads_[6] == 0x041A) dataProtected_ = false;
    if (lastReads_[6] == 0x040A) dataProtected_ = true;
}

void JedecFlashChip::OnSevenReadsWrite(const PinEnvironment& env, uint32_t address, uint8_t d) {
    if (busy_) {
        if (failed_ && d == 0xFF) busy_ = failed_ = false, state_ = State::Read;
        return;
    }
    switch (state_) {
    case State::SdpProgram:
        state_ = State::Read;
        if (!dataProtected_) StartProgram(env, address, d);
        break;
    case State::SdpErase:
        state_ = State::Read;
        if (d == 0x30 && !dataProtected_) StartErase(env, -1);
        break;
    default:
        if (d == 0x10 || d == 0x40) state_ = State::SdpProgram;
        else if (d == 0x30) state_ = State::SdpErase;
        else if (d == 0x90) state_ = State::Autoselect;
        else state_ = State::Read;
        break;
    }
}

} // namespace sim
