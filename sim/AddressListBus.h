// The address-list bus personality: the logic image of the one-time logic
// parts whose words are programmed by address (AddressListChip). The image
// keeps the part's address, data, mode and strobe lines to itself and hands
// each access to the seated part; supplies, grounds and the programming
// voltage stay with the electrical model.
//
// Header parameter 0 chooses the profile: 0, 1 or 2 (below); parameter 1 =
// 1: 12-bit data (register 10 holds bits 8-11).
//
// Registers of every profile: 0 and 1 address bits 0-7 and 8-15; 9 data bits
// 0-7 (written: the word to program; read: the part's word while the
// profile's read state holds); 10 data bits 8-11 in its bits 0-3, bits 4-7
// not wired (12-bit data only, else 0); 3, 6, 7, 8 and 11 take only 0. Every register takes 0 (the engine's
// output reset). Any value not named is a violation.
//
// Profile 0:
//   2  mode code: 0 none, 12 program, 13 verify
//   4  00h control lines low, 01h read (register 9 reads the word),
//      02h lines up for the mode latch, 03h idle, 04h mode latch (the part
//      takes register 2's code), 0Bh program strobe (while register 5 = 1)
//   5  06h lines released, 07h driven idle, 03h ready, 01h data driven
// Profile 1:
//   2  0 program mode, 1 read mode (the part takes code 13 at each read,
//      12 at each strobe)
//   4  00h read (register 9 reads the word in read mode), 01h read idle,
//      02h program strobe (while register 5 = 9), 03h idle
//   5  00h released, 06h lines released, 07h driven idle, 0Bh ready,
//      09h data driven
// Profile 2:
//   2  mode code: 0 none, 12 program, 13 verify
//   4  00h control lines low, 04h standby, 07h idle, 05h read (registers 9
//      and 10 read the word), 0Ch mode latch, 06h program strobe (while
//      register 5 = 9)
//   5  00h released, 06h lines released, 07h driven idle, 0Bh ready,
//      09h data driven
//   6  0 only (cleared at power-down)
// Any change of register 4 ends a program strobe.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "sim/Socket.h"

namespace sim {

class AddressListChip;

class AddressListBusPersonality : public SimPersonality, public PinEnvironment {
public:
    explicit AddressListBusPersonality(const LogicImageHeader& header);

    uint16_t Id() const override { return kPersonalityAddressList; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    bool OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

    PinCondition Condition(int socketPin) const override;
    uint64_t NowUs() const override { return prog_ ? prog_->NowUs() : 0; }
    void Violation(const std::string& what) const override;

    int Profile() const { return profile_; }

private:
    AddressListChip* Chip() const;
    void Bad(uint8_t reg, uint8_t value) const;
    bool ValidControl(uint8_t v) const;
    bool ValidState(uint8_t v) const;
    bool ReadState() const;
    void Control(uint8_t v);

    SimProgrammer* prog_ = nullptr;
    int profile_;
    bool wide_;
    uint8_t regs_[12] = {};
};

void RegisterAddressListBusPersonality();

} // namespace sim
