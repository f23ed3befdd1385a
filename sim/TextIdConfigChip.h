// Serial configuration devices that identify themselves with a text, in
// 8-pin DIPs: DATA 1, DCLK 2, OE 3, /CS 4, GND 5, /CASC 6, VPP 7, VCC 8.
//
// Capacity and pinout follow the datasheets; the programming protocol has no
// datasheet and is the model's own, strict:
//   - commands are taken while /CASC (pin 6) is high. Each rising OE takes
//     one opcode bit from DATA, most significant first; the rising OE after
//     the third bit starts the command, and the next rising OE begins a new
//     opcode. Rising DCLK edges then act on the running command:
//       1 address: 10 bits of the address, then `extBits` high bits, least
//         significant first; any other count leaves no valid address;
//       3 read: with /CS high, each rising DCLK puts the next bit on DATA,
//         least significant bit first, from the address on (the
//         identification text when the address is `idAddress`);
//       4 load: bytes shifted in least significant bit first; the fourth
//         completes a word for the address (the word after a completed one
//         moves the address on by 4);
//       6 pulse: under the programming level on VPP for at least `pulseUs`
//         (until OE falls) programs the pending load: cells only go 1 -> 0;
//       7 option register: 38 bits shifted in with /CS low; 1, 33 zeros and
//         four option bits (most significant first) make a pending option
//         load. With /CS high each rising DCLK shows the next bit of 33 zeros
//         and the four option bits (most significant first).
//   - three opcode bits of 4 held without the start, with /CS high, put on
//     DATA whether the loaded word is in the cells (1 ready).
#pragma once
#include <cstdint>
#include <string>

#include "sim/SerialChips.h"

namespace sim {

struct TextIdConfigFacts {
    std::string name;
    uint32_t bytes = 65536;
    uint32_t extBits = 4;       // high address bits after the 10 low ones
    uint32_t idAddress = 0x35F; // where the identification text reads
    int vppMinTenths = 115;
    uint32_t pulseUs = 100;
    SerialSupply supply{39, 57}; // the blank check reads at 4.0 V
};

class TextIdConfigChip : public SerialChipBase {
public:
    explicit TextIdConfigChip(const TextIdConfigFacts& facts);
    const TextIdConfigFacts& Facts() const { return facts_; }
    // The four option bits (1 erased).
    uint8_t OptionBits() const { return options_; }
    void SetOptionBits(uint8_t v) { options_ = v & 0x0F; }
    // Faults: another identification text; no pulse programs anything.
    void SetIdText(const std::string& text) { idText_ = text; }
    void NeverPrograms(bool on = true) { neverPrograms_ = on; }
    uint32_t Pulses() const { return pulses_; }

private:
    ChipDrive PoweredOutput(const PinEnvironment& env, int chipPin) const override;
    void PinsChanged(const PinEnvironment& env) override;
    void PowerLost() override;
    void Rising(bool data, bool send);
    void Pulse(uint64_t widthUs, bool programming);
    uint8_t ByteAt(uint32_t address) const;
    bool WordReady() const;

    enum class Phase { Idle, Opcode, Running };
    TextIdConfigFacts facts_;
    std::string idText_ = "ALTERA9";
    uint8_t options_ = 0x0F;
    bool neverPrograms_ = false;
    uint32_t pulses_ = 0;
    // volatile
    Phase phase_ = Phase::Idle;
    uint32_t opcode_ = 0, opBits_ = 0;
    bool oe_ = false, clk_ = false, awake_ = false;
    uint32_t bits_ = 0;          // DCLK edges in the running command
    uint32_t shift_ = 0;         // bits gathered
    uint64_t optionShift_ = 0;
    bool addressValid_ = false, atId_ = false;
    uint32_t address_ = 0;
    uint32_t word_ = 0xFFFFFFFF, wordBytes_ = 0;
    bool wordDone_ = false;
    enum class Pending { None, Word, Options } pending_ = Pending::None;
    uint8_t pendingOptions_ = 0x0F;
    uint64_t pulseFromUs_ = 0;
    bool pulseVpp_ = false;
    bool out_ = false, level_ = true;
};

} // namespace sim
