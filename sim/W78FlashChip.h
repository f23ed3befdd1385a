// A flash 8051 of the W78E5x kind in its programming mode, at pin level, with
// the one-byte special register at FFFFh (bit 0 lock, bit 1 MOVC execute,
// bit 2 encryption, bit 7 oscillator gain; a programmed bit reads 0).
//
// Two programming interfaces:
// - Strobes: RST and PSEN high, ALE/PROG low. P3.0 low selects the code
//   array, P3.0 high the identity bytes (address 0 maker, 1 device) with
//   EA/VPP at logic level, or the erase mode with EA/VPP at the erase
//   voltage. P3.7 low drives the data pins (the erase mode reads the array);
//   a low pulse on P3.6 with P3.7 high programs the addressed byte (EA/VPP in
//   the programming window) or, in the erase mode with P1.0 low, erases the
//   chip.
// - Mode codes on P3.0-P3.3 (0 read, 1 program, 6 erase, Bh maker code,
//   Ch device code), latched into the programming mode by RST falling while
//   EA, PSEN and ALE are low and P2.6, P2.7, P3.6, P3.7 high; P3.5 low drives
//   the data pins, a low pulse on P3.4 programs or erases at VCC level. On a
//   part with two 32 KB banks P3.6 selects the upper bank; the special
//   register answers at FFFFh with P3.6 high.
//
// The lock bit stops code programming and makes the array read 00h; the
// encryption bit makes array reads come out XORed with the address's low
// byte. Both last until the chip is erased. A pulse shorter than the part's
// width, a program or erase pulse at a wrong voltage and a read or pulse under
// an unknown mode code are violations.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

enum class W78Interface : uint8_t { Strobes, ModeCodes };

struct W78FlashFacts : PartFacts {
    std::string maker;
    // Where a fact is not the datasheet's own, the note says so.
    std::string note;
    W78Interface interface = W78Interface::Strobes;
    bool plcc = false;       // the 44-pin PLCC on the socket adapter
    bool upperBank = false;  // 64 KB in two banks selected by P3.6 (mode codes)
    VoltageWindow programVpp{115, 130};
    VoltageWindow eraseVpp{140, 150};
    int vppLimitTenths = 155;
    uint32_t minPulseUs = 50;
    uint32_t eraseMinUs = 45000;
};

class W78FlashChip : public CatalogChip {
public:
    explicit W78FlashChip(const W78FlashFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    // Output of every pin asked, with the read worked out once.
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return code_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < code_.size() ? code_[a] : 0xFF; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < code_.size()) code_[a] = static_cast<uint8_t>(v);
    }

    uint8_t SpecialRegister() const { return register_; }
    void SetSpecialRegister(uint8_t v) { register_ = v; }
    bool Locked() const { return (register_ & 1) == 0; }
    uint32_t ProgramPulses() const { return programPulses_; }
    uint32_t ErasePulses() const { return erasePulses_; }
    // Program pulses that reached address a (after the bank select).
    uint32_t PulsesAt(uint32_t a) const {
        auto it = pulsesAt_.find(a);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    // Addresses at which P3.6 was first seen high during a read or program.
    const std::vector<uint32_t>& BankRaisedAt() const { return bankRaisedAt_; }
    void ClearCounts() {
        programPulses_ = erasePulses_ = registerPulses_ = 0;
        pulsesAt_.clear();
        bankRaisedAt_.clear();
    }

    // Faults: a cell that never programs; an erase that needs n pulses; a
    // special register that takes its datum only at its n-th program pulse;
    // a special-register bit (0 the lock bit) that never programs.
    void StickCell(uint32_t a) { stuck_[a] = true; }
    void RefuseRegisterBit(int bit) { refusedRegisterBits_ |= static_cast<uint8_t>(1u << bit); }
    void SetErasePulsesNeeded(int n) { erasesNeeded_ = n; }
    void SetRegisterPulsesNeeded(int n) { registerNeeded_ = n; }
    uint32_t RegisterPulses() const { return registerPulses_; }

private:
    enum class Fn : uint8_t { None, Code, Signature, EraseMode, Program, Erase, Maker, Device };
    int Pin(int chipPin) const;
    bool High(const PinEnvironment& env, int chipPin) const;
    uint32_t Bits(const PinEnvironment& env, const std::vector<int>& socketPins) const;
    // What the part drives on its data pins now: None while it does not
    // drive (every data pin alike), else the byte read.
    struct ReadOut {
        bool driving = false;
        bool unknownMode = false;
        uint8_t value = 0;
    };
    ReadOut ReadOutNow(const PinEnvironment& env) const;
    bool Powered(const PinEnvironment& env) const;
    bool InMode(const PinEnvironment& env) const;
    Fn Function(const PinEnvironment& env) const;
    bool Special(const PinEnvironment& env) const;
    uint32_t ArrayAddress(const PinEnvironment& env) const;
    uint8_t ReadNow(const PinEnvironment& env) const;
    void EndPulse(const PinEnvironment& env, uint64_t width);
    int PulseStrobe() const;

    W78FlashFacts facts_;
    std::vector<int> pins_;
    std::vector<int> address_, data_, modeCode_;
    // Socket pins of address_, data_ and modeCode_ (read as bits at once).
    std::vector<int> addressSocket_, dataSocket_, modeCodeSocket_;
    // Data bit on each socket pin (-1: not a data pin).
    int8_t dataBitAt_[kSocketPins + 1];
    int rst_, psen_, ale_, ea_, vcc_, p36_, p37_, p30_, p34_, p35_, p26_, p27_, p10_;
    std::vector<uint8_t> code_;
    uint8_t register_ = 0xFF;
    uint8_t refusedRegisterBits_ = 0;

    bool latched_ = false; // mode-code parts: in the programming mode
    bool rstWasHigh_ = false;
    bool pulsing_ = false;
    uint64_t pulseStart_ = 0;
    Fn pulseFn_ = Fn::None;
    bool pulseSpecial_ = false;
    uint32_t pulseAddress_ = 0;
    uint8_t pulseData_ = 0xFF;
    int pulseVpp_ = 0;
    bool strobeWasLow_ = false;
    bool bankSeen_ = false;

    std::map<uint32_t, bool> stuck_;
    std::map<uint32_t, uint32_t> pulsesAt_;
    int erasesNeeded_ = 1;
    int registerNeeded_ = 1, registerSeen_ = 0;
    uint32_t programPulses_ = 0, erasePulses_ = 0, registerPulses_ = 0;
    std::vector<uint32_t> bankRaisedAt_;
};

} // namespace sim
