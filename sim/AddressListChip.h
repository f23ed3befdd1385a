// One-time programmable logic parts with EPROM cells whose words are reached
// by address (64K words of 8 bits, or 12 on the wide kind), blank 1. No
// public datasheet gives their interface: the pin-out of supply, ground and
// the programming pin, the levels, times and codes are the algorithm rows'
// view of the chips.
//
// The part's address, data, mode and strobe lines belong to the logic image
// of the address-list bus (sim/AddressListBus.h), which hands each access to
// the model; supply, ground and the programming pin (VPP) are read from the
// electrical model.
// - Powered: VCC (socket pin 23 on the row-251 kind, 48 on the others, as
//   the programmer routes them) from 4.5 V to 5.5 V and ground held (pins
//   12, 25, 33; pin 24 with VCC on 48). Dropping the supply forgets the entry and the mode.
// - Entry: VPP at 9.5 V or more while powered. A mode code (12 program,
//   13 verify) is taken only after it; a code before it, or another code,
//   is a violation.
// - Read: powered, entered, a mode taken: the word at the address, codes
//   and the security cell included. In mode 12 VPP follows VCC (within
//   0.2 V: the normal read, also the blank check at a lowered VCC); in mode
//   13 VPP sits at one of the part's verify levels (within 0.2 V; the 252
//   kind also reads there with VPP at VCC). A read
//   at any other level is a violation and reads every bit programmed. A
//   part answering another identity reads bit 2 of its codes changed.
// - Program: a strobe in mode 12 clears the bits of the word driven 0
//   (bits that are already 0 stay) when VPP stays at the part's program
//   level (within 0.2 V) for 100 us or more of the strobe in total; a
//   shorter time at the level leaves the word. A strobe outside mode 12 is
//   a violation.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

class Electrical;

struct AddressListFacts {
    const char* maker;
    const char* name;
    uint32_t fuses;       // the record's fuse count: 8 per word up to the list's last
    int width;            // 8, or 12 on the wide kind
    int vccPin;           // socket pin of VCC
    int vppPin;           // socket pin of VPP
    int programTenths;    // VPP of a program strobe
    static constexpr int kAtVcc = -1;
    int verifyTenths[3];  // VPP of the reads in mode 13 (0: none; kAtVcc: VPP at VCC)
    // Words preset at manufacture (codes, security cell), as read.
    struct Preset {
        uint16_t address, value;
    };
    Preset presets[12];
    int presetCount;
    // The security words: a bit of the mask programmed (reads 0) in any of
    // them secures the part.
    struct SecurityWord {
        uint16_t address, mask;
    };
    SecurityWord security[4];
    int securityCount;
};

class AddressListChip : public CellArrayChip {
public:
    explicit AddressListChip(const AddressListFacts& facts);

    static constexpr uint32_t kWords = 0x10000;
    const AddressListFacts& Part() const { return part_; }
    uint16_t Word(uint32_t address) const;
    void SetWord(uint32_t address, uint16_t value);
    bool Secured() const {
        for (int i = 0; i < part_.securityCount && i < 4; ++i)
            if ((Word(part_.security[i].address) & part_.security[i].mask) != part_.security[i].mask) return true;
        return false;
    }

    // The bus's accesses at virtual time `nowUs`; each first brings the
    // supply, entry and strobe timing up to the present.
    void Observe(const PinEnvironment& env);
    void TakeMode(const PinEnvironment& env, int code);
    uint16_t Read(const PinEnvironment& env, uint32_t address);
    void StrobeStart(const PinEnvironment& env);
    void StrobeEnd(const PinEnvironment& env, uint32_t address, uint16_t data);
    bool Strobing() const { return strobing_; }

    // Fault: the word programs only at its n-th effective strobe.
    void NeedPulses(uint32_t address, int pulses) { needed_[address & 0xFFFF] = pulses; }
    // Fault: the security bits of security word i never program.
    void RefuseSecurityWord(int i) {
        if (i < 0 || i >= part_.securityCount || i >= 4) return;
        const AddressListFacts::SecurityWord& w = part_.security[i];
        for (uint32_t bit = 0; bit < 12; ++bit)
            if ((w.mask >> bit) & 1) StickCell(static_cast<uint32_t>(w.address) * 12 + bit);
    }
    // The lowest and highest VCC (0.1 V) of the reads taken; 0 before any.
    int ReadVccLow() const { return readVccLow_; }
    int ReadVccHigh() const { return readVccHigh_; }
    // Effective strobes (VPP long enough at its level) by address.
    int Strobes(uint32_t address) const {
        const auto t = taken_.find(address & 0xFFFF);
        return t == taken_.end() ? 0 : t->second;
    }

protected:
    ChipDrive PoweredOutput(const PinEnvironment&, int) const override { return ChipDrive::None; }

private:
    bool Ready(const PinEnvironment& env, const char* what) const;
    bool ReadLevel(const PinEnvironment& env) const;

    AddressListFacts part_;
    bool powered_ = false, entered_ = false;
    int mode_ = 0;
    bool strobing_ = false;
    uint64_t lastUs_ = 0, atLevelUs_ = 0;
    std::map<uint32_t, int> needed_, taken_;
    int readVccLow_ = 0, readVccHigh_ = 0;
};

} // namespace sim
