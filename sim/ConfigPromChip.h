// One-time-programmable serial configuration PROMs with a programmable
// RESET/OE polarity, in 8-pin DIPs: DATA 1, CLK 2, RESET/OE 3, /CE 4, GND 5,
// CEO 6, VPP 7, VCC 8.
//
// Reading (the families' datasheet behaviour): with /CE low and RESET/OE
// inactive, each rising CLK moves the address counter on by one bit and puts
// that bit on DATA; RESET/OE active clears the counter and floats DATA. The
// polarity bit, clear when shipped, makes RESET/OE active high; once set it
// is active low, for good.
//
// Programming (no datasheet gives it; invented after the frames of the rows
// that serve these parts, and strict): the chip enters its programming mode
// when pin 6 goes high, low and high again while VPP is at 11 V or more, and
// keeps it until the supply goes. In that mode the lines /CE and RESET/OE
// choose what a rising CLK does:
//   /CE high, RESET/OE low   the page counter moves on by one page;
//   /CE high, RESET/OE high  the DATA level is shifted into the page latch
//                            (its last pageBytes x 8 bits count);
//   /CE low,  RESET/OE high  the next bit of the page under the counter goes
//                            on DATA, most significant bit first; before
//                            the first clock DATA shows the polarity bit.
// The counter starts at page 0. Pages past the array read FFh but for the
// identification page (maker and device codes) and the polarity page (00h,
// 01h once set). VPP raised to the programming level and held there for at
// least the part's pulse writes the latch into the page under the counter:
// cells only go from 1 to 0; at the polarity page any 0 in the latch sets the
// polarity bit. A shorter pulse, or one from below the programming level,
// programs nothing.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SerialChips.h"

namespace sim {

struct ConfigPromFacts {
    std::string name;
    uint32_t bytes = 8192;
    uint32_t pageBytes = 4;
    uint32_t polarityPage = 2048; // the page counter's stop of the polarity bit
    uint32_t idPage = 2056;       // and of the identification
    uint8_t makerCode = 0, deviceCode = 0;
    int vppMinTenths = 120;       // programming level
    uint32_t pulseUs = 100;       // shortest programming pulse
    SerialSupply supply{43, 57};
};

class ConfigPromChip : public SerialChipBase {
public:
    explicit ConfigPromChip(const ConfigPromFacts& facts);
    const ConfigPromFacts& Facts() const { return facts_; }
    bool ActiveLow() const { return activeLow_; }
    void SetActiveLow(bool on) { activeLow_ = on; }
    // Programming pulses long enough to program.
    uint32_t Pulses() const { return pulses_; }
    // Fault: no pulse programs anything (pages nor polarity).
    void NeverPrograms(bool on = true) { neverPrograms_ = on; }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;
    bool PageBit(uint32_t page, uint32_t bit) const;
    void Pulse(uint64_t widthUs);

    ConfigPromFacts facts_;
    bool activeLow_ = false;
    bool neverPrograms_ = false;
    uint32_t pulses_ = 0;
    // volatile
    bool programMode_ = false;
    int entryStep_ = 0;     // pin-6 edges seen under VPP
    bool pin6_ = false, clk_ = false, vppHigh_ = false, vppRoseInMode_ = false;
    uint64_t vppSinceUs_ = 0;
    int64_t bit_ = -1;      // read: the bit on DATA (-1 none yet)
    bool out_ = false;      // DATA driven
    bool level_ = true;     // its level
    bool readState_ = false;
    uint32_t page_ = 0;
    std::vector<bool> latch_;
};

} // namespace sim
