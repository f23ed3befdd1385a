// Electrically erasable PLDs programmed through a high-voltage interface of
// their own, on the 48-pin socket (the 44-pin part with its pins as the
// programmer's set-up places them, the 84-pin part through its adapter
// wiring). No public datasheet gives these interfaces: pin-outs, levels,
// times and codes are the algorithm rows' view of the chips.
//
// 64K words of 8 cells. The 5.2 V kind (TextList253*) erases to 1, the
// 3.3 V kind (TextList254*) to 0. Every access needs the part powered and
// entered: HV high while VPP is at the entry level (11.3 V; 8.0 V), after
// which LE pulses with VPP low latch the mode code on the four mode lines
// (12 program, 13 erase; any other code is a violation).
// - Read: OE low drives the word onto D0-D7 with VPP at one of the read
//   levels (5.2 kind: 3.3, 3.5, 5.2, 6.6, 7.0 V; 3.3 kind: 1.6, 1.9, 3.3,
//   5.5 V), within 0.2 V; a read at another level is a violation and
//   drives nothing. Code words answer at fixed addresses (bit 6 of the
//   product code changed on a part answering another identity).
// - Program, 5.2 kind: PGM low for 100 us or more in mode 12 with VPP at
//   11.0 V clears the cells whose data line is driven 0; shorter is a
//   violation. 3.3 kind: an LE pulse in mode 12 with VPP at the part's
//   program level (7.5 V, or 8.6 V on a part of product set B) sets the
//   cells whose data line is driven 1. Its PGM pulses in mode 12 do nothing.
// - Erase, in mode 13 with VPP at the erase level (5.2 kind 12.0 V; 3.3
//   kind 8.0 V, set B 9.2 V): the 5.2 kind needs PGM low for 100 ms at
//   address 1010h and then at 0010h, the 3.3 kind once for 200 ms.
// A word takes the number of program pulses a test sets (1 by default).
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

enum class TextListKind : uint8_t { Row253Pin44V0, Row253Pin44V1, Row253Pin84, Row254Pin44V0, Row254Pin44V1 };

struct TextListFacts {
    const char* maker;
    const char* name;
    TextListKind kind;
    uint32_t fuses;   // the mask bits of the part's list
    uint8_t product;  // product code
    uint8_t extra;    // 3.3 V kind: the extra code (bits 3-0)
    bool setB;        // 3.3 V kind: programs at 8.6 V and erases at 9.2 V
};

class TextListChip : public CellArrayChip {
public:
    explicit TextListChip(const TextListFacts& facts);

    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }

    static constexpr uint32_t kWords = 0x10000;
    // The word as read (erased FFh on the 5.2 V kind, 00h on the 3.3 V kind).
    uint8_t Word(uint32_t address) const;
    void SetWord(uint32_t address, uint8_t value);
    static uint32_t CellOf(uint32_t address, int bit) { return (address & 0xFFFF) * 8 + static_cast<uint32_t>(bit); }
    bool LowVoltageKind() const { return lowKind_; }
    // The security cells as the parts keep them: the 5.2 V kind bit 6 of the
    // first 5, 9 or 13 security words (44-pin first and second kind, 84-pin;
    // a programmed cell reads 0), the 3.3 V kind bit 6 of word 163h (reads 1
    // when programmed). Secured when any such cell is programmed.
    bool Secured() const {
        if (lowKind_) return (Word(0x163) & 0x40) != 0;
        static constexpr uint32_t kAt[13] = {0x060,  0x163,  0x883,  0x2163, 0x2883, 0x4163, 0x4883,
                                             0x6163, 0x6883, 0x8163, 0x8883, 0xA163, 0xA883};
        const int n = part_.kind == TextListKind::Row253Pin44V0 ? 5 : part_.kind == TextListKind::Row253Pin44V1 ? 9 : 13;
        for (int i = 0; i < n; ++i)
            if ((Word(kAt[i]) & 0x40) == 0) return true;
        return false;
    }

    // Faults: a word takes `pulses` program pulses; the erase does nothing.
    void NeedPulses(uint32_t address, int pulses) { needed_[address] = pulses; }
    void IgnoreErase() { ignoreErase_ = true; }
    void SetCodes(uint8_t maker, uint8_t product, uint8_t extra) {
        maker_ = maker;
        part_.product = product;
        part_.extra = extra;
    }

    // Every program write: address, data lines, VPP; every PGM pulse: mode,
    // width and VPP.
    struct Write {
        uint32_t address;
        int data, vppTenths;
    };
    struct Pulse {
        int mode;
        uint64_t widthUs;
        int vppTenths;
        uint32_t address;
    };
    const std::vector<Write>& Writes() const { return writes_; }
    const std::vector<Pulse>& Pulses() const { return pulses_; }
    void ClearLog() {
        writes_.clear();
        pulses_.clear();
    }

    struct Pins {
        int address[16], data[8], mode[4], oe, pgm, hv, le, vpp;
    };

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    bool Vpp(const PinEnvironment& env, int tenths) const;
    bool ReadLevel(const PinEnvironment& env) const;
    uint32_t Address(const PinEnvironment& env) const;
    int Data(const PinEnvironment& env) const;
    void Program(const PinEnvironment& env, uint32_t address, int data, bool setOnes);

    TextListFacts part_;
    Pins pins_;
    bool lowKind_;
    uint8_t maker_ = 0xC9;
    bool entered_ = false;
    int mode_ = 0;
    bool leHigh_ = false, pgmLow_ = false;
    PulseTimer pgm_;
    uint32_t pgmAddress_ = 0;
    int eraseStep_ = 0;
    bool ignoreErase_ = false;
    std::map<uint32_t, int> needed_, taken_;
    std::vector<Write> writes_;
    std::vector<Pulse> pulses_;
};

} // namespace sim
