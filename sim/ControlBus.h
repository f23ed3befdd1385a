// The control-register-bus personality: the logic image of EPROMs whose
// strobes, socket control and data sit on other registers than the memory
// bus. One socket (no gang). Supplies, grounds and the programming voltage
// stay with the electrical model.
//
// Image header parameters:
//   0  data width: 0 bytes, 1 16-bit words
//   1  upper-address mode of the byte image: 0 register 1, 1 latched from
//      register 0, 2 A8-A13 from register 1 and A14-A17 from latch bits 4-7
//      (latched from register 1), 3 A8-A9 from register 1, A10 from latch
//      bit 1 and A11 from latch bit 0 (latched from register 1)
//
// 16-bit image (word parts, pins of the 40-pin control-bus part):
//   0, 1  address bits 0-7, 8-15
//   3     control: 00h released, 03h idle, 01h read (/CE and /OE low)
//   4     strobe: 00h released, 03h idle, 05h program pulse (/CE low)
//   6, 7  data bits 0-7, 8-15 (written: driven while /OE is high; read: the
//         part's data lines)
// Byte image (28-pin JEDEC part):
//   0, 1  address bits 0-7 and 8-15, as the mode says
//   3     data: written = driven while /OE is high; read = the data lines,
//         which the image pulls low where nothing drives them
//   4     output control: 00h released, 03h idle, 01h read (/CE, /OE low)
//   5     strobe: 00h released, 03h idle, 05h program pulse (/CE low)
//   6     address latch: 1 transparent, 0 holds
// Registers 2 and 8-11 take only 0; register 5 of the 16-bit image and
// register 7 of the byte image too. Any other value is a violation.
#pragma once
#include <cstdint>

#include "sim/EpromChip.h"
#include "sim/Socket.h"

namespace sim {

class Electrical;

// Chip pins of the 40-pin word part of the control bus (VCC 1, GND 10 and 31,
// Vpp 32, hidden-word select 24).
struct ControlBusWordPinout {
    static std::vector<int> Address(); // A0-A13
    static std::vector<int> Data();    // D0-D15
    static constexpr int Vcc = 1, Gnd1 = 10, Gnd2 = 31, Vpp = 32, Hidden = 24, Ce = 33, Oe = 34;
};

// A 16-bit part of that pinout (blank at 0000h, hidden word on pin 24).
EpromConfig ControlBusWord40(const std::string& name, uint32_t words);

class ControlBusPersonality : public SimPersonality, public PinEnvironment {
public:
    explicit ControlBusPersonality(const LogicImageHeader& header);

    uint16_t Id() const override { return kPersonalityControlBus; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    bool OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

    PinCondition Condition(int socketPin) const override;
    int FloatingLevel() const override { return word_ ? 1 : 0; }
    uint64_t NowUs() const override { return prog_ ? prog_->NowUs() : 0; }
    void Violation(const std::string& what) const override;

    uint32_t Address() const;

private:
    void UpdateChips();
    void Sync();
    bool dirty_ = true;
    uint8_t ReadData(int byteIndex);
    PinCondition Compute(int socketPin) const;
    PinCondition snap_[kSocketPins + 1];
    const Electrical* electricalOf_ = nullptr;
    uint64_t electricalRevision_ = 0;

    SimProgrammer* prog_ = nullptr;
    bool word_;
    int mode_;
    std::vector<int> addressPins_, dataPins_;
    int cePin_ = 0, oePin_ = 0;
    uint8_t reg_[12] = {};
    uint8_t latch_ = 0;
};

void RegisterControlBusPersonality();

} // namespace sim
