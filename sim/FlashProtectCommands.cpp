// Sector protection by command and the chip unprotect by /CE pulses with /OE
// and /WE at VID (see JedecFlashChip.h).
#include "sim/JedecFlashChip.h"

namespace sim {

// 00h at an address with A9 set and A1 clear, after the erase prefix and 20h:
// a sector protect (A6 clear) or the chip unprotect (A6 set), the part busy
// meanwhile; any other cycle returns to read mode.
void JedecFlashChip::OnProtectSetupWrite(const PinEnvironment& env, uint32_t a, uint8_t d) {
    state_ = State::Read;
    if (d != 0x00 || (a & 0x200) == 0 || (a & 2) != 0) return;
    const bool unprotect = (a & 0x40) != 0;
    if (unprotect) EndUnprotect(env);
    else ProtectSector(SectorOf(a));
    busy_ = true;
    erasing_ = failed_ = false;
    busyDatum_ = 0xFF;
    busyEnd_ = env.NowUs() + (unprotect ? 10000 : 100);
    state_ = State::LockVerify;
}

// The protection mode entered with 24h: 60h starts a pulse at a sector
// address (A1 set, A0 clear), 40h there ends it; 90h 00h leave the mode.
void JedecFlashChip::OnProtectModeWrite(const PinEnvironment& env, uint32_t a, uint8_t d) {
    if (protectExit_) {
        protectExit_ = false;
        if (d == 0x00) {
            protectMode_ = protectVerify_ = false;
            ispPulse_ = 0;
        }
        return;
    }
    const bool sectorAddress = (a & 3) == 2;
    if (d == 0x90) {
        protectExit_ = true;
    } else if (d == 0x60 && sectorAddress) {
        ispPulse_ = (a & 0x40) != 0 ? 2 : 1;
        ispSector_ = SectorOf(a);
        ispStart_ = env.NowUs();
        protectVerify_ = false;
    } else if (d == 0x40 && sectorAddress) {
        const uint64_t lasted = env.NowUs() - ispStart_;
        if (ispPulse_ == 1 && lasted >= 100) ProtectSector(ispSector_);
        if (ispPulse_ == 2 && lasted >= 10000) EndUnprotect(env);
        ispPulse_ = 0;
        protectVerify_ = true;
    }
}

// /CE low for 5 ms or more counts a pulse; the second pulse of one period
// with /OE and /WE at VID unprotects the chip.
void JedecFlashChip::OnCeUnprotectPulse(const PinEnvironment& env, bool ce) {
    if (!ceVidPeriod_) {
        ceVidPeriod_ = true;
        cePulses_ = 0;
        cePulse_ = false;
    }
    if (ce && !cePulse_) ceFallUs_ = env.NowUs();
    if (!ce && cePulse_ && env.NowUs() - ceFallUs_ >= 5000 && ++cePulses_ == 2) EndUnprotect(env);
    cePulse_ = ce;
}

} // namespace sim
