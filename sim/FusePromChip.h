// A bipolar fuse PROM or a small CMOS byte-write PROM at pin level, 4 or 8
// bits wide, in any DIP pin-out.
//
// Behaviour, after the makers' programming data sheets:
// - Read: VCC between 4.5 V and 7.0 V, ground held low, every enable at its
//   active level and no pin at programming voltage: the part drives its data
//   pins with the word at the address. An intact fuse reads as the blank value.
// - Fuse blow (bipolar): the part at its programming supply (VCC inside
//   vccProg), one data pin at the blow voltage (blowMin or above) and the
//   strobe pin in its programming state: at a supply of strobeMin or more
//   (StrobeAtSupply), or driven low (StrobeLow). Held for minPulseUs, the
//   condition counts one pulse on that bit; a fuse blows (never heals) after
//   pulsesPerFuse pulses.
// - Byte write (CMOS): VCC inside vccProg, the strobe pin at strobeMin or more
//   for minPulseUs: the word takes the data pins' levels (bits move from the
//   blank value towards the datum only).
// - Voltages above the part's absolute ratings are violations of the
//   electrical model (declared through Limits()).
//
// The model watches the programmer's register writes (it is also a component
// of the simulated programmer), because supply switches change no logic level.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/SimProgrammer.h"
#include "sim/Socket.h"

namespace sim {

enum class FuseStyle : uint8_t { StrobeAtSupply, StrobeLow, ByteWrite };

struct FusePromConfig {
    std::string name = "PROM";
    int pinCount = 16;
    uint32_t words = 32;
    int width = 8;
    uint8_t blank = 0;
    int vccPin = 16;
    int gndPin = 8;
    std::vector<int> addressPins; // chip pins, A0 first
    std::vector<int> dataPins;    // chip pins, bit 0 first
    std::vector<int> enableLow;   // chip pins active low
    std::vector<int> enableHigh;  // chip pins active high
    int strobePin = 0;
    FuseStyle style = FuseStyle::StrobeLow;
    int vccProgMin = 45, vccProgMax = 70;
    int strobeMin = 0;
    int blowMin = 100;
    int blowMaxTenths = 110;   // absolute rating of the data pins
    int strobeMaxTenths = 70;  // absolute rating of the strobe pin
    int vccMaxTenths = 70;     // absolute rating of VCC
    uint32_t minPulseUs = 10;
    int pulsesPerFuse = 1;
};

class FusePromChip : public ChipModel, public SimComponent {
public:
    explicit FusePromChip(FusePromConfig config);

    std::string Name() const override { return cfg_.name; }
    const std::vector<int>& SocketPins() const override { return socketPins_; }
    void Update(const PinEnvironment& env) override { Evaluate(env); }
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    bool OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) override;

    const FusePromConfig& Config() const { return cfg_; }
    ChipPinLimits Limits() const;

    uint8_t Word(uint32_t address) const { return words_[address % cfg_.words]; }
    void SetWord(uint32_t address, uint8_t v) { words_[address % cfg_.words] = v; }
    bool IsBlank() const;
    // A fuse that never blows.
    void StickBit(uint32_t address, int bit) { stuck_[address % cfg_.words] |= static_cast<uint8_t>(1u << bit); }
    // Pulses counted (bit pulses or byte writes).
    uint32_t PulseCount() const { return pulses_; }

private:
    int Socket(int chipPin) const;
    bool Powered(const PinEnvironment& env) const;
    uint32_t AddressNow(const PinEnvironment& env) const;
    // The programming condition now: the bit (or 8 for a byte) under it, -1 none.
    int Condition(const PinEnvironment& env) const;
    void Evaluate(const PinEnvironment& env);
    void Apply();

    FusePromConfig cfg_;
    std::vector<int> socketPins_;
    std::vector<uint8_t> words_;
    std::map<uint32_t, uint8_t> stuck_;
    std::map<uint32_t, int> counts_; // address * 8 + bit
    int active_ = -1;
    uint64_t start_ = 0;
    uint32_t address_ = 0;
    uint8_t data_ = 0;
    uint32_t pulses_ = 0;
    const PinEnvironment* env_ = nullptr;
};

} // namespace sim
