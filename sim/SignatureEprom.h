// A 24-, 28- or 32-pin UV EPROM in the JEDEC byte-wide pinout, as far as its
// electronic signature goes. Powered (VCC at 4.5-6.5 V, GND on ground) with
// /CE and /OE low, it drives D0-D7: with 11.5-12.5 V on A9 the signature
// (A0 low: maker code, A0 high: device code; the other address lines are
// don't-care), otherwise the erased array (FFh). Unpowered, its pins act as
// the diode network of ProbeChip. More than 13.0 V on A9, or more than 6.5 V on
// A9 while the chip is not powered, is a violation (checked whenever the logic
// driver changes or the chip's outputs are read).
//
// Pinouts (chip pins): 24 pins: A0-A7 8-1, D0-D2 9-11, GND 12, D3-D7 13-17,
// /CE 18, /OE 20, A9 22, VCC 24. 28 pins: A0-A7 10-3, D0-D2 11-13, GND 14,
// D3-D7 15-19, /CE 20, /OE 22, A9 24, VCC 28. 32 pins: A0-A7 12-5, D0-D2
// 13-15, GND 16, D3-D7 17-21, /CE 22, /OE 24, A9 26, VCC 32.
#pragma once
#include <cstdint>

#include "sim/ProbeChip.h"

namespace sim {

class SignatureEprom : public ProbeChip {
public:
    // pinCount 24, 28 or 32, seated as DipSocketPins(pinCount, rowsUp).
    SignatureEprom(int pinCount, uint8_t makerCode, uint8_t deviceCode, int rowsUp = 0);

    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    void Update(const PinEnvironment& env) override;

    int PinCount() const { return pinCount_; }
    bool Powered(const PinEnvironment& env) const;

private:
    int At(int chipPin) const;
    int DataBit(int socketPin) const; // 0-7, or -1
    void CheckA9(const PinEnvironment& env) const;

    int pinCount_;
    uint8_t maker_;
    uint8_t device_;
    int vcc_, gnd_, ce_, oe_, a9_, a0_;
    int data_[8];
    mutable bool reportedOvervoltage_ = false;
};

} // namespace sim
