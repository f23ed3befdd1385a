// A flash 8051 of the 89C51Rx kind, or of the XA-G49 kind, in its parallel
// programming mode, at pin level: the code array, three security bits and
// the special bytes that decide how the chip starts (89C51Rx: a status byte
// and a boot vector byte; XA: a status byte, the boot program counter byte
// BPC and the boot status word byte BPSW in a 16-byte signature space).
//
// Behaviour:
// - Mode: VCC at 4.5 V or more, PSEN low and RST high (XA: low); EA/VPP may
//   sit at the programming voltage in every function (the programmer keeps
//   it there).
// - Function: a 4-bit code on P3.0, P3.1, P3.7, P2.6 (bit 0 first), decoded
//   by the kind's table; the address on P1, P2.0-P2.5, P3.4, P3.5. The
//   signature and special-byte spaces decode A0-A7 only.
// - Reads: the data pins are driven while P2.7 is low under a read code
//   (code array, read-back after a write, erase verify, the signature bytes,
//   the security bits and special bytes).
// - Pulses: ALE/PROG low under a write or erase code, EA/VPP in the part's
//   window at the pulse's start. A program pulse of at least minPulseUs
//   clears the addressed bits towards the datum; an erase pulse of at least
//   eraseMinUs erases the code array, the special bytes or everything with
//   the security bits. A short pulse, a pulse at a wrong voltage, a pulse
//   under a read code and the programming voltage before VCC are violations.
// - XA: writes and erases do nothing until the unlock cycles (code 0Fh,
//   AAh at 5555h, then 55h at AAAAh) since power-up; the array erases on
//   code 0Ch only right after an erase pulse under code 1.
// - Security bit 1 refuses code and special-byte programming; security bit
//   2 makes code reads return 00h. Only the full erase clears them.
//
// Fault injection: a cell that never programs, an erase that needs n pulses
// or never completes, a cell that keeps its 00h through the first n erases,
// security bits that refuse to program, special bytes that take their datum
// only at the n-th program pulse.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"
#include "sim/Socket51Chip.h"

namespace sim {

enum class Rx51Kind : uint8_t { Rx2, Xa };

struct Rx51FlashFacts : PartFacts {
    Rx51Kind kind = Rx51Kind::Rx2;
    std::string maker;
    // Where a fact is not the datasheet's own, the note says so.
    std::string note;
    bool plcc = false; // the 44-pin PLCC on the socket adapter
    int thirdSignature = 0xFF; // the signature byte at address 2
    VoltageWindow vpp{115, 125};
    int vppLimitTenths = 130;
    uint32_t minPulseUs = 50;
    uint32_t eraseMinUs = 300000;
};

class Rx51FlashChip : public Socket51Chip {
public:
    explicit Rx51FlashChip(const Rx51FlashFacts& facts);

    std::string Name() const override { return facts_.name; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    // Output of every pin asked, with the read worked out once.
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;
    const PartFacts& Facts() const override { return facts_; }
    size_t Words() const override { return code_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < code_.size() ? code_[a] : 0xFF; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < code_.size()) code_[a] = static_cast<uint8_t>(v);
    }

    // Security bits 1-3 as bits 1-3 (1 = programmed).
    uint8_t SecurityBits() const { return security_; }
    bool Secured() const { return security_ != 0; }
    void SetSecurityBits(uint8_t bits) { security_ = bits & 0x0E; }
    uint8_t StatusByte() const { return status_; }
    // 89C51Rx: the boot vector; XA: BPC and BPSW.
    uint8_t BootVector() const { return bootVector_; }
    uint8_t Bpc() const { return bootVector_; }
    uint8_t Bpsw() const { return bpsw_; }
    void SetSpecialBytes(uint8_t status, uint8_t bootVector, uint8_t bpsw = 0xFF) {
        status_ = status;
        bootVector_ = bootVector;
        bpsw_ = bpsw;
    }
    // XA: the unlock cycles seen since power-up.
    bool Unlocked() const { return unlocked_; }
    uint32_t UnlockCycles() const { return unlockCycles_; }

    // What happened: program pulses per address, erase pulses by function code.
    uint32_t PulsesAt(uint32_t a) const {
        auto it = pulsesAt_.find(a);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    uint32_t ProgramPulses() const { return programPulses_; }
    uint32_t ErasePulses(uint32_t code) const {
        auto it = erasePulses_.find(code);
        return it == erasePulses_.end() ? 0 : it->second;
    }
    // Security bits by the address their pulse came at.
    const std::vector<uint32_t>& SecurityPulseAddresses() const { return securityAt_; }
    void ClearCounts() {
        pulsesAt_.clear();
        programPulses_ = 0;
        erasePulses_.clear();
        securityAt_.clear();
        unlockCycles_ = 0;
    }

    // Faults.
    void StickCell(uint32_t a) { stuck_[a] = true; }
    // The code array erases only at the n-th erase pulse (0: never).
    void SetErasePulsesNeeded(int n) { erasesNeeded_ = n; }
    // Cell a keeps its contents through the first n array erases.
    void SetCellErasesNeeded(uint32_t a, int n) { cellErases_[a] = n; }
    // Security bits refuse to program.
    void RefuseSecurity() { securityRefused_ = 0x0E; }
    // Security bit n (1-3) alone refuses to program.
    void RefuseSecurityBit(int bit) {
        if (bit >= 1 && bit <= 3) securityRefused_ |= static_cast<uint8_t>(1u << bit);
    }
    // Each special byte takes its datum only at its n-th program pulse.
    void SetSpecialPulsesNeeded(int n) { specialNeeded_ = n; }
    uint32_t SpecialPulses() const { return specialPulses_; }

private:
    bool InMode(const PinEnvironment& env) const;
    // The reads first (1-4).
    enum class Fn : uint8_t {
        None, ReadCode, ReadSignature, ReadSpecial, ReadSpace, WriteCode, WriteSecurity, WriteSpecial, WriteSpace,
        EraseArm, EraseArray, EraseSpecial, EraseSpaceByte, EraseAll, Unlock,
    };
    Fn Function(uint32_t code) const;
    uint8_t ReadNow(Fn f, uint32_t address) const;
    void Unlock(uint32_t address, uint8_t data);
    void WriteSpace(uint32_t low, uint8_t data);
    // A program pulse on special byte `b`: whether it takes the datum now.
    bool SpecialTakes(uint8_t* b);
    void EndPulse(const PinEnvironment& env, uint64_t width);
    void EraseArray();

    Rx51FlashFacts facts_;
    std::vector<int> address_, data_, mode_;
    // Data bit on each socket pin (-1: not a data pin).
    int8_t dataBitAt_[kSocketPins + 1];
    int rst_, psen_, ale_, ea_, p27_;
    std::vector<uint8_t> code_;
    uint8_t security_ = 0;
    uint8_t status_ = 0xFF;
    uint8_t bootVector_ = 0xFF; // XA: BPC
    uint8_t bpsw_ = 0xFF;
    bool unlocked_ = false;
    int unlockStage_ = 0;
    uint32_t unlockCycles_ = 0;
    bool eraseArmed_ = false;

    bool pulsing_ = false;
    uint64_t pulseStart_ = 0;
    Fn pulseFn_ = Fn::None;
    uint32_t pulseCode_ = 0;
    uint32_t pulseAddress_ = 0;
    uint8_t pulseData_ = 0xFF;
    int pulseVpp_ = 0;

    std::map<uint32_t, bool> stuck_;
    std::map<uint32_t, int> cellErases_;
    int erasesNeeded_ = 1;
    uint8_t securityRefused_ = 0; // security bits that never program, as in security_
    int specialNeeded_ = 1;
    std::map<const uint8_t*, int> specialSeen_;
    uint32_t specialPulses_ = 0;
    int erasesSeen_ = 0;
    std::map<uint32_t, uint32_t> pulsesAt_;
    uint32_t programPulses_ = 0;
    std::map<uint32_t, uint32_t> erasePulses_;
    std::vector<uint32_t> securityAt_;
};

} // namespace sim
