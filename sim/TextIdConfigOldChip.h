// The older generation of the configuration devices that identify
// themselves with a text, in the same 8-pin DIP: DATA 1, DCLK 2, OE 3, /CS 4,
// GND 5, /CASC 6, VPP 7, VCC 8. Capacity and pinout follow the datasheets;
// no datasheet gives the programming protocol, which is the model's own
// (after the algorithm row that serves these parts) and strict. "High
// voltage" is 11 V and above.
//   - Identification probe: with VPP at 9-11 V (the probe level, below the
//     programming one) and OE and /CS at logic levels, the chip pulls DATA
//     low. (The newer generation leaves DATA alone there.)
//   - Commands: while OE is at high voltage each rising DCLK shifts the DATA
//     level in; when OE leaves it the last 15 bits are the command: 6802h
//     selects the identification bytes ("ALTERA9" and two bytes 00h), 0000h
//     the array, both from their first byte. Other commands change nothing.
//   - Reading: with /CS at high voltage and OE low the chip drives bit n of
//     the byte under its pointer on DATA, from bit 0 at the start of each
//     such read; each falling DCLK moves on to the next bit.
//   - Writing: with OE and /CS at logic high each rising DCLK shifts DATA
//     into the byte latch, least significant bit first (the last 8 count).
//     /CS low for at least pulseUs with VPP at the programming level the
//     whole time programs the latch into the array byte under the pointer
//     (bits only go from 1 to 0).
//   - /CASC rising moves the pointer to the next byte.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/SerialChips.h"

namespace sim {

struct TextIdConfigOldFacts {
    std::string name;
    uint32_t bytes = 8192;
    int vppMinTenths = 125; // programming level
    uint32_t pulseUs = 100;
    // EPROM cells: programmed with VCC raised (up to 6.5 V).
    SerialSupply supply{44, 66};
};

class TextIdConfigOldChip : public SerialChipBase {
public:
    explicit TextIdConfigOldChip(const TextIdConfigOldFacts& facts);
    const TextIdConfigOldFacts& Facts() const { return facts_; }
    // Programming pulses long enough to count, and their lengths in us.
    uint32_t Pulses() const { return static_cast<uint32_t>(pulseWidths_.size()); }
    const std::vector<uint64_t>& PulseWidths() const { return pulseWidths_; }
    // Faults: another identification text; no pulse programs anything.
    void SetIdText(const std::string& text) { idText_ = text; }
    void NeverPrograms(bool on = true) { neverPrograms_ = on; }
    // The byte takes its latch only from its nth pulse on.
    void ProgramsOnPulse(uint32_t address, uint32_t n) { slow_[address] = n; }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;
    uint8_t ByteUnderPointer() const;

    TextIdConfigOldFacts facts_;
    std::string idText_ = "ALTERA9";
    bool neverPrograms_ = false;
    std::map<uint32_t, uint32_t> slow_, given_;
    std::vector<uint64_t> pulseWidths_;
    // volatile
    bool idMode_ = false;
    uint32_t pointer_ = 0;
    uint32_t command_ = 0;
    bool commandOpen_ = false;
    uint8_t latch_ = 0xFF;
    int bit_ = 0;
    bool clk_ = false, casc_ = false, reading_ = false, probe_ = false;
    bool csLow_ = false, pulseWithVpp_ = false;
    uint64_t csLowSinceUs_ = 0;
};

} // namespace sim
