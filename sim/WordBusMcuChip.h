// A microcontroller with 16-bit program words in its programming mode, at
// pin level: a 16-pin data bus, a mode group, command strobes A and C and a
// read/program strobe B.
//
// Behaviour:
// - In the mode: VCC in its window, the ready pin and the powered pin high,
//   the mode group at 5 (bits 0 and 2 high).
// - Command word: with B high, A falls, C is high, then A rises: the data
//   pins at A's rising edge are the command. 0070h selects the identity
//   (another word once the part is secured); the part's read command and
//   program command set the word pointer to 1000h. A rise of A without that
//   order, or an unknown command, is a violation and changes nothing.
// - Read (after the identity or read command): while B is low the part
//   drives the identity or the word at the pointer; each rising edge of B
//   after the read command advances the pointer.
// - Program (after the program command): B low for minPulseUs or longer
//   with the programming voltage on both Vpp pins clears in the word at the
//   pointer the bits that are 0 on the data pins at B's rising edge (blank
//   FFFFh), and advances the pointer. A shorter B low, one without the
//   programming voltage or past the last word is a violation and changes
//   nothing.
//
// Fault injection: a word that never programs; the part secured; another
// part's identity word (AnswerAnotherIdentity: bit 0 inverted).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct WordBusMcuFacts : PartFacts {
    std::string maker;
    std::string note;
    // Chip pins.
    int data[16] = {};
    int mode[4] = {};
    int strobeA = 0, strobeB = 0, strobeC = 0, readyPin = 0, poweredPin = 0;
    int vppPins[2] = {};
    uint16_t identity = 0;
    uint16_t securedIdentity = 0xFFFF;
    uint16_t readCommand = 0x2000, programCommand = 0x2001;
    uint32_t firstWord = 0x1000, lastWord = 0x1FFF;
    VoltageWindow vpp{120, 130};
    int vppLimitTenths = 135;
    uint32_t minPulseUs = 400;
};

class WordBusMcuChip : public CatalogChip {
  public:
    explicit WordBusMcuChip(const WordBusMcuFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    // Word addresses 0 to the last word; the part never reads out or
    // programs the words below firstWord.
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : 0xFFFF; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = v;
    }

    void SetSecured(bool s) { secured_ = s; }
    void StickWord(uint32_t a) { stuck_[a] = true; }
    // Command words taken, in order.
    const std::vector<uint16_t>& Commands() const { return commands_; }
    uint32_t Pulses() const { return pulses_; }
    uint32_t PulsesAt(uint32_t a) const {
        auto it = pulsesAt_.find(a);
        return it == pulsesAt_.end() ? 0 : it->second;
    }
    void ClearCounts() {
        commands_.clear();
        pulses_ = 0;
        pulsesAt_.clear();
    }

  private:
    enum class State : uint8_t { Idle, Identity, Read, Program };
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool High(const PinEnvironment& env, int chipPin) const { return env.InputLevel(Pin(chipPin)) == 1; }
    bool InMode(const PinEnvironment& env) const;
    uint16_t DataPins(const PinEnvironment& env) const;
    uint16_t Answer() const;
    void Command(const PinEnvironment& env, uint16_t w);
    void EndProgramPulse(const PinEnvironment& env);

    WordBusMcuFacts facts_;
    std::vector<int> pins_;
    std::vector<uint16_t> cells_;
    State state_ = State::Idle;
    uint32_t pointer_ = 0;
    bool aHigh_ = true, bHigh_ = true, aArmed_ = false, secured_ = false;
    uint64_t bFellAt_ = 0;
    std::vector<uint16_t> commands_;
    uint32_t pulses_ = 0;
    std::map<uint32_t, uint32_t> pulsesAt_;
    std::map<uint32_t, bool> stuck_;
};

} // namespace sim
